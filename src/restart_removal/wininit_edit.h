#pragma once

#include "platform/win32.h"

// "[Rename]" and CR LF: the section header exactly as Windows 9x looks for it.
const DWORD kRenameSectionHeaderLength = 10;

// The extra room a view needs beyond the old content and the entry line: the
// section header when it has to be appended.
const DWORD kWinInitSpare = kRenameSectionHeaderLength;

// Puts entry (entryLength bytes) into the [Rename] section of the WinInit.Ini
// text in view, in place.
//
// view: the old content in its first size bytes, followed by at least
// entryLength + kWinInitSpare bytes of room whose first byte is zero.
// Returns the new length of the content.
//
// The first "[Rename]\r\n" in the text, which ends at its first zero byte,
// gets the entry directly below it; without one, the header and the entry are
// appended right after the last byte of the old content.
DWORD InsertRenameEntry(unsigned char* view, DWORD size, const char* entry, DWORD entryLength);
