// Process-wide state of the crash reporter. Everything the signal handler
// reads has a fixed size, so the handler never allocates.
#pragma once

#include <atomic>
#include <ctime>
#include <string>

namespace zxcrash::state {

constexpr size_t kNameSize = 128;
constexpr size_t kVersionSize = 64;
constexpr size_t kBuildSize = 32;
constexpr size_t kPackageSize = 512;
constexpr size_t kPathSize = 1024;
constexpr int kContexts = 3;
constexpr int kSlots = 2;
constexpr size_t kContextSize = 2048;
constexpr size_t kTailBytes = 2500;

extern char g_name[kNameSize];
extern char g_version[kVersionSize];
extern char g_build[kBuildSize];
extern char g_package[kPackageSize];
extern char g_report[kPathSize];
extern char g_crash_log[kPathSize];
extern char g_log[kPathSize];
extern char g_ctx[kContexts][kSlots][kContextSize];
extern std::atomic<int> g_ctx_live[kContexts];
extern char g_tail[kTailBytes + 1];
extern std::time_t g_started;

// Copies text into a fixed buffer, truncated, always terminated.
void copy_to(char* dst, size_t size, const std::string& text);

// Installs the fatal-signal handler (posix unit).
void install_handler();

}  // namespace zxcrash::state
