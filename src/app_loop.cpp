// The event loop: it waits for SDL events as long as nothing animates,
// runs the timers (copied mark, stepper repeat, start-up confirmation,
// decoration check, save, caret, tooltip), and paints at most once per
// frame interval, the base and the overlay each only when dirty.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "app.h"
#include "app_scale.h"
#include "gpu.h"
#include "l10n.h"
#include "logger.h"
#include "zxcrash.h"

namespace {

constexpr uint32_t kWaitAnimMs = 4, kWaitEditMs = 50, kWaitIdleMs = 100;
constexpr uint32_t kFrameSoftwareMs = 41, kFrameLightsMs = 33, kFrameMs = 16, kFrameUnfocusedMs = 33;
constexpr uint32_t kStartupConfirmMs = 20000;
constexpr uint32_t kHoldRepeatMs = 70;
constexpr int kMaxHoldCatchUp = 50;  // steps in one pass after a stall
constexpr uint32_t kTooltipDelayMs = 650;
constexpr int kFrameMaxOffset = 79;
constexpr double kMaxAnimStep = 0.1;
constexpr uint32_t kPrefetchQuietMs = 120;

uint64_t clock_us(clockid_t id) {
    timespec t{};
    clock_gettime(id, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000000 + static_cast<uint64_t>(t.tv_nsec) / 1000;
}

bool ticks_passed(uint32_t at, uint32_t now) { return at != 0 && static_cast<int32_t>(now - at) >= 0; }

}  // namespace

void App::loop() {
    m_loop_start = SDL_GetTicks();
    glib_start();
    m_last_step = m_loop_start;
    while (m_running) {
        if (m_rehover && !base_due() && !m_over_dirty) {
            m_rehover = false;
            if (m_mx >= 0) mouse_move(m_mx, m_my);
        }
        if (probe_due()) probe_answer();
        const bool lights = m_settings.animate && gpu::has_lights() && gpu::available();
        uint32_t wait = kWaitIdleMs;
        if (lights || m_moving || !m_hold.empty())
            wait = kWaitAnimMs;
        else if (!m_edit.empty())
            wait = kWaitEditMs;
        // A changed layer is painted in the next frame slot, not after an idle wait.
        if (base_due() || m_over_dirty) {
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

        glib_turn();

        now = SDL_GetTicks();
        if (m_watch_send && zxcrash::last_send() != zxcrash::Sent::Pending) {
            m_watch_send = false;
            if (zxcrash::last_send() == zxcrash::Sent::LinkOnly) notify("note.report_link");
            if (zxcrash::last_send() == zxcrash::Sent::Failed) notify("note.report_failed");
        }
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
            invalidate_edit();
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
        if (ww != m_win_w || wh != m_win_h) {
            update_scale();
            invalidate();
            invalidate_over();
        }

        const bool moving = m_moving || !m_hold.empty();
        if (now - m_last_present < frame_interval(lights)) continue;
        // Input that changed nothing has no frame to wait for.
        const bool input_shown = m_input_at != 0 && (base_due() || m_over_dirty);
        if (!input_shown) m_input_at = 0;
        const bool timed = m_timed_us != 0 && (base_due() || m_over_dirty);
        if (!timed) m_timed_us = 0;

        bool painted = false;
        gfx::begin_frame();
        if (m_dirty || !m_chrome_damage.empty()) {
            paint_chrome_layer();
            painted = true;
        }
        if (paint_page_layer() || std::exchange(m_view_moved, false)) painted = true;
        if (m_over_dirty) {
            m_over_dirty = false;
            // Most of the time nothing floats over the page: no layer to
            // clear, paint and upload, and none to blend at every frame.
            if (has_overlay()) {
                paint_over_layer();
            } else {
                m_over_hits.clear();
                m_has_over = false;
                settle_focus();
            }
            painted = true;
        }
        if (!painted && !lights && !moving) {
            m_last_step = now;
            // Quiet for a moment: the bands beside the view, one pass at a time.
            if (now - m_last_input >= kPrefetchQuietMs) prefetch_page();
            continue;
        }
        const double dt = std::min(kMaxAnimStep, (now - m_last_step) / 1000.0);
        m_moving = gpu::step(dt, m_settings.animate);
        compose();
        if (painted) a11y_publish();
        m_last_present = now;
        m_last_step = now;
        if (timed) {
            m_shown_us = clock_us(CLOCK_MONOTONIC) - m_timed_us;
            m_shown_cpu_us = clock_us(CLOCK_THREAD_CPUTIME_ID) - m_timed_cpu_us;
            ++m_shown_n;
            m_timed_us = 0;
        }
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
    if (input || e.type == SDL_MOUSEMOTION) m_last_input = SDL_GetTicks();
    const bool resized = e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED;
    if ((input || e.type == SDL_MOUSEMOTION || resized) && m_timed_us == 0) {
        m_timed_us = clock_us(CLOCK_MONOTONIC);
        m_timed_cpu_us = clock_us(CLOCK_THREAD_CPUTIME_ID);
    }
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
                invalidate_hit(m_hover);
                m_hover.clear();
            }
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            m_focus = true;
            a11y::window_active(true);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            m_focus = false;
            a11y::window_active(false);
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
        ++m_keys_seen;
        m_last_key = e.key.keysym;
        key(e.key.keysym);
        break;
    case SDL_TEXTINPUT:
        text_input(e.text.text);
        break;
    // Pointer positions come in window units: pixels on X11.
    case SDL_MOUSEMOTION:
        mouse_move(e.motion.x / m_units, e.motion.y / m_units);
        break;
    case SDL_MOUSEBUTTONDOWN: {
        const int b = e.button.button == SDL_BUTTON_LEFT ? 1 : e.button.button == SDL_BUTTON_RIGHT ? 3 : 2;
        mouse_down(e.button.x / m_units, e.button.y / m_units, b, e.button.clicks);
        break;
    }
    case SDL_MOUSEBUTTONUP: {
        const int b = e.button.button == SDL_BUTTON_LEFT ? 1 : e.button.button == SDL_BUTTON_RIGHT ? 3 : 2;
        mouse_up(e.button.x / m_units, e.button.y / m_units, b);
        break;
    }
    case SDL_SYSWMEVENT:
        if (x11_window_destroyed(m_win, e)) {
            // Like a close: what is on screen is saved on the way out.
            logger::info("window destroyed by another program");
            m_running = false;
        }
        if (x11_resources_changed(m_win, e)) desktop_scale_changed();
        probe_event(e);
        break;
    case SDL_MOUSEWHEEL: {
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        // A touchpad's fine steps come as fractions; a wheel's as whole steps.
        const double dy = e.wheel.preciseY != 0 ? -e.wheel.preciseY : -e.wheel.y;
        if (dy != 0) wheel(x / m_units, y / m_units, dy);
        break;
    }
    default:
        break;
    }
}

