// The window test kit: Xvfb picks a free display itself (-displayfd), the
// program runs with a fresh user's folders, and xdotool and ImageMagick's
// import drive and read the window from outside, as a user would. After
// every input the kit pings the program from a connection of its own and
// waits for the answer (see app_probe.cpp): xdotool has exited by then, so
// the server has passed its events on before the ping.
#include "wkit.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "kit.h"
#include "l10n.h"

namespace wkit {

namespace {

constexpr int kPollMs = 40;
constexpr int kProbePollMs = 3;
constexpr int kXvfbStartMs = 10000;
constexpr const char* kPingAtom = "_ZXRC_PING";
constexpr const char* kDelayVar = "ZXRC_TEST_PAINT_DELAY_MS";

using Clock = std::chrono::steady_clock;

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Starts argv with the environment changes (NAME=value sets, NAME unsets),
// stdin from /dev/null, stdout to /dev/null, stderr to `err` (or /dev/null).
// The child dies with the test: a test killed by CTest's time-out or by hand
// leaves no X server or program behind.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& err,
            int keep_fd = -1) {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    const int e = err.empty() ? null : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(e >= 0 ? e : null, 2);
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keep_fd) close(fd);
    for (const auto& v : env) {
        const auto eq = v.find('=');
        if (eq == std::string::npos)
            unsetenv(v.c_str());
        else
            setenv(v.substr(0, eq).c_str(), v.c_str() + eq + 1, 1);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

std::string num(double v) { return std::to_string(static_cast<long>(v)); }

std::function<void(const std::string&)> g_report = [](const std::string& m) {
    std::fprintf(stderr, "wkit: %s\n", m.c_str());
};

bool parse_frame(const std::string& text, Frame* f) {
    std::istringstream in(text);
    std::string line;
    Frame out;
    bool ended = false;
    while (std::getline(in, line)) {
        if (line == "end") {
            ended = true;
            break;
        }
        const size_t sp = line.find(' ');
        const std::string key = line.substr(0, sp), rest = sp == std::string::npos ? "" : line.substr(sp + 1);
        if (key == "set") {
            out.settings_text += rest + "\n";
        } else if (key == "hit") {
            std::istringstream h(rest);
            std::string layer;
            Hit hit;
            h >> layer >> hit.x >> hit.y >> hit.w >> hit.h >> hit.n >> hit.on;
            h.get();
            std::getline(h, hit.id);
            (layer == "o" ? out.over : out.base).push_back(hit);
        } else {
            out.state[key] = rest;
        }
    }
    if (!ended || !out.state.count("seq")) return false;
    out.seq = std::atol(out.state["seq"].c_str());
    *f = std::move(out);
    return true;
}

}  // namespace

void set_failure_reporter(std::function<void(const std::string&)> report) { g_report = std::move(report); }

// ---- Frames ----

std::string Frame::get(const std::string& key) const {
    const auto it = state.find(key);
    return it == state.end() ? "" : it->second;
}

double Frame::num(const std::string& key) const { return std::atof(get(key).c_str()); }

Settings Frame::settings() const {
    Settings s;
    s.read_text(settings_text);
    return s;
}

const Hit* Frame::find(const std::string& id) const {
    for (const std::vector<Hit>* list : {&over, &base})
        for (auto it = list->rbegin(); it != list->rend(); ++it)
            if (it->id == id && it->w > 0 && it->h > 0) return &*it;
    return nullptr;
}

void mirror(const Frame& f, App& a) {
    a.m_settings = f.settings();
    L10n::setLanguage(a.m_settings.language);
    a.restore_failures();
    a.recompute();
    a.m_dark = f.num("dark") != 0;
    a.m_pal = Palette::make(a.m_dark);
    const int tab = static_cast<int>(f.num("tab"));
    a.m_scroll[tab] = f.num("scroll");
    a.m_modal = static_cast<App::Modal>(f.modal());
    a.m_set_tab = static_cast<int>(f.num("set_tab"));
    a.m_set_scroll = f.num("set_scroll");
    a.m_lang_scroll = f.num("lang_scroll");
    a.m_confirm_text = f.get("confirm");
    a.m_confirm_ok = f.get("confirm_ok");
    a.m_hover = f.get("hover");
    a.m_over_hover = f.get("over_hover");
    a.m_tip_shown = f.num("tip") != 0;
    std::istringstream pointer(f.get("pointer"));
    pointer >> a.m_mx >> a.m_my;
    const int menu = static_cast<int>(f.num("menu"));
    if (menu >= 0) a.open_menubar(menu);
    a.m_over_hover = f.get("over_hover");
}

bool blank_spot(const Frame& f, double* x, double* y) {
    for (double py = 200; py < f.num("view"); py += 7)
        for (double px = 20; px < f.num("size") - 20; px += 7) {
            bool covered = false;
            for (const Hit& h : f.base)
                covered |= px >= h.x - 4 && px < h.x + h.w + 4 && py >= h.y - 4 && py < h.y + h.h + 4;
            if (!covered) {
                *x = px;
                *y = py;
                return true;
            }
        }
    return false;
}

// ---- X server ----

Xvfb::Xvfb(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    m_pid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp",
                   "-noreset"},
                  {}, "", fds[1]);
    close(fds[1]);
    std::string got;
    const auto until = Clock::now() + std::chrono::milliseconds(kXvfbStartMs);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    while (Clock::now() < until && got.find('\n') == std::string::npos) {
        char buf[32];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n > 0)
            got.append(buf, static_cast<size_t>(n));
        else if (n == 0)
            break;
        else
            sleep_ms(20);
    }
    close(fds[0]);
    if (got.find('\n') != std::string::npos) m_display = ":" + got.substr(0, got.find('\n'));
}

Xvfb::~Xvfb() { kill_server(); }

void Xvfb::kill_server() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    int st = 0;
    waitpid(m_pid, &st, 0);
    m_pid = -1;
}

// The X tools all live in /usr/bin: started there directly, not through
// env, each input of a walk of hundreds costs one process start, not two.
std::string x_run(const std::string& display, const std::vector<std::string>& args) {
    return kit::run("/usr/bin/" + args.front(), {args.begin() + 1, args.end()}, {"DISPLAY=" + display}).out;
}

namespace {

// A key combination that closes the window ends the xdotool sending it: the
// window is gone before its keys are released, xdotool turns to sending the
// releases to that window, the server refuses and xdotool exits on the
// error. The keys stay down in the server, and the next window meets a held
// Ctrl and a Q whose next press the server drops as already down.
void release_held_keys(const std::string& display) {
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return;
    char down[32] = {};
    XQueryKeymap(dpy, down);
    std::vector<std::string> cmd = {"xdotool", "keyup", "--delay", "0"};
    for (int code = 8; code < 256; ++code) {
        if (!(down[code / 8] & (1 << (code % 8)))) continue;
        const KeySym sym = XkbKeycodeToKeysym(dpy, static_cast<KeyCode>(code), 0, 0);
        if (const char* name = sym == NoSymbol ? nullptr : XKeysymToString(sym)) cmd.emplace_back(name);
    }
    XCloseDisplay(dpy);
    // Without a window, xdotool releases through the server's test keyboard.
    if (cmd.size() > 4) x_run(display, cmd);
}

}  // namespace

bool set_xft_dpi(const Xvfb& x, double dpi) {
    const std::string path = kit::scratch_dir("xrdb") + "/resources";
    std::ostringstream value;
    value << dpi;
    if (!kit::write_file(path, "Xft.dpi: " + value.str() + "\n")) return false;
    x_run(x.display(), {"xrdb", "-merge", "-nocpp", path});
    // xrdb lists a resource with a tab after its colon.
    return x_run(x.display(), {"xrdb", "-query"}).find("Xft.dpi:\t" + value.str() + "\n") != std::string::npos;
}

// ---- Users ----

std::string User::dir() const { return config + "/zxQuenlowsRaidCalculator"; }

std::vector<std::string> User::env() const {
    return {"HOME=" + home, "XDG_CONFIG_HOME=" + config, "XDG_RUNTIME_DIR=" + runtime, "TMPDIR=" + tmp,
            // Mesa keeps its shader cache there, not in the real home.
            "XDG_CACHE_HOME=" + home + "/cache",
            // No session bus: the desktop portal is not there unless a test brings one.
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/no-bus", "LANGUAGE", "LC_ALL", "LC_MESSAGES",
            "LANG=C.UTF-8", "GTK_THEME", "SDL_VIDEODRIVER",
            // Assistive technology only where a test brings it.
            "NO_AT_BRIDGE", "AT_SPI_BUS_ADDRESS"};
}

User new_user(const std::string& name) {
    User u;
    u.home = kit::scratch_dir(name);
    u.config = u.home + "/config";
    u.runtime = u.home + "/run";
    u.tmp = u.home + "/tmp";
    for (const auto& d : {u.config, u.runtime, u.tmp}) mkdir(d.c_str(), 0700);
    return u;
}

void seed_settings(const User& u, const std::function<void(Settings&)>& change) {
    mkdir(u.dir().c_str(), 0700);
    Settings s;
    s.load(u.settings_path());
    change(s);
    if (!s.save()) g_report("the settings of " + u.dir() + " could not be written");
}

bool wait_until(const std::function<bool()>& done, int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (done()) return true;
        if (Clock::now() >= until) return false;
        sleep_ms(kPollMs);
    }
}

std::vector<std::string> renderers() { return {"software", "opengl"}; }

// ---- The program ----

Program::Program(const Xvfb& x, const User& u, const std::string& renderer, const std::vector<std::string>& args,
                 const std::vector<std::string>& env)
    : m_display(x.display()), m_user(u), m_err_path(u.home + "/stderr-" + std::to_string(rand()) + ".txt") {
    std::vector<std::string> argv = {ZXRC_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> e = u.env();
    e.push_back("DISPLAY=" + m_display);
    e.push_back("SDL_RENDER_DRIVER=" + renderer);
    // A window's process ends with one-time allocations of the GL driver's
    // compiled code and the bus library that no leak check can attribute;
    // the sanitizers' other checks stay on.
    if (const char* asan = std::getenv("ASAN_OPTIONS")) e.push_back(std::string("ASAN_OPTIONS=") + asan + ":detect_leaks=0");
    m_probe_path = u.home + "/probe-" + std::to_string(rand()) + ".txt";
    e.push_back("ZXRC_TEST_PROBE=" + m_probe_path);
    if (const char* delay = std::getenv(kDelayVar)) e.push_back(std::string(kDelayVar) + "=" + delay);
    e.insert(e.end(), env.begin(), env.end());
    struct stat st {};
    if (stat(u.log_path().c_str(), &st) == 0) m_old_log = static_cast<unsigned long>(st.st_ino);
    m_pid = spawn(argv, e, m_err_path);
}

Program::~Program() {
    if (running()) {
        kill(m_pid, SIGKILL);
        // A killed program always ends, but freeing a sanitized program's
        // memory on a loaded machine has taken the kernel over 5 s.
        wait_exit();
    }
}

bool Program::running() {
    if (m_pid <= 0 || m_status >= 0) return false;
    int st = 0;
    const pid_t r = waitpid(m_pid, &st, WNOHANG);
    if (r == 0) return true;
    if (r == m_pid) m_status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
}

bool Program::wait_window(int ms) {
    const bool found = wait_until(
        [this] {
            if (!running()) return true;
            std::istringstream ids(x_run(m_display, {"xdotool", "search", "--onlyvisible", "--pid",
                                                     std::to_string(m_pid)}));
            std::string id;
            if (ids >> id) m_wid = id;
            return !m_wid.empty();
        },
        ms);
    if (!found || m_wid.empty() || !refresh()) return false;
    // Keys sent before the window has the focus are lost; a user would not
    // type before seeing it either.
    return wait_until([this, ms] { return !running() || (sync(ms) && m_frame.get("focus") == "1"); }, ms) && running();
}

bool Program::sync(int ms) {
    // A connection for each ping: a test may end the X server, and an open
    // connection to a server gone ends the whole test process at its next use.
    // A ping to a window that just closed is no error of the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Display* dpy = m_wid.empty() ? nullptr : XOpenDisplay(m_display.c_str());
    if (!dpy) {
        g_report("no window to ping");
        return false;
    }
    const long seq = ++m_seq;
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = std::strtoul(m_wid.c_str(), nullptr, 10);
    ev.xclient.message_type = XInternAtom(dpy, kPingAtom, False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = seq;
    XSendEvent(dpy, ev.xclient.window, False, NoEventMask, &ev);
    XCloseDisplay(dpy);
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        Frame f;
        if (parse_frame(kit::read_file(m_probe_path), &f) && f.seq == seq) {
            m_frame = std::move(f);
            return true;
        }
        // A test that quits or kills the program learns how it ended from wait_exit.
        if (!running()) return false;
        if (Clock::now() >= until) {
            g_report("no answer to ping " + std::to_string(seq) + " within " + std::to_string(ms) + " ms: " + story());
            return false;
        }
        sleep_ms(kProbePollMs);
    }
}

double Program::units() const {
    const double u = m_frame.num("units");
    return u > 0 ? u : 1;
}

std::string Program::px(double v) const { return num(v * units()); }

const Hit* Program::hit(const std::string& id) {
    const Hit* h = m_frame.find(id);
    if (!h) g_report("no control \"" + id + "\" on screen");
    return h;
}

bool Program::refresh() {
    if (m_wid.empty()) return false;
    const std::string out = x_run(m_display, {"xdotool", "getwindowgeometry", "--shell", m_wid});
    int got = 0;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string k = line.substr(0, eq);
        const int v = std::atoi(line.c_str() + eq + 1);
        if (k == "X") m_x = v, ++got;
        if (k == "Y") m_y = v, ++got;
        if (k == "WIDTH") m_w = v, ++got;
        if (k == "HEIGHT") m_h = v, ++got;
    }
    return got == 4;
}

bool Program::move(double x, double y) {
    x_run(m_display, {"xdotool", "mousemove", "--window", m_wid, px(x), px(y)});
    return sync();
}

bool Program::click(double x, double y, int button) {
    x_run(m_display, {"xdotool", "mousemove", "--window", m_wid, px(x), px(y), "click", std::to_string(button)});
    return sync();
}

bool Program::click(const std::string& id, int button) {
    const Hit* h = hit(id);
    return h && click(h->x + h->w / 2, h->y + h->h / 2, button);
}

bool Program::move_to(const std::string& id) {
    const Hit* h = hit(id);
    return h && move(h->x + h->w / 2, h->y + h->h / 2);
}

bool Program::press(double x, double y) {
    x_run(m_display, {"xdotool", "mousemove", "--window", m_wid, px(x), px(y), "mousedown", "1"});
    return sync();
}

bool Program::press(const std::string& id) {
    const Hit* h = hit(id);
    return h && press(h->x + h->w / 2, h->y + h->h / 2);
}

bool Program::release() {
    x_run(m_display, {"xdotool", "mouseup", "1"});
    return sync();
}

bool Program::wheel(double x, double y, int steps) {
    const std::string b = steps < 0 ? "4" : "5";
    x_run(m_display, {"xdotool", "mousemove", "--window", m_wid, px(x), px(y), "click", "--repeat",
                      std::to_string(std::abs(steps)), "--delay", "30", b});
    return sync();
}

bool Program::key(const std::string& keys) {
    // Leave no key of the combination down in the server: a window that
    // opens later reads the keyboard state and would see it pressed. One
    // xdotool presses and releases: starting it costs more than the keys.
    std::vector<std::string> cmd = {"xdotool", "key", "--window", m_wid, "--clearmodifiers", "--delay", "0", keys,
                                    "keyup"};
    long presses = 1;
    size_t from = 0;
    for (size_t plus; (plus = keys.find('+', from)) != std::string::npos; from = plus + 1, ++presses)
        cmd.push_back(keys.substr(from, plus - from));
    cmd.push_back(keys.substr(from));
    const long seen = std::atol(m_frame.get("keys").c_str());
    x_run(m_display, cmd);
    release_held_keys(m_display);
    if (!sync()) return false;
    // A press the window never got fails here, not at a later step that
    // needed it, with what tells a late press from a lost one.
    auto got = [&] { return std::atol(m_frame.get("keys").c_str()) >= seen + presses; };
    if (got()) return true;
    const std::string first = m_frame.get("keys"), focus = m_frame.get("focus");
    std::string x_focus = x_run(m_display, {"xdotool", "getwindowfocus"});
    while (!x_focus.empty() && x_focus.back() == '\n') x_focus.pop_back();
    const bool late = wait_until([&] { return sync() && got(); }, kSyncMs);
    g_report("the window got fewer than " + std::to_string(presses) + " key presses for " + keys + ": keys " + first +
             ", focus " + focus + ", X focus on " + x_focus + ", window " + m_wid +
             (late ? "; the rest came later" : "; then keys " + m_frame.get("keys")));
    return false;
}

bool Program::type(const std::string& text) {
    x_run(m_display, {"xdotool", "type", "--window", m_wid, "--delay", "20", text});
    return sync();
}

bool Program::resize(int w, int h) {
    x_run(m_display, {"xdotool", "windowsize", m_wid, std::to_string(w), std::to_string(h)});
    return sync() && refresh();
}

bool Program::move_window(int x, int y) {
    x_run(m_display, {"xdotool", "windowmove", m_wid, std::to_string(x), std::to_string(y)});
    return sync() && refresh();
}

void Program::destroy_window() { x_run(m_display, {"xdotool", "windowclose", m_wid}); }

// Screenshots travel as binary PPM: compressing and decompressing PNG took
// most of a screenshot's time, and a window's pixels need neither.
std::unique_ptr<Canvas> Program::shot() {
    const std::string path = m_user.home + "/shot.ppm";
    ::unlink(path.c_str());
    x_run(m_display, {"import", "-window", m_wid, "-depth", "8", "ppm:" + path});
    const std::string ppm = kit::read_file(path);
    std::istringstream head(ppm);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    head >> magic >> w >> h >> maxval;
    const auto start = static_cast<size_t>(head.tellg()) + 1;
    if (!head || magic != "P6" || maxval != 255 || w <= 0 || h <= 0 ||
        ppm.size() < start + size_t(3) * w * h)
        return std::make_unique<Canvas>(path);  // not a PNG either: ok() is false
    auto c = std::make_unique<Canvas>(w, h);
    unsigned char* data = c->data();
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * c->stride());
        const char* in = ppm.data() + start + size_t(3) * w * y;
        for (int x = 0; x < w; ++x, in += 3)
            row[x] = 0xFF000000u | uint32_t(uint8_t(in[0])) << 16 | uint32_t(uint8_t(in[1])) << 8 |
                     uint8_t(in[2]);
    }
    cairo_surface_mark_dirty(c->s);
    return c;
}

bool Program::wait_pixel(double x, double y, const std::function<bool(const Px&)>& ok, int ms) {
    return wait_until(
        [&] {
            const auto c = shot();
            return c->ok() && x < c->w && y < c->h && ok(c->at(static_cast<int>(x), static_cast<int>(y)));
        },
        ms);
}

void Program::signal(int sig) {
    if (m_pid > 0) kill(m_pid, sig);
}

int Program::wait_exit(int ms) {
    if (wait_until([this] { return !running(); }, ms)) return m_status;
    // Where each thread of a program that does not end waits, for the report.
    std::string threads;
    const std::string task = "/proc/" + std::to_string(m_pid) + "/task";
    for (const std::string& tid : kit::list_dir(task)) {
        std::string stat = kit::read_file(task + "/" + tid + "/stat");
        if (const auto close = stat.rfind(')'); close != std::string::npos) stat = stat.substr(0, close + 4);
        threads += "\n  " + stat + " in " + kit::read_file(task + "/" + tid + "/wchan") + ", system call " +
                   kit::read_file(task + "/" + tid + "/syscall");
    }
    g_report("still running after " + std::to_string(ms) + " ms; its threads:" + threads + "\n" + story());
    return m_status;
}

std::string Program::stderr_text() const { return kit::read_file(m_err_path); }

std::string Program::story() {
    const std::string state = running() ? "still running" : "ended with status " + std::to_string(m_status);
    const std::string report = kit::read_file(m_user.dir() + "/crash_report.txt");
    // The program's state at its last answer; its settings and hits would bury it.
    std::string answer;
    std::istringstream lines(kit::read_file(m_probe_path));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("hit ", 0) != 0 && line.rfind("set ", 0) != 0) answer += line + "\n";
    return state + "\n--- stderr\n" + stderr_text() + "--- log\n" + log() + "--- last answer to a ping\n" + answer +
           (report.empty() ? "" : "--- crash report\n" + report);
}

std::string Program::log() const { return kit::read_file(m_user.log_path()); }

bool Program::wait_log(const std::string& needle, int ms) const {
    return wait_until([&] { return log().find(needle) != std::string::npos; }, ms);
}

Settings Program::settings() const {
    // Read a copy: a file that failed to open would be moved aside.
    const std::string copy = m_user.home + "/settings-copy.dat";
    kit::write_file(copy, kit::read_file(m_user.settings_path()));
    Settings s;
    s.load(copy);
    return s;
}

bool Program::wait_settings(const std::function<bool(const Settings&)>& ok, int ms) const {
    return wait_until([&] { return ok(settings()); }, ms);
}

}  // namespace wkit
