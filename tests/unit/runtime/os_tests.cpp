// The runtime's view of the program's own folder, the working directory and thread
// priorities, checked against the system itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "os.h"
#include "temporary_storage.h"

#ifdef _WIN32
#include <windows.h>
static int thread_priority() { return GetThreadPriority(GetCurrentThread()); }
static bool is_lower(int after, int before) { return after < before; }
#else
#include <sys/resource.h>
#include <unistd.h>
static int thread_priority() { return getpriority(PRIO_PROCESS, (id_t)gettid()); }
static bool is_lower(int after, int before) { return after > before; }  // a nicer thread
#endif

namespace fs = std::filesystem;

static fs::path as_path(String text) { return fs::u8path(std::string(text.view())); }

TEST(ExecutableFolder, HoldsThisProgramAndBecomesTheWorkingDirectory) {
    fs::path saved = fs::current_path();
    String folder = executable_folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(fs::exists(as_path(folder) / "runtime_tests.exe")) << folder.view();

    // From anywhere else, a bare name then means the file in the program's folder.
    fs::current_path(fs::temp_directory_path());
    ASSERT_EQ(set_working_directory(folder), 0);
    EXPECT_TRUE(fs::exists("runtime_tests.exe"));
    EXPECT_TRUE(fs::equivalent(as_path(get_working_directory()), as_path(folder)));
    fs::current_path(saved);
    reset_temporary_storage();
}

TEST(ExecutableFolder, AFolderThatCannotBeEnteredLeavesTheWorkingDirectory) {
    fs::path saved = fs::current_path();
    EXPECT_NE(set_working_directory("no such folder/at all"), 0);
    EXPECT_EQ(fs::current_path(), saved);
    reset_temporary_storage();
}

TEST(ThreadPriority, TheLoweredThreadAndThreadsItStartsRunBelowTheOthers) {
    int normal = thread_priority();
    int lowered = 0, started_by_it = 0;
    std::thread([&] {
        lower_calling_thread_priority();
        lowered = thread_priority();
        std::thread([&] { started_by_it = thread_priority(); }).join();
    }).join();
    EXPECT_TRUE(is_lower(lowered, normal)) << lowered << " against " << normal;
    EXPECT_EQ(thread_priority(), normal);  // the calling thread only
#ifndef _WIN32
    // NOTE: Windows gives a new thread normal priority whoever starts it; on Linux the
    // renderer's worker threads depend on this.
    EXPECT_EQ(started_by_it, lowered);
#endif
}
