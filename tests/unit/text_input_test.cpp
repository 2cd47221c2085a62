// Typed characters, input fields and the input method, driven through the
// headless platform's script as a person at the keyboard would.
#include "core/core.h"
#include "platform/device/headless/headless.h"
#include "platform/platform.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <sstream>
#include <string>
#include <vector>

namespace {

class TextInputTest : public ::testing::Test {
protected:
    ScratchDir dir;
    void SetUp() override {
        UseHeadless();
        ASSERT_EQ(InitLibrary(), 0);
    }
    void TearDown() override { EndLibrary(); }

    static void Play(const std::string& lines) { PlayScript(lines); }

    static std::string Text(int field) {
        char buffer[256];
        EXPECT_GE(GetInputFieldText(field, buffer, sizeof buffer), 0);
        return buffer;
    }

    static std::string AllInputChars() {
        std::string out;
        while (int c = GetInputChar(0)) out += static_cast<char>(c);
        return out;
    }
};

// The Shift-JIS forms of the Japanese used below.
const std::string kA = "\x82\xa0", kI = "\x82\xa2", kU = "\x82\xa4";  // あ い う
const std::string kSo = "\x83\x5c";                                   // ソ, trail byte 0x5C

TEST_F(TextInputTest, EditingKeysAndTypedTextReachTheBufferInOrder) {
    Play("down LEFT|up LEFT|down DELETE|down HOME|down END|down UP|down DOWN|"
         "down RETURN|down BACK|down TAB|down ESCAPE|down A|text x\xe3\x81\x82|down RIGHT");
    std::string expected = "\x1d\x10\x01\x05\x1e\x1f\x0d\x08\x09\x1b" "ax" + kA + "\x1c";
    EXPECT_EQ(GetInputChar(1), 0x1d);  // a peek leaves it
    EXPECT_EQ(AllInputChars(), expected);
    EXPECT_EQ(GetInputChar(0), 0);

    // Full but for one byte: the double-byte character is dropped whole and
    // a single byte after it still fits.
    for (int i = 0; i < KeyInputBufferSize - 1; ++i) MainWindowProc({MsgChar, 'z', 0});
    MainWindowProc({MsgChar, 0x82a0, 0});
    MainWindowProc({MsgChar, 'q', 0});
    MainWindowProc({MsgChar, 'r', 0});
    std::string all = AllInputChars();
    ASSERT_EQ(all.size(), static_cast<size_t>(KeyInputBufferSize));
    EXPECT_EQ(all.back(), 'q');
    MainWindowProc({MsgChar, 'z', 0});
    ClearInputChars();
    EXPECT_EQ(GetInputChar(1), 0);
}

struct TypingCase {
    const char* name;
    int maxBytes, cancelable, singleByteOnly, digitsOnly;
    const char* script;
    std::string text;  // Shift-JIS afterwards
    int state;
    int dropped;       // characters the platform dropped
};

TEST_F(TextInputTest, TypingIntoAField) {
    const TypingCase cases[] = {
        {"ascii", 32, 0, 0, 0, "text Hello, #1!", "Hello, #1!", 0, 0},
        {"japanese", 32, 0, 0, 0, "text \xe3\x81\x82\xe3\x82\xbd", kA + kSo, 0, 0},
        {"outside the code page", 32, 0, 0, 0, "text a\xf0\x9f\x98\x80\xc3\xa9z", "az", 0, 2},
        {"invalid utf-8", 32, 0, 0, 0, "text a\xe3\x81\xff\xc0\xafz", "az", 0, 3},
        {"left and backspace", 32, 0, 0, 0,
         "text \xe3\x81\x82\xe3\x81\x84\xe3\x81\x86|down LEFT|down LEFT|down BACK|down DELETE", kU, 0, 0},
        {"shift selects", 32, 0, 0, 0,
         "text \xe3\x81\x82\xe3\x81\x84\xe3\x81\x86|down HOME|down LSHIFT|down RIGHT|up RIGHT|"
         "down RIGHT|up LSHIFT|text x",
         "x" + kU, 0, 0},
        {"shift left from the end", 32, 0, 0, 0,
         "text ab\xe3\x81\x82|down LSHIFT|down LEFT|up LSHIFT|down DELETE|down HOME|text c",
         "cab", 0, 0},
        {"plain left ends a selection at its start", 32, 0, 0, 0,
         "text abc|down LSHIFT|down LEFT|down LEFT|up LSHIFT|down LEFT|text x", "axbc", 0, 0},
        {"control a then type", 32, 0, 0, 0, "text abc|down LCONTROL|down A|up A|up LCONTROL|text z",
         "z", 0, 0},
        {"room for a single byte", 4, 0, 0, 0, "text a\xe3\x81\x82\xe3\x81\x84|text b", "a" + kA + "b",
         0, 0},
        {"full", 5, 0, 0, 0, "text a\xe3\x81\x82\xe3\x81\x84\xe3\x81\x86|text b", "a" + kA + kI, 0, 0},
        {"digits", 32, 0, 0, 1, "text -12a3-4\xe3\x81\x82|down HOME|text -", "-1234", 0, 0},
        {"single bytes", 32, 0, 1, 0, "text a\xe3\x81\x82\xef\xbd\xb1" "b", "a\xb1" "b", 0, 0},
        {"return enters", 32, 0, 0, 0, "text ok|down RETURN|text late", "ok", 1, 0},
        {"escape cancels", 32, 1, 0, 0, "text ok|down ESCAPE|text late", "ok", 2, 0},
        {"escape without cancelable", 32, 0, 0, 0, "text ok|down ESCAPE|text !", "ok!", 0, 0},
    };
    for (const TypingCase& c : cases) {
        SCOPED_TRACE(c.name);
        int field = MakeInputField(c.maxBytes, c.cancelable, c.singleByteOnly, c.digitsOnly);
        ASSERT_NE(field, -1);
        ASSERT_EQ(ActivateInputField(field), 0);
        int dropped = PlatDroppedTextCount();
        Play(c.script);
        for (const char* key : {"LSHIFT", "LCONTROL", "LEFT", "RIGHT"}) Play(std::string("up ") + key);
        EXPECT_EQ(Text(field), c.text);
        EXPECT_EQ(GetInputFieldState(field), c.state);
        EXPECT_EQ(PlatDroppedTextCount() - dropped, c.dropped);
        // Text input runs only while a field is active; a finished field
        // leaves the rest of the typing in the buffer.
        EXPECT_EQ(HeadlessTextInput(nullptr), c.state == 0 ? 1 : 0);
        EXPECT_EQ(AllInputChars(), c.state ? "late" : "");
        EXPECT_EQ(DeleteInputField(field), 0);
        EXPECT_EQ(HeadlessTextInput(nullptr), 0);
    }
}

TEST_F(TextInputTest, ClipboardBothWays) {
    int field = MakeInputField(7, 0, 0, 0);
    ActivateInputField(field);
    ASSERT_EQ(PlatSetClipboardText(("x" + kA + kI + kU).c_str()), 0);
    Play("down LCONTROL|down V|up V|up LCONTROL");
    EXPECT_EQ(Text(field), "x" + kA + kI + kU);
    Play("down LCONTROL|down V|up V|up LCONTROL");
    EXPECT_EQ(Text(field), "x" + kA + kI + kU) << "no room: nothing pasted";

    Play("down LSHIFT|down LEFT|up LEFT|down LEFT|up LSHIFT|down LCONTROL|down X|up X|up LCONTROL");
    EXPECT_EQ(Text(field), "x" + kA);
    std::string clip;
    ASSERT_EQ(PlatGetClipboardText(&clip), 0);
    EXPECT_EQ(clip, kI + kU);
    Play("down LCONTROL|down A|up A|down C|up C|down V|up V|down V|up V|down V|up V|up LCONTROL");
    ASSERT_EQ(PlatGetClipboardText(&clip), 0);
    EXPECT_EQ(clip, "x" + kA);
    EXPECT_EQ(Text(field), "x" + kA + "x" + kA + "x") << "the last paste is cut at a whole character";
}

struct SetTextCase {
    int maxBytes, singleByteOnly, digitsOnly;
    std::string text;
    int result;
    std::string stored;  // "" for a refusal: the field keeps what it had
};

TEST_F(TextInputTest, SetTextIsCutOrRefusedNeverBroken) {
    const SetTextCase cases[] = {
        {8, 0, 0, "abc", 0, "abc"},
        {4, 0, 0, "a" + kA + kI, 0, "a" + kA},        // cut before the split character
        {8, 0, 0, "ab" + kA + "\x82", 0, "ab" + kA},  // a lone lead byte is no character
        {8, 0, 1, "-42", 0, "-42"},
        {8, 0, 1, "4-2", -1, ""},
        {8, 0, 1, "12x", -1, ""},
        {8, 1, 0, "a" + kA, -1, ""},
        {8, 0, 0, "a\tb", -1, ""},
        {8, 0, 0, kSo + "\x9f\x40\xfc\xfc", 0, kSo + "\x9f\x40\xfc\xfc"},
        {8, 0, 0, "A\x81\x01Z", -1, ""},  // a control byte as a trail byte
        {8, 0, 0, "A\x81\x7fZ", -1, ""},
        {8, 0, 0, "A\x81\xfdZ", -1, ""},
        {8, 0, 0, "A\xfd", -1, ""},        // 0xFD-0xFF start no character
        {8, 0, 0, "\xff", -1, ""},
    };
    for (const SetTextCase& c : cases) {
        SCOPED_TRACE(c.text);
        int field = MakeInputField(c.maxBytes, 0, c.singleByteOnly, c.digitsOnly);
        ASSERT_EQ(SetInputFieldText(field, "7"), 0);
        EXPECT_EQ(SetInputFieldText(field, c.text.c_str()), c.result);
        EXPECT_EQ(Text(field), c.result == 0 ? c.stored : "7");
        // Typed, the bad characters are refused one by one.
        ActivateInputField(field);
        for (size_t at = 0; at < c.text.size(); ++at) {
            uintptr_t typed = static_cast<uint8_t>(c.text[at]);
            if (IsShiftJisLeadByte(typed) && at + 1 < c.text.size())
                typed = typed << 8 | static_cast<uint8_t>(c.text[++at]);
            MainWindowProc({MsgChar, typed, 0});
        }
        Play("up LEFT");
        EXPECT_EQ(Text(field).find_first_of("\x01\x7f\xfd\xff"), std::string::npos);
        DeleteInputField(field);
    }
}

TEST_F(TextInputTest, DeletedFieldsAndOtherHandlesGiveMinusOne) {
    int field = MakeInputField(8, 0, 0, 1);
    EXPECT_EQ(field & 0x78000000, 0x58000000);
    ASSERT_EQ(SetInputFieldText(field, "-42"), 0);
    EXPECT_EQ(GetInputFieldNumber(field), -42);
    ASSERT_EQ(DeleteInputField(field), 0);
    int next = MakeInputField(8, 0, 0, 1);
    EXPECT_NE(next, field);
    char buffer[8];
    for (int handle : {field, next & ~0x78000000, -1, 0x7FFFFFFF}) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(DeleteInputField(handle), -1);
        EXPECT_EQ(ActivateInputField(handle == -1 ? 0 : handle), -1);
        EXPECT_EQ(GetInputFieldState(handle), -1);
        EXPECT_EQ(GetInputFieldText(handle, buffer, sizeof buffer), -1);
        EXPECT_EQ(SetInputFieldText(handle, "1"), -1);
        EXPECT_EQ(GetInputFieldNumber(handle), -1);
        EXPECT_EQ(SetInputFieldFont(handle, -1), -1);
        EXPECT_EQ(DrawInputField(0, 0, handle), -1);
    }
    EXPECT_EQ(MakeInputField(0, 0, 0, 0), -1);
}

// The box around every pixel of the last frame that differs from `before`
// within the top-left 320 x 64 pixels: {left, top, right, bottom}, or all 0.
std::vector<int> Snapshot() {
    std::vector<int> pixels;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 320; ++x) pixels.push_back(static_cast<int>(HeadlessFramePixel(x, y)));
    return pixels;
}

std::vector<int> DifferenceBox(const std::vector<int>& a, const std::vector<int>& b) {
    std::vector<int> box{320, 64, 0, 0};
    for (int i = 0; i < static_cast<int>(a.size()); ++i) {
        if (a[i] == b[i]) continue;
        int x = i % 320, y = i / 320;
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1), std::max(box[3], y + 1)};
    }
    return box[2] ? box : std::vector<int>{0, 0, 0, 0};
}

void DrawFrame(int field) {
    ClearDrawTarget();
    ASSERT_EQ(DrawInputField(10, 10, field), 0);
    PresentScreen();
}

TEST_F(TextInputTest, TheCursorBlinksAndTheCompositionIsUnderlined) {
    SetDrawTarget(TargetBack);
    int field = MakeInputField(32, 0, 0, 0);
    ASSERT_EQ(SetInputFieldText(field, "ab"), 0);
    ASSERT_EQ(ActivateInputField(field), 0);
    int start = GetTickMs(0);
    int size = QueryFontSize(QueryDefaultFont());
    int cursorX = 10 + MeasureTextWidth("ab");

    WaitMs(250 - (GetTickMs(0) - start));
    DrawFrame(field);
    std::vector<int> shown = Snapshot();
    WaitMs(750 - (GetTickMs(0) - start));
    DrawFrame(field);
    EXPECT_EQ(DifferenceBox(shown, Snapshot()), (std::vector<int>{cursorX, 10, cursorX + 2, 10 + size}));
    EXPECT_EQ(HeadlessFramePixel(cursorX, 12), 0);
    EXPECT_EQ(shown[12 * 320 + cursorX] & 0xF0F0F0, 0xF0F000) << "yellow";
    int rect[4];
    EXPECT_EQ(HeadlessTextInput(rect), 1);
    EXPECT_EQ(rect[0], cursorX);

    // "にほん" with the composition's cursor after its first character.
    Play("compose 1 \xe3\x81\xab\xe3\x81\xbb\xe3\x82\x93");
    char composition[16];
    int compositionCursor = -1;
    EXPECT_EQ(GetImeComposition(composition, sizeof composition, &compositionCursor), 6);
    EXPECT_STREQ(composition, "\x82\xc9\x82\xd9\x82\xf1");
    EXPECT_EQ(compositionCursor, 2);
    std::vector<int> before = Snapshot();
    DrawFrame(field);
    int end = cursorX + MeasureTextWidth("\x82\xc9\x82\xd9\x82\xf1");
    EXPECT_EQ(DifferenceBox(before, Snapshot()), (std::vector<int>{cursorX, 10, end, 11 + size}));
    for (int x = cursorX; x < end; ++x) EXPECT_EQ(HeadlessFramePixel(x, 10 + size) & 0xF0F0F0, 0x00F0F0) << x;
    int innerCursor = cursorX + MeasureTextWidth("\x82\xc9");
    EXPECT_EQ(HeadlessFramePixel(innerCursor, 12) & 0xF0F0F0, 0xF0F010);
    EXPECT_EQ(HeadlessFramePixel(cursorX, 12) & 0xF0F0F0, 0) << "no field cursor while composing";

    Play("compose 0|text \xe6\x97\xa5");
    EXPECT_EQ(GetImeComposition(composition, sizeof composition, &compositionCursor), 0);
    EXPECT_EQ(Text(field), "ab\x93\xfa");
}

// Near the ends of the int range nothing overflows (run under UBSan, see
// the ubsan entries of the test list) and nothing wraps onto the screen.
TEST_F(TextInputTest, FieldsAtExtremeCoordinates) {
    SetDrawTarget(TargetBack);
    int field = MakeInputField(32, 0, 0, 0);
    ASSERT_EQ(SetInputFieldText(field, ("abc" + kA).c_str()), 0);
    ASSERT_EQ(ActivateInputField(field), 0);
    Play("down LSHIFT|down LEFT|up LEFT|up LSHIFT|compose 1 \xe3\x81\xab\xe3\x81\xbb");
    const int far = INT_MAX - 3, near = INT_MIN + 3;
    for (auto [x, y] : {std::pair{far, 0}, {0, far}, {far, far}, {near, 0}, {near, near}}) {
        SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
        ClearDrawTarget();
        EXPECT_EQ(DrawInputField(x, y, field), 0);
        PresentScreen();
        EXPECT_EQ(DifferenceBox(Snapshot(), std::vector<int>(320 * 64)), (std::vector<int>{0, 0, 0, 0}));
    }
    DeleteInputField(field);
    int at = static_cast<int>((HeadlessNowUs() - 100000000) / 1000) + 10;
    ASSERT_EQ(HeadlessQueueScriptLine((std::to_string(at) + " text xy").c_str()), 0);
    ASSERT_EQ(HeadlessQueueScriptLine((std::to_string(at + 10) + " down RETURN").c_str()), 0);
    char out[8] = "";
    EXPECT_EQ(InputString(far, far, 4, out, 1), 0);
    EXPECT_STREQ(out, "xy");
}

// The colours are colours, not pixel values of the format they were set in:
// the start-up yellow cursor drawn at 32 bits, then a green one set at 32
// drawn at 16.
TEST_F(TextInputTest, FieldColoursSurviveScreenModeChanges) {
    int field = MakeInputField(32, 0, 0, 0);
    ASSERT_EQ(ActivateInputField(field), 0);
    for (int depth : {32, 16}) {
        ASSERT_EQ(SetScreenMode(640, 480, depth, -1), 0);
        SetDrawTarget(TargetBack);
        DrawFrame(field);
        EXPECT_EQ(HeadlessFramePixel(10, 12) & 0xF0F0F0, depth == 32 ? 0xF0F000 : 0x00F000) << depth;
        SetInputFieldColours(0, MakeColor(0, 255, 0), 0, 0, 0, 0, 0);
    }
}

TEST_F(TextInputTest, InputStringEndsWithReturnEscapeOrTheWindow) {
    struct Case {
        const char* script;
        int result;
        const char* out;
    } cases[] = {
        {"text ab\xe3\x81\x82" "c|down RETURN", 0, "ab\x82\xa0"},  // cut to its 4 bytes
        {"text ab|down ESCAPE", -1, ""},
        {"text ab|close", -1, ""},
    };
    SetDrawTarget(TargetBack);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        int at = static_cast<int>((HeadlessNowUs() - 100000000) / 1000) + 10;
        std::stringstream in(c.script);
        std::string line;
        while (std::getline(in, line, '|'))
            ASSERT_EQ(HeadlessQueueScriptLine((std::to_string(at += 10) + " " + line).c_str()), 0);
        char out[8] = "";
        EXPECT_EQ(InputString(10, 10, 4, out, 1), c.result);
        EXPECT_STREQ(out, c.out);
        EXPECT_EQ(HeadlessTextInput(nullptr), 0);
    }
}

}  // namespace
