#!/usr/bin/env python3
"""Makes the lazily bound system libraries of the window, OpenGL, text and input code from
one list (src/window/gui_libraries_<platform>.txt):

  --linux-asm OUT.S   x86-64 System V entry points with the real names; each jumps through
                      a slot that its first call fills (korvane_lazy_bind binds it)
  --win64-asm OUT.S   the same for Windows x64: the entry points, and the `__imp_` slots
                      that calls declared dllimport go through
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


def entry_asm(libraries, list_name, win64):
    entries = [(index, name) for index, (_, names) in enumerate(libraries) for name in names]
    # The registers a call may carry arguments in, kept while the binder runs: System V
    # passes six in general registers, eight in vector registers and the vector count of a
    # variadic call in %al; Windows x64 four of each (and shadow space for the callee).
    general = ["%rcx", "%rdx", "%r8", "%r9"] if win64 else ["%rdi", "%rsi", "%rdx", "%rcx", "%r8", "%r9", "%rax", "%r10"]
    vectors = 4 if win64 else 8
    shadow = 32 if win64 else 0
    frame = 16 * vectors + shadow  # a multiple of 16: the call below is aligned
    first_argument = "%ecx" if win64 else "%edi"
    out = [f"// Made by tools/lazy_gen/lazy_gen.py from {list_name}; remade by the build.",
           "// Every entry point jumps through its slot. A slot starts at its own binder, which",
           "// saves the argument registers, asks korvane_lazy_bind for the real address (it",
           "// fills the slot) and jumps on with the call's arguments as they came.",
           "    .text"]
    for slot, (_, name) in enumerate(entries):
        out += [f"    .globl {name}"]
        out += [f"    .def {name}; .scl 2; .type 32; .endef"] if win64 else [f"    .type {name}, @function"]
        out += [f"{name}:",
                f"    jmp *korvane_lazy_slots+{8 * slot}(%rip)"]
        out += [] if win64 else [f"    .size {name}, .-{name}"]
        out += [f".Lbind_{slot}:",
                f"    movl ${slot}, %r11d",
                "    jmp .Lbind_common"]
    out += [".Lbind_common:",
            "    pushq %rbp",
            "    movq %rsp, %rbp"]
    out += [f"    pushq {r}" for r in general]
    out += [f"    subq ${frame}, %rsp"]
    out += [f"    movdqu %xmm{i}, {shadow + 16 * i}(%rsp)" for i in range(vectors)]
    out += [f"    movl %r11d, {first_argument}",
            "    call korvane_lazy_bind" + ("" if win64 else "@PLT"),
            "    movq %rax, %r11"]
    out += [f"    movdqu {shadow + 16 * i}(%rsp), %xmm{i}" for i in range(vectors)]
    out += [f"    addq ${frame}, %rsp"]
    out += [f"    popq {r}" for r in reversed(general)]
    out += ["    popq %rbp",
            "    jmp *%r11",
            "",
            "    .data",
            "    .balign 8",
            "    .globl korvane_lazy_slots",
            "korvane_lazy_slots:"]
    for slot, (_, name) in enumerate(entries):
        if win64:
            # What a call declared dllimport reads its target from.
            out += [f"    .globl __imp_{name}", f"__imp_{name}:"]
        out += [f"    .quad .Lbind_{slot}"]
    out += ["", "    .bss" if win64 else "    .section .bss",
            "    .balign 8",
            "    .globl korvane_lazy_targets",
            "korvane_lazy_targets:",
            f"    .zero {8 * max(len(entries), 1)}",
            "",
            '    .section .rdata,"dr"' if win64 else "    .section .rodata",
            "    .globl korvane_lazy_slot_count",
            "    .balign 8",
            "korvane_lazy_slot_count:",
            f"    .quad {len(entries)}",
            "    .globl korvane_lazy_slot_library",
            "korvane_lazy_slot_library:"]
    out += [f"    .byte {index}" for index, _ in entries]
    # Tables of addresses are relocated at load time in a position-independent program.
    out += ['    .section .rdata,"dr"' if win64 else '    .section .data.rel.ro,"aw"',
            "    .balign 8",
            "    .globl korvane_lazy_slot_names",
            "korvane_lazy_slot_names:"]
    out += [f"    .quad .Lname_{slot}" for slot in range(len(entries))]
    out += [f".Lname_{slot}: .asciz \"{name}\"" for slot, (_, name) in enumerate(entries)]
    out += [""] if win64 else ["", '    .section .note.GNU-stack,"",@progbits', ""]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("list")
    parser.add_argument("--linux-asm")
    parser.add_argument("--win64-asm")
    parser.add_argument("--names-cpp")
    args = parser.parse_args()
    libraries = read_list(args.list)
    if len(libraries) > 255:
        sys.exit("at most 255 libraries")
    if args.linux_asm:
        Path(args.linux_asm).write_text(entry_asm(libraries, Path(args.list).name, win64=False))
    if args.win64_asm:
        Path(args.win64_asm).write_text(entry_asm(libraries, Path(args.list).name, win64=True))
    if args.names_cpp:
        text = [f"// Made by tools/lazy_gen/lazy_gen.py from {Path(args.list).name}; remade by the build.",
                '#include "gui_libraries.h"', "",
                "const char *const gui_library_names[] = {",
                *[f'    "{library}",' for library, _ in libraries], "};",
                f"const s64 gui_library_count = {len(libraries)};", ""]
        Path(args.names_cpp).write_text("\n".join(text))


if __name__ == "__main__":
    main()
