// The artwork commands end to end: the built program writes the icon and the
// banner, and the files are read back and checked at telling pixels.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <sys/stat.h>

#include "kit.h"
#include "store_art.h"

namespace {

struct Image {
    cairo_surface_t* s = nullptr;
    explicit Image(const std::string& path) : s(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Image() { cairo_surface_destroy(s); }
    bool ok() const { return cairo_surface_status(s) == CAIRO_STATUS_SUCCESS; }
    int w() const { return cairo_image_surface_get_width(s); }
    int h() const { return cairo_image_surface_get_height(s); }
    uint32_t px(int x, int y) const {
        uint32_t v;
        std::memcpy(&v, cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + 4 * x, 4);
        return v;
    }
    int a(int x, int y) const { return px(x, y) >> 24; }
    int r(int x, int y) const { return (px(x, y) >> 16) & 0xFF; }
    int g(int x, int y) const { return (px(x, y) >> 8) & 0xFF; }
    int b(int x, int y) const { return px(x, y) & 0xFF; }
    bool same_pixels(const Image& o) const {
        if (w() != o.w() || h() != o.h()) return false;
        for (int y = 0; y < h(); ++y)
            for (int x = 0; x < w(); ++x)
                if (px(x, y) != o.px(x, y)) return false;
        return true;
    }
};

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

bool reddish(const Image& im, int x, int y) { return im.r(x, y) > 200 && im.g(x, y) < 60; }
bool greenish(const Image& im, int x, int y) { return im.g(x, y) > 200 && im.r(x, y) < 60; }
bool blueish(const Image& im, int x, int y) { return im.b(x, y) > 200 && im.r(x, y) < 60; }

}  // namespace

// ---- Icon ----

TEST(RenderIcon, WritesTheRequestedSizes) {
    const std::string dir = kit::scratch_dir("icon-sizes");
    for (int n : {16, 64}) {
        const std::string path = dir + "/icon-" + std::to_string(n) + ".png";
        const kit::Run r = kit::run_app({"--render-icon", std::to_string(n), path});
        ASSERT_EQ(r.status, 0) << r.err;
        Image im(path);
        ASSERT_TRUE(im.ok());
        EXPECT_EQ(im.w(), n);
        EXPECT_EQ(im.h(), n);
        EXPECT_LT(im.a(0, 0), 16) << "rounded corner";  // the scaling filter spreads a little
        EXPECT_EQ(im.a(n / 2, n / 2), 255);
        // Not a flat square: the device's bays and lamps show.
        int bright = 0;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) bright += im.g(x, y) > 120;
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
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 300, 300);
    cairo_t* cr = cairo_create(s);
    cairo_translate(cr, 50, 50);
    draw_store_icon(cr, 200);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    auto alpha = [s](int x, int y) {
        uint32_t v;
        std::memcpy(&v, cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + 4 * x, 4);
        return int(v >> 24);
    };
    EXPECT_EQ(alpha(49, 150), 0);
    EXPECT_EQ(alpha(150, 251), 0);
    EXPECT_EQ(alpha(52, 52), 0);  // corner radius 40
    EXPECT_EQ(alpha(51, 150), 255);
    EXPECT_EQ(alpha(150, 150), 255);
    cairo_surface_destroy(s);
}

// ---- Store art ----

TEST(RenderStoreArt, WithoutScreenshots) {
    const std::string dir = kit::scratch_dir("store-plain");
    const kit::Run r = kit::run_app({"--render-store-art", dir});
    ASSERT_EQ(r.status, 0) << r.err;
    Image big(dir + "/icon-512.png"), small(dir + "/icon-256.png"), banner(dir + "/banner-1920x640.png");
    ASSERT_TRUE(big.ok() && small.ok() && banner.ok());
    EXPECT_EQ(big.w(), 512);
    EXPECT_EQ(small.h(), 256);
    EXPECT_EQ(banner.w(), 1920);
    EXPECT_EQ(banner.h(), 640);

    // The 256 icon is its own downscaled drawing, the same as the icon command's.
    const kit::Run icon = kit::run_app({"--render-icon", "256", dir + "/cmd-256.png"});
    ASSERT_EQ(icon.status, 0);
    EXPECT_TRUE(small.same_pixels(Image(dir + "/cmd-256.png")));

    // Opaque everywhere; the icon, the lettering and the tagline stand out
    // from the dark stage, the right half is empty stage.
    EXPECT_EQ(banner.a(5, 5), 255);
    EXPECT_EQ(banner.a(1915, 635), 255);
    auto lit = [&banner](int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += banner.r(x, y) + banner.g(x, y) > 300;
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
    Image banner(dir + "/banner-1920x640.png");
    ASSERT_TRUE(banner.ok());
    // 400 x 250 images: card 1 at x 1180, 680 wide, bottom 519.6 - 215;
    // card 2 at x 1335, 565 wide, bottom 479.6; card 3 at x 770, 600 wide,
    // standing on the floor.
    EXPECT_TRUE(reddish(banner, 1500, 40));
    EXPECT_TRUE(greenish(banner, 1700, 300));
    EXPECT_TRUE(blueish(banner, 1000, 400));
    EXPECT_FALSE(blueish(banner, 1000, 560));  // the reflection is faint
    EXPECT_GT(banner.b(1000, 560), banner.r(1000, 560));
    for (int y = 0; y < 640; y += 2)
        for (int x = 0; x < 1920; x += 2)
            ASSERT_FALSE(banner.r(x, y) > 200 && banner.g(x, y) > 200 && banner.b(x, y) < 60)
                << "fourth screenshot drawn at " << x << "," << y;
}

TEST(RenderStoreArt, UnreadableScreenshotIsSkipped) {
    const std::string dir = kit::scratch_dir("store-skip");
    const std::string green = solid_png(dir, "green.png", 0, 1, 0);
    ASSERT_TRUE(kit::write_file(dir + "/not-a.png", "plain text"));
    const kit::Run r = kit::run_app({"--render-store-art", dir, dir + "/missing.png", green,
                                     dir + "/not-a.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    Image banner(dir + "/banner-1920x640.png");
    ASSERT_TRUE(banner.ok());
    EXPECT_TRUE(greenish(banner, 1700, 300));
    EXPECT_LT(banner.r(1500, 40) + banner.g(1500, 40), 100);  // the first card stays empty
    EXPECT_LT(banner.b(1000, 400), 100);
}

TEST(RenderStoreArt, MissingDirectoryFailsAndIsNotCreated) {
    const std::string dir = kit::scratch_dir("store-missing") + "/absent";
    const kit::Run r = kit::run_app({"--render-store-art", dir});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(exists(dir));
    EXPECT_NE(r.err.find(dir + "/icon-512.png"), std::string::npos) << r.err;
}
