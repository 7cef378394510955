// Textures from bitmaps: the first upload makes the OpenGL name, later ones re-specify it.
#include "texture.h"

#include "assertions.h"
#include "backend_gl.h"
#include "bitmap.h"
#include "immediate.h"
#include "render_target.h"

bool texture_load_from_bitmap(Texture *texture, Bitmap *bitmap) {
    if (!bitmap) return false;
    per_thread_init();
    if (!assert_debug(is_supported(bitmap->format), "texture_load_from_bitmap: unsupported format %.",
                      bitmap->format)) {
        return false;
    }
    if (!assert_debug(bitmap->mipmap_count >= 1, "texture_load_from_bitmap: the bitmap has no levels.")) {
        return false;
    }
    // glTexImage2D reads height rows of width texels, a row length apart (as
    // backend_update_texture sets it), from the data: a bitmap whose bytes do not cover
    // that would have it read past their end.
    s64 bytes_per_texel = get_image_bytes_per_texel(bitmap->format);
    s64 row_texels = bytes_per_texel ? bitmap->stride / bytes_per_texel : 0;
    if (row_texels == 0) row_texels = bitmap->width;
    s64 needed = 0;
    if (bitmap->width > 0 && bitmap->height > 0) {
        needed = ((s64)(bitmap->height - 1) * row_texels + bitmap->width) * bytes_per_texel;
    }
    bool sound = bytes_per_texel > 0 && bitmap->width >= 0 && bitmap->height >= 0 && row_texels >= bitmap->width &&
                 (needed == 0 || (bitmap->data.data && bitmap->data.count >= needed));
    if (!assert_debug(sound, "texture_load_from_bitmap: a %x% % bitmap with stride % holds only % bytes.",
                      bitmap->width, bitmap->height, bitmap->format, bitmap->stride, bitmap->data.count)) {
        return false;
    }
    if (!renderer_available()) return false;

    if (texture->width != bitmap->width || texture->height != bitmap->height || texture->depth != 1 ||
        texture->mipmap_count != bitmap->mipmap_count || texture->format != bitmap->format) {
        backend_realloc_texture(texture, bitmap);
        texture->width = bitmap->width;
        texture->height = bitmap->height;
        texture->depth = 1;
        texture->mipmap_count = (u16)bitmap->mipmap_count;
        texture->format = bitmap->format;
        if (has_flag(bitmap->flags, Bitmap_Flags::IS_SRGB)) {
            texture->flags = texture->flags | Texture_Flags::sRGB;
        } else {
            texture->flags = texture->flags & ~Texture_Flags::sRGB;
        }
    }
    backend_update_texture(texture, bitmap);
    return true;
}
