// Mailing a crash report: the mail texts, and every way of composing run for
// real in child processes against fakes: a Thunderbird registered as the
// mailto handler, a desktop portal on a private session bus, and xdg-email.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <fcntl.h>
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dbus_session.h"
#include "kit.h"
#include "zxcrash.h"
#include "zxcrash_detail.h"

namespace zd = zxcrash::detail;

namespace {

constexpr int kWaitMs = 10000;
constexpr const char* kTo = "crash@example.org";
constexpr const char* kSubject = "zxtest 9.9.9 (Build 77) crash report";

// ---- Helpers ----

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool wait_for(const std::function<bool()>& ready, int ms = kWaitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string g_log_file;
std::string g_uri_file;

void append(const std::string& path, const std::string& line) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::string l = line + "\n";
    if (write(fd, l.data(), l.size()) < 0) {
    }
    close(fd);
}
void child_log(const char* level, const char* message) { append(g_log_file, std::string(level) + " " + message); }
void child_open_uri(const char* uri) { append(g_uri_file, uri); }

// A desktop made of scratch folders: an empty application database unless a
// test registers a mail handler, fake programs on PATH, no session bus
// unless a test starts one.
class MailTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kit::scratch_dir("mail");
        home = dir + "/home";
        bin = dir + "/bin";
        data = dir + "/data";
        config = dir + "/config";
        files = dir + "/files";
        for (const auto& d : {home, bin, data, data + "/applications", config, files}) mkdir(d.c_str(), 0700);
        g_log_file = dir + "/log";
        g_uri_file = dir + "/uris";
        bus_address = "unix:path=" + dir + "/no-bus";
        report = "=== zxtest crash report ===\nSignal: SIGSEGV (Segmentation fault)\n";
        kit::write_file(files + "/crash_report-sent.txt", report);
        kit::write_file(files + "/crash_log-sent.txt", "old log\n");
        attachments = {files + "/crash_report-sent.txt", files + "/crash_log-sent.txt"};
    }

    void fake_xdg_email(int status) { kit::fake_program(bin, "xdg-email", dir, status); }

    // Registers `exec_line` as the desktop's mailto handler under `id`.
    void mail_handler(const std::string& id, const std::string& exec_line) {
        kit::write_file(data + "/applications/" + id,
                        "[Desktop Entry]\nType=Application\nName=Mail\nExec=" + exec_line +
                            "\nMimeType=x-scheme-handler/mailto;\n");
        kit::write_file(config + "/mimeapps.list", "[Default Applications]\nx-scheme-handler/mailto=" + id + "\n");
    }

    void fake_recorder(const std::string& name) { kit::fake_program(bin, name, dir); }

    // Runs `body` in a child that sees only this desktop; returns its exit code.
    int in_desktop(const std::function<int()>& body) {
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("PATH", bin.c_str(), 1);
            setenv("HOME", home.c_str(), 1);
            setenv("XDG_DATA_HOME", data.c_str(), 1);
            setenv("XDG_DATA_DIRS", (dir + "/none").c_str(), 1);
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            setenv("XDG_CONFIG_DIRS", (dir + "/none").c_str(), 1);
            setenv("GIO_USE_VFS", "local", 1);
            setenv("DBUS_SESSION_BUS_ADDRESS", bus_address.c_str(), 1);
            for (const char* v : {"SNAP", "FLATPAK_ID"}) unsetenv(v);
            zxcrash::App app;
            app.name = "zxtest";
            app.version = "9.9.9";
            app.build = "77";
            app.contact = kTo;
            app.log = child_log;
            app.open_uri = child_open_uri;
            zxcrash::install(app);
            _exit(body());
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::vector<std::string> log() const { return kit::lines(kit::read_file(g_log_file)); }

    std::string dir, home, bin, data, config, files, bus_address, report;
    std::vector<std::string> attachments;
};

}  // namespace

// ---- Texts ----

TEST(MailText, UrlEncodeKeepsOnlyUnreservedBytes) {
    EXPECT_EQ(zd::url_encode("a b&c"), "a%20b%26c");
    EXPECT_EQ(zd::url_encode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(zd::url_encode("ä\n/?="), "%C3%A4%0A%2F%3F%3D");
    EXPECT_EQ(zd::url_encode(std::string("\xff\x00", 2)), "%FF%00");
}

TEST(MailText, MailBodyCutsTheOldestLogLinesFirst) {
    std::string head = "=== r ===\nSignal: SIGSEGV\n\nBacktrace:\n";
    for (int i = 0; i < 40; ++i) head += "frame " + std::to_string(i) + "\n";
    std::string text = head + "\nLog (last lines before the crash):\n";
    for (int i = 0; text.size() < 19900; ++i) text += "12:00:00 INFO  line " + std::to_string(i) + "\n";
    text += "12:00:01 WARN  the very last line\n\nLog file:\n  /x/y.log\n=== end of report ===\n";
    ASSERT_GE(text.size(), 20000u);
    const std::string body = zd::mail_body(text, 6000);
    EXPECT_LE(body.size(), 6000u);
    EXPECT_GE(body.size(), 5900u) << "only as much as needed is cut";
    EXPECT_EQ(body.rfind(head, 0), 0u) << "the head is kept";
    EXPECT_NE(body.find("Log (last lines before the crash):\n[...]\n12:00:00 INFO  line "), std::string::npos);
    EXPECT_NE(body.find("the very last line\n\nLog file:\n  /x/y.log\n=== end of report ===\n"), std::string::npos);

    // Without a log section, or when cutting the log is not enough, the end goes.
    const std::string plain(7000, 'x');
    EXPECT_EQ(zd::mail_body(plain, 6000), std::string(6000, 'x') + "\n[...]");
    const std::string short_log = std::string(7000, 'h') + "\nLog (last lines before the crash):\nz\n";
    EXPECT_EQ(zd::mail_body(short_log, 6000), std::string(6000, 'h') + "\n[...]");
    EXPECT_EQ(zd::mail_body("short", 6000), "short");
}

TEST(MailText, ThunderbirdCommandLines) {
    bool confined = true;
    EXPECT_EQ(zd::thunderbird_argv("thunderbird.desktop", "/usr/bin/thunderbird %u", &confined),
              std::vector<std::string>{"/usr/bin/thunderbird"});
    EXPECT_FALSE(confined);
    EXPECT_EQ(zd::thunderbird_argv("thunderbird_thunderbird.desktop",
                                   "env BAMF=x /snap/bin/thunderbird %u", &confined),
              (std::vector<std::string>{"env", "BAMF=x", "/snap/bin/thunderbird"}));
    EXPECT_FALSE(confined) << "only a first token under /snap/ counts";
    EXPECT_EQ(zd::thunderbird_argv("tb.desktop", "/snap/bin/thunderbird %u", &confined),
              std::vector<std::string>{"/snap/bin/thunderbird"});
    EXPECT_TRUE(confined);
    EXPECT_EQ(zd::thunderbird_argv("org.mozilla.Thunderbird.desktop",
                                   "/usr/bin/flatpak run --branch=stable --file-forwarding "
                                   "org.mozilla.Thunderbird @@u %u @@",
                                   &confined),
              (std::vector<std::string>{"/usr/bin/flatpak", "run", "--branch=stable", "--file-forwarding",
                                        "org.mozilla.Thunderbird"}));
    EXPECT_TRUE(confined);
    EXPECT_TRUE(zd::thunderbird_argv("evolution.desktop", "evolution %U", &confined).empty());
    EXPECT_TRUE(zd::thunderbird_argv("thunderbird.desktop", "", &confined).empty());
    EXPECT_TRUE(zd::thunderbird_argv("thunderbird.desktop", "thunderbird 'unclosed", &confined).empty());
}

// ---- xdg-email ----

TEST_F(MailTest, SendWithOnlyAReportReachesXdgEmail) {
    fake_xdg_email(0);
    const std::string cfg = dir + "/cfg";
    mkdir(cfg.c_str(), 0700);
    kit::write_file(cfg + "/crash_report.txt", report);
    const int rc = in_desktop([&] {
        zxcrash::set_report_dir(cfg);
        zxcrash::send("");
        return wait_for([] { return kit::read_file(g_log_file).find("Crash report:") != std::string::npos; }) ? 0
                                                                                                               : 1;
    });
    ASSERT_EQ(rc, 0) << kit::read_file(g_log_file);
    const auto l = log();
    ASSERT_EQ(l.size(), 3u) << kit::read_file(g_log_file);
    EXPECT_EQ(l[0].rfind("WARN Mail portal: no session bus (", 0), 0u);
    EXPECT_EQ(l[1], "INFO xdg-email: exit 0");
    EXPECT_EQ(l[2], "INFO Crash report: mail composed with 1 attachments");
    const auto args = kit::recorded_args(dir + "/xdg-email.args");
    const std::vector<std::string> want = {
        "--utf8", "--subject", kSubject, "--body",
        "Attached: crash report and log files. The same follows as text.\n\n" + report, "--attach",
        cfg + "/crash_report-sent.txt", kTo};
    EXPECT_EQ(args, want);
}

TEST_F(MailTest, FailingXdgEmailFallsBackToMailLinkAndFolder) {
    fake_xdg_email(3);
    const int rc = in_desktop([&] {
        zxcrash::set_report_dir(files);
        zd::mail_report(report, attachments, "old log\n");
        return 0;
    });
    ASSERT_EQ(rc, 0);
    const auto l = log();
    ASSERT_EQ(l.size(), 3u) << kit::read_file(g_log_file);
    EXPECT_EQ(l[1], "WARN xdg-email: exit 3");
    EXPECT_EQ(l[2], "WARN Crash report: no way to attach files - opened mailto and the folder");
    const auto args = kit::recorded_args(dir + "/xdg-email.args");
    ASSERT_EQ(args.size(), 10u);
    EXPECT_EQ(args[4], "Attached: crash report and log files. The same follows as text.\n\n" + report +
                           "\n=== crash_log.txt (log of the crashed run) ===\nold log\n");
    const auto uris = kit::lines(kit::read_file(g_uri_file));
    ASSERT_EQ(uris.size(), 2u);
    EXPECT_EQ(uris[0], std::string("mailto:") + kTo + "?subject=" + zd::url_encode(kSubject) +
                           "&body=" + zd::url_encode(report));
    EXPECT_EQ(uris[1], "file://" + files);
}

TEST_F(MailTest, MissingXdgEmailCountsAsFailure) {
    const int rc = in_desktop([&] { return zd::via_xdg_email(kTo, kSubject, "b", attachments) ? 1 : 0; });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(log(), std::vector<std::string>{"WARN xdg-email: exit 127"});
}

// ---- Thunderbird ----

TEST_F(MailTest, ThunderbirdAsMailtoHandlerGetsComposeArgument) {
    fake_recorder("thunderbird");
    fake_xdg_email(0);
    mail_handler("thunderbird.desktop", bin + "/thunderbird %u");
    // A body file left from an earlier send, readable by others.
    kit::write_file(files + "/mail-body.txt", "an older body, longer than the new one");
    chmod((files + "/mail-body.txt").c_str(), 0644);
    const int rc = in_desktop([&] { return zd::compose_with_attachments(kTo, kSubject, "the body", attachments) ? 0 : 1; });
    ASSERT_EQ(rc, 0) << kit::read_file(g_log_file);
    EXPECT_EQ(log(), std::vector<std::string>{"INFO Thunderbird -compose"});
    ASSERT_TRUE(wait_for([&] { return exists(dir + "/thunderbird.args"); }));
    const auto args = kit::recorded_args(dir + "/thunderbird.args");
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[0], "-compose");
    EXPECT_EQ(args[1], std::string("to='") + kTo + "',subject='" + kSubject + "',message='" + files +
                           "/mail-body.txt',attachment='file://" + files + "/crash_report-sent.txt,file://" + files +
                           "/crash_log-sent.txt'");
    EXPECT_EQ(kit::read_file(files + "/mail-body.txt"), "the body");
    struct stat st;
    ASSERT_EQ(stat((files + "/mail-body.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the body holds the report and is as private as it";
    EXPECT_FALSE(exists(dir + "/xdg-email.args")) << "the first way that works ends the search";
}

TEST_F(MailTest, ConfinedThunderbirdGetsCopiesInTheDownloadFolder) {
    fake_recorder("flatpak");
    mail_handler("org.mozilla.Thunderbird.desktop",
                 bin + "/flatpak run --file-forwarding org.mozilla.Thunderbird @@u %u @@");
    kit::write_file(config + "/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n");
    const std::vector<std::string> with_missing = {attachments[0], files + "/gone.txt", attachments[1]};
    const int rc = in_desktop([&] { return zd::via_thunderbird(kTo, kSubject, "body", with_missing) ? 0 : 1; });
    ASSERT_EQ(rc, 0) << kit::read_file(g_log_file);
    const std::string target = home + "/Fetched/zxtest crash report";
    EXPECT_EQ(log(), std::vector<std::string>{"INFO Thunderbird -compose (files copied to " + target + ")"});
    EXPECT_EQ(kit::read_file(target + "/crash_report-sent.txt"), report);
    EXPECT_EQ(kit::read_file(target + "/mail-body.txt"), "body");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_TRUE(wait_for([&] { return exists(dir + "/flatpak.args"); }));
    const auto args = kit::recorded_args(dir + "/flatpak.args");
    ASSERT_EQ(args.size(), 5u);
    EXPECT_EQ(args[2], "org.mozilla.Thunderbird");
    EXPECT_EQ(args[3], "-compose");
    // Spaces in the folder name are percent-encoded in the file URIs.
    EXPECT_NE(args[4].find("attachment='file://" + home + "/Fetched/zxtest%20crash%20report/crash_report-sent.txt,"),
              std::string::npos)
        << args[4];
    EXPECT_EQ(args[4].find("gone.txt"), std::string::npos);

    // When no file could be copied the log does not claim any were, nor
    // does the compose line. Waiting for the launched fake also keeps it
    // from writing into the scratch folder while that is being removed.
    unlink(g_log_file.c_str());
    unlink((dir + "/flatpak.args").c_str());
    const int rc2 = in_desktop([&] { return zd::via_thunderbird(kTo, kSubject, "body", {files + "/gone.txt"}) ? 0 : 1; });
    ASSERT_EQ(rc2, 0) << kit::read_file(g_log_file);
    EXPECT_EQ(log(), std::vector<std::string>{"INFO Thunderbird -compose"});
    ASSERT_TRUE(wait_for([&] { return exists(dir + "/flatpak.args"); }));
    const auto args2 = kit::recorded_args(dir + "/flatpak.args");
    ASSERT_EQ(args2.size(), 5u);
    EXPECT_EQ(args2[4].find("attachment="), std::string::npos) << args2[4];
}

// ---- Desktop portal ----

namespace {

constexpr const char* kPortalXml =
    "<node><interface name='org.freedesktop.portal.Email'>"
    "<method name='ComposeEmail'><arg type='s' direction='in'/><arg type='a{sv}' direction='in'/>"
    "<arg type='o' direction='out'/></method>"
    "<property name='version' type='u' access='read'/>"
    "</interface></node>";

struct PortalConfig {
    guint32 version;
    bool respond;
    guint32 code;
    std::string record;  // folder the fake writes what it received into
};

PortalConfig g_portal;

void portal_call(GDBusConnection* conn, const gchar* sender, const gchar*, const gchar*, const gchar*,
                 GVariant* parameters, GDBusMethodInvocation* invocation, gpointer) {
    const gchar* parent = nullptr;
    GVariant* options = nullptr;
    g_variant_get(parameters, "(&s@a{sv})", &parent, &options);
    gchar* printed = g_variant_print(options, FALSE);
    kit::write_file(g_portal.record + "/options", printed);
    g_free(printed);
    // What arrived through each descriptor.
    GUnixFDList* fds = g_dbus_message_get_unix_fd_list(g_dbus_method_invocation_get_message(invocation));
    std::string contents;
    for (int i = 0; fds && i < g_unix_fd_list_get_length(fds); ++i) {
        const int fd = g_unix_fd_list_get(fds, i, nullptr);
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        contents += std::string(buf, n > 0 ? static_cast<size_t>(n) : 0) + "|";
        close(fd);
    }
    kit::write_file(g_portal.record + "/fds", contents);
    const gchar* token = "none";
    g_variant_lookup(options, "handle_token", "&s", &token);
    std::string who = sender + 1;
    for (char& c : who)
        if (c == '.') c = '_';
    const std::string handle = "/org/freedesktop/portal/desktop/request/" + who + "/" + token;
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", handle.c_str()));
    if (g_portal.respond) {
        GVariantBuilder results;
        g_variant_builder_init(&results, G_VARIANT_TYPE("a{sv}"));
        g_dbus_connection_emit_signal(conn, sender, handle.c_str(), "org.freedesktop.portal.Request", "Response",
                                      g_variant_new("(ua{sv})", g_portal.code, &results), nullptr);
    }
    g_variant_unref(options);
}

GVariant* portal_property(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
                          gpointer) {
    return g_variant_new_uint32(g_portal.version);
}

// The fake portal: owns the portal's name on the private bus and answers
// ComposeEmail. Runs until killed.
[[noreturn]] void serve_portal(const std::string& address, int ready_fd) {
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kPortalXml, nullptr);
    static const GDBusInterfaceVTable vtable = {portal_call, portal_property, nullptr, {}};
    GDBusConnection* conn = PrivateBus::connect_and_own(address, "org.freedesktop.portal.Desktop");
    if (!conn) _exit(2);
    if (!g_dbus_connection_register_object(conn, "/org/freedesktop/portal/desktop", node->interfaces[0], &vtable,
                                           nullptr, nullptr, nullptr))
        _exit(3);
    if (write(ready_fd, "r", 1) != 1) _exit(5);
    close(ready_fd);
    g_main_loop_run(g_main_loop_new(nullptr, FALSE));
    _exit(0);
}

}  // namespace

class PortalTest : public MailTest {
protected:
    void SetUp() override {
        MailTest::SetUp();
        if (!PrivateBus::installed()) GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus)";
        record = dir + "/portal";
        mkdir(record.c_str(), 0700);
    }
    void TearDown() override {
        // Only the processes this test started.
        if (portal_pid > 0) {
            kill(portal_pid, SIGTERM);
            waitpid(portal_pid, nullptr, 0);
        }
        bus.reset();
    }

    // A private session bus with the fake portal on it.
    void start_portal(guint32 version, bool respond, guint32 code = 0) {
        bus = std::make_unique<PrivateBus>(dir);
        ASSERT_TRUE(bus->ok()) << "the bus did not start";
        bus_address = bus->address();
        g_portal = {version, respond, code, record};
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        std::fflush(nullptr);
        portal_pid = fork();
        if (portal_pid == 0) {
            close(ready[0]);
            serve_portal(bus_address, ready[1]);
        }
        close(ready[1]);
        pollfd p = {ready[0], POLLIN, 0};
        char c = 0;
        const bool up = poll(&p, 1, kWaitMs) == 1 && read(ready[0], &c, 1) == 1;
        close(ready[0]);
        ASSERT_TRUE(up) << "the fake portal did not start";
    }

    std::unique_ptr<PrivateBus> bus;
    std::string record;
    pid_t portal_pid = -1;
};

TEST_F(PortalTest, VersionThreeGetsAddressesAndTheFiles) {
    // Sandboxed: Thunderbird and xdg-email are there but must not be used.
    fake_recorder("thunderbird");
    fake_xdg_email(0);
    mail_handler("thunderbird.desktop", bin + "/thunderbird %u");
    start_portal(3, true);
    const std::vector<std::string> with_missing = {attachments[0], files + "/gone.txt", attachments[1]};
    const int rc = in_desktop([&] {
        setenv("FLATPAK_ID", "org.example.Test", 1);
        return zd::compose_with_attachments(kTo, kSubject, "the body", with_missing) ? 0 : 1;
    });
    ASSERT_EQ(rc, 0) << kit::read_file(g_log_file);
    EXPECT_EQ(log(), std::vector<std::string>{"INFO Mail portal v3: response 0"});
    const std::string options = kit::read_file(record + "/options");
    EXPECT_NE(options.find("'addresses': <['crash@example.org']>"), std::string::npos) << options;
    EXPECT_EQ(options.find("'address':"), std::string::npos);
    EXPECT_NE(options.find("'subject': <'zxtest 9.9.9 (Build 77) crash report'>"), std::string::npos);
    EXPECT_NE(options.find("'body': <'the body'>"), std::string::npos);
    EXPECT_NE(options.find("'handle_token': <'zxcrash"), std::string::npos);
    EXPECT_EQ(kit::read_file(record + "/fds"), report + "|old log\n|");
    EXPECT_FALSE(exists(dir + "/thunderbird.args"));
    EXPECT_FALSE(exists(dir + "/xdg-email.args"));
}

TEST_F(PortalTest, VersionTwoGetsOneAddressAndCancelFallsThrough) {
    fake_xdg_email(0);
    start_portal(2, true, 1);
    const int rc = in_desktop([&] {
        return zd::compose_with_attachments(kTo, kSubject, "b\xff", attachments) ? 0 : 1;
    });
    ASSERT_EQ(rc, 0) << kit::read_file(g_log_file);
    EXPECT_EQ(log(), (std::vector<std::string>{"WARN Mail portal v2: response 1", "INFO xdg-email: exit 0"}));
    const std::string options = kit::read_file(record + "/options");
    EXPECT_NE(options.find("'address': <'crash@example.org'>"), std::string::npos) << options;
    EXPECT_EQ(options.find("'addresses'"), std::string::npos);
    // A body that is not valid UTF-8 still reaches the portal.
    EXPECT_NE(options.find("'body': <'b"), std::string::npos);
}

TEST_F(PortalTest, NoResponseTimesOutAndXdgEmailIsTriedNext) {
    fake_xdg_email(0);
    start_portal(3, false);
    const auto started = std::chrono::steady_clock::now();
    const int rc = in_desktop([&] {
        zd::set_portal_timeout_ms(300);
        return zd::compose_with_attachments(kTo, kSubject, "b", attachments) ? 0 : 1;
    });
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(rc, 0) << kit::read_file(g_log_file);
    EXPECT_EQ(log(), (std::vector<std::string>{"WARN Mail portal v3: response none (30 s)", "INFO xdg-email: exit 0"}));
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_TRUE(exists(dir + "/xdg-email.args"));
}
