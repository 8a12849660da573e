// Usage text, the calculation and guide commands with their options, the
// JSON form of a calculation, and the self-test command.
#include "main_cli.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
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
// The window's largest disk, in bytes.
constexpr double kMaxDiskBytes = raid::kMaxCapValue * 1e15;
constexpr const char* kDevDir = "/dev/";
// Device names end up in commands run as root; none of these belongs in one.
constexpr const char* kShellSpecial = "'\"`;|&$<>(){}[]*?!\\~#";
constexpr size_t kNumberText = 32;  // room for "%.17g" of any double
constexpr int kJsonDigits = 17;
constexpr double kSecondsPerHour = 3600;
// Larger than any screen; the settings file holds window sides to the same.
constexpr long kMaxWindowSide = 20000;

// Options with a decimal value, held to the engine's shared limits.
struct RealOption {
    const char* option;
    const char* what;  // for "bad <what> (<lo> to <hi><unit>): <value>"
    const char* unit;
    double lo;
    double hi;
    double raid::Config::*field;
};

constexpr RealOption kRealOptions[] = {
    {"--afr", "annual failure rate", "", raid::kMinAfr, raid::kMaxAfr, &raid::Config::afr_percent},
    {"--ure", "read error exponent", "", raid::kMinUre, raid::kMaxUre, &raid::Config::ure_exponent},
    {"--replace", "replacement time", " hours", raid::kMinReplaceHours, raid::kMaxReplaceHours,
     &raid::Config::replace_hours},
    {"--repair", "repair time", " hours", raid::kMinRepairHours, raid::kMaxRepairHours, &raid::Config::repair_hours},
    {"--years", "mission time", " years", raid::kMinYears, raid::kMaxYears, &raid::Config::mission_years},
};

long to_long(const std::string& s) { return std::strtol(s.c_str(), nullptr, 10); }

// A count within [lo, hi], read as strtol reads it; false outside the range.
bool read_count(const std::string& s, long lo, long hi, int* out) {
    const long v = to_long(s);
    if (v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

bool whole_number(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
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

std::string limit_text(double v) {
    char buf[kNumberText];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// The whole value must be a number within the option's limits.
bool read_real(const RealOption& o, const std::string& text, raid::Config* c, int* status) {
    double v = 0;
    if (fmt::parse(text, &v) && v >= o.lo && v <= o.hi) {
        c->*o.field = v;
        return true;
    }
    return usage_error(status,
                       std::string("bad ") + o.what + " (" + limit_text(o.lo) + " to " + limit_text(o.hi) + o.unit + ")",
                       text);
}

const RealOption* real_option(const std::string& arg) {
    for (const RealOption& o : kRealOptions)
        if (arg == o.option) return &o;
    return nullptr;
}

bool takes_value(const std::string& arg) {
    return arg == "--mirror" || arg == "--groups" || arg == "--pm" || arg == "--devices" || real_option(arg);
}

}  // namespace

bool read_window_size(const char* text, int* width, int* height) {
    // "<w>x<h>": each side a decimal number, an optional sign and leading
    // blanks allowed and anything after the height ignored, as before; a side
    // beyond any window is no size at all rather than an overflow.
    auto side = [](const char*& p, int* out) {
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(p, &end, 10);
        if (end == p || errno == ERANGE || v < 0 || v > kMaxWindowSide) return false;
        *out = static_cast<int>(v);
        p = end;
        return true;
    };
    const char* p = text;
    int w = 0, h = 0;
    if (!side(p, &w) || *p != 'x' || !side(++p, &h) || w < 1 || h < 1) return false;
    *width = w;
    *height = h;
    return true;
}

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
        "                            [--reliability]     add the chance of losing data\n"
        "                            [--json]            every figure as one JSON object, for scripts\n"
        "                            [--afr <percent>] [--ure <x>] [--years <n>]   disk failures per year,\n"
        "                                                one unreadable sector per 10^x bits, years ahead\n"
        "                            [--replace <hours>] [--repair <hours>]   until a failed disk is\n"
        "                                                replaced; or the whole repair, spares or not\n"
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
    if (!read_count(args[1], raid::kMinDisks, raid::kMaxDisks, &c.disks))
        return usage_error(status, range_text("disks", raid::kMinDisks, raid::kMaxDisks), args[1]);
    if (!parse_size(args[2], &c.disk_bytes)) return usage_error(status, "bad size", args[2]);
    if (const raid::DiskType* t = raid::find_type(kCliDiskType)) {
        c.read_mbs = t->read_mbs;
        c.write_mbs = t->write_mbs;
        c.read_iops = t->read_iops;
        c.write_iops = t->write_iops;
        c.afr_percent = t->afr_percent;
        c.ure_exponent = t->ure_exponent;
    }
    for (size_t i = 3; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--reliability") {
            out->reliability = true;
            continue;
        }
        if (a == "--json") {
            out->json = true;
            continue;
        }
        if (takes_value(a) && i + 1 >= args.size()) return usage_error(status, "option needs a value", a);
        if (a == "--mirror") {
            c.mirror = clamp_int(to_long(args[++i]));
        } else if (a == "--groups") {
            if (!read_count(args[++i], raid::kMinGroups, raid::kMaxGroups, &c.groups))
                return usage_error(status, range_text("groups", raid::kMinGroups, raid::kMaxGroups), args[i]);
        } else if (a == "--pm") {
            const std::string& v = args[++i];
            for (guide::Pm pm : {guide::Pm::Apt, guide::Pm::Dnf, guide::Pm::Zypper, guide::Pm::Pacman})
                if (v == guide::pm_name(pm)) out->pm = pm;
        } else if (a == "--devices") {
            std::string bad;
            if (!add_devices(args[++i], &out->devices, &bad))
                return usage_error(status, "bad device name", bad);
        } else if (const RealOption* o = real_option(a)) {
            if (!read_real(*o, args[++i], &c, status)) return false;
        } else if (!a.empty() && a[0] == '-') {
            // Skipping it would turn its value into the spare count.
            return usage_error(status, "unknown option", a);
        } else if (!a.empty()) {
            // A whole number only: a mistyped word must not pass for zero spares.
            if (!whole_number(a) || !read_count(a, 0, raid::kMaxSpares, &c.spares))
                return usage_error(status, range_text("spares", 0, raid::kMaxSpares), a);
        }
    }
    return true;
}

namespace {

// ---- JSON ----

// Numbers in full precision and never localised; JSON has no infinity.
std::string json_number(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[kNumberText];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, kJsonDigits);
    return std::string(buf, r.ptr);
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Members in the order they are added.
class JsonObject {
public:
    void raw(const char* key, const std::string& value) {
        if (m_text.size() > 1)
            m_text += ',';
        m_text += json_string(key);
        m_text += ':';
        m_text += value;
    }
    void num(const char* key, double v) { raw(key, json_number(v)); }
    std::string text() const { return m_text + "}"; }

private:
    std::string m_text = "{";
};

const char* problem_name(raid::Problem p) {
    switch (p) {
        case raid::Problem::None: break;
        case raid::Problem::TooFew: return "too_few";
        case raid::Problem::NotDivisible: return "not_divisible";
        case raid::Problem::GroupTooSmall: return "group_too_small";
        case raid::Problem::NoActive: return "no_active";
    }
    return nullptr;
}

std::string reliability_json(const raid::Reliability& rel) {
    if (!rel.ok) return "null";
    const std::string none = "null";
    JsonObject o;
    o.num("afr_percent", rel.afr_percent);
    o.num("ure_exponent", rel.ure_exponent);
    o.num("replace_hours", rel.replace_hours);
    o.raw("repair_hours", rel.has_rebuild ? json_number(rel.repair_hours) : none);
    o.num("years", rel.mission_years);
    o.num("mttdl_hours", rel.mttdl_hours);
    o.num("loss_per_year", rel.loss_per_year);
    o.num("loss_in_years", rel.loss_in_years);
    o.raw("ure_in_rebuild", rel.has_rebuild ? json_number(rel.ure_in_rebuild) : none);
    o.raw("ure_repairable", rel.has_rebuild ? (rel.ure_repairable ? "true" : "false") : none);
    o.num("stripe_loss_per_year", rel.stripe_loss_per_year);
    return o.text();
}

// The figures of "--calc" for scripts: sizes in bytes, rates in MB/s.
std::string to_json(const raid::Config& c, const raid::Result& r) {
    JsonObject o;
    o.raw("level", json_string(raid::key(c.level)));
    o.num("disks", c.disks);
    o.num("spares", c.spares);
    o.num("active", r.active);
    o.num("groups", r.group_count);
    o.num("mirror", std::clamp(c.mirror, 2, 3));
    o.num("disk_bytes", c.disk_bytes);
    o.num("usable_bytes", r.usable);
    o.num("raw_bytes", r.raw);
    o.num("efficiency", r.efficiency);
    o.num("read_mbs", r.read_mbs);
    o.num("write_mbs", r.write_mbs);
    o.num("read_iops", r.read_iops);
    o.num("write_iops", r.write_iops);
    o.num("write_penalty", r.penalty);
    o.num("tolerance_min", r.tol_min);
    o.num("tolerance_max", r.tol_max);
    o.num("rebuild_hours", r.rebuild_s / kSecondsPerHour);
    o.num("rebuild_read_bytes", r.rebuild_read);
    std::string survive = "[";
    for (size_t k = 1; r.ok() && k < r.survive.size() && k != kMaxSurviveShown; ++k)
    {
        if (k > 1)
            survive += ',';
        survive += json_number(r.survive[k]);
    }
    o.raw("survive", survive + "]");
    const char* problem = problem_name(r.problem);
    o.raw("problem", problem ? json_string(problem) : "null");
    o.raw("need", r.problem == raid::Problem::NoActive ? "null" : json_number(r.need));
    o.raw("reliability", reliability_json(raid::reliability(c, r)));
    return o.text();
}

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
    const int result_status = r.ok() ? 0 : 1;
    if (a.json) {
        con::print(to_json(a.config, r) + "\n");
        return result_status;
    }
    con::print(raid::to_text(a.config, r));
    if (!r.ok()) return result_status;
    con::print("survive:");
    for (size_t k = 1; k < r.survive.size() && k != kMaxSurviveShown; ++k)
        con::printf(" %zu=%s", k, fmt::percent(r.survive[k]).c_str());
    con::print("\n");
    if (a.reliability) con::print(raid::reliability_text(raid::reliability(a.config, r)));
    return result_status;
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
