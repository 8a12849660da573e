// The array panel: every disk as a drive bay with its first stripes, hot
// spares that take over failed disks, group frames, the array's state after
// the simulated failures, the survival chances and a legend. Clicks on the
// drives are decoded by the input dispatcher; this only paints.
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
constexpr int kRows = 4;  // stripes shown per disk

// Status row.
constexpr double kStatusSize = 12.5, kLamp = 5, kHealPad = 34, kHealH = 30, kHealRaise = 4;
constexpr double kLampX = 6, kLampY = 10, kStatusX = 20, kStatusTop = 1, kStatusRoom = 12;
constexpr double kOneLine = 26, kAfterOneLine = 38, kAfterLines = 12;
constexpr double kInvalidY = 10, kInvalidEnd = 24;

// Survival chips.
constexpr int kMaxSurvive = 6;
constexpr double kSurvCaptionShare = 0.42, kSurvChipH = 24, kSurvChipMinW = 78, kSurvGap = 6;
constexpr double kSurvStopBefore = 40, kSurvRow = 36, kSurvCaptionSize = 11.5, kSurvCaptionGap = 14;
constexpr double kSurvLeft = 11, kSurvRight = 12, kSurvTextPad = 9, kSurvTextRoom = 30, kSurvRadius = 6;
constexpr double kSure = 0.9999, kHopeless = 0.0001;

// Drives.
constexpr double kDriveGap = 8, kGroupGap = 8, kSpareGap = 16;
constexpr double kMinDriveW = 34, kFullFrom = 44, kMaxDriveW = 76;
constexpr double kCompactH = 106, kCompactPitch = 17, kCompactBlock = 14;
constexpr double kFullH = 126, kFullPitch = 22, kFullBlock = 19;
constexpr double kRowGap = 12, kFrameRoom = 20;
constexpr double kBlocksTop = 26, kBlockInset = 5, kBlockRadius = 3;
constexpr double kLightInset = 11, kLightY = 13, kLightR = 3.2;
constexpr double kFrameOut = 5, kFrameRadius = 10, kFrameBelow = 6, kFrameLabelY = 10, kFrameLabelX = 2;
constexpr double kLabelX = 8, kLabelRoom = 24, kLabelSize = 10.5, kBlockLabel = 10, kTakeoverSize = 11;
// A compact drive's number starts nearer its edge and stops just short of the light.
constexpr double kCompactLabelX = 4, kCompactLabelRoom = kLightInset + kLightR + 1 + kCompactLabelX;
constexpr double kCrossMax = 14, kCrossShare = 0.28, kCrossLine = 3;
constexpr double kHandleShare = 0.4, kHandleH = 3, kHandleUp = 9;

// Legend.
constexpr double kLegendTop = 14, kSwatch = 12, kSwatchText = 18, kLegendGap = 20, kLegendLine = 20;

struct Pos {
    double x = 0, y = 0;
};

struct Lg {
    Rgba c;
    double a = 1;
    std::string t;
};

// Fills the current path and strokes it dashed: group frames and the empty
// blocks of a spare.
void fill_dashed(cairo_t* cr, const Rgba& fill, const Rgba& line, double dash_len) {
    gfx::set(cr, fill);
    gfx::fill_preserve(cr);
    const double dash[] = {dash_len, dash_len};
    cairo_set_dash(cr, dash, 2, 0);
    gfx::set(cr, line);
    cairo_set_line_width(cr, 1);
    gfx::stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
}

}  // namespace

double App::paint_array(cairo_t* cr, double x, double y, double w) {
    const Palette& p = m_pal;
    const raid::Result& r = m_res;
    const raid::Config& c = m_cfg;
    const double L = x + kInset, CW = w - 2 * kInset;
    const raid::Health hl = raid::health(c, r, m_failed, static_cast<int>(m_failed_spares.size()));

    std::string word;
    Rgba word_c;
    if (!r.ok()) {
        word = "\u2013";
        word_c = p.faint;
    } else if (hl.lost) {
        word = L10n::tr("arr.lost");
        word_c = p.err;
    } else if (hl.failed < 1) {
        word = L10n::tr("arr.ok");
        word_c = p.ok;
    } else {
        word = L10n::tr("arr.degraded");
        word_c = p.warn;
    }

    auto body = [&](double yy) {
        if (!r.ok()) {
            gfx::text(cr, L10n::tr("arr.invalid"), L, yy + kInvalidY, p.dim,
                      style(kStatusSize, false, gfx::Align::Left, CW, true, true));
            return yy + kInvalidEnd;
        }

        // ---- Status ----
        std::string status;
        if (hl.lost) {
            status = L10n::tr("arr.lost_text");
        } else if (hl.failed > 0) {
            status = L10n::tr("arr.degraded_text", hl.failed) + "  " + L10n::tr("arr.more_safe", hl.more_safe);
            if (hl.spares_left > 0)
                status += "  " + L10n::tr("arr.spare_takes", fmt::approx(fmt::hours(r.rebuild_s)).c_str());
        } else {
            status = L10n::tr("arr.hint");
        }
        const bool heal = !m_failed.empty() || !m_failed_spares.empty();
        const std::string heal_label = L10n::tr("arr.heal");
        const double bw = heal ? gfx::text_width(cr, heal_label, kStatusSize, true) + kHealPad : 0;
        gfx::dot(cr, L + kLampX, yy + kLampY, kLamp, word_c);
        const double sh = gfx::wrapped(cr, status, L + kStatusX, yy + kStatusTop, CW - kStatusX - bw - kStatusRoom, kStatusSize,
                                       hl.lost ? p.err : p.text, gfx::Align::Left, hl.lost, true);
        if (heal) chip(cr, L + CW - bw, yy - kHealRaise, bw, kHealH, hit_id::make(Kind::Heal), 0, heal_label, false, kStatusSize, "");
        double row = sh < kOneLine ? yy + kAfterOneLine : yy + sh + kAfterLines;

        // ---- Survival chances ----
        if (r.active > 1) {
            const std::string cap = L10n::tr("arr.survive");
            gfx::text(cr, cap, L, row + kSurvChipH / 2, p.dim,
                      style(kSurvCaptionSize, true, gfx::Align::Left, kSurvCaptionShare * CW, true, true));
            double cx = L + std::min(gfx::text_width(cr, cap, kSurvCaptionSize, true), kSurvCaptionShare * CW) +
                        kSurvCaptionGap;
            const int kmax = std::min({kMaxSurvive, r.active, std::max(r.tol_max + 1, 2)});
            for (int k = 1; k <= kmax && k < static_cast<int>(r.survive.size()); ++k) {
                const double pk = r.survive[static_cast<size_t>(k)];
                const std::string left = std::to_string(k) + "\u00d7", right = fmt::percent(pk);
                const double cw =
                    std::max(gfx::text_width(cr, left, kSurvLeft, true) + gfx::text_width(cr, right, kSurvRight, true) + kSurvTextRoom,
                             kSurvChipMinW);
                if (cx >= L + CW - kSurvStopBefore || cx + cw > L + CW) break;
                const Rgba col = pk >= kSure ? p.ok : pk <= kHopeless ? p.err : p.warn;
                gfx::framed_box(cr, cx, row, cw, kSurvChipH, kSurvRadius, gfx::with_alpha(col, 0.16),
                                gfx::with_alpha(col, 0.55), 1);
                gfx::text(cr, left, cx + kSurvTextPad, row + kSurvChipH / 2, p.dim,
                          style(kSurvLeft, true, gfx::Align::Left, 0, true));
                gfx::text(cr, right, cx + cw - kSurvTextPad, row + kSurvChipH / 2, col,
                          style(kSurvRight, true, gfx::Align::Right, 0, true));
                m_hits.push_back(Hit{cx, row, cw, kSurvChipH, hit_id::make(Kind::Survival), k, L10n::tr("tip.survive", k)});
                cx += cw + kSurvGap;
            }
            row += kSurvRow;
        }

        // ---- Drive geometry ----
        const int active = r.active, spares = c.spares, n = active + spares;
        const raid::Layout lay = raid::layout(c, r, kRows);
        const bool grouped = r.group_count > 1 && c.level != raid::Level::Jbod && c.level != raid::Level::R0;
        const double group_gaps = grouped ? (r.group_count - 1) * kGroupGap : 0;
        double cw = (CW - (n - 1) * kDriveGap - group_gaps - (spares > 0 ? kSpareGap : 0)) / std::max(n, 1);
        const bool full = cw >= kFullFrom;
        cw = std::clamp(cw, kMinDriveW, kMaxDriveW);
        const double dh = full ? kFullH : kCompactH, pitch = full ? kFullPitch : kCompactPitch;
        const double blk = full ? kFullBlock : kCompactBlock;
        const double row_h = dh + kRowGap + (grouped ? kFrameRoom : 0);
        auto group_of = [&](int i) { return i < static_cast<int>(lay.group_of.size()) ? lay.group_of[i] : 0; };

        std::vector<Pos> pos(static_cast<size_t>(n));
        double px = L, py = row + (grouped ? kFrameRoom : 0);
        for (int i = 0; i < n; ++i) {
            if (i > 0) {
                double gap = kDriveGap;
                if (i == active)
                    gap = kSpareGap;
                else if (grouped && i < active && group_of(i) != group_of(i - 1))
                    gap = kDriveGap + kGroupGap;
                px += cw + gap;
                if (px + cw > L + CW + 0.5) {
                    px = L;
                    py += row_h;
                }
            }
            pos[static_cast<size_t>(i)] = {px, py};
        }

        // ---- Group frames ----
        if (grouped) {
            int start = 0;
            for (int i = 1; i <= active; ++i) {
                const bool ends = i == active || group_of(i) != group_of(start) || pos[i].y != pos[start].y;
                if (!ends) continue;
                const double fx = pos[start].x - kFrameOut, fy = pos[start].y - kFrameRoom;
                const double fw = pos[i - 1].x + cw + kFrameOut - fx;
                gfx::rounded(cr, fx, fy, fw, dh + kFrameRoom + kFrameBelow, kFrameRadius);
                fill_dashed(cr, gfx::with_alpha(p.accent, 0.06), gfx::with_alpha(p.accent, 0.35), 3);
                gfx::text(cr, L10n::tr("arr.group", group_of(start) + 1), pos[start].x + kFrameLabelX, pos[start].y - kFrameLabelY,
                          p.accent, style(kLabelSize, true, gfx::Align::Left, fw - 2 * kFrameOut, true, true));
                start = i;
            }
        }

        const std::vector<int> took = raid::takeover(c, r, m_failed, m_failed_spares);

        // ---- Drives ----
        bool any_parity = false, any_mirror = false;
        for (const auto& disk : lay.disks)
            for (const raid::Cell& cell : disk) {
                any_parity = any_parity || cell.kind == raid::Block::Parity;
                any_mirror = any_mirror || cell.kind == raid::Block::Mirror;
            }
        const std::string tip_disk = L10n::tr("tip.disk"), tip_spare = L10n::tr("tip.spare_disk");
        double lowest = row;
        for (int i = 0; i < n; ++i) {
            const bool spare = i >= active;
            const int idx = spare ? i - active : i;
            const bool failed = spare ? m_failed_spares.count(idx) > 0 : m_failed.count(idx) > 0;
            const std::string id = hit_id::make(spare ? Kind::Spare : Kind::Disk, idx);
            const double dx = pos[static_cast<size_t>(i)].x, dy = pos[static_cast<size_t>(i)].y;
            const int took_over = spare ? took[static_cast<size_t>(idx)] : -1;
            lowest = std::max(lowest, dy + dh);

            gfx::drive(cr, dx, dy, cw, dh, p, failed, spare, m_hover == id);
            std::string label = spare ? "S" : "";
            label += std::to_string(idx + 1);
            bool cut = false;
            gfx::TextStyle label_st =
                style(kLabelSize, true, gfx::Align::Left, cw - (full ? kLabelRoom : kCompactLabelRoom), true, true);
            label_st.cut = &cut;
            gfx::text(cr, label, dx + (full ? kLabelX : kCompactLabelX), dy + kLightY, failed ? p.err : p.dim, label_st);

            Rgba light = p.ok;
            int mode = gpu::kActivity;
            if (failed) {
                light = p.err;
                mode = gpu::kBlink;
            } else if (!spare && hl.lost) {
                light = gfx::with_alpha(p.err, 0.6);
                mode = gpu::kSteady;
            } else if (spare) {
                light = took_over >= 0 ? p.warn : p.faint;
                mode = took_over >= 0 ? gpu::kActivity : gpu::kSteady;
            }
            gpu::led(cr, gpu::Led{id, dx + cw - kLightInset, dy + kLightY, kLightR, light, mode});

            const double bx = dx + kBlockInset, bwid = cw - 2 * kBlockInset;
            for (int rr = 0; rr < kRows; ++rr) {
                const double by = dy + kBlocksTop + rr * pitch;
                gfx::rounded(cr, bx, by, bwid, blk, kBlockRadius);
                if (spare) {
                    fill_dashed(cr, gfx::with_alpha(p.faint, 0.12), gfx::with_alpha(p.faint, 0.45), 2);
                    continue;
                }
                const raid::Cell& cell = lay.disks[static_cast<size_t>(i)][static_cast<size_t>(rr)];
                Rgba col = gfx::with_alpha(p.down, 0.92);
                if (failed)
                    col = gfx::with_alpha(p.faint, 0.25);
                else if (cell.kind == raid::Block::Parity)
                    col = gfx::with_alpha(p.up, 0.92);
                else if (cell.kind == raid::Block::Mirror)
                    col = gfx::with_alpha(p.down, 0.5);
                page::fill_vertical(cr, by, by + blk, page::lighten(col, 0.1), page::shade(col, 0.85));
                if (full && !failed)
                    gfx::text(cr, cell.label, bx + bwid / 2, by + blk / 2,
                              cell.kind == raid::Block::Mirror ? p.text : p.chip_on_text,
                              style(kBlockLabel, true, gfx::Align::Center, bwid - 2, true, true));
            }
            const double area_mid = dy + kBlocksTop + ((kRows - 1) * pitch + blk) / 2;
            if (failed)
                gfx::cross(cr, dx + cw / 2, area_mid, std::min(kCrossMax, kCrossShare * cw), p.err, kCrossLine);
            else if (took_over >= 0 && full)
                gfx::text(cr, "\u2192 " + std::to_string(took_over + 1), dx + cw / 2, area_mid, p.warn,
                          style(kTakeoverSize, true, gfx::Align::Center, cw - 6, true, true));
            gfx::rounded(cr, dx + (1 - kHandleShare) / 2 * cw, dy + dh - kHandleUp, kHandleShare * cw, kHandleH, kHandleH / 2);
            gfx::set(cr, gfx::with_alpha(p.faint, 0.6));
            gfx::fill(cr);
            const std::string spoken = spare ? L10n::tr(failed ? "a11y.spare_failed" : "a11y.spare", idx + 1)
                                             : L10n::tr(failed ? "a11y.disk_failed" : "a11y.disk", idx + 1);
            m_hits.push_back(Hit{dx, dy, cw, dh, id, idx, (cut ? label + ": " : "") + (spare ? tip_spare : tip_disk), failed,
                                 false, spoken});
        }

        // ---- Legend ----
        std::vector<Lg> legend = {{p.down, 0.92, L10n::tr("leg.data")}};
        if (any_parity) legend.push_back({p.up, 0.92, L10n::tr("leg.parity")});
        if (any_mirror) legend.push_back({p.down, 0.5, L10n::tr("leg.mirror")});
        if (spares > 0) legend.push_back({p.faint, 0.35, L10n::tr("leg.spare")});
        legend.push_back({p.err, 0.9, L10n::tr("leg.failed")});
        double line = lowest + kLegendTop, lx = L;
        for (const Lg& e : legend) {
            const double tw = gfx::text_width(cr, e.t, 12, false);
            // Wraps rather than running out of the panel in a narrow window.
            if (lx > L && lx + kSwatchText + tw > L + CW) {
                lx = L;
                line += kLegendLine;
            }
            gfx::rounded(cr, lx, line + 1, kSwatch, kSwatch, 3);
            gfx::set(cr, gfx::with_alpha(e.c, e.a));
            gfx::fill(cr);
            lx += kSwatchText + gfx::text(cr, e.t, lx + kSwatchText, line + 7, p.text,
                                          style(12, false, gfx::Align::Left, CW - kSwatchText, true, true)) +
                  kLegendGap;
        }
        return line + 16;
    };
    return rack_section(cr, x, y, w, L10n::tr("arr.title"), PanelMemory::kArray, p, body, word, &word_c, m_panels);
}
