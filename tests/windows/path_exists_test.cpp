// The file-status query against what Wine's file system really answers.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "temp_dir.h"

namespace {

// A drive letter that names no drive in this prefix, for a root that is
// not there.
std::string AbsentDriveRoot()
{
    DWORD drives = GetLogicalDrives();
    for (int letter = 25; letter >= 3; --letter) {
        if ((drives & (1u << letter)) == 0) {
            return std::string(1, static_cast<char>('A' + letter)) + ":\\";
        }
    }
    return std::string();
}

TEST(PathExists, AnswersForFilesDirectoriesRootsAndWildcards)
{
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.file("FILE.2"), "part"));
    ASSERT_TRUE(CreateDirectoryA(dir.file("FILE.3").c_str(), nullptr));
    const std::string absentRoot = AbsentDriveRoot();
    ASSERT_FALSE(absentRoot.empty());

    struct Case {
        std::string path;
        bool exists;
    };
    const std::vector<Case> cases = {
        {dir.file("FILE.2"), true},
        {dir.file("file.2"), true},               // names are case-insensitive
        {dir.file("FILE.3"), true},               // a directory of the part's name
        {dir.path(), true},
        {dir.path() + "\\", true},
        {"C:\\", true},
        {absentRoot, false},
        {dir.file("FILE.4"), false},
        {dir.file("missing\\FILE.2"), false},
        {dir.file("FILE.?"), false},              // wildcards match nothing,
        {dir.file("FILE.*"), false},              // even where files would match
        {dir.file("*"), false},
        {"C:\\*", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.exists, PathExists(c.path.c_str())) << c.path;
    }
}

}  // namespace
