// Tessel's public header, the part of the screen, drawing and graphs. Programs
// include tessel.h, which includes every part.
#ifndef TESSEL_PUBLIC_GRAPHICS_H
#define TESSEL_PUBLIC_GRAPHICS_H

#include "tessel/core.h"

#pragma GCC visibility push(default)

// ---------------------------------------------------------------------------
// Screen and drawing
// ---------------------------------------------------------------------------

constexpr int TargetFront = -4;  // the front buffer
constexpr int TargetWork = -3;   // the destination work surface (locking only)
constexpr int TargetBack = -2;   // the back buffer

// Width, height, depth, refresh (-1 keeps each). Before InitLibrary it only
// stores the settings and returns 0.
int SetScreenMode(int width, int height, int depth, int refresh);
int SetDrawTarget(int target);
// The clipping rectangle in target coordinates (right and bottom exclusive),
// ordered and clamped to the target. 0.
int SetClipRect(int left, int top, int right, int bottom);
// How the draws that follow mix with what is under them; `amount` 0..255
// (clamped) weighs the source.
constexpr int BlendNone = 0;      // drawn as it is (a graph's alpha channel still mixes)
constexpr int BlendAlpha = 1;     // mixed at amount/255, times its own alpha
constexpr int BlendAdd = 2;       // source times amount/255 added, saturating
constexpr int BlendMultiply = 3;  // destination times source; lower amounts fade to no change
constexpr int BlendSubtract = 4;  // source times amount/255 subtracted, floor 0
// 0; -1 for an unknown mode (nothing changes) or before InitLibrary. Mode 7
// is reserved: 0 and nothing changes. A screen mode change resets the state
// to BlendNone, 0.
int SetBlendState(int mode, int amount);
// Stores the current mode and amount through the pointers that are not
// null. 0.
int GetBlendState(int* mode, int* amount);
// Multiplies the colour of every draw that follows (graphs, shapes, text)
// by red/255, green/255, blue/255, each clamped to 0..255; (255, 255, 255)
// draws colours as they are. 0; -1 before InitLibrary. A screen mode change
// resets it to (255, 255, 255).
int SetDrawTint(int red, int green, int blue);
int ClearDrawTarget();
// The raw pixel at (x, y) of the draw target in the screen's format; -1
// outside the screen or without a display.
int ReadScreenPixel(int x, int y);
int PresentScreen();
int SetPresentVSync(int flag);
uint32_t MakeColor(int red, int green, int blue);
// Writes the back buffer (the front buffer while that is the draw target) to
// `path` as an RGB PNG, through a temporary file in the same folder renamed
// once complete. 0, or -1 (a missing folder, a full disk) with no file left.
int SaveScreenPng(const char* path);
// The key (a KeyCode; 0 for none, the default) whose every press saves the
// screen as shot-NNN.png in the working folder, the first number free; the
// press still reaches the program. Without a call, TESSEL_SCREENSHOT_KEY
// (a key name: F9, P, 0x46...) chooses it. May be called before InitLibrary.
// 0, or -1 for a key outside 0..255.
int SetScreenshotKey(int key);

// Shapes in a MakeColor colour, clipped to the clip rectangle and drawn
// under the blend state and the tint; each pixel is drawn once, so a shape
// mixed into the screen shows no seams. Coordinates may lie anywhere in
// the int range. 0, or -1 before InitLibrary or without a display.
int DrawPoint(int x, int y, uint32_t colour);
// A line including both ends: `thickness` 1 steps from pixel to pixel, a
// larger one fills a band that wide between the two end pixels' centres,
// reaching half a pixel past each. -1 for a thickness of 0 or less.
int DrawLineSegment(int x1, int y1, int x2, int y2, uint32_t colour, int thickness);
// Right and bottom exclusive; `filled` 0 draws the 1-pixel border inside.
int DrawRectangle(int left, int top, int right, int bottom, uint32_t colour, int filled);
// The midpoint circle, or with `filled` every pixel inside it too; a radius
// of 0 or less draws nothing and gives 0.
int DrawCircleShape(int cx, int cy, int radius, uint32_t colour, int filled);
// Filled: the pixels whose centres lie inside, a centre on an edge going to
// the triangle on its right or below it, so that triangles sharing an edge
// cover each pixel once. Unfilled: its three edges as lines. Without area
// it is the line between its two farthest corners.
int DrawTriangleShape(int x1, int y1, int x2, int y2, int x3, int y3, uint32_t colour,
                      int filled);

// ---------------------------------------------------------------------------
// Graphs
// ---------------------------------------------------------------------------

int LoadGraphFile(const char* path);
// `transparent` 1 leaves out the colour key's pixels. A graph with an alpha
// channel is blended by it either way (but not on an 8-bit screen).
int DrawGraph(int x, int y, int graph, int transparent);
int DrawGraphPart(int x, int y, int srcX, int srcY, int width, int height, int graph,
                  int transparent, int turn);
int DrawRotaGraph(int x, int y, double scale, double angle, int graph, int transparent,
                  int turn);
// The whole graph stretched over left..right x top..bottom (right and
// bottom exclusive), each pixel taking the graph's pixel under its centre
// (bilinear on the GPU path under SetDrawFilter(1)); right < left mirrors
// left to right, bottom < top top to bottom. 0 (an empty rectangle draws
// nothing), -1 for an invalid handle.
int DrawStretchedGraph(int left, int top, int right, int bottom, int graph, int transparent);

// A graph of width x height with its surface made and no pixels written;
// `useTexture` 1 makes its textures at once on the GPU path (0: at its first
// draw; ignored on the software path; it draws the same either way),
// `alphaChannel` gives the graph an alpha channel. -1 while a screen surface
// is locked; running out of graphs or memory ends the program.
int CreateEmptyGraph(int width, int height, int useTexture, int alphaChannel);
// Frees one graph, logging its file name when `logIt` is non-zero. 0, or -1
// for an invalid handle; while a screen surface is locked nothing is freed
// and the result is 0. Freeing the draw target (by any route, a mode change
// included) moves drawing to the whole back buffer.
int FreeGraphHandle(int graph, int logIt);
int FreeAllGraphHandles(int logIt);           // 0
// Registers an int32 that becomes 1 when the graph is freed, and stores 0
// into it now. 0, or -1 for an invalid handle.
int SetGraphDeleteFlag(int graph, int32_t* target);
// The graph's size; TargetFront and TargetBack give the screen's. Null
// outputs are skipped. 0, or -1 for an invalid handle.
int GetGraphDimensions(int graph, int* width, int* height);
// Locks a graph's surface, or a screen surface (TargetFront, TargetWork,
// TargetBack), for direct pixel access. 0; -2 when it was locked already
// (the same pitch and pixels are returned); -1 on failure. A graph needs one
// unlock per lock; a screen surface is released by a single unlock.
int LockGraphSurface(int graph, int* pitch, uint8_t** pixels);
int UnlockGraphSurface(int graph);            // 0, or -1 when not locked

#pragma GCC visibility pop

#endif
