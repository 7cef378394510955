// The texel-format table and bitmaps.
#include <gtest/gtest.h>

#include "render.h"

namespace {

TEST(TextureFormat, OpenGlFormatsAndTexelSizes) {
    constexpr u32 X = GL_INVALID_ENUM;
    struct Row {
        Texture_Format format;
        s32 bytes;
        u32 internal_format, srgb_internal_format;  // 0: no sRGB variant
        u32 pixel_format, pixel_type;
        bool compressed;
    } rows[] = {
        {Texture_Format::Unknown, 0, X, 0, X, X, false},
        {Texture_Format::R8, 1, 0x8229, 0, 0x1903, 0x1401, false},
        {Texture_Format::RG8, 2, 0x822B, 0, 0x8227, 0x1401, false},
        {Texture_Format::RGB8, 3, 0x8051, 0x8C41, 0x1907, 0x1401, false},
        {Texture_Format::RGBA8, 4, 0x8058, 0x8C43, 0x1908, 0x1401, false},
        {Texture_Format::BGRA8, 4, 0x8058, 0x8C43, 0x80E1, 0x1401, false},
        {Texture_Format::B5G6R5, 2, 0x1907, 0x8C40, 0x80E0, 0x8363, false},
        {Texture_Format::RGB10A2, 4, 0x8059, 0, 0x1908, 0x8036, false},
        {Texture_Format::R16, 2, 0x822A, 0, 0x1903, 0x1403, false},
        {Texture_Format::R16F, 2, 0x822D, 0, 0x1903, 0x140B, false},
        {Texture_Format::RG16F, 4, 0x822F, 0, 0x8227, 0x140B, false},
        {Texture_Format::RGBA16F, 8, 0x881A, 0, 0x1908, 0x140B, false},
        {Texture_Format::R32F, 4, 0x822E, 0, 0x1903, 0x1406, false},
        {Texture_Format::RG32F, 8, 0x8230, 0, 0x8227, 0x1406, false},
        {Texture_Format::RGBA32F, 16, 0x8814, 0, 0x1908, 0x1406, false},
        {Texture_Format::RG11B10F, 4, 0x8C3A, 0, 0x1907, 0x8C3B, false},
        {Texture_Format::RGB9E5F, 4, 0x8C3D, 0, 0x1907, 0x8C3E, false},
        {Texture_Format::R16I, 2, 0x8233, 0, 0x1903, 0x1402, false},
        {Texture_Format::RG16I, 4, 0x8239, 0, 0x8227, 0x1402, false},
        {Texture_Format::RGBA16I, 8, 0x8D88, 0, 0x1908, 0x1402, false},
        {Texture_Format::R32I, 4, 0x8235, 0, 0x1903, 0x1404, false},
        {Texture_Format::RG32I, 8, 0x823B, 0, 0x8227, 0x1404, false},
        {Texture_Format::RGBA32I, 16, 0x8D82, 0, 0x1908, 0x1404, false},
        {Texture_Format::BC1, 0, 0x83F0, 0x8C4C, X, X, true},
        {Texture_Format::BC3, 0, 0x83F3, 0x8C4F, X, X, true},
        {Texture_Format::BC4, 0, 0x8DBB, 0, X, X, true},
        {Texture_Format::BC5, 0, 0x8DBD, 0, X, X, true},
        {Texture_Format::BC6, 0, 0x8E8F, 0, X, X, true},
        {Texture_Format::BC7, 0, 0x8E8C, 0x8E8D, X, X, true},
        {Texture_Format::ETC_RGB, 0, X, 0, X, X, false},
        {Texture_Format::ETC_RGBA, 0, X, 0, X, X, false},
        {Texture_Format::ETC_R, 0, X, 0, X, X, false},
        {Texture_Format::ETC_RG, 0, X, 0, X, X, false},
        {Texture_Format::ETC_RGB_A1, 0, X, 0, X, X, false},
        {Texture_Format::D16, 2, 0x81A5, 0, 0x1902, 0x1403, false},
        {Texture_Format::D24S8, 4, 0x88F0, 0, 0x84F9, 0x84FA, false},
        {Texture_Format::D32F, 4, 0x8CAC, 0, 0x1902, 0x1406, false},
        {Texture_Format::D32FS8, 8, 0x8CAD, 0, 0x84F9, 0x8DAD, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(enum_member_name(row.format));
        OGL_Format f = get_ogl_format(row.format, false);
        EXPECT_EQ(f.internal_format, row.internal_format);
        EXPECT_EQ(f.pixel_format, row.pixel_format);
        EXPECT_EQ(f.pixel_type, row.pixel_type);
        EXPECT_EQ(f.compressed, row.compressed);
        EXPECT_EQ(get_image_bytes_per_texel(row.format), row.bytes);
        EXPECT_EQ(is_supported(row.format), row.internal_format != X);
        if (row.srgb_internal_format) {
            OGL_Format s = get_ogl_format(row.format, true);
            EXPECT_EQ(s.internal_format, row.srgb_internal_format);
            EXPECT_EQ(s.pixel_format, row.pixel_format);
        }
    }
}

TEST(TextureFormat, SrgbWithoutVariantAndFormatsOutsideTheTableAreReported) {
    struct Case {
        Texture_Format format;
        bool srgb;
        u32 internal_format;
        const char *report;
    } cases[] = {
        {Texture_Format::R8, true, 0x8229, "no sRGB variant"},
        {(Texture_Format)9, false, 0x500, "Unknown texture format 9."},
        {(Texture_Format)300, false, 0x500, "Unknown texture format 300."},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        OGL_Format f = get_ogl_format(c.format, c.srgb);
        std::string out = testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(f.internal_format, c.internal_format);
        EXPECT_NE(out.find(c.report), std::string::npos) << out;
    }
}

TEST(Bitmap, AllocGivesTightRowsAndOwnership) {
    Bitmap bitmap;
    bitmap.flags = Bitmap_Flags::IS_SRGB;
    ASSERT_TRUE(bitmap_alloc(&bitmap, 5, 3, Texture_Format::RGB8));
    EXPECT_EQ(bitmap.stride, 15);
    EXPECT_EQ(bitmap.data.count, 45);
    EXPECT_NE(bitmap.data.data, nullptr);
    EXPECT_EQ(bitmap.mipmap_count, 1);
    EXPECT_TRUE(has_flag(bitmap.flags, Bitmap_Flags::FREE_DATA_ON_DEINIT));
    EXPECT_TRUE(has_flag(bitmap.flags, Bitmap_Flags::IS_SRGB));  // kept
    bitmap_deinit(&bitmap);
    EXPECT_EQ(bitmap.data.data, nullptr);

    EXPECT_FALSE(bitmap_alloc(&bitmap, 4, 4, Texture_Format::BC7));  // no texel size
    EXPECT_FALSE(bitmap_alloc(&bitmap, -1, 4, Texture_Format::RGBA8));
    EXPECT_EQ(bitmap.data.data, nullptr);
}

}  // namespace
