// The fatal-signal handler and the small file and process helpers. The
// handler runs on whichever thread faulted, in a process that may be in any
// state: it uses only the fixed buffers and raw system calls.
//
// Index: Handler helpers / Crash handler / Installation / File helpers /
//        Opening URIs
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include "zxcrash_detail.h"
#include "zxcrash_state.h"

namespace zxcrash {

namespace {

using namespace state;

constexpr int kMaxFrames = 48;
constexpr mode_t kPrivateMode = 0600;
constexpr size_t kCopyBlock = 4096;
constexpr int kExecFailed = 127;
constexpr size_t kAltStackSize = 64 * 1024;
constexpr int kFatalSignals[] = {SIGSEGV, SIGABRT, SIGFPE, SIGBUS, SIGILL, SIGTRAP};
constexpr const char* kTitle[kContexts] = {
    "\n--- Graphics ---\n", "\n--- Audio ---\n", "\n--- System ---\n"};
// How long a fault on another thread waits for the first report to be
// finished before it ends the process itself: 1000 naps of 10 ms.
constexpr int kWaitNaps = 1000;
constexpr long kNapNs = 10 * 1000 * 1000;

void* g_frames[kMaxFrames];
// The thread whose fault is being reported, 0 while none is. Lock-free, so
// the handler may use it.
std::atomic<long> g_reporting{0};
static_assert(std::atomic<long>::is_always_lock_free);
// A stack overflow leaves no room on the faulting stack to run the handler.
alignas(16) char g_alt_stack[kAltStackSize];

// ---- Handler helpers ----

void put_bytes(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        p += w;
        n -= static_cast<size_t>(w);
    }
}

void put(int fd, const char* s) { put_bytes(fd, s, strlen(s)); }

void put_num(int fd, long long v) {
    char buf[24];
    char* p = buf + sizeof buf;
    const bool neg = v < 0;
    // Work in unsigned so the most negative value does not overflow.
    unsigned long long u = neg ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do {
        *--p = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    if (neg) *--p = '-';
    put_bytes(fd, p, static_cast<size_t>(buf + sizeof buf - p));
}

const char* signal_name(int sig) {
    switch (sig) {
        case SIGILL: return "SIGILL (Illegal instruction)";
        case SIGTRAP: return "SIGTRAP (Trap - usually a fatal GLib/GTK error)";
        case SIGABRT: return "SIGABRT (Abort)";
        case SIGBUS: return "SIGBUS (Bus error)";
        case SIGFPE: return "SIGFPE (Floating point exception)";
        case SIGSEGV: return "SIGSEGV (Segmentation fault)";
        default: return "unknown signal";
    }
}

void put_env_line(int fd, const char* label, const char* name) {
    const char* v = getenv(name);
    if (!v || !*v) return;
    put(fd, label);
    put(fd, v);
    put(fd, "\n");
}

// The end of the log: whole if short, else the last bytes from the first
// full line on, read with one positioned read.
void put_log_tail(int fd) {
    if (!g_log[0]) return;
    const int lfd = open(g_log, O_RDONLY | O_CLOEXEC);
    if (lfd < 0) return;
    struct stat st;
    const bool sized = fstat(lfd, &st) == 0;
    const bool whole = !sized || st.st_size <= static_cast<off_t>(kTailBytes);
    const off_t from = whole ? 0 : st.st_size - static_cast<off_t>(kTailBytes);
    const ssize_t n = pread(lfd, g_tail, kTailBytes, from);
    close(lfd);
    if (n <= 0) return;
    size_t start = 0;
    if (whole) {
        if (g_tail[0] == '\n') start = 1;
    } else {
        while (start < static_cast<size_t>(n) && g_tail[start] != '\n') ++start;
        ++start;  // past the newline; beyond n when there is none
    }
    if (start < static_cast<size_t>(n)) put_bytes(fd, g_tail + start, static_cast<size_t>(n) - start);
}

// Opens the report file for this user only. No symlinks are followed and a
// file owned by someone else is left alone: the temporary location may be a
// shared directory. O_NONBLOCK keeps a pipe planted there from blocking the
// dying process forever; for a regular file it changes nothing.
int open_report() {
    const int fd = open(g_report, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, kPrivateMode);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
        close(fd);
        return -1;
    }
    fchmod(fd, kPrivateMode);
    if (ftruncate(fd, 0) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// ---- Crash handler ----

// Ends the process with `sig` as if no handler had been installed. The
// signal is blocked while its handler runs, so it arrives once the handler
// returns (a fault simply repeats on return).
void die_by(int sig) {
    signal(sig, SIG_DFL);
    raise(sig);
}

void write_report(int fd, int sig) {
    put(fd, "=== ");
    put(fd, g_name);
    put(fd, " crash report ===\n");
    put(fd, "Version: ");
    put(fd, g_version);
    put(fd, " (Build ");
    put(fd, g_build);
    put(fd, ")\n");
    if (g_package[0]) {
        put(fd, "Package: ");
        put(fd, g_package);
        put(fd, "\n");
    }
    put_env_line(fd, "Snap revision: ", "SNAP_REVISION");
    put(fd, "Signal: ");
    put(fd, signal_name(sig));
    const time_t now = time(nullptr);
    put(fd, "\nTime (unix): ");
    put_num(fd, static_cast<long long>(now));
    put(fd, "\n");
    if (g_started) {
        put(fd, "Running for (s): ");
        put_num(fd, static_cast<long long>(now - g_started));
        put(fd, "\n");
    }
    struct utsname u;
    if (uname(&u) == 0) {
        put(fd, "System: ");
        put(fd, u.sysname);
        put(fd, " ");
        put(fd, u.release);
        put(fd, " ");
        put(fd, u.machine);
        put(fd, "\n");
    }
    put_env_line(fd, "Desktop: ", "XDG_CURRENT_DESKTOP");
    put_env_line(fd, "Session: ", "XDG_SESSION_TYPE");
    // Contexts and the log first: walking a corrupt stack may fault, and
    // then the report still holds everything else.
    for (int i = 0; i < kContexts; ++i) {
        const char* text = g_ctx[i][g_ctx_live[i].load()];
        if (!text[0]) continue;
        put(fd, kTitle[i]);
        put(fd, text);
    }
    put(fd, "\nLog (last lines before the crash):\n");
    put_log_tail(fd);
    put(fd, "\nLog file:\n  ");
    put(fd, g_log[0] ? g_log : "(unknown)");
    put(fd, "\n\nBacktrace:\n");
    const int frames = backtrace(g_frames, kMaxFrames);
    backtrace_symbols_fd(g_frames, frames, fd);
    put(fd, "\n=== end of report ===\n");
}

// Only the first fault writes a report. A fault inside the handler itself
// ends the process at once with what is written; a fault on another thread
// waits for the first report to be finished, which ends the process.
void on_crash(int sig) {
    const long self = syscall(SYS_gettid);
    long none = 0;
    if (!g_reporting.compare_exchange_strong(none, self)) {
        if (none != self) {
            const timespec nap{0, kNapNs};
            for (int i = 0; i < kWaitNaps; ++i) nanosleep(&nap, nullptr);
        }
        die_by(sig);
        return;
    }
    const int fd = open_report();
    if (fd >= 0) {
        write_report(fd, sig);
        close(fd);
    }
    die_by(sig);
}

}  // namespace

// ---- Installation ----

namespace state {

void install_handler() {
    // The first call loads the unwinder; doing it now keeps the loader out of
    // the signal handler.
    backtrace(g_frames, 1);
    g_started = time(nullptr);
    // The calling (main) thread gets a stack of its own for the handler,
    // unless the host or a runtime has already given it one.
    stack_t old;
    if (sigaltstack(nullptr, &old) == 0 && (old.ss_flags & SS_DISABLE)) {
        stack_t ss;
        memset(&ss, 0, sizeof ss);
        ss.ss_sp = g_alt_stack;
        ss.ss_size = sizeof g_alt_stack;
        sigaltstack(&ss, nullptr);
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_crash;
    sigemptyset(&sa.sa_mask);
    // No reset-to-default flag: a second fault while the report is written
    // must reach the handler's once-guard, not end the process half-way.
    sa.sa_flags = SA_ONSTACK;
    for (int sig : kFatalSignals) sigaction(sig, &sa, nullptr);
}

}  // namespace state

// ---- File helpers ----

namespace detail {

bool file_exists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool file_rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void file_remove(const std::string& path) { unlink(path.c_str()); }

bool file_copy(const std::string& from, const std::string& to) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const std::string tmp = to + ".tmp";
    unlink(tmp.c_str());
    const int out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateMode);
    if (out < 0) {
        close(in);
        return false;
    }
    char buf[kCopyBlock];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        const char* p = buf;
        size_t left = static_cast<size_t>(n);
        while (ok && left > 0) {
            const ssize_t w = write(out, p, left);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) ok = false;
            else {
                p += w;
                left -= static_cast<size_t>(w);
            }
        }
        if (!ok) break;
    }
    close(in);
    if (close(out) != 0) ok = false;
    if (ok) ok = std::rename(tmp.c_str(), to.c_str()) == 0;
    if (!ok) unlink(tmp.c_str());
    return ok;
}

bool file_move(const std::string& from, const std::string& to) {
    if (file_rename(from, to)) return true;
    // The temporary location is usually a tmpfs, another file system than
    // the configuration directory, where rename cannot move a file.
    if (errno != EXDEV || !file_copy(from, to)) return false;
    file_remove(from);
    return true;
}

bool file_read(const std::string& path, std::string& out, size_t max) {
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rbe");
    if (!f) return false;
    char buf[kCopyBlock];
    while (out.size() < max) {
        const size_t n = std::fread(buf, 1, sizeof buf, f);
        out.append(buf, n);
        if (n < sizeof buf) break;
    }
    std::fclose(f);
    return true;
}

// ---- Opening URIs ----

void open_uri(const std::string& uri) {
    if (app().open_uri) {
        app().open_uri(uri.c_str());
        return;
    }
    // Double fork: the opener is adopted by init, so it never lingers as a
    // zombie and its run time never blocks the caller.
    const pid_t pid = fork();
    if (pid < 0) return;
    if (pid == 0) {
        if (fork() != 0) _exit(0);
        execlp("xdg-open", "xdg-open", uri.c_str(), static_cast<char*>(nullptr));
        _exit(kExecFailed);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

std::string folder_uri(const std::string& dir) { return "file://" + dir; }

}  // namespace detail

}  // namespace zxcrash
