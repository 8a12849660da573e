// The 83 languages as users see them: every key has a text in every
// language, and the report and guide come out in the user's language with
// its own decimal mark, across scripts and writing directions.
#include <gtest/gtest.h>

#include "i18n_data.h"
#include "kit.h"
#include "l10n.h"

namespace {

std::vector<std::string> env_for(const std::string& code) { return {"LANGUAGE=" + code, "LC_ALL", "LANG=C.UTF-8"}; }

// Keys whose text is the same in every language by nature.
bool universal(const std::string& key) { return key == "mb.raid"; }

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
        // A handful of texts may rightly stay as in English (level names,
        // units); a language that is mostly English was never translated.
        EXPECT_LT(same_as_english, 20) << lang.code;
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
