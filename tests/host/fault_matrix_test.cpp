// Every platform call the launcher makes, failed in turn on every way a run
// can go, with what the user must see afterwards.
//
// For each scenario a clean run lists the calls made. Then each call is made
// to fail on its own, the program is run again from WinMain, and the row
// checks: the boxes shown and whether the installer was started, as the
// launcher is meant to react to that failure; no handle left open and the copy
// buffer freed; WinInit.Ini byte-identical unless its edit completed; and a
// started installer always the whole one.
#include "launcher/launcher_dialog.h"
#include "support/machine_test.h"
#include "support/part_files.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>

using namespace testing_parts;

namespace {

const char kMissing[] = "FILE.1 fehlt!";
const char kCannotCreate[] =
    "Installer konnte nicht erstellt werden. Ist ausreichend Speicherplatz vorhanden?";
const char kTempInstaller[] = "C:\\TEMP\\qvtmpins.exe";
const char kWinInit[] = "C:\\WINDOWS\\WinInit.Ini";
const std::string kDeleteEntry = std::string("NUL=") + kTempInstaller + "\r\n";
const std::string kWinInitWithSection = "[boot]\r\nshell=Explorer.exe\r\n[Rename]\r\nNUL=C:\\OLD.TMP\r\n";

fake::MachineState& M()
{
    return fake::Machine();
}

struct Scenario {
    const char* title;
    std::function<void(const PartSet&)> arrange;
    bool oneDirectory;  // all parts on the disk in A: (else one part per disk)
    std::optional<std::string> winInitBefore;
    std::optional<std::string> winInitAfter;  // once the removal is written there
};

const Scenario kScenarios[] = {
    {"all parts in one directory, Windows NT",
     [](const PartSet& set) { M().InsertDisk('A', DiskWith(set, {1, 2, 3})); }, true,
     std::nullopt, "[Rename]\r\n" + kDeleteEntry},
    {"all parts in one directory, Windows 9x with WinInit.Ini",
     [](const PartSet& set) {
         M().InsertDisk('A', DiskWith(set, {1, 2, 3}));
         M().moveFileExResult = FALSE;
         M().AddFile(kWinInit, kWinInitWithSection);
     },
     true, kWinInitWithSection,
     "[boot]\r\nshell=Explorer.exe\r\n[Rename]\r\n" + kDeleteEntry + "NUL=C:\\OLD.TMP\r\n"},
    {"one part per disk",
     [](const PartSet& set) { M().InsertDisk('A', DiskWith(set, {1})); }, false, std::nullopt,
     "[Rename]\r\n" + kDeleteEntry},
    {"a bad sector in part 2 that reads well the second time",
     [](const PartSet& set) {
         auto disk = DiskWith(set, {1, 2, 3});
         disk->files["\\FILE.2"]->readFailsAt = 1024 + 500;
         disk->files["\\FILE.2"]->readFailures = 1;
         M().InsertDisk('A', disk);
     },
     true, std::nullopt, "[Rename]\r\n" + kDeleteEntry},
    {"the temp disk fills up in part 2",
     [](const PartSet& set) {
         M().InsertDisk('A', DiskWith(set, {1, 2, 3}));
         M().AddFile(kTempInstaller, "")->writeFailsAt = 3000;
     },
     true, std::nullopt, "[Rename]\r\n" + kDeleteEntry},
    {"no FILE.1 beside the launcher",
     [](const PartSet&) {}, true, std::nullopt, "[Rename]\r\n" + kDeleteEntry},
};

// What the user is left with after a run.
struct Outcome {
    std::vector<std::string> boxes;
    bool started = false;
    bool stuck = false;  // the dialog stays up with nothing more to come
};

struct RunResult {
    Outcome outcome;
    int exitCode = -1;
};

// A user who does what the prompt asks: inserts the disk it names (when the
// parts lie on separate disks) and presses OK.
int Respond(const PartSet& set, bool oneDirectory, const std::string& text)
{
    if (!oneDirectory) {
        int number = std::atoi(text.c_str() + text.rfind(' ', text.size() - 5) + 1);
        M().InsertDisk('A', DiskWith(set, {number}));
    }
    return IDOK;
}

RunResult RunProgram(const Scenario& scenario, const PartSet& set, const std::string& failing, int nth)
{
    fake::Reset();
    scenario.arrange(set);
    bool oneDirectory = scenario.oneDirectory;
    M().responder = [&set, oneDirectory](const std::string&, const std::string& text) {
        return Respond(set, oneDirectory, text);
    };
    M().promptLimit = 20;
    if (!failing.empty()) {
        M().FailCall(failing, nth);
    }
    RunResult run;
    run.exitCode = WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, nullptr, 10);
    run.outcome.boxes = ShownBoxes();
    run.outcome.started = !M().launches.empty();
    run.outcome.stuck = M().dialog.stuck;
    return run;
}

// One call of the clean run, and where it stood.
struct CallSite {
    std::string function;
    int nth;
    std::string argument;
    size_t boxesBefore;
    bool dialogPhase;  // while the dialog was being set up, before the work
};

std::vector<CallSite> CallsOfCleanRun()
{
    std::vector<CallSite> calls;
    std::map<std::string, int> counts;
    size_t boxes = 0;
    bool dialogPhase = true;
    for (const fake::Event& event : M().events) {
        if (event.kind == fake::EventKind::MessageBox) {
            ++boxes;
        } else if (event.kind == fake::EventKind::DialogMessage && event.detail == "WM_COMMAND") {
            dialogPhase = false;
        } else if (event.kind == fake::EventKind::Call) {
            calls.push_back(
                CallSite{event.detail, ++counts[event.detail], event.argument, boxes, dialogPhase});
        }
    }
    return calls;
}

int PartNumberOf(const std::string& path)
{
    size_t name = path.rfind("\\FILE.");
    return name == std::string::npos ? 0 : std::atoi(path.c_str() + name + 6);
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// How the launcher is meant to react when this call fails.
Outcome Expected(const Scenario& scenario, const Outcome& clean, const CallSite& call)
{
    const std::string& f = call.function;
    const int part = PartNumberOf(call.argument);
    std::vector<std::string> before(clean.boxes.begin(),
                                    clean.boxes.begin() + static_cast<long>(call.boxesBefore));
    auto inserted = [&](const std::string& box) {
        std::vector<std::string> boxes = clean.boxes;
        boxes.insert(boxes.begin() + static_cast<long>(call.boxesBefore), box);
        return boxes;
    };
    Outcome expected = clean;

    if (f == "DialogBoxParamA") {
        return Outcome{};
    }
    if ((f == "GetModuleFileNameA" || f == "CreateFileA") && call.dialogPhase) {
        return Outcome{{kMissing}, false, false};
    }
    if (f == "GetModuleFileNameA") {
        // FILE.1 was there a moment ago; without the launcher's path now there
        // is nothing to do but close.
        return Outcome{};
    }
    // Neither fails for the dialog's own window on Windows (the queue holds
    // 10,000 messages); if one did, the dialog would stay up.
    if (f == "PostMessageA") {
        return Outcome{{}, false, true};
    }
    if (f == "EndDialog") {
        expected.stuck = true;
        return expected;
    }
    if (f == "GetTempPathA" || f == "LocalAlloc" || (f == "CreateFileA" && call.argument == kTempInstaller)) {
        return Outcome{{kCannotCreate}, false, false};
    }
    if (f == "WriteFile" ||
        ((f == "SetFilePointer" || f == "SetEndOfFile") && call.argument == kTempInstaller)) {
        before.push_back(kCannotCreate);
        return Outcome{before, false, false};
    }
    if ((f == "CreateFileA" || f == "ReadFile") && part > 0 && !call.dialogPhase) {
        expected.boxes = inserted(WrongDisk(part));
        return expected;
    }
    if (f == "GetFileAttributesA" && scenario.oneDirectory && call.nth == 1) {
        // Not yet known to lie side by side: asked for as the next disk.
        expected.boxes = inserted(NextDisk(part));
        return expected;
    }
    if (f == "MessageBoxA") {
        const std::string& box = clean.boxes.at(call.boxesBefore);
        if (StartsWith(box, kNextDiskCaption)) {
            return Outcome{before, false, false};
        }
        // A wrong-disk prompt that could not be shown counts as OK pressed
        // without a disk change: where the part is in place now, the run goes
        // on without asking again. An error box is simply not seen.
        if (!StartsWith(box, kWrongDiskCaption) || scenario.oneDirectory) {
            expected.boxes.erase(expected.boxes.begin() + static_cast<long>(call.boxesBefore));
        }
        return expected;
    }
    if (f == "GetShortPathNameA" || f == "WinExec") {
        expected.started = false;
    }
    return expected;
}

std::string Describe(const CallSite& call)
{
    return call.function + " #" + std::to_string(call.nth) +
           (call.argument.empty() ? std::string() : " (" + call.argument + ")");
}

TEST(FaultMatrix, EveryCallFailedInTurn)
{
    const std::set<std::string> kPlatformCalls = {
        "CreateFileA", "ReadFile", "WriteFile", "CloseHandle", "GetFileSize", "SetFilePointer",
        "SetEndOfFile", "GetFileAttributesA", "CreateFileMappingA", "MapViewOfFile",
        "UnmapViewOfFile", "MoveFileExA", "GetModuleFileNameA", "GetTempPathA",
        "GetWindowsDirectoryA", "GetShortPathNameA", "SetCurrentDirectoryA",
        "GetCurrentDirectoryA", "SetEnvironmentVariableA", "LocalAlloc", "LocalFree", "WinExec",
        "DialogBoxParamA", "EndDialog", "SetDlgItemTextA", "GetDlgItem", "PostMessageA",
        "MessageBoxA"};
    std::set<std::string> failed;
    int rows = 0;
    PartSet set = MakeSet("Demo", {2500, 1024, 700});

    for (const Scenario& scenario : kScenarios) {
        SCOPED_TRACE(scenario.title);
        RunResult clean = RunProgram(scenario, set, "", 0);
        ASSERT_TRUE(M().problems.empty()) << M().problems.front();
        std::vector<CallSite> calls = CallsOfCleanRun();

        for (const CallSite& call : calls) {
            SCOPED_TRACE(Describe(call));
            RunResult run = RunProgram(scenario, set, call.function, call.nth);
            Outcome expected = Expected(scenario, clean.outcome, call);
            ++rows;
            failed.insert(call.function);

            EXPECT_EQ(run.exitCode, 0);
            EXPECT_EQ(run.outcome.boxes, expected.boxes);
            EXPECT_EQ(run.outcome.started, expected.started);
            EXPECT_EQ(run.outcome.stuck, expected.stuck);
            EXPECT_TRUE(EverythingReleased());
            for (const std::string& problem : M().problems) {
                ADD_FAILURE() << "misuse of the platform: " << problem;
            }
            for (const fake::LaunchRecord& launch : M().launches) {
                ASSERT_TRUE(launch.programBytes.has_value());
                EXPECT_TRUE(*launch.programBytes == set.installer) << "a broken installer started";
            }
            auto winInit = M().FindFile(kWinInit);
            std::optional<std::string> now;
            if (winInit) {
                now = winInit->data;
            }
            bool untouched = now == scenario.winInitBefore;
            bool completed = now == scenario.winInitAfter;
            // The entry is in; only the spare room the mapping added could not
            // be cut off. Windows reads the file as text and stops at its zeros.
            bool completedUncut =
                (call.function == "SetFilePointer" || call.function == "SetEndOfFile") &&
                call.argument == kWinInit && scenario.winInitAfter &&
                now == *scenario.winInitAfter + std::string(10, '\0');
            EXPECT_TRUE(untouched || completed || completedUncut)
                << "WinInit.Ini half edited: " << (now ? *now : std::string("(absent)"));
        }
    }

    std::set<std::string> neverFailed;
    for (const std::string& function : kPlatformCalls) {
        if (failed.count(function) == 0) {
            neverFailed.insert(function);
        }
    }
    EXPECT_TRUE(neverFailed.empty()) << "calls the matrix never made fail: " << neverFailed.size();
    RecordProperty("rows", rows);
}

}  // namespace
