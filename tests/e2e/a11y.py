#!/usr/bin/env python3
"""What a screen reader sees of a running zeph, through AT-SPI (pyatspi).

  a11y.py tree PID          print the process's accessible tree, one line per
                            object: depth, role, name, description, states
  a11y.py arrival PID SENDER CONTENT
                            listen for text inserted anywhere in the process,
                            send the direct message of SENDER with CONTENT to
                            127.0.0.1 (peer.py's datagram), and print each
                            insertion as: role, name of its source, text

Exit status 1 when the process has no accessible application (or, for arrival,
when no insertion carrying CONTENT came within 15 s). The session bus is taken
from DBUS_SESSION_BUS_ADDRESS; the accessibility bus is found through it.
"""
import os
import sys

import pyatspi
from gi.repository import GLib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "windows"))
import peer  # noqa: E402  the message datagram, written once


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def clean(text):
    return (text or "").replace("\t", " ").replace("\n", "\\n")


def tree(node, depth=0):
    states = sorted(pyatspi.stateToString(s) for s in node.getState().getStates())
    print(f"{depth}\t{node.getRoleName()}\t{clean(node.name)}\t{clean(node.description)}\t"
          + ",".join(states))
    if node.getRole() == pyatspi.ROLE_LIST:
        return  # the list's rows are the computers found, not controls
    for child in node:
        if child is not None:
            tree(child, depth + 1)


def arrival(pid, sender, content):
    seen = []

    def inserted(event):
        try:
            if event.source.get_process_id() != pid:
                return
            line = (f"{event.source.getRoleName()}\t{clean(event.source.name)}\t"
                    f"{clean(str(event.any_data))}")
        except Exception as e:  # the object may be gone already
            line = f"?\t?\t{e}"
        print(line, flush=True)
        if content in line:
            seen.append(line)
            pyatspi.Registry.stop()

    pyatspi.Registry.registerEventListener(inserted, "object:text-changed:insert")
    # The program learns of the new listener from the registry: give it a moment.
    GLib.timeout_add(1000, lambda: peer.send("127.0.0.1", sender, content) and False)
    GLib.timeout_add(15000, lambda: pyatspi.Registry.stop() and False)
    pyatspi.Registry.start()
    return 0 if seen else 1


def main(argv):
    if len(argv) < 3 or argv[1] not in ("tree", "arrival"):
        sys.stderr.write(__doc__)
        return 2
    pid = int(argv[2])
    app = application(pid)
    if app is None:
        sys.stderr.write(f"a11y: no accessible application with pid {pid}\n")
        return 1
    if argv[1] == "tree":
        for window in app:
            if window is not None:
                tree(window)
        return 0
    return arrival(pid, argv[3], argv[4])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
