// Files, mappings and delayed file operations on the in-memory machine.
#include "double/machine.h"

#include <algorithm>
#include <cstring>

using fake::EventKind;
using fake::FileNode;
using fake::Handle;
using fake::Machine;
using fake::MachineState;

namespace {

bool IsDirectory(const MachineState::Resolved& where)
{
    return where.key.empty() || where.volume->directories.count(where.key) != 0;
}

bool ParentExists(const MachineState::Resolved& where)
{
    size_t slash = where.key.rfind('\\');
    std::string parent = slash == std::string::npos ? std::string() : where.key.substr(0, slash);
    return parent.empty() || where.volume->directories.count(parent) != 0;
}

// Whether a mapping or a view of the file is still there: Windows then
// refuses to change the file's length.
bool IsMapped(const MachineState& m, const std::shared_ptr<FileNode>& file)
{
    for (const Handle& handle : m.handles) {
        if (handle.open && handle.kind == Handle::Mapping && handle.file == file) {
            return true;
        }
    }
    for (const auto& view : m.views) {
        if (view.second.file == file) {
            return true;
        }
    }
    return false;
}

// What a disk of the machine holds. Beyond it a write or a longer file fails
// as on a full disk, and a mapping is refused as it would be in a 32-bit
// process's address space.
const uint64_t kDiskCapacity = 256u * 1024u * 1024u;

uintptr_t Value(HANDLE handle)
{
    return reinterpret_cast<uintptr_t>(handle);
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE templateFile)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("CreateFileA", fileName);
    m.createFileCalls.push_back(fake::CreateFileCall{fileName, desiredAccess, shareMode,
                                                     securityAttributes != nullptr,
                                                     creationDisposition, flagsAndAttributes,
                                                     templateFile != nullptr, false});
    MachineState::Resolved where = m.Resolve(fileName);
    if (fail || !where.valid || IsDirectory(where)) {
        return INVALID_HANDLE_VALUE;
    }
    auto found = where.volume->files.find(where.key);
    std::shared_ptr<FileNode> node = found == where.volume->files.end() ? nullptr : found->second;
    if (node && node->openFailures != 0) {
        if (node->openFailures > 0) {
            --node->openFailures;
        }
        return INVALID_HANDLE_VALUE;
    }
    switch (creationDisposition) {
    case OPEN_EXISTING:
        if (!node) {
            return INVALID_HANDLE_VALUE;
        }
        break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
        if (!node) {
            if (!ParentExists(where)) {
                return INVALID_HANDLE_VALUE;
            }
            node = where.volume->Add(where.key, std::string());
        } else if (creationDisposition == CREATE_ALWAYS) {
            node->data.clear();
        }
        break;
    default:
        m.Problem("CreateFileA with a disposition the machine does not know");
        return INVALID_HANDLE_VALUE;
    }
    Handle handle;
    handle.kind = Handle::File;
    handle.path = fileName;
    handle.file = node;
    handle.access = desiredAccess;
    HANDLE result = m.NewHandle(handle);
    m.createFileCalls.back().succeeded = true;
    m.Record(EventKind::OpenFile, fileName, Value(result));
    return result;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead,
                     LPOVERLAPPED overlapped)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("ReadFile", m.PathOf(file));
    if (bytesRead == nullptr || overlapped != nullptr) {
        m.Problem("ReadFile without a count, or overlapped");
        return FALSE;
    }
    *bytesRead = 0;
    Handle* handle = m.Lookup(file, Handle::File, "ReadFile");
    if (handle == nullptr) {
        return FALSE;
    }
    if ((handle->access & GENERIC_READ) == 0) {
        m.Problem("ReadFile without read access to " + handle->path);
        return FALSE;
    }
    m.Record(EventKind::Read, handle->path, Value(file));
    if (fail) {
        return FALSE;
    }
    FileNode& node = *handle->file;
    uint64_t size = node.data.size();
    uint64_t available = handle->position < size ? size - handle->position : 0;
    uint64_t count = std::min<uint64_t>(bytesToRead, available);
    if (node.readFailsAt >= 0 && node.readFailures != 0 && count > 0 &&
        handle->position <= static_cast<uint64_t>(node.readFailsAt) &&
        static_cast<uint64_t>(node.readFailsAt) < handle->position + count) {
        if (node.readFailures > 0) {
            --node.readFailures;
        }
        return FALSE;
    }
    if (count > 0) {
        std::memcpy(buffer, node.data.data() + handle->position, count);
    }
    handle->position += count;
    *bytesRead = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten,
                      LPOVERLAPPED overlapped)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("WriteFile", m.PathOf(file));
    if (bytesWritten == nullptr || overlapped != nullptr) {
        m.Problem("WriteFile without a count, or overlapped");
        return FALSE;
    }
    *bytesWritten = 0;
    Handle* handle = m.Lookup(file, Handle::File, "WriteFile");
    if (handle == nullptr) {
        return FALSE;
    }
    if ((handle->access & GENERIC_WRITE) == 0) {
        m.Problem("WriteFile without write access to " + handle->path);
        return FALSE;
    }
    m.Record(EventKind::Write, handle->path, Value(file));
    FileNode& node = *handle->file;
    uint64_t end = handle->position + bytesToWrite;
    if (fail || end > kDiskCapacity ||
        (node.writeFailsAt >= 0 && end > static_cast<uint64_t>(node.writeFailsAt))) {
        return FALSE;
    }
    uint64_t count = bytesToWrite;
    if (node.shortWriteAt >= 0 && end > static_cast<uint64_t>(node.shortWriteAt)) {
        uint64_t limit = static_cast<uint64_t>(node.shortWriteAt);
        count = limit > handle->position ? limit - handle->position : 0;
    }
    if (node.data.size() < handle->position + count) {
        node.data.resize(handle->position + count, '\0');
    }
    if (count > 0) {
        std::memcpy(&node.data[handle->position], buffer, count);
    }
    handle->position += count;
    *bytesWritten = static_cast<DWORD>(count);
    return TRUE;
}

// A failing CloseHandle still closes: the handle is gone either way, and the
// caller has nothing more it could do about it.
BOOL WINAPI CloseHandle(HANDLE object)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("CloseHandle", m.PathOf(object));
    Handle* handle = m.LookupAny(object, "CloseHandle");
    if (handle == nullptr) {
        return FALSE;
    }
    handle->open = false;
    m.Record(EventKind::CloseHandle, handle->path, Value(object));
    return fail ? FALSE : TRUE;
}

DWORD WINAPI GetFileSize(HANDLE file, DWORD* fileSizeHigh)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("GetFileSize", m.PathOf(file));
    Handle* handle = m.Lookup(file, Handle::File, "GetFileSize");
    if (handle == nullptr || fail) {
        return INVALID_FILE_SIZE;
    }
    uint64_t size = handle->file->data.size();
    DWORD low = static_cast<DWORD>(size);
    DWORD high = static_cast<DWORD>(size >> 32);
    if (m.fileSizeLow) {
        low = *m.fileSizeLow;
        high = m.fileSizeHigh;
    }
    if (fileSizeHigh != nullptr) {
        *fileSizeHigh = high;
    }
    return low;
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distanceToMove, LONG* distanceToMoveHigh,
                            DWORD moveMethod)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("SetFilePointer", m.PathOf(file));
    Handle* handle = m.Lookup(file, Handle::File, "SetFilePointer");
    if (handle == nullptr) {
        return INVALID_SET_FILE_POINTER;
    }
    if (moveMethod != FILE_BEGIN) {
        m.Problem("SetFilePointer from somewhere other than the beginning");
        return INVALID_SET_FILE_POINTER;
    }
    // Without a high part the distance is a signed 32-bit value; with one,
    // the two together are a signed 64-bit value.
    int64_t target = distanceToMove;
    if (distanceToMoveHigh != nullptr) {
        target = static_cast<int64_t>(*distanceToMoveHigh) * 4294967296LL +
                 static_cast<int64_t>(static_cast<DWORD>(distanceToMove));
    }
    if (fail || target < 0) {
        return INVALID_SET_FILE_POINTER;
    }
    handle->position = static_cast<uint64_t>(target);
    if (distanceToMoveHigh != nullptr) {
        *distanceToMoveHigh = static_cast<LONG>(target >> 32);
    }
    return static_cast<DWORD>(target);
}

BOOL WINAPI SetEndOfFile(HANDLE file)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("SetEndOfFile", m.PathOf(file));
    Handle* handle = m.Lookup(file, Handle::File, "SetEndOfFile");
    if (handle == nullptr) {
        return FALSE;
    }
    if ((handle->access & GENERIC_WRITE) == 0) {
        m.Problem("SetEndOfFile without write access to " + handle->path);
        return FALSE;
    }
    if (fail || IsMapped(m, handle->file) || handle->position > kDiskCapacity) {
        return FALSE;
    }
    handle->file->data.resize(handle->position, '\0');
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR fileName)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("GetFileAttributesA", fileName);
    m.Record(EventKind::FileStatus, fileName);
    MachineState::Resolved where = m.Resolve(fileName);
    if (fail || !where.valid) {
        return INVALID_FILE_ATTRIBUTES;
    }
    if (IsDirectory(where)) {
        return 0x10;  // FILE_ATTRIBUTE_DIRECTORY
    }
    if (where.volume->files.count(where.key) != 0) {
        return 0x20;  // FILE_ATTRIBUTE_ARCHIVE
    }
    return INVALID_FILE_ATTRIBUTES;
}

HANDLE WINAPI CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect,
                                 DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCSTR name)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("CreateFileMappingA", m.PathOf(file));
    Handle* handle = m.Lookup(file, Handle::File, "CreateFileMappingA");
    if (handle == nullptr) {
        return nullptr;
    }
    if (attributes != nullptr || name != nullptr || protect != PAGE_READWRITE) {
        m.Problem("CreateFileMappingA other than unnamed, read/write, default security");
    }
    if ((handle->access & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE)) {
        return nullptr;
    }
    uint64_t size = (static_cast<uint64_t>(maximumSizeHigh) << 32) | maximumSizeLow;
    if (size == 0) {
        size = handle->file->data.size();
    }
    // An empty file cannot be mapped whole.
    if (fail || size == 0 || size > kDiskCapacity) {
        return nullptr;
    }
    if (handle->file->data.size() < size) {
        handle->file->data.resize(size, '\0');
    }
    Handle mapping;
    mapping.kind = Handle::Mapping;
    mapping.path = handle->path;
    mapping.file = handle->file;
    mapping.mappingSize = size;
    return m.NewHandle(mapping);
}

LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh,
                            DWORD offsetLow, SIZE_T bytesToMap)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("MapViewOfFile");
    Handle* handle = m.Lookup(mapping, Handle::Mapping, "MapViewOfFile");
    if (handle == nullptr) {
        return nullptr;
    }
    if (desiredAccess != FILE_MAP_WRITE || offsetHigh != 0 || offsetLow != 0) {
        m.Problem("MapViewOfFile other than a writable view from the start");
    }
    uint64_t size = bytesToMap == 0 ? handle->mappingSize : bytesToMap;
    if (fail || size > handle->mappingSize) {
        return nullptr;
    }
    fake::View view;
    view.file = handle->file;
    view.bytes.assign(size, 0);
    std::memcpy(view.bytes.data(), handle->file->data.data(),
                std::min<uint64_t>(size, handle->file->data.size()));
    unsigned char* address = view.bytes.data();
    m.views[address] = std::move(view);
    return address;
}

// The view's bytes reach the file when it is unmapped. A failing unmap still
// unmaps: Windows writes mapped pages back lazily, and the caller could do
// nothing about it.
BOOL WINAPI UnmapViewOfFile(LPCVOID baseAddress)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("UnmapViewOfFile");
    auto found = m.views.find(baseAddress);
    if (found == m.views.end()) {
        m.Problem("UnmapViewOfFile of an address that is no view");
        return FALSE;
    }
    fake::View& view = found->second;
    std::string& data = view.file->data;
    size_t count = std::min(view.bytes.size(), data.size());
    std::memcpy(&data[0], view.bytes.data(), count);
    m.views.erase(found);
    return fail ? FALSE : TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags)
{
    MachineState& m = Machine();
    bool fail = m.ShouldFail("MoveFileExA", existingFileName);
    m.Record(EventKind::MoveFileEx, existingFileName);
    m.moveFileExCalls.push_back(std::string(existingFileName) + " -> " +
                                (newFileName != nullptr ? newFileName : "(none)"));
    if (flags != MOVEFILE_DELAY_UNTIL_REBOOT) {
        m.Problem("MoveFileExA with flags other than MOVEFILE_DELAY_UNTIL_REBOOT");
    }
    return fail ? FALSE : m.moveFileExResult;
}
