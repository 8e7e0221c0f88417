// Output appears whole or not at all: it is made under a temporary name next
// to its final place and renamed into place when complete.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

namespace partset {

// Throws Error(kExitOutput) when `target` exists and may not be replaced: a
// non-empty directory (or any file) without --force, or the wrong kind.
void CheckReplaceable(const fs::path& target, bool force, bool directory);

class StagedOutput {
public:
    // Creates missing parent directories and, for a directory, the empty
    // temporary directory.
    StagedOutput(const fs::path& target, bool directory);
    // Removes the temporary output and any parents it created, unless committed.
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    const fs::path& path() const { return temp_; }
    // Moves the output into place, replacing what is there (the caller has
    // checked that it may).
    void Commit(bool force);

private:
    fs::path target_;
    fs::path temp_;
    bool directory_;
    bool committed_ = false;
    std::vector<fs::path> created_parents_;
};

}  // namespace partset
