// split and join through the command line: round trips, names, refusals,
// the plan, inspect's table and the default launcher.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "test_support.h"

namespace partset_test {
namespace {

// --disk 5000: 9 clusters of 512 per disk. The 3000-byte launcher takes 6 of
// disk 1's, which leaves FILE.1 512 payload bytes; later parts carry 3584.
constexpr size_t kFirst = 512;
constexpr size_t kLater = 9 * 512 - 1024;

class SplitJoin : public ::testing::Test {
protected:
    void SetUp() override {
        launcher_ = dir_ / "SETUP.EXE";
        WriteFile(launcher_, RandomBytes(3000, 7));
    }
    Result Split(const Bytes& installer, std::vector<std::string> extra, const std::string& out = "set") {
        WriteFile(dir_ / "installer.exe", installer);
        std::vector<std::string> args = {"split", "installer.exe", "--name", "Demo", "--out", out};
        if (std::find(extra.begin(), extra.end(), "--launcher") == extra.end()) {
            extra.insert(extra.end(), {"--launcher", launcher_.string()});
        }
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTool(args, dir_.path());
    }
    // Splits, checks the layout, verifies, joins and compares.
    void RoundTrip(size_t size, const std::vector<std::string>& extra, size_t expected_parts, bool directory,
                   size_t disk_capacity) {
        SCOPED_TRACE("installer of " + std::to_string(size) + " bytes");
        fs::remove_all(dir_ / "set");
        fs::remove(dir_ / "joined.exe");
        const Bytes installer = RandomBytes(size, static_cast<uint32_t>(size));
        const Result split = Split(installer, extra);
        ASSERT_EQ(split.exit_code, 0) << split.err;

        std::vector<std::string> expected;
        for (size_t k = 1; k <= expected_parts; ++k) {
            const std::string disk = directory ? "" : "disk" + std::to_string(k);
            if (!directory) expected.push_back(disk);
            if (k == 1) expected.push_back(directory ? "SETUP.EXE" : disk + "/SETUP.EXE");
            expected.push_back(directory ? "FILE." + std::to_string(k) : disk + "/FILE." + std::to_string(k));
        }
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(ListTree(dir_ / "set"), expected);
        EXPECT_EQ(ReadFile(dir_ / "set" / (directory ? "" : "disk1") / "SETUP.EXE"), ReadFile(launcher_));
        if (!directory) {
            for (size_t k = 1; k <= expected_parts; ++k) {
                size_t used = 0;
                for (const auto& e : fs::directory_iterator(dir_ / "set" / ("disk" + std::to_string(k)))) {
                    used += (fs::file_size(e.path()) + 511) / 512 * 512;
                }
                EXPECT_LE(used, disk_capacity) << "disk " << k;
            }
        }

        const Result verify = RunTool({"verify", "set"}, dir_.path());
        EXPECT_EQ(verify.exit_code, 0) << verify.out;
        const Result join = RunTool({"join", "set", "--out", "joined.exe"}, dir_.path());
        ASSERT_EQ(join.exit_code, 0) << join.err;
        EXPECT_TRUE(ReadFile(dir_ / "joined.exe") == installer);
    }

    ScratchDir dir_;
    fs::path launcher_;
};

TEST_F(SplitJoin, RoundTripsAroundEveryBoundary) {
    const struct {
        size_t size, parts;
    } cases[] = {
        {0, 1},
        {1, 1},
        {kFirst, 1},                   // exactly disk 1's payload
        {kFirst + 1, 2},               // one byte more
        {kFirst + kLater, 2},          // two full disks
        {kFirst + kLater + 1, 3},
        {kFirst + 3 * kLater + 100, 5},
    };
    for (const auto& c : cases) RoundTrip(c.size, {"--disk", "5000"}, c.parts, false, 4608);
}

TEST_F(SplitJoin, RoundTripsWithALauncherFillingMostOfDisk1) {
    // 7 of 9 clusters: FILE.1 is its header alone.
    WriteFile(launcher_, RandomBytes(7 * 512, 8));
    for (size_t size : {size_t(0), size_t(1), kLater, kLater + 1}) {
        const size_t parts = size == 0 ? 1 : 1 + (size + kLater - 1) / kLater;
        RoundTrip(size, {"--disk", "5000"}, parts, false, 4608);
    }
    EXPECT_EQ(fs::file_size(dir_ / "set/disk1/FILE.1"), 1024u);
}

TEST_F(SplitJoin, RoundTripsInOneDirectory) {
    RoundTrip(0, {"--disk", "cd"}, 1, true, 0);
    RoundTrip(200000, {"--disk", "cd"}, 1, true, 0);
    // Parts of several MiB, not in whole copy buffers: each one's checksum is
    // made in pieces, alongside the copy, and verify and join check it.
    RoundTrip((3 << 20) + 7, {"--disk", "cd"}, 1, true, 0);
    RoundTrip((5 << 20) + 12345, {"--disk", "cd", "--part-size", "1500000"}, 4, true, 0);
    RoundTrip(10000, {"--disk", "cd", "--part-size", "3024"}, 5, true, 0);
    RoundTrip(10000, {"--disk", "cd", "--part-size", "3024"}, 5, true, 0);
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(fs::file_size(dir_ / "set" / ("FILE." + std::to_string(k))), 3024u);
}

TEST_F(SplitJoin, StoresTheNameInWindows1252InEveryPart) {
    WriteFile(dir_ / "installer.exe", RandomBytes(7000, 3));  // 3 parts
    const Result r = RunTool({"split", "installer.exe", "--name", "Größe ä", "--out", "set", "--disk", "5000",
                          "--launcher", launcher_.string()},
                         dir_.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Bytes first = ReadFile(dir_ / "set/disk1/FILE.1");
    const unsigned char expected[] = {'G', 'r', 0xF6, 0xDF, 'e', ' ', 0xE4, 0};
    ASSERT_GE(first.size(), 1024u);
    EXPECT_EQ(std::memcmp(first.data(), expected, sizeof expected), 0);
    for (int k = 2; k <= 3; ++k) {
        const Bytes part = ReadFile(dir_ / "set" / ("disk" + std::to_string(k)) / ("FILE." + std::to_string(k)));
        EXPECT_EQ(std::memcmp(part.data(), first.data(), 1023), 0) << "part " << k;
        EXPECT_EQ(part[1023] != 0, k == 3) << "part " << k;
    }
    EXPECT_EQ(first[1023], 0);
}

TEST_F(SplitJoin, RefusalsLeaveNothingBehind) {
    fs::create_directory(dir_ / "taken");
    WriteFile(dir_ / "taken" / "keep.txt", {'x'});
    WriteFile(dir_ / "installer.exe", RandomBytes(5000, 4));
    const std::string launcher = launcher_.string();
    const struct {
        std::vector<std::string> args;
        int exit_code;
        const char* message;
    } cases[] = {
        {{"--name", "Ωmega"}, 2, "has no Windows-1252 form"},
        {{"--name", std::string(260, 'a')}, 2, "260 bytes in Windows-1252; at most 259 fit"},
        {{"--name", ""}, 2, "--name is empty"},
        {{"--disk", "1.5M"}, 2, "--disk 1.5M: expected"},
        {{"--disk", "cd", "--images"}, 2, "--images needs a floppy size"},
        {{"--part-size", "1024"}, 2, "--part-size must be more than 1024"},
        {{"--part-size", "12k"}, 2, "expected a number of bytes"},
        {{"--out", "taken"}, 4, "exists and is not empty"},
        {{"--launcher", "missing.exe"}, 3, "--launcher missing.exe: no such file"},
        {{"--disk", "2000"}, 5, "leaves no room for FILE.1"},
        {{"--bogus"}, 2, "bogus"},
    };
    const auto before = ListTree(dir_.path());
    for (const auto& c : cases) {
        std::vector<std::string> args = {"split", "installer.exe"};
        bool has_name = false, has_out = false, has_launcher = false;
        for (const auto& a : c.args) has_name |= a == "--name", has_out |= a == "--out", has_launcher |= a == "--launcher";
        if (!has_launcher) args.insert(args.end(), {"--launcher", launcher});
        if (!has_name) args.insert(args.end(), {"--name", "Demo"});
        if (!has_out) args.insert(args.end(), {"--out", "new/set"});
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result r = RunTool(args, dir_.path());
        EXPECT_EQ(r.exit_code, c.exit_code) << c.args[0] << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(ListTree(dir_.path()), before) << c.args[0];
    }
    const Result missing = RunTool({"split", "nothere.exe", "--name", "D", "--out", "set", "--launcher", launcher},
                               dir_.path());
    EXPECT_EQ(missing.exit_code, 3);
    EXPECT_EQ(ListTree(dir_.path()), before);
}

TEST_F(SplitJoin, ReplacesOnlyWithForceAndAcceptsAnEmptyDirectory) {
    fs::create_directory(dir_ / "set");
    ASSERT_EQ(Split(RandomBytes(100, 1), {"--disk", "cd"}).exit_code, 0);
    WriteFile(dir_ / "set" / "stale.txt", {'x'});
    EXPECT_EQ(Split(RandomBytes(100, 2), {"--disk", "cd"}).exit_code, 4);
    EXPECT_TRUE(fs::exists(dir_ / "set" / "stale.txt"));
    ASSERT_EQ(Split(RandomBytes(100, 2), {"--disk", "cd", "--force"}).exit_code, 0);
    EXPECT_EQ(ListTree(dir_ / "set"), (std::vector<std::string>{"FILE.1", "SETUP.EXE"}));
    // Nothing of the temporary directories remains beside it.
    EXPECT_EQ(ListTree(dir_.path()), (std::vector<std::string>{"SETUP.EXE", "installer.exe", "set", "set/FILE.1",
                                                                "set/SETUP.EXE"}));
}

TEST_F(SplitJoin, DryRunPrintsThePlanAndWritesNothing) {
    const Result r = Split(RandomBytes(kFirst + kLater + 10, 5), {"--disk", "5000", "--dry-run"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "set"));
    const auto lines = Lines(r.out);
    ASSERT_GE(lines.size(), 6u) << r.out;
    EXPECT_NE(lines[0].find("4,106 installer bytes in 3 parts on 3 disks"), std::string::npos) << r.out;
    // disk, files, payload, bytes on disk, bytes free
    EXPECT_NE(r.out.find("1     SETUP.EXE, FILE.1               512          4,608              0"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3     FILE.3                           10          1,536          3,072"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("dry run: nothing written"), std::string::npos);
}

TEST_F(SplitJoin, InspectShowsEveryPartsColumns) {
    ASSERT_EQ(Split(RandomBytes(kFirst + kLater + 10, 6), {"--disk", "5000"}).exit_code, 0);
    const Result r = RunTool({"inspect", "set"}, dir_.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0].substr(0, 42), "PART  WHERE             PAYLOAD  LAST  MAN");
    std::string set_id;
    for (size_t k = 1; k <= 3; ++k) {
        std::istringstream row(lines[k]);
        std::string number, where, payload, last, manifest, id, name;
        row >> number >> where >> payload >> last >> manifest >> id >> name;
        EXPECT_EQ(number, std::to_string(k));
        EXPECT_EQ(where, "set/disk" + std::to_string(k) + "/FILE." + std::to_string(k));
        EXPECT_EQ(payload, k == 1 ? "512" : k == 2 ? "3,584" : "10");
        EXPECT_EQ(last, k == 3 ? "yes" : "no");
        EXPECT_EQ(manifest, "yes");
        EXPECT_EQ(id.size(), 32u);
        if (k == 1) set_id = id;
        EXPECT_EQ(id, set_id);
        EXPECT_EQ(name, "Demo");
    }
}

TEST_F(SplitJoin, JoinRefusesToOverwriteWithoutForce) {
    ASSERT_EQ(Split(RandomBytes(3000, 9), {"--disk", "5000"}).exit_code, 0);
    WriteFile(dir_ / "joined.exe", {'o', 'l', 'd'});
    const Result r = RunTool({"join", "set", "--out", "joined.exe"}, dir_.path());
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_EQ(ReadFile(dir_ / "joined.exe"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(RunTool({"join", "set", "--out", "joined.exe", "--force"}, dir_.path()).exit_code, 0);
    EXPECT_EQ(ReadFile(dir_ / "joined.exe"), ReadFile(dir_ / "installer.exe"));
    // A place that holds no parts is an input error.
    fs::create_directory(dir_ / "empty");
    EXPECT_EQ(RunTool({"join", "empty", "--out", "other.exe"}, dir_.path()).exit_code, 3);
    EXPECT_FALSE(fs::exists(dir_ / "other.exe"));
}

TEST(DefaultLauncher, IsTheBuiltSetupExeBesideTheToolsBinDirectory) {
    ScratchDir dir;
    fs::create_directories(dir / "dist/bin");
    const fs::path tool = dir / "dist/bin/partset";
    fs::copy_file(PARTSET_EXE, tool);
    WriteFile(dir / "installer.exe", RandomBytes(100, 1));
    const std::vector<std::string> args = {"split", "installer.exe", "--name", "D", "--out", "set", "--disk", "cd"};

    const Result absent = RunTool(args, dir.path(), tool.string());
    EXPECT_EQ(absent.exit_code, 3);
    EXPECT_NE(absent.err.find("dist/win32/SETUP.EXE"), std::string::npos) << absent.err;
    EXPECT_NE(absent.err.find("--launcher"), std::string::npos) << absent.err;
    EXPECT_FALSE(fs::exists(dir / "set"));

    fs::create_directories(dir / "dist/win32");
    WriteFile(dir / "dist/win32/SETUP.EXE", RandomBytes(4000, 2));
    const Result present = RunTool(args, dir.path(), tool.string());
    ASSERT_EQ(present.exit_code, 0) << present.err;
    EXPECT_EQ(ReadFile(dir / "set/SETUP.EXE"), ReadFile(dir / "dist/win32/SETUP.EXE"));
}

}  // namespace
}  // namespace partset_test
