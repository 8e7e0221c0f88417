#include "parts.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <climits>

#include "errors.h"

namespace partset {

std::optional<uint32_t> PartNumberFromName(const std::string& name) {
    if (name.size() < 6 || name.size() > 15) return std::nullopt;
    std::string prefix = name.substr(0, 5);
    for (char& c : prefix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (prefix != "FILE.") return std::nullopt;
    const std::string digits = name.substr(5);
    if (digits[0] == '0') return std::nullopt;
    uint64_t n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n > INT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(n);
}

namespace {

// Orders disk2 before disk10.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) ++je;
            std::string da = a.substr(i, ie - i), db = b.substr(j, je - j);
            da.erase(0, std::min(da.find_first_not_of('0'), da.size()));
            db.erase(0, std::min(db.find_first_not_of('0'), db.size()));
            if (da.size() != db.size()) return da.size() < db.size();
            if (da != db) return da < db;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<PartFile> PartsInDirectory(const fs::path& dir, const std::string& shown) {
    std::vector<PartFile> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = PathToUtf8(it->path().filename());
        const auto number = PartNumberFromName(name);
        if (!number || !it->is_regular_file()) continue;
        const std::string where = shown.empty() ? name : shown + "/" + name;
        out.push_back({*number, where, it->path(), ""});
    }
    if (ec) throw Error(kExitInput, "cannot read the directory " + shown + ": " + ec.message());
    std::sort(out.begin(), out.end(), [](const PartFile& a, const PartFile& b) { return a.number < b.number; });
    return out;
}

std::vector<PartFile> PartsInImage(const fs::path& image, const std::string& shown) {
    auto listing = OpenProgramOutput({"mdir", "-b", "-i", PathToUtf8(image), "::/"}, "the image " + shown);
    std::string text;
    std::vector<char> buffer(4096);
    for (size_t got; (got = listing->Read(buffer.data(), buffer.size())) > 0;) text.append(buffer.data(), got);
    try {
        listing->Close();
    } catch (const Error&) {
        throw Error(kExitInput, shown + " is neither a part file (FILE.1, FILE.2, ...) nor a readable FAT image");
    }
    std::vector<PartFile> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.rfind("::/", 0) != 0) continue;
        const std::string name = line.substr(3);
        if (const auto number = PartNumberFromName(name)) {
            out.push_back({*number, shown + "::" + name, image, name});
        }
    }
    std::sort(out.begin(), out.end(), [](const PartFile& a, const PartFile& b) { return a.number < b.number; });
    return out;
}

}  // namespace

std::vector<PartFile> FindParts(const std::vector<std::string>& places) {
    std::vector<PartFile> out;
    for (const auto& place : places) {
        const fs::path path = PathFromUtf8(place);
        std::error_code ec;
        const auto status = fs::status(path, ec);
        std::vector<PartFile> found;
        if (fs::is_directory(status)) {
            found = PartsInDirectory(path, place);
            if (found.empty()) {
                std::vector<std::pair<std::string, fs::path>> subdirs;
                for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
                    if (it->is_directory()) subdirs.push_back({PathToUtf8(it->path().filename()), it->path()});
                }
                std::sort(subdirs.begin(), subdirs.end(),
                          [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
                for (const auto& sub : subdirs) {
                    auto more = PartsInDirectory(sub.second, place + "/" + sub.first);
                    found.insert(found.end(), more.begin(), more.end());
                }
            }
        } else if (fs::is_regular_file(status)) {
            const std::string name = PathToUtf8(path.filename());
            if (const auto number = PartNumberFromName(name)) {
                found.push_back({*number, place, path, ""});
            } else {
                found = PartsInImage(path, place);
            }
        } else {
            throw Error(kExitInput, place + ": no such file or directory");
        }
        if (found.empty()) throw Error(kExitInput, place + " holds no part files (FILE.1, FILE.2, ...)");
        out.insert(out.end(), found.begin(), found.end());
    }
    return out;
}

std::unique_ptr<ByteSource> OpenPart(const PartFile& part) {
    if (part.image_entry.empty()) return OpenFileSource(part.file);
    return OpenProgramOutput({"mcopy", "-n", "-i", PathToUtf8(part.file), "::/" + part.image_entry, "-"}, part.where);
}

ExaminedPart ExaminePart(const PartFile& part, bool whole, std::vector<unsigned char>& buffer) {
    ExaminedPart out;
    out.file = part;
    auto source = OpenPart(part);
    const size_t got = source->ReadFull(out.header.data(), kHeaderSize);
    out.size = got;
    out.short_part = got < kHeaderSize;
    if (!out.short_part && (whole || !part.image_entry.empty())) {
        uLong crc = crc32(0L, Z_NULL, 0);
        for (size_t n; (n = source->Read(buffer.data(), buffer.size())) > 0;) {
            crc = crc32(crc, buffer.data(), static_cast<uInt>(n));
            out.size += n;
            ThrowIfInterrupted();
        }
        out.payload_crc = static_cast<uint32_t>(crc);
    } else if (!out.short_part) {
        std::error_code ec;
        out.size = fs::file_size(part.file, ec);
        if (ec) throw Error(kExitInput, "cannot read " + part.where + ": " + ec.message());
    }
    source->Close();
    return out;
}

}  // namespace partset
