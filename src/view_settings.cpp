// The settings overlay with its General, About and Keyboard shortcuts tabs
// and the language list painted over it. The tab content scrolls inside a
// clipped area; hits that scroll fully out of sight are disabled. What a
// click on them does is in app_actions.cpp.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app.h"
#include "app_scale.h"
#include "format.h"
#include "hit_id.h"
#include "l10n.h"
#include "view_main.h"
#include "logger.h"
#include "version.h"
#include "zxcrash.h"

using hit_id::Kind;

namespace {

constexpr double kDim = 0.45, kLangDim = 0.35;
constexpr double kHoverLift = 0.08;
constexpr double kPanelMaxW = 860, kPanelMaxH = 660, kPanelMargin = 40;
constexpr double kLangMaxW = 860, kLangMaxH = 600, kLangMargin = 60;
constexpr double kInset = 28;
constexpr double kContentTop = 70, kContentBottom = 74;
constexpr double kTabSize = 12.5, kTabSizeMin = 10, kTabH = 32, kTitleMinW = 120;
constexpr double kValueColumn = 240, kLangButtonMaxW = 300;
constexpr double kHeadingGap = 30;
constexpr double kLangRow = 46, kThemeRowGap = 44, kSectionGap = 26;
constexpr double kThumbW = 5, kThumbMinH = 30;
constexpr double kZoomButton = 34, kZoomValueW = 76, kZoomH = 30;
constexpr double kKeyRow = 34, kKeyCapMaxW = 210, kKeyCapH = 26;
constexpr double kLangCellMinW = 200, kLangCellH = 30, kLangGridTop = 56, kLangGridPad = 20;
constexpr double kLogoWell = 88, kLogoR = 36, kIdentSize = 24;
constexpr double kWrapGap = 10;
constexpr const char* kLegal = "\xC2\xA9 2026 zxQuenlows. All rights reserved.";
// What the program links and under which licence each part is used.
constexpr const char* kComponents =
    "libsodium \xE2\x80\x94 ISC \xC2\xB7 SDL2 \xE2\x80\x94 zlib \xC2\xB7 Cairo, Pango, GLib \xE2\x80\x94 LGPL "
    "\xC2\xB7 HarfBuzz \xE2\x80\x94 MIT";
constexpr const char* kLinuxSection = "#linux-zxquenlowsraidcalculator";

std::string without_scheme(std::string url) {
    const size_t s = url.find("://");
    if (s != std::string::npos) url = url.substr(s + 3);
    if (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

// Width of the rainbow lettering at `size`, measured on a scratch surface.
double rainbow_width(const std::string& s, double size) {
    cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surf);
    const double w = gfx::rainbow_text(cr, s, 0, 0, size, false);
    cairo_destroy(cr);
    cairo_surface_destroy(surf);
    return w;
}

void scroll_thumb(cairo_t* cr, double x, double top, double view, double content, double offset,
                  const Palette& p) {
    if (content <= view || view <= 0) return;
    const double h = std::max(kThumbMinH, view * view / content);
    const double y = top + (view - h) * std::clamp(offset / (content - view), 0.0, 1.0);
    gfx::rounded(cr, x, y, kThumbW, h, kThumbW / 2);
    gfx::set(cr, gfx::with_alpha(p.faint, 0.55));
    cairo_fill(cr);
}

// Hits from `first` on that lie wholly outside [top, bottom) are hidden:
// not clickable, but the keyboard can still reach them and scroll them in.
void disable_hidden(std::vector<Hit>& hits, size_t first, double top, double bottom) {
    for (size_t i = first; i < hits.size(); ++i)
        if (hits[i].y + hits[i].h <= top || hits[i].y >= bottom) hits[i].hidden = true;
}

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

// ---- Settings panel ----

void App::paint_settings(cairo_t* cr, double W, double H) {
    const Palette& p = m_pal;
    dim_window(cr, W, H, kDim);
    const double pw = std::min(W - kPanelMargin, kPanelMaxW), ph = std::min(H - kPanelMargin, kPanelMaxH);
    const double px = (W - pw) / 2, py = (H - ph) / 2;
    modal_panel(cr, px, py, pw, ph, p);
    m_over_hits.push_back(Hit{px, py, pw, ph, hit_id::make(Kind::SetPanel), 0, ""});

    // Header: the tab bar at the right shrinks before it crowds out the title.
    const std::vector<std::string> tabs = {L10n::tr("set.tab.general"), L10n::tr("set.tab.about"),
                                           L10n::tr("mi.shortcuts")};
    double ts = kTabSize;
    while (ts > kTabSizeMin && segmented_width(cr, tabs, ts) > pw - 2 * kInset - kTitleMinW) ts -= 0.5;
    const Mirror m{px, px + pw, L10n::isRTL()};
    const double tw = segmented_width(cr, tabs, ts);
    segmented_bar(cr, m.x(px + pw - kInset - tw, tw), py + 18, kTabH, tabs, m_set_tab,
                  hovered_index(m_over_hover, Kind::SetTab), p, ts, &m_over_hits, Kind::SetTab);
    gfx::text(cr, L10n::tr("tip.settings"), m.text_x(px + kInset), py + 34, p.text_strong,
              line_style(19, true, pw - tw - 70, m.start()));

    // Content, clipped and scrolled.
    const double left = px + kInset, cw = pw - 2 * kInset, top = py + kContentTop;
    m_set_view_top = top;
    m_set_view_h = ph - kContentTop - kContentBottom;
    const size_t first = m_over_hits.size();
    cairo_save(cr);
    cairo_rectangle(cr, left - 4, top, cw + 8, m_set_view_h);
    cairo_clip(cr);
    const double y0 = top - m_set_scroll;
    double bottom = y0;
    if (m_set_tab == 0)
        bottom = paint_settings_general(cr, left, y0, cw);
    else if (m_set_tab == 1)
        bottom = paint_settings_about(cr, left, y0, cw);
    else
        bottom = paint_settings_keys(cr, left, y0, cw);
    cairo_restore(cr);
    m_set_content_h = bottom + m_set_scroll - top;
    disable_hidden(m_over_hits, first, top, top + m_set_view_h);
    scroll_thumb(cr, m.x(left + cw + 8, kThumbW), top, m_set_view_h, m_set_content_h, m_set_scroll, p);

    const std::string close = L10n::tr("btn.close");
    const double bw = std::max(gfx::text_width(cr, close, 12.5, true) + 40, 120.0);
    const double bx = m.x(px + pw - 22 - bw, bw), by = py + ph - 22 - 38;
    button(cr, bx, by, bw, 38, close, true, m_over_hover == hit_id::make(Kind::SetClose), p);
    m_over_hits.push_back(Hit{bx, by, bw, 38, hit_id::make(Kind::SetClose), 0, ""});
}

double App::settings_heading(cairo_t* cr, const std::string& label, double x, double y, double w) {
    const Mirror m{x, x + w, L10n::isRTL()};
    const double tw = gfx::text(cr, label, m.text_x(x), y + 8, m_pal.accent, line_style(12.5, true, w - 40, m.start()));
    const double rw = std::max(0.0, w - tw - 12);
    cairo_rectangle(cr, m.x(x + tw + 12, rw), y + 8, rw, 1);
    gfx::set(cr, m_pal.panel_edge);
    cairo_fill(cr);
    return y + kHeadingGap;
}

double App::settings_switch(cairo_t* cr, const std::string& id, const std::string& label,
                            const std::string& note, bool on, double x, double y, double w) {
    const Palette& p = m_pal;
    Rgba track = on ? p.ok : hex(p.dark ? "#4A4846" : "#A5A29C");
    if (m_over_hover == id)
        track = page::lift(track, kHoverLift);
    const Mirror m{x, x + w, L10n::isRTL()};
    gfx::rounded(cr, m.x(x, 40), y, 40, 22, 11);
    gfx::set(cr, track);
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_arc(cr, m.text_x(on ? x + 40 - 11 : x + 11), y + 11, 8, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
    gfx::text(cr, label, m.text_x(x + 54), y + 11, p.text, line_style(13, false, w - 60, m.start()));
    double h = 26;
    if (!note.empty())
        h = 26 + gfx::wrapped(cr, note, m.x(x + 54, w - 60), y + 26, w - 60, 11.5, p.dim, gfx::Align::Left, false, true);
    m_over_hits.push_back(Hit{x, y - 2, w, 26, id, 0, "", on, false, label});
    return y + h;
}

double App::paint_settings_general(cairo_t* cr, double left, double y, double cw) {
    const Palette& p = m_pal;
    const Mirror m{left, left + cw, L10n::isRTL()};
    // The value column moves below its label when the panel is too narrow for both.
    const double value_x = cw >= 2 * kValueColumn ? left + kValueColumn : left;
    const double label_w = value_x > left ? kValueColumn - 10 : cw;

    y = settings_heading(cr, L10n::tr("set.language"), left, y, cw);
    gfx::text(cr, L10n::tr("set.language"), m.text_x(left), y + 16, p.text, line_style(13, false, label_w, m.start()));
    const double lrow = value_x > left ? y : y + 28;
    const double lw = std::min(cw - (value_x - left), kLangButtonMaxW);
    std::string current = L10n::tr("set.lang.auto");
    for (const L10n::LanguageInfo& l : L10n::available())
        // After a failed start the window runs in English whatever was chosen:
        // the button says what the window speaks.
        if (l.code == (L10n::fallbackActive() ? L10n::currentLanguage() : m_settings.language))
            current = l.native_name;
    const double lx = m.x(value_x, lw);
    gfx::rounded(cr, lx, lrow, lw, 32, 8);
    gfx::set(cr, m_over_hover == hit_id::make(Kind::SetLanguage) ? p.button_hot : p.slot);
    cairo_fill_preserve(cr);
    gfx::set(cr, p.panel_edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    gfx::text(cr, current, m.text_x(value_x + 12), lrow + 16, p.text, line_style(13, false, lw - 40, m.start()));
    const double cx = m.text_x(value_x + lw - 18), cy = lrow + 16;
    cairo_move_to(cr, cx - 5, cy - 2.5);
    cairo_line_to(cr, cx, cy + 2.5);
    cairo_line_to(cr, cx + 5, cy - 2.5);
    gfx::set(cr, p.dim);
    cairo_set_line_width(cr, 1.6);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
    m_over_hits.push_back(Hit{lx, lrow, lw, 32, hit_id::make(Kind::SetLanguage), 0, ""});
    y = lrow + kLangRow;

    y = settings_heading(cr, L10n::tr("set.display"), left, y, cw);
    gfx::text(cr, L10n::tr("set.theme"), m.text_x(left), y + 15, p.text, line_style(13, false, label_w, m.start()));
    const std::vector<std::string> themes = {L10n::tr("set.theme.auto"), L10n::tr("set.theme.dark"),
                                             L10n::tr("set.theme.light")};
    const int active = m_settings.theme == "dark" ? 1 : m_settings.theme == "light" ? 2 : 0;
    double ss = 12.5;
    while (ss > kTabSizeMin && segmented_width(cr, themes, ss) > cw) ss -= 0.5;
    const double sw = segmented_width(cr, themes, ss);
    const bool beside = value_x > left && sw <= cw - kValueColumn;
    const double srow = beside ? y : y + 26;
    segmented_bar(cr, m.x(beside ? value_x : left, sw), srow, 30, themes, active,
                  hovered_index(m_over_hover, Kind::SetTheme), p, ss, &m_over_hits, Kind::SetTheme);
    y = srow + kThemeRowGap;
    y = settings_zoom(cr, left, y, cw, value_x, label_w) + kThemeRowGap;
    y = settings_switch(cr, hit_id::make(Kind::SetAnimate), L10n::tr("set.animate"), L10n::tr("set.animate_note"),
                        m_settings.animate, left, y, cw) + kSectionGap;

    // Turning the guide warning back on after "Do not show this again".
    y = settings_heading(cr, L10n::tr("tab.guide"), left, y, cw);
    y = settings_switch(cr, hit_id::make(Kind::SetGuideWarn), L10n::tr("g.warn.again"), L10n::tr("g.warn.title"),
                        !m_settings.guide_warn, left, y, cw) + kSectionGap;

    y = settings_heading(cr, L10n::tr("set.calc"), left, y, cw);
    y += gfx::wrapped(cr, L10n::tr("set.calc_text"), left, y, cw, 12.5, p.dim, gfx::Align::Left, false, true) + 12;
    const std::string reset = L10n::tr("mi.reset");
    const double rw = std::min(gfx::text_width(cr, reset, 12.5, true) + 36, cw);
    button(cr, m.x(left, rw), y, rw, 34, reset, false, m_over_hover == hit_id::make(Kind::SetReset), p);
    m_over_hits.push_back(Hit{m.x(left, rw), y, rw, 34, hit_id::make(Kind::SetReset), 0, ""});
    return y + 34 + 8;
}

double App::settings_zoom(cairo_t* cr, double left, double y, double cw, double value_x, double label_w) {
    const Palette& p = m_pal;
    const Mirror m{left, left + cw, L10n::isRTL()};
    gfx::text(cr, L10n::tr("set.zoom"), m.text_x(left), y + 15, p.text, line_style(13, false, label_w, m.start()));
    // Below its label when the panel is too narrow for the value column.
    const double row = value_x > left ? y : y + 26;
    const int zoom = zoom_percent();
    const struct {
        const char* dir;
        const char* label;
        double x;
        bool can;
    } buttons[] = {{"minus", "\xE2\x88\x92", value_x, zoom > scale::kZoomMin},
                   {"plus", "+", value_x + kZoomButton + kZoomValueW, zoom < std::min(m_zoom_cap, scale::kZoomMax)}};
    for (const auto& b : buttons) {
        const std::string id = hit_id::make(Kind::SetZoom, b.dir);
        const double bx = m.x(b.x, kZoomButton);
        button(cr, bx, row, kZoomButton, kZoomH, b.label, false, b.can && m_over_hover == id, p);
        if (!b.can) {
            // At its limit the button stays in place but looks spent.
            gfx::rounded(cr, bx, row, kZoomButton, kZoomH, 8);
            gfx::set(cr, gfx::with_alpha(p.slot, 0.6));
            cairo_fill(cr);
        }
        const std::string keys = std::string("Ctrl+") + b.label;
        m_over_hits.push_back(Hit{bx, row, kZoomButton, kZoomH, id, 0, L10n::tr("keys.zoom") + "  (" + keys + ")"});
    }
    gfx::text(cr, fmt::percent(zoom / 100.0), m.x(value_x + kZoomButton, kZoomValueW) + kZoomValueW / 2, row + kZoomH / 2,
              p.text, line_style(13, true, kZoomValueW - 8, gfx::Align::Center));
    return row;
}

double App::paint_settings_about(cairo_t* cr, double left, double y, double cw) {
    const Palette& p = m_pal;
    const double mid = left + cw / 2;
    auto centred_block = [&](const std::string& s, double size, const Rgba& c, bool bold) {
        const double h = gfx::wrapped(cr, s, left, y, cw, size, c, gfx::Align::Center, bold, true);
        y += h + kWrapGap;
    };
    auto heading = [&](const std::string& s) {
        y += 8;
        gfx::text(cr, s, mid, y + 8, p.accent, line_style(12.5, true, cw, gfx::Align::Center));
        y += 24;
    };

    gfx::display(cr, mid - kLogoWell / 2, y, kLogoWell, kLogoWell, p, false);
    gfx::app_logo(cr, mid, y + kLogoWell / 2, kLogoR, p);
    y += kLogoWell + 12;

    double size = kIdentSize;
    const double iw = rainbow_width(product::kName, size);
    if (iw > cw) size *= cw / iw;
    const double w = std::min(iw, cw);
    gfx::rainbow_text(cr, product::kName, mid - w / 2, y + 16, size, p.dark);
    y += 38;

    gfx::text(cr, L10n::tr("about.version", product::kVersion, product::kBuild), mid, y + 8, p.dim,
              line_style(12.5, false, cw, gfx::Align::Center));
    y += 28;
    centred_block(L10n::tr("about.comment"), 13, p.text, false);
    gfx::text(cr, kLegal, mid, y + 8, p.dim, line_style(11.5, false, cw, gfx::Align::Center));
    y += 28;

    // "Report a problem:" and the address as a link; the address reads first
    // in right-to-left languages.
    const std::string label = L10n::tr("about.report") + "  ";
    const std::string mail = product::kContact;
    const double lw = gfx::text_width(cr, label, 12.5, false), mw = gfx::text_width(cr, mail, 12.5, false);
    const double scale = lw + mw > cw ? cw / (lw + mw) : 1;
    const double x0 = mid - (lw + mw) * scale / 2;
    const double mx = L10n::isRTL() ? x0 : x0 + lw * scale, lx = L10n::isRTL() ? x0 + mw * scale : x0;
    gfx::text(cr, label, lx, y + 9, p.text, line_style(12.5, false, lw * scale));
    gfx::text(cr, mail, mx, y + 9, p.accent, line_style(12.5, false, mw * scale));
    m_over_hits.push_back(Hit{mx, y, mw * scale, 18, hit_id::make(Kind::SetLink, "mailto:" + mail), 0, ""});
    y += 26;
    const std::string site = without_scheme(product::kWebsite);
    const double sw = gfx::text(cr, site, mid, y + 9, p.accent, line_style(12.5, false, cw, gfx::Align::Center));
    m_over_hits.push_back(Hit{mid - sw / 2, y, sw, 18, hit_id::make(Kind::SetLink, product::kWebsite), 0, ""});
    y += 34;

    // The other ways to install, in a framed box.
    const double bx = left + 20, bw = cw - 40;
    const std::string formats = L10n::tr("about.formats");
    const std::string linux_url = std::string(product::kWebsite) + kLinuxSection;
    const double fh = gfx::wrapped(cr, formats, 0, 0, bw - 28, 12.5, p.text, gfx::Align::Center, false, false);
    const double box_h = 14 + fh + 8 + 20 + 12;
    gfx::rounded(cr, bx, y, bw, box_h, 10);
    gfx::set(cr, p.slot);
    cairo_fill_preserve(cr);
    gfx::set(cr, p.panel_edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    gfx::wrapped(cr, formats, bx + 14, y + 14, bw - 28, 12.5, p.text, gfx::Align::Center, false, true);
    const double ly = y + 14 + fh + 8;
    const double uw = gfx::text(cr, without_scheme(linux_url), mid, ly + 10, p.accent,
                                line_style(12.5, false, bw - 28, gfx::Align::Center));
    m_over_hits.push_back(Hit{mid - uw / 2, ly, uw, 20, hit_id::make(Kind::SetLink, linux_url), 0, ""});
    y += box_h + 16;

    // Found once per process: repaints on hover do not read the package databases again.
    centred_block(L10n::tr("about.package", zxcrash::package_line().c_str()), 12.5, p.dim, false);

    heading(L10n::tr("about.third_party"));
    centred_block(kComponents, 11.5, p.dim, false);
    heading(L10n::tr("about.disclaimer.title"));
    centred_block(L10n::tr("about.disclaimer.text"), 11.5, p.dim, false);
    return y - kWrapGap;
}

double App::paint_settings_keys(cairo_t* cr, double left, double y, double cw) {
    const Palette& p = m_pal;
    const std::pair<std::string, std::string> rows[] = {
        {"Ctrl+1 \xE2\x80\xA6 Ctrl+9", L10n::tr("keys.levels")},
        {"+  /  \xE2\x88\x92", L10n::tr("keys.disks")},
        {L10n::tr("keys.wheel"), L10n::tr("keys.wheel_text")},
        {L10n::tr("keys.click"), L10n::tr("keys.click_text")},
        {"Ctrl+C", L10n::tr("tip.copy")},
        {"Ctrl+,", L10n::tr("tip.settings")},
        {"Ctrl++  /  Ctrl+\xE2\x88\x92", L10n::tr("keys.zoom")},
        {"Ctrl+0", L10n::tr("keys.zoom_reset")},
        {"F1", L10n::tr("mi.shortcuts")},
        {"Tab  /  Shift+Tab", L10n::tr("keys.tab")},
        {"Space  /  Enter", L10n::tr("keys.activate")},
        {"F10", L10n::tr("keys.menu")},
        {"Esc", L10n::tr("keys.close")},
        {"Ctrl+Q", L10n::tr("mini.quit")},
    };
    const Mirror m{left, left + cw, L10n::isRTL()};
    const double kw = std::min(0.4 * cw, kKeyCapMaxW);
    const double dx = left + kw + 20, dw = cw - kw - 20;
    for (const auto& [cap, text] : rows) {
        gfx::rounded(cr, m.x(left, kw), y, kw, kKeyCapH, 6);
        gfx::set(cr, p.slot);
        cairo_fill(cr);
        gfx::text(cr, cap, m.x(left, kw) + kw / 2, y + kKeyCapH / 2, p.text, line_style(13, true, kw - 10, gfx::Align::Center));
        // A description too long for one line wraps and pushes the next row down.
        const double h = gfx::wrapped(cr, text, 0, 0, dw, 13, p.text, gfx::Align::Left, false, false);
        gfx::wrapped(cr, text, m.x(dx, dw), y + std::max(0.0, (kKeyCapH - h) / 2), dw, 13, p.text, gfx::Align::Left, false,
                     true);
        y += std::max(kKeyRow, h + 12);
    }
    return y - (kKeyRow - kKeyCapH);
}

// ---- Language list ----

void App::paint_languages(cairo_t* cr, double W, double H) {
    const Palette& p = m_pal;
    // The settings panel beneath is only a backdrop: none of its controls
    // may react while the list is open.
    m_over_hits.clear();
    dim_window(cr, W, H, kLangDim);
    const double pw = std::min(W - kLangMargin, kLangMaxW), ph = std::min(H - kLangMargin, kLangMaxH);
    const double px = (W - pw) / 2, py = (H - ph) / 2;
    modal_panel(cr, px, py, pw, ph, p);
    m_over_hits.push_back(Hit{px, py, pw, ph, hit_id::make(Kind::LangPanel), 0, ""});
    const Mirror pm{px, px + pw, L10n::isRTL()};
    gfx::text(cr, L10n::tr("set.language"), pm.text_x(px + 24), py + 28, p.text_strong,
              line_style(16, true, pw - 48, pm.start()));

    std::vector<std::pair<std::string, std::string>> entries = {{"auto", L10n::tr("set.lang.auto")}};
    for (const L10n::LanguageInfo& l : L10n::available()) entries.emplace_back(l.code, l.native_name);
    const double gx = px + kLangGridPad, gw = pw - 2 * kLangGridPad;
    const Mirror m{gx, gx + gw, pm.rtl};
    const double top = py + kLangGridTop, view = ph - kLangGridTop - kLangGridPad;
    const int cols = std::max(1, static_cast<int>(std::floor(gw / kLangCellMinW)));
    const int rows = (static_cast<int>(entries.size()) + cols - 1) / cols;
    const double content = rows * kLangCellH, colw = gw / cols;
    m_lang_content_h = content;
    m_lang_view_h = view;
    m_lang_view_top = top;

    cairo_save(cr);
    cairo_rectangle(cr, gx, top, gw, view);
    cairo_clip(cr);
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const double cx = m.x(gx + (i % cols) * colw, colw), cy = top + (i / cols) * kLangCellH - m_lang_scroll;
        const std::string id = hit_id::make(Kind::Language, entries[i].first);
        const bool on = m_settings.language == entries[i].first, hot = m_over_hover == id;
        if (cy + kLangCellH <= top || cy >= top + view) {
            // Out of sight: only the keyboard reaches it, scrolling it in.
            Hit hidden{cx, cy, colw, kLangCellH, id, 0, ""};
            hidden.on = on;
            hidden.hidden = true;
            hidden.name = entries[i].second;
            m_over_hits.push_back(hidden);
            continue;
        }
        if (on || hot) {
            gfx::rounded(cr, cx + 2, cy + 1, colw - 4, kLangCellH - 2, 6);
            gfx::set(cr, on ? p.chip_on : p.hover);
            cairo_fill(cr);
        }
        gfx::text(cr, entries[i].second, m.rtl ? cx + colw - 10 : cx + 10, cy + kLangCellH / 2,
                  on ? p.chip_on_text : p.text, line_style(13, false, colw - 20, m.start()));
        const double hy = std::max(cy, top), hb = std::min(cy + kLangCellH, top + view);
        Hit h{cx, hy, colw, hb - hy, id, 0, ""};
        h.on = on;
        h.name = entries[i].second;
        m_over_hits.push_back(h);
    }
    cairo_restore(cr);
    scroll_thumb(cr, pm.x(px + pw - 12, kThumbW), top, view, content, m_lang_scroll, p);
}
