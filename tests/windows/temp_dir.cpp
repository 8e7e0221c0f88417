#include "temp_dir.h"

#include <windows.h>

#include <stdexcept>

TempDir::TempDir()
{
    char base[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, base);
    if (length == 0 || length >= MAX_PATH) {
        throw std::runtime_error("no temporary directory");
    }
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        std::string candidate = std::string(base) + "lt" +
                                std::to_string(GetCurrentProcessId()) + "_" +
                                std::to_string(attempt);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir()
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryA(file(name).c_str());
            } else {
                DeleteFileA(file(name).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

bool ReadWholeFile(const std::string& path, std::string* content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    content->clear();
    char buffer[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof(buffer), &got, nullptr) != 0) && got != 0) {
        content->append(buffer, got);
    }
    CloseHandle(file);
    return ok;
}

bool WriteWholeFile(const std::string& path, const std::string& content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                        nullptr) &&
              written == content.size();
    return CloseHandle(file) && ok;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
