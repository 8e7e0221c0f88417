// The machine behaves like Windows where the launcher relies on it; if it did
// not, every other test here would prove nothing.
#include "support/machine_test.h"

#include <cstring>

namespace {

fake::MachineState& M()
{
    return fake::Machine();
}

HANDLE Open(const char* path, DWORD access, DWORD disposition)
{
    return CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

class TheMachine : public MachineTest {};

TEST_F(TheMachine, ReadsToTheEndThenDeliversNothingWithSuccess)
{
    M().AddFile("A:\\F", "abcde");
    HANDLE file = Open("a:\\f", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[8];
    DWORD got = 99;
    EXPECT_TRUE(ReadFile(file, buffer, 3, &got, nullptr));
    EXPECT_EQ(got, 3u);
    EXPECT_TRUE(ReadFile(file, buffer, 8, &got, nullptr));
    EXPECT_EQ(got, 2u);
    EXPECT_TRUE(ReadFile(file, buffer, 8, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(M().problems.size(), 1u);
    M().problems.clear();
}

TEST_F(TheMachine, CreateAlwaysTruncatesAndOpenAlwaysCreatesEmpty)
{
    M().AddFile("C:\\TEMP\\OLD", "old content");
    HANDLE truncated = Open("C:\\TEMP\\OLD", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE created = Open("C:\\TEMP\\NEW", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    EXPECT_EQ(Open("C:\\NOWHERE\\NEW", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("C:\\TEMP\\ABSENT", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(M().FindFile("C:\\TEMP\\OLD")->data, "");
    EXPECT_EQ(M().FindFile("C:\\TEMP\\NEW")->data, "");
    CloseHandle(truncated);
    CloseHandle(created);
    EXPECT_TRUE(EverythingReleased());
}

TEST_F(TheMachine, AMappingGrowsTheFileAndTheViewIsWrittenBackOnUnmap)
{
    M().AddFile("C:\\WINDOWS\\W.INI", "abc");
    HANDLE file = Open("C:\\WINDOWS\\W.INI", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 8, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(M().FindFile("C:\\WINDOWS\\W.INI")->data, std::string("abc\0\0\0\0\0", 8));
    char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    std::memcpy(view + 3, "XY", 2);
    // The length of a mapped file cannot change.
    EXPECT_EQ(SetFilePointer(file, 5, nullptr, FILE_BEGIN), 5u);
    EXPECT_FALSE(SetEndOfFile(file));
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(M().FindFile("C:\\WINDOWS\\W.INI")->data, "abcXY");
    EXPECT_TRUE(EverythingReleased());
}

TEST_F(TheMachine, AFilePointerWithoutHighPartIsSigned)
{
    M().AddFile("C:\\F", "abc");
    HANDLE file = Open("C:\\F", GENERIC_WRITE, OPEN_EXISTING);
    EXPECT_EQ(SetFilePointer(file, static_cast<LONG>(0x80000000u), nullptr, FILE_BEGIN),
              INVALID_SET_FILE_POINTER);
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(file, static_cast<LONG>(0x80000000u), &high, FILE_BEGIN),
              0x80000000u);
    EXPECT_EQ(high, 0);
    CloseHandle(file);
}

TEST_F(TheMachine, FileStatusForFilesDirectoriesAndRootsButNotWildcards)
{
    M().AddFile("A:\\SET\\FILE.1", "x");
    EXPECT_NE(GetFileAttributesA("A:\\SET\\FILE.1"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA("A:\\SET"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA("A:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("A:\\SET\\FILE.?"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("A:\\SET\\*"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("A:\\SET\\FILE.2"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("B:\\"), INVALID_FILE_ATTRIBUTES);
    M().InsertDisk('A', nullptr);
    EXPECT_EQ(GetFileAttributesA("A:\\"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(TheMachine, ChangingTheDiskChangesWhatTheDriveHolds)
{
    auto first = fake::NewVolume();
    first->Add("\\FILE.1", "one");
    auto second = fake::NewVolume();
    second->Add("\\FILE.2", "two");
    M().InsertDisk('A', first);
    EXPECT_TRUE(M().Exists("A:\\FILE.1"));
    M().InsertDisk('A', second);
    EXPECT_FALSE(M().Exists("A:\\FILE.1"));
    EXPECT_EQ(M().FindFile("A:\\FILE.2")->data, "two");
}

TEST_F(TheMachine, WsprintfKnowsTheLauncherFormatsAndStopsAt1024Bytes)
{
    char buffer[2048];
    EXPECT_EQ(wsprintfA(buffer, "%hs=%s|%d|%u|%%", "NUL", "C:\\A", -5, 7u), 15);
    EXPECT_STREQ(buffer, "NUL=C:\\A|-5|7|%");
    std::string longText(2000, 'x');
    EXPECT_EQ(wsprintfA(buffer, "%s", longText.c_str()), 1023);
    EXPECT_EQ(std::strlen(buffer), 1023u);
}

TEST_F(TheMachine, AnUnscriptedPromptIsReportedAndCancelled)
{
    EXPECT_EQ(MessageBoxA(nullptr, "Bitte", "Frage", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "Fehler", nullptr, MB_ICONERROR), IDOK);
    EXPECT_EQ(M().problems.size(), 1u);
    M().problems.clear();
}

TEST_F(TheMachine, NamesThatDoNotFitAreCutOrRefusedAsOnWindows)
{
    M().modulePath = "A:\\" + std::string(300, 'L');
    char buffer[260];
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof(buffer)), 260u);
    M().tempDirectory = "C:\\" + std::string(300, 'T') + "\\";
    EXPECT_EQ(GetTempPathA(sizeof(buffer), buffer), 305u);
    EXPECT_EQ(std::memchr(buffer, '\0', sizeof(buffer)), nullptr);
    M().AddFile("C:\\Program Files\\Setup Data\\qvtmpins.exe", "x");
    EXPECT_EQ(GetShortPathNameA("C:\\Program Files\\Setup Data\\qvtmpins.exe", buffer,
                                sizeof(buffer)),
              33u);
    EXPECT_STREQ(buffer, "C:\\PROGRA~1\\SETUPD~1\\qvtmpins.exe");
    EXPECT_EQ(GetShortPathNameA("C:\\absent.exe", buffer, sizeof(buffer)), 0u);
}

}  // namespace
