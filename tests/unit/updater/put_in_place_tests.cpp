// Putting a new updater in the place of the old one, on the real file system: the new
// file takes the place, and when that cannot be done both files stay as they were.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "temporary_storage.h"
#include "updater_os.h"

namespace fs = std::filesystem;

struct Scratch_Folder {
    fs::path path;
    explicit Scratch_Folder(const char *name) {
        path = fs::temp_directory_path() /
               (std::string("korvane_put_in_place_") + name + "_" + std::to_string(std::random_device()()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Scratch_Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string name(const char *file) const { return (const char *)(path / file).u8string().c_str(); }
};

static void write_bytes(const std::string &name, const std::string &bytes) {
    std::ofstream(fs::u8path(name), std::ios::binary) << bytes;
}

static std::string read_bytes(const std::string &name) {
    std::ifstream in(fs::u8path(name), std::ios::binary);
    if (!in) return "<none>";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(PutInPlace, TheNewFileTakesThePlace) {
    struct Case {
        const char *name;
        const char *target;  // nullptr: no such file yet
        const char *aside;   // left by an earlier run
    };
    const Case cases[] = {
        {"over the old file", "old", nullptr},
        {"no old file", nullptr, nullptr},
        {"an earlier run's old file still there", "old", "older"},
    };
    Updater_Os os = platform_updater_os();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Scratch_Folder folder("takes");
        std::string from = folder.name("korvane_updated.exe"), to = folder.name("korvane.exe"),
                    aside = folder.name("korvane_old.exe");
        write_bytes(from, "new");
        if (c.target) write_bytes(to, c.target);
        if (c.aside) write_bytes(aside, c.aside);

        File_Step result = os.put_in_place(from.c_str(), to.c_str(), aside.c_str());
        EXPECT_TRUE(result.success) << result.failed_step.view() << " " << result.error_code;
        EXPECT_EQ(read_bytes(to), "new");
        EXPECT_FALSE(fs::exists(fs::u8path(from)));
        reset_temporary_storage();
    }
}

TEST(PutInPlace, AMissingNewFileChangesNothing) {
    Updater_Os os = platform_updater_os();
    Scratch_Folder folder("missing");
    std::string from = folder.name("korvane_updated.exe"), to = folder.name("korvane.exe"),
                aside = folder.name("korvane_old.exe");
    write_bytes(to, "old");

    File_Step result = os.put_in_place(from.c_str(), to.c_str(), aside.c_str());
    EXPECT_FALSE(result.success);
    EXPECT_NE(result.error_code, 0);
    EXPECT_FALSE(result.failed_step.empty());
    EXPECT_EQ(read_bytes(to), "old");
    EXPECT_FALSE(fs::exists(fs::u8path(aside)));
    reset_temporary_storage();
}

TEST(DeleteFile, RemovesAFileAndSaysWhenItCannot) {
    Updater_Os os = platform_updater_os();
    Scratch_Folder folder("delete");
    std::string file = folder.name("korvane_old.exe");
    write_bytes(file, "old");
    EXPECT_TRUE(os.delete_file(file.c_str()));
    EXPECT_FALSE(fs::exists(fs::u8path(file)));
    EXPECT_FALSE(os.delete_file(file.c_str()));
    reset_temporary_storage();
}
