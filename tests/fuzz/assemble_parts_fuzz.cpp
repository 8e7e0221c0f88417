// Fuzzes the assembly loop against the in-memory machine.
//
// The input decides the set (part count and payload sizes), how its parts lie
// on disks, which disks carry decoys (another set's parts, parts cut short,
// a bad sector that heals or not, a full output disk), how deep the set's
// directory is (up to the last byte of the path buffer) and what the user
// answers at each prompt and which disk goes in first.
//
// The oracle is the launcher's promise: whatever happens, every part file
// opened is closed, the machine saw no misuse, and a run that reports
// Completed has rebuilt one of the two sets byte for byte: never a mixture,
// never a part cut short or broken off at a bad sector.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "assembly/assemble_parts.h"
#include "double/machine.h"
#include "support/part_files.h"

namespace {

using testing_parts::DiskWith;
using testing_parts::MakeSet;
using testing_parts::PartSet;

void Check(bool condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "broken promise: %s\n", what);
        for (const std::string& problem : fake::Machine().problems) {
            fprintf(stderr, "  machine: %s\n", problem.c_str());
        }
        abort();
    }
}

// A directory that puts "\FILE.1" exactly at the end of the path buffer when
// deep, so that FILE.10 can no longer be named.
std::string SetDirectory(bool deep)
{
    if (!deep) {
        return "";
    }
    const size_t pathLength = kPathBufferSize - 1;  // "A:" + dir + "\FILE.1"
    return "\\" + std::string(pathLength - 2 - 7 - 1, 'D');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    fake::Reset();
    fake::MachineState& machine = fake::Machine();

    int partCount = in.ConsumeIntegralInRange(1, 12);
    std::vector<size_t> sizes;
    for (int n = 0; n < partCount; ++n) {
        sizes.push_back(in.ConsumeIntegralInRange<size_t>(0, 2600));
    }
    PartSet set = MakeSet("Fuzz Setup", sizes, 1);
    PartSet foreign = MakeSet("Fuzz Setup", sizes, 2);
    std::string dir = SetDirectory(in.ConsumeBool());

    // The true disks: each part on one of them.
    int diskCount = in.ConsumeIntegralInRange(1, 4);
    std::vector<std::vector<int>> onDisk(diskCount);
    for (int n = 1; n <= partCount; ++n) {
        onDisk[in.ConsumeIntegralInRange(0, diskCount - 1)].push_back(n);
    }
    std::vector<std::shared_ptr<fake::Volume>> disks;
    for (const auto& parts : onDisk) {
        disks.push_back(DiskWith(set, parts, dir));
    }

    // Decoys: another set's parts, and parts cut short.
    std::vector<int> foreignParts, shortParts;
    for (int n = 1; n <= partCount; ++n) {
        if (in.ConsumeBool()) foreignParts.push_back(n);
        if (in.ConsumeBool()) shortParts.push_back(n);
    }
    disks.push_back(DiskWith(foreign, foreignParts, dir));
    auto shortDisk = fake::NewVolume();
    shortDisk->AddDirectory(dir);
    for (int n : shortParts) {
        size_t keep = in.ConsumeIntegralInRange<size_t>(0, 1023);
        shortDisk->Add(dir + "\\FILE." + std::to_string(n), set.Part(n).substr(0, keep));
    }
    disks.push_back(shortDisk);

    // A bad sector in one true part: it may heal on the next read, or not.
    if (in.ConsumeBool()) {
        int n = in.ConsumeIntegralInRange(1, partCount);
        for (const auto& disk : disks) {
            auto found = disk->files.find(fake::Upper(dir + "\\FILE." + std::to_string(n)));
            if (found != disk->files.end()) {
                found->second->readFailsAt = in.ConsumeIntegralInRange<int64_t>(
                    0, static_cast<int64_t>(found->second->data.size()));
                found->second->readFailures = in.ConsumeBool() ? 1 : -1;
                break;
            }
        }
    }

    machine.InsertDisk('A', disks[in.ConsumeIntegralInRange<size_t>(0, disks.size() - 1)]);
    int answerCount = in.ConsumeIntegralInRange(0, 40);
    for (int a = 0; a < answerCount; ++a) {
        static const int kButtons[] = {IDOK, IDOK, IDOK, IDCANCEL, 3 /* IDABORT */};
        int button = kButtons[in.ConsumeIntegralInRange(0, 4)];
        int insert = in.ConsumeIntegralInRange(-1, static_cast<int>(disks.size()) - 1);
        std::shared_ptr<fake::Volume> disk = insert < 0 ? nullptr : disks[insert];
        machine.answers.push_back({button, [disk, &machine] {
                                       if (disk) machine.InsertDisk('A', disk);
                                   }});
    }
    machine.unscriptedIsProblem = false;
    machine.promptLimit = 60;

    HANDLE output = CreateFileA("C:\\TEMP\\OUT.EXE", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    Check(output != INVALID_HANDLE_VALUE, "output created");
    if (in.ConsumeBool()) {
        machine.FindFile("C:\\TEMP\\OUT.EXE")->writeFailsAt =
            in.ConsumeIntegralInRange<int64_t>(0, static_cast<int64_t>(set.installer.size()));
    }
    unsigned char* buffer = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, kCopyBufferSize));
    char partPath[kPathBufferSize];
    std::string first = "A:" + dir + "\\FILE.1";
    Check(first.size() < sizeof partPath, "path fits");
    memcpy(partPath, first.c_str(), first.size() + 1);

    AssemblyOutcome outcome = AssembleParts(partPath, output, buffer);

    Check(machine.OpenHandles() == 1, "every part closed");  // the output alone, which the caller owns
    CloseHandle(output);
    LocalFree(buffer);
    Check(machine.OpenHandles() == 0 && machine.LiveBuffers() == 0, "nothing left open");
    Check(machine.problems.empty(), "no misuse of the platform");
    if (outcome == Completed) {
        // Part 1 defines the set: with the other set's disk in the drive at
        // the start, that set is the one rebuilt, and it must be whole too.
        const std::string& rebuilt = machine.FindFile("C:\\TEMP\\OUT.EXE")->data;
        Check(rebuilt == set.installer || rebuilt == foreign.installer,
              "a completed installer is whole");
    }
    return 0;
}
