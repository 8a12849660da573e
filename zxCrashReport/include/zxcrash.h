// zxCrashReport: catches fatal signals and writes a plain-text crash report,
// keeps the previous run's log beside it, describes the machine, and mails a
// pending report. It knows its host only through the App record below.
#pragma once

#include <string>
#include <vector>

namespace zxcrash {

// The host, described once at start-up. The record is copied; the strings it
// points to must stay valid for the life of the process.
struct App {
    const char* name = nullptr;     // product name, used in file and mail names
    const char* version = nullptr;
    const char* build = nullptr;
    const char* contact = nullptr;  // e-mail address reports are sent to
    const char* package = nullptr;  // distribution package name, first guess for the owner lookup
    // Writes to the host's log; level is "INFO" or "WARN". May be null.
    void (*log)(const char* level, const char* message) = nullptr;
    // Opens a URI; null means the library starts xdg-open itself.
    void (*open_uri)(const char* uri) = nullptr;
};

// The three texts a crash report carries besides the backtrace.
enum class Context { Graphics = 0, Audio = 1, System = 2 };

// ---- Capture and report files ----

// Registers the host and the fatal-signal handler. Call first thing in main.
void install(const App& app);
// Moves the log at `path` to path + ".1"; returns that path, or "" if nothing moved.
std::string rotate_log(const std::string& path);
// The log the crash handler quotes the end of.
void set_log_file(const std::string& path);
// Reports go to dir/crash_report.txt from now on; a report written earlier
// to the temporary location is moved there.
void set_report_dir(const std::string& dir);

// Record the machine description, the graphics and the audio setup for the
// log and for a future report.
void record_system();
void record_graphics(const std::vector<std::string>& lines);
void record_audio(const std::vector<std::string>& lines);
// Publishes a context text (at most 2047 bytes) for the crash handler.
void set_context(Context which, const std::string& text);

std::string report_path();
std::string crash_log_path();

// True when a crash report waits to be sent or discarded; its text goes to *out.
bool pending(std::string* out = nullptr);
// Removes the pending report and its log copy.
void discard();
// Renames the report files to their "-sent" names and hands them to the
// user's mail program on a background thread. Returns at once.
void send(const std::string& current_log);
// How the last send() went: Pending while its thread works; LinkOnly when no
// mail program took the attachments and only a mail link and the report's
// folder were opened; Failed when the thread could not start.
enum class Sent { None = 0, Pending = 1, Composed = 2, LinkOnly = 3, Failed = 4 };
Sent last_send();

// ---- System information ----

std::vector<std::string> system_lines();
std::vector<std::string> gpu_lines();
std::string package_line();

}  // namespace zxcrash
