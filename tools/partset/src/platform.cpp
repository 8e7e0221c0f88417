#include "platform.h"

#include <algorithm>
#include <chrono>
#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#include <thread>
#endif
#include <csignal>
#include <cstring>

#include "crc.h"
#include "errors.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace partset {

fs::path PathFromUtf8(const std::string& text) { return fs::u8path(text); }
std::string PathToUtf8(const fs::path& path) { return path.u8string(); }

namespace {

#ifdef _WIN32
std::FILE* OpenFile(const fs::path& path, const char* mode) {
    std::wstring wmode(mode, mode + std::strlen(mode));
    return _wfopen(path.c_str(), wmode.c_str());
}
#endif

std::string SystemError() { return std::strerror(errno); }

#ifdef _WIN32
class FileSource : public ByteSource {
public:
    explicit FileSource(const fs::path& path) : path_(path) {
        file_ = OpenFile(path, "rb");
        if (!file_) throw Error(kExitInput, "cannot open " + PathToUtf8(path) + ": " + SystemError());
        // Reads are large; stdio's own buffer would only add a copy.
        std::setvbuf(file_, nullptr, _IONBF, 0);
    }
    ~FileSource() override {
        if (file_) std::fclose(file_);
    }
    size_t Read(void* buffer, size_t size) override {
        const size_t got = std::fread(buffer, 1, size, file_);
        if (got == 0 && std::ferror(file_)) {
            throw Error(kExitInput, "cannot read " + PathToUtf8(path_) + ": " + SystemError());
        }
        return got;
    }
    void Close() override {
        if (file_) std::fclose(file_);
        file_ = nullptr;
    }

private:
    fs::path path_;
    std::FILE* file_ = nullptr;
};
#else
class FileSource : public ByteSource {
public:
    explicit FileSource(const fs::path& path) : path_(path) {
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) throw Error(kExitInput, "cannot open " + PathToUtf8(path) + ": " + SystemError());
        posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    ~FileSource() override { Close(); }
    size_t Read(void* buffer, size_t size) override {
        for (;;) {
            const ssize_t got = pread(fd_, buffer, size, static_cast<off_t>(offset_));
            if (got >= 0) {
                offset_ += static_cast<uint64_t>(got);
                return static_cast<size_t>(got);
            }
            if (errno != EINTR) throw Error(kExitInput, "cannot read " + PathToUtf8(path_) + ": " + SystemError());
            ThrowIfInterrupted();
        }
    }
    void Close() override {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    fs::path path_;
    int fd_ = -1;
    uint64_t offset_ = 0;
};
#endif

#ifdef _WIN32
std::string QuoteForCmd(const std::string& arg) {
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}
std::string CommandLine(const std::vector<std::string>& argv) {
    std::string line;
    for (const auto& a : argv) line += (line.empty() ? "" : " ") + QuoteForCmd(a);
    return line;
}
#endif

class ProgramSource : public ByteSource {
public:
    ProgramSource(const std::vector<std::string>& argv, const std::string& what) : what_(what) {
#ifdef _WIN32
        pipe_ = _popen(CommandLine(argv).c_str(), "rb");
        if (!pipe_) throw Error(kExitInput, "cannot run " + argv[0] + " to read " + what_);
#else
        int fds[2];
        if (pipe(fds) != 0) throw Error(kExitInput, "cannot make a pipe: " + SystemError());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            throw Error(kExitInput, "cannot run " + argv[0] + " to read " + what_ + ": " + std::strerror(rc));
        }
        fd_ = fds[0];
#endif
    }
    ~ProgramSource() override {
        try {
            Finish();
        } catch (...) {
        }
    }
    size_t Read(void* buffer, size_t size) override {
#ifdef _WIN32
        const size_t got = std::fread(buffer, 1, size, pipe_);
        if (got == 0 && std::ferror(pipe_)) throw Error(kExitInput, "cannot read " + what_);
        return got;
#else
        for (;;) {
            const ssize_t got = read(fd_, buffer, size);
            if (got >= 0) return static_cast<size_t>(got);
            if (errno != EINTR) throw Error(kExitInput, "cannot read " + what_ + ": " + SystemError());
            ThrowIfInterrupted();
        }
#endif
    }
    void Close() override {
        if (Finish() != 0) throw Error(kExitInput, "cannot read " + what_ + " (mtools failed)");
    }

private:
    int Finish() {
#ifdef _WIN32
        if (!pipe_) return status_;
        status_ = _pclose(pipe_);
        pipe_ = nullptr;
        return status_;
#else
        if (fd_ < 0) return status_;
        close(fd_);
        fd_ = -1;
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
#endif
    }

    std::string what_;
    int status_ = 0;
#ifdef _WIN32
    std::FILE* pipe_ = nullptr;
#else
    pid_t pid_ = 0;
    int fd_ = -1;
#endif
};

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) { g_interrupted = 1; }

}  // namespace

size_t ByteSource::ReadFull(void* buffer, size_t size) {
    size_t total = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (total < size) {
        const size_t got = Read(out + total, size - total);
        if (got == 0) break;
        total += got;
    }
    return total;
}

std::unique_ptr<ByteSource> OpenFileSource(const fs::path& path) { return std::make_unique<FileSource>(path); }

std::unique_ptr<ByteSource> OpenProgramOutput(const std::vector<std::string>& argv, const std::string& what) {
    return std::make_unique<ProgramSource>(argv, what);
}

#ifdef _WIN32
OutputFile::OutputFile(const fs::path& path, Mode mode) : path_(path) {
    file_ = OpenFile(path, mode == kCreate ? "wb" : "r+b");
    if (!file_) throw Error(kExitOutput, "cannot create " + PathToUtf8(path) + ": " + SystemError());
    std::setvbuf(file_, nullptr, _IONBF, 0);
}

OutputFile::~OutputFile() {
    if (file_) std::fclose(file_);
}

void OutputFile::Write(const void* data, size_t size) {
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) {
        throw Error(kExitOutput, "cannot write " + PathToUtf8(path_) + ": " + SystemError());
    }
}

void OutputFile::WriteAt(uint64_t offset, const void* data, size_t size) {
    if (_fseeki64(file_, static_cast<long long>(offset), SEEK_SET) != 0) {
        throw Error(kExitOutput, "cannot seek in " + PathToUtf8(path_) + ": " + SystemError());
    }
    Write(data, size);
}

void OutputFile::Close() {
    std::FILE* f = file_;
    file_ = nullptr;
    if (f && std::fclose(f) != 0) {
        throw Error(kExitOutput, "cannot write " + PathToUtf8(path_) + ": " + SystemError());
    }
}

#else
OutputFile::OutputFile(const fs::path& path, Mode mode) : path_(path) {
    fd_ = open(path.c_str(), mode == kCreate ? O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC : O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ < 0) throw Error(kExitOutput, "cannot create " + PathToUtf8(path) + ": " + SystemError());
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) close(fd_);
}

void OutputFile::Write(const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw Error(kExitOutput, "cannot write " + PathToUtf8(path_) + ": " + SystemError());
        p += n;
        size -= static_cast<size_t>(n);
    }
}

void OutputFile::WriteAt(uint64_t offset, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw Error(kExitOutput, "cannot write " + PathToUtf8(path_) + ": " + SystemError());
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
}

void OutputFile::Close() {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && close(fd) != 0) {
        throw Error(kExitOutput, "cannot write " + PathToUtf8(path_) + ": " + SystemError());
    }
}

#endif

#ifndef _WIN32
namespace {

// Checksums the copy buffer's pieces on a second thread while this one reads
// and writes the next: the checksum costs about as much CPU as the copying,
// and with a second core free it mostly stops adding to the time. The thread
// stays for the life of the process, so that a set of hundreds of small parts
// does not start hundreds of threads.
class ChecksumThread {
public:
    static ChecksumThread& Get() {
        static ChecksumThread instance;
        return instance;
    }

    void Begin() {
        std::lock_guard<std::mutex> lock(mutex_);
        crc_ = 0;
    }
    // Queues bytes that stay unchanged until Wait says they are done.
    void Add(size_t slot, const unsigned char* data, size_t size) {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_[slot] = {data, size};
        pending_ |= 1u << slot;
        order_[queued_++ % kSlots] = slot;
        wake_.notify_one();
    }
    // Waits until the bytes queued for `slot` are checksummed.
    void Wait(size_t slot) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return (pending_ & (1u << slot)) == 0; });
    }
    // Waits for everything queued and returns the checksum since Begin.
    uint32_t Finish() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return pending_ == 0; });
        return crc_;
    }

    static constexpr size_t kSlots = 4;

private:
    ChecksumThread() : thread_([this] { Run(); }) {}
    ~ChecksumThread() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
            wake_.notify_one();
        }
        thread_.join();
    }

    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return quit_ || taken_ != queued_; });
            if (quit_) return;
            const size_t slot = order_[taken_++ % kSlots];
            const Piece piece = queue_[slot];
            uint32_t crc = crc_;
            lock.unlock();
            crc = Crc32(crc, piece.data, piece.size);
            lock.lock();
            crc_ = crc;
            pending_ &= ~(1u << slot);
            done_.notify_all();
        }
    }

    struct Piece {
        const unsigned char* data = nullptr;
        size_t size = 0;
    };
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    Piece queue_[kSlots];
    size_t order_[kSlots] = {};
    uint64_t queued_ = 0, taken_ = 0;
    unsigned pending_ = 0;
    uint32_t crc_ = 0;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace

CopyResult CopyChecksummed(ByteSource& source, OutputFile& out, uint64_t limit, std::vector<unsigned char>& buffer,
                           Progress& progress) {
    // The buffer is cut into slots: one is read and written while the thread
    // checksums the ones before it.
    constexpr size_t kSlots = ChecksumThread::kSlots;
    const size_t slot_size = buffer.size() / kSlots;
    ChecksumThread& checksum = ChecksumThread::Get();
    checksum.Begin();
    // On an error the thread must be done with the buffer before it is gone.
    struct Drain {
        ChecksumThread& checksum;
        ~Drain() { checksum.Finish(); }
    } drain{checksum};
    CopyResult result;
    for (size_t slot = 0; result.bytes < limit; slot = (slot + 1) % kSlots) {
        unsigned char* data = buffer.data() + slot * slot_size;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(limit - result.bytes, slot_size));
        checksum.Wait(slot);
        const size_t got = source.Read(data, want);
        if (got == 0) break;
        checksum.Add(slot, data, got);
        out.Write(data, got);
        result.bytes += got;
        progress.Advance(got);
        ThrowIfInterrupted();
    }
    result.crc = checksum.Finish();
    return result;
}

#else
CopyResult CopyChecksummed(ByteSource& source, OutputFile& out, uint64_t limit, std::vector<unsigned char>& buffer,
                           Progress& progress) {
    CopyResult result;
    while (result.bytes < limit) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(limit - result.bytes, buffer.size()));
        const size_t got = source.Read(buffer.data(), want);
        if (got == 0) break;
        result.crc = Crc32(result.crc, buffer.data(), got);
        out.Write(buffer.data(), got);
        result.bytes += got;
        progress.Advance(got);
        ThrowIfInterrupted();
    }
    return result;
}
#endif

int RunProgram(const std::vector<std::string>& argv) {
#ifdef _WIN32
    std::vector<const char*> args;
    std::vector<std::string> quoted;
    for (const auto& a : argv) quoted.push_back(QuoteForCmd(a));
    for (const auto& a : quoted) args.push_back(a.c_str());
    args.push_back(nullptr);
    const intptr_t rc = _spawnvp(_P_WAIT, argv[0].c_str(), args.data());
    return rc < 0 ? -1 : static_cast<int>(rc);
#else
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

void InstallInterruptHandler() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

void ThrowIfInterrupted() {
    if (g_interrupted) throw Error(kExitInterrupted, "interrupted");
}

namespace {
bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}
double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

Progress::Progress(const std::string& what, uint64_t total)
    : what_(what), total_(total), enabled_(StderrIsTerminal() && total >= (16u << 20)) {
    last_ = Now();
}

Progress::~Progress() {
    if (shown_) std::fprintf(stderr, "\r\033[K");
}

void Progress::Advance(uint64_t bytes) {
    done_ += bytes;
    if (!enabled_) return;
    const double now = Now();
    if (now - last_ < 0.2) return;
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r%s: %3d%% (%llu of %llu MiB)", what_.c_str(),
                 static_cast<int>(total_ ? done_ * 100 / total_ : 100),
                 static_cast<unsigned long long>(done_ >> 20), static_cast<unsigned long long>(total_ >> 20));
    std::fflush(stderr);
}

fs::path ExecutableDirectory() {
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(n);
    return fs::path(buffer).parent_path();
#else
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
#endif
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    std::vector<std::string> out;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; wide && i < count; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string s(n > 0 ? n - 1 : 0, '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, s.data(), n, nullptr, nullptr);
        out.push_back(s);
    }
    if (wide) LocalFree(wide);
#else
    for (int i = 0; i < argc; ++i) out.emplace_back(argv[i]);
#endif
    return out;
}

}  // namespace partset
