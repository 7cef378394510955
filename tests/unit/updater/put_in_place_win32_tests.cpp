// Windows puts the running program's file aside before the new one takes its place; when
// either rename fails, the player is left with the old program under its own name.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "temporary_storage.h"
#include "updater_os.h"

namespace fs = std::filesystem;

static void write_bytes(const fs::path &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

static std::string read_bytes(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<none>";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

static std::string utf8(const fs::path &path) { return (const char *)path.u8string().c_str(); }

struct Aside_Folder {
    fs::path folder, from, to, aside;
    Aside_Folder() {
        folder = fs::temp_directory_path() / ("korvane_put_in_place_aside_" + std::to_string(std::random_device()()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        from = folder / "korvane_updated.exe";
        to = folder / "korvane.exe";
        aside = folder / "korvane_old.exe";
    }
    ~Aside_Folder() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    File_Step put_in_place() {
        return platform_updater_os().put_in_place(utf8(from).c_str(), utf8(to).c_str(), utf8(aside).c_str());
    }
};

TEST(PutInPlaceWin32, TheOldFileGoesAsideForALaterStartToDelete) {
    Aside_Folder f;
    write_bytes(f.from, "new");
    write_bytes(f.to, "old");
    EXPECT_TRUE(f.put_in_place().success);
    EXPECT_EQ(read_bytes(f.to), "new");
    EXPECT_EQ(read_bytes(f.aside), "old");
    reset_temporary_storage();
}

TEST(PutInPlaceWin32, TheOldFileComesBackWhenTheNewOneCannotTakeItsPlace) {
    Aside_Folder f;
    write_bytes(f.from, "new");
    write_bytes(f.to, "old");
    // Held open without delete sharing, the new file cannot be renamed.
    HANDLE held = CreateFileW(f.from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    File_Step result = f.put_in_place();
    CloseHandle(held);

    EXPECT_FALSE(result.success);
    EXPECT_EQ(std::string(result.failed_step.view()), "MoveFileExW");
    EXPECT_EQ(read_bytes(f.to), "old");
    EXPECT_EQ(read_bytes(f.from), "new");
    EXPECT_FALSE(fs::exists(f.aside));
    reset_temporary_storage();
}

TEST(PutInPlaceWin32, NothingMovesWhenTheOldFileCannotGoAside) {
    Aside_Folder f;
    write_bytes(f.from, "new");
    write_bytes(f.to, "old");
    // A folder of that name, not empty, cannot be replaced by a file.
    fs::create_directories(f.aside / "inside");
    File_Step result = f.put_in_place();

    EXPECT_FALSE(result.success);
    EXPECT_EQ(std::string(result.failed_step.view()), "MoveFileExW (aside)");
    EXPECT_EQ(read_bytes(f.to), "old");
    EXPECT_EQ(read_bytes(f.from), "new");
    reset_temporary_storage();
}
