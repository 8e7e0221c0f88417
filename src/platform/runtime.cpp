// The whole C runtime of the release launcher.
//
// SETUP.EXE links no C library: msvcrt.dll is missing from Windows 95 before
// OSR2, and MinGW's static startup code is built with CMOV, which a 486 or an
// original Pentium cannot execute. The compiler still emits calls to these
// four routines for block copies and compares, so they are provided here.
// Built with -fno-tree-loop-distribute-patterns so that GCC does not turn
// these very loops back into calls to themselves.
#include "platform/win32.h"

extern "C" {

void* memcpy(void* destination, const void* source, size_t count)
{
    unsigned char* to = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    while (count-- != 0) {
        *to++ = *from++;
    }
    return destination;
}

void* memmove(void* destination, const void* source, size_t count)
{
    unsigned char* to = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    if (to < from) {
        while (count-- != 0) {
            *to++ = *from++;
        }
    } else {
        while (count-- != 0) {
            to[count] = from[count];
        }
    }
    return destination;
}

void* memset(void* destination, int value, size_t count)
{
    unsigned char* to = static_cast<unsigned char*>(destination);
    while (count-- != 0) {
        *to++ = static_cast<unsigned char>(value);
    }
    return destination;
}

int memcmp(const void* left, const void* right, size_t count)
{
    const unsigned char* a = static_cast<const unsigned char*>(left);
    const unsigned char* b = static_cast<const unsigned char*>(right);
    for (; count != 0; --count, ++a, ++b) {
        if (*a != *b) {
            return *a < *b ? -1 : 1;
        }
    }
    return 0;
}

}  // extern "C"
