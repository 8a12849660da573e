// Fuzzes the parser for typed numbers, the size argument of the command line
// and the formatting of whatever double comes out (or is given bit for bit).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "format.h"
#include "main_cli.h"

namespace {

constexpr double kMaxDiskBytes = 999999e15;  // the largest disk the command line takes

void format_all(double v) {
    fmt::sig3(v);
    fmt::bytes(v);
    fmt::bytes_bin(v);
    fmt::rate_mbs(v);
    fmt::iops(v);
    fmt::percent(v);
    fmt::hours(v);
    fmt::factor(v);
    if (std::isfinite(v) && fmt::number(v, 0).find("nan") != std::string::npos) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    double v = 0;
    if (fmt::parse(text, &v)) {
        if (!std::isfinite(v)) __builtin_trap();
        format_all(v);
    }
    cli::CalcArgs a;
    int status = 0;
    if (cli::parse_calc({"raid5", "4", text}, &a, &status)) {
        if (!(a.config.disk_bytes > 0 && a.config.disk_bytes <= kMaxDiskBytes)) __builtin_trap();
    } else if (status != 2) {
        __builtin_trap();
    }
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        format_all(raw);
    }
    return 0;
}
