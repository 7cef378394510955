// The progress frame's segment count.
#include <gtest/gtest.h>

#include "updater_window.h"

TEST(ProgressSegments, CountFollowsTheRatioAndStopsAtAFullBar) {
    struct Case {
        s64 received, total;
        s32 segments;
    } cases[] = {
        {0, 0, 0},
        {500, 0, 0},  // no total: no segments, whatever arrived
        {0, 1000, 0},
        {49, 1000, 0},  // 0.049
        {50, 1000, 1},  // 0.05
        {500, 1000, 10},
        {999, 1000, 19},
        {1000, 1000, 20},
        {1500, 1000, 20},  // more than announced
        {300ll << 20, 1, 20},  // a wrong one-byte total with hundreds of megabytes received
        {INT64_MAX, 1, 20},
        {-5, 1000, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(progress_segment_count(c.received, c.total), c.segments) << c.received << " of " << c.total;
    }
}
