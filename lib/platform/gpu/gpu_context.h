// The device context behind the GPU seam (gpu_context.cpp), which the GL
// half (gpu_gl.cpp) draws in, and the shaders it draws with.
#ifndef TESSEL_PLATFORM_GPU_CONTEXT_H
#define TESSEL_PLATFORM_GPU_CONTEXT_H

// Makes a 3.3 core context current. 0, or -1 with the reason in `why`.
int GpuContextCreate(char* why, int whySize);
void GpuContextDestroy();
// 1 when the context's EGL device says it draws in software.
int GpuContextSoftwareDevice();
// Makes the context current again where another (or none) is. 0, or -1
// when it cannot be: the context is gone.
int GpuContextMakeCurrent();
// 1 when the context is a window's: it presents through GpuContextSwap.
int GpuContextShows();
void GpuContextSwap();
// Where a picture of width x height goes in the window's default
// framebuffer: x, y (from the bottom), width, height.
void GpuContextViewport(int width, int height, int view[4]);

// Shader sources (gpu_shaders.cpp). The quad shaders take a header defining
// WALK, FILTER, KEY and SPARE (0 or 1) and GLYPH (0, 1 or 2) before them.
extern const char* const QuadVertexSource;
extern const char* const QuadFragmentSource;
extern const char* const MeshVertexSource;
extern const char* const MeshFragmentSource;
extern const char* const ShowVertexSource;
extern const char* const ShowFragmentSource;

#endif
