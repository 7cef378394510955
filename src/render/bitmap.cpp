// Bitmaps: CPU images with a texel format, and the texel sizes of the formats.
#include "bitmap.h"

#include <cstdlib>

#include "print.h"

s32 get_image_bytes_per_texel(Texture_Format format) {
    switch (format) {
    case Texture_Format::R8: return 1;
    case Texture_Format::RG8: return 2;
    case Texture_Format::RGB8: return 3;
    case Texture_Format::RGBA8: return 4;
    case Texture_Format::BGRA8: return 4;
    case Texture_Format::B5G6R5: return 2;
    case Texture_Format::RGB10A2: return 4;
    case Texture_Format::R16: return 2;
    case Texture_Format::R16F: return 2;
    case Texture_Format::RG16F: return 4;
    case Texture_Format::RGBA16F: return 8;
    case Texture_Format::R32F: return 4;
    case Texture_Format::RG32F: return 8;
    case Texture_Format::RGBA32F: return 16;
    case Texture_Format::RG11B10F: return 4;
    case Texture_Format::RGB9E5F: return 4;
    case Texture_Format::R16I: return 2;
    case Texture_Format::RG16I: return 4;
    case Texture_Format::RGBA16I: return 8;
    case Texture_Format::R32I: return 4;
    case Texture_Format::RG32I: return 8;
    case Texture_Format::RGBA32I: return 16;
    case Texture_Format::D16: return 2;
    case Texture_Format::D24S8: return 4;
    case Texture_Format::D32F: return 4;
    case Texture_Format::D32FS8: return 8;
    default: return 0;  // unknown and block-compressed formats
    }
}

bool bitmap_alloc(Bitmap *bitmap, s32 width, s32 height, Texture_Format format) {
    s32 bytes_per_texel = get_image_bytes_per_texel(format);
    if (width < 0 || height < 0 || bytes_per_texel == 0) return false;
    s64 size = (s64)width * height * bytes_per_texel;
    bitmap->width = width;
    bitmap->height = height;
    bitmap->mipmap_count = 1;
    bitmap->data.count = size;
    bitmap->data.data = (u8 *)malloc(size > 0 ? (size_t)size : 1);
    bitmap->stride = width * bytes_per_texel;
    bitmap->format = format;
    bitmap->flags = bitmap->flags | Bitmap_Flags::FREE_DATA_ON_DEINIT;
    return bitmap->data.data != nullptr;
}

void bitmap_deinit(Bitmap *bitmap) {
    if (has_flag(bitmap->flags, Bitmap_Flags::FREE_DATA_ON_DEINIT)) free(bitmap->data.data);
    *bitmap = Bitmap{};
}

const char *enum_member_name(Texture_Format value) {
    switch (value) {
    case Texture_Format::Unknown: return "Unknown";
    case Texture_Format::R8: return "R8";
    case Texture_Format::RG8: return "RG8";
    case Texture_Format::RGB8: return "RGB8";
    case Texture_Format::RGBA8: return "RGBA8";
    case Texture_Format::BGRA8: return "BGRA8";
    case Texture_Format::B5G6R5: return "B5G6R5";
    case Texture_Format::RGB10A2: return "RGB10A2";
    case Texture_Format::R16: return "R16";
    case Texture_Format::R16F: return "R16F";
    case Texture_Format::RG16F: return "RG16F";
    case Texture_Format::RGBA16F: return "RGBA16F";
    case Texture_Format::R32F: return "R32F";
    case Texture_Format::RG32F: return "RG32F";
    case Texture_Format::RGBA32F: return "RGBA32F";
    case Texture_Format::RG11B10F: return "RG11B10F";
    case Texture_Format::RGB9E5F: return "RGB9E5F";
    case Texture_Format::R16I: return "R16I";
    case Texture_Format::RG16I: return "RG16I";
    case Texture_Format::RGBA16I: return "RGBA16I";
    case Texture_Format::R32I: return "R32I";
    case Texture_Format::RG32I: return "RG32I";
    case Texture_Format::RGBA32I: return "RGBA32I";
    case Texture_Format::BC1: return "BC1";
    case Texture_Format::BC3: return "BC3";
    case Texture_Format::BC4: return "BC4";
    case Texture_Format::BC5: return "BC5";
    case Texture_Format::BC6: return "BC6";
    case Texture_Format::BC7: return "BC7";
    case Texture_Format::ETC_RGB: return "ETC_RGB";
    case Texture_Format::ETC_RGBA: return "ETC_RGBA";
    case Texture_Format::ETC_R: return "ETC_R";
    case Texture_Format::ETC_RG: return "ETC_RG";
    case Texture_Format::ETC_RGB_A1: return "ETC_RGB_A1";
    case Texture_Format::D16: return "D16";
    case Texture_Format::D24S8: return "D24S8";
    case Texture_Format::D32F: return "D32F";
    case Texture_Format::D32FS8: return "D32FS8";
    }
    return "(not a Texture_Format)";
}
