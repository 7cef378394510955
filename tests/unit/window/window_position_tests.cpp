// The placement arithmetic and the class background colour of window creation.
#include <gtest/gtest.h>

#include <cmath>

#include "window_creation.h"

namespace {

struct Position_Case {
    const char *what;
    s64 width, height, window_x, window_y;
    bool have_work_area;
    Work_Area work_area;
    s64 x, y;
};

TEST(Window_Position, Table) {
    const Position_Case cases[] = {
        {"centred in a 1920 x 1040 work area", 400, 50, -1, -1, true, {0, 0, 1920, 1040}, 760, 465},
        {"odd sum truncates: 1921 / 2 = 960", 400, 50, -1, -1, true, {1, 0, 1920, 1040}, 760, 465},
        {"odd client size truncates: 401 / 2 = 200", 401, 51, -1, -1, true, {0, 0, 1920, 1040}, 760, 465},
        {"negative sums truncate toward zero", 400, 50, -1, -1, true, {-1921, -101, 0, 0}, -960 - 200, -50 - 25 - 30},
        {"work area away from the origin", 400, 50, -1, -1, true, {1920, 40, 3840, 1080}, 2680, 505},
        {"window_y is ignored when window_x is -1", 400, 50, -1, 100, true, {0, 0, 1920, 1040}, 760, 465},
        {"window_x given: both as passed, even y -1", 400, 50, 10, -1, true, {0, 0, 1920, 1040}, 10, -1},
        {"no work area: the passed values", 400, 50, -1, -1, false, {0, 0, 1920, 1040}, -1, -1},
    };
    for (const Position_Case &c : cases) {
        Window_Position position = window_position(c.width, c.height, c.window_x, c.window_y, c.have_work_area, c.work_area);
        EXPECT_EQ(position.x, c.x) << c.what;
        EXPECT_EQ(position.y, c.y) << c.what;
    }
}

TEST(Window_Background, ChannelsTruncateAndClamp) {
    EXPECT_EQ(background_color_value(0, 0, 0), 0u);
    EXPECT_EQ(background_color_value(1, 1, 1), 0xFFFFFFu);
    EXPECT_EQ(background_color_value(1, 0, 0), 0x0000FFu);
    EXPECT_EQ(background_color_value(0, 0, 1), 0xFF0000u);
    EXPECT_EQ(background_color_value(0.5f, 0.999f, 0.0039f), 127u + 254u * 256 + 0u * 65536);
    EXPECT_EQ(background_color_value(2.0f, -1.0f, NAN), 255u);
}

}  // namespace
