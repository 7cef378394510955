// What backend_gl_win32.cpp and backend_gl_linux.cpp give the shared backend.
#pragma once

#include "render_target.h"
#include "render_types.h"

Render_Dimensions os_client_size(Window_Type window);
// Gives the target device context the pixel format of the model's.
void os_set_pixel_format_like(Device_Context target, Device_Context model);
