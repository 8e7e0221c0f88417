#include "header.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace partset {

const char kManifestMagic[8] = {'P', 'A', 'R', 'T', 'S', 'E', 'T', 0x1A};

namespace {

void Put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put64(unsigned char* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const unsigned char* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
uint64_t Get64(const unsigned char* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// CRC-32 of the name field and the set data, with the checksum's own four
// bytes taken as zero.
uint32_t IdentityCrc(const Header& header) {
    Header copy = header;
    std::memset(copy.data() + kSetDataOffset + kManifestHeaderCrcOffset, 0, 4);
    return static_cast<uint32_t>(crc32(0L, copy.data(), kIdentityLength));
}

}  // namespace

uint64_t Manifest::ExpectedPayload(uint32_t number) const {
    if (number == 1) return part_count == 1 ? installer_length : first_payload;
    if (number < part_count) return middle_payload;
    return installer_length - first_payload - (uint64_t(part_count) - 2) * middle_payload;
}

bool Manifest::Consistent() const {
    if (part_count == 0) return false;
    if (part_count == 1) return first_payload == installer_length;
    if (first_payload > installer_length) return false;
    const uint64_t middles = uint64_t(part_count) - 2;
    if (middles > 0 && middle_payload > (installer_length - first_payload) / middles) return false;
    return true;
}

Header BuildHeader(const std::string& name_cp1252, const Manifest& m, bool last) {
    Header h{};
    std::memcpy(h.data(), name_cp1252.data(), std::min(name_cp1252.size(), kMaxNameBytes));
    unsigned char* s = h.data() + kSetDataOffset;
    std::memcpy(s + kManifestMagicOffset, kManifestMagic, sizeof kManifestMagic);
    Put16(s + kManifestVersionOffset, kManifestVersion);
    const size_t crcs = std::min(m.part_crcs.size(), kManifestMaxPartCrcs);
    Put16(s + kManifestCrcCountOffset, static_cast<uint16_t>(crcs));
    std::memcpy(s + kManifestSetIdOffset, m.set_id.data(), m.set_id.size());
    Put32(s + kManifestPartCountOffset, m.part_count);
    Put64(s + kManifestInstallerLengthOffset, m.installer_length);
    Put32(s + kManifestInstallerCrcOffset, m.installer_crc);
    Put64(s + kManifestFirstPayloadOffset, m.first_payload);
    Put64(s + kManifestMiddlePayloadOffset, m.middle_payload);
    for (size_t i = 0; i < crcs; ++i) Put32(s + kManifestPartCrcsOffset + 4 * i, m.part_crcs[i]);
    Put32(s + kManifestHeaderCrcOffset, IdentityCrc(h));
    h[kLastFlagOffset] = last ? 1 : 0;
    return h;
}

std::string HeaderName(const Header& header) {
    const auto* begin = reinterpret_cast<const char*>(header.data());
    const void* nul = std::memchr(begin, 0, kNameFieldSize);
    const size_t length = nul ? static_cast<const char*>(nul) - begin : kNameFieldSize;
    return std::string(begin, length);
}

bool HeaderIsLast(const Header& header) { return header[kLastFlagOffset] != 0; }

bool SameSet(const Header& a, const Header& b) {
    return std::memcmp(a.data(), b.data(), kIdentityLength) == 0;
}

ManifestState ReadManifest(const Header& header, Manifest* m) {
    const unsigned char* s = header.data() + kSetDataOffset;
    if (std::memcmp(s + kManifestMagicOffset, kManifestMagic, sizeof kManifestMagic) != 0) {
        return ManifestState::kAbsent;
    }
    if (Get16(s + kManifestVersionOffset) != kManifestVersion) return ManifestState::kDamaged;
    if (Get32(s + kManifestHeaderCrcOffset) != IdentityCrc(header)) return ManifestState::kDamaged;
    const uint16_t crcs = Get16(s + kManifestCrcCountOffset);
    if (crcs > kManifestMaxPartCrcs) return ManifestState::kDamaged;
    std::memcpy(m->set_id.data(), s + kManifestSetIdOffset, m->set_id.size());
    m->part_count = Get32(s + kManifestPartCountOffset);
    m->installer_length = Get64(s + kManifestInstallerLengthOffset);
    m->installer_crc = Get32(s + kManifestInstallerCrcOffset);
    m->first_payload = Get64(s + kManifestFirstPayloadOffset);
    m->middle_payload = Get64(s + kManifestMiddlePayloadOffset);
    m->part_crcs.clear();
    for (uint16_t i = 0; i < crcs; ++i) m->part_crcs.push_back(Get32(s + kManifestPartCrcsOffset + 4 * i));
    if (!m->Consistent() || crcs > m->part_count) return ManifestState::kDamaged;
    return ManifestState::kPresent;
}

std::string SetIdHex(const SetId& id) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : id) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

SetId RandomSetId() {
    std::random_device device;
    SetId id;
    for (size_t i = 0; i < id.size(); i += 4) {
        const uint32_t r = device();
        for (size_t k = 0; k < 4; ++k) id[i + k] = static_cast<unsigned char>(r >> (8 * k));
    }
    return id;
}

}  // namespace partset
