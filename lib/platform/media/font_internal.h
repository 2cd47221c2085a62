// The platform font's insides, shared by its creation (font.cpp) and its
// drawing (font_render.cpp).
#ifndef TESSEL_PLATFORM_FONT_INTERNAL_H
#define TESSEL_PLATFORM_FONT_INTERNAL_H

#include "platform/media/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>
#include <vector>

struct PlatFont {
    FT_Face face;           // the face, sized to `pixelSize`
    int pixelSize;          // em size in pixels
    int cellHeight;         // ascent + descent: every extent's height
    int ascent;             // baseline below the cell's top
    int maxCharWidth;       // widest advance, widening included
    int weight;             // as asked
    PlatBoldStyle bold;     // how the weight is met
    int widening;           // PlatBoldWidening(bold)
    std::string file;       // the face's file; "" for a face read from memory
    int faceIndex;          // the face's index in its file
    std::string family;     // the family name it is reported by, in the program's encoding
    std::vector<FT_Face> fallbacks;   // faces opened for characters `face` lacks, at pixelSize
    std::vector<uint32_t> uncovered;  // characters no face on the system has
};

// Makes the platform font of an opened face, which it then owns: sized for
// `desc`, bold by `desc->weight` and whether the face is bold itself. Null,
// the face closed, when the face cannot be drawn at that size.
PlatFont* PlatFontOfFace(FT_Face face, const PlatFontDesc* desc, int faceIsBold);

// A face fontconfig picks for a character the font's own face lacks, at the
// font's size, kept with the font; null when no face has it.
FT_Face PlatFallbackFace(PlatFont* font, uint32_t character);

// FreeType, started on first use and kept for the life of the process, as
// the faces it made may be in use until the end. Null when it cannot start.
FT_Library PlatFreeTypeLibrary();

#endif
