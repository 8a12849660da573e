// Where the program keeps its files and how it was installed.
#pragma once

#include <string>

namespace paths {

// The per-user configuration directory, created on the first call and cached
// for the life of the process: below $XDG_CONFIG_HOME, else $HOME/.config,
// else the home folder of the user database. No trailing slash.
std::string config_dir();
// "snap", "flatpak", "appimage" or "plain".
const char* package_kind();
// Directory of the running executable, no trailing slash ("." when unknown).
std::string exe_dir();
// True inside a snap or flatpak sandbox.
bool is_sandboxed();
// Creates the directory and its missing ancestors, owner-only. Failures are
// not reported: they show up when files in it cannot be opened.
void mkpath(const std::string& path);

namespace detail {

// Where the system's user database says this user's home is; tests put
// their own lookup in place.
using HomeLookup = std::string (*)();
HomeLookup& user_home();

}  // namespace detail

}  // namespace paths
