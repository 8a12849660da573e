// The interactive run and its window: loading the state, opening the SDL
// window with a renderer (accelerated where possible, with timed retries
// after a lost device), the window icon, and the final save. The loop is in
// app_loop.cpp, the layers in app_layers.cpp, the place and size of the
// window in app_geometry.cpp.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "app.h"
#include "app_scale.h"
#include "format.h"
#include "gpu.h"
#include "l10n.h"
#include "logger.h"
#include "paths.h"
#include "store_art.h"
#include "version.h"
#include "zxcrash.h"

namespace {

constexpr int kDefaultW = 1280, kDefaultH = 800;
constexpr uint32_t kRetryLostMs = 1000, kRetryAccelMs = 3000;
constexpr int kAccelRetries = 9;
constexpr double kTopBandShort = 148, kTopBandTall = 180;
constexpr int kIconPx = 64;
constexpr double kIconDesign = 1024;

// OpenGL's renderer and version strings, when a GL context is current.
bool gl_strings(std::string* renderer, std::string* version) {
    if (!SDL_GL_GetCurrentContext()) return false;
    using GetString = const unsigned char* (*)(unsigned);
    auto get = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    if (!get) return false;
    constexpr unsigned kGlRenderer = 0x1F01, kGlVersion = 0x1F02;
    const unsigned char* r = get(kGlRenderer);
    const unsigned char* v = get(kGlVersion);
    *renderer = r ? reinterpret_cast<const char*>(r) : "?";
    *version = v ? reinterpret_cast<const char*>(v) : "?";
    return true;
}

// Mesa's CPU rasterisers: OpenGL, but every frame costs the CPU what a
// software renderer costs, so bars and lights stay still there. The tests
// of the animated path set ZXRC_TEST_ANIMATE_ON_CPU_GL, having no GPU.
bool still_on_cpu_gl(const std::string& gl_renderer) {
    const bool cpu = gl_renderer.find("llvmpipe") != std::string::npos ||
                     gl_renderer.find("softpipe") != std::string::npos;
    const char* force = std::getenv("ZXRC_TEST_ANIMATE_ON_CPU_GL");
    return cpu && !(force && *force == '1');
}

std::string renderer_name(SDL_Renderer* ren, bool* accelerated, bool* vsync) {
    SDL_RendererInfo info{};
    if (!ren || SDL_GetRendererInfo(ren, &info) != 0) {
        if (accelerated) *accelerated = false;
        if (vsync) *vsync = false;
        return "?";
    }
    if (accelerated) *accelerated = (info.flags & SDL_RENDERER_ACCELERATED) != 0;
    if (vsync) *vsync = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    return info.name ? info.name : "?";
}

}  // namespace

// ---- Run ----

int App::run() {
    load_state(paths::config_dir());
    logger::info("language " + L10n::currentLanguage() + ", theme " + m_settings.theme + ", " +
                 raid::name(m_cfg.level) + " " + std::to_string(m_cfg.disks) + " x " +
                 fmt::bytes(m_cfg.disk_bytes));

    if (!init_window()) {
        std::fprintf(stderr, "%s: cannot open a window (no display?); see the log in %s\n", product::kName,
                     m_config_dir.c_str());
        finish_warmup();
        if (m_warm_icon) cairo_surface_destroy(std::exchange(m_warm_icon, nullptr));
        shutdown_window();
        // Nothing started, so the language did not fail: the next start
        // must not fall back to English over a missing display.
        L10n::cleanExit();
        return 1;
    }
    apply_theme();
    watch_system_theme();
    a11y_start();
    finish_warmup();
    set_icon();
    apply_geometry();
    SDL_ShowWindow(m_win);
    x11_plain_title(m_win, product::kName);
    apply_geometry();

    if (zxcrash::pending()) m_modal = Modal::Crash;
    m_moving = true;
    if (m_settings.tab == 1 && has_guide() && m_settings.guide_warn && m_modal == Modal::None)
        m_modal = Modal::GuideWarn;

    loop();

    commit_edit();
    save_now();
    L10n::cleanExit();
    a11y::shutdown();
    shutdown_window();
    logger::info("frames " + std::to_string(m_frames) + ", base repaints " + std::to_string(m_base_paints) +
                 ", overlay repaints " + std::to_string(m_over_paints) + ", inputs shown " +
                 std::to_string(m_inputs_shown) + ", slowest input to frame " + std::to_string(m_input_worst_ms) +
                 " ms, mean " + std::to_string(m_inputs_shown ? m_input_total_ms / m_inputs_shown : 0) + " ms");
    logger::info("clean exit");
    return 0;
}

double App::top_band() const { return m_H < kTallWindow ? kTopBandShort : kTopBandTall; }

double App::page_top() const { return top_band() + (m_notices.empty() ? 0 : kNoticeH); }

double App::view_height() const { return m_H - page_top() - kStatusBarH; }

// ---- Window and renderer ----

bool App::init_window() {
    SDL_SetHint("SDL_NO_SIGNAL_HANDLERS", "1");
    SDL_SetHint("SDL_MOUSE_FOCUS_CLICKTHROUGH", "1");
    SDL_SetHint("SDL_VIDEO_ALLOW_SCREENSAVER", "1");
    SDL_SetHint("SDL_APP_NAME", product::kName);
    SDL_SetHint("SDL_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR", "0");
    SDL_SetHint("SDL_RENDER_DRIVER", "opengl");
    setenv("SDL_VIDEO_X11_WMCLASS", product::kName, 0);

    // Before SDL's video start: SDL's own handler passes errors on to the
    // one it found, and puts that one back when it shuts down.
    x11_tolerate_errors(
        [](void* self) {
            // Settings as they stand, and the language did not fail.
            static_cast<App*>(self)->save_now();
            L10n::cleanExit();
        },
        this);
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const char* display = std::getenv("DISPLAY");
    // Prefer X11 whenever an X server is reachable.
    if (!driver && display && *display) {
        setenv("SDL_VIDEODRIVER", "x11", 1);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            logger::warn(std::string("X11 not reachable (") + SDL_GetError() + "), trying SDL's default");
            unsetenv("SDL_VIDEODRIVER");
            SDL_Quit();
        }
    } else {
        SDL_InitSubSystem(SDL_INIT_VIDEO);
    }
    if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        logger::error(std::string("SDL_Init: ") + SDL_GetError());
        return false;
    }
    // SDL's stand-ins when no display is reachable would run an invisible
    // window for ever.
    const char* chosen = SDL_GetCurrentVideoDriver();
    if (chosen && (std::strcmp(chosen, "offscreen") == 0 || std::strcmp(chosen, "dummy") == 0)) {
        logger::error(std::string("no display: SDL offers only its ") + chosen + " video driver");
        return false;
    }
    // Only now: the environment was changed above and SDL's video start sets
    // the locale for a moment; the fonts' set-up on a second thread reads
    // both, and a change beside a read can crash.
    start_warmup();

    int w = kDefaultW, h = kDefaultH;
    if (force_w >= 1 && force_h >= 1) {
        w = force_w;
        h = force_h;
    } else if (m_settings.full.w >= 1 && m_settings.full.h >= 1) {
        w = m_settings.full.w;
        h = m_settings.full.h;
    }
    m_win = SDL_CreateWindow(product::kName, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h,
                             SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!m_win) {
        logger::error(std::string("SDL_CreateWindow: ") + SDL_GetError());
        return false;
    }
    x11_plain_title(m_win, product::kName);
    // The X events SDL does not turn into its own: a window destroyed by
    // another program, a changed desktop scale, and the test probe's ping.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    read_desktop_scale();
    x11_watch_resources(m_win);
    // At its size in pixels before a renderer is made for it.
    const double units = m_desktop_scale * std::clamp(m_settings.zoom, scale::kZoomMin, scale::kZoomMax) / 100.0;
    if (units != 1) SDL_SetWindowSize(m_win, static_cast<int>(std::lround(w * units)), static_cast<int>(std::lround(h * units)));

    m_ren = create_renderer();
    if (!m_ren) {
        logger::error(std::string("SDL_CreateRenderer: ") + SDL_GetError());
        return false;
    }
    bool accelerated = false, vsync = false;
    const std::string rname = renderer_name(m_ren, &accelerated, &vsync);
    m_software = !accelerated;
    const char* vdriver = SDL_GetCurrentVideoDriver();
    logger::info(std::string("video ") + (vdriver ? vdriver : "?") + ", renderer " + rname +
                 (accelerated ? " (accelerated)" : " (software)") + (vsync ? ", vsync" : ""));

    // Premultiplied "over" for the transparent overlay; plain alpha blending
    // where the renderer cannot do it.
    m_premul = SDL_ComposeCustomBlendMode(SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA,
                                          SDL_BLENDOPERATION_ADD, SDL_BLENDFACTOR_ONE,
                                          SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD);
    if (SDL_Texture* probe = SDL_CreateTexture(m_ren, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, 1, 1)) {
        if (SDL_SetTextureBlendMode(probe, m_premul) != 0) m_premul = SDL_BLENDMODE_BLEND;
        SDL_DestroyTexture(probe);
    } else {
        m_premul = SDL_BLENDMODE_BLEND;
    }

    std::vector<std::string> lines;
    lines.push_back(std::string("Video: ") + (vdriver ? vdriver : "?"));
    lines.push_back("Renderer: " + rname + (accelerated ? " (accelerated)" : " (software)"));
    bool cpu_gl = false;
    std::string glr, glv;
    if (gl_strings(&glr, &glv)) {
        logger::info("OpenGL renderer: " + glr);
        lines.push_back("OpenGL: " + glr + " \xC2\xB7 " + glv);
        cpu_gl = still_on_cpu_gl(glr);
        // The GL drawable takes the window's size when the context is made
        // and reads it again only after a buffer swap: a window shrunk to fit
        // the screen before its first frame would get that frame drawn into
        // the old, taller buffer, the picture shifted down by the difference.
        // One swap now, while the window is hidden, makes it look again.
        SDL_RenderClear(m_ren);
        SDL_RenderPresent(m_ren);
    }
    for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
        SDL_Rect b;
        if (SDL_GetDisplayBounds(i, &b) == 0)
            lines.push_back("Display " + std::to_string(i) + ": " + std::to_string(b.w) + "x" + std::to_string(b.h));
    }
    zxcrash::record_graphics(lines);

    if (cpu_gl) {
        logger::info("Mesa renders on the CPU: still bars and lights, 24 frames per second");
        m_software = true;
    }
    gpu::init(m_ren, m_software);
    update_scale();
    probe_start();
    return true;
}

SDL_Renderer* App::create_renderer() {
    std::string names;
    for (int i = 0; i < SDL_GetNumRenderDrivers(); ++i) {
        SDL_RendererInfo info{};
        if (SDL_GetRenderDriverInfo(i, &info) != 0) continue;
        if (!names.empty()) names += ", ";
        names += info.name ? info.name : "?";
    }
    logger::info("render drivers: " + names);
    // SDL shows a software renderer's picture through an OpenGL texture of its
    // own when it can: without a GPU that starts the whole CPU OpenGL stack
    // (a fifth of a second and some 50 MB) only to copy one bitmap, which the
    // window system does directly. A hint from the environment still wins.
    const char* driver = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    auto plain_framebuffer = [] { SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0"); };
    if (driver && SDL_strcasecmp(driver, "software") == 0) plain_framebuffer();
    for (Uint32 flags : {Uint32(SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC),
                         Uint32(SDL_RENDERER_ACCELERATED), Uint32(SDL_RENDERER_SOFTWARE)}) {
        if (flags == SDL_RENDERER_SOFTWARE) plain_framebuffer();
        if (SDL_Renderer* r = SDL_CreateRenderer(m_win, -1, flags)) return r;
    }
    return nullptr;
}

bool App::recover_renderer() {
    logger::warn("graphics device reset - recreating the renderer");
    gpu::shutdown();
    for (Layer* l : {&m_base, &m_over, &m_thumb}) {
        if (l->tex) SDL_DestroyTexture(l->tex);
        l->tex = nullptr;
        l->pw = l->ph = 0;
    }
    m_page.release();
    if (m_ren) SDL_DestroyRenderer(m_ren);
    m_ren = create_renderer();
    const uint32_t now = SDL_GetTicks();
    if (!m_ren) {
        logger::error(std::string("renderer could not be recreated, retrying: ") + SDL_GetError());
        m_gpu_retry_at = now + kRetryLostMs;
        return false;
    }
    bool accelerated = false;
    const std::string rname = renderer_name(m_ren, &accelerated, nullptr);
    std::string glr, glv;
    m_software = !accelerated || (gl_strings(&glr, &glv) && still_on_cpu_gl(glr));
    logger::info("renderer now " + rname + (accelerated ? " (accelerated)" : " (software)"));
    if (accelerated) {
        m_gpu_retry_at = 0;
        m_gpu_retry_left = 0;
    } else if (m_gpu_retry_at == 0 && m_gpu_retry_left == 0) {
        m_gpu_retry_left = kAccelRetries;
        m_gpu_retry_at = now + kRetryAccelMs;
    } else if (m_gpu_retry_left-- > 0) {
        m_gpu_retry_at = now + kRetryAccelMs;
    } else {
        m_gpu_retry_at = 0;
        m_gpu_retry_left = 0;
    }
    gpu::init(m_ren, m_software);
    update_scale();
    invalidate();
    invalidate_over();
    return true;
}

void App::shutdown_window() {
    for (SDL_Cursor*& c : m_cursors) {
        if (c) SDL_FreeCursor(c);
        c = nullptr;
    }
    m_base.release();
    m_over.release();
    m_thumb.release();
    m_page.release();
    gpu::shutdown();
    if (m_ren) SDL_DestroyRenderer(m_ren);
    m_ren = nullptr;
    if (m_win) SDL_DestroyWindow(m_win);
    m_win = nullptr;
    if (SDL_WasInit(0)) SDL_Quit();
}

void App::update_scale() {
    if (!m_win) return;
    int ww = 0, wh = 0, ow = 0, oh = 0;
    SDL_GetWindowSize(m_win, &ww, &wh);
    if (m_ren) SDL_GetRendererOutputSize(m_ren, &ow, &oh);
    // SDL's own density (under its Wayland driver) times what it leaves to us.
    m_units = m_desktop_scale * zoom_percent() / 100.0;
    m_k = (ww > 0 && ow > 0 ? double(ow) / ww : 1.0) * m_units;
    if (m_ren) SDL_RenderSetViewport(m_ren, nullptr);
    m_win_w = ww;
    m_win_h = wh;
    const double lw = ww / m_units, lh = wh / m_units;
    const bool resized = lw != m_W || lh != m_H;
    m_W = lw;
    m_H = lh;
    // A window that grew shows more of the page rather than space below it.
    if (resized)
        for (int tab = 0; tab < 2; ++tab)
            m_scroll[tab] = std::clamp(m_scroll[tab], 0.0, std::max(0.0, m_content_h[tab] - view_height()));
}

cairo_surface_t* App::render_icon() {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kIconPx, kIconPx);
    cairo_t* cr = cairo_create(s);
    cairo_scale(cr, kIconPx / kIconDesign, kIconPx / kIconDesign);
    draw_store_icon(cr, kIconDesign);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    return s;
}

void App::set_icon() {
    // Made on the start-up thread, which has been joined by now.
    cairo_surface_t* s = std::exchange(m_warm_icon, nullptr);
    if (!s) return;
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return;
    }
    // Window icons take straight alpha; cairo keeps it premultiplied.
    unsigned char* px = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < kIconPx; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(px + y * stride);
        for (int x = 0; x < kIconPx; ++x) {
            const uint32_t v = row[x];
            const uint32_t a = v >> 24;
            if (a == 0 || a == 255) continue;
            auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
            row[x] = a << 24 | un(v >> 16 & 0xFF) << 16 | un(v >> 8 & 0xFF) << 8 | un(v & 0xFF);
        }
    }
    if (SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(px, kIconPx, kIconPx, 32, stride,
                                                               SDL_PIXELFORMAT_ARGB8888)) {
        SDL_SetWindowIcon(m_win, icon);
        SDL_FreeSurface(icon);
    }
    cairo_surface_destroy(s);
}

