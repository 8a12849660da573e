// The calculator page: the composer that places the five panels in one or
// two columns, the panel frame, the two input widgets (stepper and chip) and
// the configuration panel. Painting only reads state and registers hits.
#include <algorithm>
#include <cmath>
#include <utility>
#include <pango/pangocairo.h>

#include "app.h"
#include "hit_id.h"
#include "format.h"
#include "l10n.h"
#include "view_main.h"

using hit_id::Kind;

namespace {

using page::lift;
using page::style;

// Page composition.
constexpr double kMargin = 16;
constexpr double kGap = 14;
constexpr double kTwoColumnsFrom = 1060;  // content width
constexpr double kLeftShare = 0.34, kLeftMin = 390, kLeftMax = 480;

// Panel frame.
constexpr double kBodyTop = 50;
constexpr double kBodyBottomPad = 22;
constexpr double kTitleInset = 26;
constexpr double kTitleSize = 15, kRightSize = 12.5;
constexpr double kTitleGap = 12;

// Configuration panel.
constexpr double kInset = 24;
constexpr double kCaption = 11.5;
constexpr double kRowCaption = 18;
constexpr double kCapStepperH = 54, kCountStepperH = 46, kSpeedStepperH = 44;
constexpr double kUnitSize = 12.5, kUnitGap = 6;
constexpr double kAfterSpeeds = 78, kFigureRow = 54, kFigureEnd = 10;
constexpr int kUreChips = 4, kFirstUreChip = 14;  // 10^14 … 10^17
constexpr double kValuePad = 4;  // between the value and a button
constexpr double kLineShare = 1.4;  // a line's height for its font size
constexpr double kChipH = 28, kChipRow = 34, kChipGap = 6;
constexpr double kPresetColumnsWide = 5, kPresetColumnsNarrow = 3, kPresetWideFrom = 380;
constexpr double SSD[] = {256, 512, 960, 1920, 3840, 7680, 15360, 30720, 61440};
constexpr double HDD[] = {1000, 2000, 4000, 8000, 12000, 16000, 20000, 24000, 30000};
constexpr int kPresets = 9;

void caption(cairo_t* cr, const std::string& s, double x, double row_y, double max_w, const Palette& p,
             const Rgba* color = nullptr) {
    gfx::text(cr, s, x, row_y + 6, color ? *color : p.dim, style(kCaption, true, gfx::Align::Left, max_w, true, true));
}

bool ssd_like(const std::string& type) { return type == "ssd" || type.rfind("nvme", 0) == 0; }

}  // namespace

// ---- Panel frame ----

double rack_section(cairo_t* cr, double x, double y, double w, const std::string& title, int seed,
                    const Palette& p, const std::function<double(double)>& body, const std::string& right,
                    const Rgba* right_color, PanelMemory& memory) {
    PanelMemory::Frame spare;
    PanelMemory::Frame& last = seed >= 0 && seed < PanelMemory::kPanels ? memory.frames[seed] : spare;
    // A panel painted before is framed at its last height and asks for one
    // more pass if its body now ends elsewhere (a resize rewraps texts).
    // Only a first painting measures the body in a group of its own first:
    // such a group is as large as the view, and making one for every panel
    // cost more than the second pass.
    const bool known = last.h > 0;
    double cx0, cy0, cx1, cy1;
    cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
    auto clip_to_columns = [&] {
        cairo_save(cr);
        cairo_rectangle(cr, x, y, w, std::max(0.0, cy1 - y));
        cairo_clip(cr);
    };
    cairo_pattern_t* content = nullptr;
    double h = last.h;
    if (known) {
        gfx::rack(cr, x, y, w, h, p, p.accent, false, seed, false);
    } else {
        // The group is as large as the clip, so the clip first shrinks to
        // the panel's columns and what lies below its top.
        clip_to_columns();
        cairo_push_group(cr);
        h = body(y + kBodyTop) - y + kBodyBottomPad;
        content = cairo_pop_group(cr);
        cairo_restore(cr);
        gfx::rack(cr, x, y, w, h, p, p.accent, false, seed, false);
    }
    // A long title stops short of the right-hand text instead of running under it.
    double title_w = 0.6 * w;
    if (!right.empty())
        title_w = std::min(title_w, w - 2 * kTitleInset - kTitleGap -
                                        std::min(gfx::text_width(cr, right, kRightSize, true), 0.4 * w));
    gfx::text(cr, title, x + kTitleInset, y + kTitleInset, p.text_strong,
              style(kTitleSize, true, gfx::Align::Left, std::max(title_w, 10.0), true, true));
    if (!right.empty())
        gfx::text(cr, right, x + w - kTitleInset, y + kTitleInset, right_color ? *right_color : p.dim,
                  style(kRightSize, true, gfx::Align::Right, 0.4 * w, true, true));
    if (content) {
        cairo_set_source(cr, content);
        cairo_paint(cr);
        cairo_pattern_destroy(content);
    } else {
        clip_to_columns();
        const double drawn = body(y + kBodyTop) - y + kBodyBottomPad;
        cairo_restore(cr);
        if (drawn != h) memory.relayout = true;
        h = drawn;
    }
    last = PanelMemory::Frame{x, w, h, y, memory.pass};
    return y + h;
}

// ---- Page ----

double App::paint_page(cairo_t* cr, double W) {
    const double inner = W - 2 * kMargin;
    // Each panel's hits form a group: the keyboard goes through a panel
    // before the next, in the order the panels are laid out.
    auto panel = [&](double (App::*paint)(cairo_t*, double, double, double), double x, double y, double w) {
        m_hit_groups.push_back(m_hits.size());
        return (this->*paint)(cr, x, y, w);
    };
    if (inner < kTwoColumnsFrom) {
        double y = panel(&App::paint_config, kMargin, kMargin, inner);
        y = panel(&App::paint_levels, kMargin, y + kGap, inner);
        y = panel(&App::paint_result, kMargin, y + kGap, inner);
        y = panel(&App::paint_compare, kMargin, y + kGap, inner);
        y = panel(&App::paint_array, kMargin, y + kGap, inner);
        return y + kMargin;
    }
    const double L = std::clamp(kLeftShare * inner, kLeftMin, kLeftMax);
    double left = panel(&App::paint_config, kMargin, kMargin, L);
    left = panel(&App::paint_levels, kMargin, left + kGap, L);
    const double rx = kMargin + L + kGap, rw = inner - L - kGap;
    double right = panel(&App::paint_result, rx, kMargin, rw);
    right = panel(&App::paint_compare, rx, right + kGap, rw);
    right = panel(&App::paint_array, rx, right + kGap, rw);
    return std::max(left, right) + kMargin;
}

// ---- Widgets ----

void App::chip(cairo_t* cr, double x, double y, double w, double h, const std::string& id, int n,
               const std::string& label, bool on, double label_size, const std::string& tip) {
    const Palette& p = m_pal;
    Rgba tc = p.text;
    if (on) {
        gfx::gradient_bar(cr, x, y, w, h, 7, p.chip_on, page::shade(p.chip_on, 0.82));
        tc = p.chip_on_text;
    } else {
        const bool hot = m_hover == id;
        gfx::framed_box(cr, x, y, w, h, 7, hot ? p.button_hot : p.slot,
                        hot ? gfx::with_alpha(p.accent, 0.6) : p.panel_edge, 1);
        tc = hot ? p.text_strong : p.text;
    }
    gfx::text(cr, label, x + w / 2, y + h / 2, tc, style(label_size, true, gfx::Align::Center, w - 8, true, true));
    m_hits.push_back(Hit{x, y, w, h, id, n, tip, on});
}

void App::stepper(cairo_t* cr, double x, double y, double w, double h, const std::string& id,
                  const std::string& value, const std::string& unit, const std::string& tip, const std::string& name) {
    const Palette& p = m_pal;
    gfx::display(cr, x, y, w, h, p, false);
    const double side = h - 8;
    for (int plus = 0; plus < 2; ++plus) {
        const std::string bid = hit_id::make(plus ? Kind::StepUp : Kind::StepDown, id);
        const bool hot = m_hover == bid;
        const double bx = plus ? x + w - 4 - side : x + 4;
        gfx::framed_box(cr, bx, y + 4, side, side, 7, hot ? p.button_hot : p.button,
                        hot ? gfx::with_alpha(p.accent, 0.7) : p.panel_edge, 1);
        const double cell_x = plus ? x + w - h : x;
        gfx::minus_plus(cr, cell_x + h / 2, y + h / 2, std::min(0.17 * h, 8.0), plus == 1, hot ? p.text_strong : p.text);
        m_hits.push_back(Hit{cell_x, y, h, h, bid, 0, tip});
    }

    const bool editing = m_edit == id;
    const std::string shown = editing ? m_edit_text : value;
    const double size = h >= 50 ? 24 : 19;
    const double cy = y + h / 2;

    // Value area between the buttons.
    const double ax = x + h + 1, aw = std::max(0.0, w - 2 * h - 2);
    if (editing) {
        gfx::rounded(cr, ax, y + 5, aw, h - 10, 6);
        gfx::set(cr, gfx::with_alpha(p.accent, 0.14));
        gfx::fill_preserve(cr);
        gfx::set(cr, gfx::with_alpha(p.accent, 0.8));
        cairo_set_line_width(cr, 1.2);
        gfx::stroke(cr);
    } else if (m_hover == hit_id::make(Kind::Field, id)) {
        gfx::rounded(cr, ax, y + 5, aw, h - 10, 6);
        gfx::set(cr, p.hover);
        gfx::fill(cr);
    }

    // Between the buttons, the value and its unit shrink together until
    // they fit: a figure is never cut, nor drawn under a button.
    double vs = size, us = kUnitSize;
    double tw = gfx::text_width(cr, shown, vs, true);
    double uw = unit.empty() ? 0 : gfx::text_width(cr, unit, us, true) + kUnitGap;
    const double room = std::max(1.0, aw - 2 * kValuePad);
    if (tw + uw > room) {
        const double k = room / (tw + uw);
        vs *= k;
        us *= k;
        tw = gfx::text_width(cr, shown, vs, true);
        uw = unit.empty() ? 0 : gfx::text_width(cr, unit, us, true) + kUnitGap * k;
    }
    const double tx = x + w / 2 - (tw + uw) / 2;
    gfx::text(cr, shown, tx, cy, p.text_strong, style(vs, true, gfx::Align::Left, 0, true));
    if (!unit.empty())
        gfx::text(cr, unit, tx + tw + (uw - gfx::text_width(cr, unit, us, true)), cy + 2 * us / kUnitSize, p.dim,
                  style(us, true, gfx::Align::Left, 0, true));

    if (editing && m_caret_on) {
        const double before = gfx::text_width(cr, m_edit_text.substr(0, m_edit_caret), vs, true);
        const double cx = std::round(tx + before + 1);
        cairo_rectangle(cr, cx, cy - 0.6 * vs, 1.6, 1.2 * vs);
        gfx::set(cr, p.accent);
        gfx::fill(cr);
    }
    m_hits.push_back(Hit{x + h, y, w - 2 * h, h, hit_id::make(Kind::Field, id), 0, tip, false, false, name});
}

double App::fit_label(cairo_t* cr, const std::string& s, double x, double y, const Rgba& c, gfx::TextStyle st) {
    bool cut = false;
    st.fit = true;
    st.cut = &cut;
    const double w = gfx::text(cr, s, x, y, c, st);
    if (cut) {
        const double left = st.align == gfx::Align::Center ? x - st.max_w / 2
                            : st.align == gfx::Align::Right ? x - st.max_w
                                                            : x;
        const double h = st.size * kLineShare;
        m_hits.push_back(Hit{left, st.middle ? y - h / 2 : y, st.max_w, h, hit_id::make(Kind::Tip, "text"), 0, s});
    }
    return w;
}

// ---- Configuration panel ----

double App::paint_config(cairo_t* cr, double x, double y, double w) {
    const Palette& p = m_pal;
    const Settings& s = m_settings;
    const double L = x + kInset, CW = w - 2 * kInset;
    auto body = [&](double yy) {
        const std::string tip_field = L10n::tr("tip.field");
        caption(cr, L10n::tr("cfg.capacity"), L, yy, CW, p);
        stepper(cr, L, yy + kRowCaption, CW, kCapStepperH, "cap", fmt::sig3(s.cap_value), raid::unit_name(s.cap_unit),
                tip_field, L10n::tr("cfg.capacity"));

        double row = yy + kRowCaption + 60;
        const std::string os = L10n::tr("cfg.os", fmt::approx(fmt::bytes_bin(m_cfg.disk_bytes)).c_str());
        gfx::TextStyle ost = style(12, true, gfx::Align::Left, CW, false);
        const double oh = gfx::text_height(cr, os, ost);
        gfx::text(cr, os, L, row, p.accent, ost);
        row += oh + 8;

        // Operating-system size switch.
        const bool hot = m_hover == hit_id::make(Kind::OsSizes);
        Rgba track = s.os_sizes ? p.ok : hex(m_dark ? "#4A4846" : "#A5A29C");
        if (hot) track = lift(track, 0.08);
        gfx::rounded(cr, L, row, 36, 20, 10);
        gfx::set(cr, track);
        gfx::fill(cr);
        cairo_arc(cr, L + (s.os_sizes ? 26 : 10), row + 10, 7, 0, 2 * M_PI);
        gfx::set(cr, Rgba{1, 1, 1, 1});
        gfx::fill(cr);
        const std::string tl = L10n::tr("cfg.os_toggle");
        gfx::TextStyle lst = style(12.5, false, gfx::Align::Left, CW - 48, false);
        lst.tnum = false;
        const double lh = gfx::text_height(cr, tl, lst);
        gfx::text(cr, tl, L + 46, lh > 18 ? row + 10 - 9 : row + 10 - lh / 2, p.text, lst);
        m_hits.push_back(Hit{L, row - 2, CW, lh > 20 ? lh + 4 : 24, hit_id::make(Kind::OsSizes), 0, L10n::tr("tip.os_toggle"),
                             s.os_sizes, false, tl});
        row += std::max(lh, 20.0) + 12;

        // Unit chips.
        const double uw = (CW - 18) / 4;
        for (int i = 0; i < 4; ++i)
            chip(cr, L + i * (uw + 6), row, uw, kChipH, hit_id::make(Kind::Unit, i), i, raid::unit_name(i),
                 s.cap_unit == i, 12.5, "");
        row += 38;

        // Presets.
        caption(cr, L10n::tr("cfg.presets"), L, row, CW, p);
        const double* table = ssd_like(s.disk_type) ? SSD : HDD;
        const int cols = CW > kPresetWideFrom ? kPresetColumnsWide : kPresetColumnsNarrow;
        const double pw = (CW - kChipGap * (cols - 1)) / cols;
        const double current_gb = s.cap_value * raid::unit_factor(s.cap_unit) / 1e9;
        for (int i = 0; i < kPresets; ++i) {
            const int c = i % cols, r = i / cols;
            chip(cr, L + c * (pw + kChipGap), row + kRowCaption + r * kChipRow, pw, kChipH, hit_id::make(Kind::Preset, i),
                 static_cast<int>(table[i] * 100), fmt::bytes(table[i] * 1e9), std::fabs(current_gb - table[i]) < 0.01,
                 12, "");
        }
        row += kRowCaption + std::ceil(double(kPresets) / cols) * kChipRow + 6;

        // Counts.
        const double half = (CW - 12) / 2, second = L + half + 12;
        caption(cr, L10n::tr("cfg.count"), L, row, half, p);
        caption(cr, L10n::tr("cfg.spares"), second, row, half, p);
        stepper(cr, L, row + kRowCaption, half, kCountStepperH, "disks", std::to_string(s.disks), "", tip_field,
                L10n::tr("cfg.count"));
        stepper(cr, second, row + kRowCaption, half, kCountStepperH, "spares", std::to_string(s.spares), "",
                L10n::tr("tip.spares"), L10n::tr("cfg.spares"));
        row += kRowCaption + 56;

        // Disk type.
        caption(cr, L10n::tr("cfg.type"), L, row, CW, p);
        if (s.disk_type == "custom")
            gfx::text(cr, L10n::tr("cfg.custom"), L + CW, row + 6, p.warn,
                      style(kCaption, true, gfx::Align::Right, CW / 2, true, true));
        const auto& types = raid::disk_types();
        const double tw = (CW - 6) / 2;
        for (size_t i = 0; i < types.size(); ++i) {
            const int c = static_cast<int>(i % 2), r = static_cast<int>(i / 2);
            chip(cr, L + c * (tw + 6), row + kRowCaption + r * kChipRow, tw, kChipH,
                 hit_id::make(Kind::DiskType, types[i].key), static_cast<int>(i), types[i].name, s.disk_type == types[i].key,
                 12, "");
        }
        row += kRowCaption + std::ceil(types.size() / 2.0) * kChipRow + 6;

        // Speeds.
        caption(cr, L10n::tr("cfg.read"), L, row, half, p);
        caption(cr, L10n::tr("cfg.write"), second, row, half, p);
        const double st = row + kRowCaption;
        stepper(cr, L, st, half, kSpeedStepperH, "rd", fmt::number(s.read_mbs, 0), "MB/s", tip_field,
                L10n::tr("cfg.read"));
        stepper(cr, second, st, half, kSpeedStepperH, "wr", fmt::number(s.write_mbs, 0), "MB/s", tip_field,
                L10n::tr("cfg.write"));
        const std::string iops = fmt::approx(fmt::iops(s.read_iops)) + " / " + fmt::approx(fmt::iops(s.write_iops));
        gfx::text(cr, L10n::tr("cfg.iops", iops.c_str()), L, st + 58, p.dim,
                  style(kCaption, false, gfx::Align::Left, CW, true, true));
        row = st + kAfterSpeeds;

        // Failure figures: how often a disk fails, how soon it is replaced,
        // how often a sector cannot be read, and for how long.
        caption(cr, L10n::tr("cfg.afr"), L, row, half, p);
        caption(cr, L10n::tr("cfg.replace"), second, row, half, p);
        stepper(cr, L, row + kRowCaption, half, kSpeedStepperH, "afr", fmt::sig3(s.afr_percent), "%", tip_field,
                L10n::tr("cfg.afr"));
        stepper(cr, second, row + kRowCaption, half, kSpeedStepperH, "repl", fmt::number(s.replace_hours, 0), "h",
                L10n::tr("tip.replace"), L10n::tr("cfg.replace"));
        row += kRowCaption + kFigureRow;
        caption(cr, L10n::tr("cfg.ure"), L, row, half, p);
        caption(cr, L10n::tr("cfg.years"), second, row, half, p);
        stepper(cr, L, row + kRowCaption, half, kSpeedStepperH, "ure", fmt::scientific(std::pow(10.0, s.ure_exponent)),
                L10n::tr("cfg.bits"), tip_field, L10n::tr("cfg.ure"));
        stepper(cr, second, row + kRowCaption, half, kSpeedStepperH, "years", fmt::number(s.mission_years, 0),
                L10n::tr("cfg.years_unit"), tip_field, L10n::tr("cfg.years"));
        row += kRowCaption + kFigureRow;
        const double cw4 = (CW - 3 * kChipGap) / kUreChips;
        for (int i = 0; i < kUreChips; ++i) {
            const int exponent = kFirstUreChip + i;
            chip(cr, L + i * (cw4 + kChipGap), row, cw4, kChipH, hit_id::make(Kind::UreChip, exponent), exponent,
                 fmt::scientific(std::pow(10.0, exponent)), std::fabs(s.ure_exponent - exponent) < 1e-9, 12,
                 L10n::tr("tip.ure"));
        }
        return row + kChipH + kFigureEnd;
    };
    return rack_section(cr, x, y, w, L10n::tr("cfg.title"), 1, p, body, "", nullptr, m_panels);
}
