// Usage text, the calculation and guide commands, and the self-test command.
#include "main_cli.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "con.h"
#include "format.h"
#include "l10n.h"

namespace cli {

namespace {

constexpr int kUsageError = 2;
constexpr int kMaxSurviveShown = 7;  // chances for 1..6 simultaneous failures
constexpr const char* kCliDiskType = "hdd7200";
// The window's limits: beyond them the engine's work and the guide's device
// list grow without need.
constexpr long kMinDisks = 1, kMaxDisks = 256;
constexpr long kMinGroups = 2, kMaxGroups = 32;
// The window's largest disk: 999999 PB.
constexpr double kMaxDiskBytes = 999999e15;
constexpr const char* kDevDir = "/dev/";
// Device names end up in commands run as root; none of these belongs in one.
constexpr const char* kShellSpecial = "'\"`;|&$<>(){}[]*?!\\~#";

long to_long(const std::string& s) { return std::strtol(s.c_str(), nullptr, 10); }

// A count within [lo, hi], read as strtol reads it; false outside the range.
bool read_count(const std::string& s, long lo, long hi, int* out) {
    const long v = to_long(s);
    if (v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

int clamp_int(long v) {
    if (v > 0x7fffffffL) return 0x7fffffff;
    if (v < -0x7fffffffL) return -0x7fffffff;
    return static_cast<int>(v);
}

bool ends_with(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() > n && s.compare(s.size() - n, n, tail) == 0;
}

// Reads "12TB", "1,5TB", "500GB", "12" (terabytes); false when unreadable,
// not positive or beyond the largest disk.
bool parse_size(const std::string& arg, double* bytes) {
    std::string text = arg;
    int unit = 2;
    for (int u = 0; u <= 3; ++u) {
        if (ends_with(text, raid::unit_name(u))) {
            text.resize(text.size() - std::strlen(raid::unit_name(u)));
            unit = u;
        }
    }
    double v = 0;
    if (!fmt::parse(text, &v) || !(v > 0)) return false;
    const double b = v * raid::unit_factor(unit);
    if (!(b <= kMaxDiskBytes)) return false;
    *bytes = b;
    return true;
}

// Nor does a path begin with a dash, which a command would take as an option.
bool device_name_ok(const std::string& name) {
    if (name[0] == '-') return false;
    for (unsigned char c : name)
        if (c <= ' ' || c == 0x7f || std::strchr(kShellSpecial, c)) return false;
    return true;
}

// Splits at commas; a bare name ("sdb") means the device of that name, never
// a file in the current folder. False, with *bad set, for a name that holds
// what no device path holds.
bool add_devices(const std::string& list, std::vector<std::string>* out, std::string* bad) {
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const size_t end = comma == std::string::npos ? list.size() : comma;
        if (end > start) {
            const std::string name = list.substr(start, end - start);
            if (!device_name_ok(name)) {
                *bad = name;
                return false;
            }
            out->push_back(name.find('/') == std::string::npos ? kDevDir + name : name);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

bool usage_error(int* status, const std::string& what, const std::string& arg) {
    std::fprintf(stderr, "%s: %s\n", what.c_str(), arg.c_str());
    *status = kUsageError;
    return false;
}

std::string range_text(const char* what, long lo, long hi) {
    return std::string("bad number of ") + what + " (" + std::to_string(lo) + " to " + std::to_string(hi) + ")";
}

}  // namespace

void begin_headless() {
    // A reader that stops early (a pager, "head") must not change the exit
    // status; the writes that fail are dropped by con.
    std::signal(SIGPIPE, SIG_IGN);
}

void print_usage() {
    con::printf("%s %s (build %s)\n", product::kName, product::kVersion, product::kBuild);
    con::print(
        "\n"
        "  zxQuenlowsRaidCalculator                     open the window\n"
        "  zxQuenlowsRaidCalculator --theme dark|light  this run only\n"
        "  zxQuenlowsRaidCalculator --size <w>x<h>      window size in points, this run only\n"
        "  zxQuenlowsRaidCalculator --calc <level> <disks> <size> [spares]\n"
        "                                                e.g. --calc raid6 8 12TB 1 \xE2\x80\x94 no window\n"
        "  zxQuenlowsRaidCalculator --guide <level> <disks> <size> [spares] [--pm apt|dnf|zypper|pacman]\n"
        "                            [--devices a,b,\xE2\x80\xA6]   print the mdadm guide \xE2\x80\x94 no window\n"
        "  zxQuenlowsRaidCalculator --selftest          check the arithmetic, no window\n"
        "  zxQuenlowsRaidCalculator --version           print the version\n"
        "  zxQuenlowsRaidCalculator --render-icon <size> <file.png>   write the app icon\n");
}

bool parse_calc(const std::vector<std::string>& args, CalcArgs* out, int* status) {
    if (args.size() < 3) {
        print_usage();
        *status = kUsageError;
        return false;
    }
    *out = CalcArgs{};
    raid::Config& c = out->config;
    if (!raid::from_key(args[0], &c.level)) return usage_error(status, "unknown level", args[0]);
    if (!read_count(args[1], kMinDisks, kMaxDisks, &c.disks))
        return usage_error(status, range_text("disks", kMinDisks, kMaxDisks), args[1]);
    if (!parse_size(args[2], &c.disk_bytes)) return usage_error(status, "bad size", args[2]);
    for (size_t i = 3; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        if (a == "--mirror" && has_value) {
            c.mirror = clamp_int(to_long(args[++i]));
        } else if (a == "--groups" && has_value) {
            if (!read_count(args[++i], kMinGroups, kMaxGroups, &c.groups))
                return usage_error(status, range_text("groups", kMinGroups, kMaxGroups), args[i]);
        } else if (a == "--pm" && has_value) {
            const std::string& v = args[++i];
            for (guide::Pm pm : {guide::Pm::Apt, guide::Pm::Dnf, guide::Pm::Zypper, guide::Pm::Pacman})
                if (v == guide::pm_name(pm)) out->pm = pm;
        } else if (a == "--devices" && has_value) {
            std::string bad;
            if (!add_devices(args[++i], &out->devices, &bad))
                return usage_error(status, "bad device name", bad);
        } else if (!a.empty() && a[0] != '-') {
            c.spares = clamp_int(to_long(a));
            if (c.spares < 0) c.spares = 0;
        }
    }
    if (const raid::DiskType* t = raid::find_type(kCliDiskType)) {
        c.read_mbs = t->read_mbs;
        c.write_mbs = t->write_mbs;
        c.read_iops = t->read_iops;
        c.write_iops = t->write_iops;
    }
    return true;
}

namespace {

// The shared start of both commands: the user's language (without the
// start-up guard, which belongs to the window), the arguments, the result.
bool prepare(const std::vector<std::string>& args, CalcArgs* a, raid::Result* r, int* status) {
    L10n::init("");
    if (!parse_calc(args, a, status)) return false;
    *r = raid::compute(a->config);
    return true;
}

}  // namespace

int run_calc(const std::vector<std::string>& args) {
    CalcArgs a;
    raid::Result r;
    int status = 0;
    if (!prepare(args, &a, &r, &status)) return status;
    con::print(raid::to_text(a.config, r));
    if (!r.ok()) return 1;
    con::print("survive:");
    for (size_t k = 1; k < r.survive.size() && k != kMaxSurviveShown; ++k)
        con::printf(" %zu=%s", k, fmt::percent(r.survive[k]).c_str());
    con::print("\n");
    return 0;
}

int run_guide(const std::vector<std::string>& args) {
    CalcArgs a;
    raid::Result r;
    int status = 0;
    if (!prepare(args, &a, &r, &status)) return status;
    // Whether a guide can be built at all does not depend on device names.
    if (const char* reason = guide::refusal(a.config, r)) {
        con::printf("%s\n", L10n::tr(reason).c_str());
        return 1;
    }
    if (a.devices.empty()) a.devices = guide::devices(guide::Dev::Sd, a.config.disks);
    if (static_cast<int>(a.devices.size()) < a.config.disks) {
        std::fprintf(stderr, "need %d devices\n", a.config.disks);
        return kUsageError;
    }
    const guide::Guide g = guide::build(a.config, r, a.pm, a.devices);
    int number = 0;
    for (const guide::Step& s : g.steps) {
        con::printf("## %d. %s\n# %s\n", ++number, s.title.c_str(), s.text.c_str());
        for (size_t i = 0; i < s.cmds.size(); ++i) {
            if (i < s.notes.size() && !s.notes[i].empty()) con::printf("# %s\n", s.notes[i].c_str());
            con::printf("%s\n", s.cmds[i].c_str());
            if (i != 0) continue;
            for (const guide::ExampleLine& e : s.example)
                con::printf("#   %s%s%s\n", e.text.c_str(), e.remark.empty() ? "" : "   <- ", e.remark.c_str());
        }
        for (const std::string& check : s.checks) con::printf("# + %s\n", check.c_str());
        if (!s.tip.empty()) con::printf("# %s\n", s.tip.c_str());
        con::print("\n");
    }
    return 0;
}

int run_selftest(raid::Engine engine) { return raid::selftest(engine) == 0 ? 0 : 1; }

}  // namespace cli
