// Settings text: 28 "key=value" lines in a fixed order, doubles with 17
// significant digits so they read back bit for bit. Reading takes whatever
// it can from each line and leaves the rest; validation then clamps or
// resets every field, so the record is always usable by the engine.
#include "settings.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>

#include <locale.h>

#include "app_scale.h"
#include "sealed_file.h"

namespace {

constexpr int kFileVersion = 1;
constexpr int kMinTab = 0, kMaxTab = 1;
constexpr int kMinPm = 0, kMaxPm = 3;
constexpr int kMinDev = -1, kMaxDev = 2;
constexpr unsigned kMaxWindowSide = 20000;
constexpr int kGeometryFields = 5;  // x y w h has_pos
constexpr const char* kCustomType = "custom";
// The type whose failure figures a custom or unknown disk type takes.
constexpr const char* kDefaultType = "hdd7200";
constexpr size_t kDoubleText = 32;  // room for "%.17g" of any double
constexpr int kDoubleDigits = 17;

// ---- Reading values ----

// Doubles are read in the "C" locale whatever the process locale is, so a
// decimal comma in the environment can never shift a stored value.
locale_t c_locale() {
    static const locale_t loc = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// The value if the text starts with a finite number, else the fallback.
double to_num(const std::string& text, double fallback) {
    const char* s = text.c_str();
    char* end = nullptr;
    const double v = c_locale() ? strtod_l(s, &end, c_locale()) : std::strtod(s, &end);
    if (end == s || !std::isfinite(v)) return fallback;
    return v;
}

// Leading decimal integer as strtol reads it (0 without digits), held to
// the int range so a huge number saturates instead of wrapping around.
int to_int(const char* s) {
    const long v = std::strtol(s, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// "x y w h p"; a missing or malformed number and all after it read as 0. A
// number beyond the int range is malformed, not saturated.
Geometry parse_geo(const std::string& text) {
    int v[kGeometryFields] = {};
    const char* p = text.c_str();
    for (int i = 0; i < kGeometryFields; ++i) {
        char* end = nullptr;
        errno = 0;
        const long n = std::strtol(p, &end, 10);
        if (end == p || errno == ERANGE || n > INT_MAX || n < INT_MIN) break;
        v[i] = static_cast<int>(n);
        p = end;
    }
    Geometry g{v[0], v[1], v[2], v[3], v[4] == 1};
    // As unsigned, a negative side is huge too.
    if (static_cast<unsigned>(g.w) > kMaxWindowSide || static_cast<unsigned>(g.h) > kMaxWindowSide)
        g = Geometry{};
    return g;
}

// Keys before the first "=", nothing trimmed; a later line wins. The "=" is
// searched for within its own line only, so a long file of lines without one
// is read in linear time, not quadratic.
std::map<std::string, std::string> parse_lines(const std::string& text) {
    std::map<std::string, std::string> kv;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        const auto eq = static_cast<size_t>(std::find(text.begin() + pos, text.begin() + nl, '=') - text.begin());
        if (eq < nl) kv[text.substr(pos, eq - pos)] = text.substr(eq + 1, nl - eq - 1);
        pos = nl + 1;
    }
    return kv;
}

// ---- Validation ----

void keep_between(double& v, double lo, double hi, double fallback) {
    if (!(v >= lo && v <= hi)) v = fallback;
}

// The failure figures of a disk type; custom and unknown types take HDD 7200's.
const raid::DiskType& failure_type(const std::string& key) {
    const raid::DiskType* t = raid::find_type(key);
    return t ? *t : *raid::find_type(kDefaultType);
}

void validate(Settings& s) {
    const Settings d;
    if (s.theme != "light" && s.theme != "dark") s.theme = "auto";
    s.cap_unit = std::clamp(s.cap_unit, raid::kMinUnit, raid::kMaxUnit);
    keep_between(s.cap_value, raid::kMinCapValue, raid::kMaxCapValue, d.cap_value);
    s.disks = std::clamp(s.disks, raid::kMinDisks, raid::kMaxDisks);
    s.spares = std::clamp(s.spares, 0, raid::max_spares(s.disks));
    s.mirror = std::clamp(s.mirror, raid::kMinMirror, raid::kMaxMirror);
    s.groups = std::clamp(s.groups, raid::kMinGroups, raid::kMaxGroups);
    s.tab = std::clamp(s.tab, kMinTab, kMaxTab);
    s.guide_pm = std::clamp(s.guide_pm, kMinPm, kMaxPm);
    s.guide_dev = std::clamp(s.guide_dev, kMinDev, kMaxDev);
    keep_between(s.read_mbs, raid::kMinSpeed, raid::kMaxSpeed, d.read_mbs);
    keep_between(s.write_mbs, raid::kMinSpeed, raid::kMaxSpeed, d.write_mbs);
    // Operations per second only come from the disk types, never below one.
    keep_between(s.read_iops, 1, raid::kMaxIops, d.read_iops);
    keep_between(s.write_iops, 1, raid::kMaxIops, d.write_iops);
    raid::Level level;
    if (!raid::from_key(s.level, &level)) s.level = d.level;
    if (s.disk_type != kCustomType && !raid::find_type(s.disk_type)) s.disk_type = d.disk_type;
    const raid::DiskType& type = failure_type(s.disk_type);
    keep_between(s.afr_percent, raid::kMinAfr, raid::kMaxAfr, type.afr_percent);
    keep_between(s.ure_exponent, raid::kMinUre, raid::kMaxUre, type.ure_exponent);
    keep_between(s.replace_hours, raid::kMinReplaceHours, raid::kMaxReplaceHours, d.replace_hours);
    keep_between(s.mission_years, raid::kMinYears, raid::kMaxYears, d.mission_years);
    s.zoom = std::clamp(s.zoom, scale::kZoomMin, scale::kZoomMax);
}

// ---- Writing values ----

// A line break inside a value would end its line early and let the rest
// pose as another key, so a value is cut at its first one.
void put(std::string& t, const char* key, const std::string& value) {
    t += key;
    t += '=';
    t.append(value, 0, value.find('\n'));
    t += '\n';
}

void put(std::string& t, const char* key, int value) { put(t, key, std::to_string(value)); }

void put(std::string& t, const char* key, bool value) { put(t, key, std::string(value ? "1" : "0")); }

// Same digits as "%.17g", independent of the process locale.
void put(std::string& t, const char* key, double value) {
    char buf[kDoubleText];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, kDoubleDigits);
    put(t, key, std::string(buf, r.ptr));
}

}  // namespace

// ---- Settings ----

sealed::Result Settings::load(const std::string& path) {
    m_path = path;
    std::string text;
    const sealed::Result result = sealed::read(path, text);
    if (result == sealed::Result::Ok) read_text(text);
    return result;
}

void Settings::read_text(const std::string& text) {
    const auto kv = parse_lines(text);
    const auto find = [&](const char* key) -> const std::string* {
        const auto it = kv.find(key);
        return it == kv.end() ? nullptr : &it->second;
    };
    const auto str = [&](const char* key, std::string& field) {
        if (const std::string* v = find(key)) field = *v;
    };
    const auto flag = [&](const char* key, bool& field) {
        if (const std::string* v = find(key)) field = *v == "1";
    };
    const auto whole = [&](const char* key, int& field) {
        if (const std::string* v = find(key)) field = to_int(v->c_str());
    };
    const auto real = [&](const char* key, double& field) {
        if (const std::string* v = find(key)) field = to_num(*v, field);
    };

    str("language", language);
    str("theme", theme);
    flag("animate", animate);
    real("cap_value", cap_value);
    whole("cap_unit", cap_unit);
    whole("disks", disks);
    whole("spares", spares);
    str("disk_type", disk_type);
    real("read_mbs", read_mbs);
    real("write_mbs", write_mbs);
    real("read_iops", read_iops);
    real("write_iops", write_iops);
    str("level", level);
    whole("mirror", mirror);
    whole("groups", groups);
    whole("tab", tab);
    whole("guide_pm", guide_pm);
    whole("guide_dev", guide_dev);
    flag("guide_warn", guide_warn);
    flag("os_sizes", os_sizes);
    str("failed", failed);
    str("failed_spares", failed_spares);
    if (const std::string* v = find("full")) full = parse_geo(*v);
    // Missing (as in files from before these figures) or unreadable: the
    // figures of the saved disk type.
    const raid::DiskType& type = failure_type(disk_type);
    const auto typical = [&](const char* key, double& field, double type_value) {
        const std::string* v = find(key);
        field = v ? to_num(*v, type_value) : type_value;
    };
    typical("afr", afr_percent, type.afr_percent);
    typical("ure", ure_exponent, type.ure_exponent);
    real("replace_hours", replace_hours);
    real("mission_years", mission_years);
    whole("zoom", zoom);
    validate(*this);
}

std::string Settings::text() const {
    std::string t;
    put(t, "version", kFileVersion);
    put(t, "language", language);
    put(t, "theme", theme);
    put(t, "animate", animate);
    put(t, "cap_value", cap_value);
    put(t, "cap_unit", cap_unit);
    put(t, "disks", disks);
    put(t, "spares", spares);
    put(t, "disk_type", disk_type);
    put(t, "read_mbs", read_mbs);
    put(t, "write_mbs", write_mbs);
    put(t, "read_iops", read_iops);
    put(t, "write_iops", write_iops);
    put(t, "level", level);
    put(t, "mirror", mirror);
    put(t, "groups", groups);
    put(t, "tab", tab);
    put(t, "guide_pm", guide_pm);
    put(t, "guide_dev", guide_dev);
    put(t, "guide_warn", guide_warn);
    put(t, "os_sizes", os_sizes);
    put(t, "failed", failed);
    put(t, "failed_spares", failed_spares);
    put(t, "full",
        std::to_string(full.x) + " " + std::to_string(full.y) + " " + std::to_string(full.w) + " " +
            std::to_string(full.h) + " " + (full.has_pos ? "1" : "0"));
    put(t, "afr", afr_percent);
    put(t, "ure", ure_exponent);
    put(t, "replace_hours", replace_hours);
    put(t, "mission_years", mission_years);
    put(t, "zoom", zoom);
    return t;
}

bool Settings::save() const {
    if (m_path.empty()) return false;
    return sealed::write(m_path, text());
}

raid::Config Settings::config() const {
    raid::Config c;
    c.disk_bytes = cap_value * raid::unit_factor(cap_unit);
    c.disks = disks;
    c.spares = spares;
    c.mirror = mirror;
    c.groups = groups;
    c.read_mbs = read_mbs;
    c.write_mbs = write_mbs;
    c.read_iops = read_iops;
    c.write_iops = write_iops;
    c.afr_percent = afr_percent;
    c.ure_exponent = ure_exponent;
    c.replace_hours = replace_hours;
    c.mission_years = mission_years;
    raid::Level l;
    if (raid::from_key(level, &l)) c.level = l;
    return c;
}

void Settings::reset_calculation() {
    const Settings d;
    cap_value = d.cap_value;
    cap_unit = d.cap_unit;
    disks = d.disks;
    spares = d.spares;
    disk_type = d.disk_type;
    read_mbs = d.read_mbs;
    write_mbs = d.write_mbs;
    read_iops = d.read_iops;
    write_iops = d.write_iops;
    level = d.level;
    mirror = d.mirror;
    groups = d.groups;
    afr_percent = d.afr_percent;
    ure_exponent = d.ure_exponent;
    replace_hours = d.replace_hours;
    mission_years = d.mission_years;
}
