"""End-to-end harness: the real korvane.exe in a fresh folder, natively and under Wine,
against real HTTP servers on 127.0.0.1.

The update site's URL is fixed when korvane.exe is built, so the end-to-end builds
(build/e2e-linux, build/e2e-windows) are configured with KORVANE_UPDATE_URL pointing at
E2E_PORT, and every test starts its own server on that port (tests run one at a time).

Environment: KORVANE_E2E_PORT (default 18731), KORVANE_E2E_BUILD_ROOT (the folder holding
e2e-linux and e2e-windows, default build/), KORVANE_E2E_REQUIRE=1 to fail instead of skip
when a build is missing (scripts/test.sh sets it). The build root also receives
e2e-running.txt, the record of the running test (see "how the run ended" below).
"""
import contextlib
import email.utils
import faulthandler
import gzip
import http.server
import os
import shutil
import signal
import socket
import struct
import subprocess
import threading
import time
from pathlib import Path

import pytest

# The X calls of this process go through x11, under its error trap.
from x11 import close_window  # noqa: F401 (re-exported for the tests)

ROOT = Path(__file__).resolve().parents[2]
E2E_PORT = int(os.environ.get("KORVANE_E2E_PORT", "18731"))
E2E_URL = f"http://127.0.0.1:{E2E_PORT}"
BUILD_ROOT = Path(os.environ.get("KORVANE_E2E_BUILD_ROOT", ROOT / "build"))
BUILD_DIRS = {"linux": BUILD_ROOT / "e2e-linux", "windows": BUILD_ROOT / "e2e-windows"}
REQUIRE_BUILDS = os.environ.get("KORVANE_E2E_REQUIRE") == "1"
WINE_RUN = ROOT / "scripts" / "wine_run.sh"


def find_built(platform, name):
    for path in BUILD_DIRS[platform].rglob(name):
        if path.is_file():
            return path
    return None


class Platform:
    """Runs the programs of one build: natively, or through Wine."""

    def __init__(self, name):
        self.name = name
        self.korvane = find_built(name, "korvane.exe")
        self.client = find_built(name, "stand_in_client.exe")

    def command(self, program, *args):
        if self.name == "windows":
            return [str(WINE_RUN), str(program), *args]
        return [str(program), *args]

    def start(self, folder, program, *args, env=None):
        """Starts a program in folder (which must hold it); returns the Popen."""
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
        return subprocess.Popen(self.command(program, *args), cwd=folder, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=full_env, start_new_session=True)

    def run(self, folder, program, *args, timeout=60, env=None):
        process = self.start(folder, program, *args, env=env)
        try:
            out, err = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            kill_group(process)
            out, err = process.communicate()
            raise AssertionError(f"{program} did not end within {timeout} s\nstdout:\n{out.decode()}\nstderr:\n{err.decode()}")
        return Result(process.returncode, normalise(out), normalise(err))


class Result:
    def __init__(self, code, out, err):
        self.code, self.out, self.err = code, out, err

    def __repr__(self):
        return f"exit {self.code}\n--- stdout\n{self.out}\n--- stderr\n{self.err}"


def normalise(raw):
    # Windows programs write CRLF in text mode.
    return raw.decode("utf-8", "replace").replace("\r\n", "\n")


def kill_group(process):
    with contextlib.suppress(ProcessLookupError):
        os.killpg(process.pid, signal.SIGKILL)


@pytest.fixture(params=["linux", "windows"])
def platform(request):
    p = Platform(request.param)
    if p.korvane is None or p.client is None:
        message = f"no end-to-end build for {request.param} in {BUILD_DIRS[request.param]}"
        if REQUIRE_BUILDS:
            pytest.fail(message)
        pytest.skip(message)
    return p


@pytest.fixture
def folder(tmp_path):
    """A fresh working folder for one run."""
    work = tmp_path / "player"
    work.mkdir()
    return work


def free_port():
    """A loopback port nobody listens on right now, for a second server."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, timeout=10.0, process=None, log=None):
    """Returns once something accepts on 127.0.0.1:port; fails early when process ends."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), timeout=0.2):
            return
        if process is not None and process.poll() is not None:
            break
        time.sleep(0.02)
    said = Path(log).read_text(errors="replace") if log and Path(log).exists() else ""
    raise AssertionError(f"nothing listens on 127.0.0.1:{port}\n{said}")


# --- nginx serving a folder ---

@contextlib.contextmanager
def nginx_serving(site, port=E2E_PORT):
    """nginx on 127.0.0.1:port serving the files of site (their times become the
    Last-Modified headers); its configuration and logs are under the build folder; it is
    stopped by its process id afterwards."""
    conf_dir = BUILD_ROOT / "e2e-nginx" / str(port)
    conf_dir.mkdir(parents=True, exist_ok=True)
    conf = conf_dir / "nginx.conf"
    conf.write_text(f"""
daemon off;
# One process running as whoever runs the tests: workers as "nobody" could not read the
# test's private temporary folders when the tests run as root.
master_process off;
pid {conf_dir}/nginx.pid;
error_log {conf_dir}/error.log;
events {{ worker_connections 64; }}
http {{
    access_log {conf_dir}/access.log;
    client_body_temp_path {conf_dir};
    proxy_temp_path {conf_dir};
    fastcgi_temp_path {conf_dir};
    uwsgi_temp_path {conf_dir};
    scgi_temp_path {conf_dir};
    types {{ application/octet-stream exe data; }}
    default_type application/octet-stream;
    sendfile on;
    server {{
        listen 127.0.0.1:{port};
        root {Path(site).resolve()};
    }}
}}
""")
    with open(conf_dir / "stderr.log", "wb") as stderr:
        process = subprocess.Popen(["nginx", "-c", str(conf), "-p", str(conf_dir)],
                                   stdout=subprocess.DEVNULL, stderr=stderr)
    try:
        wait_for_port(port, process=process, log=conf_dir / "stderr.log")
        yield f"http://127.0.0.1:{port}"
    finally:
        process.terminate()
        with contextlib.suppress(subprocess.TimeoutExpired):
            process.wait(timeout=5)
        if process.poll() is None:
            process.kill()
            process.wait()


@pytest.fixture
def nginx():
    return nginx_serving


# --- a fault-injecting server ---

def sized_body(size, seed=0):
    """size bytes of a fixed pattern (different per seed), for download-size cases."""
    pattern = bytes((seed + i * 7) & 0xFF for i in range(4096))
    return (pattern * (size // len(pattern) + 1))[:size]


class Route:
    """What the fault server answers for one path.

    body: the bytes to send; status: the status code; stall: accept the request and say
    nothing until the test ends; chunk and delay: send the body chunk bytes at a time with
    delay seconds between them (a slow body, or a trickle); gzip_body: send it
    gzip-compressed with Content-Encoding: gzip; declared_length: the Content-Length to
    claim (a wrong size); the connection is closed after a body shorter than claimed, as a
    failing server would; last_modified: a Unix time for the Last-Modified header.

    Range requests ("bytes=N-") are answered with 206 and the rest of the body, unless
    ignore_range (200 and the whole body, as a server without range support) or
    range_status (e.g. 416) says otherwise. first_statuses: the first requests answer
    these statuses (with a short text body) before the route serves normally (a 503 then
    a 200). reset_after: the first reset_times answers announce the whole length, send
    this many bytes and reset the connection. close_delimited: no Content-Length; the
    body, cut to close_delimited bytes when it is a number, ends when the connection
    closes."""

    def __init__(self, body=b"", status=200, stall=False, chunk=None, delay=0.0, gzip_body=False,
                 declared_length=None, last_modified=None, ignore_range=False, range_status=None,
                 first_statuses=(), reset_after=None, reset_times=1, close_delimited=False):
        self.body, self.status, self.stall = body, status, stall
        self.chunk, self.delay, self.gzip_body = chunk, delay, gzip_body
        self.declared_length = declared_length
        self.last_modified = last_modified
        self.ignore_range, self.range_status = ignore_range, range_status
        self.first_statuses = list(first_statuses)
        self.reset_after, self.reset_times = reset_after, reset_times
        self.close_delimited = close_delimited


def parse_range(header, size):
    """The first byte of a "bytes=N-" or "bytes=N-M" header, or None."""
    if not header or not header.startswith("bytes="):
        return None
    first = header[len("bytes="):].split("-", 1)[0]
    return int(first) if first.isdigit() else None


class FaultServer:
    """HTTP/1.1 server from the standard library. routes maps "/name" to a Route; paths
    without a route answer 404. requests lists (method, path) in the order asked;
    request_headers the headers of each request, in the same order."""

    def __init__(self, port=E2E_PORT):
        self.routes = {}
        self.requests = []
        self.request_headers = []
        self.stop_event = threading.Event()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def do_HEAD(self):
                self.answer(send_body=False)

            def do_GET(self):
                self.answer(send_body=True)

            def reset(self):
                """Ends the connection with a reset instead of an orderly close."""
                with contextlib.suppress(OSError):
                    self.wfile.flush()
                    self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    # Closed at once with a zero linger: the peer gets a reset, not a FIN.
                    self.connection.close()
                self.close_connection = True

            def answer(self, send_body):
                server.requests.append((self.command, self.path))
                server.request_headers.append(dict(self.headers.items()))
                route = server.routes.get(self.path)
                if route is None:
                    self.send_response(404)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                if route.stall:
                    # Accept, then say nothing until the test ends.
                    server.stop_event.wait()
                    self.close_connection = True
                    return
                if route.first_statuses:
                    status = route.first_statuses.pop(0)
                    text = b"try again later"
                    self.send_response(status)
                    self.send_header("Content-Length", str(len(text)))
                    self.end_headers()
                    if send_body:
                        self.wfile.write(text)
                    return
                body = gzip.compress(route.body, mtime=0) if route.gzip_body else route.body
                status = route.status
                first = parse_range(self.headers.get("Range"), len(body))
                content_range = None
                if first is not None and status == 200 and not route.ignore_range:
                    if route.range_status is not None or first >= len(body):
                        status = route.range_status or 416
                        self.send_response(status)
                        self.send_header("Content-Range", f"bytes */{len(body)}")
                        self.send_header("Content-Length", "0")
                        self.end_headers()
                        return
                    content_range = f"bytes {first}-{len(body) - 1}/{len(body)}"
                    body = body[first:]
                    status = 206
                self.send_response(status)
                if route.gzip_body:
                    self.send_header("Content-Encoding", "gzip")
                if route.last_modified is not None:
                    self.send_header("Last-Modified", email.utils.formatdate(route.last_modified, usegmt=True))
                if content_range:
                    self.send_header("Content-Range", content_range)
                resetting = route.reset_after is not None and route.reset_times > 0
                if resetting:
                    route.reset_times -= 1
                if route.close_delimited:
                    if route.close_delimited is not True:
                        body = body[:route.close_delimited]
                    self.send_header("Connection", "close")
                    self.close_connection = True
                else:
                    length = route.declared_length if route.declared_length is not None else len(body)
                    self.send_header("Content-Length", str(length))
                    if length != len(body):
                        self.send_header("Connection", "close")
                        self.close_connection = True
                self.end_headers()
                if not send_body:
                    return
                if resetting:
                    body = body[:route.reset_after]
                step = route.chunk or len(body) or 1
                with contextlib.suppress(BrokenPipeError, ConnectionResetError):
                    for start in range(0, len(body), step):
                        if server.stop_event.is_set():
                            return
                        self.wfile.write(body[start:start + step])
                        self.wfile.flush()
                        if route.delay:
                            # A slow body; ends early when the test does.
                            server.stop_event.wait(route.delay)
                if resetting:
                    self.reset()

        class Server(http.server.ThreadingHTTPServer):
            daemon_threads = True
            allow_reuse_address = True

        self.httpd = Server(("127.0.0.1", port), Handler)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def ranges(self):
        """The Range header of each request (None without one)."""
        return [headers.get("Range") for headers in self.request_headers]

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop_event.set()
        self.httpd.shutdown()
        self.httpd.server_close()


@pytest.fixture
def fault_server():
    with FaultServer() as server:
        yield server


# --- the X display ---

def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True)


def find_windows(name):
    """Ids of the visible windows whose name is exactly name."""
    literal = "".join("\\" + c if c in "()[]{}.*+?|^$\\" else c for c in name)
    result = xdotool("search", "--onlyvisible", "--name", f"^{literal}$")
    return [w for w in result.stdout.split() if w]


def wait_for_window(name, timeout=30.0, process=None):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = find_windows(name)
        if found:
            return found[0]
        if process is not None and process.poll() is not None:
            return None
        time.sleep(0.05)
    return None


def press_key(window, key="Return"):
    """Focuses the window and types the key through the X server's test extension, as a
    keyboard would. NOTE: `xdotool key --window` sends synthetic events instead; when the
    press closes the window, its release is lost, and Wine then keeps the key down for
    every later window of the same wineserver (its next message boxes close at once)."""
    xdotool("windowfocus", "--sync", window, "key", key)


@pytest.fixture
def display():
    if not os.environ.get("DISPLAY"):
        pytest.skip("no X display (scripts/xvfb.sh start)")
    return os.environ["DISPLAY"]


# --- how the run ended ---
# pytest can end without its summary: a library calling exit() inside a test, a crash, a
# kill from outside. The record below names what was running then: written as each test
# starts and ends, removed when pytest comes to its own end, so a record left behind means
# the run was cut short. scripts/run_e2e.sh reads it (with the exit status or signal).

RUNNING_FILE = BUILD_ROOT / "e2e-running.txt"
terminated_traceback = None


def note_running(text):
    RUNNING_FILE.parent.mkdir(parents=True, exist_ok=True)
    # Whole or not at all: the process may be killed while writing.
    partial = RUNNING_FILE.with_name(RUNNING_FILE.name + ".partial")
    partial.write_text(text + "\n")
    os.replace(partial, RUNNING_FILE)


def pytest_configure(config):
    global terminated_traceback
    note_running("no test yet (collecting the tests)")
    # A run killed from outside (a CI time limit) leaves where every thread was. pytest
    # itself does the same for crashes. Descriptor 2 is pytest's real one here: its
    # capture is only active around the tests.
    terminated_traceback = open(os.dup(2), "w")
    faulthandler.register(signal.SIGTERM, file=terminated_traceback, all_threads=True, chain=True)


def pytest_runtest_logstart(nodeid, location):
    note_running(nodeid)


def pytest_runtest_logfinish(nodeid, location):
    note_running(f"no test (between tests; the last one to end was {nodeid})")


def pytest_unconfigure(config):
    faulthandler.unregister(signal.SIGTERM)
    if terminated_traceback is not None:
        terminated_traceback.close()
    with contextlib.suppress(FileNotFoundError):
        RUNNING_FILE.unlink()
