// The X resource database on the root window (RESOURCE_MANAGER), where the
// desktop keeps Xft.dpi, its text and interface scale. Read afresh each
// time rather than through Xlib's copy made at connection, so a change of
// the desktop's scale is seen while the program runs. libX11 is loaded at
// run time (x11_lib).
#include "x11_lib.h"

#include <X11/Xatom.h>

#include <string>

#include "app_scale.h"

namespace {

// The database is a few kilobytes; this is how much is read at most, in 32-bit units.
constexpr long kMaxResourceWords = 1 << 16;

// The window's display, where every call used here is there.
Display* display_of(SDL_Window* w) {
    const X11Lib& f = x11_lib();
    SDL_SysWMinfo info;
    if (!(f.get_property && f.free && f.get_attributes && f.select_input && f.root && f.flush) || !x11_info(w, &info))
        return nullptr;
    return info.info.x11.display;
}

}  // namespace

std::string x11_resources(SDL_Window* w) {
    Display* d = display_of(w);
    if (!d) return "";
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    const X11Lib& f = x11_lib();
    std::string text;
    if (f.get_property(d, f.root(d), XA_RESOURCE_MANAGER, 0, kMaxResourceWords, False, XA_STRING, &type, &format,
                       &count, &left, &data) == Success &&
        data && format == 8)
        text.assign(reinterpret_cast<const char*>(data), count);
    if (data) f.free(data);
    return text;
}

void x11_watch_resources(SDL_Window* w) {
    Display* d = display_of(w);
    if (!d) return;
    const X11Lib& f = x11_lib();
    // The mask is per connection: SDL may already ask the root window for events.
    XWindowAttributes attrs{};
    const long had = f.get_attributes(d, f.root(d), &attrs) ? attrs.your_event_mask : 0;
    f.select_input(d, f.root(d), had | PropertyChangeMask);
    f.flush(d);
}

bool x11_resources_changed(SDL_Window* w, const SDL_Event& e) {
    const SDL_SysWMmsg* m = e.type == SDL_SYSWMEVENT ? e.syswm.msg : nullptr;
    if (!m || m->subsystem != SDL_SYSWM_X11) return false;
    const XEvent& x = m->msg.x11.event;
    if (x.type != PropertyNotify || x.xproperty.atom != XA_RESOURCE_MANAGER) return false;
    Display* d = display_of(w);
    return d && x.xproperty.window == x11_lib().root(d);
}
