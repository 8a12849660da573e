// Lookup with English fallback, safe filling of templates, locale
// properties, the choice of the system language and the start-up guard.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "i18n_data.h"
#include "kit.h"
#include "l10n.h"
#include "version.h"

namespace {

// Sets the language variables for one test and restores them afterwards.
class LangEnv {
public:
    LangEnv(const char* language, const char* lang) {
        for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* old = std::getenv(v);
            saved_.push_back({v, old ? old : "", old != nullptr});
            unsetenv(v);
        }
        if (language) setenv("LANGUAGE", language, 1);
        if (lang) setenv("LANG", lang, 1);
    }
    ~LangEnv() {
        for (const auto& s : saved_) {
            if (s.set) setenv(s.name.c_str(), s.value.c_str(), 1);
            else unsetenv(s.name.c_str());
        }
    }

private:
    struct Saved {
        std::string name, value;
        bool set;
    };
    std::vector<Saved> saved_;
};

std::string chosen(const char* language, const char* lang) {
    LangEnv env(language, lang);
    L10n::setLanguage("auto");
    return L10n::currentLanguage();
}

}  // namespace

TEST(Tables, SortedCompleteAndConsistent) {
    ASSERT_EQ(i18n_data::KEY_COUNT, 284);
    ASSERT_EQ(i18n_data::LANG_COUNT, 83);
    for (int i = 1; i < i18n_data::KEY_COUNT; ++i)
        EXPECT_LT(std::strcmp(i18n_data::KEYS[i - 1], i18n_data::KEYS[i]), 0) << i18n_data::KEYS[i];
    for (int i = 1; i < i18n_data::LANG_COUNT; ++i)
        EXPECT_LT(std::strcmp(i18n_data::LANGS[i - 1].code, i18n_data::LANGS[i].code), 0);
    std::set<std::string> rtl;
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i)
        if (i18n_data::LANGS[i].rtl) rtl.insert(i18n_data::LANGS[i].code);
    EXPECT_EQ(rtl, (std::set<std::string>{"ar", "fa", "he", "ps", "ur"}));
    // English is complete: every key has its text.
    int en = -1;
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i)
        if (std::string(i18n_data::LANGS[i].code) == "en") en = i;
    ASSERT_GE(en, 0);
    for (int k = 0; k < i18n_data::KEY_COUNT; ++k) {
        const char* t = i18n_data::LANGS[en].values[k];
        EXPECT_TRUE(t && *t) << i18n_data::KEYS[k];
    }
}

TEST(Lookup, KeysAndFallbacks) {
    L10n::setLanguage("en");
    EXPECT_EQ(L10n::tr("res.usable"), "Usable capacity");
    EXPECT_EQ(L10n::tr("mb.file"), "File");
    EXPECT_EQ(L10n::tr("no.such.key"), "no.such.key");
    EXPECT_EQ(L10n::tr("no.such.key", 3), "no.such.key");
    EXPECT_EQ(L10n::tr("no.such.key", "x"), "no.such.key");
    EXPECT_EQ(L10n::tr("txt.spares_inc", 2), "of which hot spares: 2");
    EXPECT_EQ(L10n::tr("res.rebuild_val", nullptr), " at the earliest");
    EXPECT_EQ(L10n::tr("txt.tol_range", "1", 4), "1 in any case, up to 4 in the best case");
    EXPECT_EQ(L10n::tr("about.version", "1.0.0", "1028"), "Version 1.0.0 (build 1028)");
    // The wrong overload for a template returns the key, never a misread argument.
    EXPECT_EQ(L10n::tr("txt.spares_inc", "x"), "txt.spares_inc");
    EXPECT_EQ(L10n::tr("txt.tol_range", 4), "txt.tol_range");
}

TEST(Lookup, TemplateSignatures) {
    std::string sig;
    EXPECT_TRUE(L10n::conversions("%s in any case, up to %d", &sig));
    EXPECT_EQ(sig, "sd");
    EXPECT_TRUE(L10n::conversions("100 %% sure: %d", &sig));
    EXPECT_EQ(sig, "d");
    for (const char* unsafe : {"%5d", "%1$s", "%f", "50 %", "%-s", "%ld"})
        EXPECT_FALSE(L10n::conversions(unsafe, &sig)) << unsafe;

    EXPECT_STREQ(L10n::choose_template("%s bei %d", "%s at %d", "sd"), "%s bei %d");
    EXPECT_STREQ(L10n::choose_template("%d bei %s", "%s at %d", "sd"), "%s at %d");
    EXPECT_STREQ(L10n::choose_template("%f", "%s", "s"), "%s");
    EXPECT_STREQ(L10n::choose_template("", "%s", "s"), "%s");
    EXPECT_STREQ(L10n::choose_template(nullptr, "%s", "s"), "%s");
    EXPECT_EQ(L10n::choose_template("%d", "%d", "s"), nullptr);
}

TEST(Locale, Properties) {
    L10n::setLanguage("de");
    EXPECT_EQ(L10n::decimalSeparator(), ',');
    EXPECT_STREQ(L10n::uiFontFamily(), "Sans");
    for (const char* code : {"en", "ja", "zh"}) {
        L10n::setLanguage(code);
        EXPECT_EQ(L10n::decimalSeparator(), '.') << code;
    }
    L10n::setLanguage("ja");
    EXPECT_STREQ(L10n::uiFontFamily(), "Sans");  // the drawing's family; fontconfig resolves it per language
    for (const auto& info : L10n::available()) {
        L10n::setLanguage(info.code);
        EXPECT_EQ(L10n::isRTL(), info.rtl) << info.code;
        EXPECT_EQ(L10n::currentLanguage(), info.code);
    }
    const auto all = L10n::available();
    ASSERT_EQ(all.size(), 83u);
    EXPECT_EQ(all.front().code, "af");
    EXPECT_EQ(all.back().code, "zu");
    L10n::setLanguage("xx");
    EXPECT_EQ(L10n::currentLanguage(), "en");
    L10n::setLanguage("en");
}

TEST(Choice, SystemLanguage) {
    EXPECT_EQ(chosen("pt_BR:de", nullptr), "pt");
    EXPECT_EQ(chosen(nullptr, "zh_TW.UTF-8"), "zh_TW");
    EXPECT_EQ(chosen(nullptr, "zh_CN.UTF-8"), "zh");
    EXPECT_EQ(chosen(nullptr, "sr_RS@latin"), "sr");
    EXPECT_EQ(chosen(nullptr, "C"), "en");
    EXPECT_EQ(chosen("xx_YY:fr_CA", nullptr), "fr");
    EXPECT_EQ(chosen(nullptr, nullptr), "en");
    L10n::setLanguage("en");
}

// The guard keeps per-process state, so each scenario runs in a child.
namespace {

template <typename F>
int in_child(F body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 100;
}

bool exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

// The guard line of German for the build the program reports, so that a new
// build number reaches the guard as well as "--version".
const std::string kGermanLine = std::string("de ") + product::kBuild + "\n";

}  // namespace

TEST(Guard, WrittenThenClearedAfterStartup) {
    const std::string dir = kit::scratch_dir("guard");
    const std::string file = dir + "/language-guard";
    EXPECT_EQ(in_child([&] {
                  L10n::init(dir);
                  L10n::setLanguage("de");
                  if (kit::read_file(file) != kGermanLine) return 1;
                  struct stat st{};
                  if (stat(file.c_str(), &st) != 0 || (st.st_mode & 0777) != 0600) return 2;
                  L10n::startupSucceeded();
                  if (exists(file)) return 3;
                  L10n::onCrash();  // a crash after start-up puts the mark back
                  if (kit::read_file(file) != kGermanLine) return 4;
                  L10n::cleanExit();
                  return exists(file) ? 5 : 0;
              }),
              0);
}

TEST(Guard, LeftoverFallsBackToEnglish) {
    const std::string dir = kit::scratch_dir("guard");
    const std::string file = dir + "/language-guard";
    ASSERT_TRUE(kit::write_file(file, kGermanLine));
    EXPECT_EQ(in_child([&] {
                  testing::internal::CaptureStderr();
                  L10n::init(dir);
                  L10n::setLanguage("de");
                  const std::string err = testing::internal::GetCapturedStderr();
                  if (L10n::currentLanguage() != "en") return 1;
                  if (!L10n::fallbackActive()) return 2;
                  if (err.find("language 'de' did not start cleanly last time") == std::string::npos) return 3;
                  if (kit::read_file(file) != kGermanLine) return 4;
                  L10n::startupSucceeded();  // nothing armed: the mark stays
                  if (!exists(file)) return 5;
                  L10n::clearFallback();
                  if (exists(file) || L10n::fallbackActive()) return 6;
                  L10n::setLanguage("de");
                  return L10n::currentLanguage() == "de" ? 0 : 7;
              }),
              0);
}

TEST(Guard, OtherBuildSameLanguageTwiceAndEnglish) {
    const std::string dir = kit::scratch_dir("guard");
    const std::string file = dir + "/language-guard";
    ASSERT_TRUE(kit::write_file(file, "de " + std::to_string(std::stoi(product::kBuild) - 1) + "\n"));
    EXPECT_EQ(in_child([&] {
                  L10n::init(dir);
                  L10n::setLanguage("de");
                  if (L10n::currentLanguage() != "de" || L10n::fallbackActive()) return 1;
                  if (kit::read_file(file) != kGermanLine) return 2;
                  L10n::setLanguage("de");  // same line as armed: no fallback on our own mark
                  if (L10n::currentLanguage() != "de") return 3;
                  if (!exists(file)) return 4;
                  L10n::setLanguage("en");
                  return exists(file) ? 5 : 0;
              }),
              0);
}

TEST(Guard, NoDirectoryNoFile) {
    // Without a directory the guard writes nowhere: not relative to the
    // empty path (the root folder), not here, not in the home folder.
    ASSERT_FALSE(exists("/language-guard"));
    const std::string dir = kit::scratch_dir("guard");
    EXPECT_EQ(in_child([&] {
                  if (chdir(dir.c_str()) != 0) return 3;
                  setenv("HOME", dir.c_str(), 1);
                  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
                  setenv("LANGUAGE", "de", 1);
                  L10n::init("");
                  if (L10n::currentLanguage() != "de") return 1;
                  L10n::setLanguage("fr");
                  L10n::onCrash();
                  return L10n::currentLanguage() == "fr" ? 0 : 2;
              }),
              0);
    EXPECT_FALSE(exists("/language-guard"));
    EXPECT_EQ(kit::list_dir(dir), std::vector<std::string>{});
}
