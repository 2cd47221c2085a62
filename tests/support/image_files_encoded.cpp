// Image file writers that go through libpng's and libjpeg's encoders, reading
// decoded images back, and the sample set of every format.
#include "support/image_files.h"

#include "graphics/image.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include <jpeglib.h>
#include <png.h>

namespace {

uint8_t Red(uint32_t c) { return uint8_t(c >> 16); }
uint8_t Green(uint32_t c) { return uint8_t(c >> 8); }
uint8_t Blue(uint32_t c) { return uint8_t(c); }
uint8_t Alpha(uint32_t c) { return uint8_t(c >> 24); }

uint32_t Argb(int a, int r, int g, int b) {
    return uint32_t(a & 0xFF) << 24 | uint32_t(r & 0xFF) << 16 | uint32_t(g & 0xFF) << 8 |
           uint32_t(b & 0xFF);
}

}  // namespace

// ---- PNG, JPEG ----------------------------------------------------------------

namespace {

void AppendPng(png_structp png, png_bytep data, png_size_t length) {
    Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void FlushPng(png_structp) {}

// Writes rows already laid out for the header's colour type and depth.
Bytes WritePng(int width, int height, int colourType, int bitDepth, bool interlaced,
               const std::vector<Bytes>& rows, const std::vector<png_color>& palette,
               const Bytes& paletteAlpha, const png_color_16* transparent) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendPng, FlushPng);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!paletteAlpha.empty() || transparent) {
        png_set_tRNS(png, info, paletteAlpha.empty() ? nullptr : paletteAlpha.data(),
                     int(paletteAlpha.size()), transparent);
    }
    png_write_info(png, info);
    if (interlaced) png_set_interlace_handling(png);
    std::vector<png_bytep> pointers;
    for (const Bytes& row : rows) pointers.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

void PutSample(Bytes& row, int x, int samplesBefore, uint32_t value, int bitDepth) {
    size_t bit = (size_t(x) + samplesBefore) * bitDepth;
    if (bitDepth == 16) {
        row[bit / 8] = uint8_t(value >> 8);
        row[bit / 8 + 1] = uint8_t(value);
    } else {
        row[bit / 8] |= uint8_t(value << (8 - bitDepth - bit % 8));
    }
}

}  // namespace

Bytes PngFile(const Picture& picture, int colourType, int bitDepth, bool interlaced, int64_t transparent) {
    const int channels = colourType == 0 ? 1 : colourType == 2 ? 3 : colourType == 4 ? 2 : 4;
    std::vector<Bytes> rows;
    for (int y = 0; y < picture.height; ++y) {
        Bytes row((size_t(picture.width) * channels * bitDepth + 7) / 8, 0);
        for (int x = 0; x < picture.width; ++x) {
            uint32_t c = picture.At(x, y);
            uint8_t samples[4];
            int n = 0;
            if (colourType == 0 || colourType == 4) {
                samples[n++] = Red(c);
            } else {
                samples[n++] = Red(c), samples[n++] = Green(c), samples[n++] = Blue(c);
            }
            if (colourType == 4 || colourType == 6) samples[n++] = Alpha(c);
            for (int i = 0; i < n; ++i) {
                uint32_t v = bitDepth == 16 ? samples[i] * 257u : uint32_t(samples[i]) >> (8 - bitDepth);
                PutSample(row, x * channels, i, v, bitDepth);
            }
        }
        rows.push_back(std::move(row));
    }
    png_color_16 key{};
    if (transparent >= 0) {
        auto scale = [&](uint32_t v8) { return png_uint_16(bitDepth == 16 ? v8 * 257 : v8 >> (8 - bitDepth)); };
        key.gray = scale(uint32_t(transparent) & 0xFF);
        key.red = scale(uint32_t(transparent >> 16) & 0xFF);
        key.green = scale(uint32_t(transparent >> 8) & 0xFF);
        key.blue = scale(uint32_t(transparent) & 0xFF);
    }
    return WritePng(picture.width, picture.height, colourType, bitDepth, interlaced, rows, {}, {},
                    transparent >= 0 ? &key : nullptr);
}

Bytes PngPaletteFile(const IndexedPicture& picture, int bitDepth, bool withAlpha) {
    std::vector<png_color> palette;
    Bytes alpha;
    for (uint32_t c : picture.palette) {
        palette.push_back({Red(c), Green(c), Blue(c)});
        alpha.push_back(Alpha(c));
    }
    std::vector<Bytes> rows;
    for (int y = 0; y < picture.height; ++y) {
        Bytes row((size_t(picture.width) * bitDepth + 7) / 8, 0);
        for (int x = 0; x < picture.width; ++x) PutSample(row, x, 0, picture.index[size_t(y) * picture.width + x], bitDepth);
        rows.push_back(std::move(row));
    }
    return WritePng(picture.width, picture.height, PNG_COLOR_TYPE_PALETTE, bitDepth, false, rows,
                    palette, withAlpha ? alpha : Bytes{}, nullptr);
}

Bytes JpegFile(const Picture& picture, bool grey, int quality, bool progressive) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(picture.width);
    info.image_height = JDIMENSION(picture.height);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    Bytes row;
    while (info.next_scanline < info.image_height) {
        row.clear();
        for (int x = 0; x < picture.width; ++x) {
            uint32_t c = picture.At(x, int(info.next_scanline));
            if (grey) row.push_back(Red(c));
            else row.insert(row.end(), {Red(c), Green(c), Blue(c)});
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

int DecodeBytes(const Bytes& bytes, GraphImage* image) {
    MemoryStream memory;
    ImageStream stream;
    OpenMemoryImageStream(bytes.data(), bytes.size(), &memory, &stream);
    return DecodeImageStream(&stream, image);
}

uint32_t DecodedArgb(const GraphImage& image, int x, int y) {
    const ColorFormat& f = image.format;
    const uint8_t* p = image.pixels + ptrdiff_t(y) * image.pitch + ptrdiff_t(x) * f.bytesPerPixel;
    if (f.bytesPerPixel == 1) return Argb(0xFF, p[0], p[0], p[0]);
    uint32_t pixel = 0;
    for (int i = 0; i < f.bytesPerPixel; ++i) pixel |= uint32_t(p[i]) << (8 * i);
    auto widen = [&](uint32_t mask, int bits) -> uint32_t {
        if (bits == 0) return 0;
        uint32_t max = (uint32_t(1) << bits) - 1;
        uint32_t v = (pixel & mask) >> std::countr_zero(mask);
        return uint32_t((uint64_t(v) * 255 + max / 2) / max);
    };
    uint32_t a = f.alphaBits ? widen(f.alphaMask, f.alphaBits) : 0xFF;
    return Argb(int(a), int(widen(f.redMask, f.redBits)), int(widen(f.greenMask, f.greenBits)),
                int(widen(f.blueMask, f.blueBits)));
}

std::vector<std::pair<std::string, Bytes>> SampleFiles() {
    const Picture colour = Gradient(7, 5, false);
    const Picture alpha = Gradient(6, 4, true);
    const Picture grey = GreyGradient(9, 8);
    const IndexedPicture indexed = Indexed(10, 6, 12);
    const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
    const uint32_t dds8888[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const uint32_t dds565[4] = {0xF800, 0x07E0, 0x001F, 0};

    std::vector<std::pair<std::string, Bytes>> files;
    files.emplace_back("bmp1.bmp", BmpOf(Indexed(13, 4, 2), 1, false));
    files.emplace_back("bmp4.bmp", BmpOf(indexed, 4, false));
    files.emplace_back("bmp8.bmp", BmpOf(indexed, 8, false));
    files.emplace_back("bmp_rle4.bmp", BmpOf(indexed, 4, true));
    files.emplace_back("bmp_rle8.bmp", BmpOf(indexed, 8, true));
    files.emplace_back("bmp16.bmp", BmpOf(colour, 16, false));
    files.emplace_back("bmp24.bmp", BmpOf(colour, 24, false));
    files.emplace_back("bmp24_topdown.bmp", BmpOf(colour, 24, true));
    files.emplace_back("bmp32.bmp", BmpOf(colour, 32, false));
    BmpSpec fields;
    fields.width = colour.width;
    fields.height = colour.height;
    fields.bitCount = 16;
    fields.compression = 3;
    fields.writeMasks = true;
    std::copy(masks565, masks565 + 3, fields.masks);
    fields.data = BmpColourRows(colour, 16, true, masks565);
    files.emplace_back("bmp16_565.bmp", BmpFile(fields));

    files.emplace_back("grey.png", PngFile(grey, 0, 8, false));
    files.emplace_back("grey2.png", PngFile(grey, 0, 2, false));
    files.emplace_back("grey_trns.png", PngFile(grey, 0, 8, false, grey.At(1, 1) & 0xFF));
    files.emplace_back("grey_alpha.png", PngFile(alpha, 4, 8, false));
    files.emplace_back("rgb.png", PngFile(colour, 2, 8, false));
    files.emplace_back("rgba16.png", PngFile(alpha, 6, 16, false));
    files.emplace_back("rgba_interlaced.png", PngFile(alpha, 6, 8, true));
    files.emplace_back("palette4.png", PngPaletteFile(indexed, 4, true));

    files.emplace_back("colour.jpg", JpegFile(Gradient(17, 9, false), false, 90));
    files.emplace_back("grey.jpg", JpegFile(grey, true, 90));
    files.emplace_back("progressive.jpg", JpegFile(Gradient(17, 9, false), false, 75, true));

    files.emplace_back("bgra8.bgra", BgraFile(alpha, false));
    files.emplace_back("bgra16.bgra", BgraFile(alpha, true));

    files.emplace_back("tga16.tga", TgaOf(colour, 16, 0x00, false, false));
    files.emplace_back("tga24_rle.tga", TgaOf(colour, 24, 0x20, true, true));
    files.emplace_back("tga32_rle.tga", TgaOf(alpha, 32, 0x10, true, false));
    TgaSpec mapped;
    mapped.mapType = 1;
    mapped.imageType = 9;
    mapped.mapLength = uint16_t(indexed.palette.size());
    mapped.mapEntryBits = 24;
    mapped.width = uint16_t(indexed.width);
    mapped.height = uint16_t(indexed.height);
    mapped.pixelBits = 8;
    mapped.map = TgaMap(indexed, 24);
    mapped.data = TgaRunLength(TgaIndexes(indexed, 0), 1);
    mapped.attributeType = 0;
    files.emplace_back("tga_mapped_rle.tga", TgaFile(mapped));

    DdsSpec dds;
    dds.width = uint32_t(alpha.width);
    dds.height = uint32_t(alpha.height);
    dds.formatFlags = 0x41;
    std::copy(dds8888, dds8888 + 4, dds.masks);
    dds.data = PackByMasks(alpha, 32, dds8888);
    files.emplace_back("argb.dds", DdsFile(dds));
    dds.formatFlags = 0x40;
    dds.bitCount = 16;
    dds.flags |= 0x8;
    dds.pitch = uint32_t(alpha.width) * 2 + 4;
    std::copy(dds565, dds565 + 4, dds.masks);
    dds.data = PackByMasks(alpha, 16, dds565, dds.pitch);
    files.emplace_back("r5g6b5.dds", DdsFile(dds));
    return files;
}
