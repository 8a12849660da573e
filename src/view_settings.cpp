// The settings overlay and the language list, and the click dispatch of
// every overlay. The panel here is provisional: a title and the close
// button until the full General, About and shortcut tabs land.
#include <algorithm>

#include "app.h"
#include "l10n.h"
#include "logger.h"
#include "zxcrash.h"

namespace {

constexpr double kDim = 0.45;
constexpr const char* kThemes[] = {"auto", "dark", "light"};

bool starts_with(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

}  // namespace

void App::open_settings(int tab) {
    commit_edit();
    m_set_scroll = 0;
    m_menu.open = false;
    m_menubar_open = -1;
    m_modal = Modal::Settings;
    m_set_tab = std::clamp(tab, 0, 2);
    invalidate_over();
}

void App::paint_settings(cairo_t* cr, double W, double H) {
    const Palette& p = m_pal;
    cairo_rectangle(cr, 0, 0, W, H);
    cairo_set_source_rgba(cr, 0, 0, 0, kDim);
    cairo_fill(cr);
    const double pw = std::min(W - 40, 860.0), ph = std::min(H - 40, 660.0);
    const double px = (W - pw) / 2, py = (H - ph) / 2;
    modal_panel(cr, px, py, pw, ph, p);
    m_over_hits.push_back(Hit{px, py, pw, ph, "set:panel", 0, ""});
    gfx::TextStyle st;
    st.size = 19;
    st.bold = true;
    st.middle = true;
    gfx::text(cr, L10n::tr("tip.settings"), px + 28, py + 34, p.text_strong, st);
    const std::string close = L10n::tr("btn.close");
    const double bw = std::max(gfx::text_width(cr, close, 12.5, true) + 40, 120.0);
    const double bx = px + pw - 22 - bw, by = py + ph - 22 - 38;
    button(cr, bx, by, bw, 38, close, true, m_over_hover == "set:close", p);
    m_over_hits.push_back(Hit{bx, by, bw, 38, "set:close", 0, ""});
}

void App::paint_languages(cairo_t* cr, double W, double H) {
    const Palette& p = m_pal;
    cairo_rectangle(cr, 0, 0, W, H);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    cairo_fill(cr);
    const double pw = std::min(W - 60, 860.0), ph = std::min(H - 60, 600.0);
    const double px = (W - pw) / 2, py = (H - ph) / 2;
    modal_panel(cr, px, py, pw, ph, p);
    m_over_hits.push_back(Hit{px, py, pw, ph, "lang:panel", 0, ""});
}

void App::over_click(const Hit& hit) {
    const std::string& id = hit.id;
    switch (m_modal) {
    case Modal::Crash:
        if (id == "conf:ok") {
            logger::info("crash report: user chose send");
            zxcrash::send(logger::file_path());
            m_modal = Modal::None;
        } else if (id == "conf:no") {
            logger::info("crash report: user chose discard");
            zxcrash::discard();
            m_modal = Modal::None;
        }
        invalidate_over();
        return;
    case Modal::GuideWarn:
        if (id == "gw:again") {
            m_settings.guide_warn = !m_settings.guide_warn;
            queue_save();
            invalidate_over();
        } else if (id == "gw:ok") {
            m_guide_warned = true;
            m_modal = Modal::None;
            invalidate();
            invalidate_over();
        } else if (id == "gw:back") {
            m_modal = Modal::None;
            select_tab(0);
            invalidate_over();
        }
        return;
    case Modal::Confirm:
        if (id == "conf:ok") {
            m_modal = Modal::None;
            if (m_confirm_act) {
                const std::function<void()> act = m_confirm_act;
                act();
            }
        } else if (id == "conf:no") {
            m_modal = Modal::None;
        }
        invalidate_over();
        return;
    case Modal::Settings:
    case Modal::None:
    case Modal::Languages:
        break;
    }

    if (starts_with(id, "set:tab:")) {
        m_set_tab = std::clamp(hit.n, 0, 2);
        m_set_scroll = 0;
        invalidate_over();
    } else if (id == "set:close") {
        m_modal = Modal::None;
        invalidate_over();
    } else if (id == "set:lang") {
        m_modal = Modal::Languages;
        m_lang_scroll = 0;
        invalidate_over();
    } else if (starts_with(id, "set:seg:theme:")) {
        m_settings.theme = kThemes[std::clamp(hit.n, 0, 2)];
        apply_theme();
        settings_changed();
    } else if (id == "set:sw:animate") {
        m_settings.animate = !m_settings.animate;
        settings_changed();
    } else if (id == "set:btn:reset") {
        confirm(L10n::tr("mi.reset_confirm"), L10n::tr("mi.reset"), [this] {
            reset_calculation();
            invalidate_over();
        });
    } else if (starts_with(id, "set:link:")) {
        open_url(id.substr(9));
    } else if (m_modal == Modal::Languages && starts_with(id, "lang:") && id != "lang:panel") {
        m_settings.language = id.substr(5);
        L10n::clearFallback();
        L10n::setLanguage(m_settings.language);
        m_modal = Modal::Settings;
        settings_changed();
    }
}
