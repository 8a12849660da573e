// Bitmaps in pages of their own; gfx_bitmap.h says why.
#include "gfx_bitmap.h"

#include <sys/mman.h>

#include <cstdint>

namespace gfx {

namespace {

constexpr size_t kHuge = size_t(2) << 20;
constexpr size_t kOwnPagesFrom = size_t(4) << 20;  // smaller bitmaps come from the allocator as before

struct Pages {
    void* base = nullptr;
    size_t bytes = 0;
};

const cairo_user_data_key_t kPagesKey{};

void release(void* data) {
    auto* pages = static_cast<Pages*>(data);
    munmap(pages->base, pages->bytes);
    delete pages;
}

}  // namespace

void prefer_huge_pages(void* p, size_t n) {
    const auto from = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    const auto to = (reinterpret_cast<uintptr_t>(p) + n) & ~(kHuge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

cairo_surface_t* new_bitmap(cairo_format_t format, int w, int h) {
    const int stride = cairo_format_stride_for_width(format, w);
    if (w <= 0 || h <= 0 || stride <= 0) return cairo_image_surface_create(format, w, h);
    const size_t bytes = size_t(stride) * size_t(h);
    if (bytes < kOwnPagesFrom) return cairo_image_surface_create(format, w, h);
    // A huge page's worth more than needed, so the bitmap can start on one.
    const size_t mapped = bytes + kHuge;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return cairo_image_surface_create(format, w, h);
    const uintptr_t start = (reinterpret_cast<uintptr_t>(base) + kHuge - 1) & ~(kHuge - 1);
    prefer_huge_pages(reinterpret_cast<void*>(start), bytes);
    auto* pages = new Pages{base, mapped};
    cairo_surface_t* s =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(start), format, w, h, stride);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_set_user_data(s, &kPagesKey, pages, release) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        release(pages);
        return cairo_image_surface_create(format, w, h);
    }
    return s;
}

}  // namespace gfx
