// The window's costs as a user feels them: time from process start to the
// first presented frame, a full repaint of the base layer at 1920 x 1080
// (also at double density), CPU use of the idle window, and its resident
// memory beside a bare SDL window on the same X server.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "app.h"
#include "kit.h"
#include "wkit.h"

namespace {

constexpr int kStarts = 10;
constexpr int kIdleSeconds = 10;
constexpr int kSettleMs = 2500;
constexpr int kClicks = 20;
constexpr int kClickGapMs = 250;

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

void BM_IdleWindow(benchmark::State& state) {
    for (auto _ : state) {
        const wkit::User u = wkit::new_user("idle");
        wkit::Program p(display(), u, "opengl");
        p.wait_window();
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
            SDL_SetHint("SDL_RENDER_DRIVER", "opengl");
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
BENCHMARK(BM_IdleWindow)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
