// Two input fields: a name (any Japanese or Latin text, through the input
// method) and an age (digits only). Return moves on, Escape leaves; the
// entries are printed at the end, in UTF-8. Once both are in, whatever
// is typed outside the fields shows below them, as a game would read keys.
#include <tessel.h>

#include <cstdio>
#include <string>

int main() {
    SetStringEncoding(EncodingUtf8);
    SetWindowTitle("name entry");
    ChangeWindowMode(1);
    SetScreenMode(640, 480, 32, -1);
    if (InitLibrary() != 0) return 1;
    SetDrawTarget(TargetBack);

    const char* nameLabel = "名前 (name)";
    const char* ageLabel = "年齢 (age)";
    uint32_t white = MakeColor(255, 255, 255);
    uint32_t grey = MakeColor(140, 140, 140);
    uint32_t gold = MakeColor(255, 210, 60);

    // Twenty bytes of UTF-8: six Japanese characters, or twenty ASCII ones.
    int name = MakeInputField(20, 1, 0, 0);
    int age = MakeInputField(3, 1, 1, 1);
    ActivateInputField(name);

    int step = 0;  // 0: typing the name, 1: the age, 2: both entered
    int cancelled = 0;
    std::string typed;  // typed after both entries
    while (PumpMessages() == 0) {
        if (GetInputFieldState(name) == 2 || GetInputFieldState(age) == 2) {
            cancelled = 1;
            break;
        }
        if (step == 0 && GetInputFieldState(name) == 1) {
            step = 1;
            ActivateInputField(age);
        } else if (step == 1 && GetInputFieldState(age) == 1) {
            step = 2;
        }
        // With no field active, what is typed (Escape too) reaches the
        // typed-character buffer.
        int character = step == 2 ? GetInputChar(0) : 0;
        if (character == 0x1B) break;
        if (character >= 0x20) typed += static_cast<char>(character);

        ClearDrawTarget();
        DrawTextString(40, 30, "Return: next   Escape: quit", grey, 0);
        DrawTextString(40, 100, nameLabel, step == 0 ? gold : white, 0);
        DrawInputField(180, 100, name);
        DrawTextString(40, 140, ageLabel, step == 1 ? gold : white, 0);
        DrawInputField(180, 140, age);
        if (step == 2) {
            char text[32];
            GetInputFieldText(name, text, sizeof text);
            DrawTextFormat(40, 220, gold, "%s, %d", text, GetInputFieldNumber(age));
            DrawTextString(40, 260, typed.c_str(), white, 0);
        }
        PresentScreen();
    }

    char text[32];
    GetInputFieldText(name, text, sizeof text);
    if (!cancelled && step == 2) std::printf("name: %s\nage: %d\n", text, GetInputFieldNumber(age));
    if (!typed.empty()) std::printf("typed: %s\n", typed.c_str());
    EndLibrary();
    return cancelled ? 1 : 0;
}
