// The artwork commands end to end: the built program writes the icon and the
// banner, and the files are read back and checked at telling pixels.
#include <gtest/gtest.h>

#include <cairo.h>

#include <sys/stat.h>

#include "canvas.h"
#include "kit.h"
#include "store_art.h"

namespace {

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A solid 400 x 250 screenshot stand-in.
std::string solid_png(const std::string& dir, const char* name, double r, double g, double b) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 400, 250);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    const std::string path = dir + "/" + name;
    cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    return path;
}

bool reddish(const Px& p) { return p.r > 200 && p.g < 60; }
bool greenish(const Px& p) { return p.g > 200 && p.r < 60; }
bool blueish(const Px& p) { return p.b > 200 && p.r < 60; }

}  // namespace

// ---- Icon ----

TEST(RenderIcon, WritesTheRequestedSizes) {
    const std::string dir = kit::scratch_dir("icon-sizes");
    for (int n : {16, 64}) {
        const std::string path = dir + "/icon-" + std::to_string(n) + ".png";
        const kit::Run r = kit::run_app({"--render-icon", std::to_string(n), path});
        ASSERT_EQ(r.status, 0) << r.err;
        const Canvas im(path);
        ASSERT_TRUE(im.ok());
        EXPECT_EQ(im.w, n);
        EXPECT_EQ(im.h, n);
        EXPECT_LT(im.raw(0, 0).a, 16) << "rounded corner";  // the scaling filter spreads a little
        EXPECT_EQ(im.raw(n / 2, n / 2).a, 255);
        // Not a flat square: the device's bays and lamps show.
        int bright = 0;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) bright += im.raw(x, y).g > 120;
        EXPECT_GT(bright, n * n / 40) << n;
    }
}

TEST(RenderIcon, FailuresAndMissingValues) {
    const std::string dir = kit::scratch_dir("icon-fail");
    kit::Run r = kit::run_app({"--render-icon", "32", dir + "/no/such/dir/icon.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir + "/no/such/dir/icon.png"), std::string::npos) << r.err;

    for (const char* size : {"0", "-4", "abc", "1000000"}) {
        r = kit::run_app({"--render-icon", size, dir + "/x.png"});
        EXPECT_EQ(r.status, 1) << size;
    }
    EXPECT_FALSE(exists(dir + "/x.png"));

    r = kit::run_app({"--render-icon", "32"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option: --render-icon"), std::string::npos);
    r = kit::run_app({"--render-store-art"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option: --render-store-art"), std::string::npos);
}

TEST(DrawStoreIcon, StaysInsideItsRoundedSquare) {
    Canvas c(300, 300);
    cairo_translate(c.cr, 50, 50);
    draw_store_icon(c.cr, 200);
    EXPECT_EQ(c.raw(49, 150).a, 0);
    EXPECT_EQ(c.raw(150, 251).a, 0);
    EXPECT_EQ(c.raw(52, 52).a, 0);  // corner radius 40
    EXPECT_EQ(c.raw(51, 150).a, 255);
    EXPECT_EQ(c.raw(150, 150).a, 255);
}

// ---- Store art ----

TEST(RenderStoreArt, WithoutScreenshots) {
    const std::string dir = kit::scratch_dir("store-plain");
    const kit::Run r = kit::run_app({"--render-store-art", dir});
    ASSERT_EQ(r.status, 0) << r.err;
    const Canvas big(dir + "/icon-512.png"), small(dir + "/icon-256.png"),
        banner(dir + "/banner-1920x640.png");
    ASSERT_TRUE(big.ok() && small.ok() && banner.ok());
    EXPECT_EQ(big.w, 512);
    EXPECT_EQ(small.h, 256);
    EXPECT_EQ(banner.w, 1920);
    EXPECT_EQ(banner.h, 640);

    // The 256 icon is its own downscaled drawing, the same as the icon command's.
    const kit::Run icon = kit::run_app({"--render-icon", "256", dir + "/cmd-256.png"});
    ASSERT_EQ(icon.status, 0);
    EXPECT_TRUE(small.same_as(Canvas(dir + "/cmd-256.png")));

    // Opaque everywhere; the icon, the lettering and the tagline stand out
    // from the dark stage, the right half is empty stage.
    EXPECT_EQ(banner.raw(5, 5).a, 255);
    EXPECT_EQ(banner.raw(1915, 635).a, 255);
    auto lit = [&banner](int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += banner.raw(x, y).r + banner.raw(x, y).g > 300;
        return n;
    };
    EXPECT_GT(lit(70, 150, 320, 400), 1000);   // icon
    EXPECT_GT(lit(52, 40, 800, 150), 2000);    // name
    EXPECT_GT(lit(352, 210, 752, 340), 1000);  // tagline
    EXPECT_EQ(lit(1000, 100, 1900, 500), 0);
}

TEST(RenderStoreArt, ScreenshotsTakeTheirCardsAndAFourthIsIgnored) {
    const std::string dir = kit::scratch_dir("store-shots");
    const std::string red = solid_png(dir, "red.png", 1, 0, 0);
    const std::string green = solid_png(dir, "green.png", 0, 1, 0);
    const std::string blue = solid_png(dir, "blue.png", 0, 0, 1);
    const std::string yellow = solid_png(dir, "yellow.png", 1, 1, 0);
    const kit::Run r = kit::run_app({"--render-store-art", dir, red, green, blue, yellow});
    ASSERT_EQ(r.status, 0) << r.err;
    const Canvas banner(dir + "/banner-1920x640.png");
    ASSERT_TRUE(banner.ok());
    // 400 x 250 images: card 1 at x 1180, 680 wide, bottom 519.6 - 215;
    // card 2 at x 1335, 565 wide, bottom 479.6; card 3 at x 770, 600 wide,
    // standing on the floor.
    EXPECT_TRUE(reddish(banner.raw(1500, 40)));
    EXPECT_TRUE(greenish(banner.raw(1700, 300)));
    EXPECT_TRUE(blueish(banner.raw(1000, 400)));
    EXPECT_FALSE(blueish(banner.raw(1000, 560)));  // the reflection is faint
    EXPECT_GT(banner.raw(1000, 560).b, banner.raw(1000, 560).r);
    for (int y = 0; y < 640; y += 2)
        for (int x = 0; x < 1920; x += 2) {
            const Px p = banner.raw(x, y);
            ASSERT_FALSE(p.r > 200 && p.g > 200 && p.b < 60)
                << "fourth screenshot drawn at " << x << "," << y;
        }
}

TEST(RenderStoreArt, UnreadableScreenshotIsSkipped) {
    const std::string dir = kit::scratch_dir("store-skip");
    const std::string green = solid_png(dir, "green.png", 0, 1, 0);
    ASSERT_TRUE(kit::write_file(dir + "/not-a.png", "plain text"));
    const kit::Run r = kit::run_app({"--render-store-art", dir, dir + "/missing.png", green,
                                     dir + "/not-a.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Canvas banner(dir + "/banner-1920x640.png");
    ASSERT_TRUE(banner.ok());
    EXPECT_TRUE(greenish(banner.raw(1700, 300)));
    EXPECT_LT(banner.raw(1500, 40).r + banner.raw(1500, 40).g, 100);  // the first card stays empty
    EXPECT_LT(banner.raw(1000, 400).b, 100);
}

TEST(RenderStoreArt, MissingDirectoryFailsAndIsNotCreated) {
    const std::string dir = kit::scratch_dir("store-missing") + "/absent";
    const kit::Run r = kit::run_app({"--render-store-art", dir});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(exists(dir));
    EXPECT_NE(r.err.find(dir + "/icon-512.png"), std::string::npos) << r.err;
}
