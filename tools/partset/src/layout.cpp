#include "layout.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "errors.h"
#include "header.h"

namespace partset {
namespace {

// The standard FAT12 floppy layouts (the boot sector values DOS writes):
// data clusters = (sectors - reserved - FATs * sectors per FAT
//                  - root entries * 32 / 512) / sectors per cluster.
struct FloppyLayout {
    const char* name;
    const char* mformat_size;
    uint64_t sectors;
    uint64_t reserved;
    uint64_t fats;
    uint64_t sectors_per_fat;
    uint64_t root_entries;
    uint64_t sectors_per_cluster;
};

const FloppyLayout kFloppies[] = {
    {"1.44M", "1440", 2880, 1, 2, 9, 224, 1},  // 2847 clusters of 512 = 1,457,664
    {"1.2M", "1200", 2400, 1, 2, 7, 224, 1},   // 2371 clusters of 512 = 1,213,952
    {"720K", "720", 1440, 1, 2, 3, 112, 2},    // 713 clusters of 1024 = 730,112
    {"2.88M", "2880", 5760, 1, 2, 9, 240, 2},  // 2863 clusters of 1024 = 2,931,712
};

Media FromLayout(const FloppyLayout& f) {
    Media m;
    m.kind = Media::kFloppy;
    m.label = f.name;
    m.mformat_size = f.mformat_size;
    m.cluster_size = 512 * f.sectors_per_cluster;
    const uint64_t root_sectors = f.root_entries * 32 / 512;
    m.clusters = (f.sectors - f.reserved - f.fats * f.sectors_per_fat - root_sectors) /
                 f.sectors_per_cluster;
    return m;
}

bool AllDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::vector<Media> FloppyPresets() {
    std::vector<Media> out;
    for (const auto& f : kFloppies) out.push_back(FromLayout(f));
    return out;
}

std::optional<Media> ParseMedia(const std::string& text, std::string* error) {
    const std::string lower = Lower(text);
    for (const auto& f : kFloppies) {
        if (lower == Lower(f.name)) return FromLayout(f);
    }
    if (lower == "cd") {
        Media m;
        m.kind = Media::kDirectory;
        m.label = "cd";
        return m;
    }
    if (AllDigits(text) && text.size() <= 18) {
        const uint64_t bytes = std::stoull(text);
        Media m;
        m.kind = Media::kCustom;
        m.label = FormatBytes(bytes) + " bytes";
        m.cluster_size = 512;
        m.clusters = bytes / 512;
        // A later disk must carry its header and at least one cluster of payload.
        if (m.clusters * m.cluster_size < kHeaderSize + m.cluster_size) {
            *error = "--disk " + text + ": a disk needs at least " + FormatBytes(kHeaderSize + 512) +
                     " bytes (a 1024-byte header and one 512-byte cluster of payload)";
            return std::nullopt;
        }
        return m;
    }
    *error = "--disk " + text + ": expected 1.44M, 1.2M, 720K, 2.88M, cd or a number of bytes";
    return std::nullopt;
}

Plan MakePlan(const Media& media, uint64_t installer_length, uint64_t launcher_length,
              std::optional<uint64_t> part_size) {
    Plan plan;
    plan.media = media;
    plan.installer_length = installer_length;
    plan.launcher_length = launcher_length;
    plan.part_size = part_size;

    uint64_t first_file = UINT64_MAX;
    uint64_t later_file = UINT64_MAX;
    if (media.kind != Media::kDirectory) {
        const uint64_t launcher_clusters = media.ClustersFor(launcher_length);
        if (launcher_clusters + media.ClustersFor(kHeaderSize) > media.clusters) {
            throw Error(kExitDoesNotFit,
                        "the launcher (" + FormatBytes(launcher_length) + " bytes) leaves no room for FILE.1 on a " +
                            media.label + " disk (" + FormatBytes(media.Capacity()) + " usable bytes)");
        }
        first_file = (media.clusters - launcher_clusters) * media.cluster_size;
        later_file = media.Capacity();
    }
    if (part_size) {
        first_file = std::min(first_file, *part_size);
        later_file = std::min(later_file, *part_size);
    }
    plan.first_payload = first_file == UINT64_MAX ? UINT64_MAX : first_file - kHeaderSize;
    plan.middle_payload = later_file == UINT64_MAX ? UINT64_MAX : later_file - kHeaderSize;

    const uint64_t first = std::min(plan.first_payload, installer_length);
    uint64_t rest = installer_length - first;
    const uint64_t later_parts = rest == 0 ? 0 : (rest + plan.middle_payload - 1) / plan.middle_payload;
    if (later_parts >= static_cast<uint64_t>(INT32_MAX)) {
        throw Error(kExitDoesNotFit, "the installer would need " + FormatBytes(later_parts + 1) +
                                         " parts; the launcher counts at most " + FormatBytes(INT32_MAX));
    }
    plan.parts.push_back({1, first});
    for (uint32_t n = 2; rest > 0; ++n) {
        const uint64_t payload = std::min(rest, plan.middle_payload);
        plan.parts.push_back({n, payload});
        rest -= payload;
    }
    return plan;
}

uint64_t DiskUsed(const Plan& plan, uint32_t disk) {
    const uint64_t part_file = kHeaderSize + plan.parts.at(disk - 1).payload;
    if (plan.media.kind == Media::kDirectory) return part_file;
    uint64_t clusters = plan.media.ClustersFor(part_file);
    if (disk == 1) clusters += plan.media.ClustersFor(plan.launcher_length);
    return clusters * plan.media.cluster_size;
}

std::string FormatBytes(uint64_t bytes) {
    std::string digits = std::to_string(bytes);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

namespace {
std::string PadLeft(const std::string& s, size_t width) {
    return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}
std::string PadRight(const std::string& s, size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}
}  // namespace

std::string DescribePlan(const Plan& plan, const std::string& name_utf8) {
    const bool directory = plan.media.kind == Media::kDirectory;
    const size_t n = plan.parts.size();
    std::string out = "\"" + name_utf8 + "\": " + FormatBytes(plan.installer_length) + " installer bytes in " +
                      std::to_string(n) + (n == 1 ? " part" : " parts");
    if (directory) {
        out += " in one directory";
    } else {
        out += " on " + std::to_string(n) + (n == 1 ? " disk" : " disks") + " of " + plan.media.label + " (" +
               FormatBytes(plan.media.Capacity()) + " usable bytes: " + FormatBytes(plan.media.clusters) +
               " clusters of " + FormatBytes(plan.media.cluster_size) + ")";
    }
    out += "\nlauncher: " + FormatBytes(plan.launcher_length) + " bytes\n";

    std::string table;
    table += PadRight(directory ? "part" : "disk", 6) + PadRight("files", 20) + PadLeft("payload", 15) +
             PadLeft("bytes on disk", 15) + PadLeft("bytes free", 15) + "\n";
    for (const auto& part : plan.parts) {
        std::string files = "FILE." + std::to_string(part.number);
        if (part.number == 1) files = "SETUP.EXE, " + files;
        const uint64_t used = DiskUsed(plan, part.number);
        std::string free = "-";
        if (!directory) free = FormatBytes(plan.media.Capacity() - used);
        table += PadRight(std::to_string(part.number), 6) + PadRight(files, 20) +
                 PadLeft(FormatBytes(part.payload), 15) +
                 PadLeft(FormatBytes(used + (directory && part.number == 1 ? plan.launcher_length : 0)), 15) +
                 PadLeft(free, 15) + "\n";
    }
    return out + table;
}

}  // namespace partset
