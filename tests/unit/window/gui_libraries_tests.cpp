// The window's system libraries: loaded together on request, and bound call by call when
// they are reached before that.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "gui_libraries.h"

s64 gui_library_index(String name) {
    for (s64 i = 0; i < gui_library_count; i++) {
        if (String(gui_library_names[i]) == name) return i;
    }
    return -1;
}

TEST(Gui_Libraries, loading_maps_every_library_once_and_keeps_the_result) {
    Gui_Libraries first = load_gui_libraries();
    ASSERT_TRUE(first.success) << first.failed_library.view() << ": " << first.error.view();
    for (s64 i = 0; i < gui_library_count; i++) EXPECT_TRUE(gui_library_loaded(i)) << gui_library_names[i];
    Gui_Libraries again = load_gui_libraries();
    EXPECT_TRUE(again.success);
    EXPECT_TRUE(again.failed_library.empty());
}

// The GUI thread loads them as the window starts while the main thread may be showing a
// warning box: both must see the one result.
TEST(Gui_Libraries, threads_loading_at_once_share_one_result) {
    constexpr int THREADS = 4;
    bool success[THREADS] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < THREADS; i++) threads.emplace_back([&success, i] { success[i] = load_gui_libraries().success; });
    for (std::thread &thread : threads) thread.join();
    for (int i = 0; i < THREADS; i++) EXPECT_TRUE(success[i]) << "thread " << i;
    for (s64 i = 0; i < gui_library_count; i++) EXPECT_TRUE(gui_library_loaded(i)) << gui_library_names[i];
}

TEST(Gui_Libraries, one_library_is_loaded_alone) {
    s64 last = gui_library_count - 1;
    // NOTE: each test runs in a process of its own under CTest; by hand, an earlier test
    // may have loaded them all.
    if (gui_library_loaded(last)) GTEST_SKIP() << gui_library_names[last] << " was loaded by an earlier test";
    Gui_Libraries one = load_gui_library(gui_library_names[last]);
    ASSERT_TRUE(one.success) << one.failed_library.view() << ": " << one.error.view();
    EXPECT_TRUE(gui_library_loaded(last));
}

TEST(Gui_Libraries, a_name_outside_the_list_is_not_loaded) {
    EXPECT_FALSE(gui_library_loaded(-1));
    EXPECT_FALSE(gui_library_loaded(gui_library_count));
    Gui_Libraries unknown = load_gui_library("libnot-a-window-library.so.1");
    EXPECT_FALSE(unknown.success);
    EXPECT_EQ(unknown.failed_library.view(), "libnot-a-window-library.so.1");
}
