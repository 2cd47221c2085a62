// JPEG files through libjpeg's 6b interface: a source manager over the image
// stream and an error manager that jumps back here instead of exiting.
#include "graphics/decode_cursor.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr size_t SourceChunk = 4096;

// libjpeg works with sizes it cannot bound itself (a progressive image keeps
// all its coefficients, two bytes for each sample of each component); past
// this it fails rather than allocating. Three full components of the largest
// image take 6 of these 8 bytes a pixel.
constexpr long MaxDecoderMemory = static_cast<long>(MaxImageBytes * 2);

// A sequential Huffman-coded image spends at least one bit on each block's DC
// code and one on its end-of-block code: 64 pixels cost 2 bits at the least.
constexpr uint64_t MaxPixelsPerByte = 256;

// Everything one decoding owns, kept off the stack and out of the locals
// that a long jump would leave undefined.
struct JpegJob {
    jpeg_decompress_struct info;   // the decompressor
    jpeg_error_mgr errors;         // libjpeg's error manager, with our exits
    jmp_buf escape;                // where error_exit returns to
    jpeg_source_mgr source;        // libjpeg's view of the source
    StreamCursor cursor;           // the image stream
    bool started;                  // a chunk has been read
    JOCTET buffer[SourceChunk];    // the chunk being decoded
    uint8_t* pixels;               // the image block, freed on failure
};

JpegJob* JobOf(j_common_ptr info) {
    return reinterpret_cast<JpegJob*>(reinterpret_cast<char*>(info) - offsetof(JpegJob, info));
}

[[noreturn]] void ErrorExit(j_common_ptr info) { std::longjmp(JobOf(info)->escape, 1); }

// Warnings (a premature end, say) are not worth a line anywhere.
void OutputMessage(j_common_ptr) {}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info) {
    JpegJob* job = JobOf(reinterpret_cast<j_common_ptr>(info));
    size_t count = std::min<size_t>(SourceChunk, Remaining(job->cursor));
    if (count == 0 || !ReadExact(&job->cursor, job->buffer, count)) {
        if (!job->started) ERREXIT(info, JERR_INPUT_EMPTY);
        // As libjpeg's own file source does: warn, then supply an end marker.
        WARNMS(info, JWRN_JPEG_EOF);
        job->buffer[0] = 0xFF;
        job->buffer[1] = JPEG_EOI;
        count = 2;
    }
    job->started = true;
    job->source.next_input_byte = job->buffer;
    job->source.bytes_in_buffer = count;
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = info->src;
    while (static_cast<size_t>(count) > source->bytes_in_buffer) {
        count -= static_cast<long>(source->bytes_in_buffer);
        FillInputBuffer(info);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

// Runs between the decompressor's creation and destruction; any libjpeg
// error jumps out of it.
int Decompress(JpegJob* job, GraphImage* image) {
    jpeg_decompress_struct& info = job->info;
    jpeg_read_header(&info, TRUE);
    if (info.out_color_space != JCS_GRAYSCALE && info.out_color_space != JCS_RGB) return -1;
    bool bounded = !info.progressive_mode && !info.arith_code;
    if (bounded && uint64_t(info.image_width) * info.image_height >
                       MaxPixelsPerByte * (uint64_t(job->cursor.size) + 1)) {
        return -1;
    }
    // Colour pictures come out of the decoder in blue, green, red order
    // already, rather than being reversed pixel by pixel afterwards.
    if (info.out_color_space == JCS_RGB) info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    int components = info.output_components;
    uint64_t bytes;
    if ((components != 1 && components != 3) ||
        !CheckedProduct(info.output_width, info.output_height, uint64_t(components), MaxImageBytes,
                        &bytes)) {
        return -1;
    }
    job->pixels = AllocatePixels(bytes);
    if (!job->pixels) return -1;
    int32_t pitch = static_cast<int32_t>(info.output_width) * components;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = job->pixels + int64_t(pitch) * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    *image = {components == 1 ? Grey8Format : Bgr24Format, static_cast<int32_t>(info.output_width),
              static_cast<int32_t>(info.output_height), pitch, job->pixels};
    job->pixels = nullptr;
    return 0;
}

}  // namespace

int DecodeJpeg(ImageStream* stream, GraphImage* image) {
    *image = {};
    JpegJob* job = new (std::nothrow) JpegJob{};
    if (!job) return -1;
    if (!OpenCursor(stream, &job->cursor)) {
        delete job;
        return -1;
    }
    job->info.err = jpeg_std_error(&job->errors);
    job->errors.error_exit = ErrorExit;
    job->errors.output_message = OutputMessage;
    if (setjmp(job->escape) != 0) {
        jpeg_destroy_decompress(&job->info);
        std::free(job->pixels);
        delete job;
        return -1;
    }
    jpeg_create_decompress(&job->info);
    job->info.mem->max_memory_to_use = MaxDecoderMemory;
    job->source = {nullptr, 0, InitSource, FillInputBuffer, SkipInputData, jpeg_resync_to_restart,
                   TermSource};
    job->info.src = &job->source;
    int result = Decompress(job, image);
    jpeg_destroy_decompress(&job->info);
    std::free(job->pixels);
    delete job;
    return result;
}
