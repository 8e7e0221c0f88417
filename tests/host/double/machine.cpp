// The machine's own bookkeeping: volumes, path resolution, handles, events.
#include "double/machine.h"

#include <cctype>

namespace fake {

namespace {

std::unique_ptr<MachineState> gMachine;

// Handle values start well away from null and INVALID_HANDLE_VALUE and are
// never reused, so a second close of the same handle is seen.
const uintptr_t kFirstHandle = 0x1000;
const uintptr_t kHandleStep = 4;

std::string ParentOf(const std::string& key)
{
    size_t slash = key.rfind('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

}  // namespace

std::string Upper(const std::string& text)
{
    std::string result = text;
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

std::shared_ptr<Volume> NewVolume()
{
    return std::make_shared<Volume>();
}

void Volume::AddDirectory(const std::string& path)
{
    std::string key = Upper(path);
    while (!key.empty() && key.back() == '\\') {
        key.pop_back();
    }
    while (!key.empty()) {
        directories.insert(key);
        key = ParentOf(key);
    }
}

std::shared_ptr<FileNode> Volume::Add(const std::string& path, const std::string& data)
{
    std::string key = Upper(path);
    AddDirectory(ParentOf(key));
    auto node = std::make_shared<FileNode>();
    node->data = data;
    files[key] = node;
    return node;
}

MachineState& Machine()
{
    if (!gMachine) {
        Reset();
    }
    return *gMachine;
}

void Reset()
{
    gMachine = std::make_unique<MachineState>();
    gMachine->roots["A:"] = NewVolume();
    auto c = NewVolume();
    c->AddDirectory("\\WINDOWS");
    c->AddDirectory("\\TEMP");
    gMachine->roots["C:"] = c;
}

void MachineState::InsertDisk(char drive, std::shared_ptr<Volume> disk)
{
    std::string root(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive))));
    root += ':';
    roots[root] = std::move(disk);
}

std::shared_ptr<Volume> MachineState::DiskIn(char drive) const
{
    std::string root(1, static_cast<char>(std::toupper(static_cast<unsigned char>(drive))));
    root += ':';
    auto it = roots.find(root);
    return it == roots.end() ? nullptr : it->second;
}

MachineState::Resolved MachineState::Resolve(const std::string& path) const
{
    Resolved result;
    std::string p = path;
    for (char& c : p) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (p.empty() || p.find_first_of("?*<>|\"") != std::string::npos) {
        return result;
    }
    std::string rest;
    if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
        result.root = Upper(p.substr(0, 2));
        rest = p.substr(2);
        if (!rest.empty() && rest[0] != '\\') {
            rest = "\\" + rest;
        }
    } else if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
        size_t server = p.find('\\', 2);
        if (server == std::string::npos || server == 2 || server + 1 >= p.size()) {
            return result;
        }
        size_t share = p.find('\\', server + 1);
        result.root = Upper(p.substr(0, share));
        rest = share == std::string::npos ? std::string() : p.substr(share);
    } else if (p[0] == '\\') {
        Resolved current = Resolve(currentDirectory);
        if (current.root.empty()) {
            return result;
        }
        result.root = current.root;
        rest = p;
    } else {
        if (currentDirectory.empty()) {
            return result;
        }
        std::string base = currentDirectory;
        if (base.back() != '\\') {
            base += '\\';
        }
        return Resolve(base + p);
    }
    std::string key;
    for (char c : Upper(rest)) {
        if (c == '\\' && !key.empty() && key.back() == '\\') {
            continue;
        }
        key += c;
    }
    while (!key.empty() && key.back() == '\\') {
        key.pop_back();
    }
    result.key = key;
    auto it = roots.find(result.root);
    if (it == roots.end() || !it->second) {
        return result;
    }
    result.volume = it->second;
    result.valid = true;
    return result;
}

std::shared_ptr<FileNode> MachineState::AddFile(const std::string& path, const std::string& data)
{
    Resolved where = Resolve(path);
    if (!where.valid) {
        Problem("test set-up: no volume for " + path);
        return nullptr;
    }
    return where.volume->Add(where.key, data);
}

void MachineState::AddDirectory(const std::string& path)
{
    Resolved where = Resolve(path);
    if (!where.valid) {
        Problem("test set-up: no volume for " + path);
        return;
    }
    where.volume->AddDirectory(where.key);
}

std::shared_ptr<FileNode> MachineState::FindFile(const std::string& path) const
{
    Resolved where = Resolve(path);
    if (!where.valid) {
        return nullptr;
    }
    auto it = where.volume->files.find(where.key);
    return it == where.volume->files.end() ? nullptr : it->second;
}

bool MachineState::Exists(const std::string& path) const
{
    return FindFile(path) != nullptr;
}

void MachineState::RemoveFile(const std::string& path)
{
    Resolved where = Resolve(path);
    if (where.valid) {
        where.volume->files.erase(where.key);
    }
}

void MachineState::FailCall(const std::string& function, int nth)
{
    failingCalls[function].insert(nth);
}

void MachineState::FailAlways(const std::string& function)
{
    alwaysFailing.insert(function);
}

std::string MachineState::PathOf(HANDLE handle) const
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < kFirstHandle || (value - kFirstHandle) % kHandleStep != 0 ||
        (value - kFirstHandle) / kHandleStep >= handles.size()) {
        return std::string();
    }
    return handles[(value - kFirstHandle) / kHandleStep].path;
}

bool MachineState::ShouldFail(const char* function, const std::string& argument)
{
    int nth = ++callCounts[function];
    Record(EventKind::Call, function);
    events.back().argument = argument;
    if (alwaysFailing.count(function) != 0) {
        return true;
    }
    auto it = failingCalls.find(function);
    return it != failingCalls.end() && it->second.count(nth) != 0;
}

HANDLE MachineState::NewHandle(Handle handle)
{
    handles.push_back(std::move(handle));
    return reinterpret_cast<HANDLE>(kFirstHandle + kHandleStep * (handles.size() - 1));
}

Handle* MachineState::Lookup(HANDLE handle, Handle::Kind kind, const char* function)
{
    Handle* entry = LookupAny(handle, function);
    if (entry != nullptr && entry->kind != kind) {
        Problem(std::string(function) + " with a handle of the wrong kind");
        return nullptr;
    }
    return entry;
}

Handle* MachineState::LookupAny(HANDLE handle, const char* function)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < kFirstHandle || (value - kFirstHandle) % kHandleStep != 0 ||
        (value - kFirstHandle) / kHandleStep >= handles.size()) {
        Problem(std::string(function) + " with a handle that was never opened");
        return nullptr;
    }
    Handle& entry = handles[(value - kFirstHandle) / kHandleStep];
    if (!entry.open) {
        Problem(std::string(function) + " with a closed handle to " + entry.path);
        return nullptr;
    }
    return &entry;
}

void MachineState::Record(EventKind kind, const std::string& detail, uintptr_t handle)
{
    events.push_back(Event{kind, detail, handle, std::string()});
}

void MachineState::Problem(const std::string& text)
{
    problems.push_back(text);
}

int MachineState::OpenHandles() const
{
    int count = 0;
    for (const Handle& handle : handles) {
        count += handle.open ? 1 : 0;
    }
    return count;
}

std::vector<std::string> MachineState::OpenHandleNames() const
{
    std::vector<std::string> names;
    for (const Handle& handle : handles) {
        if (handle.open) {
            names.push_back((handle.kind == Handle::Mapping ? "mapping of " : "file ") + handle.path);
        }
    }
    return names;
}

int MachineState::FindEvent(EventKind kind, const std::string& detail, int from) const
{
    for (size_t i = static_cast<size_t>(from < 0 ? 0 : from); i < events.size(); ++i) {
        if (events[i].kind == kind && (detail.empty() || events[i].detail == detail)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int MachineState::CountEvents(EventKind kind, const std::string& detail) const
{
    int count = 0;
    for (const Event& event : events) {
        if (event.kind == kind && (detail.empty() || event.detail == detail)) {
            ++count;
        }
    }
    return count;
}

}  // namespace fake
