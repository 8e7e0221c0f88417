#pragma once

// Has existingName renamed to newName at the next start of Windows, or deleted
// when newName is null. Asks the system through MoveFileExA and, where that
// fails (Windows 9x), writes the request into the [Rename] section of
// WinInit.Ini in the Windows directory.
//
// Returns nonzero on success: MoveFileExA's result, or 1 once WinInit.Ini has
// been updated. Returns 0, with WinInit.Ini as it was, on failure.
int ScheduleRenameAtRestart(const char* existingName, const char* newName);

// The fallback on its own: puts the request into the [Rename] section of the
// WinInit.Ini file at winInitPath, creating the file when absent. Returns 1
// once the file has been updated, else 0 with the file's content as it was.
int AddWinInitRenameEntry(const char* winInitPath, const char* existingName,
                          const char* newName);
