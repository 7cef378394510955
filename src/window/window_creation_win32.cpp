// Window creation with Win32: the "Default Window Class" and CreateWindowExW.
#include <windows.h>
#include <shellapi.h>

#include "log.h"
#include "temporary_storage.h"
#include "window_creation.h"

namespace {

struct Window_Creation_State {
    bool class_registered = false;
};
Window_Creation_State g_window_creation;

constexpr DWORD STYLE_WITHOUT_PARENT = 0x00CF0000;  // WS_OVERLAPPEDWINDOW
constexpr DWORD STYLE_WITH_PARENT = 0x00CC0000;     // caption, system menu, sizing border
constexpr int ICON_RESOURCE = 2;

}  // namespace

void init_window_class(f32 red, f32 green, f32 blue, Window_Procedure procedure) {
    if (g_window_creation.class_registered) return;
    HINSTANCE instance = GetModuleHandleW(nullptr);

    HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(ICON_RESOURCE));
    if (!icon) {
        // No icon resource: the first icon of the executable file, possibly none.
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        icon = ExtractIconW(instance, path, 0);
    }
    HBRUSH brush = CreateSolidBrush(background_color_value(red, green, blue));

    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;  // 0x23; OpenGL binds to the own DC
    window_class.lpfnWndProc = procedure ? (WNDPROC)procedure : DefWindowProcW;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = instance;
    window_class.hIcon = icon;
    window_class.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
    window_class.hbrBackground = brush;
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = (const wchar_t *)temp_utf16(WINDOW_CLASS_NAME);
    window_class.hIconSm = nullptr;

    if (!RegisterClassExW(&window_class)) {
        log_error("RegisterClassExW returned 0.\n");
        return;
    }
    g_window_creation.class_registered = true;
}

Window_Type custom_create_window(s64 width, s64 height, String window_name, s64 window_x, s64 window_y,
                                 Window_Type parent, Window_Pixel_Format) {
    if (!g_window_creation.class_registered) init_window_class(0, 0, 0, nullptr);
    DWORD style = parent ? STYLE_WITH_PARENT : STYLE_WITHOUT_PARENT;

    bool have_work_area = false;
    Work_Area work_area;
    if (window_x == -1) {
        RECT work = {};
        have_work_area = SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) != 0;
        work_area = {work.left, work.top, work.right, work.bottom};
    }
    Window_Position position = window_position(width, height, window_x, window_y, have_work_area, work_area);

    RECT outer = {0, 0, (LONG)width, (LONG)height};
    AdjustWindowRect(&outer, style, FALSE);

    const wchar_t *class_name = (const wchar_t *)temp_utf16(WINDOW_CLASS_NAME);
    const wchar_t *title = (const wchar_t *)temp_utf16(window_name);
    HWND window = CreateWindowExW(0, class_name, title, style, (int)position.x, (int)position.y,
                                  outer.right - outer.left, outer.bottom - outer.top, parent, nullptr, nullptr, nullptr);
    if (!window) {
        log_error("CreateWindowExW returned 0.\n");
        return nullptr;
    }
    UpdateWindow(window);
    ShowWindow(window, SW_SHOW);
    return window;
}
