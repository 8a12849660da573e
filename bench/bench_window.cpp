// The window's costs as a user feels them: time from process start to the
// first presented frame (beside a bare SDL program that only presents one
// blank frame of the same size through the same renderer), a full repaint
// of the base layer at 1920 x 1080 (also at double density), CPU use of the
// idle window, and its resident memory beside a bare SDL window on the same
// X server.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kBareFlag) == 0) return bare_first_frame(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
