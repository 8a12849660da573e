// What a full repaint of the calculator page costs: the base layer of a
// 1920 x 1080 window in two columns, 24 disks with two of them failed, as
// the window paints it after a click (bars and lights drawn still, the
// heavier of the two paths).
#include <benchmark/benchmark.h>

#include <cairo.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app.h"
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

// The largest array: 256 compact drives wrapped into many rows.
void BM_CalculatorPage256Disks(benchmark::State& state) {
    Page page(256, false);
    for (auto _ : state) page.paint();
}
BENCHMARK(BM_CalculatorPage256Disks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
