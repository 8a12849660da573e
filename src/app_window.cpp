// The interactive run: one SDL window, a renderer, two cairo layers painted
// only when dirty and composed with the accelerated bars and lights, the
// event loop with its timers, renderer recovery, and the window geometry
// remembered across runs with the decorations measured and corrected.
//
//   ---- Signals ----
//   ---- Run ----
//   ---- Window and renderer ----
//   ---- Loop and events ----
//   ---- Layers ----
//   ---- Geometry ----
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <glib.h>

#include "app.h"
#include "format.h"
#include "gpu.h"
#include "l10n.h"
#include "logger.h"
#include "paths.h"
#include "store_art.h"
#include "version.h"
#include "zxcrash.h"

std::atomic<bool> g_sig_quit{false};
std::atomic<bool> g_sig_raise{false};

namespace {

constexpr int kDefaultW = 1280, kDefaultH = 800;
constexpr uint32_t kWaitAnimMs = 4, kWaitEditMs = 50, kWaitIdleMs = 100;
constexpr uint32_t kFrameSoftwareMs = 41, kFrameLightsMs = 33, kFrameMs = 16, kFrameUnfocusedMs = 33;
constexpr uint32_t kStartupConfirmMs = 20000;
constexpr uint32_t kHoldRepeatMs = 70;
constexpr int kMaxHoldCatchUp = 50;  // steps in one pass after a stall
constexpr uint32_t kTooltipDelayMs = 650;
constexpr uint32_t kRetryLostMs = 1000, kRetryAccelMs = 3000;
constexpr int kAccelRetries = 9;
constexpr uint32_t kFrameCheckMs = 400;
constexpr int kFrameMaxOffset = 79;
constexpr double kMaxAnimStep = 0.1;
constexpr double kTopBandShort = 148, kTopBandTall = 180;
constexpr int kIconPx = 64;
constexpr double kIconDesign = 1024;
constexpr int kFallbackAreaW = 1920, kFallbackAreaH = 1080;
constexpr int kMinLimitW = 100, kMaxLimitW = 720, kMinLimitH = 60, kMaxLimitH = 520;
constexpr double kDefaultWidthShare = 0.56;
constexpr int kDefaultMinW = 1100, kDefaultMaxW = 1760;
constexpr int kVerticalChrome = 80;
constexpr double kScrollbarMinThumb = 30;
constexpr int kPaintPasses = 2;

bool ticks_passed(uint32_t at, uint32_t now) { return at != 0 && static_cast<int32_t>(now - at) >= 0; }

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

void free_layer(App::Layer& l) {
    if (l.tex) SDL_DestroyTexture(l.tex);
    if (l.surf) cairo_surface_destroy(l.surf);
    l = App::Layer{};
}

}  // namespace

// ---- Signals ----

void on_signal(int sig) {
    if (sig == SIGUSR1)
        g_sig_raise.exchange(true);
    else
        g_sig_quit.exchange(true);
}

void install_signal_handlers() {
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaction(s, &sa, nullptr);
}

// ---- Run ----

int App::run() {
    install_signal_handlers();
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
    shutdown_window();
    logger::info("frames " + std::to_string(m_frames) + ", base repaints " + std::to_string(m_base_paints) +
                 ", overlay repaints " + std::to_string(m_over_paints) + ", inputs shown " +
                 std::to_string(m_inputs_shown) + ", slowest input to frame " + std::to_string(m_input_worst_ms) +
                 " ms, mean " + std::to_string(m_inputs_shown ? m_input_total_ms / m_inputs_shown : 0) + " ms");
    logger::info("clean exit");
    return 0;
}

double App::top_band() const { return m_H < kTallWindow ? kTopBandShort : kTopBandTall; }

double App::view_height() const { return m_H - top_band() - kStatusBarH; }

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
        cpu_gl = glr.find("llvmpipe") != std::string::npos || glr.find("softpipe") != std::string::npos;
    }
    for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
        SDL_Rect b;
        if (SDL_GetDisplayBounds(i, &b) == 0)
            lines.push_back("Display " + std::to_string(i) + ": " + std::to_string(b.w) + "x" + std::to_string(b.h));
    }
    zxcrash::record_graphics(lines);

    gpu::init(m_ren, m_software);
    if (cpu_gl) {
        logger::info("Mesa renders on the CPU: animation limited to 24 frames per second");
        m_software = true;
    }
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
    for (Layer* l : {&m_base, &m_over}) {
        if (l->tex) SDL_DestroyTexture(l->tex);
        l->tex = nullptr;
        l->pw = l->ph = 0;
    }
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
    m_software = !accelerated;
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
    free_layer(m_base);
    free_layer(m_over);
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
    m_k = ww > 0 && ow > 0 ? double(ow) / ww : 1.0;
    if (m_ren) SDL_RenderSetViewport(m_ren, nullptr);
    const bool resized = ww != m_W || wh != m_H;
    m_W = ww;
    m_H = wh;
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

// ---- Loop and events ----

void App::loop() {
    m_loop_start = SDL_GetTicks();
    m_last_step = m_loop_start;
    while (m_running) {
        if (probe_due()) probe_answer();
        const bool lights = m_settings.animate && gpu::has_lights() && gpu::available();
        uint32_t wait = kWaitIdleMs;
        if (lights || m_moving || !m_hold.empty())
            wait = kWaitAnimMs;
        else if (!m_edit.empty())
            wait = kWaitEditMs;
        // A changed layer is painted in the next frame slot, not after an idle wait.
        if (m_dirty || m_over_dirty) {
            const uint32_t since = SDL_GetTicks() - m_last_present;
            const uint32_t interval = frame_interval(lights);
            wait = std::min(wait, since >= interval ? 0 : interval - since);
        }

        SDL_Event e;
        if (SDL_WaitEventTimeout(&e, static_cast<int>(wait))) {
            handle(e);
            while (m_running && SDL_PollEvent(&e)) handle(e);
        }
        if (g_sig_quit.load() && m_running) {
            logger::info("quit requested by a signal");
            m_running = false;
        }
        if (g_sig_raise.exchange(false) && m_win) {
            SDL_RestoreWindow(m_win);
            SDL_RaiseWindow(m_win);
        }
        if (!m_running) break;

        uint32_t now = SDL_GetTicks();
        if (ticks_passed(m_gpu_retry_at, now)) {
            m_gpu_retry_at = 0;
            m_gpu_lost = false;
            recover_renderer();
        } else if (m_gpu_lost || !m_ren) {
            m_gpu_lost = false;
            recover_renderer();
        }
        if (!m_ren) continue;

        while (g_main_context_iteration(nullptr, FALSE)) {
        }

        now = SDL_GetTicks();
        if (ticks_passed(m_copied_until, now)) {
            m_copied_until = 0;
            m_copied_cmd = -1;
            invalidate();
        }
        // Each repeat is due one period after the last one was due, so slow
        // frames delay the steps but never lose them.
        for (int n = 0; !m_hold.empty() && ticks_passed(m_hold_next, now) && n < kMaxHoldCatchUp; ++n) {
            const size_t colon = m_hold.find(':');
            const std::string field = m_hold.substr(0, colon);
            const int dir = colon != std::string::npos && m_hold.substr(colon + 1) == "plus" ? 1 : -1;
            step_value(field, dir);
            m_hold_next += kHoldRepeatMs;
        }
        if (!m_startup_confirmed && now - m_loop_start >= kStartupConfirmMs) {
            m_startup_confirmed = true;
            L10n::startupSucceeded();
        }
        if (ticks_passed(m_frame_check_at, now)) {
            m_frame_check_at = 0;
            int x = 0, y = 0;
            SDL_GetWindowPosition(m_win, &x, &y);
            const int dx = x - m_req_x, dy = y - m_req_y;
            if (std::abs(dx) <= kFrameMaxOffset && std::abs(dy) <= kFrameMaxOffset) {
                m_frame_dx = dx;
                m_frame_dy = dy;
            }
        }
        if (ticks_passed(m_save_at, now)) {
            m_save_at = 0;
            save_now();
        }
        if (!m_edit.empty() && ticks_passed(m_blink_at, now)) {
            m_caret_on = !m_caret_on;
            m_blink_at = now + kCaretBlinkMs;
            invalidate();
        }
        if (!m_tip_shown && m_mx >= 0 && now - m_hover_since > kTooltipDelayMs) {
            const Hit* h = hit_at(m_mx, m_my, modal_or_menu());
            if (h && !h->tip.empty()) {
                m_tip_shown = true;
                invalidate_over();
            }
        }

        const Uint32 flags = SDL_GetWindowFlags(m_win);
        if (flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) continue;
        // A size the window system settled on without a resize event (seen
        // without a window manager) must not leave a stale layer on screen.
        int ww = 0, wh = 0;
        SDL_GetWindowSize(m_win, &ww, &wh);
        if (ww != static_cast<int>(m_W) || wh != static_cast<int>(m_H)) {
            update_scale();
            invalidate();
            invalidate_over();
        }

        const bool moving = m_moving || !m_hold.empty();
        if (now - m_last_present < frame_interval(lights)) continue;
        // Input that changed nothing has no frame to wait for.
        const bool input_shown = m_input_at != 0 && (m_dirty || m_over_dirty);
        if (!input_shown) m_input_at = 0;

        bool painted = false;
        if (m_dirty) {
            m_dirty = false;
            paint_layer(m_base, true, &App::paint_base);
            painted = true;
        }
        if (m_over_dirty) {
            m_over_dirty = false;
            // Most of the time nothing floats over the page: no layer to
            // clear, paint and upload, and none to blend at every frame.
            if (has_overlay()) {
                paint_layer(m_over, false, &App::paint_over);
            } else {
                m_over_hits.clear();
                m_has_over = false;
            }
            painted = true;
        }
        if (!painted && !lights && !moving) {
            m_last_step = now;
            continue;
        }
        const double dt = std::min(kMaxAnimStep, (now - m_last_step) / 1000.0);
        m_moving = gpu::step(dt, m_settings.animate);
        compose();
        m_last_present = now;
        m_last_step = now;
        if (input_shown) {
            const uint32_t ms = SDL_GetTicks() - m_input_at;
            m_input_worst_ms = std::max(m_input_worst_ms, ms);
            m_input_total_ms += ms;
            ++m_inputs_shown;
            m_input_at = 0;
        }
    }
}

uint32_t App::frame_interval(bool lights) const {
    if (m_software) return kFrameSoftwareMs;
    if (!m_focus) return kFrameUnfocusedMs;
    return lights && !m_moving && m_hold.empty() ? kFrameLightsMs : kFrameMs;
}

void App::handle(const SDL_Event& e) {
    const bool input = e.type == SDL_MOUSEBUTTONDOWN || e.type == SDL_MOUSEWHEEL || e.type == SDL_KEYDOWN ||
                       e.type == SDL_TEXTINPUT;
    if (input && m_input_at == 0) m_input_at = std::max<Uint32>(e.common.timestamp, 1);
    switch (e.type) {
    case SDL_QUIT:
        logger::info("quit requested by the window system");
        m_running = false;
        break;
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_EXPOSED:
            update_scale();
            invalidate();
            invalidate_over();
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            update_scale();
            invalidate();
            invalidate_over();
            queue_save();
            break;
        case SDL_WINDOWEVENT_MOVED:
            queue_save();
            break;
        case SDL_WINDOWEVENT_LEAVE:
            m_hold.clear();
            m_mx = m_my = -1;
            if (!m_hover.empty()) {
                m_hover.clear();
                invalidate();
            }
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            m_focus = true;
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            m_focus = false;
            break;
        case SDL_WINDOWEVENT_DISPLAY_CHANGED: {
            int x = 0, y = 0, w = 0, h = 0;
            SDL_GetWindowPosition(m_win, &x, &y);
            SDL_GetWindowSize(m_win, &w, &h);
            bool found = false;
            fit_limits(work_area(x + w / 2, y + h / 2, &found));
            update_scale();
            invalidate();
            invalidate_over();
            break;
        }
        default:
            break;
        }
        break;
    case SDL_RENDER_TARGETS_RESET:
        invalidate();
        invalidate_over();
        break;
    case SDL_RENDER_DEVICE_RESET:
        m_gpu_lost = true;
        break;
    case SDL_KEYDOWN:
        key(e.key.keysym);
        break;
    case SDL_TEXTINPUT:
        text_input(e.text.text);
        break;
    case SDL_MOUSEMOTION:
        mouse_move(e.motion.x, e.motion.y);
        break;
    case SDL_MOUSEBUTTONDOWN: {
        const int b = e.button.button == SDL_BUTTON_LEFT ? 1 : e.button.button == SDL_BUTTON_RIGHT ? 3 : 2;
        mouse_down(e.button.x, e.button.y, b, e.button.clicks);
        break;
    }
    case SDL_MOUSEBUTTONUP:
        m_hold.clear();
        break;
    case SDL_SYSWMEVENT:
        probe_event(e);
        break;
    case SDL_MOUSEWHEEL: {
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        if (e.wheel.y > 0)
            wheel(x, y, -1);
        else if (e.wheel.y < 0)
            wheel(x, y, +1);
        break;
    }
    default:
        break;
    }
}

// ---- Layers ----

void App::paint_layer(Layer& layer, bool opaque, void (App::*paint)(cairo_t*)) {
    int pw = 0, ph = 0;
    SDL_GetRendererOutputSize(m_ren, &pw, &ph);
    if (pw < 1 || ph < 1) return;
    if (!(layer.surf && layer.tex && layer.pw == pw && layer.ph == ph)) {
        free_layer(layer);
        layer.surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph);
        layer.tex = SDL_CreateTexture(m_ren, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, pw, ph);
        if (!layer.tex || cairo_surface_status(layer.surf) != CAIRO_STATUS_SUCCESS) {
            free_layer(layer);
            return;
        }
        SDL_SetTextureBlendMode(layer.tex, opaque ? SDL_BLENDMODE_NONE : m_premul);
        layer.pw = pw;
        layer.ph = ph;
    }
    settle_scrolls();
    cairo_surface_set_device_scale(layer.surf, m_k, m_k);
    cairo_t* cr = cairo_create(layer.surf);
    // The base starts with the window's background, which covers every pixel.
    if (!opaque) {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    (this->*paint)(cr);
    probe_delay();
    cairo_destroy(cr);
    cairo_surface_flush(layer.surf);
    SDL_UpdateTexture(layer.tex, nullptr, cairo_image_surface_get_data(layer.surf),
                      cairo_image_surface_get_stride(layer.surf));
    ++(opaque ? m_base_paints : m_over_paints);
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
    m_hits.clear();
    gfx::window_bg(cr, m_W, m_H, m_pal);

    const int tab = std::clamp(m_settings.tab, 0, 1);
    const double top = top_band();
    const double bottom = m_H - kStatusBarH;
    const double offset = top - m_scroll[tab];
    cairo_save(cr);
    cairo_rectangle(cr, 0, top, m_W, std::max(0.0, bottom - top));
    cairo_clip(cr);
    cairo_translate(cr, 0, offset);
    gpu::begin(cr);
    m_content_h[tab] = tab == 0 ? paint_page(cr, m_W) : paint_guide(cr, m_W);
    gpu::end();
    cairo_restore(cr);

    const double view = view_height();

    // Page hits into window coordinates, cut to the page area.
    std::vector<Hit> page;
    page.reserve(m_hits.size());
    for (Hit h : m_hits) {
        h.y += offset;
        const double y0 = std::max(h.y, top), y1 = std::min(h.y + h.h, bottom);
        if (y1 - y0 <= 0) continue;
        h.y = y0;
        h.h = y1 - y0;
        page.push_back(std::move(h));
    }
    m_hits = std::move(page);

    // A page that became shorter keeps its offset for now (see scroll_page):
    // the bar then counts the gap below the content as content.
    const double content = std::max(m_content_h[tab], m_scroll[tab] + view);
    if (content > view + 1 && view > 0) {
        const double t = view * view / content;
        const double thumb = t <= kScrollbarMinThumb ? kScrollbarMinThumb - 4 : t - 4;
        const double y = top + 2 + m_scroll[tab] / (content - view) * (view - std::max(t, kScrollbarMinThumb));
        gfx::rounded(cr, m_W - 9, y, 5, thumb, 2.5);
        gfx::set(cr, gfx::with_alpha(m_pal.faint, 0.55));
        cairo_fill(cr);
    }

    paint_header(cr, m_W);
    paint_statusbar(cr, m_W, m_H - kStatusBarH);
}

bool App::has_overlay() const { return m_modal != Modal::None || m_menu.open || m_tip_shown; }

void App::paint_over(cairo_t* cr) {
    m_over_hits.clear();
    m_has_over = false;
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
    }
    if (m_menu.open) {
        paint_menu(cr);
        m_has_over = true;
    }
    if (m_tip_shown) {
        paint_tooltip(cr);
        m_has_over = true;
    }
}

void App::compose() {
    // The opaque base covers the whole window; a clear is needed only without it.
    if (m_base.tex) {
        SDL_RenderCopy(m_ren, m_base.tex, nullptr, nullptr);
    } else {
        SDL_SetRenderDrawColor(m_ren, 0, 0, 0, 255);
        SDL_RenderClear(m_ren);
    }
    const double top = top_band();
    const SDL_Rect clip{0, static_cast<int>(std::lround(m_k * top)), static_cast<int>(std::lround(m_k * m_W)),
                        static_cast<int>(std::lround(m_k * (m_H - kStatusBarH - top)))};
    gpu::render(m_k, clip, m_settings.animate);
    if (m_has_over && m_over.tex) SDL_RenderCopy(m_ren, m_over.tex, nullptr, nullptr);
    SDL_RenderPresent(m_ren);
    if (m_frames++ == 0) logger::info("first frame presented");
}

bool App::snapshot(double W, double H, double scale, const std::string& base_png,
                   const std::string& over_png) {
    m_W = W;
    m_H = H;
    m_k = scale;
    if (m_pal.bg.a == 1 && m_pal.bg.r == 0 && m_pal.bg.g == 0 && m_pal.bg.b == 0) m_pal = Palette::make(m_dark);
    const int pw = static_cast<int>(std::lround(W * scale)), ph = static_cast<int>(std::lround(H * scale));
    bool ok = true;
    for (int layer = 0; layer < 2; ++layer) {
        const std::string& path = layer == 0 ? base_png : over_png;
        settle_scrolls();
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph);
        cairo_surface_set_device_scale(s, scale, scale);
        cairo_t* cr = cairo_create(s);
        if (layer == 0)
            paint_base(cr);
        else
            paint_over(cr);
        cairo_destroy(cr);
        if (!path.empty()) ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS && ok;
        cairo_surface_destroy(s);
    }
    return ok;
}

// ---- Geometry ----

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

void App::fit_limits(const SDL_Rect& usable) {
    int t, l, b, r;
    frame_extents(&t, &l, &b, &r);
    SDL_SetWindowMinimumSize(m_win, std::clamp(usable.w - l - r, kMinLimitW, kMaxLimitW),
                             std::clamp(usable.h - t - b, kMinLimitH, kMaxLimitH));
}

void App::place(int x, int y, int w, int h) {
    bool found = false;
    SDL_Rect area = work_area(x + w / 2, y + 10, &found);
    if (!found) {
        x = area.x + (area.w - w) / 2;
        y = area.y + (area.h - h) / 2;
    }
    int t, l, b, r;
    frame_extents(&t, &l, &b, &r);
    const int min_x = area.x + l, min_y = area.y + t;
    const int max_x = area.x + area.w - w - r, max_y = area.y + area.h - h - b;
    auto limit = [](int v, int lo, int hi) { return v < lo ? lo : std::min(v, std::max(hi, lo)); };
    m_req_x = limit(x, min_x, max_x);
    m_req_y = limit(y, min_y, max_y);
    SDL_SetWindowPosition(m_win, m_req_x, m_req_y);
    m_frame_check_at = std::max<uint32_t>(1, SDL_GetTicks() + kFrameCheckMs);
}

void App::apply_geometry() {
    const Geometry& g = m_settings.full;
    const bool valid = g.w > 0 && g.h > 0 && g.has_pos;
    bool found = false;
    const SDL_Rect area = valid ? work_area(g.x + g.w / 2, g.y + 10, &found) : work_area(0, 0, &found);
    int w, h;
    if (force_w >= 1 && force_h >= 1) {
        w = force_w;
        h = force_h;
    } else if (g.w > 0 && g.h > 0) {
        w = g.w;
        h = g.h;
    } else {
        w = std::clamp(static_cast<int>(area.w * kDefaultWidthShare), kDefaultMinW, kDefaultMaxW);
        h = std::min(area.h - kVerticalChrome, w * 10 / 16);
    }
    int t, l, b, r;
    frame_extents(&t, &l, &b, &r);
    const int chrome = std::max(kVerticalChrome, t + b);
    const int room = area.w - l - r;
    fit_limits(area);
    w = std::min(w, std::max(room, kMinLimitW));
    h = std::min(h, std::max(area.h - chrome, kMinLimitH));
    SDL_SetWindowSize(m_win, w, h);
    if (valid)
        place(g.x, g.y, w, h);
    else
        place(area.x + (area.w - w) / 2, area.y + (area.h - h) / 2, w, h);
    update_scale();
    invalidate();
    invalidate_over();
}

void App::remember_geometry() {
    if (!m_win || (force_w >= 1 && force_h >= 1)) return;
    const Uint32 f = SDL_GetWindowFlags(m_win);
    if (f & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED | SDL_WINDOW_HIDDEN)) return;
    Geometry& g = m_settings.full;
    SDL_GetWindowSize(m_win, &g.w, &g.h);
    int x = 0, y = 0;
    SDL_GetWindowPosition(m_win, &x, &y);
    g.x = x - m_frame_dx;
    g.y = y - m_frame_dy;
    g.has_pos = true;
}
