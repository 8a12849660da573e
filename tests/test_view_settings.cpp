// The settings panel, language list, dialogs, menus and crash dialog in the
// real program under its own X server, driven as a user would. Where the
// program paints a control, and what the screen must show, is found by
// painting the same state here.
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
using Check = std::function<bool(const Settings&)>;

const Hit* find(const std::vector<Hit>& hits, const std::string& id) {
    for (auto it = hits.rbegin(); it != hits.rend(); ++it)
        if (it->id == id && it->w > 0) return &*it;
    return nullptr;
}

void click(wkit::Program& p, App& a, const std::string& id, bool over = true) {
    a.snapshot(kW, kH, 1, "", "");
    const Hit* h = find(over ? a.m_over_hits : a.m_hits, id);
    ASSERT_TRUE(h) << id;
    p.click(h->x + h->w / 2, h->y + h->h / 2);
    usleep(150 * 1000);
}

// The screen shows the dialog `a` paints: the mean difference per channel
// over its opaque panel pixels is small (a wrong tab, language or dialog
// differs by 3.8 or more; the package line alone by 0.4).
bool shows(wkit::Program& p, App& a) {
    const std::string png = kit::scratch_dir("over") + "/over.png";
    a.snapshot(kW, kH, 1, "", png);
    const Hit* r = find(a.m_over_hits, a.m_modal == App::Modal::Settings ? "set:panel" : "conf:panel");
    const Canvas over(png);
    return r && wkit::wait_until([&] {
        const auto screen = p.shot();
        double sum = 0, n = 1;
        for (int y = int(r->y) + 4; y < int(r->y + r->h) - 4; y += 2)
            for (int x = int(r->x) + 4; x < int(r->x + r->w) - 4; x += 2) {
                const Px o = over.raw(x, y), s = screen->at(x, y);
                if (o.a < 255) continue;
                sum += std::abs(o.r - s.r) + std::abs(o.g - s.g) + std::abs(o.b - s.b);
                n += 3;
            }
        return sum / n < 1.5;
    }, 3000);
}

bool dimmed(wkit::Program& p) { return p.shot()->at(p.w() - 6, 4).r < 0xE9 - 60; }

class Overlays : public ::testing::TestWithParam<std::string> {
protected:
    wkit::Xvfb x;
    void SetUp() override { ASSERT_TRUE(x.ok()); }
    std::unique_ptr<wkit::Program> start(const wkit::User& u, const std::vector<std::string>& env = {}) {
        auto p = std::make_unique<wkit::Program>(x, u, GetParam(), std::vector<std::string>{"--size", "1100x760"}, env);
        EXPECT_TRUE(p->wait_window() && p->refresh() && p->w() == kW && p->h() == kH) << p->stderr_text();
        usleep(300 * 1000);
        return p;
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
    App a;
    a.load_state(u.dir());
    click(*p, a, "head:settings", false);
    a.open_settings(0);
    for (int t : {1, 2, 0}) {
        click(*p, a, "set:tab:" + std::to_string(t));
        a.m_set_tab = t;
        EXPECT_TRUE(shows(*p, a)) << "tab " << t;
    }
    // One wheel step down the list brings Deutsch where the click lands;
    // then Arabic, whose panel reads from the right.
    for (const auto& [lang, steps] : {std::pair<std::string, int>{"de", 1}, {"ar", 0}}) {
        const std::string code = lang;
        click(*p, a, "set:lang");
        a.m_modal = App::Modal::Languages;
        p->wheel(kW / 2, kH / 2, steps);
        a.m_lang_scroll = 60 * steps;
        click(*p, a, "lang:" + code);
        EXPECT_TRUE(p->wait_settings([&](const Settings& s) { return s.language == code; }));
        a.m_settings.language = code;
        L10n::setLanguage(code);
        a.m_modal = App::Modal::Settings;
        EXPECT_TRUE(shows(*p, a)) << code;
    }
    p->key("Escape");
    p->key("plus");
    ASSERT_TRUE(p->wait_settings([](const Settings& s) { return s.disks == 7; }));
    for (const char* answer : {"conf:no", "conf:ok"}) {
        a.m_modal = App::Modal::None;
        click(*p, a, "head:settings", false);
        a.open_settings(0);
        click(*p, a, "set:btn:reset");
        a.confirm(L10n::tr("mi.reset_confirm"), L10n::tr("mi.reset"), nullptr);
        EXPECT_TRUE(shows(*p, a));
        click(*p, a, answer);
        usleep(1000 * 1000);
        EXPECT_EQ(p->settings().disks, answer == std::string("conf:ok") ? 6 : 7) << answer;
    }
    L10n::setLanguage("en");
}

TEST_P(Overlays, EveryMenuItemByMouseAndByF10) {
    const wkit::User u = wkit::new_user("menus");
    mkdir(u.dir().c_str(), 0700);
    Settings seed;
    seed.load(u.settings_path());
    seed.failed = "0,1";
    ASSERT_TRUE(seed.save());
    const std::string bin = u.home + "/bin", rec = u.home + "/rec", url = rec + "/xdg-open.args";
    mkdir(bin.c_str(), 0700);
    mkdir(rec.c_str(), 0700);
    kit::fake_program(bin, "xdg-open", rec);
    auto p = start(u, {"PATH=" + bin + ":" + std::getenv("PATH")});
    App a;
    a.load_state(u.dir());
    auto saved = [&](Check ok) { return [&, ok] { return p->wait_settings(ok, kWaitMs); }; };
    auto panel = [&](int tab) {
        return [&, tab] {
            a.open_settings(tab);
            const bool ok = shows(*p, a);
            p->key("Escape");
            a.m_modal = App::Modal::None;
            return ok;
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
    auto guide_open = [&] {
        a.m_modal = App::Modal::GuideWarn;
        click(*p, a, "gw:ok");
        a.m_modal = App::Modal::None;
        return p->wait_settings([](const Settings& s) { return s.tab == 1; }, kWaitMs);
    };
    auto reset_asked = [&] {
        a.confirm(L10n::tr("mi.reset_confirm"), L10n::tr("mi.reset"), nullptr);
        const bool ok = shows(*p, a);
        p->key("Escape");
        a.m_modal = App::Modal::None;
        return ok;
    };
    std::vector<std::tuple<int, int, std::function<bool()>>> items = {
        {0, 0, clipboard}, {0, 1, saved([](const Settings& s) { return s.failed.empty(); })},
        {0, 2, reset_asked}, {0, 4, panel(0)},
        {1, 1, saved([](const Settings& s) { return s.theme == "dark"; })},
        {1, 2, saved([](const Settings& s) { return s.theme == "light"; })},
        {1, 0, saved([](const Settings& s) { return s.theme == "auto"; })},
        {1, 4, saved([](const Settings& s) { return !s.animate; })},
        {1, 5, saved([](const Settings& s) { return s.os_sizes; })}, {1, 8, guide_open},
        {1, 7, saved([](const Settings& s) { return s.tab == 0; })},
        {3, 0, panel(2)}, {3, 1, opened(product::kWebsite)},
        {3, 2, opened(std::string("mailto:") + product::kContact)}, {3, 4, panel(1)}};
    for (int i : {0, 1, 2, 3, 5, 6, 7, 8, 4}) {
        const std::string level = raid::key(raid::kLevels[i]);
        items.emplace_back(2, i, saved([level](const Settings& s) { return s.level == level; }));
    }
    items.emplace_back(0, 6, [&] { return p->wait_exit() == 0; });
    bool by_mouse = true;
    for (const auto& [m, i, check] : items) {
        if (by_mouse) {
            click(*p, a, "mb:" + std::to_string(m), false);
            a.open_menubar(m);
            click(*p, a, "menu:" + std::to_string(i));
            a.m_menu.open = false;
        } else {
            p->key("F10");
            for (int k = 0; k < m; ++k) p->key("Right");
            const auto menu = a.menubar_items(m);
            for (int k = 0; k < i; ++k)
                if (!menu[k].separator) p->key("Down");
            p->key("Return");
        }
        EXPECT_TRUE(check()) << "menu " << m << " item " << i << (by_mouse ? " by mouse" : " by keys");
        by_mouse = !by_mouse;
    }
}

TEST_P(Overlays, GuideWarningTickedStaysAwayAfterARestart) {
    const wkit::User u = wkit::new_user("warn");
    for (const bool first : {true, false}) {
        auto p = start(u);
        EXPECT_TRUE(p->wait_log("first frame presented", kWaitMs));
        p->key("ctrl+Tab");
        EXPECT_TRUE(p->wait_settings([](const Settings& s) { return s.tab == 1; }, kWaitMs)) << p->log();
        usleep(400 * 1000);
        EXPECT_EQ(dimmed(*p), first);
        if (first) {
            App a;
            a.load_state(u.dir());
            a.m_modal = App::Modal::GuideWarn;
            click(*p, a, "gw:again");
            click(*p, a, "gw:ok");
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
        App a;
        a.load_state(u.dir());
        a.m_modal = App::Modal::Crash;
        EXPECT_TRUE(shows(*p, a));
        p->key("Escape");
        p->click(20, kH / 2);
        EXPECT_TRUE(shows(*p, a)) << "only its buttons close it";
        click(*p, a, send ? "conf:ok" : "conf:no");
        EXPECT_TRUE(wkit::wait_until([&] { return !dimmed(*p); }, kWaitMs));
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
        usleep(600 * 1000);
        EXPECT_FALSE(dimmed(*p)) << "the dialog does not come back";
    }
}

INSTANTIATE_TEST_SUITE_P(Renderers, Overlays, ::testing::ValuesIn(wkit::renderers()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
