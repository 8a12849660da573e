// What each control does. A click on the page or on an overlay is read
// into its hit id's kind and turned into one of the actions below; menus
// and keys call the same actions, so a toggle does the same wherever it is
// pulled.
//
//   ---- Actions ----
//   ---- Page clicks ----
//   ---- Overlay clicks ----
#include <algorithm>
#include <cstdlib>

#include "app.h"
#include "gpu.h"
#include "hit_id.h"
#include "l10n.h"
#include "logger.h"
#include "zxcrash.h"

namespace {

constexpr uint32_t kHoldDelayMs = 420;
constexpr const char* kThemes[] = {"auto", "dark", "light"};
constexpr int kTbUnit = 2, kGbUnit = 1;
constexpr double kGbPerTb = 1000;
constexpr double kPresetScale = 100;  // a preset's n is its size in hundredths of a GB

}  // namespace

using hit_id::Kind;

// ---- Actions ----

void App::set_theme(const std::string& theme) {
    m_settings.theme = theme;
    apply_theme();
    settings_changed();
}

void App::toggle_animate() {
    m_settings.animate = !m_settings.animate;
    settings_changed();
}

void App::toggle_os_sizes() {
    m_settings.os_sizes = !m_settings.os_sizes;
    changed();
}

void App::toggle_guide_warn() {
    m_settings.guide_warn = !m_settings.guide_warn;
    settings_changed();
}

void App::set_unit(int unit) {
    m_settings.cap_unit = std::clamp(unit, raid::kMinUnit, raid::kMaxUnit);
    changed();
}

void App::set_preset(double gb) {
    if (gb >= kGbPerTb) {
        m_settings.cap_value = gb / kGbPerTb;
        m_settings.cap_unit = kTbUnit;
    } else {
        m_settings.cap_value = gb;
        m_settings.cap_unit = kGbUnit;
    }
    changed();
}

void App::set_mirror(int copies) {
    m_settings.mirror = std::clamp(copies, raid::kMinMirror, raid::kMaxMirror);
    changed();
}

void App::toggle_failed(bool spare, int index) {
    std::set<int>& s = spare ? m_failed_spares : m_failed;
    if (!s.erase(index)) s.insert(index);
    // A failed drive changes its bay and the array's state, no panel's height.
    refigure_page();
    queue_save();
}

void App::set_guide_pm(int pm) {
    m_settings.guide_pm = std::clamp(pm, 0, 3);
    invalidate();
    queue_save();
}

void App::set_guide_dev(int dev) {
    m_settings.guide_dev = std::clamp(dev, -1, 2);
    invalidate();
    queue_save();
}

void App::copy_result() {
    copy(result_text());
    m_copied_cmd = -1;
}

void App::ask_reset() {
    confirm(L10n::tr("mi.reset_confirm"), L10n::tr("mi.reset"), [this] {
        reset_calculation();
        invalidate_over();
    });
}

// ---- Page clicks ----

void App::page_click(const Hit& hit, int /*button*/) {
    const hit_id::Id id = hit_id::parse(hit.id);
    switch (id.kind) {
    case Kind::StepUp:
    case Kind::StepDown:
        step_value(id.arg, id.kind == Kind::StepUp ? +1 : -1);
        m_hold = hit.id;
        m_hold_next = SDL_GetTicks() + kHoldDelayMs;
        break;
    case Kind::Field:
        if (m_edit != id.arg) begin_edit(id.arg);
        break;
    case Kind::NoticeClose: dismiss_notice(); break;
    case Kind::Settings: open_settings(0); break;
    case Kind::CopyResult: copy_result(); break;
    case Kind::Tab:
        if (hit.n == 0 || has_guide()) select_tab(hit.n);
        break;
    case Kind::OsSizes: toggle_os_sizes(); break;
    case Kind::Unit: set_unit(hit.n); break;
    case Kind::Preset: set_preset(hit.n / kPresetScale); break;
    case Kind::DiskType: set_type(id.arg); break;
    case Kind::Level:
    case Kind::Compare: set_level(raid::kLevels[std::clamp(hit.n, 0, raid::kLevelCount - 1)]); break;
    case Kind::Mirror: set_mirror(hit.n); break;
    case Kind::Suggestion: set_disks(m_settings.spares + hit.n); break;
    case Kind::Disk: toggle_failed(false, hit.n); break;
    case Kind::Spare: toggle_failed(true, hit.n); break;
    case Kind::Heal: heal(); break;
    case Kind::UreChip: set_ure(hit.n); break;
    case Kind::HowLink: open_working(); break;
    case Kind::GuideCopy:
        if (hit.n >= 0 && hit.n < static_cast<int>(m_cmds.size())) {
            copy(m_cmds[hit.n]);
            m_copied_cmd = hit.n;
        }
        break;
    case Kind::GuidePm: set_guide_pm(hit.n); break;
    case Kind::GuideDev: set_guide_dev(hit.n); break;
    case Kind::GuideToCalc: select_tab(0); break;
    // Menu titles open on the press (any button); the rest carry tooltips
    // or belong to the overlays.
    default: break;
    }
}

// ---- Overlay clicks ----

void App::over_click(const Hit& hit) {
    const hit_id::Id id = hit_id::parse(hit.id);
    switch (m_modal) {
    case Modal::Crash:
        if (id.kind == Kind::ConfOk) {
            logger::info("crash report: user chose send");
            zxcrash::send(logger::file_path());
            m_watch_send = true;
            m_modal = Modal::None;
        } else if (id.kind == Kind::ConfNo) {
            logger::info("crash report: user chose discard");
            zxcrash::discard();
            m_modal = Modal::None;
        }
        invalidate_over();
        return;
    case Modal::GuideWarn:
        if (id.kind == Kind::WarnAgain) {
            toggle_guide_warn();
        } else if (id.kind == Kind::WarnOk) {
            m_guide_warned = true;
            m_modal = Modal::None;
            invalidate();
            invalidate_over();
        } else if (id.kind == Kind::WarnBack) {
            m_modal = Modal::None;
            select_tab(0);
            invalidate_over();
        }
        return;
    case Modal::Confirm:
        if (id.kind == Kind::ConfOk) {
            m_modal = Modal::None;
            if (m_confirm_act) {
                const std::function<void()> act = m_confirm_act;
                act();
            }
        } else if (id.kind == Kind::ConfNo) {
            m_modal = Modal::None;
        }
        invalidate_over();
        return;
    case Modal::Languages:
        if (id.kind == Kind::Language) {
            m_settings.language = id.arg;
            L10n::clearFallback();
            L10n::setLanguage(m_settings.language);
            m_modal = Modal::Settings;
            settings_changed();
        }
        return;
    case Modal::Working:
        if (id.kind == Kind::WorkClose) m_modal = Modal::None;
        invalidate_over();
        return;
    case Modal::Settings:
    case Modal::None:
        break;
    }

    switch (id.kind) {
    case Kind::SetTab:
        m_set_tab = std::clamp(hit.n, 0, 2);
        m_set_scroll = 0;
        invalidate_over();
        break;
    case Kind::SetClose:
        m_modal = Modal::None;
        invalidate_over();
        break;
    case Kind::SetLanguage:
        m_modal = Modal::Languages;
        m_lang_scroll = 0;
        invalidate_over();
        break;
    case Kind::SetTheme: set_theme(kThemes[std::clamp(hit.n, 0, 2)]); break;
    case Kind::SetZoom: zoom_step(id.arg == "plus" ? +1 : -1); break;
    case Kind::SetAnimate: toggle_animate(); break;
    case Kind::SetGuideWarn: toggle_guide_warn(); break;
    case Kind::SetReset: ask_reset(); break;
    case Kind::SetLink: open_url(id.arg); break;
    default: break;
    }
}
