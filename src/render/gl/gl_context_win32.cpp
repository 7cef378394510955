// OpenGL context creation with WGL: a throw-away bootstrap window with a legacy context
// yields the WGL extension procedures, which then choose the pixel format and make the
// 3.3 core context on the caller's window.
#include <windows.h>

#include "gl_context.h"
#include "log.h"
#include "temporary_storage.h"

namespace {

using Wgl_Create_Context_Attribs_Arb = HGLRC(WINAPI *)(HDC, HGLRC, const int *);
using Wgl_Choose_Pixel_Format_Arb = BOOL(WINAPI *)(HDC, const int *, const FLOAT *, UINT, int *, UINT *);
using Wgl_Get_Pixel_Format_Attribiv_Arb = BOOL(WINAPI *)(HDC, int, int, UINT, const int *, int *);

constexpr int WGL_SAMPLES_ARB = 0x2042;

struct Wgl_Chooser_Data {
    HDC dc;
    Wgl_Choose_Pixel_Format_Arb choose;
};

bool choose_with_wgl(void *data, s32 samples, s32 *format) {
    Wgl_Chooser_Data *d = (Wgl_Chooser_Data *)data;
    std::vector<s32> attributes = wgl_pixel_format_attributes(samples);
    UINT matches = 0;
    int index = *format;
    BOOL ok = d->choose(d->dc, attributes.data(), nullptr, 1, &index, &matches);
    *format = index;
    return ok != FALSE;
}

template <typename T>
T proc_address(const char *name) {
    return reinterpret_cast<T>(reinterpret_cast<void *>(wglGetProcAddress(name)));
}

}  // namespace

GL_Context_Result gl_create_context(Window_Type window, GL_Context share_context, s32 major_version,
                                    s32 minor_version, bool compatibility, bool debug, s32 samples) {
    const GL_Context_Result failed = {};
    const wchar_t *class_name = (const wchar_t *)temp_utf16("GL Bootstrap Window Class");
    const wchar_t *title = (const wchar_t *)temp_utf16("GL Bootstrap Window");
    HINSTANCE instance = GetModuleHandleW(nullptr);

    // --- bootstrap: a legacy context only to reach the WGL extension procedures ---
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = instance;
    window_class.lpszClassName = class_name;
    if (!RegisterClassExW(&window_class)) {
        log_error("RegisterClassExW for GL bootstrap window returned 0.");
        return failed;
    }

    HWND bootstrap = CreateWindowExW(0, class_name, title, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                     CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!bootstrap) {
        log_error("CreateWindowExW for GL bootstrap window returned 0.");
        UnregisterClassW(class_name, instance);
        return failed;
    }

    HDC bootstrap_dc = GetDC(bootstrap);
    PIXELFORMATDESCRIPTOR legacy = {};
    legacy.nSize = sizeof(legacy);
    legacy.nVersion = 1;
    legacy.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    legacy.iPixelType = PFD_TYPE_RGBA;
    legacy.cColorBits = 24;

    int legacy_format = ChoosePixelFormat(bootstrap_dc, &legacy);
    if (!legacy_format) {
        log_error("ChoosePixelFormat for GL bootstrap window returned 0.");
        ReleaseDC(bootstrap, bootstrap_dc);
        DestroyWindow(bootstrap);
        UnregisterClassW(class_name, instance);
        return failed;
    }
    if (!SetPixelFormat(bootstrap_dc, legacy_format, &legacy)) {
        log_error("SetPixelFormat for GL bootstrap window returned 0.");
        ReleaseDC(bootstrap, bootstrap_dc);
        DestroyWindow(bootstrap);
        UnregisterClassW(class_name, instance);
        return failed;
    }

    // NOTE: a failed wglCreateContext makes no context current; the lookups below then
    // come back null and the failure shows as a missing extension.
    HGLRC bootstrap_context = wglCreateContext(bootstrap_dc);
    if (!wglMakeCurrent(bootstrap_dc, bootstrap_context)) {
        log_error("wglMakeCurrent for GL bootstrap window returned 0.");
        wglMakeCurrent(nullptr, nullptr);
        if (bootstrap_context) wglDeleteContext(bootstrap_context);
        ReleaseDC(bootstrap, bootstrap_dc);
        DestroyWindow(bootstrap);
        UnregisterClassW(class_name, instance);
        return failed;
    }

    auto create_context_attribs = proc_address<Wgl_Create_Context_Attribs_Arb>("wglCreateContextAttribsARB");
    auto choose_pixel_format = proc_address<Wgl_Choose_Pixel_Format_Arb>("wglChoosePixelFormatARB");
    auto get_pixel_format_attribiv = proc_address<Wgl_Get_Pixel_Format_Attribiv_Arb>("wglGetPixelFormatAttribivARB");

    wglMakeCurrent(nullptr, nullptr);
    if (bootstrap_context) wglDeleteContext(bootstrap_context);
    DestroyWindow(bootstrap);
    UnregisterClassW(class_name, instance);

    if (!create_context_attribs || !choose_pixel_format || !get_pixel_format_attribiv) {
        log_error("Missing a wgl extension");
        return failed;
    }

    // --- the real pixel format and context on the caller's window ---
    HDC dc = GetDC(window);
    Wgl_Chooser_Data chooser = {dc, choose_pixel_format};
    int format = choose_pixel_format_with_fallback(choose_with_wgl, &chooser, samples);
    if (format == -1) {
        log_error("Couldn't find a working pixel format");
        ReleaseDC(window, dc);
        return failed;
    }

    int samples_obtained = 0;
    const int samples_attribute = WGL_SAMPLES_ARB;
    get_pixel_format_attribiv(dc, format, 0, 1, &samples_attribute, &samples_obtained);

    PIXELFORMATDESCRIPTOR descriptor = {};
    if (!DescribePixelFormat(dc, format, sizeof(descriptor), &descriptor)) {
        log_error("DescribePixelFormat returned 0");
        ReleaseDC(window, dc);
        return failed;
    }
    if (!SetPixelFormat(dc, format, &descriptor)) {
        log_error("SetPixelFormat returned 0");
        ReleaseDC(window, dc);
        return failed;
    }

    std::vector<s32> attributes = context_attributes(major_version, minor_version, compatibility, debug);
    HGLRC context = create_context_attribs(dc, (HGLRC)share_context, attributes.data());
    if (!context) {
        log_error("wglCreateContextAttribsARB returned 0");
        ReleaseDC(window, dc);
        return failed;
    }
    if (!wglMakeCurrent(dc, context)) {
        log_error("wglMakeCurrent for the new context returned 0");
        wglDeleteContext(context);
        ReleaseDC(window, dc);
        return failed;
    }
    return {(GL_Context)context, dc, samples_obtained};
}

void *gl_platform_get_proc_address(const char *name) {
    return reinterpret_cast<void *>(wglGetProcAddress(name));
}

bool gl_make_current(Device_Context device_context, Window_Type window, GL_Context context) {
    return wglMakeCurrent(device_context, (HGLRC)context) != FALSE;
}

// The pixel format is set on the made window by gl_create_context.
Window_Pixel_Format gl_window_pixel_format(s32) { return {}; }

void gl_swap_buffers(Device_Context device_context, Window_Type window) {
    SwapBuffers(device_context);
}

bool gl_debugger_attached() { return IsDebuggerPresent() != FALSE; }
void gl_debug_break() { DebugBreak(); }
