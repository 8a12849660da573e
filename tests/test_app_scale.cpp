// The size of a logical unit as plain arithmetic: the desktop's scale read
// from its settings, the zoom steps and their ceiling, and the window's
// sizes at a scale.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "app_geometry.h"
#include "app_scale.h"

namespace {

using geometry::Frame;
using geometry::Rect;

TEST(DesktopScale, XftDpiIsReadFromTheResourceDatabase) {
    EXPECT_EQ(scale::xft_dpi("Xft.dpi:\t192\n"), 192);
    EXPECT_EQ(scale::xft_dpi("Xft.antialias:\t1\nXft.hinting:\t1\nXft.dpi:\t144\nXft.rgba:\trgb\n"), 144);
    EXPECT_EQ(scale::xft_dpi("  Xft.dpi :  120.5"), 120.5) << "spaces around the name and value";
    EXPECT_EQ(scale::xft_dpi(""), 0);
    EXPECT_EQ(scale::xft_dpi("Xft.dpix:\t192\nXcursor.size:\t48\n"), 0) << "only the resource itself";
    EXPECT_EQ(scale::xft_dpi("Xft.dpi:\tlarge\n"), 0);
    EXPECT_EQ(scale::xft_dpi("Xft.dpi:\t4000\n"), 0) << "no screen has that";
    EXPECT_EQ(scale::xft_dpi("Xft.dpi:\t0\n"), 0);
}

TEST(DesktopScale, FactorsMultiplyAndUnusableOnesCountAsUnset) {
    EXPECT_EQ(scale::desktop(nullptr, 0, nullptr), 1);
    EXPECT_EQ(scale::desktop(nullptr, 192, nullptr), 2);
    EXPECT_EQ(scale::desktop("2", 0, nullptr), 2);
    EXPECT_EQ(scale::desktop("2", 144, nullptr), 3);
    EXPECT_EQ(scale::desktop("2", 96, "0.75"), 1.5);
    EXPECT_EQ(scale::desktop("", 144, ""), 1.5);
    EXPECT_EQ(scale::desktop("two", 96, "1.5x"), 1) << "not numbers";
    EXPECT_EQ(scale::desktop("100", 96, "0.01"), 1) << "typing errors, not desktops";
    EXPECT_EQ(scale::desktop("16", 1536, "16"), 16) << "held to the largest factor";
}

TEST(Zoom, StepsWalkTheLadderAndStopAtItsEnds) {
    std::vector<int> up = {75};
    while (up.back() != scale::kZoomMax) up.push_back(scale::zoom_step(up.back(), +1));
    EXPECT_EQ(up, (std::vector<int>{75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300}));
    std::vector<int> down = {300};
    while (down.back() != scale::kZoomMin) down.push_back(scale::zoom_step(down.back(), -1));
    EXPECT_EQ(down, (std::vector<int>{300, 250, 200, 175, 150, 125, 110, 100, 90, 80, 75}));
    EXPECT_EQ(scale::zoom_step(300, +1), 300);
    EXPECT_EQ(scale::zoom_step(75, -1), 75);
    // A zoom between two steps (held down by a small screen) goes to its neighbours.
    EXPECT_EQ(scale::zoom_step(147, +1), 150);
    EXPECT_EQ(scale::zoom_step(147, -1), 125);
    EXPECT_EQ(scale::zoom_step(250, 0), 100);
}

TEST(Zoom, CappedWhereTheSmallestWindowStillFits) {
    // 720 x 520 logical at most this much larger: the height decides on wide screens.
    EXPECT_EQ(scale::zoom_cap(1920, 1080, 1), 207);
    EXPECT_EQ(scale::zoom_cap(3840, 2160, 2), 207) << "the same screen at twice the density";
    EXPECT_EQ(scale::zoom_cap(1366, 768, 1), 147);
    EXPECT_EQ(scale::zoom_cap(3840, 2160, 1), 300);
    EXPECT_EQ(scale::zoom_cap(800, 900, 1), 111) << "a narrow screen: the width decides";
    EXPECT_EQ(scale::zoom_cap(640, 480, 1), 88);
    EXPECT_EQ(scale::zoom_cap(300, 200, 1), scale::kZoomMin) << "never below the least zoom";
    EXPECT_EQ(scale::zoom_cap(0, 1080, 1), scale::kZoomMin);
    EXPECT_EQ(scale::zoom_cap(1920, 1080, 0), scale::kZoomMin);
}

TEST(ScaledGeometry, SizesAreLogicalAndTheScreenIsNot) {
    // A 4K screen at a scale of 2 opens the window full HD opens, twice as large.
    const Rect fhd = geometry::open_size(Rect{0, 0, 1920, 1080}, Frame{}, 0, 0, 0, 0, 1);
    const Rect uhd = geometry::open_size(Rect{0, 0, 3840, 2160}, Frame{}, 0, 0, 0, 0, 2);
    EXPECT_EQ(uhd.w, 2 * fhd.w);
    EXPECT_EQ(uhd.h, 2 * fhd.h);
    const Rect forced = geometry::open_size(Rect{0, 0, 3840, 2160}, Frame{}, 900, 650, 1500, 900, 2);
    EXPECT_EQ(forced.w, 1800);
    EXPECT_EQ(forced.h, 1300);
    const Rect saved = geometry::open_size(Rect{0, 0, 3840, 2160}, Frame{}, 0, 0, 1500, 900, 1.5);
    EXPECT_EQ(saved.w, 2250);
    EXPECT_EQ(saved.h, 1350);
    // Saved at scale 1, opened at 2 on a full HD screen: held inside it.
    const Rect held = geometry::open_size(Rect{0, 0, 1920, 1080}, Frame{}, 0, 0, 1500, 900, 2);
    EXPECT_EQ(held.w, 1920);
    EXPECT_LE(held.h, 1080);
    // The smallest window is logical too, until the screen is smaller.
    const Frame bar{30, 2, 2, 2};
    const Rect least = geometry::min_size(Rect{0, 0, 3840, 2160}, bar, 2);
    EXPECT_EQ(least.w, 1440);
    EXPECT_EQ(least.h, 1040);
    EXPECT_EQ(geometry::min_size(Rect{0, 0, 1920, 1080}, bar, 3).w, 1916);
}

TEST(ScaledGeometry, ASavedSizeOpensAtThePixelsItWasSavedAt) {
    for (const double units : {1.0, 1.25, 1.5, 2.0, 2.2, 3.0})
        for (const auto& [w, h] : {std::pair{1001, 701}, std::pair{1437, 999}, std::pair{2200, 1374}}) {
            const Rect logical = geometry::logical_size(w, h, units);
            const Rect back = geometry::open_size(Rect{0, 0, 7680, 4320}, Frame{}, 0, 0, logical.w, logical.h, units);
            EXPECT_LE(std::abs(back.w - w), std::ceil(units / 2)) << w << " at " << units;
            EXPECT_LE(std::abs(back.h - h), std::ceil(units / 2)) << h << " at " << units;
        }
    const Rect broken = geometry::logical_size(1100, 700, std::nan(""));
    EXPECT_EQ(broken.w, 1100) << "no usable scale counts as 1";
    EXPECT_EQ(geometry::logical_size(1100, 700, 0).h, 700);
}

}  // namespace
