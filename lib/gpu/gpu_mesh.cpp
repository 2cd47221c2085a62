// The five meshes the library makes (ball, circle, paper, cube, pyramid),
// the camera and the light, and DrawMesh3D. Every shape fits the box from
// -0.5 to 0.5 on each axis, so the sizes given to DrawMesh3D are its
// extents; flat shapes lie in the x-y plane facing +z.
#include "core/core.h"
#include "draw/draw_state.h"
#include "gpu/gpu.h"
#include "gpu/gpu_internal.h"
#include "platform/gpu/gpu.h"

#include <cmath>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int BallSlices = 48, BallStacks = 24, CircleSegments = 64;

struct MeshState {
    double eye[3], target[3];
    double fovY;              // radians
    double nearZ, farZ;       // 0: chosen from the camera's distance
    double light[3];          // towards the light
    double ambient;           // 0..1
    int softwareLogged;       // the software path's refusal was logged
    std::vector<PlatGpuMeshVertex> shapes[5];
};

MeshState gMesh;

using Vertex = PlatGpuMeshVertex;

void Triangle(std::vector<Vertex>& out, const Vertex& a, const Vertex& b, const Vertex& c) {
    out.push_back(a);
    out.push_back(b);
    out.push_back(c);
}

Vertex SpherePoint(int slice, int stack) {
    double theta = 2 * Pi * slice / BallSlices, phi = Pi * stack / BallStacks;
    float nx = float(std::sin(phi) * std::cos(theta)), ny = float(std::cos(phi)),
          nz = float(std::sin(phi) * std::sin(theta));
    return Vertex{nx * 0.5f, ny * 0.5f, nz * 0.5f, nx, ny, nz, float(slice) / BallSlices,
                  float(stack) / BallStacks};
}

void MakeBall(std::vector<Vertex>& out) {
    for (int stack = 0; stack < BallStacks; ++stack)
        for (int slice = 0; slice < BallSlices; ++slice) {
            Vertex a = SpherePoint(slice, stack), b = SpherePoint(slice + 1, stack);
            Vertex c = SpherePoint(slice + 1, stack + 1), d = SpherePoint(slice, stack + 1);
            Triangle(out, a, c, b);
            Triangle(out, a, d, c);
        }
}

void MakeCircle(std::vector<Vertex>& out) {
    Vertex centre{0, 0, 0, 0, 0, 1, 0.5f, 0.5f};
    for (int i = 0; i < CircleSegments; ++i) {
        auto rim = [](int k) {
            double t = 2 * Pi * k / CircleSegments;
            float x = float(std::cos(t)) * 0.5f, y = float(std::sin(t)) * 0.5f;
            return Vertex{x, y, 0, 0, 0, 1, x + 0.5f, 0.5f - y};
        };
        Triangle(out, centre, rim(i), rim(i + 1));
    }
}

void MakePaper(std::vector<Vertex>& out) {
    Vertex a{-0.5f, -0.5f, 0, 0, 0, 1, 0, 1}, b{0.5f, -0.5f, 0, 0, 0, 1, 1, 1};
    Vertex c{0.5f, 0.5f, 0, 0, 0, 1, 1, 0}, d{-0.5f, 0.5f, 0, 0, 0, 1, 0, 0};
    Triangle(out, a, b, c);
    Triangle(out, a, c, d);
}

// A flat face from three or four corners, wound counter-clockwise seen from
// outside; the normal is the face's own.
void Face(std::vector<Vertex>& out, const float (*p)[3], int corners) {
    float ux = p[1][0] - p[0][0], uy = p[1][1] - p[0][1], uz = p[1][2] - p[0][2];
    float vx = p[2][0] - p[0][0], vy = p[2][1] - p[0][1], vz = p[2][2] - p[0][2];
    float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    float length = std::sqrt(nx * nx + ny * ny + nz * nz);
    nx /= length;
    ny /= length;
    nz /= length;
    const float uv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    auto at = [&](int i) {
        return Vertex{p[i][0], p[i][1], p[i][2], nx, ny, nz, uv[i][0], uv[i][1]};
    };
    Triangle(out, at(0), at(1), at(2));
    if (corners == 4) Triangle(out, at(0), at(2), at(3));
}

void MakeCube(std::vector<Vertex>& out) {
    const float h = 0.5f;
    const float faces[6][4][3] = {
        {{-h, -h, h}, {h, -h, h}, {h, h, h}, {-h, h, h}},      // +z
        {{h, -h, -h}, {-h, -h, -h}, {-h, h, -h}, {h, h, -h}},  // -z
        {{h, -h, h}, {h, -h, -h}, {h, h, -h}, {h, h, h}},      // +x
        {{-h, -h, -h}, {-h, -h, h}, {-h, h, h}, {-h, h, -h}},  // -x
        {{-h, h, h}, {h, h, h}, {h, h, -h}, {-h, h, -h}},      // +y
        {{-h, -h, -h}, {h, -h, -h}, {h, -h, h}, {-h, -h, h}},  // -y
    };
    for (const auto& face : faces) Face(out, face, 4);
}

// A tetrahedron: an equilateral base of circumradius 0.5 at y = -0.5 and the
// apex at y = 0.5 above its centre.
void MakePyramid(std::vector<Vertex>& out) {
    float base[3][3];
    for (int i = 0; i < 3; ++i) {
        double t = Pi / 2 + 2 * Pi * i / 3;
        base[i][0] = float(std::cos(t)) * 0.5f;
        base[i][1] = -0.5f;
        base[i][2] = float(std::sin(t)) * 0.5f;
    }
    const float apex[3] = {0, 0.5f, 0};
    const float bottom[3][3] = {{base[0][0], base[0][1], base[0][2]},
                                {base[1][0], base[1][1], base[1][2]},
                                {base[2][0], base[2][1], base[2][2]}};
    Face(out, bottom, 3);
    for (int i = 0; i < 3; ++i) {
        const float* a = base[i];
        const float* b = base[(i + 1) % 3];
        const float side[3][3] = {{b[0], b[1], b[2]}, {a[0], a[1], a[2]},
                                  {apex[0], apex[1], apex[2]}};
        Face(out, side, 3);
    }
}

int Finite(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return 0;
    return 1;
}

// Column-major 4 x 4 products.
void Multiply(const double* a, const double* b, double* out) {
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
            out[column * 4 + row] = sum;
        }
}

void ViewProjection(double* out) {
    const double* e = gMesh.eye;
    double f[3] = {gMesh.target[0] - e[0], gMesh.target[1] - e[1], gMesh.target[2] - e[2]};
    double distance = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double& v : f) v /= distance;
    // Looking straight up or down, "up" is taken along -z instead of y.
    double up[3] = {0, 1, 0};
    if (std::fabs(f[1]) > 0.999) up[1] = 0, up[2] = -1;
    double s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2],
                   f[0] * up[1] - f[1] * up[0]};
    double sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    for (double& v : s) v /= sl;
    double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    double view[16] = {s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0,
                       -(s[0] * e[0] + s[1] * e[1] + s[2] * e[2]),
                       -(u[0] * e[0] + u[1] * e[1] + u[2] * e[2]),
                       f[0] * e[0] + f[1] * e[1] + f[2] * e[2], 1};
    double nearZ = gMesh.nearZ > 0 ? gMesh.nearZ : distance / 100;
    double farZ = gMesh.farZ > 0 ? gMesh.farZ : distance * 100;
    double t = 1 / std::tan(gMesh.fovY / 2);
    double aspect = double(gDraw.targetWidth) / double(gDraw.targetHeight);
    double projection[16] = {t / aspect, 0, 0, 0, 0, t, 0, 0, 0, 0,
                             (farZ + nearZ) / (nearZ - farZ), -1, 0, 0,
                             2 * farZ * nearZ / (nearZ - farZ), 0};
    Multiply(projection, view, out);
}

void Model(double x, double y, double z, double sx, double sy, double sz, double yaw,
           double pitch, double roll, double* out) {
    double cy = std::cos(yaw), sy_ = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
    double cr = std::cos(roll), sr = std::sin(roll);
    double ry[16] = {cy, 0, -sy_, 0, 0, 1, 0, 0, sy_, 0, cy, 0, 0, 0, 0, 1};
    double rx[16] = {1, 0, 0, 0, 0, cp, sp, 0, 0, -sp, cp, 0, 0, 0, 0, 1};
    double rz[16] = {cr, sr, 0, 0, -sr, cr, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double scale[16] = {sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1};
    double a[16], b[16];
    Multiply(ry, rx, a);
    Multiply(a, rz, b);
    Multiply(b, scale, a);
    for (int i = 0; i < 16; ++i) out[i] = a[i];
    out[12] = x;
    out[13] = y;
    out[14] = z;
}

}  // namespace

void ResetMeshState() {
    MeshState fresh{};
    for (int i = 0; i < 5; ++i) fresh.shapes[i].swap(gMesh.shapes[i]);
    gMesh = fresh;
    gMesh.eye[2] = 10;
    gMesh.fovY = 60 * Pi / 180;
    gMesh.light[0] = 0;
    gMesh.light[1] = 0;
    gMesh.light[2] = 1;
    gMesh.ambient = 0.25;
    if (gMesh.shapes[0].empty()) {
        MakeBall(gMesh.shapes[MeshBall]);
        MakeCircle(gMesh.shapes[MeshCircle]);
        MakePaper(gMesh.shapes[MeshPaper]);
        MakeCube(gMesh.shapes[MeshCube]);
        MakePyramid(gMesh.shapes[MeshPyramid]);
    }
}

int SetCamera3D(float eyeX, float eyeY, float eyeZ, float targetX, float targetY, float targetZ,
                float fovYDegrees) {
    if (!Finite({eyeX, eyeY, eyeZ, targetX, targetY, targetZ, fovYDegrees})) return -1;
    if (!(fovYDegrees > 0 && fovYDegrees < 180)) return -1;
    if (eyeX == targetX && eyeY == targetY && eyeZ == targetZ) return -1;
    gMesh.eye[0] = eyeX, gMesh.eye[1] = eyeY, gMesh.eye[2] = eyeZ;
    gMesh.target[0] = targetX, gMesh.target[1] = targetY, gMesh.target[2] = targetZ;
    gMesh.fovY = fovYDegrees * Pi / 180;
    return 0;
}

int SetCameraRange3D(float nearZ, float farZ) {
    if (!Finite({nearZ, farZ}) || !(nearZ > 0) || !(farZ > nearZ)) return -1;
    gMesh.nearZ = nearZ;
    gMesh.farZ = farZ;
    return 0;
}

int SetLight3D(float dirX, float dirY, float dirZ, int ambient) {
    double length = std::sqrt(double(dirX) * dirX + double(dirY) * dirY + double(dirZ) * dirZ);
    if (!Finite({dirX, dirY, dirZ, length}) || length == 0 || ambient < 0 || ambient > 255)
        return -1;
    // The light shines along the direction; shading wants the way towards it.
    gMesh.light[0] = -dirX / length;
    gMesh.light[1] = -dirY / length;
    gMesh.light[2] = -dirZ / length;
    gMesh.ambient = ambient / 255.0;
    return 0;
}

int DrawMesh3D(int shape, float x, float y, float z, float sizeX, float sizeY, float sizeZ,
               float yaw, float pitch, float roll, int graph, uint32_t colour) {
    if (!LibraryRunning()) return -1;
    if (DrawingSuspended() || gDraw.drawAreaEmpty) return 0;
    if (!TargetOnDevice()) {
        if (!gMesh.softwareLogged)
            WriteLogString(SJIS("３Ｄ描画はＧＰＵ描画の画面にしか行えません\n"));
        gMesh.softwareLogged = 1;
        return -1;
    }
    if (shape < MeshBall || shape > MeshPyramid) return -1;
    if (!Finite({x, y, z, sizeX, sizeY, sizeZ, yaw, pitch, roll})) return -1;
    WaitWhileInactive();

    PlatGpuMeshDraw draw{};
    if (graph != -1) {
        GraphRecord* record = GetGraphRecord(graph);
        int tx, ty, tw, th;
        if (!record || ReadyTiles(record) != 0 || record->tileCount != 1 ||
            TileOf(record, 0, &tx, &ty, &tw, &th, &draw.texture) != 0)
            return -1;
        draw.textureAlpha = GraphSpare(record) >= 0;
    }
    int red = 255, green = 255, blue = 255;
    SplitColorValue(colour, &red, &green, &blue);
    BeginTargetDraw();
    double model[16], viewProjection[16];
    Model(x, y, z, sizeX, sizeY, sizeZ, yaw, pitch, roll, model);
    ViewProjection(viewProjection);
    for (int i = 0; i < 16; ++i) {
        draw.model[i] = float(model[i]);
        draw.viewProjection[i] = float(viewProjection[i]);
    }
    for (int i = 0; i < 3; ++i) draw.lightDir[i] = float(gMesh.light[i]);
    draw.ambient = float(gMesh.ambient);
    draw.colour[0] = red / 255.0f;
    draw.colour[1] = green / 255.0f;
    draw.colour[2] = blue / 255.0f;
    draw.colour[3] = 1.0f;
    const Rect& area = gDraw.drawArea;
    draw.state = PlatGpuQuadState{.scissorLeft = area.left,
                                  .scissorTop = area.top,
                                  .scissorRight = area.right,
                                  .scissorBottom = area.bottom};
    draw.vertices = gMesh.shapes[shape].data();
    draw.count = int(gMesh.shapes[shape].size());
    PlatGpuDrawMesh(draw);
    return GpuCheckError("DrawMesh3D") == 0 ? 0 : -1;
}
