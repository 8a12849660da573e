// The whole program under long, random and hostile use: random input from a
// seeded generator (under the sanitizers in their build), SIGKILL at random
// moments, resident memory over time, and starts in broken environments.
// Short by default; scripts/soak.sh sets ZXRC_SOAK_SECONDS and ZXRC_KILLS
// for the long form, ZXRC_SOAK_SEED repeats a run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>

#include "app.h"
#include "kit.h"
#include "l10n.h"
#include "sealed_file.h"
#include "wkit.h"

namespace {

constexpr int kScreenW = 1920, kScreenH = 1080;
constexpr int kMinW = 720, kMinH = 520;  // the window's minimum on this screen
constexpr int kTinyW = 100, kTinyH = 60;  // below it: without a window manager nothing stops a resize
constexpr int kDefaultSeconds = 45;
constexpr int kDefaultKills = 15;
constexpr int kBurstEvents = 40;
// How often each kind of event comes, in this order.
enum class Event { Click, Drag, Wheel, Key, Type, Resize, Move };
constexpr double kEventWeights[] = {30, 8, 10, 32, 12, 6, 2};
constexpr int kRightClickOdds = 6;       // one click in this many is a right click
constexpr int kMaxWheel = 4;
constexpr int kSwitchEvery = 3;          // bursts between deliberate tab, theme and language switches
constexpr int kAnswerMs = 10000;         // the sanitizer build answers slowly
constexpr int kMaxKillDelayMs = 1500;    // past the save delay and the save itself
constexpr int kSaveAimBefore = 100, kSaveAimAfter = 150;  // every other kill aims at the save
constexpr int kEarlyKillShare = 5;       // one kill in this many lands during the start
constexpr int kMaxEarlyKillMs = 900;
constexpr int kSaveDelayMs = 700;
constexpr long kMaxGrowthKb = 150 * 1024;
constexpr int kLevelCount = 9;
// What the window lets a user set: speeds are typed or stepped up to this,
// operations per second only come from the disk types.
constexpr double kMaxMbs = 100000, kMaxIops = 1e9;
constexpr int kMinutesSampled[] = {1, 10, 30};
const char* const kReportName = "/crash_report.txt";

// The keys of the shortcut table, the keys an open field or menu reads, and
// a few nobody handles. Ctrl+Q is left out: the soak quits once, at the end.
const char* const kKeys[] = {
    "plus",     "minus",  "equal",  "KP_Add",    "KP_Subtract", "F1",        "F10",        "Home",
    "End",      "Prior",  "Next",   "Up",        "Down",        "Left",      "Right",      "Return",
    "KP_Enter", "Escape", "Tab",    "BackSpace", "Delete",      "space",     "ctrl+Tab",   "ctrl+comma",
    "ctrl+c",   "ctrl+a", "ctrl+v", "ctrl+1",    "ctrl+2",      "ctrl+3",    "ctrl+4",     "ctrl+5",
    "ctrl+6",   "ctrl+7", "ctrl+8", "ctrl+9",    "F5",          "shift+Tab", "alt+F4",     "super"};

// What may be typed into a field: numbers in both notations, and garbage.
const char* const kTyped[] = {"7",    "12,5", "0.001", "999999999999", "-3",   "1e9", "0",
                              "abc",  ",,..", "4 2",   "ü€中",          "%s%n", "\t",  "3.5.1"};

int env_int(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

unsigned seed_of() {
    const char* v = std::getenv("ZXRC_SOAK_SEED");
    return v && *v ? static_cast<unsigned>(std::strtoul(v, nullptr, 10)) : std::random_device{}();
}

int pick(std::mt19937& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

void sleep_ms(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

std::string sanitizer_report(const std::string& err) {
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
        const auto at = err.find(mark);
        if (at != std::string::npos) return err.substr(at > 200 ? at - 200 : 0, 2000);
    }
    return "";
}

// A line of /proc/<pid>/status in kB ("VmRSS:", "RssAnon:", "RssFile:"), or -1.
long status_kb(pid_t pid, const std::string& field) {
    std::istringstream in(kit::read_file("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size());
    return -1;
}

// Resident memory as "total (anonymous + mapped files)" in MB. Only the
// anonymous part is the program's own: the mapped part is mostly the font
// files of the scripts shown so far, shared and given back under pressure.
std::string rss_text(pid_t pid) {
    std::ostringstream t;
    t << status_kb(pid, "VmRSS:") / 1024 << " MB (" << status_kb(pid, "RssAnon:") / 1024 << " + "
      << status_kb(pid, "RssFile:") / 1024 << ")";
    return t.str();
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The saved file as the program would open it next time, read from a copy
// so that a broken one stays where it is for the report.
sealed::Result open_saved(const wkit::User& u, std::string* plain) {
    const std::string copy = u.home + "/opened.dat";
    if (!exists(u.settings_path())) return sealed::Result::Missing;
    kit::write_file(copy, kit::read_file(u.settings_path()));
    return sealed::read(copy, *plain);
}

// The first field of the saved text that is missing or outside its limits,
// or "" when every one is within them. Checked on the raw text: reading it
// through Settings would clamp a bad value and hide it.
std::string out_of_limits(const std::string& plain) {
    std::map<std::string, std::string> kv;
    for (const auto& line : kit::lines(plain)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) kv[line.substr(0, eq)] = line.substr(eq + 1);
    }
    auto num = [&](const char* k) { return std::strtod(kv[k].c_str(), nullptr); };
    auto within = [&](const char* k, double lo, double hi) {
        return kv.count(k) && !kv[k].empty() && num(k) >= lo && num(k) <= hi;
    };
    std::vector<std::string> languages = {"auto"};
    for (const auto& l : L10n::available()) languages.push_back(l.code);
    bool level_ok = false;
    for (raid::Level l : raid::kLevels) level_ok |= kv["level"] == raid::key(l);
    const int disks = static_cast<int>(num("disks"));
    const std::pair<const char*, bool> checks[] = {
        {"version", kv["version"] == "1"},
        {"language", std::find(languages.begin(), languages.end(), kv["language"]) != languages.end()},
        {"theme", kv["theme"] == "auto" || kv["theme"] == "light" || kv["theme"] == "dark"},
        {"animate", kv["animate"] == "0" || kv["animate"] == "1"},
        {"cap_value", within("cap_value", 0.001, 999999)},
        {"cap_unit", within("cap_unit", 0, 3)},
        {"disks", within("disks", 1, 256)},
        {"spares", within("spares", 0, disks - 1)},
        {"disk_type", kv.count("disk_type") && !kv["disk_type"].empty()},
        {"read_mbs", within("read_mbs", 1, kMaxMbs)},
        {"write_mbs", within("write_mbs", 1, kMaxMbs)},
        {"read_iops", within("read_iops", 1, kMaxIops)},
        {"write_iops", within("write_iops", 1, kMaxIops)},
        {"level", level_ok},
        {"mirror", within("mirror", 2, 3)},
        {"groups", within("groups", 2, 32)},
        {"tab", within("tab", 0, 1)},
        {"guide_pm", within("guide_pm", 0, 3)},
        {"guide_dev", within("guide_dev", -1, 2)},
        {"guide_warn", kv["guide_warn"] == "0" || kv["guide_warn"] == "1"},
        {"os_sizes", kv["os_sizes"] == "0" || kv["os_sizes"] == "1"},
        {"full", kv.count("full") > 0}};
    for (const auto& [key, ok] : checks)
        if (!ok) return std::string(key) + "=" + kv[key];
    // Failed disks name existing disks only.
    for (const char* list : {"failed", "failed_spares"}) {
        std::istringstream in(kv[list]);
        std::string n;
        while (std::getline(in, n, ','))
            if (n.empty() || std::atoi(n.c_str()) < 0 || std::atoi(n.c_str()) >= disks)
                return std::string(list) + "=" + kv[list];
    }
    int g[4] = {};
    std::istringstream full(kv["full"]);
    for (int& v : g) full >> v;
    if (g[2] < 0 || g[3] < 0 || g[2] > kScreenW || g[3] > kScreenH) return "full=" + kv["full"];
    return "";
}

// A hit whose middle is inside the window and on the screen (a moved window
// may hang over its edge), so a click there reaches it.
const Hit* visible_hit(const std::vector<Hit>& hits, const std::string& id, const wkit::Program& p) {
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
        const double mx = it->x + it->w / 2, my = it->y + it->h / 2;
        if (it->id == id && it->w > 4 && it->h > 4 && mx < std::min(p.w(), kScreenW - p.x()) &&
            my < std::min(p.h(), kScreenH - p.y()))
            return &*it;
    }
    return nullptr;
}

// Waits until no save is pending: the file then holds what the window shows.
bool saved(wkit::Program& p) {
    return wkit::wait_until([&] { return !p.running() || (p.sync() && p.frame().get("save_pending") == "0"); },
                            kAnswerMs);
}

// Fake helpers on PATH, so that random clicks on Help and the clipboard
// never reach a real browser or mail program.
std::vector<std::string> fake_desktop(const wkit::User& u) {
    const std::string bin = u.home + "/bin", rec = u.home + "/rec";
    mkdir(bin.c_str(), 0700);
    mkdir(rec.c_str(), 0700);
    for (const char* name : {"xdg-open", "xdg-email"}) kit::fake_program(bin, name, rec);
    return {"PATH=" + bin + ":" + std::getenv("PATH")};
}

// ---- Random use ----

class Soak : public ::testing::TestWithParam<std::string> {
protected:
    wkit::Xvfb x{kScreenW, kScreenH};
    std::mt19937 rng{seed_of()};
    std::map<std::string, long> count;

    void SetUp() override { ASSERT_TRUE(x.ok()); }
    void TearDown() override { L10n::setLanguage("en"); }

    void random_event(wkit::Program& p) {
        auto rx = [&] { return pick(rng, 0, std::max(1, p.w() - 1)); };
        auto ry = [&] { return pick(rng, 0, std::max(1, p.h() - 1)); };
        std::discrete_distribution<int> kinds(std::begin(kEventWeights), std::end(kEventWeights));
        switch (static_cast<Event>(kinds(rng))) {
        case Event::Click:
            p.click(rx(), ry(), pick(rng, 1, kRightClickOdds) == 1 ? 3 : 1);
            ++count["clicks"];
            break;
        case Event::Drag:
            p.press(rx(), ry());
            p.move(rx(), ry());
            p.release();
            ++count["drags"];
            break;
        case Event::Wheel:
            p.wheel(rx(), ry(), pick(rng, 0, 1) ? pick(rng, 1, kMaxWheel) : -pick(rng, 1, kMaxWheel));
            ++count["wheels"];
            break;
        case Event::Key:
            p.key(kKeys[pick(rng, 0, static_cast<int>(std::size(kKeys)) - 1)]);
            ++count["keys"];
            break;
        case Event::Type:
            p.type(kTyped[pick(rng, 0, static_cast<int>(std::size(kTyped)) - 1)]);
            ++count["typed"];
            break;
        case Event::Resize:
            switch (pick(rng, 0, 3)) {
            case 0: p.resize(kMinW, kMinH); break;
            case 1: p.resize(kScreenW, kScreenH); break;
            case 2: p.resize(pick(rng, kTinyW, kScreenW), pick(rng, kTinyH, kScreenH)); break;
            default: p.resize(kTinyW, kTinyH); break;
            }
            ++count["resizes"];
            break;
        case Event::Move:
            p.move_window(pick(rng, 0, kScreenW / 2), pick(rng, 0, kScreenH / 2));
            ++count["moves"];
            break;
        }
    }

    // Closes whatever is open (menu, field, dialog, panel) and waits for
    // the save, so the saved file shows the state on screen.
    void calm(wkit::Program& p) {
        for (int i = 0; i < 4; ++i) p.key("Escape");
        saved(p);
        p.refresh();
    }

    // A level other than the saved one, by its shortcut; true once saved.
    bool answers(wkit::Program& p) {
        calm(p);
        const std::string was = p.settings().level;
        int n = pick(rng, 1, kLevelCount);
        if (raid::key(raid::kLevels[n - 1]) == was) n = n % kLevelCount + 1;
        const std::string want = raid::key(raid::kLevels[n - 1]);
        p.key("ctrl+" + std::to_string(n));
        return p.wait_settings([&](const Settings& s) { return s.level == want; }, kAnswerMs);
    }

    // A theme through the menu bar by keys: View, then the item.
    bool switch_theme(wkit::Program& p) {
        calm(p);
        const char* const themes[] = {"auto", "dark", "light"};
        const std::string was = p.settings().theme;
        int i = pick(rng, 0, 2);
        if (themes[i] == was) i = (i + 1) % 3;
        p.key("F10");
        p.key("Right");
        for (int k = 0; k < i; ++k) p.key("Down");
        p.key("Return");
        ++count["themes"];
        const std::string want = themes[i];
        return p.wait_settings([&](const Settings& s) { return s.theme == want; }, kAnswerMs);
    }

    // A language from the list in the settings panel, clicked where the
    // program says it is. Nothing when the window is too small to show the
    // list; false when the click changed nothing.
    std::optional<bool> switch_language(wkit::Program& p) {
        // The whole list on the screen, wherever random moves left the window.
        p.move_window(0, 0);
        calm(p);
        p.key("ctrl+comma");
        const Hit* lang = visible_hit(p.frame().over, "set:lang", p);
        if (!lang) {
            ++count["language list out of reach"];
            p.key("Escape");
            return std::nullopt;
        }
        p.click(lang->x + lang->w / 2, lang->y + lang->h / 2);
        const std::string current = "lang:" + p.frame().settings().language;
        std::vector<Hit> choices;
        for (const Hit& h : p.frame().over)
            if (h.id.rfind("lang:", 0) == 0 && h.id != "lang:panel" && h.id != current &&
                visible_hit(p.frame().over, h.id, p))
                choices.push_back(h);
        if (choices.empty()) return std::nullopt;
        const Hit h = choices[pick(rng, 0, static_cast<int>(choices.size()) - 1)];
        p.click(h.x + h.w / 2, h.y + h.h / 2);
        const std::string want = h.id.substr(5);
        ++count["languages"];
        return p.frame().settings().language == want &&
               p.wait_settings([&](const Settings& s) { return s.language == want; }, kAnswerMs);
    }
};

}  // namespace

TEST_P(Soak, RandomUseKeepsItAliveCleanAndWithinLimits) {
    const unsigned seed = seed_of();
    rng.seed(seed);
    SCOPED_TRACE("ZXRC_SOAK_SEED=" + std::to_string(seed));
    const int seconds = env_int("ZXRC_SOAK_SECONDS", kDefaultSeconds);
    const wkit::User u = wkit::new_user("soak");
    std::vector<std::string> env = fake_desktop(u);
    // A small quarantine, so that resident memory shows the program's own
    // growth rather than freed blocks the sanitizer holds back.
    if (const char* asan = std::getenv("ASAN_OPTIONS"))
        env.push_back(std::string("ASAN_OPTIONS=") + asan + ":detect_leaks=0:quarantine_size_mb=16");
    else
        env.push_back("ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=16");

    auto p = std::make_unique<wkit::Program>(x, u, GetParam(), std::vector<std::string>{}, env);
    ASSERT_TRUE(p->wait_window()) << p->stderr_text();
    const auto start = std::chrono::steady_clock::now();
    auto minutes = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60;
    };
    // Growth counts from the end of an instance's first burst: a start in a
    // small window rightly grows once the window is made large.
    long base_kb = -1, last_kb = 0;
    std::ostringstream rss;
    rss << "start " << rss_text(p->pid());
    size_t sampled = 0;
    long events = 0;
    for (int burst = 0; minutes() * 60 < seconds; ++burst) {
        for (int i = 0; i < kBurstEvents; ++i, ++events) random_event(*p);
        if (!p->running()) {
            // A random click can reach File, Quit: a clean end is allowed, a crash is not.
            ASSERT_EQ(p->wait_exit(), 0) << "after burst " << burst << "\n" << p->stderr_text() << p->log();
            ASSERT_NE(p->log().find("clean exit"), std::string::npos);
            ASSERT_EQ(sanitizer_report(p->stderr_text()), "");
            ++count["quits"];
            p = std::make_unique<wkit::Program>(x, u, GetParam(), std::vector<std::string>{}, env);
            ASSERT_TRUE(p->wait_window()) << p->stderr_text();
            base_kb = -1;
            rss << ", restart at " << static_cast<int>(minutes()) << " min";
            continue;
        }
        ASSERT_EQ(sanitizer_report(p->stderr_text()), "") << "after burst " << burst;
        ASSERT_TRUE(answers(*p)) << "no answer after burst " << burst << "\n" << p->log();
        if (burst % kSwitchEvery == kSwitchEvery - 1) {
            EXPECT_TRUE(switch_theme(*p)) << "burst " << burst;
            const auto switched = switch_language(*p);
            EXPECT_TRUE(switched.value_or(true)) << "burst " << burst << ", window " << p->w() << "x" << p->h()
                                                 << " at " << p->x() << "," << p->y();
            p->key("ctrl+Tab");
            ++count["tabs"];
        }
        last_kb = status_kb(p->pid(), "RssAnon:");
        if (sampled < std::size(kMinutesSampled) && minutes() >= kMinutesSampled[sampled])
            rss << ", " << kMinutesSampled[sampled++] << " min " << rss_text(p->pid());
        if (base_kb < 0) base_kb = last_kb;
        EXPECT_LT(last_kb - base_kb, kMaxGrowthKb) << "anonymous memory keeps growing";
    }
    rss << ", end " << rss_text(p->pid());
    calm(*p);
    p->key("ctrl+q");
    ASSERT_EQ(p->wait_exit(), 0) << p->stderr_text();
    EXPECT_EQ(sanitizer_report(p->stderr_text()), "");
    std::string plain;
    ASSERT_EQ(open_saved(u, &plain), sealed::Result::Ok);
    EXPECT_EQ(out_of_limits(plain), "") << plain;
    EXPECT_FALSE(exists(u.dir() + kReportName));

    std::ostringstream line;
    line << GetParam() << ": " << events << " events in " << static_cast<int>(minutes() * 60) << " s, seed " << seed;
    for (const auto& [what, n] : count) line << ", " << what << " " << n;
    std::cout << line.str() << "\nresident memory, total (anonymous + files): " << rss.str() << "\n";
    RecordProperty("events", static_cast<int>(events));
}

// ---- Killed at random moments ----

TEST_P(Soak, KilledAtRandomMomentsLeavesOldOrNewSettings) {
    const unsigned seed = seed_of();
    rng.seed(seed);
    SCOPED_TRACE("ZXRC_SOAK_SEED=" + std::to_string(seed));
    const int kills = env_int("ZXRC_KILLS", kDefaultKills);
    const wkit::User u = wkit::new_user("kills");
    {
        wkit::Program first(x, u, GetParam());
        ASSERT_TRUE(first.wait_window()) << first.stderr_text();
        first.key("ctrl+q");
        ASSERT_EQ(first.wait_exit(), 0);
    }
    std::string plain;
    ASSERT_EQ(open_saved(u, &plain), sealed::Result::Ok);
    Settings old;
    old.read_text(plain);

    for (int i = 0; i < kills; ++i) {
        SCOPED_TRACE("kill " + std::to_string(i));
        const std::string tmp = u.settings_path() + sealed::kTempSuffix;
        const bool tmp_before = exists(tmp);
        wkit::Program p(x, u, GetParam());
        const bool early = pick(rng, 1, kEarlyKillShare) == 1;
        int dir = 0;
        if (early) {
            sleep_ms(pick(rng, 0, kMaxEarlyKillMs));
        } else {
            ASSERT_TRUE(p.wait_window()) << p.story();
            dir = old.disks <= 2 ? 1 : old.disks >= 200 ? -1 : pick(rng, 0, 1) ? 1 : -1;
            p.key(dir > 0 ? "plus" : "minus");
            sleep_ms(i % 2 ? pick(rng, kSaveDelayMs - kSaveAimBefore, kSaveDelayMs + kSaveAimAfter)
                           : pick(rng, 0, kMaxKillDelayMs));
        }
        p.signal(SIGKILL);
        ASSERT_EQ(p.wait_exit(), 128 + SIGKILL);

        ASSERT_EQ(open_saved(u, &plain), sealed::Result::Ok);
        ASSERT_FALSE(exists(u.settings_path() + sealed::kBrokenSuffix));
        ASSERT_FALSE(exists(u.dir() + kReportName)) << "a kill is no crash";
        // Killed between writing the temporary file and renaming it.
        if (!tmp_before && exists(tmp)) ++count["inside the save"];
        Settings now;
        now.read_text(plain);
        if (early) {
            EXPECT_EQ(now.disks, old.disks);
            ++count["during the start"];
        } else if (now.disks == old.disks) {
            ++count["old settings"];
        } else if (now.disks == old.disks + dir) {
            ++count["new settings"];
        } else {
            ADD_FAILURE() << "disks " << now.disks << " after " << old.disks << (dir > 0 ? " plus" : " minus");
            ++count["other"];
        }
        old = now;
    }
    // The start after the last kill is an ordinary one.
    wkit::Program last(x, u, GetParam());
    ASSERT_TRUE(last.wait_window()) << last.stderr_text();
    EXPECT_EQ(last.log().find("crash"), std::string::npos) << last.log();
    last.key("ctrl+q");
    EXPECT_EQ(last.wait_exit(), 0);

    std::ostringstream line;
    line << GetParam() << ": " << kills << " kills, seed " << seed;
    for (const auto& [what, n] : count) line << ", " << what << " " << n;
    std::cout << line.str() << "\n";
    EXPECT_EQ(count["other"], 0);
}

INSTANTIATE_TEST_SUITE_P(Renderers, Soak, ::testing::ValuesIn(wkit::renderers()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

// ---- Hostile environment ----

namespace {

// Some cases show the window without any log to say so (no folder to keep
// one in): then its mapping is the sign.
bool window_or_message(wkit::Program& p, const wkit::Xvfb& x) {
    const bool shown = wkit::wait_until(
        [&] {
            return !p.running() || !wkit::x_run(x.display(), {"xdotool", "search", "--onlyvisible", "--pid",
                                                              std::to_string(p.pid())})
                                        .empty();
        },
        kAnswerMs);
    if (shown && p.running()) return p.wait_window();
    const int status = p.wait_exit();
    EXPECT_TRUE(status > 0 && status < 128) << "status " << status;
    EXPECT_NE(p.stderr_text(), "") << "exits without a word";
    return false;
}

// A mount of the test's own, removed with the object.
struct Mount {
    std::string at;
    bool ok = false;
    Mount(const std::string& source, const std::string& target, const char* type, unsigned long flags,
          const char* data)
        : at(target) {
        ok = geteuid() == 0 && mount(source.c_str(), target.c_str(), type, flags, data) == 0;
    }
    ~Mount() {
        if (ok) umount2(at.c_str(), MNT_DETACH);
    }
};

// Seeds a settings file with 9 disks, so a later save shows.
bool seed(const wkit::User& u) {
    mkdir(u.dir().c_str(), 0700);
    Settings s;
    s.load(u.settings_path());
    s.disks = 9;
    return s.save();
}

class Hostile : public ::testing::Test {
protected:
    wkit::Xvfb x;
    void SetUp() override { ASSERT_TRUE(x.ok()); }

    // Starts, waits for the window or a clear message, and if there is a
    // window, makes a change and quits with Ctrl+Q.
    bool run(const wkit::User& u, const std::vector<std::string>& env = {}) {
        wkit::Program p(x, u, "software", {}, env);
        if (!window_or_message(p, x)) return false;
        p.key("plus");
        saved(p);
        p.key("ctrl+q");
        EXPECT_EQ(p.wait_exit(), 0) << p.stderr_text();
        EXPECT_EQ(sanitizer_report(p.stderr_text()), "");
        EXPECT_FALSE(exists(u.dir() + kReportName));
        return true;
    }
};

}  // namespace

TEST_F(Hostile, ReadOnlyConfigurationFolderKeepsItsSettings) {
    const wkit::User u = wkit::new_user("ro");
    ASSERT_TRUE(seed(u));
    Mount bind(u.config, u.config, nullptr, MS_BIND, nullptr);
    Mount ro(u.config, u.config, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr);
    if (!ro.ok && geteuid() == 0) GTEST_SKIP() << "no read-only bind mount here";
    if (!ro.ok) chmod(u.dir().c_str(), 0500);
    {
        wkit::Program p(x, u, "software");
        ASSERT_TRUE(window_or_message(p, x));
        p.key("plus");
        EXPECT_TRUE(wkit::wait_until([&] { return p.sync() && p.frame().get("notice") == "note.save_failed"; },
                                     kAnswerMs))
            << "the window says the change cannot be kept";
        p.key("ctrl+q");
        EXPECT_EQ(p.wait_exit(), 0) << p.stderr_text();
    }
    chmod(u.dir().c_str(), 0700);
    Settings s;
    ASSERT_EQ(s.load(u.settings_path()), sealed::Result::Ok);
    EXPECT_EQ(s.disks, 9);
}

TEST_F(Hostile, FullDiskKeepsTheOldSettingsWhole) {
    const wkit::User u = wkit::new_user("full");
    Mount small("zxrc-full", u.config, "tmpfs", 0, "size=256k,mode=0700");
    if (!small.ok) GTEST_SKIP() << "cannot mount a small tmpfs (needs root)";
    ASSERT_TRUE(seed(u));
    const std::string filler = u.config + "/filler";
    const std::string block(4096, '\0');
    FILE* f = std::fopen(filler.c_str(), "wb");
    ASSERT_TRUE(f);
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
    }
    std::fclose(f);
    EXPECT_TRUE(run(u));
    Settings s;
    ASSERT_EQ(s.load(u.settings_path()), sealed::Result::Ok);
    EXPECT_EQ(s.disks, 9);
    EXPECT_FALSE(exists(u.settings_path() + sealed::kTempSuffix));
}

TEST_F(Hostile, ConfigurationPathThatIsAFile) {
    for (const bool own : {false, true}) {
        const wkit::User u = wkit::new_user("file");
        const std::string path = own ? u.dir() : u.config;
        rmdir(path.c_str());
        ASSERT_TRUE(kit::write_file(path, "not a folder"));
        run(u);
        EXPECT_EQ(kit::read_file(path), "not a folder") << (own ? "own folder" : "configuration folder");
    }
}

TEST_F(Hostile, HomeUnsetTakesTheHomeOfTheUserDatabase) {
    // The user database, as the program sees it, gives this user a home in
    // the scratch folder (nss_wrapper stands in for the system's).
    constexpr const char* kNssWrapper = "/usr/lib/x86_64-linux-gnu/libnss_wrapper.so";
    if (access(kNssWrapper, R_OK) != 0) GTEST_SKIP() << "libnss-wrapper is not installed";
#if defined(__SANITIZE_ADDRESS__)
    // Preloaded ahead of the sanitizer's runtime, the user database stand-in
    // ends the sanitized program at its start.
    GTEST_SKIP() << "nss_wrapper cannot be preloaded into a sanitized program";
#endif
    const wkit::User u = wkit::new_user("nohome");
    const std::string db_home = u.home + "/dbhome";
    mkdir(db_home.c_str(), 0700);
    kit::write_file(u.home + "/passwd", "tester:x:" + std::to_string(getuid()) + ":" + std::to_string(getgid()) +
                                            ":Tester:" + db_home + ":/bin/sh\n");
    kit::write_file(u.home + "/group", "tester:x:" + std::to_string(getgid()) + ":\n");
    std::string asan = "verify_asan_link_order=0";
    if (const char* a = std::getenv("ASAN_OPTIONS")) asan = std::string(a) + ":" + asan;
    // Started in another folder, which must stay empty.
    char here[4096];
    ASSERT_TRUE(getcwd(here, sizeof here));
    const std::string start = u.home + "/start";
    mkdir(start.c_str(), 0700);
    ASSERT_EQ(chdir(start.c_str()), 0);
    wkit::Program p(x, u, "software", {},
                    {"HOME", "XDG_CONFIG_HOME", std::string("LD_PRELOAD=") + kNssWrapper, "NSS_WRAPPER_PASSWD=" + u.home + "/passwd",
                     "NSS_WRAPPER_GROUP=" + u.home + "/group", "ASAN_OPTIONS=" + asan});
    ASSERT_EQ(chdir(here), 0);
    ASSERT_TRUE(window_or_message(p, x));
    p.key("plus");
    saved(p);
    p.key("ctrl+q");
    EXPECT_EQ(p.wait_exit(), 0) << p.stderr_text();
    Settings s;
    EXPECT_EQ(s.load(db_home + "/.config/zxQuenlowsRaidCalculator/settings.dat"), sealed::Result::Ok);
    EXPECT_EQ(s.disks, 7);
    EXPECT_TRUE(kit::list_dir(start).empty()) << "nothing beside the start";
}

TEST_F(Hostile, UnknownLocaleFallsBackToEnglish) {
    const wkit::User u = wkit::new_user("locale");
    wkit::Program p(x, u, "software", {}, {"LANG=xx_XX.UTF-8", "LC_ALL=xx_XX.UTF-8", "LANGUAGE=xx_XX"});
    ASSERT_TRUE(p.wait_window()) << p.stderr_text();
    EXPECT_NE(p.log().find("language en,"), std::string::npos) << p.log();
    p.key("ctrl+q");
    EXPECT_EQ(p.wait_exit(), 0);
}

TEST(HostileDisplay, GoneMidRunKeepsTheLastChangeAndTheLanguage) {
    for (const std::string& renderer : wkit::renderers()) {
        wkit::Xvfb x;
        ASSERT_TRUE(x.ok());
        const wkit::User u = wkit::new_user("gone");
        const std::vector<std::string> german = {"LANG=de_DE.UTF-8", "LC_ALL=de_DE.UTF-8", "LANGUAGE=de"};
        wkit::Program p(x, u, renderer, {}, german);
        ASSERT_TRUE(p.wait_window()) << p.stderr_text();
        p.key("plus");
        ASSERT_TRUE(p.wait_settings([](const Settings& s) { return s.disks == 7; }));
        // Still inside the save delay when the display goes: the display is
        // killed as soon as the new level shows. A machine so slow that the
        // frame comes after the delay has saved already; the change must be
        // kept all the same, so the test goes on.
        p.key("ctrl+1");
        if (p.frame().get("save_pending") != "1")
            std::cerr << renderer << ": the change was saved before its frame showed\n";
        x.kill_server();
        const int status = p.wait_exit();
        EXPECT_TRUE(status >= 0 && status < 128) << renderer << ": " << p.story();
        EXPECT_EQ(sanitizer_report(p.stderr_text()), "");
        EXPECT_FALSE(exists(u.dir() + kReportName)) << renderer;
        EXPECT_NE(p.log().find("connection to the display lost"), std::string::npos) << p.log();
        Settings s;
        ASSERT_EQ(s.load(u.settings_path()), sealed::Result::Ok) << renderer;
        EXPECT_EQ(s.disks, 7) << renderer;
        EXPECT_EQ(s.level, raid::key(raid::kLevels[0])) << renderer << ": the last change is kept";
        // The language did not fail: the next start keeps it.
        wkit::Xvfb again;
        wkit::Program next(again, u, renderer, {}, german);
        ASSERT_TRUE(next.wait_window()) << next.story();
        EXPECT_EQ(next.stderr_text().find("did not start cleanly"), std::string::npos) << next.story();
        EXPECT_NE(next.log().find("language de,"), std::string::npos) << next.log();
    }
}
