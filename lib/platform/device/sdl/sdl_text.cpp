// Typed text, the input method's composition and the clipboard through SDL.
// SDL does not hand the candidate list to programs, so the input method
// shows its own window (SDL_HINT_IME_SHOW_UI) at the rectangle the field
// gives; the field itself shows the composition.
#include "platform/device/backend.h"
#include "platform/device/record.h"
#include "platform/device/sdl/sdl_backend.h"

#include <SDL_syswm.h>
#include <X11/Xutil.h>
#include <xkbcommon/xkbcommon.h>

#include <cstring>

namespace {

void (*gEmit)(uint32_t message, uintptr_t wParam);

// What the last key press of the window system types, until its key-down
// event takes it.
struct TypedKeyState {
    int known;
    std::string utf8;
};

TypedKeyState gTypedKey;

void EmitChar(uintptr_t character) { gEmit(MsgChar, character); }

void NoteComposition(const char* utf8, int cursorChars) {
    size_t length = std::strlen(utf8);
    RecordCompose(cursorChars, utf8, length);
    if (length && !PlatComposing()) gEmit(MsgImeStartComposition, 0);
    uint32_t message = PlatNoteComposition(utf8, length, cursorChars);
    if (message) gEmit(message, 0);
}

}  // namespace

void SdlTextInputHints() {
    SDL_SetHint(SDL_HINT_IME_SHOW_UI, "1");
    // Compositions longer than an event's 32 bytes come whole, not cut.
    SDL_SetHint(SDL_HINT_IME_SUPPORT_EXTENDED_TEXT, "1");
}

void SdlTextInputStart() { SDL_StartTextInput(); }

void SdlTextInputStop() { SDL_StopTextInput(); }

void SdlTextInputRect(int x, int y, int width, int height) {
    SDL_Rect rect{x, y, width, height};
    SDL_SetTextInputRect(&rect);
}

int SdlClipboardGet(std::string* utf8) {
    if (!SDL_WasInit(SDL_INIT_VIDEO) || !SDL_HasClipboardText()) return -1;
    char* text = SDL_GetClipboardText();
    if (!text) return -1;
    *utf8 = text;
    SDL_free(text);
    return 0;
}

int SdlClipboardSet(const char* utf8) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return -1;
    return SDL_SetClipboardText(utf8) == 0 ? 0 : -1;
}

int SdlTranslateTextEvent(const SDL_Event& event,
                          void (*emit)(uint32_t message, uintptr_t wParam)) {
    gEmit = emit;
    switch (event.type) {
        case SDL_TEXTINPUT: {
            const char* text = event.text.text;
            RecordText(text, std::strlen(text));
            PlatForEachTypedChar(PlatTextFromSystem(text, std::strlen(text)), EmitChar);
            return 1;
        }
        case SDL_TEXTEDITING:
            NoteComposition(event.edit.text, event.edit.start);
            return 1;
        case SDL_TEXTEDITING_EXT:
            NoteComposition(event.editExt.text, event.editExt.start);
            SDL_free(event.editExt.text);
            return 1;
        default:
            return 0;
    }
}

void SdlNoteSystemEvent(const SDL_SysWMmsg* message) {
    if (!message || message->subsystem != SDL_SYSWM_X11) return;
    XEvent event = message->msg.x11.event;
    if (event.type != KeyPress) return;
    // Without an input context the lookup applies the layout and the
    // modifiers only: no input method sees the key.
    char latin1[8];
    KeySym keysym = NoSymbol;
    XLookupString(&event.xkey, latin1, sizeof latin1, &keysym, nullptr);
    char utf8[8] = "";
    if (keysym == NoSymbol ||
        xkb_keysym_to_utf8(static_cast<xkb_keysym_t>(keysym), utf8, sizeof utf8) <= 0)
        utf8[0] = '\0';
    gTypedKey.known = 1;
    gTypedKey.utf8 = utf8;
}

int SdlTakeTypedKey(std::string* cp932) {
    if (!gTypedKey.known) return 0;
    gTypedKey.known = 0;
    const std::string& utf8 = gTypedKey.utf8;
    // Control characters come from the key itself (Enter, Backspace...).
    bool printable = !utf8.empty() && static_cast<uint8_t>(utf8[0]) >= 0x20 && utf8[0] != 0x7F;
    *cp932 = printable ? PlatTextFromSystem(utf8.data(), utf8.size()) : std::string();
    return 1;
}
