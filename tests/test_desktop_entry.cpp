// The desktop entry and the AppStream metainfo: the generator that fills in
// their translated lines, and the real files, which must name the program's
// window class, icon and every language the program speaks.
#include <gtest/gtest.h>

#include <unistd.h>

#include "i18n_data.h"
#include "kit.h"
#include "version.h"

namespace {

const std::string kRealI18n = ZXRC_I18N_DIR;
const std::string kAppId = ZXRC_APP_ID;

const char* const kPot =
    "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
    "#. About tab: one-line description\n"
    "msgctxt \"about.comment\"\nmsgid \"\"\n\"Plan a disk \"\n\"array.\"\nmsgstr \"\"\n\n"
    "msgctxt \"tab.calc\"\nmsgid \"Calculator\"\nmsgstr \"\"\n";

std::string po(const std::string& comment, bool comment_fuzzy, bool calc_fuzzy) {
    std::string out = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    out += calc_fuzzy ? "#, fuzzy\n" : "";
    out += "msgctxt \"tab.calc\"\nmsgid \"Calculator\"\nmsgstr \"Rechner\"\n\n";
    out += comment_fuzzy ? "#, fuzzy\n" : "";
    return out + "msgctxt \"about.comment\"\nmsgid \"Plan a disk array.\"\nmsgstr \"" + comment + "\"\n";
}

std::string scratch_catalogue() {
    const std::string dir = kit::scratch_dir("desktop_i18n");
    kit::write_file(dir + "/zxQuenlowsRaidCalculator.pot", kPot);
    kit::write_file(dir + "/languages.txt",
                    "# code\tname\tdirection\nen\tEnglish\tltr\nde\tDeutsch\tltr\nfr\tFran\xC3\xA7" "ais\tltr\n"
                    "ja\tJ\tltr\nko\tK\tltr\nzh\tZ\tltr\nzh_TW\tT\tltr\n");
    // A backslash, a quote, a line break and XML's special characters.
    kit::write_file(dir + "/de.po", po("Ein \\\"Verbund\\\" mit \\\\ und\\nZeile & <Tag>.", false, false));
    // A fuzzy entry before the wanted one must not make that one fuzzy.
    kit::write_file(dir + "/fr.po", po("Planifier.", false, true));
    kit::write_file(dir + "/ja.po", po("\xE8\xA8\xAD\xE8\xA8\x88\xE3\x80\x82", true, false));
    kit::write_file(dir + "/ko.po", po("", false, false));
    kit::write_file(dir + "/zh.po", po("\xE8\xA7\x84\xE5\x88\x92\xE3\x80\x82", false, false));
    kit::write_file(dir + "/zh_TW.po", po("\xE8\xA6\x8F\xE5\x8A\x83\xE3\x80\x82", false, false));
    return dir;
}

kit::Run generate(const std::string& i18n, const std::string& tmpl, const std::string& out) {
    return kit::run(ZXRC_GEN_DESKTOP, {i18n, tmpl, out});
}

std::vector<std::string> generated_lines(const std::string& name) {
    const std::string out = kit::scratch_dir("desktop_real") + "/" + name;
    const kit::Run r = generate(kRealI18n, std::string(ZXRC_DATA_SRC) + "/" + name + ".in", out);
    EXPECT_EQ(r.status, 0) << r.err;
    return kit::lines(kit::read_file(out));
}

bool has_line(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const auto& l : lines)
        if (l == wanted) return true;
    return false;
}

std::string locale_of(const std::string& code) { return code == "zh" ? "zh_CN" : code; }

}  // namespace

TEST(DesktopGenerator, AddsOneEscapedLinePerTranslatedLanguage) {
    const std::string dir = scratch_catalogue();
    kit::write_file(dir + "/in", "[Desktop Entry]\nComment={{about.comment}}\nName=Fixed {x}\n"
                                 "  <summary>{{about.comment|nostop}}</summary>\n");
    const kit::Run r = generate(dir, dir + "/in", dir + "/out");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(kit::read_file(dir + "/out"),
              "[Desktop Entry]\n"
              "Comment=Plan a disk array.\n"
              "Comment[de]=Ein \"Verbund\" mit \\\\ und\\nZeile & <Tag>.\n"
              "Comment[fr]=Planifier.\n"
              "Comment[zh_CN]=\xE8\xA7\x84\xE5\x88\x92\xE3\x80\x82\n"
              "Comment[zh_TW]=\xE8\xA6\x8F\xE5\x8A\x83\xE3\x80\x82\n"
              "Name=Fixed {x}\n"
              "  <summary>Plan a disk array</summary>\n"
              "  <summary xml:lang=\"de\">Ein \"Verbund\" mit \\ und\nZeile &amp; &lt;Tag&gt;</summary>\n"
              "  <summary xml:lang=\"fr\">Planifier</summary>\n"
              "  <summary xml:lang=\"zh_CN\">\xE8\xA7\x84\xE5\x88\x92</summary>\n"
              "  <summary xml:lang=\"zh_TW\">\xE8\xA6\x8F\xE5\x8A\x83</summary>\n");
}

TEST(DesktopGenerator, RefusesUnknownKeysAndLinesItCannotLocalise) {
    const std::string dir = scratch_catalogue();
    for (const std::string tmpl : {"[Desktop Entry]\nComment={{about.nonsense}}\n", "Comment: {{about.comment}}\n"}) {
        kit::write_file(dir + "/in", tmpl);
        const kit::Run r = generate(dir, dir + "/in", dir + "/out");
        EXPECT_EQ(r.status, 1) << tmpl;
        EXPECT_NE(r.err.find(dir + "/in:"), std::string::npos) << r.err;
        EXPECT_NE(access((dir + "/out").c_str(), F_OK), 0) << "no half-made file from " << tmpl;
    }
}

TEST(DesktopEntry, LaunchesTheProgramAndGroupsItsWindow) {
    const auto lines = generated_lines(kAppId + ".desktop");
    EXPECT_TRUE(has_line(lines, std::string("StartupWMClass=") + product::kName));
    EXPECT_TRUE(has_line(lines, std::string("Exec=") + product::kName));
    EXPECT_TRUE(has_line(lines, "Icon=" + kAppId));
    EXPECT_TRUE(has_line(lines, "Terminal=false"));
    // One main category, so menus list the program once.
    EXPECT_TRUE(has_line(lines, "Categories=Utility;Calculator;"));
}

TEST(DesktopEntry, DescribesTheProgramInEveryLanguageItSpeaks) {
    const auto desktop = generated_lines(kAppId + ".desktop");
    const auto metainfo = generated_lines(kAppId + ".metainfo.xml");
    for (int i = 0; i < i18n_data::LANG_COUNT; ++i) {
        const std::string code = i18n_data::LANGS[i].code;
        if (code == "en") continue;
        const std::string loc = locale_of(code);
        bool in_desktop = false, in_metainfo = false;
        for (const auto& l : desktop) in_desktop |= l.starts_with("Comment[" + loc + "]=");
        for (const auto& l : metainfo) in_metainfo |= l.find("<summary xml:lang=\"" + loc + "\">") != std::string::npos;
        EXPECT_TRUE(in_desktop) << code;
        EXPECT_TRUE(in_metainfo) << code;
    }
    for (const auto& l : metainfo) {
        if (l.find("<summary") != std::string::npos) {
            EXPECT_EQ(l.find(".</summary>"), std::string::npos) << l;
        }
    }
    EXPECT_TRUE(has_line(metainfo, "  <id>" + kAppId + "</id>"));
    EXPECT_TRUE(has_line(metainfo, "  <launchable type=\"desktop-id\">" + kAppId + ".desktop</launchable>"));
}
