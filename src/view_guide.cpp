// Provisional guide page: the title until the full page lands.
#include "app.h"
#include "l10n.h"

double App::paint_guide(cairo_t* cr, double W) {
    m_cmds.clear();
    return rack_section(cr, 16, 16, W - 32, L10n::tr("g.title"), 6, m_pal, [&](double yy) {
        gfx::TextStyle st;
        st.size = 13;
        st.max_w = W - 80;
        gfx::text(cr, L10n::tr("g.intro"), 40, yy, m_pal.text, st);
        return yy + 24;
    }, "", nullptr) + 16;
}
