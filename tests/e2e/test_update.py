"""The update run of the real korvane.exe in a fresh folder against real HTTP servers:
what the player sees (printed lines, warning boxes), what lands on disk and with which
times, and whether the game starts. Each test runs natively and under Wine."""
import os
import re
import shutil
import signal
import struct
import subprocess
import time
from pathlib import Path

import pytest

from conftest import (BUILD_DIRS, FaultServer, Route, close_window, find_built, find_windows, kill_group,
                      nginx_serving, sized_body)

CAPTION = "Ostrelle"
COMMON_VERSION = 0x5BCEDEFD1
UNIX_EPOCH_TICKS = 116_444_736_000_000_000


# --- the identity record, as a publisher writes it ---

def ticks_of(path):
    return os.stat(path).st_mtime_ns // 100 + UNIX_EPOCH_TICKS


def file_identity(ticks, size):
    femtoseconds = ticks * 100_000_000 - 11_630_290_659 * 10**15
    return struct.pack("<Qqq", femtoseconds & (2**64 - 1), femtoseconds >> 64, size)


def record(updater_ticks, updater_size, client_ticks, client_size, common=COMMON_VERSION):
    return file_identity(updater_ticks, updater_size) + file_identity(client_ticks, client_size) + struct.pack("<Q", common)


def record_of(updater, client):
    return record(ticks_of(updater), os.path.getsize(updater), ticks_of(client), os.path.getsize(client))


def set_time(path, seconds, extra_ns=0):
    ns = seconds * 10**9 + extra_ns
    os.utime(path, ns=(ns, ns))


def ends_in_100ns(path):
    return os.stat(path).st_mtime_ns // 100


# --- a player's folder and runs that answer the boxes ---

def player_folder(platform, folder, old_client=b"old client"):
    shutil.copy(platform.korvane, folder / "korvane.exe")
    set_time(folder / "korvane.exe", 1_600_000_000)
    if old_client is not None:
        (folder / "client.exe").write_bytes(old_client)
        set_time(folder / "client.exe", 1_600_000_100)
    return folder


class Run:
    def __init__(self, code, out, err, boxes):
        self.code, self.out, self.err, self.boxes = code, out, err, boxes

    def __repr__(self):
        return f"exit {self.code}, {self.boxes} box(es)\n--- stdout\n{self.out}\n--- stderr\n{self.err}"


def run_updater(platform, folder, timeout=90, cwd=None):
    """Runs folder's korvane.exe (with cwd, or folder, as the working folder), closing every
    warning box as a player would; returns the output and the number of boxes seen."""
    process = platform.start(cwd or folder, folder / "korvane.exe")
    deadline = time.monotonic() + timeout
    boxes = 0
    watch = bool(os.environ.get("DISPLAY"))
    while process.poll() is None:
        if time.monotonic() > deadline:
            kill_group(process)
            out, err = process.communicate()
            raise AssertionError(f"korvane.exe did not end within {timeout} s\n{out.decode()}\n{err.decode()}")
        shown = find_windows(CAPTION) if watch else []
        if shown:
            # One box at a time: close it, then wait for it to go (ids are reused). NOTE:
            # typing Return would need the box to keep the keyboard focus, and under Wine
            # the progress window of the same process takes it back.
            close_window(shown[0])
            boxes += 1
            gone_by = time.monotonic() + 5
            while shown[0] in find_windows(CAPTION) and time.monotonic() < gone_by:
                time.sleep(0.02)
        time.sleep(0.02)
    out, err = process.communicate()
    # The client runs on after the updater ends; let it write its record.
    return Run(process.returncode, out.decode("utf-8", "replace").replace("\r\n", "\n"),
               err.decode("utf-8", "replace").replace("\r\n", "\n"), boxes)


def client_started(folder, timeout=10):
    record_file = folder / "client_started.txt"
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if record_file.exists() and record_file.read_text().strip():
            return True
        time.sleep(0.05)
    return False


def errors_told(run):
    """The warning-box texts the player was shown, as the error lines record them."""
    # libcurl's verbose trace shares standard error; the box texts start like this.
    starts = ("Received 0 count", "We asked the website", "Failed to ")
    return [line for line in run.err.splitlines() if line.startswith(starts)]


def step_10_box():
    return ("Failed to download both client and updater. Perhaps the server is not up? "
            "Check if you can go to '127.0.0.1' in your browser.")


def publisher():
    tool = find_built("linux", "korvane-publish")
    if tool is None:
        pytest.skip("korvane-publish is built by the Linux end-to-end build")
    return tool


# --- the two main paths, with nginx and the publisher's tool ---

def test_update_then_up_to_date(platform, folder, tmp_path, display):
    site = tmp_path / "site"
    site.mkdir()
    player_folder(platform, folder)
    # The site's updater is the one the player has, so only the client differs.
    shutil.copy2(folder / "korvane.exe", site / "korvane.exe")
    shutil.copy(platform.client, site / "client.exe")
    set_time(site / "client.exe", 1_700_000_000, 123_456_789)
    published = subprocess.run([publisher(), site], capture_output=True, text=True)
    assert published.returncode == 0, published.stderr
    updater_before = (folder / "korvane.exe").read_bytes(), ends_in_100ns(folder / "korvane.exe")

    with nginx_serving(site):
        first = run_updater(platform, folder)
        assert first.code == 0, first
        assert first.boxes == 0, first
        assert "Version mismatched our own\n" in first.out
        assert "Downloaded client" in first.out and "Downloaded updater" in first.out
        assert (folder / "client.exe").read_bytes() == (site / "client.exe").read_bytes()
        assert ends_in_100ns(folder / "client.exe") == ends_in_100ns(site / "client.exe")
        # The downloaded updater took the place of the running one, with the site's time
        # (here the same program and time the player had).
        assert not (folder / "korvane_updated.exe").exists()
        assert ((folder / "korvane.exe").read_bytes(), ends_in_100ns(folder / "korvane.exe")) == updater_before
        assert client_started(folder)
        assert not list(folder.glob("*.download"))

        (folder / "client_started.txt").unlink()
        second = run_updater(platform, folder)
    assert second.code == 0, second
    assert second.boxes == 0, second
    # The game, started last, shares the output.
    assert second.out.replace("stand-in client started\n", "").endswith("Starting gameUpdater: finished"), second
    assert "client.exe\n" not in second.out  # nothing downloaded
    assert client_started(folder)


# --- version.data of every wrong kind ---

@pytest.mark.parametrize("length", [55, 57])
def test_version_of_wrong_length_updates_without_server_times(platform, folder, display, length):
    player_folder(platform, folder)
    with FaultServer() as server:
        server.routes["/version.data"] = Route(sized_body(length))
        server.routes["/client.exe"] = Route(platform.client.read_bytes())
        server.routes["/korvane.exe"] = Route(b"new updater")
        before = time.time()
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert f"Version is invalid for being {length} bytes instead of 56\n" in run.out
    assert run.boxes == 0, run
    assert (folder / "client.exe").read_bytes() == platform.client.read_bytes()
    # No server record: the files keep the time of their writing.
    assert os.stat(folder / "client.exe").st_mtime >= before - 2
    assert client_started(folder)


def test_empty_version_and_404(platform, folder, display):
    player_folder(platform, folder)
    with FaultServer() as server:
        server.routes["/version.data"] = Route(b"")
        server.routes["/client.exe"] = Route(b"x", status=404)
        run = run_updater(platform, folder)
    assert run.code == 0, run
    url = "http://127.0.0.1:%s/client.exe" % os.environ.get("KORVANE_E2E_PORT", "18731")
    assert errors_told(run) == [
        "Received 0 count version from server",
        f"We asked the website for '{url}' and it failed with code 404",
        step_10_box(),
    ], run
    assert run.boxes == 3
    assert "Version is invalid for being 0 bytes instead of 56\n" in run.out
    assert (folder / "client.exe").read_bytes() == b"old client"
    assert not client_started(folder, timeout=0.5)


def test_unreachable_site(platform, folder, display):
    player_folder(platform, folder)
    run = run_updater(platform, folder)  # nothing listens on the port
    assert run.code == 0, run
    # version.data and client.exe, each tried four times.
    assert run.out.count("CURL failed with code COULDNT_CONNECT at caller ") == 8, run
    assert errors_told(run) == ["Received 0 count version from server", step_10_box()], run
    assert run.boxes == 2
    assert (folder / "client.exe").read_bytes() == b"old client"


def test_stalling_server_times_out(platform, folder, display):
    player_folder(platform, folder)
    with FaultServer() as server:
        server.routes["/version.data"] = Route(stall=True)
        run = run_updater(platform, folder, timeout=120)
    assert "CURL failed with code OPERATION_TIMEDOUT at caller " in run.out, run
    assert run.code == 0


# --- bodies ---

def test_gzip_body_is_stored_decoded(platform, folder, display):
    player_folder(platform, folder)
    client = platform.client.read_bytes()
    with FaultServer() as server:
        server.routes["/version.data"] = Route(record(1, 100_000, 2, len(client)))
        server.routes["/client.exe"] = Route(client, gzip_body=True)
        server.routes["/korvane.exe"] = Route(sized_body(100_000), gzip_body=True)
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert (folder / "client.exe").read_bytes() == client
    # The new updater was put in place of the running one.
    assert (folder / "korvane.exe").read_bytes() == sized_body(100_000)
    assert client_started(folder)


def test_updater_download_failing_after_the_client(platform, folder, display):
    player_folder(platform, folder)
    with FaultServer() as server:
        server.routes["/version.data"] = Route(record(1, 11, 2, platform.client.stat().st_size))
        server.routes["/client.exe"] = Route(platform.client.read_bytes())
        run = run_updater(platform, folder)  # korvane.exe answers 404
    assert run.code == 0, run
    assert (folder / "client.exe").read_bytes() == platform.client.read_bytes()
    assert not (folder / "korvane_updated.exe").exists()
    assert client_started(folder)


# --- the HTTP library on disk ---

def embedded_library(platform):
    """The HTTP library file the build embedded, as its configure step recorded it."""
    cache = (BUILD_DIRS[platform.name] / "CMakeCache.txt").read_text()
    found = re.search(r"^KORVANE_EMBEDDED_CURL:INTERNAL=(.+)$", cache, re.MULTILINE)
    assert found, f"no KORVANE_EMBEDDED_CURL in the CMake cache of {BUILD_DIRS[platform.name]}"
    return Path(found.group(1))


def library_name(platform):
    return "libcurl.dll" if platform.name == "windows" else "libcurl.so"


def test_missing_library_is_written_from_the_embedded_bytes(platform, folder, display):
    player_folder(platform, folder, old_client=platform.client.read_bytes())
    (folder / "client.exe").chmod(0o755)
    # A site whose record matches the folder: the run starts the game at once instead of
    # waiting out the retries of an unreachable site.
    with FaultServer() as server:
        server.routes["/version.data"] = Route(record_of(folder / "korvane.exe", folder / "client.exe"))
        run = run_updater(platform, folder)
    assert run.boxes == 0, run
    assert run.out.startswith("Loading Libcurl from embedded data\n"), run
    expected = embedded_library(platform)
    assert (folder / library_name(platform)).read_bytes() == expected.read_bytes()


def test_a_directory_in_place_of_the_library_stops_the_run(platform, folder, display):
    player_folder(platform, folder)
    (folder / library_name(platform)).mkdir()
    run = run_updater(platform, folder)
    assert run.code != 0, run
    assert run.boxes == 1, run
    assert any(line.startswith(f"Failed to load {library_name(platform)}. Error is ") for line in errors_told(run)), run
    assert "Failed to load lib curl dll." in run.out + run.err
    assert not client_started(folder, timeout=0.5)


def test_a_library_missing_a_procedure_is_written_again_and_the_run_goes_on(platform, folder, display):
    # Another version of the library, lacking curl_mime_init (the first name it is asked for
    # that it does not have): replaced by the embedded library, then the update runs.
    player_folder(platform, folder)
    partial = next((p for p in BUILD_DIRS[platform.name].rglob(library_name(platform)) if p.parent.name == "library"), None)
    if partial is None:
        pytest.skip("partial_http_library is not built")
    shutil.copy(partial, folder / library_name(platform))
    client = platform.client.read_bytes()
    with FaultServer() as server:
        # A record whose sizes are those served (the updater refuses other sizes).
        server.routes["/version.data"] = Route(record(133_500_000_000_000_001, len(b"new updater"),
                                                      133_500_000_000_000_000, len(client)))
        server.routes["/client.exe"] = Route(client)
        server.routes["/korvane.exe"] = Route(b"new updater")
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert run.boxes == 0, run
    assert (f"{library_name(platform)} has no procedure curl_mime_init; writing it again from the embedded copy"
            in run.err), run
    expected = embedded_library(platform)
    if expected is not None:
        assert (folder / library_name(platform)).read_bytes() == expected.read_bytes()
    assert (folder / "client.exe").read_bytes() == client
    assert client_started(folder)


# --- writing the downloads ---

def test_failed_write_keeps_the_old_client(platform, folder, display):
    player_folder(platform, folder)
    # The temporary file the download goes to first cannot be made (even as root).
    (folder / "client.exe.download").mkdir()
    with FaultServer() as server:
        server.routes["/version.data"] = Route(record(1, 11, 2, platform.client.stat().st_size))
        server.routes["/client.exe"] = Route(platform.client.read_bytes())
        server.routes["/korvane.exe"] = Route(b"new updater")
        run = run_updater(platform, folder)
    assert run.code == 0, run
    told = errors_told(run)
    assert told == ["Failed to write client.exe as file.", step_10_box()], run
    assert run.boxes == 2
    assert (folder / "client.exe").read_bytes() == b"old client"
    assert not client_started(folder, timeout=0.5)


def test_killed_while_writing_leaves_old_or_new_client(platform, folder):
    old = sized_body(1_000_000, seed=1)
    new = sized_body(256 * 2**20, seed=2)
    player_folder(platform, folder, old_client=old)
    with FaultServer() as server:
        server.routes["/version.data"] = Route(record(1, 11, 2, len(new)))
        server.routes["/client.exe"] = Route(new, chunk=2**22)
        process = platform.start(folder, folder / "korvane.exe")
        deadline = time.monotonic() + 120
        # Kill it the moment the download reaches the disk.
        while not (folder / "client.exe.download").exists() and process.poll() is None:
            assert time.monotonic() < deadline
            time.sleep(0.001)
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
    content = (folder / "client.exe").read_bytes()
    assert content in (old, new)
