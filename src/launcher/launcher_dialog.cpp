// Entry point and progress dialog.
#include "launcher/launcher_dialog.h"

#include "assembly/part_header.h"
#include "assembly/prepare_and_launch.h"
#include "launcher/resource.h"

namespace {

const char kFirstPartMissingText[] = "FILE.1 fehlt!";

// Reads the name field of part 1 into name (kNameFieldSize bytes). Shows at
// most what was read: a field without NUL is cut at the bytes delivered, and
// never longer than the field's 259 characters.
bool ReadApplicationName(const char* partPath, char* name)
{
    HANDLE part = CreateFileA(partPath, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, 0);
    if (part == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD got = 0;
    if (!ReadFile(part, name, kNameFieldSize, &got, 0)) {
        got = 0;
    }
    if (got > static_cast<DWORD>(kNameFieldSize - 1)) {
        got = kNameFieldSize - 1;
    }
    name[got] = '\0';
    CloseHandle(part);
    return true;
}

INT_PTR OnInitDialog(HWND dialog)
{
    char partPath[kPathBufferSize];
    char name[kNameFieldSize];
    if (!BuildFirstPartPath(partPath) || !ReadApplicationName(partPath, name)) {
        MessageBoxA(0, kFirstPartMissingText, 0, MB_ICONERROR);
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    SetDlgItemTextA(dialog, IDC_APP_NAME, name);
    // The work starts from the dialog's message loop, once the dialog with
    // the name is up.
    PostMessageA(dialog, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam)
{
    // The whole wParam: a notification with the id of OK or Cancel is not a
    // command to start.
    if (wParam != IDOK && wParam != IDCANCEL) {
        return FALSE;
    }
    char partPath[kPathBufferSize];
    if (BuildFirstPartPath(partPath)) {
        PrepareAndLaunchInstaller(partPath);
    }
    EndDialog(dialog, static_cast<INT_PTR>(wParam));
    return TRUE;
}

}  // namespace

bool BuildFirstPartPath(char* path)
{
    DWORD length = GetModuleFileNameA(0, path, kPathBufferSize);
    // A full buffer means the path was cut (and on some systems left without
    // its NUL).
    if (length == 0 || length >= static_cast<DWORD>(kPathBufferSize)) {
        return false;
    }
    char* lastBackslash = FindLastChar(path, '\\');
    if (lastBackslash != 0) {
        *lastBackslash = '\0';
        length = static_cast<DWORD>(lastBackslash - path);
    }
    if (length + sizeof(kFirstPartFileName) > static_cast<DWORD>(kPathBufferSize)) {
        return false;
    }
    lstrcatA(path, kFirstPartFileName);
    return true;
}

INT_PTR CALLBACK LauncherDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (message == WM_INITDIALOG) {
        return OnInitDialog(dialog);
    }
    if (message == WM_COMMAND) {
        return OnCommand(dialog, wParam);
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand)
{
    (void)previousInstance;
    (void)commandLine;
    (void)showCommand;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_LAUNCHER), 0, LauncherDialogProc, 0);
    return 0;
}
