// Start-up, the scene loop, the title and round screens and the two loops.
#include "game.h"

#include "tessel.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr int KeyHeld = 1;

// Taken before InitLibrary seeds the generator, so a run starts with the
// wind sinking; kept that way on purpose to match recorded runs.
GameState InitialGameState() {
    GameState s{};
    s.viewX = 640;
    s.viewY = 480;
    s.shellX = 25;
    s.shellY = 370;
    s.barrelAngle = 25;
    s.flightTick = -1;
    s.windRising = RandomUpTo(1) != 0;
    s.roundPending = 1;
    s.titlePending = 1;
    s.spaceReleased = 1;  // no round yet, so no press left over from its start
    s.mouseX = 320;
    s.mouseY = 240;
    s.scrollStep = 10;
    s.charges = 20;
    s.baseX = 1440;
    s.baseY = 885;
    s.baseLife = 100;
    s.playerX = 800;
    s.playerY = 890;
    s.round = 1;
    s.textColour = MakeColor(255, 255, 255);
    return s;
}

int lastDraw;  // clock reading of the last frame drawn
int missingReported;  // a file that failed to load was named on the terminal

// A game started outside its folder shows a black screen; the log says why,
// but nobody looks there first, so the first missing file is also named on
// the terminal, once. (A sound also fails without a sound device: only a
// file that is not there is named.)
int NoteMissing(int handle, const char* file) {
    if (handle != -1 || missingReported) return handle;
    const FileAccessFunctions* files = GetFileAccessFunctions();
    if (void* opened = files->open(file, 0, 1)) {
        files->close(opened);
        return handle;
    }
    missingReported = 1;
    std::error_code error;
    std::string folder = std::filesystem::current_path(error).string();
    std::fprintf(stderr,
                 "ballistor: cannot load \"%s\" in the working folder \"%s\"; start the game "
                 "in the folder that holds its data (build/run)\n",
                 file, folder.c_str());
    return handle;
}

void LoadAssets() {
    GameAssets& a = gAssets;
    a.windBackground = LoadGameGraph("data\\WindBackground.bmp");
    a.menu = LoadGameGraph("data\\menu.png");
    a.powerGraph = LoadGameGraph("data\\PowerGraph.bmp");
    a.playerLeft = LoadGameGraph("data\\PlayerGraphLeft.png");
    a.playerRight = LoadGameGraph("data\\PlayerGraphRight.png");
    a.missile = LoadGameGraph("data\\Missile.bmp");
    a.windGraph = LoadGameGraph("data\\WindGraph.bmp");
    a.blast = LoadGameGraph("data\\Blast.png");
    a.base = LoadGameGraph("data\\Base.bmp");
    a.explosionSound = LoadGameSound("wav\\ExplosionSound.wav");
    a.dischargeSound = LoadGameSound("wav\\DischargeSound.wav");
    a.moveSound = LoadGameSound("wav\\MoveSound.wav");
    a.background = LoadGameGraph("Background\\R101.png");
    a.terrain = LoadGameGraph("Round\\Obstacle.bmp");
    a.terrainData = LoadGameGraph("Round\\ObstacleData.BMP");
    a.music = LoadGameSound("wav\\Music01.wav");
    gGame.facing = a.playerLeft;
}

}  // namespace

int LoadGameGraph(const char* file) { return NoteMissing(LoadGraphFile(file), file); }
int LoadGameSound(const char* file) { return NoteMissing(LoadSoundFile(file), file); }

void DrawCentred(int y, const char* text) {
    int w = MeasureTextWidth("%s", text);
    DrawTextString(320 - w / 2, y, text, MakeColor(255, 255, 255), 0);
}

GameState gGame = InitialGameState();
GameAssets gAssets;

int GameMain() {
    // The window class stays "Tessel", by which a second copy is found.
    SetWindowTitle("Ballistor");
    SetWindowIcon("data\\Icon.png");
    SetLogEnabled(1);
    SetScreenMode(640, 480, 16, -1);
    if (InitLibrary() == -1) return -1;
    SetDrawTarget(TargetBack);
    lastDraw = GetTickMs(0);
    LoadAssets();
    SetMouseVisible(1);
    WaitMs(1);
    PlaySoundHandle(gAssets.music, PlayLoop, 1);

    while (PumpMessages() == 0) {
        if (gGame.titlePending == 1) {
            gGame.round = 1;
            gGame.titlePending = 0;
            gGame.roundPending = 1;
            if (RunTitleScreen() == -1) break;
        }
        if (gGame.roundPending == 1) StartRound();
        while (gGame.inFlight == 0) {
            if (PumpMessages() == -1) break;
            RunAimingPass();
            if (IsKeyDown(KeyEscape)) break;
        }
        while (gGame.inFlight == 1) {
            if (PumpMessages() == -1) break;
            RunFlightPass();
            if (IsKeyDown(KeyEscape)) break;
        }
        if (IsKeyDown(KeyEscape)) break;
    }
    EndLibrary();
    return 0;
}

int RunTitleScreen() {
    int maxRound = ReadProgress();
    int logo = LoadGameGraph("data\\Ballistor.png");
    int title = LoadGameGraph("data\\Title.png");
    int tare = LoadGameGraph("data\\tare.bmp");
    SetDefaultFontSize(16);
    SetDefaultFontThickness(8);

    unsigned char keys[256] = {};
    while (PumpMessages() == 0) {
        ClearDrawTarget();
        DrawRotaGraph(320, 100, 1.0, 0.0, logo, 0, 0);
        DrawRotaGraph(320, 160, 1.0, 0.0, title, 0, 0);
        DrawRotaGraph(320, 200, 1.0, 0.0, tare, 0, 0);
        int w = MeasureTextWidth("ROUND SELECT");
        int left = 310 - w / 2;
        DrawTextString(left - 10, 300, "ROUND SELECT", MakeColor(255, 255, 255), 0);
        DrawTextFormat(left + 120, 300, MakeColor(255, 255, 255), "%02d", gGame.round);
        DrawCentred(350, "PUSH SPACE.IT START");
        DrawCentred(380, "PUSH ESC.IT EXIT");
        PresentScreen();
        GetKeyboardSnapshot(keys);
        if (keys[KeyUp] == KeyHeld) {
            gGame.round += 1;
            if (gGame.round > maxRound) gGame.round = maxRound;
            WaitMs(100);
        }
        if (keys[KeyDown] == KeyHeld) {
            gGame.round -= 1;
            if (gGame.round < 1) gGame.round = 1;
            WaitMs(100);
        }
        if (keys[KeySpace] == KeyHeld || keys[KeyEscape] == KeyHeld) break;
    }
    // The title's pictures are loaded afresh on every visit.
    FreeGraphHandle(logo, 0);
    FreeGraphHandle(title, 0);
    FreeGraphHandle(tare, 0);
    if (keys[KeyEscape] == KeyHeld) return -1;
    return keys[KeySpace] == KeyHeld ? 0 : -1;
}

void StartRound() {
    SetDefaultFontSize(36);
    SetDefaultFontThickness(4);
    ClearDrawTarget();
    gGame.textColour = MakeColor(255, 255, 255);
    DrawTextFormat(250, 230, gGame.textColour, "ROUND\x81\x40%d", gGame.round);
    SetDefaultFontSize(24);
    DrawTextString(420, 400, "...NOW LOADING", gGame.textColour, 0);
    PresentScreen();

    gGame.powerBarWidth = 0;
    gGame.power = 0;
    gGame.wind = RandomUpTo(70);
    gGame.flightTick = -1;
    gGame.charges = 20;
    gGame.baseLife = 100;
    LoadRoundImages(gGame.round);
    BuildTerrainGrid();
    CentreViewOnPlayer();
    gGame.roundPending = 0;
    gGame.spaceReleased = 0;
    gGame.shellX = gGame.playerX;
    gGame.shellY = gGame.playerY;
    SetDefaultFontSize(12);
    SetDefaultFontThickness(2);
}

void RunAimingPass() {
    GameState& g = gGame;
    // A snapshot that fails leaves every key up, never stray bytes.
    unsigned char keys[256] = {};
    GetKeyboardSnapshot(keys);
    int now = GetTickMs(0);
    // The press that started the round from the title may still be held:
    // Space charges only once it has been seen released since.
    if (keys[KeySpace] != KeyHeld) g.spaceReleased = 1;
    bool spaceHeld = g.spaceReleased && keys[KeySpace] == KeyHeld;

    if (now > g.lastScroll + 10 && !spaceHeld) {
        GetMousePosition(&g.mouseX, &g.mouseY);
        if (g.mouseX <= 20) g.viewX = std::max(g.viewX - g.scrollStep, 0);
        if (g.mouseX >= 620) g.viewX = std::min(g.viewX + g.scrollStep, 960);
        if (g.mouseY <= 20) g.viewY = std::max(g.viewY - g.scrollStep, 0);
        if (g.mouseY >= 460) g.viewY = std::min(g.viewY + g.scrollStep, 480);
        g.lastScroll = GetTickMs(0);
    }
    if (now > g.lastCharge + 60) {
        if (spaceHeld) ChargePower();
        g.lastCharge = GetTickMs(0);
    }
    if (g.power > 0) CheckFireRelease();
    if (now > g.lastMove + 10) {
        if (keys[KeyLeft] == KeyHeld) {
            MovePlayerLeft();
            g.lastMove = GetTickMs(0);
        }
        if (keys[KeyRight] == KeyHeld) {
            MovePlayerRight();
            g.lastMove = GetTickMs(0);
        }
    }
    if (now > g.lastAngle + 30) {
        if (keys[KeyUp] == KeyHeld) {
            RaiseBarrel();
            g.lastAngle = GetTickMs(0);
        }
        if (keys[KeyDown] == KeyHeld) {
            LowerBarrel();
            g.lastAngle = GetTickMs(0);
        }
    }
    if (now > lastDraw + 5) {
        DrawBattlefield();
        PresentScreen();
        lastDraw = GetTickMs(0);
    }
}

void RunFlightPass() {
    GameState& g = gGame;
    int now = GetTickMs(0);
    if (now > g.lastFlight + 15) {
        if (g.blastFrame == 0) StepShell();
        g.lastFlight = GetTickMs(0);
    }
    if (now > lastDraw + 10) {
        DrawBattlefield();
        if (g.blastFrame >= 1) AnimateBlast();
        PresentScreen();
        lastDraw = GetTickMs(0);
    }
}
