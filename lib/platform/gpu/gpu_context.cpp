// The device context: where the back end has a window, a 3.3 core context
// on it (the table's gl entries), which also presents; elsewhere one on
// Mesa's surfaceless EGL platform, which needs no display and no window.
// Both draw into the same kind of off-screen target.
#include "platform/gpu/gpu_context.h"

#include "platform/device/backend.h"
#include "platform/gpu/gpu.h"
#include "platform/platform.h"

#include <epoxy/egl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct ContextState {
    EGLDisplay display;
    EGLContext context;
    int softwareDevice;  // the display's device says it draws in software
    int onWindow;        // the back end's window holds the context
};

ContextState gContext = {EGL_NO_DISPLAY, EGL_NO_CONTEXT, 0, 0};
int gRequest = -1;  // kept for the life of the process

int Refuse(char* why, int whySize, const char* reason) {
    std::snprintf(why, size_t(whySize), "%s (EGL 0x%04X)", reason, unsigned(eglGetError()));
    return -1;
}

int SoftwareDevice(EGLDisplay display) {
    if (!epoxy_has_egl_extension(display, "EGL_EXT_device_query")) return 0;
    EGLAttrib device = 0;
    if (!eglQueryDisplayAttribEXT(display, EGL_DEVICE_EXT, &device) || !device) return 0;
    const char* extensions =
        eglQueryDeviceStringEXT(reinterpret_cast<EGLDeviceEXT>(device), EGL_EXTENSIONS);
    return extensions && std::strstr(extensions, "EGL_MESA_device_software") != nullptr;
}

const PlatformBackend* WindowContext() {
    const PlatformBackend* backend = PlatCurrentBackend();
    return backend->glCreate ? backend : nullptr;
}

}  // namespace

int GpuContextCreate(char* why, int whySize) {
    if (WindowContext() && PlatHasWindow()) {
        if (WindowContext()->glCreate(why, whySize) != 0) return -1;
        gContext.onWindow = 1;
        return 0;
    }
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless"))
        return Refuse(why, whySize, "no surfaceless EGL platform");
    EGLDisplay display =
        eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor))
        return Refuse(why, whySize, "EGL display refused");
    if (!eglBindAPI(EGL_OPENGL_API)) {
        eglTerminate(display);
        return Refuse(why, whySize, "no desktop GL through EGL");
    }
    // A reset is reported (PlatGpuContextLost) where the driver offers it.
    EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                           EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                           EGL_CONTEXT_OPENGL_RESET_NOTIFICATION_STRATEGY,
                           EGL_LOSE_CONTEXT_ON_RESET, EGL_NONE};
    if (!epoxy_has_egl_extension(display, "EGL_EXT_create_context_robustness")) attributes[6] = EGL_NONE;
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT && attributes[6] != EGL_NONE) {
        attributes[6] = EGL_NONE;
        context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    }
    if (context == EGL_NO_CONTEXT) {
        Refuse(why, whySize, "no GL 3.3 core context");
        eglTerminate(display);
        return -1;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        Refuse(why, whySize, "context not made current");
        eglDestroyContext(display, context);
        eglTerminate(display);
        return -1;
    }
    gContext = ContextState{display, context, SoftwareDevice(display), 0};
    return 0;
}

void GpuContextDestroy() {
    if (WindowContext()) WindowContext()->glDestroy();
    if (gContext.display != EGL_NO_DISPLAY) {
        eglMakeCurrent(gContext.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(gContext.display, gContext.context);
        eglTerminate(gContext.display);
    }
    gContext = ContextState{EGL_NO_DISPLAY, EGL_NO_CONTEXT, 0, 0};
}

int GpuContextSoftwareDevice() { return gContext.softwareDevice; }

int GpuContextMakeCurrent() {
    if (gContext.display == EGL_NO_DISPLAY)
        return gContext.onWindow ? WindowContext()->glMakeCurrent() : -1;
    if (eglGetCurrentContext() == gContext.context) return 0;
    return eglMakeCurrent(gContext.display, EGL_NO_SURFACE, EGL_NO_SURFACE, gContext.context)
               ? 0
               : -1;
}

void PlatGpuSetRequest(int flag) {
    gRequest = flag < PlatGpuOff || flag > PlatGpuIfHardware ? -1 : flag;
}

int PlatGpuRequested() {
    if (gRequest >= 0) return gRequest;
    if (const char* env = std::getenv("TESSEL_GPU"); env && (env[0] == '0' || env[0] == '1'))
        return env[0] == '1' ? PlatGpuForced : PlatGpuOff;
    // A back end that shows the path on its window tries it by default.
    return WindowContext() ? PlatGpuIfHardware : PlatGpuOff;
}

int GpuContextShows() { return gContext.onWindow; }

void GpuContextSwap() {
    if (gContext.onWindow) WindowContext()->glSwap();
}

void GpuContextViewport(int width, int height, int view[4]) {
    int windowWidth = 0, windowHeight = 0;
    if (gContext.onWindow) WindowContext()->glDrawableSize(&windowWidth, &windowHeight);
    PlatViewport v = PlatLetterbox(windowWidth, windowHeight, width, height);
    view[0] = v.x;
    // GL counts rows from the bottom.
    view[1] = windowHeight - v.y - v.height;
    view[2] = v.width;
    view[3] = v.height;
}
