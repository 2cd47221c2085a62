// The desktop window: SDL start and end, the one window with its renderer
// and streaming texture, presentation and frame pacing, and the cursor.
//
// Full screen never changes the user's display mode: the window covers the
// desktop and the renderer scales the picture up, keeping its aspect ratio.
// While the GPU path draws, the window has no renderer: the path's context
// (sdl_gl.cpp) presents, by the same scaling rule.
#include "platform/device/backend.h"
#include "platform/device/sdl/sdl_backend.h"

#include "platform/pixels/frame_expand.h"
#include "platform/gpu/gpu.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Presents are counted in groups of this many to check that a renderer which
// claims vsync really waits for the display. A group faster than the display
// means present does not block, and the frame ticks of the monotonic clock
// take over.
constexpr int kPacingGroup = 60;
// Displays that do not say their rate are taken for the common one.
constexpr int kDefaultRefreshHz = 60;

struct WindowState {
    int started;               // SDL's video subsystem is up
    SDL_Window* window;        // the one window; null when there is none
    SDL_Renderer* renderer;    // draws into the window
    SDL_Texture* texture;      // the picture, streamed in on every present
    int textureWidth;          // texture size in pixels
    int textureHeight;
    uint32_t textureFormat;    // the texture's SDL pixel format; 0 until one is made
    int clientWidth;           // the picture's (logical) size
    int clientHeight;
    std::vector<uint32_t> frameRows;  // a frame widened for the GPU path's context
    int windowed;              // 1 window mode, 0 full screen
    int hasVsync;              // the renderer waits for the display in present
    int vsyncUnreliable;       // ... but presents returned too fast to believe it
    uint32_t pacingStartMs;    // when the current group of presents began
    int pacingCount;           // presents in the current group
    int mouseX, mouseY;        // last mouse position in client (logical) coordinates
    int cursorCount;           // the cursor's display count; shown while >= 0
};

WindowState gWindow;

void ReportNoDisplay(const char* reason) {
    std::string text = "No display found (";
    text += reason;
    text += "). To run without a display: TESSEL_PLATFORM=headless ./ballistor "
            "(add TESSEL_INPUT=script.txt for scripted input).";
    PlatPrintError(text.c_str());
}

// SDL's drivers that draw into memory and show nothing.
bool IsVirtualVideoDriver(const char* driver) {
    return driver && (SDL_strcasecmp(driver, "dummy") == 0 ||
                      SDL_strcasecmp(driver, "offscreen") == 0 ||
                      SDL_strcasecmp(driver, "evdev") == 0);
}

// A driver that shows nothing is taken only when the user named it: SDL
// falls back to one by itself when the display cannot be opened, and the
// program would then run on unseen.
bool VirtualVideoDriverChosen() { return IsVirtualVideoDriver(std::getenv("SDL_VIDEODRIVER")); }

const char* DisplayName() {
    const char* name = std::getenv("DISPLAY");
    if (name && *name) return name;
    name = std::getenv("WAYLAND_DISPLAY");
    if (name && *name) return name;
    return nullptr;
}

void DestroyTexture() {
    if (gWindow.texture) SDL_DestroyTexture(gWindow.texture);
    gWindow.texture = nullptr;
    gWindow.textureWidth = 0;
    gWindow.textureHeight = 0;
}

// The texture and the renderer's logical size follow the picture's size;
// the texture's format follows the frames handed over. Formats the renderer
// lacks are converted by SDL on upload.
int UseTexture(int width, int height, uint32_t format) {
    if (gWindow.texture && gWindow.textureWidth == width && gWindow.textureHeight == height &&
        gWindow.textureFormat == format)
        return 0;
    DestroyTexture();
    gWindow.texture =
        SDL_CreateTexture(gWindow.renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!gWindow.texture) return -1;
    // The frame's top byte is not alpha; blending must not see it.
    SDL_SetTextureBlendMode(gWindow.texture, SDL_BLENDMODE_NONE);
    gWindow.textureWidth = width;
    gWindow.textureHeight = height;
    gWindow.textureFormat = format;
    SDL_RenderSetLogicalSize(gWindow.renderer, width, height);
    return 0;
}

int UseClientSize(int width, int height) {
    gWindow.clientWidth = width;
    gWindow.clientHeight = height;
    if (!gWindow.renderer) return SdlGlActive() ? 0 : -1;
    uint32_t format = gWindow.textureFormat;
    return UseTexture(width, height, format ? format : uint32_t{SDL_PIXELFORMAT_ARGB8888});
}

uint32_t TextureFormatOf(PlatFrameFormat format) {
    return format == FrameRgb555 ? SDL_PIXELFORMAT_RGB555 : SDL_PIXELFORMAT_ARGB8888;
}

// Palette textures are not streamed by SDL, so an 8-bit frame is looked up
// into 32-bit pixels. So is a 5:6:5 frame: SDL's software renderer widens
// six-bit green to 0xFE at most, and white must stay white. Both are written
// straight into the locked texture, one pass over the frame.
int ExpandIntoTexture(const PlatFrame* frame) {
    void* locked = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(gWindow.texture, nullptr, &locked, &pitch) != 0) return -1;
    const uint8_t* rows = static_cast<const uint8_t*>(frame->rows);
    for (int y = 0; y < frame->height; ++y) {
        const uint8_t* in = rows + static_cast<ptrdiff_t>(y) * frame->pitchBytes;
        auto* out = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked) +
                                                static_cast<ptrdiff_t>(y) * pitch);
        if (frame->format == FrameRgb565) {
            ExpandRow565(out, in, frame->width);
            continue;
        }
        for (int x = 0; x < frame->width; ++x)
            out[x] = frame->palette ? frame->palette[in[x]] : uint32_t{in[x]} * 0x010101u;
    }
    SDL_UnlockTexture(gWindow.texture);
    return 0;
}

// Present waits for the display, through the renderer or the GPU context.
int Vsynced() { return SdlGlActive() ? SdlGlVsync() : gWindow.renderer && gWindow.hasVsync; }

void CheckPacing() {
    if (!Vsynced() || gWindow.vsyncUnreliable) return;
    // A hidden or minimised window may present without waiting; that says
    // nothing about the display.
    if (SDL_GetWindowFlags(gWindow.window) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) {
        gWindow.pacingCount = 0;
        return;
    }
    uint32_t now = SdlTicksMs();
    if (gWindow.pacingCount == 0) gWindow.pacingStartMs = now;
    if (++gWindow.pacingCount <= kPacingGroup) return;
    if (SdlPresentsOutpaceDisplay(kPacingGroup, now - gWindow.pacingStartMs, SdlRefreshHz()))
        gWindow.vsyncUnreliable = 1;
    gWindow.pacingCount = 0;
}

void Show() {
    if (!gWindow.renderer) {
        PlatGpuShowTarget();
        return;
    }
    SDL_SetRenderDrawColor(gWindow.renderer, 0, 0, 0, 255);
    SDL_RenderClear(gWindow.renderer);
    if (gWindow.texture) SDL_RenderCopy(gWindow.renderer, gWindow.texture, nullptr, nullptr);
    SDL_RenderPresent(gWindow.renderer);
}

SDL_Renderer* CreateRenderer(SDL_Window* window) {
    SDL_Renderer* renderer =
        SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    return renderer;
}

// The mouse position at creation, before any motion event has told it.
void ReadMousePosition() {
    int globalX = 0, globalY = 0, windowX = 0, windowY = 0;
    SDL_GetGlobalMouseState(&globalX, &globalY);
    SDL_GetWindowPosition(gWindow.window, &windowX, &windowY);
    float logicalX = 0, logicalY = 0;
    SDL_RenderWindowToLogical(gWindow.renderer, globalX - windowX, globalY - windowY, &logicalX,
                              &logicalY);
    gWindow.mouseX = static_cast<int>(logicalX);
    gWindow.mouseY = static_cast<int>(logicalY);
}

SDL_Rect DisplayBounds() {
    int display = gWindow.window ? SDL_GetWindowDisplayIndex(gWindow.window) : 0;
    SDL_Rect bounds{0, 0, 0, 0};
    if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0)
        SDL_GetDisplayBounds(0, &bounds);
    return bounds;
}

// Full screen is asked of the window manager; the window is also made a
// borderless one covering the display, which is all there is to full screen
// when no window manager runs.
void EnterFullScreen() {
    SDL_Rect bounds = DisplayBounds();
    SDL_SetWindowBordered(gWindow.window, SDL_FALSE);
    SDL_SetWindowPosition(gWindow.window, bounds.x, bounds.y);
    SDL_SetWindowSize(gWindow.window, bounds.w, bounds.h);
    SDL_SetWindowFullscreen(gWindow.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
}

void EnterWindowed(int width, int height, int hasPosition, int x, int y) {
    SDL_SetWindowFullscreen(gWindow.window, 0);
    SDL_SetWindowBordered(gWindow.window, SDL_TRUE);
    SDL_SetWindowSize(gWindow.window, width, height);
    if (hasPosition)
        SDL_SetWindowPosition(gWindow.window, x, y);
    else
        SDL_SetWindowPosition(gWindow.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

}  // namespace

int SdlStart() {
    if (gWindow.started) return 0;
    if (!VirtualVideoDriverChosen() && !DisplayName()) {
        ReportNoDisplay("neither DISPLAY nor WAYLAND_DISPLAY is set");
        return -1;
    }
    // One window, so closing it is the library's business, not a quit.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // Joypads keep reporting while the window is in the background.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // The window class by which the window can be found, unless the user chose one.
    SDL_setenv("SDL_VIDEO_X11_WMCLASS", "Tessel", 0);
    SdlTextInputHints();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        ReportNoDisplay(SDL_GetError());
        SDL_Quit();
        return -1;
    }
    if (!VirtualVideoDriverChosen() && IsVirtualVideoDriver(SDL_GetCurrentVideoDriver())) {
        std::string reason = "cannot open the display \"";
        reason += DisplayName();
        reason += "\"";
        ReportNoDisplay(reason.c_str());
        SDL_Quit();
        return -1;
    }
    // Text input (and the input method) runs only while an input field is
    // active; SDL starts it with the video.
    SDL_StopTextInput();
    // The window system's key events tell what a key types while it is off.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    // Without joypad support the game still runs; the pads just count 0.
    SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    gWindow = WindowState{};
    gWindow.started = 1;
    return 0;
}

void SdlStop() {
    if (!gWindow.started) return;
    SdlDestroyWindow();
    SdlJoypadCloseAll();
    PlatReleaseAllKeys();
    SdlKeyboardClose();
    SdlResetMessages();
    SDL_Quit();
    gWindow = WindowState{};
}

std::string SdlInstanceScope() {
    const char* display = DisplayName();
    if (display) return std::string("sdl:") + display;
    const char* driver = SDL_GetCurrentVideoDriver();
    return std::string("sdl:") + (driver ? driver : "none");
}

void SdlDesktopMode(int* width, int* height, int* depth) {
    int display = gWindow.window ? SDL_GetWindowDisplayIndex(gWindow.window) : 0;
    SDL_DisplayMode mode{};
    if (display < 0 || SDL_GetDesktopDisplayMode(display, &mode) != 0) {
        *width = *height = *depth = 0;
        return;
    }
    *width = mode.w;
    *height = mode.h;
    // A 24-bit X visual is stored in 32-bit pixels, which is what a program
    // asking for the desktop's depth means; only packed 24-bit pixels are 24.
    int bits = SDL_BITSPERPIXEL(mode.format);
    if (bits == 24 && SDL_BYTESPERPIXEL(mode.format) == 4) bits = 32;
    *depth = bits;
}

int SdlCreateWindow(const PlatWindowDesc* desc) {
    if (!gWindow.started) return -1;
    SdlDestroyWindow();
    const char* title = desc->title && *desc->title ? desc->title : "Tessel";
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    int width = desc->width, height = desc->height;
    // Hidden until the renderer is made: making it may replace the window
    // with one its drawing API can use, which should not flash on screen.
    uint32_t flags = SDL_WINDOW_HIDDEN;
    // A window for the GPU path's context; the renderer takes it all the same.
    if (PlatGpuRequested()) flags |= SDL_WINDOW_OPENGL;
    if (!desc->windowed) {
        SDL_Rect bounds = DisplayBounds();
        x = bounds.x;
        y = bounds.y;
        width = bounds.w;
        height = bounds.h;
        flags |= SDL_WINDOW_BORDERLESS;
    } else if (desc->hasPosition) {
        x = desc->x;
        y = desc->y;
    }
    gWindow.window = SDL_CreateWindow(title, x, y, width, height, flags);
    // A video driver without GL refuses such a window; the path then does
    // without, and the window is made as always.
    if (!gWindow.window && (flags & SDL_WINDOW_OPENGL))
        gWindow.window = SDL_CreateWindow(title, x, y, width, height, flags & ~SDL_WINDOW_OPENGL);
    if (!gWindow.window) return -1;
    gWindow.renderer = CreateRenderer(gWindow.window);
    if (!gWindow.renderer) {
        SdlDestroyWindow();
        return -1;
    }
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(gWindow.renderer, &info);
    gWindow.hasVsync = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    gWindow.windowed = desc->windowed != 0;
    if (UseClientSize(desc->width, desc->height) != 0) {
        SdlDestroyWindow();
        return -1;
    }
    if (!desc->windowed) EnterFullScreen();
    SDL_ShowWindow(gWindow.window);
    // Black at once, so the window never shows whatever was under it.
    Show();
    ReadMousePosition();
    SDL_ShowCursor(gWindow.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return 0;
}

void SdlDestroyWindow() {
    // Should the window go while the GPU half still draws in its context
    // (the library stops the path first), that half ends with it, so that
    // its later calls find no context and do nothing.
    if (SdlGlActive()) PlatGpuStop();
    SdlGlDestroy();
    DestroyTexture();
    if (gWindow.renderer) SDL_DestroyRenderer(gWindow.renderer);
    if (gWindow.window) SDL_DestroyWindow(gWindow.window);
    gWindow.renderer = nullptr;
    gWindow.window = nullptr;
    gWindow.hasVsync = 0;
    gWindow.pacingCount = 0;
}

int SdlHasWindow() { return gWindow.window != nullptr; }

SDL_Window* SdlWindow() { return gWindow.window; }

int SdlSetWindowMode(int windowed, int width, int height, int hasPosition, int x, int y) {
    if (!gWindow.window) return -1;
    if (windowed)
        EnterWindowed(width, height, hasPosition, x, y);
    else
        EnterFullScreen();
    gWindow.windowed = windowed != 0;
    if (UseClientSize(width, height) != 0) return -1;
    SDL_RaiseWindow(gWindow.window);
    Show();
    return 0;
}

void SdlClientOrigin(int* x, int* y) {
    *x = 0;
    *y = 0;
    if (gWindow.window && gWindow.windowed) SDL_GetWindowPosition(gWindow.window, x, y);
}

void SdlSetWindowIcon(const uint32_t* argb, int width, int height) {
    if (!gWindow.window || !argb || width <= 0 || height <= 0) return;
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(argb), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!icon) return;
    SDL_SetWindowIcon(gWindow.window, icon);
    SDL_FreeSurface(icon);
}

int SdlRefreshHz() {
    int display = gWindow.window ? SDL_GetWindowDisplayIndex(gWindow.window) : 0;
    SDL_DisplayMode mode{};
    if (!gWindow.started || display < 0 || SDL_GetCurrentDisplayMode(display, &mode) != 0 ||
        mode.refresh_rate <= 0)
        return kDefaultRefreshHz;
    return mode.refresh_rate;
}

// A quarter above the display's rate leaves room for a driver that queues a
// frame or two before it blocks.
int SdlPresentsOutpaceDisplay(int presents, uint32_t elapsedMs, int refreshHz) {
    return uint64_t(presents) * 1000 * 4 > uint64_t(elapsedMs) * uint64_t(refreshHz) * 5;
}

int SdlWaitVBlank() {
    int hz = SdlRefreshHz();
    // A renderer that really has vsync waits inside present; waiting for a
    // tick here as well could miss every other display refresh. Some wait
    // loosely (a virtual X server's frame clock is a timer, and lets frames
    // bunch): the rate is kept all the same.
    if (Vsynced() && !gWindow.vsyncUnreliable) {
        SdlKeepToRate(hz);
        return 0;
    }
    SdlSleepUntilNextFrameTick(hz);
    return 0;
}

namespace {

// A frame drawn on the CPU while the GPU context holds the window: widened
// to 0x00RRGGBB rows and shown through the context.
void PresentThroughContext(const PlatFrame* frame) {
    int width = frame->width, height = frame->height;
    gWindow.frameRows.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        uint32_t* out = gWindow.frameRows.data() + ptrdiff_t(y) * width;
        if (frame->pixels) {
            const uint32_t* in = frame->pixels + ptrdiff_t(y) * frame->pitchPixels;
            std::memcpy(out, in, size_t(width) * sizeof(uint32_t));
            continue;
        }
        const uint8_t* in = static_cast<const uint8_t*>(frame->rows) + ptrdiff_t(y) * frame->pitchBytes;
        for (int x = 0; x < width; ++x) {
            if (frame->format == FrameRgb565) {
                out[x] = Expand565(uint32_t(in[2 * x]) | uint32_t(in[2 * x + 1]) << 8);
            } else if (frame->format == FrameRgb555) {
                uint32_t v = uint32_t(in[2 * x]) | uint32_t(in[2 * x + 1]) << 8;
                uint32_t r = v >> 10 & 31, g = v >> 5 & 31, b = v & 31;
                out[x] = (r << 3 | r >> 2) << 16 | (g << 3 | g >> 2) << 8 | (b << 3 | b >> 2);
            } else if (frame->format == FrameIndex8) {
                out[x] = frame->palette ? frame->palette[in[x]] : uint32_t{in[x]} * 0x010101u;
            } else {
                std::memcpy(&out[x], in + 4 * x, 4);
            }
        }
    }
    PlatGpuShowPixels(gWindow.frameRows.data(), width, height);
}

}  // namespace

void SdlPresent(const PlatFrame* frame) {
    if (!frame || (!frame->pixels && !frame->rows)) return;
    if (!gWindow.renderer) {
        if (!SdlGlActive()) return;
        PresentThroughContext(frame);
        CheckPacing();
        return;
    }
    const void* pixels = frame->pixels;
    int pitch = frame->pitchPixels * static_cast<int>(sizeof(uint32_t));
    PlatFrameFormat format = FrameXrgb8888;
    if (frame->rows) {
        pixels = frame->rows;
        pitch = frame->pitchBytes;
        format = frame->format;
    }
    bool expand = format == FrameIndex8 || format == FrameRgb565;
    if (UseTexture(frame->width, frame->height, TextureFormatOf(expand ? FrameXrgb8888 : format)) != 0)
        return;
    if (expand) {
        if (ExpandIntoTexture(frame) != 0) return;
    } else {
        SDL_UpdateTexture(gWindow.texture, nullptr, pixels, pitch);
    }
    Show();
    CheckPacing();
}

// The renderer dropped its textures (a device reset): the next present
// makes the texture again.
void SdlForgetTexture() { DestroyTexture(); }

int SdlIsFullScreen() { return gWindow.window && !gWindow.windowed; }

void SdlRedraw() {
    if (gWindow.renderer || SdlGlActive()) Show();
}

void SdlDropRenderer() {
    DestroyTexture();
    if (gWindow.renderer) SDL_DestroyRenderer(gWindow.renderer);
    gWindow.renderer = nullptr;
    gWindow.hasVsync = 0;
}

void SdlRestoreRenderer() {
    if (!gWindow.window || gWindow.renderer) return;
    gWindow.renderer = CreateRenderer(gWindow.window);
    if (!gWindow.renderer) return;
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(gWindow.renderer, &info);
    gWindow.hasVsync = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    gWindow.textureFormat = 0;
    UseClientSize(gWindow.clientWidth, gWindow.clientHeight);
}

// Without the renderer nothing scales the mouse's window coordinates into
// the picture's; the context shows it by the renderer's rule, so they are
// mapped back by the same.
void SdlWindowToLogical(int* x, int* y) {
    if (gWindow.renderer || !SdlGlActive()) return;
    int width = 0, height = 0;
    SDL_GetWindowSize(gWindow.window, &width, &height);
    PlatViewport view = PlatLetterbox(width, height, gWindow.clientWidth, gWindow.clientHeight);
    *x = int(std::floor(float(*x - view.x) / view.scale));
    *y = int(std::floor(float(*y - view.y) / view.scale));
}

void SdlNoteMousePosition(int x, int y) {
    gWindow.mouseX = x;
    gWindow.mouseY = y;
}

void SdlGetCursorPos(int* x, int* y) {
    SdlClientOrigin(x, y);
    *x += gWindow.mouseX;
    *y += gWindow.mouseY;
}

void SdlSetCursorPos(int x, int y) {
    if (!gWindow.window) return;
    int originX = 0, originY = 0;
    SdlClientOrigin(&originX, &originY);
    int logicalX = x - originX, logicalY = y - originY;
    int windowX = logicalX, windowY = logicalY;
    if (gWindow.renderer) {
        SDL_RenderLogicalToWindow(gWindow.renderer, static_cast<float>(logicalX),
                                  static_cast<float>(logicalY), &windowX, &windowY);
    } else if (SdlGlActive()) {
        int width = 0, height = 0;
        SDL_GetWindowSize(gWindow.window, &width, &height);
        PlatViewport view = PlatLetterbox(width, height, gWindow.clientWidth, gWindow.clientHeight);
        windowX = view.x + int(float(logicalX) * view.scale);
        windowY = view.y + int(float(logicalY) * view.scale);
    }
    SDL_WarpMouseInWindow(gWindow.window, windowX, windowY);
    SdlNoteMousePosition(logicalX, logicalY);
}

int SdlShowCursor(int show) {
    gWindow.cursorCount += show ? 1 : -1;
    if (gWindow.started) SDL_ShowCursor(gWindow.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return gWindow.cursorCount;
}
