// The icons (arrow, gear, copy, tick, cross, shield, plus and minus), the
// square device buttons, the lamp, the application logo and the drive bay.
#include "gfx.h"

#include <algorithm>
#include <cmath>

#include "gfx_cache.h"
#include "gfx_detail.h"

namespace gfx {

using namespace detail;

namespace {

constexpr double kDriveRadius = 7;
constexpr double kDriveShadowDrop = 2;
constexpr double kButtonRadius = 8;

}  // namespace

void arrow(cairo_t* cr, double cx, double cy, double s, bool up, const Rgba& c) {
    const double e = up ? -s : s;
    cairo_new_path(cr);
    cairo_move_to(cr, cx, cy - 0.5 * e);
    cairo_line_to(cr, cx, cy + 0.45 * e);
    cairo_move_to(cr, cx - 0.36 * s, cy + 0.1 * e);
    cairo_line_to(cr, cx, cy + 0.5 * e);
    cairo_line_to(cr, cx + 0.36 * s, cy + 0.1 * e);
    pen(cr, std::max(0.16 * s, 1.4), CAIRO_LINE_CAP_ROUND, CAIRO_LINE_JOIN_ROUND);
    set(cr, c);
    gfx::stroke(cr);
}

void gear(cairo_t* cr, double cx, double cy, double r, const Rgba& c) {
    cairo_new_path(cr);
    for (int i = 0; i < 8; ++i) {
        const double a = i * kPi / 4;
        cairo_arc(cr, cx, cy, r, a - kPi / 16, a + kPi / 16);
        cairo_line_to(cr, cx + 0.72 * r * std::cos(a + kPi / 8), cy + 0.72 * r * std::sin(a + kPi / 8));
    }
    cairo_close_path(cr);
    disc(cr, cx, cy, 0.32 * r);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    fill_with(cr, c);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

void icon_copy(cairo_t* cr, double cx, double cy, double r, const Rgba& c) {
    cairo_new_path(cr);
    rounded(cr, cx - 0.95 * r, cy - 0.95 * r, 1.25 * r, 1.4 * r, 0.18 * r);
    rounded(cr, cx - 0.3 * r, cy - 0.45 * r, 1.25 * r, 1.4 * r, 0.18 * r);
    pen(cr, std::max(0.16 * r, 1.4), CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_ROUND);
    set(cr, c);
    gfx::stroke(cr);
}

void device_button(cairo_t* cr, double x, double y, double s, int kind, bool hot, const Palette& p) {
    cairo_new_path(cr);
    rounded(cr, x, y, s, s, kButtonRadius);
    fill_vertical(cr, y, y + s, hot ? p.button_hot : p.button, hex(p.dark ? "#141415" : "#EBEAE6"));
    rounded(cr, x + 0.5, y + 0.5, s - 1, s - 1, kButtonRadius);
    set(cr, p.panel_edge);
    pen(cr, 1, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER);
    gfx::stroke(cr);
    const Rgba ic = hot ? p.text_strong : p.text;
    if (kind == 0)
        gear(cr, x + s / 2, y + s / 2, 0.27 * s, ic);
    else if (kind == 1)
        icon_copy(cr, x + s / 2, y + s / 2, 0.24 * s, ic);
}

void dot(cairo_t* cr, double cx, double cy, double r, const Rgba& c) {
    cairo_new_path(cr);
    disc(cr, cx, cy, 1.8 * r);
    fill_with(cr, Rgba{c.r, c.g, c.b, 0.25 * c.a * c.a});
    disc(cr, cx, cy, r);
    fill_with(cr, c);
}

void cross(cairo_t* cr, double cx, double cy, double r, const Rgba& c, double lw) {
    cairo_new_path(cr);
    cairo_move_to(cr, cx - r, cy - r);
    cairo_line_to(cr, cx + r, cy + r);
    cairo_move_to(cr, cx + r, cy - r);
    cairo_line_to(cr, cx - r, cy + r);
    pen(cr, lw, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_JOIN_ROUND);
    set(cr, c);
    gfx::stroke(cr);
}

void check(cairo_t* cr, double cx, double cy, double r, const Rgba& c, double lw) {
    cairo_new_path(cr);
    cairo_move_to(cr, cx - r, cy);
    cairo_line_to(cr, cx - 0.3 * r, cy + 0.7 * r);
    cairo_line_to(cr, cx + r, cy - 0.7 * r);
    pen(cr, lw, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_JOIN_ROUND);
    set(cr, c);
    gfx::stroke(cr);
}

void shield(cairo_t* cr, double cx, double cy, double r, const Rgba& c) {
    cairo_new_path(cr);
    cairo_move_to(cr, cx, cy - r);
    cairo_curve_to(cr, cx + 0.55 * r, cy - 0.72 * r, cx + 0.55 * r, cy - 0.72 * r, cx + 0.9 * r,
                   cy - 0.78 * r);
    cairo_curve_to(cr, cx + 0.95 * r, cy + 0.1 * r, cx + 0.55 * r, cy + 0.7 * r, cx, cy + r);
    cairo_curve_to(cr, cx - 0.55 * r, cy + 0.7 * r, cx - 0.95 * r, cy + 0.1 * r, cx - 0.9 * r,
                   cy - 0.78 * r);
    cairo_curve_to(cr, cx - 0.55 * r, cy - 0.72 * r, cx - 0.55 * r, cy - 0.72 * r, cx, cy - r);
    cairo_close_path(cr);
    fill_with(cr, c);
}

void minus_plus(cairo_t* cr, double cx, double cy, double r, bool plus, const Rgba& c) {
    cairo_new_path(cr);
    cairo_move_to(cr, cx - r, cy);
    cairo_line_to(cr, cx + r, cy);
    if (plus) {
        cairo_move_to(cr, cx, cy - r);
        cairo_line_to(cr, cx, cy + r);
    }
    pen(cr, std::max(0.28 * r, 1.6), CAIRO_LINE_CAP_ROUND, CAIRO_LINE_JOIN_ROUND);
    set(cr, c);
    gfx::stroke(cr);
}

// ---- Logo and drive bay ----

void app_logo(cairo_t* cr, double cx, double cy, double r, const Palette& /*p*/) {
    cairo_new_path(cr);
    rounded(cr, cx - r, cy - r, 2 * r, 2 * r, 0.42 * r);
    fill_vertical(cr, cy - r, cy + r, rgb(0.22, 0.22, 0.23), rgb(0.07, 0.07, 0.08));
    rounded(cr, cx - r, cy - r, 2 * r, 2 * r, 0.42 * r);
    pen(cr, std::max(0.05 * r, 1.0), CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER);
    set(cr, rgb(1, 1, 1, 0.16));
    gfx::stroke(cr);

    const double b = 1.34 * r, e = 0.4 * r, gap = 0.13 * r;
    const double left = cx - b / 2;
    const Rgba bars[3] = {rgb(0.66, 0.76, 0.66), rgb(0.66, 0.76, 0.66), rgb(0.89, 0.8, 0.65)};
    for (int i = 0; i < 3; ++i) {
        const double top = cy - (3 * e + 2 * gap) / 2 + i * (e + gap);
        const double mid = top + e / 2;
        rounded(cr, left, top, b, e, 0.28 * e);
        fill_vertical(cr, top, top + e, bars[i], scaled(bars[i], 0.72));
        disc(cr, left + b - 1.05 * e, mid, 0.17 * e);
        fill_with(cr, rgb(0.55, 0.95, 0.55));
        disc(cr, left + b - 0.5 * e, mid, 0.17 * e);
        fill_with(cr, rgb(0.45, 0.72, 1.0));
        rounded(cr, left + 0.4 * e, top + 0.42 * e, 0.48 * b, 0.16 * e, 0.08 * e);
        fill_with(cr, rgb(0.08, 0.08, 0.09, 0.45));
    }
}

namespace {

void draw_drive(cairo_t* cr, double x, double y, double w, double h, const Palette& p,
                bool failed, bool spare, bool hot) {
    cairo_new_path(cr);
    rounded(cr, x, y + kDriveShadowDrop, w, h, kDriveRadius);
    fill_with(cr, rgb(0, 0, 0, p.dark ? 0.35 : 0.13));
    rounded(cr, x, y, w, h, kDriveRadius);
    fill_vertical(cr, y, y + h, hex(p.dark ? "#2A2A2D" : "#FBFBF9"),
                  hex(p.dark ? "#161618" : "#DEDDD8"));

    rounded(cr, x + 0.5, y + 0.5, w - 1, h - 1, kDriveRadius);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    if (failed) {
        set(cr, with_alpha(p.err, 0.85));
        cairo_set_line_width(cr, 1.5);
    } else if (hot) {
        set(cr, with_alpha(p.accent, 0.8));
        cairo_set_line_width(cr, 1.5);
    } else {
        set(cr, p.panel_edge);
        cairo_set_line_width(cr, 1);
        if (spare) {
            static const double kDash[2] = {4, 3};
            cairo_set_dash(cr, kDash, 2, 0);
        }
    }
    gfx::stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);

    cairo_move_to(cr, x + 7, y + 1.5);
    cairo_line_to(cr, x + w - 7, y + 1.5);
    cairo_set_line_width(cr, 1);
    set(cr, p.shine);
    gfx::stroke(cr);
}

}  // namespace

void drive(cairo_t* cr, double x, double y, double w, double h, const Palette& p, bool failed,
           bool spare, bool hot) {
    cairo_new_path(cr);
    if (!(w > 0 && h > 0)) {
        draw_drive(cr, x, y, w, h, p, failed, spare, hot);
        return;
    }
    // An array shows dozens of bays in a handful of states.
    const Rgba r = p.err, a = p.accent, e = p.panel_edge, s = p.shine;
    paint_cached(cr, "drive", kKeepDrives,
                 key_of("", {w, h, p.dark ? 1.0 : 0.0, r.r, r.g, r.b, r.a, a.r, a.g, a.b, a.a, e.r,
                             e.g, e.b, e.a, s.r, s.g, s.b, s.a, failed ? 1.0 : 0.0,
                             spare ? 1.0 : 0.0, hot ? 1.0 : 0.0}),
                 x - kStrokeReach, y - kStrokeReach, w + 2 * kStrokeReach,
                 h + kDriveShadowDrop + 2 * kStrokeReach, false,
                 false, [&](cairo_t* c, bool) { draw_drive(c, x, y, w, h, p, failed, spare, hot); });
}


}  // namespace gfx
