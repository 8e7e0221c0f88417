#include <cstdio>

#include "check.h"
#include "commands.h"
#include "cp1252.h"
#include "crc.h"
#include "errors.h"
#include "layout.h"
#include "parts.h"
#include "replace.h"

namespace partset {
namespace {

std::vector<ExaminedPart> ExamineAll(const std::vector<PartFile>& files, bool whole) {
    std::vector<unsigned char> buffer(kCopyBufferSize);
    std::vector<ExaminedPart> out;
    for (const auto& f : files) out.push_back(ExaminePart(f, whole, buffer));
    return out;
}

// Widths count characters, not bytes, so names with accents line up.
size_t CharCount(const std::string& s) {
    size_t chars = 0;
    for (unsigned char c : s) chars += (c & 0xC0) != 0x80;
    return chars;
}

std::string Pad(const std::string& s, size_t width, bool right) {
    const size_t chars = CharCount(s);
    if (chars >= width) return s;
    const std::string fill(width - chars, ' ');
    return right ? fill + s : s + fill;
}

std::string Summary(const std::vector<ExaminedPart>& parts, const SetCheck& check) {
    const ExaminedPart& first = parts[*check.reference];
    uint64_t bytes = 0;
    for (size_t i : check.chain) bytes += parts[i].size - kHeaderSize;
    std::string out = "\"" + Cp1252ToUtf8(HeaderName(first.header)) + "\": " + std::to_string(check.chain.size()) +
                      (check.chain.size() == 1 ? " part, " : " parts, ") + FormatBytes(bytes) + " installer bytes";
    if (check.manifest_state == ManifestState::kPresent) out += ", set id " + SetIdHex(check.manifest.set_id);
    return out;
}

}  // namespace

int RunInspect(const std::vector<std::string>& places) {
    const auto parts = ExamineAll(FindParts(places), false);
    const std::vector<std::string> titles = {"PART", "WHERE", "PAYLOAD", "LAST", "MANIFEST", "SET ID", "NAME"};
    std::vector<std::vector<std::string>> rows;
    for (const auto& p : parts) {
        Manifest m;
        const ManifestState state = p.short_part ? ManifestState::kAbsent : ReadManifest(p.header, &m);
        std::vector<std::string> row;
        row.push_back(std::to_string(p.file.number));
        row.push_back(p.file.where);
        if (p.short_part) {
            row.push_back("short:" + std::to_string(p.size));
            row.push_back("-");
            row.push_back("-");
            row.push_back("-");
            row.push_back("-");
        } else {
            row.push_back(FormatBytes(p.size - kHeaderSize));
            row.push_back(HeaderIsLast(p.header) ? "yes" : "no");
            row.push_back(state == ManifestState::kPresent ? "yes" : state == ManifestState::kDamaged ? "damaged" : "no");
            row.push_back(state == ManifestState::kPresent ? SetIdHex(m.set_id) : "-");
            row.push_back(Cp1252ToUtf8(HeaderName(p.header)));
        }
        rows.push_back(row);
    }
    std::vector<size_t> widths(titles.size());
    for (size_t c = 0; c < titles.size(); ++c) {
        widths[c] = titles[c].size();
        for (const auto& row : rows) widths[c] = std::max(widths[c], CharCount(row[c]));
    }
    auto print = [&](const std::vector<std::string>& row) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            const bool right = c == 0 || c == 2;
            line += c + 1 == row.size() ? row[c] : Pad(row[c], widths[c], right) + "  ";
        }
        std::printf("%s\n", line.c_str());
    };
    print(titles);
    for (const auto& row : rows) print(row);
    return kExitOk;
}

int RunVerify(const std::vector<std::string>& places) {
    const auto parts = ExamineAll(FindParts(places), true);
    SetCheck check = CheckStructure(parts);
    CheckPayloads(parts, &check);
    const bool manifest = check.manifest_state == ManifestState::kPresent;
    for (const auto& problem : check.problems) std::printf("%s\n", problem.c_str());
    if (check.reference && !parts[*check.reference].short_part && check.manifest_state == ManifestState::kAbsent) {
        std::printf("no partset manifest: the set's structure was checked, not its contents\n");
    }
    if (!check.problems.empty()) {
        std::printf("%zu problem%s found\n", check.problems.size(), check.problems.size() == 1 ? "" : "s");
        return kExitProblems;
    }
    std::printf("OK: %s%s\n", Summary(parts, check).c_str(), manifest ? ", checksums match" : "");
    return kExitOk;
}

int RunJoin(const JoinOptions& options) {
    const fs::path out = PathFromUtf8(options.out);
    CheckReplaceable(out, options.force, /*directory=*/false);
    auto parts = ExamineAll(FindParts(options.places), false);
    SetCheck check = CheckStructure(parts);
    auto report = [&](const char* verdict) {
        for (const auto& problem : check.problems) std::fprintf(stderr, "partset: %s\n", problem.c_str());
        std::fprintf(stderr, "partset: %s\n", verdict);
    };
    if (!check.problems.empty() && !options.force) {
        report("the set does not verify; nothing written (--force joins what the launcher would)");
        return kExitProblems;
    }
    if (!check.complete) {
        report(("cannot rebuild the installer: FILE." + std::to_string(check.waiting_for) + " (disk " +
                std::to_string(check.waiting_for) + ") of this set is not in the places given; nothing written")
                   .c_str());
        return kExitProblems;
    }
    const size_t known_problems = check.problems.size();

    uint64_t total = 0;
    for (size_t i : check.chain) total += parts[i].size - kHeaderSize;
    StagedOutput staged(out, /*directory=*/false);
    {
        OutputFile file(staged.path());
        std::vector<unsigned char> buffer(kCopyBufferSize);
        Progress progress("join", total);
        for (size_t i : check.chain) {
            ExaminedPart& part = parts[i];
            auto source = OpenPart(part.file);
            Header header;
            source->ReadFull(header.data(), header.size());
            const CopyResult copy = CopyChecksummed(*source, file, UINT64_MAX, buffer, progress);
            const uint64_t copied = copy.bytes;
            const uint32_t crc = copy.crc;
            source->Close();
            if (copied != part.size - kHeaderSize) {
                throw Error(kExitInput, part.file.where + " changed while it was read");
            }
            part.payload_crc = crc;
        }
        file.Close();
    }
    CheckPayloads(parts, &check);
    if (check.problems.size() > known_problems) {
        if (!options.force) {
            check.problems.erase(check.problems.begin(), check.problems.begin() + known_problems);
            report("the set does not verify; nothing written (--force joins what the launcher would)");
            return kExitProblems;
        }
    }
    if (!check.problems.empty()) report("joined anyway (--force)");
    staged.Commit(options.force);
    std::printf("%s: %s\n", options.out.c_str(), Summary(parts, check).c_str());
    return kExitOk;
}

}  // namespace partset
