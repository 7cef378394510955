// CPU images in one of the renderer's texel formats.
#pragma once

#include "render_types.h"

// Bytes per texel of an uncompressed format; 0 for compressed and unknown formats.
s32 get_image_bytes_per_texel(Texture_Format format);

// Gives the bitmap width x height texels of the format from the heap (not cleared), one
// level, tight rows; adds FREE_DATA_ON_DEINIT. False (and the bitmap left empty) when the
// size is negative or the format has no texel size.
bool bitmap_alloc(Bitmap *bitmap, s32 width, s32 height, Texture_Format format);
// Frees the pixels when the bitmap owns them and empties the record.
void bitmap_deinit(Bitmap *bitmap);
