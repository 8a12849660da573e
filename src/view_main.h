// Small drawing helpers shared by the painters of the calculator page: one
// text style constructor and the colour arithmetic of bars, cards and blocks.
#pragma once

#include <cairo.h>

#include <algorithm>

#include "gfx.h"

namespace page {

// Tabular figures are on everywhere: most page text is numbers.
inline gfx::TextStyle style(double size, bool bold, gfx::Align align, double max_w, bool middle,
                            bool fit = false) {
    gfx::TextStyle st;
    st.size = size;
    st.bold = bold;
    st.tnum = true;
    st.align = align;
    st.max_w = max_w;
    st.middle = middle;
    st.fit = fit;
    return st;
}

// Each channel moved towards white by f; alpha kept.
inline Rgba lighten(const Rgba& c, double f) {
    return Rgba{c.r + (1 - c.r) * f, c.g + (1 - c.g) * f, c.b + (1 - c.b) * f, c.a};
}

// Each channel raised by d, at most to 1; alpha kept (hover highlights).
inline Rgba lift(const Rgba& c, double d) {
    return Rgba{std::min(1.0, c.r + d), std::min(1.0, c.g + d), std::min(1.0, c.b + d), c.a};
}

// Each channel multiplied by k; alpha kept.
inline Rgba shade(const Rgba& c, double k) { return Rgba{c.r * k, c.g * k, c.b * k, c.a}; }

// Fills the current path with a vertical gradient from `top` at y0 to `bottom` at y1.
inline void fill_vertical(cairo_t* cr, double y0, double y1, const Rgba& top, const Rgba& bottom) {
    cairo_pattern_t* g = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgba(g, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(g, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    cairo_set_source(cr, g);
    gfx::fill(cr);
    cairo_pattern_destroy(g);
}

}  // namespace page

namespace risk {

// How a chance of losing data per year is coloured: the tooltips state the
// same bounds (0.01 % and 1 %).
constexpr double kSafeBelow = 1e-4, kRiskyFrom = 1e-2;
// An unreadable sector that loses a stripe: 1 % and 10 % of the rebuilds.
constexpr double kUreSafeBelow = 1e-2, kUreRiskyFrom = 0.1;

inline const Rgba& colour(double chance, double safe_below, double risky_from, const Palette& p) {
    return chance < safe_below ? p.ok : chance < risky_from ? p.warn : p.err;
}

}  // namespace risk
