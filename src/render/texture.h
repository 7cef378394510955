// OpenGL textures made from bitmaps.
#pragma once

#include "render_types.h"

// Uploads the bitmap's first level into the texture, creating its OpenGL name on first use
// and re-specifying the same name later. False for a null bitmap (texture untouched), a
// bitmap the renderer cannot upload, or when there is no renderer.
bool texture_load_from_bitmap(Texture *texture, Bitmap *bitmap);
