// The settings panel, language list, dialogs, menus and crash dialog in the
// real program under its own X server, driven as a user would. The program
// says where it painted each control and what state it is in; what the
// screen must show is painted here from that state.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "app.h"
#include "kit.h"
#include "l10n.h"
#include "version.h"
#include "wkit.h"
#include "zxcrash.h"
#include "zxcrash_detail.h"

namespace {

constexpr int kW = 1100, kH = 760, kWaitMs = 6000;
constexpr int kSteadyTries = 5;
using Check = std::function<bool(const Settings&)>;
using Modal = App::Modal;

int modal_of(Modal m) { return static_cast<int>(m); }

// The screen shows the dialog the program says is open, painted here from
// the state it reported: the mean difference per channel over the dialog's
// opaque panel pixels is small (a wrong tab, language or dialog differs by
// 3.8 or more; the package line alone by 0.4). A screenshot between two
// answers without a repaint between them shows exactly that state.
bool shows(wkit::Program& p) {
    for (int tries = 0; tries < kSteadyTries; ++tries) {
        if (!p.sync()) return false;
        const wkit::Frame before = p.frame();
        const auto screen = p.shot();
        if (!p.sync() || p.frame().get("paints") != before.get("paints")) continue;
        App a;
        wkit::mirror(before, a);
        const std::string png = kit::scratch_dir("over") + "/over.png";
        a.snapshot(kW, kH, 1, "", png);
        const char* panel = a.m_modal == Modal::Settings    ? "set:panel"
                            : a.m_modal == Modal::Languages ? "lang:panel"
                            : a.m_modal == Modal::GuideWarn ? "gw:panel"
                                                            : "conf:panel";
        const Hit* r = nullptr;
        for (const Hit& h : a.m_over_hits)
            if (h.id == panel) r = &h;
        const Canvas over(png);
        if (!r || !screen->ok()) return false;
        double sum = 0, n = 1;
        for (int y = int(r->y) + 4; y < int(r->y + r->h) - 4; y += 2)
            for (int x = int(r->x) + 4; x < int(r->x + r->w) - 4; x += 2) {
                const Px o = over.raw(x, y), s = screen->at(x, y);
                if (o.a < 255) continue;
                sum += std::abs(o.r - s.r) + std::abs(o.g - s.g) + std::abs(o.b - s.b);
                n += 3;
            }
        L10n::setLanguage("en");
        return sum / n < 1.5;
    }
    return false;
}

bool dimmed(wkit::Program& p) { return p.shot()->at(p.w() - 6, 4).r < 0xE9 - 60; }

class Overlays : public wkit::OnScreen<> {
protected:
    std::unique_ptr<wkit::Program> start(const wkit::User& u, const std::vector<std::string>& env = {}) {
        return OnScreen::start(u, kW, kH, env);
    }
};

}  // namespace

TEST(SettingsPanel, InstalledAsIsReadOnceNotOnEveryRepaint) {
    const std::string root = kit::scratch_dir("sysroot");
    for (const char* d : {"/usr", "/usr/bin", "/proc", "/proc/self"}) mkdir((root + d).c_str(), 0700);
    ASSERT_EQ(symlink("/opt/zxq/zxQuenlowsRaidCalculator", (root + "/proc/self/exe").c_str()), 0);
    kit::write_script(root + "/usr/bin/rpm", "echo >> '" + root + "/calls'\nprintf 'zxq 1.0.0-1'\n");
    zxcrash::detail::set_sys_root(root);
    App a;
    a.load_state(kit::scratch_dir("about"));
    a.open_settings(1);
    for (const char* hover : {"", "set:tab:0", "set:close", ""}) {
        a.m_over_hover = hover;
        a.snapshot(kW, kH, 1, "", "");
    }
    zxcrash::detail::set_sys_root("");
    EXPECT_EQ(kit::read_file(root + "/calls"), "\n");
    EXPECT_EQ(zxcrash::package_line(), "rpm zxq 1.0.0-1 (/opt/zxq/zxQuenlowsRaidCalculator)");
}

TEST_P(Overlays, TabsLanguagesAndReset) {
    const wkit::User u = wkit::new_user("tabs");
    auto p = start(u);
    p->click("head:settings");
    EXPECT_EQ(p->frame().modal(), modal_of(Modal::Settings));
    for (int t : {1, 2, 0}) {
        p->click("set:tab:" + std::to_string(t));
        EXPECT_EQ(p->frame().num("set_tab"), t);
        EXPECT_TRUE(shows(*p)) << "tab " << t;
    }
    // One wheel step down the list brings Deutsch into view; then Arabic,
    // whose panel reads from the right.
    for (const auto& [lang, steps] : {std::pair<std::string, int>{"de", 1}, {"ar", 0}}) {
        const std::string code = lang;
        p->click("set:lang");
        EXPECT_EQ(p->frame().modal(), modal_of(Modal::Languages));
        p->wheel(kW / 2, kH / 2, steps);
        EXPECT_EQ(p->frame().num("lang_scroll"), 60 * steps);
        p->click("lang:" + code);
        EXPECT_EQ(p->frame().get("language"), code);
        EXPECT_EQ(p->frame().modal(), modal_of(Modal::Settings)) << "back to the panel";
        EXPECT_TRUE(p->wait_settings([&](const Settings& s) { return s.language == code; }));
        EXPECT_TRUE(shows(*p)) << code;
    }
    p->key("Escape");
    p->key("plus");
    EXPECT_EQ(p->frame().settings().disks, 7);
    for (const char* answer : {"conf:no", "conf:ok"}) {
        p->click("head:settings");
        p->click("set:btn:reset");
        EXPECT_EQ(p->frame().modal(), modal_of(Modal::Confirm));
        EXPECT_TRUE(shows(*p));
        p->click(answer);
        EXPECT_EQ(p->frame().modal(), 0) << answer;
        EXPECT_EQ(p->frame().settings().disks, answer == std::string("conf:ok") ? 6 : 7) << answer;
    }
    EXPECT_TRUE(p->wait_settings([](const Settings& s) { return s.disks == 6; }));
}

TEST_P(Overlays, EveryMenuItemByMouseAndByF10) {
    const wkit::User u = wkit::new_user("menus");
    mkdir(u.dir().c_str(), 0700);
    Settings seed;
    seed.load(u.settings_path());
    seed.failed = "0,1";
    seed.language = "en";
    ASSERT_TRUE(seed.save());
    const std::string bin = u.home + "/bin", rec = u.home + "/rec", url = rec + "/xdg-open.args";
    mkdir(bin.c_str(), 0700);
    mkdir(rec.c_str(), 0700);
    kit::fake_program(bin, "xdg-open", rec);
    auto p = start(u, {"PATH=" + bin + ":" + std::getenv("PATH")});
    auto now = [&](Check ok) { return [&, ok] { return ok(p->frame().settings()); }; };
    auto panel = [&](int tab) {
        return [&, tab] {
            const bool ok = p->frame().modal() == modal_of(Modal::Settings) && p->frame().num("set_tab") == tab &&
                            shows(*p);
            p->key("Escape");
            return ok && p->frame().modal() == 0;
        };
    };
    auto opened = [&](const std::string& what) {
        return [&, what] {
            const bool ok = wkit::wait_until([&] { return access(url.c_str(), F_OK) == 0; }, kWaitMs) &&
                            kit::recorded_args(url) == std::vector<std::string>{what};
            unlink(url.c_str());
            return ok;
        };
    };
    auto clipboard = [&] {
        return wkit::wait_until([&] {
            return wkit::x_run(x.display(), {"xclip", "-o", "-selection", "clipboard"}).find("RAID 6") != std::string::npos;
        }, kWaitMs);
    };
    // The guide opens behind its warning; past the warning it is the page.
    auto guide_open = [&] {
        const bool warned = p->frame().modal() == modal_of(Modal::GuideWarn) && shows(*p);
        p->click("gw:ok");
        return warned && p->frame().modal() == 0 && p->frame().num("tab") == 1;
    };
    auto reset_asked = [&] {
        const bool ok = p->frame().modal() == modal_of(Modal::Confirm) && shows(*p);
        p->key("Escape");
        return ok && p->frame().modal() == 0;
    };
    std::vector<std::tuple<int, int, std::function<bool()>>> items = {
        {0, 0, clipboard}, {0, 1, now([](const Settings& s) { return s.failed.empty(); })},
        {0, 2, reset_asked}, {0, 4, panel(0)},
        {1, 1, now([](const Settings& s) { return s.theme == "dark"; })},
        {1, 2, now([](const Settings& s) { return s.theme == "light"; })},
        {1, 0, now([](const Settings& s) { return s.theme == "auto"; })},
        {1, 4, now([](const Settings& s) { return !s.animate; })},
        {1, 5, now([](const Settings& s) { return s.os_sizes; })}, {1, 8, guide_open},
        {1, 7, now([](const Settings& s) { return s.tab == 0; })},
        {3, 0, panel(2)}, {3, 1, opened(product::kWebsite)},
        {3, 2, opened(std::string("mailto:") + product::kContact)}, {3, 4, panel(1)}};
    for (int i : {0, 1, 2, 3, 5, 6, 7, 8, 4}) {
        const std::string level = raid::key(raid::kLevels[i]);
        items.emplace_back(2, i, now([level](const Settings& s) { return s.level == level; }));
    }
    items.emplace_back(0, 6, [&] { return p->wait_exit() == 0; });
    bool by_mouse = true;
    for (const auto& [m, i, check] : items) {
        if (by_mouse) {
            p->click("mb:" + std::to_string(m));
            EXPECT_EQ(p->frame().num("menu"), m);
            p->click("menu:" + std::to_string(i));
        } else {
            p->key("F10");
            for (int k = 0; k < m; ++k) p->key("Right");
            EXPECT_EQ(p->frame().num("menu"), m);
            for (int k = 0; k < i; ++k)
                if (p->frame().find("menu:" + std::to_string(k + 1))) p->key("Down");
            EXPECT_EQ(p->frame().get("over_hover"), "menu:" + std::to_string(i));
            p->key("Return");
        }
        if (p->running()) {
            EXPECT_NE(p->frame().num("menu"), m) << "the menu closed";
        }
        EXPECT_TRUE(check()) << "menu " << m << " item " << i << (by_mouse ? " by mouse" : " by keys");
        by_mouse = !by_mouse;
    }
    EXPECT_TRUE(p->settings().failed.empty()) << "saved on the way out";
}

TEST_P(Overlays, GuideWarningTickedStaysAwayAfterARestart) {
    const wkit::User u = wkit::new_user("warn");
    for (const bool first : {true, false}) {
        auto p = start(u);
        p->key("ctrl+Tab");
        EXPECT_EQ(p->frame().num("tab"), 1);
        EXPECT_EQ(p->frame().modal() == modal_of(Modal::GuideWarn), first);
        EXPECT_EQ(dimmed(*p), first);
        if (first) {
            p->click("gw:again");
            EXPECT_FALSE(p->frame().settings().guide_warn);
            EXPECT_EQ(p->frame().modal(), modal_of(Modal::GuideWarn)) << "ticking does not close it";
            p->click("gw:ok");
            EXPECT_EQ(p->frame().modal(), 0);
            EXPECT_TRUE(p->wait_settings([](const Settings& s) { return !s.guide_warn; }));
            p->key("ctrl+Tab");
        }
        p->key("ctrl+q");
        EXPECT_EQ(p->wait_exit(), 0);
    }
}

TEST_P(Overlays, CrashDialogSendsOrDiscardsOnce) {
    for (const bool send : {true, false}) {
        const wkit::User u = wkit::new_user("crash");
        const std::string bin = u.home + "/bin", rec = u.home + "/rec", report = u.dir() + "/crash_report.txt";
        mkdir(bin.c_str(), 0700);
        mkdir(rec.c_str(), 0700);
        kit::fake_program(bin, "xdg-email", rec);
        const std::vector<std::string> env = {"PATH=" + bin + ":" + std::getenv("PATH"),
                                              "XDG_DATA_DIRS=" + u.home + "/none"};
        auto p = start(u, env);
        p->signal(SIGSEGV);
        EXPECT_EQ(p->wait_exit(), 128 + SIGSEGV);
        const std::string crashed_log = p->log();
        // Complete: from its heading to its end line, with the window's
        // graphics, the system and the crashed run's log in between.
        const std::string text = kit::read_file(report);
        ASSERT_NE(text.find("Signal: SIGSEGV"), std::string::npos);
        EXPECT_EQ(text.rfind("=== zxQuenlowsRaidCalculator crash report ===\n", 0), 0u) << text;
        for (const char* part : {"\n--- Graphics ---\n", "\n--- System ---\n", "first frame presented"})
            EXPECT_NE(text.find(part), std::string::npos) << part;
        EXPECT_TRUE(text.ends_with("\n=== end of report ===\n")) << text;

        p = start(u, env);
        EXPECT_EQ(p->frame().modal(), modal_of(Modal::Crash));
        EXPECT_TRUE(shows(*p));
        p->key("Escape");
        p->click(20, kH / 2);
        EXPECT_EQ(p->frame().modal(), modal_of(Modal::Crash)) << "only its buttons close it";
        EXPECT_TRUE(shows(*p));
        p->click(send ? "conf:ok" : "conf:no");
        EXPECT_EQ(p->frame().modal(), 0);
        EXPECT_FALSE(dimmed(*p));
        if (send) {
            EXPECT_TRUE(p->wait_log("xdg-email: exit 0", kWaitMs)) << p->log();
            const auto args = kit::recorded_args(rec + "/xdg-email.args");
            std::vector<std::string> attached;
            for (size_t i = 0; i + 1 < args.size(); ++i)
                if (args[i] == "--attach") attached.push_back(args[i + 1]);
            EXPECT_EQ(attached, (std::vector<std::string>{u.dir() + "/crash_report-sent.txt",
                                                          u.dir() + "/crash_log-sent.txt", u.log_path()}));
            EXPECT_EQ(args.back(), product::kContact);
            EXPECT_NE(kit::read_file(rec + "/xdg-email-attach1-crash_report-sent.txt").find("Signal: SIGSEGV"),
                      std::string::npos);
            EXPECT_EQ(kit::read_file(rec + "/xdg-email-attach2-crash_log-sent.txt"), crashed_log);
        } else {
            EXPECT_TRUE(p->wait_log("crash report: user chose discard"));
            EXPECT_NE(access(report.c_str(), F_OK), 0);
            EXPECT_NE(access((u.dir() + "/crash_log.txt").c_str(), F_OK), 0);
            EXPECT_NE(access((rec + "/xdg-email.args").c_str(), F_OK), 0);
        }
        p->key("ctrl+q");
        EXPECT_EQ(p->wait_exit(), 0);
        p = start(u, env);
        EXPECT_EQ(p->frame().modal(), 0) << "the dialog does not come back";
        EXPECT_FALSE(dimmed(*p));
    }
}

TEST_P(Overlays, AReportNoMailProgramTookIsToldInTheWindow) {
    const wkit::User u = wkit::new_user("nomail");
    const std::string bin = u.home + "/bin", rec = u.home + "/rec";
    mkdir(bin.c_str(), 0700);
    mkdir(rec.c_str(), 0700);
    kit::fake_program(bin, "xdg-email", rec, 1);
    kit::fake_program(bin, "xdg-open", rec);
    const std::vector<std::string> env = {"PATH=" + bin + ":" + std::getenv("PATH"), "XDG_DATA_DIRS=" + u.home + "/none"};
    auto p = start(u, env);
    p->signal(SIGSEGV);
    EXPECT_EQ(p->wait_exit(), 128 + SIGSEGV);
    p = start(u, env);
    ASSERT_EQ(p->frame().modal(), modal_of(Modal::Crash));
    p->click("conf:ok");
    EXPECT_TRUE(p->wait_log("opened mailto and the folder", kWaitMs)) << p->log();
    EXPECT_TRUE(wkit::wait_until([&] { return p->sync() && p->frame().get("notice") == "note.report_link"; }, kWaitMs));
}

// The id under a point of a frame's layer, as the program looks it up.
std::string id_at(const std::vector<Hit>& hits, double x, double y) {
    for (auto it = hits.rbegin(); it != hits.rend(); ++it)
        if (x >= it->x && y >= it->y && x < it->x + it->w && y < it->y + it->h) return it->id;
    return "";
}

TEST_P(Overlays, ScrollingTakesTooltipsAndHighlightsAlong) {
    const wkit::User u = wkit::new_user("scrolltips");
    mkdir(u.dir().c_str(), 0700);
    Settings seed;
    seed.load(u.settings_path());
    seed.level = "raid5";
    seed.tab = 1;
    seed.guide_warn = false;
    ASSERT_TRUE(seed.save());
    auto p = start(u);
    // A copy button's tooltip, then the wheel: the tooltip goes, and the
    // highlight is on what now lies under the pointer.
    const Hit* copy = p->hit("gcopy:1");
    ASSERT_TRUE(copy);
    const double x = copy->x + copy->w / 2, y = copy->y + copy->h / 2;
    p->move(x, y);
    ASSERT_TRUE(wkit::wait_until([&] { return p->sync() && p->frame().get("tip") == "1"; }, kWaitMs));
    p->wheel(x, y, 1);
    EXPECT_EQ(p->frame().get("tip"), "0");
    EXPECT_GT(p->frame().num("scroll"), 0);
    EXPECT_EQ(p->frame().get("hover"), id_at(p->frame().base, x, y));
    EXPECT_NE(p->frame().get("hover"), "gcopy:1");
    std::string other;
    for (const Hit& h : p->frame().base)
        if (h.id.rfind("gcopy:", 0) == 0 && h.id != "gcopy:1" && h.h > 20) other = h.id;
    ASSERT_NE(other, "");
    p->move_to(other);
    ASSERT_TRUE(wkit::wait_until([&] { return p->sync() && p->frame().get("tip") == "1"; }, kWaitMs));
    p->key("Next");
    EXPECT_EQ(p->frame().get("tip"), "0") << "Page Down as well";
    EXPECT_NE(p->frame().get("hover"), other);

    // In the language list the highlight follows the list.
    p->key("ctrl+comma");
    p->click("set:lang");
    const Hit* de = p->hit("lang:de");
    ASSERT_TRUE(de);
    const double lx = de->x + de->w / 2, ly = de->y + de->h / 2;
    p->move(lx, ly);
    EXPECT_EQ(p->frame().get("over_hover"), "lang:de");
    p->wheel(lx, ly, 1);
    EXPECT_EQ(p->frame().num("lang_scroll"), 60);
    EXPECT_EQ(p->frame().get("over_hover"), id_at(p->frame().over, lx, ly));
    EXPECT_NE(p->frame().get("over_hover"), "lang:de");
}

INSTANTIATE_TEST_SUITE_P(Renderers, Overlays, ::testing::ValuesIn(wkit::renderers()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
