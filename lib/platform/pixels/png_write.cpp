// PNG files written through a temporary sibling and a rename: a full disk or
// a crash half way leaves the old file (or none), never a cut one.
#include "platform/pixels/png_write.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <png.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Fail(char* why, int whySize, const std::string& text) {
    if (why && whySize > 0) std::snprintf(why, static_cast<size_t>(whySize), "%s", text.c_str());
    return -1;
}

}  // namespace

int PlatWritePngRgb(const char* path, const uint8_t* rgb, int width, int height, int stride,
                    char* why, int whySize) {
    if (!path || !*path || !rgb || width <= 0 || height <= 0)
        return Fail(why, whySize, "no picture or no path");
    std::string temporary = std::string(path) + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) return Fail(why, whySize, std::strerror(errno));
    // mkstemp keeps the file to its owner; a picture is for anyone to open.
    fchmod(fd, 0644);
    std::FILE* file = fdopen(fd, "wb");
    if (!file) {
        int error = errno;
        close(fd);
        unlink(temporary.c_str());
        return Fail(why, whySize, std::strerror(error));
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    std::string fault;
    if (!png_image_write_to_stdio(&image, file, 0, rgb, stride, nullptr))
        fault = image.message;
    png_image_free(&image);
    // A short write may only show when the buffer goes out.
    errno = 0;
    if (std::fflush(file) != 0 && fault.empty()) fault = std::strerror(errno ? errno : EIO);
    if (std::ferror(file) && fault.empty()) fault = std::strerror(errno ? errno : EIO);
    if (std::fclose(file) != 0 && fault.empty()) fault = std::strerror(errno ? errno : EIO);
    if (fault.empty() && std::rename(temporary.c_str(), path) != 0) fault = std::strerror(errno);
    if (fault.empty()) return 0;
    unlink(temporary.c_str());
    return Fail(why, whySize, fault);
}
