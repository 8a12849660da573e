// Bridges to the desktop: the light or dark preference (settings portal,
// then GTK_THEME, then the GTK settings file) followed live while the theme
// is "auto", opening links, and the clipboard. Every service may be missing;
// then the program quietly keeps its fallback.
#include <dlfcn.h>
#include <sys/stat.h>
#include <gio/gio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app.h"
#include "logger.h"

namespace {

constexpr int kPortalTimeoutMs = 500;
constexpr uint32_t kCopiedMs = 1600;
constexpr size_t kIniLine = 512;
constexpr const char* kPortalBus = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kPortalIface = "org.freedesktop.portal.Settings";
constexpr const char* kAppearance = "org.freedesktop.appearance";
constexpr const char* kColorScheme = "color-scheme";

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// 1 dark, 0 light, -1 no answer: the portal's reply unwrapped.
int scheme_of(GVariant* reply) {
    if (!reply) return -1;
    GVariant* v = nullptr;
    g_variant_get(reply, "(v)", &v);
    while (v && g_variant_is_of_type(v, G_VARIANT_TYPE_VARIANT)) {
        GVariant* inner = g_variant_get_variant(v);
        g_variant_unref(v);
        v = inner;
    }
    int answer = -1;
    if (v && g_variant_is_of_type(v, G_VARIANT_TYPE_UINT32)) {
        const guint32 s = g_variant_get_uint32(v);
        answer = s == 1 ? 1 : s == 2 ? 0 : -1;
    }
    if (v) g_variant_unref(v);
    return answer;
}

// Without an address or the user bus socket GLib would "autolaunch" a bus
// daemon of its own: a calculator must not leave one behind to read a theme.
bool session_bus_exists() {
    if (const char* a = std::getenv("DBUS_SESSION_BUS_ADDRESS"); a && *a) return true;
    const char* run = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    return run && *run && stat((std::string(run) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}


// The desktop's preference without the portal: GTK_THEME, then the first
// GTK 3 settings file that can be opened.
bool fallback_prefers_dark() {
    if (const char* t = std::getenv("GTK_THEME")) return lower(t).find("dark") != std::string::npos;
    std::vector<std::string> candidates;
    if (const char* x = std::getenv("XDG_CONFIG_HOME")) candidates.push_back(std::string(x) + "/gtk-3.0/settings.ini");
    for (const char* var : {"SNAP_REAL_HOME", "HOME"})
        if (const char* h = std::getenv(var)) candidates.push_back(std::string(h) + "/.config/gtk-3.0/settings.ini");
    for (const std::string& path : candidates) {
        FILE* f = std::fopen(path.c_str(), "r");
        if (!f) continue;
        bool dark = false;
        char line[kIniLine];
        while (std::fgets(line, sizeof line, f)) {
            const std::string l = line;
            if (l.find("gtk-application-prefer-dark-theme") != std::string::npos &&
                (l.find('1') != std::string::npos || l.find("true") != std::string::npos))
                dark = true;
            if (l.find("gtk-theme-name") != std::string::npos && lower(l).find("dark") != std::string::npos)
                dark = true;
        }
        std::fclose(f);
        return dark;
    }
    return false;
}

void install_palette(App* app, bool dark) {
    app->m_dark = dark;
    app->m_pal = Palette::make(dark);
    app->invalidate();
    app->invalidate_over();
}

// The theme in force: the command line's, else the saved one.
bool follows_desktop(const App* app) {
    const std::string& t = app->force_theme.empty() ? app->m_settings.theme : app->force_theme;
    return t != "dark" && t != "light";
}

void on_reread(GObject* source, GAsyncResult* res, gpointer data) {
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), res, nullptr);
    const int scheme = scheme_of(reply);
    if (reply) g_variant_unref(reply);
    App* app = static_cast<App*>(data);
    app->m_system_dark = scheme >= 0 ? scheme == 1 : fallback_prefers_dark();
    if (follows_desktop(app)) install_palette(app, app->m_system_dark);
}

// Asks the portal again without waiting for it; the answer arrives through
// the loop's GLib iteration.
void reread(App* app) {
    g_dbus_connection_call(App::session_bus(), kPortalBus, kPortalPath, kPortalIface, "Read",
                           g_variant_new("(ss)", kAppearance, kColorScheme), G_VARIANT_TYPE("(v)"),
                           G_DBUS_CALL_FLAGS_NONE, kPortalTimeoutMs, nullptr, on_reread, app);
}

void on_setting_changed(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                        GVariant* params, gpointer data) {
    const gchar* ns = nullptr;
    const gchar* key = nullptr;
    GVariant* value = nullptr;
    g_variant_get(params, "(&s&sv)", &ns, &key, &value);
    if (value) g_variant_unref(value);
    App* app = static_cast<App*>(data);
    if (!ns || !key || std::strcmp(ns, kAppearance) != 0 || std::strcmp(key, kColorScheme) != 0) return;
    const bool follows = app->m_settings.theme == "auto";
    logger::info(std::string("desktop colour scheme changed") + (follows ? "" : ", the theme stays " + app->m_settings.theme));
    if (follows) app->apply_theme();
}

using OpenUrlFn = int (*)(const char*);

OpenUrlFn sdl_open_url() {
    static OpenUrlFn fn = [] {
        void* self = dlsym(RTLD_DEFAULT, "SDL_OpenURL");
        if (self) return reinterpret_cast<OpenUrlFn>(self);
        void* lib = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        return lib ? reinterpret_cast<OpenUrlFn>(dlsym(lib, "SDL_OpenURL")) : nullptr;
    }();
    return fn;
}

}  // namespace

GDBusConnection* App::session_bus() {
    static GDBusConnection* bus = [] {
        if (!session_bus_exists()) return static_cast<GDBusConnection*>(nullptr);
        GDBusConnection* b = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        // A bus that goes away takes the theme signal with it, not the program.
        if (b) g_dbus_connection_set_exit_on_close(b, FALSE);
        return b;
    }();
    return bus;
}

void App::apply_theme() {
    if (!follows_desktop(this)) {
        install_palette(this, (force_theme.empty() ? m_settings.theme : force_theme) == "dark");
    } else if (m_portal_sub) {
        // Once the loop runs, the last known answer stands until the portal's
        // new one arrives: the window never waits for the desktop.
        install_palette(this, m_system_dark);
        reread(this);
    } else {
        m_system_dark = system_prefers_dark();
        install_palette(this, m_system_dark);
    }
}

bool App::system_prefers_dark() {
    if (GDBusConnection* bus = session_bus()) {
        GVariant* reply = g_dbus_connection_call_sync(
            bus, kPortalBus, kPortalPath, kPortalIface, "Read", g_variant_new("(ss)", kAppearance, kColorScheme),
            G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, kPortalTimeoutMs, nullptr, nullptr);
        const int scheme = scheme_of(reply);
        if (reply) g_variant_unref(reply);
        if (scheme >= 0) return scheme == 1;
    }
    return fallback_prefers_dark();
}

void App::watch_system_theme() {
    GDBusConnection* bus = session_bus();
    if (!bus || m_portal_sub) return;
    m_portal_sub = g_dbus_connection_signal_subscribe(bus, kPortalBus, kPortalIface, "SettingChanged", kPortalPath,
                                                      nullptr, G_DBUS_SIGNAL_FLAGS_NONE, on_setting_changed, this,
                                                      nullptr);
}

void App::open_url(const std::string& url) {
    if (OpenUrlFn fn = sdl_open_url(); fn && fn(url.c_str()) == 0) return;
    // Detached twice, so the handler's run time never blocks the window and
    // no zombie is left behind.
    const pid_t child = fork();
    if (child < 0) return;
    if (child == 0) {
        if (fork() == 0) {
            execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

void App::copy(const std::string& s) {
    // The copied mark only for text that really reached the clipboard.
    if (SDL_SetClipboardText(s.c_str()) != 0) return;
    invalidate();
    m_copied_until = SDL_GetTicks() + kCopiedMs;
}
