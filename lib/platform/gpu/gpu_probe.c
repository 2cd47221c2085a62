/* Configure-time probe: exits 0 when a GL 3.3 core context can be made on
 * Mesa's surfaceless EGL platform, so that the test suite also runs on the
 * GPU path. Built by try_run only, never into the library. */
#include <epoxy/egl.h>

int main(void) {
    EGLint major, minor;
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLDisplay display;
    EGLContext context;
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless")) return 1;
    display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, 0);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) return 1;
    if (!eglBindAPI(EGL_OPENGL_API)) return 1;
    context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) return 1;
    eglDestroyContext(display, context);
    eglTerminate(display);
    return 0;
}
