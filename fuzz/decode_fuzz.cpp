// Feeds arbitrary bytes to the image decoders through a memory stream. A
// decoded image is read in full, so that a pixel block shorter than its
// record claims shows up under the address sanitizer.
#include "graphics/image.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryStream memory;
    ImageStream stream;
    OpenMemoryImageStream(data, size, &memory, &stream);
    GraphImage image;
    if (DecodeImageStream(&stream, &image) != 0) return 0;

    const int64_t rowBytes = int64_t(image.width) * image.format.bytesPerPixel;
    if (image.width <= 0 || image.height <= 0 || !image.pixels || image.pitch < rowBytes) std::abort();
    volatile uint8_t sink = 0;
    uint8_t sum = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = image.pixels + int64_t(image.pitch) * y;
        for (int64_t i = 0; i < rowBytes; ++i) sum = static_cast<uint8_t>(sum + row[i]);
    }
    sink = sum;
    (void)sink;
    FreeGraphImagePixels(&image);
    return 0;
}
