// The accessible objects: an application at the root, the window as a frame
// below it, and an object for every control and text the window drew. Four
// object types carry the interfaces a role needs (a label has extents only;
// a button has an action too; a spin button a value and a text as well), so
// a screen reader is not offered a value on a label.
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include "a11y_objects.h"

using a11y::detail::Data;

extern "C" {

struct ZxAcc {
    AtkObject parent;
    Data* d;
};

typedef ZxAcc ZxPlain;
typedef ZxAcc ZxControl;
typedef ZxAcc ZxSpin;
typedef ZxAcc ZxFrame;
typedef ZxAcc ZxRoot;
typedef AtkObjectClass ZxPlainClass;
typedef AtkObjectClass ZxControlClass;
typedef AtkObjectClass ZxSpinClass;
typedef AtkObjectClass ZxFrameClass;
typedef AtkObjectClass ZxRootClass;

}  // extern "C"

namespace a11y {
namespace detail {

State& st() {
    static State s;
    return s;
}

Data* data_of(gpointer obj) { return reinterpret_cast<ZxAcc*>(obj)->d; }
bool chosen_is_checked(Role r) { return r == Role::RadioButton || r == Role::ToggleButton; }
bool chosen_is_selected(Role r) { return r == Role::PageTab || r == Role::TableRow || r == Role::MenuItem; }
glong char_count(const std::string& s) { return g_utf8_strlen(s.c_str(), static_cast<gssize>(s.size())); }

}  // namespace detail
}  // namespace a11y

namespace {

using a11y::Action;
using a11y::Node;
using a11y::Role;
using namespace a11y::detail;

// ---- Objects ----

void acc_finalize(GObject* obj) {
    delete data_of(obj);
    reinterpret_cast<ZxAcc*>(obj)->d = nullptr;
    G_OBJECT_CLASS(g_type_class_peek(ATK_TYPE_OBJECT))->finalize(obj);
}

gint acc_n_children(AtkObject* obj) {
    const Data* d = data_of(obj);
    return d && !d->gone ? static_cast<gint>(d->children.size()) : 0;
}

AtkObject* acc_ref_child(AtkObject* obj, gint i) {
    const Data* d = data_of(obj);
    if (!d || d->gone || i < 0 || i >= static_cast<gint>(d->children.size())) return nullptr;
    return ATK_OBJECT(g_object_ref(d->children[static_cast<size_t>(i)]));
}

gint acc_index_in_parent(AtkObject* obj) {
    AtkObject* parent = atk_object_get_parent(obj);
    if (!parent) return -1;
    if (parent == st().root) return 0;
    const Data* pd = data_of(parent);
    if (!pd) return -1;
    const auto it = std::find(pd->children.begin(), pd->children.end(), obj);
    return it == pd->children.end() ? -1 : static_cast<gint>(it - pd->children.begin());
}


AtkStateSet* acc_ref_state_set(AtkObject* obj) {
    AtkStateSet* set = atk_state_set_new();
    const Data* d = data_of(obj);
    if (!d || d->gone) {
        atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
        return set;
    }
    const Node& n = d->node;
    atk_state_set_add_state(set, ATK_STATE_VISIBLE);
    if (n.enabled) {
        atk_state_set_add_state(set, ATK_STATE_ENABLED);
        atk_state_set_add_state(set, ATK_STATE_SENSITIVE);
    }
    if (n.showing) atk_state_set_add_state(set, ATK_STATE_SHOWING);
    if (n.focusable) atk_state_set_add_state(set, ATK_STATE_FOCUSABLE);
    if (n.focused) atk_state_set_add_state(set, ATK_STATE_FOCUSED);
    if (chosen_is_checked(n.role)) {
        atk_state_set_add_state(set, ATK_STATE_CHECKABLE);
        if (n.on) atk_state_set_add_state(set, ATK_STATE_CHECKED);
        if (n.on && n.role == Role::ToggleButton) atk_state_set_add_state(set, ATK_STATE_PRESSED);
    }
    if (chosen_is_selected(n.role)) {
        atk_state_set_add_state(set, ATK_STATE_SELECTABLE);
        if (n.on) atk_state_set_add_state(set, ATK_STATE_SELECTED);
    }
    if (n.editable) atk_state_set_add_state(set, ATK_STATE_EDITABLE);
    if (n.role == Role::Dialog) atk_state_set_add_state(set, ATK_STATE_MODAL);
    if (obj == st().frame) {
        atk_state_set_add_state(set, ATK_STATE_RESIZABLE);
        if (st().active) atk_state_set_add_state(set, ATK_STATE_ACTIVE);
    }
    if (n.role == Role::Label || n.role == Role::Heading || n.role == Role::TableCell)
        atk_state_set_add_state(set, ATK_STATE_READ_ONLY);
    return set;
}

// ---- Extents ----

struct Box {
    double x, y, w, h;
};

Box window_box(const Data* d) {
    if (!d) return {0, 0, 0, 0};
    return {d->node.x, d->node.y, d->node.w, d->node.h};
}

Box box_in(const Box& b, AtkObject* obj, AtkCoordType coords) {
    int wx = 0, wy = 0;
    double k = 1;
    if (st().host.origin) st().host.origin(&wx, &wy, &k);
    Box r{b.x * k, b.y * k, b.w * k, b.h * k};
    if (coords == ATK_XY_SCREEN) {
        r.x += wx;
        r.y += wy;
    } else if (coords == ATK_XY_PARENT) {
        AtkObject* parent = atk_object_get_parent(obj);
        if (parent && parent != st().frame && parent != st().root) {
            const Box p = window_box(data_of(parent));
            r.x -= p.x * k;
            r.y -= p.y * k;
        }
    }
    return r;
}

void acc_get_extents(AtkComponent* c, gint* x, gint* y, gint* w, gint* h, AtkCoordType coords) {
    const Box b = box_in(window_box(data_of(c)), ATK_OBJECT(c), coords);
    if (x) *x = static_cast<gint>(std::lround(b.x));
    if (y) *y = static_cast<gint>(std::lround(b.y));
    if (w) *w = static_cast<gint>(std::lround(b.w));
    if (h) *h = static_cast<gint>(std::lround(b.h));
}

AtkObject* acc_at_point(AtkComponent* c, gint x, gint y, AtkCoordType coords) {
    const Data* d = data_of(c);
    if (!d || d->gone) return nullptr;
    for (auto it = d->children.rbegin(); it != d->children.rend(); ++it) {
        const Data* cd = data_of(*it);
        if (!cd || !cd->node.showing) continue;
        const Box b = box_in(window_box(cd), *it, coords == ATK_XY_PARENT ? ATK_XY_WINDOW : coords);
        const Box mine = coords == ATK_XY_PARENT ? box_in(window_box(d), ATK_OBJECT(c), ATK_XY_WINDOW) : Box{0, 0, 0, 0};
        const double px = x + mine.x, py = y + mine.y;
        if (px < b.x || py < b.y || px >= b.x + b.w || py >= b.y + b.h) continue;
        if (AtkObject* deeper = acc_at_point(ATK_COMPONENT(*it), x, y, coords)) return deeper;
        return ATK_OBJECT(g_object_ref(*it));
    }
    return nullptr;
}

// What a screen reader asks for runs after its request has been answered.
struct Deferred {
    std::string key;
    std::function<void(const std::string&)> run;
};

gboolean run_deferred(gpointer p) {
    std::unique_ptr<Deferred> job(static_cast<Deferred*>(p));
    job->run(job->key);
    return G_SOURCE_REMOVE;
}

bool defer(AtkObject* obj, std::function<void(const std::string&)> run) {
    const Data* d = data_of(obj);
    if (!d || d->gone) return false;
    g_idle_add(run_deferred, new Deferred{d->node.key, std::move(run)});
    return true;
}

gboolean acc_grab_focus(AtkComponent* c) {
    return defer(ATK_OBJECT(c), [](const std::string& key) {
        if (st().host.focus) st().host.focus(key);
    });
}

void component_init(AtkComponentIface* iface) {
    iface->get_extents = acc_get_extents;
    iface->ref_accessible_at_point = acc_at_point;
    iface->grab_focus = acc_grab_focus;
}

// ---- Actions ----

constexpr const char* kClick = "click";
constexpr const char* kSpinActions[] = {"increase", "decrease"};

bool is_spin(AtkAction* a) {
    const Data* d = data_of(a);
    return d && d->node.role == Role::SpinButton;
}

gint act_count(AtkAction* a) { return is_spin(a) ? 2 : 1; }

const gchar* act_name(AtkAction* a, gint i) {
    if (i < 0 || i >= act_count(a)) return nullptr;
    return is_spin(a) ? kSpinActions[i] : kClick;
}

gboolean act_do(AtkAction* a, gint i) {
    if (i < 0 || i >= act_count(a)) return FALSE;
    const Action what = !is_spin(a) ? Action::Click : i == 0 ? Action::Increase : Action::Decrease;
    return defer(ATK_OBJECT(a), [what](const std::string& key) {
        if (st().host.act) st().host.act(key, what);
    });
}

void action_init(AtkActionIface* iface) {
    iface->get_n_actions = act_count;
    iface->get_name = act_name;
    iface->get_localized_name = act_name;
    iface->do_action = act_do;
}

// ---- Values ----

const Node* node_of(gpointer obj) {
    const Data* d = data_of(obj);
    return d && !d->gone ? &d->node : nullptr;
}

void put_double(GValue* v, double x) {
    g_value_init(v, G_TYPE_DOUBLE);
    g_value_set_double(v, x);
}

void val_current(AtkValue* o, GValue* v) { put_double(v, node_of(o) ? node_of(o)->value : 0); }
void val_min(AtkValue* o, GValue* v) { put_double(v, node_of(o) ? node_of(o)->min : 0); }
void val_max(AtkValue* o, GValue* v) { put_double(v, node_of(o) ? node_of(o)->max : 0); }
void val_step(AtkValue* o, GValue* v) { put_double(v, node_of(o) ? node_of(o)->step : 0); }

void set_clamped(AtkValue* o, double v) {
    const Node* n = node_of(o);
    if (!n || !std::isfinite(v)) return;
    // Setting a value cannot fail by this interface: a value out of range is held to it.
    const double x = std::clamp(v, n->min, n->max);
    defer(ATK_OBJECT(o), [x](const std::string& key) {
        if (st().host.set_value) st().host.set_value(key, x);
    });
}

gboolean val_set_current(AtkValue* o, const GValue* v) {
    if (!G_VALUE_HOLDS_DOUBLE(v) && !G_VALUE_HOLDS_INT(v)) return FALSE;
    set_clamped(o, G_VALUE_HOLDS_DOUBLE(v) ? g_value_get_double(v) : g_value_get_int(v));
    return TRUE;
}

void val_and_text(AtkValue* o, gdouble* value, gchar** text) {
    const Node* n = node_of(o);
    if (value) *value = n ? n->value : 0;
    if (text) *text = g_strdup(n ? n->text.c_str() : "");
}

AtkRange* val_range(AtkValue* o) {
    const Node* n = node_of(o);
    return n ? atk_range_new(n->min, n->max, nullptr) : nullptr;
}

gdouble val_increment(AtkValue* o) { return node_of(o) ? node_of(o)->step : 0; }
void val_set(AtkValue* o, gdouble v) { set_clamped(o, v); }

void value_init(AtkValueIface* iface) {
    iface->get_current_value = val_current;
    iface->get_minimum_value = val_min;
    iface->get_maximum_value = val_max;
    iface->get_minimum_increment = val_step;
    iface->set_current_value = val_set_current;
    iface->get_value_and_text = val_and_text;
    iface->get_range = val_range;
    iface->get_increment = val_increment;
    iface->set_value = val_set;
}

// ---- Text (a spin button's figure, echoed while it is typed) ----


gchar* slice(const std::string& s, gint start, gint end) {
    const glong n = char_count(s);
    const glong a = std::clamp<glong>(start, 0, n);
    const glong b = end < 0 ? n : std::clamp<glong>(end, a, n);
    return g_utf8_substring(s.c_str(), a, b);
}

gchar* text_get(AtkText* t, gint start, gint end) { return slice(node_of(t) ? node_of(t)->text : "", start, end); }
gint text_count(AtkText* t) { return node_of(t) ? static_cast<gint>(char_count(node_of(t)->text)) : 0; }

gint text_caret(AtkText* t) {
    const Node* n = node_of(t);
    if (!n) return 0;
    return n->caret >= 0 ? n->caret : static_cast<gint>(char_count(n->text));
}

gunichar text_char_at(AtkText* t, gint offset) {
    const Node* n = node_of(t);
    if (!n || offset < 0 || offset >= char_count(n->text)) return 0;
    return g_utf8_get_char(g_utf8_offset_to_pointer(n->text.c_str(), offset));
}

// A figure is one word on one line: every granularity but a character gives all of it.
gchar* text_string_at(AtkText* t, gint offset, AtkTextGranularity g, gint* start, gint* end) {
    const gint n = text_count(t);
    gint a = 0, b = n;
    if (g == ATK_TEXT_GRANULARITY_CHAR) {
        a = std::clamp(offset, 0, n);
        b = std::min(a + 1, n);
    }
    if (start) *start = a;
    if (end) *end = b;
    return text_get(t, a, b);
}

void text_char_extents(AtkText* t, gint, gint* x, gint* y, gint* w, gint* h, AtkCoordType coords) {
    acc_get_extents(ATK_COMPONENT(t), x, y, w, h, coords);
}

gint text_selections(AtkText*) { return 0; }

void text_init(AtkTextIface* iface) {
    iface->get_text = text_get;
    iface->get_character_count = text_count;
    iface->get_caret_offset = text_caret;
    iface->get_character_at_offset = text_char_at;
    iface->get_string_at_offset = text_string_at;
    iface->get_character_extents = text_char_extents;
    iface->get_n_selections = text_selections;
}

void window_init(AtkWindowIface*) {}

void acc_class_setup(AtkObjectClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = acc_finalize;
    klass->get_n_children = acc_n_children;
    klass->ref_child = acc_ref_child;
    klass->get_index_in_parent = acc_index_in_parent;
    klass->ref_state_set = acc_ref_state_set;
}

// ---- The root: the application ----

gint root_n_children(AtkObject*) { return st().frame ? 1 : 0; }
AtkObject* root_ref_child(AtkObject*, gint i) {
    return i == 0 && st().frame ? ATK_OBJECT(g_object_ref(st().frame)) : nullptr;
}
gint root_index(AtkObject*) { return -1; }

}  // namespace

G_DEFINE_TYPE_WITH_CODE(ZxPlain, zx_plain, ATK_TYPE_OBJECT, G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, component_init))
G_DEFINE_TYPE_WITH_CODE(ZxControl, zx_control, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, component_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, action_init))
G_DEFINE_TYPE_WITH_CODE(ZxSpin, zx_spin, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, component_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, action_init)
                                G_IMPLEMENT_INTERFACE(ATK_TYPE_VALUE, value_init)
                                    G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, text_init))
G_DEFINE_TYPE_WITH_CODE(ZxFrame, zx_frame, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, component_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_WINDOW, window_init))
G_DEFINE_TYPE(ZxRoot, zx_root, ATK_TYPE_OBJECT)

static void zx_plain_init(ZxPlain* self) { self->d = new Data; }
static void zx_control_init(ZxControl* self) { self->d = new Data; }
static void zx_spin_init(ZxSpin* self) { self->d = new Data; }
static void zx_frame_init(ZxFrame* self) { self->d = new Data; }
static void zx_root_init(ZxRoot* self) { self->d = nullptr; }
static void zx_plain_class_init(ZxPlainClass* k) { acc_class_setup(k); }
static void zx_control_class_init(ZxControlClass* k) { acc_class_setup(k); }
static void zx_spin_class_init(ZxSpinClass* k) { acc_class_setup(k); }
static void zx_frame_class_init(ZxFrameClass* k) { acc_class_setup(k); }
static void zx_root_class_init(ZxRootClass* k) {
    k->get_n_children = root_n_children;
    k->ref_child = root_ref_child;
    k->get_index_in_parent = root_index;
}

namespace a11y {
namespace detail {

GType type_for(Role r) {
    switch (r) {
    case Role::SpinButton: return zx_spin_get_type();
    case Role::PushButton:
    case Role::ToggleButton:
    case Role::RadioButton:
    case Role::PageTab:
    case Role::Menu:
    case Role::MenuItem:
    case Role::TableRow:
    case Role::Link: return zx_control_get_type();
    default: return zx_plain_get_type();
    }
}

GType root_type() { return zx_root_get_type(); }
GType frame_type() { return zx_frame_get_type(); }

}  // namespace detail
}  // namespace a11y
