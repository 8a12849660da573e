// The X11 bridge inside this process, on a private X server: a protocol
// error (here a message to a window that does not exist, as SDL's wake-up
// can send at exit) is logged and the process goes on; Xlib's own handler
// would have ended it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "app.h"
#include "kit.h"
#include "logger.h"
#include "wkit.h"
// Last: the X11 headers bring macros (None, Bool …) the others trip over.
#include <SDL_syswm.h>

namespace {

using SendEvent = int (*)(Display*, Window, int, long, XEvent*);
using Sync = int (*)(Display*, int);

TEST(X11Errors, AreLoggedAndTheRunGoesOn) {
    wkit::Xvfb x;
    ASSERT_TRUE(x.ok());
    setenv("DISPLAY", x.display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    const std::string dir = kit::scratch_dir("x11errors");
    logger::init(dir, "x11errors");
    x11_tolerate_errors();
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_Window* w = SDL_CreateWindow("x11 errors", 0, 0, 64, 64, SDL_WINDOW_HIDDEN);
    ASSERT_NE(w, nullptr) << SDL_GetError();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(w, &info));
    void* lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr);
    const auto send = reinterpret_cast<SendEvent>(dlsym(lib, "XSendEvent"));
    const auto sync = reinterpret_cast<Sync>(dlsym(lib, "XSync"));
    ASSERT_TRUE(send && sync);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.format = 32;
    const Window gone = info.info.x11.window + 4096;  // never created
    e.xclient.window = gone;

    // While SDL runs, and answered only when SDL closes the connection.
    send(info.info.x11.display, gone, 0, 0, &e);
    sync(info.info.x11.display, 0);
    send(info.info.x11.display, gone, 0, 0, &e);
    SDL_DestroyWindow(w);
    SDL_Quit();
    logger::shutdown();
    const std::string log = kit::read_file(dir + "/x11errors.log");
    const std::string bad_send = "X error 3 on request 25";  // BadWindow, SendEvent
    const size_t first = log.find(bad_send);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(bad_send, first + 1), std::string::npos) << log;
    unsetenv("SDL_VIDEODRIVER");
}

}  // namespace
