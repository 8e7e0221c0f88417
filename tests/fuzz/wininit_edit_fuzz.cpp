// Fuzzes the in-place WinInit.Ini edit over a byte view.
//
// Input: one byte giving the entry's length share, then bytes split into the
// entry line and the old file content. The view is laid out as a real
// mapping leaves it: old content, then zero-filled room for header and entry,
// and nothing more, so ASan sees any write past the mapping.
//
// Besides memory errors, checks what the edit must keep: the result length,
// the old content before the insertion point, the entry at the insertion
// point, and everything after it moved up unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "restart_removal/wininit_edit.h"

namespace {

const unsigned char kHeader[] = {'[', 'R', 'e', 'n', 'a', 'm', 'e', ']', '\r', '\n'};

void Check(bool condition)
{
    if (!condition) {
        abort();
    }
}

// Where the header is in the text the way Windows reads it: up to the first
// zero byte. Returns size when there is none.
size_t ExpectedHeaderAt(const std::vector<unsigned char>& old)
{
    size_t textLength = 0;
    while (textLength < old.size() && old[textLength] != 0) {
        ++textLength;
    }
    for (size_t at = 0; at + sizeof(kHeader) <= textLength; ++at) {
        if (memcmp(old.data() + at, kHeader, sizeof(kHeader)) == 0) {
            return at;
        }
    }
    return old.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    size_t entryLength = data[0] % 64;
    ++data;
    --size;
    if (entryLength > size) {
        entryLength = size;
    }
    // One spare byte each, so that even empty inputs have real storage to
    // point at, as the launcher's buffers always do.
    std::vector<char> entry(data, data + entryLength);
    entry.reserve(entryLength + 1);
    std::vector<unsigned char> old(data + entryLength, data + size);
    old.reserve(old.size() + 1);

    size_t viewLength = old.size() + entryLength + kWinInitSpare;
    unsigned char* view = static_cast<unsigned char*>(malloc(viewLength));
    memcpy(view, old.data(), old.size());
    memset(view + old.size(), 0, viewLength - old.size());

    DWORD newSize = InsertRenameEntry(view, static_cast<DWORD>(old.size()), entry.data(),
                                      static_cast<DWORD>(entryLength));

    size_t headerAt = ExpectedHeaderAt(old);
    bool found = headerAt < old.size();
    size_t insertAt = found ? headerAt + sizeof(kHeader) : old.size() + sizeof(kHeader);
    Check(newSize == old.size() + entryLength + (found ? 0 : sizeof(kHeader)));
    Check(newSize <= viewLength);
    size_t keptBefore = found ? insertAt : old.size();
    Check(memcmp(view, old.data(), keptBefore) == 0);
    if (!found) {
        Check(memcmp(view + old.size(), kHeader, sizeof(kHeader)) == 0);
    }
    Check(memcmp(view + insertAt, entry.data(), entryLength) == 0);
    if (found) {
        Check(memcmp(view + insertAt + entryLength, old.data() + insertAt,
                     old.size() - insertAt) == 0);
    }
    free(view);
    return 0;
}
