// The renderer's Win32 calls: client sizes and the pixel format of later windows.
#include <windows.h>

#include "assert.h"
#include "backend_gl.h"
#include "render_target.h"

Render_Dimensions get_render_dimensions(Window_Type window) {
    RECT rect = {};
    if (!GetClientRect(window, &rect)) return {};
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void windows_change_pixel_format(Device_Context hdc) {
    if (!assert_debug(g_renderer.gl_device_context != nullptr,
                      "windows_change_pixel_format: no OpenGL context exists yet.")) {
        return;
    }
    int format = GetPixelFormat(g_renderer.gl_device_context);
    PIXELFORMATDESCRIPTOR descriptor = {};
    int described = DescribePixelFormat(g_renderer.gl_device_context, format, sizeof(descriptor), &descriptor);
    if (!assert_debug(described != 0, "DescribePixelFormat returned 0")) return;
    SetPixelFormat(hdc, format, &descriptor);
}
