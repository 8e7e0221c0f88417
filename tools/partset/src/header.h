// The 1024-byte header at the start of every part file, and the manifest this
// tool keeps in its set-data bytes (layout in tools/partset/FORMAT.md).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace partset {

constexpr size_t kHeaderSize = 1024;
constexpr size_t kNameFieldSize = 260;
constexpr size_t kMaxNameBytes = kNameFieldSize - 1;
constexpr size_t kSetDataOffset = 260;
constexpr size_t kSetDataSize = 763;
// The first 1023 bytes: what every part of one set has in common.
constexpr size_t kIdentityLength = 1023;
constexpr size_t kLastFlagOffset = 1023;

// Manifest fields, as offsets into the set data.
constexpr size_t kManifestMagicOffset = 0;
constexpr size_t kManifestVersionOffset = 8;
constexpr size_t kManifestCrcCountOffset = 10;
constexpr size_t kManifestSetIdOffset = 12;
constexpr size_t kManifestPartCountOffset = 28;
constexpr size_t kManifestHeaderCrcOffset = 32;
constexpr size_t kManifestInstallerLengthOffset = 36;
constexpr size_t kManifestInstallerCrcOffset = 44;
constexpr size_t kManifestFirstPayloadOffset = 48;
constexpr size_t kManifestMiddlePayloadOffset = 56;
constexpr size_t kManifestPartCrcsOffset = 64;
constexpr size_t kManifestMaxPartCrcs = (kSetDataSize - kManifestPartCrcsOffset) / 4;  // 174
constexpr uint16_t kManifestVersion = 1;
extern const char kManifestMagic[8];

using Header = std::array<unsigned char, kHeaderSize>;
using SetId = std::array<unsigned char, 16>;

struct Manifest {
    SetId set_id{};
    uint32_t part_count = 0;
    uint64_t installer_length = 0;
    uint32_t installer_crc = 0;
    // Payload bytes of part 1, and of each part from 2 up to the one before
    // the last; the last part holds the rest.
    uint64_t first_payload = 0;
    uint64_t middle_payload = 0;
    // Payload CRC-32 of parts 1, 2, ... as far as they fit.
    std::vector<uint32_t> part_crcs;

    // Expected payload bytes of part `number` (1-based), from the fields above.
    uint64_t ExpectedPayload(uint32_t number) const;
    // Whether the sizes add up to the installer length.
    bool Consistent() const;
};

enum class ManifestState { kAbsent, kDamaged, kPresent };

// Builds a header: the name (already Windows-1252, at most 259 bytes), the
// manifest, and the last-part flag.
Header BuildHeader(const std::string& name_cp1252, const Manifest& manifest, bool last);

// The name field up to its NUL (or all 260 bytes if it holds none).
std::string HeaderName(const Header& header);
bool HeaderIsLast(const Header& header);
bool SameSet(const Header& a, const Header& b);

// Reads the manifest from a header's set data. kAbsent: the set data is not
// ours; kDamaged: our magic, but the header checksum or the fields are wrong.
ManifestState ReadManifest(const Header& header, Manifest* manifest);

std::string SetIdHex(const SetId& id);
SetId RandomSetId();

}  // namespace partset
