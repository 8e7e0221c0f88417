#include "replace.h"

#include <random>

#include "errors.h"

namespace partset {
namespace {

fs::path Clean(const fs::path& p) {
    fs::path out = p.lexically_normal();
    if (out.filename().empty() && out.has_parent_path()) out = out.parent_path();
    return out;
}

std::string RandomSuffix() {
    std::random_device device;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(device()));
    return buf;
}

fs::path Sibling(const fs::path& target, const std::string& tag) {
    const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
    return parent / ("." + PathToUtf8(target.filename()) + "." + tag + "-" + RandomSuffix());
}

}  // namespace

void CheckReplaceable(const fs::path& raw, bool force, bool directory) {
    const fs::path target = Clean(raw);
    const std::string shown = PathToUtf8(raw);
    std::error_code ec;
    const auto status = fs::symlink_status(target, ec);
    if (!fs::exists(status)) return;
    if (directory) {
        if (!fs::is_directory(status)) {
            throw Error(kExitOutput, shown + " exists and is not a directory");
        }
        if (!force && !fs::is_empty(target, ec)) {
            throw Error(kExitOutput, shown + " exists and is not empty; --force replaces it");
        }
    } else {
        if (fs::is_directory(status)) throw Error(kExitOutput, shown + " is a directory");
        if (!force) throw Error(kExitOutput, shown + " exists; --force replaces it");
    }
}

StagedOutput::StagedOutput(const fs::path& raw, bool directory) : target_(Clean(raw)), directory_(directory) {
    std::error_code ec;
    std::vector<fs::path> missing;
    for (fs::path p = target_.parent_path(); !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!fs::create_directory(*it, ec) && ec) {
            throw Error(kExitOutput, "cannot create " + PathToUtf8(*it) + ": " + ec.message());
        }
        created_parents_.push_back(*it);
    }
    temp_ = Sibling(target_, "partset");
    if (directory_ && !fs::create_directory(temp_, ec)) {
        throw Error(kExitOutput, "cannot create " + PathToUtf8(temp_) + ": " + ec.message());
    }
}

StagedOutput::~StagedOutput() {
    if (committed_) return;
    std::error_code ec;
    fs::remove_all(temp_, ec);
    for (auto it = created_parents_.rbegin(); it != created_parents_.rend(); ++it) fs::remove(*it, ec);
}

void StagedOutput::Commit(bool force) {
    std::error_code ec;
    const auto status = fs::symlink_status(target_, ec);
    if (!fs::exists(status)) {
        fs::rename(temp_, target_, ec);
    } else if (directory_) {
        // Move the old directory aside first, so that a failed rename leaves it.
        const fs::path old = Sibling(target_, "old");
        if (!force && !fs::is_empty(target_)) {
            throw Error(kExitOutput, PathToUtf8(target_) + " is no longer empty");
        }
        fs::rename(target_, old, ec);
        if (!ec) {
            fs::rename(temp_, target_, ec);
            if (ec) {
                std::error_code ignored;
                fs::rename(old, target_, ignored);
            } else {
                fs::remove_all(old, ec);
                ec.clear();
            }
        }
    } else {
        fs::rename(temp_, target_, ec);
    }
    if (ec) throw Error(kExitOutput, "cannot move the output into place at " + PathToUtf8(target_) + ": " + ec.message());
    committed_ = true;
}

}  // namespace partset
