// Files, external programs and progress: the tool's few contacts with the system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace partset {

namespace fs = std::filesystem;

// The copy buffer: large enough for full-speed sequential I/O, small enough
// that the tool's memory stays flat whatever the installer's size.
constexpr size_t kCopyBufferSize = 1 << 20;

fs::path PathFromUtf8(const std::string& text);
std::string PathToUtf8(const fs::path& path);

// Something to read bytes from: a file, or the output of mtools.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes; 0 at the end. Throws Error(kExitInput) on failure.
    virtual size_t Read(void* buffer, size_t size) = 0;
    // Reads until `size` bytes or the end; returns the count.
    size_t ReadFull(void* buffer, size_t size);

    // Ends the source; throws when it turns out to have failed.
    virtual void Close() {}
};

std::unique_ptr<ByteSource> OpenFileSource(const fs::path& path);
// The standard output of a program run without a shell.
std::unique_ptr<ByteSource> OpenProgramOutput(const std::vector<std::string>& argv, const std::string& what);

// A file being written; every failure throws Error(kExitOutput).
class OutputFile {
public:
    enum Mode { kCreate, kExisting };
    explicit OutputFile(const fs::path& path, Mode mode = kCreate);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    void Write(const void* data, size_t size);
    void WriteAt(uint64_t offset, const void* data, size_t size);
    void Close();

private:
    fs::path path_;
#ifdef _WIN32
    std::FILE* file_ = nullptr;
#else
    int fd_ = -1;
#endif
};

class Progress;

struct CopyResult {
    uint64_t bytes = 0;
    uint32_t crc = 0;  // CRC-32 of the bytes copied
};

// Copies `limit` bytes, or all that is left if fewer, from the source's
// position to the end of `out`, checksumming them on the way.
CopyResult CopyChecksummed(ByteSource& source, OutputFile& out, uint64_t limit, std::vector<unsigned char>& buffer,
                           Progress& progress);

// Runs a program without a shell and returns its exit status (or -1 if it
// could not be started). Its output goes to ours.
int RunProgram(const std::vector<std::string>& argv);

// Ctrl-C and termination requests end long runs cleanly.
void InstallInterruptHandler();
void ThrowIfInterrupted();

// Progress on stderr, shown only when stderr is a terminal.
class Progress {
public:
    Progress(const std::string& what, uint64_t total);
    ~Progress();
    void Advance(uint64_t bytes);

private:
    std::string what_;
    uint64_t total_;
    uint64_t done_ = 0;
    bool shown_ = false;
    bool enabled_;
    double last_ = 0;
};

// The directory the running executable lies in.
fs::path ExecutableDirectory();

// Arguments as UTF-8 (Windows passes them in the ANSI code page otherwise).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace partset
