// The window as a user meets it: the real program under its own X server,
// under both renderers, driven by keys, clicks and the wheel, and read back
// from what it reports after each input, its pixels, the saved settings and
// the log. Each run checks a sequence.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <iostream>
#include <sstream>

#include "kit.h"
#include "version.h"
#include "wkit.h"

namespace {

bool near(const Px& p, const char* hex_rgb, int tol = 6) {
    const unsigned v = static_cast<unsigned>(std::strtoul(hex_rgb + 1, nullptr, 16));
    return std::abs(p.r - int(v >> 16 & 0xFF)) <= tol && std::abs(p.g - int(v >> 8 & 0xFF)) <= tol &&
           std::abs(p.b - int(v & 0xFF)) <= tol;
}

// The middle of a control as the program last painted it.
struct Spot {
    double x = 0, y = 0;
};
Spot middle(wkit::Program& p, const std::string& id) {
    const Hit* h = p.hit(id);
    return h ? Spot{h->x + h->w / 2, h->y + h->h / 2} : Spot{};
}

// A point of the page that no control covers, for a click on nothing.
Spot blank(wkit::Program& p) {
    const wkit::Frame& f = p.frame();
    const double top = 200, bottom = f.num("view") + 150;
    for (double y = top; y < bottom; y += 7)
        for (double x = 20; x < p.w() - 20; x += 7) {
            bool covered = false;
            for (const Hit& h : f.base) covered |= x >= h.x - 4 && x < h.x + h.w + 4 && y >= h.y - 4 && y < h.y + h.h + 4;
            if (!covered) return Spot{x, y};
        }
    ADD_FAILURE() << "no blank place on the page";
    return Spot{};
}

// Whether SIGUSR1 waits, blocked, at a process: a signal sent to it has
// arrived however busy the machine is.
bool usr1_pending(pid_t pid) {
    std::istringstream in(kit::read_file("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("ShdPnd:", 0) == 0 || line.rfind("SigPnd:", 0) == 0)
            if (std::strtoull(line.c_str() + 7, nullptr, 16) & (1ull << (SIGUSR1 - 1))) return true;
    return false;
}

using Window = wkit::OnScreen<>;

}  // namespace

TEST_P(Window, StartsOnceFollowsKeysAndEndsCleanlyOnSignals) {
    const wkit::User u = wkit::new_user("life");
    wkit::Program p(x, u, GetParam(), {"--size", "1280x800"});
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    EXPECT_TRUE(p.wait_log(GetParam() == "software" ? " (software)" : "Mesa renders on the CPU")) << p.log();
    // Light theme without any desktop preference: the menu bar's own grey.
    EXPECT_TRUE(near(p.shot()->at(p.w() - 6, 4), "#E9E8E4"));

    // A second start raises the first and leaves; the first keeps running.
    const kit::Run second = kit::run(ZXRC_EXE, {}, [&] {
        auto e = u.env();
        e.push_back("DISPLAY=" + x.display());
        return e;
    }());
    EXPECT_EQ(second.status, 0);
    EXPECT_NE(second.err.find("zxQuenlowsRaidCalculator is already running"), std::string::npos) << second.err;
    EXPECT_TRUE(p.sync()) << "still answering after the raise";

    auto now = [&] { return p.frame().settings(); };
    p.key("plus");
    p.key("plus");
    p.key("minus");
    EXPECT_EQ(now().disks, 7);
    p.key("ctrl+6");
    p.key("ctrl+Tab");
    EXPECT_EQ(now().level, "raidtp");
    EXPECT_EQ(p.frame().num("tab"), 0) << "RAID TP has no guide: Ctrl+Tab stays";
    p.key("ctrl+9");
    p.key("ctrl+Tab");
    EXPECT_EQ(p.frame().num("tab"), 1);
    EXPECT_EQ(p.frame().modal(), static_cast<int>(App::Modal::GuideWarn));
    p.key("Escape");
    EXPECT_EQ(p.frame().num("tab"), 0) << "the warning's Escape goes back to the calculator";
    EXPECT_EQ(p.frame().modal(), 0);
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.disks == 7 && s.level == "raid60" && s.tab == 0; }));

    // F1 dims the window with the settings overlay; Escape takes it away.
    const Px before = p.shot()->at(100, 600);
    auto dimmed = [&] {
        const Px c = p.shot()->at(100, 600);
        return c.r + c.g + c.b < before.r + before.g + before.b - 60;
    };
    p.key("F1");
    EXPECT_EQ(p.frame().modal(), static_cast<int>(App::Modal::Settings));
    EXPECT_EQ(p.frame().num("set_tab"), 2) << "the keyboard shortcuts";
    EXPECT_TRUE(dimmed());
    p.key("Escape");
    EXPECT_EQ(p.frame().modal(), 0);
    EXPECT_FALSE(dimmed());
    // F10 opens the File menu under its title, in the chosen colour.
    p.key("F10");
    EXPECT_EQ(p.frame().num("menu"), 0);
    EXPECT_TRUE(near(p.shot()->at(40, 15), "#7E9A7C", 12));
    p.key("F10");
    EXPECT_EQ(p.frame().num("menu"), -2) << "F10 again closes it";
    p.key("F10");
    p.key("Escape");
    EXPECT_EQ(p.frame().num("menu"), -2) << "so does Escape";
    p.key("ctrl+comma");
    EXPECT_EQ(p.frame().modal(), static_cast<int>(App::Modal::Settings));
    EXPECT_EQ(p.frame().num("set_tab"), 0);
    p.key("Escape");
    // End and Home scroll the page to its ends, and the screen follows.
    p.key("Home");
    const auto top = p.shot();
    p.key("End");
    EXPECT_GT(p.frame().num("scroll"), 0);
    EXPECT_DOUBLE_EQ(p.frame().num("scroll"), p.frame().num("content") - p.frame().num("view"));
    EXPECT_FALSE(p.shot()->same_as(*top)) << "End scrolls";
    p.key("Home");
    EXPECT_EQ(p.frame().num("scroll"), 0);
    EXPECT_TRUE(p.shot()->same_as(*top)) << "Home scrolls back";

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
    auto cap = [&] { return p.frame().settings().cap_value; };
    ASSERT_EQ(cap(), 12);

    // Held, the plus button steps at once, again after a pause, then keeps
    // repeating (12, 14, 16, 18, 20); released, it stops. How many steps a
    // frame shows depends on how slowly the machine paints.
    const Spot plus = middle(p, "cap:plus");
    p.press(plus.x, plus.y);
    EXPECT_GE(cap(), 14) << "a step at the press";
    EXPECT_TRUE(wkit::wait_until([&] { return p.sync() && cap() >= 20; }, 10000)) << cap();
    p.release();
    EXPECT_EQ(p.frame().get("hold"), "") << "the release ends the repeat";
    const double held = cap();
    p.sync();
    EXPECT_EQ(cap(), held);

    // The pointer says what it is over: text to type, a button, nothing.
    p.move_to("cap:field");
    EXPECT_EQ(p.frame().get("pointer_shape"), "2") << "the text cursor";
    p.move_to("unit:1");
    EXPECT_EQ(p.frame().get("pointer_shape"), "1") << "the hand";
    const Spot nowhere = blank(p);
    p.move(nowhere.x, nowhere.y);
    EXPECT_EQ(p.frame().get("pointer_shape"), "0") << "the arrow";

    // Typing: letters are dropped, Return commits.
    p.click("cap:field");
    EXPECT_EQ(p.frame().get("edit"), "cap");
    p.key("ctrl+a");
    p.type("3x,5");
    EXPECT_EQ(p.frame().get("edit_text"), "3,5");
    p.key("Return");
    EXPECT_EQ(p.frame().get("edit"), "");
    EXPECT_EQ(cap(), 3.5);
    EXPECT_EQ(p.frame().settings().cap_unit, 2);
    // Escape throws the typed text away.
    p.click("cap:field");
    p.type("77");
    p.key("Escape");
    EXPECT_EQ(cap(), 3.5);
    // A click elsewhere on the page commits what was typed.
    p.click("cap:field");
    p.key("ctrl+a");
    p.type("8");
    const Spot nothing = blank(p);
    p.click(nothing.x, nothing.y);
    EXPECT_EQ(p.frame().get("edit"), "");
    EXPECT_EQ(cap(), 8);

    // The wheel over a figure steps it (8, 9, 10, 12) ...
    const Spot field = middle(p, "cap:field");
    p.wheel(field.x, field.y, -3);
    EXPECT_EQ(cap(), 12);
    // ... and elsewhere on the page scrolls it, the right way.
    const auto top = p.shot();
    p.wheel(700, 700, 2);
    EXPECT_EQ(p.frame().num("scroll"), 2 * 90) << "two steps down";
    EXPECT_FALSE(p.shot()->same_as(*top));
    p.wheel(700, 700, -1);
    EXPECT_EQ(p.frame().num("scroll"), 90) << "one step up";

    // A turn of the wheel that scrolls goes on scrolling when the page
    // slides a stepper under the resting pointer; a turn that starts on the
    // stepper changes it.
    p.key("Home");
    const Hit* disks = p.hit("disks:field");
    ASSERT_TRUE(disks);
    const double gx = disks->x + disks->w / 2, gy = disks->y + disks->h / 2 - 90;
    const int count = p.frame().settings().disks;
    p.wheel(gx, gy, 3);
    EXPECT_EQ(p.frame().num("scroll"), 270);
    EXPECT_EQ(p.frame().settings().disks, count) << "the stepper that slid under the pointer stays as it was";
    p.move(gx + 1, gy);
    p.wheel(gx + 1, gy, -1);
    EXPECT_EQ(p.frame().num("scroll"), 180) << "a new turn over a blank place scrolls";
    ASSERT_TRUE(p.hit("disks:field"));
    const Hit under = *p.hit("disks:field");  // a copy: the next answer replaces the frame
    p.move(under.x + under.w / 2, under.y + under.h / 2);
    p.wheel(under.x + under.w / 2, under.y + under.h / 2, -1);
    EXPECT_EQ(p.frame().settings().disks, count + 1) << "a new turn over the stepper steps it";
    p.key("minus");
    p.key("ctrl+q");
    EXPECT_EQ(p.wait_exit(), 0);
    const Settings s = p.settings();
    EXPECT_EQ(s.cap_value, 12);
    EXPECT_EQ(s.disks, count) << "the last change is saved on exit, not lost to the debounce";
}

TEST_P(Window, GeometryIsRememberedAndRepaired) {
    const wkit::User u = wkit::new_user("geo");
    wkit::seed_settings(u, [](Settings& s) { s.full = Geometry{200, 150, 1000, 700, true}; });
    {
        wkit::Program p(x, u, GetParam(), {"--theme", "dark"});
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        EXPECT_TRUE(wkit::wait_until([&] { return p.refresh() && p.x() == 200 && p.y() == 150; }, 10000))
            << p.x() << "," << p.y();
        EXPECT_EQ(p.w(), 1000);
        EXPECT_EQ(p.h(), 700);
        EXPECT_TRUE(near(p.shot()->at(p.w() - 6, 4), "#0D0D0E")) << "--theme dark";
        p.move_window(300, 220);
        p.resize(1200, 760);
        EXPECT_EQ(p.frame().get("size"), "1200 760");
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
        EXPECT_EQ(p.frame().get("size"), "900 650");
        p.key("plus");
        p.key("ctrl+q");
        EXPECT_EQ(p.wait_exit(), 0);
        const Settings s = p.settings();
        EXPECT_EQ(s.disks, 7);
        EXPECT_EQ(s.full.w, 1200) << "a forced size is never remembered";
        EXPECT_EQ(s.full.x, 300);
    }
    wkit::seed_settings(u, [](Settings& s) { s.full = Geometry{5000, 4000, 800, 600, true}; });
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
        // The window says so in a bar above the page, which steps aside
        // for it and comes back up once the bar is closed.
        EXPECT_EQ(p.frame().get("notice"), "note.settings_broken");
        const double below_bar = p.hit("unit:0")->y;
        p.click("notice:close");
        EXPECT_EQ(p.frame().get("notice"), "");
        EXPECT_EQ(p.hit("unit:0")->y, below_bar - App::kNoticeH);
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
        EXPECT_EQ(p.frame().get("notice"), "note.settings_unreadable");
        p.key("plus");
        // The debounced save has come and gone.
        EXPECT_TRUE(wkit::wait_until([&] { return p.sync() && p.frame().get("save_pending") == "0"; }, 10000));
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
    // A stale pid of another program in the lock file is never signalled: it
    // blocks SIGUSR1, so a signal sent would wait there to be seen.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t other = fork();
    if (other == 0) {
        sigset_t usr1;
        sigemptyset(&usr1);
        sigaddset(&usr1, SIGUSR1);
        sigprocmask(SIG_BLOCK, &usr1, nullptr);
        if (write(ready[1], "r", 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    close(ready[1]);
    wkit::Program first(x, u, GetParam());
    ASSERT_TRUE(first.wait_window());
    kit::write_file(lock, std::to_string(other));
    const kit::Run second = kit::run(ZXRC_EXE, {}, [&] {
        auto e = u.env();
        e.push_back("DISPLAY=" + x.display());
        return e;
    }());
    EXPECT_EQ(second.status, 0);
    EXPECT_FALSE(usr1_pending(other)) << "the other program was sent SIGUSR1";
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    first.key("ctrl+q");
    EXPECT_EQ(first.wait_exit(), 0);
}

TEST_P(Window, AFallbackToEnglishIsToldInTheWindow) {
    const wkit::User u = wkit::new_user("fallback");
    wkit::seed_settings(u, [](Settings& s) { s.language = "de"; });
    // Left behind by a start in German that never finished.
    kit::write_file(u.dir() + "/language-guard", std::string("de ") + product::kBuild + "\n");
    wkit::Program p(x, u, GetParam());
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    EXPECT_NE(p.stderr_text().find("did not start cleanly"), std::string::npos);
    EXPECT_EQ(p.frame().get("language"), "en");
    EXPECT_EQ(p.frame().get("notice"), "note.lang_fallback");
    p.click("notice:close");
    EXPECT_EQ(p.frame().get("notice"), "");
}

TEST_P(Window, DestroyedByAnotherProgramEndsLikeAClose) {
    const wkit::User u = wkit::new_user("destroyed");
    const std::vector<std::string> german = {"LANGUAGE=de"};
    wkit::Program p(x, u, GetParam(), {}, german);
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    p.key("plus");
    // A machine so slow that the frame came after the save delay has saved
    // already; the change must be kept all the same.
    if (p.frame().get("save_pending") != "1")
        std::cerr << GetParam() << ": the change was saved before its frame showed\n";
    EXPECT_EQ(kit::read_file(u.dir() + "/language-guard").rfind("de ", 0), 0u) << "a guarded start in German";
    p.destroy_window();
    EXPECT_EQ(p.wait_exit(), 0) << p.story();
    EXPECT_TRUE(p.wait_log("window destroyed by another program", 1000));
    EXPECT_TRUE(p.wait_log("clean exit", 1000));
    EXPECT_EQ(p.settings().disks, 7) << "the last change is kept";
    EXPECT_EQ(access((u.dir() + "/language-guard").c_str(), F_OK), -1) << "the language did not fail";
    // The lock went with the process: the next start opens its window.
    wkit::Program next(x, u, GetParam(), {}, german);
    ASSERT_TRUE(next.wait_window()) << next.story();
    EXPECT_EQ(next.stderr_text().find("already running"), std::string::npos);
}

// A window that does not fit the screen is shrunk as it opens: before its
// first frame, so the first frame must already be drawn at the new size,
// from the menu bar at the top to the status bar at the bottom, and clicks
// must land on what is drawn under them.
TEST_P(Window, ShrunkToFitTheScreenAndDrawnWhereItsClicksLand) {
    wkit::Xvfb laptop(1366, 768);
    ASSERT_TRUE(laptop.ok());
    for (const bool saved : {false, true}) {
        const wkit::User u = wkit::new_user("shrunk");
        if (saved) wkit::seed_settings(u, [](Settings& s) { s.full = Geometry{0, 0, 1360, 765, true}; });
        wkit::Program p(laptop, u, GetParam());
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        ASSERT_LT(p.h(), saved ? 765 : 800) << "shrunk to the screen";
        const auto shot = p.shot();
        EXPECT_TRUE(near(shot->at(p.w() - 6, 3), "#E9E8E4")) << "the menu bar at the very top";
        EXPECT_TRUE(near(shot->at(p.w() - 6, p.h() - 3), "#E9E8E4")) << "the status bar at the very bottom";
        p.click("unit:1");
        EXPECT_EQ(p.frame().settings().cap_unit, 1) << "the GB chip where it is drawn";
        p.key("ctrl+q");
        EXPECT_EQ(p.wait_exit(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Renderers, Window, ::testing::ValuesIn(wkit::renderers()),
                         [](const auto& info) { return info.param; });
