// Text with real pango: shrinking limits, wrapping widths, anchoring of
// wrapped blocks, the font cache's key, and real glyphs for every text of
// every language with the fonts the machine has.
#include <gtest/gtest.h>

#include <cairo.h>
#include <pango/pangocairo.h>

#include <string>

#include "canvas.h"
#include "gfx.h"
#include "i18n_data.h"
#include "l10n.h"

namespace {

const char* const kLong = "Capacity that remains after redundancy is spent";

double font_px(PangoLayout* lay) {
    return double(pango_font_description_get_size(pango_layout_get_font_description(lay))) / PANGO_SCALE;
}

gfx::TextStyle style(double size, double max_w, bool fit, bool middle) {
    gfx::TextStyle st;
    st.size = size;
    st.bold = true;
    st.max_w = max_w;
    st.fit = fit;
    st.middle = middle;
    return st;
}

// The first character no installed font could draw, 0 if none.
gunichar first_unknown(PangoLayout* lay) {
    gunichar found = 0;
    PangoLayoutIter* it = pango_layout_get_iter(lay);
    do {
        const PangoLayoutRun* run = pango_layout_iter_get_run_readonly(it);
        for (int g = 0; run && !found && g < run->glyphs->num_glyphs; ++g)
            if (run->glyphs->glyphs[g].glyph & PANGO_GLYPH_UNKNOWN_FLAG)
                found = run->glyphs->glyphs[g].glyph & ~PANGO_GLYPH_UNKNOWN_FLAG;
    } while (!found && pango_layout_iter_next_run(it));
    pango_layout_iter_free(it);
    return found;
}

std::string code_point(gunichar c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", unsigned(c));
    return buf;
}

}  // namespace

// ---- Fitting ----

TEST(Fit, ShrinksInHalfPixelStepsToTheFirstSizeThatFits) {
    Canvas c(10, 10);
    const double at11 = gfx::text_width(c.cr, kLong, 11, true);
    bool wrapped = true;
    PangoLayout* lay = gfx::layout(c.cr, kLong, style(14, at11, true, false), &wrapped);
    EXPECT_DOUBLE_EQ(font_px(lay), 11.0);
    EXPECT_FALSE(wrapped);
    g_object_unref(lay);
}

TEST(Fit, StopsAtHalfSizeOrReadableAndCutsWhatStillDoesNotFit) {
    Canvas c(10, 10);
    bool wrapped = false;
    PangoLayout* lay = gfx::layout(c.cr, kLong, style(20, 20, true, true), &wrapped);
    EXPECT_DOUBLE_EQ(font_px(lay), 10.0) << "half of 20";
    EXPECT_EQ(pango_layout_get_line_count(lay), 1);
    EXPECT_EQ(pango_layout_get_ellipsize(lay), PANGO_ELLIPSIZE_END);
    g_object_unref(lay);
    lay = gfx::layout(c.cr, kLong, style(14, 20, true, true), &wrapped);
    EXPECT_DOUBLE_EQ(font_px(lay), 8.0) << "half of 14 would be unreadable";
    g_object_unref(lay);
    // The cut label keeps to its room and says it was cut; one that fits does not.
    bool cut = false;
    gfx::TextStyle st = style(14, 20, true, true);
    st.cut = &cut;
    EXPECT_LE(gfx::text(c.cr, kLong, 0, 0, Rgba{}, st), 20);
    EXPECT_TRUE(cut);
    st.max_w = 2000;
    EXPECT_GT(gfx::text(c.cr, kLong, 0, 0, Rgba{}, st), 20);
    EXPECT_FALSE(cut);
}

TEST(Fit, MiddleShrinksTo85PercentThenWrapsAtMaxWidth) {
    Canvas c(10, 10);
    bool wrapped = false;
    PangoLayout* lay = gfx::layout(c.cr, kLong, style(20, 150, false, true), &wrapped);
    EXPECT_DOUBLE_EQ(font_px(lay), 17.0);
    EXPECT_TRUE(wrapped);
    EXPECT_EQ(pango_layout_get_width(lay), 150 * PANGO_SCALE);
    EXPECT_GT(pango_layout_get_line_count(lay), 1);
    int w = 0;
    pango_layout_get_pixel_size(lay, &w, nullptr);
    EXPECT_LE(w, 150);
    g_object_unref(lay);
}

TEST(Fit, WithoutFitOrMiddleWrapsAtFullSize) {
    Canvas c(10, 10);
    bool wrapped = false;
    PangoLayout* lay = gfx::layout(c.cr, kLong, style(16, 120, false, false), &wrapped);
    EXPECT_DOUBLE_EQ(font_px(lay), 16.0);
    EXPECT_TRUE(wrapped);
    g_object_unref(lay);
    EXPECT_GT(gfx::text_height(c.cr, kLong, style(16, 120, false, false)),
              gfx::text_height(c.cr, kLong, style(16, 0, false, false)));
}

TEST(Fit, TextThatFitsIsLeftAlone) {
    Canvas c(10, 10);
    bool wrapped = true;
    PangoLayout* lay = gfx::layout(c.cr, "12 TB", style(30, 400, true, true), &wrapped);
    EXPECT_DOUBLE_EQ(font_px(lay), 30.0);
    EXPECT_FALSE(wrapped);
    g_object_unref(lay);
}

// ---- Placement ----

TEST(Placement, WrappedBlockIsAnchoredByMaxWidth) {
    Canvas right(400, 200), centre(400, 200);
    gfx::TextStyle st = style(16, 120, false, true);
    st.align = gfx::Align::Right;
    EXPECT_DOUBLE_EQ(gfx::text(right.cr, kLong, 300, 100, Rgba{}, st), 120);
    st.align = gfx::Align::Center;
    EXPECT_DOUBLE_EQ(gfx::text(centre.cr, kLong, 200, 100, Rgba{}, st), 120);

    const auto r = right.ink();
    EXPECT_GE(r.x0, 180);
    EXPECT_LE(r.x1, 300);
    EXPECT_GE(r.x1, 290);  // lines are right-aligned inside the block
    const auto c = centre.ink();
    EXPECT_GE(c.x0, 140);
    EXPECT_LE(c.x1, 260);
    EXPECT_NEAR((c.x0 + c.x1) / 2.0, 200, 6);
    // Vertically centred on y.
    EXPECT_NEAR((r.y0 + r.y1) / 2.0, 100, 6);
}

TEST(Placement, ShortWrappedLinesStayInsideTheAnchoredBlock) {
    // Two words in a block just too narrow for both: each line is much
    // shorter than the block, so anchoring by the text's own width would show.
    Canvas right(400, 100), centre(400, 100);
    const char* s = "Usable capacity";
    gfx::TextStyle st = style(16, gfx::text_width(right.cr, s, 16, true) - 4, false, false);
    st.tnum = true;
    st.align = gfx::Align::Right;
    gfx::text(right.cr, s, 300, 10, Rgba{}, st);
    st.align = gfx::Align::Center;
    gfx::text(centre.cr, s, 200, 10, Rgba{}, st);
    EXPECT_NEAR(right.ink().x1, 300, 3);
    const auto c = centre.ink();
    EXPECT_NEAR((c.x0 + c.x1) / 2.0, 200, 3);
}

TEST(Placement, SingleLineAlignsOnItsOwnWidth) {
    Canvas left(300, 60), centre(300, 60), right(300, 60);
    gfx::TextStyle st = style(16, 0, false, false);
    const double w = gfx::text(left.cr, "Reading", 150, 10, Rgba{}, st);
    EXPECT_DOUBLE_EQ(w, gfx::text_width(left.cr, "Reading", 16, true));
    st.align = gfx::Align::Center;
    gfx::text(centre.cr, "Reading", 150, 10, Rgba{}, st);
    st.align = gfx::Align::Right;
    gfx::text(right.cr, "Reading", 150, 10, Rgba{}, st);
    EXPECT_NEAR(left.ink().x0, 150, 3);
    EXPECT_NEAR((centre.ink().x0 + centre.ink().x1) / 2.0, 150, 3);
    EXPECT_NEAR(right.ink().x1, 150, 3);
    EXPECT_GE(left.ink().y0, 10);  // y is the top without `middle`
}

TEST(Placement, EmptyStringDrawsNothing) {
    Canvas c(50, 50);
    const Palette p = Palette::make(true);
    EXPECT_EQ(gfx::text(c.cr, "", 10, 10, Rgba{}, style(14, 0, false, false)), 0);
    EXPECT_EQ(gfx::caption(c.cr, "", 10, 10, p), 0);
    EXPECT_EQ(gfx::text_height(c.cr, "", style(14, 0, false, false)), 0);
    EXPECT_EQ(gfx::wrapped(c.cr, "", 0, 0, 40, 12, Rgba{}, gfx::Align::Left, false, true), 0);
    EXPECT_EQ(c.ink().x0, -1);
}

TEST(Placement, CaptionDefaultsToDimColour) {
    const Palette p = Palette::make(true);
    Canvas c(200, 30);
    gfx::caption(c.cr, "CAPACITY", 5, 15, p);
    // The most solid pixel of the label carries the colour itself.
    Px best{0, 0, 0, 0};
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 200; ++x)
            if (c.raw(x, y).a > best.a) best = c.raw(x, y);
    ASSERT_EQ(best.a, 255);
    EXPECT_NEAR(best.r, int(p.dim.r * 255 + 0.5), 1);
    EXPECT_NEAR(best.b, int(p.dim.b * 255 + 0.5), 1);
}

// ---- Paragraphs ----

TEST(Wrapped, NarrowWidthWrapsAtTenPixels) {
    Canvas c(10, 10);
    const double h5 = gfx::wrapped(c.cr, kLong, 0, 0, 5, 12, Rgba{}, gfx::Align::Left, false, false);
    const double h10 = gfx::wrapped(c.cr, kLong, 0, 0, 10, 12, Rgba{}, gfx::Align::Left, false, false);
    const double wide = gfx::wrapped(c.cr, kLong, 0, 0, 1000, 12, Rgba{}, gfx::Align::Left, false, false);
    EXPECT_EQ(h5, h10);
    EXPECT_GT(h10, 5 * wide);
}

TEST(Wrapped, MeasuresWithoutDrawingAndDrawsWithinItsWidth) {
    Canvas c(300, 200);
    const double measured = gfx::wrapped(c.cr, kLong, 20, 10, 140, 13, Rgba{}, gfx::Align::Left, false, false);
    EXPECT_EQ(c.ink().x0, -1);
    const double drawn = gfx::wrapped(c.cr, kLong, 20, 10, 140, 13, Rgba{}, gfx::Align::Left, false, true);
    EXPECT_EQ(measured, drawn);
    const auto b = c.ink();
    EXPECT_GE(b.x0, 20);
    EXPECT_LE(b.x1, 160);
    EXPECT_GE(b.y0, 10);
    EXPECT_LE(b.y1, 10 + drawn);
}

// ---- Kept layouts ----

TEST(KeptLayouts, FollowTheFontOptionsOfTheContext) {
    // A label shaped for a smoothed surface must not be reused where the
    // context asks for hard edges: its fonts carry the options they were made with.
    const gfx::TextStyle st = style(18, 0, false, false);
    Canvas smooth(200, 40), hard(200, 40);
    gfx::text(smooth.cr, "Usable capacity", 4, 4, Rgba{}, st);
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(hard.cr, o);
    cairo_font_options_destroy(o);
    gfx::text(hard.cr, "Usable capacity", 4, 4, Rgba{}, st);
    int grey_smooth = 0, grey_hard = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) {
            grey_smooth += smooth.raw(x, y).a > 0 && smooth.raw(x, y).a < 255;
            grey_hard += hard.raw(x, y).a > 0 && hard.raw(x, y).a < 255;
        }
    EXPECT_GT(grey_smooth, 20);
    EXPECT_EQ(grey_hard, 0);
    EXPECT_GT(hard.ink().x1, 100);
}

TEST(KeptLayouts, FollowTheStyle) {
    // The same words at another width, size or weight are another layout.
    Canvas c(10, 10);
    const double tall = gfx::text_height(c.cr, kLong, style(16, 120, false, false));
    const double flat = gfx::text_height(c.cr, kLong, style(16, 0, false, false));
    EXPECT_GT(tall, flat);
    EXPECT_EQ(gfx::text_height(c.cr, kLong, style(16, 120, false, false)), tall);
    EXPECT_LT(gfx::text_width(c.cr, kLong, 12, false), gfx::text_width(c.cr, kLong, 12, true));
    EXPECT_LT(gfx::text_width(c.cr, kLong, 11, true), gfx::text_width(c.cr, kLong, 12, true));
    const double narrow = gfx::wrapped(c.cr, kLong, 0, 0, 80, 12, Rgba{}, gfx::Align::Left, false, false);
    EXPECT_GT(narrow, gfx::wrapped(c.cr, kLong, 0, 0, 160, 12, Rgba{}, gfx::Align::Left, false, false));
}

// ---- Font cache ----

TEST(FontCache, SizesInTheSameTenthShareOneDescription) {
    EXPECT_EQ(gfx::font(12.34, false), gfx::font(12.38, false));
    EXPECT_EQ(gfx::font(12.3, false), gfx::font(12.35, false));  // 12.3 is stored as 12.2999…
    EXPECT_NE(gfx::font(12.3, false), gfx::font(12.4, false));
    EXPECT_NE(gfx::font(12.3, false), gfx::font(12.3, true));
    const PangoFontDescription* d = gfx::font(12.37, true);
    EXPECT_EQ(pango_font_description_get_size(d), int(12.3 * PANGO_SCALE));
    EXPECT_TRUE(pango_font_description_get_size_is_absolute(d));
    EXPECT_EQ(pango_font_description_get_weight(d), 600);
    EXPECT_STREQ(pango_font_description_get_family(d), "Sans");
    EXPECT_EQ(pango_font_description_get_weight(gfx::font(12.3, false)), 400);
}

// ---- Every language ----

TEST(Glyphs, EveryTextOfEveryLanguageHasRealGlyphs) {
    Canvas c(8, 8);
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i) {
        const auto& lang = i18n_data::LANGS[i];
        L10n::setLanguage(lang.code);
        ASSERT_EQ(L10n::currentLanguage(), lang.code);
        int failed = 0;
        for (int k = 0; k < i18n_data::KEY_COUNT && failed < 3; ++k) {
            const char* t = lang.values[k];
            if (!t || !*t) continue;
            PangoLayout* lay = gfx::plain_layout(c.cr, t, 13, false, false);
            if (pango_layout_get_unknown_glyphs_count(lay) > 0) {
                ++failed;
                ADD_FAILURE() << lang.code << " " << i18n_data::KEYS[k] << ": no font draws "
                              << code_point(first_unknown(lay));
            }
            g_object_unref(lay);
        }
    }
    L10n::setLanguage("en");
}

TEST(Glyphs, LayoutsCarryTheLanguageAndItsFamilyExists) {
    Canvas c(8, 8);
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoFontFamily** families = nullptr;
    int n = 0;
    pango_font_map_list_families(map, &families, &n);
    auto installed = [&](const char* name) {
        for (int i = 0; i < n; ++i)
            if (g_ascii_strcasecmp(pango_font_family_get_name(families[i]), name) == 0) return true;
        return false;
    };
    for (const char* code : {"ja", "zh_TW", "ar", "de"}) {
        L10n::setLanguage(code);
        PangoLayout* lay = gfx::plain_layout(c.cr, "x", 13, false, false);
        PangoContext* ctx = pango_layout_get_context(lay);
        EXPECT_EQ(pango_context_get_language(ctx), pango_language_from_string(code)) << code;
        // The family asked for resolves to a face that is really there.
        PangoFontDescription* d = pango_font_description_copy(gfx::font(13, false));
        EXPECT_STREQ(pango_font_description_get_family(d), L10n::uiFontFamily());
        PangoFont* f = pango_context_load_font(ctx, d);
        ASSERT_NE(f, nullptr) << code;
        PangoFontDescription* got = pango_font_describe(f);
        EXPECT_TRUE(installed(pango_font_description_get_family(got)))
            << code << ": " << pango_font_description_get_family(got);
        pango_font_description_free(got);
        pango_font_description_free(d);
        g_object_unref(f);
        g_object_unref(lay);
    }
    g_free(families);
    L10n::setLanguage("en");
}

// Semibold stays thicker than regular in every script, also where the font
// has no bold face of its own (Han and kana, Ethiopic): measured as ink.
TEST(Glyphs, BoldIsBoldInEveryScript) {
    auto ink = [](const char* lang, const std::string& s, bool bold) {
        L10n::setLanguage(lang);
        Canvas c(400, 60);
        gfx::TextStyle st;
        st.size = 24;
        st.bold = bold;
        gfx::text(c.cr, s, 4, 4, Rgba{0, 0, 0, 1}, st);
        double sum = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) sum += c.raw(x, y).a;
        return sum;
    };
    for (const auto& [lang, s] : {std::pair<const char*, std::string>{"en", "Disks that may fail"},
                                  {"ja", "\xE5\xA4\xB1\xE6\x95\x97\xE3\x81\x97\xE3\x81\xA6\xE3\x82\x82\xE3\x82\x88\xE3\x81\x84"},
                                  {"am", "\xE1\x8B\xA8\xE1\x8B\xB2\xE1\x88\xB5\xE1\x8A\xAD"}})
        EXPECT_GT(ink(lang, s, true), 1.12 * ink(lang, s, false)) << lang;
    L10n::setLanguage("en");
}
