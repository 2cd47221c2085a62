// Rounds, the terrain grid and the progress file.
#include "game.h"

#include <cstdint>
#include <cstdio>

int ReadProgress() {
    std::FILE* file = std::fopen("user.data", "rb");
    if (!file) return 1;
    uint8_t bytes[4];
    size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    if (got != sizeof bytes) return 1;
    // Little-endian on disk whatever the machine.
    uint32_t value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return static_cast<int32_t>(value);
}
