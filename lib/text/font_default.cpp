// The default font behind the simple text operations, and the font
// module's start, end and rebuild with graphics management.
#include "text/font.h"

#include "core/core.h"
#include "draw/screen.h"
#include "graphics/load.h"

#include <cstdio>

namespace {

constexpr FontSettings StartSettings = {"", 16, 6, 0, FontCharSetShiftJis};

int Normalised(int value, int whenMinusOne) { return value == -1 ? whenMinusOne : value; }

FontSettings SettingsOf(const FontRecord* font) {
    FontSettings settings{};
    std::snprintf(settings.faceName, sizeof settings.faceName, "%s", font->faceName);
    settings.size = font->size;
    settings.thickness = font->thickness;
    settings.fontType = font->fontType;
    settings.charSetIndex = font->charSetIndex;
    return settings;
}

int CreateFromSettings(const FontSettings& s, int slot, int serial) {
    return CreateFontToHandle(s.faceName, s.size, s.thickness, s.fontType, s.charSetIndex, slot,
                              serial);
}

}  // namespace

int RefreshDefaultFont() {
    const FontSettings& s = gFont.defaults;
    if (const FontRecord* font = LookupFont(gFont.defaultFont);
        font && font->fontType == Normalised(s.fontType, 0) &&
        font->size == Normalised(s.size, 16) && font->thickness == Normalised(s.thickness, 6) &&
        font->charSetIndex == s.charSetIndex)
        return 0;
    ReleaseFontHandle(gFont.defaultFont);
    gFont.defaultFont = CreateFromSettings(s, -1, -1);
    return 0;
}

int SetDefaultFontSize(int size) {
    if (!LibraryRunning()) return -1;
    gFont.defaults.size = size;
    RefreshDefaultFont();
    return 0;
}

int SetDefaultFontThickness(int thickness) {
    if (!LibraryRunning()) return -1;
    gFont.defaults.thickness = thickness;
    RefreshDefaultFont();
    return 0;
}

int SetDefaultFontSizeAndThickness(int size, int thickness) {
    if (!GraphicsStarted()) return -1;
    gFont.defaults.size = size;
    gFont.defaults.thickness = thickness;
    RefreshDefaultFont();
    return 0;
}

int QueryDefaultFont() { return LibraryRunning() ? gFont.defaultFont : -1; }

int SetupFonts() {
    if (!GraphicsStarted() || !DisplayExists()) return -1;
    WriteLogString(SJIS("フォントの初期化を行います\n"));
    LogIndentIn();
    FontSettings settings = StartSettings;
    if (const FontRecord* font = LookupFont(gFont.defaultFont)) settings = SettingsOf(font);
    ReleaseAllFonts();
    gFont.defaults = settings;
    gFont.defaultFont = CreateFromSettings(settings, -1, -1);
    LogIndentOut();
    WriteLogString(SJIS("フォントの初期化は正常に終了しました\n"));
    return 0;
}

int ShutdownFonts() {
    SetupFonts();
    // Also when SetupFonts could not run: no font outlives the graphics.
    ReleaseAllFonts();
    gFont.defaultFont = 0;
    return 0;
}

int RebuildAllFonts() {
    for (int slot = 0; slot < FontCapacity; ++slot) {
        FontRecord* font = HandleTableRecordAt<FontRecord>(&gFont.table, slot);
        if (!font) continue;
        FontSettings settings = SettingsOf(font);
        int serial = font->head.serial;
        // A font file's bytes pass on to the font made again.
        FontSource source{settings.faceName, font->fileData, font->fileSize};
        font->fileData = nullptr;
        ReleaseFontHandle(HandleOfSlot(&gFont.table, slot));
        CreateFontFromSource(source, settings.size, settings.thickness, settings.fontType,
                             settings.charSetIndex, slot, serial);
    }
    return 0;
}

int RememberDefaultFont(FontSettings* out) {
    const FontRecord* font = LookupFont(gFont.defaultFont);
    if (!font) return 0;
    *out = SettingsOf(font);
    return 1;
}

namespace {

void RememberAcrossModeChange() {
    gFont.modeChangeHasDefault = RememberDefaultFont(&gFont.modeChangeDefault);
}

void RecreateAfterModeChange() {
    if (gFont.modeChangeHasDefault) RecreateDefaultFont(&gFont.modeChangeDefault);
}

}  // namespace

void InitFontLinks() {
    const SubsystemHooks hooks{.graphicsStarted = SetupFonts,
                               .graphicsEnding = ShutdownFonts,
                               .surfacesRestored = RebuildAllFonts,
                               .beforeModeChange = RememberAcrossModeChange,
                               .afterModeChange = RecreateAfterModeChange};
    RegisterHooks(HookFonts, &hooks);
}

void EndFontLinks() { RegisterHooks(HookFonts, nullptr); }

int RecreateDefaultFont(const FontSettings* settings) {
    ReleaseFontHandle(gFont.defaultFont);
    gFont.defaults = *settings;
    gFont.defaultFont = CreateFromSettings(*settings, -1, -1);
    return gFont.defaultFont == -1 ? -1 : 0;
}
