// The four commands. Each returns an exit code or throws Error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace partset {

struct SplitOptions {
    std::string installer;
    std::string name;
    std::string out;
    std::string disk = "1.44M";
    std::optional<uint64_t> part_size;
    std::optional<std::string> launcher;
    bool images = false;
    bool dry_run = false;
    bool force = false;
};

struct JoinOptions {
    std::vector<std::string> places;
    std::string out;
    bool force = false;
};

int RunSplit(const SplitOptions& options);
int RunInspect(const std::vector<std::string>& places);
int RunVerify(const std::vector<std::string>& places);
int RunJoin(const JoinOptions& options);

}  // namespace partset
