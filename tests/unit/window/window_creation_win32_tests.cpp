// Win32 specifics of window creation: the class, the two styles and the outer size.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "window_creation.h"

namespace {

bool have_display() {
    const char *display = getenv("DISPLAY");
    return display && *display;
}

s64 test_window_procedure(Window_Type window, u32 message, u64 w_param, s64 l_param) {
    return DefWindowProcW(window, message, w_param, l_param);
}

// The class is registered once per process: before any test makes a window, so every
// window of these tests carries the procedure it was registered with.
class Test_Window_Class : public testing::Environment {
    void SetUp() override { init_window_class(0.03f, 0.08f, 0.01f, test_window_procedure); }
};
testing::Environment *const test_window_class = testing::AddGlobalTestEnvironment(new Test_Window_Class);

TEST(Window_Creation_Win32, ClassAndStyles) {
    if (!have_display()) GTEST_SKIP() << "no X display for Wine";
    HWND window = custom_create_window(400, 50, "Korvane Win32 test");
    ASSERT_TRUE(window);
    EXPECT_EQ(GetClassLongPtrW(window, GCL_STYLE), 0x23);
    EXPECT_EQ((void *)GetClassLongPtrW(window, GCLP_WNDPROC), (void *)test_window_procedure);
    HBRUSH background = (HBRUSH)GetClassLongPtrW(window, GCLP_HBRBACKGROUND);
    LOGBRUSH brush = {};
    ASSERT_TRUE(GetObjectW(background, sizeof(brush), &brush));
    EXPECT_EQ(brush.lbColor, background_color_value(0.03f, 0.08f, 0.01f));
    EXPECT_EQ(GetClassLongPtrW(window, GCLP_HCURSOR), (LONG_PTR)LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW));
    wchar_t class_name[64] = {};
    GetClassNameW(window, class_name, 64);
    EXPECT_STREQ(class_name, L"Default Window Class");
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Korvane Win32 test");

    LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & 0x00CF0000, 0x00CF0000);
    EXPECT_TRUE(style & WS_VISIBLE);
    RECT client = {};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 50);

    RECT work = {};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    RECT outer = {};
    GetWindowRect(window, &outer);
    Window_Position expected = window_position(400, 50, -1, -1, true, {work.left, work.top, work.right, work.bottom});
    EXPECT_EQ(outer.left, expected.x);
    EXPECT_EQ(outer.top, expected.y);

    HWND owned = custom_create_window(100, 40, "Korvane owned", 30, 40, window);
    ASSERT_TRUE(owned);
    LONG owned_style = GetWindowLongW(owned, GWL_STYLE);
    EXPECT_EQ(owned_style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(owned_style & 0x00CC0000, 0x00CC0000);
    GetWindowRect(owned, &outer);
    EXPECT_EQ(outer.left, 30);
    EXPECT_EQ(outer.top, 40);
    DestroyWindow(owned);
    DestroyWindow(window);
}

}  // namespace
