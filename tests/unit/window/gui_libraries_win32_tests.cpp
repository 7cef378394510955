// The delay-loaded DLLs on Windows: the first call loads the DLL and reaches the function.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include "gui_libraries.h"

s64 gui_library_index(String name);

// NOTE: gtest_discover_tests runs each test in a process of its own, so nothing has loaded
// winmm before this test; run by hand with other tests first, it may be loaded already.
TEST(Gui_Libraries_Win32, the_first_call_loads_the_dll_and_reaches_the_real_function) {
    s64 winmm = gui_library_index("winmm.dll");
    ASSERT_GE(winmm, 0);
    if (gui_library_loaded(winmm)) GTEST_SKIP() << "winmm was loaded by an earlier test of this process";

    EXPECT_EQ(timeBeginPeriod(1), (MMRESULT)TIMERR_NOERROR);
    EXPECT_TRUE(gui_library_loaded(winmm));
    // An out-of-range period is refused by the real function.
    EXPECT_EQ(timeBeginPeriod(0), (MMRESULT)TIMERR_NOCANDO);
}
