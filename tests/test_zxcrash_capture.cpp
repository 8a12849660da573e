// Crash capture and the report files: child processes that register the
// library and die of a real fault, the report's layout, the temporary
// location, pending/discard/send, and the real program killed mid-command.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kit.h"
#include "zxcrash.h"
#include "zxcrash_detail.h"

namespace {

constexpr const char* kName = "zxtest";
constexpr int kWaitMs = 10000;

// Runs `body` in a forked child; returns the raw wait status. The parent
// never installs the handler, so a failing test cannot trip it.
int in_child(const std::function<void()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

void append_line(const std::string& path, const std::string& line) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::string l = line + "\n";
    if (write(fd, l.data(), l.size()) < 0) {
    }
    close(fd);
}

// The child's log callback and URI opener write to files the parent reads.
std::string g_child_log;
std::string g_child_uris;

void child_log(const char* level, const char* message) {
    append_line(g_child_log, std::string(level) + " " + message);
}
void child_open_uri(const char* uri) { append_line(g_child_uris, uri); }

void install_test_app() {
    zxcrash::App app;
    app.name = kName;
    app.version = "9.9.9";
    app.build = "77";
    app.contact = "crash@example.org";
    app.package = "zxtest-pkg";
    app.log = child_log;
    app.open_uri = child_open_uri;
    zxcrash::install(app);
}

// A real invalid memory access, not a null pointer, so the sanitizers let
// the fault reach the handler.
volatile uintptr_t g_bad_address = 16;
void segfault() {
    volatile int* p = reinterpret_cast<volatile int*>(g_bad_address);
    *p = 1;
}

// Recursion that cannot be turned into a loop: each frame keeps a buffer
// alive across the call. The limit is never reached, but the compiler cannot
// know that.
volatile int g_depth_limit = 1 << 30;
int overflow_stack(int depth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    if (depth >= g_depth_limit) return frame[0];
    return overflow_stack(depth + 1) + frame[0];
}

mode_t mode_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Index of the first line equal to `want` (or starting with it) from `from` on; -1 if none.
int find_line(const std::vector<std::string>& lines, const std::string& want, size_t from = 0,
              bool prefix = false) {
    for (size_t i = from; i < lines.size(); ++i) {
        if (prefix ? lines[i].rfind(want, 0) == 0 : lines[i] == want) return static_cast<int>(i);
    }
    return -1;
}

class CrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kit::scratch_dir("crash");
        runtime = dir + "/run";
        mkdir(runtime.c_str(), 0700);
        g_child_log = dir + "/child.log";
        g_child_uris = dir + "/child.uris";
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

    std::string report() const { return dir + "/crash_report.txt"; }
    std::string temp_report() const { return runtime + "/" + kName + "_crash.txt"; }

    std::string dir, runtime;
};

}  // namespace

// ---- The report a crash leaves ----

TEST_F(CrashTest, SegfaultWritesEverySectionInOrderAndDiesOfTheSignal) {
    const std::string log = dir + "/app.log";
    kit::write_file(log, "10:00:00 INFO  started\n10:00:01 WARN  last words\n");
    const int status = in_child([&] {
        setenv("XDG_CURRENT_DESKTOP", "TestDesk", 1);
        setenv("XDG_SESSION_TYPE", "x11", 1);
        setenv("SNAP_REVISION", "42", 1);
        install_test_app();
        zxcrash::set_log_file(log);
        zxcrash::set_report_dir(dir);
        zxcrash::record_system();
        zxcrash::record_graphics({"renderer: old"});
        zxcrash::record_graphics({"renderer: new"});
        zxcrash::record_audio({"pulse 48000 Hz"});
        zxcrash::record_audio({"pulse 48000 Hz"});
        segfault();
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_EQ(mode_of(report()), 0600u);

    const std::string text = kit::read_file(report());
    const auto l = kit::lines(text);
    ASSERT_GE(l.size(), 12u) << text;
    EXPECT_EQ(l[0], "=== zxtest crash report ===");
    EXPECT_EQ(l[1], "Version: 9.9.9 (Build 77)");
    EXPECT_EQ(l[2].rfind("Package: ", 0), 0u) << l[2];
    EXPECT_EQ(l[3], "Snap revision: 42");
    EXPECT_EQ(l[4], "Signal: SIGSEGV (Segmentation fault)");
    EXPECT_EQ(l[5].rfind("Time (unix): ", 0), 0u);
    EXPECT_GT(std::atoll(l[5].c_str() + 13), 1600000000LL);
    EXPECT_EQ(l[6].rfind("Running for (s): ", 0), 0u);
    EXPECT_LE(std::atoll(l[6].c_str() + 17), 5);
    EXPECT_EQ(l[7].rfind("System: Linux ", 0), 0u) << l[7];
    EXPECT_EQ(l[8], "Desktop: TestDesk");
    EXPECT_EQ(l[9], "Session: x11");
    EXPECT_EQ(l[10], "");

    // Sections follow in their fixed order; the backtrace comes last, so a
    // fault while walking the stack cannot cost the others.
    const int gfx = find_line(l, "--- Graphics ---", 10);
    const int audio = find_line(l, "--- Audio ---", 10);
    const int sys = find_line(l, "--- System ---", 10);
    const int logh = find_line(l, "Log (last lines before the crash):", 10);
    const int logf = find_line(l, "Log file:", 10);
    const int bt = find_line(l, "Backtrace:", 10);
    ASSERT_TRUE(gfx == 11 && audio > gfx && sys > audio && logh > sys && logf > logh && bt > logf) << text;
    EXPECT_LT(bt + 2, static_cast<int>(l.size()) - 1) << "backtrace has frames";
    // The machine's graphics devices come first, then the caller's lines;
    // only the second recording is in the report.
    EXPECT_EQ(l[gfx + 1].rfind("GPU", 0), 0u) << l[gfx + 1];
    EXPECT_EQ(l[audio - 2], "renderer: new");
    EXPECT_EQ(text.find("renderer: old"), std::string::npos);
    EXPECT_EQ(l[audio + 1], "pulse 48000 Hz");
    EXPECT_EQ(l[sys + 1].rfind("OS: ", 0), 0u);
    EXPECT_GE(find_line(l, "RAM: ", sys, true), 0);
    EXPECT_EQ(l[logh + 1], "10:00:00 INFO  started");
    EXPECT_EQ(l[logh + 2], "10:00:01 WARN  last words");
    EXPECT_EQ(l[logf + 1], "  " + log);
    EXPECT_EQ(l.back(), "=== end of report ===");
    EXPECT_EQ(text.back(), '\n');

    // record_system also reached the host's log.
    const std::string child_log = kit::read_file(g_child_log);
    EXPECT_NE(child_log.find("INFO System: OS: "), std::string::npos);
    EXPECT_NE(child_log.find("INFO Graphics: renderer: new"), std::string::npos);
    const size_t audio_line = child_log.find("INFO Audio: pulse 48000 Hz");
    EXPECT_NE(audio_line, std::string::npos);
    EXPECT_EQ(child_log.find("INFO Audio:", audio_line + 1), std::string::npos) << "unchanged audio is not logged again";
}

TEST_F(CrashTest, AbortWithoutLogOrContextsStillCompletes) {
    const int status = in_child([&] {
        unsetenv("XDG_CURRENT_DESKTOP");
        unsetenv("XDG_SESSION_TYPE");
        unsetenv("SNAP_REVISION");
        install_test_app();
        zxcrash::set_report_dir(dir);
        std::abort();
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    const std::string text = kit::read_file(report());
    const auto l = kit::lines(text);
    ASSERT_GE(l.size(), 8u) << text;
    EXPECT_EQ(l[2], "Signal: SIGABRT (Abort)") << "no package and no snap line";
    EXPECT_EQ(text.find("Desktop: "), std::string::npos);
    EXPECT_EQ(text.find("--- "), std::string::npos) << "empty contexts are left out";
    EXPECT_NE(text.find("\nLog (last lines before the crash):\n\nLog file:\n  (unknown)\n\nBacktrace:\n"),
              std::string::npos)
        << text;
}

TEST_F(CrashTest, LogTailKeepsWholeLinesOnly) {
    // 2500 bytes are shown whole; at 2501 the first line is partial and dropped.
    std::string body;
    for (int i = 0; body.size() < 2500; ++i) body += "line " + std::to_string(i) + " " + std::string(40, 'x') + "\n";
    const std::string rest = body.substr(body.find('\n') + 1);
    const std::string first = "first line\n";
    const std::string exact = first + rest.substr(rest.size() - (2500 - first.size()));
    ASSERT_EQ(exact.size(), 2500u);
    for (const std::string& content : {exact, "X" + exact}) {
        const std::string log = dir + "/tail.log";
        kit::write_file(log, content);
        unlink(report().c_str());
        in_child([&] {
            install_test_app();
            zxcrash::set_log_file(log);
            zxcrash::set_report_dir(dir);
            std::abort();
        });
        const std::string text = kit::read_file(report());
        const size_t from = text.find("crash):\n") + 8;
        const size_t to = text.find("\nLog file:");
        ASSERT_NE(to, std::string::npos);
        const std::string shown = text.substr(from, to - from);
        if (content.size() == 2500) {
            EXPECT_EQ(shown, content);
        } else {
            EXPECT_EQ(shown, content.substr(first.size() + 1));
        }
    }
}

TEST_F(CrashTest, StackOverflowStillLeavesAReport) {
    // The faulting stack has no room left; the handler needs one of its own.
    const int status = in_child([&] {
        install_test_app();
        zxcrash::set_report_dir(dir);
        _exit(overflow_stack(0));
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    const std::string text = kit::read_file(report());
    EXPECT_NE(text.find("\nSignal: SIGSEGV (Segmentation fault)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n=== end of report ===\n"), std::string::npos);
}

#if defined(__x86_64__)
// Faults with both stack registers pointing at unmapped memory: the handler
// runs on its own stack, but walking the faulting one faults again.
[[noreturn]] void fault_on_corrupt_stack() {
    asm volatile("mov $0x10, %rsp\n\tmov $0x10, %rbp\n\tud2");
    __builtin_unreachable();
}
#endif

TEST_F(CrashTest, FaultInsideTheHandlerKeepsTheFirstReport) {
#if !defined(__x86_64__)
    GTEST_SKIP() << "the corrupt stack is made with x86-64 instructions";
#else
    const std::string log = dir + "/app.log";
    kit::write_file(log, "10:00:01 WARN  last words\n");
    const int status = in_child([&] {
        install_test_app();
        zxcrash::set_log_file(log);
        zxcrash::set_report_dir(dir);
        zxcrash::set_context(zxcrash::Context::Graphics, "renderer: test\n");
        fault_on_corrupt_stack();
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::string text = kit::read_file(report());
    EXPECT_NE(text.find("\nSignal: SIGILL (Illegal instruction)\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("SIGSEGV"), std::string::npos) << "the second fault must not rewrite the report";
    EXPECT_NE(text.find("\n--- Graphics ---\nrenderer: test\n"), std::string::npos) << text;
    EXPECT_NE(text.find("crash):\n10:00:01 WARN  last words\n"), std::string::npos) << text;
#endif
}

TEST_F(CrashTest, TwoThreadsFaultingTogetherLeaveOneCompleteReport) {
    // The second thread faults while the first one's report is being written.
    std::string big_context(2000, 'c');
    const int status = in_child([&] {
        install_test_app();
        zxcrash::set_report_dir(dir);
        for (zxcrash::Context c : {zxcrash::Context::Graphics, zxcrash::Context::Audio, zxcrash::Context::System})
            zxcrash::set_context(c, big_context);
        const std::string path = report();
        std::thread second([&path] {
            struct stat st;
            while (stat(path.c_str(), &st) != 0 || st.st_size == 0) {
            }
            pthread_kill(pthread_self(), SIGSEGV);
        });
        std::thread first([] { pthread_kill(pthread_self(), SIGFPE); });
        first.join();
        second.join();
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGFPE) << "the first fault ends the process";
    const std::string text = kit::read_file(report());
    EXPECT_NE(text.find("\nSignal: SIGFPE (Floating point exception)\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("SIGSEGV"), std::string::npos);
    EXPECT_EQ(text.rfind("\n=== end of report ===\n"), text.size() - 23) << text;
}

TEST_F(CrashTest, ExistingReportBecomesPrivateAndTruncated) {
    kit::write_file(report(), std::string(100000, 'o'));
    chmod(report().c_str(), 0644);
    in_child([&] {
        install_test_app();
        zxcrash::set_report_dir(dir);
        std::abort();
    });
    EXPECT_EQ(mode_of(report()), 0600u);
    const std::string text = kit::read_file(report());
    EXPECT_EQ(text.find('o' + std::string(10, 'o')), std::string::npos);
    EXPECT_EQ(text.rfind("=== end of report ===\n"), text.size() - 22);
}

// ---- The temporary location ----

TEST_F(CrashTest, CrashBeforeReportDirIsFoundAfterIt) {
    in_child([&] {
        install_test_app();
        segfault();
    });
    ASSERT_TRUE(exists(temp_report()));
    EXPECT_EQ(mode_of(temp_report()), 0600u);
    const int status = in_child([&] {
        install_test_app();
        zxcrash::set_report_dir(dir);
        _exit(zxcrash::pending() ? 3 : 4);
    });
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_FALSE(exists(temp_report()));
    EXPECT_NE(kit::read_file(report()).find("Signal: SIGSEGV"), std::string::npos);
}

TEST_F(CrashTest, TemporaryReportMovesAcrossFileSystems) {
    struct stat home_st, shm_st;
    if (stat(dir.c_str(), &home_st) != 0 || stat("/dev/shm", &shm_st) != 0 || home_st.st_dev == shm_st.st_dev)
        GTEST_SKIP() << "no second file system (/dev/shm) to move the report from";
    char tmpl[] = "/dev/shm/zxcrash-test-XXXXXX";
    const char* shm = mkdtemp(tmpl);
    ASSERT_NE(shm, nullptr);
    const std::string temp = std::string(shm) + "/" + kName + "_crash.txt";
    in_child([&] {
        setenv("XDG_RUNTIME_DIR", shm, 1);
        install_test_app();
        std::abort();
    });
    ASSERT_TRUE(exists(temp));
    in_child([&] {
        setenv("XDG_RUNTIME_DIR", shm, 1);
        install_test_app();
        zxcrash::set_report_dir(dir);
    });
    EXPECT_FALSE(exists(temp));
    EXPECT_NE(kit::read_file(report()).find("Signal: SIGABRT"), std::string::npos);
    EXPECT_EQ(mode_of(report()), 0600u);
    rmdir(shm);
}

TEST_F(CrashTest, TemporaryPathDoesNotFollowSymlinks) {
    // Someone else's link at the predictable temporary name must not make a
    // crash overwrite the file it points to.
    const std::string victim = dir + "/victim.txt";
    kit::write_file(victim, "keep me");
    ASSERT_EQ(symlink(victim.c_str(), temp_report().c_str()), 0);
    const int status = in_child([&] {
        install_test_app();
        std::abort();
    });
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_EQ(kit::read_file(victim), "keep me");
}

TEST_F(CrashTest, FifoAtTemporaryPathDoesNotHangTheCrash) {
    // Opening a pipe nobody reads would block the dying process for good.
    ASSERT_EQ(mkfifo(temp_report().c_str(), 0600), 0);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        install_test_app();
        std::abort();
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the crash handler hung on the pipe";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
}

// ---- Pending, discard, send ----

TEST_F(CrashTest, PendingCopiesTheCrashedRunsLogOnce) {
    const std::string log = dir + "/app.log";
    kit::write_file(log, "crashed run\n");
    kit::write_file(report(), "=== report ===\n");
    const int status = in_child([&] {
        install_test_app();
        if (zxcrash::rotate_log(log) != log + ".1") _exit(10);
        zxcrash::set_report_dir(dir);
        std::string text;
        if (!zxcrash::pending(&text) || text != "=== report ===\n") _exit(11);
        kit::write_file(log + ".1", "a later run\n");
        if (!zxcrash::pending()) _exit(12);
        _exit(0);
    });
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(exists(log));
    EXPECT_EQ(kit::read_file(dir + "/crash_log.txt"), "crashed run\n");
    EXPECT_EQ(mode_of(dir + "/crash_log.txt"), 0600u);
}

TEST_F(CrashTest, PendingWithoutRotatedLogCreatesNoCopyAndDiscardEndsIt) {
    kit::write_file(report(), "=== report ===\n");
    const int status = in_child([&] {
        install_test_app();
        if (!zxcrash::rotate_log(dir + "/missing.log").empty()) _exit(10);
        zxcrash::set_report_dir(dir);
        if (!zxcrash::pending()) _exit(11);
        if (exists(dir + "/crash_log.txt")) _exit(12);
        zxcrash::discard();
        if (zxcrash::pending()) _exit(13);
        _exit(0);
    });
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(exists(report()));
    // An empty report is not a pending one.
    kit::write_file(report(), "");
    EXPECT_EQ(WEXITSTATUS(in_child([&] {
                  install_test_app();
                  zxcrash::set_report_dir(dir);
                  _exit(zxcrash::pending() ? 1 : 0);
              })),
              0);
}

TEST_F(CrashTest, SendInSandboxMovesFilesAndFallsBackToMailLinkAndFolder) {
    kit::write_file(report(), "=== zxtest crash report ===\nSignal: SIGSEGV (Segmentation fault)\n");
    kit::write_file(dir + "/crash_log.txt", "log of the crash\n");
    const std::string current = dir + "/current.log";
    kit::write_file(current, "current run\n");
    const int status = in_child([&] {
        // Sandboxed: only the portal may be tried, and there is no bus.
        setenv("FLATPAK_ID", "org.example.Test", 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir + "/no-bus").c_str(), 1);
        install_test_app();
        zxcrash::set_report_dir(dir);
        zxcrash::send(current);
        if (zxcrash::pending()) _exit(10);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (kit::read_file(g_child_log).find("no way to attach") == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) _exit(11);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        _exit(0);
    });
    ASSERT_EQ(WEXITSTATUS(status), 0) << kit::read_file(g_child_log);
    EXPECT_FALSE(exists(report()));
    EXPECT_TRUE(exists(dir + "/crash_report-sent.txt"));
    EXPECT_TRUE(exists(dir + "/crash_log-sent.txt"));
    EXPECT_TRUE(exists(current)) << "the current log is attached, not moved";

    const auto log = kit::lines(kit::read_file(g_child_log));
    ASSERT_EQ(log.size(), 2u) << kit::read_file(g_child_log);
    EXPECT_EQ(log[0].rfind("WARN Mail portal: no session bus (", 0), 0u);
    EXPECT_EQ(log[1], "WARN Crash report: no way to attach files - opened mailto and the folder");
    const auto uris = kit::lines(kit::read_file(g_child_uris));
    ASSERT_EQ(uris.size(), 2u);
    EXPECT_EQ(uris[0].rfind("mailto:crash@example.org?subject=zxtest%209.9.9%20%28Build%2077%29%20crash%20report"
                            "&body=%3D%3D%3D%20zxtest%20crash%20report",
                            0),
              0u)
        << uris[0];
    EXPECT_EQ(uris[1], "file://" + dir);
}

// ---- The real program ----

namespace {

// Runs the program with its standard output on a full pipe, so it blocks in
// its first write while doing the command; then sends it `sig`.
int kill_program_mid_calc(int sig, const std::string& runtime) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    fcntl(fds[1], F_SETPIPE_SZ, 4096);
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    const std::string fill(4096, '.');
    while (write(fds[1], fill.data(), fill.size()) > 0) {
    }
    fcntl(fds[1], F_SETFL, 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        execl(ZXRC_EXE, ZXRC_EXE, "--calc", "raid6", "8", "12TB", "1", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    const std::string wchan = "/proc/" + std::to_string(pid) + "/wchan";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (kit::read_file(wchan).find("pipe_write") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fds[0]);
    return status;
}

}  // namespace

TEST_F(CrashTest, ProgramKilledDuringCalcLeavesReportSeenPendingLater) {
    for (int sig : {SIGSEGV, SIGBUS}) {
        const std::string temp = runtime + "/zxQuenlowsRaidCalculator_crash.txt";
        unlink(temp.c_str());
        const int status = kill_program_mid_calc(sig, runtime);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), sig);
        const std::string text = kit::read_file(temp);
        const auto l = kit::lines(text);
        ASSERT_GE(l.size(), 4u) << "no report at " << temp;
        EXPECT_EQ(l[0], "=== zxQuenlowsRaidCalculator crash report ===");
        EXPECT_EQ(l[1], "Version: 1.0.0 (Build 1028)");
        EXPECT_EQ(l[2], sig == SIGSEGV ? "Signal: SIGSEGV (Segmentation fault)" : "Signal: SIGBUS (Bus error)");
        EXPECT_NE(text.find("\nBacktrace:\n"), std::string::npos);
        EXPECT_EQ(l.back(), "=== end of report ===");
        EXPECT_EQ(mode_of(temp), 0600u);
    }
    // The next start, once it knows its configuration directory, sees it.
    const int status = in_child([&] {
        zxcrash::App app;
        app.name = "zxQuenlowsRaidCalculator";
        zxcrash::install(app);
        zxcrash::set_report_dir(dir);
        std::string text;
        _exit(zxcrash::pending(&text) && text.find("SIGBUS") != std::string::npos ? 0 : 1);
    });
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
