// Translation lookup over the generated tables and the language choice.
// Lookups bisect the sorted key table; a missing text falls back to English
// and then to the key itself. Templates are only filled when their
// conversions match what the caller supplies, so a bad translation can never
// make printf read the wrong argument.
//
// The start-up guard writes "<code> <build>\n" to a file while a start in a
// non-English language is in progress; finding that very line again at the
// next start means the last one died early, and the program runs in English.
#include "l10n.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "i18n_data.h"
#include "paths.h"
#include "version.h"

namespace L10n {

namespace {

constexpr const char* kGuardFile = "/language-guard";
constexpr size_t kGuardPathMax = 512;
constexpr size_t kGuardLineMax = 64;

int g_index = -1;
int g_en = -1;
std::string g_code = "en";
bool g_rtl = false;

std::string g_setting;
char g_guard_path[kGuardPathMax] = {0};
char g_guard_line[kGuardLineMax] = {0};
bool g_guarded = false;
bool g_fallback = false;

// ---- Lookup ----

int keyIndex(const char* key) {
    if (!key) return -1;
    int lo = 0, hi = i18n_data::KEY_COUNT - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const int c = std::strcmp(i18n_data::KEYS[mid], key);
        if (c == 0) return mid;
        if (c < 0) lo = mid + 1;
        else hi = mid - 1;
    }
    return -1;
}

int indexOfCode(const std::string& code) {
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i)
        if (code == i18n_data::LANGS[i].code) return i;
    return -1;
}

int englishIndex() {
    if (g_en < 0) g_en = indexOfCode("en");
    return g_en;
}

int currentIndex() {
    if (g_index < 0) g_index = englishIndex();
    return g_index;
}

const char* text_of(int lang, int key) {
    if (lang < 0 || key < 0) return nullptr;
    const char* t = i18n_data::LANGS[lang].values[key];
    return (t && *t) ? t : nullptr;
}

std::string lookup(const char* key) {
    const int k = keyIndex(key);
    if (k < 0) return key ? key : "";
    const char* t = text_of(currentIndex(), k);
    if (!t) t = text_of(englishIndex(), k);
    return t ? t : key;
}

const char* safeFormat(const char* key, const char* wanted) {
    const int k = keyIndex(key);
    if (k < 0) return nullptr;
    return choose_template(text_of(currentIndex(), k), text_of(englishIndex(), k), wanted);
}

template <typename... Args>
std::string format(const char* tmpl, Args... args) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    const int n = std::snprintf(nullptr, 0, tmpl, args...);
    if (n < 0) return tmpl;
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), tmpl, args...);
#pragma GCC diagnostic pop
    out.resize(static_cast<size_t>(n));
    return out;
}

const char* nn(const char* s) { return s ? s : ""; }

bool in_list(const char* const* list, size_t n, const std::string& code) {
    for (size_t i = 0; i < n; ++i)
        if (code == list[i]) return true;
    return false;
}

// ---- Language choice ----

std::string detectSystemLanguage() {
    for (const gchar* const* n = g_get_language_names(); n && *n; ++n) {
        std::string name = *n;
        if (name.empty() || name == "C") continue;
        name = name.substr(0, name.find('.'));
        name = name.substr(0, name.find('@'));
        if (indexOfCode(name) >= 0) return name;
        const size_t us = name.find('_');
        if (us != std::string::npos && indexOfCode(name.substr(0, us)) >= 0) return name.substr(0, us);
    }
    return "en";
}

void removeGuard() {
    if (g_guard_path[0]) unlink(g_guard_path);
}

void writeGuard() {
    if (!g_guard_path[0]) return;
    const int fd = open(g_guard_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const size_t len = std::strlen(g_guard_line);
    ssize_t w = write(fd, g_guard_line, len);
    (void)w;
    close(fd);
}

// True when the guard file holds exactly `line`: the last start in this
// language and build never reached the point where the file is removed.
bool guardBlocks(const char* line) {
    if (!g_guard_path[0]) return false;
    const int fd = open(g_guard_path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[kGuardLineMax + 1];
    size_t got = 0;
    ssize_t r;
    while (got < sizeof buf && (r = read(fd, buf + got, sizeof buf - got)) > 0) got += static_cast<size_t>(r);
    close(fd);
    return got == std::strlen(line) && std::memcmp(buf, line, got) == 0;
}

void makeCurrent(int index) {
    g_index = index;
    g_code = i18n_data::LANGS[index].code;
    g_rtl = i18n_data::LANGS[index].rtl;
}

}  // namespace

// ---- Lookup ----

bool conversions(const char* t, std::string* out) {
    out->clear();
    for (; *t; ++t) {
        if (*t != '%') continue;
        const char c = t[1];
        if (c == 'd' || c == 's') *out += c;
        else if (c != '%') return false;
        ++t;
    }
    return true;
}

const char* choose_template(const char* translated, const char* english, const char* wanted) {
    std::string sig;
    for (const char* t : {translated, english})
        if (t && *t && conversions(t, &sig) && sig == wanted) return t;
    return nullptr;
}

std::string tr(const char* key) { return lookup(key); }

std::string tr(const char* key, const char* s) {
    const char* t = safeFormat(key, "s");
    return t ? format(t, nn(s)) : std::string(nn(key));
}

std::string tr(const char* key, int d) {
    const char* t = safeFormat(key, "d");
    return t ? format(t, d) : std::string(nn(key));
}

std::string tr(const char* key, const char* s, int d) {
    const char* t = safeFormat(key, "sd");
    return t ? format(t, nn(s), d) : std::string(nn(key));
}

std::string tr(const char* key, const char* s1, const char* s2) {
    const char* t = safeFormat(key, "ss");
    return t ? format(t, nn(s1), nn(s2)) : std::string(nn(key));
}

std::string currentLanguage() { return i18n_data::LANGS[currentIndex()].code; }

std::vector<LanguageInfo> available() {
    std::vector<LanguageInfo> v;
    v.reserve(static_cast<size_t>(i18n_data::LANG_COUNT));
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i)
        v.push_back({i18n_data::LANGS[i].code, i18n_data::LANGS[i].native_name, i18n_data::LANGS[i].rtl});
    return v;
}

bool isRTL() { return i18n_data::LANGS[currentIndex()].rtl; }

char decimalSeparator() {
    static const char* const COMMA[] = {"af", "az", "be", "bg", "bs", "ca", "cs", "da", "de", "el",
                                        "es", "et", "eu", "fi", "fr", "gl", "hr", "hu", "hy", "id",
                                        "is", "it", "ka", "kk", "ky", "lt", "lv", "mk", "mn", "nb",
                                        "nl", "pl", "pt", "ro", "ru", "rw", "sk", "sl", "sq", "sr",
                                        "sv", "tg", "tk", "tr", "uk", "uz", "vi", "ku"};
    return in_list(COMMA, std::size(COMMA), currentLanguage()) ? ',' : '.';
}

// Every language asks for the same family; fontconfig resolves it per
// language and falls back per script (see gfx::create_layout).
const char* uiFontFamily() { return "Sans"; }

// ---- Language choice and start-up guard ----

void init(const std::string& config_dir) {
    g_guarded = false;
    englishIndex();
    g_guard_path[0] = '\0';
    if (!config_dir.empty()) {
        paths::mkpath(config_dir);
        const std::string p = config_dir + kGuardFile;
        if (p.size() < kGuardPathMax) std::memcpy(g_guard_path, p.c_str(), p.size() + 1);
    }
    setLanguage("");
    g_guarded = true;
}

void setLanguage(const std::string& setting) {
    g_setting = setting.empty() ? "auto" : setting;
    const std::string candidate = g_setting == "auto" ? detectSystemLanguage() : g_setting;
    int index = indexOfCode(candidate);
    if (index < 0) index = englishIndex();

    char prev[kGuardLineMax];
    std::memcpy(prev, g_guard_line, sizeof prev);
    g_fallback = false;
    g_guard_line[0] = '\0';

    if (index != englishIndex() && g_guarded) {
        char line[kGuardLineMax];
        std::snprintf(line, sizeof line, "%s %s\n", i18n_data::LANGS[index].code, product::kBuild);
        const bool same_as_armed = std::strcmp(line, prev) == 0;
        if (!same_as_armed && guardBlocks(line)) {
            std::fprintf(stderr,
                         "zxQuenlowsRaidCalculator: language '%s' did not start cleanly last time"
                         " \xE2\x80\x94 running in English\n",
                         i18n_data::LANGS[index].code);
            index = englishIndex();
            g_fallback = true;
        } else {
            std::memcpy(g_guard_line, line, sizeof line);
            writeGuard();
        }
    } else if (prev[0]) {
        removeGuard();
    }
    makeCurrent(index);
}

void startupSucceeded() {
    if (g_guard_line[0] && g_guard_path[0]) removeGuard();
}

void cleanExit() { startupSucceeded(); }

void onCrash() {
    if (g_guard_line[0] && g_guard_path[0]) writeGuard();
}

bool fallbackActive() { return g_fallback; }

void clearFallback() {
    removeGuard();
    g_fallback = false;
}

}  // namespace L10n
