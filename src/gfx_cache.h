// Kept bitmaps: drawings that look the same frame after frame (panels,
// display wells, drive bays, bars, chips, the brick wall and the
// lettering) are drawn once into a bitmap that matches the device pixels
// exactly and then copied, which costs a fraction of drawing them again.
// The policy: a bitmap is keyed by everything that shapes it, including the
// full scale to device pixels and the sub-pixel offset, so a copy equals a
// fresh drawing. Each kind of drawing keeps a few bitmaps (a wall of an old
// width is of no more use), the whole store at most kCacheEntries bitmaps
// and kCacheBytes bytes. Room comes only from bitmaps the current frame has
// not used, oldest first; what does not fit is drawn directly. Drawings
// that change often (a resize's panels, the lengths of gliding bars, the
// first frame's many boxes) are kept from their second request on. The
// window's background is worked out each time, not kept (gfx.cpp). Only
// the window's thread draws, so there is no lock.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gfx.h"
#include "gfx_bitmap.h"

namespace gfx::detail {

constexpr size_t kCacheEntries = 160;
constexpr size_t kSeenOnce = 256;  // drawings asked for once, remembered by key
constexpr size_t kCacheBytes = size_t(96) << 20;
constexpr size_t kKeepWalls = 2;
constexpr size_t kKeepLettering = 4;
constexpr size_t kKeepPanels = 12;  // per kind: racks, display wells
constexpr size_t kKeepDrives = 8;
constexpr size_t kKeepBars = 96;   // the compare panel alone shows a few dozen
constexpr size_t kKeepBoxes = 48;  // chips, buttons and cards in their states
constexpr double kStrokeReach = 1;       // how far an outline may reach past its box
constexpr double kCacheMaxSide = 16384;  // device pixels; larger drawings are drawn directly
constexpr size_t kBytesPerPixel = 4;     // RGB24 and ARGB32 alike

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

struct CacheState {
    std::vector<CacheEntry> entries;
    std::deque<size_t> seen;  // hashes asked for once
    bool keep = true;
    // Uses of kept bitmaps are stamped with a running count; a frame starts at a stamp.
    uint64_t clock = 0;
    uint64_t frame_start = 0;
};

CacheState& cache_state();

// True the first time `hash` is asked for (and it is then remembered).
bool first_sight(size_t hash);

inline bool whole(double v) { return std::fabs(v - std::round(v)) < 1e-9; }

// User space to the device pixels of the surface drawn on: the context's
// matrix (m), then the surface's scale (sx, sy) and offset (ox, oy); for an
// unrotated context, device x = xx * x + x0 and y = yy * y + y0.
struct ToDevice {
    cairo_matrix_t m;
    cairo_surface_t* target;
    double sx = 1, sy = 1, ox = 0, oy = 0;
    double xx, yy, x0, y0;
};

inline ToDevice to_device(cairo_t* cr) {
    ToDevice t{};
    cairo_get_matrix(cr, &t.m);
    t.target = cairo_get_group_target(cr);
    cairo_surface_get_device_scale(t.target, &t.sx, &t.sy);
    cairo_surface_get_device_offset(t.target, &t.ox, &t.oy);
    t.xx = t.m.xx * t.sx;
    t.yy = t.m.yy * t.sy;
    t.x0 = t.m.x0 * t.sx + t.ox;
    t.y0 = t.m.y0 * t.sy + t.oy;
    return t;
}

// Paints what `draw` draws inside the user-space box (x, y, w, h), from a
// bitmap kept for `key`. The bitmap matches the device pixel grid exactly: the
// key carries the full user-to-device scale (the context's and the surface's
// device scale, so a high-density window keeps its own bitmaps) and the
// sub-pixel offset, so a copy is the same as drawing afresh, only shifted by
// whole pixels. Rotated or skewed contexts, fractional device offsets and
// vector surfaces are drawn directly. `draw` learns whether it draws into an
// opaque bitmap whose box is exactly its pixel grid.
// `keep` limits the bitmaps of one primitive: a wall of an old width is of
// no more use once the window has a new one. With `second_use`
// the first request of a key is drawn directly and only a repeat keeps it.
template <class Draw>
inline void paint_cached(cairo_t* cr, const char* family, size_t keep, const std::string& key, double x,
                  double y, double w, double h, bool opaque, bool second_use, Draw&& draw) {
    // Noted as one drawing, wherever the clip is, by what shapes it.
    if (noting()) note(cr, x, y, w, h, std::hash<std::string>{}(key) * 31 + std::hash<std::string_view>{}(family));
    const Unnoted by_key;
    // Nothing of the box inside the clip: nothing to draw, and no bitmap to
    // make for a band or a measuring pass that does not show it.
    double cx0 = 0, cy0 = 0, cx1 = 0, cy1 = 0;
    cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
    if (!(x < cx1 && y < cy1 && x + w > cx0 && y + h > cy0)) return;
    const ToDevice t = to_device(cr);
    const cairo_matrix_t& m = t.m;
    cairo_surface_t* target = t.target;
    const double sx = t.sx, sy = t.sy, ox = t.ox, oy = t.oy;
    const double mxx = t.xx, myy = t.yy, mx0 = t.x0, my0 = t.y0;
    const double dx0 = mxx * x + mx0, dy0 = myy * y + my0;
    const double dx1 = mxx * (x + w) + mx0, dy1 = myy * (y + h) + my0;
    if (!cache_state().keep || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
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

    auto& cache = cache_state().entries;
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
                if (it->used < cache_state().frame_start && (!only || it->family == only) &&
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
            new_bitmap(solid ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, dw, dh);
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
    hit->used = ++cache_state().clock;

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

inline std::string key_of(const char* name, std::initializer_list<double> values) {
    std::string k = name;
    for (double v : values) k.append(reinterpret_cast<const char*>(&v), sizeof v);
    return k;
}

}  // namespace gfx::detail
