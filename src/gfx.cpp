// The vector primitives of the panels: rounded shapes, the window
// background, racks with their screws, display wells and the rainbow
// title. Each starts a fresh path and keeps any transform or clip it needs
// inside save/restore; the costly ones are kept as bitmaps (gfx_cache.h).
// Icons live in gfx_icons.cpp, the brick wall and lettering in gfx_wall.cpp.
#include "gfx.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "gfx_cache.h"
#include "gfx_detail.h"
#include "l10n.h"

namespace gfx {

using namespace detail;

namespace {

// Panels.
constexpr double kRackRadius = 10;
constexpr double kRackShadowDrop = 3;
constexpr double kBrushPitch = 3;      // distance of the brushed lines
constexpr double kScrewInset = 11;
constexpr double kStripInset = 40;     // status strip starts this far from each end
constexpr double kStripGlowInset = 30;
constexpr double kLitMixDark = 0.06;   // how far a lit panel's top moves toward its strip
constexpr double kLitMixLight = 0.04;

// Wells.
constexpr double kDisplayRadius = 6;
constexpr double kDisplayShadow = 10;  // height of the inner top shadow
constexpr double kGridPitch = 8;
constexpr double kGridStart = 6;

// Screws.
constexpr double kScrewShadowR = 4.2;
constexpr double kScrewHeadR = 3.8;
constexpr double kScrewSlot = 2.8;

constexpr int kRainbowWeight = 700;

}  // namespace

void rounded(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::max(0.0, std::min(r, std::min(w, h) / 2));
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

namespace {

void draw_window_bg(cairo_t* cr, double w, double h, const Rgba& top, const Rgba& bottom,
                    bool exact_pixels) {
    cairo_pattern_t* g =
        cairo_pattern_create_radial(w / 2, h / 4, 0, w / 2, h / 4, 0.9 * std::max(w, h));
    stop(g, 0, top);
    stop(g, 1, bottom);
    cairo_set_source(cr, g);
    cairo_pattern_destroy(g);
    if (!exact_pixels) {
        cairo_rectangle(cr, 0, 0, w, h);
        cairo_fill(cr);
        return;
    }
    // The gradient is symmetric about the middle column: draw the left half
    // and mirror it, which halves the cost of a new window size.
    cairo_surface_t* img = cairo_get_target(cr);
    const int dw = cairo_image_surface_get_width(img), dh = cairo_image_surface_get_height(img);
    const int half = (dw + 1) / 2;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    cairo_identity_matrix(cr);
    cairo_rectangle(cr, 0, 0, half, dh);
    cairo_set_matrix(cr, &m);
    cairo_fill(cr);
    cairo_surface_flush(img);
    cairo_identity_matrix(cr);
    cairo_translate(cr, dw, 0);
    cairo_scale(cr, -1, 1);
    cairo_set_source_surface(cr, img, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, 0, 0, dw - half, dh);
    cairo_fill(cr);
    cairo_set_matrix(cr, &m);
}

}  // namespace

void window_bg(cairo_t* cr, double w, double h, const Palette& p) {
    cairo_new_path(cr);
    if (!(w > 0 && h > 0)) return;
    // A radial gradient over the whole window costs more than the rest of
    // the frame together, so it is drawn once per size and theme.
    const Rgba t = p.bg_top, b = p.bg_bottom;
    paint_cached(cr, "window_bg", kKeepBackgrounds,
                 key_of("", {w, h, t.r, t.g, t.b, t.a, b.r, b.g, b.b, b.a}), 0, 0, w, h,
                 t.a >= 1 && b.a >= 1,
                 true, [&](cairo_t* c, bool exact) { draw_window_bg(c, w, h, t, b, exact); });
}

void screw(cairo_t* cr, double cx, double cy, double rot, const Palette& p) {
    cairo_new_path(cr);
    disc(cr, cx, cy + 0.8, kScrewShadowR);
    fill_with(cr, rgb(0, 0, 0, 0.33));

    disc(cr, cx, cy, kScrewHeadR);
    fill_vertical(cr, cy - kScrewHeadR, cy + kScrewHeadR, hex(p.dark ? "#76736E" : "#F4F4F2"),
                  hex(p.dark ? "#1E1E1F" : "#A5A29C"));

    const double a = rot * kPi / 180;
    const double dx = kScrewSlot * std::cos(a), dy = kScrewSlot * std::sin(a);
    cairo_move_to(cr, cx - dx, cy - dy);
    cairo_line_to(cr, cx + dx, cy + dy);
    pen(cr, 1.2, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER);
    set(cr, hex(p.dark ? "#0B0B0B" : "#6E6A64"));
    cairo_stroke(cr);
}

namespace {

void draw_rack(cairo_t* cr, double x, double y, double w, double h, const Palette& p,
               const Rgba& strip, bool lit, int seed, bool hot) {
    cairo_new_path(cr);
    rounded(cr, x, y + kRackShadowDrop, w, h, kRackRadius);
    fill_with(cr, rgb(0, 0, 0, p.dark ? 0.33 : 0.12));

    // Body; a lit panel takes a breath of its strip colour at the top.
    Rgba top = p.panel_top;
    if (lit) {
        const double k = p.dark ? kLitMixDark : kLitMixLight;
        top = Rgba{top.r + (strip.r - top.r) * k, top.g + (strip.g - top.g) * k,
                   top.b + (strip.b - top.b) * k, top.a};
    }
    rounded(cr, x, y, w, h, kRackRadius);
    fill_vertical(cr, y, y + h, top, p.panel_bottom);

    // Brushed metal: one path of hairlines, stroked once.
    cairo_save(cr);
    rounded(cr, x + 2, y + 2, w - 4, h - 4, kRackRadius - 1);
    cairo_clip(cr);
    for (double ly = y + 5.5; ly < y + h - 5; ly += kBrushPitch) {
        cairo_move_to(cr, x + 3, ly);
        cairo_line_to(cr, x + w - 3, ly);
    }
    pen(cr, 1, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER);
    set(cr, p.dark ? rgb(1, 1, 1, 0.024) : rgb(0, 0, 0, 0.035));
    cairo_stroke(cr);
    cairo_restore(cr);

    rounded(cr, x + 0.5, y + 0.5, w - 1, h - 1, kRackRadius);
    if (hot)
        set(cr, with_alpha(strip, 0.55));
    else if (lit)
        set(cr, with_alpha(strip, 0.4));
    else
        set(cr, p.panel_edge);
    pen(cr, 1, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cr);

    cairo_move_to(cr, x + 10, y + 1.5);
    cairo_line_to(cr, x + w - 10, y + 1.5);
    set(cr, p.shine);
    cairo_stroke(cr);

    // A panel too narrow for the strip still glows when lit.
    if (strip.a > 0) {
        rounded(cr, x + kStripInset, y + 1, std::max(w - 2 * kStripInset, 0.0), 2.5, 1.2);
        if (lit) {
            fill_with(cr, with_alpha(strip, 0.9));
            rounded(cr, x + kStripGlowInset, y, std::max(w - 2 * kStripGlowInset, 0.0), 8, 4);
            fill_with(cr, with_alpha(strip, 0.08));
        } else {
            fill_with(cr, with_alpha(strip, 0.25));
        }
    }

    screw(cr, x + kScrewInset, y + kScrewInset, seed * 37 + 20, p);
    screw(cr, x + w - kScrewInset, y + kScrewInset, seed * 23 + 70, p);
    screw(cr, x + kScrewInset, y + h - kScrewInset, seed * 11 + 130, p);
    screw(cr, x + w - kScrewInset, y + h - kScrewInset, seed * 51 + 5, p);
}

}  // namespace

void rack(cairo_t* cr, double x, double y, double w, double h, const Palette& p,
          const Rgba& strip, bool lit, int seed, bool hot) {
    cairo_new_path(cr);
    if (!(w > 0 && h > 0)) {
        draw_rack(cr, x, y, w, h, p, strip, lit, seed, hot);
        return;
    }
    // Gradients, hairlines and screws over a large area: the costliest part
    // of a page, and the same from frame to frame. Kept from its second use:
    // a panel of a new size (a resize, a panel that grew) is drawn directly
    // where the pass needs it, not whole into a bitmap, which for a panel
    // taller than the view cost more than the pass.
    const Rgba t = p.panel_top, b = p.panel_bottom, e = p.panel_edge, s = p.shine;
    paint_cached(cr, "rack", kKeepPanels,
                 key_of("", {w, h, p.dark ? 1.0 : 0.0, t.r, t.g, t.b, t.a, b.r, b.g, b.b, b.a, e.r,
                             e.g, e.b, e.a, s.r, s.g, s.b, s.a, strip.r, strip.g, strip.b, strip.a,
                             lit ? 1.0 : 0.0, double(seed), hot ? 1.0 : 0.0}),
                 x - kStrokeReach, y - kStrokeReach, w + 2 * kStrokeReach,
                 h + kRackShadowDrop + 2 * kStrokeReach, false,
                 true, [&](cairo_t* c, bool) { draw_rack(c, x, y, w, h, p, strip, lit, seed, hot); });
}

void gradient_bar(cairo_t* cr, double x, double y, double w, double h, double r, const Rgba& top,
                  const Rgba& bottom) {
    // Pixman blends a gradient through an antialiased edge pixel by pixel, at
    // some fifty instructions each; a page of bars costs a fifth of a repaint
    // that way. A kept bitmap is copied at a few instructions per pixel.
    paint_cached(cr, "bar", kKeepBars,
                 key_of("", {w, h, r, top.r, top.g, top.b, top.a, bottom.r, bottom.g, bottom.b, bottom.a}), x, y,
                 w, h, false, true, [&](cairo_t* c, bool) {
                     cairo_new_path(c);
                     rounded(c, x, y, w, h, r);
                     fill_vertical(c, y, y + h, top, bottom);
                 });
}

void framed_box(cairo_t* cr, double x, double y, double w, double h, double r, const Rgba& fill,
                const Rgba& edge, double line_width) {
    // A page shows dozens of chips and buttons in a few sizes and states;
    // stroking an outline costs more than copying it.
    const double reach = line_width / 2 + kStrokeReach;
    paint_cached(cr, "box", kKeepBoxes,
                 key_of("", {w, h, r, fill.r, fill.g, fill.b, fill.a, edge.r, edge.g, edge.b, edge.a, line_width}),
                 x - reach, y - reach, w + 2 * reach, h + 2 * reach, false, true, [&](cairo_t* c, bool) {
                     cairo_save(c);
                     cairo_new_path(c);
                     rounded(c, x, y, w, h, r);
                     set(c, fill);
                     cairo_fill_preserve(c);
                     set(c, edge);
                     cairo_set_line_width(c, line_width);
                     cairo_stroke(c);
                     cairo_restore(c);
                 });
}

void card(cairo_t* cr, double x, double y, double w, double h, const Palette& p, bool hover) {
    rack(cr, x, y, w, h, p, p.accent, false, 0, hover);
}

namespace {

void draw_display(cairo_t* cr, double x, double y, double w, double h, const Palette& p, bool grid) {
    cairo_new_path(cr);
    rounded(cr, x, y, w, h, kDisplayRadius);
    fill_with(cr, p.slot);

    rounded(cr, x + 0.5, y + 0.5, w - 1, h - 1, kDisplayRadius);
    set(cr, with_alpha(p.slot_edge, p.dark ? 0.9 : 0.8));
    pen(cr, 1, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cr);

    cairo_save(cr);
    rounded(cr, x + 1, y + 1, w - 2, h - 2, kDisplayRadius - 1);
    cairo_clip(cr);
    cairo_rectangle(cr, x, y, w, kDisplayShadow);
    fill_vertical(cr, y, y + kDisplayShadow, rgb(0, 0, 0, p.dark ? 0.55 : 0.12), rgb(0, 0, 0, 0));
    if (grid) {
        for (double gy = y + kGridStart; gy < y + h - 2; gy += kGridPitch)
            for (double gx = x + kGridStart; gx < x + w - 2; gx += kGridPitch)
                cairo_rectangle(cr, gx, gy, 1, 1);
        fill_with(cr, p.dark ? rgb(1, 1, 1, 0.035) : rgb(0, 0, 0, 0.05));
    }
    cairo_restore(cr);
}

}  // namespace

void display(cairo_t* cr, double x, double y, double w, double h, const Palette& p, bool grid) {
    cairo_new_path(cr);
    if (!(w > 0 && h > 0)) {
        draw_display(cr, x, y, w, h, p, grid);
        return;
    }
    // The dot grid alone is hundreds of tiny clipped squares.
    const Rgba s = p.slot, e = p.slot_edge;
    paint_cached(cr, "display", kKeepPanels,
                 key_of("", {w, h, p.dark ? 1.0 : 0.0, s.r, s.g, s.b, s.a, e.r, e.g, e.b, e.a,
                             grid ? 1.0 : 0.0}),
                 x - kStrokeReach, y - kStrokeReach, w + 2 * kStrokeReach, h + 2 * kStrokeReach, false,
                 false, [&](cairo_t* c, bool) { draw_display(c, x, y, w, h, p, grid); });
}


double rainbow_text(cairo_t* cr, const std::string& s, double x, double y, double size, bool dark) {
    if (s.empty() || size <= 0) return 0;
    PangoLayout* lay = create_layout(cr);
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family_static(d, L10n::uiFontFamily());
    pango_font_description_set_weight(d, static_cast<PangoWeight>(kRainbowWeight));
    pango_font_description_set_absolute_size(d, size * PANGO_SCALE);
    pango_layout_set_font_description(lay, d);
    pango_font_description_free(d);
    pango_layout_set_text(lay, s.data(), static_cast<int>(s.size()));
    PangoRectangle logical;
    pango_layout_get_extents(lay, nullptr, &logical);
    const double lx = double(logical.x) / PANGO_SCALE, ly = double(logical.y) / PANGO_SCALE;
    const double w = double(logical.width) / PANGO_SCALE, h = double(logical.height) / PANGO_SCALE;

    static const double kDark[6][3] = {{0.66, 0.76, 0.66}, {0.8, 0.84, 0.68},
                                       {0.89, 0.8, 0.65},  {0.92, 0.74, 0.62},
                                       {0.9, 0.66, 0.64},  {0.87, 0.55, 0.52}};
    static const double kLight[6][3] = {{0.36, 0.5, 0.36},  {0.46, 0.5, 0.3},
                                        {0.58, 0.46, 0.26}, {0.64, 0.42, 0.28},
                                        {0.62, 0.36, 0.38}, {0.64, 0.3, 0.28}};
    const auto& stops = dark ? kDark : kLight;
    cairo_pattern_t* g = cairo_pattern_create_linear(x, 0, x + w, 0);
    for (int i = 0; i < 6; ++i) stop(g, i * 0.2, stops[i][0], stops[i][1], stops[i][2]);

    cairo_new_path(cr);
    cairo_move_to(cr, x - lx, y - h / 2 - ly);
    pango_cairo_layout_path(cr, lay);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    g_object_unref(lay);
    return w;
}

}  // namespace gfx
