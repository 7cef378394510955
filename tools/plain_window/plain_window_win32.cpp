// A bare Win32 window with a private device context, as OpenGL wants it.
#include <windows.h>

#include "plain_window.h"
#include "temporary_storage.h"

namespace {

struct Plain_Window_State {
    bool class_registered = false;
};
Plain_Window_State g_plain_window;

const wchar_t *class_name() { return L"Korvane Plain Window"; }

}  // namespace

Window_Type plain_window_create(s32 width, s32 height, const char *title) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!g_plain_window.class_registered) {
        WNDCLASSEXW window_class = {};
        window_class.cbSize = sizeof(window_class);
        window_class.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
        window_class.lpfnWndProc = DefWindowProcW;
        window_class.hInstance = instance;
        window_class.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
        window_class.lpszClassName = class_name();
        if (!RegisterClassExW(&window_class)) return nullptr;
        g_plain_window.class_registered = true;
    }
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT rect = {0, 0, width, height};
    AdjustWindowRect(&rect, style, FALSE);
    HWND window = CreateWindowExW(0, class_name(), (const wchar_t *)temp_utf16(title), style, 40, 40,
                                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    if (!window) return nullptr;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    plain_window_pump();
    return window;
}

void plain_window_destroy(Window_Type window) {
    if (window) DestroyWindow(window);
    plain_window_pump();
}

void plain_window_resize(Window_Type window, s32 width, s32 height) {
    DWORD style = (DWORD)GetWindowLongW(window, GWL_STYLE);
    RECT rect = {0, 0, width, height};
    AdjustWindowRect(&rect, style, FALSE);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    plain_window_pump();
}

void plain_window_pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
