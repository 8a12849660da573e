// The window's tree for the accessibility bridge. ATK has no toolkit of its
// own here: the AtkUtil class itself is given the root and the global event
// listeners (signal emission hooks), as a toolkit would. Each frame's tree
// is compared with the last by key: what went is made defunct, what came is
// announced, and what changed tells the bridge only that.
#include <algorithm>
#include <set>

#include "a11y_objects.h"
#include "version.h"

using namespace a11y::detail;
using a11y::Node;
using a11y::Role;

namespace {

// ---- ATK's utility class: the root and the global event listeners ----

AtkObject* util_root() {
    State& s = st();
    if (!s.root) {
        s.root = ATK_OBJECT(g_object_new(root_type(), nullptr));
        atk_object_set_role(s.root, ATK_ROLE_APPLICATION);
        atk_object_set_name(s.root, product::kName);
        s.frame = ATK_OBJECT(g_object_new(frame_type(), nullptr));
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
    for (GType t : {type_for(Role::Label), type_for(Role::PushButton), type_for(Role::SpinButton), frame_type(),
                    root_type()})
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
