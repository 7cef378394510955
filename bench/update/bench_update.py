#!/usr/bin/python3
"""Whole-program figures of the update path on loopback nginx, side by side with curl:

  download-and-write: korvane.exe updating a 256 MiB client (version check, client,
      updater, writes with flush and rename, client start) against
      `curl -s -o client.exe URL/client.exe`;
  up-to-date launch: korvane.exe from start to the started client against
      `curl -s -o /dev/null URL/version.data && ./client.exe`;
  peak resident memory of korvane.exe while it updates.

  bench/update/bench_update.py [--runs N] [--platform linux|windows|both]

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
CLIENT_SIZE = 256 * 2**20


def build(platform):
    folder = ROOT / "build" / f"bench-{platform}"
    extra = []
    if platform == "windows" and os.environ.get("KORVANE_THIRD_PARTY"):
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


def timed(argv, cwd, shell=False):
    """Wall seconds and peak resident KiB of one run (the child and what it waited for)."""
    start = time.perf_counter()
    process = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, shell=shell)
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
    parser.add_argument("--platform", default="both", choices=["linux", "windows", "both"])
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


def measure(args, platforms):
    tools = build("linux")
    publisher = next(tools.rglob("korvane-publish"))
    site = WORK / "site"
    if site.exists():
        shutil.rmtree(site)
    site.mkdir(parents=True)
    client = next(tools.rglob("stand_in_client.exe"))
    with open(site / "client.exe", "wb") as out:
        out.write(client.read_bytes())
        out.write(os.urandom(CLIENT_SIZE - client.stat().st_size))
    url = f"http://127.0.0.1:{PORT}"

    with nginx_serving(site, PORT):
        for platform in platforms:
            folder = build(platform) if platform == "windows" else tools
            korvane = next(folder.rglob("korvane.exe"))
            shutil.copy2(korvane, site / "korvane.exe")
            subprocess.run([publisher, site], check=True, stdout=subprocess.DEVNULL)
            if platform == "windows":
                subprocess.run([ROOT / "scripts" / "wine_keepalive.sh", "start"], check=True, stdout=subprocess.DEVNULL)
            try:
                update, update_rss, curl_download = [], [], []
                launch, curl_launch = [], []
                for _ in range(args.runs):
                    run_folder = WORK / f"player-{platform}"
                    player(run_folder, korvane, old_client=True)
                    seconds, rss = timed(command(platform, run_folder / "korvane.exe"), run_folder)
                    update.append(seconds)
                    update_rss.append(rss)
                    assert (run_folder / "client.exe").stat().st_size == CLIENT_SIZE

                    curl_folder = WORK / "curl"
                    player(curl_folder, korvane, old_client=False)
                    curl_download.append(timed(["curl", "-s", "-o", "client.exe", f"{url}/client.exe"], curl_folder)[0])

                    # The updated folder is now up to date: time the launch.
                    seconds, _ = timed(command(platform, run_folder / "korvane.exe"), run_folder)
                    launch.append(seconds)
                    client_command = " ".join(command(platform, run_folder / "client.exe"))
                    curl_launch.append(timed(f"curl -s -o /dev/null {url}/version.data && {client_command}",
                                             run_folder, shell=True)[0])
            finally:
                if platform == "windows":
                    subprocess.run([ROOT / "scripts" / "wine_keepalive.sh", "stop"], stdout=subprocess.DEVNULL)

            mib = CLIENT_SIZE / 2**20
            print(f"{platform}: {args.runs} runs, medians")
            print(f"  update with a {mib:.0f} MiB client: korvane {median(update):.3f} s, "
                  f"curl -o {median(curl_download):.3f} s, ratio {median(update) / median(curl_download):.2f}")
            print(f"  up-to-date launch: korvane {median(launch) * 1000:.1f} ms, "
                  f"curl + exec {median(curl_launch) * 1000:.1f} ms, ratio {median(launch) / median(curl_launch):.2f}")
            print(f"  peak resident memory while updating: {max(update_rss) / 1024:.1f} MiB "
                  f"(file {mib:.0f} MiB + {max(update_rss) / 1024 - mib:.1f} MiB)")


if __name__ == "__main__":
    main()
