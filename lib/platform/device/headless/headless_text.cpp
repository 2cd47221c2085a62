// Text input of the headless back end: the script's committed text and
// composition become the messages a desktop's input method would send, and
// the clipboard is a string of the back end's own.
#include "platform/device/backend.h"
#include "platform/device/headless/headless.h"
#include "platform/device/headless/state.h"

namespace {

void QueueChar(uintptr_t character) { HeadlessQueueInputMessage(MsgChar, character, 0); }

}  // namespace

void HeadlessTextInputStart() { gHeadless.textInputRunning = 1; }

void HeadlessTextInputStop() { gHeadless.textInputRunning = 0; }

void HeadlessTextInputRect(int x, int y, int width, int height) {
    gHeadless.textRect[0] = x;
    gHeadless.textRect[1] = y;
    gHeadless.textRect[2] = width;
    gHeadless.textRect[3] = height;
}

int HeadlessClipboardGet(std::string* utf8) {
    if (!gHeadless.clipboardHasText) return -1;
    *utf8 = gHeadless.clipboard;
    return 0;
}

int HeadlessClipboardSet(const char* utf8) {
    gHeadless.clipboard = utf8;
    gHeadless.clipboardHasText = 1;
    return 0;
}

// The script speaks for the system, so its text arrives whether or not the
// program runs text input, as a desktop's input method may still commit.
void ApplyTextEvent(const HeadlessEvent& e) {
    if (!gHeadless.hasWindow) return;
    if (e.kind == EventText) {
        PlatForEachTypedChar(PlatTextFromSystem(e.text.data(), e.text.size()), QueueChar);
        return;
    }
    if (!e.text.empty() && !PlatComposing())
        HeadlessQueueInputMessage(MsgImeStartComposition, 0, 0);
    uint32_t message = PlatNoteComposition(e.text.data(), e.text.size(), e.a);
    if (message) HeadlessQueueInputMessage(message, 0, 0);
}

int HeadlessTextInput(int rect[4]) {
    if (rect)
        for (int i = 0; i < 4; ++i) rect[i] = gHeadless.textRect[i];
    return gHeadless.textInputRunning;
}

const char* HeadlessWindowTitle() { return gHeadless.title.c_str(); }
