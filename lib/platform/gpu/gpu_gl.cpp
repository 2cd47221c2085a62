// The GL half of the GPU seam: the render target, textures, the quad batch,
// mesh drawing and read-back.
//
// The target's first row in memory is the screen's top row: quads map y
// straight to window y, so a read-back needs no flip and the scissor takes
// the draw area as it stands. Meshes turn their clip space upside down to
// match.
#include "platform/gpu/gpu.h"
#include "platform/gpu/gpu_context.h"

#include <epoxy/gl.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

constexpr int MaxQuads = 16384;
// The quad buffer is two halves of a full batch each, written in turn
// without waiting for the device: a half is written again only after the
// device has read what was drawn from it.
constexpr size_t StreamHalfVertices = size_t(MaxQuads) * 4;
constexpr size_t StreamHalfBytes = StreamHalfVertices * sizeof(PlatGpuVertex);

struct Program {
    GLuint id;
    GLint uniforms[10];
};

struct GlState {
    int running;
    int width, height;
    GLuint framebuffer, colour, depth;
    Program quad[2][2][2][3][2][5];  // by walk, filter, key, glyph, spare and blend; made on first use
    Program mesh;
    GLuint quadArray, quadBuffer, quadIndices;
    size_t streamUsed;        // vertices written into the quad buffer's current half
    int streamHalf;           // the half batches go into
    GLsync halfDone[2];       // set when a half is left: the device has read it
    GLuint meshArray, meshBuffer;
    std::vector<PlatGpuVertex> pending;  // the batch
    uint32_t batchTexture;
    int batchWidth, batchHeight;
    PlatGpuQuadState batchState;
    void (*held)();     // adds the quads a caller holds back; null when none
    GLuint channelBits[3];
    int spare;          // the target's alpha byte keeps the screen's spare bits
    int drawCalls, quadsSent;
    int depthStale;     // the last clear left depth alone: the next mesh clears it first
    int maxTextureSize;
    int resetStatus;    // the driver reports resets (glGetGraphicsResetStatus)
    GLuint frameTexture;  // a picture drawn on the CPU, on its way to the window
    int frameWidth, frameHeight;
    Program show;         // draws a picture into the window; made on first use
    GLuint showArray;
};

GlState gGl;

enum QuadUniform { QuadTargetSize, QuadImageSize, QuadImage, QuadKey, QuadSpare, QuadSolid,
                   QuadTint, QuadMirror };
enum MeshUniform { MeshModel, MeshViewProjection, MeshLight, MeshAmbient, MeshColour,
                   MeshTextured, MeshImage, MeshTextureAlpha };

GLuint Compile(GLenum kind, const char* header, const char* source) {
    GLuint shader = glCreateShader(kind);
    const char* parts[2] = {header, source};
    glShaderSource(shader, 2, parts, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

int Link(Program* program, const char* header, const char* vertex, const char* fragment,
         std::initializer_list<const char*> names) {
    GLuint vs = Compile(GL_VERTEX_SHADER, header, vertex);
    GLuint fs = Compile(GL_FRAGMENT_SHADER, header, fragment);
    if (!vs || !fs) return -1;
    program->id = glCreateProgram();
    glAttachShader(program->id, vs);
    glAttachShader(program->id, fs);
    glLinkProgram(program->id);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(program->id, GL_LINK_STATUS, &ok);
    if (!ok) return -1;
    int i = 0;
    for (const char* name : names) program->uniforms[i++] = glGetUniformLocation(program->id, name);
    return 0;
}

// One vertex attribute of an array: its width, type, and how the shader
// reads it (normalised to 0..1, or as integers).
struct VertexAttribute {
    GLint size;
    GLenum type;
    GLboolean normalised;
    bool integer;
    size_t offset;
};

void SetVertexAttributes(GLsizei stride, const VertexAttribute* attributes, int count) {
    for (int i = 0; i < count; ++i) {
        const VertexAttribute& a = attributes[i];
        const void* offset = reinterpret_cast<const void*>(a.offset);
        glEnableVertexAttribArray(GLuint(i));
        if (a.integer)
            glVertexAttribIPointer(GLuint(i), a.size, a.type, stride, offset);
        else
            glVertexAttribPointer(GLuint(i), a.size, a.type, a.normalised, stride, offset);
    }
}

void MakeQuadArrays() {
    glGenVertexArrays(1, &gGl.quadArray);
    glBindVertexArray(gGl.quadArray);
    glGenBuffers(1, &gGl.quadBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, gGl.quadBuffer);
    const VertexAttribute quad[] = {
        {2, GL_FLOAT, GL_FALSE, false, offsetof(PlatGpuVertex, x)},
        {2, GL_FLOAT, GL_FALSE, false, offsetof(PlatGpuVertex, u)},
        {4, GL_INT, GL_FALSE, true, offsetof(PlatGpuVertex, walk)},
        {4, GL_INT, GL_FALSE, true, offsetof(PlatGpuVertex, walk.dudy)},
        {2, GL_INT, GL_FALSE, true, offsetof(PlatGpuVertex, walk.right)},
        {2, GL_UNSIGNED_INT, GL_FALSE, true, offsetof(PlatGpuVertex, colour)},
    };
    SetVertexAttributes(sizeof(PlatGpuVertex), quad, int(std::size(quad)));
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(2 * StreamHalfBytes), nullptr, GL_STREAM_DRAW);
    std::vector<uint32_t> indices(size_t(MaxQuads) * 6);
    for (uint32_t q = 0; q < uint32_t(MaxQuads); ++q) {
        const uint32_t corner[6] = {0, 1, 2, 0, 2, 3};
        for (int i = 0; i < 6; ++i) indices[q * 6 + uint32_t(i)] = q * 4 + corner[i];
    }
    glGenBuffers(1, &gGl.quadIndices);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, gGl.quadIndices);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * sizeof(uint32_t)),
                 indices.data(), GL_STATIC_DRAW);

    glGenVertexArrays(1, &gGl.meshArray);
    glBindVertexArray(gGl.meshArray);
    glGenBuffers(1, &gGl.meshBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, gGl.meshBuffer);
    const VertexAttribute mesh[] = {
        {3, GL_FLOAT, GL_FALSE, false, offsetof(PlatGpuMeshVertex, x)},
        {3, GL_FLOAT, GL_FALSE, false, offsetof(PlatGpuMeshVertex, nx)},
        {2, GL_FLOAT, GL_FALSE, false, offsetof(PlatGpuMeshVertex, u)},
    };
    SetVertexAttributes(sizeof(PlatGpuMeshVertex), mesh, int(std::size(mesh)));
    glBindVertexArray(0);
}

int MakeTarget(int width, int height) {
    glGenTextures(1, &gGl.colour);
    glBindTexture(GL_TEXTURE_2D, gGl.colour);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGenRenderbuffers(1, &gGl.depth);
    glBindRenderbuffer(GL_RENDERBUFFER, gGl.depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glGenFramebuffers(1, &gGl.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, gGl.framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, gGl.colour, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, gGl.depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return -1;
    glViewport(0, 0, width, height);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return 0;
}

void ApplyScissor(const PlatGpuQuadState& s) {
    glEnable(GL_SCISSOR_TEST);
    int width = s.scissorRight - s.scissorLeft, height = s.scissorBottom - s.scissorTop;
    glScissor(s.scissorLeft, s.scissorTop, width > 0 ? width : 0, height > 0 ? height : 0);
}

// Whether a batch blends by a second output so that its opaque texels
// leave spare bits other than 0 (the graph's) and its mixed ones none: a
// rasterizer in software takes a slow road for a second output, so only
// those batches on screens with spare bits ask for it.
// Under a blend only the alpha mode keeps spare bits, and a texture
// without alpha brings its own.
int KeepsSpare(const PlatGpuQuadState& state) {
    if (state.blend) return gGl.spare && state.blend == 1 && state.spare != 0;
    return gGl.spare && state.spare > 0;
}

// The device's blending for a batch under a blend mode; the shader has
// weighed the colour as the mode needs. The target's alpha byte (the spare
// bits) is zeroed, or taken from the second output under the alpha mode.
void ApplyBlendMode(const PlatGpuQuadState& state) {
    glEnable(GL_BLEND);
    switch (state.blend) {
    case 1:
        if (KeepsSpare(state))
            glBlendFuncSeparate(GL_SRC1_ALPHA, GL_ONE_MINUS_SRC1_ALPHA, GL_ONE, GL_ZERO);
        else
            glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ZERO);
        break;
    case 3:
        glBlendFuncSeparate(GL_DST_COLOR, GL_ZERO, GL_ZERO, GL_ZERO);
        break;
    case 4:
        // Flush puts the equation back after the batch.
        glBlendEquationSeparate(GL_FUNC_REVERSE_SUBTRACT, GL_FUNC_ADD);
        glBlendFuncSeparate(GL_ONE, GL_ONE, GL_ZERO, GL_ZERO);
        break;
    default:
        glBlendFuncSeparate(GL_ONE, GL_ONE, GL_ZERO, GL_ZERO);
        break;
    }
}

// The variant of the quad program for a batch's state, linked on first use;
// null when the device refuses it.
const Program* QuadProgram(const PlatGpuQuadState& state) {
    int walk = state.walk ? 1 : 0, filter = state.filter ? 1 : 0, keyed = state.keyed ? 1 : 0;
    int spare = KeepsSpare(state);
    Program& p = gGl.quad[walk][filter][keyed][state.glyph][spare][state.blend];
    if (p.id) return &p;
    char header[160];
    std::snprintf(header, sizeof header,
                  "#version 330 core\n#define WALK %d\n#define FILTER %d\n"
                  "#define KEY %d\n#define GLYPH %d\n#define SPARE %d\n#define BLEND %d\n",
                  walk, filter, keyed, state.glyph, spare, state.blend);
    if (Link(&p, header, QuadVertexSource, QuadFragmentSource,
             {"targetSize", "imageSize", "image", "key", "spare", "solid", "tint", "mirror"}) != 0) {
        p.id = 0;
        return nullptr;
    }
    return &p;
}

// Where the batch's vertices go in the quad buffer, as a vertex index; the
// buffer is written there without a wait.
size_t StreamBatch(size_t vertices) {
    if (gGl.streamUsed + vertices > StreamHalfVertices) {
        gGl.halfDone[gGl.streamHalf] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        gGl.streamHalf ^= 1;
        gGl.streamUsed = 0;
        if (GLsync done = gGl.halfDone[gGl.streamHalf]) {
            glClientWaitSync(done, GL_SYNC_FLUSH_COMMANDS_BIT, GL_TIMEOUT_IGNORED);
            glDeleteSync(done);
            gGl.halfDone[gGl.streamHalf] = nullptr;
        }
    }
    size_t first = size_t(gGl.streamHalf) * StreamHalfVertices + gGl.streamUsed;
    gGl.streamUsed += vertices;
    return first;
}

// Whatever a caller holds back goes first: everything that adds to the
// batch or reaches the device calls this before it does.
void SendHeld() {
    if (void (*send)() = gGl.held) {
        gGl.held = nullptr;
        send();
    }
}

bool SameState(const PlatGpuQuadState& a, const PlatGpuQuadState& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// `state` with the fields that only decide how texels are read taken from
// `textured`.
PlatGpuQuadState WithTexelFields(PlatGpuQuadState state, const PlatGpuQuadState& textured) {
    state.filter = textured.filter;
    state.keyed = textured.keyed;
    state.key = textured.key;
    state.spare = textured.spare;
    return state;
}

// Whether solid corners draw as the software fill under a textured batch's
// state: not in walks and glyph runs, whose shaders read only texels, and
// not where the plain blend would leave spare bits 0 on a screen that has
// them (a blend mode keeps an opaque colour's spare bits as the fill does).
bool TakesSolid(const PlatGpuQuadState& textured) {
    return !textured.walk && !textured.glyph &&
           (textured.blend || textured.spare < 0 || KeepsSpare(textured) || !gGl.spare);
}

// Whether a quad of `texture` and `state` goes into the pending batch.
bool JoinsBatch(uint32_t texture, const PlatGpuQuadState& state) {
    if (texture == 0)
        return TakesSolid(gGl.batchState) &&
               SameState(WithTexelFields(state, gGl.batchState), gGl.batchState);
    if (gGl.batchTexture == 0)
        return TakesSolid(state) && SameState(WithTexelFields(gGl.batchState, state), state);
    return texture == gGl.batchTexture && SameState(state, gGl.batchState);
}

// Draws a texture's picture of width x height into the window, scaled and
// letterboxed, and swaps; its channels rounded to `bits`. A drawn quad rather than a framebuffer copy: the
// copy picks its rows by another rounding than the renderer's sampling.
void ShowInWindow(GLuint texture, int width, int height, const GLuint bits[3]) {
    if (!gGl.show.id) {
        if (Link(&gGl.show, "", ShowVertexSource, ShowFragmentSource, {"image", "bits"}) != 0) {
            gGl.show.id = 0;
            return;
        }
        glGenVertexArrays(1, &gGl.showArray);
    }
    int view[4];
    GpuContextViewport(width, height, view);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(view[0], view[1], view[2], view[3]);
    glUseProgram(gGl.show.id);
    glUniform1i(gGl.show.uniforms[0], 0);
    glUniform3uiv(gGl.show.uniforms[1], 1, bits);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindVertexArray(gGl.showArray);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    GpuContextSwap();
    glBindFramebuffer(GL_FRAMEBUFFER, gGl.framebuffer);
    glViewport(0, 0, gGl.width, gGl.height);
}

}  // namespace

int PlatGpuStart(int width, int height, const PlatGpuFormat& format, char* why, int whySize) {
    if (gGl.running) PlatGpuStop();
    if (GpuContextCreate(why, whySize) != 0) return -1;
    gGl = GlState{};
    gGl.width = width;
    gGl.height = height;
    for (int i = 0; i < 3; ++i) gGl.channelBits[i] = GLuint(format.bits[i]);
    gGl.spare = format.spare;
    if (epoxy_gl_version() < 33) {
        std::snprintf(why, size_t(whySize), "GL %d.%d is below 3.3", epoxy_gl_version() / 10,
                      epoxy_gl_version() % 10);
        GpuContextDestroy();
        return -1;
    }
    if (!QuadProgram(PlatGpuQuadState{}) ||
        Link(&gGl.mesh, "", MeshVertexSource, MeshFragmentSource,
             {"model", "viewProjection", "lightDir", "ambient", "colour", "textured",
              "image", "textureAlpha"}) != 0) {
        std::snprintf(why, size_t(whySize), "a shader was refused");
        GpuContextDestroy();
        return -1;
    }
    MakeQuadArrays();
    if (MakeTarget(width, height) != 0) {
        std::snprintf(why, size_t(whySize), "the render target is incomplete");
        GpuContextDestroy();
        return -1;
    }
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &gGl.maxTextureSize);
    gGl.resetStatus = epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_KHR_robustness");
    gGl.pending.reserve(size_t(MaxQuads) * 4);
    gGl.running = 1;
    // A rasterizer in software takes megabytes for each frame's triangles
    // and gives them back when the frame is done; the C library would
    // return them to the kernel each time, and the kernel hand them out
    // again zeroed page by page: at 10,000 sprites that cost the drawing
    // thread more than all the rest of the frame.
    if (PlatGpuSoftware()) mallopt(M_TRIM_THRESHOLD, 64 << 20);
    PlatGpuClear(0, 0, 0);
    PlatGpuTakeError();
    return 0;
}

// Once stopped, the calls that would reach the device do nothing (and
// PlatGpuCreateTexture makes none): a window that went with its context
// takes the device away under the path.
void PlatGpuStop() {
    if (!gGl.running) return;
    // Deleting the context takes every object it made with it.
    GpuContextDestroy();
    gGl = GlState{};
}

int PlatGpuRunning() { return gGl.running; }

const char* PlatGpuRenderer() {
    const GLubyte* name = gGl.running ? glGetString(GL_RENDERER) : nullptr;
    return name ? reinterpret_cast<const char*>(name) : "";
}

int PlatGpuSoftware() {
    const char* name = PlatGpuRenderer();
    for (const char* rasterizer : {"llvmpipe", "softpipe", "swrast"})
        if (std::strstr(name, rasterizer)) return 1;
    return GpuContextSoftwareDevice();
}

int PlatGpuMaxTextureSize() { return gGl.maxTextureSize; }



uint32_t PlatGpuCreateTexture(int width, int height) {
    if (!gGl.running) return 0;
    PlatGpuTakeError();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &texture);
        return 0;
    }
    return texture;
}

void PlatGpuUploadTexture(uint32_t texture, int x, int y, int width, int height,
                          const uint32_t* rgba, int pitch) {
    if (!gGl.running) return;
    SendHeld();
    if (texture == gGl.batchTexture) PlatGpuFlush();
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch);
    glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void PlatGpuFreeTexture(uint32_t texture) {
    if (!gGl.running || texture == 0) return;
    SendHeld();
    if (texture == gGl.batchTexture) PlatGpuFlush();
    glDeleteTextures(1, &texture);
}

void PlatGpuClear(int red, int green, int blue) {
    if (!gGl.running) return;
    PlatGpuFlush();
    glDisable(GL_SCISSOR_TEST);
    // A cleared pixel is 0 with its spare bits too, as the software fill leaves it.
    glClearColor(float(red) / 255.0f, float(green) / 255.0f, float(blue) / 255.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // Only meshes test depth, and most frames draw none.
    gGl.depthStale = 1;
}

void PlatGpuQuad(uint32_t texture, int textureWidth, int textureHeight, const PlatGpuVertex quad[4],
                 const PlatGpuQuadState& state) {
    if (!gGl.running) return;
    SendHeld();
    if (!gGl.pending.empty() &&
        (!JoinsBatch(texture, state) || gGl.pending.size() >= size_t(MaxQuads) * 4))
        PlatGpuFlush();
    // A batch of solid quads alone takes the first texture that joins it.
    if (gGl.pending.empty() || (gGl.batchTexture == 0 && texture != 0)) {
        gGl.batchTexture = texture;
        gGl.batchWidth = textureWidth;
        gGl.batchHeight = textureHeight;
        gGl.batchState = state;
    }
    gGl.pending.insert(gGl.pending.end(), quad, quad + 4);
}

void PlatGpuHold(void (*send)()) {
    if (gGl.running) gGl.held = send;
}

void PlatGpuFlush() {
    if (!gGl.running) return;
    SendHeld();
    if (gGl.pending.empty()) return;
    const Program* program = QuadProgram(gGl.batchState);
    if (!program) {
        gGl.pending.clear();
        return;
    }
    const Program& p = *program;
    glUseProgram(p.id);
    glUniform2f(p.uniforms[QuadTargetSize], float(gGl.width), float(gGl.height));
    glUniform2f(p.uniforms[QuadImageSize], float(gGl.batchWidth), float(gGl.batchHeight));
    glUniform1i(p.uniforms[QuadImage], 0);
    uint32_t key = gGl.batchState.key;
    glUniform3f(p.uniforms[QuadKey], float(key & 0xFF) / 255.0f, float(key >> 8 & 0xFF) / 255.0f,
                float(key >> 16 & 0xFF) / 255.0f);
    int spare = gGl.batchState.spare;
    glUniform1f(p.uniforms[QuadSpare], spare < 0 ? -1.0f : float(spare) / 255.0f);
    uint32_t solid = gGl.batchState.solid;
    glUniform4f(p.uniforms[QuadSolid], float(solid & 0xFF) / 255.0f,
                float(solid >> 8 & 0xFF) / 255.0f, float(solid >> 16 & 0xFF) / 255.0f,
                float(solid >> 24) / 255.0f);
    uint32_t tint = gGl.batchState.tint;
    glUniform4f(p.uniforms[QuadTint], float(tint & 0xFF) / 255.0f, float(tint >> 8 & 0xFF) / 255.0f,
                float(tint >> 16 & 0xFF) / 255.0f, float(tint >> 24) / 255.0f);
    glUniform1i(p.uniforms[QuadMirror], gGl.batchState.mirror);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, gGl.batchTexture);
    if (gGl.batchState.blend) {
        ApplyBlendMode(gGl.batchState);
    } else if (gGl.batchState.spare < 0 || gGl.batchState.glyph) {
        // Copied whole: texels without alpha, and glyphs, which replace
        // what is under them as the CPU's copy does.
        glDisable(GL_BLEND);
    } else if (KeepsSpare(gGl.batchState)) {
        // The colour blends by the texel's alpha (the second output), while
        // the alpha byte takes the spare bits the shader decided.
        glEnable(GL_BLEND);
        glBlendFuncSeparate(GL_SRC1_ALPHA, GL_ONE_MINUS_SRC1_ALPHA, GL_ONE, GL_ZERO);
    } else {
        // Spare bits 0 wherever the texels land, opaque or mixed.
        glEnable(GL_BLEND);
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ZERO);
    }
    ApplyScissor(gGl.batchState);
    glDisable(GL_DEPTH_TEST);
    glBindVertexArray(gGl.quadArray);
    glBindBuffer(GL_ARRAY_BUFFER, gGl.quadBuffer);
    size_t count = gGl.pending.size();
    size_t first = StreamBatch(count);
    GLbitfield access = GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT;
    void* out = glMapBufferRange(GL_ARRAY_BUFFER, GLintptr(first * sizeof(PlatGpuVertex)),
                                 GLsizeiptr(count * sizeof(PlatGpuVertex)), access);
    if (out) {
        std::memcpy(out, gGl.pending.data(), count * sizeof(PlatGpuVertex));
        glUnmapBuffer(GL_ARRAY_BUFFER);
        glDrawElementsBaseVertex(GL_TRIANGLES, GLsizei(count / 4 * 6), GL_UNSIGNED_INT, nullptr,
                                 GLint(first));
    }
    if (gGl.batchState.blend == 4) glBlendEquation(GL_FUNC_ADD);
    ++gGl.drawCalls;
    gGl.quadsSent += int(count / 4);
    gGl.pending.clear();
}

int PlatGpuDrawCalls() { return gGl.drawCalls; }
int PlatGpuQuadsSent() { return gGl.quadsSent; }
void PlatGpuResetDrawCalls() { gGl.drawCalls = gGl.quadsSent = 0; }

void PlatGpuDrawMesh(const PlatGpuMeshDraw& mesh) {
    if (!gGl.running) return;
    PlatGpuFlush();
    const Program& p = gGl.mesh;
    glUseProgram(p.id);
    glUniformMatrix4fv(p.uniforms[MeshModel], 1, GL_FALSE, mesh.model);
    glUniformMatrix4fv(p.uniforms[MeshViewProjection], 1, GL_FALSE, mesh.viewProjection);
    glUniform3fv(p.uniforms[MeshLight], 1, mesh.lightDir);
    glUniform1f(p.uniforms[MeshAmbient], mesh.ambient);
    glUniform4fv(p.uniforms[MeshColour], 1, mesh.colour);
    glUniform1i(p.uniforms[MeshTextured], mesh.texture != 0);
    glUniform1i(p.uniforms[MeshImage], 0);
    glUniform1i(p.uniforms[MeshTextureAlpha], mesh.textureAlpha);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, mesh.texture);
    if (gGl.depthStale) {
        glDisable(GL_SCISSOR_TEST);
        glClearDepth(1.0);
        glClear(GL_DEPTH_BUFFER_BIT);
        gGl.depthStale = 0;
    }
    ApplyScissor(mesh.state);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glBindVertexArray(gGl.meshArray);
    glBindBuffer(GL_ARRAY_BUFFER, gGl.meshBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(size_t(mesh.count) * sizeof(PlatGpuMeshVertex)),
                 mesh.vertices, GL_STREAM_DRAW);
    glDrawArrays(GL_TRIANGLES, 0, mesh.count);
    ++gGl.drawCalls;
    glDisable(GL_DEPTH_TEST);
}

namespace {

void ReadTarget(void* pixels, int pitch, GLenum order, GLenum type) {
    if (!gGl.running) return;
    PlatGpuFlush();
    glPixelStorei(GL_PACK_ROW_LENGTH, pitch);
    glReadPixels(0, 0, gGl.width, gGl.height, order, type, pixels);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
}

}  // namespace

void PlatGpuReadTarget(uint32_t* rgba, int pitch) {
    ReadTarget(rgba, pitch, GL_RGBA, GL_UNSIGNED_BYTE);
}

void PlatGpuReadTargetXrgb(uint32_t* xrgb, int pitch) {
    ReadTarget(xrgb, pitch, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV);
}

void PlatGpuWriteTarget(const uint32_t* rgba, int pitch) {
    if (!gGl.running) return;
    PlatGpuFlush();
    glBindTexture(GL_TEXTURE_2D, gGl.colour);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, gGl.width, gGl.height, GL_RGBA, GL_UNSIGNED_BYTE,
                    rgba);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void PlatGpuFinish() {
    if (!gGl.running) return;
    PlatGpuFlush();
    glFinish();
}

uint32_t PlatGpuTakeError() {
    if (!gGl.running) return 0;
    uint32_t first = glGetError();
    // A lost context reports its loss for ever.
    if (first == GL_CONTEXT_LOST) return first;
    while (glGetError() != GL_NO_ERROR) {
    }
    return first;
}

int PlatGpuContextLost(char* why, int whySize) {
    if (!gGl.running) return 0;
    if (GpuContextMakeCurrent() != 0) {
        std::snprintf(why, size_t(whySize), "the context cannot be made current");
        return 1;
    }
    GLenum status = gGl.resetStatus ? glGetGraphicsResetStatus() : GL_NO_ERROR;
    if (status == GL_NO_ERROR) return 0;
    std::snprintf(why, size_t(whySize), "the device was reset (0x%04X)", unsigned(status));
    return 1;
}

int PlatGpuShowsWindow() { return gGl.running && GpuContextShows(); }

void PlatGpuShowTarget() {
    if (!PlatGpuShowsWindow()) return;
    PlatGpuFlush();
    ShowInWindow(gGl.colour, gGl.width, gGl.height, gGl.channelBits);
}

void PlatGpuShowPixels(const uint32_t* xrgb, int width, int height) {
    if (!PlatGpuShowsWindow() || width <= 0 || height <= 0) return;
    PlatGpuFlush();
    if (!gGl.frameTexture || gGl.frameWidth != width || gGl.frameHeight != height) {
        if (!gGl.frameTexture) glGenTextures(1, &gGl.frameTexture);
        glBindTexture(GL_TEXTURE_2D, gGl.frameTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        gGl.frameWidth = width;
        gGl.frameHeight = height;
    }
    glBindTexture(GL_TEXTURE_2D, gGl.frameTexture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, xrgb);
    const GLuint whole[3] = {8, 8, 8};
    ShowInWindow(gGl.frameTexture, width, height, whole);
}
