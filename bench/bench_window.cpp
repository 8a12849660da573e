// The window's costs as a user feels them: time from process start to the
// first presented frame (beside a bare SDL program that only presents one
// blank frame of the same size through the same renderer), a full repaint
// of the base layer at 1920 x 1080 (also at double density), CPU use of the
// idle window, and its resident memory beside a bare SDL window on the same
// X server; a scroll frame, a hover, a click on a chip and on a drive, and a
// resize's repaint on a 4K screen at a scale of 2 and a full HD one at 1,
// beside a floor.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app.h"
#include "kit.h"
#include "wkit.h"

namespace {

constexpr int kStarts = 10;
constexpr int kIdleSeconds = 10;
constexpr int kSettleMs = 2500;
constexpr int kClicks = 20;
constexpr int kClickGapMs = 250;
// The window's first size on the benchmark's 1920 x 1080 screen.
constexpr int kFirstW = 1100, kFirstH = 687;
constexpr const char* kBareFlag = "--bare-first-frame";

using Clock = std::chrono::steady_clock;

wkit::Xvfb& display() {
    static wkit::Xvfb x;
    return x;
}

// utime + stime of a process, in clock ticks.
long cpu_ticks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), {});
    const size_t close = all.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}

long rss_kb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

void BM_StartToFirstFrame(benchmark::State& state) {
    const std::string renderer = state.range(0) ? "opengl" : "software";
    for (auto _ : state) {
        const wkit::User u = wkit::new_user("start");
        const auto t0 = Clock::now();
        wkit::Program p(display(), u, renderer);
        while (p.log().find("first frame presented") == std::string::npos && p.running())
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        p.signal(SIGTERM);
        p.wait_exit();
    }
    state.SetLabel(renderer);
}
BENCHMARK(BM_StartToFirstFrame)->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Repetitions(kStarts)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

// What any SDL program pays before its first frame here: loading, video
// start, window, renderer, one full-window texture upload and the present.
int bare_first_frame(const char* renderer) {
    SDL_SetHint("SDL_RENDER_DRIVER", renderer);
    if (std::strcmp(renderer, "software") == 0) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* w = SDL_CreateWindow("bare", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kFirstW, kFirstH,
                                     SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    SDL_Renderer* r = w ? SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC) : nullptr;
    if (!r && w) r = SDL_CreateRenderer(w, -1, 0);
    if (!r) return 1;
    SDL_ShowWindow(w);
    SDL_Texture* t = SDL_CreateTexture(r, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, kFirstW, kFirstH);
    std::vector<uint32_t> px(size_t(kFirstW) * kFirstH, 0xFF202020);
    SDL_UpdateTexture(t, nullptr, px.data(), kFirstW * 4);
    SDL_RenderCopy(r, t, nullptr, nullptr);
    SDL_RenderPresent(r);
    return 0;
}

void BM_StartToFirstFrameBareSdl(benchmark::State& state) {
    const std::string renderer = state.range(0) ? "opengl" : "software";
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("DISPLAY", display().display().c_str(), 1);
            execl("/proc/self/exe", "bench_window", kBareFlag, renderer.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("the bare program failed");
    }
    state.SetLabel(renderer);
}
BENCHMARK(BM_StartToFirstFrameBareSdl)->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Repetitions(kStarts)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_BaseRepaint1080(benchmark::State& state) {
    const double scale = static_cast<double>(state.range(0));
    App app;
    app.load_state(kit::scratch_dir("repaint"));
    app.m_pal = Palette::make(false);
    app.m_W = 1920;
    app.m_H = 1080;
    app.m_k = scale;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(1920 * scale), int(1080 * scale));
    cairo_surface_set_device_scale(s, scale, scale);
    // The first paint loads the fonts and fills the caches: no repaint pays that.
    cairo_t* first = cairo_create(s);
    app.paint_base(first);
    cairo_destroy(first);
    for (auto _ : state) {
        cairo_t* cr = cairo_create(s);
        app.paint_base(cr);
        cairo_destroy(cr);
        cairo_surface_flush(s);
    }
    cairo_surface_destroy(s);
    state.SetLabel("device scale " + std::to_string(int(scale)));
}
BENCHMARK(BM_BaseRepaint1080)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// A click on a drive fails it, and again replaces it: each click repaints the
// page. The program measures from the click's event to the presented frame
// that shows it, and logs the slowest at exit.
void BM_ClickToFrame(benchmark::State& state) {
    const std::string renderer = state.range(0) ? "opengl" : "software";
    for (auto _ : state) {
        const wkit::User u = wkit::new_user("click");
        wkit::Program p(display(), u, renderer, {"--size", "1900x1040"});
        if (!p.wait_window()) {
            state.SkipWithError("no window");
            return;
        }
        App twin;
        twin.load_state(u.dir());
        twin.m_pal = Palette::make(false);
        // The array is the last panel: scrolled into view as the End key does.
        p.key("End");
        twin.snapshot(p.w(), p.h(), 1, "", "");
        twin.scroll_to(twin.m_content_h[0]);
        twin.snapshot(p.w(), p.h(), 1, "", "");
        const Hit* disk = nullptr;
        for (const Hit& h : twin.m_hits)
            if (h.id == "disk:0") disk = &h;
        if (!disk) {
            state.SkipWithError("no drive on the page");
            return;
        }
        for (int i = 0; i < kClicks; ++i) {
            p.click(disk->x + disk->w / 2, disk->y + disk->h / 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(kClickGapMs));
        }
        p.signal(SIGTERM);
        p.wait_exit();
        const std::string log = p.log();
        const size_t at = log.find("inputs shown ");
        unsigned long long shown = 0, worst = 0, mean = 0;
        if (at == std::string::npos ||
            std::sscanf(log.c_str() + at, "inputs shown %llu, slowest input to frame %llu ms, mean %llu", &shown,
                        &worst, &mean) != 3) {
            state.SkipWithError("no input figures in the log");
            return;
        }
        state.counters["inputs_shown"] = double(shown);
        state.counters["slowest_ms"] = double(worst);
        state.counters["mean_ms"] = double(mean);
    }
    state.SetLabel(renderer);
}
BENCHMARK(BM_ClickToFrame)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

// The window as started, and scrolled to the array so the drive lights are
// in view: with an accelerated renderer they flicker at every frame.
void BM_IdleWindow(benchmark::State& state) {
    const std::string renderer = state.range(0) ? "opengl" : "software";
    const bool lights = state.range(1) != 0;
    for (auto _ : state) {
        const wkit::User u = wkit::new_user("idle");
        wkit::Program p(display(), u, renderer);
        p.wait_window();
        if (lights) p.key("End");
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
        const long t0 = cpu_ticks(p.pid());
        std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
        const long t1 = cpu_ticks(p.pid());
        state.counters["cpu_percent"] = 100.0 * double(t1 - t0) / double(sysconf(_SC_CLK_TCK)) / kIdleSeconds;
        state.counters["rss_kb"] = double(rss_kb(p.pid()));

        // A bare SDL window with the same renderer, for comparison.
        const pid_t bare = fork();
        if (bare == 0) {
            setenv("DISPLAY", display().display().c_str(), 1);
            SDL_SetHint("SDL_RENDER_DRIVER", renderer.c_str());
            // As the program does: a software picture goes to X without OpenGL.
            if (renderer == "software") SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
            if (SDL_Init(SDL_INIT_VIDEO) != 0) _exit(1);
            SDL_Window* w = SDL_CreateWindow("bare", 0, 0, 1280, 800, SDL_WINDOW_SHOWN);
            SDL_Renderer* r = SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED);
            SDL_RenderClear(r);
            SDL_RenderPresent(r);
            pause();
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
        state.counters["bare_sdl_rss_kb"] = double(rss_kb(bare));
        kill(bare, SIGKILL);
        waitpid(bare, nullptr, 0);
        p.signal(SIGTERM);
        p.wait_exit();
    }
}
BENCHMARK(BM_IdleWindow)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"opengl", "lights_in_view"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// ---- At the size of a 4K screen ----
//
// The program at 3840 x 2160 pixels with the desktop at a scale of 2 (and,
// beside it, 1920 x 1080 at a scale of 1), software renderer. Each figure is
// the median over kEvents events that a frame showed of the program's own
// measure, from the handling of the event to the presented frame that shows
// it (wall clock and the main thread's processor time), events a frame or
// more apart. Beside each, the floor measured in the same run: a bare SDL
// program that copies one full-window texture to the window and presents
// it, per frame.

constexpr int kEvents = 100;
constexpr int kEventGapMs = 50;  // past the software renderer's frame interval
constexpr const char* kFloorFlag = "--bare-present";

struct Screen {
    int w, h, dpi;
};
constexpr Screen kScreens[] = {{1920, 1080, 96}, {3840, 2160, 192}};

wkit::Xvfb& screen_display(int i) {
    static wkit::Xvfb small(kScreens[0].w, kScreens[0].h);
    static wkit::Xvfb large(kScreens[1].w, kScreens[1].h);
    wkit::Xvfb& x = i == 0 ? small : large;
    static bool set[2] = {false, false};
    if (!set[i]) set[i] = wkit::set_xft_dpi(x, kScreens[i].dpi);
    return x;
}

uint64_t now_us(clockid_t id) {
    timespec t{};
    clock_gettime(id, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000000 + static_cast<uint64_t>(t.tv_nsec) / 1000;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// In a child: kEvents frames of one full-window texture copy and present;
// prints the median wall and processor milliseconds per frame. With
// `resize`, each frame follows a resize by 40 pixels and back, timed from
// the size's event as the program's are: what SDL alone spends on a resize.
int bare_present(int w, int h, bool resize) {
    SDL_SetHint("SDL_RENDER_DRIVER", "software");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* win = SDL_CreateWindow("bare", 0, 0, w, h, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    SDL_Renderer* r = win ? SDL_CreateRenderer(win, -1, 0) : nullptr;
    SDL_Texture* t = r ? SDL_CreateTexture(r, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h) : nullptr;
    if (!t) return 1;
    std::vector<uint32_t> px(size_t(w) * h, 0xFF202020);
    SDL_UpdateTexture(t, nullptr, px.data(), w * 4);
    std::vector<double> wall, cpu;
    for (int i = 0; i < kEvents * 4 && static_cast<int>(wall.size()) < kEvents; ++i) {
        uint64_t w0 = now_us(CLOCK_MONOTONIC), c0 = now_us(CLOCK_THREAD_CPUTIME_ID);
        bool sized = !resize;
        if (resize) SDL_SetWindowSize(win, w - (i % 2 ? 0 : 40), h - (i % 2 ? 0 : 40));
        for (int wait = 0; wait < 200 && !sized; ++wait) {
            SDL_Event e;
            if (!SDL_WaitEventTimeout(&e, 10)) continue;
            if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                w0 = now_us(CLOCK_MONOTONIC);
                c0 = now_us(CLOCK_THREAD_CPUTIME_ID);
                sized = true;
            }
        }
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        SDL_RenderCopy(r, t, nullptr, nullptr);
        SDL_RenderPresent(r);
        if (i >= 5 && sized) {
            wall.push_back((now_us(CLOCK_MONOTONIC) - w0) / 1000.0);
            cpu.push_back((now_us(CLOCK_THREAD_CPUTIME_ID) - c0) / 1000.0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(resize ? kEventGapMs : 5));
    }
    std::printf("%f %f\n", median(wall), median(cpu));
    return 0;
}

// The floor on the screen of `i`: {wall ms, processor ms} per frame.
std::pair<double, double> floor_of(int i, bool resize) {
    const std::string exe = "/proc/self/exe";
    const kit::Run r = kit::run(exe,
                                {kFloorFlag, std::to_string(kScreens[i].w), std::to_string(kScreens[i].h),
                                 resize ? "resize" : "still"},
                                {"DISPLAY=" + screen_display(i).display()});
    double wall = 0, cpu = 0;
    if (std::sscanf(r.out.c_str(), "%lf %lf", &wall, &cpu) != 2) return {-1, -1};
    return {wall, cpu};
}

// What kind of event each benchmark sends.
enum class Event { Scroll, Hover, Chip, Click, Resize };

// The program's "shown" line: frames that showed a timed event, and the
// last one's wall and processor microseconds.
struct Shown {
    unsigned long long n = 0, us = 0, cpu_us = 0;
};
Shown shown(const wkit::Program& p) {
    Shown s;
    std::sscanf(p.frame().get("shown").c_str(), "%llu %llu %llu", &s.n, &s.us, &s.cpu_us);
    return s;
}

void scale_bench(benchmark::State& state, Event kind) {
    const int screen = static_cast<int>(state.range(0));
    const Screen& sc = kScreens[screen];
    const double scale = sc.dpi / 96.0;
    for (auto _ : state) {
        // A resize's floor resizes the bare program too: SDL makes its
        // window's bitmap anew, whatever the program on top does.
        const auto [floor_ms, floor_cpu_ms] = floor_of(screen, kind == Event::Resize);
        const wkit::User u = wkit::new_user("scale");
        wkit::Program p(screen_display(screen), u, "software",
                        {"--size", std::to_string(int(sc.w / scale)) + "x" + std::to_string(int(sc.h / scale))});
        if (!p.wait_window() || !p.resize(sc.w, sc.h)) {
            state.SkipWithError("no window");
            return;
        }
        if (p.units() != scale) {
            state.SkipWithError("the program did not take the desktop's scale");
            return;
        }
        double bx = 0, by = 0;
        if (kind == Event::Scroll && !wkit::blank_spot(p.frame(), &bx, &by)) {
            state.SkipWithError("no blank place on the page");
            return;
        }
        if (kind == Event::Click) p.key("End");
        std::vector<double> wall, cpu;
        bool down = true;
        for (int i = 0; i < kEvents * 2 && static_cast<int>(wall.size()) < kEvents; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kEventGapMs));
            const Shown before = shown(p);
            bool sent = true;
            if (kind == Event::Scroll) {
                // Down through the page and back, a step at a time.
                const double scroll = p.frame().num("scroll");
                const double end = p.frame().num("content") - p.frame().num("view");
                if (down && scroll >= end) down = false;
                if (!down && scroll <= 0) down = true;
                sent = p.wheel(bx, by, down ? 1 : -1);
            } else if (kind == Event::Hover) {
                sent = p.move_to(i % 2 ? "preset:0" : "preset:1");
            } else if (kind == Event::Chip) {
                sent = p.click(i % 2 ? "preset:0" : "preset:1");
            } else if (kind == Event::Click) {
                sent = p.click("disk:0");
            } else {
                const int d = i % 2 ? 0 : 40;
                sent = p.resize(sc.w - d, sc.h - d);
            }
            if (!sent) break;
            // Only events that a frame showed: one that changed nothing has
            // no figure of its own.
            const Shown after = shown(p);
            if (after.n == before.n) continue;
            wall.push_back(after.us / 1000.0);
            cpu.push_back(after.cpu_us / 1000.0);
        }
        p.signal(SIGTERM);
        p.wait_exit();
        if (static_cast<int>(wall.size()) < kEvents) {
            state.SkipWithError("fewer events shown than planned");
            return;
        }
        state.counters["median_ms"] = median(wall);
        state.counters["median_cpu_ms"] = median(cpu);
        state.counters["floor_ms"] = floor_ms;
        state.counters["floor_cpu_ms"] = floor_cpu_ms;
        state.counters["over_floor_ms"] = median(wall) - floor_ms;
        state.counters["cpu_over_floor_ms"] = median(cpu) - floor_cpu_ms;
    }
    state.SetLabel(std::to_string(sc.w) + "x" + std::to_string(sc.h) + " at scale " + std::to_string(int(scale)));
}

void BM_ScaleScrollFrame(benchmark::State& state) { scale_bench(state, Event::Scroll); }
void BM_ScaleHoverToFrame(benchmark::State& state) { scale_bench(state, Event::Hover); }
void BM_ScaleChipClickToFrame(benchmark::State& state) { scale_bench(state, Event::Chip); }
void BM_ScaleDriveClickToFrame(benchmark::State& state) { scale_bench(state, Event::Click); }
void BM_ScaleResizeRepaint(benchmark::State& state) { scale_bench(state, Event::Resize); }
BENCHMARK(BM_ScaleScrollFrame)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ScaleHoverToFrame)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ScaleChipClickToFrame)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ScaleDriveClickToFrame)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ScaleResizeRepaint)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kBareFlag) == 0) return bare_first_frame(argv[2]);
    if (argc == 5 && std::strcmp(argv[1], kFloorFlag) == 0)
        return bare_present(std::atoi(argv[2]), std::atoi(argv[3]), std::strcmp(argv[4], "resize") == 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
