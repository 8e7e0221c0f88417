// The whole job from the path of FILE.1: what the user sees, and what is
// started, from where, with what environment, on every way a run can go.
#include "assembly/part_header.h"
#include "assembly/prepare_and_launch.h"
#include "support/machine_test.h"
#include "support/part_files.h"

#include <cstring>
#include <functional>
#include <optional>

using namespace testing_parts;

namespace {

const char kCannotCreate[] =
    "Installer konnte nicht erstellt werden. Ist ausreichend Speicherplatz vorhanden?";
// A temporary directory as Windows 2000 and XP have it, with long names.
const char kTempDirectory[] = "C:\\Documents and Settings\\Anna\\Local Settings\\Temp\\";
const char kTempInstaller[] = "C:\\Documents and Settings\\Anna\\Local Settings\\Temp\\qvtmpins.exe";
const char kShortTempInstaller[] = "C:\\DOCUME~1\\Anna\\LOCALS~1\\Temp\\qvtmpins.exe";

fake::MachineState& M()
{
    return fake::Machine();
}

std::string Directory(size_t length)
{
    std::string dir = "C:\\";
    while (dir.size() < length - 1) {
        dir += dir.size() % 9 == 0 ? '\\' : 'T';
    }
    return dir + "\\";
}

struct LaunchCase {
    const char* title;
    // Runs after the set is on drive A: and the temp directory is in place.
    std::function<void(const PartSet&)> arrange;
    // Every box in order: prompts as "caption: text", error boxes as text.
    std::vector<std::string> boxes;
    // The command line WinExec got; none: nothing was started.
    std::optional<std::string> commandLine;
    // Anything else the row is about.
    std::function<void(const PartSet&)> also = nullptr;
};

void PrintTo(const LaunchCase& row, std::ostream* out)
{
    *out << row.title;
}

void OnePartPerDisk(const PartSet& set, std::vector<fake::Answer> answers)
{
    M().InsertDisk('A', DiskWith(set, {1}));
    M().answers = std::move(answers);
}

const LaunchCase kLaunchCases[] = {
    {"completed: started by its short path from the Windows directory",
     [](const PartSet&) {}, {}, kShortTempInstaller,
     [](const PartSet&) {
         const fake::LaunchRecord& launch = M().launches.at(0);
         EXPECT_EQ(launch.currentDirectory, "C:\\WINDOWS");
         EXPECT_EQ(launch.environment, (std::map<std::string, std::string>{{"=C:", "C:\\WINDOWS"}}));
         EXPECT_EQ(M().moveFileExCalls, std::vector<std::string>{std::string(kTempInstaller) +
                                                                 " -> (none)"});
         int registered = M().FindEvent(fake::EventKind::MoveFileEx);
         int firstWrite = M().FindEvent(fake::EventKind::Write, kTempInstaller);
         EXPECT_NE(registered, -1);
         EXPECT_LT(registered, firstWrite);
         const fake::CreateFileCall& create = M().createFileCalls.at(0);
         EXPECT_EQ(create.path, kTempInstaller);
         EXPECT_EQ(create.access, GENERIC_WRITE);
         EXPECT_EQ(create.share, FILE_SHARE_WRITE);
         EXPECT_FALSE(create.securityAttributes);
         EXPECT_EQ(create.disposition, CREATE_ALWAYS);
         EXPECT_EQ(create.flags, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
         EXPECT_FALSE(create.templateFile);
     }},

    {"completed on Windows 9x: the removal goes into WinInit.Ini before the first write",
     [](const PartSet&) { M().moveFileExResult = FALSE; }, {}, kShortTempInstaller,
     [](const PartSet&) {
         EXPECT_EQ(M().FindFile("C:\\WINDOWS\\WinInit.Ini")->data,
                   std::string("[Rename]\r\nNUL=") + kTempInstaller + "\r\n");
         int winInitClosed = M().FindEvent(fake::EventKind::CloseHandle, "C:\\WINDOWS\\WinInit.Ini");
         int firstWrite = M().FindEvent(fake::EventKind::Write, kTempInstaller);
         EXPECT_NE(winInitClosed, -1);
         EXPECT_LT(winInitClosed, firstWrite);
     }},

    {"an earlier run's longer file at the temp path is overwritten",
     [](const PartSet&) { M().AddFile(kTempInstaller, std::string(100000, 'S')); }, {},
     kShortTempInstaller},

    {"declined at the next-disk prompt: no error, nothing started",
     [](const PartSet& set) { OnePartPerDisk(set, {Cancel()}); }, {NextDisk(2)}, std::nullopt},

    {"cancelled at the wrong-disk prompt: no error, nothing started",
     [](const PartSet& set) { OnePartPerDisk(set, {Ok(), Cancel()}); },
     {NextDisk(2), WrongDisk(2)}, std::nullopt},

    {"the temp disk is full: the error box, nothing started",
     [](const PartSet&) { M().AddFile(kTempInstaller, "")->writeFailsAt = 2000; },
     {kCannotCreate}, std::nullopt,
     [](const PartSet&) {
         int box = M().FindEvent(fake::EventKind::MessageBox);
         EXPECT_LT(M().FindEvent(fake::EventKind::CloseHandle, kTempInstaller), box);
         EXPECT_LT(M().FindEvent(fake::EventKind::LocalFree), box);
     }},

    {"no memory for the copy buffer: the error box, the stale file not started",
     [](const PartSet&) {
         M().AddFile(kTempInstaller, "MZ stale");
         M().FailAlways("LocalAlloc");
     },
     {kCannotCreate}, std::nullopt,
     [](const PartSet&) {
         EXPECT_EQ(M().FindFile(kTempInstaller)->data, "MZ stale");
         EXPECT_TRUE(M().moveFileExCalls.empty());
     }},

    {"the temp file is held open by another program: the error box, it is not started",
     [](const PartSet&) { M().AddFile(kTempInstaller, "MZ stale")->openFailures = -1; },
     {kCannotCreate}, std::nullopt,
     [](const PartSet&) {
         EXPECT_EQ(M().FindFile(kTempInstaller)->data, "MZ stale");
         EXPECT_TRUE(M().moveFileExCalls.empty());
     }},

    {"the temp directory does not exist: the error box, nothing started",
     [](const PartSet&) { M().tempDirectory = "C:\\GONE\\"; }, {kCannotCreate}, std::nullopt},

    {"no temp directory at all: the error box, nothing started",
     [](const PartSet&) { M().FailAlways("GetTempPathA"); }, {kCannotCreate}, std::nullopt},

    {"a temp directory of 248 characters leaves no room for the name: the error box",
     [](const PartSet&) {
         M().tempDirectory = Directory(248);
         M().AddDirectory(M().tempDirectory);
     },
     {kCannotCreate}, std::nullopt,
     [](const PartSet&) {
         EXPECT_TRUE(M().createFileCalls.empty());
         EXPECT_EQ(M().CountEvents(fake::EventKind::LocalAlloc), 0);
     }},

    {"a temp directory of 247 characters just fits",
     [](const PartSet&) {
         M().tempDirectory = Directory(247);
         M().AddDirectory(M().tempDirectory);
     },
     {}, Directory(247) + "qvtmpins.exe"},

    {"the short path cannot be had: nothing started, no message",
     [](const PartSet&) { M().shortPathResult = 0; }, {}, std::nullopt,
     [](const PartSet& set) { EXPECT_EQ(M().FindFile(kTempInstaller)->data, set.installer); }},

    {"the short path needs 260 bytes: nothing started",
     [](const PartSet&) { M().shortPathResult = 260; }, {}, std::nullopt},

    {"a short path of 259 characters is started",
     [](const PartSet&) { M().shortPathText = "C:\\" + std::string(256, 'S'); }, {},
     "C:\\" + std::string(256, 'S')},

    {"a short path with a space is put in quotes",
     [](const PartSet&) {
         M().tempDirectory = "C:\\MY TEMP\\";
         M().AddDirectory("C:\\MY TEMP");
         M().shortPathText = "C:\\MY TEMP\\QVTMPINS.EXE";
     },
     {}, "\"C:\\MY TEMP\\QVTMPINS.EXE\""},

    {"a short path of 259 characters with a space is quoted whole",
     [](const PartSet&) { M().shortPathText = "C:\\ " + std::string(255, 'S'); }, {},
     "\"C:\\ " + std::string(255, 'S') + "\""},

    {"a Windows directory on a share: current directory, but no drive variable",
     [](const PartSet&) {
         auto share = fake::NewVolume();
         share->AddDirectory("\\WINDOWS");
         M().roots["\\\\SERVER\\WIN"] = share;
         M().windowsDirectory = "\\\\SERVER\\WIN\\WINDOWS";
     },
     {}, kShortTempInstaller,
     [](const PartSet&) {
         const fake::LaunchRecord& launch = M().launches.at(0);
         EXPECT_EQ(launch.currentDirectory, "\\\\SERVER\\WIN\\WINDOWS");
         EXPECT_TRUE(launch.environment.empty());
     }},

    {"a Windows directory with a lower-case drive letter: the variable in capitals",
     [](const PartSet&) {
         auto d = fake::NewVolume();
         d->AddDirectory("\\WIN");
         M().roots["D:"] = d;
         M().windowsDirectory = "d:\\win";
     },
     {}, kShortTempInstaller,
     [](const PartSet&) {
         const fake::LaunchRecord& launch = M().launches.at(0);
         EXPECT_EQ(launch.currentDirectory, "d:\\win");
         EXPECT_EQ(launch.environment, (std::map<std::string, std::string>{{"=D:", "d:\\win"}}));
     }},

    {"no Windows directory: started from where the launcher was",
     [](const PartSet&) { M().FailAlways("GetWindowsDirectoryA"); }, {}, kShortTempInstaller,
     [](const PartSet&) {
         EXPECT_EQ(M().launches.at(0).currentDirectory, "A:\\");
         EXPECT_TRUE(M().launches.at(0).environment.empty());
     }},

    {"the Windows directory cannot be made current: no drive variable either",
     [](const PartSet&) { M().FailAlways("SetCurrentDirectoryA"); }, {}, kShortTempInstaller,
     [](const PartSet&) { EXPECT_TRUE(M().launches.at(0).environment.empty()); }},

    {"WinExec fails: silent",
     [](const PartSet&) { M().FailAlways("WinExec"); }, {}, std::nullopt,
     [](const PartSet&) { EXPECT_EQ(M().CountEvents(fake::EventKind::WinExec), 1); }},
};

class LaunchTable : public MachineTest, public ::testing::WithParamInterface<LaunchCase> {};

TEST_P(LaunchTable, WhatIsShownAndStarted)
{
    const LaunchCase& row = GetParam();
    PartSet set = MakeSet("Demo", {3000, 2048, 700});
    M().InsertDisk('A', DiskWith(set, {1, 2, 3}));
    M().tempDirectory = kTempDirectory;
    M().AddDirectory(kTempDirectory);
    row.arrange(set);

    char partPath[kPathBufferSize] = "A:\\FILE.1";
    PrepareAndLaunchInstaller(partPath);

    EXPECT_EQ(ShownBoxes(), row.boxes);
    for (const fake::MessageBoxRecord& box : M().boxes) {
        EXPECT_FALSE(box.hasOwner) << box.text;
        if (box.type != MB_OKCANCEL) {
            EXPECT_EQ(box.type, MB_ICONERROR) << box.text;
            EXPECT_FALSE(box.hasCaption) << box.text;
            // Shown after the file was closed and the buffer freed.
            EXPECT_EQ(box.openHandles, 0) << box.text;
            EXPECT_EQ(box.liveBuffers, 0) << box.text;
        }
    }
    if (row.commandLine) {
        ASSERT_EQ(M().launches.size(), 1u);
        const fake::LaunchRecord& launch = M().launches[0];
        EXPECT_EQ(launch.commandLine, *row.commandLine);
        EXPECT_EQ(launch.showCommand, static_cast<UINT>(SW_SHOW));
        // What is started is the whole installer.
        ASSERT_TRUE(launch.programBytes.has_value()) << "started a file that is not there";
        EXPECT_TRUE(*launch.programBytes == set.installer) << "started a different file";
    } else {
        EXPECT_TRUE(M().launches.empty());
    }
    if (row.also) {
        row.also(set);
    }
    EXPECT_TRUE(EverythingReleased());
}

INSTANTIATE_TEST_SUITE_P(Paths, LaunchTable, ::testing::ValuesIn(kLaunchCases),
                         [](const ::testing::TestParamInfo<LaunchCase>& info) {
                             return RowName(info.param.title);
                         });

}  // namespace
