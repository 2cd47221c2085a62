// Keyboard scan codes, virtual keys and key names, shared by both back ends.
#ifndef TESSEL_PLATFORM_KEYMAP_H
#define TESSEL_PLATFORM_KEYMAP_H

#include <cstdint>
#include <string>

// The virtual key a scan code reports in key messages and the system key
// state; 0 when it has none.
int ScanCodeToVirtualKey(int scanCode);
// The character a US layout prints on the key, unshifted ('a' for A, '-',
// ' '); 0 for a key that prints none.
int ScanCodeToUsCharacter(int scanCode);
// "SPACE", "A", "F10", "0x39"...: the scan code, or -1 for an unknown name.
int ParseKeyName(const char* name);
// The name ParseKeyName reads back as `scanCode`.
std::string ScanCodeToKeyName(int scanCode);
// Marks `virtualKey` (and its generic Shift/Control/Alt key) held or released
// in a 256-byte system key state.
void SetVirtualKeyState(uint8_t state[256], int virtualKey, int held);

#endif
