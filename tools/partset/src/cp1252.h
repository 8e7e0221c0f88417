// The launcher shows the set's name in the system's ANSI code page; sets are
// made for Western European systems, so names are stored as Windows-1252.
#pragma once

#include <string>

namespace partset {

// Converts UTF-8 text to Windows-1252. On failure returns false and puts a
// message naming the offending character and its position into *error.
bool Utf8ToCp1252(const std::string& utf8, std::string* out, std::string* error);

// Windows-1252 to UTF-8, for display. The five bytes without a Windows-1252
// character are shown as U+FFFD.
std::string Cp1252ToUtf8(const std::string& cp1252);

}  // namespace partset
