// The accessible objects: an application at the root, the window as a frame
// below it, and an object for every control and text the window drew. Four
// object types carry the interfaces a role needs (a label has extents only;
// a button has an action too; a spin button a value and a text as well), so
// a screen reader is not offered a value on a label. ATK has no toolkit of
// its own here: the AtkUtil class itself is given the root and the global
// event listeners (signal emission hooks), as a toolkit would.
#include "a11y.h"

#include <atk/atk.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>

#include "version.h"

namespace a11y {
namespace detail {

// The part of an object that lives in C++: what it shows, and its children
// as the tree last had them. An object a screen reader still holds after
// its control went away keeps this, marked gone.
struct Data {
    Node node;
    std::vector<AtkObject*> children;
    bool gone = false;
};

}  // namespace detail
}  // namespace a11y

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

namespace {

using a11y::Action;
using a11y::Node;
using a11y::Role;

struct State {
    a11y::Host host;
    bool up = false;
    bool active = false;
    bool announced = false;  // the window's activation told since the bridge came up
    AtkObject* root = nullptr;
    AtkObject* frame = nullptr;
    std::map<std::string, AtkObject*> objects;  // by key, one reference each
    std::string focused;
    double w = 0, h = 0;
    std::string title;
    // Global event listeners: our id -> (signal, emission hook).
    std::map<guint, std::pair<guint, gulong>> listeners;
    guint next_listener = 1;
};

State& st() {
    static State s;
    return s;
}

Data* data_of(gpointer obj) { return reinterpret_cast<ZxAcc*>(obj)->d; }

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

bool chosen_is_checked(Role r) { return r == Role::RadioButton || r == Role::ToggleButton; }
bool chosen_is_selected(Role r) { return r == Role::PageTab || r == Role::TableRow || r == Role::MenuItem; }

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

glong char_count(const std::string& s) { return g_utf8_strlen(s.c_str(), static_cast<gssize>(s.size())); }

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

namespace {

// ---- ATK's utility class: the root and the global event listeners ----

AtkObject* util_root() {
    State& s = st();
    if (!s.root) {
        s.root = ATK_OBJECT(g_object_new(zx_root_get_type(), nullptr));
        atk_object_set_role(s.root, ATK_ROLE_APPLICATION);
        atk_object_set_name(s.root, product::kName);
        s.frame = ATK_OBJECT(g_object_new(zx_frame_get_type(), nullptr));
        atk_object_set_role(s.frame, ATK_ROLE_FRAME);
        atk_object_set_name(s.frame, product::kName);
        atk_object_set_parent(s.frame, s.root);
    }
    return s.root;
}

const gchar* util_toolkit_name() { return product::kName; }
const gchar* util_toolkit_version() { return product::kVersion; }

// "Toolkit:Type:signal[:detail]" for object signals, "window:signal" for
// the window's; both become an emission hook on that signal.
guint util_add_listener(GSignalEmissionHook hook, const gchar* event_type) {
    gchar** parts = g_strsplit(event_type, ":", 4);
    const guint n = g_strv_length(parts);
    GType type = 0;
    const gchar* signal = nullptr;
    if (n == 2 && g_strcmp0(parts[0], "window") == 0) {
        type = ATK_TYPE_WINDOW;
        signal = parts[1];
    } else if (n >= 3) {
        type = g_type_from_name(parts[1]);
        signal = parts[2];
    }
    guint id = 0;
    if (type != 0 && signal) {
        if (G_TYPE_IS_INTERFACE(type))
            g_type_default_interface_unref(g_type_default_interface_ref(type));
        else if (G_TYPE_IS_CLASSED(type))
            g_type_class_unref(g_type_class_ref(type));
        if (const guint sig = g_signal_lookup(signal, type)) {
            const gulong hook_id = g_signal_add_emission_hook(sig, 0, hook, nullptr, nullptr);
            id = st().next_listener++;
            st().listeners[id] = {sig, hook_id};
        }
    }
    g_strfreev(parts);
    return id;
}

void util_remove_listener(guint id) {
    const auto it = st().listeners.find(id);
    if (it == st().listeners.end()) return;
    g_signal_remove_emission_hook(it->second.first, it->second.second);
    st().listeners.erase(it);
}

// ---- Publishing ----

AtkRole atk_role(Role r) {
    switch (r) {
    case Role::Label: return ATK_ROLE_LABEL;
    case Role::Heading: return ATK_ROLE_HEADING;
    case Role::Panel: return ATK_ROLE_PANEL;
    case Role::PushButton: return ATK_ROLE_PUSH_BUTTON;
    case Role::ToggleButton: return ATK_ROLE_TOGGLE_BUTTON;
    case Role::RadioButton: return ATK_ROLE_RADIO_BUTTON;
    case Role::SpinButton: return ATK_ROLE_SPIN_BUTTON;
    case Role::PageTabList: return ATK_ROLE_PAGE_TAB_LIST;
    case Role::PageTab: return ATK_ROLE_PAGE_TAB;
    case Role::MenuBar: return ATK_ROLE_MENU_BAR;
    case Role::Menu: return ATK_ROLE_MENU;
    case Role::MenuItem: return ATK_ROLE_MENU_ITEM;
    case Role::Dialog: return ATK_ROLE_DIALOG;
    case Role::Table: return ATK_ROLE_TABLE;
    case Role::TableRow: return ATK_ROLE_TABLE_ROW;
    case Role::TableCell: return ATK_ROLE_TABLE_CELL;
    case Role::ColumnHeader: return ATK_ROLE_COLUMN_HEADER;
    case Role::Link: return ATK_ROLE_LINK;
    }
    return ATK_ROLE_UNKNOWN;
}

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

void forget(AtkObject* obj) {
    Data* d = data_of(obj);
    if (!d) return;
    d->gone = true;
    d->children.clear();
    atk_object_notify_state_change(obj, ATK_STATE_DEFUNCT, TRUE);
    g_object_unref(obj);
}

// Tells the bridge what changed between two states of one object.
void tell_changes(AtkObject* obj, const Node& was, const Node& now) {
    if (was.name != now.name) atk_object_set_name(obj, now.name.c_str());
    if (was.description != now.description) atk_object_set_description(obj, now.description.c_str());
    if (was.showing != now.showing) atk_object_notify_state_change(obj, ATK_STATE_SHOWING, now.showing);
    if (was.editable != now.editable) atk_object_notify_state_change(obj, ATK_STATE_EDITABLE, now.editable);
    if (was.on != now.on) {
        if (chosen_is_checked(now.role)) atk_object_notify_state_change(obj, ATK_STATE_CHECKED, now.on);
        if (chosen_is_selected(now.role)) atk_object_notify_state_change(obj, ATK_STATE_SELECTED, now.on);
    }
    if (now.role != Role::SpinButton) return;
    // The value reaches AT-SPI as a change of this property.
    if (was.value != now.value) g_object_notify(G_OBJECT(obj), "accessible-value");
    if (was.text != now.text) {
        // Typing echoed: what went and what came, between the common ends.
        const glong a = char_count(was.text), b = char_count(now.text);
        glong head = 0;
        while (head < a && head < b &&
               g_utf8_get_char(g_utf8_offset_to_pointer(was.text.c_str(), head)) ==
                   g_utf8_get_char(g_utf8_offset_to_pointer(now.text.c_str(), head)))
            ++head;
        glong tail = 0;
        while (tail < a - head && tail < b - head &&
               g_utf8_get_char(g_utf8_offset_to_pointer(was.text.c_str(), a - 1 - tail)) ==
                   g_utf8_get_char(g_utf8_offset_to_pointer(now.text.c_str(), b - 1 - tail)))
            ++tail;
        if (a - head - tail > 0) {
            gchar* gone = g_utf8_substring(was.text.c_str(), head, a - tail);
            g_signal_emit_by_name(obj, "text-remove::system", static_cast<gint>(head), static_cast<gint>(a - head - tail),
                                  gone);
            g_free(gone);
        }
        if (b - head - tail > 0) {
            gchar* came = g_utf8_substring(now.text.c_str(), head, b - tail);
            g_signal_emit_by_name(obj, "text-insert::system", static_cast<gint>(head), static_cast<gint>(b - head - tail),
                                  came);
            g_free(came);
        }
    }
    if (was.caret != now.caret && now.caret >= 0) g_signal_emit_by_name(obj, "text-caret-moved", now.caret);
}

}  // namespace

namespace a11y {
namespace detail {

void install_util() {
    // The class itself, not a subclass: the bridge asks ATK, and ATK asks
    // whatever AtkUtil's class holds.
    AtkUtilClass* util = ATK_UTIL_CLASS(g_type_class_ref(ATK_TYPE_UTIL));
    util->get_root = util_root;
    util->get_toolkit_name = util_toolkit_name;
    util->get_toolkit_version = util_toolkit_version;
    util->add_global_event_listener = util_add_listener;
    util->remove_global_event_listener = util_remove_listener;
    // Types the listeners name must exist before the bridge asks for them.
    for (GType t : {zx_plain_get_type(), zx_control_get_type(), zx_spin_get_type(), zx_frame_get_type(),
                    zx_root_get_type()})
        g_type_class_unref(g_type_class_ref(t));
    util_root();
}

void set_up(bool up, Host host) {
    st().host = std::move(host);
    st().up = up;
}

}  // namespace detail

bool enabled() { return st().up; }

void publish(const std::vector<Node>& nodes, double w, double h, const std::string& title) {
    State& s = st();
    if (!s.up || !s.frame) return;
    Data* fd = data_of(s.frame);
    fd->node.w = w;
    fd->node.h = h;
    fd->node.showing = true;
    fd->node.focusable = false;
    if (title != s.title) {
        s.title = title;
        atk_object_set_name(s.frame, title.c_str());
    }

    std::map<std::string, const Node*> wanted;
    for (const Node& n : nodes) wanted[n.key] = &n;
    // Gone, or now of another kind of object (a label that became a button),
    // and with them everything below them.
    std::set<std::string> drop;
    for (const auto& [key, obj] : s.objects) {
        const auto want = wanted.find(key);
        const Node& had = data_of(obj)->node;
        if (want == wanted.end() || had.parent != want->second->parent || had.role != want->second->role)
            drop.insert(key);
    }
    for (bool more = true; more;) {
        more = false;
        for (const auto& [key, obj] : s.objects) {
            const std::string& parent = data_of(obj)->node.parent;
            if (!parent.empty() && drop.count(parent) && drop.insert(key).second) more = true;
        }
    }
    std::vector<std::pair<AtkObject*, AtkObject*>> removed;  // object, its parent
    for (const std::string& key : drop) {
        AtkObject* obj = s.objects[key];
        removed.emplace_back(obj, atk_object_get_parent(obj));
        s.objects.erase(key);
    }
    for (const auto& [obj, parent] : removed) {
        if (parent) {
            if (Data* pd = data_of(parent)) {
                const auto at = std::find(pd->children.begin(), pd->children.end(), obj);
                if (at != pd->children.end()) {
                    const gint index = static_cast<gint>(at - pd->children.begin());
                    pd->children.erase(at);
                    g_signal_emit_by_name(parent, "children-changed::remove", index, obj);
                }
            }
        }
        if (s.focused == data_of(obj)->node.key) s.focused.clear();
        forget(obj);
    }

    // New objects and changed ones, then every parent's children in order.
    std::vector<AtkObject*> added;
    std::map<AtkObject*, std::vector<AtkObject*>> kids;
    AtkObject* focused = nullptr;
    for (const Node& n : nodes) {
        AtkObject* parent = s.frame;
        if (!n.parent.empty()) {
            const auto p = s.objects.find(n.parent);
            if (p == s.objects.end()) continue;  // an orphan is left out, not hung on the window
            parent = p->second;
        }
        AtkObject*& obj = s.objects[n.key];
        if (!obj) {
            obj = ATK_OBJECT(g_object_new(type_for(n.role), nullptr));
            data_of(obj)->node = n;
            atk_object_set_role(obj, atk_role(n.role));
            atk_object_set_name(obj, n.name.c_str());
            atk_object_set_description(obj, n.description.c_str());
            atk_object_set_parent(obj, parent);
            added.push_back(obj);
        } else {
            const Node was = data_of(obj)->node;
            data_of(obj)->node = n;
            tell_changes(obj, was, n);
        }
        kids[parent].push_back(obj);
        if (n.focused) focused = obj;
    }
    for (auto& [parent, list] : kids) data_of(parent)->children = list;
    for (const auto& [key, obj] : s.objects)
        if (!kids.count(obj)) data_of(obj)->children.clear();
    fd->children = kids[s.frame];
    for (AtkObject* obj : added) {
        AtkObject* parent = atk_object_get_parent(obj);
        const gint index = atk_object_get_index_in_parent(obj);
        g_signal_emit_by_name(parent, "children-changed::add", index, obj);
    }

    if (!s.announced) {
        s.announced = true;
        if (s.active) {
            atk_object_notify_state_change(s.frame, ATK_STATE_ACTIVE, TRUE);
            g_signal_emit_by_name(s.frame, "activate");
        }
    }
    const std::string now = focused ? data_of(focused)->node.key : "";
    if (now != s.focused) {
        const auto old = s.objects.find(s.focused);
        if (old != s.objects.end()) atk_object_notify_state_change(old->second, ATK_STATE_FOCUSED, FALSE);
        s.focused = now;
        if (focused) {
            atk_object_notify_state_change(focused, ATK_STATE_FOCUSED, TRUE);
            G_GNUC_BEGIN_IGNORE_DEPRECATIONS
            atk_focus_tracker_notify(focused);
            G_GNUC_END_IGNORE_DEPRECATIONS
        }
    }
}

void window_active(bool active) {
    State& s = st();
    if (s.active == active) return;
    s.active = active;
    if (!s.up || !s.frame || !s.announced) return;
    atk_object_notify_state_change(s.frame, ATK_STATE_ACTIVE, active);
    g_signal_emit_by_name(s.frame, active ? "activate" : "deactivate");
}

void shutdown() {
    State& s = st();
    for (auto& [key, obj] : s.objects) forget(obj);
    s.objects.clear();
    if (s.frame) data_of(s.frame)->children.clear();
    s.focused.clear();
}

}  // namespace a11y
