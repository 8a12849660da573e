// Overlay dialogs besides the settings panel: the confirmation (and its
// crash variant), the guide warning, the open drop-down menu and the
// tooltip. All paint on the overlay layer in window coordinates and register
// their hits in the overlay list.
#include <algorithm>
#include <cmath>

#include "app.h"
#include "hit_id.h"
#include "l10n.h"
#include "view_main.h"

using hit_id::Kind;

namespace {

constexpr double kDim = 0.45;
constexpr double kHoverLift = 0.08;
constexpr double kConfirmMaxW = 520, kWarnMaxW = 600;
constexpr double kMargin = 28;
constexpr double kButtonH = 38, kWarnButtonH = 40;
constexpr double kMenuMinW = 180, kMenuRow = 28, kMenuSep = 9, kMenuPad = 8;
constexpr double kTipWrap = 380, kTipSize = 12;

// Two buttons side by side, 10 apart, squeezed in proportion when their
// labels would push them out of the panel.
void fit_pair(double* a, double* b, double room) {
    const double need = *a + 10 + *b;
    if (need <= room) return;
    const double k = std::max(0.0, room - 10) / (*a + *b);
    *a *= k;
    *b *= k;
}

}  // namespace

// ---- Shared dialog widgets ----

void dim_window(cairo_t* cr, double W, double H, double alpha) {
    cairo_rectangle(cr, 0, 0, W, H);
    cairo_set_source_rgba(cr, 0, 0, 0, alpha);
    cairo_fill(cr);
}

gfx::TextStyle line_style(double size, bool bold, double max_w, gfx::Align align) {
    gfx::TextStyle st;
    st.size = size;
    st.bold = bold;
    st.align = align;
    st.max_w = max_w;
    st.fit = max_w > 0;
    st.middle = true;
    return st;
}

void modal_panel(cairo_t* cr, double x, double y, double w, double h, const Palette& p) {
    gfx::rounded(cr, x, y + 6, w, h, 16);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    cairo_fill(cr);
    gfx::rounded(cr, x, y, w, h, 16);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgba(g, 0, p.panel_top.r, p.panel_top.g, p.panel_top.b, p.panel_top.a);
    cairo_pattern_add_color_stop_rgba(g, 1, p.panel_bottom.r, p.panel_bottom.g, p.panel_bottom.b, p.panel_bottom.a);
    cairo_set_source(cr, g);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(g);
    gfx::set(cr, p.panel_edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void button(cairo_t* cr, double x, double y, double w, double h, const std::string& label, bool primary, bool hot,
            const Palette& p) {
    gfx::rounded(cr, x, y, w, h, 8);
    Rgba tc = p.text;
    if (primary) {
        Rgba c = p.chip_on;
        if (hot) c = page::lift(c, kHoverLift);
        gfx::set(cr, c);
        cairo_fill(cr);
        tc = p.chip_on_text;
    } else {
        gfx::set(cr, hot ? p.button_hot : p.button);
        cairo_fill_preserve(cr);
        gfx::set(cr, p.panel_edge);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    gfx::text(cr, label, x + w / 2, y + h / 2, tc, line_style(12.5, true, w - 12, gfx::Align::Center));
}

// ---- Confirmation ----

void App::confirm(const std::string& text, const std::string& ok, std::function<void()> act) {
    m_confirm_text = text;
    m_confirm_ok = ok;
    m_confirm_act = std::move(act);
    m_menu.open = false;
    m_menubar_open = -1;
    m_modal = Modal::Confirm;
    invalidate_over();
}

void App::paint_confirm(cairo_t* cr, double W, double H, bool crash) {
    const Palette& p = m_pal;
    dim_window(cr, W, H, kDim);
    const double pw = std::min(W - 40, kConfirmMaxW), x = (W - pw) / 2, c = pw - 2 * kMargin;
    const std::string title = crash ? L10n::tr("crash.title") : m_confirm_text;
    const std::string body = crash ? L10n::tr("crash.text") : "";
    const double th = gfx::wrapped(cr, title, 0, 0, c, 15, p.text_strong, gfx::Align::Left, true, false);
    const double bh = body.empty() ? 0 : gfx::wrapped(cr, body, 0, 0, c, 12.5, p.dim, gfx::Align::Left, false, false) + 12;
    const double ph = kMargin + th + bh + kMargin + kButtonH + 22;
    const double y = (H - ph) / 2;
    modal_panel(cr, x, y, pw, ph, p);
    m_over_hits.push_back(Hit{x, y, pw, ph, hit_id::make(Kind::ConfPanel), 0, ""});
    gfx::wrapped(cr, title, x + kMargin, y + kMargin, c, 15, p.text_strong, gfx::Align::Left, true, true);
    if (!body.empty())
        gfx::wrapped(cr, body, x + kMargin, y + kMargin + th + 12, c, 12.5, p.dim, gfx::Align::Left, false, true);

    const double by = y + ph - 22 - kButtonH;
    const std::string ok = crash ? L10n::tr("crash.send") : m_confirm_ok;
    const std::string no = L10n::tr(crash ? "crash.discard" : "btn.cancel");
    double okw = std::max(gfx::text_width(cr, ok, 12.5, true) + 36, 120.0);
    double now = std::max(gfx::text_width(cr, no, 12.5, true) + 36, 110.0);
    fit_pair(&okw, &now, c);
    const Mirror m{x, x + pw, L10n::isRTL()};
    const double okx = m.x(x + pw - kMargin - okw, okw), nox = m.x(x + pw - kMargin - okw - 10 - now, now);
    button(cr, okx, by, okw, kButtonH, ok, true, m_over_hover == hit_id::make(Kind::ConfOk), p);
    button(cr, nox, by, now, kButtonH, no, false, m_over_hover == hit_id::make(Kind::ConfNo), p);
    m_over_hits.push_back(Hit{okx, by, okw, kButtonH, hit_id::make(Kind::ConfOk), 0, ""});
    m_over_hits.push_back(Hit{nox, by, now, kButtonH, hit_id::make(Kind::ConfNo), 0, ""});
}

// ---- Guide warning ----

void App::paint_guide_warn(cairo_t* cr, double W, double H) {
    const Palette& p = m_pal;
    dim_window(cr, W, H, kDim);
    const double pw = std::min(W - 40, kWarnMaxW), x = (W - pw) / 2, c = pw - 2 * kMargin;
    const std::string title = L10n::tr("g.warn.title"), t1 = L10n::tr("g.warn.text"), t2 = L10n::tr("g.warn.text2");
    const double th = gfx::wrapped(cr, title, 0, 0, c - 56, 17, p.text_strong, gfx::Align::Left, true, false);
    const double h1 = gfx::wrapped(cr, t1, 0, 0, c, 13, p.text, gfx::Align::Left, false, false);
    const double h2 = gfx::wrapped(cr, t2, 0, 0, c, 13, p.text, gfx::Align::Left, true, false);
    const double ph = 24 + std::max(th, 44.0) + 30 + 16 + h1 + 12 + h2 + 22 + 30 + 22 + kWarnButtonH;
    const double y = std::max((H - ph) / 2, 10.0);
    modal_panel(cr, x, y, pw, ph, p);
    gfx::rounded(cr, x + 16, y, pw - 32, 6, 3);
    gfx::set(cr, p.err);
    cairo_fill(cr);
    m_over_hits.push_back(Hit{x, y, pw, ph, hit_id::make(Kind::WarnPanel), 0, ""});

    // Warning triangle with an exclamation mark.
    const Mirror m{x, x + pw, L10n::isRTL()};
    const double ix = m.x(x + kMargin, 44), iy = y + 24, is = 44;
    cairo_move_to(cr, ix + is / 2, iy + 2);
    cairo_line_to(cr, ix + is, iy + is - 4);
    cairo_line_to(cr, ix, iy + is - 4);
    cairo_close_path(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 3);
    gfx::set(cr, p.err);
    cairo_stroke_preserve(cr);
    gfx::set(cr, gfx::with_alpha(p.err, 0.18));
    cairo_fill(cr);
    gfx::set(cr, p.err);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 3.4);
    cairo_move_to(cr, ix + is / 2, iy + 15);
    cairo_line_to(cr, ix + is / 2, iy + 27);
    cairo_stroke(cr);
    cairo_arc(cr, ix + is / 2, iy + 33.5, 2.1, 0, 2 * M_PI);
    cairo_fill(cr);

    const double title_y = iy + std::max(0.0, (44 - th) / 2);
    gfx::wrapped(cr, title, m.x(x + kMargin + 56, c - 56), title_y, c - 56, 17, p.text_strong, gfx::Align::Left, true, true);
    double ty = y + 24 + std::max(th, 44.0) + 30;
    gfx::wrapped(cr, t1, x + kMargin, ty, c, 13, p.text, gfx::Align::Left, false, true);
    ty += h1 + 12;
    gfx::wrapped(cr, t2, x + kMargin, ty, c, 13, p.text, gfx::Align::Left, true, true);
    ty += h2 + 22;

    const bool ticked = !m_settings.guide_warn;
    const double box = m.x(x + kMargin, 20);
    gfx::rounded(cr, box, ty, 20, 20, 5);
    gfx::set(cr, ticked ? p.chip_on : m_over_hover == hit_id::make(Kind::WarnAgain) ? p.button_hot : p.slot);
    cairo_fill_preserve(cr);
    gfx::set(cr, p.panel_edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (ticked) gfx::check(cr, box + 10, ty + 10, 5, p.chip_on_text, 2);
    const std::string again = L10n::tr("g.warn.again");
    const double aw = gfx::text(cr, again, m.text_x(x + kMargin + 30), ty + 10, p.text, line_style(13, false, c - 30, m.start()));
    m_over_hits.push_back(Hit{m.x(x + kMargin, 30 + aw), ty - 4, 30 + aw, 28, hit_id::make(Kind::WarnAgain), 0, "", ticked});

    const double by = y + ph - 22 - kWarnButtonH;
    const std::string back = L10n::tr("g.warn.back"), ok = L10n::tr("g.warn.ok");
    double bw = std::max(gfx::text_width(cr, back, 12.5, true) + 36, 150.0);
    double ow = std::max(gfx::text_width(cr, ok, 12.5, true) + 36, 150.0);
    fit_pair(&bw, &ow, c);
    const double bx = m.x(x + pw - kMargin - bw, bw), ox = m.x(x + pw - kMargin - bw - 10 - ow, ow);
    button(cr, bx, by, bw, kWarnButtonH, back, true, m_over_hover == hit_id::make(Kind::WarnBack), p);
    button(cr, ox, by, ow, kWarnButtonH, ok, false, m_over_hover == hit_id::make(Kind::WarnOk), p);
    m_over_hits.push_back(Hit{bx, by, bw, kWarnButtonH, hit_id::make(Kind::WarnBack), 0, ""});
    m_over_hits.push_back(Hit{ox, by, ow, kWarnButtonH, hit_id::make(Kind::WarnOk), 0, ""});
}

// ---- Drop-down menu ----

void App::open_menu(double x, double y, std::vector<MenuItem> items) {
    m_menu.open = true;
    m_menu.x = x;
    m_menu.y = y;
    m_menu.items = std::move(items);
    // No item is chosen until the pointer or a key picks one.
    m_over_hover.clear();
    m_tip_shown = false;
    m_menubar_open = -1;
    invalidate_over();
}

void App::paint_menu(cairo_t* cr) {
    const Palette& p = m_pal;
    double h = kMenuPad, w = kMenuMinW;
    for (const MenuItem& it : m_menu.items) {
        h += it.separator ? kMenuSep : kMenuRow;
        if (it.separator) continue;
        double iw = gfx::text_width(cr, it.label, 13, false) + 64;
        if (!it.shortcut.empty()) iw += gfx::text_width(cr, it.shortcut, 12, false) + 28;
        w = std::max(w, iw);
    }
    w = std::min(w, m_W - 12);
    const double x = std::min(m_menu.x, m_W - w - 6);
    double y = m_menu.y;
    if (y + h > m_H - 6) y = std::max(y - h, 6.0);

    gfx::rounded(cr, x, y + 4, w, h, 10);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.32);
    cairo_fill(cr);
    gfx::rounded(cr, x, y, w, h, 10);
    gfx::set(cr, p.surface2);
    cairo_fill_preserve(cr);
    gfx::set(cr, p.panel_edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    double row = y + 4;
    for (int i = 0; i < static_cast<int>(m_menu.items.size()); ++i) {
        const MenuItem& it = m_menu.items[i];
        if (it.separator) {
            cairo_rectangle(cr, x + 10, row + 4, w - 20, 1);
            gfx::set(cr, p.panel_edge);
            cairo_fill(cr);
            row += kMenuSep;
            continue;
        }
        const std::string id = hit_id::make(Kind::MenuItem, i);
        const bool hot = m_over_hover == id;
        if (hot) {
            gfx::rounded(cr, x + 4, row, w - 8, kMenuRow, 6);
            gfx::set(cr, p.chip_on);
            cairo_fill(cr);
        }
        const double cy = row + kMenuRow / 2;
        if (it.checked) gfx::check(cr, x + 19, cy, 5, hot ? p.chip_on_text : p.accent, 1.8);
        const double sw = it.shortcut.empty() ? 0 : gfx::text_width(cr, it.shortcut, 12, false) + 24;
        gfx::text(cr, it.label, x + 34, cy, hot ? p.chip_on_text : p.text, line_style(13, false, w - 48 - sw));
        if (!it.shortcut.empty())
            gfx::text(cr, it.shortcut, x + w - 14, cy, hot ? p.chip_on_text : p.dim,
                      line_style(12, false, 0, gfx::Align::Right));
        m_over_hits.push_back(Hit{x, row, w, kMenuRow, id, i, "", it.checked, false, it.label});
        row += kMenuRow;
    }
}

// ---- Tooltip ----

void App::paint_tooltip(cairo_t* cr) {
    const Hit* h = hit_at(m_mx, m_my, modal_or_menu());
    if (!h || h->tip.empty()) return;
    const std::string tip = h->tip;
    const Palette& p = m_pal;
    const double th = gfx::wrapped(cr, tip, 0, 0, kTipWrap, kTipSize, p.text, gfx::Align::Left, false, false);
    const double tw = gfx::text_width(cr, tip, kTipSize, false);
    const double bw = std::min(tw, kTipWrap) + 20;
    double x = m_mx + 14;
    if (x + bw > m_W) x = m_W - std::min(tw, kTipWrap) - 24;
    double y = m_my + 20;
    if (y + th + 14 > m_H) y = m_my - th - 20;
    // A pixel beyond the box, for the outline's antialiasing.
    over_uses(x - 1, y - 1, bw + 2, th + 16);
    gfx::rounded(cr, x, y, bw, th + 14, 7);
    gfx::set(cr, gfx::with_alpha(p.surface2, 0.98));
    cairo_fill_preserve(cr);
    gfx::set(cr, p.panel_edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    gfx::wrapped(cr, tip, x + 10, y + 7, std::min(tw, kTipWrap) + 1, kTipSize, p.text, gfx::Align::Left, false, true);
}
