// Loading the OpenGL table (versions, flags, extensions), debug output, and the
// platform-neutral half of context creation.
#include <map>

#include "render_fixture.h"

namespace {

TEST(GlParseVersion, NamesOfVersionFlags) {
    struct Case {
        const char *name;
        s32 major, minor;
    } cases[] = {
        {"GL_VERSION_1_0", 1, 0}, {"GL_VERSION_3_3", 3, 3}, {"GL_VERSION_4_6", 4, 6},
        {"GL_VERSION_10_12", 10, 12}, {"GL_VERSION_4", 0, 0}, {"GL_VERSION_4_x", 0, 0},
        {"GL_ARB_debug_output", 0, 0}, {"", 0, 0},
    };
    for (const Case &c : cases) {
        GL_Version v = gl_parse_version(c.name);
        EXPECT_EQ(v.major, c.major) << c.name;
        EXPECT_EQ(v.minor, c.minor) << c.name;
    }
}

TEST(GlEntries, DescribeTheTableInDeclarationOrder) {
    s64 slots = 0, statics = 0, flags = 0;
    size_t last_offset = 0;
    for (const GL_Entry &entry : gl_entries) {
        EXPECT_GE(entry.offset, last_offset) << entry.name;
        last_offset = entry.offset;
        if (entry.kind == GL_Entry_Kind::FUNCTION_SLOT) slots++;
        if (entry.kind == GL_Entry_Kind::STATIC_FUNCTION) statics++;
        if (entry.kind == GL_Entry_Kind::FLAG) flags++;
    }
    EXPECT_EQ(slots, GL_FUNCTION_SLOT_COUNT);
    EXPECT_EQ(statics, 65);
    EXPECT_EQ(flags, 19 + 31);
    EXPECT_STREQ(gl_entries[0].name, "gl_version_major");
    // The slots come before the extension flags, so glGetStringi is there when they are tested.
    EXPECT_LT(offsetof(GL_Procedures, glGetStringi), offsetof(GL_Procedures, GL_ARB_clip_control));
    EXPECT_LT(offsetof(GL_Procedures, glDrawRangeElements), offsetof(GL_Procedures, glPolygonOffsetClamp));
    EXPECT_LT(offsetof(GL_Procedures, glPolygonOffsetClamp), offsetof(GL_Procedures, glDebugMessageControlARB));
}

using GlLoad = Recording_Test;

void *resolve_marker(const char *name) { return strcmp(name, "glClipControl") == 0 ? (void *)&resolve_marker : nullptr; }

TEST_F(GlLoad, VersionFlagsFollowTheContextVersion) {
    struct Case {
        s32 major, minor;
        const char *last_true;  // every flag after it is false
    } cases[] = {{3, 3, "GL_VERSION_3_3"}, {4, 3, "GL_VERSION_4_3"}};
    for (const Case &c : cases) {
        g_recorder.integers[GL_MAJOR_VERSION] = c.major;
        g_recorder.integers[GL_MINOR_VERSION] = c.minor;
        gl_load(&gl, resolve_marker);
        EXPECT_EQ(gl.gl_version_major, c.major);
        bool expected = true;
        for (const GL_Entry &entry : gl_entries) {
            if (entry.kind != GL_Entry_Kind::FLAG || strncmp(entry.name, "GL_VERSION_", 11) != 0) continue;
            EXPECT_EQ(*(bool *)((u8 *)&gl + entry.offset), expected) << entry.name << " with " << c.major << "." << c.minor;
            if (strcmp(entry.name, c.last_true) == 0) expected = false;
        }
        // Found addresses fill their slot; missing ones leave it as it was.
        EXPECT_EQ((void *)gl.glClipControl, (void *)&resolve_marker);
        EXPECT_NE(gl.glBindBuffer, nullptr);
    }
}

TEST_F(GlLoad, DebugOutputPicksTheCallbackByVersionAndExtension) {
    struct Case {
        s32 major, minor;
        std::vector<std::string> extensions;
        const char *installer;  // null: none installed
    } cases[] = {
        {4, 3, {}, "glDebugMessageCallback"},
        {3, 3, {"GL_ARB_debug_output"}, "glDebugMessageCallbackARB"},
        {3, 3, {"GL_ARB_debug_output_x"}, nullptr},
    };
    for (const Case &c : cases) {
        g_recorder.integers[GL_MAJOR_VERSION] = c.major;
        g_recorder.integers[GL_MINOR_VERSION] = c.minor;
        g_recorder.extensions = c.extensions;
        g_recorder.integers[GL_NUM_EXTENSIONS] = (GLint)c.extensions.size();
        gl_load(&gl, resolve_marker);
        g_recorder.take();
        gl_enable_debug_output(true);
        if (c.installer) {
            EXPECT_EQ(g_recorder.take(), (std::vector<Gl_Call>{{"glEnable", {0x8242}}, {c.installer, {}}}));
        } else {
            EXPECT_TRUE(g_recorder.take().empty());
        }
    }
}

TEST_F(GlLoad, ExtensionsMatchExactlyOnNewContextsAndAsSubstringOnOld) {
    g_recorder.extensions = {"GL_ARB_debug_output_extended", "GL_KHR_debug"};
    g_recorder.integers[GL_NUM_EXTENSIONS] = 2;
    gl.GL_VERSION_3_0 = true;
    EXPECT_FALSE(gl_supports_extension("GL_ARB_debug_output"));
    EXPECT_TRUE(gl_supports_extension("GL_KHR_debug"));
    EXPECT_FALSE(gl_supports_extension("GL_KHR"));

    gl.GL_VERSION_3_0 = false;
    g_recorder.strings[GL_EXTENSIONS] = "GL_ARB_debug_output_extended GL_S3_s3tc";
    EXPECT_TRUE(gl_supports_extension("GL_ARB_debug_output"));
    EXPECT_TRUE(gl_supports_extension("GL_S3_s3tc"));
    EXPECT_FALSE(gl_supports_extension("GL_KHR_debug"));
}

TEST_F(GlLoad, OldContextsGiveTheirVersionAsText) {
    g_recorder.integers.clear();
    g_recorder.strings[GL_VERSION] = "2.1.2 NVIDIA 340.108";
    GL_Version v = gl_get_version();
    EXPECT_EQ(v.major, 2);
    EXPECT_EQ(v.minor, 1);

    // No text either: nothing is loaded, no flag set, no slot touched.
    g_recorder.strings.clear();
    GL_Procedures before = gl;
    gl_load(&gl, resolve_marker);
    EXPECT_EQ(gl.gl_version_major, 0);
    EXPECT_EQ(gl.gl_version_minor, 0);
    EXPECT_EQ(memcmp(&before.GL_VERSION_1_0, &gl.GL_VERSION_1_0, sizeof(bool) * 19), 0);
    EXPECT_EQ(gl.glClipControl, nullptr);
    EXPECT_FALSE(renderer_available());
}

TEST_F(GlLoad, EntriesOfUnknownKindsAreReportedAndSkipped) {
    const GL_Entry entries[] = {
        {GL_Entry_Kind::FLAG, "EGL_KHR_surfaceless", offsetof(GL_Procedures, GL_ARB_clip_control)},
        {(GL_Entry_Kind)9, "glMystery", offsetof(GL_Procedures, glClipControl)},
        {GL_Entry_Kind::FLAG, "GL_KHR_debug", offsetof(GL_Procedures, GL_KHR_debug)},
    };
    g_recorder.extensions = {"GL_KHR_debug"};
    g_recorder.integers[GL_NUM_EXTENSIONS] = 1;
    gl.GL_VERSION_3_0 = true;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    gl_load_entries(&gl, entries, 3, resolve_marker);
    std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Unexpected variable 'EGL_KHR_surfaceless' in GL struct.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Unexpected variable 'glMystery' in GL struct. (The type was: 9)."), std::string::npos) << out;
    EXPECT_FALSE(gl.GL_ARB_clip_control);
    EXPECT_EQ(gl.glClipControl, nullptr);
    EXPECT_TRUE(gl.GL_KHR_debug);  // the walk goes on
}

// --- debug messages ---

TEST(GlDebugCallback, LogsWhatMattersWithReadableNames) {
    const void *ours = &g_gl_debug.gl_debug_break_on_error;
    struct Case {
        GLenum source, type, severity;
        const char *expected;  // standard output
    } cases[] = {
        {0x8246, 0x824C, 0x9146, "OGL: type = error; source = API; id = 7; severity = high\nOGL: message = it broke\n"},
        {0x8248, 0x8250, 0x826B,
         "OGL: type = performance; source = shader compiler; id = 7; severity = unknown\nOGL: message = it broke\n"},
        {0x824B, 0x824D, 0x9148,
         "OGL: type = deprecated behavior; source = other; id = 7; severity = low\nOGL: message = it broke\n"},
        {0x824A, 0x824C, 0x9146, ""},  // the application's own messages
        {0x8246, 0x8251, 0x9146, ""},  // type "other"
        {0x8246, 0x824E, 0x9146, ""},  // undefined behaviour
    };
    g_gl_debug.gl_debug_break_on_error = false;
    for (const Case &c : cases) {
        testing::internal::CaptureStdout();
        gl_debug_callback(c.source, c.type, 7, c.severity, -1, "it broke", ours);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.expected);
    }
}

TEST(GlDebugCallback, NameTables) {
    EXPECT_STREQ(gl_debug_severity_name(0x9147), "medium");
    EXPECT_STREQ(gl_debug_severity_name(0x826B), "unknown");  // notification
    EXPECT_STREQ(gl_debug_source_name(0x8247), "window system");
    EXPECT_STREQ(gl_debug_source_name(0x8249), "third party");
    EXPECT_STREQ(gl_debug_source_name(0x824A), "application");
    EXPECT_STREQ(gl_debug_source_name(1), "unknown");
    EXPECT_STREQ(gl_debug_type_name(0x824E), "undefined behavior");
    EXPECT_STREQ(gl_debug_type_name(0x824F), "portability");
    EXPECT_STREQ(gl_debug_type_name(0x8251), "other");
    EXPECT_STREQ(gl_debug_type_name(2), "unknown");
}

TEST(GlDebugCallback, ErrorsDoNotStopAProcessWithoutDebugger) {
    ASSERT_FALSE(gl_debugger_attached());
    g_gl_debug.gl_debug_break_on_error = true;
    testing::internal::CaptureStdout();
    gl_debug_callback(0x824A, 0x824C, 1, 0x9146, -1, "from us", &g_gl_debug.gl_debug_break_on_error);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    g_gl_debug.gl_debug_break_on_error = false;
}

TEST(GlDebugCallback, ForeignUserParameterIsReported) {
    int other = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    gl_debug_callback(0x8246, 0x824C, 1, 0x9146, -1, "x", &other);
    std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("user parameter"), std::string::npos) << out;
    EXPECT_EQ(out.find("OGL:"), std::string::npos);
}

// --- context creation, platform-neutral half ---

struct Fake_Chooser {
    std::vector<s32> asked;
    s32 succeed_at = -1;  // sample count at which the call succeeds
    s32 format_found = 5;  // -1: the successful call matched nothing
};

bool fake_choose(void *data, s32 samples, s32 *format) {
    Fake_Chooser *chooser = (Fake_Chooser *)data;
    chooser->asked.push_back(samples);
    if (samples != chooser->succeed_at) return false;
    if (chooser->format_found != -1) *format = chooser->format_found;
    return true;
}

TEST(PixelFormatSearch, HalvesTheSampleCountUntilACallSucceeds) {
    struct Case {
        s32 samples, succeed_at, format_found;
        std::vector<s32> asked;
        s32 result;
    } cases[] = {
        {8, -1, 5, {8, 4, 2, 1, 0}, -1},
        {6, -1, 5, {6, 3, 1, 0}, -1},
        {0, -1, 5, {0}, -1},
        {8, 2, 5, {8, 4, 2}, 5},
        {8, 8, -1, {8}, -1},  // succeeded without a match: no smaller count is tried
    };
    for (const Case &c : cases) {
        Fake_Chooser chooser;
        chooser.succeed_at = c.succeed_at;
        chooser.format_found = c.format_found;
        EXPECT_EQ(choose_pixel_format_with_fallback(fake_choose, &chooser, c.samples), c.result);
        EXPECT_EQ(chooser.asked, c.asked) << "from " << c.samples;
    }
}

TEST(ContextAttributes, ListsForTheRendererAndOtherRequests) {
    EXPECT_EQ(context_attributes(3, 3, false, false), (std::vector<s32>{0x2091, 3, 0x2092, 3, 0x9126, 1, 0, 0}));
    EXPECT_EQ(context_attributes(4, 6, true, true),
              (std::vector<s32>{0x2091, 4, 0x2092, 6, 0x9126, 2, 0x2094, 1, 0, 0}));
    EXPECT_EQ(context_attributes(0, 0, false, false), (std::vector<s32>{0x9126, 1, 0, 0}));
}

TEST(ContextAttributes, PixelFormatListAsksForSamplesOnlyWhenWanted) {
    // What the list must ask of a pixel format, whatever the order of its pairs.
    struct Wanted {
        s32 attribute, value;
        const char *what;
    };
    const Wanted always[] = {
        {0x2001, 1, "WGL_DRAW_TO_WINDOW_ARB"},   {0x2003, 0x2027, "WGL_ACCELERATION_ARB: full"},
        {0x2010, 1, "WGL_SUPPORT_OPENGL_ARB"},   {0x2011, 1, "WGL_DOUBLE_BUFFER_ARB"},
        {0x2013, 0x202B, "WGL_PIXEL_TYPE_ARB: RGBA"}, {0x2014, 24, "WGL_COLOR_BITS_ARB"},
        {0x201B, 0, "WGL_ALPHA_BITS_ARB"},       {0x2022, 24, "WGL_DEPTH_BITS_ARB"},
        {0x2023, 0, "WGL_STENCIL_BITS_ARB"},     {0x201D, 0, "WGL_ACCUM_BITS_ARB"},
        {0x2024, 0, "WGL_AUX_BUFFERS_ARB"},      {0x20A9, 1, "WGL_FRAMEBUFFER_SRGB_CAPABLE_ARB"},
    };
    constexpr s32 SAMPLE_BUFFERS = 0x2041, SAMPLES = 0x2042;
    for (s32 samples : {0, 4, 8}) {
        std::vector<s32> list = wgl_pixel_format_attributes(samples);
        // Pairs ended by one 0, 0 pair; no attribute twice.
        ASSERT_GE(list.size(), 2u);
        ASSERT_EQ(list.size() % 2, 0u);
        EXPECT_EQ(list[list.size() - 2], 0);
        EXPECT_EQ(list[list.size() - 1], 0);
        std::map<s32, s32> pairs;
        for (size_t i = 0; i + 2 < list.size(); i += 2) {
            EXPECT_NE(list[i], 0) << "a pair before the end is 0 at " << i;
            EXPECT_TRUE(pairs.emplace(list[i], list[i + 1]).second) << "attribute 0x" << std::hex << list[i] << " twice";
        }
        for (const Wanted &w : always) {
            auto found = pairs.find(w.attribute);
            ASSERT_NE(found, pairs.end()) << w.what;
            EXPECT_EQ(found->second, w.value) << w.what << " with " << samples << " samples";
        }
        ASSERT_TRUE(pairs.count(SAMPLE_BUFFERS) && pairs.count(SAMPLES)) << samples;
        EXPECT_EQ(pairs[SAMPLE_BUFFERS], samples != 0 ? 1 : 0) << samples;
        EXPECT_EQ(pairs[SAMPLES], samples);
        // Nothing asked beyond those.
        EXPECT_EQ(pairs.size(), std::size(always) + 2) << samples;
    }
}

}  // namespace
