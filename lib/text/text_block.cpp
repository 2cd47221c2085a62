// Text wrapped to a width: laying a string out in lines, measuring the
// block and drawing it line by line through the ordinary text drawing.
#include "text/font.h"

#include "core/core.h"
#include "core/encoding.h"
#include "graphics/load.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// The advance of the character at `text`, `length` bytes, as the string
// drawing would step it.
int CharAdvance(FontRecord* font, const char* text, int length) {
    uint32_t units[2];
    int count = 0, consumed = 0;
    PrepareGlyphs(font, text, length, units, 2, &count, &consumed);
    int advance = 0;
    for (int i = 0; i < count; ++i)
        if (const FontSlot* slot = GlyphSlotOf(font, units[i])) advance += slot->width;
    return advance;
}

// A wrapped line's next line starts past the run of spaces it broke at,
// and past a line end that follows them: the wrap has ended the line.
int SkipBreak(const char* text, int position) {
    while (text[position] == ' ') ++position;
    return text[position] == '\n' ? position + 1 : position;
}

// The arguments every wrapped-text operation checks first.
bool BlockArgumentsValid(int width, const char* text) {
    return LibraryRunning() && GraphicsStarted() && text && width > 0;
}

int BlockHeight(int lines, const FontRecord* font) {
    return int(std::min<int64_t>(int64_t(lines) * font->lineHeight, INT32_MAX));
}

}  // namespace

int TextCharLength(const char* text) {
    if (text[0] == '\0') return 0;
    return int(CharacterLength(CurrentStringEncoding(), text, strnlen(text, 4), 0));
}

bool IsWideCharacter(const char* text, int length) {
    int encoding = CurrentStringEncoding();
    if (encoding == EncodingShiftJis) return length == 2;
    size_t position = 0;
    uint32_t character = NextCodePoint(encoding, text, size_t(length), &position);
    bool halfWidthKana = character >= 0xFF61 && character <= 0xFF9F;
    return character >= 0x2E80 && !halfWidthKana && character != ReplacementCharacter;
}

std::vector<TextLine> LayoutTextBlock(FontRecord* font, const char* text, int width) {
    std::vector<TextLine> lines;
    int position = 0;
    while (text[position] != '\0') {
        int start = position, lineWidth = 0;
        int breakAt = -1, breakWidth = 0;  // the last place the line may end
        bool previousSpace = false, previousDouble = false, full = false;
        while (text[position] != '\0' && text[position] != '\n') {
            int length = TextCharLength(text + position);
            bool space = text[position] == ' ', twoBytes = IsWideCharacter(text + position, length);
            if ((space && !previousSpace && position > start) || (twoBytes && previousDouble)) {
                breakAt = position;
                breakWidth = lineWidth;
            }
            int advance = CharAdvance(font, text + position, length);
            if (position > start && int64_t(lineWidth) + advance > width) {
                if (breakAt > start) {
                    position = breakAt;
                    lineWidth = breakWidth;
                }
                full = true;
                break;
            }
            lineWidth += advance;
            position += length;
            previousSpace = space;
            previousDouble = twoBytes;
        }
        lines.push_back(TextLine{start, position - start, lineWidth});
        if (full)
            position = SkipBreak(text, position);
        else if (text[position] == '\n')
            ++position;
    }
    return lines;
}

int MeasureTextBlock(int width, const char* text, int handle, int* height) {
    if (!BlockArgumentsValid(width, text) || !height) return -1;
    FontRecord* font = LookupFont(handle);
    if (!font) return -1;
    std::vector<TextLine> lines = LayoutTextBlock(font, text, width);
    int widest = 0;
    for (const TextLine& line : lines) widest = std::max(widest, line.width);
    *height = BlockHeight(int(lines.size()), font);
    return widest;
}

int DrawTextBlock(int x, int y, int width, const char* text, uint32_t colour, int handle) {
    if (!BlockArgumentsValid(width, text)) return -1;
    FontRecord* font = LookupFont(handle);
    if (!font) {
        WriteLogString(SJIS("フォントハンドル値が異常です\n"));
        return -1;
    }
    // Laid out whole first: drawing may push glyphs the layout measured
    // out of the cache, but never changes their widths.
    std::vector<TextLine> lines = LayoutTextBlock(font, text, width);
    int top = y, failed = 0;
    for (const TextLine& line : lines) {
        failed |= DrawFontTextRun(x, top, text + line.start, line.length, colour, handle) != 0;
        top = AddWrap(top, font->lineHeight);
    }
    return failed ? -1 : BlockHeight(int(lines.size()), font);
}
