// The store of kept bitmaps; gfx_cache.h says what is kept and for how long.
#include "gfx_cache.h"

#include "gfx.h"

namespace gfx {

namespace detail {

CacheState& cache_state() {
    static CacheState state;
    return state;
}

bool first_sight(size_t hash) {
    std::deque<size_t>& seen = cache_state().seen;
    const auto it = std::find(seen.begin(), seen.end(), hash);
    if (it != seen.end()) {
        seen.erase(it);
        return false;
    }
    if (seen.size() >= kSeenOnce) seen.pop_front();
    seen.push_back(hash);
    return true;
}

}  // namespace detail

void keep_bitmaps(bool on) {
    detail::cache_state().keep = on;
    if (!on) detail::cache_state().entries.clear();
}

void begin_frame() { detail::cache_state().frame_start = detail::cache_state().clock + 1; }

size_t kept_bitmap_bytes() {
    size_t t = 0;
    for (const auto& e : detail::cache_state().entries) t += e.bytes;
    return t;
}

}  // namespace gfx
