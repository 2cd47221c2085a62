// URL splitting and the number, byte-size and time-span texts of progress
// displays. None of it needs the library to be running.
#include "tessel/net.h"

#include "platform/net/http.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int CopyOut(const std::string& text, char* buffer, int size) {
    if (!buffer || size <= 0 || text.size() >= static_cast<size_t>(size)) return -1;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

bool Fits(const std::string& text, const char* buffer, int size) {
    return buffer && size > 0 && text.size() < static_cast<size_t>(size);
}

}  // namespace

int ParseUrl(const char* url, char* scheme, int schemeSize, char* host, int hostSize, int* port,
             char* path, int pathSize) {
    if (!url || !port) return -1;
    std::string s, h, p;
    int number = 0;
    if (PlatParseUrl(url, &s, &h, &number, &p) != 0) return -1;
    if (!Fits(s, scheme, schemeSize) || !Fits(h, host, hostSize) || !Fits(p, path, pathSize)) return -1;
    CopyOut(s, scheme, schemeSize);
    CopyOut(h, host, hostSize);
    CopyOut(p, path, pathSize);
    *port = number;
    return 0;
}

int FormatNumber(int64_t value, char* buffer, int size) {
    // Through the unsigned magnitude, so the most negative value has one.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    std::string text = value < 0 ? "-" : "";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return CopyOut(text, buffer, size);
}

int FormatByteSize(int64_t bytes, char* buffer, int size) {
    if (bytes < 0) return -1;
    if (bytes < 1000) return CopyOut(std::to_string(bytes) + " B", buffer, size);
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    // The unit is the smallest in which the rounded figure stays below 1000,
    // so the text never shows a fourth digit.
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 999.5 && unit < 5) {
        value /= 1024.0;
        ++unit;
    }
    int decimals = value < 9.995 ? 2 : value < 99.95 ? 1 : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, value, kUnits[unit]);
    return CopyOut(text, buffer, size);
}

int FormatTimeSpan(int64_t ms, char* buffer, int size) {
    if (ms < 0) return -1;
    int64_t seconds = ms / 1000;
    char text[48];
    if (seconds < 3600)
        std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%" PRId64 ":%02d:%02d", seconds / 3600,
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return CopyOut(text, buffer, size);
}
