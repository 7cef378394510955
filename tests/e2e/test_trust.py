"""Trusted releases, end to end, natively and under Wine: korvane_keyed.exe (the updater
built with the test release key that scripts/test.sh makes under the build root) against
sites signed by Debian's minisign in the test; the plain korvane.exe ignoring signatures;
the HTTP library written again when the file on disk is broken; one run per folder."""
import os
import shutil
import subprocess
import threading
import time
from pathlib import Path

import pytest

from conftest import BUILD_DIRS, BUILD_ROOT, FaultServer, Route, find_built, kill_group, sized_body
from test_download import SERVER_TICKS
from test_update import client_started, embedded_library, library_name, player_folder, record, run_updater

KEYS = BUILD_ROOT / "e2e-keys"
REFUSAL_BOX = ("The update site's files are not signed by the game's release key. The game was not updated "
               "or started; please try again later.")


# --- keys and signatures, made by minisign ---

def minisign(*args):
    done = subprocess.run(["minisign", *map(str, args)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done


@pytest.fixture
def release_key():
    key = KEYS / "minisign.key"
    if not key.exists():
        pytest.skip(f"no test release key in {KEYS} (scripts/test.sh makes it)")
    return key


@pytest.fixture
def other_key(tmp_path):
    folder = tmp_path / "other-key"
    folder.mkdir()
    minisign("-G", "-W", "-p", folder / "minisign.pub", "-s", folder / "minisign.key")
    return folder / "minisign.key"


def signature_of(body, key, tmp_path, legacy=False, comment=None):
    """The .minisig text minisign writes for body."""
    message = tmp_path / "to-sign"
    message.write_bytes(body)
    signature = tmp_path / "to-sign.minisig"
    args = ["-S", "-s", key, "-m", message, "-x", signature]
    if legacy:
        args.append("-l")
    if comment is not None:
        args += ["-t", comment]
    minisign(*args)
    return signature.read_bytes()


def keyed_player(platform, folder, old_client=b"old client"):
    keyed = find_built(platform.name, "korvane_keyed.exe")
    if keyed is None:
        pytest.skip(f"korvane_keyed is not built in {BUILD_DIRS[platform.name]}")
    player_folder(platform, folder, old_client=old_client)
    shutil.copy(keyed, folder / "korvane.exe")
    return folder


def keyed_updater(platform):
    """The keyed updater's bytes, served as the new updater where a run follows the one
    that installs it (the updater puts its new copy in place of itself)."""
    return find_built(platform.name, "korvane_keyed.exe").read_bytes()


def site_record(client, release=0, updater=b"new updater"):
    """A valid record for a site serving client and updater (the updater refuses other
    sizes); releases differ in their times."""
    return record(SERVER_TICKS + 2 * release + 1, len(updater), SERVER_TICKS + 2 * release, len(client))


def signed_site(server, record, signature, client, key=None, tmp_path=None, legacy=False, updater=b"new updater"):
    """A site serving record with signature (None: none); with key, client.exe and
    korvane.exe carry their signatures too."""
    server.routes["/version.data"] = Route(record)
    if signature is not None:
        server.routes["/version.data.minisig"] = Route(signature)
    server.routes["/client.exe"] = Route(client)
    server.routes["/korvane.exe"] = Route(updater)
    if key is not None:
        server.routes["/client.exe.minisig"] = Route(signature_of(client, key, tmp_path, legacy=legacy))
        server.routes["/korvane.exe.minisig"] = Route(signature_of(updater, key, tmp_path, legacy=legacy))


# --- the keyed updater and version.data ---

@pytest.mark.parametrize("legacy", [False, True], ids=["prehashed", "legacy"])
def test_a_signed_record_is_used(platform, folder, tmp_path, display, release_key, legacy):
    keyed_player(platform, folder)
    client = platform.client.read_bytes()
    updater = keyed_updater(platform)
    record = site_record(client, updater=updater)
    with FaultServer() as server:
        signed_site(server, record, signature_of(record, release_key, tmp_path, legacy=legacy), client,
                    key=release_key, tmp_path=tmp_path, legacy=legacy, updater=updater)
        run = run_updater(platform, folder)
        asked = [path for _, path in server.requests]
    assert run.code == 0, run
    assert run.boxes == 0, run
    assert asked[:2] == ["/version.data.minisig", "/version.data"], asked
    # Each file's signature before its body.
    for name in ("client.exe", "korvane.exe"):
        assert asked.index(f"/{name}.minisig") < asked.index(f"/{name}"), asked
        assert f"{name} is signed by the release key\n" in run.out, run
    assert "version.data is signed by the release key\n" in run.out, run
    assert (folder / "client.exe").read_bytes() == client
    # The new updater has taken the running one's place.
    assert (folder / "korvane.exe").read_bytes() == updater
    assert not (folder / "korvane_updated.exe").exists()
    assert client_started(folder)


def test_refused_records_change_nothing(platform, folder, tmp_path, display, release_key, other_key):
    record = site_record(platform.client.read_bytes())
    tampered = bytearray(record)
    tampered[20] ^= 0x01  # same size, one bit
    good = signature_of(record, release_key, tmp_path)
    cases = [
        ("tampered", bytes(tampered), good, "the signature does not match the file"),
        ("missing", record, None, "the update site has no version.data.minisig (HTTP status 404)"),
        ("other key", record, signature_of(record, other_key, tmp_path), "signed by another key than the release key"),
    ]
    for name, served, signature, reason in cases:
        work = folder / name
        work.mkdir()
        keyed_player(platform, work)
        with FaultServer() as server:
            signed_site(server, served, signature, platform.client.read_bytes())
            run = run_updater(platform, work)
            asked = [path for _, path in server.requests]
        assert run.code == 0, (name, run)
        assert run.boxes == 1, (name, run)
        assert f"version.data is refused: {reason}\n" in run.err, (name, run)
        assert REFUSAL_BOX + "\n" in run.err, (name, run)
        assert "/client.exe" not in asked, (name, asked)
        assert (work / "client.exe").read_bytes() == b"old client", name
        assert not client_started(work, timeout=0.5), name


def test_an_older_signed_record_after_a_newer_one_is_refused(platform, folder, tmp_path, display, release_key):
    keyed_player(platform, folder)
    newer_client = platform.client.read_bytes()
    updater = keyed_updater(platform)
    newer = site_record(newer_client, release=2, updater=updater)
    older = site_record(b"the old client", release=1)
    with FaultServer() as server:
        signed_site(server, newer, signature_of(newer, release_key, tmp_path, comment="timestamp:2000\tfile:version.data"),
                    newer_client, key=release_key, tmp_path=tmp_path, updater=updater)
        first = run_updater(platform, folder)
    assert first.code == 0 and first.boxes == 0, first
    assert (folder / "client.exe").read_bytes() == newer_client
    assert (folder / "korvane_release.state").read_text().strip() == "2000"
    (folder / "client_started.txt").unlink()

    # The old release, validly signed back then, served again.
    with FaultServer() as server:
        signed_site(server, older, signature_of(older, release_key, tmp_path, comment="timestamp:1000\tfile:version.data"),
                    b"the old client")
        second = run_updater(platform, folder)
    assert second.boxes == 1, second
    assert ("version.data is refused: signed at timestamp 1000, older than the release already accepted here "
            "(timestamp 2000)\n") in second.err, second
    assert (folder / "client.exe").read_bytes() == newer_client
    assert not client_started(folder, timeout=0.5)


def test_a_build_without_a_key_ignores_signatures(platform, folder, display):
    player_folder(platform, folder)
    client = platform.client.read_bytes()
    with FaultServer() as server:
        signed_site(server, site_record(client), b"not a signature at all", client)
        run = run_updater(platform, folder)
        asked = [path for _, path in server.requests]
    assert run.code == 0 and run.boxes == 0, run
    assert [path for path in asked if path.endswith(".minisig")] == [], asked
    assert (folder / "client.exe").read_bytes() == client
    assert client_started(folder)


# --- the keyed updater and the downloaded files ---

def test_refused_downloads_keep_the_old_client(platform, folder, tmp_path, display, release_key, other_key):
    client = platform.client.read_bytes()
    record = site_record(client)
    tampered = bytearray(client)
    tampered[-1] ^= 0x01  # same size, one bit: only the signature can tell
    cases = [
        ("same-size tampered client", bytes(tampered), signature_of(client, release_key, tmp_path), True,
         "client.exe is refused: the signature does not match the file"),
        ("no signature", client, None, False,
         "client.exe is refused: the update site has no client.exe.minisig (HTTP status 404)"),
        ("another key", client, signature_of(client, other_key, tmp_path), False,
         "client.exe is refused: signed by another key than the release key"),
        ("not a signature", client, b"<html>please log in</html>", False,
         "client.exe is refused: client.exe.minisig is not a minisign signature"),
    ]
    for name, served, signature, body_fetched, line in cases:
        work = folder / name.replace(" ", "_")
        work.mkdir()
        keyed_player(platform, work)
        with FaultServer() as server:
            signed_site(server, record, signature_of(record, release_key, tmp_path), served)
            if signature is not None:
                server.routes["/client.exe.minisig"] = Route(signature)
            run = run_updater(platform, work)
            asked = [path for _, path in server.requests]
        assert run.code == 0, (name, run)
        assert line in run.err, (name, run)
        # Refused like a failed download: only the general box, not retried, nothing started.
        assert run.boxes == 1, (name, run)
        assert asked.count("/client.exe.minisig") == 1, (name, asked)
        assert asked.count("/client.exe") == (1 if body_fetched else 0), (name, asked)
        assert "/korvane.exe" not in asked, (name, asked)
        assert (work / "client.exe").read_bytes() == b"old client", name
        # The next start begins afresh.
        assert not list(work.glob("*.download")) and not list(work.glob("*.resume")), name
        assert not client_started(work, timeout=0.5), name


# --- the HTTP library on disk, broken ---

@pytest.mark.parametrize("damage", ["empty", "truncated"])
def test_a_broken_library_is_written_again_and_the_run_goes_on(platform, folder, display, damage):
    player_folder(platform, folder)
    expected = embedded_library(platform)
    if expected is None:
        pytest.skip("the Windows third-party cache is elsewhere")
    name = library_name(platform)
    # A full disk or a kill during the first start leaves such files.
    whole = expected.read_bytes()
    (folder / name).write_bytes(b"" if damage == "empty" else whole[:len(whole) // 3])
    client = platform.client.read_bytes()
    with FaultServer() as server:
        server.routes["/version.data"] = Route(site_record(client))
        server.routes["/client.exe"] = Route(client)
        server.routes["/korvane.exe"] = Route(b"new updater")
        run = run_updater(platform, folder)
    assert run.code == 0, run
    assert run.boxes == 0, run
    assert "writing it again from the embedded copy" in run.err, run
    assert (folder / name).read_bytes() == expected.read_bytes()
    assert (folder / "client.exe").read_bytes() == client
    assert client_started(folder)


# --- one run per folder ---

def test_a_second_start_during_an_update_ends_quietly(platform, folder, display):
    player_folder(platform, folder)
    # The stand-in game with padding after its image (which it ignores), to make it last.
    client = platform.client.read_bytes() + sized_body(4 * 2**20, seed=10)
    with FaultServer() as server:
        server.routes["/version.data"] = Route(site_record(client))
        # Slow enough that the first run is surely still downloading when the second starts.
        server.routes["/client.exe"] = Route(client, chunk=2**18, delay=0.25)
        server.routes["/korvane.exe"] = Route(b"new updater")
        first = {}
        runner = threading.Thread(target=lambda: first.update(run=run_updater(platform, folder)))
        runner.start()
        deadline = time.monotonic() + 60
        while ("GET", "/client.exe") not in server.requests and runner.is_alive() and time.monotonic() < deadline:
            time.sleep(0.02)
        assert ("GET", "/client.exe") in server.requests, first
        second = platform.run(folder, folder / "korvane.exe", timeout=60)
        runner.join(timeout=180)
    assert second.code == 0, second
    assert second.out.strip() == "Another korvane.exe is already running in this folder; this one ends.", second
    assert first["run"].code == 0 and first["run"].boxes == 0, first["run"]
    assert (folder / "client.exe").read_bytes() == client
    assert client_started(folder)
    assert len((folder / "client_started.txt").read_text().strip().splitlines()) == 1


# --- the publisher's check before upload ---

def publish_tool():
    tool = find_built("linux", "korvane-publish")
    if tool is None:
        pytest.skip("korvane-publish is built by the Linux end-to-end build")
    return tool


def test_verify_tells_a_publisher_what_is_wrong(tmp_path, other_key):
    tool = publish_tool()
    keys = tmp_path / "keys"
    keys.mkdir()
    minisign("-G", "-W", "-p", keys / "minisign.pub", "-s", keys / "minisign.key")
    key = keys / "minisign.key"

    def make_site(name):
        site = tmp_path / name
        site.mkdir()
        (site / "client.exe").write_bytes(sized_body(10_000, seed=1))
        (site / "korvane.exe").write_bytes(sized_body(5_000, seed=2))
        assert subprocess.run([tool, site], capture_output=True).returncode == 0
        for file in ("version.data", "client.exe", "korvane.exe"):
            minisign("-S", "-s", key, "-m", site / file)
        return site

    def touch_later(path):
        stat = path.stat()
        os.utime(path, ns=(stat.st_atime_ns, stat.st_mtime_ns + 10**9))

    def resign_with(path, signer):
        minisign("-S", "-s", signer, "-m", path)

    cases = [
        ("ready", lambda site: None, 0, []),
        ("client changed after signing", lambda site: (site / "client.exe").write_bytes(sized_body(10_000, seed=9)), 1,
         ["FAIL client.exe is not accepted: the signature does not match the file",
          "FAIL version.data does not match client.exe beside it"]),
        ("copied again after publishing", lambda site: touch_later(site / "korvane.exe"), 1,
         ["FAIL version.data does not match korvane.exe beside it"]),
        ("a signature missing", lambda site: (site / "korvane.exe.minisig").unlink(), 1,
         ["FAIL korvane.exe.minisig is missing"]),
        ("signed with another key", lambda site: resign_with(site / "version.data", other_key), 1,
         ["FAIL version.data is not accepted: signed by another key than the release key"]),
        ("a broken signature file", lambda site: (site / "client.exe.minisig").write_text("hello\n"), 1,
         ["FAIL client.exe.minisig is not a minisign signature: the first line is not an \"untrusted comment: \" line"]),
    ]
    for name, damage, code, lines in cases:
        site = make_site(name.replace(" ", "_"))
        damage(site)
        done = subprocess.run([tool, "--verify", site, "--key", keys / "minisign.pub"], capture_output=True, text=True)
        assert done.returncode == code, (name, done.stdout, done.stderr)
        for line in lines:
            assert any(out.startswith(line) for out in done.stdout.splitlines()), (name, line, done.stdout)
        if code == 0:
            assert done.stdout.strip().endswith("ready to upload"), done.stdout
            assert "FAIL" not in done.stdout
        else:
            assert "do not upload" in done.stdout, done.stdout

    # A key file that is not one is refused before anything is checked.
    site = make_site("any")
    done = subprocess.run([tool, "--verify", site, "--key", site / "client.exe.minisig"], capture_output=True, text=True)
    assert done.returncode == 2
    assert "is not a minisign public key: the key line is not the base64 of a 42-byte key" in done.stderr
