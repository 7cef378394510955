// One progress frame drawn through the recording OpenGL table: the segments that reach the
// vertex buffer, the font size chosen from the window, nothing at all once the run is over.
#include <gtest/gtest.h>

#include "embedded_files.h"
#include "font.h"
#include "render_fixture.h"
#include "test_counters.h"
#include "updater_window.h"

namespace {

// The segments' lower-left corners, taken from the vertex data the frame uploads.
std::vector<Vector2> g_segment_corners;

void capture_segment_corners(GLenum target, GLsizeiptr size, const void *data, GLenum usage) {
    (void)target;
    (void)usage;
    if (!data) return;
    const Immediate_Vertex *vertices = (const Immediate_Vertex *)data;
    s64 count = (s64)size / (s64)sizeof(Immediate_Vertex);
    for (s64 i = 0; i + 5 < count; i += 6) {
        const Vector4 &c = vertices[i].color_scale;
        bool segment = c.x == PROGRESS_SEGMENT_COLOR.x && c.y == PROGRESS_SEGMENT_COLOR.y && c.z == PROGRESS_SEGMENT_COLOR.z;
        if (segment) g_segment_corners.push_back({vertices[i].position[0], vertices[i].position[1]});
    }
}

String embedded_font() {
    Embedded_Files files = embedded_files();
    return String((const char *)files.block + files.table[Font].offset, files.table[Font].count);
}

class Progress_Frame : public Recording_Test {
protected:
    void SetUp() override {
        Recording_Test::SetUp();
        bring_up(WINDOW, 400, 50);
        gl.glBufferData = capture_segment_corners;
        g_segment_corners.clear();
        updater_done = false;
        window = {};
        window.counters = test_counters();
        window.window = WINDOW;
        window.width = 400;
        window.height = 50;
        window.size = {400, 50};
    }
    void TearDown() override {
        updater_done = false;
        download_bytes_total = 0;
        download_bytes_received = 0;
        Recording_Test::TearDown();
    }

    const Window_Type WINDOW = fake_window(7);
    UpdaterWindow window;
};

}  // namespace

TEST_F(Progress_Frame, SegmentsFollowTheCounters) {
    struct Case {
        s64 received, total;
        s32 segments;
    };
    const Case cases[] = {
        {123, 0, 0}, {500, 1000, 10}, {1000, 1000, 20}, {49, 1000, 0}, {50, 1000, 1},
        {300ll << 20, 1, 20},  // an absurd ratio still draws at most a full bar
    };
    for (const Case &c : cases) {
        g_segment_corners.clear();
        download_bytes_received = c.received;
        download_bytes_total = c.total;
        EXPECT_TRUE(update_and_render_one_frame(&window));
        ASSERT_EQ((s32)g_segment_corners.size(), c.segments) << c.received << " of " << c.total;
        for (s32 i = 0; i < c.segments; i++) {
            EXPECT_FLOAT_EQ(g_segment_corners[i].x, (f32)i / 19.0f * 400.0f);
            EXPECT_EQ(g_segment_corners[i].y, 0.0f);
        }
    }
    EXPECT_EQ(g_fake_os.swaps, (s32)std::size(cases));
}

TEST_F(Progress_Frame, HalfTheTotalEndsAtNineNineteenths) {
    download_bytes_received = 500;
    download_bytes_total = 1000;
    update_and_render_one_frame(&window);
    ASSERT_EQ(g_segment_corners.size(), 10u);
    EXPECT_FLOAT_EQ(g_segment_corners.back().x, 9.0f / 19.0f * 400.0f);
}

TEST_F(Progress_Frame, NothingOnceTheRunIsOver) {
    download_bytes_received = 500;
    download_bytes_total = 1000;
    updater_done = true;
    EXPECT_FALSE(update_and_render_one_frame(&window));
    EXPECT_TRUE(g_recorder.calls.empty());
    EXPECT_EQ(g_fake_os.swaps, 0);
}

TEST_F(Progress_Frame, FontFollowsTheWindowHeight) {
    window.font_data = embedded_font();
    window.font_loaded = true;
    update_fonts(&window);
    ASSERT_NE(window.font, nullptr);
    EXPECT_EQ(window.font->character_height, 25);

    window.height = 81;
    update_fonts(&window);
    EXPECT_EQ(window.font->character_height, 40);

    // Without the font's bytes there is no font, and the frame still draws its bar.
    UpdaterWindow without = window;
    without.font = nullptr;
    without.font_loaded = false;
    update_fonts(&without);
    EXPECT_EQ(without.font, nullptr);
    download_bytes_total = 10;
    download_bytes_received = 10;
    EXPECT_TRUE(update_and_render_one_frame(&without));
    EXPECT_EQ(g_segment_corners.size(), 20u);
}

TEST_F(Progress_Frame, TextIsDrawnTwiceWithTheFont) {
    window.font_data = embedded_font();
    window.font_loaded = true;
    update_fonts(&window);
    download_bytes_received = 1572864;
    download_bytes_total = 3 << 20;
    g_recorder.take();
    EXPECT_TRUE(update_and_render_one_frame(&window));
    // Bar, shadow and text: the text shader's draws come after the segments' one.
    EXPECT_GE(g_recorder.count("glDrawArrays"), 2);
    EXPECT_EQ(g_fake_os.swaps, 1);
}

TEST(Progress_Text, MebibytesWithTrimmedDecimals) {
    EXPECT_EQ(progress_text(0), String("0mb"));
    EXPECT_EQ(progress_text(1572864), String("1.5mb"));
    EXPECT_EQ(progress_text(2 << 20), String("2mb"));
    EXPECT_EQ(progress_text(13107200 + 52429), String("12.55mb"));
}

TEST(Progress_Text, CentredAQuarterFontBelowTheMiddle) {
    Progress_Text_Position at = progress_text_position({400, 50}, 89, 25);
    EXPECT_EQ(at.x, 155);  // (400 - 89) / 2 = 155.5
    EXPECT_EQ(at.y, 18);   // 25 - 6.25 = 18.75
    EXPECT_EQ(progress_text_position({400, 81}, 100, 40).y, 30);
}
