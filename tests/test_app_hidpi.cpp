// The program on a high-density screen, under its own X server and both
// renderers: the desktop's scale read from the server's resources and
// followed while the window is open, the zoom on top of it, sizes saved in
// logical units, and the page, kept in a ring of painted bands, showing what
// a fresh painting of the same state shows wherever it is scrolled, hovered
// or clicked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "app.h"
#include "kit.h"
#include "l10n.h"
#include "wkit.h"

namespace {

constexpr int kScreenW = 3840, kScreenH = 2160;
constexpr int kScaleWaitMs = 10000;
constexpr int kSteadyTries = 5;
// Rows of device pixels compared together: a band of the ring is 256.
constexpr int kStrip = 8;
// The mean difference per channel a strip may show: anti-aliasing and the
// accelerated bars stay well below it; a strip holding other rows of the
// page, or rows painted at another scroll, goes far above it.
constexpr double kStripTolerance = 2;
// A few pixels of stale paint (a panel's corner, one control) leave the
// strips' means alone; both renderers match a fresh painting pixel for
// pixel here, so more than a stray few pixels far off is a fault.
constexpr int kFarOff = 40, kStrayPixels = 8;

// English in the light theme, whatever the machine's language.
void seed(const wkit::User& u, const std::function<void(Settings&)>& change) {
    wkit::seed_settings(u, [&](Settings& s) {
        s.language = "en";
        s.theme = "light";
        change(s);
    });
}

// The screen beside the state the program reports, painted afresh here at
// the same density, the overlay laid over the base as the window lays it.
// A screenshot taken between two answers with no frame presented between
// them shows exactly the first answer's state.
testing::AssertionResult shows_fresh_painting(wkit::Program& p) {
    for (int tries = 0; tries < kSteadyTries; ++tries) {
        if (!p.sync()) return testing::AssertionFailure() << "no answer";
        const wkit::Frame f = p.frame();
        const auto screen = p.shot();
        if (!p.sync()) return testing::AssertionFailure() << "no answer";
        if (p.frame().get("frame") != f.get("frame")) continue;
        App a;
        wkit::mirror(f, a);
        const double k = p.units();
        if (!screen->ok()) return testing::AssertionFailure() << "no screenshot";
        if (std::lround(p.w() / k * k) != screen->w || std::lround(p.h() / k * k) != screen->h)
            return testing::AssertionFailure() << "reported " << p.w() << "x" << p.h() << ", shown "
                                               << screen->w << "x" << screen->h;
        const Canvas fresh(screen->w, screen->h), over(screen->w, screen->h);
        a.snapshot(p.w() / k, p.h() / k, k, fresh.s, over.s);
        L10n::setLanguage("en");
        if (!fresh.ok() || !over.ok()) return testing::AssertionFailure() << "no picture";
        cairo_set_source_surface(fresh.cr, over.s, 0, 0);
        cairo_paint(fresh.cr);
        double worst = 0;
        int worst_row = 0, far = 0, far_x = 0, far_y = 0;
        // Both pictures are opaque, so their stored words are their colours.
        const unsigned char *shown = screen->data(), *painted = fresh.data();
        for (int y0 = 0; y0 + kStrip <= fresh.h; y0 += kStrip) {
            double sum = 0;
            for (int y = y0; y < y0 + kStrip; ++y) {
                const auto* s = reinterpret_cast<const uint32_t*>(shown + y * screen->stride());
                const auto* o = reinterpret_cast<const uint32_t*>(painted + y * fresh.stride());
                for (int x = 0; x < fresh.w; ++x) {
                    int most = 0;
                    for (int shift = 0; shift < 24; shift += 8) {
                        const int d = std::abs(int(s[x] >> shift & 0xFF) - int(o[x] >> shift & 0xFF));
                        sum += d;
                        most = std::max(most, d);
                    }
                    if (most > kFarOff && far++ == 0) {
                        far_x = x;
                        far_y = y;
                    }
                }
            }
            const double mean = sum / (3.0 * kStrip * fresh.w);
            if (mean > worst) {
                worst = mean;
                worst_row = y0;
            }
        }
        if (worst <= kStripTolerance && far <= kStrayPixels) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "rows " << worst_row << " to " << worst_row + kStrip << " differ by "
                                           << worst << "; " << far << " pixels far off, the first at (" << far_x
                                           << ", " << far_y << "); at scroll " << f.get("scroll");
    }
    return testing::AssertionFailure() << "the window never held still";
}

using HiDpi = wkit::OnScreen<kScreenW, kScreenH>;

}  // namespace

// Xft.dpi 192 is a scale of 2: the window opens at twice the logical size
// it opens at on full HD and takes clicks where it draws. The zoom shows
// more or less in the same window; a changed desktop scale keeps the layout
// and resizes the window. The next start opens at the logical size and the
// zoom saved.
TEST_P(HiDpi, TheDesktopsScaleFollowedLiveWithTheZoomOnTop) {
    ASSERT_TRUE(wkit::set_xft_dpi(x, 192));
    const wkit::User u = wkit::new_user("scaled");
    wkit::Program p(x, u, GetParam());
    ASSERT_TRUE(p.wait_window() && p.refresh()) << p.story();
    EXPECT_EQ(p.units(), 2);
    EXPECT_EQ(p.frame().get("size"), "1100 687");
    EXPECT_EQ(p.w(), 2200);
    EXPECT_EQ(p.h(), 1374);
    p.click("unit:1");
    EXPECT_EQ(p.frame().settings().cap_unit, 1) << "the GB chip where it is drawn";

    p.key("ctrl+plus");
    EXPECT_EQ(p.frame().num("zoom"), 110);
    EXPECT_DOUBLE_EQ(p.units(), 2.2);
    ASSERT_TRUE(p.refresh());
    EXPECT_EQ(p.w(), 2200) << "the window keeps its size on the screen";
    EXPECT_NEAR(p.frame().num("size"), 1000, 1e-6) << "and shows less in it";
    p.click("unit:3");
    EXPECT_EQ(p.frame().settings().cap_unit, 3) << "the PB chip where it is drawn at 110 %";
    p.key("ctrl+minus");
    p.key("ctrl+minus");
    EXPECT_EQ(p.frame().num("zoom"), 90);
    p.key("ctrl+0");
    EXPECT_EQ(p.frame().num("zoom"), 100);

    // Two steps up from the settings' interface size row.
    p.click("head:settings");
    p.click("set:zoom:plus");
    p.click("set:zoom:plus");
    EXPECT_EQ(p.frame().num("zoom"), 125);
    EXPECT_EQ(p.frame().settings().zoom, 125);
    p.key("Escape");
    ASSERT_TRUE(p.refresh());
    EXPECT_EQ(p.w(), 2200);
    EXPECT_EQ(p.h(), 1374);

    // The desktop goes back to a scale of 1 while the window is open.
    ASSERT_TRUE(wkit::set_xft_dpi(x, 96));
    EXPECT_TRUE(wkit::wait_until([&] { return p.sync() && p.units() == 1.25; }, kScaleWaitMs))
        << "units " << p.units();
    ASSERT_TRUE(p.refresh());
    EXPECT_EQ(p.w(), 1100);
    EXPECT_EQ(p.h(), 687);
    EXPECT_NEAR(p.frame().num("size"), 880, 1e-6) << "the same layout";
    p.click("unit:2");
    EXPECT_EQ(p.frame().settings().cap_unit, 2) << "the TB chip where it is drawn now";
    p.key("ctrl+q");
    EXPECT_EQ(p.wait_exit(), 0) << p.story();
    const Settings saved = p.settings();
    EXPECT_EQ(saved.full.w, 880) << "logical units";
    EXPECT_EQ(saved.full.h, 550);
    EXPECT_EQ(saved.zoom, 125);

    ASSERT_TRUE(wkit::set_xft_dpi(x, 192));
    wkit::Program again(x, u, GetParam());
    ASSERT_TRUE(again.wait_window() && again.refresh()) << again.story();
    EXPECT_EQ(again.units(), 2.5);
    EXPECT_EQ(again.w(), 2200);
    EXPECT_EQ(again.h(), 1375);
}

// The page at a scale of 2 and of 1.5 (where a logical unit is no whole
// number of pixels): scrolled a wheel step at a time to its end, so the ring
// turns more than once; jumped to its top and back to its end, over bands
// that no longer hold their rows; scrolled into bands painted ahead while
// the window was quiet; and repainted for a hover, a chip, a failed drive
// and tooltips.
// Each time the screen is what a fresh painting of the whole window shows.
TEST_P(HiDpi, ThePageShowsAFreshPaintingWhereverItGoes) {
    for (const int dpi : {192, 144}) {
        SCOPED_TRACE("Xft.dpi " + std::to_string(dpi));
        ASSERT_TRUE(wkit::set_xft_dpi(x, dpi));
        const wkit::User u = wkit::new_user("ring");
        // Without the drive lights and gliding bars, every frame of a state looks the same.
        seed(u, [](Settings& s) { s.animate = false; });
        wkit::Program p(x, u, GetParam(), {"--size", "1100x600"});
        ASSERT_TRUE(p.wait_window()) << p.story();
        ASSERT_EQ(p.units(), dpi / 96.0);
        EXPECT_TRUE(shows_fresh_painting(p)) << "as opened";
        double bx = 0, by = 0;
        ASSERT_TRUE(wkit::blank_spot(p.frame(), &bx, &by));

        const double end = p.frame().num("content") - p.frame().num("view");
        ASSERT_GT(end, 2 * p.frame().num("view")) << "a page long enough to turn the ring twice";
        for (int step = 0; p.frame().num("scroll") < end; ++step) {
            ASSERT_LT(step, 100) << "the wheel does not scroll";
            p.wheel(bx, by, 1);
            EXPECT_TRUE(shows_fresh_painting(p)) << "a wheel step down";
        }
        for (const char* key : {"Home", "Page_Down", "End", "Page_Up"}) {
            p.key(key);
            EXPECT_TRUE(shows_fresh_painting(p)) << key;
        }

        // Quiet, the window paints the bands beside the view. At the end of
        // the page the ring holds none of the rows below its top, so these
        // are painted ahead there, and the wheel then brings them in.
        auto painted_ahead = [&] { return p.sync() && p.frame().num("ahead_due") == 0; };
        p.key("End");
        ASSERT_TRUE(wkit::wait_until(painted_ahead, kScaleWaitMs));
        const double ahead = p.frame().num("painted_ahead");
        p.key("Home");
        EXPECT_TRUE(wkit::wait_until(painted_ahead, kScaleWaitMs));
        EXPECT_GT(p.frame().num("painted_ahead"), ahead) << "nothing painted ahead";
        for (int step = 0; step < 4; ++step) {
            p.wheel(bx, by, 1);
            EXPECT_TRUE(shows_fresh_painting(p)) << "into bands painted ahead, step " << step;
        }

        p.key("Home");
        p.move_to("preset:1");
        EXPECT_EQ(p.frame().get("hover"), "preset:1");
        EXPECT_TRUE(shows_fresh_painting(p)) << "hovered";
        p.move(bx, by);
        EXPECT_EQ(p.frame().get("hover"), "");
        EXPECT_TRUE(shows_fresh_painting(p)) << "the hover gone";

        // A chip changes figures in every panel below it; a disk size also
        // the header's summary, which is all of the frame that follows it.
        p.click("unit:3");
        EXPECT_EQ(p.frame().settings().cap_unit, 3);
        p.move(bx, by);
        EXPECT_TRUE(shows_fresh_painting(p)) << "a chip clicked";
        const double size = p.frame().settings().cap_value;
        p.click("preset:0");
        EXPECT_NE(p.frame().settings().cap_value, size);
        p.move(bx, by);
        EXPECT_TRUE(shows_fresh_painting(p)) << "a disk size chosen";
        // Only what a changed figure draws differently is painted again:
        // other kinds of change, each against a fresh painting.
        const std::string type = p.frame().settings().disk_type;
        for (int step = 0; step < 10 && !p.frame().find("type:ssd"); ++step) p.wheel(bx, by, 1);
        p.click("type:ssd");
        EXPECT_NE(p.frame().settings().disk_type, type);
        p.move(bx, by);
        EXPECT_TRUE(shows_fresh_painting(p)) << "a disk type chosen";
        p.click("ossize:toggle");
        EXPECT_TRUE(p.frame().settings().os_sizes);
        p.move(bx, by);
        EXPECT_TRUE(shows_fresh_painting(p)) << "sizes as the system counts them";
        const int disks = p.frame().settings().disks;
        p.key("plus");
        EXPECT_EQ(p.frame().settings().disks, disks + 1);
        EXPECT_TRUE(shows_fresh_painting(p)) << "a disk added";

        // The pointer leaves the drive before its tooltip can open.
        p.key("End");
        p.click("disk:0");
        EXPECT_EQ(p.frame().settings().failed, "0");
        p.move(bx, by);
        EXPECT_TRUE(shows_fresh_painting(p)) << "a drive failed";
        p.click("disk:0");
        EXPECT_EQ(p.frame().settings().failed, "");
        p.move(bx, by);
        EXPECT_TRUE(shows_fresh_painting(p)) << "the drive replaced";

        // A tooltip is painted and cleared as a box of its own: one drive's,
        // then another's, leave nothing of the first behind.
        for (const char* drive : {"disk:0", "disk:1"}) {
            p.move_to(drive);
            EXPECT_TRUE(wkit::wait_until([&] { return p.sync() && p.frame().get("tip") == "1"; }, kScaleWaitMs))
                << drive;
            EXPECT_EQ(p.frame().get("hover"), drive);
            EXPECT_TRUE(shows_fresh_painting(p)) << drive << "'s tooltip";
        }
        p.move(bx, by);
        EXPECT_EQ(p.frame().get("tip"), "0");
        EXPECT_TRUE(shows_fresh_painting(p)) << "the tooltip gone";
    }
}

INSTANTIATE_TEST_SUITE_P(Renderers, HiDpi, ::testing::ValuesIn(wkit::renderers()),
                         [](const auto& info) { return info.param; });
