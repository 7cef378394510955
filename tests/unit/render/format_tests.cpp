// The texel-format table and bitmaps.
#include <gtest/gtest.h>

#include <set>

#include "render.h"

namespace {

// What the format table must satisfy, checked for every member of the enum instead of a
// copy of the table: an uncompressed format uploads whole texels (its pixel format's
// channels times its pixel type's bytes, or the packed type's size), a compressed one has
// an internal format and nothing to upload texel by texel, a format without an OpenGL
// counterpart has nothing; no two formats share a storage and upload order; an sRGB
// request gives a different storage with the same upload where a variant exists.
constexpr Texture_Format ALL_FORMATS[] = {
    Texture_Format::Unknown, Texture_Format::R8,       Texture_Format::RG8,      Texture_Format::RGB8,
    Texture_Format::RGBA8,   Texture_Format::BGRA8,    Texture_Format::B5G6R5,  Texture_Format::RGB10A2,
    Texture_Format::R16,     Texture_Format::R16F,     Texture_Format::RG16F,   Texture_Format::RGBA16F,
    Texture_Format::R32F,    Texture_Format::RG32F,    Texture_Format::RGBA32F, Texture_Format::RG11B10F,
    Texture_Format::RGB9E5F, Texture_Format::R16I,     Texture_Format::RG16I,   Texture_Format::RGBA16I,
    Texture_Format::R32I,    Texture_Format::RG32I,    Texture_Format::RGBA32I, Texture_Format::BC1,
    Texture_Format::BC3,     Texture_Format::BC4,      Texture_Format::BC5,     Texture_Format::BC6,
    Texture_Format::BC7,     Texture_Format::ETC_RGB,  Texture_Format::ETC_RGBA, Texture_Format::ETC_R,
    Texture_Format::ETC_RG,  Texture_Format::ETC_RGB_A1, Texture_Format::D16,   Texture_Format::D24S8,
    Texture_Format::D32F,    Texture_Format::D32FS8,
};

s32 channels_of(u32 pixel_format) {
    switch (pixel_format) {
    case GL_RED: case GL_RED_INTEGER: case GL_DEPTH_COMPONENT: return 1;
    case GL_RG: case GL_RG_INTEGER: case GL_DEPTH_STENCIL: return 2;
    case GL_RGB: case GL_BGR: return 3;
    case GL_RGBA: case GL_BGRA: case GL_RGBA_INTEGER: return 4;
    }
    return 0;
}

// Storages of integers, which OpenGL fills only from the _INTEGER pixel formats.
bool is_integer_storage(u32 internal_format) {
    switch (internal_format) {
    case GL_R16I: case GL_RG16I: case GL_RGBA16I: case GL_R32I: case GL_RG32I: case GL_RGBA32I: return true;
    }
    return false;
}

bool is_integer_pixel_format(u32 pixel_format) {
    return pixel_format == GL_RED_INTEGER || pixel_format == GL_RG_INTEGER || pixel_format == GL_RGBA_INTEGER;
}

// Bytes of one channel, or of the whole texel for a packed type (negated).
s32 bytes_of(u32 pixel_type) {
    switch (pixel_type) {
    case GL_UNSIGNED_BYTE: return 1;
    case GL_SHORT: case GL_UNSIGNED_SHORT: case GL_HALF_FLOAT: return 2;
    case GL_INT: case GL_FLOAT: return 4;
    case GL_UNSIGNED_SHORT_5_6_5: return -2;
    case GL_UNSIGNED_INT_10_10_10_2: case GL_UNSIGNED_INT_10F_11F_11F_REV: case GL_UNSIGNED_INT_5_9_9_9_REV:
    case GL_UNSIGNED_INT_24_8: return -4;
    case GL_FLOAT_32_UNSIGNED_INT_24_8_REV: return -8;
    }
    return 0;
}

TEST(TextureFormat, EveryFormatUploadsWholeTexelsOrNothing) {
    constexpr u32 X = GL_INVALID_ENUM;
    s32 supported = 0, compressed = 0, srgb_variants = 0;
    std::set<std::pair<u32, u32>> storages;
    for (Texture_Format format : ALL_FORMATS) {
        SCOPED_TRACE(enum_member_name(format));
        OGL_Format f = get_ogl_format(format, false);
        s32 texel = get_image_bytes_per_texel(format);
        EXPECT_EQ(is_supported(format), f.internal_format != X);
        if (f.internal_format == X) {
            EXPECT_EQ(f.pixel_format, X);
            EXPECT_EQ(f.pixel_type, X);
            continue;
        }
        supported++;
        EXPECT_TRUE(storages.insert({f.internal_format, f.pixel_format}).second) << "shared with another format";
        if (f.compressed) {
            compressed++;
            EXPECT_EQ(f.pixel_format, X);
            EXPECT_EQ(f.pixel_type, X);
            EXPECT_EQ(texel, 0);
        } else {
            s32 channels = channels_of(f.pixel_format), bytes = bytes_of(f.pixel_type);
            ASSERT_GT(channels, 0) << "pixel format " << f.pixel_format;
            ASSERT_NE(bytes, 0) << "pixel type " << f.pixel_type;
            EXPECT_EQ(texel, bytes > 0 ? channels * bytes : -bytes);
            EXPECT_EQ(is_integer_storage(f.internal_format), is_integer_pixel_format(f.pixel_format));
        }
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        OGL_Format s = get_ogl_format(format, true);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(s.pixel_format, f.pixel_format);
        EXPECT_EQ(s.pixel_type, f.pixel_type);
        EXPECT_EQ(s.compressed, f.compressed);
        if (s.internal_format != f.internal_format) srgb_variants++;
    }
    // The counts keep a format from silently dropping out of the table.
    EXPECT_EQ(supported, 32);
    EXPECT_EQ(compressed, 6);
    EXPECT_EQ(srgb_variants, 7);  // RGB8, RGBA8, BGRA8, B5G6R5, BC1, BC3, BC7
}

TEST(TextureFormat, SrgbWithoutVariantAndFormatsOutsideTheTableAreReported) {
    struct Case {
        Texture_Format format;
        bool srgb;
        u32 internal_format;
        const char *report;
    } cases[] = {
        {Texture_Format::R8, true, GL_R8, "no sRGB variant"},
        {(Texture_Format)9, false, GL_INVALID_ENUM, "Unknown texture format 9."},
        {(Texture_Format)300, false, GL_INVALID_ENUM, "Unknown texture format 300."},
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
