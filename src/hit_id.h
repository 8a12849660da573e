// The ids of the window's hits, built and read in one place. An id is a
// short command, a head and a tail split at the first colon ("disk:3",
// "cap:plus", "set:link:https://…"); painters make them with `make`, the
// input dispatch reads them with `parse`, so a mistyped id cannot leave a
// control that silently does nothing.
#pragma once

#include <string>

namespace hit_id {

enum class Kind {
    None,      // not an id the window makes
    Tip,       // a rectangle that only carries a tooltip, such as the whole of a cut text
    Survival,  // a survival chance chip: its tooltip explains it
    // Frame
    MenuTitle,
    NoticeClose,
    Settings,
    CopyResult,
    Tab,
    TabOff,
    // Calculator page
    StepUp,
    StepDown,
    Field,
    OsSizes,
    Unit,
    Preset,
    DiskType,
    Level,
    Compare,
    Mirror,
    Suggestion,
    Disk,
    Spare,
    Heal,
    UreChip,
    HowLink,
    // Guide page
    GuideCopy,
    GuidePm,
    GuideDev,
    GuideToCalc,
    // Overlays
    MenuItem,
    SetPanel,
    SetTab,
    SetClose,
    SetLanguage,
    SetTheme,
    SetZoom,  // the interface size's "plus" or "minus"
    SetAnimate,
    SetGuideWarn,
    SetReset,
    SetLink,
    LangPanel,
    Language,
    ConfPanel,
    ConfOk,
    ConfNo,
    WarnPanel,
    WarnAgain,
    WarnOk,
    WarnBack,
    WorkPanel,
    WorkClose,
};

// What an id says: its kind and its tail (a value name, an index, a key, a
// language code or an address), empty when the kind has none.
struct Id {
    Kind kind = Kind::None;
    std::string arg;
    // The tail as a number (0 when it is none).
    int n() const;
};

Id parse(const std::string& id);
// The id of `kind` with `arg` as its tail; for StepUp, StepDown and Field
// `arg` is the value name ("cap" gives "cap:plus").
std::string make(Kind kind, const std::string& arg = "");
std::string make(Kind kind, int n);
// The start shared by every id of `kind`, for a row of segments that
// numbers its own ids ("set:tab:").
std::string prefix(Kind kind);
// The window's frame (menu bar, tabs, the header's buttons, the notice)
// rather than the page below it.
bool in_frame(Kind kind);
// What the pointer looks like over an id: a hand over what can be clicked,
// a text cursor over a field to type in, the arrow elsewhere.
enum class Pointer { Arrow, Hand, Text };
Pointer pointer_of(Kind kind);
// The names of the values a stepper or a field edits.
bool is_value_name(const std::string& name);

}  // namespace hit_id
