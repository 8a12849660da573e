// The calculator page as a user meets it: the real program under its own X
// server and both renderers, clicked where a second, windowless App with the
// same settings and window size paints its cards, rows, drives and chips.
// Read back from the saved settings, the clipboard and the pixels.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app.h"
#include "kit.h"
#include "l10n.h"
#include "wkit.h"

namespace {

// Tall enough for the whole page in two columns; one column scrolls.
constexpr int kScreenW = 1920, kScreenH = 1700;
constexpr int kWinW = 1092, kWinH = 1620;
constexpr int kSettleMs = 500;
constexpr int kPixelWaitMs = 6000;  // screenshots of a tall window are slow on a busy machine

void seed(const wkit::User& u, const std::function<void(Settings&)>& change) {
    mkdir(u.dir().c_str(), 0700);
    Settings s;
    s.load(u.settings_path());
    s.language = "en";
    s.theme = "light";
    change(s);
    ASSERT_TRUE(s.save());
}

// The same page painted without a window, for the positions of its hits.
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

// The first frame is on screen: the menu bar is no longer black.
bool shown(wkit::Program& p) {
    return p.wait_pixel(p.w() - 6, 4, [](const Px& c) { return c.r + c.g + c.b > 300; }, 15000);
}

void click(wkit::Program& p, const Hit& h) { p.click(h.x + h.w / 2, h.y + h.h / 2); }

bool close_to(const Px& p, const Rgba& c, int tol) {
    return std::abs(p.r - int(c.r * 255)) <= tol && std::abs(p.g - int(c.g * 255)) <= tol &&
           std::abs(p.b - int(c.b * 255)) <= tol;
}

// Counts the pixels of the array panel's status word in the ok, warn and
// err colours, from one screenshot.
struct WordColours {
    int ok = 0, warn = 0, err = 0;
};

WordColours word_colours(wkit::Program& p, const Twin& t) {
    const Palette pal = Palette::make(false);
    const Hit& row = t.at("cmp:0");
    const double right = row.x + row.w - 2;  // panel right edge less its inset of 26
    const double top = t.has("heal") ? t.at("heal").y - 46 : t.at("surv").y - 88;
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
testing::AssertionResult word_is(wkit::Program& p, const Twin& t, Word w) {
    WordColours n;
    const bool ok = wkit::wait_until([&] {
        n = word_colours(p, t);
        switch (w) {
        // Anti-aliased edges of one colour may come close to another.
        case Word::Intact: return n.ok > 10 && 10 * std::max(n.warn, n.err) < n.ok;
        case Word::Degraded: return n.warn > 10 && 10 * std::max(n.ok, n.err) < n.warn;
        default: return n.err > 10 && 10 * std::max(n.ok, n.warn) < n.err;
        }
    }, kPixelWaitMs);
    if (ok) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "ok " << n.ok << ", warn " << n.warn << ", err " << n.err;
}

// A drive light in red (failed or lost) or not; the blinking lamp is caught lit.
bool light_red(wkit::Program& p, const Hit& drive, bool red) {
    return p.wait_pixel(drive.x + drive.w - 11, drive.y + 13,
                        [red](const Px& c) { return red ? c.r > c.g + 25 : c.g >= c.r; }, kPixelWaitMs);
}

class CalcPage : public ::testing::TestWithParam<std::string> {
protected:
    wkit::Xvfb x{kScreenW, kScreenH};
    void SetUp() override { ASSERT_TRUE(x.ok()) << "Xvfb did not start"; }
};

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
    ASSERT_TRUE(shown(p));
    Twin t;
    t.paint(u, p.w(), p.h());
    ASSERT_GT(t.at("cmp:0").x, t.at("lvl:0").x + 390) << "two columns at 1092";

    click(p, t.at("lvl:3"));
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.level == "raid5"; }));
    click(p, t.at("cmp:6"));
    ASSERT_TRUE(p.wait_settings([](const Settings& s) { return s.level == "raid10"; }));
    t.paint(u, p.w(), p.h());
    click(p, t.at("mirror:3"));
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.mirror == 3; }));
    p.key("ctrl+9");
    ASSERT_TRUE(p.wait_settings([](const Settings& s) { return s.level == "raid60"; }));

    // Three groups of two disks are too small for RAID 6 groups: the result
    // offers disk counts instead, and a chip sets one.
    t.paint(u, p.w(), p.h());
    click(p, t.at("groups:plus"));
    ASSERT_TRUE(p.wait_settings([](const Settings& s) { return s.groups == 3; }));
    t.paint(u, p.w(), p.h());
    ASSERT_FALSE(t.app.m_res.ok());
    ASSERT_FALSE(t.app.m_res.suggest.empty());
    const int s0 = t.app.m_res.suggest.back();
    click(p, t.at("sug:" + std::to_string(s0)));
    EXPECT_TRUE(p.wait_settings([&](const Settings& s) { return s.disks == s0; }));
    t.paint(u, p.w(), p.h());
    EXPECT_TRUE(t.app.m_res.ok());

    // One column at 1091: the compare rows move under the left panels and
    // still choose their level where they are painted.
    p.resize(kWinW - 1, kWinH);
    ASSERT_TRUE(wkit::wait_until([&] { return p.refresh() && p.w() == kWinW - 1; }, 3000));
    usleep(kSettleMs * 1000);  // End scrolls by the page height of the last repaint
    p.key("End");
    t.paint(u, p.w(), p.h(), true);
    EXPECT_DOUBLE_EQ(t.at("cmp:4").x, 16 + 24) << "page margin and panel inset";
    usleep(kSettleMs * 1000);
    click(p, t.at("cmp:4"));
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.level == "raid6"; }));
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
    ASSERT_TRUE(shown(p));
    Twin t;
    t.paint(u, p.w(), p.h());
    EXPECT_TRUE(word_is(p, t, Word::Intact));
    EXPECT_TRUE(light_red(p, t.at("disk:0"), false));

    // Clicks a drive and waits for the saved failure sets; the drives move
    // with the height of the status text, so the twin follows.
    auto toggle = [&](const std::string& id, const char* f, const char* fs) {
        click(p, t.at(id));
        const bool saved =
            p.wait_settings([&](const Settings& s) { return s.failed == f && s.failed_spares == fs; });
        t.paint(u, p.w(), p.h());
        return saved;
    };
    // RAID 6 of six: one failure degrades, and the spare takes over.
    ASSERT_TRUE(toggle("disk:0", "0", ""));
    EXPECT_TRUE(word_is(p, t, Word::Degraded));
    EXPECT_TRUE(light_red(p, t.at("disk:0"), true));
    EXPECT_TRUE(light_red(p, t.at("disk:1"), false));
    if (GetParam() == "software") {  // the still light of the spare is warn, as it took over
        const Hit& s0 = t.at("spare:0");
        EXPECT_TRUE(p.wait_pixel(s0.x + s0.w - 11, s0.y + 13, [&](const Px& c) { return close_to(c, t.app.m_pal.warn, 30); }));
    }
    // Two: still running. Three: lost, and every light turns red.
    ASSERT_TRUE(toggle("disk:3", "0,3", ""));
    EXPECT_TRUE(word_is(p, t, Word::Degraded));
    ASSERT_TRUE(toggle("disk:5", "0,3,5", ""));
    EXPECT_TRUE(word_is(p, t, Word::Lost));
    EXPECT_TRUE(light_red(p, t.at("disk:1"), true));
    // A second click replaces the disk; the spare fails on its own.
    ASSERT_TRUE(toggle("disk:5", "0,3", ""));
    ASSERT_TRUE(toggle("spare:0", "0,3", "0"));
    EXPECT_TRUE(word_is(p, t, Word::Degraded));
    ASSERT_TRUE(toggle("heal", "", ""));
    EXPECT_TRUE(word_is(p, t, Word::Intact));

    // RAID 60 of two groups of four: two failures in one group are survived,
    // the whole group gone loses the data although the other group is whole.
    click(p, t.at("spares:minus"));
    p.key("ctrl+9");
    ASSERT_TRUE(p.wait_settings([](const Settings& s) { return s.level == "raid60" && s.spares == 0; }));
    p.key("plus");
    ASSERT_TRUE(p.wait_settings([](const Settings& s) { return s.disks == 8; }));
    t.paint(u, p.w(), p.h());
    ASSERT_EQ(t.app.m_res.group_count, 2);
    ASSERT_TRUE(toggle("disk:4", "4", ""));
    ASSERT_TRUE(toggle("disk:5", "4,5", ""));
    EXPECT_TRUE(word_is(p, t, Word::Degraded));
    ASSERT_TRUE(toggle("disk:6", "4,5,6", ""));
    ASSERT_TRUE(toggle("disk:7", "4,5,6,7", ""));
    EXPECT_TRUE(word_is(p, t, Word::Lost));
    EXPECT_TRUE(light_red(p, t.at("disk:0"), true));
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
    ASSERT_TRUE(shown(p));
    Twin t;
    t.paint(u, p.w(), p.h());
    // A preset chip and a level card first, so the report follows clicks.
    click(p, t.at("preset:4"));
    click(p, t.at("lvl:7"));
    ASSERT_TRUE(p.wait_settings([](const Settings& s) { return s.cap_value == 12 && s.cap_unit == 2; }));
    p.key("ctrl+c");
    std::string clip;
    ASSERT_TRUE(wkit::wait_until([&] {
        clip = wkit::x_run(x.display(), {"xclip", "-o", "-selection", "clipboard"});
        return !clip.empty();
    }, 3000));
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
    click(p, t.at("disks:field"));
    p.key("ctrl+a");
    p.type("abc0");
    p.key("Return");
    usleep(1200 * 1000);
    EXPECT_EQ(p.settings().disks, 9);
    click(p, t.at("disks:field"));
    p.key("ctrl+a");
    p.type("1234567890123");
    p.key("Return");
    EXPECT_TRUE(p.wait_settings([](const Settings& s) { return s.disks == 256 && s.spares == 1; }));
}

TEST_P(CalcPage, BlinkingLightsDoNotRepaintThePage) {
    // The grown-in intro lasts about half a second, some fifteen frames at
    // most; flickering lights in view go on for the whole run.
    constexpr unsigned long long kIntroFrames = 30;
    for (const bool in_view : {true, false}) {
        const wkit::User u = wkit::new_user("lights");
        seed(u, [](Settings& s) {
            s.disks = 24;
            s.spares = 2;
            s.failed = "3,7";
        });
        wkit::Program p(x, u, GetParam(), {"--size", "1280x800"});
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        if (in_view) p.key("End");  // the array is the last panel
        usleep(4000 * 1000);
        p.signal(SIGTERM);
        ASSERT_EQ(p.wait_exit(), 0);
        const std::string log = p.log();
        unsigned long long frames = 0, base = 0;
        const size_t at = log.rfind("frames ");
        ASSERT_NE(at, std::string::npos) << log;
        ASSERT_EQ(std::sscanf(log.c_str() + at, "frames %llu, base repaints %llu", &frames, &base), 2);
        EXPECT_LE(base, in_view ? 4u : 2u) << "the first paint, the scroll, perhaps one after the window settled";
        if (GetParam() == "software")
            EXPECT_LE(frames, base + 2) << "still lights: nothing to show between repaints";
        else if (in_view)
            EXPECT_GT(frames, base + kIntroFrames) << "the lights alone keep frames coming";
        else
            EXPECT_LE(frames, base + kIntroFrames) << "lights below the fold need no frames";
    }
}

INSTANTIATE_TEST_SUITE_P(Renderers, CalcPage, ::testing::ValuesIn(wkit::renderers()),
                         [](const auto& info) { return info.param; });
