// The embedded files: table layout, bytes, and load_file's choice between disk and
// embedded data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "embedded_files.h"

static std::string file_bytes(const char *path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(EmbeddedFiles, TableThenBlockInEnumOrder) {
    Embedded_Files files = embedded_files();
    std::string library = file_bytes(KORVANE_EMBEDDED_CURL_PATH);
    std::string font = file_bytes(KORVANE_EMBEDDED_FONT_PATH);
    ASSERT_FALSE(library.empty());
    ASSERT_FALSE(font.empty());

    EXPECT_EQ((const u8 *)files.table + 2 * sizeof(Embedded_File_Entry), files.block);  // no gap
    EXPECT_EQ(files.table[Libcurl].offset, 0);
    EXPECT_EQ(files.table[Libcurl].count, (s64)library.size());
    EXPECT_EQ(files.table[Font].offset, (s64)library.size());
    EXPECT_EQ(files.table[Font].count, (s64)font.size());
    EXPECT_EQ(0, memcmp(files.block, library.data(), library.size()));
    EXPECT_EQ(0, memcmp(files.block + library.size(), font.data(), font.size()));
}

TEST(EmbeddedFiles, FileNames) {
    EXPECT_EQ(get_file_path(Font), String("QuanPixelSmall.ttf"));
#ifdef _WIN32
    EXPECT_EQ(get_file_path(Libcurl), String("libcurl.dll"));
#else
    EXPECT_EQ(get_file_path(Libcurl), String("libcurl.so"));
#endif
}

TEST(EmbeddedFiles, LoadFilePrefersTheWorkingDirectory) {
    namespace fs = std::filesystem;
    fs::path previous = fs::current_path();
    fs::path folder = fs::temp_directory_path() / ("korvane-load-file-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(folder);
    fs::current_path(folder);

    testing::internal::CaptureStdout();
    Loaded_File embedded = load_file(Font);
    { std::ofstream("QuanPixelSmall.ttf", std::ios::binary) << "not really a font"; }
    Loaded_File from_disk = load_file(Font);
    std::string out = testing::internal::GetCapturedStdout();

    fs::current_path(previous);
    fs::remove_all(folder);

    EXPECT_TRUE(embedded.success);
    EXPECT_EQ(std::string(embedded.data.view()), file_bytes(KORVANE_EMBEDDED_FONT_PATH));
    EXPECT_TRUE(from_disk.success);
    EXPECT_EQ(std::string(from_disk.data.view()), "not really a font");
    EXPECT_EQ(out, "Loading Font from embedded data\nLoading Font from OS\n");
}
