// Removal at the next restart: what WinInit.Ini holds afterwards, byte for
// byte, and what is left alone when the system takes the request itself or
// something on the way fails.
#include "restart_removal/schedule_rename.h"
#include "restart_removal/wininit_edit.h"
#include "support/machine_test.h"
#include "wininit_cases.h"

#include <functional>
#include <optional>

namespace wininit_cases {

// Rows are named by their title in the test output.
void PrintTo(const WinInitCase& row, std::ostream* out)
{
    *out << row.title;
}

}  // namespace wininit_cases

namespace {

using wininit_cases::WinInitCase;

fake::MachineState& M()
{
    return fake::Machine();
}

std::string WinInitPath()
{
    return M().windowsDirectory + "\\WinInit.Ini";
}

std::string EntryLine(const char* existingName, const char* newName)
{
    return std::string(newName != nullptr ? newName : "NUL") + "=" + existingName + "\r\n";
}

int WinInitOpens()
{
    int opens = 0;
    for (const fake::CreateFileCall& call : M().createFileCalls) {
        opens += fake::Upper(call.path) == fake::Upper(WinInitPath()) ? 1 : 0;
    }
    return opens;
}

class WinInitGolden : public MachineTest, public ::testing::WithParamInterface<WinInitCase> {};

// Windows 9x: MoveFileExA is not there, the request goes into WinInit.Ini.
TEST_P(WinInitGolden, TheFileAfterTheRequest)
{
    const WinInitCase& row = GetParam();
    M().moveFileExResult = FALSE;
    if (row.fileExists) {
        M().AddFile(WinInitPath(), row.before);
    }

    EXPECT_EQ(ScheduleRenameAtRestart(row.existingName, row.newName), 1);

    auto file = M().FindFile(WinInitPath());
    ASSERT_TRUE(file != nullptr);
    EXPECT_EQ(file->data, row.after);
    EXPECT_EQ(M().moveFileExCalls,
              std::vector<std::string>{std::string(row.existingName) + " -> " +
                                       (row.newName != nullptr ? row.newName : "(none)")});
    ASSERT_EQ(M().createFileCalls.size(), 1u);
    const fake::CreateFileCall& open = M().createFileCalls[0];
    EXPECT_EQ(open.path, WinInitPath());
    EXPECT_EQ(open.access, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(open.share, 0u);
    EXPECT_FALSE(open.securityAttributes);
    EXPECT_EQ(open.disposition, OPEN_ALWAYS);
    EXPECT_EQ(open.flags, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    EXPECT_FALSE(open.templateFile);
    EXPECT_TRUE(EverythingReleased());
}

// The same table over a plain byte view, without any file.
TEST_P(WinInitGolden, TheEditOverABufferAlone)
{
    const WinInitCase& row = GetParam();
    std::string entry = EntryLine(row.existingName, row.newName);
    std::string view = row.before + std::string(entry.size() + kWinInitSpare, '\0');

    DWORD size = InsertRenameEntry(reinterpret_cast<unsigned char*>(&view[0]),
                                   static_cast<DWORD>(row.before.size()), entry.data(),
                                   static_cast<DWORD>(entry.size()));

    ASSERT_EQ(size, row.after.size());
    EXPECT_EQ(view.substr(0, size), row.after);
    EXPECT_EQ(view.size(), row.before.size() + entry.size() + kWinInitSpare);
}

INSTANTIATE_TEST_SUITE_P(Rows, WinInitGolden, ::testing::ValuesIn(wininit_cases::kWinInitCases),
                         [](const ::testing::TestParamInfo<WinInitCase>& info) {
                             return RowName(info.param.title);
                         });

const char kTempInstaller[] = "C:\\TEMP\\QVTMPINS.EXE";
const char kOtherContent[] = "[Other]\r\nx=1\r\n";

struct WinInitFault {
    const char* title;
    std::function<void()> arrange;      // runs once WinInit.Ini is in place
    std::optional<std::string> before;  // WinInit.Ini before; none: absent
    std::string existingName;
    int result;
    std::optional<std::string> after;   // WinInit.Ini afterwards; none: absent
    bool opened;                        // whether WinInit.Ini was opened at all
};

void PrintTo(const WinInitFault& row, std::ostream* out)
{
    *out << row.title;
}

std::string LongName(size_t length)
{
    std::string name = "C:\\";
    while (name.size() < length) {
        name += name.size() % 9 == 0 ? '\\' : 'N';
    }
    return name;
}

const std::string kDeleteTemp = std::string("NUL=") + kTempInstaller + "\r\n";

const WinInitFault kWinInitFaults[] = {
    {"MoveFileExA takes the request: its result, and WinInit.Ini not created",
     [] { M().moveFileExResult = 7; }, std::nullopt, kTempInstaller, 7, std::nullopt, false},
    {"MoveFileExA takes the request: an existing WinInit.Ini not opened",
     [] { M().moveFileExResult = TRUE; }, kOtherContent, kTempInstaller, 1, kOtherContent, false},
    {"the mapping cannot be made: the old content kept",
     [] { M().FailAlways("CreateFileMappingA"); }, kOtherContent, kTempInstaller, 0,
     kOtherContent, true},
    {"the view cannot be made: the file the mapping grew is cut back",
     [] { M().FailAlways("MapViewOfFile"); }, kOtherContent, kTempInstaller, 0, kOtherContent,
     true},
    {"the mapping cannot be made and there was no file: it stays behind empty",
     [] { M().FailAlways("CreateFileMappingA"); }, std::nullopt, kTempInstaller, 0,
     std::string(), true},
    {"the view cannot be made and there was no file: it stays behind empty",
     [] { M().FailAlways("MapViewOfFile"); }, std::nullopt, kTempInstaller, 0, std::string(),
     true},
    {"the file's size cannot be had: left as it was",
     [] { M().FailAlways("GetFileSize"); }, kOtherContent, kTempInstaller, 0, kOtherContent,
     true},
    {"the file is 4 GiB or more: left as it was",
     [] {
         M().fileSizeLow = 14;
         M().fileSizeHigh = 1;
     },
     kOtherContent, kTempInstaller, 0, kOtherContent, true},
    {"size plus entry plus header would pass 4 GiB: left as it was",
     [] { M().fileSizeLow = 0xFFFFFFFFu - static_cast<DWORD>(kDeleteTemp.size()) - 9u; },
     kOtherContent, kTempInstaller, 0, kOtherContent, true},
    {"a file of 2 GiB or more that cannot be mapped keeps its content",
     [] { M().fileSizeLow = 0x80000000u; }, kOtherContent, kTempInstaller, 0, kOtherContent,
     true},
    {"an entry line of 1024 characters does not fit: nothing touched",
     [] {}, std::nullopt, LongName(1018), 0, std::nullopt, false},
    {"an entry line of 1023 characters fits whole",
     [] {}, std::nullopt, LongName(1017), 1,
     "[Rename]\r\nNUL=" + LongName(1017) + "\r\n", true},
    {"a Windows directory of 248 characters leaves no room for the name: nothing touched",
     [] {
         M().windowsDirectory = LongName(248);
         M().AddDirectory(M().windowsDirectory);
     },
     std::nullopt, kTempInstaller, 0, std::nullopt, false},
    {"a Windows directory of 247 characters just fits",
     [] {
         M().windowsDirectory = LongName(247);
         M().AddDirectory(M().windowsDirectory);
     },
     std::nullopt, kTempInstaller, 1, "[Rename]\r\n" + kDeleteTemp, true},
    {"no Windows directory: nothing touched",
     [] { M().FailAlways("GetWindowsDirectoryA"); }, std::nullopt, kTempInstaller, 0,
     std::nullopt, false},
    {"WinInit.Ini held open by another program: left as it was",
     [] { M().FindFile(WinInitPath())->openFailures = -1; }, kOtherContent, kTempInstaller, 0,
     kOtherContent, true},
    {"the Windows directory is gone: nothing created",
     [] { M().windowsDirectory = "C:\\WINNT"; }, std::nullopt, kTempInstaller, 0, std::nullopt,
     true},
};

class WinInitFaults : public MachineTest, public ::testing::WithParamInterface<WinInitFault> {};

TEST_P(WinInitFaults, ResultAndFile)
{
    const WinInitFault& row = GetParam();
    M().moveFileExResult = FALSE;
    if (row.before) {
        M().AddFile(WinInitPath(), *row.before);
    }
    row.arrange();

    EXPECT_EQ(ScheduleRenameAtRestart(row.existingName.c_str(), nullptr), row.result);

    auto file = M().FindFile(WinInitPath());
    if (row.after) {
        ASSERT_TRUE(file != nullptr);
        EXPECT_EQ(file->data, *row.after);
    } else {
        EXPECT_TRUE(file == nullptr) << "WinInit.Ini was created";
    }
    EXPECT_EQ(WinInitOpens() > 0, row.opened);
    EXPECT_TRUE(EverythingReleased());
}

INSTANTIATE_TEST_SUITE_P(Rows, WinInitFaults, ::testing::ValuesIn(kWinInitFaults),
                         [](const ::testing::TestParamInfo<WinInitFault>& info) {
                             return RowName(info.param.title);
                         });

}  // namespace
