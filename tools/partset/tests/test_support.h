// Helpers for the partset tests: scratch directories, files, and running the
// built tool.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace partset_test {

namespace fs = std::filesystem;

using Bytes = std::vector<unsigned char>;

// A fresh directory, removed with everything in it at the end of the test.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

Bytes RandomBytes(size_t size, uint32_t seed);
void WriteFile(const fs::path& path, const Bytes& bytes);
Bytes ReadFile(const fs::path& path);
// Everything under `dir`, as relative paths, sorted.
std::vector<std::string> ListTree(const fs::path& dir);

struct Result {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// Runs `program` (default: the built partset) with the arguments, in `cwd`.
Result RunTool(const std::vector<std::string>& args, const fs::path& cwd = fs::current_path(),
           const std::string& program = PARTSET_EXE);
// Runs a command line through the shell and returns its standard output.
std::string Shell(const std::string& command, int* exit_code = nullptr);
std::string Quote(const std::string& text);

std::vector<std::string> Lines(const std::string& text);

}  // namespace partset_test
