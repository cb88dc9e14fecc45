#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Asks every top-level window titled sys.argv[1] to close, as a window manager's close
# button does (WM_DELETE_WINDOW), so the program runs its own shutdown.
import ctypes, ctypes.util, sys
x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                         ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                         ctypes.POINTER(ctypes.c_uint)]
x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]
class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Event)]
x.XFlush.argtypes = [ctypes.c_void_p]

d = x.XOpenDisplay(None)
if not d:
    sys.exit("closewin: no display")
protocols = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
delete = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
root, parent = ctypes.c_ulong(), ctypes.c_ulong()
children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
x.XQueryTree(d, x.XDefaultRootWindow(d), ctypes.byref(root), ctypes.byref(parent),
             ctypes.byref(children), ctypes.byref(count))
closed = 0
for i in range(count.value):
    name = ctypes.c_char_p()
    if x.XFetchName(d, children[i], ctypes.byref(name)) and name.value == sys.argv[1].encode():
        e = Event()
        e.xclient.type = 33  # ClientMessage
        e.xclient.window = children[i]
        e.xclient.message_type = protocols
        e.xclient.format = 32
        e.xclient.l[0] = delete
        x.XSendEvent(d, children[i], 0, 0, ctypes.byref(e))
        closed += 1
x.XFlush(d)
sys.exit(0 if closed else "closewin: no window titled " + sys.argv[1])
