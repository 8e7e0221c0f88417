// Whether the parts found make a whole, sound set, judged the way the
// launcher reads them: part 1 is the reference, part n belongs when its first
// 1023 header bytes equal part 1's, the set ends at the part marked last.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "header.h"
#include "parts.h"

namespace partset {

struct SetCheck {
    std::optional<size_t> reference;  // index of the part 1 taken as reference
    ManifestState manifest_state = ManifestState::kAbsent;
    Manifest manifest;
    // Indices of the parts the launcher would copy, in order: part 1, 2, ...
    std::vector<size_t> chain;
    // The chain ends in a part marked last (the launcher would finish).
    bool complete = false;
    // When not complete: the number the launcher would wait for.
    uint32_t waiting_for = 0;
    // For each number, the first part found that belongs to the set.
    std::map<uint32_t, size_t> members;
    std::vector<std::string> problems;
};

// Everything that headers and sizes can show.
SetCheck CheckStructure(const std::vector<ExaminedPart>& parts);

// With a manifest: the payload checksum of every member whose checksum is
// known, and of the whole installer when the chain is whole.
void CheckPayloads(const std::vector<ExaminedPart>& parts, SetCheck* check);

// How a part is named in messages: "part 3 (out/disk3/FILE.3)".
std::string Describe(const ExaminedPart& part);

}  // namespace partset
