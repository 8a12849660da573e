// The desktop start of main: the single-instance lock (a second start
// raises the first window and leaves), the log with the previous run kept
// for crash reports, system information, the language guard, then App.
#include <fcntl.h>
#include <malloc.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <signal.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app.h"
#include "l10n.h"
#include "logger.h"
#include "main_cli.h"
#include "paths.h"
#include "version.h"
#include "zxcrash.h"

namespace {

constexpr size_t kPidText = 31;
constexpr int kOwnPagesFrom = 256 * 1024;  // bytes; bitmaps this large get pages of their own
constexpr size_t kLinkMax = 4096;
constexpr size_t kCommMax = 15;  // the kernel keeps this much of a program's name

std::string link_target(const std::string& path) {
    char buf[kLinkMax];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

std::string first_line(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return "";
    char buf[64] = {};
    const bool ok = std::fgets(buf, sizeof buf, f) != nullptr;
    std::fclose(f);
    if (!ok) return "";
    std::string s = buf;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

}  // namespace

// ---- Signals ----
// Only the flags change inside a handler; the loop reacts to them.

std::atomic<bool> g_sig_quit{false};
std::atomic<bool> g_sig_raise{false};

void on_signal(int sig) {
    if (sig == SIGUSR1)
        g_sig_raise.exchange(true);
    else
        g_sig_quit.exchange(true);
}

void install_signal_handlers() {
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaction(s, &sa, nullptr);
}


namespace cli {

bool same_program(long pid) {
    if (pid <= 1) return false;
    const std::string proc = "/proc/" + std::to_string(pid);
    const std::string exe = link_target(proc + "/exe");
    const std::string self = link_target("/proc/self/exe");
    if (!exe.empty() && !self.empty()) return exe == self;
    // Without the executable link (hidepid, another namespace) the name
    // the kernel keeps is the best evidence left.
    const std::string comm = first_line(proc + "/comm");
    return !comm.empty() && comm == std::string(product::kName).substr(0, kCommMax);
}

int run_desktop(const std::string& theme, int width, int height) {
    // Before the lock: a second start's SIGUSR1, or a SIGTERM during start-up,
    // must reach the flags, not end this process unsaved.
    install_signal_handlers();
    // A window lives for hours and makes and drops bitmaps of many sizes.
    // Left to itself the allocator soon serves them from its heap, which
    // fragments and never shrinks; with pages of their own a dropped bitmap
    // goes back to the system at once.
    mallopt(M_MMAP_THRESHOLD, kOwnPagesFrom);

    const std::string dir = paths::config_dir();
    const std::string lock = dir + "/" + product::kName + ".lock";
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            char buf[kPidText + 1] = {};
            const ssize_t n = pread(fd, buf, kPidText, 0);
            if (n > 0) {
                const long pid = std::strtol(buf, nullptr, 10);
                if (pid > 1 && same_program(pid)) kill(static_cast<pid_t>(pid), SIGUSR1);
            }
            std::fprintf(stderr, "%s is already running\n", product::kName);
            return 0;
        }
        if (ftruncate(fd, 0) == 0) {
            const std::string own = std::to_string(getpid());
            // A failed write keeps the lock; only a second start's raise is lost.
            const ssize_t wrote = pwrite(fd, own.data(), own.size(), 0);
            (void)wrote;
        }
    }

    zxcrash::rotate_log(dir + "/" + product::kName + ".log");
    logger::init(dir, product::kName);
    zxcrash::set_log_file(logger::file_path());
    zxcrash::set_report_dir(dir);
    logger::info(std::string(product::kName) + " " + product::kVersion + " build " + product::kBuild +
                 ", package " + paths::package_kind() + ", " + zxcrash::package_line());
    zxcrash::record_system();
    L10n::init(dir);

    int status = 0;
    {
        App app;
        app.force_theme = theme;
        app.force_w = width;
        app.force_h = height;
        status = app.run();
        logger::shutdown();
    }
    return status;
}

}  // namespace cli
