// The WinInit.Ini fallback on real files through a real file mapping: the
// growth of the file by the mapping, the write-back of the view and the final
// cut are the system's, not a model's.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/wininit_cases.h"
#include "restart_removal/schedule_rename.h"
#include "temp_dir.h"

namespace {

// Shows control characters and zero bytes, so a failure says which byte is off.
std::string Visible(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            wsprintfA(hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

TEST(WinInitFile, GoldenCasesOnRealFiles)
{
    for (const auto& c : wininit_cases::kWinInitCases) {
        SCOPED_TRACE(c.title);
        TempDir dir;
        const std::string path = dir.file("WinInit.Ini");
        if (c.fileExists) {
            ASSERT_TRUE(WriteWholeFile(path, c.before));
        }

        EXPECT_EQ(1, AddWinInitRenameEntry(path.c_str(), c.existingName, c.newName));

        std::string after;
        ASSERT_TRUE(ReadWholeFile(path, &after));
        EXPECT_EQ(Visible(c.after), Visible(after));
    }
}

TEST(WinInitFile, LargeFileKeepsEveryByteAroundTheEntry)
{
    // Several pages before and after the section: the move inside the view
    // crosses page boundaries of the mapping.
    std::string head, tail;
    for (int i = 0; i < 4000; ++i) {
        head += "k" + std::to_string(i) + "=value of line " + std::to_string(i) + "\r\n";
        tail += "t" + std::to_string(i) + "=" + std::string(i % 37, 'x') + "\r\n";
    }
    const std::string before = "[Misc]\r\n" + head + "[Rename]\r\n" + tail;
    TempDir dir;
    const std::string path = dir.file("WinInit.Ini");
    ASSERT_TRUE(WriteWholeFile(path, before));

    ASSERT_EQ(1, AddWinInitRenameEntry(path.c_str(), "C:\\TEMP\\QVTMPINS.EXE", nullptr));

    std::string after;
    ASSERT_TRUE(ReadWholeFile(path, &after));
    const std::string expected =
        "[Misc]\r\n" + head + "[Rename]\r\nNUL=C:\\TEMP\\QVTMPINS.EXE\r\n" + tail;
    EXPECT_EQ(expected.size(), after.size());
    EXPECT_TRUE(after == expected) << "content differs from byte "
                                   << std::mismatch(expected.begin(), expected.end(),
                                                    after.begin(), after.end())
                                              .first -
                                          expected.begin();
}

TEST(WinInitFile, FileOpenElsewhereIsLeftAsItWas)
{
    TempDir dir;
    const std::string path = dir.file("WinInit.Ini");
    const std::string before = "[Rename]\r\nNUL=C:\\A\r\n";
    ASSERT_TRUE(WriteWholeFile(path, before));
    // Another program reading it, even one that shares everything, keeps us
    // out: the edit wants the file to itself.
    HANDLE other = CreateFileA(path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);

    EXPECT_EQ(0, AddWinInitRenameEntry(path.c_str(), "C:\\B", nullptr));

    CloseHandle(other);
    std::string after;
    ASSERT_TRUE(ReadWholeFile(path, &after));
    EXPECT_EQ(Visible(before), Visible(after));
}

TEST(WinInitFile, MissingDirectoryCreatesNothing)
{
    TempDir dir;
    const std::string path = dir.file("absent\\WinInit.Ini");

    EXPECT_EQ(0, AddWinInitRenameEntry(path.c_str(), "C:\\B", nullptr));
    EXPECT_FALSE(FileExists(dir.file("absent")));
}

// The values of a REG_MULTI_SZ, or an empty list when it is not there.
std::string PendingRenames()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                      0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::string();
    }
    std::string value(65536, '\0');
    DWORD size = static_cast<DWORD>(value.size());
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&value[0]), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) {
        return std::string();
    }
    value.resize(size);
    return value;
}

TEST(ScheduleRenameAtRestart, SystemTakesTheRequestAndWinInitStaysUntouched)
{
    char windows[MAX_PATH];
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, MAX_PATH));
    const std::string winInit = std::string(windows) + "\\WinInit.Ini";
    std::string winInitBefore;
    const bool existedBefore = ReadWholeFile(winInit, &winInitBefore);

    TempDir dir;
    const std::string victim = dir.file("qvtmpins.exe");
    ASSERT_TRUE(WriteWholeFile(victim, "MZ"));

    EXPECT_NE(0, ScheduleRenameAtRestart(victim.c_str(), nullptr));

    // The system keeps the request as "\??\path", an empty new name marking
    // a deletion.
    const std::string request = std::string("\\??\\") + victim + '\0' + '\0';
    EXPECT_NE(std::string::npos, PendingRenames().find(request))
        << Visible(PendingRenames());
    std::string winInitAfter;
    EXPECT_EQ(existedBefore, ReadWholeFile(winInit, &winInitAfter));
    EXPECT_EQ(Visible(winInitBefore), Visible(winInitAfter));
}

}  // namespace
