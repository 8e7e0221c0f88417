// The header and its manifest, names in Windows-1252, and checksums in pieces.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "cp1252.h"
#include "crc.h"
#include "header.h"
#include "test_support.h"

namespace partset {
namespace {

struct NameCase {
    const char* utf8;
    const char* cp1252;  // expected bytes, or nullptr when refused
    const char* message_part;
};

TEST(Cp1252, ConvertsOrNamesTheProblem) {
    const NameCase cases[] = {
        {"Setup", "Setup", nullptr},
        {"Nächste Diskette", "N\xE4" "chste Diskette", nullptr},
        {"€ Œ ™ ÿ", "\x80 \x8C \x99 \xFF", nullptr},
        {"\xC2\xA0", "\xA0", nullptr},
        {"Ωmega", nullptr, "U+03A9) at position 1, which has no Windows-1252 form"},
        {"ab\xC2\x81", nullptr, "U+0081) at position 3"},  // a C1 control Windows-1252 leaves out
        {"tab\there", nullptr, "control character U+0009 at position 4"},
        {"bad \xC3", nullptr, "not valid UTF-8 (byte 5)"},
        {"\xC0\x80", nullptr, "not valid UTF-8"},            // overlong NUL
        {"\xED\xA0\x80", nullptr, "not valid UTF-8"},        // surrogate
        {"emoji \xF0\x9F\x98\x80", nullptr, "U+1F600"},
    };
    for (const auto& c : cases) {
        std::string out, error;
        const bool ok = Utf8ToCp1252(c.utf8, &out, &error);
        if (c.cp1252) {
            EXPECT_TRUE(ok) << c.utf8 << ": " << error;
            EXPECT_EQ(out, c.cp1252) << c.utf8;
            EXPECT_EQ(Cp1252ToUtf8(out), c.utf8);
        } else {
            EXPECT_FALSE(ok) << c.utf8;
            EXPECT_NE(error.find(c.message_part), std::string::npos) << c.utf8 << ": " << error;
        }
    }
}

Manifest SampleManifest(uint32_t parts) {
    Manifest m;
    m.set_id = RandomSetId();
    m.part_count = parts;
    m.first_payload = 100;
    m.middle_payload = 300;
    m.installer_length = parts == 1 ? 100 : 100 + 300 * (parts - 2) + 7;
    m.installer_crc = 0xDEADBEEF;
    for (uint32_t i = 0; i < std::min<uint32_t>(parts, kManifestMaxPartCrcs); ++i) m.part_crcs.push_back(i * 7919u);
    return m;
}

TEST(Header, LayoutAndManifestRoundTrip) {
    const std::string name(kMaxNameBytes, 'N');  // the longest name: NUL at offset 259
    const Manifest m = SampleManifest(200);
    const Header middle = BuildHeader(name, m, false);
    const Header last = BuildHeader(name, m, true);

    EXPECT_EQ(HeaderName(middle), name);
    EXPECT_EQ(middle[259], 0);
    EXPECT_EQ(std::memcmp(middle.data() + kSetDataOffset, "PARTSET\x1A", 8), 0);
    // Parts of one set differ only in the last-part flag.
    EXPECT_TRUE(SameSet(middle, last));
    EXPECT_EQ(std::memcmp(middle.data(), last.data(), kIdentityLength), 0);
    EXPECT_EQ(middle[kLastFlagOffset], 0);
    EXPECT_NE(last[kLastFlagOffset], 0);
    EXPECT_FALSE(HeaderIsLast(middle));
    EXPECT_TRUE(HeaderIsLast(last));

    Manifest read;
    ASSERT_EQ(ReadManifest(last, &read), ManifestState::kPresent);
    EXPECT_EQ(read.set_id, m.set_id);
    EXPECT_EQ(read.part_count, 200u);
    EXPECT_EQ(read.installer_length, m.installer_length);
    EXPECT_EQ(read.installer_crc, 0xDEADBEEFu);
    EXPECT_EQ(read.first_payload, 100u);
    EXPECT_EQ(read.middle_payload, 300u);
    // Only as many part checksums as fit in the set data.
    ASSERT_EQ(read.part_crcs.size(), kManifestMaxPartCrcs);
    EXPECT_EQ(kManifestPartCrcsOffset + 4 * kManifestMaxPartCrcs <= kSetDataSize, true);
    EXPECT_EQ(read.part_crcs.back(), (kManifestMaxPartCrcs - 1) * 7919u);
}

TEST(Header, DifferentBuildsOfOneProductAreDifferentSets) {
    const Manifest a = SampleManifest(3), b = SampleManifest(3);
    ASSERT_NE(a.set_id, b.set_id);
    EXPECT_FALSE(SameSet(BuildHeader("App", a, false), BuildHeader("App", b, false)));
}

TEST(Header, DamagedOrForeignSetData) {
    Header h = BuildHeader("App", SampleManifest(4), false);
    Manifest m;
    Header renamed = h;
    renamed[0] = 'X';  // the checksum covers the name too
    EXPECT_EQ(ReadManifest(renamed, &m), ManifestState::kDamaged);
    Header flipped = h;
    flipped[kSetDataOffset + kManifestPartCountOffset] ^= 1;
    EXPECT_EQ(ReadManifest(flipped, &m), ManifestState::kDamaged);
    Header foreign{};
    std::memcpy(foreign.data(), "Other", 5);
    const auto noise = partset_test::RandomBytes(kSetDataSize, 1);
    std::memcpy(foreign.data() + kSetDataOffset, noise.data(), noise.size());
    EXPECT_EQ(ReadManifest(foreign, &m), ManifestState::kAbsent);
    // The last-part flag lies outside the checksum.
    Header last = h;
    last[kLastFlagOffset] = 0xFF;
    EXPECT_EQ(ReadManifest(last, &m), ManifestState::kPresent);
}

TEST(Header, ExpectedPayloads) {
    Manifest m = SampleManifest(4);  // 100, 300, 300, 7
    EXPECT_EQ(m.ExpectedPayload(1), 100u);
    EXPECT_EQ(m.ExpectedPayload(2), 300u);
    EXPECT_EQ(m.ExpectedPayload(3), 300u);
    EXPECT_EQ(m.ExpectedPayload(4), 7u);
    EXPECT_TRUE(m.Consistent());
    m.middle_payload = 1000;  // more than the installer holds
    EXPECT_FALSE(m.Consistent());
    Manifest one = SampleManifest(1);
    EXPECT_EQ(one.ExpectedPayload(1), 100u);
    one.installer_length = 99;
    EXPECT_FALSE(one.Consistent());
}

TEST(Crc, CombinedInStepsEqualsWhole) {
    const auto data = partset_test::RandomBytes(300000, 2);
    const uint32_t whole = Crc32(0, data.data(), data.size());
    for (size_t cut : {size_t(0), size_t(1), size_t(4096), size_t(299999), data.size()}) {
        const uint32_t a = Crc32(0, data.data(), cut);
        const uint32_t b = Crc32(0, data.data() + cut, data.size() - cut);
        EXPECT_EQ(Crc32Combine(a, b, data.size() - cut), whole) << cut;
        // Long lengths are combined in steps: a shift by x then by y is a shift by x + y.
        const size_t x = (data.size() - cut) / 3;
        const uint32_t stepped = static_cast<uint32_t>(
            crc32_combine(crc32_combine(a, 0, static_cast<z_off_t>(x)), b, static_cast<z_off_t>(data.size() - cut - x)));
        EXPECT_EQ(stepped, whole) << cut;
    }
}

}  // namespace
}  // namespace partset
