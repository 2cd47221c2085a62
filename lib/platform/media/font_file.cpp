// Fonts from the bytes of a font file the program brought: FreeType opens
// them where fontconfig is never asked.
#include "platform/media/font_internal.h"
#include "platform/platform.h"

#include <cstring>
#include <limits>

PlatFont* PlatCreateFontFromMemory(const PlatFontDesc* desc, const uint8_t* data, size_t size) {
    FT_Library library = PlatFreeTypeLibrary();
    if (!library || !data || size == 0 || desc->height == 0 ||
        size > size_t(std::numeric_limits<FT_Long>::max()))
        return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, data, FT_Long(size), 0, &face) != 0) return nullptr;
    // A face without a Unicode map could not draw one character of a string.
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    PlatFont* font = PlatFontOfFace(face, desc, (face->style_flags & FT_STYLE_FLAG_BOLD) != 0);
    if (!font) return nullptr;
    const char* family = face->family_name ? face->family_name : "";
    font->family = PlatUtf8ToProgramText(family, std::strlen(family));
    return font;
}
