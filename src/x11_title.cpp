// The legacy X11 window name (WM_NAME), set beside the UTF-8 name SDL
// already sets, for window managers and task bars that read only the old
// one. libX11 is loaded at run time so the program needs no X11 link.
// First, before the X11 headers bring their macros (None, Bool …).
#include "app.h"

#include <SDL_syswm.h>
#include <dlfcn.h>

namespace {

using StoreName = int (*)(void*, unsigned long, const char*);
using Flush = int (*)(void*);

struct X11 {
    StoreName store_name = nullptr;
    Flush flush = nullptr;
};

const X11& x11() {
    static const X11 fns = [] {
        X11 f;
        if (void* lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL)) {
            f.store_name = reinterpret_cast<StoreName>(dlsym(lib, "XStoreName"));
            f.flush = reinterpret_cast<Flush>(dlsym(lib, "XFlush"));
        }
        return f;
    }();
    return fns;
}

}  // namespace

void x11_plain_title(SDL_Window* w, const char* title) {
    if (!w) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11) return;
    const X11& f = x11();
    if (!f.store_name) return;
    f.store_name(info.info.x11.display, info.info.x11.window, title);
    if (f.flush) f.flush(info.info.x11.display);
}
