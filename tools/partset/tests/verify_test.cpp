// verify finds each kind of fault on a copy of a sound set that has only that
// fault, join refuses such a set, and both follow the launcher's rules.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "test_support.h"

namespace partset_test {
namespace {

// --disk 5000 with a 3000-byte launcher: payloads 512, 3584, 3584, 1000.
constexpr size_t kInstallerSize = 512 + 2 * 3584 + 1000;

void Patch(const fs::path& file, size_t offset, unsigned char value) {
    Bytes b = ReadFile(file);
    b.at(offset) = value;
    WriteFile(file, b);
}

void Truncate(const fs::path& file, size_t size) { fs::resize_file(file, size); }

class Verify : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir();
        WriteFile(*dir_ / "SETUP.EXE", RandomBytes(3000, 1));
        WriteFile(*dir_ / "installer.exe", RandomBytes(kInstallerSize, 2));
        MakeSet("good", "Demo");
        MakeSet("rebuilt", "Demo");  // the same product split again: another set id
        MakeSet("other", "Other");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static void MakeSet(const std::string& out, const std::string& name) {
        const Result r = RunTool({"split", "installer.exe", "--name", name, "--out", out, "--disk", "5000",
                                  "--launcher", "SETUP.EXE"},
                                 dir_->path());
        ASSERT_EQ(r.exit_code, 0) << r.err;
    }
    // A fresh copy of the good set, named `name`.
    fs::path Copy(const std::string& name) {
        const fs::path to = *dir_ / name;
        fs::remove_all(to);
        fs::copy(*dir_ / "good", to, fs::copy_options::recursive);
        return to;
    }
    Result Tool(const std::vector<std::string>& args) { return RunTool(args, dir_->path()); }

    static ScratchDir* dir_;
};

ScratchDir* Verify::dir_ = nullptr;

TEST_F(Verify, ASoundSetPasses) {
    const Result r = Tool({"verify", "good"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("OK: \"Demo\": 4 parts, 8,680 installer bytes, set id "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("checksums match"), std::string::npos);
}

TEST_F(Verify, FindsEachFaultAndJoinRefusesIt) {
    const fs::path root = dir_->path();
    const struct {
        const char* fault;
        std::function<void(const fs::path&)> apply;
        std::string problem;
    } cases[] = {
        {"foreign part: another build",
         [&](const fs::path& s) { fs::copy_file(root / "rebuilt/disk3/FILE.3", s / "disk3/FILE.3", fs::copy_options::overwrite_existing); },
         "foreign part: part 3 (fault/disk3/FILE.3) belongs to another set: set id "},
        {"foreign part: another product",
         [&](const fs::path& s) { fs::copy_file(root / "other/disk2/FILE.2", s / "disk2/FILE.2", fs::copy_options::overwrite_existing); },
         "foreign part: part 2 (fault/disk2/FILE.2) belongs to another set: its name is \"Other\", not \"Demo\""},
        {"missing part",
         [](const fs::path& s) { fs::remove(s / "disk4/FILE.4"); },
         "missing part: FILE.4 (disk 4) was not found; the set has 4 parts"},
        {"gap",
         [](const fs::path& s) { fs::remove(s / "disk2/FILE.2"); },
         "gap in the numbers: FILE.2 (disk 2) is missing between FILE.1 and FILE.3"},
        {"flag too early",
         [](const fs::path& s) { Patch(s / "disk2/FILE.2", 1023, 1); },
         "last-part flag in the wrong place: part 2 (fault/disk2/FILE.2) is marked last, but the set has 4 parts"},
        {"flag missing",
         [](const fs::path& s) { Patch(s / "disk4/FILE.4", 1023, 0); },
         "last-part flag in the wrong place: part 4 (fault/disk4/FILE.4) is the last of 4 parts but is not marked last"},
        {"short part: header cut",
         [](const fs::path& s) { Truncate(s / "disk3/FILE.3", 600); },
         "short part: part 3 (fault/disk3/FILE.3) is 600 bytes, less than its 1024-byte header"},
        {"short part: payload cut",
         [](const fs::path& s) { Truncate(s / "disk3/FILE.3", 1024 + 3574); },
         "short part: part 3 (fault/disk3/FILE.3) holds 3,574 payload bytes, 3,584 expected"},
        {"checksum",
         [](const fs::path& s) {
             Bytes b = ReadFile(s / "disk3/FILE.3");
             b[2000] ^= 0x40;
             WriteFile(s / "disk3/FILE.3", b);
         },
         "checksum differs: part 3 (fault/disk3/FILE.3): payload CRC-32 "},
        {"damaged manifest",
         [](const fs::path& s) {
             for (int k = 1; k <= 4; ++k) {
                 const fs::path f = s / ("disk" + std::to_string(k)) / ("FILE." + std::to_string(k));
                 Patch(f, 260 + 40, ReadFile(f)[300] ^ 1);  // every part alike: only the checksum shows it
             }
         },
         "damaged manifest: part 1 (fault/disk1/FILE.1) carries this tool's manifest but its checksum or fields are wrong"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        const fs::path set = Copy("fault");
        c.apply(set);
        const Result verify = Tool({"verify", "fault"});
        EXPECT_EQ(verify.exit_code, 1);
        const auto lines = Lines(verify.out);
        ASSERT_EQ(lines.size(), 2u) << verify.out;
        EXPECT_EQ(lines[0].rfind(c.problem, 0), 0u) << lines[0];
        EXPECT_EQ(lines[1], "1 problem found");

        const Result join = Tool({"join", "fault", "--out", "joined.exe"});
        EXPECT_EQ(join.exit_code, 1);
        EXPECT_NE(join.err.find(c.problem), std::string::npos) << join.err;
        EXPECT_FALSE(fs::exists(root / "joined.exe"));
        for (const auto& entry : fs::directory_iterator(root)) {
            EXPECT_EQ(entry.path().filename().string().find(".joined.exe"), std::string::npos)
                << "left behind: " << entry.path();
        }
    }
}

TEST_F(Verify, JoinTakesTheFirstMatchingPartInThePlacesGiven) {
    // A disk of the old build comes first; the launcher would refuse it and
    // take part 3 from the next place.
    const Result verify = Tool({"verify", "rebuilt/disk3", "good"});
    EXPECT_EQ(verify.exit_code, 1);
    const Result refused = Tool({"join", "rebuilt/disk3", "good", "--out", "joined.exe"});
    EXPECT_EQ(refused.exit_code, 1);
    const Result forced = Tool({"join", "good/disk1", "rebuilt/disk3", "good", "--out", "joined.exe", "--force"});
    ASSERT_EQ(forced.exit_code, 0) << forced.err;
    EXPECT_EQ(ReadFile(dir_->path() / "joined.exe"), ReadFile(dir_->path() / "installer.exe"));
    fs::remove(dir_->path() / "joined.exe");
}

TEST_F(Verify, ForcedJoinStopsAtThePartMarkedLastLikeTheLauncher) {
    const fs::path set = Copy("early");
    Patch(set / "disk2/FILE.2", 1023, 1);
    const Result r = Tool({"join", "early", "--out", "joined.exe", "--force"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("last-part flag in the wrong place"), std::string::npos);
    Bytes expected = ReadFile(dir_->path() / "installer.exe");
    expected.resize(512 + 3584);
    EXPECT_EQ(ReadFile(dir_->path() / "joined.exe"), expected);
    fs::remove(dir_->path() / "joined.exe");

    // Without a part the launcher would wait for, even --force cannot join.
    fs::remove(set / "disk3/FILE.3");
    Patch(set / "disk2/FILE.2", 1023, 0);
    const Result missing = Tool({"join", "early", "--out", "joined.exe", "--force"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.err.find("cannot rebuild the installer: FILE.3 (disk 3)"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(dir_->path() / "joined.exe"));
}

// A set made by something else: its set data is not our manifest.
void WritePlainSet(const fs::path& dir, const std::vector<Bytes>& payloads) {
    fs::create_directories(dir);
    Bytes header(1024, 0);
    std::memcpy(header.data(), "Plain", 5);
    const Bytes set_data = RandomBytes(763, 99);
    std::copy(set_data.begin(), set_data.end(), header.begin() + 260);
    for (size_t k = 0; k < payloads.size(); ++k) {
        Bytes part = header;
        part[1023] = k + 1 == payloads.size() ? 0x80 : 0;
        part.insert(part.end(), payloads[k].begin(), payloads[k].end());
        WriteFile(dir / ("FILE." + std::to_string(k + 1)), part);
    }
}

TEST_F(Verify, SetsWithoutAManifestAreCheckedStructurally) {
    const fs::path plain = dir_->path() / "plain";
    const std::vector<Bytes> payloads = {RandomBytes(100, 1), {}, RandomBytes(5000, 3), RandomBytes(7, 4)};
    WritePlainSet(plain, payloads);
    const Result ok = Tool({"verify", "plain"});
    EXPECT_EQ(ok.exit_code, 0) << ok.out;
    EXPECT_NE(ok.out.find("no partset manifest: the set's structure was checked, not its contents"), std::string::npos);
    EXPECT_NE(ok.out.find("OK: \"Plain\": 4 parts, 5,107 installer bytes"), std::string::npos) << ok.out;

    const Result inspect = Tool({"inspect", "plain/FILE.1"});
    EXPECT_NE(inspect.out.find("no        -"), std::string::npos) << inspect.out;

    const Result join = Tool({"join", "plain", "--out", "plain.exe"});
    ASSERT_EQ(join.exit_code, 0) << join.err;
    Bytes expected;
    for (const auto& p : payloads) expected.insert(expected.end(), p.begin(), p.end());
    EXPECT_EQ(ReadFile(dir_->path() / "plain.exe"), expected);

    fs::remove(plain / "FILE.3");
    const Result gap = Tool({"verify", "plain"});
    EXPECT_EQ(gap.exit_code, 1);
    EXPECT_NE(gap.out.find("gap in the numbers: FILE.3 (disk 3) is missing between FILE.2 and FILE.4"),
              std::string::npos) << gap.out;
    fs::remove(plain / "FILE.4");
    const Result end = Tool({"verify", "plain"});
    EXPECT_NE(end.out.find("missing part: FILE.3 (disk 3) was not found, and FILE.2 is not marked last"),
              std::string::npos) << end.out;
}

TEST_F(Verify, PartsBeyondTheManifestsChecksumsAreCoveredByTheInstallersChecksum) {
    // 179 parts of 512 payload bytes, more than the manifest has checksums for.
    const fs::path root = dir_->path();
    WriteFile(root / "tiny.exe", RandomBytes(500, 5));
    WriteFile(root / "many.exe", RandomBytes(179 * 512, 6));
    const Result split = Tool({"split", "many.exe", "--name", "Many", "--out", "many", "--disk", "cd",
                               "--part-size", "1536", "--launcher", "tiny.exe"});
    ASSERT_EQ(split.exit_code, 0) << split.err;
    ASSERT_TRUE(fs::exists(root / "many/FILE.179"));
    EXPECT_EQ(Tool({"verify", "many"}).exit_code, 0);
    Patch(root / "many/FILE.178", 1500, ReadFile(root / "many/FILE.178")[1500] ^ 1);
    const Result r = Tool({"verify", "many"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("checksum differs: the installer (FILE.175 to FILE.179 carry no checksum of their own"),
              std::string::npos) << r.out;
}

}  // namespace
}  // namespace partset_test
