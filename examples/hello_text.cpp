// The smallest Tessel program: a window that greets in English and Japanese
// until Escape is pressed or the window is closed.
#include <tessel.h>

int main() {
    SetStringEncoding(EncodingUtf8);    // strings in and out are UTF-8, as this file is
    SetWindowTitle("hello");
    ChangeWindowMode(1);                // a window rather than the full screen
    SetScreenMode(640, 480, 32, -1);
    if (InitLibrary() != 0) return 1;
    SetDrawTarget(TargetBack);          // draw off screen, then present

    const char* konnichiwa = "こんにちは";

    // Face chosen by the platform (one that has Japanese), 48 pixels, bold.
    int big = CreateFontToHandle(nullptr, 48, 7, -1, 0, -1, -1);
    uint32_t white = MakeColor(255, 255, 255);
    uint32_t gold = MakeColor(255, 210, 60);

    while (PumpMessages() == 0 && !IsKeyDown(KeyEscape)) {
        ClearDrawTarget();
        DrawTextString(40, 40, "hello (Escape ends)", white, 0);
        DrawTextWithFont(40, 120, "hello", gold, big, 0);
        DrawTextWithFont(40, 200, konnichiwa, gold, big, 0);
        DrawTextFormat(40, 300, white, "%d pixels wide", MeasureTextWidth("hello"));
        PresentScreen();
    }
    EndLibrary();
    return 0;
}
