// Provisional panels of the calculator page: each shows its title and a
// one-line summary until its full painter lands.
#include "app.h"
#include "format.h"
#include "l10n.h"

namespace {

double summary_panel(cairo_t* cr, double x, double y, double w, const std::string& title, int seed,
                     const Palette& p, const std::string& line) {
    return rack_section(cr, x, y, w, title, seed, p, [&](double yy) {
        gfx::TextStyle st;
        st.size = 13;
        st.max_w = w - 48;
        gfx::text(cr, line, x + 24, yy, p.text, st);
        return yy + 24;
    }, "", nullptr);
}

}  // namespace

double App::paint_levels(cairo_t* cr, double x, double y, double w) {
    return summary_panel(cr, x, y, w, L10n::tr("lvl.title"), 2, m_pal, raid::name(m_cfg.level));
}

double App::paint_result(cairo_t* cr, double x, double y, double w) {
    return summary_panel(cr, x, y, w, L10n::tr("res.title"), 3, m_pal,
                         m_res.ok() ? fmt::size(m_res.usable) : L10n::tr("head.invalid"));
}

double App::paint_compare(cairo_t* cr, double x, double y, double w) {
    return summary_panel(cr, x, y, w, L10n::tr("cmp.title"), 5, m_pal, raid::name(m_cfg.level));
}

double App::paint_array(cairo_t* cr, double x, double y, double w) {
    return summary_panel(cr, x, y, w, L10n::tr("arr.title"), 4, m_pal, std::to_string(m_cfg.disks));
}
