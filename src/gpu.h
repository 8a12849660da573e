// Animated result bars and drive lights. Page painters register them while the
// base layer is painted; every displayed frame then draws them straight onto
// the renderer with SDL's triangle-geometry call, so a gliding bar or a
// flickering light never repaints or re-uploads the cairo layer. Without a
// hardware renderer or without that call, the same registration calls draw
// still pictures into cairo instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <SDL_rect.h>
#include <SDL_render.h>
#include <cairo.h>

#include "gfx.h"

namespace gpu {

using Rgba = ::Rgba;

// A horizontal bar in a track: `w` is the whole track, the filled part starts
// at `from` and is `frac` long, both fractions of the track. The id carries
// the bar's animation from one painted frame to the next.
struct Bar {
    std::string id;
    double x = 0, y = 0, w = 0, h = 0;
    double from = 0;
    double frac = 0;
    Rgba a, b;  // gradient colours at the top and the bottom edge
    double radius = 0;
};

// Light modes.
constexpr int kSteady = 0;
constexpr int kActivity = 1;  // flickers like disk activity, its own pattern per id
constexpr int kBlink = 2;     // blinks like a failure lamp

// A small lamp centred on (x, y); the id also seeds its flicker pattern.
struct Led {
    std::string id;
    double x = 0, y = 0, r = 0;
    Rgba color;
    int mode = kSteady;
};

// ---- Life cycle: one renderer at a time ----

// `software` marks a renderer that draws on the CPU: the bars and lights are
// then drawn into cairo, since per-frame geometry would cost more than it saves.
void init(SDL_Renderer* ren, bool software);
// Forgets the renderer (before it is destroyed); bar states survive.
void shutdown();
// Accelerated drawing is possible: a hardware renderer with the geometry call.
bool available();
// Forgets every bar and light and sets the animation clock back to 0.
void reset();

// ---- Registration while the base layer is painted ----

// Starts collecting: every known bar is marked unregistered, the lights are
// dropped; lights outside `cr`'s clip as it is now are not kept.
void begin(cairo_t* cr);
// Registers the bar or light (accelerated) or draws it into `cr` (fallback).
// Coordinates are in `cr`'s user space.
void bar(cairo_t* cr, const Bar& bar);
void led(cairo_t* cr, const Led& led);
// Stops collecting; bars not registered since `begin` vanish.
void end();

// ---- Per displayed frame ----

// Advances the clock and the gliding bars by `dt` seconds; without `animate`
// bars jump to their targets. True while any bar is still moving.
bool step(double dt, bool animate);
// Lets every bar grow again from nothing.
void restart_intro();
// Some registered light flickers or blinks, so frames must keep coming.
bool has_lights();
// Draws all bars and lights: `k` device pixels per logical unit, `clip` the
// page area in device pixels, `dy` added to every registered y (the page's
// place in the window when it was painted in page coordinates). Nothing
// unless `available()`.
void render(double k, const SDL_Rect& clip, bool animate, double dy = 0);

// ---- Inspection ----

struct Anim {
    double from = 0;
    double frac = 0;
};
// The animated state of a registered bar, if it is known.
std::optional<Anim> animated(std::string_view id);

// Brightness of a light body (0.12..1) and alpha factor of its glow.
struct Glow {
    double level = 1;
    double glow = 0.35;
};
Glow light_level(std::string_view id, int mode, double t, bool animate);

// The animation clock in seconds (sum of all steps).
double clock();

// 32-bit FNV-1a over the bytes of `s`.
std::uint32_t fnv1a(std::string_view s);

}  // namespace gpu
