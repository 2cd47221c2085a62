// Text from the system: committed text and the input method's composition
// turned from UTF-8 into the program's encoding one character at a time, so
// that a character code page 932 lacks costs only itself; and the forwarders of
// the back ends' text-input and clipboard functions.
#include "platform/device/backend.h"

#include <cstring>
#include <iconv.h>

namespace {

struct TextInputState {
    iconv_t toCp932;            // opened on first use; (iconv_t)-1 when missing
    int converterTried;
    std::string composition;    // the program's encoding
    int compositionCursor;      // byte offset into it
    int composing;
    int running;                // text input was started and not stopped
    int dropped;                // characters dropped since the process began
    int rect[4];                // the input method's place last given
};

TextInputState gText;

// The length of the valid UTF-8 character at `text`, or 0 when it is not
// one: overlong forms, surrogates and code points past U+10FFFF included.
size_t Utf8CharLength(const unsigned char* text, size_t left) {
    unsigned char lead = text[0];
    size_t length;
    uint32_t code;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (left < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) return 0;
        code = code << 6 | (text[i] & 0x3F);
    }
    if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return 0;
    if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return 0;
    return length;
}

// The bytes a character that is not valid UTF-8 takes: the lead byte and
// the continuation bytes after it, so its pieces are never read as text.
size_t BadSequenceLength(const unsigned char* text, size_t left) {
    size_t length = 1;
    while (length < left && length < 4 && (text[length] & 0xC0) == 0x80) ++length;
    return length;
}

// One character in the program's encoding, or "" when it has no form there.
std::string ConvertOne(const char* utf8, size_t length) {
    if (length == 1 || PlatUtf8Strings()) return std::string(utf8, length);
    if (!gText.converterTried) {
        gText.converterTried = 1;
        gText.toCp932 = iconv_open("CP932", "UTF-8");
    }
    if (gText.toCp932 == reinterpret_cast<iconv_t>(-1)) return "";
    char out[8];
    char* in = const_cast<char*>(utf8);
    size_t inLeft = length;
    char* next = out;
    size_t room = sizeof out;
    size_t result = iconv(gText.toCp932, &in, &inLeft, &next, &room);
    iconv(gText.toCp932, nullptr, nullptr, nullptr, nullptr);
    if (result == static_cast<size_t>(-1) || inLeft != 0) return "";
    return std::string(out, next - out);
}

// Converts, keeping the byte offset of character `cursorChars` (counted in
// the UTF-8 text) when asked.
std::string Convert(const char* utf8, size_t length, int cursorChars, int* cursorBytes) {
    std::string out;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(utf8);
    int chars = 0;
    if (cursorBytes) *cursorBytes = 0;
    for (size_t at = 0; at < length;) {
        if (cursorBytes && chars == cursorChars) *cursorBytes = static_cast<int>(out.size());
        size_t one = Utf8CharLength(text + at, length - at);
        if (one == 0) {
            at += BadSequenceLength(text + at, length - at);
            ++gText.dropped;
            ++chars;
            continue;
        }
        std::string converted = ConvertOne(utf8 + at, one);
        // A NUL would end the text early wherever it went.
        if (converted.empty() || converted[0] == '\0')
            ++gText.dropped;
        else
            out += converted;
        at += one;
        ++chars;
    }
    if (cursorBytes && chars <= cursorChars) *cursorBytes = static_cast<int>(out.size());
    return out;
}

}  // namespace

std::string PlatTextFromSystem(const char* utf8, size_t length) {
    return Convert(utf8, length, 0, nullptr);
}

void PlatForEachTypedChar(const std::string& text, void (*emit)(uintptr_t character)) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        uint8_t byte = bytes[i];
        if (PlatUtf8Strings()) {
            // The text is valid UTF-8 already: PlatTextFromSystem dropped the rest.
            size_t one = Utf8CharLength(bytes + i, text.size() - i);
            if (one == 0) return;
            uint32_t code = one == 1 ? byte : byte & (0xFF >> (one + 1));
            for (size_t k = 1; k < one; ++k) code = code << 6 | (bytes[i + k] & 0x3F);
            emit(code);
            i += one;
            continue;
        }
        bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        if (lead && i + 1 < text.size()) {
            emit(static_cast<uintptr_t>(byte) << 8 | bytes[i + 1]);
            i += 2;
        } else {
            if (!lead) emit(byte);
            ++i;
        }
    }
}

uint32_t PlatNoteComposition(const char* utf8, size_t length, int cursorChars) {
    if (length == 0) {
        if (!gText.composing) return 0;
        gText.composing = 0;
        gText.composition.clear();
        gText.compositionCursor = 0;
        return MsgImeEndComposition;
    }
    int cursor = 0;
    std::string text = Convert(utf8, length, cursorChars < 0 ? 0 : cursorChars, &cursor);
    gText.composing = 1;
    gText.composition = std::move(text);
    gText.compositionCursor = cursor;
    return MsgImeComposition;
}

int PlatComposing() { return gText.composing; }

int PlatGetComposition(char* out, int size, int* cursorBytes) {
    if (cursorBytes) *cursorBytes = gText.composing ? gText.compositionCursor : 0;
    if (!gText.composing) {
        if (out && size > 0) out[0] = '\0';
        return 0;
    }
    if (out && size > 0) {
        size_t fit = 0;
        const std::string& text = gText.composition;
        while (fit < text.size()) {
            uint8_t byte = static_cast<uint8_t>(text[fit]);
            size_t one = PlatUtf8Strings()
                             ? Utf8CharLength(reinterpret_cast<const unsigned char*>(text.data()) + fit,
                                              text.size() - fit)
                             : ((byte >= 0x81 && byte <= 0x9F) || byte >= 0xE0) ? 2 : 1;
            if (one == 0) break;
            if (fit + one > static_cast<size_t>(size - 1)) break;
            fit += one;
        }
        std::memcpy(out, text.data(), fit);
        out[fit] = '\0';
    }
    return static_cast<int>(gText.composition.size());
}

void PlatStartTextInput() {
    gText.running = 1;
    // A new start may follow a back end of which nothing is known.
    gText.rect[2] = -1;
    PlatCurrentBackend()->textInputStart();
}

void PlatStopTextInput() {
    gText.running = 0;
    gText.composing = 0;
    gText.composition.clear();
    gText.compositionCursor = 0;
    PlatCurrentBackend()->textInputStop();
}

int PlatTextInputRunning() { return gText.running; }

// Fields are drawn every frame; the system hears of the place only when it
// moves, as telling an input method may be a round trip to another process.
void PlatSetTextInputRect(int x, int y, int width, int height) {
    const int rect[4] = {x, y, width, height};
    if (std::memcmp(rect, gText.rect, sizeof rect) == 0) return;
    std::memcpy(gText.rect, rect, sizeof rect);
    PlatCurrentBackend()->textInputRect(x, y, width, height);
}

int PlatGetClipboardText(std::string* text) {
    std::string utf8;
    if (PlatCurrentBackend()->clipboardGet(&utf8) != 0) return -1;
    *text = PlatTextFromSystem(utf8.data(), utf8.size());
    return 0;
}

int PlatSetClipboardText(const char* text) {
    std::string utf8 = PlatProgramTextToUtf8(text, std::strlen(text));
    return PlatCurrentBackend()->clipboardSet(utf8.c_str());
}

int PlatDroppedTextCount() { return gText.dropped; }
