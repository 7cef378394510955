"""Downloads of the real korvane.exe against servers that fail the way real ones do:
bodies past 32 bits, resets, servers without range support, 416, 503, trickles, inflation
bombs, wrong lengths, a full disk, a kill during the write, a link at the temporary name,
a page in place of the client, a client still in use. Each runs natively and under Wine."""
import os
import shutil
import signal
import subprocess
import time
from pathlib import Path

import pytest

from conftest import BUILD_DIRS, E2E_URL, FaultServer, Route, find_built, kill_group, nginx_serving, sized_body
from test_update import (client_started, errors_told, player_folder, record, run_updater, set_time, step_10_box,
                         ticks_of)

SERVER_TICKS = 133_500_000_001_234_567  # the record's time for the new files


def record_for(client, updater=b"new updater"):
    """A valid record for a site serving these bytes (sizes are what the updater checks)."""
    return record(SERVER_TICKS + 1, len(updater), SERVER_TICKS, len(client))


def site_routes(server, client, updater=b"new updater", **client_route):
    server.routes["/version.data"] = Route(record_for(client, updater))
    server.routes["/client.exe"] = Route(client, **client_route)
    server.routes["/korvane.exe"] = Route(updater)


def client_requests(server):
    """The Range header of every request for the client, in order (None without one)."""
    return [headers.get("Range") for (method, path), headers in zip(server.requests, server.request_headers)
            if path == "/client.exe"]


def no_leftovers(folder):
    return not list(folder.glob("*.download")) and not list(folder.glob("*.resume"))


def new_client(platform, size):
    """The stand-in client padded to size bytes: still a program that starts."""
    program = platform.client.read_bytes()
    return program + sized_body(size - len(program), seed=5)


# --- resume, retries, servers without range support ---

@pytest.mark.parametrize("case", ["reset after half", "server ignores range", "416 to the range", "503 then 200"])
def test_interrupted_transfers_end_with_a_byte_exact_client(platform, folder, display, case):
    client = new_client(platform, 6 * 2**20)
    half = len(client) // 2
    route = {
        "reset after half": dict(reset_after=half),
        "server ignores range": dict(reset_after=half, ignore_range=True),
        "416 to the range": dict(reset_after=half, range_status=416),
        "503 then 200": dict(first_statuses=[503]),
    }[case]
    # What the client's requests ask for: from where the received part ends (the reset may
    # drop bytes still in flight, so "somewhere in the first half").
    expected_ranges = {
        "reset after half": [None, "part"],
        "server ignores range": [None, "part"],
        "416 to the range": [None, "part", None],
        "503 then 200": [None, None],
    }[case]
    player_folder(platform, folder)
    with FaultServer() as server:
        site_routes(server, client, **route)
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert run.boxes == 0, run
    asked = client_requests(server)
    assert len(asked) == len(expected_ranges), run
    for range_header, expected in zip(asked, expected_ranges):
        if expected == "part":
            assert range_header.startswith("bytes=") and range_header.endswith("-"), asked
            assert 0 < int(range_header[len("bytes="):-1]) <= half, asked
        else:
            assert range_header == expected, asked
    assert (folder / "client.exe").read_bytes() == client
    assert "Downloaded client" in run.out and "Downloaded updater" in run.out
    assert client_started(folder)
    assert no_leftovers(folder)


def test_killed_during_the_write_resumes_on_the_next_start(platform, folder):
    client = new_client(platform, 48 * 2**20)
    player_folder(platform, folder)
    with FaultServer() as server:
        # Slow enough to be caught in the middle.
        site_routes(server, client, chunk=2**20, delay=0.1)
        process = platform.start(folder, folder / "korvane.exe")
        temporary = folder / "client.exe.download"
        deadline = time.monotonic() + 120
        while not (temporary.exists() and temporary.stat().st_size >= 8 * 2**20):
            assert process.poll() is None and time.monotonic() < deadline, "the download never reached 8 MiB"
            time.sleep(0.01)
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        kept = temporary.stat().st_size
        assert (folder / "client.exe").read_bytes() == b"old client"

        server.routes["/client.exe"].delay = 0
        run = run_updater(platform, folder, timeout=120)
    assert run.code == 0, run
    assert f"Resuming client.exe from byte {kept}\n" in run.out, run
    assert client_requests(server)[-1] == f"bytes={kept}-"
    assert (folder / "client.exe").read_bytes() == client
    assert client_started(folder)
    assert no_leftovers(folder)


@pytest.mark.parametrize("cut, stored", [("half", True), (1000, False)])
def test_close_delimited_body_cut_short(platform, folder, display, cut, stored):
    client = new_client(platform, 2 * 2**20)
    player_folder(platform, folder)
    with FaultServer() as server:
        # Every answer ends after `cut` bytes without a length: half twice is the client.
        site_routes(server, client, close_delimited=len(client) // 2 if cut == "half" else cut)
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert "client.exe ended after " in run.out, run
    if stored:
        assert client_requests(server) == [None, f"bytes={len(client) // 2}-"]
        assert (folder / "client.exe").read_bytes() == client
        assert client_started(folder)
    else:
        # Three retries, then the old client stays and the part is kept for the next start.
        assert client_requests(server) == [None, "bytes=1000-", "bytes=2000-", "bytes=3000-"]
        assert (folder / "client.exe").read_bytes() == b"old client"
        assert errors_told(run) == [step_10_box()], run
        assert (folder / "client.exe.download").stat().st_size == 4000
        assert not client_started(folder, timeout=0.5)


def test_content_length_larger_than_the_body(platform, folder, display):
    client = new_client(platform, 2 * 2**20)
    player_folder(platform, folder)
    with FaultServer() as server:
        # Claims the whole client, sends half, closes: every time.
        site_routes(server, client[:len(client) // 2], declared_length=len(client), ignore_range=True)
        server.routes["/version.data"] = Route(record_for(client))
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert run.out.count("CURL failed with code PARTIAL_FILE at caller ") == 4, run
    assert errors_told(run) == [step_10_box()], run
    assert (folder / "client.exe").read_bytes() == b"old client"
    assert not client_started(folder, timeout=0.5)


# --- limits ---

def test_trickling_version_data_ends_the_run_in_time(platform, folder, display):
    player_folder(platform, folder)
    with FaultServer() as server:
        # One byte every 50 ms of a record that would take an hour (and stays under the cap
        # of the small files, so only the time limit can end it).
        server.routes["/version.data"] = Route(sized_body(60_000), chunk=1, delay=0.05)
        run = run_updater(platform, folder, timeout=75)
    assert "CURL failed with code OPERATION_TIMEDOUT at caller " in run.out, run
    # The 30 s are used up by the first try: nothing is tried again.
    assert [path for _, path in server.requests].count("/version.data") == 1
    assert (folder / "client.exe").read_bytes() == b"old client"
    assert not client_started(folder, timeout=0.5)


def test_gzip_bomb_is_stopped_at_the_record_size(platform, folder, display):
    player_folder(platform, folder)
    bomb = bytes(256 * 2**20)  # 256 MiB of zeros, about 256 KiB on the wire
    with FaultServer() as server:
        site_routes(server, bomb, gzip_body=True)
        server.routes["/version.data"] = Route(record(SERVER_TICKS + 1, 11, SERVER_TICKS, 2**20))
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert f"client.exe is more than {2**20} bytes" in run.err, run
    assert len(client_requests(server)) == 1  # refused, not tried again
    assert errors_told(run) == [step_10_box()], run
    assert (folder / "client.exe").read_bytes() == b"old client"
    assert no_leftovers(folder)


def test_a_page_in_place_of_the_client_keeps_the_old_one(platform, folder, display):
    player_folder(platform, folder)
    page = b"<html><body>Please log in to use this network.</body></html>"
    client = new_client(platform, 2**20)
    with FaultServer() as server:
        site_routes(server, page)
        server.routes["/version.data"] = Route(record_for(client))
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert f"client.exe is {len(page)} bytes but the update site's record says {len(client)}" in run.err, run
    assert errors_told(run) == [step_10_box()], run
    assert (folder / "client.exe").read_bytes() == b"old client"
    assert not client_started(folder, timeout=0.5)
    assert no_leftovers(folder)


# --- sizes past 32 bits ---

def test_client_past_4_gib_updates(platform, folder, tmp_path, display):
    site = tmp_path / "site"
    site.mkdir()
    program = platform.client.read_bytes()
    size = 4 * 2**30 + 1
    # Sparse on the server's side: the stand-in program, a hole, one last byte.
    with open(site / "client.exe", "wb") as out:
        out.write(program)
        out.truncate(size - 1)
        out.seek(size - 1)
        out.write(b"\x7f")
    (site / "korvane.exe").write_bytes(b"new updater")
    set_time(site / "client.exe", 1_700_000_000)
    (site / "version.data").write_bytes(record(ticks_of(site / "korvane.exe"), 11, ticks_of(site / "client.exe"), size))
    player_folder(platform, folder)
    try:
        with nginx_serving(site):
            run = run_updater(platform, folder, timeout=600)
        assert run.code == 0, run
        assert run.boxes == 0, run
        got = folder / "client.exe"
        assert got.stat().st_size == size
        with open(got, "rb") as data:
            assert data.read(len(program)) == program
            data.seek(size - 1)
            assert data.read() == b"\x7f"
        assert subprocess.run(["cmp", "-s", site / "client.exe", got]).returncode == 0
        assert client_started(folder)
    finally:
        # 4 GiB of a test's folder should not wait for pytest's clean-up.
        for name in ("client.exe", "client.exe.download"):
            (folder / name).unlink(missing_ok=True)


# --- the disk and the temporary file ---

@pytest.fixture
def small_disk(tmp_path):
    """A folder on a tmpfs of its own, with a few MiB of room; skips where nothing can be
    mounted."""
    mount_point = tmp_path / "small-disk"
    mount_point.mkdir()
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=12m", "tmpfs", mount_point], capture_output=True)
    if mounted.returncode != 0:
        pytest.skip(f"cannot mount a tmpfs here: {mounted.stderr.decode().strip()}")
    try:
        yield mount_point
    finally:
        subprocess.run(["umount", "-l", mount_point])


def test_full_disk_while_writing_keeps_the_old_client(platform, small_disk, display):
    folder = small_disk
    old = sized_body(100_000, seed=3)
    player_folder(platform, folder, old_client=old)
    client = new_client(platform, 16 * 2**20)  # more than the disk has room for
    with FaultServer() as server:
        site_routes(server, client)
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert errors_told(run) == ["Failed to write client.exe as file.", step_10_box()], run
    assert (folder / "client.exe").read_bytes() == old
    assert no_leftovers(folder)
    assert not client_started(folder, timeout=0.5)


def test_a_link_at_the_temporary_name_leaves_its_target_untouched(platform, folder, tmp_path, display):
    precious = tmp_path / "precious.txt"
    precious.write_bytes(b"somebody else's file")
    player_folder(platform, folder)
    (folder / "client.exe.download").symlink_to(precious)
    client = new_client(platform, 2**20)
    with FaultServer() as server:
        site_routes(server, client)
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert precious.read_bytes() == b"somebody else's file"
    assert not (folder / "client.exe").is_symlink()
    if platform.name == "linux":
        # The link itself is removed and the download goes on.
        assert (folder / "client.exe").read_bytes() == client
        assert no_leftovers(folder)
    else:
        # Wine would delete the file behind such a link: the link is left alone and the
        # download cannot make its temporary file.
        assert (folder / "client.exe").read_bytes() == b"old client"
        assert errors_told(run) == ["Failed to write client.exe as file.", step_10_box()], run


def test_a_link_with_a_matching_resume_note_is_not_written_through(platform, folder, tmp_path, display):
    # Even a note that claims the link as a partial download does not get it opened.
    client = new_client(platform, 2**20)
    precious = tmp_path / "precious.txt"
    precious.write_bytes(b"short")
    player_folder(platform, folder)
    (folder / "client.exe.download").symlink_to(precious)
    entry = record_for(client)[24:48]
    (folder / "client.exe.resume").write_bytes(b"KVRESUM1" + entry)
    with FaultServer() as server:
        site_routes(server, client)
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert precious.read_bytes() == b"short"
    if platform.name == "linux":
        assert client_requests(server) == [None]  # from byte 0 into a new file
        assert (folder / "client.exe").read_bytes() == client
    else:
        assert client_requests(server) == []
        assert (folder / "client.exe").read_bytes() == b"old client"


def test_a_client_still_running_is_waited_for_then_reported(platform, folder, display):
    if platform.name != "windows":
        pytest.skip("a running program's file can be replaced on Linux")
    holder = find_built("windows", "hold_file.exe")
    if holder is None:
        pytest.skip("hold_file is not built")
    player_folder(platform, folder)
    shutil.copy(holder, folder / "hold_file.exe")
    client = new_client(platform, 2**20)
    held = platform.start(folder, folder / "hold_file.exe", "client.exe", "120")
    try:
        assert held.stdout.readline().startswith(b"holding"), "hold_file did not start"
        with FaultServer() as server:
            site_routes(server, client)
            run = run_updater(platform, folder)
    finally:
        (folder / "client.exe.release").write_bytes(b"")
        held.wait(timeout=30)
    assert run.code == 0, run
    assert "client.exe is in use; waiting for it" in run.out, run
    # One box, this one: the general one would blame the server.
    assert run.boxes == 1, run
    assert errors_told(run) == [], run
    assert ("client.exe could not be replaced because the game is still running. Close the game and start Korvane "
            "again.\n") in run.err, run
    assert (folder / "client.exe").read_bytes() == b"old client"
    assert not client_started(folder, timeout=0.5)
