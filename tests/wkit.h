// The window test kit: an X server of the test's own, a fresh user (home,
// configuration, runtime and temporary folders), and the real program in
// its window, driven with xdotool and read back from screenshots, the saved
// settings and the log. Every window test uses it.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "canvas.h"
#include "settings.h"

namespace wkit {

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
    bool wait_window(int ms = 15000);
    // Reads the window's position and size again (after a resize or move).
    bool refresh();
    int x() const { return m_x; }
    int y() const { return m_y; }
    int w() const { return m_w; }
    int h() const { return m_h; }
    const std::string& window_id() const { return m_wid; }

    // Input, in window coordinates.
    void move(double x, double y);
    void click(double x, double y, int button = 1);
    void press(double x, double y);
    void release();
    // Wheel steps at (x, y): negative up, positive down.
    void wheel(double x, double y, int steps);
    void key(const std::string& keys);
    void type(const std::string& text);
    void resize(int w, int h);
    void move_window(int x, int y);

    // The window's pixels now.
    std::unique_ptr<Canvas> shot();
    // Waits until the pixel at (x, y) satisfies `ok`.
    bool wait_pixel(double x, double y, const std::function<bool(const Px&)>& ok, int ms = 10000);

    // Signals and exit: the status is the exit code, 128 + signal, or -1 on a time-out.
    void signal(int sig);
    int wait_exit(int ms = 10000);
    std::string stderr_text() const;
    // For a failed wait: whether it still runs or how it ended, its stderr and its log.
    std::string story();

    std::string log() const;
    bool wait_log(const std::string& needle, int ms = 10000) const;
    // The saved settings as the program itself reads them.
    Settings settings() const;
    // Waits for the saved settings to satisfy `ok` (saves come 700 ms after a change).
    bool wait_settings(const std::function<bool(const Settings&)>& ok, int ms = 10000) const;

private:
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
};

// Runs an X client (xdotool, xprop, …) on the display; its standard output.
std::string x_run(const std::string& display, const std::vector<std::string>& args);

}  // namespace wkit
