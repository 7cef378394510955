// Real windows on the display: the exact client area of windows made with and without a
// position, and what the size query says of a window that does not exist.
#include <gtest/gtest.h>

#include <cstdlib>

#include "window.h"
#include "window_creation.h"

namespace {

bool have_display() {
    // Wine passes the variable on to Windows programs as well.
    const char *display = getenv("DISPLAY");
    return display && *display;
}

TEST(Window, ClientAreaHasTheRequestedSize) {
    if (!have_display()) GTEST_SKIP() << "no X display";
    const struct {
        s64 width, height, x, y;
        const char *title;
    } cases[] = {
        {400, 50, -1, -1, "Korvane window test"},
        {123, 77, 5, 6, "Korvane window test \xC3\xA9"},
        {200, 300, 20, 30, "Korvane window test 200 x 300"},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        Window_Type window = custom_create_window(c.width, c.height, c.title, c.x, c.y);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.title;
        ASSERT_TRUE(window) << c.title;
        window_pump_events(nullptr);
        Client_Size size = window_client_size(window);
        EXPECT_EQ(size.width, c.width) << c.title;
        EXPECT_EQ(size.height, c.height) << c.title;
    }
}

TEST(Window, NoWindowHasNoSize) {
    Client_Size size = window_client_size(Window_Type{});
    EXPECT_EQ(size.width, 0);
    EXPECT_EQ(size.height, 0);
}

}  // namespace
