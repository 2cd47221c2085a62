// Fonts and string drawing land with the text work; until then there is no
// default font and text operations report failure.
#include "tessel.h"

int SetDefaultFontSize(int) { return 0; }
int SetDefaultFontThickness(int) { return 0; }
int MeasureTextWidth(const char*, ...) { return -1; }
int DrawTextString(int, int, const char*, uint32_t, uint32_t) { return -1; }
int DrawTextFormat(int, int, uint32_t, const char*, ...) { return -1; }
