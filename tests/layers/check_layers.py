#!/usr/bin/env python3
"""Checks that no module of src/ includes a header of a module above it.

The order, lowest first: runtime < window < render, input < text < embedded <
progress_window < updater. Modules on one step (render and input) do not include each
other. Prints every offending include and exits 1 when there is one."""
import pathlib
import re
import sys

LEVELS = {
    "runtime": 0,
    "window": 1,
    "render": 2,
    "input": 2,
    "text": 3,
    "embedded": 4,
    "progress_window": 5,
    "updater": 6,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def module_headers(src):
    """Header base name (and path below its module, e.g. gl/gl_context.h) to module."""
    owners = {}
    for module in LEVELS:
        root = src / module
        for header in root.rglob("*.h"):
            owners[str(header.relative_to(root))] = module
    return owners


def offences(src):
    owners = module_headers(src)
    found = []
    for module, level in LEVELS.items():
        for source in sorted((src / module).rglob("*")):
            if source.suffix not in (".h", ".cpp"):
                continue
            for name in INCLUDE.findall(source.read_text(encoding="utf-8")):
                owner = owners.get(name)
                if owner is None or owner == module:
                    continue
                if LEVELS[owner] >= level:
                    found.append(f"{source.relative_to(src)} ({module}) includes {name} ({owner})")
    return found


def main():
    src = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2] / "src"
    missing = [module for module in LEVELS if not (src / module).is_dir()]
    if missing:
        print("no such module folder:", ", ".join(missing))
        return 1
    found = offences(src)
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
