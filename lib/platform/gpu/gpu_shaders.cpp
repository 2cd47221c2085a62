// The shaders behind the GPU seam: 2-D quads and lit meshes, GLSL 3.30.
#include "platform/gpu/gpu_context.h"

const char* const QuadVertexSource = R"(
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 texel;
layout(location = 2) in ivec4 walkA;
layout(location = 3) in ivec4 walkB;
layout(location = 4) in ivec2 walkC;
layout(location = 5) in uvec2 fill;
uniform vec2 targetSize;
#if WALK
flat out ivec4 vWalkA;
flat out ivec4 vWalkB;
flat out ivec4 vWalkC;  // the box's width and height, the tile's offset
#else
out vec2 vTexel;
flat out uvec2 vFill;  // a solid corner's colour, and 1 when it is solid
#endif
void main() {
#if WALK
    vWalkA = walkA;
    vWalkB = walkB;
    vWalkC = ivec4(walkC - walkB.zw, ivec2(texel));
#else
    vTexel = texel;
    vFill = fill;
#endif
    gl_Position = vec4(position / targetSize * 2.0 - 1.0, 0.0, 1.0);
}
)";

// The quad fragment shader comes in variants chosen when the batch goes
// out (WALK, FILTER, KEY, GLYPH, BLEND below): the rasteriser runs every branch of
// a shader on every pixel, so a mode that is fixed for a batch is compiled
// in, and a walking quad hands its fragments only what the walk needs.
//
// Nearest sampling picks texel floor(t), clamped to the texture, as the
// software copy keeps to the graph; WALK repeats the rotating walk instead.
const char* const QuadFragmentSource = R"(
#if WALK
flat in ivec4 vWalkA;
flat in ivec4 vWalkB;
flat in ivec4 vWalkC;
#else
in vec2 vTexel;
flat in uvec2 vFill;
#endif
uniform sampler2D image;
uniform vec2 imageSize;
uniform vec3 key;
uniform vec4 solid;
uniform float spare;
uniform vec4 tint;
uniform int mirror;
layout(location = 0, index = 0) out vec4 result;
#if SPARE
layout(location = 0, index = 1) out vec4 weight;
#endif
// 14.18 fixed point to whole texels, truncated toward zero.
ivec2 ToPixel(uvec2 fixedPoint) {
    ivec2 f = ivec2(fixedPoint);
    return (f + ((f >> 31) & 0x3FFFF)) >> 18;
}
void main() {
    vec4 c;
    bool filled = false;
#if !WALK && !GLYPH
    // A solid quad (a shape) samples nothing: its colour is an opaque
    // texel's that brings the spare bits in its alpha byte.
    filled = vFill.y != 0u;
    if (filled) {
        c = vec4((uvec4(vFill.x) >> uvec4(0u, 8u, 16u, 24u)) & 0xFFu) / 255.0;
    } else {
#endif
#if WALK
    // The walk is affine in the pixel's position, so it is evaluated here
    // rather than stepped. Keeping the texel inside the tile also keeps it
    // inside the graph.
    ivec2 p = ivec2(gl_FragCoord.xy);
    uvec2 f = uvec2(vWalkA.xy) + uint(p.x) * uvec2(vWalkA.zw) + uint(p.y) * uvec2(vWalkB.xy);
    ivec2 g = ToPixel(f);
    // A mirrored graph: the same walk, its columns counted from the right.
    if (mirror > 0 && g.x >= 0 && g.x < mirror) g.x = mirror - 1 - g.x;
    ivec2 t = g - vWalkC.zw;
    // One test for both bounds of each: a place before the start wraps
    // round to a large unsigned value.
    bvec2 inBox = lessThan(uvec2(p - vWalkB.zw), uvec2(vWalkC.xy));
    bvec2 inTile = lessThan(uvec2(t), uvec2(imageSize));
    if (!all(inBox) || !all(inTile)) discard;
    c = texelFetch(image, t, 0);
#elif FILTER
    c = texture(image, vTexel / imageSize);
#else
    ivec2 t = clamp(ivec2(floor(vTexel)), ivec2(0), ivec2(imageSize) - 1);
    c = texelFetch(image, t, 0);
#endif
#if !WALK && !GLYPH
    }
#endif
#if GLYPH
    // The texel says only what the run writes there; the colour is the
    // string's, written whole, spare bits included.
    if (c.a >= 0.75) {
        c = solid;
    } else {
#if GLYPH == 2
        if (c.a < 0.25) discard;
        c = vec4(0.0);
#else
        discard;
#endif
    }
#if !BLEND
    result = c;
    return;
#endif
#else
    // A clear texel leaves the pixel as it is: dropping it saves the blend.
    // (Without alpha, the alpha byte holds the spare bits; see below.)
    if (!filled && spare >= 0.0 && c.a == 0.0) discard;
#if KEY
    if (!filled && all(lessThan(abs(c.rgb - key), vec3(0.5 / 255.0)))) discard;
#endif
#endif
#if BLEND
    // The mode's weighing of the colour; the device's blending adds the
    // destination. A glyph, like a texture without alpha, is opaque and
    // brings its spare bits in its alpha byte.
    bool opaque = GLYPH != 0 || spare < 0.0 || filled;
    float w = (opaque ? 1.0 : c.a) * tint.a;
    if (w * 255.0 < 0.5) discard;
    vec3 colour = c.rgb * tint.rgb;
#if BLEND == 1
#if SPARE
    weight = vec4(w);
#endif
    result = vec4(colour, SPARE != 0 ? (w * 255.0 >= 254.5 ? (opaque ? c.a : spare) : 0.0) : w);
#elif BLEND == 3
    result = vec4(mix(vec3(1.0), colour, w), 0.0);
#else
    result = vec4(colour * w, 0.0);
#endif
#elif !GLYPH
    // The alpha byte is the target's spare bits: a texture without alpha
    // brings its own; else an opaque texel gives the graph's and a mixed
    // one none, as the software blitters' whole-pixel copy and mix do.
    // Where they are 0 either way, the alpha byte is free to carry the
    // texel's alpha to the blend.
#if SPARE
    weight = vec4(filled ? 1.0 : c.a);
    if (spare < 0.0 || filled) {
        result = c;
    } else {
        result = vec4(c.rgb, c.a * 255.0 >= 254.5 ? spare : 0.0);
    }
#else
    result = filled && spare >= 0.0 ? vec4(c.rgb, 1.0) : c;
#endif
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
uniform int textureAlpha;
uniform vec3 lightDir;
uniform float ambient;
uniform vec4 colour;
out vec4 result;
void main() {
    float lit = ambient + (1.0 - ambient) * max(dot(normalize(vNormal), lightDir), 0.0);
    vec4 c = colour;
    if (textured != 0) {
        vec4 t = texture(image, vTexel);
        // Without an alpha channel the alpha byte holds spare bits, not coverage.
        if (textureAlpha == 0) t.a = 1.0;
        c *= t;
    }
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
// channel is rounded to the screen's width and widened again by repeating
// its top bits, as a picture read back from the screen would be.
const char* const ShowFragmentSource = R"(#version 330 core
in vec2 vTexel;
uniform sampler2D image;
uniform uvec3 bits;
out vec4 result;
void main() {
    uvec3 v = uvec3(texture(image, vTexel).rgb * 255.0 + 0.5);
    uvec3 cut = (v * ((uvec3(1u) << bits) - 1u) + 127u) / 255u;
    uvec3 wide = (cut << (8u - bits)) | (cut >> (2u * bits - 8u));
    result = vec4(vec3(wide) / 255.0, 1.0);
}
)";
