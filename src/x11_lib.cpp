#include "x11_lib.h"

#include <dlfcn.h>

namespace {

template <typename F>
void load(void* lib, F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(lib, name));
}

}  // namespace

const X11Lib& x11_lib() {
    static const X11Lib fns = [] {
        X11Lib f;
        void* lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return f;
        load(lib, f.store_name, "XStoreName");
        load(lib, f.flush, "XFlush");
        load(lib, f.sync, "XSync");
        load(lib, f.intern_atom, "XInternAtom");
        load(lib, f.set_error_handler, "XSetErrorHandler");
        load(lib, f.set_io_error_handler, "XSetIOErrorHandler");
        load(lib, f.get_property, "XGetWindowProperty");
        load(lib, f.free, "XFree");
        load(lib, f.get_attributes, "XGetWindowAttributes");
        load(lib, f.select_input, "XSelectInput");
        load(lib, f.root, "XDefaultRootWindow");
        return f;
    }();
    return fns;
}

bool x11_info(SDL_Window* w, SDL_SysWMinfo* info) {
    if (!w) return false;
    SDL_VERSION(&info->version);
    return SDL_GetWindowWMInfo(w, info) && info->subsystem == SDL_SYSWM_X11;
}
