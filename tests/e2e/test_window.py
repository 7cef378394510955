"""The progress window of the real korvane.exe during an update, natively and under Wine:
it appears with its title and size, shows the dark background, green segments as bytes
arrive and the white mebibyte text, goes away when the game starts, and closing it ends
the run at once without starting the game."""
import os
import re
import subprocess
import time

import pytest

from conftest import FaultServer, Route, close_window, find_windows, kill_group, sized_body, wait_for_window
from test_update import client_started, player_folder, record

TITLE = "Korvane (Updater)"
CLIENT_SIZE = 4 * 2**20


def slow_update_server(server, platform, chunk_delay):
    """A site whose record announces a 4 MiB client (the stand-in game, padded: the padding
    after its image is ignored when it runs) that then arrives in 64 chunks."""
    game = platform.client.read_bytes()
    body = game + sized_body(CLIENT_SIZE - len(game), seed=3)
    server.routes["/version.data"] = Route(record(1, 7, 2, CLIENT_SIZE))
    server.routes["/client.exe"] = Route(body, chunk=CLIENT_SIZE // 64, delay=chunk_delay)
    server.routes["/korvane.exe"] = Route(b"updater")
    return body


def geometry(window):
    out = subprocess.run(["xdotool", "getwindowgeometry", window], capture_output=True, text=True).stdout
    size = re.search(r"Geometry: (\d+)x(\d+)", out)
    return (int(size.group(1)), int(size.group(2))) if size else None


def screenshot(window):
    """The window's pixels as rows of (r, g, b), from ImageMagick's 8-bit PPM output."""
    raw = subprocess.run(["import", "-window", window, "-depth", "8", "ppm:-"], capture_output=True).stdout
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", raw)
    assert header, raw[:20]
    width, height = int(header.group(1)), int(header.group(2))
    data = raw[header.end():]
    return [[tuple(data[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)] for y in range(height)]


def is_green(pixel):
    r, g, b = pixel
    return g > 100 and g > r + 40 and g > b + 40


def is_background(pixel):
    r, g, b = pixel
    return max(r, g, b) < 90 and g >= r and g >= b


def test_window_shows_the_progress(platform, folder, display):
    player_folder(platform, folder)
    with FaultServer() as server:
        body = slow_update_server(server, platform, chunk_delay=0.08)
        process = platform.start(folder, folder / "korvane.exe")
        try:
            window = wait_for_window(TITLE, process=process)
            assert window, "no progress window"
            width, height = geometry(window)
            # Natively the X window is the client area; under Wine without a window manager
            # Wine draws the frame inside its X window: equal borders left, right and below,
            # the caption above.
            border = (width - 400) // 2
            assert width - 2 * border == 400 and height >= 50 + border, (width, height)
            assert platform.name == "windows" or (width, height) == (400, 50)
            # Wait until a good part has arrived, then look at the client area.
            time.sleep(2.0)
            top = height - 50 - border
            pixels = [row[border:border + 400] for row in screenshot(window)[top:top + 50]]
            out, err = process.communicate(timeout=60)
        finally:
            kill_group(process)

    assert process.returncode == 0, err.decode()
    middle = pixels[25]
    assert is_green(middle[5]), middle[5]             # the first segment
    assert is_background(middle[399]), middle[399]      # the bar is not full yet
    assert any(min(p) > 200 for row in pixels[10:40] for p in row[150:250]), "no white text"
    assert (folder / "client.exe").read_bytes() == body
    assert client_started(folder)
    # The window went with the process.
    assert not find_windows(TITLE)


def test_closing_the_window_ends_the_run(platform, folder, display):
    player_folder(platform, folder)
    with FaultServer() as server:
        slow_update_server(server, platform, chunk_delay=0.5)  # about 30 s
        process = platform.start(folder, folder / "korvane.exe")
        try:
            window = wait_for_window(TITLE, process=process)
            assert window, "no progress window"
            close_window(window)
            started = time.monotonic()
            process.communicate(timeout=20)
            took = time.monotonic() - started
        finally:
            kill_group(process)
    assert process.returncode == 0
    assert took < 10
    assert (folder / "client.exe").read_bytes() == b"old client"
    assert not client_started(folder, timeout=0.5)
