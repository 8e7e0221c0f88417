// Small text and byte routines the launcher needs, written here once so the
// release build carries no C runtime.
#include "platform/win32.h"

char* FindLastChar(char* text, char c)
{
    char* last = 0;
    for (; *text != '\0'; ++text) {
        if (*text == c) {
            last = text;
        }
    }
    return last;
}

int FormatDecimal(char* out, int value)
{
    // Unsigned arithmetic so that the most negative value has a magnitude too.
    unsigned int magnitude = value < 0 ? 0u - static_cast<unsigned int>(value)
                                       : static_cast<unsigned int>(value);
    char reversed[10];
    int digits = 0;
    do {
        reversed[digits++] = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0u);

    int length = 0;
    if (value < 0) {
        out[length++] = '-';
    }
    while (digits > 0) {
        out[length++] = reversed[--digits];
    }
    out[length] = '\0';
    return length;
}

int TextLength(const char* text)
{
    int length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    return length;
}

const unsigned char* FindBytes(const unsigned char* haystack, size_t haystackLength,
                               const unsigned char* needle, size_t needleLength)
{
    if (needleLength > haystackLength) {
        return 0;
    }
    for (size_t start = 0; start + needleLength <= haystackLength; ++start) {
        size_t matched = 0;
        while (matched < needleLength && haystack[start + matched] == needle[matched]) {
            ++matched;
        }
        if (matched == needleLength) {
            return haystack + start;
        }
    }
    return 0;
}
