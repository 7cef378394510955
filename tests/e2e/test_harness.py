"""The harness itself: the stand-in client runs and records its start on both platforms,
and the two test servers answer as the scenarios will rely on."""
import gzip
import http.client
import os
import shutil

import pytest

from conftest import FaultServer, Route, free_port, nginx_serving, sized_body


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
