// Configuration directory, packaging kind and executable directory. Empty
// environment variables count as unset throughout.
#include "paths.h"

#include <cstdlib>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "version.h"

namespace paths {

namespace detail {

// The home folder the system keeps for this user, or "".
std::string home_from_passwd() {
    const passwd* pw = getpwuid(getuid());
    return pw && pw->pw_dir && *pw->pw_dir == '/' ? pw->pw_dir : "";
}

HomeLookup& user_home() {
    static HomeLookup lookup = home_from_passwd;
    return lookup;
}

}  // namespace detail

namespace {

constexpr size_t kLinkMax = 4096;

const char* env(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

std::string compute_config_dir() {
    std::string dir;
    const std::string passwd_home = env("XDG_CONFIG_HOME") || env("HOME") ? "" : detail::user_home()();
    if (const char* xdg = env("XDG_CONFIG_HOME"))
        dir = std::string(xdg) + "/" + product::kName;
    else if (const char* home = env("HOME"))
        dir = std::string(home) + "/.config/" + product::kName;
    else if (!passwd_home.empty())
        // Without HOME (a service, an emptied environment) the folder must
        // not depend on where the program happened to start.
        dir = passwd_home + "/.config/" + product::kName;
    else
        dir = std::string(".") + product::kName;
    mkpath(dir);
    return dir;
}

}  // namespace

std::string config_dir() {
    static const std::string dir = compute_config_dir();
    return dir;
}

const char* package_kind() {
    if (env("SNAP")) return "snap";
    if (env("FLATPAK_ID")) return "flatpak";
    if (env("APPDIR")) return "appimage";
    return "plain";
}

std::string exe_dir() {
    char buf[kLinkMax];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    const std::string link(buf, static_cast<size_t>(n));
    const size_t slash = link.rfind('/');
    if (slash == std::string::npos) return ".";
    return link.substr(0, slash);
}

void mkpath(const std::string& path) {
    std::string prefix;
    for (size_t i = 0; i <= path.size(); ++i) {
        if ((i == path.size() || path[i] == '/') && prefix.size() >= 2) mkdir(prefix.c_str(), 0700);
        if (i < path.size()) prefix += path[i];
    }
}

bool is_sandboxed() { return env("SNAP") || env("FLATPAK_ID"); }

}  // namespace paths
