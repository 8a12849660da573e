// The translation tables compiled into the program. The definitions are
// generated at build time from the gettext files in i18n/; nothing is read
// from disk at run time.
#pragma once

namespace i18n_data {

struct LangEntry {
    const char* code;         // "de", "zh_TW"
    const char* native_name;  // the language's own name for itself
    bool rtl;                 // written right to left
    const char* const* values;  // parallel to KEYS; null or "" = no text
};

extern const int KEY_COUNT;
extern const int LANG_COUNT;
extern const char* const KEYS[];  // sorted in byte order, for bisection
extern const LangEntry LANGS[];   // sorted by code

}  // namespace i18n_data
