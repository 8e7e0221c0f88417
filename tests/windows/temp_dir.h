// A fresh directory under the Windows temporary directory, removed with
// everything in it when the test ends.
#pragma once

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory's path, without a trailing backslash.
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// The whole content of a file as bytes, or false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* content);
bool WriteWholeFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
