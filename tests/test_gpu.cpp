// Bars and lights: the glide and snap of the animation, the still pictures
// drawn into cairo, and the accelerated path drawn by SDL's software renderer
// into an offscreen surface whose pixels are read back.
#include "gpu.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "canvas.h"

namespace {

constexpr int kW = 200, kH = 120;
const gpu::Rgba kGreen{0, 1, 0, 1}, kRed{1, 0, 0, 1}, kBlue{0, 0, 1, 1};

gpu::Bar make_bar(const char* id, double x, double y, double w, double h, double from, double frac,
                  gpu::Rgba top = kGreen, gpu::Rgba bottom = kGreen, double radius = 0) {
    return gpu::Bar{id, x, y, w, h, from, frac, top, bottom, radius};
}

// An offscreen SDL target drawn by the software renderer, which is told to
// count as accelerated so the geometry path runs.
class Gpu : public ::testing::Test {
protected:
    void SetUp() override {
        gpu::reset();
        m_surf = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 32, SDL_PIXELFORMAT_ARGB8888);
        ASSERT_NE(m_surf, nullptr) << SDL_GetError();
        m_ren = SDL_CreateSoftwareRenderer(m_surf);
        ASSERT_NE(m_ren, nullptr) << SDL_GetError();
        gpu::init(m_ren, false);
        ASSERT_TRUE(gpu::available()) << "this SDL lacks SDL_RenderGeometry";
        clear();
    }
    void TearDown() override {
        gpu::shutdown();
        gpu::reset();
        SDL_DestroyRenderer(m_ren);
        SDL_FreeSurface(m_surf);
    }

    void clear() {
        SDL_SetRenderDrawColor(m_ren, 0, 0, 0, 255);
        SDL_RenderClear(m_ren);
    }

    // One base-layer paint as the window does it: device scale k, the page
    // area as the clip (the whole layer by default), page offset.
    void paint(const std::function<void(cairo_t*)>& f, double k = 1, double tx = 0, double ty = 0,
               SDL_Rect page = {0, 0, kW, kH}) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kW * k), int(kH * k));
        cairo_surface_set_device_scale(s, k, k);
        cairo_t* cr = cairo_create(s);
        cairo_rectangle(cr, page.x, page.y, page.w, page.h);
        cairo_clip(cr);
        cairo_translate(cr, tx, ty);
        gpu::begin(cr);
        f(cr);
        gpu::end();
        cairo_destroy(cr);
        cairo_surface_destroy(s);
    }

    void render(double k = 1, SDL_Rect clip = {0, 0, kW, kH}, bool animate = true) {
        clear();
        gpu::render(k, clip, animate);
        ASSERT_EQ(SDL_RenderReadPixels(m_ren, nullptr, SDL_PIXELFORMAT_ARGB8888, m_shot.data(),
                                       m_shot.stride()),
                  0);
    }

    // The frame's pixels as SDL wrote them.
    Px at(int x, int y) const { return m_shot.raw(x, y); }
    bool black(int x, int y) const {
        const Px p = at(x, y);
        return p.r == 0 && p.g == 0 && p.b == 0;
    }
    // The pixels of a square around (cx, cy).
    std::vector<Uint32> crop(int cx, int cy, int half) const {
        std::vector<Uint32> out;
        for (int y = cy - half; y <= cy + half; ++y)
            for (int x = cx - half; x <= cx + half; ++x) out.push_back(m_shot.word(x, y));
        return out;
    }

    SDL_Surface* m_surf = nullptr;
    SDL_Renderer* m_ren = nullptr;
    Canvas m_shot{kW, kH};  // the last rendered frame
};

// ---- Animation ----

TEST_F(Gpu, GlidesWithItsTimeConstantAndSnapsWithinAFifthOfAPixel) {
    paint([](cairo_t* cr) { gpu::bar(cr, make_bar("a", 0, 0, 100, 10, 0, 0.8)); });
    EXPECT_EQ(gpu::animated("a")->frac, 0.0) << "a new bar grows in";
    EXPECT_TRUE(gpu::step(-1, true));  // a bad time step moves nothing
    EXPECT_TRUE(gpu::step(NAN, true));
    EXPECT_EQ(gpu::animated("a")->frac, 0.0);
    EXPECT_EQ(gpu::clock(), 0.0);
    EXPECT_TRUE(gpu::step(0.085, true));
    EXPECT_NEAR(gpu::animated("a")->frac, 0.8 * (1 - std::exp(-1.0)), 1e-12);
    // A new target glides on from where the bar stands now.
    const double now = gpu::animated("a")->frac;
    paint([](cairo_t* cr) { gpu::bar(cr, make_bar("a", 0, 0, 100, 10, 0.1, 0.2)); });
    EXPECT_TRUE(gpu::step(0.085, true));
    EXPECT_NEAR(gpu::animated("a")->frac, now + (0.2 - now) * (1 - std::exp(-1.0)), 1e-12);
    EXPECT_GT(gpu::animated("a")->from, 0.0);
    EXPECT_FALSE(gpu::step(10, true));
    EXPECT_EQ(gpu::animated("a")->frac, 0.2);
    EXPECT_EQ(gpu::animated("a")->from, 0.1);

    // 0.0019 of a 100-unit track is 0.19: close enough to arrive...
    paint([](cairo_t* cr) { gpu::bar(cr, make_bar("a", 0, 0, 100, 10, 0.1, 0.2019)); });
    EXPECT_FALSE(gpu::step(1e-9, true));
    EXPECT_EQ(gpu::animated("a")->frac, 0.2019);
    // ...but 1.9 on a track ten times as long still moves.
    paint([](cairo_t* cr) { gpu::bar(cr, make_bar("a", 0, 0, 1000, 10, 0.1, 0.2038)); });
    EXPECT_TRUE(gpu::step(1e-9, true));
    EXPECT_LT(gpu::animated("a")->frac, 0.2038);
}

TEST_F(Gpu, UnregisteredBarsVanishAndRestartGrowsAllAgain) {
    paint([](cairo_t* cr) {
        gpu::bar(cr, make_bar("a", 0, 0, 100, 10, 0, 0.5));
        gpu::bar(cr, make_bar("b", 0, 20, 100, 10, 0, 0.7));
    });
    EXPECT_FALSE(gpu::step(0.016, false)) << "without animation bars jump";
    paint([](cairo_t* cr) { gpu::bar(cr, make_bar("a", 0, 0, 100, 10, 0, 0.5)); });
    EXPECT_FALSE(gpu::animated("b"));
    EXPECT_EQ(gpu::animated("a")->frac, 0.5);  // kept, not grown again
    gpu::restart_intro();
    EXPECT_EQ(gpu::animated("a")->frac, 0.0);
    // A renderer loss keeps the states.
    gpu::shutdown();
    gpu::init(m_ren, false);
    EXPECT_TRUE(gpu::animated("a"));
}

TEST_F(Gpu, SoftwareRendererDrawsStillAndKeepsNothing) {
    gpu::init(m_ren, true);
    EXPECT_FALSE(gpu::available());
    paint([](cairo_t* cr) {
        gpu::bar(cr, make_bar("a", 0, 0, 100, 10, 0, 0.5));
        gpu::led(cr, gpu::Led{"disk:0", 20, 20, 4, kGreen, gpu::kActivity});
    });
    EXPECT_FALSE(gpu::animated("a"));
    EXPECT_FALSE(gpu::has_lights());
    gpu::step(1, false);
    render();
    for (int y = 0; y < kH; y += 3)
        for (int x = 0; x < kW; x += 3) ASSERT_TRUE(black(x, y)) << x << "," << y;
    gpu::init(nullptr, false);
    EXPECT_FALSE(gpu::available());
}

// ---- Accelerated drawing ----

TEST_F(Gpu, BarIsDrawnInWindowCoordinatesWithGloss) {
    // Device scale 2 and a page offset of (10, 30): the bar covers device
    // pixels x 20..99, y 60..79.
    paint([](cairo_t* cr) { gpu::bar(cr, make_bar("a", 0, 0, 40, 10, 0, 1)); }, 2, 10, 30);
    render(2);
    EXPECT_TRUE(black(60, 75)) << "a new bar starts empty";
    gpu::step(1, false);
    render(2);
    const Px in = at(60, 75);
    EXPECT_EQ(in.g, 255);
    EXPECT_EQ(in.r, 0);
    EXPECT_TRUE(black(18, 75));
    EXPECT_TRUE(black(101, 75));
    EXPECT_TRUE(black(60, 58));
    EXPECT_TRUE(black(60, 81));
    // The gloss: white fading out over the top fifth, from one unit below the top.
    EXPECT_EQ(at(60, 61).r, 0);
    EXPECT_GT(at(60, 62).r, at(60, 64).r);
    EXPECT_GT(at(60, 64).r, 0);
    EXPECT_EQ(at(60, 66).r, 0);
}

TEST_F(Gpu, BarGradientAndPartOfTheTrack) {
    // from 0.25, half the track: x 35..85 of a track 10..110.
    paint([](cairo_t* cr) { gpu::bar(cr, make_bar("a", 10, 20, 100, 40, 0.25, 0.5, kRed, kBlue, 4)); });
    gpu::step(1, false);
    render();
    EXPECT_TRUE(black(33, 40));
    EXPECT_FALSE(black(37, 40));
    EXPECT_FALSE(black(83, 40));
    EXPECT_TRUE(black(87, 40));
    EXPECT_GT(at(60, 32).r, at(60, 32).b);
    EXPECT_LT(at(60, 55).r, at(60, 55).b);
    EXPECT_TRUE(black(11, 21)) << "rounded corner";

    // Beyond the track end it is cut; starting past the end it is gone.
    paint([](cairo_t* cr) {
        gpu::bar(cr, make_bar("a", 10, 20, 100, 10, 0.5, 0.9));
        gpu::bar(cr, make_bar("b", 10, 40, 100, 10, 1.2, 0.5));
    });
    gpu::step(1, false);
    render();
    EXPECT_FALSE(black(108, 25));
    EXPECT_TRUE(black(112, 25));
    for (int x = 0; x < kW; ++x) ASSERT_TRUE(black(x, 45)) << x;
}

TEST_F(Gpu, ClipKeepsBarsAndLightsInsideThePage) {
    paint([](cairo_t* cr) {
        gpu::bar(cr, make_bar("a", 0, 20, kW, 60, 0, 1));
        gpu::led(cr, gpu::Led{"disk:0", 100, 95, 6, kRed, gpu::kSteady});
    });
    gpu::step(1, false);
    render(1, SDL_Rect{0, 50, kW, 40});
    EXPECT_TRUE(black(100, 45));
    EXPECT_EQ(at(100, 55).g, 255);
    EXPECT_TRUE(black(100, 92)) << "light body below the clip";
    EXPECT_GT(at(100, 87).r, 0) << "light glow inside the clip";
}

// ---- Lights ----

TEST_F(Gpu, OnlyLightsThatReachThePageKeepFramesComing) {
    // The page area is y 0 to 50 of the window; its content sits 20 units lower.
    const SDL_Rect page{0, 0, kW, 50};
    paint([](cairo_t* cr) { gpu::led(cr, gpu::Led{"below", 100, 75, 6, kRed, gpu::kActivity}); }, 1, 0, 20, page);
    EXPECT_FALSE(gpu::has_lights()) << "wholly below the page, glow included";
    paint([](cairo_t* cr) { gpu::led(cr, gpu::Led{"edge", 100, 45, 6, kRed, gpu::kBlink}); }, 1, 0, 20, page);
    EXPECT_TRUE(gpu::has_lights()) << "its glow reaches into the page";
    gpu::step(0.1, true);
    render(1, page);
    EXPECT_GT(at(100, 49).r, 0);
}

TEST_F(Gpu, LightsAreSteadyWithoutAnimation) {
    paint([](cairo_t* cr) {
        gpu::led(cr, gpu::Led{"x", 40, 40, 8, kRed, gpu::kSteady});
        gpu::led(cr, gpu::Led{"y", 100, 40, 8, kRed, gpu::kActivity});
        gpu::led(cr, gpu::Led{"z", 160, 40, 8, kRed, gpu::kBlink});
    });
    gpu::step(0.8, false);  // the blink is off at this time
    render(1, {0, 0, kW, kH}, false);
    EXPECT_EQ(crop(40, 40, 22), crop(100, 40, 22));
    EXPECT_EQ(crop(40, 40, 22), crop(160, 40, 22));
    EXPECT_EQ(at(43, 43).r, 255) << "full brightness body";
    EXPECT_GT(at(36, 36).g, 0) << "highlight";
    EXPECT_TRUE(gpu::has_lights());
    paint([](cairo_t* cr) { gpu::led(cr, gpu::Led{"x", 40, 40, 8, kRed, gpu::kSteady}); });
    EXPECT_FALSE(gpu::has_lights()) << "steady lights need no frames";
}

TEST_F(Gpu, AbsurdLampRadiusIsClampedBeforeItBecomesAnInt) {
    // A radius whose segment count has no int value (the sanitizer build
    // checks the conversion), and one that is no number at all.
    paint([](cairo_t* cr) {
        gpu::led(cr, gpu::Led{"x", 40, 40, 1e12, kRed, gpu::kSteady});
        gpu::led(cr, gpu::Led{"y", 100, 40, std::nan(""), kRed, gpu::kSteady});
        gpu::led(cr, gpu::Led{"z", 160, 40, 8, kRed, gpu::kSteady});
    });
    gpu::step(0.1, false);
    render(1, {0, 0, kW, kH}, false);
    EXPECT_EQ(at(163, 43).r, 255) << "the next lamp is drawn as usual";
}

TEST_F(Gpu, SameIdFlickersIdenticallyOtherIdsDiffer) {
    auto frames = [&] {
        gpu::reset();
        paint([](cairo_t* cr) {
            gpu::led(cr, gpu::Led{"disk:3", 30, 40, 8, kGreen, gpu::kActivity});
            gpu::led(cr, gpu::Led{"disk:3", 90, 40, 8, kGreen, gpu::kActivity});
            gpu::led(cr, gpu::Led{"disk:4", 150, 40, 8, kGreen, gpu::kActivity});
        });
        std::vector<std::vector<Uint32>> seq;
        bool differ = false;
        for (int i = 0; i < 12; ++i) {
            gpu::step(0.05, true);
            render();
            EXPECT_EQ(crop(30, 40, 22), crop(90, 40, 22)) << "frame " << i;
            differ |= crop(30, 40, 22) != crop(150, 40, 22);
            seq.push_back(crop(30, 40, 22));
        }
        EXPECT_TRUE(differ);
        return seq;
    };
    const auto first = frames();
    EXPECT_NE(first.front(), first.back()) << "it does flicker";
    EXPECT_EQ(first, frames()) << "and the same way after a restart";
}

TEST_F(Gpu, BlinkIsOnForTheFirstPartOfEachPeriod) {
    paint([](cairo_t* cr) { gpu::led(cr, gpu::Led{"f", 40, 40, 8, kRed, gpu::kBlink}); });
    gpu::step(0.3, true);
    render();
    const int on = at(43, 43).r;
    gpu::step(0.5, true);
    render();
    const int off = at(43, 43).r;
    EXPECT_EQ(on, 255);
    EXPECT_LT(off, 160);
    gpu::step(0.6, true);  // 1.4 s: on again
    render();
    EXPECT_EQ(at(43, 43).r, on);
}

TEST(LightLevel, ActivityStaysInRangeUnknownModesAreSteadyHashIsFnv1a) {
    double lo = 1, hi = 0;
    for (int i = 0; i < 2000; ++i) {
        const gpu::Glow g = gpu::light_level("disk:0", gpu::kActivity, i * 0.01, true);
        ASSERT_DOUBLE_EQ(g.glow, 0.35 * g.level);
        lo = std::min(lo, g.level);
        hi = std::max(hi, g.level);
    }
    EXPECT_EQ(lo, 0.12);  // the pauses reach the floor
    EXPECT_GT(hi, 0.8);
    EXPECT_LE(hi, 1.0);
    EXPECT_EQ(gpu::light_level("d", 7, 0.9, true).level, 1.0);
    EXPECT_EQ(gpu::fnv1a(""), 0x811c9dc5u);
    EXPECT_EQ(gpu::fnv1a("foobar"), 0xbf9cf968u);
}

// ---- Still pictures ----

class Fallback : public ::testing::Test {
protected:
    void SetUp() override { gpu::shutdown(); }
    Px at(int x, int y) const { return m_canvas.raw(x, y); }
    Canvas m_canvas{120, 60};
    cairo_t* m_cr = m_canvas.cr;
};

TEST_F(Fallback, BarFillsItsPartOfTheTrackWithAGradient) {
    gpu::begin(m_cr);  // collecting, but nothing to accelerate with
    gpu::bar(m_cr, make_bar("a", 10, 10, 100, 20, 0.25, 0.5, kRed, kBlue));
    gpu::end();
    EXPECT_EQ(at(34, 20).a, 0);
    EXPECT_EQ(at(36, 20).a, 255);
    EXPECT_EQ(at(84, 20).a, 255);
    EXPECT_EQ(at(86, 20).a, 0);
    EXPECT_GT(at(60, 11).r, 200);
    EXPECT_GT(at(60, 29).b, 200);
}

TEST_F(Fallback, BarIsCutAtTheTrackEndAndTinyOrLateBarsVanish) {
    gpu::bar(m_cr, make_bar("a", 10, 10, 100, 10, 0.5, 0.9));
    gpu::bar(m_cr, make_bar("b", 10, 30, 100, 10, 1.2, 0.5));
    gpu::bar(m_cr, make_bar("c", 10, 45, 100, 10, 0, 0.002));
    EXPECT_EQ(at(108, 15).g, 255);
    EXPECT_EQ(at(112, 15).a, 0);
    for (int x = 0; x < 120; ++x) {
        ASSERT_EQ(at(x, 35).a, 0) << x;
        ASSERT_EQ(at(x, 50).a, 0) << x;
    }
}

TEST_F(Fallback, LightIsALampWithAHalo) {
    gpu::led(m_cr, gpu::Led{"disk:0", 30, 30, 5, kRed, gpu::kActivity});
    EXPECT_EQ(at(30, 30).r, 255);
    EXPECT_NEAR(at(37, 30).a, 64, 2);  // halo: a quarter of the colour
    EXPECT_EQ(at(40, 30).a, 0);
}

}  // namespace
