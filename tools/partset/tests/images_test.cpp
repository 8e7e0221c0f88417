// Floppy images: the presets agree with what mtools makes, and the images
// split writes hold the right files and labels and can be read back.
#include <gtest/gtest.h>

#include <regex>

#include "layout.h"
#include "test_support.h"

namespace partset_test {
namespace {

uint64_t BytesFree(const std::string& mdir_output) {
    std::smatch m;
    const std::regex free_line("([0-9 ]+) bytes free");
    if (!std::regex_search(mdir_output, m, free_line)) return UINT64_MAX;
    std::string digits = m[1];
    digits.erase(std::remove(digits.begin(), digits.end(), ' '), digits.end());
    return std::stoull(digits);
}

const char* const kPresets[] = {"1.44M", "1.2M", "720K", "2.88M"};
const char* const kMformatSizes[] = {"1440", "1200", "720", "2880"};

TEST(Images, PresetsAreWhatMformatLeavesFree) {
    ScratchDir dir;
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(kPresets[i]);
        std::string error;
        const auto media = partset::ParseMedia(kPresets[i], &error);
        ASSERT_TRUE(media) << error;
        const std::string image = Quote((dir / (std::string(kMformatSizes[i]) + ".img")).string());
        int rc = 0;
        Shell("mformat -C -f " + std::string(kMformatSizes[i]) + " -i " + image + " :: 2>&1", &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(BytesFree(Shell("mdir -i " + image + " ::/ 2>&1")), media->Capacity());
        const std::string info = Shell("minfo -i " + image + " :: 2>&1");
        EXPECT_NE(info.find("cluster size: " + std::to_string(media->cluster_size / 512) + " sectors"),
                  std::string::npos) << info;
    }
}

TEST(Images, TwoFullDisksOfEachSize) {
    ScratchDir dir;
    WriteFile(dir / "SETUP.EXE", RandomBytes(3000, 1));
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(kPresets[i]);
        std::string error;
        const auto media = *partset::ParseMedia(kPresets[i], &error);
        // Disk 1: the launcher's clusters and FILE.1; disk 2: FILE.2; both full.
        const uint64_t launcher_clusters = (3000 + media.cluster_size - 1) / media.cluster_size;
        const uint64_t size = (media.clusters - launcher_clusters) * media.cluster_size - 1024 + media.Capacity() - 1024;
        const Bytes installer = RandomBytes(size, static_cast<uint32_t>(i));
        WriteFile(dir / "installer.exe", installer);
        fs::remove_all(dir / "set");
        const Result split = RunTool({"split", "installer.exe", "--name", "Demo", "--out", "set", "--disk",
                                      kPresets[i], "--launcher", "SETUP.EXE", "--images"},
                                     dir.path());
        ASSERT_EQ(split.exit_code, 0) << split.err;
        ASSERT_EQ(ListTree(dir / "set"),
                  (std::vector<std::string>{"disk1", "disk1.img", "disk1/FILE.1", "disk1/SETUP.EXE", "disk2",
                                            "disk2.img", "disk2/FILE.2"}));

        for (int k = 1; k <= 2; ++k) {
            const std::string image = Quote((dir / "set" / ("disk" + std::to_string(k) + ".img")).string());
            EXPECT_EQ(Shell("mdir -b -i " + image + " ::/"),
                      k == 1 ? "::/SETUP.EXE\n::/FILE.1\n" : "::/FILE.2\n");
            EXPECT_EQ(BytesFree(Shell("mdir -i " + image + " ::/")), 0u) << "disk " << k;
            EXPECT_EQ(Shell("mlabel -s -i " + image + " ::"), " Volume label is DISK" + std::to_string(k) + "      \n");
            const std::string part = "FILE." + std::to_string(k);
            Shell("mcopy -n -i " + image + " ::/" + part + " " + Quote((dir / "extracted").string()));
            EXPECT_EQ(ReadFile(dir / "extracted"), ReadFile(dir / "set" / ("disk" + std::to_string(k)) / part));
            fs::remove(dir / "extracted");
        }
        EXPECT_EQ(fs::file_size(dir / "set/disk1.img"), std::stoull(kMformatSizes[i]) * 1024);

        // The images alone make the set.
        const Result verify = RunTool({"verify", "set/disk1.img", "set/disk2.img"}, dir.path());
        EXPECT_EQ(verify.exit_code, 0) << verify.out;
        fs::remove(dir / "joined.exe");
        const Result join = RunTool({"join", "set/disk2.img", "set/disk1.img", "--out", "joined.exe"}, dir.path());
        ASSERT_EQ(join.exit_code, 0) << join.err;
        EXPECT_TRUE(ReadFile(dir / "joined.exe") == installer);
    }
    const Result inspect = RunTool({"inspect", "set/disk1.img"}, dir.path());
    EXPECT_NE(inspect.out.find("   1  set/disk1.img::FILE.1"), std::string::npos) << inspect.out;
}

TEST(Images, AFileThatIsNeitherPartNorImageIsAnInputError) {
    ScratchDir dir;
    WriteFile(dir / "notes.txt", {'h', 'i'});
    const Result r = RunTool({"verify", "notes.txt"}, dir.path());
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.err.find("neither a part file"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace partset_test
