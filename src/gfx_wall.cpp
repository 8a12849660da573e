// The brick wall behind the banner and the spray-paint lettering on it.
// The decoration uses a fixed-seed generator, so every frame (and every PNG
// of the store art) looks the same.
#include "gfx.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "gfx_cache.h"
#include "gfx_detail.h"
#include "l10n.h"

namespace gfx {

using namespace detail;

namespace {

// Wall.
constexpr double kBrickH = 16;
constexpr double kBrickW = 46;

// Lettering.
constexpr int kSprayDots = 260;
constexpr uint32_t kSpraySeed = 0x5EED;
constexpr double kGraffitiTilt = -0.045;  // radians
constexpr int kGraffitiWeight = 1000;

}  // namespace

namespace {

void draw_wall(cairo_t* cr, double x, double y, double w, double h, bool dark) {
    cairo_rectangle(cr, x, y, w, h);
    if (dark)
        fill_vertical(cr, y, y + h, rgb(0.125, 0.122, 0.118), rgb(0.075, 0.073, 0.071));
    else
        fill_vertical(cr, y, y + h, rgb(0.885, 0.872, 0.851), rgb(0.815, 0.8, 0.776));

    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    int row = 0;
    for (double top = y + 0.5; top < y + h; top += kBrickH, ++row) {
        cairo_move_to(cr, x, top);
        cairo_line_to(cr, x + w, top);
        for (double jx = x + (row % 2) * kBrickW / 2; jx < x + w; jx += kBrickW) {
            const double sx = std::floor(jx) + 0.5;
            cairo_move_to(cr, sx, top);
            cairo_line_to(cr, sx, top + kBrickH);
        }
    }
    pen(cr, 1, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER);
    set(cr, dark ? rgb(1, 1, 1, 0.035) : rgb(0, 0, 0, 0.06));
    cairo_stroke(cr);

    cairo_pattern_t* g = cairo_pattern_create_radial(x + 0.25 * w, y + 0.3 * h, 0, x + 0.25 * w,
                                                     y + 0.3 * h, 0.8 * w);
    stop(g, 0, 1, 1, 1, dark ? 0.05 : 0.1);
    stop(g, 1, 0, 0, 0, dark ? 0.25 : 0.06);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
    cairo_restore(cr);
}

}  // namespace

void wall(cairo_t* cr, double x, double y, double w, double h, bool dark) {
    cairo_new_path(cr);
    if (!(w > 0 && h > 0)) return;
    // The joints snap to whole user units, so the fractions of x and y belong to the key.
    paint_cached(cr, "wall", kKeepWalls,
                 key_of("", {w, h, x - std::floor(x), y - std::floor(y), dark ? 1.0 : 0.0}), x, y, w,
                 h, true, false, [&](cairo_t* c, bool) { draw_wall(c, x, y, w, h, dark); });
}

namespace {

// A four-pointed sparkle; the points are cubic curves pulled in toward the centre.
void sparkle(cairo_t* cr, double cx, double cy, double r, double alpha) {
    const double c = 0.12 * r;
    cairo_move_to(cr, cx, cy - r);
    cairo_curve_to(cr, cx + c, cy - c, cx + c, cy - c, cx + r, cy);
    cairo_curve_to(cr, cx + c, cy + c, cx + c, cy + c, cx, cy + r);
    cairo_curve_to(cr, cx - c, cy + c, cx - c, cy + c, cx - r, cy);
    cairo_curve_to(cr, cx - c, cy - c, cx - c, cy - c, cx, cy - r);
    cairo_close_path(cr);
    fill_with(cr, rgb(1, 1, 1, alpha));
}

}  // namespace

namespace {

struct Lettering {
    PangoLayout* lay;
    double ix, iy, iw, ih;  // ink box of the layout
    double size, pad, total, k;
};

void draw_graffiti(cairo_t* cr, const Lettering& L, double x, double cy, bool dark) {
    const double iw = L.iw, ih = L.ih, size = L.size, pad = L.pad, total = L.total, k = L.k;

    // Local space: the ink box spans (0, 0)..(iw, ih), tilted slightly upward.
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_translate(cr, x + k * pad, cy);
    cairo_scale(cr, k, k);
    cairo_rotate(cr, kGraffitiTilt);
    cairo_translate(cr, 0, -ih / 2);
    cairo_move_to(cr, -L.ix, -L.iy);
    pango_cairo_layout_path(cr, L.lay);
    cairo_path_t* glyphs = cairo_copy_path(cr);
    cairo_new_path(cr);

    // Overspray from a fixed sequence, so the dots never shimmer.
    uint32_t seed = kSpraySeed;
    auto draw = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / 16777216.0;
    };
    const double span = iw > 1 ? iw : 1;
    for (int i = 0; i < kSprayDots; ++i) {
        const double dx = draw() * total - pad;
        const double dy = draw() * (ih + 1.4 * pad) - 0.6 * pad;
        const double r = 0.6 + 1.8 * draw();
        const double t = dx / span;
        disc(cr, dx, dy, r);
        fill_with(cr, rgb(0.55 + 0.35 * t, 0.7 - 0.05 * t, 0.62 - 0.1 * t, dark ? 0.1 : 0.12));
    }

    // Extruded shadow, deepest layer first.
    pen(cr, 0.2 * size, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_ROUND);
    const Rgba shade = rgb(0.05, 0.05, 0.06, dark ? 0.9 : 0.75);
    for (double dd = 0.1 * size; dd >= 1; dd -= 1) {
        cairo_save(cr);
        cairo_translate(cr, 0.75 * dd, dd);
        cairo_append_path(cr, glyphs);
        cairo_restore(cr);
        set(cr, shade);
        cairo_stroke_preserve(cr);
        cairo_fill(cr);
    }

    cairo_append_path(cr, glyphs);
    set(cr, rgb(0.07, 0.07, 0.08));
    cairo_stroke_preserve(cr);
    cairo_set_line_width(cr, 0.095 * size);
    set(cr, rgb(0.97, 0.96, 0.93));
    cairo_stroke_preserve(cr);

    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, iw, 0.4 * ih);
    static const double kPaint[6][3] = {{0.52, 0.72, 0.55}, {0.72, 0.8, 0.5},
                                        {0.95, 0.8, 0.48},  {0.97, 0.66, 0.46},
                                        {0.93, 0.5, 0.52},  {0.7, 0.52, 0.72}};
    for (int i = 0; i < 6; ++i) stop(g, i * 0.2, kPaint[i][0], kPaint[i][1], kPaint[i][2]);
    cairo_set_source(cr, g);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(g);

    cairo_save(cr);
    cairo_clip(cr);
    g = cairo_pattern_create_linear(0, 0, 0, ih);
    stop(g, 0, 1, 1, 1, 0.55);
    stop(g, 0.42, 1, 1, 1, 0.1);
    stop(g, 0.5, 1, 1, 1, 0);
    stop(g, 1, 0, 0, 0, 0.22);
    cairo_set_source(cr, g);
    cairo_rectangle(cr, 0, 0, iw, ih);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_restore(cr);

    sparkle(cr, 0.06 * iw, 0.12 * ih, 0.16 * size, 0.95);
    sparkle(cr, 0.62 * iw, 0.05 * ih, 0.11 * size, 0.85);
    sparkle(cr, 0.93 * iw, 0.3 * ih, 0.08 * size, 0.8);

    cairo_restore(cr);
    cairo_path_destroy(glyphs);
}

}  // namespace

double graffiti(cairo_t* cr, const std::string& s, double x, double cy, double size, double max_w,
                bool dark) {
    if (s.empty() || size <= 0) return 0;
    Lettering L{};
    L.lay = create_layout(cr);
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family_static(d, L10n::uiFontFamily());
    pango_font_description_set_weight(d, static_cast<PangoWeight>(kGraffitiWeight));
    pango_font_description_set_style(d, PANGO_STYLE_ITALIC);
    pango_font_description_set_absolute_size(d, size * PANGO_SCALE);
    pango_layout_set_font_description(L.lay, d);
    pango_font_description_free(d);
    pango_layout_set_text(L.lay, s.data(), static_cast<int>(s.size()));
    PangoRectangle ink;
    pango_layout_get_extents(L.lay, &ink, nullptr);
    L.ix = double(ink.x) / PANGO_SCALE;
    L.iy = double(ink.y) / PANGO_SCALE;
    L.iw = double(ink.width) / PANGO_SCALE;
    L.ih = double(ink.height) / PANGO_SCALE;
    L.size = size;
    L.pad = 0.22 * size;
    L.total = L.iw + 2 * L.pad;
    L.k = (max_w > 0 && L.total > max_w) ? max_w / L.total : 1;

    // Everything drawn (dots, outline, extrusion, sparkles) stays within this
    // local box; its corners, turned like the lettering, bound the bitmap.
    const double lx0 = -L.pad - 3, lx1 = L.iw + L.pad + 3;
    const double ly0 = -std::max(0.6 * L.pad, 0.16 * size) - 3;
    const double ly1 = L.ih + std::max(0.8 * L.pad, 0.2 * size) + 3;
    const double ca = std::cos(kGraffitiTilt), sa = std::sin(kGraffitiTilt);
    double bx0 = 1e300, by0 = 1e300, bx1 = -1e300, by1 = -1e300;
    for (double lx : {lx0, lx1})
        for (double ly : {ly0, ly1}) {
            const double vy = ly - L.ih / 2;
            const double ux = x + L.k * (L.pad + lx * ca - vy * sa);
            const double uy = cy + L.k * (lx * sa + vy * ca);
            bx0 = std::min(bx0, ux);
            bx1 = std::max(bx1, ux);
            by0 = std::min(by0, uy);
            by1 = std::max(by1, uy);
        }
    std::string key = key_of("", {size, L.k, dark ? 1.0 : 0.0, double(s.size())});
    key += '|';
    key += s;
    paint_cached(cr, "graffiti", kKeepLettering, key, bx0, by0, bx1 - bx0, by1 - by0, false,
                 false, [&](cairo_t* c, bool) { draw_graffiti(c, L, x, cy, dark); });
    g_object_unref(L.lay);
    return L.k * L.total;
}



}  // namespace gfx
