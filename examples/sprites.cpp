// Sprites: a ship drawn with a colour key (its black background left out)
// turns to face where it moves, and a translucent glow (per-pixel alpha)
// follows it over a checked floor. The arrow keys move it; Escape ends.
#include <tessel.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// A graph whose pixels are written directly. The screen is 32 bits, so a
// pixel is one MakeColor value; black is the colour key, the colour that
// drawing with transparent = 1 leaves out.
template <typename Paint>
int MakeGraph(int width, int height, Paint paint) {
    int graph = CreateEmptyGraph(width, height, 0, 0);
    int pitch;
    uint8_t* pixels;
    if (LockGraphSurface(graph, &pitch, &pixels) != 0) return -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            reinterpret_cast<uint32_t*>(pixels + y * pitch)[x] = paint(x, y);
    UnlockGraphSurface(graph);
    return graph;
}

// Alpha comes from image files (PNG, TGA, or a "_a" companion image), so the
// glow is written as a 32-bit TGA: blue-green-red-alpha, top row first.
int LoadGlow(const char* path, int size) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return -1;
    unsigned char header[18] = {0, 0, 2};  // uncompressed true colour
    header[12] = static_cast<unsigned char>(size);
    header[14] = static_cast<unsigned char>(size);
    header[16] = 32;
    header[17] = 0x28;  // 8 alpha bits, rows from the top
    std::fwrite(header, 1, sizeof header, file);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double d = std::hypot(x - size / 2 + 0.5, y - size / 2 + 0.5) / (size / 2);
            unsigned char bgra[4] = {60, 200, 255, static_cast<unsigned char>(d < 1 ? 220 * (1 - d) : 0)};
            std::fwrite(bgra, 1, 4, file);
        }
    std::fclose(file);
    return LoadGraphFile(path);
}

int main() {
    SetStringEncoding(EncodingUtf8);
    SetWindowTitle("sprites");
    ChangeWindowMode(1);
    SetScreenMode(640, 480, 32, -1);
    if (InitLibrary() != 0) return 1;
    SetDrawTarget(TargetBack);

    uint32_t dark = MakeColor(40, 40, 60), light = MakeColor(70, 70, 100);
    int floor = MakeGraph(640, 480, [&](int x, int y) { return (x / 32 + y / 32) % 2 ? dark : light; });
    // A ship pointing right: a white arrow head with a red edge, on black.
    uint32_t white = MakeColor(255, 255, 255), red = MakeColor(220, 30, 30), black = MakeColor(0, 0, 0);
    auto inArrow = [](int x, int y, int margin) { return x >= margin && std::abs(y - 16) * 3 < 48 - x - 2 * margin; };
    int ship = MakeGraph(48, 32, [&](int x, int y) {
        return inArrow(x, y, 3) ? white : inArrow(x, y, 0) ? red : black;
    });
    int glow = LoadGlow("glow.tga", 96);
    if (floor < 0 || ship < 0 || glow < 0) {
        EndLibrary();
        return 1;
    }

    int x = 320, y = 240;
    double angle = 0;  // radians, clockwise on screen
    while (PumpMessages() == 0 && !IsKeyDown(KeyEscape)) {
        int dx = IsKeyDown(KeyRight) - IsKeyDown(KeyLeft), dy = IsKeyDown(KeyDown) - IsKeyDown(KeyUp);
        if (dx || dy) {
            x = std::clamp(x + dx * 4, 0, 639);
            y = std::clamp(y + dy * 4, 0, 479);
            angle = std::atan2(dy, dx);
        }
        DrawGraph(0, 0, floor, 0);
        DrawGraph(x - 48, y - 48, glow, 1);
        DrawRotaGraph(x, y, 1.5, angle, ship, 1, 0);
        DrawTextString(8, 8, "arrow keys move, Escape ends", white, 0);
        PresentScreen();
    }
    EndLibrary();
    return 0;
}
