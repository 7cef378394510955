#!/usr/bin/python3
"""Writes the entry list of the OpenGL function table (GL_Procedures) and the constants.

The order of the OpenGL 1.2 to 4.6 function slots is the order of the core-profile API
header (glcorearb.h); every prototype comes from the XML registry (gl.xml, wgl.xml). The
constants are the registry's enums of OpenGL 1.0 to 4.6 and of the extensions the table
knows, with their registry values.

    /usr/bin/python3 tools/gl_gen/gl_gen.py \\
        --core-header /usr/include/GL/glcorearb.h \\
        --registry /usr/share/khronos-api \\
        --output src/render/gl/gl_procedures_generated.h \\
        --constants-output src/render/gl/gl_constants_generated.h

The header comes from Debian's libgl-dev, the registry from its khronos-api package.
"""

import argparse
import re
import sys
import xml.etree.ElementTree as ET

VERSION_FLAGS = [
    "1_0", "1_1", "1_2", "1_3", "1_4", "1_5", "2_0", "2_1", "3_0", "3_1", "3_2", "3_3",
    "4_0", "4_1", "4_2", "4_3", "4_4", "4_5", "4_6",
]

# The OpenGL 1.0/1.1 entry points the platform library exports by name.
STATIC_FUNCTIONS = """
glBegin glEnd glColor4f glVertex2f glCullFace glFrontFace glHint glLineWidth glPointSize
glPolygonMode glScissor glTexParameterf glTexParameterfv glTexParameteri glTexParameteriv
glTexImage1D glTexImage2D glDrawBuffer glClear glClearColor glClearStencil glClearDepth
glStencilMask glColorMask glDepthMask glDisable glEnable glFinish glFlush glBlendFunc
glLogicOp glStencilFunc glStencilOp glDepthFunc glPixelStoref glPixelStorei glReadBuffer
glReadPixels glGetBooleanv glGetDoublev glGetError glGetFloatv glGetIntegerv glGetString
glGetTexImage glGetTexParameterfv glGetTexParameteriv glGetTexLevelParameterfv
glGetTexLevelParameteriv glIsEnabled glDepthRange glViewport glDrawArrays glDrawElements
glPolygonOffset glCopyTexImage1D glCopyTexImage2D glCopyTexSubImage1D glCopyTexSubImage2D
glTexSubImage1D glTexSubImage2D glBindTexture glDeleteTextures glGenTextures glIsTexture
""".split()

# Function slots after the core ones, in this order.
EXTENSION_FUNCTIONS = """
glDebugMessageControlARB glDebugMessageInsertARB glDebugMessageCallbackARB
glGetDebugMessageLogARB glLabelObjectEXT glGetObjectLabelEXT glInsertEventMarkerEXT
glPushGroupMarkerEXT glPopGroupMarkerEXT glGetPointerv glDebugMessageControlKHR
glDebugMessageInsertKHR glDebugMessageCallbackKHR glGetDebugMessageLogKHR
glPushDebugGroupKHR glPopDebugGroupKHR glObjectLabelKHR glGetObjectLabelKHR
glObjectPtrLabelKHR glGetObjectPtrLabelKHR glGetPointervKHR glDepthRangedNV
glClearDepthdNV glDepthBoundsdNV wglCreateContextAttribsARB wglGetPixelFormatAttribivARB
wglGetPixelFormatAttribfvARB wglChoosePixelFormatARB wglGetExtensionsStringEXT
wglSwapIntervalEXT wglGetSwapIntervalEXT
""".split()

EXTENSION_FLAGS = """
GL_ARB_clip_control GL_ARB_debug_output GL_ARB_direct_state_access
GL_ARB_parallel_shader_compile GL_ARB_sampler_objects GL_ARB_seamless_cube_map
GL_ARB_shader_viewport_layer_array GL_ARB_texture_storage GL_ARB_vertex_attrib_binding
GL_AMD_vertex_shader_viewport_index GL_EXT_debug_label GL_EXT_debug_marker
GL_EXT_texture_compression_latc GL_EXT_texture_compression_rgtc
GL_EXT_texture_compression_s3tc GL_EXT_texture_filter_anisotropic GL_EXT_texture_sRGB
GL_KHR_debug GL_NV_depth_buffer_float GL_S3_s3tc WGL_ARB_create_context
WGL_ARB_create_context_no_error WGL_ARB_create_context_profile
WGL_ARB_create_context_robustness WGL_ARB_framebuffer_sRGB WGL_ARB_multisample
WGL_ARB_pixel_format WGL_ARB_pixel_format_float WGL_EXT_extensions_string
WGL_EXT_swap_control WGL_EXT_swap_control_tear
""".split()

# The window-system types of the WGL prototypes, as the table stores them on every platform.
WGL_TYPES = {"HDC": "void *", "HGLRC": "void *", "BOOL": "int", "UINT": "unsigned int", "FLOAT": "float"}


def core_entry_points(header_path):
    """Names of the OpenGL 1.2 to 4.6 prototypes, in the header's order."""
    names = []
    inside = False
    with open(header_path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#ifndef GL_VERSION_1_2"):
                inside = True
            if inside:
                m = re.match(r"GLAPI .*\bAPIENTRY (\w+) \(", line)
                if m:
                    names.append(m.group(1))
            if line.startswith("#endif /* GL_VERSION_4_6 */"):
                break
    return names


def text_of(element, type_map):
    """A proto or param element as C text, with window-system types replaced."""
    parts = [element.text or ""]
    for child in element:
        inner = child.text or ""
        if child.tag == "ptype":
            inner = type_map.get(inner, inner)
        parts.append(inner)
        parts.append(child.tail or "")
    return " ".join("".join(parts).split())


def read_commands(path, type_map):
    commands = {}
    for command in ET.parse(path).getroot().find("commands"):
        proto = command.find("proto")
        name = proto.find("name").text
        result = text_of(proto, type_map)
        result = result[: result.rfind(name)].strip()
        params = [text_of(p, type_map) for p in command.findall("param")]
        commands[name] = (result, ", ".join(params) if params else "void")
    return commands


def read_constants(path, extension_names):
    """The enums of the OpenGL versions and of the named extensions, as (name, value)
    pairs in registry order."""
    root = ET.parse(path).getroot()
    values = {}
    for group in root.findall("enums"):
        for enum in group.findall("enum"):
            if enum.get("api") not in (None, "gl"):
                continue
            values.setdefault(enum.get("name"), enum.get("value"))
    wanted = []
    for feature in root.findall("feature"):
        if feature.get("api") == "gl":
            for require in feature.findall("require"):
                wanted += [enum.get("name") for enum in require.findall("enum")]
    for extension in root.find("extensions"):
        if extension.get("name") in extension_names:
            for require in extension.findall("require"):
                wanted += [enum.get("name") for enum in require.findall("enum")]
    seen = set()
    constants = []
    for name in wanted:
        if name in seen:
            continue
        seen.add(name)
        if name not in values:
            sys.exit(f"gl_gen: the enum {name} has no value in the registry")
        constants.append((name, values[name]))
    return constants


def constant_type(value):
    number = int(value, 0)
    if number < 0:
        return "s32"
    return "u64" if number > 0xFFFFFFFF else "u32"


def write_constants(path, constants, command):
    out = ["// Generated by tools/gl_gen/gl_gen.py; do not edit. Remake with:",
           f"//   {command}",
           f"// {len(constants)} OpenGL constants with their registry values (OpenGL 1.0 to 4.6 and the",
           "// extensions of the function table). Included by gl_procedures.h only: a file that",
           "// includes the system's OpenGL headers gets their macros of the same names instead.",
           "#pragma once",
           ""]
    for name, value in constants:
        out.append(f"constexpr {constant_type(value)} {name} = {value};")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--core-header", required=True)
    parser.add_argument("--registry", required=True, help="folder holding gl.xml and wgl.xml")
    parser.add_argument("--output", required=True)
    parser.add_argument("--constants-output", required=True)
    args = parser.parse_args()
    command = ("/usr/bin/python3 tools/gl_gen/gl_gen.py --core-header /usr/include/GL/glcorearb.h"
               " --registry /usr/share/khronos-api --output src/render/gl/gl_procedures_generated.h"
               " --constants-output src/render/gl/gl_constants_generated.h")

    commands = read_commands(args.registry + "/gl.xml", {})
    commands.update(read_commands(args.registry + "/wgl.xml", WGL_TYPES))
    core = core_entry_points(args.core_header)
    slots = core + EXTENSION_FUNCTIONS
    for name in STATIC_FUNCTIONS + slots:
        if name not in commands:
            sys.exit(f"gl_gen: {name} is not in the registry")
    if len(set(slots)) != len(slots) or set(slots) & set(STATIC_FUNCTIONS):
        sys.exit("gl_gen: an entry point is listed twice")

    out = []
    w = out.append
    w("// Generated by tools/gl_gen/gl_gen.py; do not edit. Remake with:")
    w(f"//   {command}")
    w(f"// {len(core)} core function slots (OpenGL 1.2 to 4.6), {len(EXTENSION_FUNCTIONS)} extension slots,")
    w(f"// {len(slots)} in all; {len(STATIC_FUNCTIONS)} statically bound entry points.")
    w("// Included by gl_procedures.h only, after the OpenGL types and GL_Entry.")
    w("#pragma once")
    w("")
    w("// The statically bound entry points, as the platform's OpenGL library exports them.")
    w('extern "C" {')
    for name in STATIC_FUNCTIONS:
        result, params = commands[name]
        w(f"{result} KORVANE_GLAPI {name}({params});")
    w("}")
    w("")
    w("struct GL_Procedures {")
    w("    s32 gl_version_major;")
    w("    s32 gl_version_minor;")
    w("")
    for v in VERSION_FLAGS:
        w(f"    bool GL_VERSION_{v};")
    w("")
    w("    // Statically bound: filled at start-up from the platform library, skipped by gl_load.")
    for name in STATIC_FUNCTIONS:
        result, params = commands[name]
        w(f"    {result} (KORVANE_GLAPI *{name})({params}) = ::{name};")
    w("")
    w("    // Function slots, null until gl_load finds them.")
    for name in slots:
        result, params = commands[name]
        w(f"    {result} (KORVANE_GLAPI *{name})({params}) = nullptr;")
    w("")
    for flag in EXTENSION_FLAGS:
        w(f"    bool {flag};")
    w("};")
    w("")
    w(f"constexpr s64 GL_FUNCTION_SLOT_COUNT = {len(slots)};")
    w(f"constexpr s64 GL_STATIC_FUNCTION_COUNT = {len(STATIC_FUNCTIONS)};")
    w("")
    w("// Every entry of GL_Procedures, in declaration order.")
    w("inline constexpr GL_Entry gl_entries[] = {")
    w('    {GL_Entry_Kind::VERSION_NUMBER, "gl_version_major", offsetof(GL_Procedures, gl_version_major)},')
    w('    {GL_Entry_Kind::VERSION_NUMBER, "gl_version_minor", offsetof(GL_Procedures, gl_version_minor)},')
    for v in VERSION_FLAGS:
        w(f'    {{GL_Entry_Kind::FLAG, "GL_VERSION_{v}", offsetof(GL_Procedures, GL_VERSION_{v})}},')
    for name in STATIC_FUNCTIONS:
        w(f'    {{GL_Entry_Kind::STATIC_FUNCTION, "{name}", offsetof(GL_Procedures, {name})}},')
    for name in slots:
        w(f'    {{GL_Entry_Kind::FUNCTION_SLOT, "{name}", offsetof(GL_Procedures, {name})}},')
    for flag in EXTENSION_FLAGS:
        w(f'    {{GL_Entry_Kind::FLAG, "{flag}", offsetof(GL_Procedures, {flag})}},')
    w("};")
    with open(args.output, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
    print(f"gl_gen: {len(slots)} function slots ({len(core)} core) written to {args.output}")
    gl_extensions = {flag for flag in EXTENSION_FLAGS if flag.startswith("GL_")}
    constants = read_constants(args.registry + "/gl.xml", gl_extensions)
    write_constants(args.constants_output, constants, command)
    print(f"gl_gen: {len(constants)} constants written to {args.constants_output}")


if __name__ == "__main__":
    main()
