// The shader sources: each holds both stages, picked by the VERTEX_SHADER and
// FRAGMENT_SHADER defines of the stage prefixes in backend_gl.cpp.
#pragma once

extern const char SHADER_SOURCE_COLOR[];
extern const char SHADER_SOURCE_TEXT[];  // text_color is declared and never set
extern const char SHADER_SOURCE_SPRITE_FLIPPED[];
extern const char SHADER_SOURCE_SPRITE[];
