// Where the program keeps its files and how it was installed.
#pragma once

#include <string>

namespace paths {

// The per-user configuration directory, created on the first call and cached
// for the life of the process. No trailing slash.
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

}  // namespace paths
