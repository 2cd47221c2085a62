// Editing a field: whole characters only, the selection, the clipboard, and
// the field's rules checked before anything changes, so the text is never
// left broken.
#include "textinput/textinput.h"

#include "core/core.h"
#include "core/encoding.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

int SelectionStart(const InputFieldRecord* f) { return std::min(f->cursor, f->anchor); }
int SelectionEnd(const InputFieldRecord* f) { return std::max(f->cursor, f->anchor); }

// The character at `text[at]` as the key-input buffer gives it (its bytes
// packed), and its bytes.
int CharAt(const char* text, int at, int length, int* bytes) {
    *bytes = CharBytes(text, at, length);
    return PackCharacter(text + at, *bytes);
}

// The boundary before `at`: the text is read from the start, as a
// Shift-JIS trail byte may look like a lead byte.
int PreviousBoundary(const InputFieldRecord* f, int at) {
    int previous = 0;
    for (int i = 0; i < at; i += CharBytes(f->text, i, f->length)) previous = i;
    return previous;
}

int NextBoundary(const InputFieldRecord* f, int at) {
    return at < f->length ? at + CharBytes(f->text, at, f->length) : at;
}

void MoveTo(InputFieldRecord* f, int at, bool extend) {
    f->cursor = at;
    if (!extend) f->anchor = at;
    f->blinkStart = GetTickMs(0);
}

void Remove(InputFieldRecord* f, int from, int to) {
    std::memmove(f->text + from, f->text + to, f->length - to + 1);
    f->length -= to - from;
    MoveTo(f, from, false);
}

void RemoveSelection(InputFieldRecord* f) {
    if (f->cursor != f->anchor) Remove(f, SelectionStart(f), SelectionEnd(f));
}

// Whether `character` (its bytes packed) is a character at all: a control
// byte, a lone lead byte, a bad trail byte, the bytes 0xFD-0xFF in
// Shift-JIS and any invalid sequence in UTF-8 would each break the text for
// its reader.
bool IsCharacter(int character) {
    if (CurrentStringEncoding() == EncodingUtf8) {
        if (character < 0x80) return character >= 0x20 && character != 0x7F;
        char bytes[4];
        int count = UnpackCharacter(character, bytes);
        size_t next = 0;
        uint32_t decoded = NextCodePoint(EncodingUtf8, bytes, count, &next);
        std::string again;
        // Only a valid sequence comes back the same through its code point.
        return AppendCharacter(EncodingUtf8, decoded, &again) &&
               again == std::string(bytes, count) && decoded >= 0xA0;
    }
    if (character > 0xFF) {
        int trail = character & 0xFF;
        return character <= 0xFFFF && IsShiftJisLeadByte(static_cast<uint8_t>(character >> 8)) &&
               trail >= 0x40 && trail <= 0xFC && trail != 0x7F;
    }
    return character >= 0x20 && character != 0x7F && character < 0xFD &&
           !IsShiftJisLeadByte(static_cast<uint8_t>(character));
}

// Whether `character` may stand at `at` of the text with the selection
// taken out (a minus only first, and only once).
bool Allowed(const InputFieldRecord* f, int character, int at) {
    if (!IsCharacter(character)) return false;
    if (character > 0xFF && f->singleByteOnly) return false;
    if (!f->digitsOnly) return true;
    if (character >= '0' && character <= '9') return true;
    if (character != '-' || at != 0) return false;
    int after = f->cursor == f->anchor ? 0 : SelectionEnd(f);
    return f->length == after || f->text[after] != '-';
}

// Puts one character at the cursor in place of the selection; 0, or -1 when
// the rules or the room refuse it (the field is then unchanged).
int Insert(InputFieldRecord* f, int character) {
    char parts[4];
    int bytes = UnpackCharacter(character, parts);
    int start = SelectionStart(f);
    if (!Allowed(f, character, start)) return -1;
    if (f->length - (SelectionEnd(f) - start) + bytes > f->maxBytes) return -1;
    RemoveSelection(f);
    int at = f->cursor;
    std::memmove(f->text + at + bytes, f->text + at, f->length - at + 1);
    std::memcpy(f->text + at, parts, bytes);
    at += bytes;
    f->length += bytes;
    MoveTo(f, at, false);
    return 0;
}

void Copy(const InputFieldRecord* f) {
    if (f->cursor == f->anchor) return;
    std::string selected(f->text + SelectionStart(f), SelectionEnd(f) - SelectionStart(f));
    PlatSetClipboardText(selected.c_str());
}

// Pastes character by character; what the field refuses is left out and the
// paste ends where the room does.
void Paste(InputFieldRecord* f) {
    std::string text;
    if (PlatGetClipboardText(&text) != 0) return;
    int length = static_cast<int>(text.size());
    for (int at = 0; at < length;) {
        int bytes = 0;
        int character = CharAt(text.data(), at, length, &bytes);
        at += bytes;
        if (f->length - (SelectionEnd(f) - SelectionStart(f)) + bytes > f->maxBytes) break;
        Insert(f, character);
    }
}

void ApplyEditKey(InputFieldRecord* f, int code, bool shift) {
    bool selected = f->cursor != f->anchor;
    switch (code) {
    case 0x1D:  // Left: a plain press on a selection lands at its start
        MoveTo(f, selected && !shift ? SelectionStart(f) : PreviousBoundary(f, f->cursor), shift);
        break;
    case 0x1C:
        MoveTo(f, selected && !shift ? SelectionEnd(f) : NextBoundary(f, f->cursor), shift);
        break;
    case 0x01: MoveTo(f, 0, shift); break;
    case 0x05: MoveTo(f, f->length, shift); break;
    case 0x10:  // Delete
    case 0x7F:
        if (selected) RemoveSelection(f);
        else if (f->cursor < f->length) Remove(f, f->cursor, NextBoundary(f, f->cursor));
        break;
    default: break;  // Up and Down: a field has one line
    }
}

}  // namespace

int CharBytes(const char* text, int at, int length) {
    return static_cast<int>(CharacterLength(CurrentStringEncoding(), text, length, at));
}

void ApplyFieldInput(InputFieldRecord* f, int character, int flags) {
    if (flags & KeyInputEditKey) {
        ApplyEditKey(f, character, (flags & KeyInputShift) != 0);
        return;
    }
    if (flags & KeyInputControl) {
        switch (character) {
        case 0x01:  // Control+A
            f->anchor = 0;
            MoveTo(f, f->length, true);
            return;
        case 0x03: Copy(f); return;
        case 0x18:
            Copy(f);
            RemoveSelection(f);
            return;
        case 0x16: Paste(f); return;
        default: break;
        }
    }
    switch (character) {
    case 0x08:
        if (f->cursor != f->anchor) RemoveSelection(f);
        else if (f->cursor > 0) Remove(f, PreviousBoundary(f, f->cursor), f->cursor);
        return;
    case 0x0D: f->state = FieldEntered; return;
    case 0x1B:
        if (f->cancelable) f->state = FieldCancelled;
        return;
    default: Insert(f, character); return;
    }
}

int StoreFieldText(InputFieldRecord* f, const char* text) {
    int length = static_cast<int>(std::strlen(text));
    int fit = 0;
    for (int at = 0; at < length;) {
        int bytes = 0;
        int character = CharAt(text, at, length, &bytes);
        // A character short of the bytes its first byte promises ends the
        // text: it was cut.
        if (at + bytes == length &&
            static_cast<int>(LeadLength(CurrentStringEncoding(), static_cast<uint8_t>(text[at]))) > bytes)
            break;
        bool allowed = IsCharacter(character) && !(bytes > 1 && f->singleByteOnly) &&
                       (!f->digitsOnly || (character >= '0' && character <= '9') ||
                        (character == '-' && at == 0));
        if (!allowed) return -1;
        if (at + bytes <= f->maxBytes) fit = at + bytes;
        at += bytes;
    }
    std::memcpy(f->text, text, fit);
    f->text[fit] = '\0';
    f->length = fit;
    MoveTo(f, fit, false);
    return 0;
}
