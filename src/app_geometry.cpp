// The window's place and size: restored from the settings when they still
// fit a screen, remembered without the decorations the window manager
// adds. The size is kept in logical units and the place in the window
// system's, so a window saved at one scale opens with the same layout at
// another, larger or smaller on the screen, and held inside it. The arithmetic is in namespace geometry; App feeds it SDL's display
// bounds and the measured decorations.
#include "app_geometry.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "app.h"
#include "app_scale.h"

namespace {

constexpr int kFallbackAreaW = 1920, kFallbackAreaH = 1080;
constexpr int kMinLimitW = 100, kMaxLimitW = 720, kMinLimitH = 60, kMaxLimitH = 520;
constexpr double kDefaultWidthShare = 0.56;
constexpr int kDefaultMinW = 1100, kDefaultMaxW = 1760;
constexpr int kDefaultRatioW = 16, kDefaultRatioH = 10;
constexpr int kVerticalChrome = 80;  // room for panels and a title bar the window manager does not report
constexpr uint32_t kFrameCheckMs = 400;
constexpr int kProbeBelowTop = 10;  // a window belongs to the screen its title bar is on

geometry::Rect rect_of(const SDL_Rect& r) { return geometry::Rect{r.x, r.y, r.w, r.h}; }

}  // namespace

// ---- Arithmetic ----

namespace geometry {

namespace {

int units_of(double logical, double units) { return static_cast<int>(std::lround(logical * units)); }

double usable_units(double units) { return units > 0 && std::isfinite(units) ? units : 1; }

}  // namespace

Rect min_size(const Rect& area, const Frame& f, double units) {
    const double u = usable_units(units);
    return Rect{0, 0, std::clamp(area.w - f.left - f.right, units_of(kMinLimitW, u), units_of(kMaxLimitW, u)),
                std::clamp(area.h - f.top - f.bottom, units_of(kMinLimitH, u), units_of(kMaxLimitH, u))};
}

Rect open_size(const Rect& area, const Frame& f, int forced_w, int forced_h, int saved_w, int saved_h,
               double units) {
    const double u = usable_units(units);
    int w, h;
    if (forced_w >= 1 && forced_h >= 1) {
        w = units_of(forced_w, u);
        h = units_of(forced_h, u);
    } else if (saved_w > 0 && saved_h > 0) {
        w = units_of(saved_w, u);
        h = units_of(saved_h, u);
    } else {
        // A share of the screen as the user sees it, in logical units.
        const int lw = std::clamp(static_cast<int>(area.w / u * kDefaultWidthShare), kDefaultMinW, kDefaultMaxW);
        const int lh = std::min(static_cast<int>(area.h / u) - kVerticalChrome, lw * kDefaultRatioH / kDefaultRatioW);
        w = units_of(lw, u);
        h = units_of(lh, u);
    }
    const int chrome = std::max(units_of(kVerticalChrome, u), f.top + f.bottom);
    const int room = area.w - f.left - f.right;
    return Rect{0, 0, std::min(w, std::max(room, units_of(kMinLimitW, u))),
                std::min(h, std::max(area.h - chrome, units_of(kMinLimitH, u)))};
}

Rect logical_size(int w, int h, double units) {
    const double u = usable_units(units);
    return Rect{0, 0, static_cast<int>(std::lround(w / u)), static_cast<int>(std::lround(h / u))};
}

Rect placed(const Rect& area, bool on_screen, const Frame& f, int x, int y, int w, int h) {
    if (!on_screen) {
        x = area.x + (area.w - w) / 2;
        y = area.y + (area.h - h) / 2;
    }
    const int min_x = area.x + f.left, min_y = area.y + f.top;
    const int max_x = area.x + area.w - w - f.right, max_y = area.y + area.h - h - f.bottom;
    auto limit = [](int v, int lo, int hi) { return v < lo ? lo : std::min(v, std::max(hi, lo)); };
    return Rect{limit(x, min_x, max_x), limit(y, min_y, max_y), w, h};
}

int room(int need, int most) {
    constexpr int kStep = 256;
    const int up = (need + kStep - 1) / kStep * kStep;
    return std::max(need, std::min(up, most));
}

bool room_serves(int need_w, int need_h, int have_w, int have_h) {
    return need_w <= have_w && need_h <= have_h &&
           2 * static_cast<long long>(need_w) * need_h >= static_cast<long long>(have_w) * have_h;
}

std::vector<Rect> join_cells(const std::map<int, std::vector<char>>& rows, int cols) {
    std::vector<Rect> done, open;
    for (const auto& [r, row] : rows) {
        const int width = std::min(cols, static_cast<int>(row.size()));
        std::vector<Rect> next;
        for (int c = 0; c < width;) {
            if (!row[static_cast<size_t>(c)]) {
                ++c;
                continue;
            }
            const int from = c;
            while (c < width && row[static_cast<size_t>(c)]) ++c;
            Rect run{from, r, c - from, 1};
            for (Rect& o : open)
                if (o.h > 0 && o.x == run.x && o.w == run.w && o.y + o.h == r) {
                    run = Rect{o.x, o.y, o.w, o.h + 1};
                    o.h = 0;
                    break;
                }
            next.push_back(run);
        }
        for (const Rect& o : open)
            if (o.h > 0) done.push_back(o);
        open = std::move(next);
    }
    for (const Rect& o : open) done.push_back(o);
    return done;
}

}  // namespace geometry

// ---- The window ----

SDL_Rect App::work_area(int x, int y, bool* found) const {
    *found = false;
    const int n = SDL_GetNumVideoDisplays();
    for (int i = 0; i < n; ++i) {
        SDL_Rect b;
        const SDL_Point pt{x, y};
        if (SDL_GetDisplayBounds(i, &b) == 0 && SDL_PointInRect(&pt, &b)) {
            *found = true;
            SDL_Rect u;
            return SDL_GetDisplayUsableBounds(i, &u) == 0 ? u : b;
        }
    }
    for (int i = 0; i < n; ++i) {
        SDL_Rect u;
        if (SDL_GetDisplayUsableBounds(i, &u) == 0) return u;
    }
    return SDL_Rect{0, 0, kFallbackAreaW, kFallbackAreaH};
}

void App::frame_extents(int* top, int* left, int* bottom, int* right) const {
    *top = *left = *bottom = *right = 0;
    if (!m_win || SDL_GetWindowBordersSize(m_win, top, left, bottom, right) != 0)
        *top = *left = *bottom = *right = 0;
}

namespace {

geometry::Frame frame_of(const App& a) {
    geometry::Frame f;
    a.frame_extents(&f.top, &f.left, &f.bottom, &f.right);
    return f;
}

}  // namespace

void App::fit_limits(const SDL_Rect& usable) {
    const geometry::Frame f = frame_of(*this);
    m_zoom_cap = scale::zoom_cap(usable.w - f.left - f.right, usable.h - f.top - f.bottom, m_desktop_scale);
    const double units = m_desktop_scale * zoom_percent() / 100.0;
    const geometry::Rect m = geometry::min_size(rect_of(usable), f, units);
    SDL_SetWindowMinimumSize(m_win, m.w, m.h);
}

void App::place(int x, int y, int w, int h) {
    bool found = false;
    const SDL_Rect area = work_area(x + w / 2, y + kProbeBelowTop, &found);
    const geometry::Rect at = geometry::placed(rect_of(area), found, frame_of(*this), x, y, w, h);
    m_req_x = at.x;
    m_req_y = at.y;
    SDL_SetWindowPosition(m_win, m_req_x, m_req_y);
    m_frame_check_at = std::max<uint32_t>(1, SDL_GetTicks() + kFrameCheckMs);
}

void App::apply_geometry() {
    const Geometry& g = m_settings.full;
    const bool valid = g.w > 0 && g.h > 0 && g.has_pos;
    bool found = false;
    const SDL_Rect area = valid ? work_area(g.x + g.w / 2, g.y + kProbeBelowTop, &found) : work_area(0, 0, &found);
    fit_limits(area);
    const geometry::Rect size = geometry::open_size(rect_of(area), frame_of(*this), force_w, force_h, g.w, g.h,
                                                    m_desktop_scale * zoom_percent() / 100.0);
    SDL_SetWindowSize(m_win, size.w, size.h);
    if (valid)
        place(g.x, g.y, size.w, size.h);
    else
        place(area.x + (area.w - size.w) / 2, area.y + (area.h - size.h) / 2, size.w, size.h);
    update_scale();
    invalidate();
    invalidate_over();
}

void App::remember_geometry() {
    if (!m_win || (force_w >= 1 && force_h >= 1)) return;
    const Uint32 f = SDL_GetWindowFlags(m_win);
    if (f & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED | SDL_WINDOW_HIDDEN)) return;
    Geometry& g = m_settings.full;
    int w = 0, h = 0;
    SDL_GetWindowSize(m_win, &w, &h);
    const geometry::Rect logical = geometry::logical_size(w, h, m_units);
    g.w = logical.w;
    g.h = logical.h;
    int x = 0, y = 0;
    SDL_GetWindowPosition(m_win, &x, &y);
    g.x = x - m_frame_dx;
    g.y = y - m_frame_dy;
    g.has_pos = true;
}
