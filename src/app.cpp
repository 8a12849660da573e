// App state and value editing: the settings are the only source of the
// calculation, every setter clamps to the window's limits, recomputes,
// repaints and pushes the debounced save; typed values are committed
// through the same setters.
#include "app.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "format.h"
#include "gpu.h"
#include "guide.h"
#include "l10n.h"
#include "logger.h"

namespace {

constexpr uint32_t kSaveDebounceMs = 700;
using raid::kMaxDisks;
using raid::kMaxGroups;
using raid::kMaxSpeed;
using raid::kMinDisks;
using raid::kMinGroups;
constexpr int kTopUnit = raid::kMaxUnit;
constexpr double kUnitStep = 1000;
constexpr double kMinSpeedStepped = 5;  // the stepper's lowest; typing goes down to raid::kMinSpeed
constexpr double kEps = 1e-9;
constexpr double kCapFloorSmallest = 1;  // stepping down in MB never goes below 1
constexpr double kCapFloor = 0.25;
constexpr int kMaxListIndex = 255;
constexpr const char* kCustomType = "custom";

// Stepping tables: (upper bound, step). A value exactly on a bound steps up
// with the next row's step and down with its own.
struct StepRow {
    double bound, step;
};
constexpr StepRow kSpeedSteps[] = {{100, 5}, {500, 10}, {2000, 50}, {10000, 250}, {1e12, 1000}};
constexpr StepRow kAfrSteps[] = {{1, 0.1}, {5, 0.25}, {20, 1}, {1e12, 2.5}};        // percent a year
constexpr StepRow kReplaceSteps[] = {{72, 12}, {336, 24}, {1e12, 168}};            // hours
constexpr double kUreStep = 0.5, kYearStep = 1;

template <size_t N>
double table_step(double b, int dir, const StepRow (&table)[N]) {
    for (const auto& s : table)
        if (dir >= 1 ? b < s.bound - kEps : b <= s.bound + kEps) return s.step;
    return table[N - 1].step;
}

// The next multiple of the step from b, up or down.
double snapped(double b, int dir, double step) {
    return dir >= 1 ? (std::floor(b / step + kEps) + 1) * step : (std::ceil(b / step - kEps) - 1) * step;
}

// "0,3,5" into a set; pieces that are not a whole number in 0..255 are ignored.
void split_into(const std::string& text, std::set<int>& out) {
    out.clear();
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        const std::string piece = text.substr(pos, comma - pos);
        char* end = nullptr;
        const long v = std::strtol(piece.c_str(), &end, 10);
        if (!piece.empty() && end && *end == '\0' && v >= 0 && v <= kMaxListIndex)
            out.insert(static_cast<int>(v));
        pos = comma + 1;
    }
}

}  // namespace

App::App() = default;

std::string App::join_indices(const std::set<int>& s) {
    std::string out;
    for (int i : s) {
        if (!out.empty()) out += ',';
        out += std::to_string(i);
    }
    return out;
}

App::~App() { shutdown_window(); }

void App::load_state(const std::string& config_dir) {
    m_config_dir = config_dir;
    const sealed::Result r = m_settings.load(m_config_dir + "/settings.dat");
    // An existing file we could not read may still hold the user's settings:
    // run on the defaults and leave it alone.
    m_keep_file = r == sealed::Result::Unreadable;
    if (m_keep_file) {
        logger::warn("using default settings; the unreadable settings file is kept as it is");
        notify("note.settings_unreadable");
    }
    if (r == sealed::Result::Tampered) notify("note.settings_broken");
    L10n::setLanguage(m_settings.language);
    if (L10n::fallbackActive()) notify("note.lang_fallback");
    restore_failures();
    recompute();
    if (m_settings.tab == 1 && !has_guide()) m_settings.tab = 0;
}

void App::notify(const std::string& key) {
    if (std::find(m_notices.begin(), m_notices.end(), key) != m_notices.end()) return;
    m_notices.push_back(key);
    invalidate();
}

void App::dismiss_notice() {
    if (m_notices.empty()) return;
    m_notices.erase(m_notices.begin());
    invalidate();
}

void App::withdraw_notice(const std::string& key) {
    const auto it = std::find(m_notices.begin(), m_notices.end(), key);
    if (it == m_notices.end()) return;
    m_notices.erase(it);
    invalidate();
}

bool App::has_guide() const { return guide::builds(m_cfg.level); }

void App::restore_failures() {
    split_into(m_settings.failed, m_failed);
    split_into(m_settings.failed_spares, m_failed_spares);
}

void App::queue_save() { m_save_at = std::max<uint32_t>(1, SDL_GetTicks() + kSaveDebounceMs); }

void App::recompute() {
    fmt::set_os_sizes(m_settings.os_sizes);
    m_cfg = m_settings.config();
    m_res = raid::compute(m_cfg);
    std::erase_if(m_failed, [this](int i) { return i >= m_res.active; });
    std::erase_if(m_failed_spares, [this](int i) { return i >= m_cfg.spares; });
}

void App::changed() {
    // A figure changes the page and, of the frame, only the header's summary.
    const HeaderSummary header = header_summary();
    recompute();
    refigure_page();
    if (header_summary() != header) invalidate_header();
    queue_save();
}

void App::set_disks(int n) {
    m_settings.disks = std::clamp(n, kMinDisks, kMaxDisks);
    m_settings.spares = std::clamp(m_settings.spares, 0, raid::max_spares(m_settings.disks));
    changed();
}

void App::set_spares(int n) {
    m_settings.spares = std::clamp(n, 0, raid::max_spares(m_settings.disks));
    changed();
}

void App::set_capacity(double v) {
    int unit = std::clamp(m_settings.cap_unit, 0, kTopUnit);
    while (v >= kUnitStep && unit < kTopUnit) {
        v /= kUnitStep;
        ++unit;
    }
    while (unit > 0 && v < 1) {
        v *= kUnitStep;
        --unit;
    }
    v = std::round(v * 1000) / 1000;
    m_settings.cap_value = std::clamp(v, raid::kMinCapValue, raid::kMaxCapValue);
    m_settings.cap_unit = unit;
    changed();
}

void App::set_type(const std::string& key) {
    const raid::DiskType* t = raid::find_type(key);
    if (!t) return;
    m_settings.disk_type = key;
    m_settings.read_mbs = t->read_mbs;
    m_settings.write_mbs = t->write_mbs;
    m_settings.read_iops = t->read_iops;
    m_settings.write_iops = t->write_iops;
    m_settings.afr_percent = t->afr_percent;
    m_settings.ure_exponent = t->ure_exponent;
    changed();
}

void App::set_ure(double exponent) {
    m_settings.ure_exponent = std::clamp(exponent, raid::kMinUre, raid::kMaxUre);
    changed();
}

void App::set_level(raid::Level l) {
    m_settings.level = raid::key(l);
    m_failed.clear();
    m_failed_spares.clear();
    changed();
    if (m_settings.tab == 1 && !has_guide()) select_tab(0);
}

void App::step_value(const std::string& what, int dir) {
    if (what == "disks") {
        set_disks(m_settings.disks + dir);
    } else if (what == "spares") {
        set_spares(m_settings.spares + dir);
    } else if (what == "groups") {
        m_settings.groups = std::clamp(m_settings.groups + dir, kMinGroups, kMaxGroups);
        changed();
    } else if (what == "rd" || what == "wr") {
        double& b = what == "rd" ? m_settings.read_mbs : m_settings.write_mbs;
        b = std::clamp(snapped(b, dir, table_step(b, dir, kSpeedSteps)), kMinSpeedStepped, kMaxSpeed);
        m_settings.disk_type = kCustomType;
        changed();
    } else if (what == "afr") {
        double& a = m_settings.afr_percent;
        a = std::clamp(snapped(a, dir, table_step(a, dir, kAfrSteps)), raid::kMinAfr, raid::kMaxAfr);
        changed();
    } else if (what == "repl") {
        double& h = m_settings.replace_hours;
        h = std::clamp(snapped(h, dir, table_step(h, dir, kReplaceSteps)), raid::kMinReplaceHours,
                       raid::kMaxReplaceHours);
        changed();
    } else if (what == "ure") {
        set_ure(snapped(m_settings.ure_exponent, dir, kUreStep));
    } else if (what == "years") {
        m_settings.mission_years =
            std::clamp(snapped(m_settings.mission_years, dir, kYearStep), raid::kMinYears, raid::kMaxYears);
        changed();
    } else if (what == "cap") {
        const double v = m_settings.cap_value;
        const int u = m_settings.cap_unit;
        if (dir < 0) {
            if (u > 0 && v <= 1.000000001) {
                m_settings.cap_unit = u - 1;
                set_capacity(kUnitStep - raid::cap_step(kUnitStep - 1, -1));
                return;
            }
            const double step = raid::cap_step(v, dir);
            double next = step * (std::ceil(v / step - kEps) - 1);
            next = std::max(next, u == 0 ? kCapFloorSmallest : kCapFloor);
            set_capacity(next);
        } else {
            const double step = raid::cap_step(v, dir);
            set_capacity(std::max((std::floor(v / step + kEps) + 1) * step, kCapFloor));
        }
    }
}

std::string App::field_text(const std::string& what) const {
    if (what == "cap") return fmt::sig3(m_settings.cap_value);
    if (what == "disks") return std::to_string(m_settings.disks);
    if (what == "spares") return std::to_string(m_settings.spares);
    if (what == "groups") return std::to_string(m_settings.groups);
    if (what == "rd") return fmt::number(m_settings.read_mbs, 0);
    if (what == "wr") return fmt::number(m_settings.write_mbs, 0);
    if (what == "afr") return fmt::sig3(m_settings.afr_percent);
    if (what == "ure") return fmt::sig3(m_settings.ure_exponent);
    if (what == "repl") return fmt::number(m_settings.replace_hours, 0);
    if (what == "years") return fmt::number(m_settings.mission_years, 0);
    return "";
}

void App::begin_edit(const std::string& what) {
    if (!m_edit.empty()) commit_edit();
    m_edit = what;
    m_edit_text = field_text(what);
    m_edit_shown = m_edit_text;
    m_edit_caret = m_edit_text.size();
    m_caret_on = true;
    m_blink_at = SDL_GetTicks() + kCaretBlinkMs;
    if (m_win) SDL_StartTextInput();
    invalidate();
}

int App::typed_count(double v, int lo, int hi) {
    // Clamp as a double first: a 13-digit count would overflow an int.
    return static_cast<int>(std::lround(std::clamp(v, double(lo), double(hi))));
}

void App::commit_edit() {
    if (m_edit.empty()) return;
    const std::string what = m_edit;
    m_edit.clear();
    if (m_win) SDL_StopTextInput();
    // The field shows a rounded value: reading that back would change the
    // data (15.36 TB into 15.4 TB, a disk type into custom speeds).
    const bool untouched = m_edit_text == m_edit_shown;
    double v = 0;
    // A replacement can be immediate; every other figure is above zero.
    const bool parsed = fmt::parse(m_edit_text, &v) && std::isfinite(v) && (v > 0 || (what == "repl" && v == 0));
    if (!untouched && parsed) set_value(what, v);
    invalidate();
}

void App::set_value(const std::string& what, double v) {
    if (what == "cap") {
        set_capacity(v);
    } else if (what == "disks") {
        set_disks(typed_count(v, kMinDisks, kMaxDisks));
    } else if (what == "spares") {
        set_spares(typed_count(v, 0, raid::kMaxSpares));
    } else if (what == "rd" || what == "wr") {
        (what == "rd" ? m_settings.read_mbs : m_settings.write_mbs) =
            std::clamp(v, raid::kMinSpeed, kMaxSpeed);
        m_settings.disk_type = kCustomType;
        recompute();
        queue_save();
    } else if (what == "groups") {
        m_settings.groups = typed_count(v, kMinGroups, kMaxGroups);
        recompute();
        queue_save();
    } else if (what == "afr") {
        m_settings.afr_percent = std::clamp(v, raid::kMinAfr, raid::kMaxAfr);
        changed();
    } else if (what == "ure") {
        set_ure(v);
    } else if (what == "repl") {
        m_settings.replace_hours = std::clamp(v, raid::kMinReplaceHours, raid::kMaxReplaceHours);
        changed();
    } else if (what == "years") {
        m_settings.mission_years = std::round(std::clamp(v, raid::kMinYears, raid::kMaxYears));
        changed();
    }
}

App::ValueRange App::value_range(const std::string& what) const {
    const Settings& s = m_settings;
    if (what == "cap") return {s.cap_value, raid::kMinCapValue, raid::kMaxCapValue, 1};
    if (what == "disks") return {double(s.disks), double(kMinDisks), double(kMaxDisks), 1};
    if (what == "spares") return {double(s.spares), 0, double(raid::max_spares(s.disks)), 1};
    if (what == "rd") return {s.read_mbs, raid::kMinSpeed, kMaxSpeed, 1};
    if (what == "wr") return {s.write_mbs, raid::kMinSpeed, kMaxSpeed, 1};
    if (what == "groups") return {double(s.groups), double(kMinGroups), double(kMaxGroups), 1};
    if (what == "afr") return {s.afr_percent, raid::kMinAfr, raid::kMaxAfr, 0.01};
    if (what == "ure") return {s.ure_exponent, raid::kMinUre, raid::kMaxUre, 1};
    if (what == "repl") return {s.replace_hours, raid::kMinReplaceHours, raid::kMaxReplaceHours, 1};
    if (what == "years") return {s.mission_years, raid::kMinYears, raid::kMaxYears, 1};
    return {};
}

void App::cancel_edit() {
    if (m_edit.empty()) return;
    m_edit.clear();
    if (m_win) SDL_StopTextInput();
    invalidate();
}

std::string App::result_text() const { return raid::to_text(m_cfg, m_res); }

void App::settings_changed() {
    queue_save();
    invalidate();
    invalidate_over();
}

void App::heal() {
    m_failed.clear();
    m_failed_spares.clear();
    invalidate();
    queue_save();
}

void App::reset_calculation() {
    m_settings.reset_calculation();
    m_failed.clear();
    m_failed_spares.clear();
    changed();
    gpu::restart_intro();
    m_moving = true;
}

void App::save_now() {
    remember_geometry();
    m_settings.failed = join_indices(m_failed);
    m_settings.failed_spares = join_indices(m_failed_spares);
    const Geometry& g = m_settings.full;
    const std::string line = "window " + std::to_string(g.x) + "," + std::to_string(g.y) + " " +
                             std::to_string(g.w) + "x" + std::to_string(g.h) + " frame " +
                             std::to_string(m_frame_dx) + "," + std::to_string(m_frame_dy);
    if (line != m_logged_geometry) {
        logger::info(line);
        m_logged_geometry = line;
    }
    if (m_keep_file) return;
    if (m_settings.save()) {
        withdraw_notice("note.save_failed");
    } else {
        logger::warn("settings could not be written");
        notify("note.save_failed");
    }
}
