#!/usr/bin/env python3
"""Makes the lazily bound system libraries of the window, OpenGL, text and input code from
one list (src/window/gui_libraries_<platform>.txt):

  --linux-asm OUT.S   x86-64 entry points with the real names; each jumps through a slot
                      that the first call fills (window/gui_libraries_linux.cpp binds it)
  --def-dir DIR       one module-definition file per DLL, for `dlltool --output-delaylib`
  --names-cpp OUT.cpp the libraries' names, in the list's order (gui_library_names)

The list holds a `[library]` line before the names taken from that library; `#` starts a
comment. Run by the build (src/window/CMakeLists.txt); its output is never committed."""
import argparse
import re
import sys
from pathlib import Path

NAME = re.compile(r"[A-Za-z_][A-Za-z0-9_]*$")


def read_list(path):
    libraries = []  # [(library, [names])]
    seen = set()
    for number, raw in enumerate(Path(path).read_text().splitlines(), 1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        if line.startswith("[") and line.endswith("]"):
            libraries.append((line[1:-1].strip(), []))
            continue
        if not libraries:
            sys.exit(f"{path}:{number}: '{line}' comes before any [library] line")
        if not NAME.match(line):
            sys.exit(f"{path}:{number}: '{line}' is not a function name")
        if line in seen:
            sys.exit(f"{path}:{number}: '{line}' is listed twice")
        seen.add(line)
        libraries[-1][1].append(line)
    return libraries


def linux_asm(libraries, list_name):
    entries = [(index, name) for index, (_, names) in enumerate(libraries) for name in names]
    out = [f"// Made by tools/lazy_gen/lazy_gen.py from {list_name}; remade by the build.",
           "// Every entry point jumps through its slot. A slot starts at its own binder, which",
           "// saves the argument registers (and %al, the vector count of variadic calls), asks",
           "// korvane_lazy_bind for the real address, stores it in the slot and jumps on.",
           "    .text"]
    for slot, (_, name) in enumerate(entries):
        out += [f"    .globl {name}",
                f"    .type {name}, @function",
                f"{name}:",
                f"    jmp *korvane_lazy_slots+{8 * slot}(%rip)",
                f"    .size {name}, .-{name}",
                f".Lbind_{slot}:",
                f"    movl ${slot}, %r11d",
                "    jmp .Lbind_common"]
    out += [".Lbind_common:",
            "    pushq %rbp",
            "    movq %rsp, %rbp",
            "    pushq %rdi", "    pushq %rsi", "    pushq %rdx", "    pushq %rcx",
            "    pushq %r8", "    pushq %r9", "    pushq %rax", "    pushq %r10",
            "    subq $128, %rsp"]
    out += [f"    movdqu %xmm{i}, {16 * i}(%rsp)" for i in range(8)]
    out += ["    movl %r11d, %edi",
            "    call korvane_lazy_bind@PLT",
            "    movq %rax, %r11"]
    out += [f"    movdqu {16 * i}(%rsp), %xmm{i}" for i in range(8)]
    out += ["    addq $128, %rsp",
            "    popq %r10", "    popq %rax", "    popq %r9", "    popq %r8",
            "    popq %rcx", "    popq %rdx", "    popq %rsi", "    popq %rdi",
            "    popq %rbp",
            "    jmp *%r11",
            "",
            "    .data",
            "    .balign 8",
            "    .globl korvane_lazy_slots",
            "korvane_lazy_slots:"]
    out += [f"    .quad .Lbind_{slot}" for slot in range(len(entries))]
    out += ["",
            "    .section .rodata",
            "    .globl korvane_lazy_slot_count",
            "    .balign 8",
            "korvane_lazy_slot_count:",
            f"    .quad {len(entries)}",
            "    .globl korvane_lazy_slot_library",
            "korvane_lazy_slot_library:"]
    out += [f"    .byte {index}" for index, _ in entries]
    # Tables of addresses are relocated at load time in a position-independent program.
    out += ['    .section .data.rel.ro,"aw"',
            "    .balign 8",
            "    .globl korvane_lazy_slot_names",
            "korvane_lazy_slot_names:"]
    out += [f"    .quad .Lname_{slot}" for slot in range(len(entries))]
    out += [f".Lname_{slot}: .asciz \"{name}\"" for slot, (_, name) in enumerate(entries)]
    out += ["", '    .section .note.GNU-stack,"",@progbits', ""]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("list")
    parser.add_argument("--linux-asm")
    parser.add_argument("--def-dir")
    parser.add_argument("--names-cpp")
    args = parser.parse_args()
    libraries = read_list(args.list)
    if len(libraries) > 255:
        sys.exit("at most 255 libraries")
    if args.linux_asm:
        Path(args.linux_asm).write_text(linux_asm(libraries, Path(args.list).name))
    if args.names_cpp:
        text = [f"// Made by tools/lazy_gen/lazy_gen.py from {Path(args.list).name}; remade by the build.",
                '#include "gui_libraries.h"', "",
                "const char *const gui_library_names[] = {",
                *[f'    "{library}",' for library, _ in libraries], "};",
                f"const s64 gui_library_count = {len(libraries)};", ""]
        Path(args.names_cpp).write_text("\n".join(text))
    if args.def_dir:
        folder = Path(args.def_dir)
        folder.mkdir(parents=True, exist_ok=True)
        for library, names in libraries:
            stem = library.rsplit(".", 1)[0]
            text = [f"; Made by tools/lazy_gen/lazy_gen.py from {Path(args.list).name}; remade by the build.",
                    f"LIBRARY {library}", "EXPORTS", *names, ""]
            (folder / f"{stem}.def").write_text("\n".join(text))


if __name__ == "__main__":
    main()
