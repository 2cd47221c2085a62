// PNG files through libpng: transformations bring every colour type to 8-bit
// grey, 24-bit BGR or 32-bit BGRA.
#include "graphics/decode_cursor.h"

#include <cstdlib>
#include <new>

#include <png.h>

namespace {

// Deflate cannot expand data more than about 1032 times; an image whose raw
// rows could not come from the stream's bytes is refused before allocating.
constexpr uint64_t MaxDeflateRatio = 1032;

// Everything one decoding owns, out of the locals a long jump would leave
// undefined.
struct PngJob {
    StreamCursor cursor;  // the image stream
    uint8_t* pixels;      // the image block, freed on failure
    png_bytep* rows;      // one pointer a row into `pixels`
};

void ReadData(png_structp png, png_bytep data, png_size_t length) {
    PngJob* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (!ReadExact(&job->cursor, data, length)) png_error(png, "Read Error");
}

// libpng's default handlers print to the terminal; a failed decode is
// reported by the caller instead.
void Error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void Warning(png_structp, png_const_charp) {}

// Grey images that carry alpha (an alpha channel, or a transparent grey
// level) are widened to BGRA, the one format here that has both.
void RequestTransforms(png_structp png, png_infop info) {
    int depth = png_get_bit_depth(png, info);
    int colorType = png_get_color_type(png, info);
    bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (depth == 16) png_set_strip_16(png);
    if (depth < 8) {
        png_set_packing(png);
        png_set_packswap(png);
    }
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_expand(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth <= 8) png_set_expand(png);
    if (transparency) png_set_expand(png);
    png_set_bgr(png);
    if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA || (colorType == PNG_COLOR_TYPE_GRAY && transparency))
        png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// Runs while the long jump is armed.
int Read(png_structp png, png_infop info, PngJob* job, GraphImage* image) {
    png_set_read_fn(png, job, ReadData);
    png_set_sig_bytes(png, 0);
    png_read_info(png, info);
    uint32_t width = png_get_image_width(png, info);
    uint32_t height = png_get_image_height(png, info);
    uint64_t rawRow = (uint64_t(width) * png_get_channels(png, info) * png_get_bit_depth(png, info) + 7) / 8 + 1;
    if (rawRow * height > MaxDeflateRatio * job->cursor.size) return -1;

    RequestTransforms(png, info);
    int channels = png_get_channels(png, info);
    uint64_t rowBytes = png_get_rowbytes(png, info);
    uint64_t bytes;
    if ((channels != 1 && channels != 3 && channels != 4) ||
        rowBytes != uint64_t(width) * channels ||
        !CheckedProduct(rowBytes, height, 1, MaxImageBytes, &bytes)) {
        return -1;
    }
    job->pixels = AllocatePixels(bytes);
    job->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!job->pixels || !job->rows) return -1;
    for (uint32_t y = 0; y < height; ++y) job->rows[y] = job->pixels + rowBytes * y;
    png_read_image(png, job->rows);
    png_read_end(png, nullptr);

    ColorFormat format = channels == 1 ? Grey8Format : Bgr24Format;
    if (channels == 4) {
        SetFormatFromMasks(&format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    }
    *image = {format, static_cast<int32_t>(width), static_cast<int32_t>(height),
              static_cast<int32_t>(rowBytes), job->pixels};
    job->pixels = nullptr;
    return 0;
}

}  // namespace

int DecodePng(ImageStream* stream, GraphImage* image) {
    *image = {};
    PngJob* job = new (std::nothrow) PngJob{};
    if (!job) return -1;
    png_structp png = nullptr;
    png_infop info = nullptr;
    if (OpenCursor(stream, &job->cursor)) {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Error, Warning);
        if (png) info = png_create_info_struct(png);
    }
    if (!info) {
        if (png) png_destroy_read_struct(&png, nullptr, nullptr);
        delete job;
        return -1;
    }
    int result = -1;
    if (setjmp(png_jmpbuf(png)) == 0) result = Read(png, info, job, image);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(job->pixels);
    std::free(job->rows);
    delete job;
    return result;
}
