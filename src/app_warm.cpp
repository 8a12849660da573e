// Start-up work that needs no window. Creating the window and the
// renderer keep one core busy for a while; meanwhile a second thread loads
// the graphics driver when the renderer will be an OpenGL one, sets up the
// fonts (fontconfig reads its configuration and caches) and renders the
// window icon. Nothing on the main thread draws text until `finish_warmup`
// has joined it.
#include "app.h"

#include <dlfcn.h>
#include <link.h>
#include <pango/pangocairo.h>

#include <cstring>
#include <string>

namespace {

// Asked once SDL's video is up, so the answer is SDL's own choice.
bool wants_opengl() {
    const char* video = SDL_GetCurrentVideoDriver();
    const char* render = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    return video && std::strcmp(video, "x11") == 0 && render && std::strcmp(render, "opengl") == 0;
}

// The library SDL opens, the X11 vendor library behind it, and Mesa's
// driver, which brings LLVM: loading them is most of an OpenGL renderer's
// start. Mesa keeps its drivers in "dri" beside its own library; the handles
// stay open, so SDL's later loads find them in place.
void load_gl_driver() {
    if (!dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL)) return;
    void* mesa = dlopen("libGLX_mesa.so.0", RTLD_NOW | RTLD_LOCAL);
    link_map* where = nullptr;
    if (!mesa || dlinfo(mesa, RTLD_DI_LINKMAP, &where) != 0 || !where || !where->l_name) return;
    std::string dir = where->l_name;
    const size_t slash = dir.rfind('/');
    if (slash == std::string::npos) return;
    dir.erase(slash + 1);
    dlopen((dir + "dri/swrast_dri.so").c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

void App::start_warmup() {
    const bool gl = wants_opengl();
    m_warm = std::jthread([this, gl] {
        if (gl) load_gl_driver();
        PangoFontMap* fonts = pango_cairo_font_map_new();
        pango_cairo_font_map_set_default(PANGO_CAIRO_FONT_MAP(fonts));
        m_warm_icon = render_icon();
        m_warm_fonts = fonts;
    });
}

void App::finish_warmup() {
    if (!m_warm.joinable()) return;
    m_warm.join();
    // The font map is per thread: the main thread takes over the warm one.
    if (m_warm_fonts) {
        pango_cairo_font_map_set_default(PANGO_CAIRO_FONT_MAP(m_warm_fonts));
        g_object_unref(m_warm_fonts);
        m_warm_fonts = nullptr;
    }
}
