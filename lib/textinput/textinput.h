// Input fields: handles of type 11 over text in the string encoding with a cursor, a
// selection and the field's rules, fed by the key-input buffer while active.
#ifndef TESSEL_TEXTINPUT_H
#define TESSEL_TEXTINPUT_H

#include "core/handle.h"
#include "tessel/textinput.h"

constexpr int InputFieldCapacity = 256;
constexpr int InputFieldMaxBytes = 65536;

enum InputFieldState : int {
    FieldEditing = 0,
    FieldEntered = 1,
    FieldCancelled = 2,
};

struct InputFieldRecord {
    HandleRecord head;
    int maxBytes;
    int cancelable, singleByteOnly, digitsOnly;
    char* text;       // maxBytes + 1 bytes, owned; always whole characters
    int length;       // bytes of text
    int cursor;       // byte offset, on a character boundary
    int anchor;       // the selection's other end; == cursor when none
    int state;        // an InputFieldState
    int font;         // -1: the default font
    int blinkStart;   // the library clock when the cursor last moved
};

struct TextInputState {
    HandleTable table;
    int active;       // the active field's handle, or -1
    int started;      // InitTextInput ran and EndTextInput did not
    // The fields' colours: text, cursor, composition text, the
    // composition's underline, selected text, the selection's background,
    // the composition's cursor. Kept as 0xRRGGBB, not as pixel values: the
    // screen's format may change after they are set.
    uint32_t colours[7];
    int cursorBlinkMs;
};

extern TextInputState gTextInput;

// field.cpp
InputFieldRecord* LookupInputField(int field);
int InitTextInput();
void EndTextInput();

// edit.cpp
// One entry of the key-input buffer, as TakeKeyInputChar gives it.
void ApplyFieldInput(InputFieldRecord* field, int character, int flags);
// Stores `text` under the field's rules, cut to whole characters within
// maxBytes. 0, or -1 when the field refuses it.
int StoreFieldText(InputFieldRecord* field, const char* text);
// Bytes of the character at `text[at]` in the string encoding.
int CharBytes(const char* text, int at, int length);

#endif
