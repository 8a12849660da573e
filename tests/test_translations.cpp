// The 83 languages as users see them: every key has a text in every
// language, and the report and guide come out in the user's language with
// its own decimal mark, across scripts and writing directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "i18n_data.h"
#include "kit.h"
#include "l10n.h"

namespace {

// A few texts may rightly stay as in English (level names, units); a
// language with more of them was never fully translated.
constexpr int kMaxSameAsEnglish = 8;

// Languages with a thin storage vocabulary, where English terms once slipped
// into running text, and the terms that must not appear there. Column names
// such as SERIAL are written in capitals and stay.
constexpr const char* kThinVocabulary[] = {"ps", "ku", "ha", "ig", "yo", "zu", "rw",
                                           "so", "mg", "km", "lo", "my", "tl", "sw"};
constexpr const char* kEnglishTerms[] = {"stripe", "stripes",  "striped",    "striping", "backup",  "mount",
                                         "partition", "volume", "malware",  "cache",    "software", "serial",
                                         "repository", "faulty", "rebuild", "redundancy", "spare",  "spares"};

std::vector<std::string> env_for(const std::string& code) { return {"LANGUAGE=" + code, "LC_ALL", "LANG=C.UTF-8"}; }

// Keys whose text is the same in every language by nature.
bool universal(const std::string& key) { return key == "mb.raid"; }

// Code points of a UTF-8 text (the catalogue's encoding is checked by msgfmt).
std::vector<char32_t> code_points(const char* s) {
    std::vector<char32_t> out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p;) {
        const int len = *p < 0x80 ? 1 : *p < 0xE0 ? 2 : *p < 0xF0 ? 3 : 4;
        char32_t c = len == 1 ? *p : *p & (0xFF >> (len + 1));
        for (int i = 1; i < len && p[i]; ++i) c = (c << 6) | (p[i] & 0x3F);
        out.push_back(c);
        p += len;
    }
    return out;
}

bool latin_letter(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}
bool cyrillic_or_greek(char32_t c) { return c >= 0x370 && c <= 0x52F; }
bool between_words(char32_t c) {
    if (c < 0x80) return !std::isalnum(static_cast<int>(c));
    return c == 0xA0 || c == 0xAB || c == 0xBB || (c >= 0x2000 && c <= 0x206F);
}

const i18n_data::LangEntry* language(const std::string& code) {
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i)
        if (code == i18n_data::LANGS[i].code) return &i18n_data::LANGS[i];
    return nullptr;
}

}  // namespace

TEST(Translations, EveryKeyInEveryLanguage) {
    int en = -1;
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i)
        if (std::string(i18n_data::LANGS[i].code) == "en") en = i;
    ASSERT_GE(en, 0);
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i) {
        const auto& lang = i18n_data::LANGS[i];
        int same_as_english = 0;
        for (int k = 0; k < i18n_data::KEY_COUNT; ++k) {
            const char* t = lang.values[k];
            EXPECT_TRUE(t && *t) << lang.code << " has no text for " << i18n_data::KEYS[k];
            if (t && i != en && !universal(i18n_data::KEYS[k]) && std::string(t) == i18n_data::LANGS[en].values[k])
                ++same_as_english;
        }
        EXPECT_LE(same_as_english, kMaxSameAsEnglish) << lang.code;
    }
}

TEST(Translations, NoWordMixesLatinIntoCyrillicOrGreek) {
    // A Latin look-alike inside a word (è for ѐ, a for а) breaks search,
    // spelling and the way the word is read aloud.
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i)
        for (int k = 0; k < i18n_data::KEY_COUNT; ++k) {
            // A missing text is reported by EveryKeyInEveryLanguage.
            if (!i18n_data::LANGS[i].values[k]) continue;
            bool latin = false, other = false;
            for (char32_t c : code_points(i18n_data::LANGS[i].values[k])) {
                if (between_words(c)) {
                    EXPECT_FALSE(latin && other) << i18n_data::LANGS[i].code << " " << i18n_data::KEYS[k];
                    latin = other = false;
                }
                latin = latin || latin_letter(c);
                other = other || cyrillic_or_greek(c);
            }
            EXPECT_FALSE(latin && other) << i18n_data::LANGS[i].code << " " << i18n_data::KEYS[k];
        }
}

TEST(Translations, ThinVocabulariesLeaveNoEnglishStorageTerms) {
    for (const char* code : kThinVocabulary) {
        const i18n_data::LangEntry* lang = language(code);
        ASSERT_NE(lang, nullptr) << code;
        for (int k = 0; k < i18n_data::KEY_COUNT; ++k) {
            if (!lang->values[k]) continue;
            const std::string text = lang->values[k];
            for (size_t at = 0; at < text.size();) {
                size_t end = at;
                while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
                if (end == at) { ++at; continue; }
                std::string word = text.substr(at, end - at);
                const bool capitals = std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isupper(c); });
                std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
                for (const char* term : kEnglishTerms)
                    EXPECT_TRUE(capitals || word != term) << code << " " << i18n_data::KEYS[k] << ": " << word;
                at = end;
            }
        }
    }
}

TEST(Translations, TemplatesKeepTheirPlaceholders) {
    // The generator refuses mismatches; this guards the tables themselves.
    int en = -1;
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i)
        if (std::string(i18n_data::LANGS[i].code) == "en") en = i;
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i)
        for (int k = 0; k < i18n_data::KEY_COUNT; ++k) {
            std::string want, got;
            if (!L10n::conversions(i18n_data::LANGS[en].values[k], &want)) continue;
            const char* t = i18n_data::LANGS[i].values[k];
            ASSERT_TRUE(t && L10n::conversions(t, &got)) << i18n_data::LANGS[i].code << " " << i18n_data::KEYS[k];
            EXPECT_EQ(got, want) << i18n_data::LANGS[i].code << " " << i18n_data::KEYS[k];
        }
}

TEST(Translations, ReportInScriptsAndDirections) {
    for (const char* code : {"de", "ja", "ar", "hi", "ru", "zh_TW", "he", "th"}) {
        const kit::Run r = kit::run_app({"--calc", "raid6", "8", "12TB", "1"}, env_for(code));
        ASSERT_EQ(r.status, 0) << code;
        L10n::setLanguage(code);
        const char mark = L10n::decimalSeparator();
        EXPECT_NE(r.out.find(L10n::tr("res.usable") + ": 60 TB (54" + mark + "6 TiB)\n"), std::string::npos)
            << code << "\n" << r.out;
        EXPECT_NE(r.out.find(L10n::tr("txt.spares_inc", 1)), std::string::npos) << code;
        EXPECT_NE(r.out.find(L10n::tr("res.efficiency") + ": 71" + mark + "4 %\n"), std::string::npos) << code;
        EXPECT_EQ(r.out.find("Usable capacity"), std::string::npos) << code << " printed English";
    }
    L10n::setLanguage("en");
}

TEST(Translations, GuideInEveryLanguage) {
    for (const auto& info : L10n::available()) {
        const kit::Run r = kit::run_app({"--guide", "raid5", "5", "4TB", "1"}, env_for(info.code));
        ASSERT_EQ(r.status, 0) << info.code;
        L10n::setLanguage(info.code);
        EXPECT_EQ(r.out.rfind("## 1. " + L10n::tr("g.install.t") + "\n# " + L10n::tr("g.install.x") + "\n", 0), 0u)
            << info.code;
        EXPECT_NE(r.out.find("sudo mdadm --create /dev/md0 --level=5 --raid-devices=4 --bitmap=internal "
                             "--spare-devices=1 /dev/sdb /dev/sdc /dev/sdd /dev/sde /dev/sdf\n"),
                  std::string::npos)
            << info.code << ": commands are never translated";
        if (info.code != "en") {
            EXPECT_EQ(r.out.find("Install mdadm\n"), std::string::npos) << info.code;
        }
    }
    L10n::setLanguage("en");
}
