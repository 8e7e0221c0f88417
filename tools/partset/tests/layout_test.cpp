// Media sizes and the cutting of an installer into parts that fit them.
#include <gtest/gtest.h>

#include "errors.h"
#include "header.h"
#include "layout.h"

namespace partset {
namespace {

Media MediaOf(const std::string& text) {
    std::string error;
    auto m = ParseMedia(text, &error);
    EXPECT_TRUE(m) << error;
    return m.value_or(Media{});
}

TEST(Media, FloppyPresetsAreTheUsableBytesOfFreshFat12Disks) {
    const struct {
        const char* name;
        uint64_t clusters, cluster_size, capacity;
    } cases[] = {
        {"1.44M", 2847, 512, 1457664},
        {"1.2M", 2371, 512, 1213952},
        {"720K", 713, 1024, 730112},
        {"2.88M", 2863, 1024, 2931712},
        {"720k", 713, 1024, 730112},  // any case
    };
    for (const auto& c : cases) {
        const Media m = MediaOf(c.name);
        EXPECT_EQ(m.kind, Media::kFloppy) << c.name;
        EXPECT_EQ(m.clusters, c.clusters) << c.name;
        EXPECT_EQ(m.cluster_size, c.cluster_size) << c.name;
        EXPECT_EQ(m.Capacity(), c.capacity) << c.name;
    }
}

TEST(Media, CustomSizesAndRefusals) {
    const Media custom = MediaOf("5000");
    EXPECT_EQ(custom.kind, Media::kCustom);
    EXPECT_EQ(custom.Capacity(), 4608u);  // whole 512-byte clusters
    EXPECT_EQ(MediaOf("CD").kind, Media::kDirectory);
    for (const char* bad : {"1.5M", "", "-5", "12x", "1535", "1e6"}) {
        std::string error;
        EXPECT_FALSE(ParseMedia(bad, &error)) << bad;
        EXPECT_NE(error.find("--disk"), std::string::npos) << bad;
    }
}

std::vector<uint64_t> Payloads(const Plan& plan) {
    std::vector<uint64_t> out;
    for (const auto& p : plan.parts) out.push_back(p.payload);
    return out;
}

TEST(Plan, BoundariesOnDisks) {
    // 9 clusters of 512 per disk; a 3000-byte launcher takes 6 of disk 1's.
    const Media disk = MediaOf("5000");
    const uint64_t first = 3 * 512 - kHeaderSize, later = 9 * 512 - kHeaderSize;
    const struct {
        uint64_t installer, launcher;
        std::vector<uint64_t> payloads;
    } cases[] = {
        {0, 3000, {0}},
        {1, 3000, {1}},
        {first, 3000, {first}},
        {first + 1, 3000, {first, 1}},
        {first + later, 3000, {first, later}},
        {first + 2 * later + 5, 3000, {first, later, later, 5}},
        // The launcher leaves room for FILE.1's header only.
        {10, 7 * 512, {0, 10}},
        {0, 7 * 512, {0}},
        // The launcher takes whole clusters: one byte more costs one cluster of FILE.1.
        {first + 512, 2560, {first + 512}},
        {first + 512, 2561, {first, 512}},
    };
    for (const auto& c : cases) {
        const Plan plan = MakePlan(disk, c.installer, c.launcher, std::nullopt);
        EXPECT_EQ(Payloads(plan), c.payloads) << c.installer << " with launcher " << c.launcher;
        for (const auto& p : plan.parts) EXPECT_LE(DiskUsed(plan, p.number), disk.Capacity());
    }
}

TEST(Plan, RefusesALauncherThatLeavesNoRoom) {
    const Media disk = MediaOf("5000");
    try {
        MakePlan(disk, 10, 7 * 512 + 1, std::nullopt);
        FAIL() << "expected a refusal";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), kExitDoesNotFit);
        EXPECT_NE(std::string(e.what()).find("no room for FILE.1"), std::string::npos);
    }
}

TEST(Plan, PartSizeAndDirectory) {
    EXPECT_EQ(Payloads(MakePlan(MediaOf("cd"), 5000000, 3000, std::nullopt)), std::vector<uint64_t>{5000000});
    EXPECT_EQ(Payloads(MakePlan(MediaOf("cd"), 0, 3000, std::nullopt)), std::vector<uint64_t>{0});
    // The part size counts the header.
    EXPECT_EQ(Payloads(MakePlan(MediaOf("cd"), 2500, 3000, uint64_t{2024})),
              (std::vector<uint64_t>{1000, 1000, 500}));
    // On disks it caps each part; still one part per disk.
    const Plan capped = MakePlan(MediaOf("1.44M"), 3000, 3000, uint64_t{2024});
    EXPECT_EQ(Payloads(capped), (std::vector<uint64_t>{1000, 1000, 1000}));
}

TEST(Plan, DescribesDisksBytesAndFreeSpace) {
    const Plan plan = MakePlan(MediaOf("1.44M"), 2000000, 8192, std::nullopt);
    const std::string text = DescribePlan(plan, "Demo");
    EXPECT_NE(text.find("2,000,000 installer bytes in 2 parts on 2 disks of 1.44M (1,457,664 usable bytes"),
              std::string::npos)
        << text;
    // Disk 1: 16 launcher clusters, the rest for FILE.1; disk 2 holds the remainder.
    const uint64_t first = (2847 - 16) * 512 - 1024;
    EXPECT_NE(text.find(FormatBytes(first)), std::string::npos) << text;
    const uint64_t rest = 2000000 - first;
    const uint64_t used = (rest + 1024 + 511) / 512 * 512;
    EXPECT_NE(text.find(FormatBytes(1457664 - used)), std::string::npos) << text;
}

}  // namespace
}  // namespace partset
