// Fuzzes partset's readers: inspect, verify and join over arbitrary part files
// or an arbitrary floppy image.
//
// Input: a flags byte (bit 0: one image instead of part files, bit 1: join
// with --force), then either the image's bytes, or a part count byte and, for
// each part, a two-byte little-endian length and its bytes. The seeds are real
// sets written by split, so mutations start from headers with a manifest.
//
// Expected failures are partset::Error with an exit code; anything else that
// escapes (a bad_alloc from a size read off a disk, an out-of-range access
// under ASan) is a fault. And what verify passes, join must rebuild.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "commands.h"
#include "errors.h"

namespace fs = std::filesystem;

namespace {

fs::path WorkDir()
{
    static const fs::path dir =
        fs::temp_directory_path() / ("partset-fuzz-" + std::to_string(getpid()));
    return dir;
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs one command; partset::Error is how it reports bad input.
int Run(int (*command)(const std::vector<std::string>&), const std::vector<std::string>& places)
{
    try {
        return command(places);
    } catch (const partset::Error& error) {
        return error.code();
    }
}

int Join(const std::vector<std::string>& places, const fs::path& out, bool force)
{
    try {
        partset::JoinOptions options;
        options.places = places;
        options.out = out.string();
        options.force = force;
        return partset::RunJoin(options);
    } catch (const partset::Error& error) {
        return error.code();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const fs::path dir = WorkDir();
    fs::remove_all(dir);
    fs::create_directories(dir / "set");

    bool image = (data[0] & 1) != 0;
    bool force = (data[0] & 2) != 0;
    std::vector<std::string> places;
    if (image) {
        // A floppy image: read through mtools like a disk in a drive.
        WriteFile(dir / "set" / "disk1.img",
                  std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
        places.push_back((dir / "set" / "disk1.img").string());
    } else {
        int count = data[1] % 6 + 1;
        size_t at = 2;
        for (int n = 1; n <= count; ++n) {
            size_t length = 0;
            if (at + 2 <= size) {
                length = data[at] | (data[at + 1] << 8);
                at += 2;
            }
            length = std::min(length, size - std::min(at, size));
            WriteFile(dir / "set" / ("FILE." + std::to_string(n)),
                      std::string(reinterpret_cast<const char*>(data) + at, length));
            at += length;
        }
        places.push_back((dir / "set").string());
    }

    Run(partset::RunInspect, places);
    int verified = Run(partset::RunVerify, places);
    int joined = Join(places, dir / "joined.exe", force);
    if (verified == partset::kExitOk && joined != partset::kExitOk) {
        abort();  // a set that verifies must rebuild
    }
    if (joined == partset::kExitOk && !fs::exists(dir / "joined.exe")) {
        abort();
    }
    fs::remove_all(dir);
    return 0;
}
