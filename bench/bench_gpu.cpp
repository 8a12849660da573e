// Cost of an animation frame for a screen full of bars and lights: the glide
// step, the geometry handed to the renderer, and a base-layer registration.
// "step_render" draws with SDL's software renderer, so it also pays for
// rasterising on the CPU (the worst case, and the reason software renderers
// get still pictures instead). "gl_queue" needs a display with OpenGL: it
// measures what a frame costs on the CPU before the graphics card takes over.
#include "gpu.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr int kW = 1600, kH = 1000;
constexpr int kBars = 64;
constexpr int kLights = 256;

struct Scene {
    SDL_Surface* surf = nullptr;
    SDL_Renderer* ren = nullptr;
    cairo_surface_t* cs = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 4);
    cairo_t* cr = cairo_create(cs);
    std::vector<std::string> bar_ids, led_ids;

    explicit Scene(SDL_Renderer* r = nullptr) : ren(r) {
        if (!ren) {
            surf = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 32, SDL_PIXELFORMAT_ARGB8888);
            ren = SDL_CreateSoftwareRenderer(surf);
        }
        gpu::reset();
        gpu::init(ren, false);
        for (int i = 0; i < kBars; ++i) bar_ids.push_back("cmp:" + std::to_string(i));
        for (int i = 0; i < kLights; ++i) led_ids.push_back("disk:" + std::to_string(i));
        paint(0.5);
        gpu::step(1, false);
    }
    ~Scene() {
        gpu::shutdown();
        gpu::reset();
        cairo_destroy(cr);
        cairo_surface_destroy(cs);
        if (surf) {
            SDL_DestroyRenderer(ren);
            SDL_FreeSurface(surf);
        }
    }

    // Four columns of 16 bars, a grid of 16 × 16 drive lights.
    void paint(double frac) {
        const gpu::Rgba a{0.7, 0.8, 0.7, 1}, b{0.5, 0.6, 0.5, 1};
        gpu::begin(cr);
        for (int i = 0; i < kBars; ++i)
            gpu::bar(cr, gpu::Bar{bar_ids[i], 20.0 + (i % 4) * 390, 20.0 + (i / 4) * 30, 360, 14, 0,
                                  frac * (0.3 + 0.01 * i), a, b, 4});
        for (int i = 0; i < kLights; ++i)
            gpu::led(cr, gpu::Led{led_ids[i], 40.0 + (i % 16) * 95, 520.0 + (i / 16) * 28, 3.2, a,
                                  i % 9 == 0 ? gpu::kBlink : gpu::kActivity});
        gpu::end();
    }
};

// One animation frame; the bars are kept gliding.
void frame(benchmark::State& state, Scene& s, bool flush_timed) {
    const SDL_Rect clip{0, 0, kW, kH};
    bool up = false;
    for (auto _ : state) {
        if (!gpu::step(0.016, true)) {
            state.PauseTiming();
            s.paint((up = !up) ? 1.0 : 0.5);
            state.ResumeTiming();
        }
        gpu::render(1, clip, true);
        if (!flush_timed) state.PauseTiming();
        SDL_RenderFlush(s.ren);
        if (!flush_timed) state.ResumeTiming();
    }
}

void step_only(benchmark::State& state) {
    Scene s;
    for (auto _ : state) benchmark::DoNotOptimize(gpu::step(0.016, true));
}

void step_render(benchmark::State& state) {
    Scene s;
    frame(state, s, true);
}

void gl_queue(benchmark::State& state) {
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return state.SkipWithError("no display");
    SDL_Window* win = SDL_CreateWindow("bench", 0, 0, kW, kH, SDL_WINDOW_HIDDEN);
    SDL_Renderer* ren = win ? SDL_CreateRenderer(win, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    if (ren) {
        Scene s(ren);
        frame(state, s, false);
    } else {
        state.SkipWithError("no accelerated renderer");
    }
    if (ren) SDL_DestroyRenderer(ren);
    if (win) SDL_DestroyWindow(win);
    SDL_Quit();
}

void registration(benchmark::State& state) {
    Scene s;
    for (auto _ : state) s.paint(0.8);
}

}  // namespace

BENCHMARK(step_only);
BENCHMARK(step_render)->Unit(benchmark::kMicrosecond);
BENCHMARK(gl_queue)->Unit(benchmark::kMicrosecond);
BENCHMARK(registration)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
