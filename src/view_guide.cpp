// The guide page: the mdadm setup guide for the current array, one panel per
// step with copyable commands, example output, checks and tips, below a
// header panel with the package-manager and disk-naming switches. m_cmds is
// rebuilt on every paint in display order, so a copy hit's number always
// indexes the command drawn beside it.
//
// Sections: helpers · page (panel frame, not-possible panel, header panel,
// step panels with their command boxes, example output, checks and tip,
// footer).
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "app.h"
#include "hit_id.h"
#include "format.h"
#include "guide.h"
#include "l10n.h"

using hit_id::Kind;

namespace {

// Page.
constexpr double kPanelX = 16;         // panels span kPanelX .. W - kPanelX
constexpr double kPanelTop = 16;
constexpr double kPanelGap = 12;
constexpr double kPanelBottomPad = 14;
constexpr double kFooterX = 24, kFooterSize = 12, kFooterBottom = 8;

// Header panel.
constexpr double kHeadX = 42;          // content inset on both sides
constexpr double kHeadTitleY = 40, kHeadTitleSize = 17;
constexpr double kIntroGap = 26, kIntroSize = 13;
constexpr double kRowsGap = 16;
constexpr double kRowH = 40, kSwitchH = 30;
constexpr double kLabelShare = 0.3, kLabelMax = 220, kLabelPad = 10, kLabelSize = 12;
constexpr double kSwitchSize = 12.5, kSwitchShrink = 0.5;
constexpr int kSwitchShrinkSteps = 6;
constexpr double kStackedLabelH = 22;  // a switch too wide for its row goes below its label
constexpr double kSeparatorGap = 6, kTerminalGap = 12, kTerminalSize = 12, kHeadBottom = 20;

// Step panels.
constexpr double kStepTop = 22;
constexpr double kBadgeX = 57, kBadgeR = 15, kBadgeSize = 14;
constexpr double kTitleDy = 8;         // badge and title centre below the running y
constexpr double kStepX = 88;          // content column
constexpr double kStepRightPad = 40;   // from the window's right edge
constexpr double kStepTitleSize = 15, kTextTop = 26, kTextSize = 12.5, kTextGap = 10;
constexpr double kNoteGap = 6;
constexpr int kStepSeed = 7, kHeadSeed = 6;

// Command box.
constexpr double kPromptX = 100, kCmdX = 116, kCmdPad = 10, kCmdMinH = 40, kCmdGap = 8;
constexpr double kMonoSize = 13, kMonoMinWrap = 20;
constexpr double kCmdButtonRoom = 28;  // between the wrapped command and the button
constexpr double kCopyH = 28, kCopyR = 7, kCopyExtra = 46, kCopyInset = 6, kCopySize = 12;
constexpr double kCopyIconDx = 16, kCopyIconR = 6.5, kCopyCheckR = 5, kCopyTextDx = 28;
constexpr const char* kCmdDark = "#D9E6D8";
constexpr const char* kCmdLight = "#2B3A2A";

// Example output.
constexpr double kExTitleDy = 10, kExTitleSize = 11.5, kExBoxDy = 20;
constexpr double kExPad = 18, kExLine = 19, kExTop = 9, kExTextX = 106;
constexpr double kExBarX = 94, kExBarW = 4, kExBarH = 17, kExBarR = 2;
constexpr double kRemarkShare = 0.62, kRemarkAfter = 140, kRemarkArrow = 16, kRemarkSize = 12;
constexpr double kArrowHead = 4, kArrowLw = 1.8;
constexpr double kRemarkMinGap = 20;   // between the widest line and the arrow
constexpr double kRemarkMinW = 120;    // narrower than this: the remark takes a row of its own
constexpr double kBoxInnerPad = 10;
constexpr double kExBottom = 10;

// Checks and tip.
constexpr double kCheckX = 114, kCheckMarkX = 98, kCheckMarkDy = 9, kCheckIndent = 26;
constexpr double kCheckR = 5, kCheckLw = 2, kCheckGap = 6;
constexpr double kTipPad = 10, kTipR = 8, kTipDotX = 106, kTipDotDy = 19, kTipDotR = 4;
constexpr double kTipX = 122, kTipIndent = 44, kTipAfter = 28;
constexpr double kTipFill = 0.12, kTipEdge = 0.5;

// Not-possible panel.
constexpr double kOffCrossX = 54, kOffCrossR = 8, kOffCrossLw = 2.6;
constexpr double kOffTextX = 82, kOffTextTop = 28, kOffSize = 14;
constexpr double kOffButtonGap = 18, kOffButtonH = 36, kOffButtonPad = 36, kOffButtonMin = 150;
constexpr double kButtonLabelSize = 12.5;  // what button() draws its label at
constexpr double kOffBottom = 24;

constexpr int kPms = 4, kDevs = 3;

// ---- Helpers ----

const PangoFontDescription* mono_font() {
    static PangoFontDescription* d = [] {
        PangoFontDescription* f = pango_font_description_new();
        pango_font_description_set_family_static(f, "Monospace");
        pango_font_description_set_absolute_size(f, kMonoSize * PANGO_SCALE);
        return f;
    }();
    return d;
}

PangoLayout* mono_layout(cairo_t* cr, const std::string& s, double w) {
    PangoLayout* lay = gfx::create_layout(cr);
    pango_layout_set_font_description(lay, mono_font());
    if (w > 0) {
        pango_layout_set_width(lay, static_cast<int>(std::max(w, kMonoMinWrap) * PANGO_SCALE));
        pango_layout_set_wrap(lay, PANGO_WRAP_CHAR);
        // A hyphen at a break would read as part of the command.
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_insert_hyphens_new(FALSE));
        pango_layout_set_attributes(lay, attrs);
        pango_attr_list_unref(attrs);
    }
    pango_layout_set_text(lay, s.data(), static_cast<int>(s.size()));
    return lay;
}

// Terminal text: measured, and drawn with its top-left at (x, y) when `draw`.
// w <= 0 keeps it on one line. Returns its height.
double mono(cairo_t* cr, const std::string& s, const Rgba& c, bool draw, double x, double y, double w) {
    PangoLayout* lay = mono_layout(cr, s, w);
    int h = 0;
    pango_layout_get_pixel_size(lay, nullptr, &h);
    if (draw) gfx::show_layout(cr, lay, x, y, c);
    g_object_unref(lay);
    return h;
}

double mono_width(cairo_t* cr, const std::string& s) {
    PangoLayout* lay = mono_layout(cr, s, 0);
    int w = 0;
    pango_layout_get_pixel_size(lay, &w, nullptr);
    g_object_unref(lay);
    return w;
}

double para(cairo_t* cr, const std::string& s, double x, double y, double w, double size, const Rgba& c,
            bool bold = false) {
    return gfx::wrapped(cr, s, x, y, w, size, c, gfx::Align::Left, bold, true);
}

// Label and segmented switch; returns the y of the next row.
double selector_row(cairo_t* cr, double x, double y, double row_w, const std::string& label,
                    const std::vector<std::string>& segments, int active, int hover, const Palette& p,
                    std::vector<Hit>* hits, hit_id::Kind kind) {
    const double col = std::min(kLabelShare * row_w, kLabelMax);
    double size = kSwitchSize;
    for (int i = 0; i < kSwitchShrinkSteps && segmented_width(cr, segments, size) > row_w - col; ++i)
        size -= kSwitchShrink;
    const bool stacked = segmented_width(cr, segments, size) > row_w - col;
    double sx = x + col, sy = y + (kRowH - kSwitchH) / 2;
    if (stacked) {
        // Too narrow for both on one line: the label gets a line of its own.
        gfx::text(cr, label, x, y + kStackedLabelH / 2, p.dim, line_style(kLabelSize, true, row_w));
        sx = x;
        sy = y + kStackedLabelH;
    } else {
        gfx::text(cr, label, x, y + kRowH / 2, p.dim, line_style(kLabelSize, true, col - kLabelPad));
    }
    segmented_bar(cr, sx, sy, kSwitchH, segments, active, hover, p, size, hits, kind);
    return y + kRowH + (stacked ? kStackedLabelH : 0);
}

}  // namespace

// ---- Page ----

double App::paint_guide(cairo_t* cr, double W) {
    const Palette& p = m_pal;
    m_cmds.clear();

    const int pm_index = std::clamp(m_settings.guide_pm, 0, kPms - 1);
    const guide::Pm pm = static_cast<guide::Pm>(pm_index);
    guide::Dev dev = m_settings.disk_type.rfind("nvme", 0) == 0 ? guide::Dev::Nvme : guide::Dev::Sd;
    if (m_settings.guide_dev >= 0) dev = static_cast<guide::Dev>(std::min(m_settings.guide_dev, kDevs - 1));
    const guide::Guide g = guide::build(m_cfg, m_res, pm, guide::devices(dev, m_cfg.disks));

    std::string summary = std::string(raid::name(m_cfg.level)) + "  \xC2\xB7  " + std::to_string(m_cfg.disks) +
                          " \xC3\x97 " + fmt::bytes(m_cfg.disk_bytes);
    if (m_res.ok()) summary += "  \xE2\x86\x92  " + fmt::size(m_res.usable);

    const double panel_w = W - 2 * kPanelX;
    double clip_x0 = 0, clip_y0 = 0, clip_x1 = 0, clip_y1 = 0;
    cairo_clip_extents(cr, &clip_x0, &clip_y0, &clip_x1, &clip_y1);

    // A panel's content is laid out once under an empty clip, which draws
    // nothing but gives its height and records its hits and commands; only a
    // panel in view is then drawn, frame first and content over it.
    auto panel = [&](double top, const std::function<double(bool record)>& body, const Rgba& strip, bool lit,
                     int seed) {
        cairo_save(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, 0, 0, 0, 0);
        cairo_clip(cr);
        const double bottom = body(true);
        cairo_restore(cr);
        if (bottom > clip_y0 && top < clip_y1) {
            gfx::rack(cr, kPanelX, top, panel_w, bottom - top, p, strip, lit, seed, false);
            body(false);
        }
        return bottom;
    };

    // Not possible: one panel with the reason and the way back.
    if (!g.possible) {
        const double tw = W - kOffTextX - kStepRightPad;
        const double bottom = panel(kPanelTop, [&](bool record) {
            double y = kPanelTop + kOffTextTop;
            const double th = para(cr, g.reason, kOffTextX, y, tw, kOffSize, p.text, true);
            const double line = gfx::wrapped(cr, "X", 0, 0, tw, kOffSize, p.text, gfx::Align::Left, true, false);
            gfx::cross(cr, kOffCrossX, y + line / 2, kOffCrossR, p.err, kOffCrossLw);
            y += th + kOffButtonGap;
            const std::string label = L10n::tr("g.tocalc");
            const double bw =
                std::min(std::max(gfx::text_width(cr, label, kButtonLabelSize, true) + kOffButtonPad, kOffButtonMin), tw);
            button(cr, kOffTextX, y, bw, kOffButtonH, label, true, m_hover == hit_id::make(Kind::GuideToCalc), p);
            if (record) m_hits.push_back(Hit{kOffTextX, y, bw, kOffButtonH, hit_id::make(Kind::GuideToCalc), 0, ""});
            return y + kOffButtonH + kOffBottom;
        }, p.err, true, kStepSeed);
        return bottom + kPanelTop;
    }

    // Header panel.
    const double hw = W - 2 * kHeadX;
    double y = panel(kPanelTop, [&](bool record) {
        gfx::text(cr, L10n::tr("g.title"), kHeadX, kHeadTitleY, p.text_strong,
                  line_style(kHeadTitleSize, true, hw));
        double ry = kHeadTitleY + kIntroGap;
        ry += para(cr, L10n::tr("g.intro", summary.c_str()), kHeadX, ry, hw, kIntroSize, p.text) + kRowsGap;

        std::vector<std::string> pms, devs;
        for (int i = 0; i < kPms; ++i) pms.push_back(guide::pm_name(static_cast<guide::Pm>(i)));
        for (int i = 0; i < kDevs; ++i) devs.push_back(guide::dev_name(static_cast<guide::Dev>(i)));
        std::vector<Hit>* hits = record ? &m_hits : nullptr;
        ry = selector_row(cr, kHeadX, ry, hw, L10n::tr("g.pm"), pms, pm_index, hovered_index(m_hover, Kind::GuidePm),
                          p, hits, Kind::GuidePm);
        ry = selector_row(cr, kHeadX, ry, hw, L10n::tr("g.dev"), devs, static_cast<int>(dev),
                          hovered_index(m_hover, Kind::GuideDev), p, hits, Kind::GuideDev);

        ry += kSeparatorGap;
        cairo_rectangle(cr, kHeadX, ry, hw, 1);
        gfx::set(cr, p.panel_edge);
        gfx::fill(cr);
        ry += kTerminalGap;
        return ry + para(cr, L10n::tr("g.terminal"), kHeadX, ry, hw, kTerminalSize, p.dim) + kHeadBottom;
    }, p.accent, false, kHeadSeed);

    // Step panels.
    const double cw = W - kStepX - kStepRightPad;
    const std::string copy_label = L10n::tr("g.copy"), copied_label = L10n::tr("g.copied");
    const std::string copy_tip = L10n::tr("g.copy_tip");
    const double copy_w = std::max(gfx::text_width(cr, copy_label, kCopySize, true),
                                   gfx::text_width(cr, copied_label, kCopySize, true)) + kCopyExtra;
    const Rgba cmd_color = hex(m_dark ? kCmdDark : kCmdLight);

    for (size_t si = 0; si < g.steps.size(); ++si) {
        const guide::Step& s = g.steps[si];
        const double top = y + kPanelGap;
        const int first_cmd = static_cast<int>(m_cmds.size());
        auto body = [&](bool record) {
            double sy = top + kStepTop;
            cairo_new_path(cr);
            cairo_arc(cr, kBadgeX, sy + kTitleDy, kBadgeR, 0, 2 * M_PI);
            gfx::set(cr, s.warn ? p.err : p.chip_on);
            gfx::fill(cr);
            gfx::TextStyle num = line_style(kBadgeSize, true, 0);
            num.align = gfx::Align::Center;
            num.tnum = true;
            gfx::text(cr, std::to_string(si + 1), kBadgeX, sy + kTitleDy, s.warn ? Rgba{1, 1, 1, 1} : p.chip_on_text, num);
            gfx::text(cr, s.title, kStepX, sy + kTitleDy, p.text, line_style(kStepTitleSize, true, cw));
            sy += kTextTop;
            sy += para(cr, s.text, kStepX, sy, cw, kTextSize, s.warn ? p.err : p.text, s.warn) + kTextGap;

            for (size_t i = 0; i < s.cmds.size(); ++i) {
                if (i < s.notes.size() && !s.notes[i].empty()) {
                    if (i > 0) sy += kNoteGap;
                    sy += para(cr, s.notes[i], kStepX, sy, cw, kTextSize, p.text, true) + kNoteGap;
                }

                // Command box with its copy button.
                const int index = first_cmd + static_cast<int>(i);
                if (record) m_cmds.push_back(s.cmds[i]);
                const double wrap = cw - copy_w - kCmdButtonRoom - (kCmdX - kStepX);
                const double mh = mono(cr, s.cmds[i], cmd_color, false, 0, 0, wrap);
                const double bh = std::max(mh + 2 * kCmdPad, kCmdMinH);
                gfx::display(cr, kStepX, sy, cw, bh, p, false);
                const double ty = sy + (bh - mh) / 2;
                gfx::TextStyle prompt;
                prompt.size = kMonoSize;
                prompt.bold = true;
                gfx::text(cr, "$", kPromptX, ty, p.faint, prompt);
                mono(cr, s.cmds[i], cmd_color, true, kCmdX, ty, wrap);

                const double bx = kStepX + cw - kCopyInset - copy_w, by = sy + (bh - kCopyH) / 2;
                const std::string id = hit_id::make(Kind::GuideCopy, index);
                const bool copied = m_copied_until != 0 && m_copied_cmd == index;
                const bool hot = m_hover == id;
                gfx::rounded(cr, bx, by, copy_w, kCopyH, kCopyR);
                gfx::set(cr, copied ? p.chip_on : hot ? p.button_hot : p.button);
                gfx::fill_preserve(cr);
                gfx::set(cr, copied ? p.chip_on : p.panel_edge);
                cairo_set_line_width(cr, 1);
                gfx::stroke(cr);
                if (copied)
                    gfx::check(cr, bx + kCopyIconDx, by + kCopyH / 2, kCopyCheckR, p.chip_on_text, kCheckLw);
                else
                    gfx::icon_copy(cr, bx + kCopyIconDx, by + kCopyH / 2, kCopyIconR, hot ? p.accent : p.dim);
                gfx::text(cr, copied ? copied_label : copy_label, bx + kCopyTextDx, by + kCopyH / 2,
                          copied ? p.chip_on_text : p.text,
                          line_style(kCopySize, true, copy_w - kCopyTextDx - kCopyInset));
                if (record) m_hits.push_back(Hit{bx, by, copy_w, kCopyH, id, index, copy_tip});
                sy += bh + kCmdGap;

                if (i != 0 || s.example.empty()) continue;

                // Example output, then the points to check.
                gfx::text(cr, s.example_title, kStepX, sy + kExTitleDy, p.dim,
                          line_style(kExTitleSize, true, cw));
                const double box = sy + kExTitleDy + kExBoxDy;
                double widest = 0;
                for (const guide::ExampleLine& l : s.example) widest = std::max(widest, mono_width(cr, l.text));
                // The remark column: close behind the lines, never over them.
                const double rx = std::max(kExTextX + widest + kRemarkMinGap,
                                           std::min(kStepX + kRemarkShare * cw, widest + kRemarkAfter));
                const double room = kStepX + cw - kBoxInnerPad - (rx + kRemarkArrow);
                const bool own_row = room < kRemarkMinW;
                int rows = 0;
                for (const guide::ExampleLine& l : s.example) rows += own_row && !l.remark.empty() ? 2 : 1;
                gfx::display(cr, kStepX, box, cw, kExPad + kExLine * rows, p, false);
                int row = 0;
                for (const guide::ExampleLine& l : s.example) {
                    const double ly = box + kExTop + kExLine * row;
                    const Rgba bar = l.kind == 1 ? p.err : p.ok;
                    if (l.kind == 1 || l.kind == 2) {
                        gfx::rounded(cr, kExBarX, ly, kExBarW, kExBarH, kExBarR);
                        gfx::set(cr, bar);
                        gfx::fill(cr);
                    }
                    mono(cr, l.text, l.kind == 1 ? p.err : p.text, true, kExTextX, ly, 0);
                    ++row;
                    if (l.remark.empty()) continue;
                    double ax = rx, ay = ly + kExBarH / 2;
                    if (own_row) {
                        ax = kExTextX;
                        ay += kExLine;
                        ++row;
                    }
                    gfx::set(cr, bar);
                    cairo_set_line_width(cr, kArrowLw);
                    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
                    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
                    cairo_move_to(cr, ax + kRemarkArrow - kArrowHead, ay);
                    cairo_line_to(cr, ax, ay);
                    cairo_move_to(cr, ax + kArrowHead, ay - kArrowHead);
                    cairo_line_to(cr, ax, ay);
                    cairo_line_to(cr, ax + kArrowHead, ay + kArrowHead);
                    gfx::stroke(cr);
                    const double rw = kStepX + cw - kBoxInnerPad - (ax + kRemarkArrow);
                    gfx::text(cr, l.remark, ax + kRemarkArrow, ay, bar, line_style(kRemarkSize, false, rw));
                }
                sy = box + kExPad + kExLine * rows + kExBottom;

                for (const std::string& c : s.checks) {
                    gfx::check(cr, kCheckMarkX, sy + kCheckMarkDy, kCheckR, p.ok, kCheckLw);
                    sy += para(cr, c, kCheckX, sy, cw - kCheckIndent, kTextSize, p.text) + kCheckGap;
                }
                if (!s.checks.empty()) sy += kCheckGap;
            }

            if (!s.tip.empty()) {
                const double th = gfx::wrapped(cr, s.tip, 0, 0, cw - kTipIndent, kTextSize, p.text,
                                               gfx::Align::Left, false, false);
                gfx::rounded(cr, kStepX, sy, cw, th + 2 * kTipPad, kTipR);
                gfx::set(cr, gfx::with_alpha(p.accent, kTipFill));
                gfx::fill_preserve(cr);
                gfx::set(cr, gfx::with_alpha(p.accent, kTipEdge));
                cairo_set_line_width(cr, 1);
                gfx::stroke(cr);
                gfx::dot(cr, kTipDotX, sy + kTipDotDy, kTipDotR, p.accent);
                para(cr, s.tip, kTipX, sy + kTipPad, cw - kTipIndent, kTextSize, p.text);
                sy += th + kTipAfter;
            }
            return sy + kPanelBottomPad;
        };
        y = panel(top, body, s.warn ? p.err : p.accent, s.warn, static_cast<int>(si) + kStepSeed);
    }

    y += kPanelGap;
    y += para(cr, L10n::tr("g.footer"), kFooterX, y, W - 2 * kFooterX, kFooterSize, p.dim);
    return y + kFooterBottom;
}
