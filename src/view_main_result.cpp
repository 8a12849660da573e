// The result panel: four summary tiles, where the raw capacity goes, the
// array's speeds against one disk and a grid of further facts; for a
// configuration that cannot be built, the reason and disk counts that work.
#include <algorithm>
#include <cmath>
#include <vector>

#include "app.h"
#include "hit_id.h"
#include "format.h"
#include "gpu.h"
#include "l10n.h"
#include "view_main.h"

using hit_id::Kind;

namespace {

using page::style;

constexpr double kInset = 24;

// Problem box.
constexpr double kProbTextInset = 54, kProbTextRoom = 70, kProbPad = 17, kProbSize = 15;
constexpr double kProbSuggestRoom = 52, kProbCross = 8, kProbCrossLine = 2.6, kProbCrossX = 30;
constexpr double kSugRowGap = 12, kSugCaptionY = 14, kSugCaptionSize = 12.5, kSugFirstGap = 12, kSugRightRoom = 8;
constexpr double kSugChipH = 28, kSugChipMinW = 54, kSugChipPad = 28, kSugGap = 8, kSugSize = 13;

// Tiles.
constexpr double kTilesWideFrom = 700;
constexpr double kTileGap = 12, kTilePad = 14, kTileTop = 12, kValueRow = 40;
constexpr double kTileSmall = 11.5, kTileValue = 30;
constexpr double kShield = 13, kShieldX = 26, kShieldValueX = 48;
constexpr double kCheckSize = 5.5, kCrossSize = 4.5, kIconLine = 2.2;
constexpr double kCaptionGap = 6, kValueGap = 8, kLineGap = 3, kValueRoom = 10;

// Capacity split and speeds.
constexpr double kSmall = 11.5, kLegendSize = 12;
constexpr double kSplitGap = 8, kSplitCaptionY = 6, kSplitBarTop = 18, kSplitLegend = 34, kSpeedsTop = 26;
constexpr double kSplitBarH = 26, kSplitBarInset = 4, kSplitRadius = 5;
constexpr double kSwatch = 12, kSwatchRadius = 3, kSwatchText = 18, kLegendGap = 22;
constexpr double kSpeedLabel = 12, kSpeedValue = 12.5, kOneDisk = 10.5;
constexpr double kSpeedBarH = 18, kSpeedBarInset = 3, kSpeedRadius = 4;
constexpr double kSpeedBarTop = 14, kSpeedPitch = 26, kLabelPad = 16, kValuePad = 10, kNoteGap = 4;
constexpr double kMarkGap = 4, kMarkLabelY = 6, kMarkTop = 1, kMarkBottom = 13, kArrowTop = 10, kArrowTip = 14,
                 kArrowHalf = 3.5;
constexpr const char* kSpeedSample = "~888 GB/s";

// Facts grid.
constexpr double kFactsWideFrom = 640, kFactKey = 11, kFactValue = 13.5;
constexpr double kFactsTop = 20, kFactsAfterNote = 8, kFactKeyTop = 2, kFactGap = 4, kFactPad = 10, kFactRuleX = 8.5,
                 kFactRuleEnd = 8, kFactRoom = 16;

struct Tile {
    std::string cap, big, l1, l2;
    Rgba col;
    int icon = 0;
};

struct Lg {
    Rgba c;
    std::string t;
};

struct KV {
    std::string k, v;
};

void swatch(cairo_t* cr, double x, double y, const Rgba& c) {
    gfx::rounded(cr, x, y, kSwatch, kSwatch, kSwatchRadius);
    gfx::set(cr, c);
    gfx::fill(cr);
}

}  // namespace

double App::paint_result(cairo_t* cr, double x, double y, double w) {
    const Palette& p = m_pal;
    const raid::Result& r = m_res;
    const raid::Config& c = m_cfg;
    const double L = x + kInset, CW = w - 2 * kInset;

    auto problem_box = [&](double yy) {
        const std::string name = raid::name(c.level);
        std::string msg;
        switch (r.problem) {
        case raid::Problem::TooFew:
            msg = L10n::tr("prob.too_few", name.c_str(), r.need);
            break;
        case raid::Problem::NotDivisible:
            msg = c.level == raid::Level::R10
                      ? L10n::tr("prob.mirror_div", std::to_string(std::clamp(c.mirror, 2, 3)).c_str())
                      : L10n::tr("prob.groups_div", std::to_string(std::max(c.groups, 2)).c_str());
            break;
        case raid::Problem::GroupTooSmall:
            msg = L10n::tr("prob.group_small", name.c_str(), c.level == raid::Level::R50 ? 3 : 4);
            break;
        default:
            msg = L10n::tr("prob.no_active");
            break;
        }
        const double tw = CW - kProbTextRoom;
        const double th = gfx::wrapped(cr, msg, 0, 0, tw, kProbSize, p.err, gfx::Align::Left, true, false);
        const bool sug = !r.suggest.empty();
        const double bh = th + 2 * kProbPad + (sug ? kProbSuggestRoom : 0);
        gfx::display(cr, L, yy, CW, bh, p, false);
        gfx::cross(cr, L + kProbCrossX, yy + kProbPad + th / 2, kProbCross, p.err, kProbCrossLine);
        gfx::wrapped(cr, msg, L + kProbTextInset, yy + kProbPad, tw, kProbSize, p.err, gfx::Align::Left, true, true);
        if (sug) {
            const double row = yy + kProbPad + th + kSugRowGap;
            const std::string cap = L10n::tr("prob.suggest");
            const double cw = std::min(CW / 2, gfx::text_width(cr, cap, kSugCaptionSize, false));
            gfx::text(cr, cap, L + kProbTextInset, row + kSugCaptionY, p.dim,
                      style(kSugCaptionSize, false, gfx::Align::Left, CW / 2, true, true));
            double cx = L + kProbTextInset + cw + kSugFirstGap;
            for (int s : r.suggest) {
                const std::string label = std::to_string(s + c.spares);
                const double bw = std::max(gfx::text_width(cr, label, kSugSize, true) + kSugChipPad, kSugChipMinW);
                // The chips do not wrap; one that would stick out of the box is left out.
                if (cx + bw > L + CW - kSugRightRoom) break;
                chip(cr, cx, row, bw, kSugChipH, hit_id::make(Kind::Suggestion, s), s, label, false, kSugSize,
                     L10n::tr("tip.suggest"));
                cx += bw + kSugGap;
            }
        }
        return yy + bh;
    };

    auto body = [&](double yy) {
        if (!r.ok()) return problem_box(yy);

        // ---- Tiles ----
        Tile tiles[4];
        tiles[0] = {L10n::tr("res.usable"), fmt::size(r.usable),
                    fmt::os_sizes() ? L10n::tr("res.label", fmt::bytes(r.usable).c_str())
                                    : L10n::tr("res.os", fmt::bytes_bin(r.usable).c_str()),
                    L10n::tr("res.efficiency") + " " + fmt::percent(r.efficiency), p.down, 0};
        tiles[1] = {L10n::tr("res.read"), fmt::approx(fmt::rate_mbs(r.read_mbs)),
                    L10n::tr("res.vs_one", fmt::approx(fmt::factor(r.read_factor)).c_str()),
                    fmt::approx(fmt::iops(r.read_iops)) + " IOPS", p.text_strong, 1};
        tiles[2] = {L10n::tr("res.write"), fmt::approx(fmt::rate_mbs(r.write_mbs)),
                    L10n::tr("res.vs_one", fmt::approx(fmt::factor(r.write_factor)).c_str()),
                    fmt::approx(fmt::iops(r.write_iops)) + " IOPS", p.text_strong, 2};
        Tile& tol = tiles[3];
        tol.cap = L10n::tr("res.tolerance");
        tol.big = std::to_string(r.tol_min);
        tol.icon = 3;
        if (r.tol_min == 0) {
            tol.col = p.err;
            tol.l1 = L10n::tr("res.tol_none");
            tol.l2 = L10n::tr("res.tol_none2");
        } else {
            tol.col = r.tol_min == 1 ? p.warn : p.ok;
            tol.l1 = r.tol_min < r.tol_max ? L10n::tr("res.tol_upto", r.tol_max) : L10n::tr("res.tol_guaranteed");
            tol.l2 = L10n::tr("res.redundant", r.redundant_disks);
        }

        const int cols = CW >= kTilesWideFrom ? 4 : 2;
        const double tw = (CW - kTileGap * (cols - 1)) / cols;
        const double tx_w = tw - 2 * kTilePad;
        const gfx::TextStyle cap_st = style(kTileSmall, true, gfx::Align::Left, tx_w, false);
        const gfx::TextStyle line_st = style(kTileSmall, false, gfx::Align::Left, tx_w, false);
        double cap_h = 0, l1_h = 0, l2_h = 0;
        for (const Tile& t : tiles) {
            cap_h = std::max(cap_h, gfx::text_height(cr, t.cap, cap_st));
            l1_h = std::max(l1_h, gfx::text_height(cr, t.l1, line_st));
            l2_h = std::max(l2_h, gfx::text_height(cr, t.l2, line_st));
        }
        const double th = kTileTop + cap_h + kCaptionGap + kValueRow + kValueGap + l1_h + kLineGap + l2_h + kTileTop;
        for (int i = 0; i < 4; ++i) {
            const Tile& t = tiles[i];
            const double tx = L + (i % cols) * (tw + kTileGap), ty = yy + (i / cols) * (th + kTileGap);
            gfx::display(cr, tx, ty, tw, th, p, true);
            gfx::text(cr, t.cap, tx + kTilePad, ty + kTileTop, p.dim, cap_st);
            const double vc = ty + kTileTop + cap_h + kCaptionGap + kValueRow / 2;
            double vx = tx + kTilePad;
            if (t.icon == 3) {
                gfx::shield(cr, tx + kShieldX, vc, kShield, gfx::with_alpha(t.col, 0.9));
                if (r.tol_min > 0)
                    gfx::check(cr, tx + kShieldX, vc, kCheckSize, p.slot, kIconLine);
                else
                    gfx::cross(cr, tx + kShieldX, vc, kCrossSize, p.slot, kIconLine);
                vx = tx + kShieldValueX;
            }
            gfx::text(cr, t.big, vx, vc, t.col,
                      style(kTileValue, true, gfx::Align::Left, tw - kValueRoom - (vx - tx), true, true));
            const double l1y = ty + kTileTop + cap_h + kCaptionGap + kValueRow + kValueGap;
            gfx::text(cr, t.l1, tx + kTilePad, l1y, p.text, line_st);
            gfx::text(cr, t.l2, tx + kTilePad, l1y + l1_h + kLineGap, p.dim, line_st);
        }
        const int rows = (4 + cols - 1) / cols;
        double row = yy + rows * th + (rows - 1) * kTileGap + kSplitGap;

        // ---- Where the capacity goes ----
        gfx::text(cr, L10n::tr("res.split"), L, row + kSplitCaptionY, p.dim, style(kSmall, true, gfx::Align::Left, 0.6 * CW, true, true));
        gfx::text(cr, L10n::tr("res.raw") + " " + fmt::size(r.raw), L + CW, row + kSplitCaptionY, p.dim,
                  style(kSmall, true, gfx::Align::Right, 0.4 * CW, true, true));
        const double bar_row = row + kSplitBarTop;
        gfx::display(cr, L, bar_row, CW, kSplitBarH, p, false);
        const double raw = std::max(r.raw, 1.0);
        const double bx = L + kSplitBarInset, by = bar_row + kSplitBarInset, bw = CW - 2 * kSplitBarInset;
        const double bh = kSplitBarH - 2 * kSplitBarInset;
        gpu::bar(cr, gpu::Bar{"cap:u", bx, by, bw, bh, 0, r.usable / raw, page::lighten(p.down, 0.12),
                              page::shade(p.down, 0.82), kSplitRadius});
        gpu::bar(cr, gpu::Bar{"cap:r", bx, by, bw, bh, r.usable / raw, r.redundancy / raw, page::lighten(p.up, 0.12),
                              page::shade(p.up, 0.82), kSplitRadius});
        gpu::bar(cr, gpu::Bar{"cap:s", bx, by, bw, bh, (r.usable + r.redundancy) / raw, r.spare / raw, p.faint,
                              gfx::with_alpha(page::shade(p.faint, 0.8), 0.8), kSplitRadius});

        // Legend under the bar.
        const double lg_y = bar_row + kSplitLegend;
        std::vector<Lg> legend = {{p.down, L10n::tr("leg.usable") + "  " + fmt::size(r.usable)},
                                  {p.up, L10n::tr("leg.redundancy") + "  " + fmt::size(r.redundancy)}};
        if (r.spare > 0) legend.push_back({p.faint, L10n::tr("leg.spare") + "  " + fmt::size(r.spare)});
        double lx = L;
        for (const Lg& e : legend) {
            swatch(cr, lx, lg_y, e.c);
            lx += kSwatchText + gfx::text(cr, e.t, lx + kSwatchText, lg_y + kSwatch / 2, p.text,
                                          style(kLegendSize, false, gfx::Align::Left,
                                                std::max(10.0, L + CW - lx - kSwatchText), true, true)) +
                  kLegendGap;
        }

        // ---- Speeds ----
        const double S = std::max(1.0, r.active * std::max(c.read_mbs, c.write_mbs));
        const std::string rd = L10n::tr("res.read"), wr = L10n::tr("res.write");
        const double LW = std::min(
            std::max(gfx::text_width(cr, rd, kSpeedLabel, true), gfx::text_width(cr, wr, kSpeedLabel, true)) + kLabelPad,
            0.3 * CW);
        const double VW = gfx::text_width(cr, kSpeedSample, kSpeedValue, true) + kValuePad;
        const double ax = L + LW, aw = CW - LW - VW;
        const std::string one = L10n::tr("res.one_disk");
        double sy = lg_y + kSpeedsTop;
        double speeds_end = sy;
        for (int k = 0; k < 2; ++k) {
            const double per = k == 0 ? c.read_mbs : c.write_mbs;
            const double arr = k == 0 ? r.read_mbs : r.write_mbs;
            const double track_x = ax + kSpeedBarInset, track_w = aw - 2 * kSpeedBarInset;
            const double mx = std::round(track_x + std::min(per / S, 1.0) * track_w) + 0.5;
            const gfx::TextStyle one_st = style(kOneDisk, true, gfx::Align::Left, 0, true);
            const double ow = gfx::text_width(cr, one, kOneDisk, true);
            gfx::TextStyle ost = one_st;
            double ox = mx + kMarkGap;
            if (ox + ow > ax + aw) {
                ost.align = gfx::Align::Right;
                ox = mx - kMarkGap;
            }
            gfx::text(cr, one, ox, sy + kMarkLabelY, p.dim, ost);
            cairo_move_to(cr, mx, sy + kMarkTop);
            cairo_line_to(cr, mx, sy + kMarkBottom);
            gfx::set(cr, gfx::with_alpha(p.text, 0.6));
            cairo_set_line_width(cr, 1);
            gfx::stroke(cr);
            cairo_move_to(cr, mx - kArrowHalf, sy + kArrowTop);
            cairo_line_to(cr, mx + kArrowHalf, sy + kArrowTop);
            cairo_line_to(cr, mx, sy + kArrowTip);
            cairo_close_path(cr);
            gfx::set(cr, gfx::with_alpha(p.text, 0.6));
            gfx::fill(cr);

            const double rr = sy + kSpeedBarTop;
            gfx::text(cr, k == 0 ? rd : wr, L, rr + kSpeedBarH / 2, p.text,
                      style(kSpeedLabel, true, gfx::Align::Left, LW - 8, true, true));
            gfx::display(cr, ax, rr, aw, kSpeedBarH, p, false);
            const Rgba base = k == 0 ? p.down : p.up;
            gpu::bar(cr, gpu::Bar{k == 0 ? "spd:r" : "spd:w", track_x, rr + kSpeedBarInset, track_w,
                                  kSpeedBarH - 2 * kSpeedBarInset, 0, std::min(arr / S, 1.0), page::lighten(base, 0.15),
                                  page::shade(base, 0.8), kSpeedRadius});
            gfx::text(cr, fmt::approx(fmt::rate_mbs(arr)), L + CW, rr + kSpeedBarH / 2, p.text_strong,
                      style(kSpeedValue, true, gfx::Align::Right, VW, true, true));
            speeds_end = rr + kSpeedBarH;
            sy = rr + kSpeedPitch;
        }
        const std::string note = L10n::tr("res.speed_note");
        const gfx::TextStyle note_st = style(kSmall, false, gfx::Align::Left, CW - LW, false);
        gfx::text(cr, note, ax, speeds_end + kNoteGap, p.dim, note_st);
        const double note_end = speeds_end + kNoteGap + gfx::text_height(cr, note, note_st);

        // ---- Facts ----
        const KV facts[4] = {
            {L10n::tr("res.rebuild"),
             r.rebuild_s > 0 ? L10n::tr("res.rebuild_val", fmt::approx(fmt::hours(r.rebuild_s)).c_str()) : "\u2013"},
            {L10n::tr("res.rebuild_read"), r.rebuild_read > 0 ? fmt::size(r.rebuild_read) : "\u2013"},
            {L10n::tr("res.penalty"), fmt::factor(r.penalty)},
            {L10n::tr("res.active"),
             std::to_string(r.active) + (c.spares > 0 ? " + " + std::to_string(c.spares) : "")},
        };
        const int fcols = CW >= kFactsWideFrom ? 4 : 2;
        const double fw = CW / fcols;
        const gfx::TextStyle key_st = style(kFactKey, true, gfx::Align::Left, fw - kFactRoom, false, true);
        const gfx::TextStyle val_st = style(kFactValue, true, gfx::Align::Left, fw - kFactRoom, false, true);
        double kh = 0, vh = 0;
        for (const KV& f : facts) {
            kh = std::max(kh, gfx::text_height(cr, f.k, key_st));
            vh = std::max(vh, gfx::text_height(cr, f.v, val_st));
        }
        const double rh = kh + vh + kFactGap + kFactPad;
        const double top = std::max(speeds_end + kFactsTop, note_end + kFactsAfterNote);
        for (int i = 0; i < 4; ++i) {
            const int col = i % fcols;
            const double fx = L + col * fw, fy = top + (i / fcols) * rh;
            if (col > 0) {
                const double lx2 = std::round(fx) - kFactRuleX;
                cairo_move_to(cr, lx2, fy + kFactKeyTop);
                cairo_line_to(cr, lx2, fy + rh - kFactRuleEnd);
                gfx::set(cr, p.panel_edge);
                cairo_set_line_width(cr, 1);
                gfx::stroke(cr);
            }
            gfx::text(cr, facts[i].k, fx, fy + kFactKeyTop, p.dim, key_st);
            fit_label(cr, facts[i].v, fx, fy + kFactKeyTop + kh + kFactGap, p.text_strong, val_st);
        }
        return paint_safety(cr, L, top + (4 / fcols) * rh, CW);
    };
    const std::string right = r.ok() ? L10n::tr("res.estimated") : "";
    return rack_section(cr, x, y, w, L10n::tr("res.title"), 3, p, body, right, nullptr, m_panels);
}
