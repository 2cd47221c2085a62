// The tables that hold images: graphs (the handles callers see), bitmap data
// (the pieces of a graph, each on a surface) and surface data (platform
// surfaces shared by reference count), with locking and the screen's own
// surfaces; and the mask surfaces, freed at shutdown.
#ifndef TESSEL_GRAPH_H
#define TESSEL_GRAPH_H

#include "graphics/color.h"
#include "core/handle.h"
#include "platform/pixels/surface.h"
#include "tessel/gpu.h"
#include "tessel/graphics.h"

#include <cstdint>

constexpr int GraphCapacity = 30000;
constexpr int BmpDataCapacity = 30000;
constexpr int SurfaceDataCapacity = 0xFFFF;  // index 0xFFFF is never valid
constexpr int MaskCapacity = 512;
constexpr int GraphMaxPieces = 64;

// Colour key of every new surface, as 0x00RRGGBB.
constexpr uint32_t TransparentColor = 0x000000;

// How a graph's surfaces are made; copied whole from the graph into every
// surface data record its pieces create.
struct GraphParams {
    uint8_t useTexture;     // its textures were made with it (GPU path only)
    uint8_t AlphaChFlag;    // the graph carries an alpha channel
    uint8_t DrawValid;      // the graph may itself be a draw target
    uint8_t systemMemory;   // the surfaces are made in system memory
    uint8_t AlphaTestFlag;  // alpha-tested drawing asked for (set on every graph; no path tests)
    uint8_t ColorBitDepth;  // bits per pixel of the graph
};
static_assert(sizeof(GraphParams) == 6, "the creation parameters are six bytes");

struct GraphRecord {
    HandleRecord head;              // serial and delete flag target
    GraphParams params;             // creation parameters
    uint8_t loadOption;             // 1: mirror left to right when reloaded from the file
    int32_t pieces[GraphMaxPieces]; // bitmap data handles of the pieces
    uint8_t pieceCount;             // entries of `pieces` in use
    char fileName[60];              // file the graph was loaded from; "" if none
    char directory[260];            // current directory at loading
    uint16_t sourceX, sourceY;      // the graph's top-left in its source image
    uint16_t width, height;         // size in pixels
    int32_t movie;                  // movie playing into the graph, -1 if none
    uint8_t restorePending;         // waits to be reloaded after the display was lost
    // The GPU path's copy of the pixels: texture pieces (type 6) covering
    // the graph in tiles, made from the first piece's surface, which stays
    // the CPU copy that locks and the software blitters see.
    int32_t tiles[GraphMaxPieces];
    uint8_t tileCount;
    uint8_t tilesCurrent;           // the tiles hold the CPU copy as of tilesSeen
    uint32_t tilesSeen;             // the CPU copy's change count at the last upload
    uint8_t tilesSpare;             // with an alpha plane: the spare bits its opaque pixels copy
};

struct BmpDataRecord {
    HandleRecord head;              // serial and delete flag target
    uint16_t offsetX, offsetY;      // the piece's position inside its graph
    uint16_t surfaceX, surfaceY;    // the piece's top-left inside its surface
    uint16_t width, height;         // size of the piece
    int32_t owner;                  // graph handle, or -1 for a bitmap of no graph
    int32_t surface;                // surface data handle holding the pixels
};

struct SurfaceDataRecord {
    HandleRecord head;              // serial and delete flag target
    GraphParams params;             // copied from the graph
    PlatSurface* surface;           // the pixels
    PlatSurface* zBuffer;           // the attached Z buffer, or null
    uint8_t* alphaBuffer;           // alpha plane, one byte a pixel, or null
    int32_t alphaPitch;             // bytes per row of alphaBuffer (the width)
    uint32_t transparentColor;      // colour key as 0x00RRGGBB
    uint16_t width, height;         // surface size
    uint16_t refCount;              // bitmap data records using the surface
    int32_t lockPitch;              // bytes per row while locked
    uint8_t* lockPointer;           // first pixel while locked
    int32_t lockCount;              // nesting depth of locks
};

// A mask surface: one byte a pixel.
struct MaskRecord {
    HandleRecord head;              // serial and delete flag target
    int32_t width, height;          // pixels
    uint8_t* pixels;                // width x height bytes, owned
};

// The screen's own surfaces, by screen code + 4: front (-4), work (-3),
// back (-2). The screen registers them; locking reads them from here.
constexpr int ScreenSurfaceCount = 3;

struct ScreenSurfaceState {
    PlatSurface* surface[ScreenSurfaceCount];  // registered surfaces; null = none
    int locked[ScreenSurfaceCount];            // lock flag of each
    int pitch[ScreenSurfaceCount];             // their pitch while locked
    uint8_t* pointer[ScreenSurfaceCount];      // their first pixel while locked
    int lockedCount;                           // screen surfaces locked now
};

// The module's state: the four tables and what they depend on. Every
// table's serial runs on for the life of the process.
struct GraphState {
    HandleTable graphs;        // type 1
    HandleTable bmpData;       // type 5
    HandleTable surfaces;      // type 7
    HandleTable masks;         // type 8
    int displayExists;         // the display device is made
    int bmpDataRegistered;     // graphics management has registered with the bitmap table
    ScreenSurfaceState screen; // the screen's surfaces and their locks
};

extern GraphState gGraph;

// --- start and end (graph_table.cpp) ----------------------------------------

// Set by the screen code when it makes (1) or releases (0) the display
// device; releasing also frees every bitmap data record.
void SetDisplayDeviceExists(int exists);
// Registers with the bitmap data table (freeing the bitmap data left from
// before) and empties the graph, surface data and mask tables. 0.
int InitGraphTables();
// Frees every mask surface and every graph, without logging. 0.
int EndGraphTables();

// --- graphs (graph_table.cpp) ------------------------------------------------

// The record of a live graph, or null.
GraphRecord* GetGraphRecord(int graph);
// CreateEmptyGraph with textures asked for (on the GPU path) and no alpha channel.
int CreateDefaultGraph(int width, int height);
// A graph for a movie to play into: system memory, no alpha channel, the
// screen's depth. The handle, or -1 (nothing is left behind).
int CreateMovieGraph(int width, int height);

// --- bitmap data (bmp_data.cpp) ----------------------------------------------

BmpDataRecord* GetBmpDataRecord(int handle);
// A piece of `width` x `height` at (offsetX, offsetY) of graph `owner` (-1:
// none). It shares the surface of bitmap data `shareFrom` when that exists,
// its pixels then starting at (surfaceX, surfaceY); otherwise it gets a
// surface of its own made with `params`. The handle or -1.
int AddBmpData(int width, int height, int offsetX, int offsetY, int owner, int shareFrom,
               int surfaceX, int surfaceY, const GraphParams* params);
// Releases the piece's hold on its surface. 0, also for an invalid handle.
int FreeBmpData(int handle);
// 0; -1 without a display device; nothing before graphics management has
// registered with the table.
int FreeAllBmpData();
// Registers an int32 that becomes 1 when the record is freed, and stores 0
// into it now. 0, or -1 for an invalid handle.
int SetBmpDataDeleteFlag(int handle, int32_t* target);

// --- surface data (surface_data.cpp) ------------------------------------------

SurfaceDataRecord* GetSurfaceDataRecord(int handle);
// Makes the record and its surface in the screen's format, with the colour
// key of `transparentColor` (0x00RRGGBB). The handle or -1.
int AddSurfaceData(int refCount, int width, int height, uint32_t transparentColor,
                   const GraphParams* params);
// Releases the surface, its Z buffer and its alpha plane. 0, or -1.
int FreeSurfaceData(int handle);
// The new reference count, or -1 for an invalid handle.
int AddSurfaceRef(int handle);
int ReleaseSurfaceRef(int handle);
// 0 when the surface is intact; else it is restored and the result is -1.
int RestoreSurfaceIfLost(int handle);
// Fills the whole surface with the colour in its format, and the alpha plane
// (if any) with `alpha`. 0, or -1.
int FillSurfaceData(int handle, int red, int green, int blue, int alpha);
// 0; -2 when already locked (the stored pitch and pointer are returned and
// the lock counts); -1 when the platform refuses.
int LockSurfaceData(int handle, int* pitch, uint8_t** pointer);
// 0, or -1 when the record is not locked or the handle is invalid.
int UnlockSurfaceData(int handle);

// --- the screen's surfaces (lock.cpp) -----------------------------------------

// Registers the surface behind TargetFront, TargetWork or TargetBack (null
// removes it). 0, or -1 for another code.
int SetScreenSurface(int code, PlatSurface* surface);
PlatSurface* GetScreenSurface(int code);
// Screen surfaces locked now; while above 0, graphs are neither made, loaded
// nor freed, and drawing is suspended.
int ScreenLockCount();

// --- mask surfaces (graph_table.cpp) ------------------------------------------

// A zero-filled mask of width x height; the handle or -1.
int AddMaskSurface(int width, int height);
MaskRecord* GetMaskRecord(int handle);
int FreeMaskSurface(int handle);
int FreeAllMaskSurfaces();

#endif
