// The process-wide OpenGL function table `gl`: the context's version, version and
// extension flags, and the entry points, filled once by gl_load after the context is
// made current. Calls go through it explicitly: gl.glBindBuffer(...).
//
// NOTE: this header declares the OpenGL types itself and must not meet the system's
// GL/gl.h in one file: those headers define GL_VERSION_1_1 and friends as macros, which
// are field names here.
#pragma once

#include <cstddef>

#include "types.h"

#ifdef _WIN32
#define KORVANE_GLAPI __stdcall
#else
#define KORVANE_GLAPI
#endif

// --- OpenGL types ---

using GLenum = unsigned int;
using GLboolean = unsigned char;
using GLbitfield = unsigned int;
using GLvoid = void;
using GLbyte = s8;
using GLubyte = u8;
using GLshort = s16;
using GLushort = u16;
using GLint = int;
using GLuint = unsigned int;
using GLsizei = int;
using GLfloat = float;
using GLclampf = float;
using GLdouble = double;
using GLclampd = double;
using GLchar = char;
using GLhalf = u16;
using GLintptr = intptr_t;
using GLsizeiptr = intptr_t;
using GLint64 = s64;
using GLuint64 = u64;
struct GL_Sync_Object;
using GLsync = GL_Sync_Object *;
using GLDEBUGPROC = void(KORVANE_GLAPI *)(GLenum source, GLenum type, GLuint id, GLenum severity,
                                          GLsizei length, const GLchar *message, const void *userParam);
using GLDEBUGPROCARB = GLDEBUGPROC;
using GLDEBUGPROCKHR = GLDEBUGPROC;

// --- the table's description, walked by gl_load ---

enum class GL_Entry_Kind : u8 {
    VERSION_NUMBER,   // s32
    FLAG,             // bool: a GL_VERSION_x_y flag or an extension flag
    STATIC_FUNCTION,  // linked against the platform library
    FUNCTION_SLOT,    // resolved by name
};
const char *enum_member_name(GL_Entry_Kind value);

struct GL_Entry {
    GL_Entry_Kind kind;
    const char *name;
    size_t offset;  // of the field in GL_Procedures
};

#include "gl_procedures_generated.h"
#include "gl_constants_generated.h"

extern GL_Procedures gl;

// --- loading ---

// Resolves one entry point by its NUL-terminated name; null when unknown.
using GL_Resolver = void *(*)(const char *name);

// Fills the table from the current context. No resolver: the platform's own
// (wglGetProcAddress, glXGetProcAddressARB). Loads nothing when no version can be read.
void gl_load(GL_Procedures *table, GL_Resolver resolver = nullptr);
// The same walk over any description of a table; what gl_load calls with gl_entries.
void gl_load_entries(GL_Procedures *table, const GL_Entry *entries, s64 entry_count, GL_Resolver resolver);
void *gl_platform_get_proc_address(const char *name);

struct GL_Version {
    s32 major = 0;
    s32 minor = 0;
};
// The current context's version through gl; (0, 0) when none can be read.
GL_Version gl_get_version();
// "GL_VERSION_4_3" gives (4, 3); (0, 0) for any other text.
GL_Version gl_parse_version(String flag_name);
// Exact match against glGetStringi's list on 3.0+, a substring search of the one
// extension text on older contexts.
bool gl_supports_extension(String name);

// --- debug output ---

// NOTE: the log procedures are safe on any thread, so the callback needs no logger of its
// own when the driver calls it from one of its threads.
struct GL_Debug_State {
    bool gl_debug_break_on_error = false;  // its address is the callback's user parameter
};
extern GL_Debug_State g_gl_debug;

void gl_enable_debug_output(bool break_on_error);
void KORVANE_GLAPI gl_debug_callback(GLenum source, GLenum type, GLuint id, GLenum severity, GLsizei length,
                                     const GLchar *message, const void *user_parameter);
const char *gl_debug_severity_name(GLenum severity);
const char *gl_debug_source_name(GLenum source);
const char *gl_debug_type_name(GLenum type);
