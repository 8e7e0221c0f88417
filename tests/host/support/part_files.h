// Part sets as their author would write them: headers, payloads, the
// installer they rebuild, and disks holding some of their parts.
#pragma once

#include "double/machine.h"

#include <memory>
#include <string>
#include <vector>

namespace testing_parts {

// Deterministic bytes that differ from one seed to the next.
std::string Bytes(size_t count, unsigned seed);

// A 1024-byte part header: the name and its NUL, set data drawn from setSeed,
// and the last-part flag.
std::string Header(const std::string& name, unsigned setSeed, unsigned char lastFlag);

struct PartSet {
    std::string name;
    std::vector<std::string> files;  // files[0] is FILE.1
    std::string installer;           // the payloads in order

    const std::string& Part(int number) const { return files.at(number - 1); }
    // The payloads of parts 1..count.
    std::string PayloadsUpTo(int count) const;
};

// A set whose part n carries payloadSizes[n-1] bytes of the installer.
PartSet MakeSet(const std::string& name, const std::vector<size_t>& payloadSizes,
                unsigned setSeed = 1);

// A disk holding the given parts of the set in directory dir ("" for the root).
std::shared_ptr<fake::Volume> DiskWith(const PartSet& set, const std::vector<int>& parts,
                                       const std::string& dir = "");

// The captions and text of the disk prompts, as the user reads them
// (Windows-1252: "ä" is 0xE4).
extern const char kNextDiskCaption[];
extern const char kWrongDiskCaption[];
std::string NextDisk(int number);   // "Nächste Diskette: Bitte legen Sie Diskette n ein"
std::string WrongDisk(int number);  // "Falsche Diskette: Bitte legen Sie Diskette n ein"

// The boxes shown so far, as "caption: text" ("text" alone without caption).
std::vector<std::string> ShownBoxes();

// A scripted answer that first puts disk into drive A:.
fake::Answer OkAfterInserting(std::shared_ptr<fake::Volume> disk);
fake::Answer Ok();
fake::Answer Cancel();

}  // namespace testing_parts
