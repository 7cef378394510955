// Filling the OpenGL function table from the current context: version, version flags,
// entry points and extension flags; and the driver's debug messages into our log.
#include <charconv>
#include <cstring>

#include "assertions.h"
#include "gl_context.h"
#include "gl_procedures.h"
#include "log.h"

GL_Procedures gl;
GL_Debug_State g_gl_debug;

namespace {

bool starts_with(String s, String prefix) {
    return s.count >= prefix.count && memcmp(s.data, prefix.data, (size_t)prefix.count) == 0;
}

// Reads a decimal number at *at; false when there is none.
bool read_number(const char *&at, const char *end, s32 *value) {
    std::from_chars_result r = std::from_chars(at, end, *value);
    if (r.ec != std::errc() || r.ptr == at) return false;
    at = r.ptr;
    return true;
}

}  // namespace

const char *enum_member_name(GL_Entry_Kind value) {
    switch (value) {
    case GL_Entry_Kind::VERSION_NUMBER: return "VERSION_NUMBER";
    case GL_Entry_Kind::FLAG: return "FLAG";
    case GL_Entry_Kind::STATIC_FUNCTION: return "STATIC_FUNCTION";
    case GL_Entry_Kind::FUNCTION_SLOT: return "FUNCTION_SLOT";
    }
    return "unknown";
}

// --- version ---

GL_Version gl_parse_version(String name) {
    GL_Version version;
    const String prefix = "GL_VERSION_";
    if (!starts_with(name, prefix)) return version;
    const char *at = name.data + prefix.count;
    const char *end = name.data + name.count;
    GL_Version parsed;
    if (!read_number(at, end, &parsed.major)) return version;
    if (at == end || *at != '_') return version;
    at++;
    if (!read_number(at, end, &parsed.minor) || at != end) return version;
    return parsed;
}

GL_Version gl_get_version() {
    GLint major = 0, minor = 0;
    gl.glGetIntegerv(GL_MAJOR_VERSION, &major);
    gl.glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major == 0) {
        // A context older than 3.0 knows no GL_MAJOR_VERSION: read "major.minor..." instead.
        const char *text = (const char *)gl.glGetString(GL_VERSION);
        if (text) {
            const char *at = text;
            const char *end = text + strlen(text);
            s32 a = 0, b = 0;
            if (read_number(at, end, &a) && at < end && *at == '.') {
                at++;
                if (read_number(at, end, &b)) {
                    major = a;
                    minor = b;
                }
            }
        }
    }
    return {major, minor};
}

// --- extensions ---

bool gl_supports_extension(String name) {
    if (gl.GL_VERSION_3_0) {
        GLint count = 0;
        gl.glGetIntegerv(GL_NUM_EXTENSIONS, &count);
        if (!gl.glGetStringi) return false;
        for (GLint i = 0; i < count; i++) {
            const char *extension = (const char *)gl.glGetStringi(GL_EXTENSIONS, (GLuint)i);
            if (extension && String(extension) == name) return true;
        }
        return false;
    }
    const char *all = (const char *)gl.glGetString(GL_EXTENSIONS);
    if (!all) return false;
    return std::string_view(all).find(name.view()) != std::string_view::npos;
}

// --- loading ---

void gl_load_entries(GL_Procedures *table, const GL_Entry *entries, s64 entry_count, GL_Resolver resolver) {
    // NOTE: gl_get_version and gl_supports_extension call through the process-wide table,
    // so the table filled is gl in practice (tests install their fake table as gl).
    GL_Version version = gl_get_version();
    table->gl_version_major = version.major;
    table->gl_version_minor = version.minor;
    if (version.major == 0) return;
    if (!resolver) resolver = gl_platform_get_proc_address;

    u8 *base = (u8 *)table;
    for (s64 i = 0; i < entry_count; i++) {
        const GL_Entry &entry = entries[i];
        String name = entry.name;
        switch (entry.kind) {
        case GL_Entry_Kind::STATIC_FUNCTION:
        case GL_Entry_Kind::VERSION_NUMBER:
            break;
        case GL_Entry_Kind::FUNCTION_SLOT: {
            void *address = resolver(entry.name);
            if (address) memcpy(base + entry.offset, &address, sizeof(address));
            break;
        }
        case GL_Entry_Kind::FLAG: {
            bool *flag = (bool *)(base + entry.offset);
            if (starts_with(name, "GL_VERSION_")) {
                GL_Version wanted = gl_parse_version(name);
                *flag = wanted.major < version.major ||
                        (wanted.major == version.major && version.minor >= wanted.minor);
            } else if (starts_with(name, "GL_") || starts_with(name, "WGL_") || starts_with(name, "GLX_")) {
                *flag = gl_supports_extension(name);
            } else {
                assert_debug(false, "Unexpected variable '%' in GL struct.", name);
            }
            break;
        }
        default:
            assert_debug(false, "Unexpected variable '%' in GL struct. (The type was: %).", name, (u32)entry.kind);
            break;
        }
    }
}

void gl_load(GL_Procedures *table, GL_Resolver resolver) {
    gl_load_entries(table, gl_entries, (s64)(sizeof(gl_entries) / sizeof(gl_entries[0])), resolver);
}

// --- debug output ---

const char *gl_debug_severity_name(GLenum severity) {
    switch (severity) {
    case 0x9146: return "high";
    case 0x9147: return "medium";
    case 0x9148: return "low";
    }
    return "unknown";
}

const char *gl_debug_source_name(GLenum source) {
    switch (source) {
    case 0x8246: return "API";
    case 0x8247: return "window system";
    case 0x8248: return "shader compiler";
    case 0x8249: return "third party";
    case 0x824A: return "application";
    case 0x824B: return "other";
    }
    return "unknown";
}

const char *gl_debug_type_name(GLenum type) {
    switch (type) {
    case 0x824C: return "error";
    case 0x824D: return "deprecated behavior";
    case 0x824E: return "undefined behavior";
    case 0x824F: return "portability";
    case 0x8250: return "performance";
    case 0x8251: return "other";
    }
    return "unknown";
}

void gl_enable_debug_output(bool break_on_error) {
    g_gl_debug.gl_debug_break_on_error = break_on_error;
    const void *user = &g_gl_debug.gl_debug_break_on_error;
    if (gl.GL_VERSION_4_3 && gl.glDebugMessageCallback) {
        if (break_on_error) gl.glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        gl.glDebugMessageCallback(gl_debug_callback, user);
    } else if (gl.GL_ARB_debug_output && gl.glDebugMessageCallbackARB) {
        if (break_on_error) gl.glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        gl.glDebugMessageCallbackARB(gl_debug_callback, user);
    }
}

void KORVANE_GLAPI gl_debug_callback(GLenum source, GLenum type, GLuint id, GLenum severity, GLsizei length,
                                     const GLchar *message, const void *user_parameter) {
    // Runs on whatever thread the driver picks; it touches only g_gl_debug and the log,
    // whose writes are locked.
    if (!assert_debug(user_parameter == &g_gl_debug.gl_debug_break_on_error,
                      "gl_debug_callback got a user parameter that is not ours.")) {
        return;
    }
    bool quiet = source == GL_DEBUG_SOURCE_APPLICATION || type == GL_DEBUG_TYPE_OTHER ||
                 type == GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR;
    if (!quiet) {
        log_line("OGL: type = %; source = %; id = %; severity = %", gl_debug_type_name(type),
                 gl_debug_source_name(source), (u64)id, gl_debug_severity_name(severity));
        log_line("OGL: message = %", message ? message : "");
    }
    if (g_gl_debug.gl_debug_break_on_error && type == GL_DEBUG_TYPE_ERROR) {
        // Stops only a developer's debugger; without one the run goes on.
        if (gl_debugger_attached()) gl_debug_break();
    }
}
