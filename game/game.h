// Ballistor: the game's one state record, its assets and its operations.
#ifndef BALLISTOR_GAME_H
#define BALLISTOR_GAME_H

#include <cstdint>

constexpr int GridColumns = 401;  // world x / 4
constexpr int GridRows = 241;     // world y / 4

// Cell codes: 0 empty, 1 terrain, 2 base; indexed [column][row].
using TerrainGrid = int32_t[GridColumns][GridRows];

struct GameState {
    int32_t viewX, viewY;          // view origin in world pixels, 0..960 and 0..480
    int32_t shellX, shellY;        // shell position; the cannon's while aiming
    int32_t powerBarWidth;         // filled part of the power gauge, 0..320
    int32_t score;                 // never reset while the program runs
    int32_t barrelAngle;           // degrees above the horizontal, 0..90
    int32_t power;                 // charge steps of the current shot, 0..39
    int32_t flightTick;            // flight steps since launch; -1 before launch
    uint8_t inFlight;              // a shot is flying or exploding
    uint8_t baseHit;               // the current shot struck the base
    int32_t blastFrame;            // 0 no blast; 1..6 the blast frame to draw next
    uint8_t windRising;            // the wind drifts upward after each shot
    uint8_t roundPending;          // the scene loop must run StartRound
    uint8_t titlePending;          // the scene loop must run the title screen
    uint8_t spaceReleased;         // Space was seen up since the round began
    int32_t mouseX, mouseY;        // last mouse position read, client pixels
    int32_t scrollStep;            // pixels per edge-scroll step
    int32_t charges;               // shots left in the round
    int32_t baseX, baseY;          // centre of the enemy base, world pixels
    int32_t baseLife;              // life points of the base
    int32_t playerX, playerY;      // pivot of the cannon, world pixels
    int32_t round;                 // current round, from 1
    uint32_t textColour;           // white in the screen's format
    int32_t facing;                // the cannon graph in use
    int32_t wind;                  // 0..70; 34 is calm
    TerrainGrid terrainGrid;       // rebuilt at every round start
    int32_t lastScroll, lastCharge, lastMove, lastAngle, lastFlight;  // clock readings
};

struct GameAssets {
    int32_t windBackground, menu, powerGraph, playerLeft, playerRight, missile, windGraph,
        blast, base;                               // graphs
    int32_t explosionSound, dischargeSound, moveSound;  // sounds
    int32_t background, terrain, terrainData;     // graphs, replaced by each round
    int32_t music;                                 // sound
};

extern GameState gGame;
extern GameAssets gAssets;

// scene.cpp: entry, scenes and the two loops.
int GameMain();
int RunTitleScreen();
// LoadGraphFile and LoadSoundFile that name the first file missing on
// standard error; the handle is -1 then, as the game goes on without it.
int LoadGameGraph(const char* file);
int LoadGameSound(const char* file);
// Draws `text` as it stands, centred on the screen's middle column.
void DrawCentred(int y, const char* text);
void StartRound();
void RunAimingPass();
void RunFlightPass();

// round.cpp: rounds, terrain grid and progress.
// The cell code at [column][row]; cells outside the grid count as empty.
int GridCell(int column, int row);
void LoadRoundImages(int round);
void BuildTerrainGrid();
int ReadProgress();
void SaveProgress();

// cannon.cpp
void MovePlayerLeft();
void MovePlayerRight();
void RaiseBarrel();
void LowerBarrel();
void CentreViewOnPlayer();
void ChargePower();
void CheckFireRelease();

// shell.cpp
struct ShellPosition {
    int32_t x, y;
};
// Where the current shot's shell is at flight step t, from the launch point.
ShellPosition ShellPositionAt(int t);
void StepShell();
void AnimateBlast();
void EndShot();
void ShowGameOver();

// battlefield.cpp
void DrawBattlefield();

#endif
