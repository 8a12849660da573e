// The page layer: how scrolling, hovering and clicking stay cheap at device
// resolution.
//
// The page is painted into a texture of its own, apart from the frame around
// it (menu bar, banner, header, notice, status bar), which stays in the base
// layer. The texture is a ring of bands of device rows: page row r lives in
// texture row r mod height, and each band remembers which page band it
// holds. The ring is one and a half views tall (at least the view and two
// bands), so the view and the bands beside it fit. A scroll only copies
// other rows of the ring to the screen (two copies where the view wraps
// round) and lays the scroll bar over them; bands that come into view
// unpainted are painted then, and bands beside the view are painted ahead
// once the window has been quiet for a moment, as many whole bands as the
// ring has beside the view, so that none takes the rows of another. The
// page's background belongs to the page: it is the window's background as it
// looks unscrolled, continued below the window's bottom by its last row, so
// a band painted at one scroll matches one painted at another; and texts are
// put on device rows that do not depend on where a pass starts
// (gfx::show_layout), or a text across two bands would tear at a fractional
// scale.
//
// A change that touches one thing is painted as a rectangle: a hover change
// repaints the two controls that changed look. A changed figure (a chip, a
// stepper, a typed value, a failed drive) changes a few texts, chips and
// bars among hundreds of drawings: every pass notes each drawing's box and
// a hash of what it drew (gfx::record), so the page is laid out once
// without drawing, and only the boxes whose drawings differ from the last
// pass's are painted, gathered into a few rectangles of tiles; of the
// frame, only the header row, when its summary changed. The page painter
// runs whole (it lays out and registers every hit and bar) but cairo draws
// only inside the clip, straight into the locked texture rows, and only
// those rows are uploaded. A panel that changes height widens the repaint
// to the whole view.
//
// Why this and not a texture of the whole page: the first frame would paint
// the whole page, two to three views, instead of one; a ring costs one and a
// half views of memory whatever the page's length, and needs no texture
// taller than a renderer allows.
//
// At 4K the cost is memory bandwidth, not drawing: a view is 30 MB of
// pixels, and each pass over it (background, panels, copy to the screen)
// costs milliseconds. So the page is kept in the window's own pixel format,
// which the software renderer copies to the screen row by row, and the
// background is not painted under the panels' opaque bodies. Measured with
// bench_window on a 2-core test machine, software renderer, 3840 x 2160 at
// a scale of 2, as the median processor time of the window's thread from an
// event to the frame that shows it, beside a floor (a bare SDL program
// copying one full-window texture to the screen) of 4.5 to 6 ms: a scroll
// frame 4.3 to 5.2 ms, no more than the floor; a hover 6.2 to 6.4 ms; a
// click on a disk size 11 ms beside a floor of 5.1 to 5.7, where painting
// the whole view took 17 to 18; painting the whole window, which every
// scroll step cost before the ring, takes 9 to 12 ms before its upload on
// a faster machine (BM_BaseRepaint1080/2).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "app.h"
#include "app_geometry.h"
#include "gpu.h"

namespace {

constexpr int kBandPx = 256;
constexpr double kRingViews = 1.5;
// How far a control's hover look reaches past its rectangle.
constexpr double kHoverReach = 3;
constexpr double kThumbColumn = 12;  // the scroll bar's strip at the right edge
constexpr int kDamageTile = 32;      // device pixels: what a changed figure repaints is made of these

int floor_px(double v) { return static_cast<int>(std::floor(v + 1e-6)); }
int ceil_px(double v) { return static_cast<int>(std::ceil(v - 1e-6)); }

// The window background's last device row, to continue it below the
// window: that row repeated down a tile, which pixman copies row by row
// where a one-row source stretched down took it 20 ms for a 4K band.
constexpr int kPadRows = 64;

struct PadTile {
    cairo_surface_t* surf = nullptr;
    int pw = 0;
    double W = 0, H = 0, k = 0;
    Rgba top, bottom;
};
PadTile g_pad;

bool same_rgba(const Rgba& a, const Rgba& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

cairo_surface_t* pad_tile(double W, double H, double k, const Palette& p) {
    const int pw = static_cast<int>(std::lround(W * k));
    if (g_pad.surf && g_pad.pw == pw && g_pad.W == W && g_pad.H == H && g_pad.k == k &&
        same_rgba(g_pad.top, p.bg_top) && same_rgba(g_pad.bottom, p.bg_bottom))
        return g_pad.surf;
    if (g_pad.surf) cairo_surface_destroy(g_pad.surf);
    const bool opaque = p.bg_top.a >= 1 && p.bg_bottom.a >= 1;
    g_pad = PadTile{cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, std::max(pw, 1),
                                               kPadRows),
                    pw, W, H, k, p.bg_top, p.bg_bottom};
    cairo_surface_set_device_scale(g_pad.surf, k, k);
    cairo_surface_set_device_offset(g_pad.surf, 0, -(std::lround(H * k) - 1));
    cairo_t* cr = cairo_create(g_pad.surf);
    cairo_rectangle(cr, 0, 0, W, H);
    cairo_clip(cr);
    gfx::window_bg(cr, W, H, p);
    cairo_destroy(cr);
    cairo_surface_flush(g_pad.surf);
    cairo_surface_set_device_offset(g_pad.surf, 0, 0);
    unsigned char* px = cairo_image_surface_get_data(g_pad.surf);
    const int stride = cairo_image_surface_get_stride(g_pad.surf);
    for (int y = 1; y < kPadRows; ++y)
        std::memcpy(px + static_cast<ptrdiff_t>(y) * stride, px, static_cast<size_t>(stride));
    cairo_surface_mark_dirty(g_pad.surf);
    return g_pad.surf;
}

}  // namespace

void App::PageLayer::release() {
    if (tex) SDL_DestroyTexture(tex);
    *this = PageLayer{};
}

// ---- Painting the page ----

void App::page_background(cairo_t* cr, const std::vector<Damage>& bodies) {
    const double k = m_k;
    const long top_px = std::lround(page_top() * k);
    cairo_save(cr);
    if (!bodies.empty()) {
        // Whole device pixels keep the clip a set of rectangles, which
        // pixman fills without a mask.
        double x0, y0, x1, y1;
        cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
        cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
        for (const Damage& b : bodies) cairo_rectangle(cr, b.x, b.y, b.w, b.h);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        cairo_clip(cr);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    }
    cairo_save(cr);
    cairo_translate(cr, 0, -top_px / k);
    gfx::window_bg(cr, m_W, m_H, m_pal);
    cairo_restore(cr);
    const double below = (std::lround(m_H * k) - top_px) / k;
    const int tab = std::clamp(m_settings.tab, 0, 1);
    const double bottom = std::max(m_content_h[tab], m_scroll[tab] + view_height()) + m_H;
    if (bottom <= below) return;
    cairo_save(cr);
    cairo_set_source_surface(cr, pad_tile(m_W, m_H, k, m_pal), 0, below);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, 0, below, m_W, bottom - below);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_restore(cr);
}

std::vector<App::Damage> App::panel_bodies(const PanelMemory& before) const {
    std::vector<Damage> bodies;
    if (std::clamp(m_settings.tab, 0, 1) != 0) return bodies;
    const double k = m_page.k;
    for (const PanelMemory::Frame& f : before.frames) {
        if (f.h <= 0 || f.w <= 0) continue;
        const int x0 = ceil_px((f.x + gfx::kRackOpaqueSide) * k), x1 = floor_px((f.x + f.w - gfx::kRackOpaqueSide) * k);
        const int y0 = ceil_px((f.y + gfx::kRackOpaqueEnd) * k), y1 = floor_px((f.y + f.h - gfx::kRackOpaqueEnd) * k);
        if (x1 > x0 && y1 > y0) bodies.push_back(Damage{x0 / k, y0 / k, (x1 - x0) / k, (y1 - y0) / k});
    }
    return bodies;
}

bool App::panels_stayed(const PanelMemory& before) const {
    for (int seed = 0; seed < PanelMemory::kPanels; ++seed) {
        const PanelMemory::Frame &was = before.frames[seed], &is = m_panels.frames[seed];
        if (was.h <= 0 || was.w <= 0) continue;
        // Painted in this pass, at the same place: a panel painted before
        // is framed at its last height (rack_section).
        if (is.pass != m_panels.pass || is.x != was.x || is.y != was.y || is.w != was.w) return false;
    }
    return true;
}

void App::paint_page_content(cairo_t* cr, const std::vector<Damage>& bodies) {
    const int tab = std::clamp(m_settings.tab, 0, 1);
    // Lights count as seen where the view is, whatever this pass paints.
    cairo_save(cr);
    cairo_reset_clip(cr);
    cairo_rectangle(cr, 0, m_scroll[tab], m_W, view_height());
    cairo_clip(cr);
    gpu::begin(cr);
    cairo_restore(cr);
    page_background(cr, bodies);
    m_hits.clear();
    m_hit_groups.clear();
    capture_texts(kTextPage);
    m_content_h[tab] = tab == 0 ? paint_page(cr, m_W) : paint_guide(cr, m_W);
    capture_texts(-1);
    gpu::end();
    if (!modal_or_menu()) paint_focus_ring(cr, m_hits, m_focus_base);
    m_page_raw = m_hits;
}

bool App::page_pass(int a, int b, const std::vector<Damage>& clips) {
    SDL_Rect lock{0, a % m_page.ph, m_page.pw, b - a};
    void* px = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(m_page.tex, &lock, &px, &pitch) != 0) return false;
    cairo_surface_t* s = cairo_image_surface_create_for_data(static_cast<unsigned char*>(px), CAIRO_FORMAT_RGB24,
                                                            m_page.pw, b - a, pitch);
    cairo_surface_set_device_scale(s, m_page.k, m_page.k);
    // Page coordinates: the pass's first row is the surface's first.
    cairo_surface_set_device_offset(s, 0, -a);
    m_texts_page_offset = 0;
    cairo_t* cr = cairo_create(s);
    for (const Damage& d : clips) cairo_rectangle(cr, d.x, d.y, d.w, d.h);
    cairo_clip(cr);
    // Most of the view is the panels' bodies: the background under them
    // would be painted only to be covered.
    const PanelMemory before = m_panels;
    ++m_panels.pass;
    const std::vector<Damage> bodies = panel_bodies(before);
    paint_noted(cr, bodies);
    // A panel moved: what it left behind needs its background.
    if (!bodies.empty() && !panels_stayed(before)) paint_noted(cr);
    probe_delay();
    cairo_destroy(cr);
    cairo_surface_finish(s);
    cairo_surface_destroy(s);
    SDL_UnlockTexture(m_page.tex);
    return true;
}

void App::paint_noted(cairo_t* cr, const std::vector<Damage>& bodies) {
    m_drawn.clear();
    gfx::record(&m_drawn);
    paint_page_content(cr, bodies);
    gfx::record(nullptr);
    // The guide draws through paths the notes do not follow.
    m_drawn_ok = std::clamp(m_settings.tab, 0, 1) == 0;
}

bool App::measure_page() {
    // A new width rewraps texts and changes the panels' heights. Laid out
    // once without drawing (an empty clip), the page is then drawn once at
    // the right heights, instead of drawn at the old ones and again.
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_surface_set_device_scale(s, m_k, m_k);
    cairo_t* cr = cairo_create(s);
    cairo_rectangle(cr, 0, 0, 0, 0);
    cairo_clip(cr);
    paint_noted(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    // The layout leaves the hits in page coordinates; a change that then
    // paints nothing (a chip chosen again) would leave clicks to land there.
    place_hits();
    return !std::exchange(m_panels.relayout, false);
}

bool App::damage_refigured() {
    // A changed figure touches a few texts, chips and bars; the rest of the
    // page draws as before. Laying the page out costs a fraction of painting
    // the view at device resolution, so the page is laid out without drawing
    // and only what it now draws differently is painted. A panel of another
    // height moves everything below it: that is painted whole.
    const bool comparable = m_drawn_ok;
    std::vector<gfx::Drawn> was = std::move(m_drawn);
    if (!measure_page() || !comparable || !m_drawn_ok) return false;
    const double k = m_page.k;
    // The boxes, a device pixel wider for antialiasing past them, go onto
    // a grid of tiles, joined into a few rectangles.
    std::map<int, std::vector<char>> rows;
    const int cols = (m_page.pw + kDamageTile - 1) / kDamageTile;
    for (const gfx::Drawn& d : gfx::changed(std::move(was), m_drawn)) {
        const int c0 = std::clamp(floor_px(d.x0 * k - 1) / kDamageTile, 0, cols);
        const int c1 = std::clamp(ceil_px(d.x1 * k + 1) / kDamageTile + 1, 0, cols);
        const int r0 = std::max(0, floor_px(d.y0 * k - 1) / kDamageTile), r1 = ceil_px(d.y1 * k + 1) / kDamageTile + 1;
        for (int r = r0; r < r1; ++r) {
            std::vector<char>& row = rows[r];
            row.resize(static_cast<size_t>(cols));
            std::fill(row.begin() + c0, row.begin() + c1, 1);
        }
    }
    for (const geometry::Rect& t : geometry::join_cells(rows, cols))
        m_page_damage.push_back(
            Damage{t.x * kDamageTile / k, t.y * kDamageTile / k, t.w * kDamageTile / k, t.h * kDamageTile / k});
    return true;
}

bool App::paint_rows(int r0, int r1, bool damage) {
    const int bands = static_cast<int>(m_page.owner.size());
    if (bands == 0 || r1 <= r0) return false;
    const double k = m_page.k;
    auto held = [&](int band) { return band >= 0 && m_page.owner[band % bands] == band; };
    std::vector<Damage> clips;
    std::vector<int> fresh;
    int a = r1, b = r0;
    for (int band = std::max(0, r0 / kBandPx); band * kBandPx < r1; ++band) {
        if (held(band)) continue;
        fresh.push_back(band);
        clips.push_back(Damage{0, band * kBandPx / k, m_W, kBandPx / k});
        a = std::min(a, band * kBandPx);
        b = std::max(b, (band + 1) * kBandPx);
    }
    if (damage) {
        for (const Damage& d : m_page_damage) {
            const int d0 = std::max(0, floor_px(d.y * k)), d1 = ceil_px((d.y + d.h) * k);
            for (int band = d0 / kBandPx; band * kBandPx < d1; ++band) {
                if (!held(band)) continue;
                const int top = std::max(d0, band * kBandPx), bottom = std::min(d1, (band + 1) * kBandPx);
                if (band * kBandPx + kBandPx <= r0 || band * kBandPx >= r1) {
                    // Out of sight: painted whole when it comes back.
                    m_page.owner[band % bands] = -1;
                    continue;
                }
                clips.push_back(Damage{d.x, top / k, d.w, (bottom - top) / k});
                a = std::min(a, top);
                b = std::max(b, bottom);
            }
        }
        m_page_damage.clear();
    }
    if (clips.empty()) return false;
    // One pass per turn of the ring.
    bool ok = true;
    for (int from = a; from < b;) {
        const int to = std::min(b, from - from % m_page.ph + m_page.ph);
        ok = page_pass(from, to, clips) && ok;
        from = to;
    }
    if (ok)
        for (int band : fresh) m_page.owner[band % bands] = band;
    return true;
}

void App::drop_page_bands() {
    std::fill(m_page.owner.begin(), m_page.owner.end(), -1);
    m_page_damage.clear();
}

bool App::paint_page_layer() {
    const bool stale = std::exchange(m_page_stale, false);
    const bool refigure = std::exchange(m_page_refigure, false);
    if (!m_ren) return false;
    int pw = 0, oh = 0;
    SDL_GetRendererOutputSize(m_ren, &pw, &oh);
    const int tab = std::clamp(m_settings.tab, 0, 1);
    const double view = view_height();
    if (pw < 1 || view <= 0) {
        // No page on screen (a window shorter than its header and status
        // bar): what changed is painted when the page shows again, and a
        // change kept waiting would keep the loop from ever going idle.
        drop_page_bands();
        return false;
    }
    const int view_px = ceil_px(view * m_k) + 1;
    const SDL_Point limit = texture_max();
    const int most = limit.y / kBandPx * kBandPx;
    const int want = static_cast<int>(std::ceil(std::max(view_px * kRingViews, view_px + 2.0 * kBandPx) / kBandPx));
    const int ph = std::min(want * kBandPx, most);
    bool measure = false;
    if (!m_page.tex || m_page.pw != pw || m_page.ph != ph || m_page.k != m_k || m_page.tab != tab) {
        measure = m_page.tex && (m_page.pw != pw || m_page.k != m_k);
        // A resize, zoom or other tab starts the ring afresh, in the texture
        // it had where that still serves (geometry::room_serves).
        if (!m_page.tex || !geometry::room_serves(pw, ph, m_page.cw, m_page.ch)) {
            m_page.release();
            const int cw = geometry::room(pw, limit.x);
            // A band to spare: the ring grows a band at a time with the view.
            const int ch = geometry::room(std::min(ph + kBandPx, most), most);
            m_page.tex = SDL_CreateTexture(m_ren, kOpaqueFormat, SDL_TEXTUREACCESS_STREAMING, cw, ch);
            if (!m_page.tex) return false;
            SDL_SetTextureBlendMode(m_page.tex, SDL_BLENDMODE_NONE);
            m_page.cw = cw;
            m_page.ch = ch;
        }
        m_page.pw = pw;
        m_page.ph = ph;
        m_page.k = m_k;
        m_page.tab = tab;
        m_page.owner.assign(ph / kBandPx, -1);
        m_page_damage.clear();
    }
    if (measure) measure_page();
    if (stale || (refigure && !measure && !damage_refigured())) drop_page_bands();
    const double scroll = m_scroll[tab];
    bool painted = false;
    // A panel whose height changed moves what lies below it: then the whole view once more.
    for (int pass = 0; pass < 2; ++pass) {
        if (!paint_rows(floor_px(scroll * m_k), ceil_px((scroll + view) * m_k) + 2, true)) break;
        ++m_base_paints;
        painted = true;
        if (!std::exchange(m_panels.relayout, false)) break;
        std::fill(m_page.owner.begin(), m_page.owner.end(), -1);
    }
    if (painted) {
        place_hits();
        follow_focus();
    }
    return painted;
}

std::array<App::Rows, 2> App::ahead_rows() const {
    const int tab = std::clamp(m_settings.tab, 0, 1);
    const double k = m_page.k;
    // The rows the view is painted with (paint_page_layer).
    const int v0 = floor_px(m_scroll[tab] * k), v1 = ceil_px((m_scroll[tab] + view_height()) * k) + 2;
    const int first = v0 / kBandPx, last = std::max(first, (v1 - 1) / kBandPx);
    const int end = ceil_px(m_content_h[tab] * k);
    // Counted in whole bands: two bands a ring apart share its rows, and
    // painting one ahead would take the other's, over and over.
    const int free = std::max(0, m_page.ph / kBandPx - (last - first + 1));
    const int after = std::max(0, (end + kBandPx - 1) / kBandPx - last - 1);
    // Below first, the way most pages are read; room one side cannot use
    // goes to the other.
    int above = std::min(free / 2, first);
    const int below = std::min(free - above, after);
    above = std::min(free - below, first);
    return {Rows{(last + 1) * kBandPx, std::min(end, (last + 1 + below) * kBandPx)},
            Rows{(first - above) * kBandPx, first * kBandPx}};
}

bool App::ahead_due() const {
    const int bands = static_cast<int>(m_page.owner.size());
    if (!m_page.tex || bands == 0) return false;
    for (const Rows& r : ahead_rows())
        for (int band = std::max(0, r.r0 / kBandPx); band * kBandPx < r.r1; ++band)
            if (m_page.owner[band % bands] != band) return true;
    return false;
}

bool App::prefetch_page() {
    if (!m_page.tex) return false;
    for (const Rows& r : ahead_rows())
        if (paint_rows(r.r0, r.r1, false)) {
            ++m_ahead_paints;
            place_hits();
            return true;
        }
    return false;
}

// ---- What changed ----

void App::invalidate_hit(const std::string& id) {
    if (id.empty()) return;
    for (const Hit& h : m_page_raw)
        if (h.id == id)
            m_page_damage.push_back(
                Damage{h.x - kHoverReach, h.y - kHoverReach, h.w + 2 * kHoverReach, h.h + 2 * kHoverReach});
    for (const Hit& h : m_chrome_hits)
        if (h.id == id)
            m_chrome_damage.push_back(
                Damage{h.x - kHoverReach, h.y - kHoverReach, h.w + 2 * kHoverReach, h.h + 2 * kHoverReach});
}

bool App::base_due() const {
    return m_dirty || m_view_moved || m_page_stale || m_page_refigure || !m_page_damage.empty() ||
           !m_chrome_damage.empty();
}

// ---- Hits ----

void App::place_hits() {
    const int tab = std::clamp(m_settings.tab, 0, 1);
    const double top = page_top(), bottom = m_H - kStatusBarH;
    const double offset = top - m_scroll[tab];
    // Whole for the keyboard, which scrolls to what it reaches, and cut to
    // the page area for the pointer.
    m_page_hits = m_page_raw;
    for (Hit& h : m_page_hits) h.y += offset;
    m_hits.clear();
    m_hits.reserve(m_page_hits.size() + m_chrome_hits.size());
    for (Hit h : m_page_hits) {
        const double y0 = std::max(h.y, top), y1 = std::min(h.y + h.h, bottom);
        if (y1 - y0 <= 0) continue;
        h.y = y0;
        h.h = y1 - y0;
        m_hits.push_back(std::move(h));
    }
    m_hits.insert(m_hits.end(), m_chrome_hits.begin(), m_chrome_hits.end());
}

// ---- On screen ----

void App::compose_scrollbar() {
    const double k = m_k;
    const double top = page_top(), view = view_height();
    const int x0 = floor_px((m_W - kThumbColumn) * k), y0 = static_cast<int>(std::lround(top * k));
    const int cw = static_cast<int>(std::lround(m_W * k)) - x0, ch = static_cast<int>(std::lround(view * k));
    if (cw < 1 || ch < 1) return;
    if (!(m_thumb.surf && m_thumb.tex && m_thumb.pw == cw && m_thumb.ph == ch)) {
        m_thumb.release();
        m_thumb.surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cw, ch);
        m_thumb.tex = SDL_CreateTexture(m_ren, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, cw, ch);
        if (!m_thumb.tex || cairo_surface_status(m_thumb.surf) != CAIRO_STATUS_SUCCESS) {
            m_thumb.release();
            return;
        }
        SDL_SetTextureBlendMode(m_thumb.tex, m_premul);
        m_thumb.pw = cw;
        m_thumb.ph = ch;
    }
    cairo_surface_set_device_scale(m_thumb.surf, k, k);
    cairo_surface_set_device_offset(m_thumb.surf, -x0, -y0);
    cairo_t* cr = cairo_create(m_thumb.surf);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    paint_scrollbar(cr, top, view);
    cairo_destroy(cr);
    cairo_surface_flush(m_thumb.surf);
    unsigned char* px = cairo_image_surface_get_data(m_thumb.surf);
    const int stride = cairo_image_surface_get_stride(m_thumb.surf);
    if (m_premul == SDL_BLENDMODE_BLEND) {
        // Plain alpha blending wants straight colours; cairo keeps them premultiplied.
        for (int y = 0; y < ch; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(px + y * stride);
            for (int x = 0; x < cw; ++x) {
                const uint32_t v = row[x], al = v >> 24;
                if (al == 0 || al == 255) continue;
                auto un = [al](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + al / 2) / al); };
                row[x] = al << 24 | un(v >> 16 & 0xFF) << 16 | un(v >> 8 & 0xFF) << 8 | un(v & 0xFF);
            }
        }
    }
    SDL_UpdateTexture(m_thumb.tex, nullptr, px, stride);
    const SDL_Rect dst{x0, y0, cw, ch};
    SDL_RenderCopy(m_ren, m_thumb.tex, nullptr, &dst);
}

void App::compose_page() {
    const int tab = std::clamp(m_settings.tab, 0, 1);
    const double k = m_k;
    const int top = static_cast<int>(std::lround(page_top() * k));
    const int bottom = static_cast<int>(std::lround((m_H - kStatusBarH) * k));
    if (!m_page.tex || bottom <= top) return;
    int row = static_cast<int>(std::lround(m_scroll[tab] * k));
    // The view, in one copy or two where it wraps round the ring.
    for (int y = top; y < bottom;) {
        const int at = row % m_page.ph;
        const int n = std::min(bottom - y, m_page.ph - at);
        const SDL_Rect src{0, at, m_page.pw, n}, dst{0, y, m_page.pw, n};
        SDL_RenderCopy(m_ren, m_page.tex, &src, &dst);
        row += n;
        y += n;
    }
}
