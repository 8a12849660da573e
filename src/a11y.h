// The window for assistive technology. The controls and texts of the last
// frame become a tree of accessible objects (ATK), which the desktop's
// AT-SPI bridge offers to screen readers over the accessibility bus. The
// window hands over what it drew after each repaint; objects are kept by
// their key, so a screen reader holding one sees it change (a result figure
// gets a new name) rather than vanish and come back.
//
// Nothing here starts unless accessibility is wanted: the bridge comes up
// when the desktop says a screen reader or other assistive technology is
// on, and the window publishes its tree only from then on.
#pragma once

#include <functional>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;

namespace a11y {

enum class Role {
    Label,
    Heading,
    Panel,
    PushButton,
    ToggleButton,
    RadioButton,
    SpinButton,
    PageTabList,
    PageTab,
    MenuBar,
    Menu,
    MenuItem,
    Dialog,
    Table,
    TableRow,
    TableCell,
    ColumnHeader,
    Link,
};

// One object as the window last drew it.
struct Node {
    std::string key{};     // the control's id, or a text's place; stable across frames
    std::string parent{};  // the parent's key; "" is the window
    Role role = Role::Label;
    std::string name{}, description{};
    double x = 0, y = 0, w = 0, h = 0;  // window units
    bool focusable = false, focused = false, on = false, showing = true, editable = false, enabled = true;
    // A spin button's value and what it allows.
    double value = 0, min = 0, max = 0, step = 0;
    // A spin button's text as shown or being typed, and the caret in characters (-1 none).
    std::string text{};
    int caret = -1;
};

enum class Action { Click, Increase, Decrease };

// What the objects ask of the window. Called on the main thread, from an
// idle callback rather than inside the bridge's request.
struct Host {
    std::function<void(const std::string& key, Action)> act;
    std::function<void(const std::string& key, double value)> set_value;
    std::function<void(const std::string& key)> focus;
    // The window's place on the screen, and screen pixels per window unit.
    std::function<void(int* x, int* y, double* scale)> origin;
    // The window has become accessible: publish the tree.
    std::function<void()> enabled;
};

// Watches the session bus for the accessibility bus and its status, without
// starting either; brings the bridge up when assistive technology is on,
// now or later. Honours NO_AT_BRIDGE=1; a null bus keeps it off.
void watch(GDBusConnection* bus, Host host);
// The bridge is up and the window should publish its tree.
bool enabled();
// The tree as last drawn, parents before their children and children in
// reading order, in a window of `w` x `h` units titled `title`.
void publish(const std::vector<Node>& nodes, double w, double h, const std::string& title);
// The window gained or lost the keyboard (its frame is activated).
void window_active(bool active);
// Lets go of every object (the window closes).
void shutdown();

}  // namespace a11y
