// Saving the screen as a PNG file: the back buffer, or the front buffer while
// that is the draw target, widened to eight bits a channel the way captured
// frames are, so a screenshot and a capture of the same picture agree.
#include "core/core.h"
#include "draw/screen.h"
#include "graphics/color.h"
#include "graphics/graph.h"
#include "platform/pixels/frame_expand.h"
#include "platform/pixels/png_write.h"

#include <vector>

namespace {

// Survives InitLibrary: the key may be chosen before it.
struct ScreenshotState {
    int key;         // scan code; 0 none
    int keyChosen;   // the program chose it (TESSEL_SCREENSHOT_KEY yields)
    int next;        // the number to try first for the next shot
};

ScreenshotState gShots;

// A replay writes its shots where the recording says, not by the key.
void TakeShotOnKey(int scanCode) {
    if (!gShots.key || scanCode != gShots.key || PlatReplaying()) return;
    char name[32];
    if (PlatNextShotName(&gShots.next, name, sizeof name) != 0) return;
    if (SaveScreenPng(name) != 0) return;
    PlatRecordCapture(name);
    ++gShots.next;
}

uint32_t Channel(uint32_t value, uint32_t mask, int shift, int bits) {
    return bits ? WidenChannel((value & mask) >> shift, bits) : 0;
}

void RowToRgb(uint8_t* out, const uint8_t* in, int width, const ColorFormat& f) {
    for (int x = 0; x < width; ++x, out += 3) {
        uint32_t value = 0;
        switch (f.bytesPerPixel) {
        case 1: value = in[x]; break;
        case 2: value = in[x * 2] | in[x * 2 + 1] << 8; break;
        case 3: value = in[x * 3] | in[x * 3 + 1] << 8 | in[x * 3 + 2] << 16; break;
        default:
            value = in[x * 4] | in[x * 4 + 1] << 8 | in[x * 4 + 2] << 16 |
                    static_cast<uint32_t>(in[x * 4 + 3]) << 24;
            break;
        }
        if (f.ColorBitDepth == 8) {
            int r = 0, g = 0, b = 0;
            SplitColorValue(value, &r, &g, &b);
            out[0] = static_cast<uint8_t>(r);
            out[1] = static_cast<uint8_t>(g);
            out[2] = static_cast<uint8_t>(b);
            continue;
        }
        out[0] = static_cast<uint8_t>(Channel(value, f.redMask, f.redShift, f.redBits));
        out[1] = static_cast<uint8_t>(Channel(value, f.greenMask, f.greenShift, f.greenBits));
        out[2] = static_cast<uint8_t>(Channel(value, f.blueMask, f.blueShift, f.blueBits));
    }
}

}  // namespace

int SaveScreenPng(const char* path) {
    if (!LibraryRunning() || !DisplayExists() || !ScreenIsUp() || !path || !*path) return -1;
    int source = gDraw.target == TargetFront ? TargetFront : TargetBack;
    // A surface the program holds locked is read where it is; otherwise the
    // lock brings in what the GPU path drew and is released again.
    int pitch = 0;
    uint8_t* pixels = nullptr;
    int locked = LockGraphSurface(source, &pitch, &pixels);
    if (locked == -1) return -1;
    const PlatSurface* surface = GetScreenSurface(source);
    int width = ScreenWidth(), height = ScreenHeight();
    if (surface) {
        width = std::min(width, surface->width);
        height = std::min(height, surface->height);
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    const ColorFormat& format = surface ? surface->format : *GetScreenFormat();
    for (int y = 0; y < height; ++y)
        RowToRgb(&rgb[static_cast<size_t>(y) * width * 3], pixels + static_cast<ptrdiff_t>(y) * pitch,
                 width, format);
    if (locked == 0) UnlockGraphSurface(source);
    char why[256];
    if (PlatWritePngRgb(path, rgb.data(), width, height, width * 3, why, sizeof why) != 0) {
        WriteLogFormat(SJIS("スクリーンショット %s を保存できません: %s"), path, why);
        return -1;
    }
    return 0;
}

int SetScreenshotKey(int key) {
    if (key < 0 || key > 255) return -1;
    gShots.key = key;
    gShots.keyChosen = 1;
    return 0;
}

void StartScreenshots() {
    if (!gShots.keyChosen) {
        int key = PlatScreenshotKeyFromEnvironment();
        gShots.key = key > 0 ? key : 0;
    }
    PlatSetKeyPressWatch(TakeShotOnKey);
    PlatSetCaptureWriter(SaveScreenPng);
}

void EndScreenshots() {
    PlatSetKeyPressWatch(nullptr);
    PlatSetCaptureWriter(nullptr);
}
