#!/usr/bin/env python3
"""Drops files on an X window the way a file manager does, with the XDND
protocol: Enter, Position, wait for Status, Drop, wait for Finished, serving
the file list as text/uri-list from the XdndSelection meanwhile.

    xdnd_drop.py WINDOW ROOT_X ROOT_Y PATH [PATH...]

WINDOW is the X window id (decimal or 0x hex) of the top-level window that
takes the drop; ROOT_X, ROOT_Y the drop point in root coordinates. Talks to
libX11 through ctypes. Exit status: 0 when the target accepted and finished
the drop, 2 when it refused it, 3 when it did not answer in time, 1 on other
errors. A line on stderr tells what happened.
"""
import ctypes
import ctypes.util
import os
import select
import sys
import time
import urllib.parse
from ctypes import (POINTER, Structure, Union, byref, c_char_p, c_int, c_long,
                    c_ubyte, c_uint, c_ulong, c_void_p)

XDND_VERSION = 5
CLIENT_MESSAGE = 33
SELECTION_REQUEST = 30
SELECTION_CLEAR = 29
PROP_MODE_REPLACE = 0
XA_ATOM = 4
CURRENT_TIME = 0


class ClientMessage(Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("window", c_ulong), ("message_type", c_ulong),
                ("format", c_int), ("l", c_long * 5)]


class SelectionRequest(Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("owner", c_ulong), ("requestor", c_ulong),
                ("selection", c_ulong), ("target", c_ulong), ("property", c_ulong),
                ("time", c_ulong)]


class SelectionNotify(Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("requestor", c_ulong), ("selection", c_ulong),
                ("target", c_ulong), ("property", c_ulong), ("time", c_ulong)]


class XEvent(Union):
    _fields_ = [("type", c_int), ("xclient", ClientMessage),
                ("xselectionrequest", SelectionRequest), ("xselection", SelectionNotify),
                ("pad", c_long * 24)]


def load_xlib():
    x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = c_void_p
    x.XOpenDisplay.argtypes = [c_char_p]
    x.XInternAtom.restype = c_ulong
    x.XInternAtom.argtypes = [c_void_p, c_char_p, c_int]
    x.XDefaultRootWindow.restype = c_ulong
    x.XDefaultRootWindow.argtypes = [c_void_p]
    x.XCreateSimpleWindow.restype = c_ulong
    x.XCreateSimpleWindow.argtypes = [c_void_p, c_ulong, c_int, c_int, c_uint, c_uint,
                                      c_uint, c_ulong, c_ulong]
    x.XSetSelectionOwner.argtypes = [c_void_p, c_ulong, c_ulong, c_ulong]
    x.XGetSelectionOwner.restype = c_ulong
    x.XGetSelectionOwner.argtypes = [c_void_p, c_ulong]
    x.XChangeProperty.argtypes = [c_void_p, c_ulong, c_ulong, c_ulong, c_int, c_int,
                                  c_void_p, c_int]
    x.XGetWindowProperty.argtypes = [c_void_p, c_ulong, c_ulong, c_long, c_long, c_int,
                                     c_ulong, POINTER(c_ulong), POINTER(c_int),
                                     POINTER(c_ulong), POINTER(c_ulong),
                                     POINTER(POINTER(c_ubyte))]
    x.XSendEvent.argtypes = [c_void_p, c_ulong, c_int, c_long, POINTER(XEvent)]
    x.XPending.argtypes = [c_void_p]
    x.XNextEvent.argtypes = [c_void_p, POINTER(XEvent)]
    x.XFlush.argtypes = [c_void_p]
    x.XFree.argtypes = [c_void_p]
    x.XConnectionNumber.argtypes = [c_void_p]
    x.XDestroyWindow.argtypes = [c_void_p, c_ulong]
    x.XCloseDisplay.argtypes = [c_void_p]
    return x


class Source:
    def __init__(self, target, paths):
        self.x = load_xlib()
        self.d = self.x.XOpenDisplay(None)
        if not self.d:
            raise SystemExit("xdnd_drop: cannot open the display")
        self.target = target
        atom = lambda name: self.x.XInternAtom(self.d, name.encode(), 0)
        self.a = {n: atom(n) for n in (
            "XdndAware", "XdndEnter", "XdndPosition", "XdndStatus", "XdndDrop",
            "XdndFinished", "XdndLeave", "XdndSelection", "XdndActionCopy",
            "XdndTypeList", "text/uri-list", "TARGETS")}
        root = self.x.XDefaultRootWindow(self.d)
        self.window = self.x.XCreateSimpleWindow(self.d, root, 0, 0, 1, 1, 0, 0, 0)
        uris = ["file://" + urllib.parse.quote(os.path.abspath(p)) for p in paths]
        self.data = "".join(u + "\r\n" for u in uris).encode()
        self.served = 0
        self.status = None
        self.finished = False

    def version(self):
        kind, fmt, n, left = c_ulong(), c_int(), c_ulong(), c_ulong()
        buf = POINTER(c_ubyte)()
        if self.x.XGetWindowProperty(self.d, self.target, self.a["XdndAware"], 0, 1, 0,
                                     XA_ATOM, byref(kind), byref(fmt), byref(n),
                                     byref(left), byref(buf)) != 0 or n.value == 0:
            return 0
        v = ctypes.cast(buf, POINTER(c_ulong))[0]
        self.x.XFree(buf)
        return int(v)

    def send(self, kind, l1=0, l2=0, l3=0, l4=0):
        ev = XEvent()
        ev.xclient.type = CLIENT_MESSAGE
        ev.xclient.window = self.target
        ev.xclient.message_type = self.a[kind]
        ev.xclient.format = 32
        ev.xclient.l[0] = self.window
        ev.xclient.l[1], ev.xclient.l[2], ev.xclient.l[3], ev.xclient.l[4] = l1, l2, l3, l4
        self.x.XSendEvent(self.d, self.target, 0, 0, byref(ev))
        self.x.XFlush(self.d)

    def answer(self, req):
        prop = req.property or req.target
        if req.target == self.a["text/uri-list"]:
            buf = ctypes.create_string_buffer(self.data, len(self.data))
            self.x.XChangeProperty(self.d, req.requestor, prop, req.target, 8,
                                   PROP_MODE_REPLACE, buf, len(self.data))
            self.served += 1
        elif req.target == self.a["TARGETS"]:
            atoms = (c_ulong * 2)(self.a["TARGETS"], self.a["text/uri-list"])
            self.x.XChangeProperty(self.d, req.requestor, prop, XA_ATOM, 32,
                                   PROP_MODE_REPLACE, atoms, 2)
        else:
            prop = 0
        ev = XEvent()
        ev.xselection.type = 31
        ev.xselection.requestor = req.requestor
        ev.xselection.selection = req.selection
        ev.xselection.target = req.target
        ev.xselection.property = prop
        ev.xselection.time = req.time
        self.x.XSendEvent(self.d, req.requestor, 0, 0, byref(ev))
        self.x.XFlush(self.d)

    def pump(self, seconds, until):
        """Handles events for up to SECONDS or until UNTIL() holds."""
        end = time.monotonic() + seconds
        fd = self.x.XConnectionNumber(self.d)
        while True:
            while self.x.XPending(self.d):
                ev = XEvent()
                self.x.XNextEvent(self.d, byref(ev))
                if ev.type == SELECTION_REQUEST:
                    self.answer(ev.xselectionrequest)
                elif ev.type == CLIENT_MESSAGE:
                    m = ev.xclient
                    if m.message_type == self.a["XdndStatus"]:
                        self.status = bool(m.l[1] & 1)
                    elif m.message_type == self.a["XdndFinished"]:
                        self.finished = True
            if until():
                return True
            left = end - time.monotonic()
            if left <= 0:
                return False
            select.select([fd], [], [], min(left, 0.05))

    def drop(self, x, y, timeout):
        version = self.version()
        if version < 3:
            print("xdnd_drop: window 0x%x is not XDND-aware" % self.target, file=sys.stderr)
            return 1
        version = min(version, XDND_VERSION)
        self.x.XSetSelectionOwner(self.d, self.a["XdndSelection"], self.window, CURRENT_TIME)
        if self.x.XGetSelectionOwner(self.d, self.a["XdndSelection"]) != self.window:
            print("xdnd_drop: could not own XdndSelection", file=sys.stderr)
            return 1
        types = (c_ulong * 1)(self.a["text/uri-list"])
        self.x.XChangeProperty(self.d, self.window, self.a["XdndTypeList"], XA_ATOM, 32,
                               PROP_MODE_REPLACE, types, 1)
        self.send("XdndEnter", version << 24, self.a["text/uri-list"])
        # The target may fetch the data as soon as it sees the Enter.
        self.pump(0.3, lambda: self.served > 0)
        self.send("XdndPosition", 0, (x << 16) | y, CURRENT_TIME, self.a["XdndActionCopy"])
        if not self.pump(timeout, lambda: self.status is not None):
            self.send("XdndLeave")
            print("xdnd_drop: no XdndStatus within %g s" % timeout, file=sys.stderr)
            return 3
        if not self.status:
            self.send("XdndLeave")
            print("xdnd_drop: the target refused the drop", file=sys.stderr)
            return 2
        self.send("XdndDrop", 0, CURRENT_TIME)
        if not self.pump(timeout, lambda: self.finished):
            print("xdnd_drop: no XdndFinished within %g s (data served %d times)"
                  % (timeout, self.served), file=sys.stderr)
            return 3
        print("xdnd_drop: dropped, data served %d times" % self.served, file=sys.stderr)
        return 0

    def close(self):
        self.x.XDestroyWindow(self.d, self.window)
        self.x.XCloseDisplay(self.d)


def main(argv):
    if len(argv) < 5:
        print(__doc__.strip(), file=sys.stderr)
        return 1
    timeout = float(os.environ.get("XDND_TIMEOUT", "20"))
    src = Source(int(argv[1], 0), argv[4:])
    try:
        return src.drop(int(argv[2]), int(argv[3]), timeout)
    finally:
        src.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
