// The window by keyboard alone, in the real program under its own X server:
// every control of the page, the guide, the settings panel, the language
// list and the crash dialog is reached with Tab, pressed with Space or
// Enter or stepped with the arrows, and what it did is read back from the
// saved settings, the clipboard, the log and the focus ring's pixels.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>

#include "app_scale.h"
#include "gfx.h"
#include "hit_id.h"
#include "kit.h"
#include "raid.h"
#include "wkit.h"

namespace {

constexpr int kW = 1100, kH = 760;
constexpr int kMaxStops = 300;  // more than any layer has
using hit_id::Kind;

Kind kind_of(const std::string& id) { return hit_id::parse(id).kind; }

// What the pointer can act on, the keyboard must reach: a stepper by its field.
std::string stop_of(const std::string& id) {
    const hit_id::Id i = hit_id::parse(id);
    if (i.kind == Kind::StepUp || i.kind == Kind::StepDown) return hit_id::make(Kind::Field, i.arg);
    return hit_id::pointer_of(i.kind) == hit_id::Pointer::Arrow ? "" : id;
}

std::string focus(const wkit::Program& p) { return p.frame().get("key_focus"); }

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

// Tab from where the focus is until it comes round again. Every stop is on
// screen with the ring shown, none comes twice, and every control any of
// these frames showed was among them. The stops, in order.
std::vector<std::string> tab_round(wkit::Program& p) {
    std::vector<std::string> order;
    std::set<std::string> shown;
    for (int i = 0; i < kMaxStops; ++i) {
        if (!p.key("Tab")) break;
        const wkit::Frame& f = p.frame();
        for (const Hit& h : f.modal() != 0 ? f.over : f.base)
            if (const std::string s = stop_of(h.id); !s.empty()) shown.insert(s);
        const std::string id = focus(p);
        if (!order.empty() && id == order.front()) break;
        EXPECT_FALSE(contains(order, id)) << id << " came twice in one round";
        EXPECT_TRUE(f.find(id)) << id << " has the focus off screen";
        EXPECT_EQ(f.num("ring"), 1) << id;
        order.push_back(id);
    }
    for (const std::string& s : shown) EXPECT_TRUE(contains(order, s)) << s << " cannot be reached with Tab";
    return order;
}

// Tab on until `id` has the focus.
bool focus_on(wkit::Program& p, const std::string& id) {
    for (int i = 0; i < kMaxStops && focus(p) != id; ++i)
        if (!p.key("Tab")) return false;
    EXPECT_EQ(focus(p), id) << "Tab never reached it";
    return focus(p) == id;
}

// The ring, 2 px in the accent colour just outside the focused control,
// across the middle of its left edge (a stepper's: its left button's).
bool ring_at(wkit::Program& p, const std::string& id, bool dark) {
    const hit_id::Id i = hit_id::parse(id);
    const Hit* h = p.frame().find(i.kind == Kind::Field ? hit_id::make(Kind::StepDown, i.arg) : id);
    if (!h) return false;
    const Rgba a = Palette::make(dark).accent;
    const auto shot = p.shot();
    const Px px = shot->at(static_cast<int>(std::floor(h->x)) - 3, static_cast<int>(h->y + h->h / 2));
    return std::abs(px.r - a.r * 255) < 40 && std::abs(px.g - a.g * 255) < 40 && std::abs(px.b - a.b * 255) < 40;
}

std::string clipboard(const wkit::Xvfb& x) {
    return wkit::x_run(x.display(), {"xclip", "-o", "-selection", "clipboard"});
}

// The number key that picks `level` with Ctrl.
std::string level_key(const std::string& level) {
    for (int i = 0; i < raid::kLevelCount && i < 9; ++i)
        if (raid::key(raid::kLevels[i]) == level) return "ctrl+" + std::to_string(i + 1);
    return "";
}

// The guide warns once about a risky array before it shows: read and gone
// past by keyboard, its "do not warn again" left as it is.
void past_the_warning(wkit::Program& p) {
    if (p.frame().modal() != static_cast<int>(App::Modal::GuideWarn)) return;
    std::vector<std::string> round = tab_round(p);
    std::sort(round.begin(), round.end());
    EXPECT_EQ(round, (std::vector<std::string>{"gw:again", "gw:back", "gw:ok"}));
    ASSERT_TRUE(focus_on(p, "gw:ok"));
    p.key("Return");
    EXPECT_EQ(p.frame().modal(), 0);
    EXPECT_EQ(p.frame().num("tab"), 1);
}

class Keyboard : public wkit::OnScreen<> {
protected:
    std::unique_ptr<wkit::Program> start(const wkit::User& u, const std::vector<std::string>& env = {}) {
        return OnScreen::start(u, kW, kH, env);
    }
};

// Presses the focused control of the calculator page and checks, through
// the settings and the screen, that it did what a click does; undoes what
// would change the page under the rest of the round.
void act_on_page(wkit::Program& p, const wkit::Xvfb& x, const std::string& id) {
    const Settings before = p.frame().settings();
    const hit_id::Id i = hit_id::parse(id);
    switch (i.kind) {
    case Kind::Field: {
        // One way steps it (the other is at its end), the other steps it
        // back; a stepped speed makes the disk type a custom one.
        auto value = [&p] {
            Settings s = p.frame().settings();
            s.disk_type.clear();
            return s.text();
        };
        const std::string was = value();
        p.key("Up");
        const bool up = value() != was;
        if (!up) p.key("Down");
        EXPECT_NE(value(), was) << id << " does not step";
        p.key(up ? "Down" : "Up");
        EXPECT_EQ(value(), was) << id << " does not step back";
        break;
    }
    case Kind::Disk:
    case Kind::Spare: {
        const bool spare = i.kind == Kind::Spare;
        p.key("space");
        const Settings s = p.frame().settings();
        EXPECT_EQ(spare ? s.failed_spares : s.failed, i.arg) << id;
        p.key("Return");
        EXPECT_EQ(p.frame().settings().text(), before.text()) << id << " replaced";
        break;
    }
    case Kind::OsSizes:
        p.key("space");
        EXPECT_NE(p.frame().settings().os_sizes, before.os_sizes);
        p.key("space");
        EXPECT_EQ(p.frame().settings().os_sizes, before.os_sizes);
        break;
    case Kind::Level:
    case Kind::Compare:
    case Kind::Suggestion: {
        p.key("space");
        if (i.kind != Kind::Suggestion) {
            EXPECT_EQ(p.frame().settings().level, raid::key(raid::kLevels[i.n()])) << id;
            const Hit* h = p.frame().find(id);
            EXPECT_TRUE(h && h->on) << id << " is not shown chosen";
        }
        EXPECT_TRUE(i.kind != Kind::Suggestion || p.frame().settings().level != before.level) << id;
        p.key(level_key(before.level));
        EXPECT_EQ(p.frame().settings().level, before.level);
        break;
    }
    case Kind::Unit:
    case Kind::Preset:
    case Kind::DiskType:
    case Kind::Mirror:
    case Kind::UreChip: {
        p.key("space");
        const Hit* h = p.frame().find(id);
        EXPECT_TRUE(h && h->on) << id << " is not chosen";
        break;
    }
    case Kind::Tab:
        p.key("space");
        past_the_warning(p);
        EXPECT_EQ(p.frame().num("tab"), i.n()) << id;
        if (i.n() != 0) p.key("ctrl+Tab");
        break;
    case Kind::MenuTitle:
        p.key("Return");
        EXPECT_EQ(p.frame().num("menu"), i.n()) << id;
        p.key("Escape");
        EXPECT_EQ(p.frame().num("menu"), -2);
        break;
    case Kind::Settings:
    case Kind::HowLink:
        p.key("space");
        EXPECT_EQ(p.frame().modal(), static_cast<int>(i.kind == Kind::Settings ? App::Modal::Settings
                                                                                 : App::Modal::Working));
        p.key("Escape");
        EXPECT_EQ(p.frame().modal(), 0);
        break;
    case Kind::CopyResult:
        p.key("space");
        EXPECT_TRUE(wkit::wait_until([&] { return clipboard(x).find("RAID") != std::string::npos; }, wkit::kSyncMs));
        break;
    default:
        ADD_FAILURE() << id << " reached, but nothing here knows what it should do";
    }
    EXPECT_EQ(focus(p), id) << "the focus stays where it acted";
}

}  // namespace

TEST_P(Keyboard, EveryControlOfThePageAndTheGuide) {
    const wkit::User u = wkit::new_user("keys");
    auto p = start(u);
    p->sync();
    EXPECT_EQ(focus(*p), "");
    EXPECT_EQ(p->frame().num("ring"), 0);

    const std::vector<std::string> page = tab_round(*p);
    ASSERT_FALSE(page.empty());
    // The frame first, in the order it is drawn, then the page.
    EXPECT_EQ(page.front(), "mb:0");
    for (const char* id : {"mb:1", "tab:0", "tab:1", "head:settings", "disks:field", "lvl:4", "disk:0"})
        EXPECT_TRUE(contains(page, id)) << id;
    EXPECT_LT(std::find(page.begin(), page.end(), "tab:1") - page.begin(),
              std::find(page.begin(), page.end(), "disks:field") - page.begin());
    // The round scrolled the page to reach what lies below the view.
    EXPECT_TRUE(focus_on(*p, "lvl:4"));
    EXPECT_TRUE(ring_at(*p, "lvl:4", false));

    for (const std::string& id : page) {
        ASSERT_TRUE(focus_on(*p, id));
        act_on_page(*p, x, id);
    }

    // Enter types into a stepper; Tab commits and moves on.
    ASSERT_TRUE(focus_on(*p, "disks:field"));
    p->key("Return");
    EXPECT_EQ(p->frame().get("edit"), "disks");
    p->key("ctrl+a");
    p->type("9");
    p->key("Tab");
    EXPECT_EQ(p->frame().get("edit"), "");
    EXPECT_EQ(p->frame().settings().disks, 9);
    const auto next = std::find(page.begin(), page.end(), "disks:field") + 1;
    ASSERT_NE(next, page.end());
    EXPECT_EQ(focus(*p), *next);
    // + and − step the focused stepper, not the disk count.
    p->key("shift+Tab");
    EXPECT_EQ(focus(*p), "disks:field");
    ASSERT_TRUE(focus_on(*p, "spares:field"));
    p->key("plus");
    EXPECT_EQ(p->frame().settings().spares, 1);
    EXPECT_EQ(p->frame().settings().disks, 9);

    // A click hides the ring and takes the focus to what it clicked.
    EXPECT_TRUE(ring_at(*p, "spares:field", false));
    p->click("unit:2");
    EXPECT_EQ(p->frame().num("ring"), 0);
    EXPECT_EQ(focus(*p), "unit:2");
    EXPECT_FALSE(ring_at(*p, "unit:2", false));

    // The guide page: its package managers, drive names, copy buttons and
    // the way back.
    p->key("ctrl+Tab");
    past_the_warning(*p);
    ASSERT_EQ(p->frame().num("tab"), 1);
    const std::vector<std::string> guide = tab_round(*p);
    int copies = 0;
    std::string copied;
    // The commands first: another package manager has other commands.
    std::vector<std::string> acts;
    for (const bool chips : {false, true})
        for (const std::string& id : guide) {
            const Kind k = kind_of(id);
            const bool frame = k == Kind::Tab || k == Kind::MenuTitle || k == Kind::Settings || k == Kind::CopyResult;
            if (!frame && chips == (k == Kind::GuidePm || k == Kind::GuideDev)) acts.push_back(id);
        }
    for (const std::string& id : acts) {
        const hit_id::Id i = hit_id::parse(id);
        ASSERT_TRUE(focus_on(*p, id));
        p->key("space");
        if (i.kind == Kind::GuideToCalc) {
            EXPECT_EQ(p->frame().num("tab"), 0);
            p->key("ctrl+Tab");
        } else if (i.kind == Kind::GuideCopy) {
            ++copies;
            EXPECT_TRUE(
                wkit::wait_until([&] { return !clipboard(x).empty() && clipboard(x) != copied; }, wkit::kSyncMs))
                << id;
            copied = clipboard(x);
        } else {
            const Hit* h = p->frame().find(id);
            EXPECT_TRUE(h && h->on) << id;
        }
    }
    EXPECT_GT(copies, 3);
    EXPECT_TRUE(contains(guide, "gpm:1"));
    p->key("ctrl+q");
    EXPECT_EQ(p->wait_exit(), 0);
    const Settings s = p->settings();
    EXPECT_EQ(s.disks, 9);
    EXPECT_EQ(s.spares, 1);
    EXPECT_EQ(s.level, "raid6");
}

TEST_P(Keyboard, SettingsLanguagesAndDialogs) {
    const wkit::User u = wkit::new_user("dialogs");
    const std::string bin = u.home + "/bin", rec = u.home + "/rec";
    mkdir(bin.c_str(), 0700);
    mkdir(rec.c_str(), 0700);
    kit::fake_program(bin, "xdg-open", rec);
    auto p = start(u, {"PATH=" + bin + ":" + std::getenv("PATH")});
    // The page's focus waits under the dialog and comes back with it.
    ASSERT_TRUE(focus_on(*p, "head:settings"));
    p->key("Return");
    ASSERT_EQ(p->frame().modal(), static_cast<int>(App::Modal::Settings));
    EXPECT_EQ(focus(*p), "set:tab:0") << "a dialog that opens takes the focus";
    const std::vector<std::string> general = tab_round(*p);
    for (const char* id : {"set:close", "set:lang", "set:seg:theme:1", "set:sw:animate", "set:btn:reset"})
        EXPECT_TRUE(contains(general, id)) << id;

    for (const std::string& id : general) {
        ASSERT_TRUE(focus_on(*p, id));
        const Settings before = p->frame().settings();
        const hit_id::Id i = hit_id::parse(id);
        p->key("space");
        const Settings after = p->frame().settings();
        switch (i.kind) {
        case Kind::SetTheme: {
            const Hit* h = p->frame().find(id);
            EXPECT_TRUE(h && h->on) << id;
            EXPECT_NE(after.theme, "") << id;
            break;
        }
        case Kind::SetAnimate:
        case Kind::SetGuideWarn:
            EXPECT_NE(after.text(), before.text()) << id;
            p->key("space");
            EXPECT_EQ(p->frame().settings().text(), before.text()) << id;
            break;
        case Kind::SetZoom: {
            const bool plus = i.arg == "plus";
            EXPECT_EQ(after.zoom, scale::zoom_step(before.zoom, plus ? 1 : -1)) << id;
            ASSERT_TRUE(focus_on(*p, hit_id::make(Kind::SetZoom, plus ? "minus" : "plus")));
            p->key("space");
            EXPECT_EQ(p->frame().settings().zoom, before.zoom) << id;
            ASSERT_TRUE(focus_on(*p, id));
            break;
        }
        case Kind::SetLanguage:
            EXPECT_EQ(p->frame().modal(), static_cast<int>(App::Modal::Languages));
            p->key("Escape");
            EXPECT_EQ(p->frame().modal(), static_cast<int>(App::Modal::Settings));
            break;
        case Kind::SetReset:
            EXPECT_EQ(p->frame().modal(), static_cast<int>(App::Modal::Confirm));
            EXPECT_EQ(focus(*p), "conf:no") << "the first button, the one that changes nothing";
            p->key("Tab");
            EXPECT_EQ(focus(*p), "conf:ok");
            p->key("Tab");
            EXPECT_EQ(focus(*p), "conf:no") << "the focus stays in the dialog";
            p->key("Down");
            p->key("Up");
            p->key("Return");
            EXPECT_EQ(p->frame().modal(), 0) << "no";
            EXPECT_EQ(p->frame().settings().text(), before.text());
            p->key("ctrl+comma");
            ASSERT_TRUE(focus_on(*p, id));
            break;
        case Kind::SetTab:
            EXPECT_EQ(p->frame().num("set_tab"), i.n());
            if (i.n() == 0) break;
            // About and Shortcuts: their links open in the browser.
            for (const std::string& link : tab_round(*p)) {
                if (kind_of(link) != Kind::SetLink) continue;
                ASSERT_TRUE(focus_on(*p, link));
                p->key("Return");
                const std::string url = hit_id::parse(link).arg;
                EXPECT_TRUE(wkit::wait_until(
                    [&] { return contains(kit::recorded_args(rec + "/xdg-open.args"), url); }, wkit::kSyncMs))
                    << url;
            }
            ASSERT_TRUE(focus_on(*p, "set:tab:0"));
            p->key("space");
            ASSERT_TRUE(focus_on(*p, id));
            break;
        case Kind::SetClose:
            EXPECT_EQ(p->frame().modal(), 0);
            EXPECT_EQ(focus(*p), "head:settings") << "the page's focus is where it was";
            p->key("Return");
            ASSERT_TRUE(focus_on(*p, id));
            break;
        default:
            ADD_FAILURE() << id << " reached, but nothing here knows what it should do";
        }
        EXPECT_EQ(p->frame().modal(), static_cast<int>(App::Modal::Settings)) << id;
        EXPECT_EQ(focus(*p), id) << "the focus stays where it acted";
    }
    ASSERT_TRUE(focus_on(*p, "set:seg:theme:1"));
    p->key("space");
    ASSERT_EQ(p->frame().settings().theme, "dark");
    EXPECT_TRUE(ring_at(*p, "set:seg:theme:1", true));

    // Every language by Tab, the list scrolling along; Arabic is chosen.
    ASSERT_TRUE(focus_on(*p, "set:lang"));
    p->key("Return");
    const std::vector<std::string> langs = tab_round(*p);
    // The 83 languages and the system's choice.
    EXPECT_EQ(std::count_if(langs.begin(), langs.end(), [](const std::string& id) { return kind_of(id) == Kind::Language; }),
              84);
    ASSERT_TRUE(focus_on(*p, "lang:zu"));
    EXPECT_GT(p->frame().num("lang_scroll"), 0);
    ASSERT_TRUE(focus_on(*p, "lang:ar"));
    p->key("Return");
    EXPECT_EQ(p->frame().get("language"), "ar");
    EXPECT_EQ(focus(*p), "set:lang") << "back on the control that opened the list";
    // The panel reads from the right in Arabic, and so does the focus.
    const std::vector<std::string> rtl = tab_round(*p);
    int within_rows = 0;
    for (size_t n = 0; n + 1 < rtl.size(); ++n) {
        ASSERT_TRUE(focus_on(*p, rtl[n + 1]));
        const Hit* a = nullptr;
        for (const Hit& h : p->frame().over)
            if (h.id == rtl[n]) a = &h;
        const Hit* b = p->frame().find(rtl[n + 1]);
        if (!a || !b || std::abs((a->y + a->h / 2) - (b->y + b->h / 2)) > 2) continue;
        ++within_rows;
        EXPECT_GT(a->x, b->x) << rtl[n] << " then " << rtl[n + 1];
    }
    EXPECT_GT(within_rows, 2);
    ASSERT_TRUE(focus_on(*p, "set:seg:theme:2"));
    p->key("space");
    ASSERT_EQ(p->frame().settings().theme, "light");
    EXPECT_TRUE(ring_at(*p, "set:seg:theme:2", false));
    p->key("Escape");
    EXPECT_EQ(p->frame().modal(), 0);
    EXPECT_TRUE(p->wait_settings([](const Settings& s) { return s.language == "ar" && s.theme == "light"; }));
}

TEST_P(Keyboard, CrashDialogStartsOnItsFirstButton) {
    const wkit::User u = wkit::new_user("crashkeys");
    const std::string bin = u.home + "/bin", rec = u.home + "/rec";
    mkdir(bin.c_str(), 0700);
    mkdir(rec.c_str(), 0700);
    kit::fake_program(bin, "xdg-email", rec);
    const std::vector<std::string> env = {"PATH=" + bin + ":" + std::getenv("PATH")};
    auto p = start(u, env);
    p->signal(SIGSEGV);
    EXPECT_EQ(p->wait_exit(), 128 + SIGSEGV);
    p = start(u, env);
    ASSERT_EQ(p->frame().modal(), static_cast<int>(App::Modal::Crash));
    EXPECT_EQ(focus(*p), "conf:no");
    EXPECT_EQ(tab_round(*p), (std::vector<std::string>{"conf:ok", "conf:no"}));
    p->key("Escape");
    p->key("ctrl+comma");
    EXPECT_EQ(p->frame().modal(), static_cast<int>(App::Modal::Crash)) << "only its buttons close it";
    ASSERT_TRUE(focus_on(*p, "conf:no"));
    EXPECT_TRUE(ring_at(*p, "conf:no", false));
    p->key("space");
    EXPECT_EQ(p->frame().modal(), 0);
    EXPECT_TRUE(p->wait_log("crash report: user chose discard"));
    EXPECT_EQ(focus(*p), "") << "the page's focus is as it was";
}

INSTANTIATE_TEST_SUITE_P(Renderers, Keyboard, ::testing::ValuesIn(wkit::renderers()),
                         [](const auto& info) { return info.param; });
