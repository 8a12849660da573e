// An ARGB32 image for the drawing tests: draw into it with cairo, load a PNG
// into it, or let a renderer read its pixels into it; then look at the
// pixels that tell whether a picture is right.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

// One pixel, each channel 0..255.
struct Px {
    int r, g, b, a;
};

struct Canvas {
    cairo_surface_t* s;
    cairo_t* cr;
    int w, h;

    // A transparent image of the given size.
    Canvas(int width, int height)
        : s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)), cr(cairo_create(s)),
          w(width), h(height) {}
    // A high-density image: width x height logical units, `scale` pixels per unit.
    Canvas(int width, int height, int scale)
        : s(scaled_surface(width * scale, height * scale, scale)), cr(cairo_create(s)),
          w(width * scale), h(height * scale) {}
    // A PNG file; ok() is false when it cannot be read.
    explicit Canvas(const std::string& png)
        : s(cairo_image_surface_create_from_png(png.c_str())), cr(cairo_create(s)),
          w(cairo_image_surface_get_width(s)), h(cairo_image_surface_get_height(s)) {}
    ~Canvas() {
        cairo_destroy(cr);
        cairo_surface_destroy(s);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    static cairo_surface_t* scaled_surface(int pw, int ph, int scale) {
        cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph);
        cairo_surface_set_device_scale(img, scale, scale);
        return img;
    }

    bool ok() const { return cairo_surface_status(s) == CAIRO_STATUS_SUCCESS; }
    unsigned char* data() const {
        cairo_surface_flush(s);
        return cairo_image_surface_get_data(s);
    }
    int stride() const { return cairo_image_surface_get_stride(s); }

    // The pixel as stored: premultiplied ARGB in one word.
    uint32_t word(int x, int y) const {
        uint32_t v;
        std::memcpy(&v, data() + y * stride() + 4 * x, 4);
        return v;
    }
    // The stored (premultiplied) channels.
    Px raw(int x, int y) const {
        const uint32_t v = word(x, y);
        return Px{int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF), int(v >> 24)};
    }
    // The colour itself (unpremultiplied).
    Px at(int x, int y) const {
        const Px p = raw(x, y);
        auto un = [a = p.a](int c) { return a == 0 ? 0 : (c * 255 + a / 2) / a; };
        return Px{un(p.r), un(p.g), un(p.b), p.a};
    }

    bool same_as(const Canvas& o) const {
        if (w != o.w || h != o.h) return false;
        for (int y = 0; y < h; ++y)
            if (std::memcmp(data() + y * stride(), o.data() + y * o.stride(), size_t(4) * w) != 0)
                return false;
        return true;
    }

    // The bounding box of every pixel with any alpha; all -1 when blank.
    struct Box {
        int x0 = -1, y0 = -1, x1 = -1, y1 = -1;
    };
    Box ink() const {
        Box b;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (raw(x, y).a > 0) {
                    if (b.x0 < 0 || x < b.x0) b.x0 = x;
                    if (b.y0 < 0) b.y0 = y;
                    b.x1 = std::max(b.x1, x);
                    b.y1 = y;
                }
        return b;
    }
};
