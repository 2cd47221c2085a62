// Shapes and blends: the five shapes filled and outlined on the left; on
// the right a sprite fading out step by step and again over time, an
// additive glow built from circles, a tinted sprite and a mirrored one, and
// a translucent band across it all. Escape ends.
#include <tessel.h>

#include <cstdint>

// The sprite: a white arrow head with a red edge pointing right, on black
// (the colour key). The screen is 32 bits, so a pixel is one MakeColor value.
int MakeShip() {
    int graph = CreateEmptyGraph(48, 32, 0, 0);
    int pitch;
    uint8_t* pixels;
    if (graph < 0 || LockGraphSurface(graph, &pitch, &pixels) != 0) return -1;
    uint32_t white = MakeColor(255, 255, 255), red = MakeColor(220, 30, 30), black = MakeColor(0, 0, 0);
    auto inArrow = [](int x, int y, int margin) {
        return x >= margin && (y > 16 ? y - 16 : 16 - y) * 3 < 48 - x - 2 * margin;
    };
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            reinterpret_cast<uint32_t*>(pixels + y * pitch)[x] =
                inArrow(x, y, 3) ? white : inArrow(x, y, 0) ? red : black;
    UnlockGraphSurface(graph);
    return graph;
}

void DrawShapes() {
    uint32_t white = MakeColor(255, 255, 255);
    DrawRectangle(20, 40, 140, 110, MakeColor(255, 140, 0), 1);
    DrawRectangle(160, 40, 280, 110, white, 0);
    DrawCircleShape(80, 185, 50, MakeColor(40, 200, 90), 1);
    DrawCircleShape(220, 185, 50, MakeColor(255, 230, 0), 0);
    DrawTriangleShape(20, 340, 140, 340, 80, 250, MakeColor(0, 200, 255), 1);
    DrawTriangleShape(160, 340, 280, 340, 220, 250, MakeColor(255, 60, 200), 0);
    DrawLineSegment(20, 360, 280, 460, white, 1);
    DrawLineSegment(20, 460, 280, 360, MakeColor(230, 40, 40), 6);
    for (int i = 0; i < 12; ++i) DrawPoint(150 + 10 * i, 470, white);
}

void DrawBlends(int ship, int frame) {
    // A checked floor to blend over.
    for (int y = 40; y < 460; y += 20)
        for (int x = 320; x < 620; x += 20)
            DrawRectangle(x, y, x + 20, y + 20,
                          (x + y) / 20 % 2 ? MakeColor(60, 60, 90) : MakeColor(90, 90, 130), 1);
    // Fading: four steps, and one that fades out over two seconds.
    const int steps[] = {255, 170, 85, 30};
    for (int i = 0; i < 4; ++i) {
        SetBlendState(BlendAlpha, steps[i]);
        DrawGraph(330 + 60 * i, 50, ship, 1);
    }
    SetBlendState(BlendAlpha, 255 - frame * 2 % 256);
    DrawGraph(570, 50, ship, 1);
    // An additive glow: circles added on each other grow brighter inwards.
    SetBlendState(BlendAdd, 48);
    for (int r = 70; r > 0; r -= 10) DrawCircleShape(400, 200, r, MakeColor(255, 160, 40), 1);
    SetBlendState(BlendAdd, 255);
    DrawRotaGraph(400, 200, 1.0, 0.0, ship, 1, 0);
    SetBlendState(BlendNone, 0);
    // Tinted red, and mirrored to point left.
    SetDrawTint(255, 90, 90);
    DrawRotaGraph(540, 200, 1.5, 0.0, ship, 1, 0);
    SetDrawTint(255, 255, 255);
    DrawRotaGraph(470, 330, 1.5, 0.0, ship, 1, 1);
    // Stretched into a long, low box; the reversed edges mirror it too.
    DrawStretchedGraph(610, 360, 530, 390, ship, 1);
    // A translucent band across both halves.
    SetBlendState(BlendAlpha, 110);
    DrawRectangle(0, 400, 640, 430, MakeColor(0, 0, 0), 1);
    SetBlendState(BlendNone, 0);
}

int main() {
    SetWindowTitle("shapes and blends");
    ChangeWindowMode(1);
    SetScreenMode(640, 480, 32, -1);
    if (InitLibrary() != 0) return 1;
    SetDrawTarget(TargetBack);
    int ship = MakeShip();
    if (ship < 0) {
        EndLibrary();
        return 1;
    }
    uint32_t white = MakeColor(255, 255, 255);
    for (int frame = 0; PumpMessages() == 0 && !IsKeyDown(KeyEscape); ++frame) {
        ClearDrawTarget();
        DrawRectangle(0, 0, 640, 480, MakeColor(30, 30, 50), 1);
        DrawShapes();
        DrawBlends(ship, frame);
        DrawTextString(8, 8, "shapes, fades, glow, tint, mirror - Escape ends", white, 0);
        PresentScreen();
    }
    EndLibrary();
    return 0;
}
