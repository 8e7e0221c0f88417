// The WinInit.Ini edit itself, over plain bytes, so it can be checked without
// a file.
#include "restart_removal/wininit_edit.h"

namespace {

const char kRenameSectionHeader[] = "[Rename]\r\n";

}  // namespace

DWORD InsertRenameEntry(unsigned char* view, DWORD size, const char* entry, DWORD entryLength)
{
    const unsigned char* header = reinterpret_cast<const unsigned char*>(kRenameSectionHeader);

    // Windows reads WinInit.Ini as text: whatever follows a zero byte is not
    // seen, so a header there must not be taken either.
    DWORD textLength = 0;
    while (textLength < size && view[textLength] != 0) {
        ++textLength;
    }

    DWORD insertAt;
    const unsigned char* found = FindBytes(view, textLength, header, kRenameSectionHeaderLength);
    if (found != 0) {
        // Directly below the header line, ahead of older entries.
        insertAt = static_cast<DWORD>(found - view) + kRenameSectionHeaderLength;
        memmove(view + insertAt + entryLength, view + insertAt, size - insertAt);
    } else {
        // Appended as it stands: a last line without line break gets the
        // header glued to it, as Windows' own writers of this file did.
        memcpy(view + size, header, kRenameSectionHeaderLength);
        size += kRenameSectionHeaderLength;
        insertAt = size;
    }
    memcpy(view + insertAt, entry, entryLength);
    return size + entryLength;
}
