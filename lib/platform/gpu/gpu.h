// The GPU seam: everything the drawing code needs of the graphics device,
// without any of the device's own types. One context draws into one render
// target the size of the screen (colour and depth); textures are named by
// plain numbers; 2-D quads are gathered into a batch that goes to the device
// as one draw call for as long as the texture and the state stay the same.
//
// Only lib/platform/gpu_*.cpp include the device headers.
#ifndef TESSEL_PLATFORM_GPU_H
#define TESSEL_PLATFORM_GPU_H

#include <cstdint>

// One corner of a 2-D quad, in target pixels (y down) and texels of the
// texture it samples.
//
// With the state's `walk` set the texel is not interpolated but found as
// the software's rotating walk finds it, in 14.18 fixed point and 32-bit
// wrap-around: u = u0 + x * dudx + y * dudy at target pixel (x, y) (v
// likewise), truncated toward zero, drawn only inside the walk's box
// (left, top, right, bottom); (u, v) of the corners then hold the tile's
// offset in the graph.
struct PlatGpuWalk {
    int32_t u0, v0, dudx, dvdx;
    int32_t dudy, dvdy, left, top;
    int32_t right, bottom;
};

// With `solid` 1 the corner samples no texture and is drawn in `colour`
// (RGBA bytes, the alpha byte the screen pixel's spare bits), opaque.
struct PlatGpuVertex {
    float x, y;
    float u, v;
    PlatGpuWalk walk;
    uint32_t colour;
    uint32_t solid;
};

// What a quad is drawn with besides its texture; a change of any of it ends
// the batch.
struct PlatGpuQuadState {
    // Filled by name; what a draw leaves out is off.
    int scissorLeft = 0, scissorTop = 0, scissorRight = 0, scissorBottom = 0;  // target pixels
    int filter = 0;   // 0 nearest, 1 bilinear
    int walk = 0;     // the quads' texels come from their walk (see PlatGpuWalk)
    int keyed = 0;    // texels of colour `key` are not drawn
    uint32_t key = 0; // RGBA bytes; 0 when not keyed, so that equal states compare equal
    // The target's alpha byte holds the screen pixels' spare bits. -1: the
    // texture has no alpha, its alpha byte is the spare bits, and texels
    // are copied whole; else a texel's alpha byte is its alpha, and where
    // the screen has spare bits a pixel it covers fully gets `spare` as its
    // spare bits and a mixed pixel none.
    int spare = 0;
    // A texture of glyph runs, written without blending: 0 an ordinary
    // quad; else a texel of alpha 255 (a set bit) writes `solid`, one of
    // alpha 128 (a clear bit) writes black when this is 2 and is skipped
    // when 1, and one of alpha 0 (between the glyphs) is skipped.
    int glyph = 0;
    uint32_t solid = 0;  // RGBA bytes; 0 unless `glyph`
    // The blend mode (1 alpha, 2 add, 3 multiply, 4 subtract; 0 the plain
    // draw above) and, in RGBA bytes, the tint that multiplies the colour
    // with the weight of the source in the alpha byte; 0 unless `blend`.
    // Under a blend the texel's alpha times that weight mixes it (a texture
    // without alpha counts as opaque), and the spare bits follow the
    // software blitters: a pixel the alpha mode covers wholly gets the
    // graph's, every other one drawn gets none.
    int blend = 0;
    uint32_t tint = 0;
    // A walking quad of a mirrored graph this many texels wide: the walk's
    // texel column c is read as mirror - 1 - c. 0: not mirrored.
    int mirror = 0;
};

// One mesh vertex: position, normal, texture coordinate (0..1).
struct PlatGpuMeshVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

// A mesh draw: triangles of `vertices`, placed by `model` and seen through
// `viewProjection` (both column-major 4 x 4), lit by one directional light.
struct PlatGpuMeshDraw {
    const PlatGpuMeshVertex* vertices;
    int count;
    float model[16];
    float viewProjection[16];
    float lightDir[3];   // towards the light, normalised
    float ambient;       // 0..1
    float colour[4];     // 0..1, multiplies the texel
    uint32_t texture;    // 0: colour alone
    // The texture's alpha byte is the graph's alpha channel; else it holds
    // the screen pixels' spare bits, and the texel is opaque.
    int textureAlpha;
    PlatGpuQuadState state;
};

// Whether the path is asked for: the flag given here (SetGpuDrawing's;
// -1 withdraws it), else TESSEL_GPU (0 or 1), else the back end's default:
// the desktop asks for it where the device draws in hardware, headless
// runs do not.
enum PlatGpuRequest { PlatGpuOff = 0, PlatGpuForced = 1, PlatGpuIfHardware = 2 };
void PlatGpuSetRequest(int flag);
int PlatGpuRequested();

// The screen's pixels as the device sees them: each channel's width (red,
// green, blue; the target keeps 8 bits a channel, and a picture shown in the
// window is rounded to these), and whether the format has spare bits,
// which the target's alpha byte then keeps.
struct PlatGpuFormat {
    int bits[3];
    int spare;
};

// Starts the device with a render target of width x height for screens of
// `format`. 0, or -1 with a short reason in `why` (no EGL, no 3.3 core
// context, a shader refused).
int PlatGpuStart(int width, int height, const PlatGpuFormat& format, char* why, int whySize);
void PlatGpuStop();
int PlatGpuRunning();
// The running device's name (GL_RENDERER), and 1 when it is a software
// rasterizer: a name of Mesa's (llvmpipe, softpipe, swrast) or an EGL
// device that says so.
const char* PlatGpuRenderer();
int PlatGpuSoftware();
// Largest texture side the device takes.
int PlatGpuMaxTextureSize();

// A texture of width x height, zero texels; 0 when the device refuses.
uint32_t PlatGpuCreateTexture(int width, int height);
// Writes a rectangle of RGBA bytes (rows `pitch` pixels apart) into it.
void PlatGpuUploadTexture(uint32_t texture, int x, int y, int width, int height,
                          const uint32_t* rgba, int pitch);
void PlatGpuFreeTexture(uint32_t texture);

// Clears the whole target's colour to (red, green, blue) and its depth to far.
void PlatGpuClear(int red, int green, int blue);
// Adds a quad of `texture` (width x height texels); the batch goes out when
// the texture or the state differs from the batch's. A quad of texture 0
// has solid corners and joins any batch whose state differs only in what
// concerns texels (filter, key, spare bits), so shapes drawn between sprites
// go out with them.
void PlatGpuQuad(uint32_t texture, int textureWidth, int textureHeight, const PlatGpuVertex quad[4],
                 const PlatGpuQuadState& state);
// Sends the pending batch.
void PlatGpuFlush();
// Quads the caller holds back to add later in one go (runs of glyphs, each
// growing until its string ends): `send` adds them, called once before
// anything else reaches the batch or the device.
void PlatGpuHold(void (*send)());
// Draw calls and quads sent since the last reset.
int PlatGpuDrawCalls();
int PlatGpuQuadsSent();
void PlatGpuResetDrawCalls();
// Depth-tested triangles; flushes the quad batch first.
void PlatGpuDrawMesh(const PlatGpuMeshDraw& mesh);

// The target's pixels as RGBA bytes, top row first, rows `pitch` pixels
// apart; the whole target is written by PlatGpuWriteTarget likewise.
void PlatGpuReadTarget(uint32_t* rgba, int pitch);
void PlatGpuWriteTarget(const uint32_t* rgba, int pitch);
// The target's pixels as 0xAARRGGBB words (alpha 255), rows likewise.
void PlatGpuReadTargetXrgb(uint32_t* xrgb, int pitch);
// 1 when the context belongs to a window (the desktop) and presents there.
int PlatGpuShowsWindow();
// Draws the target into the window, scaled and letterboxed by the
// renderer's rule, and swaps (waiting for the display where it can).
void PlatGpuShowTarget();
// Shows width x height 0x00RRGGBB pixels drawn on the CPU likewise.
void PlatGpuShowPixels(const uint32_t* xrgb, int width, int height);
// Waits until the device has done everything sent.
void PlatGpuFinish();
// The first device error since the last call, or 0.
uint32_t PlatGpuTakeError();
// Whether the context is gone: it could not be made current again (the
// window or the driver took it), or the driver reports a reset where it
// offers robustness. 0 while it draws; else 1 with the cause in `why`, and
// nothing may reach the device until the path is started again.
int PlatGpuContextLost(char* why, int whySize);

#endif
