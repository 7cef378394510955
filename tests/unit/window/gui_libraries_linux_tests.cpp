// The lazily bound entry points on Linux: the first call maps the library and the call
// arrives with its arguments.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <fstream>
#include <iterator>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "gui_libraries.h"

s64 gui_library_index(String name);

// NOTE: gtest_discover_tests runs each test in a process of its own, so nothing has loaded
// FreeType before this test; run by hand with other tests first, it may be mapped already.
TEST(Gui_Libraries_Linux, the_first_call_maps_the_library_and_reaches_the_real_function) {
    s64 freetype = gui_library_index("libfreetype.so.6");
    ASSERT_GE(freetype, 0);
    if (gui_library_loaded(freetype)) GTEST_SKIP() << "FreeType was mapped by an earlier test of this process";

    FT_Library library = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    EXPECT_TRUE(gui_library_loaded(freetype));
    ASSERT_NE(library, nullptr);

    // Five arguments through the bound slot, and on through the slots bound later.
    std::ifstream file(KORVANE_SOURCE_DIR "/assets/QuanPixelSmall.ttf", std::ios::binary);
    std::vector<unsigned char> font((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(font.empty());
    FT_Face face = nullptr;
    ASSERT_EQ(FT_New_Memory_Face(library, font.data(), (FT_Long)font.size(), 0, &face), 0);
    EXPECT_GT(face->num_glyphs, 1);
    EXPECT_EQ(FT_Set_Pixel_Sizes(face, 0, 16), 0);
    EXPECT_NE(FT_Get_Char_Index(face, 'A'), 0u);
    EXPECT_EQ(FT_Get_Char_Index(face, 0x10FFFD), 0u);

    // A cut-short font is refused by the real function, as the size it was given says.
    FT_Face cut = nullptr;
    EXPECT_NE(FT_New_Memory_Face(library, font.data(), 12, 0, &cut), 0);

    // The program never frees FreeType (it lives until exit); the test does, with the
    // library's own procedure, found in the copy the first call mapped.
    void *mapped = dlopen("libfreetype.so.6", RTLD_LAZY | RTLD_NOLOAD);
    ASSERT_NE(mapped, nullptr);
    auto done_freetype = (FT_Error(*)(FT_Library))dlsym(mapped, "FT_Done_FreeType");
    ASSERT_NE(done_freetype, nullptr);
    EXPECT_EQ(done_freetype(library), 0);
    dlclose(mapped);
}
