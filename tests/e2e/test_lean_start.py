"""The up-to-date start (the record matches: start the game, no window) maps none of the
window's libraries: X11, Xi, GLX, OpenGL and FreeType on Linux; opengl32, gdi32, user32,
hid, winmm and shell32 on Windows. Their calls bind themselves when first made. Checked in
the built executable (what it asks the loader for) and in real runs (what the loader
mapped): none on the up-to-date path, all of them once the window starts."""
import os
import re
import shutil
import struct
import subprocess

import pytest

from conftest import nginx_serving
from test_update import client_started, player_folder, publisher, set_time

LINUX_WINDOW_LIBRARIES = re.compile(r"lib(X11|Xi|GL|GLX|OpenGL|GLdispatch|freetype)\.so")
WINDOWS_WINDOW_DLLS = {"opengl32.dll", "gdi32.dll", "user32.dll", "hid.dll", "winmm.dll", "shell32.dll"}


# --- what the executable asks for ---

def linux_needed(path):
    dynamic = subprocess.run(["readelf", "-d", str(path)], capture_output=True, text=True, check=True).stdout
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)


class Pe:
    """Just enough of a PE32+ reader for the import tables."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
        section_count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        assert struct.unpack_from("<H", data, optional)[0] == 0x20B, "not PE32+"
        self.image_size = struct.unpack_from("<I", data, optional + 56)[0]
        self.directories = optional + 112
        self.sections = []
        for i in range(section_count):
            at = optional + optional_size + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode("latin-1")
            virtual_size, address, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((name, address, max(virtual_size, raw_size), raw_size, raw_at))

    def offset(self, rva):
        for _, address, size, raw_size, raw_at in self.sections:
            if address <= rva < address + min(size, raw_size):
                return raw_at + rva - address
        return None

    def text(self, rva):
        at = self.offset(rva)
        if at is None:
            return None
        end = self.data.find(b"\0", at, at + 256)
        return self.data[at:end].decode("latin-1") if end > at else None

    def names_of_thunks(self, rva):
        names = []
        at = self.offset(rva)
        while at is not None:
            thunk = struct.unpack_from("<Q", self.data, at)[0]
            if thunk == 0:
                return names
            names.append(f"#{thunk & 0xFFFF}" if thunk >> 63 else self.text((thunk & 0x7FFFFFFF) + 2))
            at += 8
        return names

    def imports(self):
        """{dll name: [function names]} of the ordinary import table."""
        rva = struct.unpack_from("<I", self.data, self.directories + 8 * 1)[0]
        result = {}
        at = self.offset(rva)
        while True:
            lookup, _, _, name, address = struct.unpack_from("<IIIII", self.data, at)
            if name == 0:
                return result
            result[self.text(name)] = self.names_of_thunks(lookup or address)
            at += 20


def lower_keys(table):
    return {name.lower(): functions for name, functions in table.items()}


# --- a player's folder that is up to date ---

def up_to_date_site(platform, folder, tmp_path):
    site = tmp_path / "site"
    site.mkdir()
    player_folder(platform, folder, old_client=None)
    shutil.copy(platform.client, folder / "client.exe")
    set_time(folder / "client.exe", 1_700_000_000)
    shutil.copy2(folder / "korvane.exe", site / "korvane.exe")
    shutil.copy2(folder / "client.exe", site / "client.exe")
    published = subprocess.run([publisher(), site], capture_output=True, text=True)
    assert published.returncode == 0, published.stderr
    return site


def test_the_executable_asks_for_no_window_library_at_start(platform):
    if platform.name == "linux":
        needed = linux_needed(platform.korvane)
        assert "libc.so.6" in needed, needed  # the reader sees the list
        assert not [name for name in needed if LINUX_WINDOW_LIBRARIES.search(name)], needed
        return
    pe = Pe(platform.korvane.read_bytes())
    imports = lower_keys(pe.imports())
    assert "kernel32.dll" in imports, imports.keys()
    assert not WINDOWS_WINDOW_DLLS & imports.keys(), sorted(imports)


def mapped_in_run(platform, folder, tmp_path, site):
    """Runs korvane.exe once; returns its output and the file names of what the loader
    mapped into it."""
    if platform.name == "linux":
        # The loader's own record of every object it maps, dlopen included, per process.
        env = {"LD_DEBUG": "files", "LD_DEBUG_OUTPUT": str(tmp_path / "loader")}
    else:
        env = {"WINEDEBUG": "-all,+loaddll"}
    with nginx_serving(site):
        process = platform.start(folder, folder / "korvane.exe", env=env)
        out, err = process.communicate(timeout=90)
    out, err = out.decode("utf-8", "replace"), err.decode("utf-8", "replace")
    assert process.returncode == 0, err
    if platform.name == "linux":
        record = (tmp_path / f"loader.{process.pid}").read_text()
        mapped = re.findall(r"file=(\S+)\s+\[0\];\s+(?:needed|dynamically loaded)", record)
    else:
        mapped = [os.path.basename(name.replace("\\", "/")) for name in re.findall(r'Loaded L"([^"]+)"', err)]
    # The HTTP library is loaded at run time on every path: the record does see such loads.
    assert [name for name in mapped if "curl" in name.lower()], mapped
    return out, mapped


def window_libraries_in(platform, mapped):
    if platform.name == "linux":
        return {LINUX_WINDOW_LIBRARIES.search(name).group(0) for name in mapped if LINUX_WINDOW_LIBRARIES.search(name)}
    return WINDOWS_WINDOW_DLLS & {name.lower() for name in mapped}


def test_the_up_to_date_start_maps_no_window_library(platform, folder, tmp_path):
    site = up_to_date_site(platform, folder, tmp_path)
    out, mapped = mapped_in_run(platform, folder, tmp_path, site)
    assert "Starting game" in out, out
    assert client_started(folder)
    if platform.name == "linux":
        assert not window_libraries_in(platform, mapped), mapped
    else:
        # The HTTP library's own imports (crypt32) pull in user32 and gdi32; the rest are
        # the window's alone.
        assert not {"opengl32.dll", "hid.dll", "winmm.dll", "shell32.dll"} & window_libraries_in(platform, mapped), mapped


def test_the_window_maps_them_when_it_starts(platform, folder, tmp_path, display):
    site = up_to_date_site(platform, folder, tmp_path)
    set_time(folder / "client.exe", 1_600_000_000)  # older than the site's: an update
    out, mapped = mapped_in_run(platform, folder, tmp_path, site)
    assert "Downloaded client" in out, out
    expected = ({"libX11.so", "libXi.so", "libGLX.so", "libOpenGL.so", "libfreetype.so"}
                if platform.name == "linux" else {"opengl32.dll", "gdi32.dll", "user32.dll", "winmm.dll"})
    assert expected <= window_libraries_in(platform, mapped), mapped
