// The store of kept bitmaps; gfx_cache.h says what is kept and for how long.
#include "gfx_cache.h"

#include "gfx.h"

namespace gfx {

namespace detail {

CacheState& cache_state() {
    static CacheState state;
    return state;
}

bool first_sight(size_t hash, bool per_frame) {
    auto& seen = cache_state().seen;
    const uint64_t frame = cache_state().frames;
    const auto it = std::find_if(seen.begin(), seen.end(), [hash](const auto& s) { return s.first == hash; });
    if (it != seen.end()) {
        if (per_frame && it->second == frame) return true;
        seen.erase(it);
        return false;
    }
    if (seen.size() >= kSeenOnce) seen.pop_front();
    seen.emplace_back(hash, frame);
    return true;
}

}  // namespace detail

void keep_bitmaps(bool on) {
    detail::cache_state().keep = on;
    if (!on) detail::cache_state().entries.clear();
}

void begin_frame() {
    detail::CacheState& c = detail::cache_state();
    c.frame_start = c.clock + 1;
    ++c.frames;
}

size_t kept_bitmap_bytes() {
    size_t t = 0;
    for (const auto& e : detail::cache_state().entries) t += e.bytes;
    return t;
}

}  // namespace gfx
