// What the gfx_*.cpp files share: the small drawing helpers every
// primitive uses. Not for the rest of the program.
#pragma once

#include <cairo.h>

#include "gfx.h"

namespace gfx::detail {

constexpr double kPi = 3.14159265358979323846;

inline void stop(cairo_pattern_t* g, double at, const Rgba& c) {
    cairo_pattern_add_color_stop_rgba(g, at, c.r, c.g, c.b, c.a);
}

inline void stop(cairo_pattern_t* g, double at, double r, double gr, double b, double a = 1) {
    cairo_pattern_add_color_stop_rgba(g, at, r, gr, b, a);
}

// Fills the current path with a vertical gradient between y0 and y1.
inline void fill_vertical(cairo_t* cr, double y0, double y1, const Rgba& top, const Rgba& bottom) {
    cairo_pattern_t* g = cairo_pattern_create_linear(0, y0, 0, y1);
    stop(g, 0, top);
    stop(g, 1, bottom);
    cairo_set_source(cr, g);
    gfx::fill(cr);
    cairo_pattern_destroy(g);
}

inline void fill_with(cairo_t* cr, const Rgba& c) {
    set(cr, c);
    gfx::fill(cr);
}

inline void pen(cairo_t* cr, double lw, cairo_line_cap_t cap, cairo_line_join_t join) {
    cairo_set_line_width(cr, lw);
    cairo_set_line_cap(cr, cap);
    cairo_set_line_join(cr, join);
}

inline void disc(cairo_t* cr, double cx, double cy, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
}

inline Rgba rgb(double r, double g, double b, double a = 1) { return Rgba{r, g, b, a}; }

inline Rgba scaled(const Rgba& c, double k) { return Rgba{c.r * k, c.g * k, c.b * k, c.a}; }

}  // namespace gfx::detail
