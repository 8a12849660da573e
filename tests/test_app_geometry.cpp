// The window's size and place as plain arithmetic: what a screen of a given
// size with given decorations makes of forced, saved and default sizes.
#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <random>
#include <vector>

#include "app_geometry.h"

namespace {

using geometry::Frame;
using geometry::Rect;

const Rect kFullHd{0, 0, 1920, 1080};
const Frame kTitleBar{30, 2, 2, 2};

TEST(Geometry, DefaultSizeIsAShareOfTheScreen) {
    // 56 % of the width, at least 1100 and at most 1760, 16:10, with room for panels.
    const Rect fhd = geometry::open_size(kFullHd, Frame{}, 0, 0, 0, 0);
    EXPECT_EQ(fhd.w, 1100) << "1075 is below the least default";
    EXPECT_EQ(fhd.h, 687);
    const Rect uhd = geometry::open_size(Rect{0, 0, 3840, 2160}, Frame{}, 0, 0, 0, 0);
    EXPECT_EQ(uhd.w, 1760);
    EXPECT_EQ(uhd.h, 1100);
    const Rect small = geometry::open_size(Rect{0, 0, 1366, 768}, Frame{}, 0, 0, 0, 0);
    EXPECT_EQ(small.w, 1100);
    EXPECT_EQ(small.h, 687) << "768 less 80 leaves 688, 16:10 asks for less";
}

TEST(Geometry, ForcedAndSavedSizesAreHeldInsideTheScreen) {
    EXPECT_EQ(geometry::open_size(kFullHd, Frame{}, 900, 650, 1500, 900).w, 900) << "forced beats saved";
    const Rect saved = geometry::open_size(kFullHd, Frame{}, 0, 0, 1500, 900);
    EXPECT_EQ(saved.w, 1500);
    EXPECT_EQ(saved.h, 900);
    // Too large for the screen: the decorations and 80 units of panels fit beside it.
    const Rect big = geometry::open_size(kFullHd, kTitleBar, 0, 0, 1920, 1075);
    EXPECT_EQ(big.w, 1916);
    EXPECT_EQ(big.h, 1000);
    EXPECT_EQ(geometry::open_size(kFullHd, kTitleBar, 5000, 5000, 0, 0).w, 1916) << "even a forced size";
}

TEST(Geometry, SmallestWindowShrinksOnlyOnSmallScreens) {
    const Rect m = geometry::min_size(kFullHd, kTitleBar);
    EXPECT_EQ(m.w, 720);
    EXPECT_EQ(m.h, 520);
    const Rect tiny = geometry::min_size(Rect{0, 0, 640, 480}, kTitleBar);
    EXPECT_EQ(tiny.w, 636);
    EXPECT_EQ(tiny.h, 448);
    EXPECT_EQ(geometry::min_size(Rect{0, 0, 50, 20}, Frame{}).w, 100);
}

TEST(Geometry, PlacedInsideTheScreenWithItsDecorations) {
    const Rect inside = geometry::placed(kFullHd, true, kTitleBar, 200, 150, 1000, 700);
    EXPECT_EQ(inside.x, 200);
    EXPECT_EQ(inside.y, 150);
    const Rect corner = geometry::placed(kFullHd, true, kTitleBar, -50, -40, 1000, 700);
    EXPECT_EQ(corner.x, 2) << "the left border stays on screen";
    EXPECT_EQ(corner.y, 30) << "so does the title bar";
    const Rect right = geometry::placed(kFullHd, true, kTitleBar, 1500, 900, 1000, 700);
    EXPECT_EQ(right.x, 1920 - 1000 - 2);
    EXPECT_EQ(right.y, 1080 - 700 - 2);
    // Its screen is gone: centred on the one there is.
    const Rect gone = geometry::placed(kFullHd, false, Frame{}, 5000, 4000, 800, 600);
    EXPECT_EQ(gone.x, 560);
    EXPECT_EQ(gone.y, 240);
    // Larger than the screen: the top-left corner wins.
    const Rect huge = geometry::placed(Rect{100, 50, 800, 600}, true, Frame{}, 300, 300, 1000, 700);
    EXPECT_EQ(huge.x, 100);
    EXPECT_EQ(huge.y, 50);
}

}  // namespace

TEST(Geometry, LayersKeepTheirRoomThroughSmallResizes) {
    EXPECT_EQ(geometry::room(1920, 16384), 2048);
    EXPECT_EQ(geometry::room(2048, 16384), 2048) << "a whole step needs no more";
    EXPECT_EQ(geometry::room(3900, 4096), 4096);
    EXPECT_EQ(geometry::room(4000, 3950), 4000) << "the renderer's limit never cuts below the need";
    EXPECT_TRUE(geometry::room_serves(1880, 1040, 2048, 1280)) << "a window made a little smaller";
    EXPECT_FALSE(geometry::room_serves(2050, 1040, 2048, 1280)) << "wider than the room";
    EXPECT_FALSE(geometry::room_serves(1880, 1300, 2048, 1280)) << "taller than the room";
    EXPECT_FALSE(geometry::room_serves(1000, 700, 2048, 1280)) << "more than half would lie unused";
    EXPECT_TRUE(geometry::room_serves(1024, 1280, 2048, 1280)) << "exactly half is still kept";
}

TEST(Geometry, MarkedCellsJoinIntoFewRectanglesCoveringThemOnce) {
    auto grid = [](std::initializer_list<const char*> lines, int first_row = 0) {
        std::map<int, std::vector<char>> rows;
        int r = first_row;
        for (const char* line : lines) {
            std::vector<char>& row = rows[r++];
            for (const char* c = line; *c; ++c) row.push_back(*c == '#');
        }
        return rows;
    };
    // A block is one rectangle; a row that is not the next starts anew.
    const auto block = geometry::join_cells(grid({".##.", ".##.", ".##."}, 5), 4);
    ASSERT_EQ(block.size(), 1u);
    EXPECT_EQ(block[0].x, 1);
    EXPECT_EQ(block[0].y, 5);
    EXPECT_EQ(block[0].w, 2);
    EXPECT_EQ(block[0].h, 3);
    auto gapped = grid({"##"});
    gapped[2] = {1, 1};
    EXPECT_EQ(geometry::join_cells(gapped, 2).size(), 2u);
    EXPECT_EQ(geometry::join_cells(grid({"##..", "###.", "#.##"}), 4).size(), 4u);

    // Any pattern: every marked cell covered exactly once, nothing else.
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        const int cols = 1 + static_cast<int>(rng() % 12);
        std::map<int, std::vector<char>> rows;
        for (int r = 0; r < 10; ++r) {
            if (rng() % 4 == 0) continue;
            for (int c = 0; c < cols; ++c) rows[r].push_back(rng() % 3 != 0);
        }
        std::vector<int> cover(10 * static_cast<size_t>(cols), 0);
        for (const geometry::Rect& t : geometry::join_cells(rows, cols))
            for (int r = t.y; r < t.y + t.h; ++r)
                for (int c = t.x; c < t.x + t.w; ++c) ++cover[static_cast<size_t>(r * cols + c)];
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < cols; ++c) {
                const bool marked = rows.count(r) && rows.at(r)[static_cast<size_t>(c)];
                ASSERT_EQ(cover[static_cast<size_t>(r * cols + c)], marked ? 1 : 0)
                    << "trial " << trial << ", cell " << r << "," << c;
            }
    }
}
