// The window as a user meets it: the real program under its own X server,
// under both renderers, driven by keys, clicks and the wheel, and read back
// from pixels, the saved settings and the log. Each run checks a sequence.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include "kit.h"
#include "wkit.h"

namespace {

// The capacity stepper in a 1280 x 800 window: top band 180, page margin 16,
// panel body 50 below the panel top, caption row 18; the left column is 0.34
// of the content width and the panel's content is inset by 24 on each side.
constexpr double kCapY = 180 + 16 + 50 + 18 + 27;
constexpr double kCapW = 0.34 * (1280 - 32) - 48;
constexpr double kCapPlusX = 40 + kCapW - 27, kCapFieldX = 200;
constexpr int kSteadyMs = 400;

bool near(const Px& p, const char* hex_rgb, int tol = 6) {
    const unsigned v = static_cast<unsigned>(std::strtoul(hex_rgb + 1, nullptr, 16));
    return std::abs(p.r - int(v >> 16 & 0xFF)) <= tol && std::abs(p.g - int(v >> 8 & 0xFF)) <= tol &&
           std::abs(p.b - int(v & 0xFF)) <= tol;
}

// The capacity after one step up, as the stepper takes it.
double cap_up(double v) {
    const double step = raid::cap_step(v, +1);
    return (std::floor(v / step + 1e-9) + 1) * step;
}

void seed_settings(const wkit::User& u, const std::function<void(Settings&)>& change) {
    mkdir(u.dir().c_str(), 0700);
    Settings s;
    s.load(u.settings_path());
    change(s);
    ASSERT_TRUE(s.save());
}

class Window : public ::testing::TestWithParam<std::string> {
protected:
    wkit::Xvfb x;
    void SetUp() override { ASSERT_TRUE(x.ok()) << "Xvfb did not start"; }
};

}  // namespace

TEST_P(Window, StartsOnceFollowsKeysAndEndsCleanlyOnSignals) {
    const wkit::User u = wkit::new_user("life");
    wkit::Program p(x, u, GetParam(), {"--size", "1280x800"});
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    EXPECT_TRUE(p.wait_log(GetParam() == "software" ? " (software)" : "Mesa renders on the CPU")) << p.log();
    // Light theme without any desktop preference: the menu bar's own grey.
    EXPECT_TRUE(p.wait_pixel(p.w() - 6, 4, [](const Px& c) { return near(c, "#E9E8E4"); }));

    // A second start raises the first and leaves; the first keeps running.
    const kit::Run second = kit::run(ZXRC_EXE, {}, [&] {
        auto e = u.env();
        e.push_back("DISPLAY=" + x.display());
        return e;
    }());
    EXPECT_EQ(second.status, 0);
    EXPECT_NE(second.err.find("zxQuenlowsRaidCalculator is already running"), std::string::npos) << second.err;
    usleep(300 * 1000);
    EXPECT_TRUE(p.running());

    p.key("plus");
    p.key("plus");
    p.key("minus");
    p.key("ctrl+6");  // RAID TP has no guide: Ctrl+Tab must not switch
    p.key("ctrl+Tab");
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.disks == 7 && s.level == "raidtp" && s.tab == 0; }));
    p.key("ctrl+9");
    p.key("ctrl+Tab");  // the guide, behind its warning
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.level == "raid60" && s.tab == 1; }));
    p.key("Escape");  // the warning's Escape goes back to the calculator
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.tab == 0; }));

    // F1 dims the window with the settings overlay; Escape takes it away.
    const Px before = p.shot()->at(100, 600);
    p.key("F1");
    EXPECT_TRUE(p.wait_pixel(100, 600, [&](const Px& c) { return c.r + c.g + c.b < before.r + before.g + before.b - 60; }));
    p.key("plus");  // keys are ignored while a dialog is open
    p.key("Escape");
    EXPECT_TRUE(p.wait_pixel(100, 600, [&](const Px& c) { return std::abs(c.r - before.r) < 8; }));
    // F10 opens the File menu under its title.
    p.key("F10");
    EXPECT_TRUE(p.wait_pixel(40, 15, [](const Px& c) { return near(c, "#7E9A7C", 12); })) << "open title in chip_on";
    p.key("Escape");
    // Ctrl+comma opens the settings too.
    p.key("ctrl+comma");
    EXPECT_TRUE(p.wait_pixel(100, 600, [&](const Px& c) { return c.r + c.g + c.b < before.r + before.g + before.b - 60; }));
    p.key("Escape");
    // End and Home scroll the page to its ends.
    p.key("Home");
    usleep(kSteadyMs * 1000);
    const auto top = p.shot();
    p.key("End");
    EXPECT_TRUE(wkit::wait_until([&] { return !p.shot()->same_as(*top); }, 10000)) << "End scrolls";
    p.key("Home");
    EXPECT_TRUE(wkit::wait_until([&] { return p.shot()->same_as(*top); }, 10000)) << "Home scrolls back";

    p.signal(SIGTERM);
    EXPECT_EQ(p.wait_exit(), 0);
    EXPECT_NE(p.log().find("clean exit"), std::string::npos);
    const Settings s = p.settings();
    EXPECT_EQ(s.disks, 7);
    EXPECT_EQ(s.level, "raid60");
}

TEST_P(Window, SteppersHoldTypeAndTheWheel) {
    const wkit::User u = wkit::new_user("edit");
    wkit::Program p(x, u, GetParam(), {"--size", "1280x800"});
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    usleep(kSteadyMs * 1000);

    // Held for a while, the plus button repeats; released, it stops.
    p.press(kCapPlusX, kCapY);
    usleep(1200 * 1000);
    p.release();
    ASSERT_TRUE(p.wait_settings([](const Settings& s) { return s.cap_value > 12; }));
    const double held = p.settings().cap_value;
    EXPECT_GE(held, 17) << "one step at once, one after 420 ms, then every 70 ms";
    usleep(900 * 1000);
    EXPECT_DOUBLE_EQ(p.settings().cap_value, held) << "no step after the release";

    // Typing: letters are dropped, Return commits.
    p.click(kCapFieldX, kCapY);
    p.key("ctrl+a");
    p.type("3x,5");
    p.key("Return");
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.cap_value == 3.5 && s.cap_unit == 2; }));
    // Escape throws the typed text away.
    p.click(kCapFieldX, kCapY);
    p.type("77");
    p.key("Escape");
    // A click elsewhere commits what was typed.
    p.click(kCapFieldX, kCapY);
    p.key("ctrl+a");
    p.type("8");
    p.click(700, 20 + 180 + 300);
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.cap_value == 8; }));

    // The wheel over a figure changes it; elsewhere it scrolls the page.
    const double wheeled = cap_up(cap_up(cap_up(8)));
    p.wheel(kCapFieldX, kCapY, -3);
    EXPECT_TRUE(p.wait_settings([&](const Settings& s) { return s.cap_value == wheeled; })) << wheeled;
    const auto top = p.shot();
    p.wheel(700, 700, 2);
    EXPECT_TRUE(wkit::wait_until([&] { return !p.shot()->same_as(*top); }, 10000)) << "the page scrolled";
    p.wheel(kCapFieldX, kCapY, -1);  // the stepper has moved away: no change
    p.key("minus");
    p.key("ctrl+q");
    EXPECT_EQ(p.wait_exit(), 0);
    const Settings s = p.settings();
    EXPECT_DOUBLE_EQ(s.cap_value, wheeled);
    EXPECT_EQ(s.disks, 5) << "the last change is saved on exit, not lost to the debounce";
}

TEST_P(Window, GeometryIsRememberedAndRepaired) {
    const wkit::User u = wkit::new_user("geo");
    seed_settings(u, [](Settings& s) { s.full = Geometry{200, 150, 1000, 700, true}; });
    {
        wkit::Program p(x, u, GetParam(), {"--theme", "dark"});
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        EXPECT_TRUE(wkit::wait_until([&] { return p.refresh() && p.x() == 200 && p.y() == 150; }, 10000))
            << p.x() << "," << p.y();
        EXPECT_EQ(p.w(), 1000);
        EXPECT_EQ(p.h(), 700);
        EXPECT_TRUE(p.wait_pixel(p.w() - 6, 4, [](const Px& c) { return near(c, "#0D0D0E"); })) << "--theme dark";
        p.move_window(300, 220);
        p.resize(1200, 760);
        EXPECT_TRUE(p.wait_settings([](const Settings& s) {
            return s.full.x == 300 && s.full.y == 220 && s.full.w == 1200 && s.full.h == 760 && s.full.has_pos;
        }));
        p.key("ctrl+q");
        EXPECT_EQ(p.wait_exit(), 0);
        EXPECT_EQ(p.settings().theme, "auto") << "--theme is for one run only";
    }
    {
        wkit::Program p(x, u, GetParam(), {"--size", "900x650"});
        ASSERT_TRUE(p.wait_window());
        EXPECT_TRUE(wkit::wait_until([&] { return p.refresh() && p.w() == 900 && p.h() == 650; }, 10000));
        p.key("plus");
        p.key("ctrl+q");
        EXPECT_EQ(p.wait_exit(), 0);
        const Settings s = p.settings();
        EXPECT_EQ(s.disks, 7);
        EXPECT_EQ(s.full.w, 1200) << "a forced size is never remembered";
        EXPECT_EQ(s.full.x, 300);
    }
    seed_settings(u, [](Settings& s) { s.full = Geometry{5000, 4000, 800, 600, true}; });
    {
        wkit::Program p(x, u, GetParam());
        ASSERT_TRUE(p.wait_window());
        // A place on no screen any more: centred on the one there is.
        EXPECT_TRUE(wkit::wait_until([&] { return p.refresh() && p.x() == (1920 - 800) / 2; }, 10000)) << p.x();
        EXPECT_EQ(p.y(), (1080 - 600) / 2);
        p.signal(SIGINT);
        EXPECT_EQ(p.wait_exit(), 0) << p.log() << p.stderr_text();
    }
}

TEST_P(Window, BrokenAndUnreadableSettingsFiles) {
    const wkit::User u = wkit::new_user("files");
    mkdir(u.dir().c_str(), 0700);
    kit::write_file(u.settings_path(), "disks=9\nnot sealed at all\n");
    {
        wkit::Program p(x, u, GetParam());
        ASSERT_TRUE(p.wait_window());
        EXPECT_TRUE(p.wait_log("seal broken, moved aside"));
        EXPECT_EQ(kit::read_file(u.settings_path() + ".manipuliert"), "disks=9\nnot sealed at all\n");
        p.key("plus");
        p.signal(SIGHUP);
        EXPECT_EQ(p.wait_exit(), 0) << p.stderr_text();
        EXPECT_EQ(p.settings().disks, 7) << "a fresh file replaces the broken one";
    }
    unlink(u.settings_path().c_str());
    ASSERT_EQ(symlink("settings.dat", u.settings_path().c_str()), 0);
    {
        wkit::Program p(x, u, GetParam());
        ASSERT_TRUE(p.wait_window());
        EXPECT_TRUE(p.wait_log("settings file could not be read"));
        p.key("plus");
        usleep(1200 * 1000);
        p.key("ctrl+q");
        EXPECT_EQ(p.wait_exit(), 0) << p.stderr_text();
        struct stat st {};
        ASSERT_EQ(lstat(u.settings_path().c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << "an unreadable file is never written over";
    }
}

TEST_P(Window, TheLockAndSignalsDuringStartUp) {
    const wkit::User u = wkit::new_user("lock");
    const std::string lock = u.dir() + "/zxQuenlowsRaidCalculator.lock";
    {
        // A SIGTERM as soon as the lock is taken still ends in a clean exit.
        wkit::Program p(x, u, GetParam());
        ASSERT_TRUE(wkit::wait_until([&] { return kit::read_file(lock) == std::to_string(p.pid()); }, 10000));
        p.signal(SIGUSR1);  // a second start's raise during start-up
        p.signal(SIGTERM);
        EXPECT_EQ(p.wait_exit(), 0);
        EXPECT_TRUE(p.wait_log("clean exit", 1000)) << p.log();
    }
    // A stale pid of another program in the lock file is never signalled.
    const pid_t other = fork();
    if (other == 0) {
        pause();
        _exit(0);
    }
    wkit::Program first(x, u, GetParam());
    ASSERT_TRUE(first.wait_window());
    kit::write_file(lock, std::to_string(other));
    const kit::Run second = kit::run(ZXRC_EXE, {}, [&] {
        auto e = u.env();
        e.push_back("DISPLAY=" + x.display());
        return e;
    }());
    EXPECT_EQ(second.status, 0);
    usleep(200 * 1000);
    EXPECT_EQ(kill(other, 0), 0) << "the other program was killed by SIGUSR1";
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    first.key("ctrl+q");
    EXPECT_EQ(first.wait_exit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Renderers, Window, ::testing::ValuesIn(wkit::renderers()),
                         [](const auto& info) { return info.param; });
