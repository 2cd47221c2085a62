// Tessel's public header, the part of the GPU drawing path. Programs include
// tessel.h, which includes every part.
#ifndef TESSEL_PUBLIC_GPU_H
#define TESSEL_PUBLIC_GPU_H

#include "tessel/core.h"

#pragma GCC visibility push(default)

// ---------------------------------------------------------------------------
// GPU drawing
// ---------------------------------------------------------------------------

// 1 asks for the GPU drawing path, 0 for the software blitters alone; made
// before InitLibrary and kept across its state reset. Without a call the
// TESSEL_GPU environment variable (0 or 1) decides, else the back end (the
// desktop asks for the path, headless runs do not). 0.
int SetGpuDrawing(int flag);
// 1 while the GPU path runs.
int IsGpuDrawing();
// Sampling of scaled and rotated draws: 0 nearest (the default), 1 bilinear
// (the GPU path only; -1 on the software path). 0, or -1.
int SetDrawFilter(int mode);

// Meshes, drawn on the GPU path only (onto the back buffer), depth-tested
// against each other; ClearDrawTarget clears the depth.
constexpr int MeshBall = 0;     // a UV sphere
constexpr int MeshCircle = 1;   // a flat disc in the x-y plane
constexpr int MeshPaper = 2;    // a flat rectangle in the x-y plane
constexpr int MeshCube = 3;
constexpr int MeshPyramid = 4;  // a tetrahedron, apex up
// The camera (y up); near and far follow from the eye's distance to the
// target unless SetCameraRange3D gave them. 0, or -1 for a value that is not
// finite, a field of view outside (0, 180) or the eye on the target.
int SetCamera3D(float eyeX, float eyeY, float eyeZ, float targetX, float targetY,
                float targetZ, float fovYDegrees);
int SetCameraRange3D(float nearZ, float farZ);
// One directional light shining along (dirX, dirY, dirZ); ambient 0..255.
int SetLight3D(float dirX, float dirY, float dirZ, int ambient);
// Draws a shape (its extents sizeX x sizeY x sizeZ, turned by yaw about y,
// pitch about x and roll about z, in radians) centred on (x, y, z); `graph`
// -1 draws in `colour` (a MakeColor value) alone, otherwise the graph's
// texture times the colour. 0, or -1 on the software path, for a bad shape
// or a value that is not finite.
int DrawMesh3D(int shape, float x, float y, float z, float sizeX, float sizeY, float sizeZ,
               float yaw, float pitch, float roll, int graph, uint32_t colour);

#pragma GCC visibility pop

#endif
