// The translation catalogue files: every file passes msgfmt --check, every
// language is present, and the build-time generator refuses broken input
// with a message naming the file and the key.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include "i18n_data.h"
#include "kit.h"

namespace {

const std::string kDir = ZXRC_I18N_DIR;
const std::string kPot = "zxQuenlowsRaidCalculator.pot";

std::vector<std::string> catalogue_files() {
    std::vector<std::string> files;
    if (DIR* d = opendir(kDir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 3 && (n.ends_with(".po") || n.ends_with(".pot"))) files.push_back(n);
        }
        closedir(d);
    }
    return files;
}

// A scratch catalogue: the real template and language list, plus the given
// translation files.
std::string scratch_catalogue(const std::vector<std::pair<std::string, std::string>>& po) {
    const std::string dir = kit::scratch_dir("i18n");
    kit::write_file(dir + "/" + kPot, kit::read_file(kDir + "/" + kPot));
    kit::write_file(dir + "/languages.txt", "en\tEnglish\tltr\nde\tDeutsch\tltr\n");
    for (const auto& [name, text] : po) kit::write_file(dir + "/" + name, text);
    return dir;
}

// A German file that translates the given entries and leaves the rest empty.
std::string german(const std::vector<std::pair<std::string, std::string>>& entries, bool keep_all = true) {
    std::string out = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    std::string pot = kit::read_file(kDir + "/" + kPot);
    if (keep_all) {
        size_t pos = 0;
        while ((pos = pot.find("\nmsgctxt \"", pos)) != std::string::npos) {
            const size_t start = pos + 10;
            const std::string key = pot.substr(start, pot.find('"', start) - start);
            bool overridden = false;
            for (const auto& e : entries) overridden |= e.first == key;
            if (!overridden) out += "msgctxt \"" + key + "\"\nmsgid \"x\"\nmsgstr \"\"\n\n";
            pos = start;
        }
    }
    for (const auto& [key, text] : entries) out += "msgctxt \"" + key + "\"\nmsgid \"x\"\nmsgstr \"" + text + "\"\n\n";
    return out;
}

kit::Run generate(const std::string& dir) { return kit::run(ZXRC_GEN_I18N, {dir, dir + "/out.cpp"}); }

}  // namespace

TEST(Catalogue, EveryFilePassesMsgfmtCheck) {
    if (access("/usr/bin/msgfmt", X_OK) != 0) GTEST_SKIP() << "msgfmt (gettext) not installed";
    const auto files = catalogue_files();
    ASSERT_EQ(files.size(), 83u) << "the template and 82 translations";
    for (const auto& f : files) {
        const kit::Run r = kit::run("/usr/bin/msgfmt", {"--check", "-o", "/dev/null", kDir + "/" + f});
        EXPECT_EQ(r.status, 0) << f << ": " << r.err;
    }
}

TEST(Catalogue, EveryListedLanguageHasItsFile) {
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i) {
        const std::string code = i18n_data::LANGS[i].code;
        if (code == "en") continue;
        EXPECT_EQ(access((kDir + "/" + code + ".po").c_str(), R_OK), 0) << code;
    }
}

TEST(Generator, AcceptsAConsistentCatalogue) {
    const std::string dir = scratch_catalogue({{"de.po", german({{"res.usable", "Nutzbare Kapazit\xC3\xA4t"},
                                                                 {"txt.spares_inc", "davon Hot-Spares: %d"}})}});
    const kit::Run r = generate(dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = kit::read_file(dir + "/out.cpp");
    EXPECT_NE(out.find("const char* const VALUES_de[]"), std::string::npos);
    EXPECT_NE(out.find("\"davon Hot-Spares: %d\""), std::string::npos);
    EXPECT_NE(out.find("{\"de\", \"Deutsch\", false, VALUES_de}"), std::string::npos);
}

TEST(Generator, RefusesBrokenTranslations) {
    struct Case {
        const char* what;
        std::string po;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"conversion order", german({{"txt.tol_range", "%d bis %s"}}), "placeholders 'ds' differ"},
        {"stray conversion", german({{"res.rebuild_val", "%f"}}), "key 'res.rebuild_val'"},
        {"unknown key", german({{"res.nonsense", "x"}}), "unknown key 'res.nonsense'"},
        {"missing key", german({}, false), "is missing"},
    };
    for (const auto& c : cases) {
        const std::string dir = scratch_catalogue({{"de.po", c.po}});
        const kit::Run r = generate(dir);
        EXPECT_NE(r.status, 0) << c.what;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
        EXPECT_NE(access((dir + "/out.cpp").c_str(), F_OK), 0) << c.what << ": no tables from a broken catalogue";
    }
    const std::string dir = scratch_catalogue({{"de.po", german({{"txt.tol_range", "%d bis %s"}})}});
    EXPECT_NE(generate(dir).err.find("key 'txt.tol_range': placeholders 'ds' differ from the English 'sd'"),
              std::string::npos);
}

TEST(Generator, RefusesAMissingFileOrAnUnlistedLanguage) {
    std::string dir = scratch_catalogue({});
    kit::Run r = generate(dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("de.po: error: missing translation file"), std::string::npos) << r.err;

    dir = scratch_catalogue({{"de.po", german({})}, {"xx.po", german({})}});
    r = generate(dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("xx.po"), std::string::npos) << r.err;
}

TEST(Generator, RefusesKeysTheSourcesUseButTheTemplateLacks) {
    const std::string dir = scratch_catalogue({{"de.po", german({})}});
    const std::string src = kit::scratch_dir("src");
    kit::write_file(src + "/view.cpp", "auto t = L10n::tr(\"res.usable\") + L10n::tr(\"res.brand_new\", 3);\n");
    const kit::Run r = kit::run(ZXRC_GEN_I18N, {dir, dir + "/out.cpp", src});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("key 'res.brand_new' used in view.cpp is missing from the template"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("res.usable"), std::string::npos);
}
