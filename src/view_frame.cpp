// The frame around the scrolling page: the menu bar with its four menus,
// the graffiti banner, the header row with tabs, summary display and the two
// buttons, and the status bar. Painted into the base layer after the page,
// with a hit for everything clickable.
#include <algorithm>
#include <cmath>

#include "app.h"
#include "hit_id.h"
#include "format.h"
#include "l10n.h"
#include "version.h"
#include "view_main.h"

using hit_id::Kind;

namespace {

constexpr double kMenuBarH = 30;
constexpr double kMenuTitleX = 36;
constexpr double kMenuTitleSize = 13;
constexpr double kMenuTitlePad = 20;
constexpr double kMenuDropY = 28;
constexpr double kBannerShort = 64, kBannerTall = 96;
constexpr double kHeaderH = 54;
constexpr double kWideWindow = 900;
constexpr double kButtonSize = 38;
constexpr double kTabSizeMax = 13, kTabSizeMin = 10, kTabSizeStep = 0.5;
constexpr double kStatusText = 11.5;
constexpr double kScrollbarMinThumb = 30;
constexpr double kNoticeTint = 0.2, kNoticeIconX = 20, kNoticeIconR = 4, kNoticeTextX = 34, kNoticeText = 12.5;
constexpr double kNoticeCloseSide = 24, kNoticeCloseInset = 12, kNoticeCross = 4.5;
constexpr const char* kLevelTag = "RAID 0 \xC2\xB7 1 \xC2\xB7 5 \xC2\xB7 6 \xC2\xB7 10 \xC2\xB7 50 \xC2\xB7 60";
constexpr const char* kBannerText = "Quenlow's Raid Calculator";
constexpr const char* MENU_KEYS[] = {"mb.file", "mb.view", "mb.raid", "mb.help"};
constexpr int kMenus = 4;

Rgba bar_fill(bool dark) { return hex(dark ? "#0D0D0E" : "#E9E8E4"); }

// Frame texts are vertically centred on the y they are given.
gfx::TextStyle style(double size, bool bold, gfx::Align align = gfx::Align::Left, double max_w = 0,
                     bool fit = false) {
    return page::style(size, bold, align, max_w, true, fit);
}

}  // namespace

// ---- Segmented switch ----

int hovered_index(const std::string& hover, hit_id::Kind kind) {
    const hit_id::Id id = hit_id::parse(hover);
    return id.kind == kind ? id.n() : -1;
}

double segmented_width(cairo_t* cr, const std::vector<std::string>& labels, double size) {
    double w = 8;
    for (const auto& l : labels) w += gfx::text_width(cr, l, size, true) + 26;
    return w;
}

void segmented_bar(cairo_t* cr, double x, double y, double h, const std::vector<std::string>& labels,
                   int active, int hover, const Palette& p, double size, std::vector<Hit>* hits,
                   hit_id::Kind kind) {
    const double total = segmented_width(cr, labels, size);
    gfx::framed_box(cr, x, y, total, h, 9, p.slot, p.panel_edge, 1);
    double sx = x + 4;
    for (int i = 0; i < static_cast<int>(labels.size()); ++i) {
        const double w = gfx::text_width(cr, labels[i], size, true) + 26;
        if (i == active) {
            gfx::rounded(cr, sx, y + 3.5, w, h - 7, 6);
            cairo_pattern_t* g = cairo_pattern_create_linear(0, y + 3.5, 0, y + h - 3.5);
            const Rgba& c = p.chip_on;
            cairo_pattern_add_color_stop_rgba(g, 0, c.r, c.g, c.b, c.a);
            cairo_pattern_add_color_stop_rgba(g, 1, c.r * 0.8, c.g * 0.8, c.b * 0.8, c.a);
            cairo_set_source(cr, g);
            cairo_fill(cr);
            cairo_pattern_destroy(g);
        } else if (i == hover) {
            gfx::rounded(cr, sx, y + 3.5, w, h - 7, 6);
            gfx::set(cr, p.hover);
            cairo_fill(cr);
        }
        const Rgba& tc = i == active ? p.chip_on_text : i == hover ? p.text : p.dim;
        gfx::text(cr, labels[i], sx + w / 2, y + h / 2, tc, style(size, true, gfx::Align::Center));
        if (hits) hits->push_back(Hit{sx, y, w, h, hit_id::make(kind, i), i, "", i == active});
        sx += w;
    }
}

// ---- Menus ----

std::vector<App::MenuItem> App::menubar_items(int index) {
    std::vector<MenuItem> items;
    auto item = [&items](std::string label, std::function<void()> act, std::string shortcut = "",
                         bool checked = false) {
        items.push_back(MenuItem{std::move(label), std::move(act), std::move(shortcut), checked, false});
    };
    auto separator = [&items]() { items.push_back(MenuItem{"", nullptr, "", false, true}); };
    auto theme = [this](const char* t) { return [this, t] { set_theme(t); }; };
    switch (index) {
    case 0:
        item(L10n::tr("tip.copy"), [this] { copy_result(); }, "Ctrl+C");
        item(L10n::tr("mi.heal"), [this] { heal(); });
        item(L10n::tr("mi.reset"), [this] { ask_reset(); });
        separator();
        item(L10n::tr("mi.settings"), [this] { open_settings(0); }, "Ctrl+,");
        separator();
        item(L10n::tr("mini.quit"), [this] { m_running = false; }, "Ctrl+Q");
        break;
    case 1:
        item(L10n::tr("set.theme.auto"), theme("auto"), "", m_settings.theme == "auto");
        item(L10n::tr("set.theme.dark"), theme("dark"), "", m_settings.theme == "dark");
        item(L10n::tr("set.theme.light"), theme("light"), "", m_settings.theme == "light");
        separator();
        item(L10n::tr("set.animate"), [this] { toggle_animate(); }, "", m_settings.animate);
        item(L10n::tr("cfg.os_toggle"), [this] { toggle_os_sizes(); }, "", m_settings.os_sizes);
        separator();
        item(L10n::tr("tab.calc"), [this] { select_tab(0); }, "Ctrl+Tab", m_settings.tab == 0);
        if (has_guide())
            item(L10n::tr("tab.guide"), [this] { select_tab(1); }, "Ctrl+Tab", m_settings.tab == 1);
        break;
    case 2:
        for (int i = 0; i < raid::kLevelCount; ++i) {
            const raid::Level l = raid::kLevels[i];
            const std::string label = std::string(raid::name(l)) + "  \xE2\x80\x94  " +
                                      L10n::tr("lvl." + std::string(raid::key(l)) + ".short");
            item(label, [this, l] { set_level(l); }, "Ctrl+" + std::to_string(i + 1), m_cfg.level == l);
        }
        break;
    case 3:
        item(L10n::tr("mi.shortcuts"), [this] { open_settings(2); }, "F1");
        item(L10n::tr("mi.website"), [this] { open_url(product::kWebsite); });
        item(L10n::tr("mi.report"), [this] { open_url(std::string("mailto:") + product::kContact); });
        separator();
        item(L10n::tr("mi.about"), [this] { open_settings(1); });
        break;
    default:
        break;
    }
    return items;
}

void App::menubar_slot(cairo_t* cr, int index, double* x, double* w) const {
    double sx = kMenuTitleX;
    for (int i = 0; i < kMenus; ++i) {
        const double sw = gfx::text_width(cr, L10n::tr(MENU_KEYS[i]), kMenuTitleSize, false) + kMenuTitlePad;
        if (i == index) {
            *x = sx;
            *w = sw;
            return;
        }
        sx += sw;
    }
    *x = sx;
    *w = 0;
}

void App::open_menubar(int index) {
    if (index < 0 || index >= kMenus) return;
    // Measuring needs a context; a tiny scratch surface gives the same widths.
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(s);
    double x = 0, w = 0;
    menubar_slot(cr, index, &x, &w);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    open_menu(x, kMenuDropY, menubar_items(index));
    m_menubar_open = index;
    invalidate();
}

// ---- Header ----

App::HeaderSummary App::header_summary() const {
    HeaderSummary h;
    h.left = std::string(raid::name(m_cfg.level)) + "  \xC2\xB7  " + std::to_string(m_cfg.disks) + " \xC3\x97 " +
             fmt::bytes(m_cfg.disk_bytes);
    h.ok = m_res.ok();
    h.right = h.ok ? fmt::size(m_res.usable) + "  (" + fmt::size_other(m_res.usable) + ")" : L10n::tr("head.invalid");
    h.guide = has_guide();
    return h;
}

double App::header_row_top() const { return top_band() - kHeaderH; }

void App::invalidate_header() { m_chrome_damage.push_back(Damage{0, header_row_top(), m_W, kHeaderH}); }

void App::paint_header(cairo_t* cr, double W) {
    const Palette& p = m_pal;
    const bool dark = m_dark;

    // Menu bar.
    cairo_rectangle(cr, 0, 0, W, kMenuBarH);
    gfx::set(cr, bar_fill(dark));
    cairo_fill(cr);
    gfx::app_logo(cr, 18, 15, 9, p);
    for (int i = 0; i < kMenus; ++i) {
        double x = 0, w = 0;
        menubar_slot(cr, i, &x, &w);
        const bool open = m_menubar_open == i;
        const bool hot = m_hover == hit_id::make(Kind::MenuTitle, i);
        if (open || hot) {
            gfx::rounded(cr, x, 3, w, 24, 5);
            gfx::set(cr, open ? p.chip_on : p.hover);
            cairo_fill(cr);
        }
        gfx::text(cr, L10n::tr(MENU_KEYS[i]), x + 10, 15, open ? p.chip_on_text : p.text,
                  style(kMenuTitleSize, false));
        m_hits.push_back(Hit{x, 0, w, kMenuBarH, hit_id::make(Kind::MenuTitle, i), i, ""});
    }
    cairo_rectangle(cr, 0, kMenuBarH - 1, W, 1);
    gfx::set(cr, p.panel_edge);
    cairo_fill(cr);

    // Banner.
    const double B = m_H < kTallWindow ? kBannerShort : kBannerTall;
    gfx::wall(cr, 0, kMenuBarH, W, B, dark);
    const double tag_w = gfx::text_width(cr, kLevelTag, 12, true);
    double limit = W - 28;
    if (W > kWideWindow) limit -= tag_w + 40;
    gfx::graffiti(cr, kBannerText, 18, kMenuBarH + B / 2 + 1, 0.47 * B, limit, dark);
    if (W > kWideWindow)
        gfx::text(cr, kLevelTag, W - 22, kMenuBarH + B / 2,
                  dark ? Rgba{1, 1, 1, 0.28} : Rgba{0, 0, 0, 0.35}, style(12, true, gfx::Align::Right));
    cairo_rectangle(cr, 0, kMenuBarH + B - 1, W, 1);
    gfx::set(cr, Rgba{0, 0, 0, dark ? 0.6 : 0.18});
    cairo_fill(cr);

    // Header row.
    const double y0 = header_row_top();
    const double band = top_band();
    cairo_rectangle(cr, 0, y0, W, band - y0);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, y0, 0, band);
    cairo_pattern_add_color_stop_rgba(g, 0, p.panel_top.r, p.panel_top.g, p.panel_top.b, p.panel_top.a);
    cairo_pattern_add_color_stop_rgba(g, 1, p.bg_top.r, p.bg_top.g, p.bg_top.b, p.bg_top.a);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    const double cy = y0 + kHeaderH / 2;

    gfx::device_button(cr, W - 54, cy - 19, kButtonSize, 0, m_hover == hit_id::make(Kind::Settings), p);
    m_hits.push_back(Hit{W - 54, cy - 19, kButtonSize, kButtonSize, hit_id::make(Kind::Settings), 0, L10n::tr("tip.settings")});

    const double copy_x = W - 100;
    if (m_copied_until != 0 && m_copied_cmd < 0) {
        gfx::rounded(cr, copy_x, cy - 19, kButtonSize, kButtonSize, 8);
        gfx::set(cr, p.chip_on);
        cairo_fill(cr);
        gfx::check(cr, copy_x + kButtonSize / 2, cy, 8, p.chip_on_text, 2.4);
    } else {
        gfx::device_button(cr, copy_x, cy - 19, kButtonSize, 1, m_hover == hit_id::make(Kind::CopyResult), p);
    }
    m_hits.push_back(Hit{copy_x, cy - 19, kButtonSize, kButtonSize, hit_id::make(Kind::CopyResult), 0,
                         L10n::tr("tip.copy") + "  (Ctrl+C)"});

    // Tabs, shrunk until they leave room for the buttons.
    const std::vector<std::string> tabs = {L10n::tr("tab.calc"), L10n::tr("tab.guide")};
    double size = kTabSizeMax;
    while (size > kTabSizeMin && 18 + segmented_width(cr, tabs, size) > copy_x - 20)
        size = std::max(kTabSizeMin, size - kTabSizeStep);
    const int hover_tab = hovered_index(m_hover, Kind::Tab);
    std::vector<Hit> tab_hits;
    const int tab = std::clamp(m_settings.tab, 0, 1);
    segmented_bar(cr, 18, cy - 17, 34, tabs, tab, hover_tab, p, size, &tab_hits, Kind::Tab);
    for (Hit& h : tab_hits) h.tip = "Ctrl+Tab";
    if (!has_guide() && tab_hits.size() == 2) {
        Hit& h = tab_hits[1];
        gfx::rounded(cr, h.x + 1, h.y + 3.5, h.w - 2, h.h - 7, 6);
        gfx::set(cr, gfx::with_alpha(p.slot, 0.78));
        cairo_fill(cr);
        h.id = hit_id::make(Kind::TabOff);
        h.tip = L10n::tr("tab.guide_off");
    }
    const double tabs_right = 18 + segmented_width(cr, tabs, size);
    for (Hit& h : tab_hits) m_hits.push_back(std::move(h));

    // Summary display, only where it fits beside the tabs.
    const HeaderSummary summary = header_summary();
    const std::string& left = summary.left;
    const std::string& right = summary.right;
    const double lw = gfx::text_width(cr, left, 14, true);
    const double dw = gfx::text_width(cr, right, 15, true) + lw + 76;
    if (copy_x - 14 >= 16 + tabs_right + dw) {
        const double dx = copy_x - 14 - dw;
        gfx::display(cr, dx, cy - 19, dw, 38, p, false);
        gfx::text(cr, left, dx + 16, cy, p.text, style(14, true));
        const double a0 = dx + 16 + lw + 14, a1 = a0 + 18;
        gfx::set(cr, p.dim);
        cairo_set_line_width(cr, 1.8);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_move_to(cr, a0, cy);
        cairo_line_to(cr, a1, cy);
        cairo_move_to(cr, a1 - 6, cy - 5);
        cairo_line_to(cr, a1, cy);
        cairo_line_to(cr, a1 - 6, cy + 5);
        cairo_stroke(cr);
        gfx::text(cr, right, dx + dw - 16, cy, summary.ok ? p.down : p.err, style(15, true, gfx::Align::Right));
    }

    cairo_rectangle(cr, 0, band - 1, W, 1);
    gfx::set(cr, p.panel_edge);
    cairo_fill(cr);
}

// ---- Notice bar ----

void App::paint_notice(cairo_t* cr, double W, double y) {
    const Palette& p = m_pal;
    const double cy = y + kNoticeH / 2;
    cairo_rectangle(cr, 0, y, W, kNoticeH);
    gfx::set(cr, p.bg_top);
    cairo_fill(cr);
    cairo_rectangle(cr, 0, y, W, kNoticeH);
    gfx::set(cr, gfx::with_alpha(p.warn, kNoticeTint));
    cairo_fill(cr);
    cairo_rectangle(cr, 0, y + kNoticeH - 1, W, 1);
    gfx::set(cr, p.panel_edge);
    cairo_fill(cr);
    gfx::dot(cr, kNoticeIconX, cy, kNoticeIconR, p.warn);
    const double close_x = W - kNoticeCloseInset - kNoticeCloseSide;
    fit_label(cr, L10n::tr(m_notices.front()), kNoticeTextX, cy, p.text,
              style(kNoticeText, false, gfx::Align::Left, std::max(10.0, close_x - kNoticeTextX - 12)));
    const std::string id = hit_id::make(Kind::NoticeClose);
    const bool hot = m_hover == id;
    const double by = cy - kNoticeCloseSide / 2;
    gfx::framed_box(cr, close_x, by, kNoticeCloseSide, kNoticeCloseSide, 6, hot ? p.button_hot : p.button,
                    hot ? gfx::with_alpha(p.accent, 0.7) : p.panel_edge, 1);
    gfx::cross(cr, close_x + kNoticeCloseSide / 2, cy, kNoticeCross, hot ? p.text_strong : p.text, 1.6);
    m_hits.push_back(Hit{close_x, by, kNoticeCloseSide, kNoticeCloseSide, id, 0, L10n::tr("note.close")});
}

// ---- Scroll bar ----

void App::paint_scrollbar(cairo_t* cr, double top, double view) {
    const int tab = std::clamp(m_settings.tab, 0, 1);
    // A page that became shorter keeps its offset for now (see scroll_page):
    // the bar then counts the gap below the content as content.
    const double content = std::max(m_content_h[tab], m_scroll[tab] + view);
    if (!(content > view + 1 && view > 0)) return;
    const double t = view * view / content;
    const double thumb = t <= kScrollbarMinThumb ? kScrollbarMinThumb - 4 : t - 4;
    const double y = top + 2 + m_scroll[tab] / (content - view) * (view - std::max(t, kScrollbarMinThumb));
    gfx::rounded(cr, m_W - 9, y, 5, thumb, 2.5);
    gfx::set(cr, gfx::with_alpha(m_pal.faint, 0.55));
    cairo_fill(cr);
}

// ---- Status bar ----

void App::paint_statusbar(cairo_t* cr, double W, double y) {
    const Palette& p = m_pal;
    cairo_rectangle(cr, 0, y, W, kStatusBarH);
    gfx::set(cr, bar_fill(m_dark));
    cairo_fill(cr);
    cairo_rectangle(cr, 0, y, W, 1);
    gfx::set(cr, p.panel_edge);
    cairo_fill(cr);

    const std::string version = std::string("v") + product::kVersion + " (" + product::kBuild + ")";
    const double vw = gfx::text(cr, version, W - 14, y + 13.5, p.dim, style(kStatusText, false, gfx::Align::Right));
    cairo_rectangle(cr, W - 14 - vw - 14, y + 6, 1, 14);
    gfx::set(cr, p.panel_edge);
    cairo_fill(cr);

    const bool copied = m_copied_until != 0;
    fit_label(cr, L10n::tr(copied ? "status.copied" : "status.estimate"), 14, y + 13.5, copied ? p.ok : p.dim,
              style(kStatusText, false, gfx::Align::Left, W - vw - 60, true));
}
