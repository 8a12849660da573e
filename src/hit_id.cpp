// The table of hit ids: one row per kind, its fixed text and whether a tail
// follows. Steppers and fields are the one exception: their head is the
// value they edit.
#include "hit_id.h"

#include <cstdlib>
#include <iterator>

namespace hit_id {

namespace {

struct Form {
    Kind kind;
    const char* text;
    bool tail;  // the text is a prefix and a tail follows
};

// Exact ids before the prefixes they share a start with ("tab:off", "lang:panel").
constexpr Form kForms[] = {
    {Kind::MenuTitle, "mb:", true},
    {Kind::NoticeClose, "notice:close", false},
    {Kind::Settings, "head:settings", false},
    {Kind::CopyResult, "head:copy", false},
    {Kind::TabOff, "tab:off", false},
    {Kind::Tab, "tab:", true},
    {Kind::OsSizes, "ossize:toggle", false},
    {Kind::Unit, "unit:", true},
    {Kind::Preset, "preset:", true},
    {Kind::DiskType, "type:", true},
    {Kind::Level, "lvl:", true},
    {Kind::Compare, "cmp:", true},
    {Kind::Mirror, "mirror:", true},
    {Kind::Suggestion, "sug:", true},
    {Kind::Disk, "disk:", true},
    {Kind::Spare, "spare:", true},
    {Kind::Heal, "heal", false},
    {Kind::UreChip, "urex:", true},
    {Kind::HowLink, "res:how", false},
    {Kind::Survival, "surv", false},
    {Kind::Tip, "tip:", true},
    {Kind::GuideCopy, "gcopy:", true},
    {Kind::GuidePm, "gpm:", true},
    {Kind::GuideDev, "gdev:", true},
    {Kind::GuideToCalc, "gtocalc", false},
    {Kind::MenuItem, "menu:", true},
    {Kind::SetPanel, "set:panel", false},
    {Kind::SetTab, "set:tab:", true},
    {Kind::SetClose, "set:close", false},
    {Kind::SetLanguage, "set:lang", false},
    {Kind::SetTheme, "set:seg:theme:", true},
    {Kind::SetZoom, "set:zoom:", true},
    {Kind::SetAnimate, "set:sw:animate", false},
    {Kind::SetGuideWarn, "set:sw:guide_warn", false},
    {Kind::SetReset, "set:btn:reset", false},
    {Kind::SetLink, "set:link:", true},
    {Kind::LangPanel, "lang:panel", false},
    {Kind::Language, "lang:", true},
    {Kind::ConfPanel, "conf:panel", false},
    {Kind::ConfOk, "conf:ok", false},
    {Kind::ConfNo, "conf:no", false},
    {Kind::WarnPanel, "gw:panel", false},
    {Kind::WarnAgain, "gw:again", false},
    {Kind::WarnOk, "gw:ok", false},
    {Kind::WarnBack, "gw:back", false},
    {Kind::WorkPanel, "work:panel", false},
    {Kind::WorkClose, "work:close", false},
};

constexpr const char* kValueNames[] = {"cap", "disks", "spares", "rd", "wr", "groups", "afr", "ure", "repl", "years"};
constexpr const char* kUp = "plus";
constexpr const char* kDown = "minus";
constexpr const char* kField = "field";

bool starts_with(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

const Form* form_of(Kind kind) {
    for (const Form& f : kForms)
        if (f.kind == kind) return &f;
    return nullptr;
}

}  // namespace

int Id::n() const { return std::atoi(arg.c_str()); }

bool is_value_name(const std::string& name) {
    for (const char* v : kValueNames)
        if (name == v) return true;
    return false;
}

Id parse(const std::string& id) {
    for (const Form& f : kForms)
        if (!f.tail && id == f.text) return Id{f.kind, ""};
    for (const Form& f : kForms)
        if (f.tail && starts_with(id, f.text) && id.size() > std::string(f.text).size())
            return Id{f.kind, id.substr(std::string(f.text).size())};
    const size_t colon = id.find(':');
    if (colon == std::string::npos) return Id{};
    const std::string head = id.substr(0, colon), tail = id.substr(colon + 1);
    if (!is_value_name(head)) return Id{};
    if (tail == kUp) return Id{Kind::StepUp, head};
    if (tail == kDown) return Id{Kind::StepDown, head};
    if (tail == kField) return Id{Kind::Field, head};
    return Id{};
}

std::string make(Kind kind, const std::string& arg) {
    switch (kind) {
    case Kind::StepUp: return arg + ":" + kUp;
    case Kind::StepDown: return arg + ":" + kDown;
    case Kind::Field: return arg + ":" + kField;
    default: break;
    }
    const Form* f = form_of(kind);
    if (!f) return "";
    return f->tail ? f->text + arg : f->text;
}

std::string make(Kind kind, int n) { return make(kind, std::to_string(n)); }

Pointer pointer_of(Kind kind) {
    switch (kind) {
    case Kind::Field: return Pointer::Text;
    case Kind::None:
    case Kind::Tip:
    case Kind::Survival:
    case Kind::TabOff:
    case Kind::SetPanel:
    case Kind::LangPanel:
    case Kind::ConfPanel:
    case Kind::WarnPanel:
    case Kind::WorkPanel: return Pointer::Arrow;
    default: return Pointer::Hand;
    }
}

std::string prefix(Kind kind) {
    const Form* f = form_of(kind);
    return f && f->tail ? f->text : "";
}

bool in_frame(Kind kind) {
    return kind == Kind::MenuTitle || kind == Kind::Tab || kind == Kind::TabOff || kind == Kind::Settings ||
           kind == Kind::CopyResult || kind == Kind::NoticeClose;
}

}  // namespace hit_id
