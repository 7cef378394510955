#!/usr/bin/python3
"""Whole-program figures of the progress window, on Xvfb with llvmpipe:

  first frame: from the process start to the first presented frame (the window's
      background colour read back from the X server, polled every half millisecond);
  GUI thread share: CPU time of the GUI thread (and, apart, of the renderer's worker
      threads) over the wall time of an update with a 256 MiB client on loopback nginx;
  window cost: the same update with the window and without one (no display: the thread
      then runs its loop without drawing).

  bench/progress_window/bench_gui.py [--runs N] [--platform linux|windows|both]

Uses the korvane.exe builds of bench/update/bench_update.py (build/bench-<platform>,
port 18733) and its site under build/bench-update/site, making both when missing. CPU
per frame is measured by progress_window_bench (Google Benchmark)."""
import argparse
import ctypes
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
from conftest import FaultServer, Route, nginx_serving, sized_body  # noqa: E402
import x11  # noqa: E402
import bench_update  # noqa: E402

TITLE = b"Korvane (Updater)"
BACKGROUND = (8, 20, 3)  # 0.03, 0.08, 0.01 in bytes


class X:
    """The few Xlib calls needed to find the window and read one of its pixels. Callers
    hold an error trap around their use: a window that goes away between the calls is
    no reason to end the benchmark."""

    def __init__(self, connection):
        self.x = connection.lib
        self.display = connection.display

    def find(self, name):
        root = self.x.XDefaultRootWindow(self.display)
        parent, root_back = ctypes.c_ulong(), ctypes.c_ulong()
        children = ctypes.POINTER(ctypes.c_ulong)()
        count = ctypes.c_uint()
        if not self.x.XQueryTree(self.display, root, ctypes.byref(root_back), ctypes.byref(parent),
                                 ctypes.byref(children), ctypes.byref(count)):
            return None
        found = None
        for i in range(count.value):
            title = ctypes.c_char_p()
            if self.x.XFetchName(self.display, children[i], ctypes.byref(title)) and title.value:
                if title.value == name:
                    found = children[i]
                self.x.XFree(title)
        if children:
            self.x.XFree(children)
        return found

    def pixel(self, window, px, py):
        image = self.x.XGetImage(self.display, window, px, py, 1, 1, 0xFFFFFFFF, 2)
        if not image:
            return None
        value = self.x.XGetPixel(image, 0, 0)
        self.x.XDestroyImage(image)
        return ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)


def near(a, b):
    return a is not None and all(abs(p - q) <= 2 for p, q in zip(a, b))


def first_frame_ms(platform, korvane, x):
    """Milliseconds from the start of korvane.exe to its first frame on screen."""
    folder = bench_update.WORK / f"first-frame-{platform}"
    bench_update.player(folder, korvane, old_client=True)
    with FaultServer(port=bench_update.PORT) as server:
        server.routes["/version.data"] = Route(sized_body(56))  # a mismatch: the update path
        server.routes["/client.exe"] = Route(sized_body(2**20), chunk=2**14, delay=0.05)
        started = time.perf_counter()
        process = subprocess.Popen(bench_update.command(platform, folder / "korvane.exe"), cwd=folder,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            window = None
            while time.perf_counter() - started < 30:
                window = window or x.find(TITLE)
                # A point of the client area's right end, clear of the bar at this progress;
                # under Wine the X window holds the frame too, 4 pixels at the sides.
                if window and near(x.pixel(window, 395 if platform == "linux" else 399, 60 if platform == "windows" else 40), BACKGROUND):
                    return (time.perf_counter() - started) * 1000
                time.sleep(0.0005)
            raise SystemExit("no frame within 30 s")
        finally:
            os.killpg(process.pid, 9)
            process.wait()


def thread_times(pid):
    """CPU nanoseconds of each task of the process, by thread id, with the task's name."""
    times = {}
    for task in Path(f"/proc/{pid}/task").iterdir():
        try:
            name = (task / "comm").read_text().strip()
            ns = int((task / "schedstat").read_text().split()[0])
        except (OSError, ValueError):
            continue
        times[int(task.name)] = (name, ns)
    return times


def update_with_threads(platform, korvane, with_display):
    """Wall seconds of an update, and the GUI thread's share of a core over the whole run
    and from its first drawn frame on (after the context and shaders are made)."""
    folder = bench_update.WORK / f"gui-{platform}"
    bench_update.player(folder, korvane, old_client=True)
    env = dict(os.environ)
    if not with_display:
        env.pop("DISPLAY", None)
    started = time.perf_counter()
    process = subprocess.Popen(bench_update.command(platform, folder / "korvane.exe"), cwd=folder, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    samples = []  # (seconds since start, {tid: (name, ns)})
    while process.poll() is None:
        try:
            samples.append((time.perf_counter() - started, thread_times(process.pid)))
        except OSError:
            pass
        time.sleep(0.002)
    wall = time.perf_counter() - started

    # The GUI thread is the first thread the process starts (step 9.2, before any library
    # starts threads of its own); threads that come and go later are not it.
    first_seen = {}
    for _, times in samples:
        for tid, (name, _) in times.items():
            if tid != process.pid and tid not in first_seen and not name.startswith("llvmpipe"):
                first_seen[tid] = len(first_seen)
    gui_tid = min(first_seen, key=first_seen.get) if first_seen else None

    def gui_ns(times):
        return times.get(gui_tid, ("", 0))[1]

    def renderer_ns(times):
        return sum(ns for tid, (name, ns) in times.items() if name.startswith("llvmpipe"))

    last = max(samples, key=lambda sample: gui_ns(sample[1]))[1] if samples else {}
    # Steady state: from the first sample in which the renderer's workers exist, plus 50 ms.
    drawing = [s for s in samples if renderer_ns(s[1]) > 0 and gui_tid in s[1]]
    steady = None
    if drawing:
        begin = next((s for s in drawing if s[0] >= drawing[0][0] + 0.05), drawing[-1])
        end = drawing[-1]
        if end[0] > begin[0]:
            steady = (gui_ns(end[1]) - gui_ns(begin[1])) / 1e9 / (end[0] - begin[0])
    return wall, gui_ns(last) / 1e9 / wall, renderer_ns(last) / 1e9 / wall, steady


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--platform", default="both", choices=["linux", "windows", "both"])
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        raise SystemExit("needs an X display: eval \"$(scripts/xvfb.sh start)\"")
    platforms = ["linux", "windows"] if args.platform == "both" else [args.platform]
    with x11.connect() as connection, connection.trap():
        measure(args, platforms, X(connection))


def measure(args, platforms, x):
    site = bench_update.WORK / "site"
    tools = bench_update.build("linux")
    if not (site / "client.exe").exists():
        raise SystemExit("run bench/update/bench_update.py once first: it makes the 256 MiB site")
    publisher = next(tools.rglob("korvane-publish"))

    for platform in platforms:
        folder = bench_update.build(platform)
        korvane = next(folder.rglob("korvane.exe"))
        if platform == "windows":
            subprocess.run([ROOT / "scripts" / "wine_keepalive.sh", "start"], check=True, stdout=subprocess.DEVNULL)
        try:
            frames = [first_frame_ms(platform, korvane, x) for _ in range(args.runs)]
            shutil.copy2(korvane, site / "korvane.exe")
            subprocess.run([publisher, site], check=True, stdout=subprocess.DEVNULL)
            with nginx_serving(site, bench_update.PORT):
                windowed = [update_with_threads(platform, korvane, True) for _ in range(args.runs)]
                bare = [update_with_threads(platform, korvane, False) for _ in range(args.runs)] if platform == "linux" else []
        finally:
            if platform == "windows":
                subprocess.run([ROOT / "scripts" / "wine_keepalive.sh", "stop"], stdout=subprocess.DEVNULL)

        wall = statistics.median(w for w, _, _, _ in windowed)
        gui = statistics.median(g for _, g, _, _ in windowed)
        renderer = statistics.median(r for _, _, r, _ in windowed)
        steady = [st for _, _, _, st in windowed if st is not None]
        print(f"{platform}: {args.runs} runs, medians")
        print(f"  first frame after start: {statistics.median(frames):.0f} ms (min {min(frames):.0f}, max {max(frames):.0f})")
        print(f"  256 MiB update with the window: {wall:.3f} s; GUI thread {gui * 100:.1f} % of a core over the "
              f"whole run (start-up included), renderer worker threads {renderer * 100:.1f} %")
        if steady:
            print(f"  GUI thread from its first frame on: {statistics.median(steady) * 100:.1f} % of a core")
        if bare:
            bare_wall = statistics.median(w for w, _, _, _ in bare)
            print(f"  the same without a display: {bare_wall:.3f} s; the window costs {(wall / bare_wall - 1) * 100:+.1f} %")


if __name__ == "__main__":
    main()
