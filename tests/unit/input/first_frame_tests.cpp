// Real windows on the display, made for the event system: the resize records of showing
// them come back from the first frame with their client sizes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "events.h"
#include "input_os.h"
#include "window.h"
#include "window_creation.h"

namespace {

bool have_display() {
    // Wine passes the variable on to Windows programs as well.
    const char *display = getenv("DISPLAY");
    return display && *display;
}

TEST(First_Frame, ResizeRecordsOfShowingTheWindowsCarryTheirClientSizes) {
    if (!have_display()) GTEST_SKIP() << "no X display";
    // The size messages reach the event system through the class's procedure.
    init_window_class(0, 0, 0, input_handler.window_proc);
    testing::internal::CaptureStderr();
    Window_Type first = custom_create_window(400, 50, "Korvane window test");
    Window_Type second = custom_create_window(123, 77, "Korvane window test \xC3\xA9", 5, 6);
    std::string errors = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(errors, "");

    Client_Size size = input_os.get_client_size(first);
    EXPECT_EQ(size.width, 400);
    EXPECT_EQ(size.height, 50);
    size = input_os.get_client_size(second);
    EXPECT_EQ(size.width, 123);
    EXPECT_EQ(size.height, 77);

    // The size messages of showing the windows come back as records from the first frame.
    update_window_events();
    bool found_first = false;
    for (const Resize_Record &record : get_window_resizes()) {
        if (record.window != first) continue;
        found_first = true;
        EXPECT_EQ(record.width, 400);
        EXPECT_EQ(record.height, 50);
    }
    EXPECT_TRUE(found_first);
}

}  // namespace
