// Hit ids: every id a painted frame carries, in every page, overlay and
// menu, is one the input dispatch reads; ids read back as what they were
// made from.
#include <gtest/gtest.h>

#include <set>

#include "app.h"
#include "hit_id.h"
#include "kit.h"
#include "l10n.h"

namespace {

using hit_id::Kind;

// The ids of both layers of a frame painted by `a`, tall enough for the
// whole page.
std::vector<Hit> painted(App& a) {
    a.snapshot(1280, 3200, 1, "", "");
    std::vector<Hit> all = a.m_hits;
    all.insert(all.end(), a.m_over_hits.begin(), a.m_over_hits.end());
    return all;
}

TEST(HitId, EveryPaintedIdIsOneTheDispatchReads) {
    std::set<Kind> seen;
    auto check = [&](App& a, const std::string& state) {
        for (const Hit& h : painted(a)) {
            const hit_id::Id id = hit_id::parse(h.id);
            EXPECT_NE(id.kind, Kind::None) << "\"" << h.id << "\" in " << state;
            EXPECT_EQ(hit_id::make(id.kind, id.arg), h.id) << state;
            seen.insert(id.kind);
        }
    };
    App a;
    a.load_state(kit::scratch_dir("ids"));
    a.m_settings.failed = "1";
    a.m_settings.spares = 1;
    a.restore_failures();
    for (const char* level : {"raid10", "raid60", "jbod"}) {
        a.m_settings.level = level;
        a.recompute();
        check(a, level);
    }
    a.m_settings.groups = 5;
    a.m_settings.level = "raid60";
    a.recompute();
    check(a, "suggestions");
    a.m_settings.tab = 1;
    a.m_settings.level = "raid5";
    a.recompute();
    check(a, "guide");
    for (int tab : {0, 1, 2}) {
        a.open_settings(tab);
        check(a, "settings tab " + std::to_string(tab));
    }
    a.m_modal = App::Modal::Languages;
    check(a, "languages");
    a.ask_reset();
    check(a, "confirm");
    a.m_modal = App::Modal::GuideWarn;
    check(a, "guide warning");
    a.open_working();
    check(a, "working");
    a.notify("note.save_failed");
    a.m_modal = App::Modal::None;
    for (int m = 0; m < 4; ++m) {
        a.open_menubar(m);
        check(a, "menu " + std::to_string(m));
    }
    a.m_menu.open = false;
    a.m_settings.tab = 0;
    a.m_settings.level = "raidtp";
    a.recompute();
    check(a, "no guide");
    // Every kind but the guide's way back (a page without a guide shows it)
    // and the overlays seen above was painted somewhere.
    for (Kind k : {Kind::MenuTitle, Kind::Settings, Kind::CopyResult, Kind::Tab, Kind::TabOff, Kind::StepUp,
                   Kind::StepDown, Kind::Field, Kind::OsSizes, Kind::Unit, Kind::Preset, Kind::DiskType, Kind::Level,
                   Kind::Compare, Kind::Mirror, Kind::Suggestion, Kind::Disk, Kind::Spare, Kind::Heal, Kind::Survival,
                   Kind::GuideCopy, Kind::GuidePm, Kind::GuideDev, Kind::MenuItem, Kind::SetPanel, Kind::SetTab,
                   Kind::SetClose, Kind::SetLanguage, Kind::SetTheme, Kind::SetZoom, Kind::SetAnimate,
                   Kind::SetGuideWarn, Kind::SetReset, Kind::SetLink, Kind::LangPanel, Kind::Language, Kind::ConfPanel, Kind::ConfOk,
                   Kind::ConfNo, Kind::WarnPanel, Kind::WarnAgain, Kind::WarnOk, Kind::WarnBack, Kind::UreChip,
                   Kind::HowLink, Kind::WorkPanel, Kind::WorkClose, Kind::NoticeClose})
        EXPECT_TRUE(seen.count(k)) << "kind " << static_cast<int>(k) << " never painted";
    L10n::setLanguage("en");
}

TEST(HitId, ReadsTailsAndRefusesWhatNoControlMakes) {
    EXPECT_EQ(hit_id::parse("cap:plus").kind, Kind::StepUp);
    EXPECT_EQ(hit_id::parse("cap:plus").arg, "cap");
    EXPECT_EQ(hit_id::parse("spares:field").kind, Kind::Field);
    EXPECT_EQ(hit_id::parse("set:link:mailto:a@b.c").arg, "mailto:a@b.c");
    EXPECT_EQ(hit_id::parse("lang:zh_TW").arg, "zh_TW");
    EXPECT_EQ(hit_id::parse("lang:panel").kind, Kind::LangPanel) << "the panel is no language";
    EXPECT_EQ(hit_id::parse("tab:off").kind, Kind::TabOff);
    EXPECT_EQ(hit_id::parse("disk:12").n(), 12);
    for (const char* bad : {"", "disk", "disk:", "cap:plsu", "bogus:1", "set:", "head:copyy", ":plus"})
        EXPECT_EQ(hit_id::parse(bad).kind, Kind::None) << bad;
}

}  // namespace
