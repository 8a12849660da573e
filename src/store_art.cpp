// Icon and store banner. The icon is one vector drawing in fractions of its
// side; renderings are drawn four times larger and scaled down, which keeps
// edges smooth at small sizes. The banner places the icon, the spray-paint
// name, the tagline and up to three screenshot cards on a dark stage.
//
// Index:
//   ---- Lamps and embossed words ----
//   ---- Icon ----
//   ---- Files ----
//   ---- Banner ----
#include "store_art.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "gfx.h"
#include "logger.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr int kSupersample = 4;          // icons are drawn this much larger, then scaled down
constexpr long kMaxIconSize = 2048;      // larger requests would need gigabytes of memory
constexpr int kStoreIconSizes[] = {512, 256};

// The icon is always drawn at four times (or more) the size it is shown at.
// Below these drawing sizes the fine lettering would only be noise, so the
// icon shows the device alone (tiny: 16 px) or the device and "RAID" (small:
// 32 to 64 px, with the bays' finer parts from kDetailedIcon on); from 128 px
// up it shows all three words.
constexpr double kTinyIcon = 96;
constexpr double kDetailedIcon = 192;
constexpr double kSmallIcon = 384;
constexpr double kMinRim = kSupersample;  // one pixel of the shown icon

constexpr int kBannerW = 1920;
constexpr int kBannerH = 640;
constexpr double kFloorY = 537.6;        // the stage's floor line
constexpr double kCardBase = 519.6;      // bottom of a card that is not lifted
constexpr double kCardRadius = 10;
constexpr size_t kMaxShots = 3;
constexpr double kBannerIconX = 70;
constexpr double kBannerIconY = 150;
constexpr double kBannerIconSide = 250;
constexpr double kBannerIconDrawn = 2048;  // the icon's drawing size before scaling

struct Card {
    double x, w, lift;
};
constexpr Card kCards[kMaxShots] = {{1180, 680, 215}, {1335, 565, 40}, {770, 600, 0}};

struct Rgb {
    double r, g, b;
};

// ---- Lamps and embossed words ----

// One lamp: a soft glow, the lens and a small specular highlight.
void led(cairo_t* cr, double x, double y, double r, double red, double green, double blue) {
    cairo_new_path(cr);
    cairo_pattern_t* glow = cairo_pattern_create_radial(x, y, 0, x, y, 3 * r);
    cairo_pattern_add_color_stop_rgba(glow, 0, red, green, blue, 0.55);
    cairo_pattern_add_color_stop_rgba(glow, 0.35, red, green, blue, 0.22);
    cairo_pattern_add_color_stop_rgba(glow, 1, red, green, blue, 0);
    cairo_set_source(cr, glow);
    cairo_arc(cr, x, y, 3 * r, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(glow);

    cairo_pattern_t* lens = cairo_pattern_create_radial(x - 0.3 * r, y - 0.3 * r, 0, x, y, r);
    cairo_pattern_add_color_stop_rgb(lens, 0, std::min(1.0, red * 0.5 + 0.6),
                                     std::min(1.0, green * 0.5 + 0.6), std::min(1.0, blue * 0.5 + 0.6));
    cairo_pattern_add_color_stop_rgb(lens, 0.6, red, green, blue);
    cairo_pattern_add_color_stop_rgb(lens, 1, red * 0.7, green * 0.7, blue * 0.7);
    cairo_set_source(cr, lens);
    cairo_arc(cr, x, y, r, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(lens);

    cairo_set_source_rgba(cr, 1, 1, 1, 0.7);
    cairo_arc(cr, x - 0.32 * r, y - 0.32 * r, 0.3 * r, 0, 2 * kPi);
    cairo_fill(cr);
}

// One embossed word, centred on cx with its letters' ink centred on y and
// shrunk to max_w. `outline` is the dark rim's width as a fraction of size.
void word(cairo_t* cr, const char* text, double cx, double y, double size, double max_w, Rgb top,
          Rgb bottom, double outline, double spacing) {
    PangoLayout* lay = gfx::create_layout(cr);
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family_static(d, "Sans");
    pango_font_description_set_weight(d, PANGO_WEIGHT_ULTRABOLD);
    pango_font_description_set_absolute_size(d, size * PANGO_SCALE);
    pango_layout_set_font_description(lay, d);
    pango_font_description_free(d);
    if (spacing > 0) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_letter_spacing_new(int(spacing * size * PANGO_SCALE)));
        pango_layout_set_attributes(lay, attrs);
        pango_attr_list_unref(attrs);
    }
    pango_layout_set_text(lay, text, -1);
    PangoRectangle ink;
    pango_layout_get_extents(lay, &ink, nullptr);
    const double ix = double(ink.x) / PANGO_SCALE, iy = double(ink.y) / PANGO_SCALE;
    const double iw = double(ink.width) / PANGO_SCALE, ih = double(ink.height) / PANGO_SCALE;
    const double k = iw > max_w ? max_w / iw : 1;

    // Local space: the ink box spans (0, 0)..(iw, ih).
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_translate(cr, cx - iw * k / 2, y - ih * k / 2);
    cairo_scale(cr, k, k);
    cairo_move_to(cr, -ix, -iy);
    pango_cairo_layout_path(cr, lay);
    cairo_path_t* glyphs = cairo_copy_path(cr);
    cairo_new_path(cr);

    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, size * outline);
    cairo_save(cr);
    cairo_translate(cr, 0.05 * size, 0.07 * size);
    cairo_append_path(cr, glyphs);
    cairo_restore(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.75);
    cairo_stroke_preserve(cr);
    cairo_fill(cr);

    cairo_append_path(cr, glyphs);
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.06);
    cairo_stroke_preserve(cr);
    cairo_pattern_t* face = cairo_pattern_create_linear(0, 0, 0, ih);
    cairo_pattern_add_color_stop_rgb(face, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(face, 1, bottom.r, bottom.g, bottom.b);
    cairo_set_source(cr, face);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(face);

    // Gloss over the upper half of the letters.
    cairo_clip(cr);
    cairo_pattern_t* gloss = cairo_pattern_create_linear(0, 0, 0, ih);
    cairo_pattern_add_color_stop_rgba(gloss, 0, 1, 1, 1, 0.45);
    cairo_pattern_add_color_stop_rgba(gloss, 0.48, 1, 1, 1, 0.08);
    cairo_pattern_add_color_stop_rgba(gloss, 0.5, 1, 1, 1, 0);
    cairo_set_source(cr, gloss);
    cairo_paint(cr);
    cairo_pattern_destroy(gloss);

    cairo_restore(cr);
    cairo_path_destroy(glyphs);
    g_object_unref(lay);
}

// ---- Icon ----

void background(cairo_t* cr, double S, bool fine) {
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, S);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.115, 0.12, 0.13);
    cairo_pattern_add_color_stop_rgb(g, 0.82, 0.055, 0.06, 0.065);
    cairo_pattern_add_color_stop_rgb(g, 0.821, 0.085, 0.09, 0.095);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.035, 0.04, 0.045);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);

    if (fine) {
        cairo_set_line_width(cr, S / 512);
        for (double x = -S; x < S; x += S / 36) {
            cairo_move_to(cr, x, 0);
            cairo_line_to(cr, x + S, S);
        }
        cairo_set_source_rgba(cr, 1, 1, 1, 0.022);
        cairo_stroke(cr);
        for (double x = 0; x < 2 * S; x += S / 36) {
            cairo_move_to(cr, x, 0);
            cairo_line_to(cr, x - S, S);
        }
        cairo_set_source_rgba(cr, 1, 1, 1, 0.014);
        cairo_stroke(cr);
    }

    // A narrow cone of light from above onto the floor.
    cairo_move_to(cr, 0.41 * S, 0);
    cairo_line_to(cr, 0.59 * S, 0);
    cairo_line_to(cr, 0.9 * S, 0.82 * S);
    cairo_line_to(cr, 0.1 * S, 0.82 * S);
    cairo_close_path(cr);
    g = cairo_pattern_create_linear(0, 0, 0, 0.82 * S);
    cairo_pattern_add_color_stop_rgba(g, 0, 1, 1, 1, 0.1);
    cairo_pattern_add_color_stop_rgba(g, 1, 1, 1, 1, 0);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);

    // The floor edge catches a little warm light.
    cairo_rectangle(cr, 0, 0.82 * S, S, S / 256);
    cairo_set_source_rgba(cr, 0.95, 0.88, 0.7, 0.14);
    cairo_fill(cr);
}

// Where the device and its parts go, in fractions of the icon's side. The
// small layouts put every edge on whole pixels of the 16 and 32 pixel icons.
struct DeviceLayout {
    double x0, x1, y0, y1;         // the box
    double bay_x0, bay_x1;         // bay fronts, left and right
    double bay_top, bay_h, bay_gap;
    double led_r, led_blue_x, led_green_x;  // lamp radius and centres, from the bay's right end
    double metal_top, metal_bottom;         // grey levels of the box
    double line;                   // outline width
    bool detail;                   // handle slots, lips and vents
};

void device(cairo_t* cr, double S, const DeviceLayout& d) {
    const double x0 = d.x0 * S, x1 = d.x1 * S, y0 = d.y0 * S, y1 = d.y1 * S;
    const double w = x1 - x0, h = y1 - y0;
    const double lw = d.line * S;

    // Soft shadow on the floor.
    cairo_save(cr);
    cairo_translate(cr, (x0 + x1) / 2, y1);
    cairo_scale(cr, 1, 0.12);
    cairo_pattern_t* sh = cairo_pattern_create_radial(0, 0, 0, 0, 0, 0.8 * w);
    cairo_pattern_add_color_stop_rgba(sh, 0, 0, 0, 0, 0.8);
    cairo_pattern_add_color_stop_rgba(sh, 1, 0, 0, 0, 0);
    cairo_set_source(cr, sh);
    cairo_arc(cr, 0, 0, 0.8 * w, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(sh);
    cairo_restore(cr);

    // Brushed metal box with a bright top edge.
    const double rad = std::min(0.07 * w, 0.06 * S);
    gfx::rounded(cr, x0, y0, w, h, rad);
    cairo_pattern_t* metal = cairo_pattern_create_linear(0, y0, 0, y1);
    const double mt = d.metal_top, mb = d.metal_bottom;
    cairo_pattern_add_color_stop_rgb(metal, 0, mt + 0.1, mt + 0.105, mt + 0.12);
    cairo_pattern_add_color_stop_rgb(metal, 0.06, mt, mt + 0.005, mt + 0.02);
    cairo_pattern_add_color_stop_rgb(metal, 1, mb, mb + 0.005, mb + 0.015);
    cairo_set_source(cr, metal);
    cairo_fill(cr);
    cairo_pattern_destroy(metal);
    if (d.detail) {
        // Side bevels: lighter on the left, darker on the right.
        cairo_save(cr);
        gfx::rounded(cr, x0, y0, w, h, rad);
        cairo_clip(cr);
        cairo_pattern_t* bevel = cairo_pattern_create_linear(x0, 0, x1, 0);
        cairo_pattern_add_color_stop_rgba(bevel, 0, 1, 1, 1, 0.1);
        cairo_pattern_add_color_stop_rgba(bevel, 0.06, 1, 1, 1, 0);
        cairo_pattern_add_color_stop_rgba(bevel, 0.94, 0, 0, 0, 0);
        cairo_pattern_add_color_stop_rgba(bevel, 1, 0, 0, 0, 0.25);
        cairo_set_source(cr, bevel);
        cairo_paint(cr);
        cairo_pattern_destroy(bevel);
        cairo_restore(cr);
    }
    gfx::rounded(cr, x0 + lw / 2, y0 + lw / 2, w - lw, h - lw, rad);
    cairo_set_line_width(cr, lw);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.3);
    cairo_stroke(cr);

    const double bx = d.bay_x0 * S, bw = (d.bay_x1 - d.bay_x0) * S;
    const double bh = d.bay_h * S;
    for (int i = 0; i < 3; ++i) {
        const double by = (d.bay_top + i * (d.bay_h + d.bay_gap)) * S;
        gfx::rounded(cr, bx, by, bw, bh, 0.14 * bh);
        cairo_pattern_t* f = cairo_pattern_create_linear(0, by, 0, by + bh);
        cairo_pattern_add_color_stop_rgb(f, 0, 0.2, 0.205, 0.215);
        cairo_pattern_add_color_stop_rgb(f, 1, 0.06, 0.062, 0.068);
        cairo_set_source(cr, f);
        cairo_fill(cr);
        cairo_pattern_destroy(f);
        if (d.detail) {
            gfx::rounded(cr, bx + lw / 2, by + lw / 2, bw - lw, bh - lw, 0.14 * bh);
            cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
            cairo_stroke(cr);
            cairo_rectangle(cr, bx + 0.16 * bh, by + lw, bw - 0.32 * bh, lw);
            cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
            cairo_fill(cr);
            gfx::rounded(cr, bx + 0.3 * bh, by + 0.42 * bh, 0.42 * bw, 0.16 * bh, 0.08 * bh);
            cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
            cairo_fill(cr);
        }
        const double cy = by + bh / 2, r = d.led_r * S;
        const double right = bx + bw;
        if (i < 2)
            led(cr, right - d.led_green_x * S, cy, r, 0.45, 0.95, 0.5);
        else
            led(cr, right - d.led_green_x * S, cy, r, 0.3, 0.55, 0.32);
        led(cr, right - d.led_blue_x * S, cy, r, 0.4, 0.7, 1.0);
    }

    if (d.detail) {
        // Vent slits under the bays.
        const double vy = (d.bay_top + 3 * d.bay_h + 3 * d.bay_gap) * S + 0.02 * S;
        for (int i = 0; i < 3; ++i) {
            gfx::rounded(cr, bx + 0.1 * bw, vy + i * 0.022 * S, 0.8 * bw, 0.008 * S, 0.004 * S);
            cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
            cairo_fill(cr);
        }
    }
}

// 16 pixels: the device alone, one pixel per sixteenth.
constexpr double k16 = 1.0 / 16;
constexpr DeviceLayout kTinyDevice = {
    .x0 = 3 * k16, .x1 = 13 * k16, .y0 = 2 * k16, .y1 = 15 * k16,
    .bay_x0 = 4 * k16, .bay_x1 = 12 * k16, .bay_top = 3 * k16, .bay_h = 3 * k16, .bay_gap = k16,
    .led_r = 0.6 * k16, .led_blue_x = 1.5 * k16, .led_green_x = 3.5 * k16,
    .metal_top = 0.56, .metal_bottom = 0.3, .line = 0.75 * k16, .detail = false};
// 32 to 64 pixels: the device behind a large "RAID", on a grid of 32.
constexpr double k32 = 1.0 / 32;
constexpr DeviceLayout kSmallDevice = {
    .x0 = 8 * k32, .x1 = 24 * k32, .y0 = 3 * k32, .y1 = 28 * k32,
    .bay_x0 = 10 * k32, .bay_x1 = 22 * k32, .bay_top = 5 * k32, .bay_h = 4 * k32, .bay_gap = k32,
    .led_r = k32, .led_blue_x = 2 * k32, .led_green_x = 5 * k32,
    .metal_top = 0.5, .metal_bottom = 0.24, .line = k32 / 2, .detail = false};
// 128 pixels and up: a slimmer tower between the words.
constexpr DeviceLayout kFullDevice = {
    .x0 = 0.355, .x1 = 0.725, .y0 = 0.225, .y1 = 0.855,
    .bay_x0 = 0.386, .bay_x1 = 0.694, .bay_top = 0.26, .bay_h = 0.085, .bay_gap = 0.02,
    .led_r = 0.011, .led_blue_x = 0.05, .led_green_x = 0.1,
    .metal_top = 0.32, .metal_bottom = 0.13, .line = 1.0 / 300, .detail = true};

}  // namespace

void draw_store_icon(cairo_t* cr, double S) {
    if (S <= 0) return;
    const bool tiny = S < kTinyIcon;
    const bool small = S < kSmallIcon;

    cairo_save(cr);
    cairo_new_path(cr);
    gfx::rounded(cr, 0, 0, S, S, 0.2 * S);
    cairo_clip(cr);
    background(cr, S, !small);

    const Rgb cream_top{0.99, 0.94, 0.8}, cream_bottom{0.9, 0.72, 0.45};
    if (tiny) {
        device(cr, S, kTinyDevice);
    } else if (small) {
        DeviceLayout d = kSmallDevice;
        d.detail = S >= kDetailedIcon;
        device(cr, S, d);
        word(cr, "RAID", 0.5 * S, 0.72 * S, 0.26 * S, 0.74 * S, cream_top, cream_bottom, 0.14, 0);
    } else {
        device(cr, S, kFullDevice);
        word(cr, "QUENLOW", 0.5 * S, 0.125 * S, 0.078 * S, 0.56 * S, {0.82, 0.9, 0.8},
             {0.55, 0.68, 0.54}, 0.16, 0.22);
        word(cr, "RAID", 0.555 * S, 0.71 * S, 0.2 * S, 0.42 * S, cream_top, cream_bottom, 0.12,
             0.02);
        cairo_save(cr);
        cairo_translate(cr, 0.255 * S, 0.53 * S);
        cairo_rotate(cr, -kPi / 2);
        word(cr, "CALCULATOR", 0, 0, 0.066 * S, 0.5 * S, {0.93, 0.9, 0.84}, {0.66, 0.63, 0.57},
             0.16, 0.08);
        cairo_restore(cr);
    }

    // A thin rim, brighter at the top, so the dark square keeps its edge on
    // dark panels; at least one pixel of the final icon wide.
    const double rim = std::max(S / 256, kMinRim);
    gfx::rounded(cr, rim / 2, rim / 2, S - rim, S - rim, 0.2 * S - rim / 2);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, S);
    cairo_pattern_add_color_stop_rgba(g, 0, 1, 1, 1, 0.2);
    cairo_pattern_add_color_stop_rgba(g, 0.5, 1, 1, 1, 0.06);
    cairo_pattern_add_color_stop_rgba(g, 1, 1, 1, 1, 0.1);
    cairo_set_source(cr, g);
    cairo_set_line_width(cr, rim);
    cairo_stroke(cr);
    cairo_pattern_destroy(g);
    cairo_restore(cr);
}

// ---- Files ----

namespace {

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;

Surface image(int w, int h) { return Surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)); }

bool write_png(cairo_surface_t* s, const std::string& path) {
    cairo_status_t st = cairo_surface_status(s);
    errno = 0;
    if (st == CAIRO_STATUS_SUCCESS) st = cairo_surface_write_to_png(s, path.c_str());
    if (st == CAIRO_STATUS_SUCCESS) return true;
    const std::string why = st == CAIRO_STATUS_WRITE_ERROR && errno != 0
                                ? std::strerror(errno)
                                : cairo_status_to_string(st);
    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), why.c_str());
    logger::warn("cannot write " + path + ": " + why);
    return false;
}

// The icon drawn at four times n and scaled down with the best filter.
Surface icon_surface(int n) {
    Surface big = image(kSupersample * n, kSupersample * n);
    Surface out = image(n, n);
    if (cairo_surface_status(big.get()) != CAIRO_STATUS_SUCCESS) return big;
    cairo_t* cr = cairo_create(big.get());
    draw_store_icon(cr, kSupersample * n);
    cairo_destroy(cr);
    cairo_surface_flush(big.get());

    cr = cairo_create(out.get());
    cairo_scale(cr, 1.0 / kSupersample, 1.0 / kSupersample);
    cairo_set_source_surface(cr, big.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_paint(cr);
    cairo_destroy(cr);
    return out;
}

}  // namespace

int render_icon(long size, const std::string& path) {
    if (size < 1 || size > kMaxIconSize) {
        std::fprintf(stderr, "icon size must be between 1 and %ld\n", kMaxIconSize);
        return 1;
    }
    Surface s = icon_surface(static_cast<int>(size));
    return write_png(s.get(), path) ? 0 : 1;
}

// ---- Banner ----

namespace {

void rounded_shadow(cairo_t* cr, double x, double y, double w, double h, double radius) {
    // A blur stand-in: widening, fading copies of the shape, dropped a little.
    constexpr int kLayers = 14;
    constexpr double kSpread = 2.2;
    constexpr double kDrop = 18;
    for (int i = kLayers; i >= 1; --i) {
        const double s = i * kSpread;
        gfx::rounded(cr, x - s, y - s + kDrop, w + 2 * s, h + 2 * s, radius + s);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.045);
        cairo_fill(cr);
    }
}

void paint_shot(cairo_t* cr, cairo_surface_t* img, double x, double y, double w, double h) {
    const double k = w / cairo_image_surface_get_width(img);
    cairo_save(cr);
    gfx::rounded(cr, x, y, w, h, kCardRadius);
    cairo_clip(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, k, k);
    cairo_set_source_surface(cr, img, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
}

void shot_card(cairo_t* cr, cairo_surface_t* img, const Card& c) {
    const double iw = cairo_image_surface_get_width(img), ih = cairo_image_surface_get_height(img);
    const double h = ih * c.w / iw;
    const double top = kCardBase - h - c.lift;
    rounded_shadow(cr, c.x, top, c.w, h, kCardRadius);

    if (c.lift == 0) {
        // Mirrored in the floor and fading out below it.
        cairo_push_group(cr);
        cairo_save(cr);
        cairo_translate(cr, 0, 2 * kFloorY);
        cairo_scale(cr, 1, -1);
        paint_shot(cr, img, c.x, top, c.w, h);
        cairo_restore(cr);
        cairo_pop_group_to_source(cr);
        const double start = 2 * kFloorY - kCardBase;
        cairo_pattern_t* fade = cairo_pattern_create_linear(0, start, 0, start + 0.35 * h);
        cairo_pattern_add_color_stop_rgba(fade, 0, 0, 0, 0, 0.22);
        cairo_pattern_add_color_stop_rgba(fade, 1, 0, 0, 0, 0);
        cairo_mask(cr, fade);
        cairo_pattern_destroy(fade);
    }

    paint_shot(cr, img, c.x, top, c.w, h);
    gfx::rounded(cr, c.x + 0.5, top + 0.5, c.w - 1, h - 1, kCardRadius);
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.16);
    cairo_stroke(cr);
}

void banner_stage(cairo_t* cr) {
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, kBannerH);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.1, 0.105, 0.115);
    cairo_pattern_add_color_stop_rgb(g, 0.84, 0.05, 0.055, 0.06);
    cairo_pattern_add_color_stop_rgb(g, 0.841, 0.075, 0.08, 0.085);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.035, 0.04, 0.045);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);

    constexpr int kHairlines = 458;
    constexpr double kHairStep = 7;
    cairo_set_line_width(cr, 1);
    for (int i = 0; i < kHairlines; ++i) {
        const double x = -kBannerH + i * kHairStep;
        cairo_move_to(cr, x, 0);
        cairo_line_to(cr, x + kBannerH, kBannerH);
    }
    cairo_set_source_rgba(cr, 1, 1, 1, 0.012);
    cairo_stroke(cr);
    for (int i = 0; i < kHairlines; ++i) {
        const double x = -kBannerH + i * kHairStep;
        cairo_move_to(cr, x, 0);
        cairo_line_to(cr, x - kBannerH, kBannerH);
    }
    cairo_set_source_rgba(cr, 1, 1, 1, 0.008);
    cairo_stroke(cr);

    cairo_rectangle(cr, 0, kFloorY, kBannerW, 1.5);
    cairo_set_source_rgba(cr, 0.95, 0.88, 0.7, 0.2);
    cairo_fill(cr);

    g = cairo_pattern_create_radial(1382.4, -100, 0, 1382.4, -100, 1056);
    cairo_pattern_add_color_stop_rgba(g, 0, 1, 1, 1, 0.07);
    cairo_pattern_add_color_stop_rgba(g, 1, 1, 1, 1, 0);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
}

void tagline(cairo_t* cr) {
    PangoLayout* lay = gfx::create_layout(cr);
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family_static(d, "Sans");
    pango_font_description_set_weight(d, PANGO_WEIGHT_SEMIBOLD);
    pango_font_description_set_absolute_size(d, 34 * PANGO_SCALE);
    pango_layout_set_font_description(lay, d);
    pango_font_description_free(d);
    pango_layout_set_width(lay, 400 * PANGO_SCALE);
    pango_layout_set_wrap(lay, PANGO_WRAP_WORD);
    pango_layout_set_text(lay, "See what every RAID level gives you.", -1);
    cairo_move_to(cr, 352, 210);
    cairo_set_source_rgb(cr, 0.95, 0.88, 0.7);
    pango_cairo_show_layout(cr, lay);
    cairo_new_path(cr);
    g_object_unref(lay);

    cairo_rectangle(cr, 352, 345, 90, 3);
    cairo_set_source_rgba(cr, 0.95, 0.88, 0.7, 0.55);
    cairo_fill(cr);
}

}  // namespace

int render_store_art(const std::string& dir, const std::vector<std::string>& shots) {
    for (int n : kStoreIconSizes) {
        Surface s = icon_surface(n);
        if (!write_png(s.get(), dir + "/icon-" + std::to_string(n) + ".png")) return 1;
    }

    Surface banner = image(kBannerW, kBannerH);
    cairo_t* cr = cairo_create(banner.get());
    banner_stage(cr);

    for (size_t i = 0; i < std::min(shots.size(), kMaxShots); ++i) {
        Surface img(cairo_image_surface_create_from_png(shots[i].c_str()));
        if (cairo_surface_status(img.get()) != CAIRO_STATUS_SUCCESS ||
            cairo_image_surface_get_width(img.get()) < 1 ||
            cairo_image_surface_get_height(img.get()) < 1) {
            logger::info("screenshot left out: " + shots[i]);
            continue;
        }
        shot_card(cr, img.get(), kCards[i]);
    }

    rounded_shadow(cr, kBannerIconX, kBannerIconY, kBannerIconSide, kBannerIconSide,
                   0.2 * kBannerIconSide);
    cairo_save(cr);
    cairo_translate(cr, kBannerIconX, kBannerIconY);
    cairo_scale(cr, kBannerIconSide / kBannerIconDrawn, kBannerIconSide / kBannerIconDrawn);
    draw_store_icon(cr, kBannerIconDrawn);
    cairo_restore(cr);

    gfx::graffiti(cr, "Quenlow's Raid Calculator", 52, 95, 56, 760, true);
    tagline(cr);
    cairo_destroy(cr);
    return write_png(banner.get(), dir + "/banner-1920x640.png") ? 0 : 1;
}
