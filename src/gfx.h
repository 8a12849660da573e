// Colours, the two theme palettes and the stateless vector primitives every
// page draws with: panels, wells, drive bays, small icons, the logo, the brick
// wall and its lettering, and fitted text. Every primitive draws at once into
// the given cairo context and sets the source, line width, cap and join it
// needs, so callers never depend on what an earlier call left behind.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

typedef struct _PangoLayout PangoLayout;
typedef struct _PangoFontDescription PangoFontDescription;

// A colour, each channel 0..1. The default is opaque black.
struct Rgba {
    double r = 0, g = 0, b = 0, a = 1;
};

// "#RRGGBB" or "RRGGBB"; malformed text gives whatever the base-16 parse
// yields, never an error.
Rgba hex(const char* h, double a = 1);

// The theme colours. make() gives the fixed light or dark set.
struct Palette {
    bool dark = false;
    Rgba bg, surface, surface2, border, text, dim, faint, grid, down, up, ok, warn, err, accent,
        chip, chip_on, chip_on_text, hover, select, bg_top, bg_bottom, panel_top, panel_bottom,
        panel_edge, shine, slot, slot_edge, led_off, text_strong, button, button_hot;

    static Palette make(bool dark);
};

namespace gfx {

// ---- Colour helpers ----
void set(cairo_t* cr, const Rgba& c);
Rgba with_alpha(const Rgba& c, double k);      // alpha multiplied by k
Rgba mix(const Rgba& a, const Rgba& b, double t);  // a + (b - a) * t, alpha included

// ---- Shapes ----
// A closed rounded-rectangle sub-path; the radius is capped at half the
// shorter side, so large radii give a stadium or a circle.
void rounded(cairo_t* cr, double x, double y, double w, double h, double r);
// A rounded rectangle filled with a vertical gradient, kept as a bitmap
// between frames: the still form of an animated bar.
void gradient_bar(cairo_t* cr, double x, double y, double w, double h, double r, const Rgba& top,
                  const Rgba& bottom);
// A filled rounded rectangle with its outline (chips, buttons), kept as a
// bitmap between frames. The context's source and line width stay as they were.
void framed_box(cairo_t* cr, double x, double y, double w, double h, double r, const Rgba& fill,
                const Rgba& edge, double line_width);

void window_bg(cairo_t* cr, double w, double h, const Palette& p);
void screw(cairo_t* cr, double cx, double cy, double rot, const Palette& p);  // rot in degrees
// The brushed-metal panel of every section. `strip` colours the status strip
// along the top edge (transparent: none), `lit` makes it glow, `seed` turns
// the screws differently per panel, `hot` highlights the edge.
void rack(cairo_t* cr, double x, double y, double w, double h, const Palette& p,
          const Rgba& strip, bool lit, int seed, bool hot);
void card(cairo_t* cr, double x, double y, double w, double h, const Palette& p, bool hover);
// How far in from a rack's sides and from its top and bottom its body is
// opaque paint, whatever the palette: nothing painted before shows there.
constexpr double kRackOpaqueSide = 1, kRackOpaqueEnd = 10;
void display(cairo_t* cr, double x, double y, double w, double h, const Palette& p, bool grid);
Rgba vu_color(double f, const Palette& p);
// Gradient title, vertically centred on y; returns its width.
double rainbow_text(cairo_t* cr, const std::string& s, double x, double y, double size, bool dark);

// ---- Icons ----
void arrow(cairo_t* cr, double cx, double cy, double s, bool up, const Rgba& c);
void gear(cairo_t* cr, double cx, double cy, double r, const Rgba& c);
void icon_copy(cairo_t* cr, double cx, double cy, double r, const Rgba& c);
// kind 0: gear, 1: copy, anything else: no icon.
void device_button(cairo_t* cr, double x, double y, double s, int kind, bool hot, const Palette& p);
void dot(cairo_t* cr, double cx, double cy, double r, const Rgba& c);
void cross(cairo_t* cr, double cx, double cy, double r, const Rgba& c, double lw);
void check(cairo_t* cr, double cx, double cy, double r, const Rgba& c, double lw);
void shield(cairo_t* cr, double cx, double cy, double r, const Rgba& c);
void minus_plus(cairo_t* cr, double cx, double cy, double r, bool plus, const Rgba& c);
// The application logo; the same in both themes.
void app_logo(cairo_t* cr, double cx, double cy, double r, const Palette& p);
void drive(cairo_t* cr, double x, double y, double w, double h, const Palette& p, bool failed,
           bool spare, bool hot);

// ---- Decoration ----
void wall(cairo_t* cr, double x, double y, double w, double h, bool dark);
// Spray-paint lettering with its left edge at x, centred on cy, shrunk to
// max_w when wider (max_w <= 0: never). Returns the width used.
double graffiti(cairo_t* cr, const std::string& s, double x, double cy, double size, double max_w,
                bool dark);

// Bytes held by the bitmaps kept between frames (background, panels, wells,
// bays, wall, lettering); bounded whatever sizes and scales the window goes
// through.
size_t kept_bitmap_bytes();
// Marks the start of a frame: only bitmaps it has not used yet may make room
// for new ones. Without it nothing kept is given up, and what does not fit is
// drawn directly.
void begin_frame();
// On by default; off lets every drawing go afresh and drops what is kept
// (for comparisons and measurements).
void keep_bitmaps(bool on);

// ---- Text ----
enum class Align { Left = 0, Center = 1, Right = 2 };

struct TextStyle {
    double size = 13;          // logical pixels
    bool bold = false;         // weight 600
    bool tnum = false;         // tabular digits, for every figure
    Align align = Align::Left; // what the given x is: left edge, centre or right edge
    double max_w = 0;          // available width; <= 0 unlimited
    bool fit = false;          // too wide: shrink down to half size, never wrap
    bool middle = false;       // y is the vertical centre; may shrink to 85 % before wrapping
    // Set by text() to whether a `fit` text had to be cut short with an
    // ellipsis, so the caller can offer the whole of it as a tooltip.
    bool* cut = nullptr;
};

// Draws s; returns the width used (max_w for a wrapped block). "" draws nothing.
double text(cairo_t* cr, const std::string& s, double x, double y, const Rgba& c,
            const TextStyle& st);
// Small bold label, vertically centred on y; `color` null means p.dim.
double caption(cairo_t* cr, const std::string& s, double x, double y, const Palette& p,
               const Rgba* color = nullptr);
double text_width(cairo_t* cr, const std::string& s, double size, bool bold);
double text_height(cairo_t* cr, const std::string& s, const TextStyle& st);
// A paragraph wrapped to w (at least 10) with its top-left at (x, y), drawn
// only when `draw`; returns its height.
double wrapped(cairo_t* cr, const std::string& s, double x, double y, double w, double size,
               const Rgba& c, Align a, bool bold, bool draw);

// Draws a layout with its top-left at (x, y); every text of the window is
// drawn here.
void show_layout(cairo_t* cr, PangoLayout* lay, double x, double y, const Rgba& c);

// Text as the screen reader meets it: while a sink is set, every text drawn
// is also handed to it with its box in window units (the transformation in
// force, without the surface's device scale). Unset, it costs nothing.
struct DrawnText {
    std::string text;
    double x = 0, y = 0, w = 0, h = 0;
    bool clipped = false;  // wholly outside the clip: drawn, but not seen
};
using TextSink = std::function<void(DrawnText&&)>;
void set_text_sink(const TextSink* sink);

// What a pass draws, noted so that two layouts of a page can be compared
// without drawing either: every drawing of the page goes through show_layout,
// a kept bitmap or fill and stroke below, which note its box (in the
// coordinates of the context's matrix, without the surface's device scale)
// and a hash of what it puts there. Unset, noting costs nothing.
struct Drawn {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    size_t hash = 0;
};
void record(std::vector<Drawn>* into);
bool noting();
// Notes the user-space box (x, y, w, h) as drawn with content `hash`.
void note(cairo_t* cr, double x, double y, double w, double h, size_t hash);
// While one lives, nothing is noted: a kept bitmap notes itself, not what
// draws it.
struct Unnoted {
    Unnoted();
    ~Unnoted();
    Unnoted(const Unnoted&) = delete;
    Unnoted& operator=(const Unnoted&) = delete;
};
// cairo_fill, cairo_fill_preserve and cairo_stroke, noted: the path's box,
// and a hash of the path, the source, the matrix and the pen.
void fill(cairo_t* cr);
void fill_preserve(cairo_t* cr);
void stroke(cairo_t* cr);
// The boxes drawn in one list and not alike in the other: where a page
// painted as `was` must be painted again to look like `now`.
std::vector<Drawn> changed(std::vector<Drawn> was, std::vector<Drawn> now);

// The building blocks of the calls above, for painters that need a layout
// of their own. The caller releases the layout with g_object_unref.
// Every pango layout of the program is made here (one place to tune or
// check the font set-up).
PangoLayout* create_layout(cairo_t* cr);
// The shared font description for a size (cached per tenth of a pixel).
const PangoFontDescription* font(double size, bool bold);
PangoLayout* plain_layout(cairo_t* cr, const std::string& s, double size, bool bold, bool tnum);
// Applies the shrinking and wrapping rules; *wrapped tells whether it wrapped.
PangoLayout* layout(cairo_t* cr, const std::string& s, const TextStyle& st,
                    bool* wrapped = nullptr);

}  // namespace gfx
