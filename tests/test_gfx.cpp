// Palettes, colour parsing and the vector primitives, drawn into small image
// surfaces and checked at the pixels that show whether a shape is right.
#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "canvas.h"
#include "gfx.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

bool same(const Rgba& a, const Rgba& b) {
    return std::fabs(a.r - b.r) < 1e-9 && std::fabs(a.g - b.g) < 1e-9 && std::fabs(a.b - b.b) < 1e-9 &&
           std::fabs(a.a - b.a) < 1e-9;
}

bool greyish(const Px& p) { return std::abs(p.r - p.g) < 10 && std::abs(p.g - p.b) < 10; }

// What `draw` paints onto `out` with nothing kept between frames.
template <class Draw>
void fresh(Canvas& out, Draw&& draw) {
    gfx::keep_bitmaps(false);
    draw(out.cr);
    gfx::keep_bitmaps(true);
}

}  // namespace

// ---- Colours and palettes ----

TEST(Hex, HashIsOptionalAndChannelsSplitByBits) {
    const Rgba a = hex("#A9C2A8", 1), b = hex("A9C2A8", 1);
    EXPECT_TRUE(same(a, b));
    EXPECT_DOUBLE_EQ(a.r, 0xA9 / 255.0);
    EXPECT_DOUBLE_EQ(a.g, 0xC2 / 255.0);
    EXPECT_DOUBLE_EQ(a.b, 0xA8 / 255.0);
    EXPECT_DOUBLE_EQ(hex("#FFFFFF", 0.13).a, 0.13);
    EXPECT_DOUBLE_EQ(hex("#000000").a, 1.0);
}

TEST(Hex, MalformedTextGivesWhatTheParseGives) {
    const Rgba short_text = hex("#12");  // reads as 0x000012
    EXPECT_DOUBLE_EQ(short_text.r, 0);
    EXPECT_DOUBLE_EQ(short_text.b, 0x12 / 255.0);
    EXPECT_TRUE(same(hex("nonsense"), Rgba{}));
    EXPECT_TRUE(same(hex(nullptr, 0.5), Rgba{0, 0, 0, 0.5}));
}

TEST(Palette, DefaultIsLightWithOpaqueBlack) {
    const Palette p;
    EXPECT_FALSE(p.dark);
    EXPECT_TRUE(same(p.accent, Rgba{0, 0, 0, 1}));
    EXPECT_TRUE(same(p.button_hot, Rgba{0, 0, 0, 1}));
}

// Relative luminance and contrast ratio as accessibility guidelines define them.
double luminance(const Rgba& c) {
    auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b);
}
double contrast(const Rgba& a, const Rgba& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(Palette, EveryTextStaysReadableOnEverySurfaceInBothThemes) {
    for (const bool dark : {true, false}) {
        const Palette p = Palette::make(dark);
        EXPECT_EQ(p.dark, dark);
        const std::pair<const char*, Rgba> surfaces[] = {{"panel_top", p.panel_top}, {"panel_bottom", p.panel_bottom},
                                                         {"slot", p.slot}, {"surface2", p.surface2}, {"bg", p.bg}};
        for (const auto& [name, s] : surfaces) {
            EXPECT_GE(contrast(p.text, s), 7) << "text on " << name << (dark ? ", dark" : ", light");
            EXPECT_GE(contrast(p.text_strong, s), contrast(p.text, s)) << name;
            EXPECT_GE(contrast(p.dim, s), 4.5) << "dim on " << name << (dark ? ", dark" : ", light");
            // Figures and marks in the status colours, drawn bold.
            for (const auto& [what, c] : {std::pair<const char*, Rgba>{"ok", p.ok}, {"warn", p.warn}, {"err", p.err},
                                          {"accent", p.accent}})
                EXPECT_GE(contrast(c, s), 2.4) << what << " on " << name << (dark ? ", dark" : ", light");
        }
        EXPECT_GE(contrast(p.chip_on_text, p.chip_on), 3) << "a chosen chip's label";
        // Tints only: hover, selection and grid show what lies beneath.
        for (const Rgba& tint : {p.hover, p.select, p.grid}) EXPECT_LT(tint.a, 0.2);
        EXPECT_NE(luminance(p.ok), luminance(p.err)) << "the states differ";
    }
    EXPECT_LT(luminance(Palette::make(true).bg), luminance(Palette::make(false).bg));
}

TEST(VuColor, ThresholdsBelongToTheLowerBand) {
    const Palette p = Palette::make(true);
    EXPECT_TRUE(same(gfx::vu_color(0, p), p.ok));
    EXPECT_TRUE(same(gfx::vu_color(0.68, p), p.ok));
    EXPECT_TRUE(same(gfx::vu_color(0.6801, p), p.warn));
    EXPECT_TRUE(same(gfx::vu_color(0.86, p), p.warn));
    EXPECT_TRUE(same(gfx::vu_color(0.8601, p), p.err));
}

// ---- Shapes ----

TEST(Rounded, OversizedRadiusGivesCircleNotInvertedArcs) {
    Canvas c(20, 20);
    gfx::rounded(c.cr, 0, 0, 20, 20, 50);
    EXPECT_TRUE(cairo_in_fill(c.cr, 10, 10));
    EXPECT_TRUE(cairo_in_fill(c.cr, 10, 0.5));
    EXPECT_TRUE(cairo_in_fill(c.cr, 0.5, 10));
    EXPECT_TRUE(cairo_in_fill(c.cr, 19.5, 10));
    EXPECT_FALSE(cairo_in_fill(c.cr, 1.5, 1.5));  // outside the circle
    EXPECT_FALSE(cairo_in_fill(c.cr, 18.5, 18.5));
    double x0, y0, x1, y1;
    cairo_fill_extents(c.cr, &x0, &y0, &x1, &y1);
    EXPECT_NEAR(x0, 0, 0.01);
    EXPECT_NEAR(x1, 20, 0.01);
    EXPECT_NEAR(y1, 20, 0.01);
}

TEST(Rounded, WideBoxBecomesStadiumAndZeroRadiusARectangle) {
    Canvas c(60, 20);
    gfx::rounded(c.cr, 0, 0, 60, 20, 100);
    EXPECT_TRUE(cairo_in_fill(c.cr, 30, 0.5));
    EXPECT_TRUE(cairo_in_fill(c.cr, 2, 10));
    EXPECT_TRUE(cairo_in_fill(c.cr, 58, 10));
    EXPECT_FALSE(cairo_in_fill(c.cr, 1, 1));
    EXPECT_FALSE(cairo_in_fill(c.cr, 59, 19));
    cairo_new_path(c.cr);
    gfx::rounded(c.cr, 0, 0, 10, 10, 0);
    EXPECT_TRUE(cairo_in_fill(c.cr, 0.2, 0.2));
    EXPECT_TRUE(cairo_in_fill(c.cr, 9.8, 9.8));
}

TEST(WindowBg, IsTheRadialGradientWhateverTheWidth) {
    const Palette p = Palette::make(false);
    for (int w : {300, 301}) {
        Canvas mine(w, 200), ref(w, 200);
        gfx::window_bg(mine.cr, w, 200, p);
        cairo_pattern_t* g = cairo_pattern_create_radial(w / 2.0, 50, 0, w / 2.0, 50, 0.9 * w);
        cairo_pattern_add_color_stop_rgba(g, 0, p.bg_top.r, p.bg_top.g, p.bg_top.b, 1);
        cairo_pattern_add_color_stop_rgba(g, 1, p.bg_bottom.r, p.bg_bottom.g, p.bg_bottom.b, 1);
        cairo_set_source(ref.cr, g);
        cairo_paint(ref.cr);
        cairo_pattern_destroy(g);
        // Worked out by the program, not by cairo: a level apart where the
        // two round a colour on either side of a half.
        int off = 0, worst = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < w; ++x) {
                const Px a = mine.at(x, y), b = ref.at(x, y);
                const int d = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b),
                                        std::abs(a.a - b.a)});
                worst = std::max(worst, d);
                off += d > 0;
            }
        EXPECT_LE(worst, 1) << w;
        EXPECT_LT(off, w * 200 / 100) << w;
    }
}

TEST(KeptBitmaps, HighDensityCopyIsTheFreshDrawing) {
    // Twice: the first call fills the bitmap, the second only copies it. The
    // wall starts half a unit in: a whole device pixel, a fraction of a unit.
    const Palette p = Palette::make(false);
    for (int w : {300, 301}) {
        Canvas kept(w, 200, 2), ref(w, 200, 2);
        for (int i = 0; i < 2; ++i) {
            gfx::window_bg(kept.cr, w, 200, p);
            gfx::wall(kept.cr, 3.5, 30, w - 10, 64, true);
        }
        fresh(ref, [&](cairo_t* cr) {
            gfx::window_bg(cr, w, 200, p);
            gfx::wall(cr, 3.5, 30, w - 10, 64, true);
        });
        EXPECT_TRUE(kept.same_as(ref)) << w;
    }
}

TEST(KeptBitmaps, PanelsWellsBaysAndBarsLookAsDrawnAfresh) {
    // A kept bitmap is blended onto the page in one step, so a pixel the
    // shape covers only partly may round one level differently; nothing more.
    // On a high-density surface it is as fine as a drawing scaled by the
    // context (cairo would split arcs for the coarser grid otherwise).
    const Palette p = Palette::make(true);
    auto paint = [&p](cairo_t* cr) {
        gfx::set(cr, hex("#405060"));
        cairo_paint(cr);
        gfx::rack(cr, 10.25, 8, 180, 120, p, p.accent, true, 2, false);
        gfx::display(cr, 30, 40.5, 120, 50, p, true);
        gfx::drive(cr, 160.75, 20, 30, 70, p, true, false, false);
        gfx::drive(cr, 200, 20, 30, 70, p, false, true, false);
        // Same size, other colours: a kept bar is known by its colours too.
        gfx::gradient_bar(cr, 12.25, 100.5, 150.4, 11, 4, hex("#30c0ff", 0.8), hex("#1060a0"));
        gfx::gradient_bar(cr, 40.25, 120.5, 150.4, 11, 4, hex("#e04030"), hex("#802010"));
        gfx::framed_box(cr, 100.25, 50.5, 60, 24, 7, hex("#20a040", 0.5), hex("#e0e0e0"), 1);
        gfx::framed_box(cr, 170.25, 50.5, 60, 24, 7, hex("#a02040", 0.5), hex("#e0e0e0"), 1);
    };
    for (int scale : {1, 2}) {
        Canvas first(240, 140, scale), kept(240, 140, scale), again(240, 140, scale), ref(240 * scale, 140 * scale);
        cairo_scale(ref.cr, scale, scale);
        paint(first.cr);  // bars and boxes are kept from their second request on
        paint(kept.cr);
        paint(again.cr);
        fresh(ref, paint);
        EXPECT_TRUE(kept.same_as(again)) << scale;
        int worst = 0, off = 0;
        for (int y = 0; y < kept.h; ++y)
            for (int x = 0; x < kept.w; ++x) {
                const Px a = kept.raw(x, y), b = ref.raw(x, y);
                const int d = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
                worst = std::max(worst, d);
                off += d > 0;
            }
        EXPECT_LE(worst, 1) << scale;
        EXPECT_LT(off, kept.w * kept.h / 20) << scale;
    }
}

TEST(KeptBitmaps, HighDensityLetteringFollowsDevicePixels) {
    // Half a unit is one device pixel at scale 2: the same bitmap, moved.
    Canvas a(200, 60, 2), b(200, 60, 2), c(200, 60, 2);
    gfx::graffiti(a.cr, "Raid", 10, 30, 30, 0, true);
    gfx::graffiti(b.cr, "Raid", 10.5, 30, 30, 0, true);
    gfx::graffiti(c.cr, "Raid", 10.25, 30, 30, 0, true);
    int moved = 0, across = 0;
    for (int y = 0; y < a.h; ++y)
        for (int x = 0; x + 1 < a.w; ++x) {
            moved += a.word(x, y) != b.word(x + 1, y);
            across += a.word(x, y) != c.word(x, y);
        }
    EXPECT_EQ(moved, 0);
    EXPECT_GT(across, 100);
}

TEST(WindowBg, KeepsNoBitmapAtAnySize) {
    // A kept background of a 4K window would be 33 MB, and a resize would
    // fill one for every size it passes.
    const Palette p = Palette::make(true);
    Canvas c(440, 300, 2);
    const size_t before = gfx::kept_bitmap_bytes();
    for (int w = 400; w <= 440; w += 4)
        for (int frame = 0; frame < 2; ++frame) {
            gfx::begin_frame();
            gfx::window_bg(c.cr, w, 300, p);
        }
    EXPECT_EQ(gfx::kept_bitmap_bytes(), before);
    // Nor is any bitmap beyond the whole budget, though asked for again.
    Canvas huge(1, 1, 1);
    for (int i = 0; i < 2; ++i) gfx::rack(huge.cr, 0, 0, 9000, 9000, p, p.accent, false, 0, false);
    EXPECT_LT(gfx::kept_bitmap_bytes(), size_t(9000) * 9000 * 4);
}

TEST(WindowBg, RespectsClipAndOffset) {
    const Palette p = Palette::make(true);
    Canvas c(200, 100);
    gfx::window_bg(c.cr, 200, 100, p);
    Canvas clipped(200, 100);
    cairo_rectangle(clipped.cr, 0, 0, 100, 100);
    cairo_clip(clipped.cr);
    gfx::window_bg(clipped.cr, 200, 100, p);
    EXPECT_EQ(clipped.at(99, 50).a, 255);
    EXPECT_EQ(clipped.at(100, 50).a, 0);
    Canvas moved(240, 140);
    cairo_translate(moved.cr, 20, 30);
    gfx::window_bg(moved.cr, 200, 100, p);
    EXPECT_EQ(moved.at(19, 60).a, 0);
    EXPECT_EQ(moved.at(20, 60).r, c.at(0, 30).r);
    EXPECT_EQ(moved.at(219, 129).r, c.at(199, 99).r);
    EXPECT_EQ(moved.at(220, 60).a, 0);
}

TEST(Rack, TransparentStripDrawsNoStrip) {
    const Palette p = Palette::make(true);
    Canvas plain(200, 60), red(200, 60);
    gfx::rack(plain.cr, 0, 0, 200, 56, p, Rgba{1, 0, 0, 0}, false, 0, false);
    gfx::rack(red.cr, 0, 0, 200, 56, p, Rgba{1, 0, 0, 1}, true, 0, false);
    for (int x : {45, 100, 155}) {
        EXPECT_TRUE(greyish(plain.at(x, 2))) << x;
        const Px s = red.at(x, 2);
        EXPECT_GT(s.r, s.g + 80) << x;
    }
}

TEST(Rack, NarrowPanelHasZeroWidthStrip) {
    const Palette p = Palette::make(true);
    Canvas c(70, 40);
    gfx::rack(c.cr, 0, 0, 70, 36, p, Rgba{1, 0, 0, 1}, false, 0, false);
    for (int x = 12; x < 58; ++x) EXPECT_TRUE(greyish(c.at(x, 2))) << x;
}

TEST(Rack, NarrowLitPanelStillGlows) {
    // 70 wide: no room for the strip, but the glow (inset 30) is 10 wide.
    const Palette p = Palette::make(true);
    Canvas lit(70, 40), clear(70, 40);
    gfx::rack(lit.cr, 0, 0, 70, 36, p, Rgba{1, 0, 0, 1}, true, 0, false);
    gfx::rack(clear.cr, 0, 0, 70, 36, p, Rgba{1, 0, 0, 0}, true, 0, false);
    EXPECT_GT(lit.at(35, 4).r, clear.at(35, 4).r + 8);
    EXPECT_EQ(lit.at(20, 4).r, clear.at(20, 4).r);
    EXPECT_EQ(lit.at(45, 2).r, clear.at(45, 2).r);  // and no strip beside it
}

TEST(Rack, HotEdgeTakesTheStripColour) {
    const Palette p = Palette::make(false);
    Canvas cold(120, 60), hot(120, 60);
    gfx::rack(cold.cr, 0, 0, 120, 56, p, Rgba{1, 0, 0, 1}, false, 0, false);
    gfx::rack(hot.cr, 0, 0, 120, 56, p, Rgba{1, 0, 0, 1}, false, 0, true);
    EXPECT_TRUE(greyish(cold.at(0, 30)));
    const Px e = hot.at(0, 30);
    EXPECT_GT(e.r, e.g + 40);
}

TEST(Rack, SameSeedSamePictureOtherSeedTurnsScrews) {
    const Palette p = Palette::make(true);
    Canvas a(120, 60), b(120, 60), other(120, 60);
    gfx::rack(a.cr, 0, 0, 120, 56, p, p.accent, false, 3, false);
    gfx::rack(b.cr, 0, 0, 120, 56, p, p.accent, false, 3, false);
    gfx::rack(other.cr, 0, 0, 120, 56, p, p.accent, false, 4, false);
    EXPECT_TRUE(a.same_as(b));
    EXPECT_FALSE(a.same_as(other));
}

TEST(Display, GridDotsSitEveryEightPixels) {
    const Palette p = Palette::make(true);
    Canvas with(100, 60), without(100, 60);
    gfx::display(with.cr, 0, 0, 100, 60, p, true);
    gfx::display(without.cr, 0, 0, 100, 60, p, false);
    const Px dot = with.at(30, 30), bare = without.at(30, 30);
    EXPECT_GT(dot.r, bare.r);  // faint white dot on the dark well
    EXPECT_EQ(with.at(33, 30).r, without.at(33, 30).r);
    EXPECT_EQ(with.at(30, 33).r, without.at(30, 33).r);
    // The inner shadow darkens the top of the well.
    EXPECT_LT(without.at(50, 2).r, without.at(50, 40).r);
}

TEST(Drive, OutlineShowsFailureAndSpareIsDashed) {
    const Palette p = Palette::make(false);
    Canvas ok(40, 80), failed(40, 80), spare(40, 80);
    gfx::drive(ok.cr, 0, 0, 40, 76, p, false, false, false);
    gfx::drive(failed.cr, 0, 0, 40, 76, p, true, false, false);
    gfx::drive(spare.cr, 0, 0, 40, 76, p, false, true, false);
    EXPECT_TRUE(greyish(ok.at(0, 38)));
    const Px f = failed.at(0, 38);
    EXPECT_GT(f.r, f.g + 30);
    // Along the left edge the dashed outline lets the body show through.
    int gaps = 0, dashes = 0;
    for (int y = 20; y < 60; ++y) (std::abs(ok.at(0, y).r - spare.at(0, y).r) > 8 ? gaps : dashes)++;
    EXPECT_GT(gaps, 5);
    EXPECT_GT(dashes, 5);
}

TEST(Gear, ToothHoleAndValley) {
    Canvas c(40, 40);
    gfx::gear(c.cr, 20, 20, 16, Rgba{1, 1, 1, 1});
    EXPECT_EQ(c.at(20, 20).a, 0);                 // centre hole
    EXPECT_EQ(c.at(20 + 14, 20).a, 255);          // on a tooth
    const int vx = int(20 + 14 * std::cos(kPi / 8)), vy = int(20 + 14 * std::sin(kPi / 8));
    EXPECT_EQ(c.at(vx, vy).a, 0);                 // between two teeth
    EXPECT_EQ(c.at(20 + 8, 20).a, 255);           // the ring
    EXPECT_EQ(cairo_get_fill_rule(c.cr), CAIRO_FILL_RULE_WINDING);
}

TEST(Dot, HaloFadesWithAlphaSquared) {
    Canvas c(40, 20);
    gfx::dot(c.cr, 10, 10, 4, Rgba{0, 1, 0, 1});
    gfx::dot(c.cr, 30, 10, 4, Rgba{0, 1, 0, 0.5});
    EXPECT_EQ(c.at(10, 10).a, 255);
    EXPECT_NEAR(c.at(10 + 6, 10).a, 0.25 * 255, 2);
    EXPECT_NEAR(c.at(30 + 6, 10).a, 0.25 * 0.25 * 255, 2);
}

TEST(Primitives, LeaveNoTransformClipPathOrDashBehind) {
    const Palette p = Palette::make(true);
    Canvas c(300, 200);
    cairo_translate(c.cr, 5, 7);
    cairo_rectangle(c.cr, 0, 0, 250, 150);
    cairo_clip(c.cr);
    cairo_matrix_t before;
    cairo_get_matrix(c.cr, &before);
    double cx0, cy0, cx1, cy1;
    cairo_clip_extents(c.cr, &cx0, &cy0, &cx1, &cy1);

    gfx::window_bg(c.cr, 300, 200, p);
    gfx::rack(c.cr, 10, 10, 200, 100, p, p.err, true, 1, true);
    gfx::display(c.cr, 20, 20, 80, 40, p, true);
    gfx::drive(c.cr, 120, 20, 30, 60, p, false, true, false);
    gfx::wall(c.cr, 0, 120, 300, 40, true);
    gfx::graffiti(c.cr, "Wall", 10, 140, 20, 100, true);
    gfx::rainbow_text(c.cr, "Rainbow", 150, 140, 14, true);
    gfx::device_button(c.cr, 200, 10, 38, 0, true, p);
    gfx::app_logo(c.cr, 250, 80, 12, p);
    gfx::shield(c.cr, 30, 180, 8, p.ok);
    gfx::arrow(c.cr, 60, 180, 10, true, p.text);
    gfx::cross(c.cr, 90, 180, 6, p.err, 2);
    gfx::check(c.cr, 120, 180, 6, p.ok, 2);
    gfx::minus_plus(c.cr, 150, 180, 6, true, p.text);
    gfx::icon_copy(c.cr, 180, 180, 8, p.text);
    gfx::text(c.cr, "Label", 200, 180, p.text, gfx::TextStyle{});
    cairo_set_line_width(c.cr, 3);
    for (int twice = 0; twice < 2; ++twice) gfx::framed_box(c.cr, 220, 150, 40, 20, 6, p.slot, p.panel_edge, 1.5);
    EXPECT_DOUBLE_EQ(cairo_get_line_width(c.cr), 3) << "drawn afresh, then copied";

    cairo_matrix_t after;
    cairo_get_matrix(c.cr, &after);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    double ax0, ay0, ax1, ay1;
    cairo_clip_extents(c.cr, &ax0, &ay0, &ax1, &ay1);
    EXPECT_DOUBLE_EQ(ax0, cx0);
    EXPECT_DOUBLE_EQ(ay1, cy1);
    EXPECT_FALSE(cairo_has_current_point(c.cr));
    EXPECT_EQ(cairo_get_dash_count(c.cr), 0);
    EXPECT_EQ(cairo_get_fill_rule(c.cr), CAIRO_FILL_RULE_WINDING);
    EXPECT_EQ(cairo_status(c.cr), CAIRO_STATUS_SUCCESS);
}

TEST(AppLogo, DoesNotDependOnThePalette) {
    Canvas a(60, 60), b(60, 60);
    gfx::app_logo(a.cr, 30, 30, 24, Palette::make(true));
    gfx::app_logo(b.cr, 30, 30, 24, Palette::make(false));
    EXPECT_TRUE(a.same_as(b));
    EXPECT_EQ(a.at(30, 30).a, 255);
    EXPECT_EQ(a.at(7, 7).a, 0);  // rounded corner
}

TEST(Wall, MortarJointsAlternateBetweenRows) {
    Canvas c(120, 40);
    gfx::wall(c.cr, 0, 0, 120, 40, true);
    auto joint = [&c](int x, int y) { return c.at(x, y).r > c.at(x - 3, y).r && c.at(x, y).r > c.at(x + 3, y).r; };
    // Row 0 has joints at 0 and 46, row 1 at 23 and 69.
    EXPECT_TRUE(joint(46, 8));
    EXPECT_FALSE(joint(23, 8));
    EXPECT_TRUE(joint(23, 24));
    EXPECT_FALSE(joint(46, 24));
    EXPECT_GT(c.at(30, 16).r, c.at(30, 13).r);  // the line along the second row's top
}

// ---- Lettering ----

TEST(Graffiti, ShrinksExactlyToMaxWidthAndNeverGrows) {
    Canvas c(800, 120);
    const double natural = gfx::graffiti(c.cr, "Quenlow's Raid Calculator", 10, 60, 40, 0, true);
    ASSERT_GT(natural, 100);
    EXPECT_DOUBLE_EQ(gfx::graffiti(c.cr, "Quenlow's Raid Calculator", 10, 60, 40, -5, true), natural);
    EXPECT_DOUBLE_EQ(gfx::graffiti(c.cr, "Quenlow's Raid Calculator", 10, 60, 40, natural * 2, true),
                     natural);
    EXPECT_NEAR(gfx::graffiti(c.cr, "Quenlow's Raid Calculator", 10, 60, 40, natural / 2, true),
                natural / 2, 1e-9);
    EXPECT_EQ(gfx::graffiti(c.cr, "", 10, 60, 40, 0, true), 0);
}

TEST(Graffiti, SamePictureEveryCallWithinItsWidth) {
    Canvas a(600, 100), b(600, 100);
    const double w = gfx::graffiti(a.cr, "RAID", 50, 50, 40, 300, false);
    gfx::graffiti(b.cr, "RAID", 50, 50, 40, 300, false);
    EXPECT_TRUE(a.same_as(b));
    const int lo = a.ink().x0, hi = a.ink().x1;
    EXPECT_GE(lo, 50 - 4);   // overspray dots may reach a few pixels out
    EXPECT_LE(hi, 50 + w + 4);
    EXPECT_GT(hi - lo, 0.8 * w);
}

TEST(Graffiti, KeptBitmapFollowsSubPixelPosition) {
    // A whole-pixel move reuses the bitmap; a quarter pixel gives other pixels.
    Canvas a(300, 100), b(300, 100), c(300, 100), d(300, 100);
    gfx::graffiti(a.cr, "Raid", 10.25, 50.5, 40, 0, true);
    gfx::graffiti(b.cr, "Raid", 11.25, 51.5, 40, 0, true);
    gfx::graffiti(c.cr, "Raid", 10.5, 50.5, 40, 0, true);
    gfx::graffiti(d.cr, "Raid", 10.25, 50.75, 40, 0, true);
    int moved = 0, across = 0, down = 0;
    for (int y = 0; y < 99; ++y)
        for (int x = 0; x < 299; ++x) {
            const Px p = a.at(x, y), q = b.at(x + 1, y + 1);
            moved += p.a != q.a || p.r != q.r || p.g != q.g;
            across += p.a != c.at(x, y).a;
            down += p.a != d.at(x, y).a;
        }
    EXPECT_EQ(moved, 0);
    EXPECT_GT(across, 100);
    EXPECT_GT(down, 100);
    // Drawn on a rotated context (no bitmap) it still draws.
    Canvas r(400, 200);
    cairo_translate(r.cr, 200, 100);
    cairo_rotate(r.cr, 0.3);
    const double w = gfx::graffiti(r.cr, "Raid", -80, 0, 40, 0, true);
    EXPECT_GT(r.ink().x1 - r.ink().x0, 0.7 * w);
}

TEST(RainbowText, RunsFromGreenToRedInTheDarkTheme) {
    Canvas c(400, 40);
    const double w = gfx::rainbow_text(c.cr, "MMMMMMMMMM", 10, 20, 24, true);
    ASSERT_GT(w, 100);
    const int lo = c.ink().x0, hi = c.ink().x1;
    EXPECT_NEAR(lo, 10, 4);
    EXPECT_NEAR(hi, 10 + w, 6);
    auto strongest = [&c](int x) {
        Px best{0, 0, 0, 0};
        for (int y = 0; y < 40; ++y)
            if (c.at(x, y).a > best.a) best = c.at(x, y);
        return best;
    };
    const Px left = strongest(lo + 2), right = strongest(hi - 2);
    EXPECT_GT(left.g, left.r);
    EXPECT_GT(right.r, right.g + 40);
    EXPECT_EQ(gfx::rainbow_text(c.cr, "", 10, 20, 24, true), 0);
}

// ---- Noting what a pass draws ----

namespace {

// What a scene draws, noted: a stroked rule, a filled box of `fill` at
// x = `at`, a text, and a kept panel.
std::vector<gfx::Drawn> noted(double at, const Rgba& fill, const std::string& words) {
    Canvas c(300, 200);
    Palette p;
    std::vector<gfx::Drawn> out;
    gfx::record(&out);
    cairo_move_to(c.cr, 10, 10);
    cairo_line_to(c.cr, 200, 10);
    cairo_set_line_width(c.cr, 4);
    gfx::stroke(c.cr);
    cairo_rectangle(c.cr, at, 40, 30, 20);
    gfx::set(c.cr, fill);
    gfx::fill(c.cr);
    gfx::text(c.cr, words, 20, 100, p.text, gfx::TextStyle{});
    gfx::rack(c.cr, 150, 80, 120, 90, p, p.accent, false, 1, false);
    gfx::record(nullptr);
    return out;
}

bool covers(const gfx::Drawn& d, double x0, double y0, double x1, double y1) {
    return d.x0 <= x0 && d.y0 <= y0 && d.x1 >= x1 && d.y1 >= y1;
}

}  // namespace

// The same scene twice changes nothing; a box that moved is reported where
// it was and where it is; a recoloured box and a new text only where they
// are; a panel's own drawings hide behind its one note, and a pen's width
// reaches past its path.
TEST(Noting, ChangedBoxesAreWhereTheSceneDiffers) {
    const Rgba red{1, 0, 0, 1}, blue{0, 0, 1, 1};
    const auto base = noted(40, red, "12 TB");
    EXPECT_EQ(base.size(), 4u) << "the rack's screws and hairlines are not noted one by one";
    EXPECT_TRUE(gfx::changed(base, noted(40, red, "12 TB")).empty());
    EXPECT_TRUE(covers(base[0], 10, 8, 200, 12)) << "the pen's reach";

    const auto moved = gfx::changed(base, noted(90, red, "12 TB"));
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_TRUE(std::any_of(moved.begin(), moved.end(), [](const auto& d) { return covers(d, 40, 40, 70, 60); }));
    EXPECT_TRUE(std::any_of(moved.begin(), moved.end(), [](const auto& d) { return covers(d, 90, 40, 120, 60); }));

    const auto recoloured = gfx::changed(base, noted(40, blue, "12 TB"));
    ASSERT_EQ(recoloured.size(), 2u);
    for (const auto& d : recoloured) EXPECT_TRUE(covers(d, 40, 40, 70, 60));

    const auto retexted = gfx::changed(base, noted(40, red, "18 TB"));
    ASSERT_EQ(retexted.size(), 2u);
    for (const auto& d : retexted) EXPECT_LT(d.y0, 110) << "the text's box, not the panel's";
    for (const auto& d : retexted) EXPECT_GE(d.y0, 95);

    gfx::Unnoted quiet;
    std::vector<gfx::Drawn> none;
    gfx::record(&none);
    Canvas c(10, 10);
    cairo_rectangle(c.cr, 0, 0, 5, 5);
    gfx::fill(c.cr);
    gfx::record(nullptr);
    EXPECT_TRUE(none.empty());
}
