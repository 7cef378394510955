// Everything a caller of the 2D renderer needs.
#pragma once

#include "backend_gl.h"
#include "bitmap.h"
#include "gl/gl_procedures.h"
#include "immediate.h"
#include "render_target.h"
#include "shader.h"
#include "texture.h"
