// wsprintfA as USER32 has it: %s and %hs (ANSI text), %d, %i, %u and %%, and
// never more than 1024 bytes written, the NUL included.
#include "double/machine.h"

#include <cstdarg>
#include <cstring>

int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...)
{
    fake::MachineState& m = fake::Machine();
    m.callCounts["wsprintfA"]++;
    const size_t kLimit = 1024;
    std::string out;
    va_list arguments;
    va_start(arguments, format);
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == '%') {
            out += '%';
        } else if (*p == 's' || (p[0] == 'h' && p[1] == 's')) {
            if (*p == 'h') {
                ++p;
            }
            const char* text = va_arg(arguments, const char*);
            out += text != nullptr ? text : "(null)";
        } else if (*p == 'd' || *p == 'i') {
            out += std::to_string(va_arg(arguments, int));
        } else if (*p == 'u') {
            out += std::to_string(va_arg(arguments, unsigned int));
        } else {
            m.Problem(std::string("wsprintfA with a directive the machine does not know: ") +
                      format);
            break;
        }
        if (*p == '\0') {
            break;
        }
    }
    va_end(arguments);
    if (out.size() > kLimit - 1) {
        out.resize(kLimit - 1);
    }
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size());
}
