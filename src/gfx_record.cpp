// Noting what a pass draws; gfx.h says what for.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <string_view>
#include <tuple>

#include "gfx.h"

namespace gfx {

namespace {

std::vector<Drawn>* g_into = nullptr;
int g_paused = 0;

// Raw bytes (the doubles of a path, a colour, a matrix) into one hash.
struct Hasher {
    size_t h = 0;
    void bytes(const void* p, size_t n) {
        h = (h ^ std::hash<std::string_view>{}(std::string_view(static_cast<const char*>(p), n))) *
            1099511628211ull;
    }
    template <class T>
    void add(const T& v) {
        bytes(&v, sizeof v);
    }
};

void add_source(Hasher& h, cairo_t* cr) {
    cairo_pattern_t* src = cairo_get_source(cr);
    const cairo_pattern_type_t type = cairo_pattern_get_type(src);
    h.add(type);
    double r = 0, g = 0, b = 0, a = 0;
    if (type == CAIRO_PATTERN_TYPE_SOLID) {
        cairo_pattern_get_rgba(src, &r, &g, &b, &a);
        h.add(std::tuple{r, g, b, a});
        return;
    }
    cairo_matrix_t m;
    cairo_pattern_get_matrix(src, &m);
    h.add(m);
    if (type == CAIRO_PATTERN_TYPE_SURFACE) {
        cairo_surface_t* s = nullptr;
        cairo_pattern_get_surface(src, &s);
        h.add(s);
        return;
    }
    double p[6] = {};
    if (type == CAIRO_PATTERN_TYPE_LINEAR) cairo_pattern_get_linear_points(src, &p[0], &p[1], &p[2], &p[3]);
    if (type == CAIRO_PATTERN_TYPE_RADIAL)
        cairo_pattern_get_radial_circles(src, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5]);
    h.add(p);
    int stops = 0;
    cairo_pattern_get_color_stop_count(src, &stops);
    for (int i = 0; i < stops; ++i) {
        double at = 0;
        cairo_pattern_get_color_stop_rgba(src, i, &at, &r, &g, &b, &a);
        h.add(std::tuple{at, r, g, b, a});
    }
}

// The path and how it is painted, then the box it covers.
void note_path(cairo_t* cr, bool stroked) {
    if (!noting()) return;
    Hasher h;
    h.add(stroked);
    // Element by element: a header leaves bytes of its slot unset.
    cairo_path_t* path = cairo_copy_path(cr);
    std::vector<double> numbers;
    if (path->status == CAIRO_STATUS_SUCCESS)
        for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
            const cairo_path_data_t* e = &path->data[i];
            numbers.push_back(e->header.type);
            for (int j = 1; j < e->header.length; ++j) {
                numbers.push_back(e[j].point.x);
                numbers.push_back(e[j].point.y);
            }
        }
    cairo_path_destroy(path);
    h.bytes(numbers.data(), numbers.size() * sizeof(double));
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    h.add(m);
    h.add(cairo_get_operator(cr));
    h.add(cairo_get_antialias(cr));
    add_source(h, cr);
    // The path's own box, cheap where cairo's stroke extents outline the
    // stroke: a pen reaches half its width past it, a mitred corner up to
    // the miter limit times that.
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    cairo_path_extents(cr, &x0, &y0, &x1, &y1);
    double reach = 0;
    if (stroked) {
        const double lw = cairo_get_line_width(cr);
        const cairo_line_join_t join = cairo_get_line_join(cr);
        h.add(std::tuple{lw, cairo_get_line_cap(cr), join});
        const int dashes = cairo_get_dash_count(cr);
        std::vector<double> dash(static_cast<size_t>(dashes) + 1);
        cairo_get_dash(cr, dash.data() + 1, dash.data());
        h.bytes(dash.data(), dash.size() * sizeof(double));
        reach = lw / 2 * (join == CAIRO_LINE_JOIN_MITER ? std::max(1.0, cairo_get_miter_limit(cr)) : 1.0);
    } else {
        h.add(cairo_get_fill_rule(cr));
    }
    note(cr, x0 - reach, y0 - reach, x1 - x0 + 2 * reach, y1 - y0 + 2 * reach, h.h);
}

}  // namespace

void record(std::vector<Drawn>* into) { g_into = into; }

bool noting() { return g_into && !g_paused; }

Unnoted::Unnoted() { ++g_paused; }
Unnoted::~Unnoted() { --g_paused; }

void note(cairo_t* cr, double x, double y, double w, double h, size_t hash) {
    if (!noting() || !(w > 0) || !(h > 0)) return;
    double xs[4] = {x, x + w, x, x + w}, ys[4] = {y, y, y + h, y + h};
    Drawn d{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL, hash};
    for (int i = 0; i < 4; ++i) {
        cairo_user_to_device(cr, &xs[i], &ys[i]);
        d.x0 = std::min(d.x0, xs[i]);
        d.y0 = std::min(d.y0, ys[i]);
        d.x1 = std::max(d.x1, xs[i]);
        d.y1 = std::max(d.y1, ys[i]);
    }
    g_into->push_back(d);
}

void fill(cairo_t* cr) {
    note_path(cr, false);
    cairo_fill(cr);
}

void fill_preserve(cairo_t* cr) {
    note_path(cr, false);
    cairo_fill_preserve(cr);
}

void stroke(cairo_t* cr) {
    note_path(cr, true);
    cairo_stroke(cr);
}

std::vector<Drawn> changed(std::vector<Drawn> was, std::vector<Drawn> now) {
    auto order = [](const Drawn& a, const Drawn& b) {
        return std::tie(a.hash, a.x0, a.y0, a.x1, a.y1) < std::tie(b.hash, b.x0, b.y0, b.x1, b.y1);
    };
    std::sort(was.begin(), was.end(), order);
    std::sort(now.begin(), now.end(), order);
    std::vector<Drawn> out;
    std::set_symmetric_difference(was.begin(), was.end(), now.begin(), now.end(), std::back_inserter(out), order);
    return out;
}

}  // namespace gfx
