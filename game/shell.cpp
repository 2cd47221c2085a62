// The shell's flight, hits, the blast, the end of a shot and the end screens.
#include "game.h"

#include "tessel.h"

#include <algorithm>
#include <cmath>

namespace {

// The path's constants: the text's arithmetic with these exact types puts
// shots at 0 and 90 degrees where the rules expect them.
constexpr double kPi = 3.141592653589793;
constexpr double kSpeedFactor = 0.1;
constexpr long double kDegree = 1.0L / 180;

void FollowShell() {
    gGame.viewX = std::clamp(gGame.shellX - 320, 0, 960);
    gGame.viewY = std::clamp(gGame.shellY - 240, 0, 480);
}

void GameOverTest() {
    if (gGame.charges < 1 && gGame.baseLife > 0) ShowGameOver();
}

// A modal screen over what the back buffer holds: draw, show, wait.
void ShowAndWait() {
    PresentScreen();
    WaitForKey();
}

void ClearRound() {
    GameState& g = gGame;
    SetDefaultFontSize(36);
    SetDefaultFontThickness(4);
    DrawTextString(210, 200, "ROUND CLEAR", g.textColour, 0);
    ShowAndWait();
    g.score += g.charges * 100;
    DrawTextString(210, 200, "ROUND CLEAR", g.textColour, 0);
    DrawTextFormat(90, 250, g.textColour, "Remain Charge Bonus\x81\x40%d", g.charges * 100);
    ShowAndWait();
    g.round += 1;
    g.roundPending = 1;
    if (g.round == 15) {
        DrawTextString(180, 180, "Congratulations!", g.textColour, 0);
        DrawTextFormat(220, 220, g.textColour, "Score\x81\x40%d", g.score);
        ShowAndWait();
        g.titlePending = 1;
        g.inFlight = 0;
        SaveProgress();
    }
}

}  // namespace

ShellPosition ShellPositionAt(int t) {
    const GameState& g = gGame;
    long double theta = 0;
    if (g.facing == gAssets.playerLeft)
        theta = (180 - g.barrelAngle) * static_cast<long double>(kPi) * kDegree;
    else if (g.facing == gAssets.playerRight)
        theta = g.barrelAngle * static_cast<long double>(kPi) * kDegree;
    int32_t v = 4 * g.power;
    int32_t drift = (g.wind - 34) * t * t / 1920;
    int32_t fall = t * t / 20;
    long double along = static_cast<long double>(std::cos(static_cast<double>(theta))) * v * t *
                        static_cast<long double>(kSpeedFactor);
    long double up = static_cast<long double>(std::sin(static_cast<double>(theta))) * v * t *
                     static_cast<long double>(kSpeedFactor);
    ShellPosition p;
    p.x = static_cast<int32_t>(along + g.playerX - drift);
    p.y = static_cast<int32_t>(g.playerY - (up - fall));
    return p;
}

void StepShell() {
    GameState& g = gGame;
    g.flightTick += 1;
    ShellPosition p = ShellPositionAt(g.flightTick);
    g.shellX = p.x;
    g.shellY = p.y;
    if (g.shellX > 0 && g.shellX < 1600 && g.shellY > 0 && g.shellY < 960) {
        int cell = GridCell(g.shellX / 4, g.shellY / 4);
        if (cell == 1) g.blastFrame += 1;
        if (cell == 2) {
            g.baseHit = 1;
            g.blastFrame += 1;
        }
    }
    if (g.shellY > 960) {
        EndShot();
        GameOverTest();
    }
    FollowShell();
}

void AnimateBlast() {
    GameState& g = gGame;
    if (IsSoundPlaying(gAssets.explosionSound) == 0) PlaySoundHandle(gAssets.explosionSound, PlayBackground, 1);
    DrawGraphPart(g.shellX - g.viewX - 48, g.shellY - g.viewY - 48, 96 * g.blastFrame, 0, 96, 96,
                  gAssets.blast, 0, 0);
    g.blastFrame += 1;
    if (g.blastFrame > 6) {
        if (g.baseHit == 1) {
            g.baseLife -= 10;
            g.score += 10;
            if (g.baseLife < 1) ClearRound();
        }
        EndShot();
    }
    GameOverTest();
}

void EndShot() {
    GameState& g = gGame;
    SaveProgress();
    g.charges -= 1;
    g.shellX = g.playerX;
    g.shellY = g.playerY;
    g.baseHit = 0;
    g.blastFrame = 0;
    g.inFlight = 0;
    g.flightTick = -1;
    g.power = 0;
    if (RandomUpTo(5) == 1) g.windRising = !g.windRising;
    if (g.windRising == 1)
        g.wind += RandomUpTo(6) + 1;
    else
        g.wind -= RandomUpTo(6) + 1;
    if (g.wind > 68) g.wind = 69;
    if (g.wind < 1) g.wind = 0;
}

void ShowGameOver() {
    GameState& g = gGame;
    SetDefaultFontSize(36);
    SetDefaultFontThickness(4);
    DrawTextString(200, 150, "CHARGE EMPTY", g.textColour, 0);
    DrawTextString(225, 240, "GAME OVER", g.textColour, 0);
    ShowAndWait();
    g.titlePending = 1;
    SetDefaultFontSize(12);
    SetDefaultFontThickness(2);
    g.inFlight = 0;
    g.blastFrame = 0;
    // A game over can cut a blast short; its hit must not carry into the
    // next round's first blast.
    g.baseHit = 0;
}
