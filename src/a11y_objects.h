// What the accessible objects and the tree built from the window's frames
// share: each object's C++ side, the bridge's state, and the object types.
#pragma once

#include <atk/atk.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "a11y.h"

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


struct State {
    Host host;
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

State& st();
Data* data_of(gpointer obj);
// Roles whose "on" reads as checked, and those where it reads as selected.
bool chosen_is_checked(Role r);
bool chosen_is_selected(Role r);
glong char_count(const std::string& s);
// The object type with the interfaces `r` needs, and those of the root and the window.
GType type_for(Role r);
GType root_type();
GType frame_type();

}  // namespace detail
}  // namespace a11y
