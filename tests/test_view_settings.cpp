// The settings panel, the language list, the dialogs, the menus and the
// crash dialog: their rules on the App itself without a window, then the
// real program under its own X server, driven as a user would. Where the
// program paints a control is found by painting the same state here.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "app.h"
#include "kit.h"
#include "l10n.h"
#include "version.h"
#include "wkit.h"
#include "zxcrash_detail.h"

namespace {

constexpr int kW = 1100, kH = 760;
constexpr int kWaitMs = 6000;

const Hit* find(const std::vector<Hit>& hits, const std::string& id) {
    for (auto it = hits.rbegin(); it != hits.rend(); ++it)
        if (it->id == id && it->w > 0) return &*it;
    return nullptr;
}

void paint(App& a, double W = kW, double H = kH) {
    a.snapshot(W, H, 1, "", "");
    a.snapshot(W, H, 1, "", "");
}

// A window test's model of the program: an App with the user's saved state.
std::unique_ptr<App> model(const wkit::User& u) {
    auto a = std::make_unique<App>();
    a->load_state(u.dir());
    return a;
}

// The centre of `id` as `a` paints it now in a kW x kH window.
std::pair<double, double> at(App& a, const std::string& id, bool over = true) {
    paint(a);
    const Hit* h = find(over ? a.m_over_hits : a.m_hits, id);
    EXPECT_TRUE(h) << "nothing painted as " << id;
    if (!h) return {-100, -100};
    return {h->x + h->w / 2, h->y + h->h / 2};
}

void click(wkit::Program& p, App& a, const std::string& id, bool over = true) {
    const auto [x, y] = at(a, id, over);
    p.click(x, y);
    usleep(150 * 1000);
}

// How far the screen is from the overlay `a` paints: the mean difference
// per channel over the opaque overlay pixels of the settings panel.
double distance(wkit::Program& p, App& a) {
    const std::string png = kit::scratch_dir("over") + "/over.png";
    a.snapshot(kW, kH, 1, "", "");
    a.snapshot(kW, kH, 1, "", png);
    const Hit* panel = find(a.m_over_hits, "set:panel");
    if (!panel) panel = find(a.m_over_hits, "conf:panel");
    if (!panel) return 255;
    const Canvas over(png);
    const auto screen = p.shot();
    double sum = 0;
    long n = 0;
    for (int y = int(panel->y) + 4; y < int(panel->y + panel->h) - 4; y += 2)
        for (int x = int(panel->x) + 4; x < int(panel->x + panel->w) - 4; x += 2) {
            const Px o = over.raw(x, y), s = screen->at(x, y);
            if (o.a != 255) continue;
            sum += std::abs(o.r - s.r) + std::abs(o.g - s.g) + std::abs(o.b - s.b);
            n += 3;
        }
    return n ? sum / n : 255;
}

// True when the screen shows what `a` paints, and clearly not what it
// paints after any of `others` (which may switch the language for a while).
bool shows(wkit::Program& p, App& a, const std::vector<std::function<void(App&)>>& others) {
    const std::string lang = L10n::currentLanguage();
    for (int tries = 0; tries < 20; ++tries) {
        const double d = distance(p, a);
        bool apart = d < 4;
        for (const auto& change : others) {
            auto b = std::make_unique<App>();
            b->m_settings = a.m_settings;
            b->recompute();
            b->m_modal = a.m_modal;
            b->m_set_tab = a.m_set_tab;
            b->m_confirm_text = a.m_confirm_text;
            b->m_confirm_ok = a.m_confirm_ok;
            change(*b);
            apart = apart && distance(p, *b) > 2 * d + 2;
            L10n::setLanguage(lang);
        }
        if (apart) return true;
        usleep(100 * 1000);
    }
    return false;
}

bool dimmed(wkit::Program& p) {
    // The menu bar's own light grey, or that grey under the dialogs' dimming.
    const Px c = p.shot()->at(p.w() - 6, 4);
    return c.r < 0xE9 - 60;
}

void seed(const wkit::User& u, const std::function<void(Settings&)>& change) {
    mkdir(u.dir().c_str(), 0700);
    Settings s;
    s.load(u.settings_path());
    change(s);
    ASSERT_TRUE(s.save());
}

}  // namespace

// ---- Without a window ----

TEST(SettingsPanel, InstalledAsIsReadOnceAndTheLinksAreLive) {
    // An rpm that counts how often it is asked.
    const std::string root = kit::scratch_dir("sysroot");
    for (const char* d : {"/usr", "/usr/bin", "/proc", "/proc/self"}) mkdir((root + d).c_str(), 0700);
    ASSERT_EQ(symlink("/opt/zxq/bin/zxQuenlowsRaidCalculator", (root + "/proc/self/exe").c_str()), 0);
    kit::write_script(root + "/usr/bin/rpm",
                      "echo asked >> '" + root + "/calls'\nprintf 'zxquenlowsraidcalculator 1.0.0-1'\n");
    zxcrash::detail::set_sys_root(root);
    App a;
    a.load_state(kit::scratch_dir("about"));
    a.open_settings(1);
    for (const char* hover : {"", "set:tab:0", "set:close", "", "set:tab:2"}) {
        a.m_over_hover = hover;
        paint(a);
    }
    zxcrash::detail::set_sys_root("");
    EXPECT_EQ(kit::lines(kit::read_file(root + "/calls")).size(), 1u) << "hover repaints must not ask again";
    EXPECT_NE(a.m_package_line.find("rpm zxquenlowsraidcalculator 1.0.0-1"), std::string::npos) << a.m_package_line;
    for (const std::string& link : {std::string("set:link:mailto:") + product::kContact,
                                   std::string("set:link:") + product::kWebsite})
        EXPECT_TRUE(find(a.m_over_hits, link)) << link;
}

TEST(SettingsPanel, ScrollsWithinItsContentAndDisablesWhatScrolledAway) {
    App a;
    a.load_state(kit::scratch_dir("scroll"));
    a.open_settings(0);
    paint(a, 720, 520);
    ASSERT_GT(a.m_set_content_h, a.m_set_view_h) << "the small window must need scrolling";
    for (int i = 0; i < 30; ++i) a.wheel(360, 260, +1);
    paint(a, 720, 520);
    EXPECT_DOUBLE_EQ(a.m_set_scroll, a.m_set_content_h - a.m_set_view_h);
    EXPECT_FALSE(find(a.m_over_hits, "set:lang")) << "scrolled out of sight, not clickable";
    EXPECT_TRUE(find(a.m_over_hits, "set:btn:reset"));
    a.over_click(*find(a.m_over_hits, "set:btn:reset"));
    EXPECT_EQ(a.m_modal, App::Modal::Confirm) << "reset asks first";
    a.open_settings(0);
    EXPECT_EQ(a.m_set_scroll, 0);
    for (int i = 0; i < 30; ++i) a.wheel(360, 260, -1);
    paint(a, 720, 520);
    EXPECT_TRUE(find(a.m_over_hits, "set:lang"));
    EXPECT_EQ(a.m_set_scroll, 0);
}

TEST(LanguageList, ShowsEveryLanguageScrollsAndOnlyItsOwnControlsAnswer) {
    App a;
    a.load_state(kit::scratch_dir("langs"));
    a.open_settings(0);
    paint(a);
    const Hit tab = *find(a.m_over_hits, "set:tab:2");
    a.over_click(*find(a.m_over_hits, "set:lang"));
    ASSERT_EQ(a.m_modal, App::Modal::Languages);
    const auto langs = L10n::available();
    ASSERT_EQ(langs.size(), 83u);
    paint(a);
    EXPECT_TRUE(find(a.m_over_hits, "lang:auto"));
    EXPECT_FALSE(find(a.m_over_hits, "lang:" + langs.back().code)) << "the list is longer than its panel";
    for (int i = 0; i < 40; ++i) a.wheel(kW / 2, kH / 2, +1);
    paint(a);
    EXPECT_TRUE(find(a.m_over_hits, "lang:" + langs.back().code));
    EXPECT_FALSE(find(a.m_over_hits, "lang:auto"));

    // A click on the settings tab bar that shows above the list closes the
    // list and leaves the panel's tabs alone.
    const Hit* list = find(a.m_over_hits, "lang:panel");
    ASSERT_LT(tab.y + 2, list->y);
    a.mouse_down(tab.x + tab.w / 2, tab.y + 2, 1, 1);
    EXPECT_EQ(a.m_modal, App::Modal::Settings);
    EXPECT_EQ(a.m_set_tab, 0);

    a.over_click(Hit{0, 0, 1, 1, "set:lang", 0, ""});
    paint(a);
    const Hit* de = find(a.m_over_hits, "lang:de");
    ASSERT_TRUE(de);
    a.mouse_down(de->x + de->w / 2, de->y + de->h / 2, 1, 1);
    EXPECT_EQ(a.m_settings.language, "de");
    EXPECT_EQ(L10n::currentLanguage(), "de");
    EXPECT_EQ(a.m_modal, App::Modal::Settings);
    EXPECT_NE(a.m_save_at, 0u);
    L10n::setLanguage("en");
}

TEST(Menus, KeysWalkTheItemsAndTheBarAndRunTheChosenItem) {
    App a;
    a.load_state(kit::scratch_dir("menukeys"));
    paint(a);
    SDL_Keysym k{};
    auto press = [&](SDL_Keycode c) {
        k.sym = c;
        a.key(k);
    };
    press(SDLK_F10);
    ASSERT_TRUE(a.m_menu.open);
    EXPECT_EQ(a.m_over_hover, "menu:0");
    press(SDLK_UP);
    EXPECT_EQ(a.m_over_hover, "menu:6") << "wraps to Quit";
    press(SDLK_DOWN);
    press(SDLK_DOWN);
    press(SDLK_DOWN);
    press(SDLK_DOWN);
    EXPECT_EQ(a.m_over_hover, "menu:4") << "the separator is skipped";
    press(SDLK_LEFT);
    EXPECT_EQ(a.m_menubar_open, 3) << "Left from File goes round to Help";
    press(SDLK_RIGHT);
    press(SDLK_RIGHT);
    EXPECT_EQ(a.m_menubar_open, 1);
    const double scroll = a.m_scroll[0];
    for (int i = 0; i < 3; ++i) press(SDLK_DOWN);
    EXPECT_EQ(a.m_over_hover, "menu:4");
    EXPECT_EQ(a.m_scroll[0], scroll) << "arrows in an open menu do not scroll the page";
    const bool animate = a.m_settings.animate;
    press(SDLK_RETURN);
    EXPECT_FALSE(a.m_menu.open);
    EXPECT_NE(a.m_settings.animate, animate);
    EXPECT_EQ(a.m_menubar_open, -1);
    press(SDLK_F10);
    EXPECT_EQ(a.m_over_hover, "menu:0") << "a new menu starts at its first item";
}

// ---- The real program ----

namespace {

class Overlays : public ::testing::TestWithParam<std::string> {
protected:
    wkit::Xvfb x;
    void SetUp() override { ASSERT_TRUE(x.ok()) << "Xvfb did not start"; }

    std::unique_ptr<wkit::Program> start(const wkit::User& u, const std::vector<std::string>& env = {}) {
        auto p = std::make_unique<wkit::Program>(x, u, GetParam(),
                                                 std::vector<std::string>{"--size", "1100x760"}, env);
        EXPECT_TRUE(p->wait_window()) << p->stderr_text();
        EXPECT_TRUE(p->refresh());
        EXPECT_EQ(p->w(), kW);
        EXPECT_EQ(p->h(), kH);
        usleep(300 * 1000);
        return p;
    }
};

}  // namespace

TEST_P(Overlays, TabsLanguagesAndResetAsAUserMeetsThem) {
    const wkit::User u = wkit::new_user("tabs");
    auto p = start(u);
    auto a = model(u);

    click(*p, *a, "head:settings", false);
    a->open_settings(0);
    EXPECT_TRUE(shows(*p, *a, {[](App& b) { b.m_set_tab = 1; }}));
    for (int t : {1, 2, 0}) {
        click(*p, *a, "set:tab:" + std::to_string(t));
        a->m_set_tab = t;
        EXPECT_TRUE(shows(*p, *a, {[t](App& b) { b.m_set_tab = (t + 1) % 3; }})) << "tab " << t;
    }

    // The language list scrolls with the wheel; German is picked where it
    // then shows.
    click(*p, *a, "set:lang");
    a->m_modal = App::Modal::Languages;
    p->wheel(kW / 2, kH / 2, 1);
    a->m_lang_scroll = 60;
    click(*p, *a, "lang:de");
    ASSERT_TRUE(p->wait_settings([](const Settings& s) { return s.language == "de"; })) << p->log();
    a->m_settings.language = "de";
    L10n::setLanguage("de");
    a->m_modal = App::Modal::Settings;
    EXPECT_TRUE(shows(*p, *a, {[](App&) { L10n::setLanguage("en"); }}));

    // Arabic: the panel reads from the right.
    click(*p, *a, "set:lang");
    a->m_modal = App::Modal::Languages;
    a->m_lang_scroll = 0;
    click(*p, *a, "lang:ar");
    ASSERT_TRUE(p->wait_settings([](const Settings& s) { return s.language == "ar"; }));
    a->m_settings.language = "ar";
    L10n::setLanguage("ar");
    a->m_modal = App::Modal::Settings;
    EXPECT_TRUE(shows(*p, *a, {[](App&) { L10n::setLanguage("de"); }}));

    // Reset: cancelled it changes nothing, confirmed it restores the defaults.
    p->key("Escape");
    a->m_modal = App::Modal::None;
    p->key("plus");
    ASSERT_TRUE(p->wait_settings([](const Settings& s) { return s.disks == 7; }));
    auto ask_reset = [&] {
        a->m_modal = App::Modal::None;
        click(*p, *a, "head:settings", false);
        a->open_settings(0);
        click(*p, *a, "set:btn:reset");
        a->m_modal = App::Modal::None;
        a->confirm(L10n::tr("mi.reset_confirm"), L10n::tr("mi.reset"), nullptr);
    };
    ask_reset();
    EXPECT_TRUE(shows(*p, *a, {[](App& b) { b.m_modal = App::Modal::Crash; }}));
    click(*p, *a, "conf:no");
    usleep(1200 * 1000);
    EXPECT_EQ(p->settings().disks, 7);
    ask_reset();
    click(*p, *a, "conf:ok");
    EXPECT_TRUE(p->wait_settings([](const Settings& s) { return s.disks == 6 && s.language == "ar"; }));
    L10n::setLanguage("en");
    p->key("ctrl+q");
    EXPECT_EQ(p->wait_exit(), 0);
}

TEST_P(Overlays, EveryMenuItemByMouseAndByF10) {
    const wkit::User u = wkit::new_user("menus");
    seed(u, [](Settings& s) {
        s.language = "en";
        s.failed = "0,1";
    });
    const std::string bin = u.home + "/bin", rec = u.home + "/record";
    mkdir(bin.c_str(), 0700);
    mkdir(rec.c_str(), 0700);
    kit::fake_program(bin, "xdg-open", rec);
    auto p = start(u, {"PATH=" + bin + ":" + std::getenv("PATH")});
    auto a = model(u);
    bool by_mouse = true;
    // Opens menu m and runs item i, by mouse and by keyboard in turn.
    auto run = [&](int m, int i) {
        if (by_mouse) {
            click(*p, *a, "mb:" + std::to_string(m), false);
            a->open_menubar(m);
            click(*p, *a, "menu:" + std::to_string(i));
            a->m_menu.open = false;
        } else {
            p->key("F10");
            for (int k = 0; k < m; ++k) p->key("Right");
            const auto items = a->menubar_items(m);
            for (int k = 0; k < i; ++k)
                if (!items[k].separator) p->key("Down");
            p->key("Return");
            usleep(150 * 1000);
        }
        by_mouse = !by_mouse;
    };
    auto saved = [&](const std::function<bool(const Settings&)>& ok) { return p->wait_settings(ok, kWaitMs); };
    auto opened = [&](const std::string& what) {
        const std::string args = rec + "/xdg-open.args";
        const bool ok = wkit::wait_until([&] { return access(args.c_str(), F_OK) == 0; }, kWaitMs) &&
                        kit::recorded_args(args) == std::vector<std::string>{what};
        unlink(args.c_str());
        return ok;
    };

    run(0, 0);
    EXPECT_TRUE(wkit::wait_until(
        [&] {
            return wkit::x_run(x.display(), {"xclip", "-o", "-selection", "clipboard"}).find("RAID 6") !=
                   std::string::npos;
        },
        kWaitMs));
    run(0, 1);
    EXPECT_TRUE(saved([](const Settings& s) { return s.failed.empty(); }));
    run(0, 2);
    a->confirm(L10n::tr("mi.reset_confirm"), L10n::tr("mi.reset"), nullptr);
    EXPECT_TRUE(shows(*p, *a, {[](App& b) { b.m_modal = App::Modal::Crash; }}));
    p->key("Escape");
    a->m_modal = App::Modal::None;
    run(0, 4);
    a->open_settings(0);
    EXPECT_TRUE(shows(*p, *a, {[](App& b) { b.m_set_tab = 2; }}));
    p->key("Escape");
    a->m_modal = App::Modal::None;

    run(1, 1);
    EXPECT_TRUE(saved([](const Settings& s) { return s.theme == "dark"; }));
    run(1, 2);
    EXPECT_TRUE(saved([](const Settings& s) { return s.theme == "light"; }));
    run(1, 0);
    EXPECT_TRUE(saved([](const Settings& s) { return s.theme == "auto"; }));
    run(1, 4);
    EXPECT_TRUE(saved([](const Settings& s) { return !s.animate; }));
    run(1, 5);
    EXPECT_TRUE(saved([](const Settings& s) { return s.os_sizes; }));
    run(1, 8);
    EXPECT_TRUE(saved([](const Settings& s) { return s.tab == 1; }));
    a->m_modal = App::Modal::GuideWarn;
    click(*p, *a, "gw:ok");
    a->m_modal = App::Modal::None;
    run(1, 7);
    EXPECT_TRUE(saved([](const Settings& s) { return s.tab == 0; }));

    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 4}) {
        run(2, i);
        const std::string want = raid::key(raid::kLevels[i]);
        EXPECT_TRUE(saved([&](const Settings& s) { return s.level == want; })) << want;
    }

    run(3, 0);
    a->open_settings(2);
    EXPECT_TRUE(shows(*p, *a, {[](App& b) { b.m_set_tab = 0; }}));
    p->key("Escape");
    a->m_modal = App::Modal::None;
    run(3, 1);
    EXPECT_TRUE(opened(product::kWebsite));
    run(3, 2);
    EXPECT_TRUE(opened(std::string("mailto:") + product::kContact));
    run(3, 4);
    a->open_settings(1);
    EXPECT_TRUE(shows(*p, *a, {[](App& b) { b.m_set_tab = 2; }}));
    p->key("Escape");
    a->m_modal = App::Modal::None;
    run(0, 6);
    EXPECT_EQ(p->wait_exit(), 0);
}

TEST_P(Overlays, DoNotShowTheGuideWarningAgainHoldsAfterARestart) {
    const wkit::User u = wkit::new_user("warn");
    {
        auto p = start(u);
        auto a = model(u);
        p->key("ctrl+Tab");
        EXPECT_TRUE(wkit::wait_until([&] { return dimmed(*p); }, kWaitMs)) << "the warning comes first";
        a->m_modal = App::Modal::GuideWarn;
        click(*p, *a, "gw:again");
        EXPECT_TRUE(p->wait_settings([](const Settings& s) { return !s.guide_warn && s.tab == 1; }));
        click(*p, *a, "gw:ok");
        EXPECT_TRUE(wkit::wait_until([&] { return !dimmed(*p); }, kWaitMs));
        p->key("ctrl+Tab");
        p->key("ctrl+q");
        EXPECT_EQ(p->wait_exit(), 0);
    }
    auto p = start(u);
    p->key("ctrl+Tab");
    EXPECT_TRUE(p->wait_settings([](const Settings& s) { return s.tab == 1; }));
    usleep(500 * 1000);
    EXPECT_FALSE(dimmed(*p)) << "no warning after a restart";
    p->key("ctrl+q");
    EXPECT_EQ(p->wait_exit(), 0);
}

TEST_P(Overlays, CrashDialogSendsOrDiscardsAndDoesNotComeBack) {
    for (const bool send : {true, false}) {
        const wkit::User u = wkit::new_user(send ? "crash-send" : "crash-discard");
        const std::string bin = u.home + "/bin", rec = u.home + "/record";
        mkdir(bin.c_str(), 0700);
        mkdir(rec.c_str(), 0700);
        kit::fake_program(bin, "xdg-email", rec);
        const std::vector<std::string> env = {"PATH=" + bin + ":" + std::getenv("PATH"),
                                              "XDG_DATA_DIRS=" + u.home + "/none"};
        const std::string report = u.dir() + "/crash_report.txt";

        // A run that dies of a fatal signal while its window is open.
        std::string crashed_log;
        {
            auto p = start(u, env);
            p->signal(SIGSEGV);
            EXPECT_EQ(p->wait_exit(), 128 + SIGSEGV);
            crashed_log = p->log();
        }
        ASSERT_NE(kit::read_file(report).find("Signal: SIGSEGV"), std::string::npos);

        {
            auto p = start(u, env);
            auto a = model(u);
            EXPECT_TRUE(wkit::wait_until([&] { return dimmed(*p); }, kWaitMs)) << "the crash dialog";
            a->m_modal = App::Modal::Crash;
            EXPECT_TRUE(shows(*p, *a, {[](App& b) { b.m_modal = App::Modal::Confirm; }}));
            p->key("Escape");
            usleep(400 * 1000);
            EXPECT_TRUE(dimmed(*p)) << "Escape does not close the crash dialog";
            click(*p, *a, send ? "conf:ok" : "conf:no");
            EXPECT_TRUE(wkit::wait_until([&] { return !dimmed(*p); }, kWaitMs));
            if (send) {
                ASSERT_TRUE(wkit::wait_until([&] { return access((rec + "/xdg-email.args").c_str(), F_OK) == 0; },
                                             kWaitMs))
                    << p->log();
                const auto args = kit::recorded_args(rec + "/xdg-email.args");
                ASSERT_GE(args.size(), 5u);
                EXPECT_EQ(args.back(), product::kContact);
                std::vector<std::string> attached;
                for (size_t i = 0; i + 1 < args.size(); ++i)
                    if (args[i] == "--attach") attached.push_back(args[i + 1]);
                EXPECT_EQ(attached, (std::vector<std::string>{u.dir() + "/crash_report-sent.txt",
                                                              u.dir() + "/crash_log-sent.txt", u.log_path()}));
                EXPECT_NE(kit::read_file(rec + "/xdg-email-attach1-crash_report-sent.txt").find("Signal: SIGSEGV"),
                          std::string::npos);
                EXPECT_EQ(kit::read_file(rec + "/xdg-email-attach2-crash_log-sent.txt"), crashed_log);
                EXPECT_TRUE(p->wait_log("xdg-email: exit 0"));
                EXPECT_NE(p->log().find("crash report: user chose send"), std::string::npos);
            } else {
                EXPECT_TRUE(p->wait_log("crash report: user chose discard"));
                EXPECT_NE(access(report.c_str(), F_OK), 0);
                EXPECT_NE(access((u.dir() + "/crash_log.txt").c_str(), F_OK), 0);
                EXPECT_NE(access((rec + "/xdg-email.args").c_str(), F_OK), 0) << "nothing is mailed";
            }
            p->key("ctrl+q");
            EXPECT_EQ(p->wait_exit(), 0);
        }

        auto p = start(u, env);
        usleep(600 * 1000);
        EXPECT_FALSE(dimmed(*p)) << "the dialog does not come back";
        p->key("ctrl+q");
        EXPECT_EQ(p->wait_exit(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Renderers, Overlays, ::testing::ValuesIn(wkit::renderers()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
