// Translated texts by key, safe filling of printf-style templates, and the
// choice of the current language with its start-up guard: a start in a
// language that did not get far enough last time falls back to English.
#pragma once

#include <string>
#include <vector>

namespace L10n {

struct LanguageInfo {
    std::string code;
    std::string native_name;
    bool rtl = false;
};

// ---- Lookup ----
std::string tr(const char* key);
std::string tr(const char* key, const char* s);
std::string tr(const char* key, int d);
std::string tr(const char* key, const char* s, int d);
std::string tr(const char* key, const char* s1, const char* s2);
inline std::string tr(const std::string& key) { return tr(key.c_str()); }

// The conversion signature of a template ("s", "sd", …; "%%" not counted);
// false when it holds any conversion other than %s and %d.
bool conversions(const char* tmpl, std::string* out);
// The template a formatted lookup fills: the translation when its signature
// is the wanted one, else the English text under the same test, else null.
const char* choose_template(const char* translated, const char* english, const char* wanted);

std::string currentLanguage();
std::vector<LanguageInfo> available();
bool isRTL();
char decimalSeparator();
// The font family every text is drawn with; a literal that lives forever.
const char* uiFontFamily();

// ---- Language choice and start-up guard ----
void init(const std::string& config_dir);
void setLanguage(const std::string& setting);
void startupSucceeded();
void cleanExit();
void onCrash();
bool fallbackActive();
void clearFallback();

}  // namespace L10n
