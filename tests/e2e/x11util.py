#!/usr/bin/env python3
# Two X11 requests that no Debian command-line tool makes without a window
# manager, done through libX11 with ctypes (no extra Python modules):
#
#   x11util.py wm-delete WINDOW        send WM_PROTOCOLS/WM_DELETE_WINDOW, as a
#                                      window manager's close button does
#   x11util.py selection-owner NAME    print the window owning selection NAME
#                                      (0 when none), e.g. _NET_SYSTEM_TRAY_S0
#
# The display is taken from $DISPLAY.
import ctypes
import sys

x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]


class ClientMessage(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("window", ctypes.c_ulong),
        ("message_type", ctypes.c_ulong),
        ("format", ctypes.c_int),
        ("l", ctypes.c_long * 5),
    ]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


x.XSendEvent.argtypes = [
    ctypes.c_void_p,
    ctypes.c_ulong,
    ctypes.c_int,
    ctypes.c_long,
    ctypes.POINTER(XEvent),
]


def main(argv):
    if len(argv) != 3 or argv[1] not in ("wm-delete", "selection-owner"):
        sys.stderr.write(__doc__ or "usage: x11util.py wm-delete WINDOW | selection-owner NAME\n")
        return 2
    d = x.XOpenDisplay(None)
    if not d:
        sys.stderr.write("x11util: cannot open the display\n")
        return 1
    try:
        if argv[1] == "selection-owner":
            atom = x.XInternAtom(d, argv[2].encode(), 0)
            print(x.XGetSelectionOwner(d, atom))
            return 0
        win = int(argv[2], 0)
        ev = XEvent()
        ev.xclient.type = 33  # ClientMessage
        ev.xclient.window = win
        ev.xclient.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
        ev.xclient.format = 32
        ev.xclient.l[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
        ev.xclient.l[1] = 0  # CurrentTime
        if not x.XSendEvent(d, win, 0, 0, ctypes.byref(ev)):
            sys.stderr.write("x11util: XSendEvent failed\n")
            return 1
        x.XSync(d, 0)
        return 0
    finally:
        x.XCloseDisplay(d)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
