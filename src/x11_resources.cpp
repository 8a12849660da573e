// The X resource database on the root window (RESOURCE_MANAGER), where the
// desktop keeps Xft.dpi, its text and interface scale. Read afresh each
// time rather than through Xlib's copy made at connection, so a change of
// the desktop's scale is seen while the program runs. libX11 is loaded at
// run time, as for the title.
// First, before the X11 headers bring their macros (None, Bool …).
#include "app.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <dlfcn.h>

#include <string>

#include "app_scale.h"

namespace {

using GetProperty = int (*)(Display*, Window, Atom, long, long, Bool, Atom, Atom*, int*, unsigned long*,
                            unsigned long*, unsigned char**);
using Free = int (*)(void*);
using GetAttributes = Status (*)(Display*, Window, XWindowAttributes*);
using SelectInput = int (*)(Display*, Window, long);
using RootWindowOf = Window (*)(Display*);
using Flush = int (*)(Display*);

// The database is a few kilobytes; this is how much is read at most, in 32-bit units.
constexpr long kMaxResourceWords = 1 << 16;

struct X11 {
    GetProperty get_property = nullptr;
    Free free = nullptr;
    GetAttributes get_attributes = nullptr;
    SelectInput select_input = nullptr;
    RootWindowOf root = nullptr;
    Flush flush = nullptr;
    bool ok() const { return get_property && free && get_attributes && select_input && root && flush; }
};

const X11& x11() {
    static const X11 fns = [] {
        X11 f;
        if (void* lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL)) {
            f.get_property = reinterpret_cast<GetProperty>(dlsym(lib, "XGetWindowProperty"));
            f.free = reinterpret_cast<Free>(dlsym(lib, "XFree"));
            f.get_attributes = reinterpret_cast<GetAttributes>(dlsym(lib, "XGetWindowAttributes"));
            f.select_input = reinterpret_cast<SelectInput>(dlsym(lib, "XSelectInput"));
            f.root = reinterpret_cast<RootWindowOf>(dlsym(lib, "XDefaultRootWindow"));
            f.flush = reinterpret_cast<Flush>(dlsym(lib, "XFlush"));
        }
        return f;
    }();
    return fns;
}

Display* display_of(SDL_Window* w) {
    if (!w || !x11().ok()) return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
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
    const X11& f = x11();
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
    const X11& f = x11();
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
    return d && x.xproperty.window == x11().root(d);
}
