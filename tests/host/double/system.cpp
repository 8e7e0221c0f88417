// Paths, directories, the environment, memory and starting programs on the
// in-memory machine.
#include "double/machine.h"

#include <cstring>

using fake::EventKind;
using fake::Machine;
using fake::MachineState;

namespace {

// The answer of the Get…Directory/Get…Path family: the length without the NUL
// when the text fits, else the size the buffer would need. A buffer that was
// too small is filled with junk and no NUL, so a caller that ignores the
// answer reads garbage (and the sanitizers notice) instead of a tidy text.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size)
{
    if (text.size() + 1 > size) {
        std::memset(buffer, '#', size);
        return static_cast<DWORD>(text.size() + 1);
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

bool IsShortComponent(const std::string& name)
{
    if (name.empty() || name.find_first_of(" +,;=[]") != std::string::npos) {
        return false;
    }
    size_t dot = name.find('.');
    if (dot == std::string::npos) {
        return name.size() <= 8;
    }
    return name.find('.', dot + 1) == std::string::npos && dot >= 1 && dot <= 8 &&
           name.size() - dot - 1 <= 3;
}

// The 8.3 form Windows gives a long name: the first six usable characters,
// "~1", and the first three of the extension, in capitals.
std::string ShortComponent(const std::string& name)
{
    if (IsShortComponent(name)) {
        return name;
    }
    size_t dot = name.rfind('.');
    std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    std::string shortBase;
    for (char c : base) {
        if (c != ' ' && c != '.' && shortBase.size() < 6) {
            shortBase += c;
        }
    }
    std::string result = fake::Upper(shortBase) + "~1";
    if (!extension.empty()) {
        result += "." + fake::Upper(extension.substr(0, 3));
    }
    return result;
}

std::string ShortPathOf(const std::string& path)
{
    std::string result;
    size_t start = 0;
    // The root ("C:\" or "\\SERVER\SHARE\") stays as it is.
    if (path.size() >= 3 && path[1] == ':') {
        start = 3;
    } else if (path.compare(0, 2, "\\\\") == 0) {
        size_t server = path.find('\\', 2);
        size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
        start = share == std::string::npos ? path.size() : share + 1;
    }
    result = path.substr(0, start);
    while (start < path.size()) {
        size_t slash = path.find('\\', start);
        std::string component =
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        result += ShortComponent(component);
        if (slash == std::string::npos) {
            break;
        }
        result += '\\';
        start = slash + 1;
    }
    return result;
}

// The program a command line starts: its first word, or the quoted text.
std::string ProgramOf(const std::string& commandLine)
{
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        return commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find(' '));
}

}  // namespace

// Like Windows XP: a name that does not fit is cut to the buffer's size and
// left without its NUL, and the buffer's size is returned.
DWORD WINAPI GetModuleFileNameA(HINSTANCE module, LPSTR fileName, DWORD size)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("GetModuleFileNameA");
    if (module != nullptr) {
        m.Problem("GetModuleFileNameA for a module other than the program");
    }
    if (fail || size == 0) {
        return 0;
    }
    const std::string& path = m.modulePath;
    if (path.size() < size) {
        std::memcpy(fileName, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    std::memcpy(fileName, path.data(), size);
    return size;
}

DWORD WINAPI GetTempPathA(DWORD bufferLength, LPSTR buffer)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("GetTempPathA");
    if (fail || m.tempDirectory.empty()) {
        return 0;
    }
    return CopyOut(m.tempDirectory, buffer, bufferLength);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("GetWindowsDirectoryA");
    if (fail || m.windowsDirectory.empty()) {
        return 0;
    }
    return CopyOut(m.windowsDirectory, buffer, size);
}

DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD bufferLength)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("GetShortPathNameA", longPath);
    if (fail) {
        return 0;
    }
    if (m.shortPathResult) {
        if (*m.shortPathResult >= bufferLength) {
            std::memset(shortPath, '#', bufferLength);
        }
        return *m.shortPathResult;
    }
    // Only a name that exists has a short form.
    MachineState::Resolved where = m.Resolve(longPath);
    if (!where.valid || (where.volume->files.count(where.key) == 0 &&
                         where.volume->directories.count(where.key) == 0)) {
        return 0;
    }
    std::string text = m.shortPathText ? *m.shortPathText : ShortPathOf(longPath);
    m.shortAliases[fake::Upper(text)] = longPath;
    return CopyOut(text, shortPath, bufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR pathName)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("SetCurrentDirectoryA");
    MachineState::Resolved where = m.Resolve(pathName);
    if (fail || !where.valid ||
        (!where.key.empty() && where.volume->directories.count(where.key) == 0)) {
        return FALSE;
    }
    std::string path = pathName;
    // Windows keeps the directory without a closing backslash, but a root
    // with one.
    while (path.size() > 1 && path.back() == '\\' && where.key.size() > 0) {
        path.pop_back();
    }
    if (where.key.empty() && path.back() != '\\') {
        path += '\\';
    }
    m.currentDirectory = path;
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer)
{
    MachineState& m = Machine();
    if (m.ShouldFail("GetCurrentDirectoryA")) {
        return 0;
    }
    return CopyOut(m.currentDirectory, buffer, bufferLength);
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value)
{
    MachineState& m = Machine();
    if (m.ShouldFail("SetEnvironmentVariableA")) {
        return FALSE;
    }
    if (value == nullptr) {
        m.environment.erase(name);
    } else {
        m.environment[name] = value;
    }
    return TRUE;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes)
{
    MachineState& m = Machine();
    if (m.ShouldFail("LocalAlloc")) {
        return nullptr;
    }
    if (flags != LMEM_FIXED) {
        m.Problem("LocalAlloc other than LMEM_FIXED");
    }
    // Fresh memory is not zero on Windows either.
    std::unique_ptr<unsigned char[]> memory(new unsigned char[bytes == 0 ? 1 : bytes]);
    std::memset(memory.get(), 0xCD, bytes == 0 ? 1 : bytes);
    void* address = memory.get();
    m.buffers[address] = std::move(memory);
    m.Record(EventKind::LocalAlloc, std::to_string(bytes), reinterpret_cast<uintptr_t>(address));
    return address;
}

// A failing LocalFree still frees; the caller could not do anything else.
HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("LocalFree");
    auto found = m.buffers.find(memory);
    if (found == m.buffers.end()) {
        m.Problem("LocalFree of memory that LocalAlloc did not give");
        return memory;
    }
    m.buffers.erase(found);
    m.Record(EventKind::LocalFree, std::string(), reinterpret_cast<uintptr_t>(memory));
    return fail ? memory : nullptr;
}

UINT WINAPI WinExec(LPCSTR commandLine, UINT showCommand)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("WinExec", commandLine);
    m.Record(EventKind::WinExec, commandLine);
    if (fail) {
        return 2;  // ERROR_FILE_NOT_FOUND
    }
    fake::LaunchRecord launch;
    launch.commandLine = commandLine;
    launch.showCommand = showCommand;
    launch.currentDirectory = m.currentDirectory;
    launch.environment = m.environment;
    std::string program = ProgramOf(commandLine);
    auto alias = m.shortAliases.find(fake::Upper(program));
    if (alias != m.shortAliases.end()) {
        program = alias->second;
    }
    if (auto file = m.FindFile(program)) {
        launch.programBytes = file->data;
    }
    m.launches.push_back(launch);
    return m.winExecResult;
}

LPSTR WINAPI lstrcatA(LPSTR string1, LPCSTR string2)
{
    Machine().callCounts["lstrcatA"]++;
    std::memmove(string1 + std::strlen(string1), string2, std::strlen(string2) + 1);
    return string1;
}
