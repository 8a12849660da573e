// What a full repaint of the window costs: the primitives and text a page
// draws, each alone and together as one plausible 1920 x 1080 frame.
#include <benchmark/benchmark.h>

#include <cairo.h>

#include <string>

#include "gfx.h"

namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;
constexpr int kLabels = 250;   // about what a busy calculator page shows
constexpr int kBanner = 96;    // header banner height of a window at least 720 high

// A window's base layer: `scale` device pixels per unit, set either on the
// context (as the window does for its UI scale) or on the surface itself (a
// high-density surface).
struct Frame {
    explicit Frame(int scale = 1, bool device = false)
        : s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW * scale, kH * scale)) {
        if (device) cairo_surface_set_device_scale(s, scale, scale);
        cr = cairo_create(s);
        if (!device) cairo_scale(cr, scale, scale);
    }
    cairo_surface_t* s;
    cairo_t* cr;
    Palette p = Palette::make(true);
    ~Frame() {
        cairo_destroy(cr);
        cairo_surface_destroy(s);
    }
    void sync() {
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
};

const char* const kWords[] = {"Usable capacity", "Reading", "Writing", "Failures survived",
                              "12.0 TB", "1.52 GB/s", "RAID 6", "Rebuild time", "3 h 20 min",
                              "Chance to survive disks failing at the same time"};

void screen_of_text(Frame& f) {
    gfx::TextStyle st;
    for (int i = 0; i < kLabels; ++i) {
        const double x = 20 + (i % 5) * 380, y = 20 + (i / 5) * 21;
        const std::string s = kWords[i % 10];
        switch (i % 5) {
            case 0: gfx::caption(f.cr, s, x, y, f.p); break;
            case 1:
                st = gfx::TextStyle{30, true, true, gfx::Align::Left, 180, true, true};
                gfx::text(f.cr, s, x, y, f.p.ok, st);
                break;
            case 2:
                st = gfx::TextStyle{12.5, false, false, gfx::Align::Left, 260, false, true};
                gfx::text(f.cr, s, x, y, f.p.text, st);
                break;
            case 3:
                st = gfx::TextStyle{13, true, true, gfx::Align::Right, 0, false, true};
                gfx::text(f.cr, s, x + 300, y, f.p.dim, st);
                break;
            default:
                gfx::wrapped(f.cr, s, x, y, 120, 12, f.p.text, gfx::Align::Left, false, true);
                break;
        }
    }
}

void BM_RackPanel(benchmark::State& state) {
    Frame f;
    for (auto _ : state) gfx::rack(f.cr, 40, 120, 600, 400, f.p, f.p.accent, true, 3, false);
    f.sync();
}
BENCHMARK(BM_RackPanel)->Unit(benchmark::kMicrosecond);

void BM_DriveBay(benchmark::State& state) {
    Frame f;
    for (auto _ : state) gfx::drive(f.cr, 100, 200, 64, 140, f.p, false, true, false);
    f.sync();
}
BENCHMARK(BM_DriveBay)->Unit(benchmark::kMicrosecond);

void BM_DisplayWithGrid(benchmark::State& state) {
    Frame f;
    for (auto _ : state) gfx::display(f.cr, 100, 200, 300, 120, f.p, true);
    f.sync();
}
BENCHMARK(BM_DisplayWithGrid)->Unit(benchmark::kMicrosecond);

void BM_GraffitiTitle(benchmark::State& state) {
    Frame f;
    for (auto _ : state)
        gfx::graffiti(f.cr, "Quenlow's Raid Calculator", 18, 30 + kBanner / 2 + 1, 0.47 * kBanner,
                      kW - 28, true);
    f.sync();
}
BENCHMARK(BM_GraffitiTitle)->Unit(benchmark::kMicrosecond);

// The lettering is kept as a bitmap; a new size (first paint, a window
// narrower than the title) draws it afresh.
void BM_GraffitiTitleFirstDraw(benchmark::State& state) {
    Frame f;
    double size = 0.47 * kBanner;
    for (auto _ : state) {
        size += 1e-3;
        gfx::graffiti(f.cr, "Quenlow's Raid Calculator", 18, 30 + kBanner / 2 + 1, size, kW - 28, true);
    }
    f.sync();
}
BENCHMARK(BM_GraffitiTitleFirstDraw)->Unit(benchmark::kMicrosecond);

void BM_WindowBackgroundNewSize(benchmark::State& state) {
    Frame f;
    int w = kW - 200;
    for (auto _ : state) gfx::window_bg(f.cr, w = (w + 1 > kW ? kW - 200 : w + 1), kH, f.p);
    f.sync();
}
BENCHMARK(BM_WindowBackgroundNewSize)->Unit(benchmark::kMicrosecond);

void BM_WallBanner(benchmark::State& state) {
    Frame f;
    for (auto _ : state) gfx::wall(f.cr, 0, 30, kW, kBanner, true);
    f.sync();
}
BENCHMARK(BM_WallBanner)->Unit(benchmark::kMicrosecond);

void BM_OneLabel(benchmark::State& state) {
    Frame f;
    gfx::TextStyle st{13, true, true, gfx::Align::Left, 0, false, true};
    for (auto _ : state) gfx::text(f.cr, "Usable capacity", 100, 100, f.p.text, st);
    f.sync();
}
BENCHMARK(BM_OneLabel)->Unit(benchmark::kMicrosecond);

void BM_FittedLabel(benchmark::State& state) {
    Frame f;
    gfx::TextStyle st{30, true, true, gfx::Align::Left, 120, true, true};
    for (auto _ : state) gfx::text(f.cr, "1.52 GB/s", 100, 100, f.p.ok, st);
    f.sync();
}
BENCHMARK(BM_FittedLabel)->Unit(benchmark::kMicrosecond);

void BM_ScreenOfText(benchmark::State& state) {
    Frame f;
    for (auto _ : state) screen_of_text(f);
    f.sync();
}
BENCHMARK(BM_ScreenOfText)->Unit(benchmark::kMillisecond);

// Background, header, five panels with wells, twelve drive bays, small
// icons and a screen of text: roughly the calculator page at full HD.
void full_frame(Frame& f, int w) {
    gfx::window_bg(f.cr, w, kH, f.p);
    gfx::wall(f.cr, 0, 30, w, kBanner, true);
    gfx::graffiti(f.cr, "Quenlow's Raid Calculator", 18, 30 + kBanner / 2 + 1, 0.47 * kBanner,
                  w - 300, true);
    gfx::app_logo(f.cr, 18, 15, 9, f.p);
    gfx::device_button(f.cr, kW - 54, 130, 38, 0, false, f.p);
    gfx::device_button(f.cr, kW - 100, 130, 38, 1, false, f.p);
    for (int i = 0; i < 5; ++i) {
        const double x = 16 + (i % 3) * 636, y = 180 + (i / 3) * 440;
        gfx::rack(f.cr, x, y, 620, 420, f.p, f.p.accent, i == 0, i, false);
        gfx::display(f.cr, x + 24, y + 40, 270, 110, f.p, true);
        gfx::display(f.cr, x + 310, y + 40, 270, 110, f.p, true);
    }
    for (int i = 0; i < 12; ++i)
        gfx::drive(f.cr, 700 + i * 70, 650, 60, 140, f.p, i == 3, i == 11, i == 5);
    for (int i = 0; i < 10; ++i) {
        gfx::shield(f.cr, 60 + i * 20, 1000, 6.5, f.p.ok);
        gfx::dot(f.cr, 300 + i * 20, 1000, 5, f.p.ok);
    }
    screen_of_text(f);
}

void BM_FullFrame(benchmark::State& state) {
    Frame f;
    for (auto _ : state) full_frame(f, kW);
    f.sync();
}
BENCHMARK(BM_FullFrame)->Unit(benchmark::kMillisecond);

// The same frame on a display with twice the pixel density.
void BM_FullFrameHiDpi(benchmark::State& state) {
    Frame f(2);
    for (auto _ : state) full_frame(f, kW);
    f.sync();
}
BENCHMARK(BM_FullFrameHiDpi)->Unit(benchmark::kMillisecond);

// The same through a surface with a device scale of 2.
void BM_FullFrameDeviceScale(benchmark::State& state) {
    Frame f(2, true);
    for (auto _ : state) full_frame(f, kW);
    f.sync();
}
BENCHMARK(BM_FullFrameDeviceScale)->Unit(benchmark::kMillisecond);

// The device-scale frame with no bitmaps kept: every panel, well, bay and
// the background drawn afresh.
void BM_FullFrameDeviceScaleDrawn(benchmark::State& state) {
    Frame f(2, true);
    gfx::keep_bitmaps(false);
    for (auto _ : state) full_frame(f, kW);
    gfx::keep_bitmaps(true);
    f.sync();
}
BENCHMARK(BM_FullFrameDeviceScaleDrawn)->Unit(benchmark::kMillisecond);

// While the window is being resized every frame has a new width.
void BM_FullFrameResizing(benchmark::State& state) {
    Frame f;
    int w = kW - 200;
    for (auto _ : state) full_frame(f, w = (w + 1 > kW ? kW - 200 : w + 1));
    f.sync();
}
BENCHMARK(BM_FullFrameResizing)->Unit(benchmark::kMillisecond);

// The same on a 4K screen at a scale of 2: what a resize's repaint draws.
void BM_FullFrameResizingDeviceScale(benchmark::State& state) {
    Frame f(2, true);
    int w = kW - 200;
    for (auto _ : state) {
        gfx::begin_frame();
        full_frame(f, w = (w + 1 > kW ? kW - 200 : w + 1));
    }
    f.sync();
}
BENCHMARK(BM_FullFrameResizingDeviceScale)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
