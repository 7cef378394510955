// One iteration of the GUI thread's loop against the recording OpenGL table and a scripted
// event pump: frames drawn with and without resize records, the font chosen again only when
// the size changed, a close request ending the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "embedded_files.h"
#include "font.h"
#include "input_os.h"
#include "message_vocabulary.h"
#include "render_fixture.h"
#include "test_counters.h"
#include "updater_window.h"

namespace {

// What the scripted pump delivers in the next iteration.
struct Script {
    Window_Type resized = {};
    Client_Size size;
    bool close = false;
};
Script g_script;

Input_OS scripted_input_os() {
    Input_OS os = input_os;
    os.def_window_proc = [](Window_Type, u32, Message_Word, Message_Long) -> Message_Result { return 0; };
    os.get_client_size = [](Window_Type) { return g_script.size; };
    os.async_key_down = [](u32) { return false; };
    os.init_input_system = []() {};
    os.pump_messages = []() {
        if (g_script.resized) window_proc(g_script.resized, WM_SIZE, SIZE_RESTORED, 0);
        if (g_script.close) window_proc(g_script.resized, WM_CLOSE, 0, 0);
        g_script = Script();
    };
    return os;
}

class Gui_Iteration : public Recording_Test {
protected:
    void SetUp() override {
        Recording_Test::SetUp();
        saved_input_os = input_os;
        input_os = scripted_input_os();
        g_script = Script();
        get_window_resizes();  // nothing left over from other tests
        bring_up(WINDOW, 400, 50);
        updater_done = false;
        window.counters = test_counters();
        window.window = WINDOW;
        window.width = 400;
        window.height = 50;
        window.size = {400, 50};
        Embedded_Files files = embedded_files();
        window.font_data = String((const char *)files.block + files.table[Font].offset, files.table[Font].count);
        window.font_loaded = true;
        update_fonts(&window);
    }
    void TearDown() override {
        input_os = saved_input_os;
        updater_done = false;
        Recording_Test::TearDown();
    }

    const Window_Type WINDOW = fake_window(9);
    UpdaterWindow window = {};
    Input_OS saved_input_os;
};

}  // namespace

TEST_F(Gui_Iteration, OneFrameWithoutResize) {
    EXPECT_EQ(updater_window_iteration(&window, 0), 1);
    EXPECT_EQ(g_fake_os.swaps, 1);
}

TEST_F(Gui_Iteration, AResizeRecordOfTheWindowDrawsASecondFrame) {
    Sized_Font *font = window.font;
    g_script.resized = WINDOW;
    g_script.size = {400, 50};  // the same size: the font stays
    EXPECT_EQ(updater_window_iteration(&window, 0), 2);
    EXPECT_EQ(window.font, font);

    g_script.resized = WINDOW;
    g_script.size = {400, 81};
    EXPECT_EQ(updater_window_iteration(&window, 0), 2);
    EXPECT_EQ(window.height, 81);
    EXPECT_EQ(window.size.y, 81.0f);
    // The old font is released first, so the new one may well get its address.
    ASSERT_NE(window.font, nullptr);
    EXPECT_EQ(window.font->character_height, 40);
}

TEST_F(Gui_Iteration, ACloseRequestEndsTheRunWithoutAnotherFrame) {
    g_script.resized = WINDOW;
    g_script.size = {400, 50};
    g_script.close = true;
    s32 swaps_before = g_fake_os.swaps;
    // The resize frame comes before the events are scanned; the iteration's own frame is
    // held back by the flag.
    EXPECT_EQ(updater_window_iteration(&window, 0), 1);
    EXPECT_TRUE(updater_done);
    EXPECT_EQ(g_fake_os.swaps, swaps_before + 1);
}

TEST_F(Gui_Iteration, TimeStartsAtTheFirstIteration) {
    updater_window_iteration(&window, 0);
    EXPECT_LT(window.time, 0.5);
    EXPECT_EQ(window.last_time, window.time);
    f64 first = window.time;
    updater_window_iteration(&window, 10);
    updater_window_iteration(&window, 0);
    EXPECT_GE(window.time - first, 0.01);
}

// A run that is over before the GUI thread gets going: the thread ends the process at
// once, with exit code 0, instead of making a window nobody would see while the main
// thread waits for it.
TEST(GuiThreadStart, EndsTheProcessWhenTheRunIsAlreadyOver) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            updater_done = true;
            updater_window_start(test_counters());
            fprintf(stderr, "window made after the run was over\n");
            std::_Exit(1);
        },
        testing::ExitedWithCode(0), "");
}
