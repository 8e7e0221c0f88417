// Removal at the next restart: MoveFileExA, else an entry in WinInit.Ini.
#include "restart_removal/schedule_rename.h"

#include "assembly/part_header.h"
#include "restart_removal/wininit_edit.h"

namespace {

const int kEntryLineSize = 1024;
const char kEntryFormat[] = "%hs=%hs\r\n";
// Windows 9x reads "NUL" as the new name of a file to delete.
const char kDeleteTarget[] = "NUL";
const char kWinInitFileName[] = "\\WinInit.Ini";

// Formats "new=existing\r\n" into entry. Returns its length, or 0 when the
// line would not fit: a cut line could name another file to delete.
DWORD FormatEntry(char* entry, const char* existingName, const char* newName)
{
    const char* target = newName != 0 ? newName : kDeleteTarget;
    int length = TextLength(target) + 1 + TextLength(existingName) + 2;
    if (length >= kEntryLineSize) {
        return 0;
    }
    return static_cast<DWORD>(wsprintfA(entry, kEntryFormat, target, existingName));
}

// The WinInit.Ini path in the Windows directory, or false when there is no
// Windows directory or no room left for the file name.
bool BuildWinInitPath(char* path)
{
    UINT length = GetWindowsDirectoryA(path, kPathBufferSize);
    if (length == 0 ||
        length + sizeof(kWinInitFileName) > static_cast<UINT>(kPathBufferSize)) {
        return false;
    }
    lstrcatA(path, kWinInitFileName);
    return true;
}

// Edits the open WinInit.Ini through one mapping sized for the largest result.
// Returns 1 once the entry is in the view, else 0. In both cases the file is
// cut to the length of its content, which after a failure is the old one.
int EditWinInit(HANDLE file, const char* entry, DWORD entryLength)
{
    DWORD sizeHigh = 0;
    DWORD size = GetFileSize(file, &sizeHigh);
    // A size the mapping cannot hold in 32 bits is left alone, and so is a
    // failing query: without the true length the edit would cut the file.
    if (size == INVALID_FILE_SIZE || sizeHigh != 0 ||
        size > INVALID_FILE_SIZE - entryLength - kWinInitSpare) {
        return 0;
    }

    int result = 0;
    HANDLE mapping =
        CreateFileMappingA(file, 0, PAGE_READWRITE, 0, size + entryLength + kWinInitSpare, 0);
    if (mapping != 0) {
        unsigned char* view =
            static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
        if (view != 0) {
            size = InsertRenameEntry(view, size, entry, entryLength);
            UnmapViewOfFile(view);
            result = 1;
        }
        CloseHandle(mapping);
    }
    // The mapping grew the file by its spare room; give back what the
    // content does not use. Only where the pointer really got to: the file
    // was opened at offset 0, and cutting there would lose the whole file.
    // With a high part the low one counts as unsigned, so a length of 2 GiB
    // or more is no negative distance.
    LONG offsetHigh = 0;
    if (SetFilePointer(file, static_cast<LONG>(size), &offsetHigh, FILE_BEGIN) == size &&
        offsetHigh == 0) {
        SetEndOfFile(file);
    }
    return result;
}

}  // namespace

int AddWinInitRenameEntry(const char* winInitPath, const char* existingName,
                          const char* newName)
{
    char entry[kEntryLineSize];
    DWORD entryLength = FormatEntry(entry, existingName, newName);
    if (entryLength == 0) {
        return 0;
    }
    // No sharing: a second writer at the same moment fails to open instead
    // of interleaving its edit with ours.
    HANDLE file = CreateFileA(winInitPath, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, 0);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int result = EditWinInit(file, entry, entryLength);
    CloseHandle(file);
    return result;
}

int ScheduleRenameAtRestart(const char* existingName, const char* newName)
{
    BOOL moved = MoveFileExA(existingName, newName, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (moved) {
        return moved;
    }
    char winInitPath[kPathBufferSize];
    if (!BuildWinInitPath(winInitPath)) {
        return 0;
    }
    return AddWinInitRenameEntry(winInitPath, existingName, newName);
}
