// Media sizes and how an installer is cut into parts to fit them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace partset {

struct Media {
    enum Kind { kFloppy, kCustom, kDirectory } kind = kFloppy;
    std::string label;            // as the user names it: "1.44M", "5000 bytes", "cd"
    std::string mformat_size;     // kFloppy: the mformat -f argument
    uint64_t cluster_size = 0;    // kFloppy, kCustom
    uint64_t clusters = 0;        // kFloppy, kCustom: data clusters of an empty disk

    uint64_t Capacity() const { return cluster_size * clusters; }
    uint64_t ClustersFor(uint64_t bytes) const {
        return bytes == 0 ? 0 : (bytes + cluster_size - 1) / cluster_size;
    }
};

// "1.44M", "1.2M", "720K", "2.88M", "cd" or a number of bytes.
std::optional<Media> ParseMedia(const std::string& text, std::string* error);
// All the floppy presets, for tests and help.
std::vector<Media> FloppyPresets();

struct PlannedPart {
    uint32_t number = 0;
    uint64_t payload = 0;
};

struct Plan {
    Media media;
    uint64_t installer_length = 0;
    uint64_t launcher_length = 0;
    std::optional<uint64_t> part_size;  // most bytes of one part file, header included
    uint64_t first_payload = 0;         // most payload part 1 can carry
    uint64_t middle_payload = 0;        // most payload each later part can carry
    std::vector<PlannedPart> parts;
};

// Lays out the parts. Throws Error(kExitDoesNotFit) when the media cannot
// carry the launcher and a header, or the set needs more parts than the
// launcher can count.
Plan MakePlan(const Media& media, uint64_t installer_length, uint64_t launcher_length,
              std::optional<uint64_t> part_size);

// Bytes a disk's files take, in whole clusters; for a directory, their sizes.
uint64_t DiskUsed(const Plan& plan, uint32_t disk);

std::string FormatBytes(uint64_t bytes);  // 1,457,664
std::string DescribePlan(const Plan& plan, const std::string& name_utf8);

}  // namespace partset
