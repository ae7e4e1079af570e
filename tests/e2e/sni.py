#!/usr/bin/python3
"""A StatusNotifier panel for the end-to-end tests, on the session bus named by
DBUS_SESSION_BUS_ADDRESS (python3-dbus).

  sni.py ready watcher|host   exit 0 once the watcher runs / a host is registered
  sni.py host                 register a host with the watcher and stay (until killed)
  sni.py item PID             print the bus name of the item of process PID (exit 1: none)
  sni.py prop NAME PROPERTY   print one property of item NAME (icons: their size)
  sni.py activate NAME        call Activate(0, 0), as a left click on the icon does
  sni.py context NAME         call ContextMenu(100, 100), as a panel does that shows no menu itself
  sni.py menu NAME            print the exported menu's top level, one label a line
                              ("-" for a separator)
  sni.py choose NAME LABEL    send "clicked" to the menu entry with that label
"""

import hashlib
import os
import sys

import dbus
import dbus.service

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM_IFACE = "org.kde.StatusNotifierItem"
ITEM_PATH = "/StatusNotifierItem"
MENU_IFACE = "com.canonical.dbusmenu"


def bus():
    return dbus.SessionBus()


def host():
    from gi.repository import GLib
    from dbus.mainloop.glib import DBusGMainLoop

    DBusGMainLoop(set_as_default=True)
    b = dbus.SessionBus()
    name = "org.kde.StatusNotifierHost-%d" % os.getpid()
    held = dbus.service.BusName(name, b)  # noqa: F841 (kept while the loop runs)
    watcher = b.get_object(WATCHER, "/StatusNotifierWatcher")
    watcher.RegisterStatusNotifierHost(name, dbus_interface=WATCHER)
    print(name, flush=True)
    GLib.MainLoop().run()


def ready(what):
    try:
        b = bus()
        if what == "watcher":
            return bool(b.name_has_owner(WATCHER))
        watcher = b.get_object(WATCHER, "/StatusNotifierWatcher")
        return bool(watcher.Get(WATCHER, "IsStatusNotifierHostRegistered",
                                dbus_interface=dbus.PROPERTIES_IFACE))
    except dbus.DBusException:
        return False


def item_of(pid):
    b = bus()
    watcher = b.get_object(WATCHER, "/StatusNotifierWatcher")
    items = watcher.Get(WATCHER, "RegisteredStatusNotifierItems",
                        dbus_interface=dbus.PROPERTIES_IFACE)
    daemon = b.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
    for entry in items:
        # An entry is a bus name, or a bus name followed by an object path.
        service = str(entry).split("/", 1)[0]
        try:
            owner_pid = daemon.GetConnectionUnixProcessID(
                service, dbus_interface="org.freedesktop.DBus")
        except dbus.DBusException:
            continue
        if int(owner_pid) == pid:
            return service
    return None


def item(name):
    return bus().get_object(name, ITEM_PATH)


def prop(name, key):
    value = item(name).Get(ITEM_IFACE, key, dbus_interface=dbus.PROPERTIES_IFACE)
    if key == "ToolTip":
        # (icon name, icon pixmaps, title, text)
        return str(value[2])
    if key == "IconPixmap":
        # a(iiay): width, height, ARGB bytes; each size with a digest of its image
        return " ".join("%dx%d:%s" % (int(w), int(h), hashlib.md5(bytes(data)).hexdigest()[:8])
                        for w, h, data in value)
    return str(value)


def menu_object(name):
    path = item(name).Get(ITEM_IFACE, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
    return bus().get_object(name, path)


def menu_entries(name):
    menu = menu_object(name)
    _, layout = menu.GetLayout(0, 1, dbus.Array([], signature="s"), dbus_interface=MENU_IFACE)
    entries = []
    for child in layout[2]:
        ident, props = int(child[0]), child[1]
        if str(props.get("type", "")) == "separator":
            entries.append((ident, "-"))
        else:
            entries.append((ident, str(props.get("label", ""))))
    return menu, entries


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    cmd = argv[1]
    if cmd == "ready":
        return 0 if ready(argv[2]) else 1
    if cmd == "host":
        host()
    elif cmd == "item":
        found = item_of(int(argv[2]))
        if not found:
            return 1
        print(found)
    elif cmd == "prop":
        print(prop(argv[2], argv[3]))
    elif cmd == "activate":
        item(argv[2]).Activate(0, 0, dbus_interface=ITEM_IFACE)
    elif cmd == "context":
        item(argv[2]).ContextMenu(100, 100, dbus_interface=ITEM_IFACE)
    elif cmd == "menu":
        for _, label in menu_entries(argv[2])[1]:
            print(label)
    elif cmd == "choose":
        menu, entries = menu_entries(argv[2])
        for ident, label in entries:
            if label == argv[3]:
                menu.Event(ident, "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                           dbus_interface=MENU_IFACE)
                return 0
        print("no menu entry %r among %r" % (argv[3], entries), file=sys.stderr)
        return 1
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
