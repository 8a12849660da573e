// Reading order for things drawn in a window: rows top to bottom (two
// boxes share a row when they overlap by half the smaller height), and
// across each row in the direction the layer is drawn. The keyboard focus
// and the screen reader's tree walk the window in this order.
#pragma once

#include <algorithm>
#include <vector>

// `box(item)` gives something with x, y, w and h.
template <class T, class Box>
void reading_order(std::vector<T>& items, bool rtl, Box box) {
    std::stable_sort(items.begin(), items.end(),
                     [&](const T& a, const T& b) { return box(a).y + box(a).h / 2 < box(b).y + box(b).h / 2; });
    size_t start = 0;
    while (start < items.size()) {
        size_t end = start + 1;
        const auto& first = box(items[start]);
        while (end < items.size()) {
            const auto& h = box(items[end]);
            const double overlap = std::min(first.y + first.h, h.y + h.h) - std::max(first.y, h.y);
            if (overlap < std::min(first.h, h.h) / 2) break;
            ++end;
        }
        std::stable_sort(items.begin() + static_cast<long>(start), items.begin() + static_cast<long>(end),
                         [&](const T& a, const T& b) { return rtl ? box(a).x > box(b).x : box(a).x < box(b).x; });
        start = end;
    }
}
