// Starting and stopping the GPU path, its settings, and keeping the back
// buffer's surface and the device's target in step.
#include "gpu/gpu.h"

#include "core/core.h"
#include "draw/draw_path.h"
#include "draw/screen.h"
#include "gpu/gpu_internal.h"
#include "graphics/color.h"
#include "platform/gpu/gpu.h"
#include "platform/pixels/surface.h"

#include <vector>

namespace {

// Kept across InitLibrary's state reset, as the other early settings are.
struct GpuSettings {
    int filter = 0;      // SetDrawFilter's mode
    int textureLimit = 0;  // a lower tile size for tests; 0: the device's
    uint32_t contexts = 0;  // device contexts started so far
};

struct GpuState {
    int running;
    PlatSurface* back;         // the back buffer's surface, the CPU's view of the target
    uint32_t backSeen;         // its change count when it last matched the target
    int deviceAhead;           // the target holds drawing the surface lacks
    const char* errorsLogged[16];  // operations whose device error was logged
    std::vector<uint32_t> rows;  // RGBA staging for the whole target
};

GpuSettings gSettings;
GpuState gGpu;

// The screen formats the path reads and writes.
int DrawableFormat(const ColorFormat* format) {
    return (format->ColorBitDepth == 16 || format->ColorBitDepth == 32) &&
           format->redBits >= 4 && format->greenBits >= 4 && format->blueBits >= 4;
}

PlatGpuFormat DeviceFormat() {
    const ColorFormat* screen = GetScreenFormat();
    return PlatGpuFormat{.bits = {screen->redBits, screen->greenBits, screen->blueBits},
                         .spare = screen->spareMask != 0};
}

// 32-bit pixels laid out as 0x00RRGGBB.
bool IsXrgb(const ColorFormat& f) {
    return f.bytesPerPixel == 4 && f.redMask == 0xFF0000u && f.greenMask == 0xFF00u &&
           f.blueMask == 0xFFu;
}

// Brings the device's pixels into the back buffer's surface before the CPU
// reads or writes it.
void BackBufferAccess(PlatSurface* surface) {
    if (!gGpu.deviceAhead || surface != gGpu.back) return;
    int width = surface->width, height = surface->height;
    const ColorFormat& format = surface->format;
    if (IsXrgb(format) && surface->pitch % 4 == 0) {
        // The device writes the words in place, the target's alpha landing
        // in the top byte, where the screen keeps its spare bits.
        PlatGpuReadTargetXrgb(reinterpret_cast<uint32_t*>(surface->pixels), surface->pitch / 4);
    } else {
        PlatGpuReadTarget(gGpu.rows.data(), width);
        for (int y = 0; y < height; ++y)
            PackRow(surface->pixels + std::ptrdiff_t(y) * surface->pitch, format,
                    gGpu.rows.data() + std::ptrdiff_t(y) * width, width);
    }
    gGpu.deviceAhead = 0;
    gGpu.backSeen = surface->changeCount;
    GpuCheckError("ReadScreenPixel");
}

// Sends what the CPU wrote into the back buffer's surface to the device.
void PrepareTarget() {
    PlatSurface* back = gGpu.back;
    if (back->changeCount == gGpu.backSeen) return;
    int width = back->width, height = back->height;
    for (int y = 0; y < height; ++y)
        ExpandRow(gGpu.rows.data() + std::ptrdiff_t(y) * width, back->format,
                  back->pixels + std::ptrdiff_t(y) * back->pitch, width);
    PlatGpuWriteTarget(gGpu.rows.data(), width);
    gGpu.backSeen = back->changeCount;
}

// Ends the device's context while graphs still hold tiles: the picture is
// brought into the back buffer's surface first, and the graphs keep their
// CPU copies, from which a new context makes their tiles again.
void EndContextKeepingGraphs() {
    // Glyph bitmaps find their context's serial gone and make theirs again too.
    GpuSyncBackBuffer();
    PlatGpuStop();
    for (int slot = 0; slot < gGraph.graphs.highWater; ++slot)
        if (gGraph.graphs.slots[slot])
            FreeGraphTiles(GetGraphRecord(HandleOfSlot(&gGraph.graphs, slot)));
    ResetTexturePieces();
}

void ForgetPath() {
    UseDrawPath(nullptr);
    PlatWatchSurface(nullptr, nullptr);
    RegisterHooks(HookGpu, nullptr);
    gGpu = GpuState{};
}

// The window is closing, and a context on it would go with it while the
// path still draws through it: the path ends first, and whatever the
// program draws until it ends goes through the software path.
void StopForClosingWindow() {
    if (!gGpu.running) return;
    EndContextKeepingGraphs();
    ForgetPath();
    WriteLogString(SJIS("ウインドウを閉じるため３Ｄグラフィック描画機能の使用を終了します\n"));
}

constexpr SubsystemHooks kGpuHooks{.windowClosing = StopForClosingWindow};
// Clears colour and depth of the target.
int ClearTarget() {
    // Once a frame: where the context went, the frame starts on a new one.
    GpuCheckContext();
    if (!gGpu.running) return ClearDrawTarget();
    PlatGpuClear(0, 0, 0);
    GpuCheckError("ClearDrawTarget");
    // Whatever the CPU wrote before is gone under the clear.
    gGpu.backSeen = gGpu.back->changeCount;
    gGpu.deviceAhead = 1;
    return 0;
}

// Where the device's context belongs to the window, shows the target there
// without bringing it back to the CPU; else as the software path does.
void Present(int whole) {
    if (!gGpu.running || GpuCheckContext() || !PlatGpuShowsWindow())
        return kSoftwareDrawPath.present(whole);
    PrepareTarget();
    PlatGpuShowTarget();
    GpuCheckError("PresentScreen");
}

// The path's entry in the draw-path table: the back buffer's draws and
// glyph runs go to the device, a glyph run whose cache cannot be there
// falls back to the CPU's copy.
int DrawGraphOnDevice(int x, int y, GraphRecord* graph, int transparent, int turn) {
    return GpuDrawGraph(x, y, graph, transparent, turn, gDraw.drawArea);
}

int DrawTurnedOnDevice(int x, int y, double scale, double angle, GraphRecord* graph,
                       int transparent, int turn) {
    return GpuDrawRotaGraph(x, y, scale, angle, graph, transparent, turn, gDraw.drawArea);
}

int DrawStretchedOnDevice(int left, int top, int right, int bottom, GraphRecord* graph,
                          int transparent) {
    return GpuDrawStretchedGraph(left, top, right, bottom, graph, transparent, gDraw.drawArea);
}

int BeginGlyphsOnDevice(GlyphRun* run) {
    return BeginGpuGlyphs(run->deviceCache, run->bits, run->colour, run->transparent, run->clip);
}

void DrawGlyphOnDevice(GlyphRun* run, int srcX, int srcY, const Rect& target) {
    DrawGpuGlyph(run->deviceCache, run->bits, srcX, srcY, target);
}

void EndGlyphsOnDevice(GlyphRun*) {}

const DrawPath kGpuDrawPath = {
    .drawsTarget = TargetOnDevice,
    .clear = ClearTarget,
    .drawGraph = DrawGraphOnDevice,
    .drawTurned = DrawTurnedOnDevice,
    .drawStretched = DrawStretchedOnDevice,
    .beginGlyphs = BeginGlyphsOnDevice,
    .drawGlyph = DrawGlyphOnDevice,
    .endGlyphs = EndGlyphsOnDevice,
    .beginShape = BeginGpuShape,
    .fillShape = FillGpuShapeRect,
    .endShape = EndGpuShape,
    .present = Present,
};

}  // namespace

int StartGpuPath() {
    gGpu = GpuState{};
    ResetMeshState();
    ResetTexturePieces();
    PlatSurface* back = gScreenState.back;
    char why[128] = "";
    int request = PlatGpuRequested();
    int started = request != PlatGpuOff && back && DrawableFormat(GetScreenFormat()) &&
                  PlatGpuStart(back->width, back->height, DeviceFormat(), why, sizeof why) == 0;
    if (!started) {
        if (why[0]) WriteLogFormat(SJIS("ＧＰＵ描画を開始できません : %s\n"), why);
        WriteLogString(SJIS("３Ｄグラフィック描画機能は使用しません\n"));
        return 0;
    }
    // A software rasterizer draws quads slower than the software blitters
    // do, so unless the program or the user insists, the path runs only on
    // a device that draws in hardware.
    const char* renderer = PlatGpuRenderer();
    int software = PlatGpuSoftware();
    if (software && request != PlatGpuForced) {
        WriteLogFormat(SJIS("３Ｄグラフィック描画機能は使用しません ( %s : ソフトウェア描画 )\n"),
                       renderer);
        PlatGpuStop();
        return 0;
    }
    WriteLogFormat(SJIS("３Ｄグラフィック描画機能を使用します ( %s%s )\n"), renderer,
                   software ? SJIS(" : ソフトウェア描画") : "");
    gGpu.running = 1;
    gGpu.back = back;
    ++gSettings.contexts;
    gGpu.rows.assign(size_t(back->width) * size_t(back->height), 0);
    // Both start out black: the surface was cleared when it was made.
    gGpu.backSeen = back->changeCount - 1;
    PrepareTarget();
    PlatWatchSurface(back, BackBufferAccess);
    RegisterHooks(HookGpu, &kGpuHooks);
    UseDrawPath(&kGpuDrawPath);
    return 1;
}

void StopGpuPath() {
    if (!gGpu.running) return;
    GpuSyncBackBuffer();
    PlatGpuStop();
    ForgetPath();
}

int GpuRunning() { return gGpu.running; }

int TargetOnDevice() {
    return gGpu.running && gDraw.drawSurface == gGpu.back && gDraw.drawSurface &&
           gDraw.targetOrigin.left == 0 && gDraw.targetOrigin.top == 0;
}

int GpuFilter() { return gSettings.filter; }

uint32_t GpuContextSerial() { return gSettings.contexts; }

int GpuTextureLimit() {
    int device = PlatGpuMaxTextureSize();
    return gSettings.textureLimit > 0 && gSettings.textureLimit < device ? gSettings.textureLimit
                                                                         : device;
}

void SetGpuTextureLimit(int limit) { gSettings.textureLimit = limit > 0 ? limit : 0; }

void BeginTargetDraw() {
    PrepareTarget();
    gGpu.deviceAhead = 1;
}

void GpuSyncBackBuffer() {
    if (gGpu.running) BackBufferAccess(gGpu.back);
}

int RestartGpuPath() {
    if (!gGpu.running) return -1;
    PlatSurface* back = gGpu.back;
    EndContextKeepingGraphs();
    char why[128] = "";
    if (PlatGpuStart(back->width, back->height, DeviceFormat(), why, sizeof why) != 0) {
        WriteLogFormat(SJIS("ＧＰＵ描画を開始できません : %s\n"), why);
        WriteLogString(SJIS("３Ｄグラフィック描画機能は使用しません\n"));
        ForgetPath();
        return -1;
    }
    ++gSettings.contexts;
    // The back buffer's surface holds the picture: it goes to the new target.
    gGpu.backSeen = back->changeCount - 1;
    PrepareTarget();
    return 0;
}

uint32_t GpuCheckError(const char* operation) {
    uint32_t error = PlatGpuTakeError();
    if (error == 0) return 0;
    for (const char*& logged : gGpu.errorsLogged) {
        if (logged == operation) return error;
        if (logged) continue;
        logged = operation;
        WriteLogFormat(SJIS("ＧＰＵ描画でエラーが発生しました : %s ( コード 0x%04X )\n"), operation,
                       unsigned(error));
        break;
    }
    return error;
}

int GpuCheckContext() {
    char why[128] = "";
    if (!gGpu.running || !PlatGpuContextLost(why, sizeof why)) return 0;
    WriteLogFormat(SJIS("ＧＰＵ描画のコンテキストが失われたため作り直します : %s\n"), why);
    // Nothing can come back from a context that is gone.
    gGpu.deviceAhead = 0;
    RestartGpuPath();
    return 1;
}

int SetGpuDrawing(int flag) {
    PlatGpuSetRequest(flag ? PlatGpuForced : PlatGpuOff);
    return 0;
}

int IsGpuDrawing() { return gGpu.running; }

int SetDrawFilter(int mode) {
    if (mode != 0 && mode != 1) return -1;
    if (mode == 1 && !gGpu.running) return -1;
    gSettings.filter = mode;
    return 0;
}
