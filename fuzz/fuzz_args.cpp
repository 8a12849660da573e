// Fuzzes the argument reading of "--calc" and "--guide": the arguments after
// the command, separated by newlines, then what the commands do with them
// short of printing. A device name in a guide command must be one the reader
// accepted, and the reader accepts nothing a root shell would act on.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "guide.h"
#include "l10n.h"
#include "main_cli.h"

namespace {

constexpr size_t kMaxArgs = 64;
constexpr const char* kShellSpecial = "'\"`;|&$<>(){}[]*?!\\~#";

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> args;
    size_t start = 0;
    while (start <= text.size() && args.size() < kMaxArgs) {
        const size_t nl = text.find('\n', start);
        const size_t end = nl == std::string::npos ? text.size() : nl;
        args.push_back(text.substr(start, end - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return args;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    L10n::setLanguage("en");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cli::CalcArgs a;
    int status = 0;
    if (!cli::parse_calc(split(std::string(reinterpret_cast<const char*>(data), size)), &a, &status)) {
        if (status != 2) __builtin_trap();
        return 0;
    }
    const raid::Config& c = a.config;
    if (c.disks < 1 || c.disks > 256 || c.groups < 2 || c.groups > 32 || c.spares < 0) __builtin_trap();
    for (const std::string& d : a.devices) {
        if (d.empty() || d[0] == '-' || d.find('/') == std::string::npos) __builtin_trap();
        for (unsigned char ch : d)
            if (ch <= ' ' || ch == 0x7f || std::strchr(kShellSpecial, ch)) __builtin_trap();
    }
    const raid::Result r = raid::compute(c);
    raid::to_text(c, r);
    if (guide::refusal(c, r)) return 0;
    std::vector<std::string> devs = a.devices.empty() ? guide::devices(guide::Dev::Sd, c.disks) : a.devices;
    if (static_cast<int>(devs.size()) < c.disks) return 0;
    const guide::Guide g = guide::build(c, r, a.pm, devs);
    if (!g.possible) __builtin_trap();
    return 0;
}
