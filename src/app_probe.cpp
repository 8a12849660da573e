// The window tests' barrier. With ZXRC_TEST_PROBE naming a file, the window
// answers a "_ZXRC_PING" client message by writing its state, its settings
// and the hits of both layers to that file, once every event queued before
// the ping has been handled and a frame painted after them is on screen. A
// test sends the ping after its input, so the answer says "your input has
// been seen and shown" and tells where each control now is. Without the
// variable none of this runs. ZXRC_TEST_PAINT_DELAY_MS slows every layer
// repaint, standing in for a busy machine.
// First, before the X11 headers bring their macros (None, Bool …).
#include "app.h"

#include <SDL_syswm.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "l10n.h"

namespace {

constexpr const char* kProbeVar = "ZXRC_TEST_PROBE";
constexpr const char* kDelayVar = "ZXRC_TEST_PAINT_DELAY_MS";
constexpr const char* kPingAtom = "_ZXRC_PING";
constexpr int kMaxPaintDelayMs = 5000;

void put_hits(std::ostringstream& out, const char* layer, const std::vector<Hit>& hits) {
    for (const Hit& h : hits)
        if (!h.hidden)
            out << "hit " << layer << ' ' << h.x << ' ' << h.y << ' ' << h.w << ' ' << h.h << ' ' << h.n << ' '
                << h.on << ' ' << h.id << '\n';
}

}  // namespace

void App::probe_start() {
    if (const char* d = std::getenv(kDelayVar)) m_paint_delay_ms = std::clamp(std::atoi(d), 0, kMaxPaintDelayMs);
    const char* path = std::getenv(kProbeVar);
    if (!path || !*path || !m_win) return;
    m_probe_atom = x11_atom(m_win, kPingAtom);
    if (m_probe_atom == 0) return;
    m_probe_path = path;
}

void App::probe_event(const SDL_Event& e) {
    const SDL_SysWMmsg* m = e.syswm.msg;
    if (m_probe_path.empty() || !m || m->subsystem != SDL_SYSWM_X11) return;
    const XEvent& x = m->msg.x11.event;
    if (x.type == ClientMessage && x.xclient.message_type == m_probe_atom) m_probe_seq = x.xclient.data.l[0];
}

bool App::probe_due() const {
    if (m_probe_seq < 0) return false;
    // A hidden window paints nothing: nothing to wait for.
    const bool shown = m_win && !(SDL_GetWindowFlags(m_win) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
    return !shown || (!base_due() && !m_over_dirty);
}

void App::probe_answer() {
    std::ostringstream out;
    out.precision(10);
    const int tab = std::clamp(m_settings.tab, 0, 1);
    const Uint32 flags = m_win ? SDL_GetWindowFlags(m_win) : 0;
    out << "seq " << m_probe_seq << '\n'
        << "frame " << m_frames << '\n'
        << "paints " << m_base_paints + m_over_paints << '\n'
        << "painted_ahead " << m_ahead_paints << '\n'
        << "ahead_due " << ahead_due() << '\n'
        << "tab " << tab << '\n'
        << "modal " << static_cast<int>(m_modal) << '\n'
        << "menu " << (m_menu.open ? m_menubar_open : -2) << '\n'
        << "save_pending " << (m_save_at != 0) << '\n'
        << "focus " << ((flags & SDL_WINDOW_INPUT_FOCUS) != 0) << '\n'
        << "edit " << m_edit << '\n'
        << "edit_text " << m_edit_text << '\n'
        << "scroll " << m_scroll[tab] << '\n'
        << "content " << m_content_h[tab] << '\n'
        << "view " << view_height() << '\n'
        << "set_tab " << m_set_tab << '\n'
        << "set_scroll " << m_set_scroll << '\n'
        << "lang_scroll " << m_lang_scroll << '\n'
        << "dark " << m_dark << '\n'
        << "tip " << m_tip_shown << '\n'
        << "hover " << m_hover << '\n'
        << "over_hover " << m_over_hover << '\n'
        << "hold " << m_hold << '\n'
        << "moving " << m_moving << '\n'
        << "pointer_shape " << static_cast<int>(m_pointer) << '\n'
        << "size " << m_W << ' ' << m_H << '\n'
        << "scale " << m_k << '\n'
        << "units " << m_units << '\n'
        << "zoom " << zoom_percent() << '\n'
        << "zoom_cap " << m_zoom_cap << '\n'
        << "shown " << m_shown_n << ' ' << m_shown_us << ' ' << m_shown_cpu_us << '\n'
        << "pointer " << m_mx << ' ' << m_my << '\n'
        << "notice " << (m_notices.empty() ? "" : m_notices.front()) << '\n'
        << "confirm " << m_confirm_text << '\n'
        << "confirm_ok " << m_confirm_ok << '\n'
        << "language " << L10n::currentLanguage() << '\n'
        << "key_focus " << (modal_or_menu() ? m_focus_over : m_focus_base) << '\n'
        << "ring " << m_focus_ring << '\n'
        << "keys " << m_keys_seen << ' ' << SDL_GetKeyName(m_last_key.sym) << ' ' << m_last_key.mod << '\n';
    Settings s = m_settings;
    s.failed = join_indices(m_failed);
    s.failed_spares = join_indices(m_failed_spares);
    std::istringstream lines(s.text());
    for (std::string line; std::getline(lines, line);) out << "set " << line << '\n';
    put_hits(out, "b", m_hits);
    put_hits(out, "o", m_over_hits);
    out << "end\n";
    m_probe_seq = -1;
    // The frame reported must be in the server before a test takes a screenshot.
    x11_sync(m_win);

    // Whole or not at all: the test reads the file as soon as it appears.
    const std::string tmp = m_probe_path + ".tmp";
    if (FILE* f = std::fopen(tmp.c_str(), "w")) {
        const std::string text = out.str();
        const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        if (std::fclose(f) == 0 && ok) std::rename(tmp.c_str(), m_probe_path.c_str());
    }
}

void App::probe_delay() const {
    if (m_paint_delay_ms > 0) usleep(static_cast<useconds_t>(m_paint_delay_ms) * 1000);
}
