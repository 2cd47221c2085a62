#include "writers.h"

#include <jpeglib.h>
#include <png.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

namespace {

uint8_t ToByte(float v) { return uint8_t(std::lround(Clamp01(v) * 255)); }

std::FILE* OpenForWriting(const std::string& path) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::fprintf(stderr, "assetgen: cannot create %s\n", path.c_str());
    return file;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// File and info headers of an uncompressed bottom-up BMP.
std::vector<uint8_t> BmpHeaders(int width, int height, int bits, uint32_t paletteEntries,
                                uint32_t rowSize) {
    uint32_t dataOffset = 14 + 40 + paletteEntries * 4;
    uint32_t imageSize = rowSize * uint32_t(height);
    std::vector<uint8_t> out{'B', 'M'};
    Put32(out, dataOffset + imageSize);
    Put32(out, 0);
    Put32(out, dataOffset);
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(height));
    Put16(out, 1);
    Put16(out, uint32_t(bits));
    Put32(out, 0);  // no compression
    Put32(out, imageSize);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, paletteEntries);
    Put32(out, 0);
    return out;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = OpenForWriting(path);
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) std::fprintf(stderr, "assetgen: writing %s failed\n", path.c_str());
    return ok;
}

// Writes 8-bit indexes with the given palette of 0xRRGGBB entries.
bool WriteIndexedBmp(const std::string& path, int width, int height,
                     const std::vector<uint32_t>& palette, const std::vector<uint8_t>& index) {
    uint32_t rowSize = (uint32_t(width) + 3) & ~3u;
    std::vector<uint8_t> out = BmpHeaders(width, height, 8, uint32_t(palette.size()), rowSize);
    for (uint32_t rgb : palette) {
        out.push_back(uint8_t(rgb));
        out.push_back(uint8_t(rgb >> 8));
        out.push_back(uint8_t(rgb >> 16));
        out.push_back(0);
    }
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) out.push_back(index[size_t(y) * width + x]);
        for (uint32_t pad = uint32_t(width); pad < rowSize; ++pad) out.push_back(0);
    }
    return WriteBytes(path, out);
}

bool WriteWave(const std::string& path, const std::vector<float>& samples, int subtype) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    SF_INFO info{};
    info.samplerate = SampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | subtype;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "assetgen: cannot create %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    // Whole-scale samples would clip in the encoders' rounding.
    std::vector<float> clipped(samples.size());
    std::transform(samples.begin(), samples.end(), clipped.begin(),
                   [](float s) { return std::clamp(s, -0.98f, 0.98f); });
    sf_count_t written = sf_write_float(file, clipped.data(), sf_count_t(clipped.size()));
    bool ok = written == sf_count_t(clipped.size());
    ok = sf_close(file) == 0 && ok;
    if (!ok) std::fprintf(stderr, "assetgen: writing %s failed\n", path.c_str());
    return ok;
}

}  // namespace

bool WritePng(const std::string& path, const Image& image, PngKind kind) {
    std::FILE* file = OpenForWriting(path);
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    int channels = kind == PngKind::Rgba ? 4 : 3;
    std::vector<uint8_t> row(size_t(image.width) * channels);
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) ok = false;
    else if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8,
                     kind == PngKind::Rgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_compression_level(png, 9);
        png_write_info(png, info);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const Rgba& c = image.At(x, y);
                uint8_t* p = &row[size_t(x) * channels];
                p[0] = ToByte(c.r);
                p[1] = ToByte(c.g);
                p[2] = ToByte(c.b);
                if (channels == 4) p[3] = ToByte(c.a);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    ok = std::fclose(file) == 0 && ok;
    if (!ok) std::fprintf(stderr, "assetgen: writing %s failed\n", path.c_str());
    return ok;
}

bool WriteJpeg(const std::string& path, const Image& image, int quality) {
    std::FILE* file = OpenForWriting(path);
    if (!file) return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);  // errors here are programming faults: libjpeg exits
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(image.width);
    cinfo.image_height = JDIMENSION(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(image.width) * 3);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const Rgba& c = image.At(x, y);
            row[size_t(x) * 3] = ToByte(c.r);
            row[size_t(x) * 3 + 1] = ToByte(c.g);
            row[size_t(x) * 3 + 2] = ToByte(c.b);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    bool ok = std::fclose(file) == 0;
    if (!ok) std::fprintf(stderr, "assetgen: writing %s failed\n", path.c_str());
    return ok;
}

bool WriteBmp24(const std::string& path, const Image& image) {
    uint32_t rowSize = (uint32_t(image.width) * 3 + 3) & ~3u;
    std::vector<uint8_t> out = BmpHeaders(image.width, image.height, 24, 0, rowSize);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const Rgba& c = image.At(x, y);
            out.push_back(ToByte(c.b));
            out.push_back(ToByte(c.g));
            out.push_back(ToByte(c.r));
        }
        for (uint32_t pad = uint32_t(image.width) * 3; pad < rowSize; ++pad) out.push_back(0);
    }
    return WriteBytes(path, out);
}

bool WriteBmp8(const std::string& path, const Image& image) {
    std::map<uint32_t, uint8_t> slots;
    std::vector<uint32_t> palette;
    std::vector<uint8_t> index(image.pixels.size());
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const Rgba& c = image.pixels[i];
        uint32_t rgb = uint32_t(ToByte(c.r)) << 16 | uint32_t(ToByte(c.g)) << 8 | ToByte(c.b);
        auto found = slots.find(rgb);
        if (found == slots.end()) {
            if (palette.size() == 256) {
                std::fprintf(stderr, "assetgen: %s needs more than 256 colours\n", path.c_str());
                return false;
            }
            found = slots.emplace(rgb, uint8_t(palette.size())).first;
            palette.push_back(rgb);
        }
        index[i] = found->second;
    }
    return WriteIndexedBmp(path, image.width, image.height, palette, index);
}

bool WriteAlphaBmp(const std::string& path, const Image& image) {
    std::vector<uint32_t> grey(256);
    for (uint32_t v = 0; v < 256; ++v) grey[v] = v << 16 | v << 8 | v;
    std::vector<uint8_t> index(image.pixels.size());
    for (size_t i = 0; i < image.pixels.size(); ++i) index[i] = ToByte(image.pixels[i].a);
    return WriteIndexedBmp(path, image.width, image.height, grey, index);
}

bool WriteWavePcm16(const std::string& path, const std::vector<float>& samples) {
    return WriteWave(path, samples, SF_FORMAT_PCM_16);
}

bool WriteWaveImaAdpcm(const std::string& path, const std::vector<float>& samples) {
    return WriteWave(path, samples, SF_FORMAT_IMA_ADPCM);
}

int ImaSamplesPerBlock() {
    // libsndfile picks the block size from the sample rate: 512 bytes below
    // 23000 samples a second; each block starts with one sample in its header.
    constexpr int blockAlign = SampleRate < 12000 ? 256 : SampleRate < 23000 ? 512 : 1024;
    return 2 * (blockAlign - 4) + 1;
}
