"""The updater replaces itself, works in its own folder wherever it is started from,
keeps korvane.log beside itself, and (the Windows build) is a windowed program. Each
test that takes `platform` runs natively and under Wine."""
import contextlib
import os
import shutil
import struct
import subprocess

import pytest

from conftest import find_built, nginx_serving
from test_update import client_started, ends_in_100ns, player_folder, publisher, run_updater, set_time

LOG = "korvane.log"
PREVIOUS_LOG = "korvane_previous.log"
ROTATE_AT = 2**20
HEADING = "--- korvane.exe started "


def release_site(platform, site):
    """A site whose updater and client both differ from the player's: a new build of the
    updater (the same program with a few bytes more at its end, which both executable
    formats ignore) and the stand-in client, published with their own times."""
    site.mkdir()
    (site / "korvane.exe").write_bytes(platform.korvane.read_bytes() + b"\0release 2\0")
    set_time(site / "korvane.exe", 1_700_000_000, 987_654_321)
    shutil.copy(platform.client, site / "client.exe")
    set_time(site / "client.exe", 1_700_000_100, 123_456_789)
    published = subprocess.run([publisher(), site], capture_output=True, text=True)
    assert published.returncode == 0, published.stderr
    return site


def assert_updater_is_the_sites(folder, site):
    assert (folder / "korvane.exe").read_bytes() == (site / "korvane.exe").read_bytes()
    assert ends_in_100ns(folder / "korvane.exe") == ends_in_100ns(site / "korvane.exe")
    assert not (folder / "korvane_updated.exe").exists()


def assert_up_to_date_start(run):
    assert run.code == 0, run
    assert run.boxes == 0, run
    assert "Version mismatched our own" not in run.out, run
    assert "client.exe\n" not in run.out, run  # nothing downloaded
    assert run.out.replace("stand-in client started\n", "").endswith("Starting gameUpdater: finished"), run


def test_release_with_a_new_updater_then_the_next_start_is_up_to_date(platform, folder, tmp_path, display):
    player_folder(platform, folder)
    old_updater = (folder / "korvane.exe").read_bytes()
    site = release_site(platform, tmp_path / "site")

    with nginx_serving(site):
        first = run_updater(platform, folder)
        assert first.code == 0, first
        assert first.boxes == 0, first
        assert "Downloaded client" in first.out and "Downloaded updater" in first.out, first
        # version.data, the patch asked for first, client.exe and korvane.exe: one connection.
        assert first.err.count("*   Trying 127.0.0.1:") == 1, first
        assert first.err.count("* Re-using existing connection") == 3, first
        assert_updater_is_the_sites(folder, site)
        assert client_started(folder)
        if platform.name == "windows":
            # The running file was renamed aside, to be deleted by the next start.
            assert (folder / "korvane_old.exe").read_bytes() == old_updater

        (folder / "client_started.txt").unlink()
        second = run_updater(platform, folder)
    assert_up_to_date_start(second)
    assert client_started(folder)
    assert not (folder / "korvane_old.exe").exists()
    assert_updater_is_the_sites(folder, site)


@contextlib.contextmanager
def unwritable(path):
    """Makes the file immutable (not renamed, replaced or deleted, even by root) for the
    duration; skips when the file system or the user cannot."""
    made = subprocess.run(["chattr", "+i", str(path)], capture_output=True, text=True)
    if made.returncode != 0:
        pytest.skip(f"cannot make a file immutable here: {made.stderr.strip()}")
    try:
        yield
    finally:
        subprocess.run(["chattr", "-i", str(path)], check=True)


def test_failed_promotion_is_finished_by_the_next_start(platform, folder, tmp_path, display):
    player_folder(platform, folder)
    old_updater = (folder / "korvane.exe").read_bytes()
    site = release_site(platform, tmp_path / "site")

    with nginx_serving(site):
        with unwritable(folder / "korvane.exe"):
            first = run_updater(platform, folder)
        assert first.code == 0, first
        assert first.boxes == 0, first  # the game starts; the next start finishes the job
        assert 'Could not put "korvane_updated.exe" in place of "korvane.exe"' in first.err, first
        assert (folder / "korvane.exe").read_bytes() == old_updater
        assert (folder / "korvane_updated.exe").read_bytes() == (site / "korvane.exe").read_bytes()
        assert ends_in_100ns(folder / "korvane_updated.exe") == ends_in_100ns(site / "korvane.exe")
        assert client_started(folder)

        (folder / "client_started.txt").unlink()
        second = run_updater(platform, folder)
    # Put in place before the comparison: up to date at once, nothing downloaded again.
    assert_up_to_date_start(second)
    assert_updater_is_the_sites(folder, site)
    assert client_started(folder)


def test_started_from_another_folder_it_updates_its_own(platform, folder, tmp_path, display):
    player_folder(platform, folder)
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    site = release_site(platform, tmp_path / "site")

    with nginx_serving(site):
        run = run_updater(platform, folder, cwd=elsewhere)
    assert run.code == 0, run
    assert (folder / "client.exe").read_bytes() == (site / "client.exe").read_bytes()
    assert_updater_is_the_sites(folder, site)
    assert (folder / LOG).exists()
    # The game runs in the program's folder too.
    assert client_started(folder)
    assert folder.name in (folder / "client_started.txt").read_text()
    assert list(elsewhere.iterdir()) == []


def run_texts(log_text):
    """What the log holds for each run, split at the runs' headings (each heading on a
    line of its own, after an empty line unless it opens the file)."""
    parts = log_text.split(HEADING)
    assert parts[0] == "", f"text before the first heading: {parts[0][:200]}"
    runs = []
    for i, part in enumerate(parts[1:]):
        heading_end = part.index("\n") + 1
        text = part[heading_end:]
        if i < len(parts) - 2:
            assert text.endswith("\n"), text[-200:]
            text = text[:-1]  # the empty line before the next heading
        runs.append(text)
    return runs


def assert_holds_both_streams(logged, out, err):
    """The logged text is the two streams' writes interleaved (a line of one may be cut by
    a write of the other): exactly as many bytes, and each stream's text in its order."""
    assert len(logged) == len(out) + len(err), f"--- log\n{logged}\n--- out\n{out}\n--- err\n{err}"
    for stream in (out, err):
        at = 0
        for i, char in enumerate(stream):
            at = logged.find(char, at) + 1
            assert at > 0, f"the log lacks {stream[i:i + 80]!r}:\n{logged}"


def test_log_holds_every_line_of_each_run(platform, folder, tmp_path, display):
    player_folder(platform, folder)
    site = release_site(platform, tmp_path / "site")
    with nginx_serving(site):
        update = run_updater(platform, folder)
        again = run_updater(platform, folder)
    assert update.code == 0 and again.code == 0, (update, again)

    runs = run_texts((folder / LOG).read_text())
    assert len(runs) == 2, runs
    for run, logged in zip((update, again), runs):
        # The game's own line is the game's, not ours.
        assert_holds_both_streams(logged, run.out.replace("stand-in client started\n", ""), run.err)
    # What support looks for: the identities, the requests and the server's answers.
    for expected in ("Our version is ", "Version mismatched our own", "> GET /client.exe HTTP/1.1",
                     "< HTTP/1.1 200 OK"):
        assert expected in runs[0], runs[0]
    assert "Starting gameUpdater: finished" in runs[1]


@pytest.mark.parametrize("earlier_bytes, rotated", [
    (1000, False),
    (ROTATE_AT - 100, True),
], ids=["appended", "rotated"])
def test_log_is_rotated_before_it_passes_a_mebibyte(platform, folder, tmp_path, display, earlier_bytes, rotated):
    player_folder(platform, folder)
    site = release_site(platform, tmp_path / "site")
    earlier = (b"an earlier run's line\n" * (earlier_bytes // 22 + 1))[:earlier_bytes]
    (folder / LOG).write_bytes(earlier)
    (folder / PREVIOUS_LOG).write_bytes(b"the run before that\n")

    with nginx_serving(site):
        run = run_updater(platform, folder)
    assert run.code == 0, run

    log = (folder / LOG).read_bytes()
    if rotated:
        # The earlier file became the previous one, replacing the older; this run's lines
        # begin a new file.
        assert (folder / PREVIOUS_LOG).read_bytes() == earlier
        assert log.startswith(HEADING.encode()), log[:200]
    else:
        assert (folder / PREVIOUS_LOG).read_bytes() == b"the run before that\n"
        assert log.startswith(earlier)
        assert log[len(earlier):].startswith(b"\n" + HEADING.encode())
    assert b"Our version is " in log
    assert len(log) <= ROTATE_AT


def pe_subsystem(path):
    """The Subsystem field of a PE image's optional header (2 GUI, 3 console)."""
    data = path.read_bytes()
    assert data[:2] == b"MZ"
    header = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[header:header + 4] == b"PE\0\0"
    optional = header + 4 + 20
    assert struct.unpack_from("<H", data, optional)[0] == 0x20B  # PE32+
    return struct.unpack_from("<H", data, optional + 68)[0]


def test_windows_build_is_a_windowed_program():
    korvane = find_built("windows", "korvane.exe")
    client = find_built("windows", "stand_in_client.exe")
    if korvane is None or client is None:
        pytest.skip("no end-to-end build for windows")
    assert pe_subsystem(korvane) == 2
    assert pe_subsystem(client) == 3  # the reading itself tells the two apart
