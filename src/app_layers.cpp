// The two painted layers and how they reach the screen: the opaque base
// (page, header, status bar) and the transparent overlay (dialogs, menus,
// tooltips) are painted into cairo images only when dirty and uploaded as
// textures; every frame copies them with the accelerated bars and lights
// between them. The overlay is cleared, uploaded and blended only where it
// holds paint: a tooltip over a drive at 3840 x 2160 cost 17 ms of
// processor time over the floor as a whole window's layer and costs 5 as
// its box (BM_ScaleDriveClickToFrame). snapshot() paints the same layers
// into images or PNG files without a window.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "app.h"
#include "app_geometry.h"
#include "gfx_bitmap.h"
#include "gpu.h"
#include "logger.h"

namespace {

constexpr int kPaintPasses = 2;

// The device pixels of a pw x ph layer that a user-space box at scale `k` touches.
SDL_Rect device_box(double x, double y, double w, double h, double k, int pw, int ph) {
    const int x0 = std::clamp(static_cast<int>(std::floor(x * k)), 0, pw);
    const int y0 = std::clamp(static_cast<int>(std::floor(y * k)), 0, ph);
    const int x1 = std::clamp(static_cast<int>(std::ceil((x + w) * k)), 0, pw);
    const int y1 = std::clamp(static_cast<int>(std::ceil((y + h) * k)), 0, ph);
    return SDL_Rect{x0, y0, x1 - x0, y1 - y0};
}

// Straight alpha from cairo's premultiplied pixels in `r`, for a renderer
// that blends only straight alpha: blended as they are, the partly
// covered pixels of every edge came out darker by their own alpha. A
// dialog's dimming is one colour over the whole window, so the last pixel's
// answer is kept.
void straighten(unsigned char* px, int stride, const SDL_Rect& r) {
    uint32_t last_in = 0, last_out = 0;
    for (int y = r.y; y < r.y + r.h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(px + static_cast<ptrdiff_t>(y) * stride) + r.x;
        for (int x = 0; x < r.w; ++x) {
            const uint32_t p = row[x], a = p >> 24;
            if (a == 0 || a == 255) continue;
            if (p != last_in) {
                auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
                last_in = p;
                last_out = a << 24 | un(p >> 16 & 0xFF) << 16 | un(p >> 8 & 0xFF) << 8 | un(p & 0xFF);
            }
            row[x] = last_out;
        }
    }
}

}  // namespace

void App::Layer::release() {
    if (tex) SDL_DestroyTexture(tex);
    if (surf) cairo_surface_destroy(surf);
    *this = Layer{};
}

bool App::fit_layer(Layer& layer, SDL_BlendMode mode, bool* made) {
    int pw = 0, ph = 0;
    SDL_GetRendererOutputSize(m_ren, &pw, &ph);
    if (pw < 1 || ph < 1) return false;
    if (layer.surf && layer.tex && layer.pw == pw && layer.ph == ph) return true;
    if (made) *made = true;
    // A resize keeps the bitmaps that still hold the window: making new ones
    // costs more than painting them, page faults and clearing included.
    if (layer.surf && layer.tex && geometry::room_serves(pw, ph, layer.cw, layer.ch)) {
        layer.pw = pw;
        layer.ph = ph;
        return true;
    }
    layer.release();
    const SDL_Point most = texture_max();
    const int cw = geometry::room(pw, most.x), ch = geometry::room(ph, most.y);
    const bool opaque = mode == SDL_BLENDMODE_NONE;
    layer.surf = gfx::new_bitmap(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, cw, ch);
    layer.tex = SDL_CreateTexture(m_ren, opaque ? kOpaqueFormat : Uint32{SDL_PIXELFORMAT_ARGB8888},
                                  SDL_TEXTUREACCESS_STREAMING, cw, ch);
    if (!layer.tex || cairo_surface_status(layer.surf) != CAIRO_STATUS_SUCCESS) {
        layer.release();
        return false;
    }
    SDL_SetTextureBlendMode(layer.tex, mode);
    layer.pw = pw;
    layer.ph = ph;
    layer.cw = cw;
    layer.ch = ch;
    return true;
}

SDL_Point App::texture_max() const {
    constexpr int kUnknown = 1 << 30;
    SDL_RendererInfo info{};
    if (!m_ren || SDL_GetRendererInfo(m_ren, &info) != 0) return SDL_Point{kUnknown, kUnknown};
    return SDL_Point{info.max_texture_width > 0 ? info.max_texture_width : kUnknown,
                     info.max_texture_height > 0 ? info.max_texture_height : kUnknown};
}

void App::paint_over_layer() {
    Layer& layer = m_over;
    bool made = false;
    if (!fit_layer(layer, m_premul, &made)) return;
    settle_scrolls();
    // Pixels outside what the last paint used are transparent already.
    const SDL_Rect before = made ? SDL_Rect{0, 0, layer.pw, layer.ph} : m_over_used;
    unsigned char* px = cairo_image_surface_get_data(layer.surf);
    const int stride = cairo_image_surface_get_stride(layer.surf);
    cairo_surface_flush(layer.surf);
    for (int y = before.y; y < before.y + before.h; ++y)
        std::memset(px + static_cast<ptrdiff_t>(y) * stride + before.x * 4, 0, static_cast<size_t>(before.w) * 4);
    cairo_surface_mark_dirty(layer.surf);
    m_over_used = SDL_Rect{};
    cairo_surface_set_device_scale(layer.surf, m_k, m_k);
    cairo_t* cr = cairo_create(layer.surf);
    cairo_rectangle(cr, 0, 0, layer.pw / m_k, layer.ph / m_k);
    cairo_clip(cr);
    paint_over(cr);
    probe_delay();
    cairo_destroy(cr);
    cairo_surface_flush(layer.surf);
    // Each paint clears and paints all it shows, so the image may be changed in place.
    if (m_premul == SDL_BLENDMODE_BLEND) straighten(px, stride, m_over_used);
    SDL_Rect changed{};
    SDL_UnionRect(&before, &m_over_used, &changed);
    if (!SDL_RectEmpty(&changed))
        SDL_UpdateTexture(layer.tex, &changed, px + static_cast<ptrdiff_t>(changed.y) * stride + changed.x * 4, stride);
    ++m_over_paints;
}

void App::over_uses(double x, double y, double w, double h) {
    const int pw = m_over.pw > 0 ? m_over.pw : static_cast<int>(std::lround(m_W * m_k));
    const int ph = m_over.ph > 0 ? m_over.ph : static_cast<int>(std::lround(m_H * m_k));
    const SDL_Rect box = device_box(x, y, w, h, m_k, pw, ph);
    if (SDL_RectEmpty(&box)) return;
    SDL_Rect both{};
    SDL_UnionRect(&m_over_used, &box, &both);
    m_over_used = both;
}

void App::paint_base(cairo_t* cr) {
    gfx::begin_frame();
    // A panel whose height changed since the last frame asks for one more pass.
    for (int pass = 0; pass < kPaintPasses; ++pass) {
        paint_base_once(cr);
        if (!std::exchange(m_panels.relayout, false)) break;
    }
}

void App::paint_base_once(cairo_t* cr) {
    // The page as its layer holds it, at the scroll rounded to device
    // pixels as the screen shows it, then the frame around it.
    const int tab = std::clamp(m_settings.tab, 0, 1);
    double sx = 1, sy = 1;
    cairo_surface_get_device_scale(cairo_get_target(cr), &sx, &sy);
    const double k = sy > 0 ? sy : 1;
    const double top = page_top(), bottom = m_H - kStatusBarH;
    cairo_save(cr);
    cairo_rectangle(cr, 0, top, m_W, std::max(0.0, bottom - top));
    cairo_clip(cr);
    cairo_translate(cr, 0, (std::lround(top * k) - std::lround(m_scroll[tab] * k)) / k);
    m_texts_page_offset = (std::lround(top * k) - std::lround(m_scroll[tab] * k)) / k;
    paint_page_content(cr);
    cairo_restore(cr);
    paint_scrollbar(cr, top, view_height());
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, m_W, top);
    cairo_rectangle(cr, 0, bottom, m_W, m_H - bottom);
    cairo_clip(cr);
    paint_chrome(cr);
    cairo_restore(cr);
    place_hits();
    follow_focus();
}

void App::paint_chrome(cairo_t* cr) {
    m_hits.clear();
    capture_texts(kTextFrame);
    gfx::window_bg(cr, m_W, m_H, m_pal);
    paint_header(cr, m_W);
    if (!m_notices.empty()) paint_notice(cr, m_W, top_band());
    paint_statusbar(cr, m_W, m_H - kStatusBarH);
    if (!modal_or_menu()) paint_focus_ring(cr, m_hits, m_focus_base);
    capture_texts(-1);
    m_chrome_hits = m_hits;
}

void App::paint_chrome_layer() {
    Layer& layer = m_base;
    bool whole = std::exchange(m_dirty, false);
    if (!fit_layer(layer, SDL_BLENDMODE_NONE, &whole)) return;
    const int pw = layer.pw, ph = layer.ph;
    // Only the bands around the page: the page has a layer of its own.
    const double top = page_top(), bottom = m_H - kStatusBarH;
    std::vector<Damage> rects;
    if (whole)
        rects = {Damage{0, 0, m_W, top}, Damage{0, bottom, m_W, m_H - bottom}};
    else
        rects = m_chrome_damage;
    m_chrome_damage.clear();
    if (rects.empty()) return;
    settle_scrolls();
    cairo_surface_set_device_scale(layer.surf, m_k, m_k);
    cairo_t* cr = cairo_create(layer.surf);
    for (const Damage& d : rects) cairo_rectangle(cr, d.x, d.y, d.w, d.h);
    cairo_clip(cr);
    paint_chrome(cr);
    probe_delay();
    cairo_destroy(cr);
    cairo_surface_flush(layer.surf);
    const unsigned char* px = cairo_image_surface_get_data(layer.surf);
    const int stride = cairo_image_surface_get_stride(layer.surf);
    for (const Damage& d : rects) {
        const SDL_Rect r = device_box(d.x, d.y, d.w, d.h, m_k, pw, ph);
        if (SDL_RectEmpty(&r)) continue;
        SDL_UpdateTexture(layer.tex, &r, px + r.y * stride + r.x * 4, stride);
    }
    // The frame's change may move the page (a notice) or restyle it.
    if (whole) invalidate_page();
    place_hits();
    ++m_base_paints;
}

bool App::has_overlay() const { return m_modal != Modal::None || m_menu.open || m_tip_shown; }

void App::paint_over(cairo_t* cr) {
    m_over_hits.clear();
    m_has_over = false;
    capture_texts(kTextOver);
    // Dialogs dim the whole window, and a menu reaches wherever it opens.
    if (modal_or_menu()) over_uses(0, 0, m_W, m_H);
    if (m_modal == Modal::Settings || m_modal == Modal::Languages) {
        paint_settings(cr, m_W, m_H);
        m_has_over = true;
        if (m_modal == Modal::Languages) paint_languages(cr, m_W, m_H);
    } else if (m_modal == Modal::Confirm || m_modal == Modal::Crash) {
        paint_confirm(cr, m_W, m_H, m_modal == Modal::Crash);
        m_has_over = true;
    } else if (m_modal == Modal::GuideWarn) {
        paint_guide_warn(cr, m_W, m_H);
        m_has_over = true;
    } else if (m_modal == Modal::Working) {
        paint_working(cr, m_W, m_H);
        m_has_over = true;
    }
    if (m_menu.open) {
        paint_menu(cr);
        m_has_over = true;
    }
    capture_texts(-1);
    settle_focus();
    if (modal_or_menu() && !m_menu.open) paint_focus_ring(cr, m_over_hits, m_focus_over);
    if (m_tip_shown) {
        paint_tooltip(cr);
        m_has_over = true;
    }
}

void App::compose() {
    const double top = page_top();
    const int pw = static_cast<int>(std::lround(m_k * m_W)), ph = static_cast<int>(std::lround(m_k * m_H));
    const int page0 = static_cast<int>(std::lround(m_k * top));
    const int page1 = static_cast<int>(std::lround(m_k * (m_H - kStatusBarH)));
    // The frame's bands and the page's rows cover the window once between them.
    if (m_base.tex && m_page.tex) {
        const SDL_Rect head{0, 0, pw, page0}, foot{0, page1, pw, ph - page1};
        SDL_RenderCopy(m_ren, m_base.tex, &head, &head);
        SDL_RenderCopy(m_ren, m_base.tex, &foot, &foot);
        compose_page();
        compose_scrollbar();
    } else {
        SDL_SetRenderDrawColor(m_ren, 0, 0, 0, 255);
        SDL_RenderClear(m_ren);
    }
    const SDL_Rect clip{0, page0, pw, page1 - page0};
    const int tab = std::clamp(m_settings.tab, 0, 1);
    gpu::render(m_k, clip, m_settings.animate, (page0 - std::lround(m_scroll[tab] * m_k)) / m_k);
    if (m_has_over && m_over.tex && !SDL_RectEmpty(&m_over_used))
        SDL_RenderCopy(m_ren, m_over.tex, &m_over_used, &m_over_used);
    SDL_RenderPresent(m_ren);
    place_hits();
    if (m_frames++ == 0) logger::info("first frame presented");
}

void App::snapshot(double W, double H, double scale, cairo_surface_t* base, cairo_surface_t* over) {
    m_W = W;
    m_H = H;
    m_k = scale;
    if (m_pal.bg.a == 1 && m_pal.bg.r == 0 && m_pal.bg.g == 0 && m_pal.bg.b == 0) m_pal = Palette::make(m_dark);
    for (int layer = 0; layer < 2; ++layer) {
        settle_scrolls();
        cairo_surface_t* s = layer == 0 ? base : over;
        if (!s) continue;
        cairo_surface_set_device_scale(s, scale, scale);
        cairo_t* cr = cairo_create(s);
        if (layer == 0)
            paint_base(cr);
        else
            paint_over(cr);
        cairo_destroy(cr);
    }
}

bool App::snapshot(double W, double H, double scale, const std::string& base_png,
                   const std::string& over_png) {
    const int pw = static_cast<int>(std::lround(W * scale)), ph = static_cast<int>(std::lround(H * scale));
    cairo_surface_t* s[2] = {cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph),
                             cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph)};
    snapshot(W, H, scale, s[0], s[1]);
    bool ok = true;
    for (int layer = 0; layer < 2; ++layer) {
        const std::string& path = layer == 0 ? base_png : over_png;
        if (!path.empty()) ok = cairo_surface_write_to_png(s[layer], path.c_str()) == CAIRO_STATUS_SUCCESS && ok;
        cairo_surface_destroy(s[layer]);
    }
    return ok;
}

