// The battlefield's HUD: the panel along the bottom of the screen and the
// strips of the power and wind gauges that show through its windows. The
// places come from the game's drawing: the panel at (0, 430), the power
// window 320 x 10 at (174, 444), the wind frame at (289, 460) with a bar
// that ends at x = 324 growing left or starts at x = 325 growing right, and
// the places of the numbers.
#include "assets.h"
#include "font.h"
#include "writers.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int PanelTop = 430;

struct Box {
    int left, top, right, bottom;  // screen pixels, right and bottom exclusive
};

constexpr Box PowerWindow = {174, 444, 494, 454};
constexpr Box WindWindow = {289, 460, 361, 470};
// Dark insets behind the numbers the game prints, each wide enough for its
// widest value at the HUD's 12-pixel font.
constexpr Box NumberBoxes[] = {
    {76, 441, 120, 457},   // score, five digits
    {496, 441, 516, 457},  // power, two digits
    {597, 441, 628, 457},  // base life, up to three digits
    {197, 458, 218, 474},  // barrel angle, two digits
    {364, 458, 392, 474},  // wind, -34..36
    {496, 458, 516, 474},  // charges, up to two digits
};

struct Label {
    const char* text;
    int right, top;  // the label ends at `right`, screen pixels
};
constexpr Label Labels[] = {
    {"SCORE", 70, 446}, {"POWER", 166, 446}, {"LIFE", 590, 446},
    {"ANGLE", 191, 463}, {"WIND", 281, 463}, {"SHOTS", 488, 463},
};

// Lettering at the font's native size: strokes one pixel wide on pixel centres.
void DrawLabel(Image& image, const std::string& text, int left, int top, Rgba colour) {
    auto strokes = LayoutText(text, float(left) + 0.5f, float(top) + 0.5f, 1);
    for (int y = std::max(top - 1, 0); y < std::min(top + 9, image.height); ++y)
        for (int x = std::max(left - 1, 0); x < std::min(left + int(TextWidth(text, 1)) + 3, image.width); ++x) {
            float d = StrokeDistance(strokes, float(x) + 0.5f, float(y) + 0.5f);
            BlendOver(image.At(x, y), colour, Clamp01(1 - d));
        }
}

// A sunken frame one pixel outside `box`: dark above and left, light below and right.
void DrawSunkenFrame(Image& panel, Box box) {
    const Rgba dark = Hex(0x0a0d10), light = Hex(0x5a6878);
    for (int x = box.left - 1; x <= box.right; ++x) {
        panel.At(x, box.top - 1 - PanelTop) = dark;
        panel.At(x, box.bottom - PanelTop) = light;
    }
    for (int y = box.top - 1; y <= box.bottom; ++y) {
        panel.At(box.left - 1, y - PanelTop) = dark;
        panel.At(box.right, y - PanelTop) = light;
    }
}

Image Panel() {
    Image panel(640, 50);
    for (int y = 0; y < panel.height; ++y)
        for (int x = 0; x < panel.width; ++x) {
            float brushed = Fbm(float(x) * 0.02f, float(y) * 0.9f, 3, 41);
            Rgba c = Mix(Hex(0x36404c), Hex(0x1c222a), float(y) / 49);
            panel.At(x, y) = Scaled(c, 0.92f + 0.16f * brushed);
        }
    // A bevelled top edge and rivets at the ends.
    for (int x = 0; x < panel.width; ++x) {
        panel.At(x, 0) = Hex(0x0e1216);
        panel.At(x, 1) = Hex(0x7e8c9c);
        panel.At(x, 2) = Hex(0x56626e);
    }
    for (float rx : {8.5f, 631.5f})
        for (float ry : {10.5f, 40.5f})
            for (int y = int(ry) - 3; y <= int(ry) + 3; ++y)
                for (int x = int(rx) - 3; x <= int(rx) + 3; ++x) {
                    float d = std::hypot(float(x) + 0.5f - rx, float(y) + 0.5f - ry);
                    Rgba c = Mix(Hex(0x9aa8b6), Hex(0x2a323c), Clamp01((float(x + y) - rx - ry + 3) / 6));
                    BlendOver(panel.At(x, y), c, EdgeCoverage(d - 2.2f));
                }
    for (const Box& box : NumberBoxes) {
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x) panel.At(x, y - PanelTop) = Hex(0x0c1014);
        DrawSunkenFrame(panel, box);
    }
    for (const Label& label : Labels) {
        int left = label.right - int(TextWidth(label.text, 1));
        DrawLabel(panel, label.text, left + 1, label.top + 1 - PanelTop, Hex(0x06080a));
        DrawLabel(panel, label.text, left, label.top - PanelTop, Hex(0xc4d2e0));
    }
    // The gauges' windows: open, so the strips drawn before the panel show.
    for (Box box : {PowerWindow, WindWindow}) {
        DrawSunkenFrame(panel, box);
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x) panel.At(x, y - PanelTop) = Rgba{0, 0, 0, 0};
    }
    return panel;
}

// 640 x 10: the charged half (x < 320) runs from a deep red to a white-hot
// end at x = 319, which always leads the gauge as the window slides; the
// empty half is the dark track.
Image PowerStrip() {
    Image strip(640, 10);
    for (int y = 0; y < 10; ++y) {
        float v = float(y) / 9;
        float gloss = std::exp(-(v - 0.25f) * (v - 0.25f) * 18) * 0.35f;
        for (int x = 0; x < 640; ++x) {
            Rgba c;
            if (x < 320) {
                float t = float(x) / 319;
                c = t < 0.6f ? Mix(Hex(0xa8200c), Hex(0xf07a18), t / 0.6f)
                             : Mix(Hex(0xf07a18), Hex(0xffeeaa), (t - 0.6f) / 0.4f);
                bool stripe = (x + y) % 8 < 2;
                c = Scaled(c, (stripe ? 0.9f : 1.0f) * (1.05f - 0.35f * v));
            } else {
                c = Mix(Hex(0x1a2028), Hex(0x0c1014), v);
            }
            strip.At(x, y) = Mix(c, Opaque(1, 1, 1), gloss * (x < 320 ? 1.0f : 0.3f));
        }
    }
    return strip;
}

// The wind gauge's frame, 72 x 10 from x = 289: a dark track with the calm
// mark on x = 324 (column 35), the one column the bar never covers, and
// ticks every 10 pixels of wind.
Image WindFrame() {
    Image frame(72, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 72; ++x) {
            Rgba c = Mix(Hex(0x1a2028), Hex(0x0c1014), float(y) / 9);
            int fromCentre = std::abs(x - 35);
            if (fromCentre % 10 == 0 && (y < 2 || y > 7)) c = Hex(0x4a5866);
            if (x == 35) c = Hex(0xe8eef4);
            frame.At(x, y) = c;
        }
    return frame;
}

// The wind bar: 40 x 10, long enough for the 36-pixel maximum, shaded top to
// bottom only, since both directions draw it from its left end.
Image WindBar() {
    Image bar(40, 10);
    for (int y = 0; y < 10; ++y) {
        float v = float(y) / 9;
        Rgba c = Mix(Hex(0x8ee8ff), Hex(0x1e7aa8), v);
        if (y == 1) c = Hex(0xd4f6ff);
        for (int x = 0; x < 40; ++x) bar.At(x, y) = c;
    }
    return bar;
}

}  // namespace

bool WriteHud(const std::string& root) {
    bool ok = WritePng(AssetPath(root, "data\\menu.png"), Panel(), PngKind::Rgba);
    ok = WriteBmp24(AssetPath(root, "data\\PowerGraph.bmp"), PowerStrip()) && ok;
    ok = WriteBmp8(AssetPath(root, "data\\WindBackground.bmp"), WindFrame()) && ok;
    ok = WriteBmp8(AssetPath(root, "data\\WindGraph.bmp"), WindBar()) && ok;
    return ok;
}
