// Texture pieces: the tiles of a graph on the device, each no larger than
// the device (or a test) allows, filled from the graph's CPU copy whenever
// that copy's pixels changed since the last upload.
#include "core/core.h"
#include "gpu/gpu.h"
#include "gpu/gpu_internal.h"
#include "platform/gpu/gpu.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int TexturePieceCapacity = 0xFFFF;

struct TexturePieceRecord {
    HandleRecord head;
    int32_t graph;                // owner
    uint16_t offsetX, offsetY;    // position inside the graph
    uint16_t width, height;
    uint32_t texture;             // the device's name
};

HandleRecord* pieceSlots[TexturePieceCapacity];
HandleTable gPieces = {HandleTexture, TexturePieceCapacity, pieceSlots, 0, 0, 0};

std::vector<uint32_t> gStaging;

TexturePieceRecord* Piece(int handle) {
    return HandleTableGetAs<TexturePieceRecord>(&gPieces, handle);
}

int AddPiece(int graph, int x, int y, int width, int height) {
    uint32_t texture = PlatGpuCreateTexture(width, height);
    if (texture == 0) return -1;
    int handle = HandleTableAdd(&gPieces, sizeof(TexturePieceRecord));
    if (handle < 0) {
        PlatGpuFreeTexture(texture);
        return -1;
    }
    TexturePieceRecord* piece = Piece(handle);
    piece->graph = graph;
    piece->offsetX = uint16_t(x);
    piece->offsetY = uint16_t(y);
    piece->width = uint16_t(width);
    piece->height = uint16_t(height);
    piece->texture = texture;
    return handle;
}

// The graph's CPU copy: the surface data of its first piece.
const SurfaceDataRecord* CpuCopy(const GraphRecord* graph, const BmpDataRecord** bmp) {
    *bmp = graph->pieceCount ? GetBmpDataRecord(graph->pieces[0]) : nullptr;
    return *bmp ? GetSurfaceDataRecord((*bmp)->surface) : nullptr;
}

void Upload(GraphRecord* graph) {
    const BmpDataRecord* bmp;
    const SurfaceDataRecord* data = CpuCopy(graph, &bmp);
    if (!data || !data->surface) return;
    const PlatSurface* surface = data->surface;
    const ColorFormat& format = surface->format;
    int alpha = data->params.AlphaChFlag && data->alphaBuffer;
    // A texel's alpha byte is the alpha plane's where there is one, so the
    // spare bits that an opaque pixel copies travel beside the texture, one
    // value for the graph: the first opaque pixel's. Graphs the library
    // makes carry the same spare bits in every pixel.
    bool spareSeen = false;
    graph->tilesSpare = uint8_t(ExpandPixel(format.spareMask, format) >> 24);
    for (int i = 0; i < graph->tileCount; ++i) {
        const TexturePieceRecord* piece = Piece(graph->tiles[i]);
        if (!piece) continue;
        int width = piece->width, height = piece->height;
        gStaging.resize(size_t(width) * size_t(height));
        for (int y = 0; y < height; ++y) {
            int sx = bmp->surfaceX + piece->offsetX, sy = bmp->surfaceY + piece->offsetY + y;
            uint32_t* row = gStaging.data() + std::ptrdiff_t(y) * width;
            ExpandRow(row, format,
                      surface->pixels + std::ptrdiff_t(sy) * surface->pitch +
                          std::ptrdiff_t(sx) * format.bytesPerPixel,
                      width);
            if (!alpha) continue;
            const uint8_t* a = data->alphaBuffer + std::ptrdiff_t(sy) * data->alphaPitch + sx;
            for (int x = 0; x < width; ++x) {
                if (a[x] == 255 && !spareSeen) {
                    graph->tilesSpare = uint8_t(row[x] >> 24);
                    spareSeen = true;
                }
                row[x] = (row[x] & 0xFFFFFF) | uint32_t(a[x]) << 24;
            }
        }
        PlatGpuUploadTexture(piece->texture, 0, 0, width, height, gStaging.data(), width);
    }
    graph->tilesSeen = surface->changeCount;
    graph->tilesCurrent = 1;
}

}  // namespace

int CreateGraphTiles(GraphRecord* graph) {
    if (!GpuRunning() || graph->tileCount) return 0;
    int limit = GpuTextureLimit();
    int columns = (graph->width + limit - 1) / limit, rows = (graph->height + limit - 1) / limit;
    if (limit <= 0 || columns * rows > GraphMaxPieces) return -1;
    const BmpDataRecord* bmp;
    CpuCopy(graph, &bmp);
    int handle = bmp ? bmp->owner : -1;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            int x = column * limit, y = row * limit;
            int piece = AddPiece(handle, x, y, std::min(limit, graph->width - x),
                                 std::min(limit, graph->height - y));
            if (piece < 0) {
                FreeGraphTiles(graph);
                return -1;
            }
            graph->tiles[graph->tileCount++] = piece;
        }
    graph->tilesCurrent = 0;
    return 0;
}

void FreeGraphTiles(GraphRecord* graph) {
    for (int i = 0; i < graph->tileCount; ++i) {
        if (TexturePieceRecord* piece = Piece(graph->tiles[i])) {
            PlatGpuFreeTexture(piece->texture);
            HandleTableRemove(&gPieces, graph->tiles[i]);
        }
    }
    graph->tileCount = 0;
    graph->tilesCurrent = 0;
}

// The tiles of a graph about to be drawn, made and refreshed as needed.
// 0, or -1 when the device has no room for them.
int ReadyTiles(GraphRecord* graph) {
    if (!graph->tileCount && CreateGraphTiles(graph) != 0) return -1;
    const BmpDataRecord* bmp;
    const SurfaceDataRecord* data = CpuCopy(graph, &bmp);
    if (!data || !data->surface) return -1;
    if (!graph->tilesCurrent || graph->tilesSeen != data->surface->changeCount) Upload(graph);
    return 0;
}

// Tile `index` of a graph: its rectangle in the graph and its texture.
int TileOf(const GraphRecord* graph, int index, int* x, int* y, int* width, int* height,
           uint32_t* texture) {
    const TexturePieceRecord* piece = Piece(graph->tiles[index]);
    if (!piece) return -1;
    *x = piece->offsetX;
    *y = piece->offsetY;
    *width = piece->width;
    *height = piece->height;
    *texture = piece->texture;
    return 0;
}

// The colour key of a graph as RGBA bytes of the screen's format, widened
// as its texels are.
uint32_t GraphKey(const GraphRecord* graph) {
    const BmpDataRecord* bmp;
    const SurfaceDataRecord* data = CpuCopy(graph, &bmp);
    uint32_t colour = data ? data->transparentColor : 0;
    const ColorFormat* screen = GetScreenFormat();
    return ExpandPixel(MakeColorInFormat(screen, int(colour >> 16 & 0xFF), int(colour >> 8 & 0xFF),
                                         int(colour & 0xFF), 0),
                       *screen);
}

int GraphSpare(const GraphRecord* graph) {
    const BmpDataRecord* bmp;
    const SurfaceDataRecord* data = CpuCopy(graph, &bmp);
    return data && data->params.AlphaChFlag && data->alphaBuffer ? graph->tilesSpare : -1;
}

void ResetTexturePieces() { HandleTableReset(&gPieces); }
