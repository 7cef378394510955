// Window creation on Windows.
#include "message_vocabulary.h"  // windows.h, tamed

#include <shellapi.h>

#include "events.h"
#include "log.h"
#include "temporary_storage.h"
#include "window_creation.h"

struct Window_Class_State {
    bool class_registered = false;
};

static Window_Class_State g_window_class;

void init_window_class(f32 red, f32 green, f32 blue) {
    if (g_window_class.class_registered) return;
    HINSTANCE instance = GetModuleHandleW(nullptr);

    HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(2));
    if (!icon) {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        icon = ExtractIconW(instance, path, 0);
    }

    WNDCLASSEXW description = {};
    description.cbSize = sizeof(description);
    description.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    description.lpfnWndProc = input_handler.window_proc ? (WNDPROC)input_handler.window_proc : DefWindowProcW;
    description.cbClsExtra = 0;
    description.cbWndExtra = 0;
    description.hInstance = instance;
    description.hIcon = icon;
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    description.hbrBackground = CreateSolidBrush(window_background_color(red, green, blue));
    description.lpszMenuName = nullptr;
    description.lpszClassName = (const wchar_t *)temp_utf16(WINDOW_CLASS_NAME);
    description.hIconSm = nullptr;

    if (!RegisterClassExW(&description)) {
        log_error("RegisterClassExW returned 0.\n");
        return;
    }
    g_window_class.class_registered = true;
}

Window_Type custom_create_window(s64 width, s64 height, String window_name, s64 window_x, s64 window_y,
                                 Window_Type parent) {
    if (!g_window_class.class_registered) init_window_class(0, 0, 0);
    DWORD style = parent ? 0x00CC0000 : 0x00CF0000;

    RECT work = {};
    bool have_work_area = window_x == -1 && SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Work_Area area = {work.left, work.top, work.right, work.bottom};
    Window_Position position = window_position(width, height, window_x, window_y, have_work_area ? &area : nullptr);

    RECT outer = {0, 0, (LONG)width, (LONG)height};
    AdjustWindowRect(&outer, style, FALSE);

    HWND window = CreateWindowExW(0, (const wchar_t *)temp_utf16(WINDOW_CLASS_NAME),
                                  (const wchar_t *)temp_utf16(window_name), style, (int)position.x, (int)position.y,
                                  outer.right - outer.left, outer.bottom - outer.top, parent, nullptr, nullptr, nullptr);
    if (!window) {
        log_error("CreateWindowExW returned 0.\n");
        return {};
    }
    UpdateWindow(window);
    ShowWindow(window, SW_SHOW);
    return window;
}
