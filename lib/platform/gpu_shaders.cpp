// The shaders behind the GPU seam: 2-D quads and lit meshes, GLSL 3.30.
#include "platform/gpu_context.h"

const char* const QuadVertexSource = R"(
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 texel;
layout(location = 2) in vec4 colour;
layout(location = 3) in vec4 key;
layout(location = 4) in ivec4 walkA;
layout(location = 5) in ivec4 walkB;
layout(location = 6) in ivec4 walkC;
uniform vec2 targetSize;
out vec2 vTexel;
out vec4 vColour;
flat out vec4 vKey;
flat out ivec4 vWalkA;
flat out ivec4 vWalkB;
flat out ivec4 vWalkC;
flat out vec2 vTile;
void main() {
    vWalkA = walkA;
    vWalkB = walkB;
    vWalkC = walkC;
    vTile = texel;
    gl_Position = vec4(position / targetSize * 2.0 - 1.0, 0.0, 1.0);
    vTexel = texel;
    vColour = colour;
    vKey = key;
}
)";

// The quad fragment shader comes in variants chosen when the batch goes
// out (WALK, FILTER, MIX below): the rasteriser runs every branch of a
// shader on every pixel, so a mode that is fixed for a batch is compiled in.
//
// Nearest sampling picks texel floor(t), clamped to the texture, as the
// software copy keeps to the graph; WALK repeats the rotating walk instead.
const char* const QuadFragmentSource = R"(
in vec2 vTexel;
in vec4 vColour;
flat in vec4 vKey;
flat in ivec4 vWalkA;
flat in ivec4 vWalkB;
flat in ivec4 vWalkC;
flat in vec2 vTile;
uniform sampler2D image;
uniform vec2 imageSize;
uniform int mixMode;
uniform sampler2D target;
uniform uvec3 bits;
uniform uvec3 shifts;
out vec4 result;
#if MIX
uint Pack(vec4 c) {
    uvec3 v = uvec3(c.rgb * 255.0 + 0.5);
    return ((v.r >> (8u - bits.r)) << shifts.r) | ((v.g >> (8u - bits.g)) << shifts.g) |
           ((v.b >> (8u - bits.b)) << shifts.b);
}
float Widen(uint value, uint b, uint shift) {
    uint c = (value >> shift) & ((1u << b) - 1u);
    return float((c << (8u - b)) | (c >> (2u * b - 8u))) / 255.0;
}
uint Mask(uint b, uint shift) { return ((1u << b) - 1u) << shift; }
vec4 Mix(vec4 c) {
    uint a = uint(c.a * 255.0 + 0.5);
    if (a == 0u) discard;
    if (a == 255u) return vec4(c.rgb, 1.0);
    uint s = Pack(c), d = Pack(texelFetch(target, ivec2(gl_FragCoord.xy), 0));
    uint r = 0u;
    for (int i = 0; i < 3; ++i) {
        uint m = Mask(bits[i], shifts[i]);
#if MIX == 1
        r |= (d + (((s & m) - (d & m)) * a >> 8)) & m;
#else
        uint sc = (s & m) >> shifts[i], dc = (d & m) >> shifts[i];
        r |= ((sc * a + dc * (256u - a)) >> 8) << shifts[i];
#endif
    }
    return vec4(Widen(r, bits.r, shifts.r), Widen(r, bits.g, shifts.g),
                Widen(r, bits.b, shifts.b), 1.0);
}
#endif
int ToPixel(uint fixedPoint) {
    int f = int(fixedPoint);
    return (f < 0 ? f + 0x3FFFF : f) >> 18;
}
void main() {
#if WALK
    ivec2 p = ivec2(gl_FragCoord.xy);
    if (p.x < vWalkB.z || p.y < vWalkB.w || p.x >= vWalkC.x || p.y >= vWalkC.y) discard;
    uint column = uint(p.x - vWalkB.z), row = uint(p.y - vWalkB.w);
    int tu = ToPixel(uint(vWalkA.x) + row * uint(vWalkB.x) + column * uint(vWalkA.z));
    int tv = ToPixel(uint(vWalkA.y) + row * uint(vWalkB.y) + column * uint(vWalkA.w));
    if (tu < 0 || tv < 0 || tu >= vWalkC.z || tv >= vWalkC.w) discard;
    ivec2 t = ivec2(tu, tv) - ivec2(vTile);
    if (any(lessThan(t, ivec2(0))) || any(greaterThanEqual(t, ivec2(imageSize)))) discard;
    vec4 c = texelFetch(image, t, 0);
#elif FILTER
    vec4 c = texture(image, vTexel / imageSize);
#else
    ivec2 t = clamp(ivec2(floor(vTexel)), ivec2(0), ivec2(imageSize) - 1);
    vec4 c = texelFetch(image, t, 0);
#endif
    if (vKey.a > 0.5 && all(lessThan(abs(c.rgb - vKey.rgb), vec3(0.5 / 255.0)))) discard;
#if MIX
    result = Mix(c);
#else
    result = c * vColour;
#endif
}
)";

const char* const MeshVertexSource = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 texel;
uniform mat4 model;
uniform mat4 viewProjection;
out vec3 vNormal;
out vec2 vTexel;
void main() {
    vec4 p = viewProjection * model * vec4(position, 1.0);
    gl_Position = vec4(p.x, -p.y, p.z, p.w);
    vNormal = transpose(inverse(mat3(model))) * normal;
    vTexel = texel;
}
)";

const char* const MeshFragmentSource = R"(#version 330 core
in vec3 vNormal;
in vec2 vTexel;
uniform sampler2D image;
uniform int textured;
uniform vec3 lightDir;
uniform float ambient;
uniform vec4 colour;
out vec4 result;
void main() {
    float lit = ambient + (1.0 - ambient) * max(dot(normalize(vNormal), lightDir), 0.0);
    vec4 c = textured != 0 ? texture(image, vTexel) * colour : colour;
    result = vec4(c.rgb * lit, c.a);
}
)";

// A picture stretched over the viewport, its first row at the top. Its
// corners come in the order the renderer gives them (top left, top right,
// bottom left, bottom right as one strip), so the two triangles split where
// the renderer's do and a scaled picture samples the same texels.
const char* const ShowVertexSource = R"(#version 330 core
out vec2 vTexel;
void main() {
    vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1);
    vTexel = corner;
    gl_Position = vec4(corner.x * 2.0 - 1.0, 1.0 - corner.y * 2.0, 0.0, 1.0);
}
)";

// The target keeps eight bits a channel where the screen has fewer: each
// channel is cut to the screen's width and widened again by repeating its
// top bits, as a picture read back from the screen would be.
const char* const ShowFragmentSource = R"(#version 330 core
in vec2 vTexel;
uniform sampler2D image;
uniform uvec3 bits;
out vec4 result;
void main() {
    uvec3 v = uvec3(texture(image, vTexel).rgb * 255.0 + 0.5);
    uvec3 cut = v >> (8u - bits);
    uvec3 wide = (cut << (8u - bits)) | (cut >> (2u * bits - 8u));
    result = vec4(vec3(wide) / 255.0, 1.0);
}
)";
