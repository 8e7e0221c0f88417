// Reads and answers what the launcher shows, from inside the Wine prefix, for
// the end-to-end runs. One command per start:
//
//   uidriver list                      every visible dialog-class window
//   uidriver wait box|dialog [MS]      waits for one, prints it; exit 1 on timeout
//   uidriver press ok|cancel [MS]      presses a button of the message box shown
//                                      and waits until the box is gone
//   uidriver move-box X Y              moves the message box (for a clear screenshot)
//   uidriver hold PATH MARKER          holds PATH open for reading, sharing only
//                                      reading, writes MARKER, then waits forever
//   uidriver running NAME              exit 0 when a process NAME.exe exists
//
// A window is printed as one line of tab-separated UTF-8 fields:
//   box     HWND  caption  text
//   dialog  HWND  caption  control-1000 text  first static text
// Texts are read as Unicode, so what is printed is what the user reads on screen,
// whatever code page the program drew them from.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int kAppNameControl = 1000;

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
    return out;
}

std::wstring WindowText(HWND window)
{
    wchar_t buffer[1024];
    int length = GetWindowTextW(window, buffer, 1024);
    return std::wstring(buffer, length > 0 ? length : 0);
}

std::wstring ClassName(HWND window)
{
    wchar_t buffer[256];
    int length = GetClassNameW(window, buffer, 256);
    return std::wstring(buffer, length > 0 ? length : 0);
}

// Static controls that show text (not the message box's icon), in z-order.
std::vector<HWND> TextStatics(HWND parent)
{
    std::vector<HWND> found;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (_wcsicmp(ClassName(child).c_str(), L"Static") == 0 &&
            (style & SS_TYPEMASK) != SS_ICON) {
            found.push_back(child);
        }
    }
    return found;
}

struct Shown {
    HWND window;
    bool isDialog;  // the launcher's progress dialog: it has control 1000
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM param)
{
    if (IsWindowVisible(window) && ClassName(window) == L"#32770") {
        reinterpret_cast<std::vector<Shown>*>(param)->push_back(
            {window, GetDlgItem(window, kAppNameControl) != nullptr});
    }
    return TRUE;
}

std::vector<Shown> VisibleDialogs()
{
    std::vector<Shown> shown;
    EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&shown));
    return shown;
}

HWND Find(bool dialog)
{
    for (const Shown& s : VisibleDialogs()) {
        if (s.isDialog == dialog) {
            return s.window;
        }
    }
    return nullptr;
}

void Print(const std::string& line)
{
    std::string out = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()),
              &written, nullptr);
}

std::string Describe(const Shown& s)
{
    char handle[32];
    std::snprintf(handle, sizeof(handle), "%p", static_cast<void*>(s.window));
    std::string line = std::string(s.isDialog ? "dialog" : "box") + "\t" + handle + "\t" +
                       Utf8(WindowText(s.window)) + "\t";
    std::vector<HWND> statics = TextStatics(s.window);
    if (s.isDialog) {
        line += Utf8(WindowText(GetDlgItem(s.window, kAppNameControl)));
        for (HWND child : statics) {
            if (GetDlgCtrlID(child) != kAppNameControl) {
                line += "\t" + Utf8(WindowText(child));
                break;
            }
        }
    } else {
        for (HWND child : statics) {
            if (!WindowText(child).empty()) {
                line += Utf8(WindowText(child));
                break;
            }
        }
    }
    return line;
}

DWORD Timeout(int argc, char** argv, int index)
{
    return argc > index ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10)) : 20000;
}

// Polls until found() gives true or the time is up.
template <typename F>
bool PollUntil(DWORD timeoutMs, F found)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (found()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(50);
    }
}

int List()
{
    for (const Shown& s : VisibleDialogs()) {
        Print(Describe(s));
    }
    return 0;
}

int Wait(bool dialog, DWORD timeoutMs)
{
    HWND window = nullptr;
    if (!PollUntil(timeoutMs, [&] { return (window = Find(dialog)) != nullptr; })) {
        Print("timeout");
        return 1;
    }
    // A message box gets its text right after it is created; give it the
    // moment to appear before reading.
    PollUntil(2000, [&] {
        std::string line = Describe({window, dialog});
        return line.back() != '\t';
    });
    Print(Describe({window, dialog}));
    return 0;
}

int Press(bool ok, DWORD timeoutMs)
{
    HWND box = Find(false);
    if (box == nullptr) {
        Print("no message box");
        return 1;
    }
    PostMessageW(box, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
    if (!PollUntil(timeoutMs, [&] { return !IsWindow(box) || !IsWindowVisible(box); })) {
        Print("message box still open");
        return 1;
    }
    return 0;
}

int MoveBox(int x, int y)
{
    HWND box = Find(false);
    if (box == nullptr) {
        Print("no message box");
        return 1;
    }
    return SetWindowPos(box, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? 0
               : 1;
}

int Hold(const char* path, const char* marker)
{
    HANDLE held = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        Print("cannot open " + std::string(path));
        return 1;
    }
    HANDLE ready = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        return 1;
    }
    CloseHandle(ready);
    Sleep(INFINITE);
    return 0;
}

int Running(const char* name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 2;
    }
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry)) {
        found = lstrcmpiA(entry.szExeFile, name) == 0;
    }
    CloseHandle(snapshot);
    return found ? 0 : 1;
}

int Usage()
{
    Print("usage: uidriver list | wait box|dialog [MS] | press ok|cancel [MS] | "
          "move-box X Y | hold PATH MARKER | running NAME");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return Usage();
    }
    const std::string command = argv[1];
    const std::string what = argc > 2 ? argv[2] : "";
    if (command == "list") {
        return List();
    }
    if (command == "wait" && (what == "box" || what == "dialog")) {
        return Wait(what == "dialog", Timeout(argc, argv, 3));
    }
    if (command == "press" && (what == "ok" || what == "cancel")) {
        return Press(what == "ok", Timeout(argc, argv, 3));
    }
    if (command == "move-box" && argc == 4) {
        return MoveBox(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    if (command == "hold" && argc == 4) {
        return Hold(argv[2], argv[3]);
    }
    if (command == "running" && argc == 3) {
        return Running(argv[2]);
    }
    return Usage();
}
