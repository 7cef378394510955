// OpenGL context creation with GLX: the framebuffer configuration chosen with the same
// attributes and sample-count fallback as on Windows, then a 3.3 core context from
// GLX_ARB_create_context_profile, current on the calling thread. The "device context" of
// a window is the X display connection it is drawn through.
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <csignal>
#include <cstring>

#include "gl_context.h"
#include "log.h"
#include "window_x11.h"

// Not in every glx.h.
#ifndef GLX_FRAMEBUFFER_SRGB_CAPABLE_ARB
#define GLX_FRAMEBUFFER_SRGB_CAPABLE_ARB 0x20B2
#endif

namespace {

using Glx_Create_Context_Attribs_Arb = GLXContext (*)(Display *, GLXFBConfig, GLXContext, Bool, const int *);

struct Glx_Chooser_Data {
    Display *display;
    int screen;
    VisualID window_visual;
    GLXFBConfig chosen;
};

// One glXChooseFBConfig call (window_visual 0: any visual). The call counts as failed
// when it lists nothing the window can use, so the search goes on with fewer samples: the
// X server's configurations are few (8 samples is often not among them), and a window's
// visual, fixed when it was made, decides its sample count. Of the configurations found,
// the first one on the window's visual wins, one without alpha and with exactly the asked
// samples before any other.
bool choose_with_glx(void *data, s32 samples, s32 *format) {
    Glx_Chooser_Data *d = (Glx_Chooser_Data *)data;
    const int attributes[] = {
        GLX_X_RENDERABLE, True,
        GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
        GLX_RENDER_TYPE, GLX_RGBA_BIT,
        GLX_DOUBLEBUFFER, True,
        GLX_RED_SIZE, 8,
        GLX_GREEN_SIZE, 8,
        GLX_BLUE_SIZE, 8,
        GLX_ALPHA_SIZE, 0,
        GLX_DEPTH_SIZE, 24,
        GLX_STENCIL_SIZE, 0,
        GLX_ACCUM_RED_SIZE, 0,
        GLX_ACCUM_GREEN_SIZE, 0,
        GLX_ACCUM_BLUE_SIZE, 0,
        GLX_ACCUM_ALPHA_SIZE, 0,
        GLX_AUX_BUFFERS, 0,
        GLX_FRAMEBUFFER_SRGB_CAPABLE_ARB, True,
        GLX_SAMPLE_BUFFERS, samples != 0 ? 1 : 0,
        GLX_SAMPLES, samples,
        None,
    };
    int count = 0;
    GLXFBConfig *configs = glXChooseFBConfig(d->display, d->screen, attributes, &count);
    if (!configs || count <= 0) {
        if (configs) XFree(configs);
        return false;
    }
    int best = -1;
    for (int pass = 0; pass < 2 && best < 0; pass++) {
        for (int i = 0; i < count; i++) {
            int visual = 0, alpha = 0, sample_count = 0;
            glXGetFBConfigAttrib(d->display, configs[i], GLX_VISUAL_ID, &visual);
            glXGetFBConfigAttrib(d->display, configs[i], GLX_ALPHA_SIZE, &alpha);
            glXGetFBConfigAttrib(d->display, configs[i], GLX_SAMPLES, &sample_count);
            if (d->window_visual && (VisualID)visual != d->window_visual) continue;
            if (pass == 0 && (alpha != 0 || sample_count != samples)) continue;
            best = i;
            break;
        }
    }
    if (best >= 0) {
        *format = best;
        d->chosen = configs[best];
    }
    XFree(configs);
    return best >= 0;
}

}  // namespace

GL_Context_Result gl_create_context(Window_Type window, GL_Context share_context, s32 major_version,
                                    s32 minor_version, bool compatibility, bool debug, s32 samples) {
    const GL_Context_Result failed = {};
    Display *display = (Display *)x11_display();
    if (!display) {
        log_error("XOpenDisplay for the GL context returned null.");
        return failed;
    }
    int screen = DefaultScreen(display);

    // The counterpart of the bootstrap stage: GLX 1.3 configurations and the
    // context-creation extension, found without any context.
    int glx_major = 0, glx_minor = 0;
    const char *extensions = nullptr;
    if (glXQueryVersion(display, &glx_major, &glx_minor)) extensions = glXQueryExtensionsString(display, screen);
    auto create_context_attribs = (Glx_Create_Context_Attribs_Arb)glXGetProcAddressARB(
        (const GLubyte *)"glXCreateContextAttribsARB");
    bool has_profiles = extensions && strstr(extensions, "GLX_ARB_create_context_profile");
    if (glx_major < 1 || (glx_major == 1 && glx_minor < 3)) {
        log_error("GLX %.% is older than 1.3, which brought framebuffer configurations", glx_major, glx_minor);
        return failed;
    }
    if (!create_context_attribs || !has_profiles) {
        log_error("Missing a GLX extension: GLX_ARB_create_context_profile");
        return failed;
    }

    XWindowAttributes window_attributes = {};
    x11_begin_error_trap();
    Status have_attributes = XGetWindowAttributes(display, window, &window_attributes);
    bool window_ok = x11_end_error_trap() == 0 && have_attributes && window_attributes.visual;
    if (!window_ok) {
        log_error("XGetWindowAttributes of the window for the GL context failed");
        return failed;
    }

    Glx_Chooser_Data chooser = {display, screen, XVisualIDFromVisual(window_attributes.visual), nullptr};
    s32 format = choose_pixel_format_with_fallback(choose_with_glx, &chooser, samples);
    if (format == -1 || !chooser.chosen) {
        log_error("Couldn't find a working pixel format");
        return failed;
    }

    int samples_obtained = 0;
    glXGetFBConfigAttrib(display, chooser.chosen, GLX_SAMPLES, &samples_obtained);

    XVisualInfo *visual = glXGetVisualFromFBConfig(display, chooser.chosen);
    if (!visual) {
        log_error("glXGetVisualFromFBConfig returned null");
        return failed;
    }
    // An X window's visual is fixed when it is made: the configuration must draw on it.
    bool same_visual = visual->visualid == chooser.window_visual;
    XFree(visual);
    if (!same_visual) {
        log_error("The window was not made with the visual of the chosen GLX configuration");
        return failed;
    }

    std::vector<s32> attributes = context_attributes(major_version, minor_version, compatibility, debug);
    x11_begin_error_trap();
    GLXContext context =
        create_context_attribs(display, chooser.chosen, (GLXContext)share_context, True, attributes.data());
    bool created = x11_end_error_trap() == 0 && context;
    if (!created) {
        if (context) glXDestroyContext(display, context);
        log_error("glXCreateContextAttribsARB returned 0");
        return failed;
    }
    if (!glXMakeCurrent(display, window, context)) {
        log_error("glXMakeCurrent for the new context returned 0");
        glXDestroyContext(display, context);
        return failed;
    }
    return {(GL_Context)context, display, samples_obtained};
}

Window_Pixel_Format gl_window_pixel_format(s32 samples) {
    Window_Pixel_Format result;
    Display *display = (Display *)x11_display();
    if (!display) return result;
    Glx_Chooser_Data chooser = {display, DefaultScreen(display), 0, nullptr};
    if (choose_pixel_format_with_fallback(choose_with_glx, &chooser, samples) == -1 || !chooser.chosen) return result;
    XVisualInfo *info = glXGetVisualFromFBConfig(display, chooser.chosen);
    if (!info) return result;
    result.visual = info->visual;
    result.visual_id = info->visualid;
    result.depth = info->depth;
    XFree(info);
    return result;
}

void *gl_platform_get_proc_address(const char *name) {
    return (void *)glXGetProcAddressARB((const GLubyte *)name);
}

bool gl_make_current(Device_Context device_context, Window_Type window, GL_Context context) {
    return glXMakeCurrent((Display *)device_context, window, (GLXContext)context);
}

void gl_swap_buffers(Device_Context device_context, Window_Type window) {
    if (device_context) glXSwapBuffers((Display *)device_context, window);
}

bool gl_debugger_attached() {
    // A tracer's process id stands on the "TracerPid:" line; 0 when nobody traces us.
    FILE *status = fopen("/proc/self/status", "r");
    if (!status) return false;
    char line[256];
    bool attached = false;
    while (fgets(line, sizeof(line), status)) {
        if (strncmp(line, "TracerPid:", 10) == 0) {
            attached = atoi(line + 10) != 0;
            break;
        }
    }
    fclose(status);
    return attached;
}

void gl_debug_break() { raise(SIGTRAP); }
