// A small PNG writer for screenshots: 8-bit RGB, stored (uncompressed) deflate blocks, so
// it needs no compression library.
#pragma once

#include "types.h"

// rgb: width * height * 3 bytes, the top row first. False when the file cannot be written.
bool write_png_rgb(String file_name, const u8 *rgb, s32 width, s32 height);
