// The calculator page as a user meets it: the real program under its own X
// server and both renderers, clicked where it says it painted its cards,
// rows, drives and chips, and read back from what it reports, the saved
// settings, the clipboard and the pixels.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "app.h"
#include "kit.h"
#include "l10n.h"
#include "wkit.h"

namespace {

// Tall enough for the whole page in two columns; one column scrolls.
constexpr int kScreenW = 1920, kScreenH = 2300;
constexpr int kWinW = 1092, kWinH = 2240;
constexpr int kIdleWatchMs = 3000;
constexpr int kPixelWaitMs = wkit::kSyncMs;  // screenshots of a tall window are slow on a busy machine

// English in the light theme, whatever the machine's language.
void seed(const wkit::User& u, const std::function<void(Settings&)>& change) {
    wkit::seed_settings(u, [&](Settings& s) {
        s.language = "en";
        s.theme = "light";
        change(s);
    });
}

// The page painted without a window, for the layout at widths no window reaches.
struct Twin {
    App app;
    // `bottom`: scrolled to the end of the page, as the End key does.
    void paint(const wkit::User& u, double w, double h, bool bottom = false) {
        app.m_failed.clear();
        app.m_failed_spares.clear();
        app.m_settings = Settings{};
        app.load_state(u.dir());
        app.m_pal = Palette::make(false);
        app.m_scroll[0] = 0;
        ASSERT_TRUE(app.snapshot(w, h, 1, "", ""));
        if (!bottom) return;
        app.scroll_to(app.m_content_h[0]);
        ASSERT_TRUE(app.snapshot(w, h, 1, "", ""));
    }
    const Hit& at(const std::string& id) const {
        for (const Hit& h : app.m_hits)
            if (h.id == id) return h;
        ADD_FAILURE() << "no hit " << id;
        static const Hit none;
        return none;
    }
    bool has(const std::string& id) const {
        for (const Hit& h : app.m_hits)
            if (h.id == id) return true;
        return false;
    }
};

bool close_to(const Px& p, const Rgba& c, int tol) {
    return std::abs(p.r - int(c.r * 255)) <= tol && std::abs(p.g - int(c.g * 255)) <= tol &&
           std::abs(p.b - int(c.b * 255)) <= tol;
}

// Counts the pixels of the array panel's status word in the ok, warn and
// err colours, from one screenshot.
struct WordColours {
    int ok = 0, warn = 0, err = 0;
};

WordColours word_colours(wkit::Program& p) {
    const Palette pal = Palette::make(false);
    const Hit* row = p.hit("cmp:0");
    const Hit* below = p.frame().find("heal") ? p.hit("heal") : p.hit("surv");
    if (!row || !below) return {};
    const double right = row->x + row->w - 2;  // panel right edge less its inset of 26
    const double top = p.frame().find("heal") ? below->y - 46 : below->y - 88;
    const auto shot = p.shot();
    WordColours n;
    for (int y = int(top + 16); y < int(top + 36); ++y)
        for (int x = int(right - 160); x < int(right); ++x) {
            const Px c = shot->at(x, y);
            n.ok += close_to(c, pal.ok, 24);
            n.warn += close_to(c, pal.warn, 24);
            n.err += close_to(c, pal.err, 24);
        }
    return n;
}

enum class Word { Intact, Degraded, Lost };

// The word shows the state: its own colour present, the other two absent.
testing::AssertionResult word_is(wkit::Program& p, Word w) {
    const WordColours n = word_colours(p);
    bool ok = false;
    switch (w) {
    // Anti-aliased edges of one colour may come close to another.
    case Word::Intact: ok = n.ok > 10 && 10 * std::max(n.warn, n.err) < n.ok; break;
    case Word::Degraded: ok = n.warn > 10 && 10 * std::max(n.ok, n.err) < n.warn; break;
    default: ok = n.err > 10 && 10 * std::max(n.ok, n.warn) < n.err; break;
    }
    if (ok) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "ok " << n.ok << ", warn " << n.warn << ", err " << n.err;
}

// A drive light in red (failed or lost) or not; the blinking lamp is caught lit.
bool light_red(wkit::Program& p, const std::string& drive, bool red) {
    const Hit* h = p.hit(drive);
    return h && p.wait_pixel(h->x + h->w - 11, h->y + 13,
                             [red](const Px& c) { return red ? c.r > c.g + 25 : c.g >= c.r; }, kPixelWaitMs);
}

using CalcPage = wkit::OnScreen<kScreenW, kScreenH>;

}  // namespace

// Where the layout steps, painted without a window: the program's own
// minimum window width keeps most of these out of reach of a real window.
TEST(CalcLayout, StepsAtTheNamedWidths) {
    const wkit::User u = wkit::new_user("steps");
    seed(u, [](Settings& s) { s.disks = 6; });
    Twin t;
    // The hit `id` after painting at window width w (copied: the next paint replaces the hits).
    auto hit = [&](double w, const char* id) {
        t.paint(u, w, 4000);
        return Hit(t.at(id));
    };
    auto same_row = [&](double w, const char* a, const char* b) {
        const Hit first = hit(w, a);
        return first.y == Hit(t.at(b)).y;
    };
    // Columns of the page: one up to a window of 1091, then a left column of 390 growing to 480.
    EXPECT_DOUBLE_EQ(hit(1091, "cmp:0").x, 16 + 24);
    EXPECT_DOUBLE_EQ(hit(1092, "cmp:0").x, 16 + 390 + 14 + 24);
    EXPECT_DOUBLE_EQ(hit(1444, "cmp:0").x, 16 + 480 + 14 + 24);
    EXPECT_DOUBLE_EQ(hit(1900, "cmp:0").x, 16 + 480 + 14 + 24);
    // Presets: three columns up to a content width of 380, five above.
    EXPECT_FALSE(same_row(460, "preset:3", "preset:0"));
    EXPECT_TRUE(same_row(461, "preset:3", "preset:0"));
    // Level cards: two columns up to a content width of 330, three above.
    EXPECT_FALSE(same_row(410, "lvl:2", "lvl:0"));
    EXPECT_TRUE(same_row(411, "lvl:2", "lvl:0"));
    // Compare rows grow by the short text from a content width of 620.
    EXPECT_EQ(hit(699, "cmp:0").h, 44);
    EXPECT_GT(hit(700, "cmp:0").h, 44);
}

TEST_P(CalcPage, LevelsFromCardsRowsKeysAndSuggestions) {
    const wkit::User u = wkit::new_user("levels");
    seed(u, [](Settings& s) { s.disks = 6; });
    wkit::Program p(x, u, GetParam(), {"--size", std::to_string(kWinW) + "x" + std::to_string(kWinH)});
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    auto level = [&] { return p.frame().settings().level; };
    ASSERT_GT(p.hit("cmp:0")->x, p.hit("lvl:0")->x + 390) << "two columns at 1092";

    p.click("lvl:3");
    EXPECT_EQ(level(), "raid5");
    p.click("cmp:6");
    ASSERT_EQ(level(), "raid10");
    p.click("mirror:3");
    EXPECT_EQ(p.frame().settings().mirror, 3);
    p.key("ctrl+9");
    ASSERT_EQ(level(), "raid60");

    // Three groups of two disks are too small for RAID 6 groups: the result
    // offers the disk counts that work (none below six; then three groups
    // of four or of five), and a chip sets one.
    p.click("groups:plus");
    ASSERT_EQ(p.frame().settings().groups, 3);
    std::vector<int> offered;
    for (const Hit& h : p.frame().base)
        if (h.id.rfind("sug:", 0) == 0) offered.push_back(h.n);
    EXPECT_EQ(offered, (std::vector<int>{12, 15})) << "no count below 6 works, then the next two";
    p.click("sug:12");
    EXPECT_EQ(p.frame().settings().disks, 12);
    EXPECT_FALSE(p.frame().find("sug:15")) << "the problem box is gone";
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.disks == 12 && s.groups == 3; }));

    // One column at 1091: the compare rows move under the left panels and
    // still choose their level where they are painted.
    p.resize(kWinW - 1, kWinH);
    ASSERT_EQ(p.w(), kWinW - 1);
    p.key("End");
    EXPECT_DOUBLE_EQ(p.hit("cmp:4")->x, 16 + 24) << "page margin and panel inset";
    p.click("cmp:4");
    EXPECT_EQ(level(), "raid6");
}

TEST_P(CalcPage, FailingAndReplacingDisksAndSpares) {
    const wkit::User u = wkit::new_user("fail");
    seed(u, [](Settings& s) {
        s.disks = 7;
        s.spares = 1;
        s.level = "raid6";
    });
    wkit::Program p(x, u, GetParam(), {"--size", std::to_string(kWinW) + "x" + std::to_string(kWinH)});
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    EXPECT_TRUE(word_is(p, Word::Intact));
    EXPECT_TRUE(light_red(p, "disk:0", false));

    auto failed = [&](const char* f, const char* fs) {
        const Settings s = p.frame().settings();
        return s.failed == f && s.failed_spares == fs;
    };
    // RAID 6 of six: one failure degrades, and the spare takes over.
    p.click("disk:0");
    ASSERT_TRUE(failed("0", ""));
    EXPECT_TRUE(word_is(p, Word::Degraded));
    EXPECT_TRUE(light_red(p, "disk:0", true));
    EXPECT_TRUE(light_red(p, "disk:1", false));
    if (GetParam() == "software") {  // the still light of the spare is warn, as it took over
        const Hit* s0 = p.hit("spare:0");
        ASSERT_TRUE(s0);
        EXPECT_TRUE(close_to(p.shot()->at(s0->x + s0->w - 11, s0->y + 13), Palette::make(false).warn, 30));
    }
    // Two: still running. Three: lost, and every light turns red.
    p.click("disk:3");
    ASSERT_TRUE(failed("0,3", ""));
    EXPECT_TRUE(word_is(p, Word::Degraded));
    p.click("disk:5");
    ASSERT_TRUE(failed("0,3,5", ""));
    EXPECT_TRUE(word_is(p, Word::Lost));
    EXPECT_TRUE(light_red(p, "disk:1", true));
    // A second click replaces the disk; the spare fails on its own.
    p.click("disk:5");
    ASSERT_TRUE(failed("0,3", ""));
    p.click("spare:0");
    ASSERT_TRUE(failed("0,3", "0"));
    EXPECT_TRUE(word_is(p, Word::Degraded));
    p.click("heal");
    ASSERT_TRUE(failed("", ""));
    EXPECT_TRUE(word_is(p, Word::Intact));
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.failed.empty() && s.failed_spares.empty(); }));

    // RAID 60 of two groups of four: two failures in one group are survived,
    // the whole group gone loses the data although the other group is whole.
    p.click("spares:minus");
    p.key("ctrl+9");
    p.click("disks:plus");
    ASSERT_EQ(p.frame().settings().disks, 8);
    ASSERT_EQ(p.frame().settings().spares, 0);
    for (const char* d : {"disk:4", "disk:5"}) p.click(d);
    ASSERT_TRUE(failed("4,5", ""));
    EXPECT_TRUE(word_is(p, Word::Degraded));
    for (const char* d : {"disk:6", "disk:7"}) p.click(d);
    ASSERT_TRUE(failed("4,5,6,7", ""));
    EXPECT_TRUE(word_is(p, Word::Lost));
    EXPECT_TRUE(light_red(p, "disk:0", true));
}

TEST_P(CalcPage, CopiedReportMatchesTheCommandLine) {
    const raid::DiskType* type = raid::find_type("hdd7200");
    ASSERT_NE(type, nullptr);
    const wkit::User u = wkit::new_user("copy");
    seed(u, [&](Settings& s) {
        s.level = "raid6";
        s.disks = 9;
        s.spares = 1;
        s.groups = 2;
        s.cap_value = 8;
        s.cap_unit = 2;
        s.disk_type = type->key;
        s.read_mbs = type->read_mbs;
        s.write_mbs = type->write_mbs;
        s.read_iops = type->read_iops;
        s.write_iops = type->write_iops;
    });
    wkit::Program p(x, u, GetParam(), {"--size", std::to_string(kWinW) + "x" + std::to_string(kWinH)});
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    // A preset chip and a level card first, so the report follows clicks.
    p.click("preset:4");
    p.click("lvl:7");
    ASSERT_EQ(p.frame().settings().cap_value, 12);
    ASSERT_EQ(p.frame().settings().level, "raid50");
    p.key("ctrl+c");
    std::string clip;
    ASSERT_TRUE(wkit::wait_until([&] {
        clip = wkit::x_run(x.display(), {"xclip", "-o", "-selection", "clipboard"});
        return !clip.empty();
    }, wkit::kSyncMs));
    const kit::Run calc = kit::run_app({"--calc", "raid50", "9", "12TB", "1", "--groups", "2"}, {"LANGUAGE=en"});
    ASSERT_EQ(calc.status, 0) << calc.err;
    const std::string expected = calc.out.substr(0, calc.out.rfind("survive:"));
    auto trim = [](std::string s) {
        while (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    };
    EXPECT_EQ(trim(clip), trim(expected));

    // Typed disk counts: letters are dropped and 0 is refused; thirteen digits
    // end as the largest array, not as a wrapped-around number.
    p.click("disks:field");
    p.key("ctrl+a");
    p.type("abc0");
    p.key("Return");
    EXPECT_EQ(p.frame().get("edit"), "");
    EXPECT_EQ(p.frame().settings().disks, 9);
    p.click("disks:field");
    p.key("ctrl+a");
    p.type("1234567890123");
    p.key("Return");
    EXPECT_EQ(p.frame().settings().disks, 256);
    EXPECT_EQ(p.frame().settings().spares, 1);
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.disks == 256 && s.spares == 1; }));
}

TEST_P(CalcPage, WhatIsUnderThePointerStaysPut) {
    const wkit::User u = wkit::new_user("steady");
    seed(u, [](Settings& s) {
        s.level = "raid50";
        s.disks = 7;
        s.spares = 1;
        s.groups = 2;
    });
    wkit::Program p(x, u, GetParam(), {"--size", "1280x1000"});
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    auto now = [&] { return p.frame().settings(); };

    // A field left as it was changes nothing, though it shows a rounded value.
    p.click("type:ssd");
    p.click("preset:6");
    ASSERT_EQ(now().cap_value, 15.36);
    for (const char* field : {"cap:field", "rd:field", "wr:field"}) {
        p.click(field);
        p.key("Return");
    }
    EXPECT_EQ(now().cap_value, 15.36);
    EXPECT_EQ(now().disk_type, "ssd");

    // At the end of the page, a click that makes the right column shorter
    // leaves the page where it is: the same spot clicked again is the same
    // button, not whatever slid under it.
    p.key("End");
    const double scroll = p.frame().num("scroll");
    const Hit* plus = p.hit("groups:plus");
    ASSERT_TRUE(plus);
    const double px = plus->x + plus->w / 2, py = plus->y + plus->h / 2;
    p.click(px, py);
    EXPECT_EQ(now().groups, 3);
    EXPECT_FALSE(p.frame().find("surv")) << "the array panel now shows the problem only";
    EXPECT_EQ(p.frame().num("scroll"), scroll);
    p.click(px, py);
    EXPECT_EQ(now().groups, 4);
    EXPECT_EQ(now().level, "raid50");
    // Scrolling up closes the gap below the page step by step.
    p.wheel(px, py - 300, -1);
    EXPECT_EQ(p.frame().num("scroll"), scroll - 90);
}

// Pixels of the value's own colour (pure black in the light theme) inside
// the two buttons of stepper `id`: none when the value keeps between them.
int value_ink_on_buttons(wkit::Program& p, const std::string& id) {
    const auto shot = p.shot();
    int n = 0;
    for (const char* part : {":minus", ":plus"}) {
        const Hit* b = p.hit(id + part);
        if (!b) return -1;
        for (int y = int(b->y) + 6; y < int(b->y + b->h) - 6; ++y)
            for (int x = int(b->x) + 6; x < int(b->x + b->w) - 6; ++x) {
                const Px c = shot->at(x, y);
                n += c.r + c.g + c.b < 20;
            }
    }
    return n;
}

TEST_P(CalcPage, LongValuesKeepBetweenTheirButtons) {
    const wkit::User u = wkit::new_user("values");
    seed(u, [](Settings& s) { s.disk_type = "hdd7200"; });
    for (const char* size : {"1092x900", "1600x900"}) {
        wkit::Program p(x, u, GetParam(), {"--size", size});
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        // A chip already chosen changes no figure: the controls stay where they are drawn.
        const Hit field = *p.hit("cap:field");
        p.click("type:hdd7200");
        ASSERT_TRUE(p.hit("cap:field"));
        EXPECT_EQ(p.hit("cap:field")->y, field.y) << "the hits after a change that draws nothing new";
        p.click("type:nvme5");
        for (const char* id : {"rd", "wr"}) EXPECT_EQ(value_ink_on_buttons(p, id), 0) << id << " at " << size;
        p.click("cap:field");
        p.key("ctrl+a");
        p.type("1234567890123");
        EXPECT_EQ(p.frame().get("edit_text"), "1234567890123");
        EXPECT_EQ(value_ink_on_buttons(p, "cap"), 0) << "typing at " << size;
        p.key("Escape");
        // The smallest disks keep their figure: 0.003 MB, not 0 MB.
        p.click("unit:0");
        p.click("cap:field");
        p.key("ctrl+a");
        p.type("0,003");
        p.key("Return");
        EXPECT_EQ(p.frame().settings().cap_value, 0.003);
        p.click("cap:field");
        EXPECT_EQ(p.frame().get("edit_text"), "0.003") << "the field shows what it holds";
        p.key("Escape");
        p.key("ctrl+q");
        EXPECT_EQ(p.wait_exit(), 0);
    }
}

TEST_P(CalcPage, TextTooLongIsCutNotShrunkOverItsNeighbour) {
    // The status line does not fit the smallest window in English, nor in
    // Malagasy, among the longest: it is cut with an ellipsis at a readable
    // size, keeps off the version number and offers the whole line as a
    // tooltip.
    std::unique_ptr<Canvas> version_area[2];
    int i = 0;
    for (const char* lang : {"mg", "en"}) {
        const wkit::User u = wkit::new_user("cut");
        seed(u, [&](Settings& s) {
            s.language = lang;
            s.disks = 120;
            s.spares = 10;
        });
        wkit::Program p(x, u, GetParam(), {"--size", "720x520"});
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        const wkit::Frame& f = p.frame();
        bool status_tip = false;
        for (const Hit& h : f.base) status_tip |= h.id.rfind("tip:", 0) == 0 && h.y > p.h() - 30;
        EXPECT_TRUE(status_tip) << lang << ": the whole line as a tooltip";
        const auto shot = p.shot();
        version_area[i] = std::make_unique<Canvas>(110, 24);
        cairo_set_source_surface(version_area[i]->cr, shot->s, -(p.w() - 110), -(p.h() - 25));
        cairo_paint(version_area[i]->cr);
        // Compact drives from 100 on: their number is cut and named in the tooltip.
        p.key("End");
        const Hit* d = p.hit("disk:99");
        ASSERT_TRUE(d);
        EXPECT_LT(d->w, 44) << "compact drives";
        ++i;
    }
    EXPECT_TRUE(version_area[0]->same_as(*version_area[1])) << "the version stands alone in both languages";
}

TEST_P(CalcPage, FailureFiguresAreSetSavedAndExplained) {
    const wkit::User u = wkit::new_user("risk");
    seed(u, [](Settings& s) { s.disk_type = "hdd7200"; });
    wkit::Program p(x, u, GetParam(), {"--size", std::to_string(kWinW) + "x" + std::to_string(kWinH)});
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    auto now = [&] { return p.frame().settings(); };
    EXPECT_EQ(now().afr_percent, 1.5) << "the disk type's own figures";
    EXPECT_EQ(now().ure_exponent, 14);
    p.click("afr:plus");
    EXPECT_EQ(now().afr_percent, 1.75);
    p.click("repl:field");
    p.key("ctrl+a");
    p.type("0");
    p.key("Return");
    EXPECT_EQ(now().replace_hours, 0) << "a replacement can be immediate";
    p.click("urex:16");
    EXPECT_EQ(now().ure_exponent, 16);
    p.click("ure:minus");
    EXPECT_EQ(now().ure_exponent, 15.5);
    p.click("years:plus");
    EXPECT_EQ(now().mission_years, 6);
    EXPECT_EQ(now().disk_type, "hdd7200") << "failure figures leave the speeds' disk type alone";
    EXPECT_TRUE(p.wait_settings([](const Settings& s) {
        return s.afr_percent == 1.75 && s.replace_hours == 0 && s.ure_exponent == 15.5 && s.mission_years == 6;
    }));
    // Choosing a disk type brings its own figures back.
    p.click("type:sas10k");
    EXPECT_EQ(now().afr_percent, 1.0);
    EXPECT_EQ(now().ure_exponent, 16);

    // The working behind the figures, and its way out.
    p.click("res:how");
    EXPECT_EQ(p.frame().modal(), static_cast<int>(App::Modal::Working));
    p.wheel(p.w() / 2, p.h() / 2, 1);
    p.key("Escape");
    EXPECT_EQ(p.frame().modal(), 0);
    p.click("res:how");
    p.click("work:close");
    EXPECT_EQ(p.frame().modal(), 0);
}

TEST_P(CalcPage, BlinkingLightsDoNotRepaintThePage) {
    // Mesa's CPU OpenGL costs a frame what the software renderer costs, so
    // both show still lights and make no frame of their own; the animated
    // path, forced here for want of a GPU, flickers the lights in view at
    // about 30 frames a second without repainting the page. Counted once
    // the grown-in intro is over.
    constexpr double kLitFramesPerSecond = 5;  // far below what the lights ask for, on any machine
    for (const bool animated : {false, true}) {
        if (animated && GetParam() == "software") continue;
        for (const bool in_view : {true, false}) {
            SCOPED_TRACE(std::string(animated ? "animated" : "still") + (in_view ? ", lights in view" : ", below"));
            const wkit::User u = wkit::new_user("lights");
            seed(u, [](Settings& s) {
                s.disks = 24;
                s.spares = 2;
                s.failed = "3,7";
            });
            std::vector<std::string> env;
            if (animated) env.push_back("ZXRC_TEST_ANIMATE_ON_CPU_GL=1");
            wkit::Program p(x, u, GetParam(), {"--size", "1280x800"}, env);
            ASSERT_TRUE(p.wait_window()) << p.stderr_text();
            if (in_view) p.key("End");  // the array is the last panel
            ASSERT_TRUE(wkit::wait_until([&] { return p.sync() && p.frame().get("moving") == "0"; }, 20000));
            const double frames0 = p.frame().num("frame"), paints0 = p.frame().num("paints");
            // What the loop does on its own, left alone for a while.
            usleep(kIdleWatchMs * 1000);
            ASSERT_TRUE(p.sync());
            const double frames = p.frame().num("frame") - frames0;
            EXPECT_EQ(p.frame().num("paints"), paints0) << "the page is never painted again";
            if (animated && in_view)
                EXPECT_GT(frames, kLitFramesPerSecond * kIdleWatchMs / 1000) << "the lights alone keep frames coming";
            else
                EXPECT_EQ(frames, 0) << "nothing to show between repaints";
            p.key("ctrl+q");
            EXPECT_EQ(p.wait_exit(), 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Renderers, CalcPage, ::testing::ValuesIn(wkit::renderers()),
                         [](const auto& info) { return info.param; });
