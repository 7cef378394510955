// The platform window on Win32: client sizes, the cursor, the message pump and the pixel
// format of later windows.
#include <windows.h>

#include "log.h"
#include "os.h"
#include "window.h"

Client_Size window_client_size(Window_Type window) {
    RECT rect = {};
    if (!GetClientRect(window, &rect)) return {};
    return {(s32)(rect.right - rect.left), (s32)(rect.bottom - rect.top)};
}

Cursor_Position get_cursor_in_client(Window_Type window) {
    POINT point = {};
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    return {point.x, point.y};
}

void window_pump_events(Native_Event_Handler) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// NOTE: the window class has a private device context, so GetDC hands back the same one
// every time and it is never released.
Device_Context window_device_context(Window_Type window) { return GetDC(window); }

bool window_copy_pixel_format(Device_Context target, Device_Context model) {
    int format = GetPixelFormat(model);
    PIXELFORMATDESCRIPTOR descriptor = {};
    if (!DescribePixelFormat(model, format, sizeof(descriptor), &descriptor)) {
        log_error("DescribePixelFormat of format % failed: %", (s32)format, os_error_text(last_os_error_code()));
        return false;
    }
    if (!SetPixelFormat(target, format, &descriptor)) {
        log_error("SetPixelFormat of format % failed: %", (s32)format, os_error_text(last_os_error_code()));
        return false;
    }
    return true;
}
