"""A small X client for the end-to-end tests, through Xlib by ctypes: asks a window whether
it still answers (the window manager's _NET_WM_PING) and empties a selection (the clipboard)
as when its owner has gone."""
import ctypes
import ctypes.util
import time

_CLIENT_MESSAGE = 33
_STRUCTURE_NOTIFY_MASK = 1 << 17


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", _ClientMessage), ("pad", ctypes.c_long * 24)]


class XProbe:
    """One connection to the display, kept open for many probes."""

    def __init__(self):
        x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        x11.XPending.argtypes = [ctypes.c_void_p]
        x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._x11 = x11
        self._display = x11.XOpenDisplay(None)
        if not self._display:
            raise RuntimeError("cannot open the X display")
        self._root = x11.XDefaultRootWindow(self._display)
        self._protocols = x11.XInternAtom(self._display, b"WM_PROTOCOLS", 0)
        self._ping = x11.XInternAtom(self._display, b"_NET_WM_PING", 0)
        # A client answers a ping by sending it back to the root window, for the window
        # manager (substructure redirect) and for whoever watches the root's structure.
        x11.XSelectInput(self._display, self._root, _STRUCTURE_NOTIFY_MASK)
        self._serial = int(time.time()) & 0xFFFFFF

    def close(self):
        if self._display:
            self._x11.XCloseDisplay(self._display)
            self._display = None

    def answers(self, window, seconds=5.0):
        """True when window's client answers a _NET_WM_PING within seconds. The answer comes
        from the client's event loop, so a busy or hung program does not give it."""
        self._serial += 1
        stamp = self._serial
        event = _Event()
        event.xclient.type = _CLIENT_MESSAGE
        event.xclient.window = int(window)
        event.xclient.message_type = self._protocols
        event.xclient.format = 32
        event.xclient.data[0] = self._ping
        event.xclient.data[1] = stamp
        event.xclient.data[2] = int(window)
        self._x11.XSendEvent(self._display, int(window), 0, 0, ctypes.byref(event))
        self._x11.XFlush(self._display)
        deadline = time.time() + seconds
        received = _Event()
        while time.time() < deadline:
            while self._x11.XPending(self._display):
                self._x11.XNextEvent(self._display, ctypes.byref(received))
                message = received.xclient
                if (received.type == _CLIENT_MESSAGE and message.message_type == self._protocols
                        and message.data[0] == self._ping and message.data[1] == stamp):
                    return True
            time.sleep(0.01)
        return False

    def clear_selection(self, name=b"CLIPBOARD"):
        """Leaves the selection without an owner: a paste then finds nothing at all."""
        atom = self._x11.XInternAtom(self._display, name, 0)
        self._x11.XSetSelectionOwner(self._display, atom, 0, 0)
        self._x11.XSync(self._display, 0)
