// What a repaint of the guide tab costs at 1920 x 1080: the whole base layer
// (frame and page) at the top and scrolled into the middle of the longest
// guide, at single and double device density, and the page painter alone.
#include <benchmark/benchmark.h>

#include <cairo.h>

#include "app.h"
#include "l10n.h"

namespace {

constexpr double kW = 1920, kH = 1080;

// RAID 60 with spares: the guide with the most steps and commands.
void set_up(App& app, double scale) {
    L10n::setLanguage("en");
    app.m_settings.level = "raid60";
    app.m_settings.disks = 11;
    app.m_settings.spares = 3;
    app.m_settings.tab = 1;
    app.recompute();
    app.m_pal = Palette::make(false);
    app.m_W = kW;
    app.m_H = kH;
    app.m_k = scale;
}

// Arg 0: device scale; arg 1: scroll offset in percent of the scroll range.
void BM_GuideRepaint1080(benchmark::State& state) {
    const double scale = static_cast<double>(state.range(0));
    App app;
    set_up(app, scale);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kW * scale), int(kH * scale));
    cairo_surface_set_device_scale(s, scale, scale);
    // One paint learns the content height, so the offset can be placed.
    cairo_t* first = cairo_create(s);
    app.paint_base(first);
    cairo_destroy(first);
    app.scroll_to(state.range(1) / 100.0 * (app.m_content_h[1] - app.view_height()));
    for (auto _ : state) {
        cairo_t* cr = cairo_create(s);
        app.paint_base(cr);
        cairo_destroy(cr);
        cairo_surface_flush(s);
    }
    cairo_surface_destroy(s);
    state.SetLabel("scale " + std::to_string(int(scale)) + ", scrolled " + std::to_string(state.range(1)) + " %, " +
                   std::to_string(app.m_cmds.size()) + " commands");
}
BENCHMARK(BM_GuideRepaint1080)->Args({1, 0})->Args({1, 50})->Args({2, 50})->Unit(benchmark::kMillisecond);

// The page painter alone, into a scratch surface that discards the pixels.
void BM_GuidePageOnly(benchmark::State& state) {
    App app;
    set_up(app, 1);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    for (auto _ : state) {
        cairo_t* cr = cairo_create(s);
        app.m_hits.clear();
        benchmark::DoNotOptimize(app.paint_guide(cr, kW));
        cairo_destroy(cr);
    }
    cairo_surface_destroy(s);
}
BENCHMARK(BM_GuidePageOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
