// The key-input buffer: typed characters in the string encoding and the
// control codes of the editing keys, in the order they came, for the text-input layer.
// The input method's messages go on to its hooks.
#include "core/core.h"
#include "core/encoding.h"

#include <string>

namespace {

// Modifier bits of gCore.keyModifiers, by side, so that letting go of one
// Shift while the other is held keeps Shift held.
constexpr int kLeftShift = 1, kRightShift = 2, kLeftControl = 4, kRightControl = 8;

int ModifierBit(uintptr_t virtualKey) {
    switch (virtualKey) {
    case 0x10: case 0xA0: return kLeftShift;
    case 0xA1: return kRightShift;
    case 0x11: case 0xA2: return kLeftControl;
    case 0xA3: return kRightControl;
    default: return 0;
    }
}

int CurrentFlags() {
    int flags = 0;
    if (gCore.keyModifiers & (kLeftShift | kRightShift)) flags |= KeyInputShift;
    if (gCore.keyModifiers & (kLeftControl | kRightControl)) flags |= KeyInputControl;
    return flags;
}

// Puts one whole character (its bytes packed); when it does not fit, the
// newest input is what is lost, never half of a character.
void Put(int character, int flags) {
    KeyInputBuffer& b = gCore.keyInput;
    char parts[4];
    int bytes = UnpackCharacter(character, parts);
    if (b.count + bytes > KeyInputBufferSize) return;
    for (int i = 0; i < bytes; ++i) {
        int at = (b.start + b.count) % KeyInputBufferSize;
        b.bytes[at] = static_cast<uint8_t>(parts[i]);
        b.flags[at] = static_cast<uint8_t>(flags);
        ++b.count;
    }
}

// The control codes of the editing keys; other keys arrive as characters.
int EditKeyCode(uintptr_t virtualKey) {
    switch (virtualKey) {
    case 0x2E: return 0x10;  // Delete
    case 0x25: return 0x1D;  // Left
    case 0x27: return 0x1C;  // Right
    case 0x26: return 0x1E;  // Up
    case 0x28: return 0x1F;  // Down
    case 0x24: return 0x01;  // Home
    case 0x23: return 0x05;  // End
    default: return 0;
    }
}

void PutCharacter(uintptr_t character) {
    if (CurrentStringEncoding() == EncodingUtf8) {
        // The platform hands a code point; the buffer keeps its bytes.
        std::string bytes;
        if (character > 0x10FFFF || !AppendCharacter(EncodingUtf8, static_cast<uint32_t>(character), &bytes))
            return;
        Put(PackCharacter(bytes.data(), bytes.size()), CurrentFlags());
        return;
    }
    if (character > 0xFF) {
        // A double-byte character needs its lead byte; anything else is noise.
        if (character > 0xFFFF || !IsShiftJisLeadByte(static_cast<uint8_t>(character >> 8))) return;
    } else if (character == 0 || IsShiftJisLeadByte(static_cast<uint8_t>(character))) {
        return;
    }
    Put(static_cast<int>(character), CurrentFlags());
}

}  // namespace

int InitKeyInputBuffer() {
    WriteLogString(SJIS("文字コードバッファの初期化を行います... "));
    gCore.keyInput = KeyInputBuffer{};
    gCore.keyModifiers = 0;
    WriteLogString(SJIS("完了しました\n"));
    return 0;
}

int HandleKeyInputMessage(const PlatMessage& m) {
    switch (m.message) {
    case MsgKeyDown:
    case MsgSysKeyDown:
        gCore.keyModifiers |= ModifierBit(m.wParam);
        if (m.message == MsgKeyDown)
            if (int code = EditKeyCode(m.wParam)) Put(code, CurrentFlags() | KeyInputEditKey);
        return 1;
    case MsgKeyUp:
    case MsgSysKeyUp:
        gCore.keyModifiers &= ~ModifierBit(m.wParam);
        return 1;
    case MsgActivate:
        // Keys let go of elsewhere are never reported here.
        if ((m.wParam & 0xFFFF) == 0) gCore.keyModifiers = 0;
        return 0;
    case MsgChar:
        PutCharacter(m.wParam);
        return 1;
    case MsgImeStartComposition:
    case MsgImeEndComposition:
    case MsgImeComposition:
    case 0x281:  // the input context became (in)active
    case 0x282:  // the input method's notices
        RunHooks(&SubsystemHooks::imeMessage, m.message);
        return 1;
    default:
        return 0;
    }
}

int TakeKeyInputChar(int* character, int* flags) {
    KeyInputBuffer& b = gCore.keyInput;
    if (b.count == 0) return 0;
    *flags = b.flags[b.start];
    int bytes = static_cast<int>(LeadLength(CurrentStringEncoding(), b.bytes[b.start]));
    if (bytes > b.count) bytes = 1;
    uint32_t packed = 0;
    for (int i = 0; i < bytes; ++i) packed = packed << 8 | b.bytes[(b.start + i) % KeyInputBufferSize];
    *character = static_cast<int>(packed);
    b.start = (b.start + bytes) % KeyInputBufferSize;
    b.count -= bytes;
    return 1;
}

void ConvertKeyInputBuffer(int from, int to) {
    KeyInputBuffer old = gCore.keyInput;
    KeyInputBuffer& b = gCore.keyInput;
    b.start = 0;
    b.count = 0;
    std::string text(old.count, '\0');
    for (int i = 0; i < old.count; ++i) text[i] = static_cast<char>(old.bytes[(old.start + i) % KeyInputBufferSize]);
    for (size_t at = 0; at < text.size();) {
        int flags = old.flags[(old.start + at) % KeyInputBufferSize];
        size_t next = at;
        uint32_t character = NextCodePoint(from, text.data(), text.size(), &next);
        std::string bytes;
        // Control codes of the editing keys are the same in both.
        if (flags & KeyInputEditKey) bytes.assign(text, at, next - at);
        else AppendCharacter(to, character, &bytes);
        if (!bytes.empty()) Put(PackCharacter(bytes.data(), bytes.size()), flags);
        at = next;
    }
}
