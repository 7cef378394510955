"""The harness itself: the stand-in client runs and records its start on both platforms,
the two test servers answer as the scenarios will rely on, closing a window never ends
the test process, and a run that ends without pytest's summary says which test was
running."""
import ctypes
import gzip
import http.client
import json
import os
import shutil
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import x11
from conftest import ROOT, FaultServer, Route, free_port, nginx_serving, sized_body


def test_stand_in_client_records_its_start(platform, folder):
    client = folder / "client.exe"
    shutil.copy(platform.client, client)

    first = platform.run(folder, client, "--first", "two words")
    second = platform.run(folder, client)

    assert first.code == 0, first
    assert second.code == 0, second
    assert "stand-in client started" in first.out
    lines = (folder / "client_started.txt").read_text().splitlines()
    assert len(lines) == 2
    assert lines[0].endswith("with 2 argument(s): [--first] [two words]")
    assert lines[1].endswith("with 0 argument(s):")
    # The folder as the program saw it: a Linux path natively, a drive path under Wine.
    assert folder.name in lines[0]


def get(port, path, method="GET"):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    try:
        connection.request(method, path)
        response = connection.getresponse()
        try:
            body = response.read()
        except http.client.IncompleteRead as short:
            body = short.partial
        return response, body
    finally:
        connection.close()


def test_nginx_serves_a_folder_with_file_times(tmp_path):
    site = tmp_path / "site"
    site.mkdir()
    (site / "version.data").write_bytes(sized_body(56))
    os.utime(site / "version.data", (1700000000, 1700000000))
    port = free_port()

    with nginx_serving(site, port):
        found, body = get(port, "/version.data")
        missing, _ = get(port, "/client.exe")

    assert found.status == 200
    assert body == sized_body(56)
    assert found.getheader("Last-Modified") == "Tue, 14 Nov 2023 22:13:20 GMT"
    assert missing.status == 404


@pytest.mark.parametrize("route, status, received, headers", [
    (Route(body=b"abc", status=503), 503, b"abc", {}),
    (Route(body=sized_body(100000), chunk=4096, delay=0.001), 200, sized_body(100000), {}),
    (Route(body=sized_body(10), declared_length=20), 200, sized_body(10), {"Content-Length": "20"}),
    (Route(body=b"x" * 1000, gzip_body=True), 200, b"x" * 1000, {"Content-Encoding": "gzip"}),
    (Route(body=b"", last_modified=1700000000), 200, b"", {"Last-Modified": "Tue, 14 Nov 2023 22:13:20 GMT"}),
], ids=["status", "slow body", "short body", "gzip", "last modified"])
def test_fault_server_answers(route, status, received, headers):
    port = free_port()
    with FaultServer(port) as server:
        server.routes["/file"] = route
        response, body = get(port, "/file")
        missing, _ = get(port, "/other")

    assert response.status == status
    if response.getheader("Content-Encoding") == "gzip":
        assert len(body) < len(received)
        body = gzip.decompress(body)
    assert body == received
    for name, value in headers.items():
        assert response.getheader(name) == value
    assert missing.status == 404
    assert server.requests == [("GET", "/file"), ("GET", "/other")]


# --- X errors never end the test process ---
# The scenarios run in a child interpreter: if an X error did end the process, it ends the
# child (and this test fails with Xlib's message), not the pytest run.

def make_window(connection):
    lib = connection.lib
    with connection.checked("making a window"):
        return lib.XCreateSimpleWindow(connection.display, lib.XDefaultRootWindow(connection.display),
                                       0, 0, 10, 10, 0, 0, 0)


def x_scenario(name):
    """What the child does for one case; its findings as a dict."""
    with x11.connect() as owner:
        lib = owner.lib
        window = make_window(owner)
        if name == "destroyed by its program":
            lib.XDestroyWindow(owner.display, window)
            lib.XSync(owner.display, 0)
        elif name == "its program's connection gone":
            # As when the process that showed a box ends: the server drops all it owned.
            other = x11.connect()
            window = make_window(other)
            with owner.checked("killing the other client"):
                lib.XKillClient(owner.display, window)
            # Closing a killed connection is an I/O error for Xlib; this process ends soon.
            other.display = None
        elif name == "error trap nested in another handler":
            return nested_trap(owner, window)

        result = {"delivered": x11.close_window(str(window))}
        # close_window synced its own connection, so a delivered message is queued for
        # the owner by the time the owner's next round trip returns.
        lib.XSync(owner.display, 0)
        event = x11.XEvent()
        result["received"] = bool(lib.XCheckTypedWindowEvent(owner.display, window, x11.CLIENT_MESSAGE,
                                                             ctypes.byref(event)))
        if result["received"]:
            result["asks"] = [event.client.data[0] == owner.atom("WM_DELETE_WINDOW"),
                              event.client.message_type == owner.atom("WM_PROTOCOLS")]
        return result


def nested_trap(connection, window):
    """A handler of the program's own, then a trap inside it: the trap takes the errors
    made inside it, and the program's handler gets the later ones back."""
    lib = connection.lib
    lib.XDestroyWindow(connection.display, window)
    seen_outside = []
    outer = x11.ERROR_HANDLER(lambda display, event: seen_outside.append(event.contents.error_code) or 0)
    lib.XSetErrorHandler(ctypes.cast(outer, ctypes.c_void_p))
    with connection.trap() as trap:
        lib.XMapWindow(connection.display, window)
    inside = [(e.code, e.request_name, e.resource == window) for e in trap.errors]
    lib.XMapWindow(connection.display, window)
    lib.XSync(connection.display, 0)
    try:
        with connection.checked("mapping a destroyed window"):
            lib.XMapWindow(connection.display, window)
        checked = None
    except AssertionError as error:
        checked = str(error)
    lib.XSetErrorHandler(None)
    return {"inside": inside, "outside": seen_outside, "checked": checked}


@pytest.mark.parametrize("case, expected", [
    ("destroyed by its program", {"delivered": False, "received": False}),
    ("its program's connection gone", {"delivered": False, "received": False}),
    ("still there", {"delivered": True, "received": True, "asks": [True, True]}),
    ("error trap nested in another handler",
     {"inside": [[x11.BAD_WINDOW, "X_MapWindow", True]], "outside": [x11.BAD_WINDOW], "checked":
      "X error while mapping a destroyed window: [BadWindow (invalid Window parameter) from X_MapWindow on 0x{window}]"}),
])
def test_closing_a_window_never_ends_the_process(display, case, expected):
    child = subprocess.run(
        [sys.executable, "-c", "import json, sys, test_harness; print(json.dumps(test_harness.x_scenario(sys.argv[1])))",
         case], cwd=Path(__file__).parent, capture_output=True, text=True, timeout=60)
    assert child.returncode == 0, child.stderr
    assert "X Error" not in child.stderr
    found = json.loads(child.stdout.splitlines()[-1])
    if found.get("checked"):
        # The window id is the child's; the words around it are what matters.
        prefix, _, rest = found["checked"].rpartition(" on 0x")
        found["checked"] = prefix + " on 0x{window}]"
        assert rest.rstrip("]")
    assert found == expected


# --- a run cut short names the running test ---

@pytest.mark.parametrize("second, status, said", [
    ("pass", 0, ["pytest ended: every test passed"]),
    ("assert False", 1, ["pytest ended: some tests failed"]),
    # What Xlib's default error handler does.
    ("os._exit(1)", 1, ["pytest was cut short, exit status 1, without its summary",
                        "running then: test_ending.py::test_second"]),
    # Cut short is a failure even when the status says otherwise.
    ("os._exit(0)", 1, ["pytest was cut short, exit status 0", "running then: test_ending.py::test_second"]),
    ("os.kill(os.getpid(), signal.SIGKILL)", 128 + 9,
     ["cut short, killed by signal SIGKILL (exit status 137)", "running then: test_ending.py::test_second"]),
    # A time limit from outside: where the test was waiting is printed as well.
    ("os.kill(os.getpid(), signal.SIGTERM)", 128 + 15,
     ["cut short, killed by signal SIGTERM (exit status 143)", "running then: test_ending.py::test_second",
      "in test_second"]),
    ("ctypes.string_at(0)", 128 + 11,
     ["cut short, killed by signal SIGSEGV (exit status 139)", "running then: test_ending.py::test_second",
      "in test_second"]),
], ids=["passes", "fails", "exit inside a test", "exit 0 inside a test", "killed", "terminated", "crashed"])
def test_run_cut_short_names_the_running_test(tmp_path, second, status, said):
    tests = tmp_path / "tests"
    tests.mkdir()
    (tests / "test_ending.py").write_text(textwrap.dedent(f"""\
        import ctypes, os, signal

        def test_first():
            pass

        def test_second():
            {second}
        """))
    build_root = tmp_path / "build"
    # The harness's plugin by name, as the real run has it through conftest.py.
    env = dict(os.environ, KORVANE_E2E_BUILD_ROOT=str(build_root),
               PYTHONPATH=os.pathsep.join([str(Path(__file__).parent), os.environ.get("PYTHONPATH", "")]))
    run = subprocess.run([str(ROOT / "scripts" / "run_e2e.sh"), "-p", "conftest", f"--rootdir={tests}",
                          str(tests / "test_ending.py")], env=env, capture_output=True, text=True, timeout=120)
    output = run.stdout + run.stderr
    assert run.returncode == status, output
    for words in said:
        assert words in output, output
    if "cut short" not in said[0]:
        assert not (build_root / "e2e-running.txt").exists()
        assert (build_root / "e2e-results.xml").exists()
