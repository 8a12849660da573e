// Window-size bitmaps in pages of their own: cleared, drawable, aligned to
// a huge page, and the small ones as cairo makes them.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>

#include "gfx_bitmap.h"

TEST(NewBitmap, LargeOnesAreClearedDrawableAndStartOnAHugePage) {
    for (cairo_format_t format : {CAIRO_FORMAT_ARGB32, CAIRO_FORMAT_RGB24}) {
        cairo_surface_t* s = gfx::new_bitmap(format, 3840, 2160);
        ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
        EXPECT_EQ(cairo_image_surface_get_width(s), 3840);
        EXPECT_EQ(cairo_image_surface_get_height(s), 2160);
        EXPECT_EQ(cairo_image_surface_get_format(s), format);
        const unsigned char* px = cairo_image_surface_get_data(s);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(px) % (uintptr_t(2) << 20), 0u);
        const int stride = cairo_image_surface_get_stride(s);
        EXPECT_EQ(stride, cairo_format_stride_for_width(format, 3840));
        const auto at = [&](int x, int y) { return *reinterpret_cast<const uint32_t*>(px + y * stride + x * 4); };
        EXPECT_EQ(at(0, 0) | at(3839, 2159) | at(1920, 1080), 0u);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_rectangle(cr, 3830, 2150, 10, 10);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        EXPECT_EQ(at(3839, 2159) & 0xFFFFFF, 0xFF0000u);
        EXPECT_EQ(at(3829, 2159), 0u);
        cairo_surface_destroy(s);
    }
}

TEST(NewBitmap, SmallAndEmptyOnesAreCairosOwn) {
    cairo_surface_t* small = gfx::new_bitmap(CAIRO_FORMAT_ARGB32, 64, 64);
    ASSERT_EQ(cairo_surface_status(small), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(small), 64);
    cairo_surface_destroy(small);
    cairo_surface_t* none = gfx::new_bitmap(CAIRO_FORMAT_ARGB32, 0, 10);
    EXPECT_EQ(cairo_surface_status(none), CAIRO_STATUS_SUCCESS) << "as cairo answers an empty size";
    cairo_surface_destroy(none);
    cairo_surface_t* bad = gfx::new_bitmap(CAIRO_FORMAT_ARGB32, -5, 10);
    EXPECT_NE(cairo_surface_status(bad), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(bad);
}
