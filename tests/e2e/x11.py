"""The Xlib calls the test and benchmark processes make themselves, through ctypes, and the
error trap every one of them runs under.

Without a handler of our own, a failed request (a window that went away a moment ago)
reaches Xlib's default handler, which prints one line to file descriptor 2 and calls
exit(1). Inside pytest that ends the whole run, and since pytest captures descriptor 2
for the running test, the line is lost with it."""
import ctypes
import ctypes.util

# Error codes and event types of the core protocol.
BAD_WINDOW = 3
CLIENT_MESSAGE = 33


class XErrorEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("display", ctypes.c_void_p), ("resourceid", ctypes.c_ulong),
                ("serial", ctypes.c_ulong), ("error_code", ctypes.c_ubyte), ("request_code", ctypes.c_ubyte),
                ("minor_code", ctypes.c_ubyte)]


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    # Xlib's XEvent is 24 longs whatever the event type.
    _fields_ = [("type", ctypes.c_int), ("client", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(XErrorEvent))

_library = None


def library():
    """libX11 with the prototypes of every call made through it (loaded once)."""
    global _library
    if _library is not None:
        return _library
    path = ctypes.util.find_library("X11")
    if path is None:
        raise RuntimeError("libX11 is not installed")
    lib = ctypes.CDLL(path)
    display, window, atom = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong
    prototypes = {
        "XOpenDisplay": (display, [ctypes.c_char_p]),
        "XCloseDisplay": (ctypes.c_int, [display]),
        "XSync": (ctypes.c_int, [display, ctypes.c_int]),
        "XFlush": (ctypes.c_int, [display]),
        "XFree": (ctypes.c_int, [ctypes.c_void_p]),
        # The previous handler goes back in as it came out, so it stays an address.
        "XSetErrorHandler": (ctypes.c_void_p, [ctypes.c_void_p]),
        "XGetErrorText": (ctypes.c_int, [display, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]),
        "XGetErrorDatabaseText": (ctypes.c_int, [display, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p,
                                                 ctypes.c_char_p, ctypes.c_int]),
        "XDefaultRootWindow": (window, [display]),
        "XInternAtom": (atom, [display, ctypes.c_char_p, ctypes.c_int]),
        "XSendEvent": (ctypes.c_int, [display, window, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]),
        "XCreateSimpleWindow": (window, [display, window, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                                         ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]),
        "XDestroyWindow": (ctypes.c_int, [display, window]),
        "XMapWindow": (ctypes.c_int, [display, window]),
        "XKillClient": (ctypes.c_int, [display, ctypes.c_ulong]),
        "XCheckTypedWindowEvent": (ctypes.c_int, [display, window, ctypes.c_int, ctypes.POINTER(XEvent)]),
        "XQueryTree": (ctypes.c_int, [display, window, ctypes.POINTER(window), ctypes.POINTER(window),
                                      ctypes.POINTER(ctypes.POINTER(window)), ctypes.POINTER(ctypes.c_uint)]),
        "XFetchName": (ctypes.c_int, [display, window, ctypes.POINTER(ctypes.c_char_p)]),
        "XGetImage": (ctypes.c_void_p, [display, window, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                                        ctypes.c_ulong, ctypes.c_int]),
        "XGetPixel": (ctypes.c_ulong, [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]),
        "XDestroyImage": (ctypes.c_int, [ctypes.c_void_p]),
        "XStringToKeysym": (ctypes.c_ulong, [ctypes.c_char_p]),
        "XDisplayKeycodes": (ctypes.c_int, [display, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]),
        "XGetKeyboardMapping": (ctypes.POINTER(ctypes.c_ulong), [display, ctypes.c_ubyte, ctypes.c_int,
                                                                  ctypes.POINTER(ctypes.c_int)]),
        "XChangeKeyboardMapping": (ctypes.c_int, [display, ctypes.c_int, ctypes.c_int, ctypes.POINTER(ctypes.c_ulong),
                                                  ctypes.c_int]),
    }
    for name, (restype, argtypes) in prototypes.items():
        function = getattr(lib, name)
        function.restype, function.argtypes = restype, argtypes
    _library = lib
    return lib


class XError:
    """One failed request, with the server's codes and Xlib's words for them."""

    def __init__(self, code, request, resource, text, request_name):
        self.code, self.request, self.resource = code, request, resource
        self.text, self.request_name = text, request_name

    def __repr__(self):
        return f"{self.text} from {self.request_name} on 0x{self.resource:x}"


class ErrorTrap:
    """While entered, a failed request is recorded in errors instead of ending the process.

    The handler is process-wide in Xlib: the trap puts the previous one back on leaving,
    so traps nest, and it leaves only after XSync, so the errors of the requests made
    inside have come back by then. One thread at a time: Xlib's handler is not per
    thread."""

    def __init__(self, connection):
        self.connection = connection
        self.errors = []
        self.handler = None
        self.previous = None

    def record(self, display, event):
        # Only the codes here: an error handler must not make requests, and the words for
        # the codes are looked up after the trap is left.
        e = event.contents
        self.errors.append((e.error_code, e.request_code, e.minor_code, e.resourceid))
        return 0

    def __enter__(self):
        lib = self.connection.lib
        # The callback object has to live as long as Xlib may call it: it is kept here
        # until the previous handler is back.
        self.handler = ERROR_HANDLER(self.record)
        self.previous = lib.XSetErrorHandler(ctypes.cast(self.handler, ctypes.c_void_p))
        return self

    def __exit__(self, *exc):
        lib = self.connection.lib
        try:
            lib.XSync(self.connection.display, 0)
        finally:
            lib.XSetErrorHandler(self.previous)
            self.handler = None
        self.errors = [self.connection.describe(*codes) for codes in self.errors]
        return False


class Connection:
    """One connection to the X display of the environment (or of name)."""

    def __init__(self, name=None):
        self.lib = library()
        self.display = self.lib.XOpenDisplay(name.encode() if name else None)
        if not self.display:
            raise AssertionError(f"cannot open the X display {name or '(DISPLAY)'}")

    def close(self):
        if self.display:
            self.lib.XCloseDisplay(self.display)
            self.display = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def trap(self):
        return ErrorTrap(self)

    def checked(self, what):
        """A trap for requests that must not fail: any error raises, naming what was done."""
        return CheckedTrap(self, what)

    def describe(self, code, request, minor, resource):
        text = ctypes.create_string_buffer(256)
        self.lib.XGetErrorText(self.display, code, text, len(text))
        name = ctypes.create_string_buffer(256)
        self.lib.XGetErrorDatabaseText(self.display, b"XRequest", str(request).encode(), b"",
                                       name, len(name))
        return XError(code, request, resource, text.value.decode(errors="replace"),
                      name.value.decode(errors="replace") or f"request {request}.{minor}")

    def atom(self, name):
        with self.checked(f"interning {name}"):
            return self.lib.XInternAtom(self.display, name.encode(), 0)


class CheckedTrap(ErrorTrap):
    def __init__(self, connection, what):
        super().__init__(connection)
        self.what = what

    def __exit__(self, *exc):
        super().__exit__(*exc)
        if self.errors and exc[0] is None:
            raise AssertionError(f"X error while {self.what}: {self.errors}")
        return False


def connect(name=None):
    return Connection(name)


def close_window(window):
    """Asks the window to close the way a window manager's close button does: a
    WM_PROTOCOLS client message carrying WM_DELETE_WINDOW (xdotool's windowclose would
    destroy the window instead, which no program expects).

    Returns True when the request reached the window, False when the window had already
    gone (its program closed it first): either way it is closed. Any other X error fails
    the calling test with its description."""
    window = int(window, 0) if isinstance(window, str) else int(window)
    with connect() as connection:
        event = XEvent()
        event.client.type = CLIENT_MESSAGE
        event.client.window = window
        event.client.message_type = connection.atom("WM_PROTOCOLS")
        event.client.format = 32
        event.client.data[0] = connection.atom("WM_DELETE_WINDOW")
        event.client.data[1] = 0  # CurrentTime
        with connection.trap() as trap:
            connection.lib.XSendEvent(connection.display, window, 0, 0, ctypes.byref(event))
    gone = [e for e in trap.errors if e.code == BAD_WINDOW and e.resource == window]
    others = [e for e in trap.errors if e not in gone]
    if others:
        raise AssertionError(f"X error while asking window 0x{window:x} to close: {others}")
    return not gone
