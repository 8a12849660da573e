// What a full repaint of the calculator page costs: the base layer of a
// 1920 x 1080 window in two columns, 24 disks with two of them failed, as
// the window paints it after a click. Bars and lights are drawn still (the
// heavier path, as with a software renderer) or handed to a renderer that
// draws them each frame (the accelerated path).
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <cairo.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app.h"
#include "gpu.h"
#include "l10n.h"

namespace {

constexpr int kW = 1920, kH = 1080;

struct Page {
    App app;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
    Page(int disks, bool dark) {
        char dir[] = "/tmp/bench_view_main.XXXXXX";
        if (mkdtemp(dir)) app.load_state(dir);
        L10n::setLanguage("en");
        app.m_settings.disks = disks;
        app.m_settings.spares = 2;
        app.m_settings.level = "raid6";
        app.recompute();
        app.m_failed = {3, 7};
        app.m_dark = dark;
        app.m_pal = Palette::make(dark);
        app.m_W = kW;
        app.m_H = kH;
        rmdir(dir);
    }
    ~Page() { cairo_surface_destroy(s); }
    void paint() {
        cairo_t* cr = cairo_create(s);
        app.paint_base(cr);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
};

void BM_CalculatorPage24Disks(benchmark::State& state) {
    Page page(24, state.range(0) != 0);
    for (auto _ : state) page.paint();
}
BENCHMARK(BM_CalculatorPage24Disks)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A renderer with the geometry call takes the bars and lights, so the base
// layer holds only what does not move. SDL's invisible driver is enough.
void BM_CalculatorPage24DisksAccelerated(benchmark::State& state) {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        state.SkipWithError("no SDL video");
        return;
    }
    SDL_Window* w = SDL_CreateWindow("bench", 0, 0, kW, kH, SDL_WINDOW_HIDDEN);
    SDL_Renderer* r = w ? SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE) : nullptr;
    gpu::init(r, false);
    if (gpu::available()) {
        Page page(24, false);
        for (auto _ : state) page.paint();
    } else {
        state.SkipWithError("no geometry call");
    }
    gpu::shutdown();
    if (r) SDL_DestroyRenderer(r);
    if (w) SDL_DestroyWindow(w);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
BENCHMARK(BM_CalculatorPage24DisksAccelerated)->Unit(benchmark::kMillisecond);

// The largest array: 256 compact drives wrapped into many rows.
void BM_CalculatorPage256Disks(benchmark::State& state) {
    Page page(256, false);
    for (auto _ : state) page.paint();
}
BENCHMARK(BM_CalculatorPage256Disks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
