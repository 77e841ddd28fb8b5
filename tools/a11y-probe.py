#!/usr/bin/python3
# Reads a program's accessible tree from the accessibility bus, as a screen
# reader does (pyatspi, Debian's python3-pyatspi), and works its actions.
#
#   a11y-probe.py dump PID [WINDOW]
#                                prints the shown windows of process PID (or
#                                the one named WINDOW) as an indented tree,
#                                one object a line, leaving out the unnamed
#                                fillers and scroll bars inside Qt's fields
#                                and the entries of closed lists
#   a11y-probe.py do PID ACTION PATH
#                                runs the named action of the object at PATH
#                                (see "do" below) and exits
#   a11y-probe.py serve PID      answers commands on standard input, one JSON
#                                line each on standard output:
#     tree                       the windows of PID as nested objects
#     do PATH ACTION             runs the named action of the object at PATH,
#                                names from the window down joined by "/"
#                                ("Ardeno MIRT Orvel/Line 3/ANSWER")
#     events                     the events heard since the last "events"
#     ping                       {"pong": true}
#
# The console under test and this probe both talk to the bus; the probe
# listens to every object, focus and window event from the moment it starts.
import json
import sys

import pyatspi
from gi.repository import GLib

STATES = {
    pyatspi.STATE_CHECKED: "checked",
    pyatspi.STATE_CHECKABLE: "checkable",
    pyatspi.STATE_ENABLED: "enabled",
    pyatspi.STATE_SENSITIVE: "sensitive",
    pyatspi.STATE_FOCUSABLE: "focusable",
    pyatspi.STATE_FOCUSED: "focused",
    pyatspi.STATE_SHOWING: "showing",
    pyatspi.STATE_VISIBLE: "visible",
    pyatspi.STATE_PRESSED: "pressed",
    pyatspi.STATE_SELECTED: "selected",
    pyatspi.STATE_EDITABLE: "editable",
    pyatspi.STATE_ACTIVE: "active",
}


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def node(obj, depth=0):
    if obj is None or depth > 12:
        return None
    states = obj.getState()
    out = {
        "role": obj.getRoleName(),
        "name": obj.name or "",
        "description": obj.description or "",
        "parent": obj.parent.name if obj.parent is not None else "",
        "states": sorted(n for s, n in STATES.items() if states.contains(s)),
    }
    try:
        action = obj.queryAction()
        out["actions"] = [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        out["actions"] = []
    try:
        ext = obj.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        out["extents"] = [ext.x, ext.y, ext.width, ext.height]
    except NotImplementedError:
        pass
    try:
        text = obj.queryText()
        if text.characterCount > 0:
            out["first_char"] = list(text.getCharacterExtents(0, pyatspi.DESKTOP_COORDS))
    except NotImplementedError:
        pass
    out["children"] = [c for c in (node(obj.getChildAtIndex(i), depth + 1) for i in range(obj.childCount)) if c]
    return out


def find(pid, path):
    # Two windows may share a name (a console and its connection screen).
    def under(obj, names):
        if not names:
            return obj
        for child in obj:
            if child is not None and child.name == names[0]:
                found = under(child, names[1:])
                if found is not None:
                    return found
        return None

    app = application(pid)
    return None if app is None else under(app, path.split("/"))


def dump(tree, depth=0):
    for w in tree:
        if w["role"] in ("filler", "scroll bar", "list") and not w["name"]:
            continue
        text = "  " * depth + "[%s] %s" % (w["role"], w["name"])
        if w["description"]:
            text += " - " + w["description"]
        flags = [s for s in w["states"] if s in ("checked", "focused")]
        if "enabled" not in w["states"]:
            flags.append("unavailable")
        if flags:
            text += " (" + ", ".join(flags) + ")"
        print(text)
        dump(w["children"], depth + 1)


def act(pid, action_name, path):
    obj = find(pid, path)
    if obj is None:
        return False
    action = obj.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    return action_name in names and bool(action.doAction(names.index(action_name)))


def windows(pid):
    app = application(pid)
    return [] if app is None else [n for n in (node(w) for w in app) if n and "visible" in n["states"]]


def serve(pid):
    heard = []

    def listener(event):
        src = event.source
        try:
            name, role = src.name, src.getRoleName()
        except Exception:
            name, role = "", ""
        heard.append({"type": event.type, "name": name, "role": role, "detail1": event.detail1,
                      "data": event.any_data if isinstance(event.any_data, (str, int)) else ""})

    pyatspi.Registry.registerEventListener(listener, "object:", "focus:", "window:")
    loop = GLib.MainLoop()

    def answer(reply):
        sys.stdout.write(json.dumps(reply) + "\n")
        sys.stdout.flush()

    def command(source, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        words = line.split(None, 2)
        try:
            if not words:
                return True
            if words[0] == "tree":
                answer({"tree": windows(pid)})
            elif words[0] == "do" and len(words) > 2:
                answer({"done": act(pid, words[1], words[2].strip())})
            elif words[0] == "events":
                answer({"events": heard[:]})
                del heard[:]
            elif words[0] == "ping":
                answer({"pong": True})
            else:
                answer({"error": "unknown command"})
        except Exception as e:
            answer({"error": str(e)})
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
    answer({"ready": True})
    loop.run()


if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] not in ("dump", "do", "serve"):
        sys.exit("usage: a11y-probe.py dump PID [WINDOW] | do PID ACTION PATH | serve PID")
    if sys.argv[1] == "do":
        if len(sys.argv) != 5 or not act(int(sys.argv[2]), sys.argv[3], sys.argv[4]):
            sys.exit("a11y-probe.py: no such action")
    elif sys.argv[1] == "dump":
        shown = windows(int(sys.argv[2]))
        if len(sys.argv) > 3:
            shown = [w for w in shown if w["name"] == sys.argv[3]]
        if not shown:
            sys.exit("a11y-probe.py: no such window on the accessibility bus")
        dump(shown)
    else:
        serve(int(sys.argv[2]))
