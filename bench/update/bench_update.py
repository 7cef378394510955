#!/usr/bin/python3
"""Whole-program figures of the update path on loopback nginx, side by side with curl:

  download-and-write: korvane.exe updating a 256 MiB and a 2 GiB client (version check,
      client, updater, writes with the flush before the rename, client start) against
      `curl -s -o client.exe URL/client.exe` (which does not flush); the 2 GiB client is
      a sparse file on the site's side;
  up-to-date launch: korvane.exe from start to the started client against
      `curl -s -o /dev/null URL/version.data && ./client.exe`;
  peak resident memory of korvane.exe while it updates, with its window and (Linux)
      without one (no display: the update runs windowless).

  bench/update/bench_update.py [--runs N] [--launch-runs N] [--platform linux|windows|both]
                               [--sizes 256M,2G]

The Windows build is measured at 256 MiB only by default (--windows-sizes to change it).

It builds korvane.exe for a fixed loopback port into build/bench-<platform> when missing,
and leaves its site and player folders under build/bench-update/. The Windows figures
come from the build under Wine (started through scripts/wine_run.sh with a Wine process
kept alive, as the tests do) and are reported as figures only."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from conftest import nginx_serving  # noqa: E402

# Several people may run benchmarks on one machine: KORVANE_BENCH_PORT moves the site.
PORT = int(os.environ.get("KORVANE_BENCH_PORT", "18733"))
WORK = ROOT / "build" / "bench-update"


def parse_size(text):
    units = {"K": 2**10, "M": 2**20, "G": 2**30}
    return int(text[:-1]) * units[text[-1]] if text[-1] in units else int(text)


def size_name(size):
    return f"{size // 2**30} GiB" if size >= 2**30 else f"{size // 2**20} MiB"


def build(platform):
    folder = ROOT / "build" / f"bench-{platform}"
    extra = []
    if platform == "windows" and os.environ.get("KORVANE_THIRD_PARTY"):
        # The third-party cache where build_windows_deps.sh put it, as scripts/test.sh does.
        extra = [f"-DKORVANE_WIN64_DEPS={os.environ['KORVANE_THIRD_PARTY']}/win64"]
    subprocess.run(["cmake", "--preset", platform, "-B", folder, f"-DKORVANE_UPDATE_URL=http://127.0.0.1:{PORT}",
                    "-DKORVANE_BUILD_TESTS=OFF", "-DKORVANE_BUILD_BENCH=OFF", *extra], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", folder, "-j2", "--target", "korvane", "stand_in_client", "korvane_publish"]
                   if platform == "linux" else ["cmake", "--build", folder, "-j2", "--target", "korvane", "stand_in_client"],
                   check=True, stdout=subprocess.DEVNULL)
    return folder


def command(platform, program):
    if platform == "windows":
        return [str(ROOT / "scripts" / "wine_run.sh"), str(program)]
    return [str(program)]


def timed(argv, cwd, shell=False, env=None):
    """Wall seconds and peak resident KiB of one run (the child and what it waited for)."""
    start = time.perf_counter()
    process = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, shell=shell,
                               env=env)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"{argv} failed with {status}")
    return seconds, usage.ru_maxrss


def player(folder, korvane, old_client):
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    shutil.copy2(korvane, folder / "korvane.exe")
    if old_client:
        (folder / "client.exe").write_bytes(b"old")


def median(values):
    return statistics.median(values)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--launch-runs", type=int, default=20)
    parser.add_argument("--platform", default="both", choices=["linux", "windows", "both"])
    parser.add_argument("--sizes", default="256M,2G")
    parser.add_argument("--windows-sizes", default="256M")
    args = parser.parse_args()
    platforms = ["linux", "windows"] if args.platform == "both" else [args.platform]

    started_display = None
    if not os.environ.get("DISPLAY"):
        # Windows programs under Wine want a display even when they show no window.
        line = subprocess.run([ROOT / "scripts" / "xvfb.sh", "start"], capture_output=True, text=True, check=True).stdout
        for assignment in line.replace("export ", "").split():
            name, value = assignment.split("=", 1)
            os.environ[name] = value
        started_display = os.environ["KORVANE_XVFB_PID"]
    try:
        measure(args, platforms)
    finally:
        if started_display:
            subprocess.run([ROOT / "scripts" / "xvfb.sh", "stop", started_display])


def write_client(path, program, size):
    """The stand-in program, then random bytes up to 256 MiB and a hole after them (a sparse
    file: the site's disk need not hold a 2 GiB client)."""
    with open(path, "wb") as out:
        out.write(program)
        random_part = min(size, 256 * 2**20) - len(program)
        for _ in range(random_part // 2**24):
            out.write(os.urandom(2**24))
        out.write(os.urandom(random_part % 2**24))
        out.truncate(size)


def measure(args, platforms):
    tools = build("linux")
    publisher = next(tools.rglob("korvane-publish"))
    site = WORK / "site"
    url = f"http://127.0.0.1:{PORT}"
    client_program = next(tools.rglob("stand_in_client.exe")).read_bytes()
    windowless = dict(os.environ)
    windowless.pop("DISPLAY", None)

    for platform in platforms:
        folder = build(platform) if platform == "windows" else tools
        korvane = next(folder.rglob("korvane.exe"))
        sizes = args.windows_sizes if platform == "windows" else args.sizes
        for size in [parse_size(text) for text in sizes.split(",")]:
            if site.exists():
                shutil.rmtree(site)
            site.mkdir(parents=True)
            write_client(site / "client.exe", client_program, size)
            shutil.copy2(korvane, site / "korvane.exe")
            subprocess.run([publisher, site], check=True, stdout=subprocess.DEVNULL)
            with nginx_serving(site, PORT):
                if platform == "windows":
                    subprocess.run([ROOT / "scripts" / "wine_keepalive.sh", "start"], check=True,
                                   stdout=subprocess.DEVNULL)
                try:
                    report(args, platform, korvane, size, url, windowless)
                finally:
                    if platform == "windows":
                        subprocess.run([ROOT / "scripts" / "wine_keepalive.sh", "stop"], stdout=subprocess.DEVNULL)
            shutil.rmtree(WORK / f"player-{platform}", ignore_errors=True)
            shutil.rmtree(WORK / "curl", ignore_errors=True)


def phases(platform, korvane, run_folder):
    """Where one update's time goes, from korvane.exe's own lines as they arrive: start to
    the version request, the version check, the client's transfer with its flush and
    rename, the rest (the updater's transfer, the client's start, the end)."""
    player(run_folder, korvane, old_client=True)
    start = time.perf_counter()
    process = subprocess.Popen(command(platform, run_folder / "korvane.exe"), cwd=run_folder,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    seen = {}
    for raw in process.stdout:
        line = raw.decode(errors="replace")
        now = time.perf_counter() - start
        for key, text in (("version", "/version.data"), ("client", "/client.exe"), ("stored", "Downloaded client")):
            if text in line and key not in seen:
                seen[key] = now
    process.wait()
    end = time.perf_counter() - start
    marks = [("start to the version request", 0.0, seen.get("version")),
             ("version check", seen.get("version"), seen.get("client")),
             ("client transfer, flush, rename", seen.get("client"), seen.get("stored")),
             ("updater, client start, end", seen.get("stored"), end)]
    return ", ".join(f"{name} {(b - a) * 1000:.0f} ms" for name, a, b in marks if a is not None and b is not None)


def report(args, platform, korvane, size, url, windowless):
    update, update_rss, bare, bare_rss, curl_download = [], [], [], [], []
    launch, curl_launch = [], []
    run_folder = WORK / f"player-{platform}"
    curl_folder = WORK / "curl"
    for _ in range(args.runs):
        # In turn, so that both see the same state of the machine.
        player(curl_folder, korvane, old_client=False)
        curl_download.append(timed(["curl", "-s", "-o", "client.exe", f"{url}/client.exe"], curl_folder)[0])
        shutil.rmtree(curl_folder)

        player(run_folder, korvane, old_client=True)
        seconds, rss = timed(command(platform, run_folder / "korvane.exe"), run_folder)
        update.append(seconds)
        update_rss.append(rss)
        assert (run_folder / "client.exe").stat().st_size == size

        if platform == "linux":
            player(run_folder, korvane, old_client=True)
            seconds, rss = timed(command(platform, run_folder / "korvane.exe"), run_folder, env=windowless)
            bare.append(seconds)
            bare_rss.append(rss)

    # The updated folder is now up to date: time the launch, in turn with curl, more often
    # than the updates since one takes milliseconds and the machine's noise is as large.
    client_command = " ".join(command(platform, run_folder / "client.exe"))
    for _ in range(args.launch_runs):
        launch.append(timed(command(platform, run_folder / "korvane.exe"), run_folder)[0])
        curl_launch.append(timed(f"curl -s -o /dev/null {url}/version.data && {client_command}",
                                 run_folder, shell=True)[0])

    print(f"{platform}, {size_name(size)} client: {args.runs} runs ({args.launch_runs} launches), medians")
    print(f"  update: korvane {median(update):.3f} s, curl -o {median(curl_download):.3f} s, "
          f"ratio {median(update) / median(curl_download):.2f}")
    if bare:
        print(f"  update without a window: korvane {median(bare):.3f} s, "
              f"ratio {median(bare) / median(curl_download):.2f}; the window adds "
              f"{100 * (median(update) / median(bare) - 1):+.1f} %")
    print(f"  up-to-date launch: korvane {median(launch) * 1000:.1f} ms, "
          f"curl + exec {median(curl_launch) * 1000:.1f} ms, ratio {median(launch) / median(curl_launch):.2f}")
    print(f"  peak resident memory while updating: {max(update_rss) / 1024:.1f} MiB with the window"
          + (f", {max(bare_rss) / 1024:.1f} MiB without" if bare_rss else ""))
    print(f"  one update's phases: {phases(platform, korvane, run_folder)}", flush=True)


if __name__ == "__main__":
    main()
