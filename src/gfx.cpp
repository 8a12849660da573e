// The vector primitives of the panels: rounded shapes, the window
// background, racks with their screws, display wells and the rainbow
// title. Each starts a fresh path and keeps any transform or clip it needs
// inside save/restore; the costly ones are kept as bitmaps (gfx_cache.h).
// Icons live in gfx_icons.cpp, the brick wall and lettering in gfx_wall.cpp.
#include "gfx.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gfx_cache.h"
#include "gfx_detail.h"
#include "l10n.h"

namespace gfx {

using namespace detail;

namespace {

// Panels.
constexpr double kRackRadius = kRackOpaqueEnd;  // rows inside the corners' arcs are whole
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

// The background's colour by squared distance from its centre: the
// constants of the formula worked out once, in single precision, which
// keeps every channel within a rounding of the exact value and lets four
// pixels go through the processor's vector unit at a time.
struct BgShade {
    float inv_r, a0, a1, c0[3], c1[3];

    BgShade(double r, const Rgba& top, const Rgba& bottom)
        : inv_r(static_cast<float>(1 / r)),
          a0(static_cast<float>(255 * top.a)),
          a1(static_cast<float>(255 * (bottom.a - top.a))),
          c0{static_cast<float>(top.r), static_cast<float>(top.g), static_cast<float>(top.b)},
          c1{static_cast<float>(bottom.r - top.r), static_cast<float>(bottom.g - top.g),
             static_cast<float>(bottom.b - top.b)} {}

    // Premultiplied as cairo keeps it, rounded as pixman rounds.
    uint32_t at(float q) const {
        const float t = std::min(std::sqrt(q) * inv_r, 1.0f);
        const float a = a0 + a1 * t;
        auto level = [](float v) { return static_cast<uint32_t>(static_cast<int>(v + 0.5f)); };
        return level(a) << 24 | level(a * (c0[0] + c1[0] * t)) << 16 | level(a * (c0[1] + c1[1] * t)) << 8 |
               level(a * (c0[2] + c1[2] * t));
    }

    // out[i] for i < n, at squared distance dx2[i] + dy2.
    void run(uint32_t* out, const float* dx2, float dy2, int n) const {
        int i = 0;
#if defined(__SSE2__)
        const __m128 vdy2 = _mm_set1_ps(dy2), vinv = _mm_set1_ps(inv_r);
        const __m128 one = _mm_set1_ps(1), half = _mm_set1_ps(0.5f);
        const __m128 va0 = _mm_set1_ps(a0), va1 = _mm_set1_ps(a1);
        auto level = [&](__m128 a, __m128 t, int c) {
            const __m128 v = _mm_mul_ps(a, _mm_add_ps(_mm_set1_ps(c0[c]), _mm_mul_ps(_mm_set1_ps(c1[c]), t)));
            return _mm_cvttps_epi32(_mm_add_ps(v, half));
        };
        for (; i + 4 <= n; i += 4) {
            const __m128 d = _mm_sqrt_ps(_mm_add_ps(_mm_loadu_ps(dx2 + i), vdy2));
            const __m128 t = _mm_min_ps(_mm_mul_ps(d, vinv), one);
            const __m128 a = _mm_add_ps(va0, _mm_mul_ps(va1, t));
            __m128i px = _mm_slli_epi32(_mm_cvttps_epi32(_mm_add_ps(a, half)), 24);
            px = _mm_or_si128(px, _mm_slli_epi32(level(a, t, 0), 16));
            px = _mm_or_si128(px, _mm_slli_epi32(level(a, t, 1), 8));
            px = _mm_or_si128(px, level(a, t, 2));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), px);
        }
#endif
        for (; i < n; ++i) out[i] = at(dx2[i] + dy2);
    }
};

// row[i] = row[m - i] for i in [from, to): the mirror image of columns left
// of `from`.
void mirror_columns(uint32_t* row, long m, int from, int to) {
    int i = from;
#if defined(__SSE2__)
    for (; i + 4 <= to; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + m - i - 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)));
    }
#endif
    for (; i < to; ++i) row[i] = row[m - i];
}

// A radial gradient from `top` at the middle of the window, a quarter down,
// to `bottom` at 0.9 of its longer side, padded beyond. Worked out here per
// device pixel of the clip rather than left to cairo, whose radial
// gradients are general (two circles): each colour depends only on a
// distance, and the right half mirrors the left. A background of 1920 x
// 1080 took 19 ms of processor time through cairo on the test machine;
// here it took 9.7 ms a pixel at a time in double precision, and takes 1.6
// ms four at a time (BM_WindowBackgroundNewSize, side by side on a busy
// machine). Written straight into the target's pixels where it can, with
// no bitmap on the way. A context that rotates or skews is left to cairo.
void draw_window_bg(cairo_t* cr, double w, double h, const Rgba& top, const Rgba& bottom) {
    const double cx = w / 2, cy = h / 4, r = 0.9 * std::max(w, h);
    const ToDevice t = to_device(cr);
    const cairo_matrix_t& m = t.m;
    cairo_surface_t* target = t.target;
    const double sx = t.sx, sy = t.sy, ox = t.ox, oy = t.oy;
    const double mxx = t.xx, myy = t.yy, mx0 = t.x0, my0 = t.y0;
    cairo_new_path(cr);
    if (m.xy != 0 || m.yx != 0 || mxx <= 0 || myy <= 0) {
        cairo_rectangle(cr, 0, 0, w, h);
        cairo_pattern_t* g = cairo_pattern_create_radial(cx, cy, 0, cx, cy, r);
        stop(g, 0, top);
        stop(g, 1, bottom);
        cairo_set_source(cr, g);
        cairo_pattern_destroy(g);
        gfx::fill(cr);
        return;
    }
    // Straight into the target's pixels where the clip is a list of
    // rectangles on whole device pixels (a kept bitmap, a band of the page);
    // through a bitmap of its own otherwise.
    // Where the centre falls between two device columns (or on one), a
    // column right of it repeats its mirror image left of it: half the work.
    const double twice_centre = 2 * (mx0 + cx * mxx);
    const long mirror_sum = std::lround(twice_centre) - 1;
    const bool mirrored = std::fabs(twice_centre - std::round(twice_centre)) < 1e-6;
    const BgShade shade(r, top, bottom);
    auto fill = [&](uint32_t* px, int stride_px, int ix0, int iy0, int iw, int ih) {
        std::vector<float> dx2(static_cast<size_t>(iw));
        for (int i = 0; i < iw; ++i) {
            const double dx = (ix0 + i + 0.5 - mx0) / mxx - cx;
            dx2[static_cast<size_t>(i)] = static_cast<float>(dx * dx);
        }
        // Columns [copy_from, copy_to) mirror columns left of them.
        const long m = mirror_sum - 2L * ix0;
        const int copy_from = mirrored ? static_cast<int>(std::clamp(m / 2 + 1, 0L, long{iw})) : 0;
        const int copy_to = mirrored ? static_cast<int>(std::clamp(m + 1, long{copy_from}, long{iw})) : 0;
        for (int j = 0; j < ih; ++j) {
            const double dy = (iy0 + j + 0.5 - my0) / myy - cy;
            const auto dy2 = static_cast<float>(dy * dy);
            uint32_t* row = px + static_cast<ptrdiff_t>(j) * stride_px;
            shade.run(row, dx2.data(), dy2, copy_from);
            mirror_columns(row, m, copy_from, copy_to);
            shade.run(row + copy_to, dx2.data() + copy_to, dy2, iw - copy_to);
        }
    };
    // The device box of user (x0, y0)-(x1, y1) inside the window, or false when it has no whole-pixel edges.
    auto box = [&](double x0, double y0, double x1, double y1, int out[4]) {
        const double d[4] = {mxx * std::max(x0, 0.0) + mx0, myy * std::max(y0, 0.0) + my0,
                             mxx * std::min(x1, w) + mx0, myy * std::min(y1, h) + my0};
        for (int i = 0; i < 4; ++i) {
            out[i] = static_cast<int>(std::lround(d[i]));
            if (std::fabs(d[i] - out[i]) > 1e-6) return false;
        }
        return true;
    };
    const bool opaque = top.a >= 1 && bottom.a >= 1;
    const cairo_format_t format = cairo_image_surface_get_format(target);
    if (target == cairo_get_target(cr) && cairo_surface_get_type(target) == CAIRO_SURFACE_TYPE_IMAGE &&
        opaque && (format == CAIRO_FORMAT_ARGB32 || format == CAIRO_FORMAT_RGB24)) {
        // An unclipped context has no list of rectangles: the window's gives it one.
        cairo_save(cr);
        cairo_rectangle(cr, 0, 0, w, h);
        cairo_clip(cr);
        cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
        cairo_restore(cr);
        std::vector<std::array<int, 4>> boxes;
        bool whole = list->status == CAIRO_STATUS_SUCCESS;
        for (int i = 0; whole && i < list->num_rectangles; ++i) {
            const cairo_rectangle_t& c = list->rectangles[i];
            std::array<int, 4> b{};
            whole = box(c.x, c.y, c.x + c.width, c.y + c.height, b.data());
            boxes.push_back(b);
        }
        cairo_rectangle_list_destroy(list);
        if (whole) {
            cairo_surface_flush(target);
            const int tw = cairo_image_surface_get_width(target), th = cairo_image_surface_get_height(target);
            auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(target));
            const int stride_px = cairo_image_surface_get_stride(target) / 4;
            for (const auto& b : boxes) {
                const int bx0 = std::clamp(b[0], 0, tw), by0 = std::clamp(b[1], 0, th);
                const int bx1 = std::clamp(b[2], 0, tw), by1 = std::clamp(b[3], 0, th);
                if (bx1 <= bx0 || by1 <= by0) continue;
                fill(data + static_cast<ptrdiff_t>(by0) * stride_px + bx0, stride_px, bx0, by0, bx1 - bx0,
                     by1 - by0);
                cairo_surface_mark_dirty_rectangle(target, bx0, by0, bx1 - bx0, by1 - by0);
            }
            return;
        }
    }
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
    x0 = std::max(x0, 0.0);
    y0 = std::max(y0, 0.0);
    x1 = std::min(x1, w);
    y1 = std::min(y1, h);
    if (!(x1 > x0 && y1 > y0)) return;
    const int ix0 = static_cast<int>(std::floor(mxx * x0 + mx0)), iy0 = static_cast<int>(std::floor(myy * y0 + my0));
    const int iw = static_cast<int>(std::ceil(mxx * x1 + mx0)) - ix0;
    const int ih = static_cast<int>(std::ceil(myy * y1 + my0)) - iy0;
    cairo_surface_t* img = new_bitmap(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, iw, ih);
    if (cairo_surface_status(img) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(img);
        return;
    }
    fill(reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(img)), cairo_image_surface_get_stride(img) / 4, ix0,
         iy0, iw, ih);
    cairo_surface_mark_dirty(img);
    // The bitmap's pixels are the target's: placed in device units.
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_clip(cr);
    cairo_identity_matrix(cr);
    cairo_scale(cr, 1 / sx, 1 / sy);
    cairo_set_source_surface(cr, img, ix0 - ox, iy0 - oy);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(img);
}

}  // namespace

void window_bg(cairo_t* cr, double w, double h, const Palette& p) {
    cairo_new_path(cr);
    if (!(w > 0 && h > 0)) return;
    // Worked out afresh where the clip needs it, never kept: a kept copy of
    // a 4K window is 33 MB, filling it costs as much as working it out, and
    // a resize would fill one for every size it passes.
    const Rgba t = p.bg_top, b = p.bg_bottom;
    if (noting())
        note(cr, 0, 0, w, h,
             std::hash<std::string>{}(key_of("window_bg", {w, h, t.r, t.g, t.b, t.a, b.r, b.g, b.b, b.a})));
    const Unnoted by_key;
    draw_window_bg(cr, w, h, t, b);
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
    gfx::stroke(cr);
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
    gfx::stroke(cr);
    cairo_restore(cr);

    rounded(cr, x + 0.5, y + 0.5, w - 1, h - 1, kRackRadius);
    if (hot)
        set(cr, with_alpha(strip, 0.55));
    else if (lit)
        set(cr, with_alpha(strip, 0.4));
    else
        set(cr, p.panel_edge);
    pen(cr, 1, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER);
    gfx::stroke(cr);

    cairo_move_to(cr, x + 10, y + 1.5);
    cairo_line_to(cr, x + w - 10, y + 1.5);
    set(cr, p.shine);
    gfx::stroke(cr);

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
                     gfx::fill_preserve(c);
                     set(c, edge);
                     cairo_set_line_width(c, line_width);
                     gfx::stroke(c);
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
    gfx::stroke(cr);

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
    gfx::fill(cr);
    cairo_pattern_destroy(g);
    g_object_unref(lay);
    return w;
}

}  // namespace gfx
