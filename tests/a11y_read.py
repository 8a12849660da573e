#!/usr/bin/python3
"""Reads the program's window as a screen reader does, over AT-SPI.

a11y_read.py NAME dump            the tree as JSON lines, one object each
a11y_read.py NAME do PATH ACTION  runs an action of the object at PATH
a11y_read.py NAME set PATH VALUE  sets the value of the object at PATH
a11y_read.py NAME focus PATH      asks the object at PATH to take the focus
a11y_read.py NAME events SECONDS  focus, value and text events, as JSON lines

PATH is the object's child indices from the window, joined by "/". Exit
status 3 when the application is not (yet) on the bus.
"""
import json
import sys

import pyatspi

STATES = {
    "focused": pyatspi.STATE_FOCUSED,
    "focusable": pyatspi.STATE_FOCUSABLE,
    "checked": pyatspi.STATE_CHECKED,
    "selected": pyatspi.STATE_SELECTED,
    "showing": pyatspi.STATE_SHOWING,
    "editable": pyatspi.STATE_EDITABLE,
    "enabled": pyatspi.STATE_ENABLED,
    "active": pyatspi.STATE_ACTIVE,
}


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == name:
            return app
    return None


def describe(obj, path):
    states = obj.getState()
    out = {
        "path": path,
        "role": obj.getRoleName(),
        "name": obj.name,
        "description": obj.description,
        "states": [k for k, v in STATES.items() if states.contains(v)],
        "children": obj.childCount,
    }
    try:
        ext = obj.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        out["box"] = [ext.x, ext.y, ext.width, ext.height]
    except NotImplementedError:
        pass
    try:
        value = obj.queryValue()
        out["value"] = [value.currentValue, value.minimumValue, value.maximumValue, value.minimumIncrement]
    except NotImplementedError:
        pass
    try:
        text = obj.queryText()
        out["text"] = text.getText(0, -1)
        out["caret"] = text.caretOffset
    except NotImplementedError:
        pass
    try:
        action = obj.queryAction()
        out["actions"] = [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        pass
    return out


def dump(obj, path, depth=0):
    print(json.dumps(describe(obj, path), ensure_ascii=False), flush=True)
    if depth > 12:
        return
    for i in range(obj.childCount):
        child = obj.getChildAtIndex(i)
        if child is not None:
            dump(child, path + "/" + str(i) if path else str(i), depth + 1)


def find(app, path):
    obj = app
    for part in path.split("/"):
        obj = obj.getChildAtIndex(int(part))
    return obj


def events(seconds):
    def on_event(e):
        print(json.dumps({"type": e.type, "name": e.source.name, "role": e.source.getRoleName(),
                          "detail1": e.detail1, "any": str(e.any_data)}, ensure_ascii=False), flush=True)

    kinds = ["object:state-changed:focused", "object:property-change:accessible-value",
             "object:text-changed", "object:text-caret-moved", "window:activate"]
    pyatspi.Registry.registerEventListener(on_event, *kinds)
    from gi.repository import GLib
    GLib.timeout_add(int(float(seconds) * 1000), pyatspi.Registry.stop)
    print(json.dumps({"type": "listening"}), flush=True)
    pyatspi.Registry.start()


def main():
    name, what = sys.argv[1], sys.argv[2]
    if what == "events":
        events(sys.argv[3])
        return 0
    app = application(name)
    if app is None:
        return 3
    if what == "dump":
        dump(app, "")
    elif what == "do":
        action = find(app, sys.argv[3]).queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        print(json.dumps(action.doAction(names.index(sys.argv[4]))))
    elif what == "set":
        find(app, sys.argv[3]).queryValue().currentValue = float(sys.argv[4])
    elif what == "focus":
        print(json.dumps(find(app, sys.argv[3]).queryComponent().grabFocus()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
