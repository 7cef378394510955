// The recording OpenGL table.
#include "recording_gl.h"

#include <algorithm>
#include <cstring>

Gl_Recorder g_recorder;

namespace {

void record(const char *name, std::vector<s64> args, std::vector<f32> floats = {}) {
    g_recorder.calls.push_back({name, std::move(args), std::move(floats)});
}

s32 lookup(const std::map<std::string, s32> &table, const char *name) {
    auto found = table.find(name);
    return found == table.end() ? -1 : found->second;
}

void write_info_log(GLsizei size, GLsizei *length, GLchar *out) {
    size_t n = std::min(g_recorder.info_log.size(), (size_t)(size > 0 ? size - 1 : 0));
    if (size > 0) {
        memcpy(out, g_recorder.info_log.data(), n);
        out[n] = 0;
    }
    if (length) *length = (GLsizei)n;
}

}  // namespace

void PrintTo(const Gl_Call &call, std::ostream *out) {
    *out << call.name << "(";
    for (size_t i = 0; i < call.args.size(); i++) *out << (i ? ", " : "") << call.args[i];
    for (size_t i = 0; i < call.floats.size(); i++) *out << (i || !call.args.empty() ? ", " : "") << call.floats[i] << "f";
    *out << ")";
}

std::vector<Gl_Call> Gl_Recorder::take() {
    std::vector<Gl_Call> result;
    result.swap(calls);
    return result;
}

std::vector<std::string> Gl_Recorder::names() const {
    std::vector<std::string> result;
    for (const Gl_Call &call : calls) result.push_back(call.name);
    return result;
}

s64 Gl_Recorder::count(const std::string &name) const {
    return std::count_if(calls.begin(), calls.end(), [&](const Gl_Call &c) { return c.name == name; });
}

GL_Procedures make_recording_table() {
    GL_Procedures t = {};
    for (const GL_Entry &entry : gl_entries) {
        if (entry.kind == GL_Entry_Kind::STATIC_FUNCTION || entry.kind == GL_Entry_Kind::FUNCTION_SLOT) {
            memset((u8 *)&t + entry.offset, 0, sizeof(void *));
        }
    }
    t.gl_version_major = 3;
    t.gl_version_minor = 3;

    // --- statically bound ---
    t.glBindTexture = [](GLenum target, GLuint texture) { record("glBindTexture", {target, texture}); };
    t.glBlendFunc = [](GLenum s, GLenum d) { record("glBlendFunc", {s, d}); };
    t.glClear = [](GLbitfield mask) { record("glClear", {mask}); };
    t.glClearColor = [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) { record("glClearColor", {}, {r, g, b, a}); };
    t.glDisable = [](GLenum cap) { record("glDisable", {cap}); };
    t.glDrawArrays = [](GLenum mode, GLint first, GLsizei count) { record("glDrawArrays", {mode, first, count}); };
    t.glDrawBuffer = [](GLenum buf) { record("glDrawBuffer", {buf}); };
    t.glEnable = [](GLenum cap) { record("glEnable", {cap}); };
    t.glFlush = []() { record("glFlush", {}); };
    t.glGenTextures = [](GLsizei n, GLuint *names) {
        record("glGenTextures", {n});
        for (GLsizei i = 0; i < n; i++) names[i] = g_recorder.next_name++;
    };
    t.glGetIntegerv = [](GLenum pname, GLint *data) {
        record("glGetIntegerv", {pname});
        auto found = g_recorder.integers.find(pname);
        if (found != g_recorder.integers.end()) *data = found->second;
    };
    t.glGetString = [](GLenum name) -> const GLubyte * {
        record("glGetString", {name});
        auto found = g_recorder.strings.find(name);
        return found == g_recorder.strings.end() ? nullptr : (const GLubyte *)found->second;
    };
    t.glPixelStorei = [](GLenum pname, GLint param) { record("glPixelStorei", {pname, param}); };
    t.glTexImage2D = [](GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                        GLenum format, GLenum type, const void *pixels) {
        record("glTexImage2D", {target, level, internal, w, h, border, format, type, (s64)(intptr_t)pixels});
    };
    t.glTexParameterf = [](GLenum target, GLenum pname, GLfloat param) {
        record("glTexParameterf", {target, pname}, {param});
    };
    t.glTexParameteri = [](GLenum target, GLenum pname, GLint param) {
        record("glTexParameteri", {target, pname, param});
    };
    t.glViewport = [](GLint x, GLint y, GLsizei w, GLsizei h) { record("glViewport", {x, y, w, h}); };

    // --- slots ---
    t.glActiveTexture = [](GLenum unit) { record("glActiveTexture", {unit}); };
    t.glAttachShader = [](GLuint program, GLuint shader) { record("glAttachShader", {program, shader}); };
    t.glBindBuffer = [](GLenum target, GLuint buffer) { record("glBindBuffer", {target, buffer}); };
    t.glBindFramebuffer = [](GLenum target, GLuint fb) { record("glBindFramebuffer", {target, fb}); };
    t.glBindVertexArray = [](GLuint array) { record("glBindVertexArray", {array}); };
    t.glBufferData = [](GLenum target, GLsizeiptr size, const void *data, GLenum usage) {
        record("glBufferData", {target, (s64)size, usage});
        g_recorder.buffer_data_bytes_copied = data ? (s64)size : 0;
    };
    t.glCompileShader = [](GLuint shader) { record("glCompileShader", {shader}); };
    t.glCreateProgram = []() -> GLuint {
        record("glCreateProgram", {});
        return g_recorder.next_name++;
    };
    t.glCreateShader = [](GLenum type) -> GLuint {
        record("glCreateShader", {type});
        return g_recorder.next_name++;
    };
    t.glDebugMessageCallback = [](GLDEBUGPROC, const void *) { record("glDebugMessageCallback", {}); };
    t.glDebugMessageCallbackARB = [](GLDEBUGPROCARB, const void *) { record("glDebugMessageCallbackARB", {}); };
    t.glDeleteShader = [](GLuint shader) { record("glDeleteShader", {shader}); };
    t.glEnableVertexAttribArray = [](GLuint index) { record("glEnableVertexAttribArray", {index}); };
    t.glGenBuffers = [](GLsizei n, GLuint *names) {
        record("glGenBuffers", {n});
        for (GLsizei i = 0; i < n; i++) names[i] = g_recorder.next_name++;
    };
    t.glGenVertexArrays = [](GLsizei n, GLuint *names) {
        record("glGenVertexArrays", {n});
        for (GLsizei i = 0; i < n; i++) names[i] = g_recorder.next_name++;
    };
    t.glGetAttribLocation = [](GLuint program, const GLchar *name) -> GLint {
        record("glGetAttribLocation", {program});
        return lookup(g_recorder.attribute_locations, name);
    };
    t.glGetUniformLocation = [](GLuint program, const GLchar *name) -> GLint {
        record("glGetUniformLocation", {program});
        return lookup(g_recorder.uniform_locations, name);
    };
    t.glGetProgramInfoLog = [](GLuint program, GLsizei size, GLsizei *length, GLchar *log) {
        record("glGetProgramInfoLog", {program, size});
        write_info_log(size, length, log);
    };
    t.glGetShaderInfoLog = [](GLuint shader, GLsizei size, GLsizei *length, GLchar *log) {
        record("glGetShaderInfoLog", {shader, size});
        write_info_log(size, length, log);
    };
    t.glGetProgramiv = [](GLuint program, GLenum pname, GLint *value) {
        record("glGetProgramiv", {program, pname});
        *value = g_recorder.link_status;
    };
    t.glGetShaderiv = [](GLuint shader, GLenum pname, GLint *value) {
        record("glGetShaderiv", {shader, pname});
        *value = g_recorder.compile_status;
    };
    t.glGetStringi = [](GLenum name, GLuint index) -> const GLubyte * {
        record("glGetStringi", {name, index});
        if (index >= g_recorder.extensions.size()) return nullptr;
        return (const GLubyte *)g_recorder.extensions[index].c_str();
    };
    t.glLinkProgram = [](GLuint program) { record("glLinkProgram", {program}); };
    t.glShaderSource = [](GLuint shader, GLsizei count, const GLchar *const *strings, const GLint *lengths) {
        std::vector<s64> args = {shader, count};
        for (GLsizei i = 0; i < count; i++) args.push_back(lengths ? lengths[i] : -1);
        record("glShaderSource", args);
    };
    t.glUniform1i = [](GLint location, GLint value) { record("glUniform1i", {location, value}); };
    t.glUniformMatrix4fv = [](GLint location, GLsizei count, GLboolean transpose, const GLfloat *value) {
        record("glUniformMatrix4fv", {location, count, transpose}, std::vector<f32>(value, value + 16 * count));
    };
    t.glUseProgram = [](GLuint program) { record("glUseProgram", {program}); };
    t.glVertexAttribPointer = [](GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                 const void *pointer) {
        record("glVertexAttribPointer", {index, size, type, normalized, stride, (s64)(intptr_t)pointer});
    };
    return t;
}
