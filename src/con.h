// Console output for the headless commands: plain writes to standard output
// that never throw and never buffer behind the caller's back.
#pragma once

#include <string>

namespace con {

void print(const std::string& text);
void printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace con
