// Console output: writes go straight to file descriptor 1; a short or failed
// write drops the rest silently (a closed pipe must not stop a command).
#include "con.h"

#include <cstdarg>
#include <cstdio>

#include <unistd.h>

namespace con {

void print(const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = write(1, p, left);
        if (n < 1) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

void printf(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    va_list measure;
    va_copy(measure, ap);
    const int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n < 1) {
        va_end(ap);
        return;
    }
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, ap);
    va_end(ap);
    out.resize(static_cast<size_t>(n));
    print(out);
}

}  // namespace con
