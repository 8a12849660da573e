// The window as a screen reader meets it: the real program under its own X
// server, a private session bus with the desktop's accessibility bus on it,
// and a reader written with the AT-SPI client library (a11y_read.py) that
// lists the tree, presses controls, sets values and listens for events.
// What the reader did is read back from the program's own state.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <regex>

#include "dbus_session.h"
#include "kit.h"
#include "wkit.h"

namespace {

constexpr const char* kLauncher = "/usr/libexec/at-spi-bus-launcher";
constexpr const char* kPython = "/usr/bin/python3";
constexpr int kWaitMs = 30000;
const std::string kReader = std::string(ZXRC_SOURCE_DIR) + "/tests/a11y_read.py";

// One object of the reader's listing.
struct Obj {
    std::string path, role, name, description, line;
    std::vector<int> box;
    std::vector<double> value;
    bool has(const std::string& state) const { return line.find("\"" + state + "\"") != std::string::npos; }
};

std::string field(const std::string& line, const std::string& key) {
    const std::regex re("\"" + key + "\": \"((?:[^\"\\\\]|\\\\.)*)\"");
    std::smatch m;
    return std::regex_search(line, m, re) ? m[1].str() : "";
}

template <typename T>
std::vector<T> numbers(const std::string& line, const std::string& key) {
    std::vector<T> out;
    const size_t at = line.find("\"" + key + "\": [");
    if (at == std::string::npos) return out;
    std::string list = line.substr(at + key.size() + 5);
    list = list.substr(0, list.find(']'));
    for (size_t p = 0; p < list.size();) {
        size_t used = 0;
        out.push_back(static_cast<T>(std::stod(list.substr(p), &used)));
        p += used;
        while (p < list.size() && (list[p] == ',' || list[p] == ' ')) ++p;
    }
    return out;
}

std::vector<Obj> parse(const std::string& text) {
    std::vector<Obj> out;
    for (const std::string& l : kit::lines(text)) {
        if (l.empty() || l[0] != '{') continue;
        Obj o{field(l, "path"), field(l, "role"), field(l, "name"), field(l, "description"), l, {}, {}};
        o.box = numbers<int>(l, "box");
        o.value = numbers<double>(l, "value");
        out.push_back(std::move(o));
    }
    return out;
}

// A process of the test's own in a process group of its own, ended with it.
class Spawned {
public:
    Spawned(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& out) {
        std::fflush(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            setpgid(0, 0);
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
            }
            for (const std::string& e : env) putenv(strdup(e.c_str()));
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        if (m_pid > 0) setpgid(m_pid, m_pid);
    }
    ~Spawned() {
        if (m_pid <= 0) return;
        kill(-m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        // What it started on the accessibility bus goes with it.
        kill(-m_pid, SIGKILL);
    }
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;
    bool ok() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

class ScreenReader : public ::testing::TestWithParam<std::string> {
protected:
    wkit::Xvfb x{1400, 1000};
    wkit::User u = wkit::new_user("a11y");
    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<Spawned> launcher;

    void SetUp() override {
        ASSERT_TRUE(x.ok()) << "Xvfb did not start";
        if (!PrivateBus::installed() || access(kLauncher, X_OK) != 0)
            GTEST_SKIP() << "dbus-daemon or the accessibility bus is not installed (Debian packages dbus, at-spi2-core)";
        if (kit::run(kPython, {"-c", "import pyatspi"}).status != 0)
            GTEST_SKIP() << "the AT-SPI client library is not installed (Debian package python3-pyatspi)";
        bus = std::make_unique<PrivateBus>(u.home);
        ASSERT_TRUE(bus->ok()) << "the bus did not start";
    }

    std::vector<std::string> env() const {
        return {"DBUS_SESSION_BUS_ADDRESS=" + bus->address(), "DISPLAY=" + x.display(), "HOME=" + u.home,
                "XDG_RUNTIME_DIR=" + u.runtime, "GSETTINGS_BACKEND=memory", "AT_SPI_BUS_ADDRESS", "NO_AT_BRIDGE"};
    }

    // The desktop's accessibility bus, with a screen reader on or off.
    void start_a11y_bus(bool reader) {
        launcher = std::make_unique<Spawned>(std::vector<std::string>{kLauncher, "--launch-immediately"}, env(),
                                             u.home + "/launcher.log");
        ASSERT_TRUE(launcher->ok());
        const std::vector<std::string> set = {"call",
                                              "--session",
                                              "--dest",
                                              "org.a11y.Bus",
                                              "--object-path",
                                              "/org/a11y/bus",
                                              "--method",
                                              "org.freedesktop.DBus.Properties.Set",
                                              "org.a11y.Status",
                                              "ScreenReaderEnabled",
                                              reader ? "<true>" : "<false>"};
        ASSERT_TRUE(wkit::wait_until([&] { return kit::run("/usr/bin/gdbus", set, env()).status == 0; }, kWaitMs))
            << kit::read_file(u.home + "/launcher.log");
    }

    std::unique_ptr<wkit::Program> start(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> e = {"DBUS_SESSION_BUS_ADDRESS=" + bus->address()};
        e.insert(e.end(), extra.begin(), extra.end());
        auto p = std::make_unique<wkit::Program>(x, u, GetParam(), std::vector<std::string>{"--size", "1100x760"}, e);
        EXPECT_TRUE(p->wait_window()) << p->story();
        return p;
    }

    kit::Run reader(const std::vector<std::string>& args) {
        std::vector<std::string> a = {kReader, "zxQuenlowsRaidCalculator"};
        a.insert(a.end(), args.begin(), args.end());
        return kit::run(kPython, a, env());
    }

    // The tree once `ok` holds for it (the program publishes after its next frame).
    std::vector<Obj> tree_when(const std::function<bool(const std::vector<Obj>&)>& ok) {
        std::vector<Obj> t;
        const bool held = wkit::wait_until(
            [&] {
                const kit::Run r = reader({"dump"});
                t = r.status == 0 ? parse(r.out) : std::vector<Obj>{};
                return !t.empty() && ok(t);
            },
            kWaitMs);
        return held ? t : std::vector<Obj>{};
    }

    static const Obj* find(const std::vector<Obj>& t, const std::string& role, const std::string& name) {
        for (const Obj& o : t)
            if (o.role == role && o.name == name) return &o;
        return nullptr;
    }
};

// Screen coordinates of a control's middle, as the program itself reports it.
bool same_place(const Obj& o, const wkit::Program& p, const Hit& h) {
    if (o.box.size() != 4) return false;
    const double cx = p.x() + h.x + h.w / 2, cy = p.y() + h.y + h.h / 2;
    return std::abs(o.box[0] + o.box[2] / 2.0 - cx) <= 2 && std::abs(o.box[1] + o.box[3] / 2.0 - cy) <= 2;
}

TEST_P(ScreenReader, ReadsTheWindowAndActsOnIt) {
    start_a11y_bus(true);
    auto p = start();
    ASSERT_TRUE(p->wait_log("accessibility bridge started", kWaitMs)) << p->story();
    ASSERT_TRUE(p->sync());

    // The application, its window and what the window shows.
    std::vector<Obj> t = tree_when([](const std::vector<Obj>& t) { return find(t, "spin button", "Number of disks"); });
    ASSERT_FALSE(t.empty()) << "the program is not on the accessibility bus";
    EXPECT_EQ(t[0].role, "application");
    EXPECT_EQ(t[1].role, "frame");
    EXPECT_TRUE(t[1].has("active"));
    const Obj* menubar = find(t, "menu bar", "");
    ASSERT_TRUE(menubar);
    EXPECT_TRUE(find(t, "menu", "File") && find(t, "menu", "Help"));
    const Obj* calc = find(t, "page tab", "Calculator");
    ASSERT_TRUE(calc);
    EXPECT_TRUE(calc->has("selected"));
    const Obj* disks = find(t, "spin button", "Number of disks");
    ASSERT_TRUE(disks);
    ASSERT_EQ(disks->value.size(), 4u);
    EXPECT_EQ(disks->value[0], p->frame().settings().disks);
    EXPECT_EQ(disks->value[3], 1);
    EXPECT_LT(disks->value[1], disks->value[0]);
    EXPECT_GT(disks->value[2], disks->value[0]);
    EXPECT_NE(disks->line.find("\"text\": \"" + std::to_string(p->frame().settings().disks) + "\""), std::string::npos)
        << disks->line;
    const Obj* raid6 = find(t, "radio button", "RAID 6 Double parity");
    ASSERT_TRUE(raid6);
    EXPECT_TRUE(raid6->has("checked"));
    const Hit* field = p->hit(hit_id::make(hit_id::Kind::Field, "disks"));
    ASSERT_TRUE(field);
    EXPECT_TRUE(same_place(*disks, *p, *field)) << disks->line;
    // The comparison is a table: a row per level, the row of the chosen level selected, its figures as cells.
    const Obj* table = find(t, "table", "All levels compared");
    ASSERT_TRUE(table);
    int rows = 0, cells = 0;
    for (const Obj& o : t) {
        if (o.role == "table row" && o.path.rfind(table->path + "/", 0) == 0) {
            ++rows;
            EXPECT_EQ(o.has("selected"), o.name == "RAID 6") << o.line;
        }
        if (o.role == "table cell" && o.path.rfind(table->path + "/", 0) == 0) ++cells;
    }
    EXPECT_EQ(rows, raid::kLevelCount);
    EXPECT_GE(cells, 4 * rows);
    // Result figures are labels, and no control is left without a name.
    EXPECT_TRUE(find(t, "label", "48 TB  (43.7 TiB)")) << "the capacity in the header";
    for (const Obj& o : t)
        EXPECT_TRUE(!o.has("focusable") || !o.name.empty()) << o.line;

    // Pressing a level card as the reader would.
    const Obj* raid5 = find(t, "radio button", "RAID 5 Single parity");
    ASSERT_TRUE(raid5);
    EXPECT_EQ(reader({"do", raid5->path, "click"}).status, 0);
    EXPECT_TRUE(p->wait_settings([](const Settings& s) { return s.level == "raid5"; }));
    t = tree_when([](const std::vector<Obj>& t) {
        const Obj* o = find(t, "radio button", "RAID 5 Single parity");
        return o && o->has("checked");
    });
    EXPECT_FALSE(t.empty()) << "RAID 5 does not read as chosen";

    // Setting a value, held to what the figure allows, and stepping it.
    disks = find(t, "spin button", "Number of disks");
    ASSERT_TRUE(disks);
    EXPECT_EQ(reader({"set", disks->path, "9"}).status, 0);
    EXPECT_TRUE(p->wait_settings([](const Settings& s) { return s.disks == 9; }));
    EXPECT_EQ(reader({"do", disks->path, "increase"}).status, 0);
    EXPECT_TRUE(p->wait_settings([](const Settings& s) { return s.disks == 10; }));
    EXPECT_EQ(reader({"set", disks->path, "100000"}).status, 0);
    EXPECT_TRUE(p->wait_settings([](const Settings& s) { return s.disks == raid::kMaxDisks; }));

    // The keyboard's focus is the reader's: it hears where Tab goes.
    const std::string events = u.home + "/events.txt";
    Spawned listener({kPython, kReader, "zxQuenlowsRaidCalculator", "events", "60"}, env(), events);
    ASSERT_TRUE(wkit::wait_until([&] { return kit::read_file(events).find("listening") != std::string::npos; },
                                 kWaitMs));
    // A listener is known to the program only once the registry told it: Tab until one is heard.
    EXPECT_TRUE(wkit::wait_until(
        [&] {
            p->key("Tab");
            return kit::read_file(events).find("state-changed:focused") != std::string::npos;
        },
        kWaitMs))
        << kit::read_file(events);
    // A value changed is heard too.
    EXPECT_EQ(reader({"do", disks->path, "decrease"}).status, 0);
    EXPECT_TRUE(wkit::wait_until(
        [&] { return kit::read_file(events).find("property-change:accessible-value") != std::string::npos; }, kWaitMs))
        << kit::read_file(events);
    ASSERT_TRUE(p->sync());
    t = tree_when([](const std::vector<Obj>& t) {
        for (const Obj& o : t)
            if (o.has("focused")) return true;
        return false;
    });
    int focused_objects = 0;
    for (const Obj& o : t) focused_objects += o.has("focused");
    EXPECT_EQ(focused_objects, 1);

    // Typing into a figure is echoed as text.
    disks = find(t, "spin button", "Number of disks");
    ASSERT_TRUE(disks);
    EXPECT_EQ(reader({"focus", disks->path}).status, 0);
    ASSERT_TRUE(wkit::wait_until(
        [&] { return p->sync() && p->frame().get("key_focus") == hit_id::make(hit_id::Kind::Field, "disks"); },
        kWaitMs));
    p->key("Return");
    p->key("ctrl+a");
    p->type("7");
    EXPECT_TRUE(wkit::wait_until([&] { return kit::read_file(events).find("text-changed:insert") != std::string::npos; },
                                 kWaitMs))
        << kit::read_file(events);
    t = tree_when([](const std::vector<Obj>& t) {
        const Obj* o = find(t, "spin button", "Number of disks");
        return o && o->has("editable") && o->line.find("\"text\": \"7\"") != std::string::npos;
    });
    EXPECT_FALSE(t.empty()) << "the typed figure is not read" << kit::read_file(events);
    p->key("Return");
    EXPECT_TRUE(p->wait_settings([](const Settings& s) { return s.disks == 7; }));

    // A dialog: the settings panel opened from its button.
    t = tree_when([](const std::vector<Obj>& t) { return find(t, "push button", "Settings"); });
    const Obj* settings = find(t, "push button", "Settings");
    ASSERT_TRUE(settings);
    EXPECT_EQ(reader({"do", settings->path, "click"}).status, 0);
    t = tree_when([](const std::vector<Obj>& t) { return find(t, "dialog", "Settings"); });
    ASSERT_FALSE(t.empty()) << "the settings panel is not a dialog";
    EXPECT_TRUE(find(t, "page tab", "General"));
    p->signal(SIGTERM);
    EXPECT_EQ(p->wait_exit(), 0);
}

TEST_P(ScreenReader, StaysOffUnlessWanted) {
    // No screen reader: the bridge is not started and the window is not listed.
    start_a11y_bus(false);
    {
        auto p = start();
        EXPECT_TRUE(p->wait_log("accessibility bridge not wanted", kWaitMs)) << p->story();
        EXPECT_EQ(reader({"dump"}).status, 3);
        p->signal(SIGTERM);
        EXPECT_EQ(p->wait_exit(), 0);
    }
    // Switched off for this program, whatever the desktop says.
    launcher.reset();
    start_a11y_bus(true);
    auto p = start({"NO_AT_BRIDGE=1"});
    EXPECT_TRUE(p->wait_log("accessibility bridge off (NO_AT_BRIDGE)", kWaitMs)) << p->story();
    ASSERT_TRUE(p->sync());
    EXPECT_EQ(reader({"dump"}).status, 3);
    EXPECT_EQ(p->log().find("accessibility bridge started"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Renderers, ScreenReader, ::testing::ValuesIn(wkit::renderers()),
                         [](const auto& info) { return info.param; });

}  // namespace
