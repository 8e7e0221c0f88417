#include "cp1252.h"

#include <cstdint>
#include <cstdio>

namespace partset {
namespace {

// Code points of the bytes 0x80..0x9F; 0 where Windows-1252 has no character.
const char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int EncodeCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == cp) return 0x80 + i;
    }
    return -1;
}

void AppendUtf8(std::string* out, char32_t cp) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string CodePointName(char32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
    return buf;
}

}  // namespace

bool Utf8ToCp1252(const std::string& utf8, std::string* out, std::string* error) {
    out->clear();
    size_t i = 0;
    int position = 0;  // 1-based character position, for messages
    while (i < utf8.size()) {
        ++position;
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int extra;
        char32_t cp;
        if (lead < 0x80) {
            extra = 0;
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            cp = lead & 0x07;
        } else {
            *error = "is not valid UTF-8 (byte " + std::to_string(i + 1) + ")";
            return false;
        }
        if (extra > 0 && i + extra >= utf8.size()) {
            *error = "is not valid UTF-8 (byte " + std::to_string(i + 1) + ")";
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            const unsigned char c = static_cast<unsigned char>(utf8[i + k]);
            if ((c & 0xC0) != 0x80) {
                *error = "is not valid UTF-8 (byte " + std::to_string(i + k + 1) + ")";
                return false;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        const std::string original = utf8.substr(i, extra + 1);
        i += extra + 1;
        // Overlong forms and surrogates are not UTF-8.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            *error = "is not valid UTF-8 (byte " + std::to_string(i - extra) + ")";
            return false;
        }
        if (cp < 0x20 || cp == 0x7F) {
            *error = "contains the control character " + CodePointName(cp) + " at position " +
                     std::to_string(position);
            return false;
        }
        const int byte = EncodeCp1252(cp);
        if (byte < 0) {
            *error = "contains \"" + original + "\" (" + CodePointName(cp) + ") at position " +
                     std::to_string(position) + ", which has no Windows-1252 form";
            return false;
        }
        out->push_back(static_cast<char>(byte));
    }
    return true;
}

std::string Cp1252ToUtf8(const std::string& cp1252) {
    std::string out;
    for (unsigned char c : cp1252) {
        char32_t cp = c;
        if (c >= 0x80 && c <= 0x9F) cp = kHighControls[c - 0x80] ? kHighControls[c - 0x80] : 0xFFFD;
        AppendUtf8(&out, cp);
    }
    return out;
}

}  // namespace partset
