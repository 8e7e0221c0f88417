// Finding part files in the places a user names (directories, part files,
// floppy images) and reading what they hold.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "header.h"
#include "platform.h"

namespace partset {

struct PartFile {
    uint32_t number = 0;
    std::string where;        // for messages: the path, or image::FILE.n
    fs::path file;            // the part file itself, or the image holding it
    std::string image_entry;  // the name inside the image; empty for a plain file
};

// "FILE.<n>" in any case, n in decimal without leading zeros, 1..2^31-1.
std::optional<uint32_t> PartNumberFromName(const std::string& name);

// Every part in the places given, in the order given; within a directory in
// the order of their numbers. A directory without part files is searched one
// level down (the disk1, disk2, ... of a split). A file named FILE.<n> is a
// part; any other file is read as a FAT floppy image. Throws Error(kExitInput)
// when a place does not exist or holds no part.
std::vector<PartFile> FindParts(const std::vector<std::string>& places);

std::unique_ptr<ByteSource> OpenPart(const PartFile& part);

struct ExaminedPart {
    PartFile file;
    uint64_t size = 0;              // the whole part file
    Header header{};                // zero beyond the end of a short part
    bool short_part = false;        // less than a header
    std::optional<uint32_t> payload_crc;
};

// Reads the header and the size; with `whole`, or when the part lies in an
// image, also reads the payload and records its CRC-32.
ExaminedPart ExaminePart(const PartFile& part, bool whole, std::vector<unsigned char>& buffer);

}  // namespace partset
