// Describes the machine in one-line texts for the log and crash reports:
// operating system, kernel, processor, memory, session, installation, sound
// cards and graphics devices. Every reader degrades to a fixed text; nothing
// is cached, so a fixture tree set with set_sys_root is read like the real one.
//
// Index: Readers / Operating system, processor, memory / Sound and graphics /
//        Installation / System lines
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <gnu/libc-version.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include "zxcrash_detail.h"

namespace zxcrash {

namespace {

constexpr size_t kExeLinkMax = 1023;
constexpr size_t kRpmOutputMax = 255;
constexpr size_t kCommitShown = 12;
constexpr size_t kReadBlock = 4096;
constexpr long long kKiBPerMB = 1024;  // meminfo counts kilobytes
const std::string kPackageField = "Package: ";
const std::string kVersionField = "Version: ";
const std::string kArchField = "Architecture: ";
constexpr const char* kDpkgStatus = "/var/lib/dpkg/status";
constexpr const char* kDpkgInfo = "/var/lib/dpkg/info/";
constexpr const char* kPacmanLocal = "/var/lib/pacman/local";
constexpr const char* kRpm = "/usr/bin/rpm";
constexpr const char* kDrm = "/sys/class/drm";
constexpr const char* kDpkgArchs[] = {"", ":amd64", ":arm64"};

std::string g_sys_root;

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return out;
}

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<std::string> dir_entries(const std::string& dir, bool* opened) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (opened) *opened = d != nullptr;
    if (!d) return names;
    while (const dirent* e = readdir(d)) names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// The value after "key:" in a /proc/meminfo text, in kilobytes; -1 if absent.
long long meminfo_value(const std::string& text, const std::string& key) {
    for (const auto& line : split_lines(text)) {
        if (starts_with(line, key + ":")) return std::strtoll(line.c_str() + key.size() + 1, nullptr, 10);
    }
    return -1;
}

// The "Version: " of the stanza "Package: <name>" in the dpkg status text;
// with an architecture, the stanza of that architecture is preferred.
std::string dpkg_version(const std::string& status, const std::string& name, const std::string& arch) {
    std::string found, other;
    bool in = false;
    std::string version, stanza_arch;
    auto close_stanza = [&]() {
        if (in && !version.empty()) {
            if (arch.empty() || stanza_arch == arch || stanza_arch == "all") found = version;
            else if (other.empty()) other = version;
        }
        in = false;
        version.clear();
        stanza_arch.clear();
        return !found.empty();
    };
    for (const auto& line : split_lines(status)) {
        if (line.empty()) {
            if (close_stanza()) return found;
        } else if (starts_with(line, kPackageField)) {
            if (close_stanza()) return found;
            in = detail::trim(line.substr(kPackageField.size())) == name;
        } else if (in && starts_with(line, kVersionField)) {
            version = detail::trim(line.substr(kVersionField.size()));
        } else if (in && starts_with(line, kArchField)) {
            stanza_arch = detail::trim(line.substr(kArchField.size()));
        }
    }
    close_stanza();
    return found.empty() ? other : found;
}

}  // namespace

namespace detail {

// ---- Readers ----

void set_sys_root(const std::string& root) { g_sys_root = root; }

std::string sys_path(const std::string& path) { return g_sys_root + path; }

bool read_file(const std::string& path, std::string& out) {
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rbe");
    if (!f) return false;
    char buf[kReadBlock];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return !out.empty();
}

std::string os_value(const std::string& text, const std::string& key) {
    for (const auto& line : split_lines(text)) {
        if (!starts_with(line, key + "=")) continue;
        std::string v = line.substr(key.size() + 1);
        if (v.size() > 1 && (v[0] == '"' || v[0] == '\'')) v = v.substr(1, v.size() - 2);
        return v;
    }
    return "";
}

bool list_has(const std::string& file, const std::string& path) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line == path) return true;
    return false;
}

std::string trim(const std::string& s) {
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == '\t' || s[end - 1] == '\n' || s[end - 1] == ' ')) --end;
    size_t begin = 0;
    while (begin < end && (s[begin] == ' ' || s[begin] == '\t')) ++begin;
    return s.substr(begin, end - begin);
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

const char* package_kind() {
    if (!env("SNAP").empty()) return "snap";
    if (!env("FLATPAK_ID").empty()) return "flatpak";
    if (!env("APPDIR").empty()) return "appimage";
    return "plain";
}

// ---- Operating system, processor, memory ----

std::string os_line() {
    const std::string kind = package_kind();
    std::vector<std::string> files;
    if (kind == "snap")
        files = {"/var/lib/snapd/hostfs/etc/os-release", "/var/lib/snapd/hostfs/usr/lib/os-release"};
    else if (kind == "flatpak")
        files = {"/run/host/etc/os-release", "/run/host/usr/lib/os-release"};
    else
        files = {"/etc/os-release", "/usr/lib/os-release"};
    std::string text;
    for (const auto& f : files) {
        if (!read_file(sys_path(f), text)) continue;
        std::string line = os_value(text, "PRETTY_NAME") + " (" + os_value(text, "ID");
        const std::string version = os_value(text, "VERSION_ID");
        const std::string like = os_value(text, "ID_LIKE");
        if (!version.empty()) line += " " + version;
        if (!like.empty()) line += ", like " + like;
        return line + ")";
    }
    // In a sandbox that hides the host, at least name the runtime.
    if (kind != "plain" &&
        (read_file(sys_path("/etc/os-release"), text) || read_file(sys_path("/usr/lib/os-release"), text)))
        return "host not readable from the sandbox; sandbox: " + os_value(text, "PRETTY_NAME");
    return "unknown";
}

std::string cpu_line() {
    std::string text;
    if (!read_file(sys_path("/proc/cpuinfo"), text)) return "unknown";
    std::string model;
    long counted = 0;
    for (const auto& line : split_lines(text)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = trim(line.substr(0, colon));
        if (key == "processor") ++counted;
        else if (key == "model name" && model.empty()) model = trim(line.substr(colon + 1));
    }
    if (model.empty()) model = "unknown";
    long threads = sysconf(_SC_NPROCESSORS_ONLN);
    if (threads < 1) threads = counted;
    return model + ", " + std::to_string(threads) + " threads";
}

std::string mem_line() {
    std::string text;
    read_file(sys_path("/proc/meminfo"), text);
    const long long total = meminfo_value(text, "MemTotal");
    const long long available = meminfo_value(text, "MemAvailable");
    std::string line = total > 0 ? std::to_string(total / kKiBPerMB) + " MB" : "unknown";
    if (available >= 0) line += ", available " + std::to_string(available / kKiBPerMB) + " MB";
    return line;
}

// ---- Sound and graphics ----

std::vector<std::string> alsa_cards() {
    std::string text;
    if (!read_file(sys_path("/proc/asound/cards"), text)) return {"ALSA cards: not readable"};
    std::vector<std::string> out;
    for (const auto& line : split_lines(text)) {
        const std::string t = trim(line);
        if (!t.empty() && t[0] >= '0' && t[0] <= '9') out.push_back("ALSA card " + t);
    }
    if (out.empty()) out.push_back("ALSA cards: none");
    return out;
}

}  // namespace detail

std::vector<std::string> gpu_lines() {
    using namespace detail;
    bool opened = false;
    const auto names = dir_entries(sys_path(kDrm), &opened);
    if (!opened) return {"GPUs: /sys/class/drm not readable"};
    std::vector<std::string> out;
    for (const auto& name : names) {
        // Connectors (card0-HDMI-A-1) are not cards.
        if (!starts_with(name, "card") || name.find('-') != std::string::npos) continue;
        const std::string base = sys_path(std::string(kDrm) + "/" + name + "/device/");
        std::string vendor, device, sub_vendor, sub_device, boot_vga;
        read_file(base + "vendor", vendor);
        read_file(base + "device", device);
        read_file(base + "subsystem_vendor", sub_vendor);
        read_file(base + "subsystem_device", sub_device);
        read_file(base + "boot_vga", boot_vga);
        std::string driver = "?";
        char link[kExeLinkMax + 1];
        const ssize_t n = readlink((base + "driver").c_str(), link, kExeLinkMax);
        if (n > 0) {
            const std::string target(link, static_cast<size_t>(n));
            driver = target.substr(target.rfind('/') + 1);
        }
        std::string line = "GPU " + name + ": PCI " + trim(vendor) + ":" + trim(device);
        if (!trim(sub_vendor).empty()) line += " (subsystem " + trim(sub_vendor) + ":" + trim(sub_device) + ")";
        line += ", driver " + driver;
        if (trim(boot_vga) == "1") line += ", boot_vga";
        out.push_back(line);
    }
    if (out.empty()) out.push_back("GPUs: none in /sys/class/drm");
    return out;
}

// ---- Installation ----

namespace detail {

std::string exe_path() {
    char buf[kExeLinkMax + 1];
    const ssize_t n = readlink(sys_path("/proc/self/exe").c_str(), buf, kExeLinkMax);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string from_dpkg(const std::string& path, const std::string& guess, bool scan_all) {
    const std::string info = sys_path(kDpkgInfo);
    std::string owner;  // as the list file names it, perhaps "name:arch"
    if (!guess.empty()) {
        for (const char* arch : kDpkgArchs) {
            if (list_has(info + guess + arch + ".list", path)) {
                owner = guess + arch;
                break;
            }
        }
    }
    if (owner.empty() && scan_all) {
        for (const auto& entry : dir_entries(info, nullptr)) {
            if (entry[0] == '.' || !ends_with(entry, ".list")) continue;
            if (list_has(info + entry, path)) {
                owner = entry.substr(0, entry.size() - 5);
                break;
            }
        }
    }
    // The status database is large: it is read only for a program dpkg owns.
    std::string status;
    if (owner.empty() || !read_file(sys_path(kDpkgStatus), status)) return "";
    const size_t colon = owner.find(':');
    const std::string name = owner.substr(0, colon);
    const std::string arch = colon == std::string::npos ? "" : owner.substr(colon + 1);
    std::string version = dpkg_version(status, name, arch);
    if (version.empty()) version = "?";
    return "deb " + name + " " + version;
}

std::string from_rpm(const std::string& path) {
    const std::string rpm = sys_path(kRpm);
    if (access(rpm.c_str(), X_OK) != 0) return "";
    // Both go into single quotes for the shell.
    if (path.find('\'') != std::string::npos || rpm.find('\'') != std::string::npos) return "";
    const std::string cmd =
        "'" + rpm + "' -qf --qf '%{NAME} %{VERSION}-%{RELEASE}' '" + path + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "re");
    if (!p) return "";
    char buf[kRpmOutputMax + 1];
    size_t got = 0, n;
    while (got < kRpmOutputMax && (n = std::fread(buf + got, 1, kRpmOutputMax - got, p)) > 0) got += n;
    // Drain what is left so the command does not die of a broken pipe.
    char sink[256];
    while (std::fread(sink, 1, sizeof sink, p) > 0) {
    }
    const int status = pclose(p);
    const std::string out = trim(std::string(buf, got));
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "";
    if (out.empty() || out.find("not owned") != std::string::npos) return "";
    return "rpm " + out;
}

std::string from_pacman(const std::string& path) {
    bool opened = false;
    const std::string local = sys_path(kPacmanLocal);
    const auto entries = dir_entries(local, &opened);
    if (!opened) return "";
    const std::string relative = path.empty() || path[0] != '/' ? path : path.substr(1);
    for (const auto& entry : entries) {
        if (entry[0] == '.') continue;
        if (list_has(local + "/" + entry + "/files", relative)) return "arch " + entry;
    }
    return "";
}

}  // namespace detail

namespace {

// Packages install below these; a program elsewhere (a build tree, a home
// folder) is not worth reading thousands of package file lists for.
bool in_system_tree(const std::string& path) {
    for (const char* p : {"/usr/", "/opt/", "/bin/", "/sbin/", "/lib", "/app/", "/snap/"})
        if (starts_with(path, p)) return true;
    return false;
}

std::string find_package_line() {
    using namespace detail;
    const std::string exe = exe_path();
    const std::string kind = package_kind();
    if (kind == "snap")
        return "snap " + env("SNAP_INSTANCE_NAME") + " " + env("SNAP_VERSION") + " rev " + env("SNAP_REVISION");
    if (kind == "flatpak") {
        std::string line = "flatpak " + env("FLATPAK_ID");
        std::string info;
        if (read_file(sys_path("/.flatpak-info"), info)) {
            for (const auto& l : split_lines(info)) {
                if (starts_with(l, "branch=")) {
                    line += " branch " + l.substr(7);
                    break;
                }
            }
            for (const auto& l : split_lines(info)) {
                if (starts_with(l, "app-commit=")) {
                    line += " commit " + l.substr(11, kCommitShown);
                    break;
                }
            }
        }
        return line;
    }
    if (kind == "appimage") return "appimage " + env("APPIMAGE");
    const char* guess = app().package ? app().package : "";
    std::string answer;
    if (!exe.empty()) {
        const bool system = in_system_tree(exe);
        answer = from_dpkg(exe, guess, system);
        if (answer.empty() && system) answer = from_rpm(exe);
        if (answer.empty() && system) answer = from_pacman(exe);
    }
    if (answer.empty()) answer = "unpackaged";
    return answer + " (" + exe + ")";
}

}  // namespace

// The answer cannot change while the program runs, and finding it may read
// every package database of the system: once per process is enough.
std::string package_line() {
    static const std::string line = find_package_line();
    return line;
}

// ---- System lines ----

std::vector<std::string> system_lines() {
    using namespace detail;
    std::vector<std::string> out;
    out.push_back("OS: " + os_line());
    struct utsname u;
    if (uname(&u) == 0)
        out.push_back(std::string("Kernel: ") + u.sysname + " " + u.release + " " + u.version + " " + u.machine);
    out.push_back(std::string("glibc: ") + gnu_get_libc_version());
    out.push_back("CPU: " + cpu_line());
    out.push_back("RAM: " + mem_line());
    auto or_q = [](const std::string& s) { return s.empty() ? std::string("?") : s; };
    std::string session = "Session: desktop " + or_q(env("XDG_CURRENT_DESKTOP")) + ", type " +
                          or_q(env("XDG_SESSION_TYPE"));
    if (!env("WAYLAND_DISPLAY").empty()) session += ", Wayland " + env("WAYLAND_DISPLAY");
    if (!env("DISPLAY").empty()) session += ", X " + env("DISPLAY");
    session += ", lang " + or_q(env("LANG"));
    out.push_back(session);
    out.push_back("Package: " + package_line());
    for (auto& l : alsa_cards()) out.push_back(std::move(l));
    return out;
}

}  // namespace zxcrash
