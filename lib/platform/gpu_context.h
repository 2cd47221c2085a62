// The device context behind the GPU seam (gpu_context.cpp); the GL half
// (gpu_gl.cpp) draws in whatever context this made current.
#ifndef TESSEL_PLATFORM_GPU_CONTEXT_H
#define TESSEL_PLATFORM_GPU_CONTEXT_H

// Makes a 3.3 core context current. 0, or -1 with the reason in `why`.
int GpuContextCreate(char* why, int whySize);
void GpuContextDestroy();

#endif
