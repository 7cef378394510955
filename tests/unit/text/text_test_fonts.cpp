// Fixture fonts for the text tests.
#include "text_test_fonts.h"

#include <gtest/gtest.h>

#include <map>

#include "os.h"

String fixture_font_bytes(const std::string &name) {
    // Never destroyed: the bytes must outlive every font, also during exit.
    static auto &loaded = *new std::map<std::string, String>();
    auto found = loaded.find(name);
    if (found != loaded.end()) return found->second;

    std::string path = name.find('/') == std::string::npos ? std::string(KORVANE_FIXTURES_DIR "/fonts/") + name
                                                            : std::string(KORVANE_SOURCE_DIR "/") + name;
    File_Contents file = read_entire_file(String(path.c_str()));
    EXPECT_TRUE(file.success) << path;
    loaded[name] = file.data;
    return file.data;
}

String window_font_bytes() { return fixture_font_bytes("assets/QuanPixelSmall.ttf"); }
