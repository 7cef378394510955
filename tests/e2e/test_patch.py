"""Delta updates of the real korvane.exe, natively and under Wine: the player's old client
is turned into the new one by a patch that the standard zstd tool makes in the test; a
patch that cannot be used (broken, made from another old client, making a file of another
size) or is not on the site leaves the updater to download the whole client."""
import shutil
import subprocess

import pytest

from conftest import FaultServer, Route, sized_body
from test_download import SERVER_TICKS, client_requests, new_client, no_leftovers, record_for
from test_trust import keyed_player, release_key, signature_of  # noqa: F401 (fixture)
from test_update import client_started, errors_told, file_identity, player_folder, run_updater, ticks_of


def zstd_patch(old, new, tmp_path, name="patch"):
    """What `zstd --patch-from` writes to turn the bytes old into new."""
    old_file, new_file, patch = tmp_path / f"{name}.old", tmp_path / f"{name}.new", tmp_path / f"{name}.zst"
    old_file.write_bytes(old)
    new_file.write_bytes(new)
    if not shutil.which("zstd"):
        pytest.skip("the zstd tool is missing (scripts/setup.sh installs it)")
    subprocess.run(["zstd", "-q", "-f", f"--patch-from={old_file}", str(new_file), "-o", str(patch)], check=True)
    return patch.read_bytes()


def patch_path(client_file):
    """The site's name for the patch from this local client: its identity as 48 hex digits."""
    return "/client.exe.patch-" + file_identity(ticks_of(client_file), client_file.stat().st_size).hex()


def changed(data, every, seed):
    """data with one byte in every `every` of its second half changed."""
    out = bytearray(data)
    for at in range(len(out) - 1, len(out) // 2, -every):
        out[at] = (out[at] + seed) & 0xFF
    return bytes(out)


@pytest.fixture
def clients(platform):
    """An old client a player has and the new one of the site: the stand-in program padded
    to 2 MiB, some scattered bytes of the padding changed and 64 KiB appended."""
    new = new_client(platform, 2 * 2**20)
    old = changed(new, 997, seed=1)[:-64 * 1024]
    return old, new


def patching_site(server, client, patch_name, patch):
    server.routes["/version.data"] = Route(record_for(client))
    server.routes["/client.exe"] = Route(client)
    server.routes["/korvane.exe"] = Route(b"new updater")
    if patch is not None:
        server.routes[patch_name] = Route(patch)


def test_a_patch_made_by_zstd_turns_the_old_client_into_the_new_one(platform, folder, tmp_path, display, clients):
    old, new = clients
    player_folder(platform, folder, old_client=old)
    name = patch_path(folder / "client.exe")
    patch = zstd_patch(old, new, tmp_path)
    assert len(patch) < len(new) // 10
    with FaultServer() as server:
        patching_site(server, new, name, patch)
        run = run_updater(platform, folder)
    assert run.code == 0 and run.boxes == 0, run
    asked = [path for _, path in server.requests]
    assert name in asked, asked
    assert client_requests(server) == [], asked
    assert (folder / "client.exe").read_bytes() == new
    assert ticks_of(folder / "client.exe") == SERVER_TICKS
    assert f"Stored client.exe ({len(new)} bytes) from the patch {name[1:]} ({len(patch)} bytes)" in run.out, run
    assert client_started(folder)
    assert no_leftovers(folder)


def test_a_patch_that_cannot_be_used_falls_back_to_the_whole_client(platform, folder, tmp_path, display, clients):
    old, new = clients
    good = zstd_patch(old, new, tmp_path, "good")
    broken = bytearray(good)
    for at in range(len(broken) // 3, len(broken) - 8, 97):
        broken[at] ^= 0x5A
    # Same size as the player's client, other bytes where the new client refers to it: only
    # the result's checksum tells.
    other_old = new[:len(old)]
    cases = [
        # What zstd makes of damaged bytes varies; the line names the patch and says why.
        ("broken", bytes(broken), "cannot be used: the "),
        ("from another old client", zstd_patch(other_old, new, tmp_path, "other"),
         "the patch is damaged or was made from another old client"),
        ("another result size", zstd_patch(old, new + b"one more line", tmp_path, "longer"),
         f"cannot be used: the patch makes a file of {len(new) + 13} bytes, the expected size is {len(new)}"),
        ("not on the site", None, "The update site has no patch from this client.exe"),
    ]
    for case, patch, reason in cases:
        work = folder / case.replace(" ", "_")
        work.mkdir()
        player_folder(platform, work, old_client=old)
        name = patch_path(work / "client.exe")
        with FaultServer() as server:
            patching_site(server, new, name, patch)
            run = run_updater(platform, work)
        assert run.code == 0 and run.boxes == 0, (case, run)
        asked = [path for _, path in server.requests]
        assert asked.index(name) < asked.index("/client.exe"), (case, asked)
        assert client_requests(server) == [None], (case, asked)
        assert reason in run.err, (case, run)
        # One line says why; nothing the player has to answer.
        said = [line for line in run.err.splitlines() if "downloading all of" in line]
        assert len(said) == 1 and name[1:] in said[0], (case, run)
        assert errors_told(run) == [], (case, run)
        assert (work / "client.exe").read_bytes() == new, case
        assert ticks_of(work / "client.exe") == SERVER_TICKS, case
        assert client_started(work), case
        assert no_leftovers(work), case


def test_a_player_without_a_client_downloads_the_whole_file(platform, folder, display, clients):
    _, new = clients
    player_folder(platform, folder, old_client=None)
    with FaultServer() as server:
        patching_site(server, new, "/unused", None)
        run = run_updater(platform, folder)
    assert run.code == 0 and run.boxes == 0, run
    assert [path for _, path in server.requests if "patch" in path] == []
    assert (folder / "client.exe").read_bytes() == new
    assert client_started(folder)


def test_a_keyed_build_checks_the_patched_client_against_its_signature(platform, folder, tmp_path, display, clients,
                                                                       release_key):
    old, new = clients
    record = record_for(new)
    for case, signed, used in [("signed", new, True), ("signature of another client", new[:-1] + b"\0", False)]:
        work = folder / case.replace(" ", "_")
        work.mkdir()
        keyed_player(platform, work, old_client=old)
        name = patch_path(work / "client.exe")
        with FaultServer() as server:
            patching_site(server, new, name, zstd_patch(old, new, tmp_path))
            server.routes["/version.data.minisig"] = Route(signature_of(record, release_key, tmp_path))
            server.routes["/client.exe.minisig"] = Route(signature_of(signed, release_key, tmp_path))
            server.routes["/korvane.exe.minisig"] = Route(signature_of(b"new updater", release_key, tmp_path))
            run = run_updater(platform, work)
        assert run.code == 0, (case, run)
        if used:
            assert run.boxes == 0, run
            assert "client.exe is signed by the release key\n" in run.out, run
            assert client_requests(server) == [], run
            assert (work / "client.exe").read_bytes() == new
            assert client_started(work)
        else:
            # The patch's result is refused, and so is the whole client after it.
            assert run.err.count("client.exe is refused: the signature does not match the file") == 2, run
            assert client_requests(server) == [None], run
            assert (work / "client.exe").read_bytes() == old
            assert not client_started(work, timeout=0.5)
        assert no_leftovers(work), case
