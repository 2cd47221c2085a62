// JPEG decoding through libjpeg: grey and colour output formats and channel
// order, progressive files, files cut short, and impossible sizes.
#include "graphics/image.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {

// The largest channel difference between the decoded image and the picture,
// over every `step`-th pixel from `first` on.
int LargestError(const Decoded& decoded, const Picture& picture, int first = 0, int step = 1) {
    int worst = 0;
    for (int y = first; y < picture.height; y += step) {
        for (int x = first; x < picture.width; x += step) {
            for (int shift : {0, 8, 16}) {
                int a = int(decoded.At(x, y) >> shift & 0xFF), b = int(picture.At(x, y) >> shift & 0xFF);
                worst = std::max(worst, std::abs(a - b));
            }
        }
    }
    return worst;
}

// Squares of 16 pixels, one whole colour block each: their middles survive
// the transform and the halved colour resolution almost unchanged.
Picture Squares(int width, int height) {
    const uint32_t colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    Picture picture{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) picture.argb.push_back(colours[(x / 16 + y / 16 * 2) % 4]);
    }
    return picture;
}

// Grey comes out as 8-bit grey, colour as blue-green-red; neither pads its
// rows. Colour is compared in the middles of the squares only.
TEST(DecodeJpeg, GreyAndColourComeOutUnpaddedInTheirFormats) {
    Picture grey = GreyGradient(13, 6), squares = Squares(45, 32);
    struct Case {
        const char* what;
        Bytes file;
        const Picture& picture;
        int depth;
        int pitch, first, step;
    } cases[] = {
        {"grey", JpegFile(grey, true, 100), grey, 8, 13, 0, 1},
        {"colour", JpegFile(squares, false, 100), squares, 24, 135, 8, 16},
        {"progressive colour", JpegFile(squares, false, 100, true), squares, 24, 135, 8, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Decoded decoded(c.file);
        ASSERT_EQ(decoded.result, 0);
        EXPECT_EQ(decoded.image.format.ColorBitDepth, c.depth);
        EXPECT_EQ(decoded.image.format.redMask, c.depth == 8 ? 0xFFu : 0xFF0000u);
        EXPECT_EQ(decoded.image.pitch, c.pitch);
        EXPECT_LE(LargestError(decoded, c.picture, c.first, c.step), 4);
        if (c.depth == 24) {
            // Red stays red: the third byte in memory.
            EXPECT_GE(decoded.image.pixels[2], 250);
            EXPECT_LE(decoded.image.pixels[0], 5);
        }
    }
}

// libjpeg's own red, green, blue rows, each pixel's bytes reversed: what the
// decoder must give byte for byte, whichever route it takes to blue first.
Bytes ReversedRgbRows(const Bytes& file) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    Bytes out(size_t(info.output_width) * info.output_height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.data() + size_t(info.output_scanline) * info.output_width * 3;
        jpeg_read_scanlines(&info, &row, 1);
        for (size_t x = 0; x < size_t(info.output_width) * 3; x += 3) std::swap(row[x], row[x + 2]);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return out;
}

TEST(DecodeJpeg, ColourEqualsLibjpegsRgbReversedByteForByte) {
    struct Case { int width, height, quality; bool progressive; };
    for (Case c : {Case{45, 32, 100, false}, Case{17, 9, 75, false}, Case{33, 31, 50, true},
                   Case{1, 1, 90, false}, Case{130, 67, 85, false}}) {
        Picture picture = c.width % 2 ? Gradient(c.width, c.height, false) : Squares(c.width, c.height);
        Bytes file = JpegFile(picture, false, c.quality, c.progressive);
        Decoded decoded(file);
        ASSERT_EQ(decoded.result, 0) << c.width << "x" << c.height;
        Bytes expected = ReversedRgbRows(file);
        ASSERT_EQ(size_t(decoded.image.pitch) * decoded.image.height, expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), decoded.image.pixels))
            << c.width << "x" << c.height << " at quality " << c.quality;
    }
}

// A scan cut short ends as libjpeg's own file source ends it: the rest of the
// image is made up. Headers cut short are an error.
TEST(DecodeJpeg, AScanCutShortStillDecodesButCutHeadersFail) {
    Picture picture = Gradient(64, 64, false);
    Bytes file = JpegFile(picture, false, 90);
    Decoded cut(Bytes(file.begin(), file.end() - file.size() / 3));
    ASSERT_EQ(cut.result, 0);
    EXPECT_EQ(cut.image.width, 64);
    EXPECT_EQ(cut.image.height, 64);

    EXPECT_EQ(Decoded(Bytes(file.begin(), file.begin() + 100)).result, -1);
    EXPECT_EQ(Decoded(Bytes{0xFF, 0xD8}).result, -1);
}

TEST(DecodeJpeg, ASizeTheDataCannotHoldIsRefused) {
    Bytes file = JpegFile(Gradient(16, 16, false), false, 50);
    size_t frame = 0;
    for (size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {
            frame = i;
            break;
        }
    }
    ASSERT_NE(frame, 0u);
    // Height, then width, big-endian: 60000 x 60000.
    file[frame + 5] = file[frame + 7] = 0xEA;
    file[frame + 6] = file[frame + 8] = 0x60;
    Decoded decoded(file);
    EXPECT_EQ(decoded.result, -1);
    EXPECT_EQ(decoded.image.pixels, nullptr);
}

}  // namespace
