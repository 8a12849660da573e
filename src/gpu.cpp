// Bars and lights are kept in window coordinates (logical units) from the last
// paint of the base layer; every frame turns them into coloured triangle fans
// in device pixels. The geometry call is looked up at run time so that an SDL
// without it still runs, with still pictures drawn into cairo instead.
//
// Index: Constants · Module state · Colours and geometry · Cairo fallback ·
//        Life cycle · Registration · Animation · Rendering · Inspection
#include "gpu.h"

#include "logger.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <vector>

#include <SDL_loadso.h>
#include <dlfcn.h>

namespace gpu {

namespace {

// ---- Constants ----

constexpr const char* kGeometryName = "SDL_RenderGeometry";
constexpr const char* kSdlLibrary = "libSDL2-2.0.so.0";

constexpr double kPi = 3.14159265358979323846;

constexpr double kGlideSeconds = 0.085;  // time constant: a glide takes about half a second
constexpr double kSnapPixels = 0.2;      // closer than this to the target counts as arrived

constexpr double kMinFill = 0.25;        // shapes thinner than this draw nothing
constexpr int kCornerSegments = 6;       // per rounded corner when it is big enough to show
constexpr double kCornerDetailPx = 3.0;  // corner radius in device pixels above which it is rounded
constexpr int kMinCircleSegments = 10;
constexpr double kCircleSegmentsPerPx = 1.5;
constexpr int kMaxCircleSegments = 512;  // keeps an absurd radius from allocating without end

constexpr double kGlossInset = 0.6;       // of the radius, at each end
constexpr double kGlossHeight = 0.18;     // of the bar height
constexpr double kGlossRadius = 0.09;     // of the bar height
constexpr double kGlossAlpha = 0.22;
constexpr double kGlossMinBarHeight = 6;

constexpr double kGlowAlpha = 0.35;
constexpr double kGlowRadius = 3.0;       // of the light radius
constexpr int kGlowSegments = 20;
constexpr double kBodyBase = 0.35;        // body alpha = 0.35 + 0.65 × level
constexpr double kHighlightRadius = 0.35;
constexpr double kHighlightOffset = 0.3;
constexpr double kHighlightAlpha = 0.55;

constexpr double kFlickerMin = 0.12;
constexpr double kFlickerPause = -0.55;   // a pause when the slow wave dips below this
constexpr double kFlickerPauseDim = 0.25;
constexpr double kBlinkPeriod = 1.1;
constexpr double kBlinkOn = 0.62;
constexpr double kBlinkOffLevel = 0.18;
constexpr double kBlinkOffGlow = 0.063;


constexpr std::uint32_t kFnvBasis = 2166136261u;
constexpr std::uint32_t kFnvPrime = 16777619u;

const Rgba kWhite{1, 1, 1, 1};

// ---- Module state ----

using GeometryFn = int (*)(SDL_Renderer*, SDL_Texture*, const SDL_Vertex*, int, const int*, int);

struct BarState {
    Bar target;  // in window coordinates
    double from = 0;
    double frac = 0;
    bool seen = false;
};

SDL_Renderer* g_ren = nullptr;
bool g_software = false;
GeometryFn g_geometry = nullptr;
bool g_geometry_failed = false;  // warned once per renderer
std::map<std::string, BarState, std::less<>> g_bars;  // ordered: bars draw in id order
std::vector<Led> g_leds;                              // in window coordinates
bool g_collecting = false;
// Where registered lights can be seen (the clip at begin): x0, y0, x1, y1.
std::array<double, 4> g_seen{};
double g_t = 0;

// The triangles of one shape, kept so that frames do not allocate.
std::vector<SDL_Vertex> g_verts;
std::vector<int> g_index;

// Unit vectors of n equal steps around a circle, clockwise on screen from
// angle 0, computed once per n: most of a frame would otherwise be sin and cos.
struct Dir {
    double c, s;
};
std::vector<std::vector<Dir>> g_circles(kMaxCircleSegments + 1);

const std::vector<Dir>& unit_circle(int n) {
    std::vector<Dir>& dirs = g_circles[n];
    if (dirs.empty()) {
        dirs.reserve(n);
        for (int i = 0; i < n; ++i) dirs.push_back({std::cos(2 * kPi * i / n), std::sin(2 * kPi * i / n)});
    }
    return dirs;
}

GeometryFn lookup_geometry() {
    if (void* f = dlsym(RTLD_DEFAULT, kGeometryName)) return reinterpret_cast<GeometryFn>(f);
    // The program may have been linked against a different SDL than the one
    // that provides the call; the library is opened once and kept.
    static void* lib = SDL_LoadObject(kSdlLibrary);
    if (!lib) return nullptr;
    return reinterpret_cast<GeometryFn>(SDL_LoadFunction(lib, kGeometryName));
}

double finite_or(double v, double fallback) { return std::isfinite(v) ? v : fallback; }

// ---- Colours and geometry ----

Uint8 channel(double v) {
    if (!(v > 0)) return 0;  // also NaN
    if (v >= 1) return 255;
    return static_cast<Uint8>(std::lround(v * 255.0));
}

SDL_Color to_sdl(const Rgba& c, double alpha) {
    return SDL_Color{channel(c.r), channel(c.g), channel(c.b), channel(c.a * alpha)};
}

void vertex(double k, double x, double y, SDL_Color c) {
    g_verts.push_back(SDL_Vertex{SDL_FPoint{static_cast<float>(x * k), static_cast<float>(y * k)}, c,
                                 SDL_FPoint{0, 0}});
}

// Draws the fan built in g_verts: vertex 0 is the centre, the rest the
// closed rim. One geometry call per shape.
void draw_fan() {
    const int rim = static_cast<int>(g_verts.size()) - 1;
    g_index.clear();
    for (int i = 0; i < rim; ++i) {
        g_index.push_back(0);
        g_index.push_back(1 + i);
        g_index.push_back(1 + (i + 1) % rim);
    }
    if (g_geometry(g_ren, nullptr, g_verts.data(), static_cast<int>(g_verts.size()), g_index.data(),
                   static_cast<int>(g_index.size())) < 0 &&
        !g_geometry_failed) {
        g_geometry_failed = true;
        logger::warn(std::string("SDL_RenderGeometry failed: ") + SDL_GetError());
    }
}

// A disc whose colour runs from `inner` at the centre to `outer` at the rim.
void fan(double k, double x, double y, double r, int segments, SDL_Color inner, SDL_Color outer) {
    g_verts.clear();
    vertex(k, x, y, inner);
    for (const Dir& d : unit_circle(segments)) vertex(k, x + r * d.c, y + r * d.s, outer);
    draw_fan();
}

void fill_circle(double k, double x, double y, double r, const Rgba& c, double alpha) {
    // Clamped as a double: a huge (or NaN) radius has no int value to cast to.
    const double want = k * r * kCircleSegmentsPerPx;
    const int n = want >= kMaxCircleSegments ? kMaxCircleSegments
                  : want > kMinCircleSegments ? static_cast<int>(want)
                                              : kMinCircleSegments;
    const SDL_Color col = to_sdl(c, alpha);
    fan(k, x, y, r, n, col, col);
}

// A rounded rectangle with a vertical gradient: every vertex takes the colour
// of its height, which the triangles interpolate linearly.
void fill_rounded(double k, double x, double y, double w, double h, double r, const Rgba& top,
                  const Rgba& bottom) {
    if (!(w > kMinFill) || !(h > kMinFill)) return;
    r = std::max(0.0, std::min({r, w / 2, h / 2}));
    const int seg = r * k > kCornerDetailPx ? kCornerSegments : 1;
    auto at = [&](double vx, double vy) { vertex(k, vx, vy, to_sdl(gfx::mix(top, bottom, (vy - y) / h), 1)); };
    g_verts.clear();
    at(x + w / 2, y + h / 2);
    // Clockwise from the top-right corner, as cairo draws a rounded
    // rectangle; the first corner starts straight up, three quarters round.
    const double cx[4] = {x + w - r, x + w - r, x + r, x + r};
    const double cy[4] = {y + r, y + h - r, y + h - r, y + r};
    const std::vector<Dir>& dirs = unit_circle(4 * seg);
    for (int c = 0; c < 4; ++c) {
        for (int i = 0; i <= seg; ++i) {
            const Dir& d = dirs[(3 * seg + c * seg + i) % (4 * seg)];
            at(cx[c] + r * d.c, cy[c] + r * d.s);
        }
    }
    draw_fan();
}

// ---- Cairo fallback ----

void draw_bar(cairo_t* cr, const Bar& b) {
    const double s = std::clamp(finite_or(b.from, 0), 0.0, 1.0);
    const double len = b.w * std::clamp(finite_or(b.frac, 0), 0.0, 1.0 - s);
    if (!(len > kMinFill)) return;
    cairo_save(cr);
    gfx::gradient_bar(cr, b.x + b.w * s, b.y, len, b.h, b.radius, b.a, b.b);
    cairo_restore(cr);
}

bool usable(double v) { return std::isfinite(v); }

}  // namespace

// ---- Life cycle ----

void init(SDL_Renderer* ren, bool software) {
    g_ren = ren;
    g_software = software;
    g_geometry = ren ? lookup_geometry() : nullptr;
    g_geometry_failed = false;
    if (!ren) return;
    if (!g_geometry)
        logger::info("SDL_RenderGeometry not found: bars and lights are drawn still");
    else if (software)
        logger::info("software rendering: bars and lights are drawn still");
}

void shutdown() {
    g_ren = nullptr;
    g_geometry = nullptr;
}

bool available() { return g_ren && g_geometry && !g_software; }

void reset() {
    g_bars.clear();
    g_leds.clear();
    g_collecting = false;
    g_t = 0;
}

// ---- Registration ----

void begin(cairo_t* cr) {
    g_collecting = true;
    g_seen = {-HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL};
    if (cr) cairo_clip_extents(cr, &g_seen[0], &g_seen[1], &g_seen[2], &g_seen[3]);
    for (auto& [id, st] : g_bars) st.seen = false;
    g_leds.clear();
}

void bar(cairo_t* cr, const Bar& b) {
    if (!usable(b.x) || !usable(b.y) || !usable(b.w) || !usable(b.h)) return;
    if (!g_collecting || !available()) {
        if (cr) draw_bar(cr, b);
        return;
    }
    // Window coordinates: the page translation and scroll, not the device scale.
    double x0 = b.x, y0 = b.y, x1 = b.x + b.w, y1 = b.y + b.h;
    if (cr) {
        cairo_user_to_device(cr, &x0, &y0);
        cairo_user_to_device(cr, &x1, &y1);
    }
    Bar t = b;
    t.x = x0;
    t.y = y0;
    t.w = x1 - x0;
    t.h = y1 - y0;
    t.from = finite_or(b.from, 0);
    t.frac = finite_or(b.frac, 0);
    auto it = g_bars.find(b.id);
    if (it == g_bars.end()) it = g_bars.emplace(b.id, BarState{t, t.from, 0, false}).first;  // grows in
    it->second.target = std::move(t);
    it->second.seen = true;
}

void led(cairo_t* cr, const Led& l) {
    if (!usable(l.x) || !usable(l.y) || !usable(l.r)) return;
    if (!g_collecting || !available()) {
        if (cr) gfx::dot(cr, l.x, l.y, l.r, l.color);
        return;
    }
    Led t = l;
    if (cr) {
        // A light outside the page area is never seen, and a flickering one
        // would keep the window painting frames for nothing.
        const auto [x0, y0, x1, y1] = g_seen;
        const double reach = kGlowRadius * std::fabs(l.r);
        if (l.x + reach <= x0 || l.x - reach >= x1 || l.y + reach <= y0 || l.y - reach >= y1) return;
        cairo_user_to_device(cr, &t.x, &t.y);
    }
    g_leds.push_back(std::move(t));
}

void end() {
    g_collecting = false;
    std::erase_if(g_bars, [](const auto& kv) { return !kv.second.seen; });
}

// ---- Animation ----

bool step(double dt, bool animate) {
    // A clock running backwards or a bad time step must not push bars away
    // from their targets.
    if (!(dt > 0) || !std::isfinite(dt)) dt = 0;
    g_t += dt;
    const double f = animate ? 1 - std::exp(-dt / kGlideSeconds) : 1;
    bool moving = false;
    for (auto& [id, st] : g_bars) {
        st.from += (st.target.from - st.from) * f;
        st.frac += (st.target.frac - st.frac) * f;
        const double w = std::fabs(st.target.w);
        if (std::fabs(st.target.from - st.from) * w < kSnapPixels &&
            std::fabs(st.target.frac - st.frac) * w < kSnapPixels) {
            st.from = st.target.from;
            st.frac = st.target.frac;
        } else {
            moving = true;
        }
    }
    return moving;
}

void restart_intro() {
    for (auto& [id, st] : g_bars) st.frac = 0;
}

bool has_lights() {
    return std::any_of(g_leds.begin(), g_leds.end(),
                       [](const Led& l) { return l.mode == kActivity || l.mode == kBlink; });
}

Glow light_level(std::string_view id, int mode, double t, bool animate) {
    if (!animate) return Glow{1, kGlowAlpha};
    if (mode == kBlink) {
        double phase = std::fmod(t, kBlinkPeriod);
        if (phase < 0) phase += kBlinkPeriod;
        return phase < kBlinkOn ? Glow{1, kGlowAlpha} : Glow{kBlinkOffLevel, kBlinkOffGlow};
    }
    if (mode != kActivity) return Glow{1, kGlowAlpha};
    // Each id gets its own phase and speeds, so neighbouring drives flicker
    // out of step, yet a drive flickers the same way every time.
    const std::uint32_t h = fnv1a(id);
    const double p = (h % 1000) / 1000.0 * 6.28;
    const double u = h % 5 + 13;
    const double v = h % 7 + 7;
    double level = 0.5 + 0.25 * std::sin(v * t + p) + 0.25 * std::sin(1.7 * p + u * t);
    if (std::sin(1.3 * t + 3 * p) <= kFlickerPause) level *= kFlickerPauseDim;
    level = std::clamp(level, kFlickerMin, 1.0);
    return Glow{level, kGlowAlpha * level};
}

// ---- Rendering ----

void render(double k, const SDL_Rect& clip, bool animate, double dy) {
    if (!available() || !(k > 0) || !std::isfinite(k) || clip.w <= 0 || clip.h <= 0) return;
    SDL_BlendMode old_blend = SDL_BLENDMODE_NONE;
    SDL_GetRenderDrawBlendMode(g_ren, &old_blend);
    SDL_RenderSetClipRect(g_ren, &clip);
    SDL_SetRenderDrawBlendMode(g_ren, SDL_BLENDMODE_BLEND);

    const Rgba gloss_top{1, 1, 1, kGlossAlpha};
    const Rgba gloss_bottom{1, 1, 1, 0};
    for (const auto& [id, st] : g_bars) {
        const Bar& b = st.target;
        const double s = std::clamp(st.from, 0.0, 1.0);
        const double fr = std::clamp(st.frac, 0.0, 1.0 - s);
        // Both ends on whole device pixels, so a gliding bar does not shimmer.
        const double left = std::round((b.x + b.w * s) * k) / k;
        const double right = std::round((b.x + b.w * (s + fr)) * k) / k;
        const double len = right - left;
        fill_rounded(k, left, b.y + dy, len, b.h, b.radius, b.a, b.b);
        if (len > 2 * b.radius && b.h > kGlossMinBarHeight)
            fill_rounded(k, left + kGlossInset * b.radius, b.y + dy + 1, len - 2 * kGlossInset * b.radius,
                         std::max(kGlossHeight * b.h, 1.0), kGlossRadius * b.h, gloss_top, gloss_bottom);
    }

    for (const Led& l : g_leds) {
        const Glow g = light_level(l.id, l.mode, g_t, animate);
        SDL_Color rim = to_sdl(l.color, 0);
        const double y = l.y + dy;
        fan(k, l.x, y, kGlowRadius * l.r, kGlowSegments, to_sdl(l.color, g.glow), rim);
        fill_circle(k, l.x, y, l.r, l.color, kBodyBase + (1 - kBodyBase) * g.level);
        fill_circle(k, l.x - kHighlightOffset * l.r, y - kHighlightOffset * l.r,
                    kHighlightRadius * l.r, kWhite, kHighlightAlpha * g.level);
    }

    SDL_RenderSetClipRect(g_ren, nullptr);
    SDL_SetRenderDrawBlendMode(g_ren, old_blend);
}

// ---- Inspection ----

std::optional<Anim> animated(std::string_view id) {
    auto it = g_bars.find(id);
    if (it == g_bars.end()) return std::nullopt;
    return Anim{it->second.from, it->second.frac};
}

double clock() { return g_t; }

std::uint32_t fnv1a(std::string_view s) {
    std::uint32_t h = kFnvBasis;
    for (unsigned char c : s) {
        h ^= c;
        h *= kFnvPrime;
    }
    return h;
}

}  // namespace gpu
