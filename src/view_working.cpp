// "How is this computed?": an overlay that shows the failure-risk model in
// plain words, every input and intermediate figure for the array on the
// page, and what the model assumes. It scrolls when the window is short.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "app.h"
#include "format.h"
#include "hit_id.h"
#include "l10n.h"
#include "raid.h"

using hit_id::Kind;

namespace {

constexpr double kDim = 0.45;
constexpr double kMaxW = 720, kMaxH = 660, kMargin = 40, kInset = 28;
constexpr double kTitleY = 34, kTitleSize = 19, kContentTop = 70, kContentBottom = 74;
constexpr double kText = 13, kSmall = 12, kHeading = 12.5, kHeadingGap = 26, kParaGap = 14;
constexpr double kRowGap = 6, kKeyShare = 0.55;
constexpr double kButtonH = 38, kButtonMinW = 120, kButtonPad = 40, kButtonInset = 22;
constexpr double kThumbW = 5, kThumbMinH = 30;
constexpr double kHoursPerYear = 8760, kSecondsPerHour = 3600, kPercent = 100;

std::string hours(double h) { return fmt::hours(h * kSecondsPerHour); }

std::string years(double h) {
    return std::isinf(h) ? L10n::tr("rel.infinite") : L10n::tr("rel.years", fmt::years(h / kHoursPerYear).c_str());
}

}  // namespace

void App::open_working() {
    commit_edit();
    m_menu.open = false;
    m_menubar_open = -1;
    m_work_scroll = 0;
    m_modal = Modal::Working;
    invalidate_over();
}

void App::paint_working(cairo_t* cr, double W, double H) {
    const Palette& p = m_pal;
    dim_window(cr, W, H, kDim);
    const double pw = std::min(W - kMargin, kMaxW), ph = std::min(H - kMargin, kMaxH);
    const double px = (W - pw) / 2, py = (H - ph) / 2;
    modal_panel(cr, px, py, pw, ph, p);
    m_over_hits.push_back(Hit{px, py, pw, ph, hit_id::make(Kind::WorkPanel), 0, ""});
    const Mirror m{px, px + pw, L10n::isRTL()};
    gfx::text(cr, L10n::tr("work.title"), m.text_x(px + kInset), py + kTitleY, p.text_strong,
              line_style(kTitleSize, true, pw - 2 * kInset, m.start()));

    const double left = px + kInset, cw = pw - 2 * kInset, top = py + kContentTop;
    m_work_view_top = top;
    m_work_view_h = ph - kContentTop - kContentBottom;
    const gfx::Align align = m.start();
    cairo_save(cr);
    cairo_rectangle(cr, left - 4, top, cw + 8, m_work_view_h);
    cairo_clip(cr);
    double y = top - m_work_scroll;
    auto para = [&](const std::string& s, double size, const Rgba& c, bool bold = false) {
        y += gfx::wrapped(cr, s, left, y, cw, size, c, align, bold, true) + kParaGap;
    };
    auto heading = [&](const std::string& s) {
        gfx::text(cr, s, m.text_x(left), y + kHeading / 2 + 2, p.accent, line_style(kHeading, true, cw, m.start()));
        y += kHeadingGap;
    };
    // One figure a row: what it is, then its value, both wrapped in their column.
    auto row = [&](const std::string& key, const std::string& value) {
        const double kw = kKeyShare * cw - 12, vw = cw - kKeyShare * cw;
        const double kx = m.x(left, kw), vx = m.x(left + kKeyShare * cw, vw);
        const double kh = gfx::wrapped(cr, key, kx, y, kw, kSmall, p.dim, align, false, true);
        const double vh = gfx::wrapped(cr, value, vx, y, vw, kSmall, p.text_strong, align, true, true);
        y += std::max(kh, vh) + kRowGap;
    };

    para(L10n::tr("work.model"), kText, p.text);
    const raid::Reliability rel = raid::reliability(m_cfg, m_res);
    if (rel.ok) {
        heading(L10n::tr("work.this_array"));
        row(L10n::tr("work.afr"), L10n::tr("work.per_year", fmt::chance(rel.afr_percent / kPercent).c_str()));
        row(L10n::tr("work.lambda"), fmt::scientific(rel.lambda));
        if (rel.has_rebuild) {
            row(L10n::tr("work.rebuild"), hours(rel.rebuild_hours));
            if (rel.spares > 0 && !rel.repair_override)
                row(L10n::tr("work.repair_spare"), hours(rel.repair_spare_hours));
            row(L10n::tr("work.repair_nospare"), hours(rel.repair_nospare_hours));
        }
        row(L10n::tr("work.sets"), std::to_string(rel.sets));
        row(L10n::tr("work.set_disks"), std::to_string(rel.set_disks));
        row(L10n::tr("work.set_tolerates"), std::to_string(rel.set_tolerates));
        row(L10n::tr("work.set_mttdl"), years(rel.set_mttdl_hours));
        row(L10n::tr("rel.mttdl"), years(rel.mttdl_hours));
        row(L10n::tr("rel.loss_year"), fmt::chance(rel.loss_per_year));
        row(L10n::tr("rel.loss_in", fmt::sig3(rel.mission_years).c_str()), fmt::chance(rel.loss_in_years));
        if (rel.has_rebuild) {
            row(L10n::tr("work.bits"), fmt::scientific(rel.rebuild_bits));
            row(L10n::tr("work.ure_rate"), fmt::scientific(std::pow(10.0, rel.ure_exponent)));
            row(L10n::tr("rel.ure"), fmt::chance(rel.ure_in_rebuild) + " \xE2\x80\x94 " +
                                         L10n::tr(rel.ure_repairable ? "rel.ure_repaired" : "rel.ure_lost"));
            if (!rel.ure_repairable) row(L10n::tr("rel.stripe_year"), fmt::chance(rel.stripe_loss_per_year));
        }
        y += kParaGap - kRowGap;
    }
    heading(L10n::tr("work.assumptions"));
    para(L10n::tr("rel.assume") + " " + L10n::tr("work.approx"), kText, p.text);
    para(L10n::tr("work.field"), kText, p.text, true);
    cairo_restore(cr);
    m_work_content_h = y + m_work_scroll - top;

    // The scroll thumb, when the working is taller than its room.
    if (m_work_content_h > m_work_view_h && m_work_view_h > 0) {
        const double th = std::max(kThumbMinH, m_work_view_h * m_work_view_h / m_work_content_h);
        const double ty = top + (m_work_view_h - th) * std::clamp(m_work_scroll / (m_work_content_h - m_work_view_h), 0.0, 1.0);
        gfx::rounded(cr, m.x(left + cw + 8, kThumbW), ty, kThumbW, th, kThumbW / 2);
        gfx::set(cr, gfx::with_alpha(p.faint, 0.55));
        cairo_fill(cr);
    }

    const std::string close = L10n::tr("btn.close");
    const double bw = std::max(gfx::text_width(cr, close, 12.5, true) + kButtonPad, kButtonMinW);
    const double bx = m.x(px + pw - kButtonInset - bw, bw), by = py + ph - kButtonInset - kButtonH;
    const std::string id = hit_id::make(Kind::WorkClose);
    button(cr, bx, by, bw, kButtonH, close, true, m_over_hover == id, p);
    m_over_hits.push_back(Hit{bx, by, bw, kButtonH, id, 0, ""});
}
