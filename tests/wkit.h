// The window test kit: an X server of the test's own, a fresh user (home,
// configuration, runtime and temporary folders), and the real program in
// its window, driven with xdotool and read back from screenshots, the saved
// settings and the log. Every window test uses it.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app.h"
#include "canvas.h"
#include "settings.h"

namespace wkit {

// How long the program may take to answer a ping, and by default to do
// anything a test waits for (start, exit, a log line, a save): generous, for
// the sanitizer build on a busy machine with slowed repaints. A wait that
// succeeds returns at once, so only a failure takes this long.
constexpr int kSyncMs = 30000;

// Where a failed wait is reported: a test failure in the tests (set by the
// tests' main), standard error elsewhere.
void set_failure_reporter(std::function<void(const std::string&)> report);

// The program's answer to a ping: its state, its settings as they stand
// (not as last saved) and the hits of the frame on screen, in logical units.
struct Frame {
    long seq = -1;
    std::map<std::string, std::string> state;
    std::string settings_text;
    std::vector<Hit> base, over;

    std::string get(const std::string& key) const;
    double num(const std::string& key) const;
    Settings settings() const;
    // The control `id` as last painted (an open overlay's first), or null.
    const Hit* find(const std::string& id) const;
    int modal() const { return static_cast<int>(num("modal")); }
};

// Xvfb on a display it picks itself; stopped with the object.
class Xvfb {
public:
    explicit Xvfb(int width = 1920, int height = 1080);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    bool ok() const { return !m_display.empty(); }
    const std::string& display() const { return m_display; }
    void kill_server();

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// A user nobody has seen before: every folder the program may write to is new.
struct User {
    std::string home;
    std::string config;   // XDG_CONFIG_HOME
    std::string runtime;  // XDG_RUNTIME_DIR
    std::string tmp;      // TMPDIR
    // The program's own folder inside config.
    std::string dir() const;
    std::string settings_path() const { return dir() + "/settings.dat"; }
    std::string log_path() const { return dir() + "/zxQuenlowsRaidCalculator.log"; }
    std::vector<std::string> env() const;
};
User new_user(const std::string& name);
// Writes the user's settings file as the program would, after `change`.
void seed_settings(const User& u, const std::function<void(Settings&)>& change);

// A point of the page, below its first 200 units and inside the view, that
// no control of the frame comes within 4 units of: a wheel step there
// scrolls rather than stepping a value. False when there is none.
bool blank_spot(const Frame& f, double* x, double* y);

// A windowless App in the state a frame reports (settings, language, page,
// overlay, hover and pointer), to paint what the screen must show.
void mirror(const Frame& f, App& a);

// Polls `done` every 40 ms until it holds or `ms` passed; true when it held.
bool wait_until(const std::function<bool()>& done, int ms);

// The renderers SDL offers under Xvfb: the still software one and OpenGL on
// Mesa's CPU renderer (the accelerated path of the bars and lights).
std::vector<std::string> renderers();

// The program, started without a command on the given display.
class Program {
public:
    Program(const Xvfb& x, const User& u, const std::string& renderer,
            const std::vector<std::string>& args = {}, const std::vector<std::string>& env = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t pid() const { return m_pid; }
    bool running();
    // Waits until the window is mapped, found and has shown its first frame;
    // false on a time-out.
    bool wait_window(int ms = kSyncMs);
    // Reads the window's position and size again (after a resize or move).
    bool refresh();
    int x() const { return m_x; }
    int y() const { return m_y; }
    int w() const { return m_w; }
    int h() const { return m_h; }
    const std::string& window_id() const { return m_wid; }

    // The barrier: a ping sent after all input so far, answered once the
    // program has handled that input and shown a frame painted after it.
    // False (and a reported failure) when no answer came in `ms`.
    bool sync(int ms = kSyncMs);
    // The last answer.
    const Frame& frame() const { return m_frame; }
    // The control `id` in the last answer; a reported failure when absent.
    const Hit* hit(const std::string& id);

    // Window-system units per logical unit as last reported: the desktop's
    // scale times the zoom on X11.
    double units() const;

    // Input, in logical window coordinates (as hits are), sent in the
    // window system's pixels; each returns once the program has shown it.
    bool move(double x, double y);
    bool click(double x, double y, int button = 1);
    // Clicks the middle of the control `id` where the last answer has it.
    bool click(const std::string& id, int button = 1);
    bool move_to(const std::string& id);
    bool press(double x, double y);
    bool press(const std::string& id);
    bool release();
    // Wheel steps at (x, y): negative up, positive down.
    bool wheel(double x, double y, int steps);
    bool key(const std::string& keys);
    bool type(const std::string& text);
    bool resize(int w, int h);
    bool move_window(int x, int y);
    // Closes the window the way another program can (XDestroyWindow).
    void destroy_window();

    // The window's pixels now.
    std::unique_ptr<Canvas> shot();
    // Waits until the pixel at (x, y) satisfies `ok`.
    bool wait_pixel(double x, double y, const std::function<bool(const Px&)>& ok, int ms = kSyncMs);

    // Signals and exit: the status is the exit code, 128 + signal, or -1 on a time-out.
    void signal(int sig);
    int wait_exit(int ms = kSyncMs);
    std::string stderr_text() const;
    // For a failed wait: whether it still runs or how it ended, its stderr and its log.
    std::string story();

    std::string log() const;
    bool wait_log(const std::string& needle, int ms = kSyncMs) const;
    // The saved settings as the program itself reads them.
    Settings settings() const;
    // Waits for the saved settings to satisfy `ok` (saves come 700 ms after a change).
    bool wait_settings(const std::function<bool(const Settings&)>& ok, int ms = kSyncMs) const;

private:
    std::string px(double v) const;
    std::string m_display;
    User m_user;
    std::string m_err_path;
    pid_t m_pid = -1;
    int m_status = -1;
    // The log left by an earlier run of the same user, which the new run
    // moves aside: its lines must not count for this run.
    unsigned long m_old_log = 0;
    std::string m_wid;
    int m_x = 0, m_y = 0, m_w = 0, m_h = 0;
    std::string m_probe_path;
    long m_seq = 0;
    Frame m_frame;
};

// Sets Xft.dpi in the server's resource database (xrdb), as a desktop at a
// scale of dpi / 96 does; true when the database then holds it.
bool set_xft_dpi(const Xvfb& x, double dpi);

// Runs an X client (xdotool, xprop, …) on the display; its standard output.
std::string x_run(const std::string& display, const std::vector<std::string>& args);

// The fixture of a window test, run once per renderer (its parameter): an
// X server of w x h of its own for each test.
template <int W = 1920, int H = 1080>
class OnScreen : public ::testing::TestWithParam<std::string> {
protected:
    Xvfb x{W, H};
    void SetUp() override { ASSERT_TRUE(x.ok()) << "Xvfb did not start"; }
    // The program opened at w x h, shown and answering.
    std::unique_ptr<Program> start(const User& u, int w, int h, const std::vector<std::string>& env = {}) {
        auto p = std::make_unique<Program>(
            x, u, GetParam(), std::vector<std::string>{"--size", std::to_string(w) + "x" + std::to_string(h)}, env);
        EXPECT_TRUE(p->wait_window() && p->refresh() && p->w() == w && p->h() == h) << p->stderr_text();
        return p;
    }
};

}  // namespace wkit
