// The data safety part of the result panel: the chance of losing the array
// per year and over the mission time, the mean time to data loss, what an
// unreadable sector does to a rebuild, and the chance of losing a stripe
// that way; with a link to the working behind them. The figures come from
// raid::reliability; this only shows them.
#include <algorithm>
#include <cmath>
#include <vector>

#include "app.h"
#include "format.h"
#include "hit_id.h"
#include "l10n.h"
#include "view_main.h"

using hit_id::Kind;

namespace {

using page::style;

constexpr double kTop = 18, kCaptionY = 6, kSmall = 11.5, kGridTop = 20;
constexpr double kKey = 11, kValue = 13.5, kKeyTop = 2, kGap = 4, kPad = 12, kRuleX = 8.5, kRuleEnd = 8,
                 kRoom = 16, kNoteGap = 2;
constexpr double kLinkRoom = 0.45;  // share of the width the link may take
constexpr double kHoursPerYear = 8760;

struct Cell {
    std::string key, value, detail, tip;
    Rgba colour;
};

std::string yearly(double p) {
    const std::string n = fmt::one_in(p);
    return n.empty() ? fmt::chance(p) : fmt::chance(p) + "  \xC2\xB7  " + L10n::tr("rel.one_in", n.c_str());
}

}  // namespace

double App::paint_safety(cairo_t* cr, double L, double top, double CW) {
    const Palette& p = m_pal;
    const raid::Reliability rel = raid::reliability(m_cfg, m_res);
    if (!rel.ok) return top;
    const double row = top + kTop;
    gfx::text(cr, L10n::tr("res.safety"), L, row + kCaptionY, p.dim,
              style(kSmall, true, gfx::Align::Left, (1 - kLinkRoom) * CW - 12, true, true));
    // The link to the working, right-aligned on the caption's line.
    const std::string how = L10n::tr("res.how");
    const std::string link_id = hit_id::make(Kind::HowLink);
    const double lw = gfx::text(cr, how, L + CW, row + kCaptionY, m_hover == link_id ? p.text_strong : p.accent,
                                style(kSmall, true, gfx::Align::Right, kLinkRoom * CW, true, true));
    cairo_rectangle(cr, L + CW - lw, row + kCaptionY + 7, lw, 1);
    gfx::set(cr, gfx::with_alpha(p.accent, 0.6));
    gfx::fill(cr);
    m_hits.push_back(Hit{L + CW - lw, row - 2, lw, 2 * kCaptionY + 6, link_id, 0, L10n::tr("tip.how")});

    const std::string tip_risk = L10n::tr("tip.rel_risk");
    std::vector<Cell> cells = {
        {L10n::tr("rel.loss_year"), yearly(rel.loss_per_year), "", tip_risk,
         risk::colour(rel.loss_per_year, risk::kSafeBelow, risk::kRiskyFrom, p)},
        {L10n::tr("rel.loss_in", fmt::sig3(rel.mission_years).c_str()), fmt::chance(rel.loss_in_years), "", tip_risk,
         risk::colour(rel.loss_per_year, risk::kSafeBelow, risk::kRiskyFrom, p)},
        {L10n::tr("rel.mttdl"),
         std::isinf(rel.mttdl_hours)
             ? L10n::tr("rel.infinite")
             : L10n::tr("rel.years", fmt::approx(fmt::years(rel.mttdl_hours / kHoursPerYear)).c_str()),
         "", "", p.text_strong},
    };
    if (rel.has_rebuild) {
        cells.push_back({L10n::tr("rel.ure"), fmt::chance(rel.ure_in_rebuild),
                         L10n::tr(rel.ure_repairable ? "rel.ure_repaired" : "rel.ure_lost"), L10n::tr("tip.rel_ure"),
                         rel.ure_repairable ? p.ok
                                            : risk::colour(rel.ure_in_rebuild, risk::kUreSafeBelow,
                                                           risk::kUreRiskyFrom, p)});
        if (!rel.ure_repairable)
            cells.push_back({L10n::tr("rel.stripe_year"), yearly(rel.stripe_loss_per_year), "", tip_risk,
                             risk::colour(rel.stripe_loss_per_year, risk::kSafeBelow, risk::kRiskyFrom, p)});
    }

    // Two columns: the values are longer than the facts above.
    const double cw = CW / 2;
    const gfx::TextStyle key_st = style(kKey, true, gfx::Align::Left, cw - kRoom, false);
    const gfx::TextStyle val_st = style(kValue, true, gfx::Align::Left, cw - kRoom, false, true);
    const gfx::TextStyle detail_st = style(kKey, false, gfx::Align::Left, cw - kRoom, false);
    double y = row + kGridTop;
    for (size_t i = 0; i < cells.size(); i += 2) {
        double kh = 0, dh = 0;
        for (size_t j = i; j < std::min(cells.size(), i + 2); ++j) {
            kh = std::max(kh, gfx::text_height(cr, cells[j].key, key_st));
            dh = std::max(dh, gfx::text_height(cr, cells[j].detail, detail_st));
        }
        const double vh = kValue * 1.3;
        const double rh = kh + kGap + vh + (dh > 0 ? kNoteGap + dh : 0) + kPad;
        for (size_t j = i; j < std::min(cells.size(), i + 2); ++j) {
            const Cell& c = cells[j];
            const double cx = L + (j - i) * cw;
            if (j > i) {
                const double rx = std::round(cx) - kRuleX;
                cairo_move_to(cr, rx, y + kKeyTop);
                cairo_line_to(cr, rx, y + rh - kRuleEnd);
                gfx::set(cr, p.panel_edge);
                cairo_set_line_width(cr, 1);
                gfx::stroke(cr);
            }
            gfx::text(cr, c.key, cx, y + kKeyTop, p.dim, key_st);
            const double vy = y + kKeyTop + kh + kGap;
            fit_label(cr, c.value, cx, vy, c.colour, val_st);
            if (!c.detail.empty()) gfx::text(cr, c.detail, cx, vy + vh + kNoteGap, p.text, detail_st);
            if (!c.tip.empty())
                m_hits.push_back(Hit{cx, y, cw - kRoom, rh - kPad, hit_id::make(Kind::Tip, "risk"), 0, c.value + "\n" + c.tip});
        }
        y += rh;
    }
    const double nh = gfx::wrapped(cr, L10n::tr("rel.assume"), L, y, CW, kSmall, p.dim, gfx::Align::Left, false, true);
    return y + nh;
}
