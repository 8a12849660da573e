// libX11, loaded once at run time, so the program needs no X11 link: the
// few calls beside SDL's own that the title, the error handlers and the
// desktop's resource database need. A function libX11 lacks stays null.
#pragma once
// First, before the X11 headers bring their macros (None, Bool …).
#include "app.h"

#include <SDL_syswm.h>

struct X11Lib {
    using ErrorHandler = int (*)(Display*, XErrorEvent*);
    using IoErrorHandler = int (*)(Display*);
    int (*store_name)(Display*, Window, const char*) = nullptr;
    int (*flush)(Display*) = nullptr;
    int (*sync)(Display*, Bool) = nullptr;
    Atom (*intern_atom)(Display*, const char*, Bool) = nullptr;
    ErrorHandler (*set_error_handler)(ErrorHandler) = nullptr;
    IoErrorHandler (*set_io_error_handler)(IoErrorHandler) = nullptr;
    int (*get_property)(Display*, Window, Atom, long, long, Bool, Atom, Atom*, int*, unsigned long*,
                        unsigned long*, unsigned char**) = nullptr;
    int (*free)(void*) = nullptr;
    Status (*get_attributes)(Display*, Window, XWindowAttributes*) = nullptr;
    int (*select_input)(Display*, Window, long) = nullptr;
    Window (*root)(Display*) = nullptr;
};
const X11Lib& x11_lib();

// The X11 display and window of an SDL window; false where it has none.
bool x11_info(SDL_Window* w, SDL_SysWMinfo* info);
