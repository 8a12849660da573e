// The desktop bridges seen from outside the real program under its own X
// server, with both renderers: the theme follows a fake settings portal on a
// private session bus (and GTK_THEME or the GTK settings file without one),
// guide commands reach the X clipboard exactly as "--guide" prints them,
// links reach xdg-open, and the window carries a plain X11 title.
#include <gtest/gtest.h>

#include <glib-unix.h>

#include <chrono>
#include <cmath>
#include <iostream>
#include <memory>

#include "app.h"
#include "dbus_session.h"
#include "kit.h"
#include "l10n.h"
#include "version.h"
#include "wkit.h"

namespace {

constexpr const char* kDark = "#0D0D0E";   // menu bar, dark theme
constexpr const char* kLight = "#E9E8E4";  // menu bar, light theme
constexpr int kCopiedMs = 1600;             // how long a copy button shows it copied
constexpr const char* kSettingsXml =
    "<node><interface name='org.freedesktop.portal.Settings'>"
    "<method name='Read'><arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='v' direction='out'/></method>"
    "<signal name='SettingChanged'><arg type='s'/><arg type='s'/><arg type='v'/></signal>"
    "</interface></node>";

bool near(const Px& p, const char* hex_rgb, int tol = 6) {
    const unsigned v = static_cast<unsigned>(std::strtoul(hex_rgb + 1, nullptr, 16));
    return std::abs(p.r - int(v >> 16 & 0xFF)) <= tol && std::abs(p.g - int(v >> 8 & 0xFF)) <= tol &&
           std::abs(p.b - int(v & 0xFF)) <= tol;
}

// Opens menu-bar menu `menu` and picks item `row`.
void pick(wkit::Program& p, int menu, int row) {
    p.click("mb:" + std::to_string(menu));
    p.click("menu:" + std::to_string(row));
}

// How many times the log says the desktop announced a colour scheme.
int announcements(const wkit::Program& p) {
    const std::string log = p.log(), line = "desktop colour scheme changed";
    int n = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++n;
    return n;
}

// ---- The fake settings portal ----

// The file holding the portal's answer: "1" dark, "2" light, "0" none, or
// "hang" to never answer.
std::string g_answer_file;

guint32 current_scheme() { return static_cast<guint32>(std::atoi(kit::read_file(g_answer_file).c_str())); }

void settings_call(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                   GDBusMethodInvocation* invocation, gpointer) {
    // A portal that hangs keeps the call unanswered for ever.
    if (kit::read_file(g_answer_file) == "hang") return;
    // Read wraps the value in a second variant.
    g_dbus_method_invocation_return_value(
        invocation, g_variant_new("(v)", g_variant_new_variant(g_variant_new_uint32(current_scheme()))));
}

// SIGUSR1: announce a change of the colour scheme, as a desktop switch does.
gboolean announce(gpointer conn) {
    g_dbus_connection_emit_signal(static_cast<GDBusConnection*>(conn), nullptr, "/org/freedesktop/portal/desktop",
                                  "org.freedesktop.portal.Settings", "SettingChanged",
                                  g_variant_new("(ssv)", "org.freedesktop.appearance", "color-scheme",
                                                g_variant_new_uint32(current_scheme())),
                                  nullptr);
    g_dbus_connection_flush_sync(static_cast<GDBusConnection*>(conn), nullptr, nullptr);
    return G_SOURCE_CONTINUE;
}

[[noreturn]] void serve_settings(const std::string& address, int ready_fd) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    GDBusConnection* conn = PrivateBus::connect_and_own(address, "org.freedesktop.portal.Desktop");
    if (!conn) _exit(2);
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kSettingsXml, nullptr);
    static const GDBusInterfaceVTable vtable = {settings_call, nullptr, nullptr, {}};
    if (!g_dbus_connection_register_object(conn, "/org/freedesktop/portal/desktop", node->interfaces[0], &vtable,
                                           nullptr, nullptr, nullptr))
        _exit(3);
    g_unix_signal_add(SIGUSR1, announce, conn);
    if (write(ready_fd, "r", 1) != 1) _exit(5);
    close(ready_fd);
    g_main_loop_run(loop);
    _exit(0);
}

class Desktop : public testing::TestWithParam<std::string> {
protected:
    wkit::Xvfb x;

    void SetUp() override {
        ASSERT_TRUE(x.ok()) << "Xvfb did not start";
        L10n::setLanguage("en");
    }
    void TearDown() override {
        stop_portal();
        bus.reset();
    }

    // A private bus; with `answer` not empty, the fake portal on it.
    void start_bus(const wkit::User& u, const std::string& answer) {
        if (!PrivateBus::installed()) GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus)";
        bus = std::make_unique<PrivateBus>(u.home);
        ASSERT_TRUE(bus->ok()) << "the bus did not start";
        if (answer.empty()) return;
        g_answer_file = u.home + "/portal-answer";
        answer_with(answer);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        std::fflush(nullptr);
        portal = fork();
        if (portal == 0) {
            close(ready[0]);
            serve_settings(bus->address(), ready[1]);
        }
        close(ready[1]);
        char c = 0;
        const bool up = read(ready[0], &c, 1) == 1;
        close(ready[0]);
        ASSERT_TRUE(up) << "the fake portal did not start";
    }
    void stop_portal() {
        if (portal <= 0) return;
        kill(portal, SIGTERM);
        waitpid(portal, nullptr, 0);
        portal = -1;
    }
    void answer_with(const std::string& a) { kit::write_file(g_answer_file, a); }
    void desktop_switch() { kill(portal, SIGUSR1); }
    std::vector<std::string> bus_env() const { return {"DBUS_SESSION_BUS_ADDRESS=" + bus->address()}; }

    static bool menu_bar_is(wkit::Program& p, const char* colour, int ms = wkit::kSyncMs) {
        return p.wait_pixel(p.w() - 6, 4, [colour](const Px& c) { return near(c, colour); }, ms);
    }

    std::unique_ptr<PrivateBus> bus;
    pid_t portal = -1;
};

// The commands "--guide" prints, in order.
std::vector<std::string> printed_commands(const std::vector<std::string>& args) {
    std::vector<std::string> cmds;
    for (const std::string& l : kit::lines(kit::run_app(args, {"LANGUAGE=en", "LC_ALL=", "LANG=C.UTF-8"}).out))
        if (!l.empty() && l[0] != '#') cmds.push_back(l);
    return cmds;
}

}  // namespace

TEST_P(Desktop, ThemeFollowsThePortalWhileAutomaticAndSurvivesTheBusGoing) {
    const wkit::User u = wkit::new_user("portal");
    start_bus(u, "1");
    wkit::Program p(x, u, GetParam(), {"--size", "1280x800"}, bus_env());
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    EXPECT_TRUE(menu_bar_is(p, kDark));
    // The plain X11 name beside the UTF-8 one.
    EXPECT_NE(wkit::x_run(x.display(), {"xprop", "-id", p.window_id(), "WM_NAME"})
                  .find("WM_NAME(STRING) = \"" + std::string(product::kName) + "\""),
              std::string::npos);

    answer_with("2");
    desktop_switch();
    EXPECT_TRUE(menu_bar_is(p, kLight));
    answer_with("1");
    desktop_switch();
    EXPECT_TRUE(menu_bar_is(p, kDark));

    // View > Light: the desktop no longer decides.
    pick(p, 1, 2);
    EXPECT_EQ(p.frame().settings().theme, "light");
    EXPECT_TRUE(menu_bar_is(p, kLight));
    const int seen = announcements(p);
    desktop_switch();
    EXPECT_TRUE(wkit::wait_until([&] { return announcements(p) > seen; }, 10000)) << p.log();
    EXPECT_TRUE(p.sync());
    EXPECT_TRUE(menu_bar_is(p, kLight, 0));

    // The bus goes away: the program carries on.
    stop_portal();
    bus->stop();
    p.key("ctrl+Tab");
    EXPECT_TRUE(p.wait_settings([](const Settings& st) { return st.tab == 1; }));
    EXPECT_TRUE(p.running());
}

TEST_P(Desktop, ForcedThemeAndTheFallbacksWithoutAnAnswer) {
    {
        // The command line beats both the saved theme and the desktop.
        const wkit::User u = wkit::new_user("forced");
        wkit::seed_settings(u, [](Settings& s) { s.theme = "light"; });
        start_bus(u, "2");
        wkit::Program p(x, u, GetParam(), {"--size", "1280x800", "--theme", "dark"}, bus_env());
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        EXPECT_TRUE(menu_bar_is(p, kDark));
        desktop_switch();
        EXPECT_TRUE(wkit::wait_until([&] { return announcements(p) > 0; }, 10000)) << p.log();
        EXPECT_TRUE(p.sync());
        EXPECT_TRUE(menu_bar_is(p, kDark, 0));
        stop_portal();
        bus.reset();
    }
    {
        // No bus at all: the GTK settings file of the configuration folder.
        const wkit::User u = wkit::new_user("ini");
        mkdir((u.config + "/gtk-3.0").c_str(), 0700);
        kit::write_file(u.config + "/gtk-3.0/settings.ini", "[Settings]\ngtk-application-prefer-dark-theme=true\n");
        wkit::Program p(x, u, GetParam(), {"--size", "1280x800"});
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        EXPECT_TRUE(menu_bar_is(p, kDark));
    }
    {
        // A portal without a preference: GTK_THEME decides.
        const wkit::User u = wkit::new_user("noanswer");
        start_bus(u, "0");
        std::vector<std::string> env = bus_env();
        env.push_back("GTK_THEME=Adwaita:dark");
        wkit::Program p(x, u, GetParam(), {"--size", "1280x800"}, env);
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        EXPECT_TRUE(menu_bar_is(p, kDark));
        stop_portal();
        bus.reset();
    }
    {
        // A portal that never answers: the start goes on after its time-out,
        // and a desktop switch re-asks without holding up the window.
        const wkit::User u = wkit::new_user("hang");
        start_bus(u, "hang");
        std::vector<std::string> env = bus_env();
        env.push_back("GTK_THEME=Adwaita:dark");
        wkit::Program p(x, u, GetParam(), {"--size", "1280x800"}, env);
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        EXPECT_TRUE(menu_bar_is(p, kDark));
        desktop_switch();
        p.key("plus");
        EXPECT_TRUE(p.wait_settings([](const Settings& st) { return st.disks == 7; }));
        EXPECT_TRUE(menu_bar_is(p, kDark));
    }
}

TEST_P(Desktop, CopyButtonsFillTheXClipboardAndLinksReachXdgOpen) {
    const wkit::User u = wkit::new_user("copy");
    wkit::seed_settings(u, [&](Settings& s) {
        s.level = "raid5";
        s.disks = 5;
        s.spares = 1;
        s.cap_value = 4;
        s.cap_unit = 2;
        s.guide_pm = 1;
        s.tab = 1;
        s.guide_warn = false;
    });
    // xdg-open as a script that writes down what it was asked to open.
    const std::string bin = u.home + "/bin", record = u.home + "/opened";
    mkdir(bin.c_str(), 0700);
    kit::write_file(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$OPEN_RECORD\"\n");
    chmod((bin + "/xdg-open").c_str(), 0755);
    wkit::Program p(x, u, GetParam(), {"--size", "1280x800"},
                    {"PATH=" + bin + ":" + std::string(std::getenv("PATH")), "OPEN_RECORD=" + record});
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();

    const std::vector<std::string> dnf = printed_commands({"--guide", "raid5", "5", "4TB", "1", "--pm", "dnf"});
    ASSERT_GE(dnf.size(), 2u);
    auto clipboard_is = [&](const std::string& want) {
        return wkit::wait_until(
            [&] { return wkit::x_run(x.display(), {"xclip", "-o", "-selection", "clipboard"}) == want; },
            wkit::kSyncMs);
    };
    for (int n : {0, 1}) {
        const std::string id = "gcopy:" + std::to_string(n);
        // The copied mark on that button, looked at first: it shows for
        // kCopiedMs only, and reading the clipboard takes a while.
        const auto clicked = std::chrono::steady_clock::now();
        p.click(id);
        const std::unique_ptr<Canvas> shot = p.shot();
        const bool late = std::chrono::steady_clock::now() - clicked > std::chrono::milliseconds(kCopiedMs);
        const Hit* h = p.hit(id);
        ASSERT_TRUE(h && shot);
        const bool marked = near(shot->at(h->x + h->w - 4, h->y + h->h / 2), "#7E9A7C");
        if (late && !marked)
            std::cerr << GetParam() << ": the screenshot came after the copied mark's " << kCopiedMs << " ms\n";
        else
            EXPECT_TRUE(marked);
        EXPECT_TRUE(clipboard_is(dnf[n])) << dnf[n];
    }

    // Another package manager changes what is copied.
    p.click("gpm:3");
    EXPECT_EQ(p.frame().settings().guide_pm, 3);
    p.click("gcopy:0");
    const std::vector<std::string> pac = printed_commands({"--guide", "raid5", "5", "4TB", "1", "--pm", "pacman"});
    EXPECT_TRUE(clipboard_is(pac.at(0)));

    // Help > Website and Help > Report a problem.
    pick(p, 3, 1);
    EXPECT_TRUE(wkit::wait_until([&] { return kit::read_file(record) == std::string(product::kWebsite) + "\n"; },
                                 wkit::kSyncMs))
        << kit::read_file(record);
    pick(p, 3, 2);
    const std::string both = std::string(product::kWebsite) + "\nmailto:" + product::kContact + "\n";
    EXPECT_TRUE(wkit::wait_until([&] { return kit::read_file(record) == both; }, wkit::kSyncMs))
        << kit::read_file(record);
}

INSTANTIATE_TEST_SUITE_P(Renderers, Desktop, testing::ValuesIn(wkit::renderers()));
