// The renderer's Win32 calls: client sizes and the pixel format of later windows.
#include <windows.h>

#include "assertions.h"
#include "backend_gl_platform.h"

Render_Dimensions os_client_size(Window_Type window) {
    RECT rect = {};
    if (!GetClientRect(window, &rect)) return {};
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void os_set_pixel_format_like(Device_Context target, Device_Context model) {
    int format = GetPixelFormat(model);
    PIXELFORMATDESCRIPTOR descriptor = {};
    int described = DescribePixelFormat(model, format, sizeof(descriptor), &descriptor);
    if (!assert_debug(described != 0, "DescribePixelFormat returned 0")) return;
    SetPixelFormat(target, format, &descriptor);
}
