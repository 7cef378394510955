"""The input layer end to end: input_probe opens its window through the progress window's
window creation and prints every frame's input; the tests act on the window from outside
as a window manager, a keyboard and a mouse would, natively and under Wine."""
import ctypes
import subprocess
import threading
import time

import pytest

import x11
from conftest import close_window, find_built, kill_group, normalise, press_key, wait_for_window, xdotool

TITLE = "Korvane input probe"


class Probe:
    """A running input_probe whose output lines are collected as they come."""

    def __init__(self, platform, *args):
        program = find_built(platform.name, "input_probe.exe")
        if program is None:
            pytest.fail(f"no input_probe.exe in the {platform.name} end-to-end build")
        self.process = platform.start(program.parent, program, "--title", TITLE, "--seconds", "60", *args)
        self.lines = []
        self.changed = threading.Condition()
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()
        self.window = None

    def read(self):
        for raw in self.process.stdout:
            with self.changed:
                self.lines.append(normalise(raw).rstrip("\n"))
                self.changed.notify_all()
        with self.changed:
            self.changed.notify_all()

    def wait_for(self, predicate, timeout=20.0, what="a line"):
        """Waits until predicate(lines) holds; returns its value."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                found = predicate(self.lines)
                if found:
                    return found
                left = deadline - time.monotonic()
                if left <= 0 or (self.process.poll() is not None and not self.reader.is_alive()):
                    raise AssertionError(f"no {what}; output so far:\n" + "\n".join(self.lines))
                self.changed.wait(min(left, 0.1))

    def wait_for_line(self, line, timeout=20.0):
        return self.wait_for(lambda lines: line in lines, timeout, what=repr(line))

    def open(self):
        """Waits for the window and for the first frame; returns the window id."""
        self.window = wait_for_window(TITLE, process=self.process)
        assert self.window, "the probe's window did not appear\n" + "\n".join(self.lines)
        self.wait_for_line("ready")
        return self.window

    def finish(self, timeout=20):
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            kill_group(self.process)
            raise
        self.reader.join(timeout=5)
        return code

    def stop(self):
        if self.process.poll() is None:
            kill_group(self.process)
            self.process.wait()


@pytest.fixture
def probe_of(platform, display):
    started = []

    def start(*args):
        probe = Probe(platform, *args)
        started.append(probe)
        return probe

    yield start
    for probe in started:
        probe.stop()


# --- acting on the window from outside ---

class Keymap:
    """The display's keyboard mapping, read and changed through Xlib under its error trap."""

    def __init__(self):
        self.connection = x11.connect()

    def close(self):
        self.connection.close()

    def free_keycodes(self):
        """Keycodes without any keysym."""
        connection, lib = self.connection, self.connection.lib
        low, high = ctypes.c_int(), ctypes.c_int()
        lib.XDisplayKeycodes(connection.display, ctypes.byref(low), ctypes.byref(high))
        per = ctypes.c_int()
        count = high.value - low.value + 1
        with connection.checked("reading the keyboard mapping"):
            table = lib.XGetKeyboardMapping(connection.display, low.value, count, ctypes.byref(per))
        free = [low.value + i for i in range(count)
                if all(table[i * per.value + j] == 0 for j in range(per.value))]
        lib.XFree(table)
        return free

    def map_keycode(self, keycode, keysym):
        symbol = (ctypes.c_ulong * 1)(keysym)
        with self.connection.checked(f"mapping keycode {keycode} to keysym 0x{keysym:x}"):
            self.connection.lib.XChangeKeyboardMapping(self.connection.display, keycode, 1, symbol, 1)


@pytest.fixture
def keysyms_on_keys():
    """Gives keysyms the default keymap lacks a key of their own, for the length of a
    test. Otherwise xdotool maps a spare key for each stroke and takes it back at once,
    and a client reading its events a frame later finds the key gone."""
    keymap = Keymap()
    mapped = []

    def map_keysyms(*names):
        free = keymap.free_keycodes()
        assert len(free) >= len(names), "no free keycodes"
        for name, keycode in zip(names, free):
            keymap.map_keycode(keycode, x11.library().XStringToKeysym(name.encode()))
            mapped.append(keycode)

    yield map_keysyms
    for keycode in mapped:
        keymap.map_keycode(keycode, 0)
    keymap.close()


def geometry(window):
    """(x, y, width, height) of the X window on the screen."""
    out = xdotool("getwindowgeometry", window).stdout
    position = out.split("Position:")[1].split()[0]
    size = out.split("Geometry:")[1].split()[0]
    x, y = (int(v) for v in position.split(","))
    width, height = (int(v) for v in size.split("x"))
    return x, y, width, height


def screen_size():
    width, height = xdotool("getdisplaygeometry").stdout.split()
    return int(width), int(height)


def events(lines):
    return [line for line in lines if line.startswith("event ")]


def keyboard(pressed, code, name):
    return f"event KEYBOARD pressed={pressed} key={code} name={name} "


# --- the tests ---

def test_window_has_title_client_size_and_centred_position(platform, probe_of):
    probe = probe_of()
    window = probe.open()
    assert "window 400 x 50" in probe.lines
    # The first frame hands out the size message of showing the window.
    assert "resize 400 50" in probe.lines

    name = subprocess.run(["xdotool", "getwindowname", window], capture_output=True, text=True).stdout.strip()
    assert name == TITLE
    x, y, width, height = geometry(window)
    screen_width, screen_height = screen_size()
    # No window manager on Xvfb: the work area is the screen. The outer window's corner is
    # placed (the X window is the client area natively, Wine's frame and client under Wine).
    assert (x, y) == (screen_width // 2 - 200, screen_height // 2 - 25 - 30)
    if platform.name == "linux":
        assert (width, height) == (400, 50)
    else:
        assert width > 400 and height > 50

    close_window(window)
    assert probe.finish() == 0


def test_close_request_gives_one_quit_event(platform, probe_of):
    probe = probe_of()
    window = probe.open()
    close_window(window)
    assert probe.finish() == 0
    assert [line for line in probe.lines if line == "event QUIT"] == ["event QUIT"]


def test_typed_keys_give_keyboard_and_text_events(platform, probe_of, keysyms_on_keys):
    keysyms_on_keys("F13")
    probe = probe_of()
    window = probe.open()
    for key in ("a", "shift+b", "Return", "BackSpace", "KP_Add", "F13", "alt+F4"):
        press_key(window, key)
    probe.wait_for(lambda lines: any(line.startswith(keyboard(0, 146, "F4")) for line in lines), what="the F4 release")
    # Alt+F4 does not close the window.
    assert wait_for_window(TITLE, timeout=1) == window
    close_window(window)
    assert probe.finish() == 0

    seen = events(probe.lines)
    presses = [line for line in seen if line.startswith("event KEYBOARD pressed=1")]
    codes = [int(line.split("key=")[1].split()[0]) for line in presses]
    # a, Shift, B, Enter, Backspace, keypad + (no key code), F13, Alt, F4
    assert codes == [65, 141, 66, 13, 8, 0, 155, 139, 146], "\n".join(seen)
    releases = [line for line in seen if line.startswith("event KEYBOARD pressed=0")]
    assert len(releases) == len(presses), "\n".join(seen)
    assert any(line.startswith(keyboard(1, 139, "ALT") + "shift=0 ctrl=0 alt=1") for line in seen)
    # Characters for a, B and +; none for Enter, Backspace, F13 or the Alt combination.
    texts = [line for line in seen if line.startswith("event TEXT_INPUT")]
    assert texts == ["event TEXT_INPUT character=97", "event TEXT_INPUT character=66",
                     "event TEXT_INPUT character=43"], "\n".join(seen)
    assert seen[-1] == "event QUIT"
    # Each key's state went back to no flags after its release.
    for code, name in ((65, "A"), (66, "B"), (13, "ENTER"), (146, "F4")):
        states = [line for line in probe.lines if line.startswith(f"key {code} {name} ")]
        assert states and states[-1].endswith("flags=0"), states


def test_text_beyond_ascii_arrives_as_utf16_units(platform, probe_of, keysyms_on_keys):
    keysyms_on_keys("eacute", "U1F600")
    probe = probe_of()
    window = probe.open()
    xdotool("windowfocus", "--sync", window, "type", "\u00e9\U0001F600")
    # U+1F600 as a high and a low surrogate.
    probe.wait_for(lambda lines: "event TEXT_INPUT character=56832" in lines, what="the low surrogate")
    texts = [line for line in probe.lines if line.startswith("event TEXT_INPUT")]
    assert texts == ["event TEXT_INPUT character=233", "event TEXT_INPUT character=55357",
                     "event TEXT_INPUT character=56832"]
    close_window(window)
    assert probe.finish() == 0


def test_wheel_and_buttons(platform, probe_of):
    probe = probe_of()
    window = probe.open()
    # (200, 40) lies in the client area on both: under Wine the X window includes the caption.
    xdotool("windowfocus", "--sync", window, "mousemove", "--window", window, "200", "40",
            "click", "4", "click", "4", "click", "5", "click", "1", "click", "3")
    probe.wait_for(lambda lines: any(line.startswith(keyboard(0, 170, "MOUSE_BUTTON_RIGHT")) for line in lines),
                   what="the right button's release")
    close_window(window)
    assert probe.finish() == 0
    seen = events(probe.lines)
    wheel = [line for line in seen if line.startswith("event MOUSE_WHEEL")]
    assert wheel == ["event MOUSE_WHEEL step=120 delta=120"] * 2 + ["event MOUSE_WHEEL step=120 delta=-120"]
    totals = sum(int(line.split("wheel=")[1]) for line in probe.lines if line.startswith("mouse "))
    assert totals == 120
    buttons = [line.split(" shift")[0] for line in seen if "MOUSE_BUTTON" in line]
    assert buttons == [keyboard(1, 168, "MOUSE_BUTTON_LEFT").strip(), keyboard(0, 168, "MOUSE_BUTTON_LEFT").strip(),
                       keyboard(1, 170, "MOUSE_BUTTON_RIGHT").strip(), keyboard(0, 170, "MOUSE_BUTTON_RIGHT").strip()]


def test_resize_gives_one_record_with_the_new_size(platform, probe_of):
    probe = probe_of()
    window = probe.open()
    if platform.name == "linux":
        xdotool("windowsize", window, "500", "80")
    else:
        # Wine owns its unmanaged windows' X geometry: resize as a person would, by
        # dragging the sizing border's bottom-right corner 100 right and 30 down.
        x, y, width, height = geometry(window)
        corner_x, corner_y = x + width - 1, y + height - 1
        xdotool("mousemove", str(corner_x), str(corner_y), "mousedown", "1",
                "mousemove", str(corner_x + 50), str(corner_y + 15),
                "mousemove", str(corner_x + 100), str(corner_y + 30), "mouseup", "1")
    probe.wait_for_line("resize 500 80")
    close_window(window)
    assert probe.finish() == 0
    resizes = [line for line in probe.lines if line.startswith("resize ")]
    assert resizes == ["resize 400 50", "resize 500 80"]
