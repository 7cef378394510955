"""The publisher's patches: korvane-publish SITE --patch-from OLD_SITE writes, for each
earlier release, the zstd patch named after that release's record, and the standard zstd
tool turns the old client into the new one with it. Folders that cannot give a patch are
refused before anything is written. The tool runs on the host (the Linux build)."""
import os
import random
import shutil
import subprocess
from pathlib import Path

import pytest

from conftest import find_built

ZSTD = shutil.which("zstd")


def publisher():
    tool = find_built("linux", "korvane-publish")
    if tool is None:
        pytest.skip("korvane-publish is built by the Linux end-to-end build")
    return tool


def publish(site, *old_sites):
    arguments = [str(publisher()), str(site)]
    for old in old_sites:
        arguments += ["--patch-from", str(old)]
    return subprocess.run(arguments, capture_output=True, text=True)


def make_site(folder, client):
    folder.mkdir()
    (folder / "korvane.exe").write_bytes(b"the updater")
    (folder / "client.exe").write_bytes(client)
    return folder


def release(folder, client):
    site = make_site(folder, client)
    published = publish(site)
    assert published.returncode == 0, published.stderr
    return site


def patch_name(site):
    """The patch from the client of site's record: its 24-byte entry in hex."""
    return "client.exe.patch-" + (site / "version.data").read_bytes()[24:48].hex()


def clients(seed=15, size=300_000):
    rng = random.Random(seed)
    old = bytearray(rng.randbytes(size))
    new = bytearray(old)
    for _ in range(30):  # scattered runs of changed bytes
        at, length = rng.randrange(size - 64), rng.randint(1, 64)
        new[at:at + length] = rng.randbytes(length)
    new += rng.randbytes(20_000)  # appended
    return bytes(old), bytes(new)


def test_patches_from_earlier_releases_turn_their_clients_into_the_new_one(tmp_path):
    assert ZSTD, "the zstd tool is a test dependency (scripts/setup.sh)"
    old_client, new_client = clients()
    older_client = old_client[:200_000] + b"an older release" + old_client[200_016:]
    old = release(tmp_path / "old", old_client)
    older = release(tmp_path / "older", older_client)
    # Release folders copied since: their files' times are no longer those of their records.
    for old_site in (old, older):
        os.utime(old_site / "client.exe", ns=(1_600_000_000 * 10**9, 1_600_000_000 * 10**9))
    site = make_site(tmp_path / "site", new_client)

    published = publish(site, old, older)
    assert published.returncode == 0, published.stderr
    assert (site / "version.data").stat().st_size == 56
    assert not list(site.glob("*.partial"))
    for old_site in (old, older):
        patch = site / patch_name(old_site)
        assert patch.is_file(), published.stdout
        # Small: what changed and what was appended, not the whole client.
        assert patch.stat().st_size < len(new_client) // 5
        # The standard tool agrees with what the publisher wrote.
        result = subprocess.run([ZSTD, "-d", "-q", "-c", "--long=31", f"--patch-from={old_site / 'client.exe'}",
                                 str(patch)], capture_output=True)
        assert result.returncode == 0, result.stderr
        assert result.stdout == new_client
        line = next(line for line in published.stdout.splitlines() if patch.name in line)
        assert f"{patch.stat().st_size} bytes" in line and f"of the {len(new_client)} bytes of client.exe" in line
    assert published.stdout.splitlines()[-1].startswith(f"Wrote {site}/version.data")


def test_releases_without_a_patch_of_their_own(tmp_path):
    old_client, new_client = clients()
    old = release(tmp_path / "old", old_client)
    same = release(tmp_path / "same", new_client)
    copy = tmp_path / "copy"
    shutil.copytree(old, copy)  # the old release again, under another folder name
    site = make_site(tmp_path / "site", new_client)
    shutil.copystat(same / "client.exe", site / "client.exe")  # the very client of "same"

    published = publish(site, old, same, copy)
    assert published.returncode == 0, published.stderr
    assert [p.name for p in site.glob("client.exe.patch-*")] == [patch_name(old)]
    assert f"No patch from {same}: its client is the current one" in published.stdout
    assert f"No patch from {copy}: its client is that of an earlier folder" in published.stdout


@pytest.mark.parametrize("case", ["no record", "record of another client", "short record", "the site itself",
                                  "no old client"])
def test_old_folders_that_cannot_give_a_patch_are_refused_before_anything_is_written(tmp_path, case):
    old_client, new_client = clients()
    good = release(tmp_path / "good", old_client)
    bad = release(tmp_path / "bad", old_client)
    if case == "no record":
        (bad / "version.data").unlink()
        told = "Could not open file"
    elif case == "record of another client":
        (bad / "client.exe").write_bytes(old_client + b"more")
        told = "it is not the client of that record"
    elif case == "short record":
        (bad / "version.data").write_bytes(b"\0" * 55)
        told = "is not a valid identity record"
    elif case == "the site itself":
        told = "is the site folder itself"
    else:
        (bad / "client.exe").unlink()
        told = "Cannot read the size of"
    site = make_site(tmp_path / "site", new_client)
    if case == "the site itself":
        bad = site
        assert publish(site).returncode == 0
    record_before = (site / "version.data").read_bytes() if (site / "version.data").exists() else None

    published = publish(site, good, bad)
    assert published.returncode == 1
    assert told in published.stderr
    assert not list(site.glob("*.partial"))
    assert not list(site.glob("client.exe.patch-*"))
    after = (site / "version.data").read_bytes() if (site / "version.data").exists() else None
    assert after == record_before
