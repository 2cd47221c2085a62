// The field table and its life: making, deleting and activating fields,
// reading them back, and the text-input service that hands the active field
// what was typed.
#include "textinput/textinput.h"

#include "core/core.h"
#include "core/encoding.h"
#include "graphics/color.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

TextInputState gTextInput;

namespace {

HandleRecord* gFieldSlots[InputFieldCapacity];

void FreeFieldText(InputFieldRecord* field) {
    std::free(field->text);
    field->text = nullptr;
}

void StopTextInput() {
    gTextInput.active = -1;
    if (PlatTextInputRunning()) PlatStopTextInput();
}

// Runs last in every pump: the active field takes the typed characters in
// order until it is finished; whatever comes after stays in the buffer.
void FeedActiveField() {
    InputFieldRecord* field = LookupInputField(gTextInput.active);
    if (!field) return;
    int character = 0, flags = 0;
    while (field->state == FieldEditing && TakeKeyInputChar(&character, &flags))
        ApplyFieldInput(field, character, flags);
    if (field->state != FieldEditing) StopTextInput();
}

void HandleImeMessage(uint32_t message) {
    // A changed composition moves the cursor: it shows at once.
    if (message == MsgImeComposition || message == MsgImeEndComposition)
        if (InputFieldRecord* field = LookupInputField(gTextInput.active))
            field->blinkStart = GetTickMs(0);
}

// The field's text in the new encoding, its cursor where the same
// character is; a character the new encoding lacks, or one a single-byte
// field no longer takes, is dropped. The characters dropped.
int ConvertField(InputFieldRecord* f, int from, int to) {
    int dropped = 0;
    std::string text = ConvertEncoding(f->text, f->length, from, to, &dropped);
    std::string before = ConvertEncoding(f->text, f->cursor, from, to, nullptr);
    std::string kept;
    int cursor = 0;
    for (size_t at = 0; at < text.size();) {
        size_t bytes = CharacterLength(to, text.data(), text.size(), at);
        bool fits = kept.size() + bytes <= static_cast<size_t>(f->maxBytes);
        if (fits && !(bytes > 1 && f->singleByteOnly)) kept.append(text, at, bytes);
        else ++dropped;
        at += bytes;
        if (at <= before.size()) cursor = static_cast<int>(kept.size());
    }
    std::memcpy(f->text, kept.data(), kept.size());
    f->text[kept.size()] = '\0';
    f->length = static_cast<int>(kept.size());
    f->cursor = f->anchor = cursor;
    return dropped;
}

void ConvertFields(int from, int to) {
    int dropped = 0;
    for (int slot = 0; slot < gTextInput.table.highWater; ++slot)
        if (gFieldSlots[slot])
            dropped += ConvertField(HandleTableRecordAt<InputFieldRecord>(&gTextInput.table, slot), from, to);
    if (dropped > 0)
        WriteLogFormat(SJIS("文字コードの切り替えで入力欄の %d 文字が変換できず消えました"), dropped);
}

}  // namespace

InputFieldRecord* LookupInputField(int field) {
    if (!gTextInput.started) return nullptr;
    return HandleTableGetAs<InputFieldRecord>(&gTextInput.table, field);
}

int InitTextInput() {
    gTextInput.table.type = HandleInputField;
    gTextInput.table.capacity = InputFieldCapacity;
    gTextInput.table.slots = gFieldSlots;
    gTextInput.active = -1;
    gTextInput.started = 1;
    const uint32_t colours[7] = {0xFFFFFF, 0xFFFF00, 0xFFFFFF, 0x00FFFF,
                                 0xFFFFFF, 0xFF3232, 0xFFFF14};
    std::memcpy(gTextInput.colours, colours, sizeof colours);
    gTextInput.cursorBlinkMs = 500;
    const SubsystemHooks hooks{
        .pump = FeedActiveField, .imeMessage = HandleImeMessage, .encodingChanged = ConvertFields};
    RegisterHooks(HookTextInput, &hooks);
    return 0;
}

void EndTextInput() {
    if (!gTextInput.started) return;
    RegisterHooks(HookTextInput, nullptr);
    StopTextInput();
    for (int slot = 0; slot < gTextInput.table.highWater; ++slot)
        if (gFieldSlots[slot])
            FreeFieldText(HandleTableRecordAt<InputFieldRecord>(&gTextInput.table, slot));
    HandleTableReset(&gTextInput.table);
    gTextInput.started = 0;
}

int MakeInputField(int maxBytes, int cancelable, int singleByteOnly, int digitsOnly) {
    if (!LibraryRunning() || !gTextInput.started) return -1;
    if (maxBytes < 1 || maxBytes > InputFieldMaxBytes) return -1;
    char* text = static_cast<char*>(std::calloc(static_cast<size_t>(maxBytes) + 1, 1));
    if (!text) return -1;
    int handle = HandleTableAdd(&gTextInput.table, sizeof(InputFieldRecord));
    if (handle < 0) {
        std::free(text);
        return -1;
    }
    InputFieldRecord* field = LookupInputField(handle);
    field->maxBytes = maxBytes;
    field->cancelable = cancelable ? 1 : 0;
    field->singleByteOnly = singleByteOnly ? 1 : 0;
    field->digitsOnly = digitsOnly ? 1 : 0;
    field->text = text;
    field->font = -1;
    field->blinkStart = GetTickMs(0);
    return handle;
}

int DeleteInputField(int handle) {
    InputFieldRecord* field = LookupInputField(handle);
    if (!field) return -1;
    if (gTextInput.active == handle) StopTextInput();
    FreeFieldText(field);
    return HandleTableRemove(&gTextInput.table, handle);
}

int ActivateInputField(int handle) {
    if (!gTextInput.started) return -1;
    if (handle == -1) {
        StopTextInput();
        return 0;
    }
    InputFieldRecord* field = LookupInputField(handle);
    if (!field) return -1;
    field->state = FieldEditing;
    field->blinkStart = GetTickMs(0);
    gTextInput.active = handle;
    if (!PlatTextInputRunning()) PlatStartTextInput();
    return 0;
}

int GetInputFieldState(int handle) {
    InputFieldRecord* field = LookupInputField(handle);
    return field ? field->state : -1;
}

int GetInputFieldText(int handle, char* buffer, int size) {
    InputFieldRecord* field = LookupInputField(handle);
    if (!field || !buffer || size < 1) return -1;
    int fit = 0;
    while (fit < field->length) {
        int one = CharBytes(field->text, fit, field->length);
        if (fit + one > size - 1) break;
        fit += one;
    }
    std::memcpy(buffer, field->text, fit);
    buffer[fit] = '\0';
    return fit;
}

int SetInputFieldText(int handle, const char* text) {
    InputFieldRecord* field = LookupInputField(handle);
    if (!field || !text) return -1;
    return StoreFieldText(field, text);
}

int GetInputFieldNumber(int handle) {
    InputFieldRecord* field = LookupInputField(handle);
    if (!field) return -1;
    long long value = std::strtoll(field->text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

int SetInputFieldFont(int handle, int font) {
    InputFieldRecord* field = LookupInputField(handle);
    if (!field) return -1;
    field->font = font;
    return 0;
}

int SetInputFieldColours(uint32_t text, uint32_t cursor, uint32_t compositionText,
                         uint32_t compositionLine, uint32_t selectedText,
                         uint32_t selectionBackground, uint32_t compositionCursor) {
    const uint32_t colours[7] = {text,         cursor,          compositionText,
                                 compositionLine, selectedText, selectionBackground,
                                 compositionCursor};
    for (int i = 0; i < 7; ++i) {
        int red = 0, green = 0, blue = 0;
        SplitColorValue(colours[i], &red, &green, &blue);
        gTextInput.colours[i] = static_cast<uint32_t>(red << 16 | green << 8 | blue);
    }
    return 0;
}

int GetImeComposition(char* buffer, int size, int* cursor) {
    if (!LibraryRunning()) {
        if (cursor) *cursor = 0;
        return 0;
    }
    return PlatGetComposition(buffer, size, cursor);
}

// The key-input buffer read a byte at a time, beside the fields.

int GetInputChar(int peek) {
    if (!LibraryRunning()) return 0;
    KeyInputBuffer& b = gCore.keyInput;
    if (b.count == 0) return 0;
    int byte = b.bytes[b.start];
    if (!peek) {
        b.start = (b.start + 1) % KeyInputBufferSize;
        --b.count;
    }
    return byte;
}

int ClearInputChars() {
    gCore.keyInput.start = 0;
    gCore.keyInput.count = 0;
    return 0;
}
