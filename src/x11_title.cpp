// The legacy X11 window name (WM_NAME), set beside the UTF-8 name SDL
// already sets, for window managers and task bars that read only the old
// one; and an X error handler that logs instead of ending the program.
#include "x11_lib.h"

#include <string>
#include <utility>

#include "logger.h"

namespace {

constexpr int kLoggedXErrors = 20;

// Xlib's own handler ends the process on any protocol error. Some are
// harmless races: SDL wakes its event wait with a message to the window on
// a second connection, which can reach the server after the window is gone,
// and the error is read when SDL closes that connection at exit. A run must
// not end, or end with a failure, over one of those.
int log_x_error(Display*, XErrorEvent* e) {
    static int seen = 0;
    if (++seen <= kLoggedXErrors)
        logger::warn("X error " + std::to_string(e->error_code) + " on request " + std::to_string(e->request_code) +
                     "." + std::to_string(e->minor_code) + ", resource " + std::to_string(e->resourceid) +
                     (seen == kLoggedXErrors ? " (further X errors are not logged)" : ""));
    return 0;
}

void (*g_on_lost)(void*) = nullptr;
void* g_lost_ctx = nullptr;

// The X server went away or closed the connection. Xlib ends the process
// once this returns; until then the run can still say why and keep its work.
int display_lost(Display*) {
    static bool once = false;
    if (std::exchange(once, true)) return 0;
    logger::error("connection to the display lost, the program ends");
    if (g_on_lost) g_on_lost(g_lost_ctx);
    return 0;
}

}  // namespace

void x11_tolerate_errors(void (*on_lost)(void*), void* ctx) {
    g_on_lost = on_lost;
    g_lost_ctx = ctx;
    const X11Lib& f = x11_lib();
    if (f.set_error_handler) f.set_error_handler(log_x_error);
    if (f.set_io_error_handler) f.set_io_error_handler(display_lost);
}

void x11_plain_title(SDL_Window* w, const char* title) {
    SDL_SysWMinfo info;
    const X11Lib& f = x11_lib();
    if (!x11_info(w, &info) || !f.store_name) return;
    f.store_name(info.info.x11.display, info.info.x11.window, title);
    if (f.flush) f.flush(info.info.x11.display);
}

bool x11_window_destroyed(SDL_Window* w, const SDL_Event& e) {
    const SDL_SysWMmsg* m = e.type == SDL_SYSWMEVENT ? e.syswm.msg : nullptr;
    if (!m || m->subsystem != SDL_SYSWM_X11) return false;
    SDL_SysWMinfo info;
    return x11_info(w, &info) && m->msg.x11.event.type == DestroyNotify &&
           m->msg.x11.event.xdestroywindow.window == info.info.x11.window;
}

unsigned long x11_atom(SDL_Window* w, const char* name) {
    SDL_SysWMinfo info;
    const X11Lib& f = x11_lib();
    if (!x11_info(w, &info) || !f.intern_atom) return 0;
    return f.intern_atom(info.info.x11.display, name, False);
}

void x11_sync(SDL_Window* w) {
    SDL_SysWMinfo info;
    const X11Lib& f = x11_lib();
    if (x11_info(w, &info) && f.sync) f.sync(info.info.x11.display, False);
}
