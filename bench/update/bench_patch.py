#!/usr/bin/python3
"""Patch figures for delta updates: an old client of 256 MiB (and one of 2 GiB with
--large), a new client with 1 % of its bytes changed in scattered places and 1 MiB
appended; the patch korvane-publish writes, its size against the whole client, the time
to make it, and the time and memory to apply it as an update does (patch_bench: the old
client mapped, the result decoded into the output file mapped writable), beside
`zstd -d --patch-from`; then the update itself: korvane.exe on loopback nginx with the
patch on the site against the whole client, and its peak memory while it applies the
patch (the peak resident set, which counts the pages of both mapped files).

  bench/update/bench_patch.py [--large] [--scatter runs|bytes] [--keep]

The changes: "runs" (the default) are runs of 1 to 256 random bytes at random places,
as a rebuilt game changes code and data in places; "bytes" changes single bytes every
100 bytes or so on average, which costs zstd a sequence per changed byte (about 3.4 %
for the 256 MiB client, against 1.5 % with runs). The 2 GiB client is
2 GiB - 1 MiB, so the new one with 1 MiB appended is exactly the 2 GiB window a patch
may use. Files go to build/bench-patch/ and are removed unless --keep."""
import argparse
import filecmp
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WORK = ROOT / "build" / "bench-patch"
BUILD = ROOT / "build" / "bench-patch-tools"
MIB = 2**20
CHUNK = 64 * MIB


def build_tools():
    subprocess.run(["cmake", "--preset", "linux", "-B", BUILD, "-DKORVANE_BUILD_TESTS=OFF", "-DKORVANE_BUILD_BENCH=ON"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j2", "--target", "korvane_publish", "patch_bench"], check=True,
                   stdout=subprocess.DEVNULL)
    return next(BUILD.rglob("korvane-publish")), next(BUILD.rglob("patch_bench.exe"))


def make_clients(old_path, new_path, size, scatter, seed=15):
    """Writes the old client (random bytes) and the new one: 1 % of the bytes changed, 1 MiB appended."""
    rng = random.Random(seed)
    with open(old_path, "wb") as old:
        for at in range(0, size, CHUNK):
            old.write(rng.randbytes(min(CHUNK, size - at)))
    shutil.copyfile(old_path, new_path)
    changed = 0
    with open(new_path, "r+b") as new:
        while changed < size // 100:
            length = rng.randint(1, 256) if scatter == "runs" else 1
            at = rng.randrange(size - length)
            new.seek(at)
            new.write(rng.randbytes(length))
            changed += length
        new.seek(0, os.SEEK_END)
        new.write(rng.randbytes(MIB))


def site(folder, client_source):
    folder.mkdir(parents=True)
    (folder / "korvane.exe").write_bytes(b"the updater")
    os.replace(client_source, folder / "client.exe")
    return folder


def timed(argv):
    start = time.perf_counter()
    result = subprocess.run(argv, capture_output=True, text=True)
    seconds = time.perf_counter() - start
    if result.returncode != 0:
        raise SystemExit(f"{argv} failed: {result.stderr}")
    return seconds, result.stdout


def update_timings(new_site, old_site, patch, runs=5):
    """The update itself, side by side: korvane.exe (the Linux build, windowless) updating a
    player folder that holds the old client, once with the patch on the site and once
    without it (the whole client), on loopback nginx, medians of a few runs in turn; the
    peak resident memory of the patched runs. The loopback port is bench_update.py's
    (KORVANE_BENCH_PORT)."""
    sys.path.insert(0, str(ROOT / "bench" / "update"))
    import bench_update  # noqa: E402 (its build and nginx, one harness for both benchmarks)

    korvane = next(bench_update.build("linux").rglob("korvane.exe"))
    windowless = dict(os.environ)
    windowless.pop("DISPLAY", None)
    run_folder = WORK / "player"
    new_client = new_site / "client.exe"

    def one_update(with_patch):
        if run_folder.exists():
            shutil.rmtree(run_folder)
        run_folder.mkdir()
        shutil.copy2(korvane, run_folder / "korvane.exe")
        # copy2 keeps the time, which is what names the patch.
        shutil.copy2(old_site / "client.exe", run_folder / "client.exe")
        start = time.perf_counter()
        process = subprocess.Popen([run_folder / "korvane.exe"], cwd=run_folder, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, env=windowless)
        out = process.stdout.read()
        _, status, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - start
        patched = b"from the patch" in out
        if os.waitstatus_to_exitcode(status) != 0 or patched != with_patch:
            raise SystemExit(f"the update {'with' if with_patch else 'without'} the patch went wrong:\n{out.decode()}")
        if not filecmp.cmp(run_folder / "client.exe", new_client, shallow=False):
            raise SystemExit("the updated client differs from the site's")
        return seconds, usage.ru_maxrss

    aside = WORK / patch.name
    with bench_update.nginx_serving(new_site, bench_update.PORT):
        with_patch, whole = [], []
        try:
            for _ in range(runs):
                # In turn, so that both see the same state of the machine.
                with_patch.append(one_update(True))
                os.replace(patch, aside)
                whole.append(one_update(False))
                os.replace(aside, patch)
        finally:
            if aside.exists():
                os.replace(aside, patch)
    shutil.rmtree(run_folder)
    patched_seconds = statistics.median(seconds for seconds, _ in with_patch)
    whole_seconds = statistics.median(seconds for seconds, _ in whole)
    transferred = patch.stat().st_size
    return (f"update ({runs} runs each, medians, windowless): with the patch {patched_seconds:.3f} s, the whole "
            f"client {whole_seconds:.3f} s, ratio {patched_seconds / whole_seconds:.2f}; client bytes transferred "
            f"{transferred} against {new_client.stat().st_size} ({100 * transferred / new_client.stat().st_size:.2f} %); "
            f"peak resident memory with the patch {max(rss for _, rss in with_patch) / 1024:.1f} MiB, the whole "
            f"client {max(rss for _, rss in whole) / 1024:.1f} MiB")


def measure(size, scatter, publisher, patch_bench):
    if WORK.exists():
        shutil.rmtree(WORK)
    WORK.mkdir(parents=True)
    start = time.perf_counter()
    make_clients(WORK / "old.bin", WORK / "new.bin", size, scatter)
    made = time.perf_counter() - start

    old_site = site(WORK / "old-site", WORK / "old.bin")
    subprocess.run([publisher, old_site], check=True, stdout=subprocess.DEVNULL)
    new_site = site(WORK / "site", WORK / "new.bin")
    publish_seconds, published = timed([publisher, new_site, "--patch-from", old_site])
    patch = next(new_site.glob("client.exe.patch-*"))
    whole = (new_site / "client.exe").stat().st_size
    patch_size = patch.stat().st_size

    out = WORK / "client.exe.download"
    apply_seconds, applied = timed([patch_bench, old_site / "client.exe", patch, out, str(whole)])
    same = subprocess.run(["cmp", "-s", out, new_site / "client.exe"]).returncode == 0
    out.unlink()
    zstd_seconds, _ = timed(["zstd", "-d", "-q", "-f", "--long=31", f"--patch-from={old_site / 'client.exe'}",
                             str(patch), "-o", str(out)])

    print(f"old client {size / MIB:.0f} MiB, new client {whole / MIB:.0f} MiB ({scatter} changed, 1 MiB appended; "
          f"files made in {made:.1f} s)")
    print(f"  patch: {patch_size} bytes, {100 * patch_size / whole:.2f} % of the whole client")
    print(f"  korvane-publish --patch-from (make and check the patch): {publish_seconds:.1f} s")
    for line in applied.splitlines():
        print(f"  patch_bench: {line}")
    print(f"  result byte-exact: {same}; zstd -d --patch-from: {zstd_seconds:.2f} s")
    print(f"  {update_timings(new_site, old_site, patch)}", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--large", action="store_true", help="also a 2 GiB client")
    parser.add_argument("--scatter", default="runs", choices=["runs", "bytes"])
    parser.add_argument("--keep", action="store_true", help="keep the files in build/bench-patch")
    args = parser.parse_args()
    if not shutil.which("zstd"):
        sys.exit("the zstd tool is missing: scripts/setup.sh installs it")
    publisher, patch_bench = build_tools()
    sizes = [256 * MIB] + ([2048 * MIB - MIB] if args.large else [])
    for size in sizes:
        measure(size, args.scatter, publisher, patch_bench)
    if not args.keep:
        shutil.rmtree(WORK)


if __name__ == "__main__":
    main()
