// The string encoding setting and the decoder behind every string the
// library reads. Shift-JIS units become Unicode through a table filled a row
// at a time from the platform's code page, so a drawn string costs one
// look-up a character.
#include "core/encoding.h"

#include "core/core.h"
#include "platform/media/font.h"

#include <memory>

namespace {

struct EncodingState {
    int resolved;   // `encoding` holds the program's choice or the environment's
    int encoding;
    // Shift-JIS lead byte row -> 256 code points, 0 for none; made on first use.
    std::unique_ptr<uint16_t[]> rows[256];
};

EncodingState gEncoding;

void Resolve() {
    gEncoding.resolved = 1;
    int fromEnvironment = PlatStringEncodingFromEnvironment();
    gEncoding.encoding = fromEnvironment == EncodingUtf8 ? EncodingUtf8 : EncodingShiftJis;
    PlatSetUtf8Strings(gEncoding.encoding == EncodingUtf8);
}

// Row 0 holds the single bytes from 0x80 up (half-width katakana and the
// code page's extras); the others a lead byte's characters.
const uint16_t* Row(unsigned lead) {
    std::unique_ptr<uint16_t[]>& row = gEncoding.rows[lead];
    if (!row) {
        row = std::make_unique<uint16_t[]>(256);
        for (unsigned next = lead ? 0x40 : 0x80; next <= (lead ? 0xFC : 0xFF); ++next)
            row[next] = static_cast<uint16_t>(PlatCp932UnitToUnicode(lead << 8 | next));
    }
    return row.get();
}

uint32_t NextShiftJis(const uint8_t* text, size_t length, size_t* position) {
    uint8_t first = text[*position];
    uint16_t character;
    if (!IsShiftJisLeadByte(first)) {
        ++*position;
        if (first < 0x80) return first;
        character = Row(0)[first];
    } else if (*position + 1 >= length) {
        *position = length;
        return NoCharacter;
    } else {
        character = Row(first)[text[*position + 1]];
        *position += 2;
    }
    return character ? character : NoCharacter;
}

uint32_t NextUtf8(const uint8_t* text, size_t length, size_t* position) {
    size_t at = *position;
    uint8_t lead = text[at];
    size_t need;
    uint32_t character;
    uint32_t lowest;
    if (lead < 0x80) {
        *position = at + 1;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        need = 2, character = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3, character = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4, character = lead & 0x07, lowest = 0x10000;
    } else {
        // A stray continuation byte, an overlong lead or one past U+10FFFF:
        // the bytes that would have followed it go with it.
        size_t end = at + 1;
        while (end < length && end - at < 4 && (text[end] & 0xC0) == 0x80) ++end;
        *position = end;
        return ReplacementCharacter;
    }
    size_t end = at + 1;
    while (end < length && end - at < need && (text[end] & 0xC0) == 0x80) {
        character = character << 6 | (text[end] & 0x3F);
        ++end;
    }
    *position = end;
    if (end - at < need || character < lowest || character > 0x10FFFF ||
        (character >= 0xD800 && character <= 0xDFFF))
        return ReplacementCharacter;
    return character;
}

}  // namespace

size_t LeadLength(int encoding, uint8_t lead) {
    if (encoding == EncodingShiftJis) return IsShiftJisLeadByte(lead) ? 2 : 1;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    return lead >= 0xC2 && lead <= 0xDF ? 2 : 1;
}

int PackCharacter(const char* text, size_t bytes) {
    uint32_t packed = 0;
    for (size_t i = 0; i < bytes && i < 4; ++i) packed = packed << 8 | static_cast<uint8_t>(text[i]);
    return static_cast<int>(packed);
}

int UnpackCharacter(int packed, char* out) {
    int count = PackedLength(packed);
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<char>(static_cast<uint32_t>(packed) >> (8 * (count - 1 - i)));
    return count;
}

int CurrentStringEncoding() {
    if (!gEncoding.resolved) Resolve();
    return gEncoding.encoding;
}

int SetStringEncoding(int encoding) {
    if (encoding != EncodingShiftJis && encoding != EncodingUtf8) return -1;
    int previous = CurrentStringEncoding();
    gEncoding.encoding = encoding;
    PlatSetUtf8Strings(encoding == EncodingUtf8);
    if (previous != encoding) {
        ConvertKeyInputBuffer(previous, encoding);
        RunHooks(&SubsystemHooks::encodingChanged, previous, encoding);
    }
    return 0;
}

int GetStringEncoding() { return CurrentStringEncoding(); }

uint32_t NextCodePoint(int encoding, const char* text, size_t length, size_t* position) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    return encoding == EncodingUtf8 ? NextUtf8(bytes, length, position)
                                    : NextShiftJis(bytes, length, position);
}

size_t CharacterLength(int encoding, const char* text, size_t length, size_t position) {
    size_t next = position;
    NextCodePoint(encoding, text, length, &next);
    return next - position;
}

size_t WholeCharactersLength(int encoding, const char* text, size_t limit) {
    size_t end = 0;
    while (end < limit) {
        size_t next = end;
        NextCodePoint(encoding, text, limit, &next);
        // A character the limit cut in two reaches the limit short of the
        // bytes its first byte promised.
        if (next == limit && next - end < LeadLength(encoding, static_cast<uint8_t>(text[end])))
            break;
        end = next;
    }
    return end;
}

int AppendCharacter(int encoding, uint32_t character, std::string* out) {
    if (character == 0 || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF))
        return 0;
    if (character < 0x80) {
        out->push_back(static_cast<char>(character));
        return 1;
    }
    if (encoding == EncodingShiftJis) {
        unsigned unit = PlatUnicodeToCp932Unit(character);
        if (unit == 0) return 0;
        if (unit > 0xFF) out->push_back(static_cast<char>(unit >> 8));
        out->push_back(static_cast<char>(unit & 0xFF));
        return 1;
    }
    char bytes[4];
    int count;
    if (character < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | character >> 6);
        count = 2;
    } else if (character < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | character >> 12);
        count = 3;
    } else {
        bytes[0] = static_cast<char>(0xF0 | character >> 18);
        count = 4;
    }
    for (int i = 1; i < count; ++i)
        bytes[i] = static_cast<char>(0x80 | ((character >> (6 * (count - 1 - i))) & 0x3F));
    out->append(bytes, count);
    return 1;
}

std::string ConvertEncoding(const char* text, size_t length, int from, int to, int* dropped) {
    if (from == to) return std::string(text, length);
    std::string out;
    out.reserve(length + length / 2);
    for (size_t position = 0; position < length;) {
        uint32_t character = NextCodePoint(from, text, length, &position);
        if (!AppendCharacter(to, character, &out) && dropped) ++*dropped;
    }
    return out;
}
