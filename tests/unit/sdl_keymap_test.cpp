// The desktop back end's table from SDL scancodes to the library's keyboard
// scan codes.
#include "platform/device/keymap.h"
#include "platform/device/sdl/sdl_keymap.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <map>

namespace {

// Every key of a 105-key (ISO) keyboard, by its SDL scancode.
constexpr SDL_Scancode k105Keys[] = {
    SDL_SCANCODE_ESCAPE, SDL_SCANCODE_F1, SDL_SCANCODE_F2, SDL_SCANCODE_F3, SDL_SCANCODE_F4,
    SDL_SCANCODE_F5, SDL_SCANCODE_F6, SDL_SCANCODE_F7, SDL_SCANCODE_F8, SDL_SCANCODE_F9,
    SDL_SCANCODE_F10, SDL_SCANCODE_F11, SDL_SCANCODE_F12, SDL_SCANCODE_PRINTSCREEN,
    SDL_SCANCODE_SCROLLLOCK, SDL_SCANCODE_PAUSE,
    SDL_SCANCODE_GRAVE, SDL_SCANCODE_1, SDL_SCANCODE_2, SDL_SCANCODE_3, SDL_SCANCODE_4,
    SDL_SCANCODE_5, SDL_SCANCODE_6, SDL_SCANCODE_7, SDL_SCANCODE_8, SDL_SCANCODE_9,
    SDL_SCANCODE_0, SDL_SCANCODE_MINUS, SDL_SCANCODE_EQUALS, SDL_SCANCODE_BACKSPACE,
    SDL_SCANCODE_TAB, SDL_SCANCODE_Q, SDL_SCANCODE_W, SDL_SCANCODE_E, SDL_SCANCODE_R,
    SDL_SCANCODE_T, SDL_SCANCODE_Y, SDL_SCANCODE_U, SDL_SCANCODE_I, SDL_SCANCODE_O,
    SDL_SCANCODE_P, SDL_SCANCODE_LEFTBRACKET, SDL_SCANCODE_RIGHTBRACKET, SDL_SCANCODE_BACKSLASH,
    SDL_SCANCODE_CAPSLOCK, SDL_SCANCODE_A, SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_F,
    SDL_SCANCODE_G, SDL_SCANCODE_H, SDL_SCANCODE_J, SDL_SCANCODE_K, SDL_SCANCODE_L,
    SDL_SCANCODE_SEMICOLON, SDL_SCANCODE_APOSTROPHE, SDL_SCANCODE_RETURN,
    SDL_SCANCODE_LSHIFT, SDL_SCANCODE_NONUSBACKSLASH, SDL_SCANCODE_Z, SDL_SCANCODE_X,
    SDL_SCANCODE_C, SDL_SCANCODE_V, SDL_SCANCODE_B, SDL_SCANCODE_N, SDL_SCANCODE_M,
    SDL_SCANCODE_COMMA, SDL_SCANCODE_PERIOD, SDL_SCANCODE_SLASH, SDL_SCANCODE_RSHIFT,
    SDL_SCANCODE_LCTRL, SDL_SCANCODE_LGUI, SDL_SCANCODE_LALT, SDL_SCANCODE_SPACE,
    SDL_SCANCODE_RALT, SDL_SCANCODE_RGUI, SDL_SCANCODE_APPLICATION, SDL_SCANCODE_RCTRL,
    SDL_SCANCODE_INSERT, SDL_SCANCODE_HOME, SDL_SCANCODE_PAGEUP, SDL_SCANCODE_DELETE,
    SDL_SCANCODE_END, SDL_SCANCODE_PAGEDOWN, SDL_SCANCODE_UP, SDL_SCANCODE_LEFT,
    SDL_SCANCODE_DOWN, SDL_SCANCODE_RIGHT,
    SDL_SCANCODE_NUMLOCKCLEAR, SDL_SCANCODE_KP_DIVIDE, SDL_SCANCODE_KP_MULTIPLY,
    SDL_SCANCODE_KP_MINUS, SDL_SCANCODE_KP_7, SDL_SCANCODE_KP_8, SDL_SCANCODE_KP_9,
    SDL_SCANCODE_KP_PLUS, SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5, SDL_SCANCODE_KP_6,
    SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2, SDL_SCANCODE_KP_3, SDL_SCANCODE_KP_ENTER,
    SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_PERIOD,
};
static_assert(sizeof k105Keys / sizeof k105Keys[0] == 105);

TEST(SdlKeymap, EveryKeyOfA105KeyKeyboardHasItsOwnCodeAndVirtualKey) {
    std::map<int, SDL_Scancode> owner;
    for (SDL_Scancode key : k105Keys) {
        int code = SdlScancodeToScanCode(key);
        ASSERT_GT(code, 0) << SDL_GetScancodeName(key);
        EXPECT_NE(ScanCodeToVirtualKey(code), 0) << SDL_GetScancodeName(key);
        auto [it, fresh] = owner.emplace(code, key);
        EXPECT_TRUE(fresh) << SDL_GetScancodeName(key) << " shares 0x" << std::hex << code
                           << " with " << SDL_GetScancodeName(it->second);
    }
    EXPECT_EQ(owner.size(), 105u);
}

TEST(SdlKeymap, KeysWhoseCodesDifferFromTheirNeighbours) {
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_A), 0x1E);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_SPACE), 0x39);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_UP), 0xC8);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_DOWN), 0xD0);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_LEFT), 0xCB);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_RIGHT), 0xCD);
    // The E0 twins of main-block keys.
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_KP_ENTER), 0x9C);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_RETURN), 0x1C);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_RCTRL), 0x9D);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_RALT), 0xB8);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_KP_DIVIDE), 0xB5);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_KP_MULTIPLY), 0x37);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_PRINTSCREEN), 0xB7);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_PAUSE), 0xC5);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_NUMLOCKCLEAR), 0x45);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_SCROLLLOCK), 0x46);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_NONUSBACKSLASH), 0x56);
    // F11 and F12 do not follow F10.
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_F10), 0x44);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_F11), 0x57);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_F12), 0x58);
    // The ISO key left of Enter is backslash's key moved.
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_NONUSHASH), 0x2B);
}

TEST(SdlKeymap, JapaneseKeys) {
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_INTERNATIONAL1), 0x73);  // Ro
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_INTERNATIONAL2), 0x70);  // Kana
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_INTERNATIONAL3), 0x7D);  // Yen
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_INTERNATIONAL4), 0x79);  // Convert
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_INTERNATIONAL5), 0x7B);  // No convert
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_GRAVE), 0x29);           // Hankaku/Zenkaku
    // Each reaches a virtual key, so the window sees it too.
    for (SDL_Scancode key : {SDL_SCANCODE_INTERNATIONAL1, SDL_SCANCODE_INTERNATIONAL2,
                             SDL_SCANCODE_INTERNATIONAL3, SDL_SCANCODE_INTERNATIONAL4,
                             SDL_SCANCODE_INTERNATIONAL5, SDL_SCANCODE_LANG1,
                             SDL_SCANCODE_LANG2})
        EXPECT_NE(ScanCodeToVirtualKey(SdlScancodeToScanCode(key)), 0)
            << SDL_GetScancodeName(key);
}

TEST(SdlKeymap, UnknownAndOutOfRangeScancodesHaveNoCode) {
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(SdlScancodeToScanCode(-1), 0);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_NUM_SCANCODES), 0);
    EXPECT_EQ(SdlScancodeToScanCode(SDL_SCANCODE_KBDILLUMTOGGLE), 0);
}

}  // namespace
