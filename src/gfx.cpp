// The palettes and the vector primitives. Each primitive starts a fresh path,
// draws, and keeps any transform or clip it needs inside save/restore; the
// decorative ones use a fixed-seed generator so every frame looks the same.
// The costly drawings that look the same frame after frame (window
// background, panels, display wells, drive bays, brick wall, lettering) are
// kept as finished bitmaps and copied.
//
// Index:
//   ---- Colours and palettes ----
//   ---- Helpers ----
//   ---- Bitmap cache ----
//   ---- Shapes: rounded, background, rack, display ----
//   ---- Icons ----
//   ---- Logo and drive bay ----
//   ---- Wall and lettering ----
#include "gfx.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

#include "l10n.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Panels.
constexpr double kRackRadius = 10;
constexpr double kRackShadowDrop = 3;
constexpr double kBrushPitch = 3;      // distance of the brushed lines
constexpr double kScrewInset = 11;
constexpr double kStripInset = 40;     // status strip starts this far from each end
constexpr double kStripGlowInset = 30;
constexpr double kLitMixDark = 0.06;   // how far a lit panel's top moves toward its strip
constexpr double kLitMixLight = 0.04;

// Wells and bays.
constexpr double kDisplayRadius = 6;
constexpr double kDisplayShadow = 10;  // height of the inner top shadow
constexpr double kGridPitch = 8;
constexpr double kGridStart = 6;
constexpr double kDriveRadius = 7;
constexpr double kDriveShadowDrop = 2;
constexpr double kButtonRadius = 8;

// Screws.
constexpr double kScrewShadowR = 4.2;
constexpr double kScrewHeadR = 3.8;
constexpr double kScrewSlot = 2.8;

// Wall.
constexpr double kBrickH = 16;
constexpr double kBrickW = 46;

// Lettering.
constexpr int kSprayDots = 260;
constexpr uint32_t kSpraySeed = 0x5EED;
constexpr double kGraffitiTilt = -0.045;  // radians
constexpr int kGraffitiWeight = 1000;
constexpr int kRainbowWeight = 700;

// Finished bitmaps kept between frames.
constexpr size_t kCacheEntries = 160;
constexpr size_t kSeenOnce = 256;     // drawings asked for once, remembered by key
constexpr size_t kCacheBytes = size_t(96) << 20;
constexpr size_t kKeepBackgrounds = 1;
constexpr size_t kKeepWalls = 2;
constexpr size_t kKeepLettering = 4;
constexpr size_t kKeepPanels = 12;   // per kind: racks, display wells
constexpr size_t kKeepDrives = 8;
constexpr size_t kKeepBars = 96;     // the compare panel alone shows a few dozen
constexpr size_t kKeepBoxes = 48;    // chips, buttons and cards in their states
constexpr double kStrokeReach = 1;  // how far an outline may reach past its box
constexpr double kCacheMaxSide = 16384;  // device pixels; larger drawings are drawn directly
constexpr size_t kBytesPerPixel = 4;      // RGB24 and ARGB32 alike

}  // namespace

// ---- Colours and palettes ----

Rgba hex(const char* h, double a) {
    if (!h) return Rgba{0, 0, 0, a};
    if (*h == '#') ++h;
    const unsigned long v = std::strtoul(h, nullptr, 16);
    return Rgba{((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0, a};
}

Palette Palette::make(bool dark) {
    Palette p;
    p.dark = dark;
    auto pick = [dark](const char* d, const char* l, double a = 1) { return hex(dark ? d : l, a); };
    p.bg = pick("#0B0B0C", "#ECEBE8");
    p.bg_top = pick("#161616", "#F2F1EE");
    p.bg_bottom = pick("#080808", "#E1E0DC");
    p.surface = pick("#18181A", "#FFFFFF");
    p.surface2 = pick("#202022", "#F6F5F2");
    p.border = pick("#2A2A2D", "#CFCDC8");
    p.panel_top = pick("#232325", "#FCFCFA");
    p.panel_bottom = pick("#0E0E0F", "#E5E4E0");
    p.panel_edge = pick("#2A2A2D", "#CFCDC8");
    p.shine = hex("#FFFFFF", dark ? 0.13 : 0.4);
    p.slot = pick("#0B0B0C", "#F4F4F2");
    p.slot_edge = pick("#2C2C2F", "#BDBBB6");
    p.text = pick("#E2E0DC", "#22211F");
    p.text_strong = pick("#FFFFFF", "#000000");
    p.dim = pick("#B2ADA6", "#5A5651");
    p.faint = pick("#87837C", "#8A867F");
    p.grid = dark ? hex("#FFFFFF", 0.06) : hex("#000000", 0.07);
    p.down = pick("#A9C2A8", "#6E8A6C");
    p.up = pick("#E4CDA6", "#A88552");
    p.ok = pick("#A9C2A8", "#6E8A6C");
    p.warn = pick("#E4CDA6", "#B08A55");
    p.err = pick("#DE8C84", "#B5605A");
    p.accent = pick("#9DB59B", "#6E8A6C");
    p.chip = pick("#202022", "#E6E5E1");
    p.chip_on = pick("#8FA98D", "#7E9A7C");
    p.chip_on_text = pick("#141814", "#FFFFFF");
    p.hover = dark ? hex("#FFFFFF", 0.05) : hex("#000000", 0.04);
    p.select = dark ? hex("#A9C2A8", 0.14) : hex("#7E9A7C", 0.12);
    p.led_off = pick("#18181A", "#E2E2DF");
    p.button = pick("#202022", "#FFFFFF");
    p.button_hot = pick("#2B2B2E", "#ECEBE7");
    return p;
}

namespace gfx {

void set(cairo_t* cr, const Rgba& c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

Rgba with_alpha(const Rgba& c, double k) { return Rgba{c.r, c.g, c.b, c.a * k}; }

Rgba mix(const Rgba& a, const Rgba& b, double t) {
    return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
                a.a + (b.a - a.a) * t};
}

// ---- Helpers ----

namespace {

void stop(cairo_pattern_t* g, double at, const Rgba& c) {
    cairo_pattern_add_color_stop_rgba(g, at, c.r, c.g, c.b, c.a);
}

void stop(cairo_pattern_t* g, double at, double r, double gr, double b, double a = 1) {
    cairo_pattern_add_color_stop_rgba(g, at, r, gr, b, a);
}

// Fills the current path with a vertical gradient between y0 and y1.
void fill_vertical(cairo_t* cr, double y0, double y1, const Rgba& top, const Rgba& bottom) {
    cairo_pattern_t* g = cairo_pattern_create_linear(0, y0, 0, y1);
    stop(g, 0, top);
    stop(g, 1, bottom);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
}

void fill_with(cairo_t* cr, const Rgba& c) {
    set(cr, c);
    cairo_fill(cr);
}

void pen(cairo_t* cr, double lw, cairo_line_cap_t cap, cairo_line_join_t join) {
    cairo_set_line_width(cr, lw);
    cairo_set_line_cap(cr, cap);
    cairo_set_line_join(cr, join);
}

void disc(cairo_t* cr, double cx, double cy, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
}

Rgba rgb(double r, double g, double b, double a = 1) { return Rgba{r, g, b, a}; }

Rgba scaled(const Rgba& c, double k) { return Rgba{c.r * k, c.g * k, c.b * k, c.a}; }

}  // namespace

// ---- Bitmap cache ----

namespace {

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};

struct CacheEntry {
    std::string family;  // which primitive made it
    std::string key;
    size_t hash = 0;  // of the key: a page looks up a hundred bitmaps among as many
    std::unique_ptr<cairo_surface_t, SurfaceFree> image;
    size_t bytes = 0;
    uint64_t used = 0;
};

bool g_keep_bitmaps = true;
// Uses of kept bitmaps are stamped with a running count; a frame starts at a stamp.
uint64_t g_clock = 0;
uint64_t g_frame_start = 0;

// The window draws from one thread, so the cache needs no lock.
std::vector<CacheEntry>& bitmap_cache() {
    static std::vector<CacheEntry> cache;
    return cache;
}

bool whole(double v) { return std::fabs(v - std::round(v)) < 1e-9; }

// Some drawings are kept from their second request on. A resize asks for a
// window background of every size it passes through, a value change for
// bars of new lengths; and the first frame is quicker drawn straight than
// into dozens of bitmaps of fresh memory and copied.
bool first_sight(size_t hash) {
    static std::deque<size_t> seen;
    const auto it = std::find(seen.begin(), seen.end(), hash);
    if (it != seen.end()) {
        seen.erase(it);
        return false;
    }
    if (seen.size() >= kSeenOnce) seen.pop_front();
    seen.push_back(hash);
    return true;
}

// Paints what `draw` draws inside the user-space box (x, y, w, h), from a
// bitmap kept for `key`. The bitmap matches the device pixel grid exactly: the
// key carries the full user-to-device scale (the context's and the surface's
// device scale, so a high-density window keeps its own bitmaps) and the
// sub-pixel offset, so a copy is the same as drawing afresh, only shifted by
// whole pixels. Rotated or skewed contexts, fractional device offsets and
// vector surfaces are drawn directly. `draw` learns whether it draws into an
// opaque bitmap whose box is exactly its pixel grid.
// `keep` limits the bitmaps of one primitive: a window background of an old
// size is of no more use once the window has a new one. With `second_use`
// the first request of a key is drawn directly and only a repeat keeps it.
template <class Draw>
void paint_cached(cairo_t* cr, const char* family, size_t keep, const std::string& key, double x,
                  double y, double w, double h, bool opaque, bool second_use, Draw&& draw) {
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    cairo_surface_t* target = cairo_get_group_target(cr);
    double sx = 1, sy = 1, ox = 0, oy = 0;
    cairo_surface_get_device_scale(target, &sx, &sy);
    cairo_surface_get_device_offset(target, &ox, &oy);
    // User space to device pixels: the context's matrix, then the surface's scale and offset.
    const double mxx = m.xx * sx, myy = m.yy * sy, mx0 = m.x0 * sx + ox, my0 = m.y0 * sy + oy;
    const double dx0 = mxx * x + mx0, dy0 = myy * y + my0;
    const double dx1 = mxx * (x + w) + mx0, dy1 = myy * (y + h) + my0;
    if (!g_keep_bitmaps || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
        m.xy != 0 || m.yx != 0 || mxx <= 0 || myy <= 0 || !whole(ox) || !whole(oy) ||
        !(dx1 - dx0 < kCacheMaxSide) || !(dy1 - dy0 < kCacheMaxSide)) {
        draw(cr, false);
        return;
    }
    const double ix0 = std::floor(dx0), iy0 = std::floor(dy0);
    const int dw = int(std::ceil(dx1) - ix0), dh = int(std::ceil(dy1) - iy0);
    if (dw <= 0 || dh <= 0) return;
    // A bitmap larger than the whole budget is never kept, so the budget holds.
    if (size_t(dw) * size_t(dh) * kBytesPerPixel > kCacheBytes) {
        draw(cr, false);
        return;
    }
    // Opaque drawings that fill whole pixels need no alpha, which makes the copy a plain blit.
    const bool solid = opaque && whole(dx0) && whole(dy0) && whole(dx1) && whole(dy1);

    // The key's numbers go in as their bytes: a page looks up a hundred
    // bitmaps per frame, and formatting them as text cost more than the copy.
    std::string full = family;
    full += '|';
    full += key;
    const double geometry[] = {mxx, myy, dx0 - ix0, dy0 - iy0, double(dw), double(dh), solid ? 1.0 : 0.0};
    full.append(reinterpret_cast<const char*>(geometry), sizeof geometry);

    auto& cache = bitmap_cache();
    const size_t hash = std::hash<std::string>{}(full);
    CacheEntry* hit = nullptr;
    for (auto& e : cache)
        if (e.hash == hash && e.key == full) hit = &e;
    if (!hit && second_use && first_sight(hash)) {
        draw(cr, false);
        return;
    }
    if (!hit) {
        // Room comes only from bitmaps the current frame has not used: taking
        // one it still needs would only be drawn again further down the
        // frame, and so on every frame. What does not fit is drawn directly.
        const size_t bytes = size_t(dw) * size_t(dh) * kBytesPerPixel;
        auto evict_stale = [&cache](const char* only) {
            auto oldest = cache.end();
            for (auto it = cache.begin(); it != cache.end(); ++it)
                if (it->used < g_frame_start && (!only || it->family == only) &&
                    (oldest == cache.end() || it->used < oldest->used))
                    oldest = it;
            if (oldest == cache.end()) return false;
            cache.erase(oldest);
            return true;
        };
        auto of_family = [&cache, family] {
            return size_t(std::count_if(cache.begin(), cache.end(),
                                        [family](const CacheEntry& e) { return e.family == family; }));
        };
        auto total = [&cache]() {
            size_t t = 0;
            for (const auto& e : cache) t += e.bytes;
            return t;
        };
        while (of_family() >= keep && evict_stale(family)) {
        }
        while ((cache.size() >= kCacheEntries || total() + bytes > kCacheBytes) && evict_stale(nullptr)) {
        }
        if (of_family() >= keep || cache.size() >= kCacheEntries || total() + bytes > kCacheBytes) {
            draw(cr, false);
            return;
        }
        cairo_surface_t* img =
            cairo_image_surface_create(solid ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, dw, dh);
        if (cairo_surface_status(img) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(img);
            draw(cr, false);
            return;
        }
        cairo_t* c = cairo_create(img);
        cairo_matrix_t local = {mxx, 0, 0, myy, mx0 - ix0, my0 - iy0};
        cairo_set_matrix(c, &local);
        draw(c, solid);
        cairo_destroy(c);
        cairo_surface_flush(img);

        cache.push_back(CacheEntry{family, full, hash, std::unique_ptr<cairo_surface_t, SurfaceFree>(img),
                                   size_t(cairo_image_surface_get_stride(img)) * size_t(dh), 0});
        hit = &cache.back();
    }
    hit->used = ++g_clock;

    // One user unit per device pixel: the copy lands on whole pixels, unfiltered.
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_scale(cr, 1 / sx, 1 / sy);
    cairo_new_path(cr);
    cairo_set_source_surface(cr, hit->image.get(), ix0 - ox, iy0 - oy);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, ix0 - ox, iy0 - oy, dw, dh);
    cairo_fill(cr);
    cairo_restore(cr);
}

std::string key_of(const char* name, std::initializer_list<double> values) {
    std::string k = name;
    for (double v : values) k.append(reinterpret_cast<const char*>(&v), sizeof v);
    return k;
}

}  // namespace

void keep_bitmaps(bool on) {
    g_keep_bitmaps = on;
    if (!on) bitmap_cache().clear();
}

void begin_frame() {
    g_frame_start = g_clock + 1;
}

size_t kept_bitmap_bytes() {
    size_t t = 0;
    for (const auto& e : bitmap_cache()) t += e.bytes;
    return t;
}

// ---- Shapes: rounded, background, rack, display ----

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
    // of a page, and the same from frame to frame.
    const Rgba t = p.panel_top, b = p.panel_bottom, e = p.panel_edge, s = p.shine;
    paint_cached(cr, "rack", kKeepPanels,
                 key_of("", {w, h, p.dark ? 1.0 : 0.0, t.r, t.g, t.b, t.a, b.r, b.g, b.b, b.a, e.r,
                             e.g, e.b, e.a, s.r, s.g, s.b, s.a, strip.r, strip.g, strip.b, strip.a,
                             lit ? 1.0 : 0.0, double(seed), hot ? 1.0 : 0.0}),
                 x - kStrokeReach, y - kStrokeReach, w + 2 * kStrokeReach,
                 h + kRackShadowDrop + 2 * kStrokeReach, false,
                 false, [&](cairo_t* c, bool) { draw_rack(c, x, y, w, h, p, strip, lit, seed, hot); });
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

Rgba vu_color(double f, const Palette& p) {
    if (f > 0.86) return p.err;
    if (f > 0.68) return p.warn;
    return p.ok;
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

// ---- Icons ----

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
    cairo_stroke(cr);
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
    cairo_stroke(cr);
}

void device_button(cairo_t* cr, double x, double y, double s, int kind, bool hot, const Palette& p) {
    cairo_new_path(cr);
    rounded(cr, x, y, s, s, kButtonRadius);
    fill_vertical(cr, y, y + s, hot ? p.button_hot : p.button, hex(p.dark ? "#141415" : "#EBEAE6"));
    rounded(cr, x + 0.5, y + 0.5, s - 1, s - 1, kButtonRadius);
    set(cr, p.panel_edge);
    pen(cr, 1, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cr);
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
    cairo_stroke(cr);
}

void check(cairo_t* cr, double cx, double cy, double r, const Rgba& c, double lw) {
    cairo_new_path(cr);
    cairo_move_to(cr, cx - r, cy);
    cairo_line_to(cr, cx - 0.3 * r, cy + 0.7 * r);
    cairo_line_to(cr, cx + r, cy - 0.7 * r);
    pen(cr, lw, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_JOIN_ROUND);
    set(cr, c);
    cairo_stroke(cr);
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
    cairo_stroke(cr);
}

// ---- Logo and drive bay ----

void app_logo(cairo_t* cr, double cx, double cy, double r, const Palette& /*p*/) {
    cairo_new_path(cr);
    rounded(cr, cx - r, cy - r, 2 * r, 2 * r, 0.42 * r);
    fill_vertical(cr, cy - r, cy + r, rgb(0.22, 0.22, 0.23), rgb(0.07, 0.07, 0.08));
    rounded(cr, cx - r, cy - r, 2 * r, 2 * r, 0.42 * r);
    pen(cr, std::max(0.05 * r, 1.0), CAIRO_LINE_CAP_BUTT, CAIRO_LINE_JOIN_MITER);
    set(cr, rgb(1, 1, 1, 0.16));
    cairo_stroke(cr);

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
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);

    cairo_move_to(cr, x + 7, y + 1.5);
    cairo_line_to(cr, x + w - 7, y + 1.5);
    cairo_set_line_width(cr, 1);
    set(cr, p.shine);
    cairo_stroke(cr);
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

// ---- Wall and lettering ----

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
