// The levels panel: one card per RAID level (greyed when the disks do not
// allow it), the extra control of the chosen level (copies per mirror or
// number of groups) and the long description of the chosen level.
#include <algorithm>
#include <cmath>

#include "app.h"
#include "hit_id.h"
#include "l10n.h"
#include "view_main.h"

using hit_id::Kind;

namespace {

using page::style;

constexpr double kInset = 24;
constexpr double kWideFrom = 330;  // content width above which three columns fit
constexpr double kCardGap = 8;
constexpr double kCardMinH = 64, kCardPad = 12, kCardRadius = 9;
constexpr double kNameSize = 15, kShortSize = 10.5, kShortGap = 4;
constexpr double kNoFitDot = 3;
constexpr double kCaptionSize = 11.5, kCaptionY = 6, kAfterCards = 6, kChipLabel = 12.5;
constexpr double kMirrorChipW = 64, kMirrorChipH = 28, kMirrorChipGap = 6, kMirrorRow = 36;
constexpr double kGroupsW = 170, kGroupsH = 40, kGroupsRow = 50;
constexpr double kDescGap = 12, kDescSize = 12.5;
constexpr int kLevelCount = static_cast<int>(std::size(raid::kLevels));

}  // namespace

double App::paint_levels(cairo_t* cr, double x, double y, double w) {
    const Palette& p = m_pal;
    const double L = x + kInset, CW = w - 2 * kInset;
    auto body = [&](double yy) {
        const int cols = CW > kWideFrom ? 3 : 2;
        const double cw = (CW - kCardGap * (cols - 1)) / cols;
        const double text_w = cw - 2 * kCardPad;

        bool fits[kLevelCount];
        double ch = kCardMinH;
        for (int i = 0; i < kLevelCount; ++i) {
            raid::Config c = m_cfg;
            c.level = raid::kLevels[i];
            fits[i] = raid::compute(c).ok();
            const std::string shrt = L10n::tr(std::string("lvl.") + raid::key(c.level) + ".short");
            const double nh = gfx::text_height(cr, raid::name(c.level),
                                               style(kNameSize, true, gfx::Align::Left, text_w, false, true));
            const double sh = gfx::wrapped(cr, shrt, 0, 0, text_w, kShortSize, p.dim, gfx::Align::Left, false, false);
            ch = std::max(ch, nh + kCardPad + kShortGap + sh + kCardPad);
        }

        for (int i = 0; i < kLevelCount; ++i) {
            const raid::Level lv = raid::kLevels[i];
            const double cx = L + (i % cols) * (cw + kCardGap), cy = yy + (i / cols) * (ch + kCardGap);
            const std::string id = hit_id::make(Kind::Level, i);
            const bool selected = m_cfg.level == lv, hot = m_hover == id;
            Rgba name_c, short_c;
            if (selected) {
                gfx::gradient_bar(cr, cx, cy, cw, ch, kCardRadius, p.chip_on, page::shade(p.chip_on, 0.8));
                name_c = p.chip_on_text;
                short_c = gfx::with_alpha(p.chip_on_text, 0.8);
            } else {
                gfx::framed_box(cr, cx, cy, cw, ch, kCardRadius, hot ? p.button_hot : p.slot,
                                hot ? gfx::with_alpha(p.accent, 0.6) : p.panel_edge, 1);
                name_c = fits[i] ? p.text_strong : p.faint;
                short_c = fits[i] ? p.dim : p.faint;
            }
            const gfx::TextStyle nst = style(kNameSize, true, gfx::Align::Left, text_w, false, true);
            const double nh = gfx::text_height(cr, raid::name(lv), nst);
            gfx::text(cr, raid::name(lv), cx + kCardPad, cy + kCardPad, name_c, nst);
            gfx::wrapped(cr, L10n::tr(std::string("lvl.") + raid::key(lv) + ".short"), cx + kCardPad,
                         cy + kCardPad + nh + kShortGap, text_w, kShortSize, short_c, gfx::Align::Left, false, true);
            if (!fits[i] && !selected)
                gfx::dot(cr, cx + cw - kCardPad, cy + kCardPad + kNoFitDot, kNoFitDot, gfx::with_alpha(p.err, 0.7));
            m_hits.push_back(Hit{cx, cy, cw, ch, id, i, fits[i] ? "" : L10n::tr("tip.level_nofit"), selected});
        }
        double row = yy + std::ceil(double(kLevelCount) / cols) * (ch + kCardGap) + kAfterCards;

        if (m_cfg.level == raid::Level::R10) {
            gfx::text(cr, L10n::tr("lvl.mirror"), L, row + kCaptionY, p.dim,
                      style(kCaptionSize, true, gfx::Align::Left, 0.55 * CW, true, true));
            for (int k = 0; k < 2; ++k) {
                const int copies = 2 + k;
                const double bx = L + CW - (2 - k) * kMirrorChipW - (1 - k) * kMirrorChipGap;
                // Centred on the caption's line.
                chip(cr, bx, row + kCaptionY - kMirrorChipH / 2, kMirrorChipW, kMirrorChipH,
                     hit_id::make(Kind::Mirror, copies), copies, std::to_string(copies) + " \u00d7",
                     m_settings.mirror == copies, kChipLabel, "");
            }
            row += kMirrorRow;
        } else if (m_cfg.level == raid::Level::R50 || m_cfg.level == raid::Level::R60) {
            // Centred on the stepper beside it.
            gfx::text(cr, L10n::tr("lvl.groups"), L, row + kGroupsH / 2, p.dim,
                      style(kCaptionSize, true, gfx::Align::Left, CW / 2, true, true));
            stepper(cr, L + CW - kGroupsW, row, kGroupsW, kGroupsH, "groups", std::to_string(m_settings.groups), "",
                    L10n::tr("tip.field"));
            row += kGroupsRow;
        }

        // A hairline on the pixel grid.
        const double sep = std::round(row) + 0.5;
        cairo_move_to(cr, L, sep);
        cairo_line_to(cr, L + CW, sep);
        gfx::set(cr, p.panel_edge);
        cairo_set_line_width(cr, 1);
        gfx::stroke(cr);
        const double dy = sep + kDescGap;
        const double dh = gfx::wrapped(cr, L10n::tr(std::string("lvl.") + raid::key(m_cfg.level) + ".desc"), L, dy, CW,
                                       kDescSize, p.text, gfx::Align::Left, false, true);
        return dy + dh + 2;
    };
    return rack_section(cr, x, y, w, L10n::tr("lvl.title"), 2, p, body, "", nullptr, m_panels);
}
