// Preparation and launch around the assembly loop.
#include "assembly/prepare_and_launch.h"

#include "assembly/assemble_parts.h"
#include "restart_removal/schedule_rename.h"

namespace {

const char kTempInstallerName[] = "qvtmpins.exe";
const char kCannotCreateText[] =
    "Installer konnte nicht erstellt werden. Ist ausreichend Speicherplatz vorhanden?";

void ShowCannotCreate()
{
    MessageBoxA(0, kCannotCreateText, 0, MB_ICONERROR);
}

// The temporary directory followed by the installer's fixed name, or false
// when there is no temporary directory or no room for the name.
bool BuildTempInstallerPath(char* path)
{
    DWORD length = GetTempPathA(kPathBufferSize, path);
    if (length == 0 ||
        length + sizeof(kTempInstallerName) > static_cast<DWORD>(kPathBufferSize)) {
        return false;
    }
    lstrcatA(path, kTempInstallerName);
    return true;
}

bool IsUncPath(const char* path)
{
    return (path[0] == '\\' && path[1] == '\\') || (path[0] == '/' && path[1] == '/');
}

// Records the current directory as that of its drive ("=C:"), the way
// cmd.exe keeps it, so the installer inherits it with the environment.
void RecordDriveDirectory()
{
    char current[kPathBufferSize + 1];
    DWORD length = GetCurrentDirectoryA(sizeof(current), current);
    if (length == 0 || length >= sizeof(current) || IsUncPath(current) || current[1] != ':') {
        return;
    }
    char variable[4] = {'=', current[0], ':', '\0'};
    if (variable[1] >= 'a' && variable[1] <= 'z') {
        variable[1] = static_cast<char>(variable[1] - 'a' + 'A');
    }
    SetEnvironmentVariableA(variable, current);
}

}  // namespace

void LaunchInstaller(const char* installerPath)
{
    char windowsDirectory[kPathBufferSize];
    UINT length = GetWindowsDirectoryA(windowsDirectory, kPathBufferSize);
    if (length != 0 && length < static_cast<UINT>(kPathBufferSize) &&
        SetCurrentDirectoryA(windowsDirectory)) {
        RecordDriveDirectory();
    }

    char shortPath[kPathBufferSize];
    DWORD shortLength = GetShortPathNameA(installerPath, shortPath, kPathBufferSize);
    if (shortLength == 0 || shortLength >= static_cast<DWORD>(kPathBufferSize)) {
        return;
    }
    // A short path keeps a space where the volume has short names switched
    // off; WinExec would split it there and could start another program.
    char commandLine[kPathBufferSize + 2];
    if (FindLastChar(shortPath, ' ') != 0) {
        commandLine[0] = '"';
        memcpy(commandLine + 1, shortPath, shortLength);
        commandLine[shortLength + 1] = '"';
        commandLine[shortLength + 2] = '\0';
    } else {
        memcpy(commandLine, shortPath, shortLength + 1);
    }
    WinExec(commandLine, SW_SHOW);
}

void PrepareAndLaunchInstaller(char* partPath)
{
    // Every failure before the copy ends here without starting anything: the
    // file at the temporary path may be a stale or half-written installer of
    // an earlier run.
    char installerPath[kPathBufferSize];
    if (!BuildTempInstallerPath(installerPath)) {
        ShowCannotCreate();
        return;
    }
    unsigned char* copyBuffer =
        static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, kCopyBufferSize));
    if (copyBuffer == 0) {
        ShowCannotCreate();
        return;
    }
    HANDLE output = CreateFileA(installerPath, GENERIC_WRITE, FILE_SHARE_WRITE, 0, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, 0);
    if (output == INVALID_HANDLE_VALUE) {
        LocalFree(copyBuffer);
        ShowCannotCreate();
        return;
    }

    // Registered before the first byte is written, so a half-written file is
    // removed at the restart too.
    ScheduleRenameAtRestart(installerPath, 0);
    AssemblyOutcome outcome = AssembleParts(partPath, output, copyBuffer);
    CloseHandle(output);
    LocalFree(copyBuffer);

    if (outcome == WriteFailed) {
        ShowCannotCreate();
    } else if (outcome == Completed) {
        LaunchInstaller(installerPath);
    }
}
