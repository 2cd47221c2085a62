// Typed text, the input method's composition and the clipboard through SDL.
// SDL does not hand the candidate list to programs, so the input method
// shows its own window (SDL_HINT_IME_SHOW_UI) at the rectangle the field
// gives; the field itself shows the composition.
#include "platform/backend.h"
#include "platform/sdl/sdl_backend.h"

#include <cstring>

namespace {

void (*gEmit)(uint32_t message, uintptr_t wParam);

void EmitChar(uintptr_t character) { gEmit(MsgChar, character); }

void NoteComposition(const char* utf8, int cursorChars) {
    size_t length = std::strlen(utf8);
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
            PlatForEachCp932Char(PlatTextToCp932(text, std::strlen(text)), EmitChar);
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
