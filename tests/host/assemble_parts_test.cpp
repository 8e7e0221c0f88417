// Rebuilding the installer from its parts, as the user at the floppy drive
// sees it: which disks are asked for, with what caption, what they answer,
// and what the rebuilt installer holds at the end.
#include "assembly/assemble_parts.h"
#include "support/machine_test.h"
#include "support/part_files.h"

#include <cstring>
#include <functional>

using namespace testing_parts;

namespace {

const char kOutputPath[] = "C:\\TEMP\\OUT.EXE";

// A launcher directory of 252 characters: FILE.1 to FILE.9 just fit the
// 260-byte path buffer, FILE.10 would not.
std::string FullDirectory()
{
    return "C:\\" + std::string(120, 'D') + "\\" + std::string(128, 'E');
}

struct Scene {
    PartSet set;
    std::string partPath = "A:\\FILE.1";
};

struct AssemblyCase {
    const char* title;
    // Builds the set, puts its disks in, plants faults, scripts the answers.
    std::function<void(Scene&)> arrange;
    AssemblyOutcome outcome;
    std::vector<std::string> prompts;
    // The output holds the payloads of parts 1 to this one...
    int partsInOutput;
    // ...unless this says otherwise.
    std::function<std::string(const Scene&)> output = nullptr;
    // Anything else the row is about.
    std::function<void(const Scene&)> also = nullptr;
};

fake::MachineState& M()
{
    return fake::Machine();
}

void InsertDisk(std::shared_ptr<fake::Volume> disk)
{
    M().InsertDisk('A', std::move(disk));
}

void Answers(std::vector<fake::Answer> answers)
{
    M().answers = std::move(answers);
}

// The set in C:\SET, all parts side by side.
void InOneDirectory(Scene& s)
{
    s.partPath = "C:\\SET\\FILE.1";
    for (size_t n = 1; n <= s.set.files.size(); ++n) {
        M().AddFile("C:\\SET\\FILE." + std::to_string(n), s.set.Part(static_cast<int>(n)));
    }
}

std::vector<std::string> OpenedPaths()
{
    std::vector<std::string> paths;
    for (const fake::CreateFileCall& call : M().createFileCalls) {
        paths.push_back(call.path);
    }
    return paths;
}

const AssemblyCase kAssemblyCases[] = {
    {"one part: its payload, and no FILE.2 looked for",
     [](Scene& s) {
         s.set = MakeSet("Demo", {5000});
         InsertDisk(DiskWith(s.set, {1}));
     },
     Completed, {}, 1, nullptr,
     [](const Scene&) {
         EXPECT_EQ(M().CountEvents(fake::EventKind::FileStatus), 0);
         EXPECT_EQ(OpenedPaths(), std::vector<std::string>{"A:\\FILE.1"});
     }},

    {"all parts in one directory: no prompt at all",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 2048, 1500, 10});
         InOneDirectory(s);
     },
     Completed, {}, 4, nullptr,
     [](const Scene&) {
         EXPECT_EQ(M().CountEvents(fake::EventKind::FileStatus), 3);
         EXPECT_EQ(OpenedPaths(), (std::vector<std::string>{"C:\\SET\\FILE.1", "C:\\SET\\FILE.2",
                                                            "C:\\SET\\FILE.3", "C:\\SET\\FILE.4"}));
     }},

    {"one part per disk: disks 2, 3 and 4 asked for in turn",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 2048, 1500, 10});
         InsertDisk(DiskWith(s.set, {1}));
         Answers({OkAfterInserting(DiskWith(s.set, {2})), OkAfterInserting(DiskWith(s.set, {3})),
                  OkAfterInserting(DiskWith(s.set, {4}))});
     },
     Completed, {NextDisk(2), NextDisk(3), NextDisk(4)}, 4},

    {"OK without changing the disk: asked again for the same disk, as the wrong one",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 700});
         InsertDisk(DiskWith(s.set, {1}));
         Answers({Ok(), OkAfterInserting(DiskWith(s.set, {2}))});
     },
     Completed, {NextDisk(2), WrongDisk(2)}, 2},

    {"another product's disk 2 (its name differs): the wrong disk",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 700});
         PartSet other = MakeSet("Demo 2", {3000, 700});
         InsertDisk(DiskWith(s.set, {1}));
         Answers({OkAfterInserting(DiskWith(other, {2})), OkAfterInserting(DiskWith(s.set, {2}))});
     },
     Completed, {NextDisk(2), WrongDisk(2)}, 2},

    {"another build's disk 2 (set data differs in byte 1022 only): the wrong disk",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 700});
         PartSet other = s.set;
         other.files[1][1022] = static_cast<char>(other.files[1][1022] ^ 0x01);
         InsertDisk(DiskWith(s.set, {1}));
         Answers({OkAfterInserting(DiskWith(other, {2})), OkAfterInserting(DiskWith(s.set, {2}))});
     },
     Completed, {NextDisk(2), WrongDisk(2)}, 2},

    {"the last part differs from part 1 in its flag byte alone (0x80): accepted",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 1024, 700});
         s.set.files[2][1023] = static_cast<char>(0x80);
         InOneDirectory(s);
     },
     Completed, {}, 3, nullptr,
     [](const Scene& s) {
         EXPECT_EQ(0, std::memcmp(s.set.Part(1).data(), s.set.Part(3).data(), 1023));
     }},

    {"two parts per disk: the next disk is asked for as the wrong one",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 2048, 1500, 10});
         InsertDisk(DiskWith(s.set, {1, 2}));
         Answers({OkAfterInserting(DiskWith(s.set, {3, 4}))});
     },
     Completed, {WrongDisk(3)}, 4},

    {"Cancel at the next-disk prompt: declined",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 700});
         InsertDisk(DiskWith(s.set, {1}));
         Answers({Cancel()});
     },
     Declined, {NextDisk(2)}, 1},

    {"a next-disk prompt that could not be shown (answer 0): declined",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 700});
         InsertDisk(DiskWith(s.set, {1}));
         Answers({fake::Answer{0, nullptr}});
     },
     Declined, {NextDisk(2)}, 1},

    {"Cancel at the wrong-disk prompt: cancelled",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 700});
         InsertDisk(DiskWith(s.set, {1}));
         Answers({Ok(), Cancel()});
     },
     Cancelled, {NextDisk(2), WrongDisk(2)}, 1},

    {"a wrong-disk prompt that could not be shown (answer 0): asked again",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 700});
         InsertDisk(DiskWith(s.set, {1}));
         Answers({Ok(), fake::Answer{0, nullptr}, OkAfterInserting(DiskWith(s.set, {2}))});
     },
     Completed, {NextDisk(2), WrongDisk(2), WrongDisk(2)}, 2},

    {"the output's disk is full after 1500 bytes: write failed",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000});
         InsertDisk(DiskWith(s.set, {1}));
         M().AddFile(kOutputPath, "")->writeFailsAt = 1500;
     },
     WriteFailed, {}, 0, [](const Scene& s) { return s.set.installer.substr(0, 1024); }},

    {"a write that puts fewer bytes than asked: write failed",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000});
         InsertDisk(DiskWith(s.set, {1}));
         M().AddFile(kOutputPath, "")->shortWriteAt = 1500;
     },
     WriteFailed, {}, 0, [](const Scene& s) { return s.set.installer.substr(0, 1500); }},

    {"the output's disk fills up during part 2: write failed after the prompt",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 3000});
         InsertDisk(DiskWith(s.set, {1}));
         Answers({OkAfterInserting(DiskWith(s.set, {2}))});
         M().AddFile(kOutputPath, "")->writeFailsAt = 4000;
     },
     WriteFailed, {NextDisk(2)}, 1},

    {"a bad sector in part 2's payload, then a good copy: the installer is whole",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 5000});
         auto bad = DiskWith(s.set, {2});
         bad->files["\\FILE.2"]->readFailsAt = 1024 + 2100;
         InsertDisk(DiskWith(s.set, {1}));
         Answers({OkAfterInserting(bad), OkAfterInserting(DiskWith(s.set, {2}))});
     },
     Completed, {NextDisk(2), WrongDisk(2)}, 2, nullptr,
     [](const Scene&) {
         // What the bad copy gave before the sector was cut away again.
         EXPECT_EQ(M().CountEvents(fake::EventKind::Call, "SetEndOfFile"), 1);
     }},

    {"a bad sector in part 2's payload, then Cancel: the output cut back to part 1",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 5000});
         auto bad = DiskWith(s.set, {2});
         bad->files["\\FILE.2"]->readFailsAt = 1024 + 2100;
         InsertDisk(DiskWith(s.set, {1}));
         Answers({OkAfterInserting(bad), Cancel()});
     },
     Cancelled, {NextDisk(2), WrongDisk(2)}, 1},

    {"a bad sector in part 1 that reads well the second time: asked for disk 1 once",
     [](Scene& s) {
         s.set = MakeSet("Demo", {5000, 700});
         InOneDirectory(s);
         auto part1 = M().FindFile("C:\\SET\\FILE.1");
         part1->readFailsAt = 1024 + 3000;
         part1->readFailures = 1;
         Answers({Ok()});
     },
     Completed, {WrongDisk(1)}, 2},

    {"part 2's header cannot be read: the wrong disk",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 700});
         auto bad = DiskWith(s.set, {2});
         bad->files["\\FILE.2"]->readFailsAt = 500;
         InsertDisk(DiskWith(s.set, {1}));
         Answers({OkAfterInserting(bad), OkAfterInserting(DiskWith(s.set, {2}))});
     },
     Completed, {NextDisk(2), WrongDisk(2)}, 2},

    {"eleven parts: FILE.9 is followed by FILE.10 and FILE.11",
     [](Scene& s) {
         s.set = MakeSet("Demo", {1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 1900, 2000, 2100});
         InOneDirectory(s);
     },
     Completed, {}, 11, nullptr,
     [](const Scene&) {
         std::vector<std::string> opened = OpenedPaths();
         ASSERT_EQ(opened.size(), 11u);
         EXPECT_EQ(opened[8], "C:\\SET\\FILE.9");
         EXPECT_EQ(opened[9], "C:\\SET\\FILE.10");
         EXPECT_EQ(opened[10], "C:\\SET\\FILE.11");
     }},

    {"a part of its header alone adds nothing",
     [](Scene& s) {
         s.set = MakeSet("Demo", {2000, 0, 700});
         InOneDirectory(s);
     },
     Completed, {}, 3},

    {"part 1 gone when the run starts: asked for disk 1",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000});
         InsertDisk(fake::NewVolume());
         Answers({OkAfterInserting(DiskWith(s.set, {1}))});
     },
     Completed, {WrongDisk(1)}, 1},

    {"part 1 shorter than its header: asked for disk 1, no reference taken from it",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000});
         auto shortDisk = fake::NewVolume();
         shortDisk->Add("\\FILE.1", s.set.Part(1).substr(0, 600));
         InsertDisk(shortDisk);
         Answers({Ok(), Cancel()});
     },
     Cancelled, {WrongDisk(1), WrongDisk(1)}, 0},

    {"part 2 shorter than its header (its flag byte missing): the wrong disk",
     [](Scene& s) {
         s.set = MakeSet("Demo", {3000, 700});
         InOneDirectory(s);
         M().AddFile("C:\\SET\\FILE.2", s.set.Part(2).substr(0, 1023));
         std::string good = s.set.Part(2);
         Answers({fake::Answer{IDOK, [good] { M().AddFile("C:\\SET\\FILE.2", good); }}});
     },
     Completed, {WrongDisk(2)}, 2},

    {"path buffer full at FILE.9, part 9 the last: completed",
     [](Scene& s) {
         s.set = MakeSet("Demo", {1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 1900});
         std::string dir = FullDirectory();
         s.partPath = dir + "\\FILE.1";
         for (int n = 1; n <= 9; ++n) {
             M().AddFile(dir + "\\FILE." + std::to_string(n), s.set.Part(n));
         }
     },
     Completed, {}, 9, nullptr,
     [](const Scene& s) {
         ASSERT_EQ(s.partPath.size(), 259u);
         EXPECT_EQ(M().CountEvents(fake::EventKind::FileStatus), 8);
     }},

    {"path buffer full at FILE.9, more parts follow: cancelled, FILE.10 never sought",
     [](Scene& s) {
         s.set = MakeSet("Demo", {1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 1900, 2000});
         std::string dir = FullDirectory();
         s.partPath = dir + "\\FILE.1";
         for (int n = 1; n <= 10; ++n) {
             M().AddFile(dir + "\\FILE." + std::to_string(n), s.set.Part(n));
         }
     },
     Cancelled, {}, 9, nullptr,
     [](const Scene&) {
         EXPECT_EQ(M().CountEvents(fake::EventKind::FileStatus), 8);
         EXPECT_EQ(OpenedPaths().size(), 9u);
     }},
};

void PrintTo(const AssemblyCase& row, std::ostream* out)
{
    *out << row.title;
}

class AssemblyTable : public MachineTest,
                      public ::testing::WithParamInterface<AssemblyCase> {};

TEST_P(AssemblyTable, PromptsOutcomeAndInstaller)
{
    const AssemblyCase& row = GetParam();
    Scene scene;
    row.arrange(scene);

    HANDLE output = CreateFileA(kOutputPath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(output, INVALID_HANDLE_VALUE);
    // From here on the records show the assembly alone.
    M().createFileCalls.clear();
    M().events.clear();

    char partPath[kPathBufferSize] = {};
    ASSERT_LT(scene.partPath.size(), sizeof(partPath));
    std::strcpy(partPath, scene.partPath.c_str());
    unsigned char copyBuffer[kCopyBufferSize];

    AssemblyOutcome outcome = AssembleParts(partPath, output, copyBuffer);

    EXPECT_EQ(outcome, row.outcome);
    EXPECT_EQ(ShownBoxes(), row.prompts);
    for (const fake::MessageBoxRecord& box : M().boxes) {
        EXPECT_EQ(box.type, MB_OKCANCEL) << box.text;
        EXPECT_FALSE(box.hasOwner) << box.text;
        // Nothing but the output is open while the user handles the disks.
        EXPECT_EQ(box.openHandles, 1) << box.text;
    }
    for (const fake::CreateFileCall& call : M().createFileCalls) {
        EXPECT_EQ(call.access, GENERIC_READ) << call.path;
        EXPECT_EQ(call.share, FILE_SHARE_READ) << call.path;
        EXPECT_FALSE(call.securityAttributes) << call.path;
        EXPECT_EQ(call.disposition, OPEN_EXISTING) << call.path;
        EXPECT_EQ(call.flags, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN) << call.path;
        EXPECT_FALSE(call.templateFile) << call.path;
    }
    // The part that was open has been closed; the output stays open.
    EXPECT_EQ(M().OpenHandleNames(), std::vector<std::string>{std::string("file ") + kOutputPath});
    // The caller's copy buffer is all the run needs.
    EXPECT_EQ(M().CountEvents(fake::EventKind::LocalAlloc), 0);

    scene.partPath = partPath;
    if (row.also) {
        row.also(scene);
    }
    CloseHandle(output);
    std::string expected = row.output ? row.output(scene) : scene.set.PayloadsUpTo(row.partsInOutput);
    std::string actual = M().FindFile(kOutputPath)->data;
    EXPECT_EQ(actual.size(), expected.size());
    EXPECT_TRUE(actual == expected) << "the rebuilt bytes differ";
    EXPECT_TRUE(EverythingReleased());
}

INSTANTIATE_TEST_SUITE_P(User, AssemblyTable, ::testing::ValuesIn(kAssemblyCases),
                         [](const ::testing::TestParamInfo<AssemblyCase>& info) {
                             return RowName(info.param.title);
                         });

TEST(PartPath, TheNumberReplacesTheExtensionWithoutLeadingZeros)
{
    struct Row {
        const char* before;
        int number;
        const char* after;
    };
    const Row rows[] = {
        {"A:\\FILE.1", 2, "A:\\FILE.2"},
        {"A:\\FILE.9", 10, "A:\\FILE.10"},
        {"A:\\FILE.99", 100, "A:\\FILE.100"},
        {"A:\\SET.V2\\FILE.1", 2, "A:\\SET.V2\\FILE.2"},
        {"A:\\FILE.1", 2147483647, "A:\\FILE.2147483647"},
    };
    for (const Row& row : rows) {
        char path[kPathBufferSize] = {};
        std::strcpy(path, row.before);
        EXPECT_TRUE(SetPartNumber(path, row.number)) << row.before;
        EXPECT_STREQ(path, row.after);
    }
}

TEST(PartPath, ANumberThatDoesNotFitLeavesThePathAsItWas)
{
    std::string full = FullDirectory() + "\\FILE.9";
    char path[kPathBufferSize] = {};
    std::strcpy(path, full.c_str());
    EXPECT_FALSE(SetPartNumber(path, 10));
    EXPECT_EQ(std::string(path), full);
    EXPECT_TRUE(SetPartNumber(path, 8));
    char noDot[kPathBufferSize] = "A:\\FILE";
    EXPECT_FALSE(SetPartNumber(noDot, 2));
    EXPECT_STREQ(noDot, "A:\\FILE");
}

}  // namespace
