// Bitmaps of window size. A new one of 4K is 33 MB, and on a machine where
// each first touch of a 4 KB page is costly (a virtual machine with shadow
// page tables: 13 us a page on the test machine) making it cost more than
// painting it: 110 ms for the window's background after a resize. Large
// bitmaps therefore get pages of their own in 2 MB huge pages where the
// system allows them, which takes a few dozen faults instead of thousands,
// and go back to the system as soon as they are dropped.
#pragma once

#include <cairo.h>

#include <cstddef>

namespace gfx {

// A cleared image surface of `format` and w x h pixels, as
// cairo_image_surface_create makes it; check its status the same way.
cairo_surface_t* new_bitmap(cairo_format_t format, int w, int h);

// Asks for huge pages in [p, p + n) where whole ones fit: for memory others
// allocate, such as the renderer's textures.
void prefer_huge_pages(void* p, size_t n);

}  // namespace gfx
