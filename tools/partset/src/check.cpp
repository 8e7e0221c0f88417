#include "check.h"

#include <zlib.h>

#include <cstdio>
#include <map>
#include <set>

#include "cp1252.h"
#include "crc.h"
#include "layout.h"

namespace partset {
namespace {

std::string Hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

std::string PartName(uint32_t n) { return "FILE." + std::to_string(n); }

std::string ForeignReason(const Header& reference, const Header& other) {
    const std::string name = HeaderName(reference), other_name = HeaderName(other);
    if (name != other_name) {
        return "its name is \"" + Cp1252ToUtf8(other_name) + "\", not \"" + Cp1252ToUtf8(name) + "\"";
    }
    Manifest a, b;
    if (ReadManifest(reference, &a) == ManifestState::kPresent &&
        ReadManifest(other, &b) == ManifestState::kPresent && a.set_id != b.set_id) {
        return "set id " + SetIdHex(b.set_id) + ", not " + SetIdHex(a.set_id) +
               " (another build of the same product)";
    }
    return "its set data differs from part 1's";
}

}  // namespace

std::string Describe(const ExaminedPart& part) {
    return "part " + std::to_string(part.file.number) + " (" + part.file.where + ")";
}

SetCheck CheckStructure(const std::vector<ExaminedPart>& parts) {
    SetCheck check;
    auto& problems = check.problems;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].file.number == 1) {
            check.reference = i;
            break;
        }
    }
    if (!check.reference) {
        problems.push_back("missing part: no FILE.1 (disk 1) was found");
        check.waiting_for = 1;
        return check;
    }
    const ExaminedPart& first = parts[*check.reference];
    if (first.short_part) {
        problems.push_back("short part: " + Describe(first) + " is " + std::to_string(first.size) +
                           " bytes, less than its 1024-byte header");
        check.waiting_for = 1;
        return check;
    }
    check.manifest_state = ReadManifest(first.header, &check.manifest);
    if (check.manifest_state == ManifestState::kDamaged) {
        problems.push_back("damaged manifest: " + Describe(first) +
                           " carries this tool's manifest but its checksum or fields are wrong; structure checked only");
    }
    const bool manifest = check.manifest_state == ManifestState::kPresent;
    const uint32_t count = manifest ? check.manifest.part_count : 0;

    // The first part of each number that belongs to the set.
    auto& members = check.members;
    for (size_t i = 0; i < parts.size(); ++i) {
        const ExaminedPart& p = parts[i];
        if (i == *check.reference) {
            members[1] = i;
        } else if (p.short_part) {
            problems.push_back("short part: " + Describe(p) + " is " + std::to_string(p.size) +
                               " bytes, less than its 1024-byte header");
        } else if (!SameSet(first.header, p.header)) {
            problems.push_back("foreign part: " + Describe(p) + " belongs to another set: " +
                               ForeignReason(first.header, p.header));
        } else if (!members.count(p.file.number)) {
            members[p.file.number] = i;
        }
    }

    // What the launcher would copy.
    for (uint32_t n = 1;; ++n) {
        auto it = members.find(n);
        if (it == members.end()) {
            check.waiting_for = n;
            break;
        }
        check.chain.push_back(it->second);
        if (HeaderIsLast(parts[it->second].header)) {
            check.complete = true;
            break;
        }
    }

    // Numbering and last-part flags. A number whose only candidates were
    // foreign or short has had its line already.
    std::set<uint32_t> reported;
    for (const ExaminedPart& p : parts) {
        if (!members.count(p.file.number)) reported.insert(p.file.number);
    }
    auto span = [](uint32_t from, uint32_t to, const char* one, const char* many) {
        return from == to ? PartName(from) + " (disk " + std::to_string(from) + ") " + one
                          : PartName(from) + " to " + PartName(to) + " (disks " + std::to_string(from) + " to " +
                                std::to_string(to) + ") " + many;
    };
    uint32_t n = 1;
    while (true) {
        auto it = members.find(n);
        if (it != members.end()) {
            const ExaminedPart& p = parts[it->second];
            const bool last = HeaderIsLast(p.header);
            if (manifest) {
                if (last && n < count) {
                    problems.push_back("last-part flag in the wrong place: " + Describe(p) +
                                       " is marked last, but the set has " + std::to_string(count) + " parts");
                } else if (!last && n == count) {
                    problems.push_back("last-part flag in the wrong place: " + Describe(p) + " is the last of " +
                                       std::to_string(count) + " parts but is not marked last");
                }
                if (n >= count) break;
            } else if (last) {
                auto next = members.upper_bound(n);
                if (next != members.end()) {
                    problems.push_back("last-part flag in the wrong place: " + Describe(p) +
                                       " is marked last, but " + parts[next->second].file.where + " (" +
                                       PartName(next->first) + ") follows");
                }
                break;
            }
            ++n;
            continue;
        }
        auto next = members.upper_bound(n);
        const bool next_in_set = next != members.end() && (!manifest || next->first <= count);
        if (reported.count(n)) {
            if (!next_in_set && !(manifest && n < count)) break;
            ++n;
            continue;
        }
        if (next_in_set) {
            uint32_t to = n;
            while (to + 1 < next->first && !reported.count(to + 1)) ++to;
            problems.push_back("gap in the numbers: " + span(n, to, "is", "are") + " missing between " +
                               PartName(n - 1) + " and " + PartName(to + 1));
            n = to + 1;
            continue;
        }
        if (manifest) {
            uint32_t to = n;
            while (to < count && !reported.count(to + 1)) ++to;
            problems.push_back("missing part: " + span(n, to, "was", "were") + " not found; the set has " +
                               std::to_string(count) + " parts");
            if (to >= count) break;
            n = to + 1;
            continue;
        }
        problems.push_back("missing part: " + PartName(n) + " (disk " + std::to_string(n) +
                           ") was not found, and " + PartName(n - 1) + " is not marked last");
        break;
    }

    if (manifest) {
        for (const auto& [number, index] : members) {
            const ExaminedPart& p = parts[index];
            if (number > count) {
                problems.push_back("extra part: " + Describe(p) + " lies beyond the set's " + std::to_string(count) +
                                   " parts");
                continue;
            }
            const uint64_t payload = p.size - kHeaderSize;
            const uint64_t expected = check.manifest.ExpectedPayload(number);
            if (payload != expected) {
                problems.push_back(std::string(payload < expected ? "short part: " : "long part: ") + Describe(p) +
                                   " holds " + FormatBytes(payload) + " payload bytes, " + FormatBytes(expected) +
                                   " expected");
            }
        }
    }
    return check;
}

void CheckPayloads(const std::vector<ExaminedPart>& parts, SetCheck* check) {
    if (check->manifest_state != ManifestState::kPresent) return;
    const Manifest& m = check->manifest;
    bool part_mismatch = false;
    for (const auto& [number, index] : check->members) {
        const ExaminedPart& p = parts[index];
        if (number > m.part_crcs.size() || !p.payload_crc) continue;
        // A part of the wrong length has had its line already.
        if (p.size - kHeaderSize != m.ExpectedPayload(number)) continue;
        const uint32_t expected = m.part_crcs[number - 1];
        if (*p.payload_crc != expected) {
            part_mismatch = true;
            check->problems.push_back("checksum differs: " + Describe(p) + ": payload CRC-32 " +
                                      Hex32(*p.payload_crc) + ", " + Hex32(expected) + " expected");
        }
    }
    if (part_mismatch || !check->complete || check->chain.size() != m.part_count) return;
    uint32_t crc = 0;
    uint64_t length = 0;
    for (size_t index : check->chain) {
        if (!parts[index].payload_crc) return;
        const uint64_t payload = parts[index].size - kHeaderSize;
        crc = Crc32Combine(crc, *parts[index].payload_crc, payload);
        length += payload;
    }
    if (length == m.installer_length && crc != m.installer_crc) {
        std::string where = "the installer";
        if (m.part_crcs.size() < m.part_count) {
            where += " (" + PartName(static_cast<uint32_t>(m.part_crcs.size() + 1)) + " to " +
                     PartName(m.part_count) + " carry no checksum of their own; one of them is damaged)";
        }
        check->problems.push_back("checksum differs: " + where + ": CRC-32 " + Hex32(crc) + ", " +
                                  Hex32(m.installer_crc) + " expected");
    }
}

}  // namespace partset
