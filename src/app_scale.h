// How large one logical unit is on the screen: the desktop's scale, read
// the way desktop toolkits read it, times the user's zoom. Plain arithmetic
// here; App applies it (app_scale.cpp) and libX11 supplies the resource
// database (x11_resources.cpp).
#pragma once

#include <SDL.h>

#include <string>

namespace scale {

constexpr double kDpiBase = 96;
constexpr int kZoomMin = 75, kZoomMax = 300, kZoomNormal = 100;

// Xft.dpi from the text of an X resource database ("Xft.dpi:\t192"), or 0
// when it holds none or an unusable one.
double xft_dpi(const std::string& resources);
// The desktop's scale: (GDK_SCALE or 1) × (Xft.dpi or 96) / 96 ×
// (GDK_DPI_SCALE or 1). Empty or unusable texts count as unset.
double desktop(const char* gdk_scale, double dpi, const char* gdk_dpi_scale);

// The zoom steps Ctrl+Plus and Ctrl+Minus walk, in percent.
int zoom_step(int percent, int dir);
// The largest zoom at which a window of the minimum logical size, at
// `units_at_normal` window units per unit, still fits an area of
// area_w × area_h window units; never below kZoomMin.
int zoom_cap(int area_w, int area_h, double units_at_normal);

}  // namespace scale

// X11's resource database as the root window holds it now (the
// RESOURCE_MANAGER property), "" off X11 or without libX11.
std::string x11_resources(SDL_Window* w);
// Asks for property changes of the root window, so that a changed resource
// database arrives as a window-system event; keeps what others asked for.
void x11_watch_resources(SDL_Window* w);
// Whether `e` (a window-system event) says the resource database changed.
bool x11_resources_changed(SDL_Window* w, const SDL_Event& e);
