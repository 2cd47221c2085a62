// The desktop's device context: a 3.3 core context on the window itself.
// The window's own renderer holds a context of its own that would fight
// ours for the window, so it is put away while ours runs and made again
// when ours ends (or could not be made).
#include "platform/device/sdl/sdl_backend.h"

#include <cstdio>

namespace {

struct GlWindowState {
    SDL_GLContext context;  // null while the renderer presents
    int vsync;              // the swap waits for the display
};

GlWindowState gGlWindow;

int Refuse(char* why, int whySize, const char* reason) {
    std::snprintf(why, size_t(whySize), "%s (%s)", reason, SDL_GetError());
    return -1;
}

}  // namespace

int SdlGlCreate(char* why, int whySize) {
    SDL_Window* window = SdlWindow();
    if (!window) return Refuse(why, whySize, "no window");
    if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL))
        return Refuse(why, whySize, "the window takes no GL context");
    SdlDropRenderer();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context || SDL_GL_MakeCurrent(window, context) != 0) {
        Refuse(why, whySize, "no GL 3.3 core context on the window");
        if (context) SDL_GL_DeleteContext(context);
        SDL_GL_ResetAttributes();
        SdlRestoreRenderer();
        return -1;
    }
    gGlWindow.context = context;
    // Taken as the renderer takes its own: asked for, it counts as on even
    // where the window refuses the interval, and the pace of the presents
    // then shows whether the display waits (the window's pacing check).
    // Both paths so pace their frames alike.
    SDL_GL_SetSwapInterval(1);
    gGlWindow.vsync = 1;
    return 0;
}

void SdlGlDestroy() {
    if (!gGlWindow.context) return;
    SDL_GL_MakeCurrent(SdlWindow(), nullptr);
    SDL_GL_DeleteContext(gGlWindow.context);
    gGlWindow = GlWindowState{};
    // The renderer asks for the context it needs by itself.
    SDL_GL_ResetAttributes();
    SdlRestoreRenderer();
}

int SdlGlActive() { return gGlWindow.context != nullptr; }

int SdlGlMakeCurrent() {
    if (!gGlWindow.context) return -1;
    if (SDL_GL_GetCurrentContext() == gGlWindow.context) return 0;
    return SDL_GL_MakeCurrent(SdlWindow(), gGlWindow.context) == 0 ? 0 : -1;
}

int SdlGlVsync() { return gGlWindow.vsync; }

void SdlGlSwap() {
    if (gGlWindow.context) SDL_GL_SwapWindow(SdlWindow());
}

void SdlGlDrawableSize(int* width, int* height) {
    *width = *height = 0;
    if (gGlWindow.context) SDL_GL_GetDrawableSize(SdlWindow(), width, height);
}
