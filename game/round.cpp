// Rounds, the terrain grid and the progress file.
#include "game.h"

#include "tessel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

struct RoundRow {
    const char* background;
    int32_t playerX, playerY, baseX, baseY;
};

constexpr RoundRow kRounds[20] = {
    {"Background\\b01.jpg", 1200, 190, 1550, 187},  {"Background\\b01.jpg", 800, 190, 200, 187},
    {"Background\\b01.jpg", 1550, 190, 200, 187},   {"Background\\b01.jpg", 1050, 700, 1350, 727},
    {"Background\\b02.jpg", 1050, 700, 700, 757},   {"Background\\b02.jpg", 1050, 700, 600, 787},
    {"Background\\b02.jpg", 1350, 730, 700, 757},   {"Background\\b02.jpg", 1350, 730, 1050, 697},
    {"Background\\b03.jpg", 700, 760, 1050, 697},   {"Background\\b03.jpg", 600, 790, 1050, 697},
    {"Background\\b03.jpg", 1550, 790, 1150, 787},  {"Background\\b03.jpg", 1550, 790, 1220, 787},
    {"Background\\b04.jpg", 1550, 790, 850, 787},   {"Background\\b04.jpg", 1200, 190, 1050, 697},
    {"Background\\b04.jpg", 1200, 190, 1550, 187},  {"Background\\b04.jpg", 1200, 190, 1550, 187},
    {"Background\\b101.png", 1200, 190, 1550, 187}, {"Background\\b101.png", 1200, 190, 1550, 187},
    {"Background\\b101.png", 1200, 190, 1550, 187}, {"Background\\b101.png", 1200, 190, 1550, 187},
};

constexpr const char* kProgressFile = "user.data";
constexpr const char* kProgressTemp = "user.data.tmp";

void MarkBase(int column, int row) {
    if (column >= 0 && column < GridColumns && row >= 0 && row < GridRows)
        gGame.terrainGrid[column][row] = 2;
}

}  // namespace

int GridCell(int column, int row) {
    if (column < 0 || column >= GridColumns || row < 0 || row >= GridRows) return 0;
    return gGame.terrainGrid[column][row];
}

void LoadRoundImages(int round) {
    if (round < 1 || round > 20) return;
    const RoundRow& row = kRounds[round - 1];
    // The previous round's pictures go first, so that a long run never
    // exhausts the graph table.
    FreeGraphHandle(gAssets.background, 0);
    FreeGraphHandle(gAssets.terrain, 0);
    FreeGraphHandle(gAssets.terrainData, 0);
    gAssets.background = LoadGameGraph(row.background);
    gAssets.terrain = LoadGameGraph("Round\\R001.png");
    gAssets.terrainData = LoadGameGraph("Round\\R001data.png");
    gGame.playerX = row.playerX;
    gGame.playerY = row.playerY;
    gGame.baseX = row.baseX;
    gGame.baseY = row.baseY;
}

void BuildTerrainGrid() {
    ClearDrawTarget();
    DrawGraph(0, 0, gAssets.terrainData, 0);
    for (auto& column : gGame.terrainGrid)
        for (int32_t& cell : column) cell = 0;
    // Pure black is open ground. On a 32-bit screen black copied from the
    // picture carries the format's spare bits, so it is not 0 there.
    const int black = static_cast<int>(MakeColor(0, 0, 0));
    for (int x = 0; x < GridColumns; ++x)
        for (int y = 0; y < GridRows; ++y) {
            int pixel = ReadScreenPixel(x, y);
            if (pixel != 0 && pixel != black) gGame.terrainGrid[x][y] = 1;
        }

    int bc = gGame.baseX / 4;
    int br = gGame.baseY / 4;
    for (int dc = -4; dc <= 4; ++dc)
        for (int dr = -2; dr <= 2; ++dr) MarkBase(bc + dc, br + dr);
    for (int dc = -2; dc <= 2; ++dc)
        for (int dr : {-4, -3, 3, 4, 5}) MarkBase(bc + dc, br + dr);
}

int ReadProgress() {
    std::FILE* file = std::fopen(kProgressFile, "rb");
    if (!file) return 1;
    uint8_t bytes[4];
    size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    if (got != sizeof bytes) return 1;
    // Little-endian on disk whatever the machine.
    uint32_t value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return static_cast<int32_t>(value);
}

namespace {

// Says why a reached round was not stored, in the log and on the terminal:
// otherwise it is lost without a word.
void ReportSaveFailure(const char* what, int error) {
    WriteLogFormat("Progress not saved: %s: %s", what, std::strerror(error));
    std::fprintf(stderr, "ballistor: progress not saved: %s: %s\n", what, std::strerror(error));
}

}  // namespace

// The new value goes to a file beside the old one and replaces it in one
// rename, so a failure at any point leaves the stored progress as it was.
// The new file reaches the disk before the rename, and the rename itself
// (an entry of the folder) after it, so a crash cannot leave an empty file.
void SaveProgress() {
    if (gGame.round <= ReadProgress()) return;
    std::FILE* file = std::fopen(kProgressTemp, "wb");
    if (!file) {
        ReportSaveFailure("cannot create user.data.tmp", errno);
        return;
    }
    uint32_t value = static_cast<uint32_t>(gGame.round);
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    int error = 0;
    if (std::fwrite(bytes, 1, sizeof bytes, file) != sizeof bytes || std::fflush(file) != 0 ||
        fsync(fileno(file)) != 0)
        error = errno;
    if (std::fclose(file) != 0 && !error) error = errno;
    if (error) {
        ReportSaveFailure("cannot write user.data.tmp", error);
        std::remove(kProgressTemp);
        return;
    }
    if (std::rename(kProgressTemp, kProgressFile) != 0) {
        ReportSaveFailure("cannot replace user.data", errno);
        std::remove(kProgressTemp);
        return;
    }
    int folder = open(".", O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
}
