// The crash reporter's state and the operations around the report files:
// where reports go, the kept log of the previous run, the context texts the
// handler copies, and whether a report is pending.
//
// Index: State / Installation / Files and paths / Contexts and recording /
//        Pending reports
#include <cstdlib>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

#include "zxcrash_detail.h"
#include "zxcrash_state.h"

namespace zxcrash {

namespace state {

// ---- State ----

char g_name[kNameSize];
char g_version[kVersionSize];
char g_build[kBuildSize];
char g_package[kPackageSize];
char g_report[kPathSize];
char g_crash_log[kPathSize];
char g_log[kPathSize];
char g_ctx[kContexts][kSlots][kContextSize];
std::atomic<int> g_ctx_live[kContexts];
char g_tail[kTailBytes + 1];
std::time_t g_started = 0;

void copy_to(char* dst, size_t size, const std::string& text) {
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    text.copy(dst, n);
    dst[n] = '\0';
}

}  // namespace state

namespace {

using namespace state;

constexpr size_t kReportMax = 262144;
constexpr const char* kReportName = "/crash_report.txt";
constexpr const char* kCrashLogName = "/crash_log.txt";
constexpr const char* kRotatedSuffix = ".1";

App g_app;
std::string g_prev_log;
// Context writers are serialised so two threads never fill the same spare
// slot; the handler never takes this lock.
std::mutex g_ctx_mutex;
std::mutex g_audio_mutex;
std::string g_audio_last;

const char* or_empty(const char* s) { return s ? s : ""; }

// Before the configuration directory is known a crash still needs a place:
// the per-user runtime directory, else the temporary one.
std::string temporary_report_path() {
    std::string dir = detail::env("XDG_RUNTIME_DIR");
    if (dir.empty()) dir = detail::env("TMPDIR");
    if (dir.empty()) dir = "/tmp";
    return dir + "/" + g_name + "_crash.txt";
}

// Only a regular file of this user is taken from the temporary location,
// which may be a directory shared with others.
bool own_regular_file(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == getuid();
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    return text;
}

}  // namespace

// ---- Installation ----

void install(const App& app) {
    g_app = app;
    copy_to(g_name, kNameSize, or_empty(app.name));
    copy_to(g_version, kVersionSize, or_empty(app.version));
    copy_to(g_build, kBuildSize, or_empty(app.build));
    copy_to(g_report, kPathSize, temporary_report_path());
    g_crash_log[0] = '\0';
    install_handler();
}

namespace detail {

const App& app() { return g_app; }

void log(const char* level, const std::string& message) {
    if (g_app.log) g_app.log(level, message.c_str());
}

void set_header_package(const std::string& package) { copy_to(g_package, kPackageSize, package); }

}  // namespace detail

// ---- Files and paths ----

std::string rotate_log(const std::string& path) {
    g_prev_log.clear();
    const std::string rotated = path + kRotatedSuffix;
    if (detail::file_exists(path) && detail::file_rename(path, rotated)) g_prev_log = rotated;
    return g_prev_log;
}

void set_log_file(const std::string& path) { copy_to(g_log, kPathSize, path); }

void set_report_dir(const std::string& dir) {
    const std::string old_path = g_report;
    copy_to(g_report, kPathSize, dir + kReportName);
    copy_to(g_crash_log, kPathSize, dir + kCrashLogName);
    // A crash before this call (at start-up, or in a headless command) left
    // its report at the temporary place; bring it where the next start looks.
    if (old_path != g_report && own_regular_file(old_path)) {
        if (!detail::file_move(old_path, g_report))
            detail::log("WARN", "crash report: could not move " + old_path + " to " + g_report);
    }
}

std::string report_path() { return g_report; }
std::string crash_log_path() { return g_crash_log; }

// ---- Contexts and recording ----

void set_context(Context which, const std::string& text) {
    const int i = static_cast<int>(which);
    if (i < 0 || i >= kContexts) return;
    std::lock_guard<std::mutex> lock(g_ctx_mutex);
    const int spare = 1 - g_ctx_live[i].load();
    copy_to(g_ctx[i][spare], kContextSize, text);
    g_ctx_live[i].exchange(spare);
}

void record_system() {
    detail::set_header_package(package_line());
    const auto lines = system_lines();
    for (const auto& l : lines) detail::log("INFO", "System: " + l);
    set_context(Context::System, joined(lines));
}

void record_graphics(const std::vector<std::string>& lines) {
    auto all = gpu_lines();
    all.insert(all.end(), lines.begin(), lines.end());
    for (const auto& l : all) detail::log("INFO", "Graphics: " + l);
    set_context(Context::Graphics, joined(all));
}

void record_audio(const std::vector<std::string>& lines) {
    std::lock_guard<std::mutex> lock(g_audio_mutex);
    const std::string text = joined(lines);
    if (text == g_audio_last) return;
    g_audio_last = text;
    for (const auto& l : lines) detail::log("INFO", "Audio: " + l);
    set_context(Context::Audio, text);
}

// ---- Pending reports ----

bool pending(std::string* out) {
    std::string text;
    if (!detail::file_read(g_report, text, kReportMax) || text.empty()) return false;
    // The log of the crashed run is the one rotate_log kept; copy it once so
    // later starts do not replace it with logs of runs that did not crash.
    if (!g_prev_log.empty() && g_crash_log[0] && !detail::file_exists(g_crash_log))
        detail::file_copy(g_prev_log, g_crash_log);
    if (out) *out = std::move(text);
    return true;
}

void discard() {
    detail::file_remove(g_report);
    if (g_crash_log[0]) detail::file_remove(g_crash_log);
}

}  // namespace zxcrash
