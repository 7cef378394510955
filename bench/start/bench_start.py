#!/usr/bin/python3
"""The figures of a player's everyday start and of the window's cost, side by side in one
run, medians of interleaved runs:

  up-to-date start, Linux: korvane.exe from its start to its end (the game started)
      against `curl -s -o /dev/null URL/version.data && ./client.exe`;
  up-to-date start, Windows build under Wine: the same against native curl plus a Wine
      start of the stand-in client (both through scripts/wine_run.sh, a Wine process kept
      alive as in the tests);
  window cost, Linux: an update of a 256 MiB client with the window against the same
      update without a display;
  first frame, Linux: from the process start to its first frame on the screen.

  bench/start/bench_start.py [--runs N] [--update-runs N] [--skip windows,window,frame]

Needs an X display (eval "$(scripts/xvfb.sh start)"). Builds korvane.exe for a fixed
loopback port into build/bench-<platform> (bench/update/bench_update.py's builds;
KORVANE_BENCH_PORT moves the port, KORVANE_THIRD_PARTY names the Windows libraries) and
keeps its sites and player folders under build/bench-start/."""
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
sys.path.insert(0, str(ROOT / "bench" / "update"))
sys.path.insert(0, str(ROOT / "bench" / "progress_window"))
from conftest import nginx_serving  # noqa: E402
import bench_gui  # noqa: E402
import bench_update  # noqa: E402

WORK = ROOT / "build" / "bench-start"
URL = f"http://127.0.0.1:{bench_update.PORT}"
BIG_CLIENT = 256 * 2**20


def wall_seconds(argv, cwd, shell=False, env=None):
    start = time.perf_counter()
    finished = subprocess.run(argv, cwd=cwd, shell=shell, env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    if finished.returncode != 0:
        raise SystemExit(f"{argv} failed with {finished.returncode}")
    return seconds


def publish(site, korvane, client, publisher, client_bytes=None):
    if site.exists():
        shutil.rmtree(site)
    site.mkdir(parents=True)
    shutil.copy2(korvane, site / "korvane.exe")
    if client_bytes is None:
        shutil.copy2(client, site / "client.exe")
    else:
        with open(site / "client.exe", "wb") as out:
            out.write(client.read_bytes())
            out.write(os.urandom(client_bytes - client.stat().st_size))
    subprocess.run([publisher, site], check=True, stdout=subprocess.DEVNULL)


def up_to_date_player(site, folder):
    """A player folder holding exactly the site's files: every start is up to date."""
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    shutil.copy2(site / "korvane.exe", folder / "korvane.exe")
    shutil.copy2(site / "client.exe", folder / "client.exe")


def check_up_to_date(platform, folder):
    out = subprocess.run(bench_update.command(platform, folder / "korvane.exe"), cwd=folder, capture_output=True,
                         text=True).stdout
    if "Starting game" not in out or "Version mismatched" in out:
        raise SystemExit(f"the {platform} player folder is not up to date:\n{out}")


def ratio_line(name, ours, theirs, target):
    a, b = statistics.median(ours), statistics.median(theirs)
    return (f"  {name}: korvane {a * 1000:.1f} ms (min {min(ours) * 1000:.1f}), reference {b * 1000:.1f} ms "
            f"(min {min(theirs) * 1000:.1f}), ratio {a / b:.2f} (target <= {target})")


def up_to_date_starts(platform, tools, publisher, runs):
    build = bench_update.build(platform) if platform == "windows" else tools
    korvane = next(build.rglob("korvane.exe"))
    client = next(build.rglob("stand_in_client.exe"))
    site = WORK / f"site-{platform}"
    folder = WORK / f"player-{platform}"
    publish(site, korvane, client, publisher)
    up_to_date_player(site, folder)
    client_command = " ".join(bench_update.command(platform, folder / "client.exe"))
    reference = f"curl -s -o /dev/null {URL}/version.data && {client_command}"
    ours, theirs = [], []
    with nginx_serving(site, bench_update.PORT):
        check_up_to_date(platform, folder)
        for _ in range(2):  # warm the caches
            wall_seconds(bench_update.command(platform, folder / "korvane.exe"), folder)
            wall_seconds(reference, folder, shell=True)
        for _ in range(runs):
            ours.append(wall_seconds(bench_update.command(platform, folder / "korvane.exe"), folder))
            theirs.append(wall_seconds(reference, folder, shell=True))
    return ours, theirs


def window_cost(tools, publisher, runs):
    korvane = next(tools.rglob("korvane.exe"))
    client = next(tools.rglob("stand_in_client.exe"))
    site = WORK / "site-256"
    publish(site, korvane, client, publisher, client_bytes=BIG_CLIENT)
    folder = WORK / "player-256"
    with_window, without = [], []
    without_display = dict(os.environ)
    without_display.pop("DISPLAY", None)
    with nginx_serving(site, bench_update.PORT):
        for _ in range(runs):
            for target, env in ((with_window, None), (without, without_display)):
                bench_update.player(folder, korvane, old_client=True)
                target.append(wall_seconds([folder / "korvane.exe"], folder, env=env))
                if (folder / "client.exe").stat().st_size != BIG_CLIENT:
                    raise SystemExit("the update did not write the client")
    return with_window, without


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=30, help="up-to-date starts per side and platform")
    parser.add_argument("--update-runs", type=int, default=7, help="256 MiB updates per side")
    parser.add_argument("--frame-runs", type=int, default=10)
    parser.add_argument("--skip", default="", help="comma-separated: windows, window, frame")
    args = parser.parse_args()
    skip = set(filter(None, args.skip.split(",")))
    if not os.environ.get("DISPLAY"):
        raise SystemExit("needs an X display: eval \"$(scripts/xvfb.sh start)\"")

    tools = bench_update.build("linux")
    publisher = next(tools.rglob("korvane-publish"))
    report = [f"medians; {os.cpu_count()} cores; load average at the start {os.getloadavg()[0]:.2f}"]

    ours, theirs = up_to_date_starts("linux", tools, publisher, args.runs)
    report.append(ratio_line(f"up-to-date start, Linux, {args.runs} runs", ours, theirs, 0.8))

    if "windows" not in skip:
        subprocess.run([ROOT / "scripts" / "wine_keepalive.sh", "start"], check=True, stdout=subprocess.DEVNULL)
        try:
            ours, theirs = up_to_date_starts("windows", tools, publisher, max(args.runs // 2, 5))
        finally:
            subprocess.run([ROOT / "scripts" / "wine_keepalive.sh", "stop"], stdout=subprocess.DEVNULL)
        report.append(ratio_line(f"up-to-date start, Wine, {max(args.runs // 2, 5)} runs", ours, theirs, 1.0))

    if "window" not in skip:
        with_window, without = window_cost(tools, publisher, args.update_runs)
        a, b = statistics.median(with_window), statistics.median(without)
        report.append(f"  256 MiB update, Linux, {args.update_runs} runs: with the window {a:.3f} s (min "
                      f"{min(with_window):.3f}), without a display {b:.3f} s (min {min(without):.3f}), the window "
                      f"costs {(a / b - 1) * 100:+.1f} % (target <= +5 %; of the minimums "
                      f"{(min(with_window) / min(without) - 1) * 100:+.1f} %)")

    if "frame" not in skip:
        korvane = next(tools.rglob("korvane.exe"))
        with bench_gui.x11.connect() as connection, connection.trap():
            x = bench_gui.X(connection)
            frames = [bench_gui.first_frame_ms("linux", korvane, x) for _ in range(args.frame_runs)]
        report.append(f"  first frame after the start, Linux, {args.frame_runs} runs: {statistics.median(frames):.0f} ms "
                      f"(min {min(frames):.0f}, max {max(frames):.0f}; target <= 150 ms)")

    print("\n".join(report))


if __name__ == "__main__":
    main()
