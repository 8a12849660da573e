// Usage text, the calculation and guide commands, and the self-test command.
#include "main_cli.h"

#include <cerrno>
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

long to_long(const std::string& s) { return std::strtol(s.c_str(), nullptr, 10); }

int clamp_int(long v) {
    if (v > 0x7fffffffL) return 0x7fffffff;
    if (v < -0x7fffffffL) return -0x7fffffff;
    return static_cast<int>(v);
}

bool ends_with(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() > n && s.compare(s.size() - n, n, tail) == 0;
}

// Reads "12TB", "1,5TB", "500GB", "12" (terabytes); false when unreadable or
// not positive.
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
    *bytes = v * raid::unit_factor(unit);
    return true;
}

void add_devices(const std::string& list, std::vector<std::string>* out) {
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const size_t end = comma == std::string::npos ? list.size() : comma;
        if (end > start) out->push_back(list.substr(start, end - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
}

}  // namespace

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
    raid::Config& c = out->config;
    c = raid::Config{};
    if (!raid::from_key(args[0], &c.level)) {
        std::fprintf(stderr, "unknown level: %s\n", args[0].c_str());
        *status = kUsageError;
        return false;
    }
    c.disks = clamp_int(to_long(args[1]));
    if (c.disks < 1) c.disks = 1;
    if (!parse_size(args[2], &c.disk_bytes)) {
        std::fprintf(stderr, "bad size: %s\n", args[2].c_str());
        *status = kUsageError;
        return false;
    }
    for (size_t i = 3; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        if (a == "--mirror" && has_value) {
            c.mirror = clamp_int(to_long(args[++i]));
        } else if (a == "--groups" && has_value) {
            c.groups = clamp_int(to_long(args[++i]));
        } else if (a == "--pm" && has_value) {
            const std::string& v = args[++i];
            for (guide::Pm pm : {guide::Pm::Apt, guide::Pm::Dnf, guide::Pm::Zypper, guide::Pm::Pacman})
                if (v == guide::pm_name(pm)) out->pm = pm;
        } else if (a == "--devices" && has_value) {
            add_devices(args[++i], &out->devices);
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
    if (a.devices.empty()) a.devices = guide::devices(guide::Dev::Sd, a.config.disks);
    if (static_cast<int>(a.devices.size()) < a.config.disks) {
        std::fprintf(stderr, "need %d devices\n", a.config.disks);
        return kUsageError;
    }
    const guide::Guide g = guide::build(a.config, r, a.pm, a.devices);
    if (!g.possible) {
        con::printf("%s\n", g.reason.c_str());
        return 1;
    }
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

int run_selftest() { return raid::selftest() == 0 ? 0 : 1; }

}  // namespace cli
