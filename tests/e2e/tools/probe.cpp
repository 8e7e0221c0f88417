// Stands in for the real installer in the end-to-end runs: records how it was
// started (command line, current directory, the "=C:" directory it inherited,
// its own path) and ends. The record goes to %PROBE_LOG%, else C:\probe-log.txt,
// and appears all at once: it is written beside and then moved into place, so
// whoever waits for the file never reads half of it.
#include <windows.h>

namespace {

void Append(char* out, DWORD* used, DWORD size, const char* text)
{
    while (*text != '\0' && *used + 1 < size) {
        out[(*used)++] = *text++;
    }
    out[*used] = '\0';
}

void AppendLine(char* out, DWORD* used, DWORD size, const char* key, const char* value)
{
    Append(out, used, size, key);
    Append(out, used, size, "=");
    Append(out, used, size, value);
    Append(out, used, size, "\r\n");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char logPath[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("PROBE_LOG", logPath, sizeof(logPath));
    if (length == 0 || length >= sizeof(logPath)) {
        lstrcpyA(logPath, "C:\\probe-log.txt");
    }

    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(current), current);
    char driveC[MAX_PATH] = "";
    if (GetEnvironmentVariableA("=C:", driveC, sizeof(driveC)) == 0) {
        lstrcpyA(driveC, "(unset)");
    }
    char module[MAX_PATH] = "";
    GetModuleFileNameA(0, module, sizeof(module));

    char record[4096];
    DWORD used = 0;
    record[0] = '\0';
    AppendLine(record, &used, sizeof(record), "command_line", GetCommandLineA());
    AppendLine(record, &used, sizeof(record), "current_directory", current);
    AppendLine(record, &used, sizeof(record), "env_drive_c", driveC);
    AppendLine(record, &used, sizeof(record), "module", module);

    char partial[MAX_PATH + 8];
    lstrcpyA(partial, logPath);
    lstrcatA(partial, ".part");
    HANDLE file = CreateFileA(partial, GENERIC_WRITE, 0, 0, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, record, used, &written, 0) && written == used;
    CloseHandle(file);
    if (!ok || !MoveFileExA(partial, logPath, MOVEFILE_REPLACE_EXISTING)) {
        return 1;
    }
    return 0;
}
