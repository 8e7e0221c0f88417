// The program as the user starts it: the progress dialog with the name from
// FILE.1, or "FILE.1 fehlt!", and the work it starts from its own message loop.
#include "launcher/launcher_dialog.h"
#include "support/machine_test.h"
#include "support/part_files.h"

#include <functional>
#include <optional>

using namespace testing_parts;

namespace {

const char kMissing[] = "FILE.1 fehlt!";
const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x400000);

fake::MachineState& M()
{
    return fake::Machine();
}

std::string Directory(size_t length)
{
    std::string dir = "A:\\";
    while (dir.size() < length) {
        dir += dir.size() % 9 == 0 ? '\\' : 'L';
    }
    return dir;
}

// A one-part set whose FILE.1 begins with these name-field bytes.
PartSet SetNamed(const std::string& nameField)
{
    PartSet set = MakeSet("x", {2500});
    set.files[0].replace(0, nameField.size(), nameField);
    return set;
}

struct DialogCase {
    const char* title;
    std::function<void()> arrange;
    // Control 1000's text; none: the dialog showed "FILE.1 fehlt!" instead.
    std::optional<std::string> name;
    // Every box in order.
    std::vector<std::string> boxes;
    bool started;
};

void PrintTo(const DialogCase& row, std::ostream* out)
{
    *out << row.title;
}

void SetOnDiskA(const PartSet& set)
{
    M().InsertDisk('A', DiskWith(set, {1}));
}

std::string NameOf259Bytes()
{
    std::string name = "Gro\xDF" "e Anwendung f\xFCr alle ";
    return name + std::string(259 - name.size(), 'Z');
}

const std::string kLongName = NameOf259Bytes();
const std::string kUnterminated(260, 'N');

const DialogCase kDialogCases[] = {
    {"FILE.1 beside the launcher: its name shown, the installer started",
     [] { SetOnDiskA(MakeSet("Demo Setup 1.0", {3000})); }, "Demo Setup 1.0", {}, true},

    {"no FILE.1: the error box, nothing started",
     [] {}, std::nullopt, {kMissing}, false},

    {"a name of 259 bytes with its NUL at 259 is shown whole",
     [] { SetOnDiskA(SetNamed(kLongName + '\0')); }, kLongName, {}, true},

    {"a name field without a NUL shows its first 259 bytes",
     [] { SetOnDiskA(SetNamed(kUnterminated)); }, kUnterminated.substr(0, 259), {}, true},

    {"a FILE.1 of 100 bytes without a NUL shows just those, then asks for disk 1",
     [] {
         auto disk = fake::NewVolume();
         disk->Add("\\FILE.1", std::string(100, 'Q'));
         M().InsertDisk('A', disk);
         M().answers = {Cancel()};
     },
     std::string(100, 'Q'), {WrongDisk(1)}, false},

    {"a FILE.1 whose first read fails: an empty name, and the work goes on",
     [] {
         PartSet set = MakeSet("Demo", {3000});
         auto disk = DiskWith(set, {1});
         disk->files["\\FILE.1"]->readFailsAt = 0;
         disk->files["\\FILE.1"]->readFailures = 1;
         M().InsertDisk('A', disk);
     },
     "", {}, true},

    {"a launcher directory of 252 characters: FILE.1 still found",
     [] {
         std::string dir = Directory(252);
         M().modulePath = dir + "\\S.EXE";
         M().AddFile(dir + "\\FILE.1", MakeSet("Deep", {3000}).Part(1));
     },
     "Deep", {}, true},

    {"a launcher directory of 253 characters: as if FILE.1 were missing",
     [] {
         std::string dir = Directory(253);
         M().modulePath = dir + "\\S.EXE";
         M().AddFile(dir + "\\FILE.1", MakeSet("Deep", {3000}).Part(1));
     },
     std::nullopt, {kMissing}, false},

    {"a launcher path cut at 260 bytes: as if FILE.1 were missing",
     [] { M().modulePath = Directory(280) + "\\SETUP.EXE"; }, std::nullopt, {kMissing}, false},

    {"no launcher path at all: as if FILE.1 were missing",
     [] {
         SetOnDiskA(MakeSet("Demo", {3000}));
         M().FailAlways("GetModuleFileNameA");
     },
     std::nullopt, {kMissing}, false},
};

class DialogTable : public MachineTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(DialogTable, NameAndWork)
{
    const DialogCase& row = GetParam();
    row.arrange();

    EXPECT_EQ(WinMain(kInstance, nullptr, nullptr, 10), 0);

    const fake::DialogRecord& dialog = M().dialog;
    EXPECT_EQ(dialog.instance, reinterpret_cast<uintptr_t>(kInstance));
    EXPECT_EQ(dialog.templateId, 101u);
    EXPECT_FALSE(dialog.hasOwner);
    EXPECT_EQ(dialog.initParam, 0);
    EXPECT_FALSE(dialog.stuck) << "the dialog would stay up with nothing to do";
    EXPECT_EQ(ShownBoxes(), row.boxes);
    EXPECT_EQ(M().launches.size(), row.started ? 1u : 0u);

    int firstWork = M().FindEvent(fake::EventKind::Call, "GetTempPathA");
    if (row.name) {
        EXPECT_EQ(dialog.itemText.at(1000), *row.name);
        // The name is up before the dialog is first shown and the work begins.
        int named = M().FindEvent(fake::EventKind::SetDlgItemText);
        EXPECT_NE(named, -1);
        EXPECT_LT(named, M().FindEvent(fake::EventKind::DialogMessage, "WM_COMMAND"));
        EXPECT_LT(named, firstWork);
        ASSERT_EQ(M().postedLog.size(), 1u);
        const fake::PostedMessage& posted = M().postedLog[0];
        EXPECT_EQ(posted.window, fake::kDialogWindow);
        EXPECT_EQ(posted.message, static_cast<UINT>(WM_COMMAND));
        EXPECT_EQ(posted.wParam, static_cast<WPARAM>(IDOK));
        EXPECT_EQ(posted.lParam, static_cast<LPARAM>(fake::kFirstControlWindow + IDOK));
        EXPECT_NE(firstWork, -1);
        EXPECT_EQ(dialog.result, IDOK);
    } else {
        const fake::MessageBoxRecord& box = M().boxes.at(0);
        EXPECT_EQ(box.type, MB_ICONERROR);
        EXPECT_FALSE(box.hasCaption);
        EXPECT_FALSE(box.hasOwner);
        EXPECT_EQ(dialog.itemText.at(1000), "THE NAME OF YOUR APP GOES HERE");
        EXPECT_TRUE(M().postedLog.empty());
        EXPECT_EQ(firstWork, -1) << "work started without FILE.1";
        EXPECT_EQ(dialog.result, IDCANCEL);
    }
    EXPECT_TRUE(dialog.ended);
    EXPECT_TRUE(EverythingReleased());
}

INSTANTIATE_TEST_SUITE_P(Start, DialogTable, ::testing::ValuesIn(kDialogCases),
                         [](const ::testing::TestParamInfo<DialogCase>& info) {
                             return RowName(info.param.title);
                         });

class DialogCommands : public MachineTest {};

TEST_F(DialogCommands, ANotificationWithTheIdOfOkOrCancelIsNotACommand)
{
    SetOnDiskA(MakeSet("Demo", {3000}));
    HWND dialog = reinterpret_cast<HWND>(fake::kDialogWindow);
    const WPARAM kClicked = static_cast<WPARAM>(1) << 16;
    EXPECT_EQ(LauncherDialogProc(dialog, WM_COMMAND, kClicked | IDOK, 0), FALSE);
    EXPECT_EQ(LauncherDialogProc(dialog, WM_COMMAND, kClicked | IDCANCEL, 0), FALSE);
    EXPECT_EQ(LauncherDialogProc(dialog, WM_COMMAND, 3, 0), FALSE);
    EXPECT_EQ(LauncherDialogProc(dialog, 0x0010 /* WM_CLOSE */, 0, 0), FALSE);
    EXPECT_TRUE(M().events.empty());
}

TEST_F(DialogCommands, CancelStartsTheSameWorkAndEndsWithItsOwnId)
{
    PartSet set = MakeSet("Demo", {3000});
    SetOnDiskA(set);
    M().dialog.created = true;
    HWND dialog = reinterpret_cast<HWND>(fake::kDialogWindow);

    EXPECT_EQ(LauncherDialogProc(dialog, WM_COMMAND, IDCANCEL, 0), TRUE);

    ASSERT_EQ(M().launches.size(), 1u);
    EXPECT_TRUE(*M().launches[0].programBytes == set.installer);
    EXPECT_TRUE(M().dialog.ended);
    EXPECT_EQ(M().dialog.result, IDCANCEL);
    EXPECT_TRUE(EverythingReleased());
}

TEST_F(DialogCommands, TheExitCodeIsZeroEvenWhenTheDialogCannotBeMade)
{
    SetOnDiskA(MakeSet("Demo", {3000}));
    M().FailAlways("DialogBoxParamA");
    EXPECT_EQ(WinMain(kInstance, nullptr, nullptr, 10), 0);
    EXPECT_TRUE(M().launches.empty());
}

}  // namespace
