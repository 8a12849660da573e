// The size of a logical unit on the screen. SDL scales its window units
// itself only under its own Wayland driver; on X11 a window unit is a pixel,
// so the desktop's scale is read here, as desktop toolkits read it (GDK_SCALE,
// Xft.dpi from the resource database, GDK_DPI_SCALE), and the window is made
// that much larger in pixels. The user's zoom multiplies either. Everything
// is then painted at device resolution through the logical-unit design.
#include "app_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "app.h"
#include "logger.h"

namespace {

constexpr int kZoomSteps[] = {75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
// The smallest window, in logical units, must fit the screen at any zoom.
constexpr double kMinLogicalW = 720, kMinLogicalH = 520;
// A factor outside this range is a typing error, not a desktop.
constexpr double kFactorMin = 0.25, kFactorMax = 16;
constexpr double kDpiMin = 24, kDpiMax = 1536;

double factor(const char* text) {
    if (!text || !*text) return 1;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    return end != text && *end == '\0' && v >= kFactorMin && v <= kFactorMax ? v : 1;
}

}  // namespace

namespace scale {

double xft_dpi(const std::string& resources) {
    std::istringstream in(resources);
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name != "Xft.dpi") continue;
        const std::string value = line.substr(colon + 1);
        char* end = nullptr;
        const double dpi = std::strtod(value.c_str(), &end);
        if (end == value.c_str()) return 0;
        return dpi >= kDpiMin && dpi <= kDpiMax ? dpi : 0;
    }
    return 0;
}

double desktop(const char* gdk_scale, double dpi, const char* gdk_dpi_scale) {
    const double d = dpi > 0 ? dpi : kDpiBase;
    return std::clamp(factor(gdk_scale) * d / kDpiBase * factor(gdk_dpi_scale), kFactorMin, kFactorMax);
}

int zoom_step(int percent, int dir) {
    if (dir == 0) return kZoomNormal;
    if (dir > 0) {
        for (int z : kZoomSteps)
            if (z > percent) return z;
        return kZoomMax;
    }
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
        if (*it < percent) return *it;
    return kZoomMin;
}

int zoom_cap(int area_w, int area_h, double units_at_normal) {
    if (!(units_at_normal > 0) || area_w <= 0 || area_h <= 0) return kZoomMin;
    const double fits = std::min(area_w / (kMinLogicalW * units_at_normal), area_h / (kMinLogicalH * units_at_normal));
    return std::clamp(static_cast<int>(std::floor(fits * 100 + 1e-9)), kZoomMin, kZoomMax);
}

}  // namespace scale

int App::zoom_percent() const { return std::clamp(m_settings.zoom, scale::kZoomMin, std::max(scale::kZoomMin, m_zoom_cap)); }

void App::read_desktop_scale() {
    const char* driver = m_win ? SDL_GetCurrentVideoDriver() : nullptr;
    // Elsewhere SDL's own units already carry the desktop's scale.
    if (!driver || std::string(driver) != "x11") {
        m_desktop_scale = 1;
        return;
    }
    const double dpi = scale::xft_dpi(x11_resources(m_win));
    m_desktop_scale = scale::desktop(std::getenv("GDK_SCALE"), dpi, std::getenv("GDK_DPI_SCALE"));
}

void App::desktop_scale_changed() {
    const double before = m_units;
    int ww = 0, wh = 0;
    SDL_GetWindowSize(m_win, &ww, &wh);
    read_desktop_scale();
    refit();
    const double after = m_desktop_scale * zoom_percent() / 100.0;
    if (after == before) return;
    std::ostringstream line;
    line << "desktop scale now " << m_desktop_scale;
    logger::info(line.str());
    // The window keeps its logical size: the layout stays, its pixels follow.
    SDL_SetWindowSize(m_win, static_cast<int>(std::lround(ww / before * after)),
                      static_cast<int>(std::lround(wh / before * after)));
    refit();
    update_scale();
    invalidate();
    invalidate_over();
}

void App::refit() {
    if (!m_win) return;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(m_win, &x, &y);
    SDL_GetWindowSize(m_win, &w, &h);
    bool found = false;
    fit_limits(work_area(x + w / 2, y + h / 2, &found));
}

void App::set_zoom(int percent) {
    const int before = zoom_percent();
    m_settings.zoom = std::clamp(percent, scale::kZoomMin, std::max(scale::kZoomMin, m_zoom_cap));
    if (zoom_percent() == before) return;
    // The window keeps its size on the screen and shows more or less in it;
    // only a window below the new smallest size grows.
    refit();
    update_scale();
    invalidate();
    invalidate_over();
    queue_save();
}

void App::zoom_step(int dir) { set_zoom(scale::zoom_step(zoom_percent(), dir)); }
