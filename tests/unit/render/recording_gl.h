// A GL_Procedures whose entries record their calls instead of drawing, with answers
// (attribute and uniform locations, compile results, version, extensions) set by the test.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "gl/gl_procedures.h"

struct Gl_Call {
    std::string name;
    std::vector<s64> args;
    std::vector<f32> floats;  // glClearColor's colour, glUniformMatrix4fv's matrix

    bool operator==(const Gl_Call &other) const = default;
};
void PrintTo(const Gl_Call &call, std::ostream *out);

struct Gl_Recorder {
    std::vector<Gl_Call> calls;

    std::map<std::string, s32> attribute_locations;  // missing names: -1
    std::map<std::string, s32> uniform_locations;    // missing names: -1
    s32 compile_status = 1;
    s32 link_status = 1;
    std::string info_log;
    std::map<GLenum, GLint> integers;  // glGetIntegerv
    std::map<GLenum, const char *> strings;  // glGetString
    std::vector<std::string> extensions;     // glGetStringi(GL_EXTENSIONS, i)
    u32 next_name = 1;
    s64 buffer_data_bytes_copied = 0;  // what the last glBufferData handed over

    std::vector<Gl_Call> take();  // the calls so far, and forgets them
    std::vector<std::string> names() const;
    s64 count(const std::string &name) const;
};
extern Gl_Recorder g_recorder;

// Every entry this program calls records into g_recorder; all other entries are null.
// Version 3.3 with no extensions.
GL_Procedures make_recording_table();
