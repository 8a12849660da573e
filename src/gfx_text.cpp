// Text on top of pango: one shared font description per size and weight, and
// the fitting rules every label follows: shrink in half-pixel steps as far as
// the style allows, then wrap by word (unless the style asks to stay on one
// line). Shaping is the costly part of a label, and a page shows the same
// labels frame after frame, so the drawing calls keep their finished layouts
// (a bounded, least recently used set); the public layout builders still
// hand out fresh ones.
#include "gfx.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include "l10n.h"

#include <algorithm>
#include <cmath>
#include <list>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace gfx {

namespace {

constexpr int kRegular = 400;
constexpr int kBold = 600;
constexpr double kMinFontPx = 1;         // smaller (or negative) sizes are drawn at this
constexpr double kFitFloor = 0.5;        // `fit` shrinks to half size at most
constexpr double kLegiblePx = 8;         // and never below this: it cuts the text instead
constexpr double kMiddleFloor = 0.85;    // `middle` shrinks to 85 % before wrapping
constexpr double kShrinkStep = 0.5;      // pixels per shrink step
constexpr double kMinWrapWidth = 10;     // narrowest paragraph width
constexpr double kCaptionSize = 11.5;
constexpr size_t kKeptLayouts = 1024;   // a busy page shows a few hundred labels
constexpr double kRowSteps = 8;        // a text's row position, in steps per device pixel

// Labels are semibold, and fontconfig's own rule draws a font without a
// bold face (the Han, kana and Hangul font, Ethiopic) thicker only when
// bold itself is asked for: semibold came out thin in those scripts.
constexpr const char* kSyntheticSemibold = R"(<?xml version="1.0"?>
<fontconfig>
  <match target="font">
    <test name="weight" compare="less_eq"><const>medium</const></test>
    <test target="pattern" name="weight" compare="more_eq"><const>semibold</const></test>
    <edit name="embolden" mode="assign"><bool>true</bool></edit>
  </match>
</fontconfig>)";

// Once, before the first font is matched; the window draws text from one
// thread only.
void add_font_rules() {
    static const bool added = [] {
        FcConfig* config = FcConfigGetCurrent();
        return config && FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kSyntheticSemibold),
                                                        FcFalse);
    }();
    (void)added;
}

struct FontFree {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
using FontPtr = std::unique_ptr<PangoFontDescription, FontFree>;

// Keyed by the size in whole tenths of a pixel and the weight; never evicted.
// The UI draws from one thread only, so the map needs no lock.
std::map<std::pair<int, bool>, FontPtr>& font_cache() {
    static std::map<std::pair<int, bool>, FontPtr> cache;
    return cache;
}

int tenths(double size) {
    // The tiny bias keeps sizes such as 12.3, stored as 12.2999…, in their tenth.
    return static_cast<int>(std::max(size, kMinFontPx) * 10 + 1e-6);
}

PangoAlignment pango_align(Align a) {
    switch (a) {
        case Align::Center: return PANGO_ALIGN_CENTER;
        case Align::Right: return PANGO_ALIGN_RIGHT;
        case Align::Left: break;
    }
    return PANGO_ALIGN_LEFT;
}

const TextSink* g_sink = nullptr;

// The language picks the regional forms of Han characters ("ja" and "zh_TW"
// draw some differently) and ranks the fallback fonts for each script.
PangoLanguage* ui_language() {
    static std::string code;
    static PangoLanguage* language = nullptr;
    const std::string now = L10n::currentLanguage();
    if (!language || now != code) {
        code = now;
        language = pango_language_from_string(code.c_str());  // "zh_TW" becomes "zh-tw"
    }
    return language;
}

struct LayoutFree {
    void operator()(PangoLayout* l) const { g_object_unref(l); }
};

struct Kept {
    std::string key;
    std::unique_ptr<PangoLayout, LayoutFree> lay;
    bool wrapped = false;  // or, for a `fit` text, cut short
};

// Finished layouts by what made them, most recently used first. The UI draws
// from one thread only, so they need no lock.
struct KeptLayouts {
    std::list<Kept> order;
    std::unordered_map<std::string, std::list<Kept>::iterator> index;
};

KeptLayouts& kept_layouts() {
    static KeptLayouts kept;
    return kept;
}

template <class T>
void put(std::string& key, const T& v) {
    key.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// The layout `build` makes for `key`, kept for later frames. Pango shapes
// for the context's scale and font options, so those belong to the key: a
// layout is never drawn with a context other than the one it was fitted in.
// Borrowed: the caller must not release or change it.
template <class Build>
PangoLayout* kept_layout(cairo_t* cr, std::string key, bool* wrapped, Build&& build) {
    put(key, ui_language());
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    for (double v : {m.xx, m.yx, m.xy, m.yy}) put(key, v);
    cairo_font_options_t* opts = cairo_font_options_create();
    cairo_surface_get_font_options(cairo_get_target(cr), opts);
    cairo_font_options_t* own = cairo_font_options_create();
    cairo_get_font_options(cr, own);
    cairo_font_options_merge(opts, own);
    put(key, cairo_font_options_hash(opts));
    cairo_font_options_destroy(own);
    cairo_font_options_destroy(opts);

    auto& k = kept_layouts();
    auto it = k.index.find(key);
    if (it != k.index.end()) {
        k.order.splice(k.order.begin(), k.order, it->second);
        if (wrapped) *wrapped = it->second->wrapped;
        return it->second->lay.get();
    }
    bool w = false;
    PangoLayout* lay = build(&w);
    k.order.push_front(Kept{key, std::unique_ptr<PangoLayout, LayoutFree>(lay), w});
    k.index[key] = k.order.begin();
    while (k.order.size() > kKeptLayouts) {
        k.index.erase(k.order.back().key);
        k.order.pop_back();
    }
    if (wrapped) *wrapped = w;
    return lay;
}

std::string style_key(char kind, const std::string& s, const TextStyle& st) {
    std::string key(1, kind);
    put(key, st.size);
    put(key, st.max_w);
    const char flags[] = {char(st.bold), char(st.tnum), char(st.align), char(st.fit), char(st.middle)};
    key.append(flags, sizeof flags);
    key += s;
    return key;
}

}  // namespace

// ---- Layouts ----

PangoLayout* create_layout(cairo_t* cr) {
    PangoLayout* lay = pango_cairo_create_layout(cr);
    pango_context_set_language(pango_layout_get_context(lay), ui_language());
    pango_layout_context_changed(lay);
    return lay;
}

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps its font patterns until the process ends and cannot be
// made to let go safely (its clean-up asserts while cairo still holds fonts),
// so leak checks skip what it allocates. Every binary that draws text links
// this file through create_layout.
// The session bus library keeps what SDL asked of it until the process
// ends, and so do the accessibility bridge and its client library.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libatk-bridge-2.0.so\nleak:libatspi.so\n";
}
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

const PangoFontDescription* font(double size, bool bold) {
    add_font_rules();
    const int key = tenths(size);
    auto& cache = font_cache();
    auto it = cache.find({key, bold});
    if (it != cache.end()) return it->second.get();
    // Every size in the same tenth gets the same face size, whichever came first.
    FontPtr d(pango_font_description_new());
    pango_font_description_set_family_static(d.get(), L10n::uiFontFamily());
    pango_font_description_set_absolute_size(d.get(), key / 10.0 * PANGO_SCALE);
    pango_font_description_set_weight(d.get(), static_cast<PangoWeight>(bold ? kBold : kRegular));
    return cache.emplace(std::make_pair(key, bold), std::move(d)).first->second.get();
}

PangoLayout* plain_layout(cairo_t* cr, const std::string& s, double size, bool bold, bool tnum) {
    PangoLayout* lay = create_layout(cr);
    pango_layout_set_font_description(lay, font(size, bold));
    if (tnum) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_font_features_new("tnum"));
        pango_layout_set_attributes(lay, attrs);
        pango_attr_list_unref(attrs);
    }
    pango_layout_set_text(lay, s.data(), static_cast<int>(s.size()));
    return lay;
}

PangoLayout* layout(cairo_t* cr, const std::string& s, const TextStyle& st, bool* wrapped) {
    if (wrapped) *wrapped = false;
    PangoLayout* lay = plain_layout(cr, s, st.size, st.bold, st.tnum);
    if (st.max_w <= 0) return lay;

    int w = 0;
    pango_layout_get_pixel_size(lay, &w, nullptr);
    double floor = st.fit ? st.size * kFitFloor : st.middle ? st.size * kMiddleFloor : st.size;
    floor = std::max(floor, std::min(st.size, kLegiblePx));
    double size = st.size;
    while (w > st.max_w && size > floor) {
        size = std::max(size - kShrinkStep, floor);
        pango_layout_set_font_description(lay, font(size, st.bold));
        pango_layout_get_pixel_size(lay, &w, nullptr);
    }
    if (w > st.max_w && !st.fit) {
        pango_layout_set_width(lay, static_cast<int>(st.max_w * PANGO_SCALE));
        pango_layout_set_wrap(lay, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(lay, pango_align(st.align));
        if (wrapped) *wrapped = true;
    } else if (w > st.max_w) {
        // Smaller would be unreadable: the end gives way to an ellipsis, so
        // the text keeps to its room and never runs over its neighbour.
        pango_layout_set_width(lay, static_cast<int>(st.max_w * PANGO_SCALE));
        pango_layout_set_ellipsize(lay, PANGO_ELLIPSIZE_END);
        if (wrapped) *wrapped = true;
    }
    return lay;
}

// ---- Drawing and measuring ----

namespace {

// A text is noted by what pango lays out (words, fonts, attributes,
// wrapping) and its colour and place, over its ink and its logical box.
void note_layout(cairo_t* cr, PangoLayout* lay, const Rgba& c) {
    if (!noting()) return;
    PangoRectangle ink{}, logical{};
    pango_layout_get_pixel_extents(lay, &ink, &logical);
    const int x0 = std::min(ink.x, logical.x), y0 = std::min(ink.y, logical.y);
    const int x1 = std::max(ink.x + ink.width, logical.x + logical.width);
    const int y1 = std::max(ink.y + ink.height, logical.y + logical.height);
    const char* text = pango_layout_get_text(lay);
    const PangoFontDescription* f = pango_layout_get_font_description(lay);
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    // The attributes are few and fixed per kind of text (tabular figures):
    // whether there are any tells the kinds apart.
    const double facts[] = {m.xx,
                            m.yx,
                            m.xy,
                            m.yy,
                            m.x0,
                            m.y0,
                            c.r,
                            c.g,
                            c.b,
                            c.a,
                            double(pango_layout_get_width(lay)),
                            double(pango_layout_get_alignment(lay)),
                            double(pango_layout_get_ellipsize(lay)),
                            double(pango_layout_get_wrap(lay)),
                            double(f ? pango_font_description_hash(f) : 0),
                            pango_layout_get_attributes(lay) ? 1.0 : 0.0};
    const size_t hash = std::hash<std::string_view>{}(text ? text : "") * 31 +
                        std::hash<std::string_view>{}(
                            std::string_view(reinterpret_cast<const char*>(facts), sizeof facts));
    note(cr, x0, y0, x1 - x0, y1 - y0, hash);
}

}  // namespace

void show_layout(cairo_t* cr, PangoLayout* lay, double x, double y, const Rgba& c) {
    set(cr, c);
    double ux = x, uy = y;
    // Cairo puts each glyph on the nearest device row, and at a fractional
    // scale many fall on a half row, where rounding errors decide; they
    // differ with where the target surface starts, so a text painted across
    // two bands of the page layer came apart at the seam. The origin's row
    // position is therefore moved to the nearest eighth of a device pixel
    // plus a sixteenth. Lines and glyphs sit whole units below it, which at
    // a scale in eighths (1.25, 1.5, 2 …) are whole eighths of a pixel: no
    // glyph is then near a half row, and each gets the same row wherever the
    // surface starts.
    cairo_user_to_device(cr, &ux, &uy);
    double sx = 1, sy = 1;
    cairo_surface_get_device_scale(cairo_get_target(cr), &sx, &sy);
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    m.x0 = ux;
    m.y0 = (std::round(uy * sy * kRowSteps) / kRowSteps + 0.5 / kRowSteps) / sy;
    cairo_save(cr);
    cairo_set_matrix(cr, &m);
    note_layout(cr, lay, c);
    cairo_new_path(cr);
    cairo_move_to(cr, 0, 0);
    pango_cairo_show_layout(cr, lay);
    cairo_new_path(cr);
    cairo_restore(cr);
    if (!g_sink) return;
    int w = 0, h = 0;
    pango_layout_get_pixel_size(lay, &w, &h);
    double cx0 = 0, cy0 = 0, cx1 = 0, cy1 = 0;
    cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
    const bool clipped = x + w <= cx0 || x >= cx1 || y + h <= cy0 || y >= cy1;
    double x0 = x, y0 = y, x1 = x + w, y1 = y + h;
    cairo_user_to_device(cr, &x0, &y0);
    cairo_user_to_device(cr, &x1, &y1);
    const char* t = pango_layout_get_text(lay);
    (*g_sink)(DrawnText{t ? t : "", std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0),
                         clipped});
}

void set_text_sink(const TextSink* sink) { g_sink = sink; }

double text(cairo_t* cr, const std::string& s, double x, double y, const Rgba& c,
            const TextStyle& st) {
    if (s.empty()) return 0;
    bool wrapped = false;
    PangoLayout* lay = kept_layout(cr, style_key('t', s, st), &wrapped,
                                   [&](bool* wr) { return layout(cr, s, st, wr); });
    int w = 0, h = 0;
    pango_layout_get_pixel_size(lay, &w, &h);
    if (st.cut) *st.cut = wrapped && st.fit;
    // A wrapped block is max_w wide and pango aligns its lines inside it; a
    // cut line is as wide as what is left of it.
    const double used = wrapped && !st.fit ? st.max_w : w;
    if (st.align == Align::Center)
        x -= used / 2;
    else if (st.align == Align::Right)
        x -= used;
    if (st.middle) y -= h / 2.0;
    show_layout(cr, lay, x, y, c);
    return used;
}

double caption(cairo_t* cr, const std::string& s, double x, double y, const Palette& p,
               const Rgba* color) {
    TextStyle st;
    st.size = kCaptionSize;
    st.bold = true;
    st.tnum = true;
    st.middle = true;
    return text(cr, s, x, y, color ? *color : p.dim, st);
}

double text_width(cairo_t* cr, const std::string& s, double size, bool bold) {
    if (s.empty()) return 0;
    TextStyle st;
    st.size = size;
    st.bold = bold;
    st.tnum = true;
    // The same layout text() keeps for a left-aligned, unlimited label.
    PangoLayout* lay = kept_layout(cr, style_key('t', s, st), nullptr,
                                   [&](bool* wr) { return layout(cr, s, st, wr); });
    int w = 0;
    pango_layout_get_pixel_size(lay, &w, nullptr);
    return w;
}

double text_height(cairo_t* cr, const std::string& s, const TextStyle& st) {
    if (s.empty()) return 0;
    PangoLayout* lay = kept_layout(cr, style_key('t', s, st), nullptr,
                                   [&](bool* wr) { return layout(cr, s, st, wr); });
    int h = 0;
    pango_layout_get_pixel_size(lay, nullptr, &h);
    return h;
}

double wrapped(cairo_t* cr, const std::string& s, double x, double y, double w, double size,
               const Rgba& c, Align a, bool bold, bool draw) {
    if (s.empty()) return 0;
    TextStyle st;
    st.size = size;
    st.bold = bold;
    st.align = a;
    st.max_w = std::max(w, kMinWrapWidth);
    PangoLayout* lay = kept_layout(cr, style_key('w', s, st), nullptr, [&](bool*) {
        PangoLayout* l = plain_layout(cr, s, size, bold, false);
        pango_layout_set_width(l, static_cast<int>(st.max_w * PANGO_SCALE));
        pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(l, pango_align(a));
        return l;
    });
    int h = 0;
    pango_layout_get_pixel_size(lay, nullptr, &h);
    if (draw) show_layout(cr, lay, x, y, c);
    return h;
}

}  // namespace gfx
