// Meshes and sprites on the GPU path: the five shapes the library makes
// (ball, circle, paper, cube, pyramid) turn in a row over a floor of
// turning sprites, lit by one light; the cube wears a checked graph. Escape
// ends. Without the GPU path the sprites still draw and a line says so.
#include <tessel.h>

#include <cmath>

// A graph whose 32-bit pixels are painted directly.
template <typename Paint>
int MakeGraph(int width, int height, Paint paint) {
    int graph = CreateEmptyGraph(width, height, 1, 0);
    int pitch;
    uint8_t* pixels;
    if (LockGraphSurface(graph, &pitch, &pixels) != 0) return -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            reinterpret_cast<uint32_t*>(pixels + y * pitch)[x] = paint(x, y);
    UnlockGraphSurface(graph);
    return graph;
}

int main() {
    SetStringEncoding(EncodingUtf8);
    SetWindowTitle("meshes");
    ChangeWindowMode(1);
    SetGpuDrawing(1);
    SetScreenMode(640, 480, 32, -1);
    if (InitLibrary() != 0) return 1;
    SetDrawTarget(TargetBack);

    uint32_t white = MakeColor(255, 255, 255);
    int checks = MakeGraph(64, 64, [](int x, int y) {
        return (x / 8 + y / 8) % 2 ? MakeColor(240, 200, 60) : MakeColor(40, 90, 200);
    });
    // A diamond sprite on the black key.
    int diamond = MakeGraph(24, 24, [](int x, int y) {
        return std::abs(x - 12) + std::abs(y - 12) < 11 ? MakeColor(90, 60 + x * 5, 120 + y * 4)
                                                        : MakeColor(0, 0, 0);
    });
    if (checks < 0 || diamond < 0) {
        EndLibrary();
        return 1;
    }
    SetCamera3D(0, 1.5f, 9, 0, 0, 0, 50);
    SetLight3D(-0.4f, -0.7f, -0.6f, 70);

    const int shapes[5] = {MeshBall, MeshCircle, MeshPaper, MeshCube, MeshPyramid};
    const uint32_t colours[5] = {MakeColor(230, 80, 60), MakeColor(80, 200, 120),
                                 MakeColor(240, 240, 240), white, MakeColor(250, 190, 40)};
    double t = 0;
    while (PumpMessages() == 0 && !IsKeyDown(KeyEscape)) {
        ClearDrawTarget();
        for (int i = 0; i < 96; ++i)
            DrawRotaGraph(20 + (i % 16) * 40, 250 + (i / 16) * 40, 1.0, t + i * 0.3, diamond, 1, 0);
        for (int i = 0; i < 5; ++i) {
            float x = float(i - 2) * 2.2f, turn = float(t) + float(i);
            DrawMesh3D(shapes[i], x, 0.3f, 0, 1.6f, 1.6f, 1.6f, turn, 0.5f, 0,
                       shapes[i] == MeshCube ? checks : -1, colours[i]);
        }
        DrawTextString(8, 8, IsGpuDrawing() ? "five meshes, Escape ends"
                                            : "no GPU path here: sprites only",
                       white, 0);
        PresentScreen();
        t += 0.02;
    }
    EndLibrary();
    return 0;
}
