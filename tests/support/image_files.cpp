// Image file writers that lay out BMP, TGA, DDS and "BGRA" files byte by
// byte, and the test pictures.
#include "support/image_files.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Put16(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void PutLe(Bytes& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

uint8_t Red(uint32_t c) { return uint8_t(c >> 16); }
uint8_t Green(uint32_t c) { return uint8_t(c >> 8); }
uint8_t Blue(uint32_t c) { return uint8_t(c); }
uint8_t Alpha(uint32_t c) { return uint8_t(c >> 24); }

// An 8-bit channel scaled to the width of `mask` and moved into place.
uint32_t PackChannel(uint8_t value, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = std::countr_zero(mask);
    uint32_t max = mask >> shift;
    return uint32_t((uint64_t(value) * max + 127) / 255) << shift;
}

uint32_t PackPixel(uint32_t argb, const uint32_t masks[4]) {
    return PackChannel(Red(argb), masks[0]) | PackChannel(Green(argb), masks[1]) |
           PackChannel(Blue(argb), masks[2]) | PackChannel(Alpha(argb), masks[3]);
}

uint32_t Argb(int a, int r, int g, int b) {
    return uint32_t(a & 0xFF) << 24 | uint32_t(r & 0xFF) << 16 | uint32_t(g & 0xFF) << 8 |
           uint32_t(b & 0xFF);
}

}  // namespace

Picture IndexedPicture::Expanded() const {
    Picture picture{width, height, {}};
    for (uint8_t i : index) picture.argb.push_back(palette[i]);
    return picture;
}

Picture Gradient(int width, int height, bool alpha) {
    Picture picture{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.argb.push_back(Argb(alpha ? x * 19 + y * 23 + 7 : 0xFF, x * 37 + y * 11,
                                        x * 13 + y * 29 + 50, (x * 71) ^ (y * 5)));
        }
    }
    return picture;
}

Picture GreyGradient(int width, int height) {
    Picture picture{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = (x * 23 + y * 41) & 0xFF;
            picture.argb.push_back(Argb(0xFF, v, v, v));
        }
    }
    return picture;
}

IndexedPicture Indexed(int width, int height, int colours) {
    IndexedPicture picture{width, height, {}, {}};
    for (int i = 0; i < colours; ++i) picture.palette.push_back(Argb(0xFF, i * 53, i * 97 + 31, i * 151 + 77));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Runs on the left half, a new index every pixel on the right.
            int i = x < width / 2 ? x / 4 + y : x * 7 + y;
            picture.index.push_back(uint8_t(i % colours));
        }
    }
    return picture;
}

// ---- BMP --------------------------------------------------------------------

Bytes BmpFile(const BmpSpec& shape) {
    uint32_t offset = 14 + 40 + (shape.writeMasks ? 12 : 0) + uint32_t(shape.palette.size()) * 4;
    Bytes out = {'B', 'M'};
    Put32(out, offset + uint32_t(shape.data.size()));
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, uint32_t(shape.width));
    Put32(out, uint32_t(shape.height));
    Put16(out, 1);
    Put16(out, uint32_t(shape.bitCount));
    Put32(out, shape.compression);
    Put32(out, shape.writeImageSize ? uint32_t(shape.data.size()) : 0);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, shape.colorsUsed);
    Put32(out, 0);
    if (shape.writeMasks) {
        for (uint32_t mask : shape.masks) Put32(out, mask);
    }
    for (uint32_t c : shape.palette) {
        out.insert(out.end(), {Blue(c), Green(c), Red(c), 0});
    }
    out.insert(out.end(), shape.data.begin(), shape.data.end());
    return out;
}

Bytes BmpIndexRows(const IndexedPicture& picture, int bits, bool bottomUp) {
    size_t rowSize = (size_t(picture.width) * bits + 31) / 32 * 4;
    Bytes out;
    for (int r = 0; r < picture.height; ++r) {
        int y = bottomUp ? picture.height - 1 - r : r;
        Bytes row(rowSize, 0);
        for (int x = 0; x < picture.width; ++x) {
            size_t bit = size_t(x) * bits;
            row[bit / 8] |= uint8_t(picture.index[size_t(y) * picture.width + x] << (8 - bits - bit % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

Bytes BmpColourRows(const Picture& picture, int bits, bool bottomUp, const uint32_t masks[3]) {
    static constexpr uint32_t Plain16[4] = {0x7C00, 0x03E0, 0x001F, 0};
    static constexpr uint32_t Plain32[4] = {0xFF0000, 0xFF00, 0xFF, 0};
    uint32_t use[4] = {0, 0, 0, 0};
    if (masks && (masks[0] | masks[1] | masks[2])) {
        std::copy(masks, masks + 3, use);
    } else {
        std::copy(bits == 16 ? Plain16 : Plain32, (bits == 16 ? Plain16 : Plain32) + 4, use);
    }
    size_t rowSize = (size_t(picture.width) * bits + 31) / 32 * 4;
    Bytes out;
    for (int r = 0; r < picture.height; ++r) {
        int y = bottomUp ? picture.height - 1 - r : r;
        size_t start = out.size();
        for (int x = 0; x < picture.width; ++x) PutLe(out, PackPixel(picture.At(x, y), use), bits / 8);
        out.resize(start + rowSize, 0);
    }
    return out;
}

Bytes BmpRunLength(const IndexedPicture& picture, int bits) {
    const bool four = bits == 4;
    Bytes out;
    for (int r = 0; r < picture.height; ++r) {
        const uint8_t* row = picture.index.data() + size_t(picture.height - 1 - r) * picture.width;
        int x = 0;
        auto runAt = [&](int at) {
            int n = 1;
            while (at + n < picture.width && n < 255 && row[at + n] == row[at]) ++n;
            return n;
        };
        while (x < picture.width) {
            int run = runAt(x);
            if (run >= 3 || picture.width - x < 3) {
                out.push_back(uint8_t(run));
                out.push_back(four ? uint8_t(row[x] << 4 | row[x]) : row[x]);
                x += run;
                continue;
            }
            int n = 0;
            while (x + n < picture.width && n < 254 && (n < 3 || runAt(x + n) < 3)) ++n;
            out.push_back(0);
            out.push_back(uint8_t(n));
            size_t start = out.size();
            for (int i = 0; i < n; ++i) {
                if (four) {
                    if (i % 2 == 0) out.push_back(uint8_t(row[x + i] << 4));
                    else out.back() |= row[x + i];
                } else {
                    out.push_back(row[x + i]);
                }
            }
            if ((out.size() - start) % 2) out.push_back(0);
            x += n;
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
}

Bytes BmpOf(const IndexedPicture& picture, int bits, bool runLength) {
    BmpSpec shape;
    shape.width = picture.width;
    shape.height = picture.height;
    shape.bitCount = bits;
    shape.compression = runLength ? (bits == 8 ? 1 : 2) : 0;
    shape.palette = picture.palette;
    shape.palette.resize(size_t(1) << bits, 0);
    shape.data = runLength ? BmpRunLength(picture, bits) : BmpIndexRows(picture, bits, true);
    return BmpFile(shape);
}

Bytes BmpOf(const Picture& picture, int bits, bool topDown) {
    BmpSpec shape;
    shape.width = picture.width;
    shape.height = topDown ? -picture.height : picture.height;
    shape.bitCount = bits;
    shape.data = BmpColourRows(picture, bits, !topDown, nullptr);
    return BmpFile(shape);
}

// ---- TGA --------------------------------------------------------------------

Bytes TgaFile(const TgaSpec& shape) {
    Bytes out = {shape.idLength, shape.mapType, shape.imageType};
    Put16(out, shape.mapFirst);
    Put16(out, shape.mapLength);
    out.push_back(shape.mapEntryBits);
    Put16(out, shape.xOrigin);
    Put16(out, shape.yOrigin);
    Put16(out, shape.width);
    Put16(out, shape.height);
    out.push_back(shape.pixelBits);
    out.push_back(shape.descriptor);
    for (const Bytes* part : {&shape.id, &shape.map, &shape.data}) out.insert(out.end(), part->begin(), part->end());
    uint32_t extension = 0;
    if (shape.attributeType >= 0) {
        extension = uint32_t(out.size());
        Bytes area(495, 0);
        area[0] = 495 & 0xFF;
        area[1] = 495 >> 8;
        area[494] = uint8_t(shape.attributeType);
        out.insert(out.end(), area.begin(), area.end());
    }
    if (shape.footer || shape.attributeType >= 0) {
        Put32(out, extension);
        Put32(out, 0);
        const char signature[] = "TRUEVISION-XFILE.";
        out.insert(out.end(), signature, signature + sizeof signature);
    }
    return out;
}

namespace {

void PutTgaPixel(Bytes& out, uint32_t c, int bits) {
    if (bits == 16) {
        Put16(out, (Alpha(c) >= 128 ? 0x8000u : 0u) | (Red(c) >> 3) << 10 | (Green(c) >> 3) << 5 | Blue(c) >> 3);
    } else {
        out.insert(out.end(), {Blue(c), Green(c), Red(c)});
        if (bits == 32) out.push_back(Alpha(c));
    }
}

template <typename Put>
void InFileOrder(int width, int height, uint8_t descriptor, Put put) {
    for (int r = 0; r < height; ++r) {
        int y = descriptor & 0x20 ? r : height - 1 - r;
        for (int c = 0; c < width; ++c) put(descriptor & 0x10 ? width - 1 - c : c, y);
    }
}

}  // namespace

Bytes TgaPixels(const Picture& picture, int bits, uint8_t descriptor) {
    Bytes out;
    InFileOrder(picture.width, picture.height, descriptor,
                [&](int x, int y) { PutTgaPixel(out, picture.At(x, y), bits); });
    return out;
}

Bytes TgaIndexes(const IndexedPicture& picture, uint8_t descriptor) {
    Bytes out;
    InFileOrder(picture.width, picture.height, descriptor,
                [&](int x, int y) { out.push_back(picture.index[size_t(y) * picture.width + x]); });
    return out;
}

Bytes TgaRunLength(const Bytes& pixels, int pixelBytes) {
    const size_t count = pixels.size() / pixelBytes;
    auto same = [&](size_t a, size_t b) {
        return std::memcmp(&pixels[a * pixelBytes], &pixels[b * pixelBytes], pixelBytes) == 0;
    };
    Bytes out;
    size_t i = 0;
    while (i < count) {
        size_t n = 1;
        while (i + n < count && n < 128 && same(i, i + n)) ++n;
        if (n >= 2) {
            out.push_back(uint8_t(0x80 | (n - 1)));
            out.insert(out.end(), pixels.begin() + i * pixelBytes, pixels.begin() + (i + 1) * pixelBytes);
        } else {
            n = 1;
            while (i + n < count && n < 128 && !(i + n + 1 < count && same(i + n, i + n + 1))) ++n;
            out.push_back(uint8_t(n - 1));
            out.insert(out.end(), pixels.begin() + i * pixelBytes, pixels.begin() + (i + n) * pixelBytes);
        }
        i += n;
    }
    return out;
}

Bytes TgaMap(const IndexedPicture& picture, int bits) {
    Bytes out;
    for (uint32_t c : picture.palette) PutTgaPixel(out, c, bits);
    return out;
}

Bytes TgaOf(const Picture& picture, int bits, uint8_t descriptor, bool runLength, bool footer) {
    TgaSpec shape;
    shape.imageType = runLength ? 10 : 2;
    shape.width = uint16_t(picture.width);
    shape.height = uint16_t(picture.height);
    shape.pixelBits = uint8_t(bits);
    shape.descriptor = uint8_t(descriptor | (bits == 32 ? 8 : bits == 16 ? 1 : 0));
    Bytes pixels = TgaPixels(picture, bits, descriptor);
    shape.data = runLength ? TgaRunLength(pixels, bits / 8) : pixels;
    shape.footer = footer;
    return TgaFile(shape);
}

// ---- DDS, "BGRA" ------------------------------------------------------------

Bytes DdsFile(const DdsSpec& shape) {
    Bytes out = {'D', 'D', 'S', ' '};
    Put32(out, 124);
    Put32(out, shape.flags);
    Put32(out, shape.height);
    Put32(out, shape.width);
    Put32(out, shape.pitch);
    out.resize(out.size() + 4 * 13, 0);  // depth, mipmap count, 11 reserved
    Put32(out, 32);
    Put32(out, shape.formatFlags);
    Put32(out, shape.fourCc);
    Put32(out, shape.bitCount);
    for (uint32_t mask : shape.masks) Put32(out, mask);
    Put32(out, 0x1000);  // a texture
    out.resize(out.size() + 4 * 4, 0);
    out.insert(out.end(), shape.data.begin(), shape.data.end());
    return out;
}

Bytes PackByMasks(const Picture& picture, int bits, const uint32_t masks[4], uint32_t pitch) {
    Bytes out;
    for (int y = 0; y < picture.height; ++y) {
        size_t start = out.size();
        for (int x = 0; x < picture.width; ++x) PutLe(out, PackPixel(picture.At(x, y), masks), bits / 8);
        if (pitch) out.resize(start + pitch, 0);
    }
    return out;
}

Bytes BgraFile(const Picture& picture, bool sixteenBits) {
    Bytes out = {'B', 'G', 'R', 'A'};
    Put32(out, sixteenBits ? 0x10101010 : 0x08080808);
    Put32(out, uint32_t(picture.width));
    Put32(out, uint32_t(picture.height));
    for (uint32_t c : picture.argb) {
        for (uint8_t v : {Blue(c), Green(c), Red(c), Alpha(c)}) {
            if (sixteenBits) Put16(out, v * 257u);
            else out.push_back(v);
        }
    }
    return out;
}
