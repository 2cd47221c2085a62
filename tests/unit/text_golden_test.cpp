// Strings the game draws, in the default font on a 16-bit back buffer,
// against pictures kept in tests/data/. The pictures belong to the fonts of
// the set-up (IPAGothic through fontconfig, FreeType's monochrome
// rendering); TESSEL_UPDATE_GOLDEN=1 writes them anew instead of comparing.
#include "core/core.h"
#include "draw/screen.h"
#include "graphics/image.h"
#include "platform/pixels/surface.h"
#include "support/harness.h"
#include "support/image_files.h"
#include "text/font.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr int Margin = 4;

std::string GoldenPath(const std::string& name) {
    return (std::filesystem::path(TESSEL_TEST_DATA) / ("text_" + name + ".png")).string();
}

uint32_t Widen(uint32_t value, int bits) { return (value << (8 - bits)) | (value >> (2 * bits - 8)); }

// The back buffer's rectangle as 0xFFRRGGBB.
Picture Grab(int width, int height) {
    GpuSyncBackBuffer();  // on the GPU path the text is still on the device
    const PlatSurface* back = gScreenState.back;
    Picture picture;
    picture.width = width;
    picture.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint16_t v;
            std::memcpy(&v, back->pixels + y * back->pitch + x * 2, 2);
            picture.argb.push_back(0xFF000000u | Widen(v >> 11 & 31, 5) << 16 |
                                   Widen(v >> 5 & 63, 6) << 8 | Widen(v & 31, 5));
        }
    return picture;
}

class TextGolden : public BackBufferTest {
protected:

    // Draws `text` at the margin in white and checks the picture around it.
    void Check(const std::string& name, int size, int thickness, const std::string& text) {
        SetDefaultFontSize(size);
        SetDefaultFontThickness(thickness);
        int width = MeasureTextWidth("%s", text.c_str());
        ASSERT_GT(width, 0);
        ASSERT_EQ(DrawTextString(Margin, Margin, text.c_str(), MakeColor(255, 255, 255), 0), 0);
        Picture got = Grab(width + 2 * Margin, size + 2 * Margin);

        std::string path = GoldenPath(name);
        if (const char* update = std::getenv("TESSEL_UPDATE_GOLDEN"); update && *update == '1') {
            Bytes png = PngFile(got, 2, 8, false);
            WriteFile(path, std::string(png.begin(), png.end()));
            return;
        }
        std::string file = ReadFile(path);
        ASSERT_FALSE(file.empty()) << "missing " << path;
        GraphImage want{};
        ASSERT_EQ(DecodeBytes(Bytes(file.begin(), file.end()), &want), 0);
        ASSERT_EQ(want.width, got.width);
        ASSERT_EQ(want.height, got.height);
        int differing = 0;
        for (int y = 0; y < got.height; ++y)
            for (int x = 0; x < got.width; ++x)
                differing += DecodedArgb(want, x, y) != got.At(x, y);
        FreeGraphImagePixels(&want);
        EXPECT_EQ(differing, 0) << name << ": pixels differ from " << path;
    }
};

TEST_F(TextGolden, RoundSelectInBold) { Check("round_select", 16, 8, "ROUND SELECT"); }

TEST_F(TextGolden, RoundNumberAfterAFullWidthSpace) {
    Check("round_1", 36, 4, "ROUND\x81\x40" "1");
}

TEST_F(TextGolden, HudNumbers) { Check("hud", 12, 2, "01250 45 -12 07 20"); }

TEST_F(TextGolden, JapaneseText) {
    Check("japanese", 16, 6, ToCp932("砲弾を発射！風向き：→　残り２０発"));
}

}  // namespace
