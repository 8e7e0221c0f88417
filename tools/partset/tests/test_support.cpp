#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace partset_test {

ScratchDir::ScratchDir() {
    std::string templ = (fs::temp_directory_path() / "partset-test-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 engine(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<unsigned char>(engine());
    return out;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<std::string> ListTree(const fs::path& dir) {
    std::vector<std::string> out;
    if (!fs::exists(dir)) return out;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        out.push_back(fs::relative(entry.path(), dir).string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

std::string Shell(const std::string& command, int* exit_code) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("popen failed");
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    const int status = pclose(pipe);
    if (exit_code) *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

Result RunTool(const std::vector<std::string>& args, const fs::path& cwd, const std::string& program) {
    ScratchDir capture;
    std::string command = "cd " + Quote(cwd.string()) + " && " + Quote(program);
    for (const auto& a : args) command += " " + Quote(a);
    command += " >" + Quote((capture / "out").string()) + " 2>" + Quote((capture / "err").string());
    const int status = std::system(command.c_str());
    Result r;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes out = ReadFile(capture / "out"), err = ReadFile(capture / "err");
    r.out.assign(out.begin(), out.end());
    r.err.assign(err.begin(), err.end());
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

}  // namespace partset_test
