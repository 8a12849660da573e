// The compare panel: every RAID level for the disks entered, with usable
// capacity, reading and writing (bars scaled to the best level), the
// failures survived as shields and the chance of losing the data in a year.
// Clicking a row chooses that level.
#include <algorithm>
#include <cmath>

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
constexpr double kWideFrom = 620;  // content width from which the short texts show
constexpr double kNameNarrow = 92, kNameShare = 0.27, kNameMax = 240;
constexpr double kTolCol = 140, kTolColMin = 56;
constexpr double kLossCol = 96, kLossColMin = 64;
constexpr double kValueColMin = 80;  // below this the tolerance column narrows and gives up its shields
constexpr double kHeaderSize = 11, kNameSize = 13, kShortSize = 10.5, kValueSize = 12, kTolSize = 12.5;
constexpr double kRowMin = 44, kRowPad = 7, kRowsTop = 22;
constexpr double kTrackY = 27, kTrackH = 7, kTrackRadius = 3.5;
constexpr double kShieldSize = 6.5, kShieldPitch = 15;
constexpr int kMaxShields = 6;
constexpr double kNumberX = 134, kNumberGap = 6;  // right end of the tolerance figure, room before it
constexpr double kNoteSize = 12, kNoteGap = 6, kTextX = 10, kCellX = 6, kHeaderY = 8, kValueY = 15;
constexpr double kRowRadius = 8, kRowInset = 2, kMarkW = 3, kMarkInset = 8, kShieldX = 14, kZeroGap = 14;
constexpr double kCrossSize = 4.5, kCrossLine = 2.2;
constexpr double kMinShrink = 0.75;
constexpr int kLevelCount = static_cast<int>(std::size(raid::kLevels));

}  // namespace

double App::paint_compare(cairo_t* cr, double x, double y, double w) {
    const Palette& p = m_pal;
    const double L = x + kInset, CW = w - 2 * kInset;
    auto body = [&](double yy) {
        const bool wide = CW >= kWideFrom;
        const double NW = wide ? std::min(kNameShare * CW, kNameMax) : kNameNarrow;
        const double DW = CW - NW;
        const double loss_col = std::clamp(DW - 3 * kValueColMin - kTolColMin, kLossColMin, kLossCol);
        const double tol_col = std::clamp(DW - loss_col - 3 * kValueColMin, kTolColMin, kTolCol);
        const double cwid = (DW - tol_col - loss_col) / 3;
        const double c0 = L + NW, c3 = c0 + 3 * cwid, c4 = c3 + tol_col;
        const double number_x = tol_col - (kTolCol - kNumberX);

        raid::Result res[kLevelCount];
        raid::Reliability rel[kLevelCount];
        double max_v[3] = {1, 1, 1};
        for (int i = 0; i < kLevelCount; ++i) {
            raid::Config c = m_cfg;
            c.level = raid::kLevels[i];
            res[i] = raid::compute(c);
            rel[i] = raid::reliability(c, res[i]);
            if (!res[i].ok()) continue;
            max_v[0] = std::max(max_v[0], res[i].usable);
            max_v[1] = std::max(max_v[1], res[i].read_mbs);
            max_v[2] = std::max(max_v[2], res[i].write_mbs);
        }

        const gfx::TextStyle head = style(kHeaderSize, true, gfx::Align::Left, cwid - 12, true, true);
        gfx::TextStyle first = head;
        first.max_w = NW - 12;
        gfx::TextStyle last = head;
        last.max_w = tol_col - 12;
        gfx::text(cr, L10n::tr("cmp.level"), L + kTextX, yy + kHeaderY, p.dim, first);
        gfx::text(cr, L10n::tr("res.usable"), c0 + kCellX, yy + kHeaderY, p.dim, head);
        gfx::text(cr, L10n::tr("res.read"), c0 + cwid + kCellX, yy + kHeaderY, p.dim, head);
        gfx::text(cr, L10n::tr("res.write"), c0 + 2 * cwid + kCellX, yy + kHeaderY, p.dim, head);
        gfx::text(cr, L10n::tr("cmp.tolerance"), c3 + kCellX, yy + kHeaderY, p.dim, last);
        gfx::TextStyle loss_head = head;
        loss_head.max_w = loss_col - 2 * kCellX;
        loss_head.align = gfx::Align::Right;
        gfx::text(cr, L10n::tr("cmp.loss"), c4 + loss_col - kCellX, yy + kHeaderY, p.dim, loss_head);

        const gfx::TextStyle name_st = style(kNameSize, true, gfx::Align::Left, NW - 14, false, true);
        const gfx::TextStyle short_st = style(kShortSize, false, gfx::Align::Left, NW - 14, false);
        double ry = yy + kRowsTop;
        for (int i = 0; i < kLevelCount; ++i) {
            const raid::Level lv = raid::kLevels[i];
            const raid::Result& r = res[i];
            const bool fits = r.ok(), current = m_cfg.level == lv;
            const std::string id = hit_id::make(Kind::Compare, i);
            const std::string name = raid::name(lv);
            const std::string shrt = L10n::tr(std::string("lvl.") + raid::key(lv) + ".short");
            const double nh = gfx::text_height(cr, name, name_st);
            const double sh = wide ? gfx::text_height(cr, shrt, short_st) : 0;
            const double rh = std::max(kRowMin, kRowPad + nh + (wide ? 2 + sh : 0) + kRowPad);
            const double mid = ry + rh / 2;
            m_hits.push_back(Hit{L, ry, CW, rh, id, i, fits ? "" : L10n::tr("tip.level_nofit"), current, false, name});

            const bool hot = m_hover == id;
            if (hot || current || i % 2 == 1) {
                gfx::rounded(cr, L, ry + kRowInset, CW, rh - 2 * kRowInset, kRowRadius);
                gfx::set(cr, current ? p.select : hot ? p.hover : gfx::with_alpha(p.hover, 0.5));
                gfx::fill(cr);
            }
            if (current) {
                gfx::rounded(cr, L, ry + kMarkInset, kMarkW, rh - 2 * kMarkInset, kMarkW / 2);
                gfx::set(cr, p.accent);
                gfx::fill(cr);
            }
            gfx::text(cr, name, L + kTextX, ry + kRowPad, fits ? p.text_strong : p.faint, name_st);
            if (wide) gfx::text(cr, shrt, L + kTextX, ry + kRowPad + nh + 2, fits ? p.dim : p.faint, short_st);

            if (!fits) {
                const std::string msg =
                    r.problem == raid::Problem::TooFew || r.problem == raid::Problem::GroupTooSmall
                        ? L10n::tr("cmp.needs", r.need + m_cfg.spares)
                        : L10n::tr("cmp.nofit");
                gfx::text(cr, msg, c0 + kCellX, mid, p.dim, style(kValueSize, false, gfx::Align::Left, DW - 12, true, true));
                ry += rh;
                continue;
            }

            const double values[3] = {r.usable, r.read_mbs, r.write_mbs};
            for (int k = 0; k < 3; ++k) {
                const double ck = c0 + k * cwid;
                std::string v = k == 0 ? fmt::size(r.usable) + "  \u00b7  " + fmt::size_other(r.usable)
                                       : fmt::approx(fmt::rate_mbs(values[k]));
                // Legible or not at all: a capacity that would shrink below three
                // quarters of its size keeps its main unit only.
                if (k == 0 && gfx::text_width(cr, v, kValueSize, true) * kMinShrink > cwid - 14) v = fmt::size(r.usable);
                gfx::text(cr, v, ck + kCellX, ry + kValueY, current ? p.text_strong : p.text,
                          style(kValueSize, true, gfx::Align::Left, cwid - 14, true, true));
                gfx::rounded(cr, ck + 6, ry + kTrackY, cwid - 18, kTrackH, kTrackRadius);
                gfx::set(cr, p.slot);
                gfx::fill(cr);
                const Rgba base = k == 2 ? p.up : p.down;
                gpu::bar(cr, gpu::Bar{id + ":" + std::to_string(k), ck + 6, ry + kTrackY, cwid - 18, kTrackH, 0,
                                      values[k] / max_v[k], page::lighten(base, current ? 0.1 : 0.25),
                                      page::shade(base, 0.85), kTrackRadius});
            }

            if (r.tol_max == 0) {
                gfx::cross(cr, c3 + kShieldX, mid, kCrossSize, p.err, kCrossLine);
                gfx::text(cr, "0", c3 + kShieldX + kZeroGap, mid, p.err, style(kTolSize, true, gfx::Align::Left, 0, true));
            } else {
                const std::string n = r.tol_min == r.tol_max
                                          ? std::to_string(r.tol_max)
                                          : std::to_string(r.tol_min) + "\u2013" + std::to_string(r.tol_max);
                // A wide range such as "2–168" takes the room of the last shields;
                // a narrowed column shows the figure alone.
                const double room = number_x - gfx::text_width(cr, n, kTolSize, true) - kNumberGap - kShieldX - kShieldSize;
                const int t = tol_col < kTolCol ? 0
                                                : std::clamp(static_cast<int>(std::floor(room / kShieldPitch)) + 1, 0,
                                                             std::min(r.tol_max, kMaxShields));
                for (int k = 0; k < t; ++k)
                    gfx::shield(cr, c3 + kShieldX + kShieldPitch * k, mid, kShieldSize,
                                k < r.tol_min ? p.ok : gfx::with_alpha(p.ok, 0.3));
                const Rgba col = r.tol_min >= 2 ? p.ok : r.tol_min == 1 ? p.warn : p.err;
                gfx::text(cr, n, c3 + number_x, mid, col, style(kTolSize, true, gfx::Align::Right, 0, true));
            }
            fit_label(cr, fmt::chance(rel[i].loss_per_year), c4 + loss_col - kCellX, mid,
                      risk::colour(rel[i].loss_per_year, risk::kSafeBelow, risk::kRiskyFrom, p),
                      style(kValueSize, true, gfx::Align::Right, loss_col - 2 * kCellX, true, true));
            ry += rh;
        }
        const double nh = gfx::wrapped(cr, L10n::tr("cmp.note"), L + kTextX, ry + kNoteGap, CW - 2 * kTextX, kNoteSize, p.dim,
                                       gfx::Align::Left, false, true);
        return ry + kNoteGap + nh;
    };
    return rack_section(cr, x, y, w, L10n::tr("cmp.title"), 5, p, body, "", nullptr, m_panels);
}
