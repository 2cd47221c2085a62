// One frame of the battlefield and its HUD.
#include "game.h"

#include "tessel.h"

namespace {

constexpr double kPi = 3.141592653589793;

}  // namespace

void DrawBattlefield() {
    const GameState& g = gGame;
    const GameAssets& a = gAssets;
    ClearDrawTarget();
    DrawGraphPart(0, 0, g.viewX / 3, g.viewY / 3, 640, 480, a.background, 0, 0);
    DrawGraphPart(0, 0, g.viewX, g.viewY, 640, 480, a.terrain, 0, 0);

    double barrel = g.barrelAngle * kPi / 180;
    if (g.facing == a.playerRight)
        DrawRotaGraph(g.playerX - g.viewX, g.playerY - g.viewY, 1.0, -barrel, a.playerRight, 0, 0);
    if (g.facing == a.playerLeft)
        DrawRotaGraph(g.playerX - g.viewX, g.playerY - g.viewY, 1.0, barrel, a.playerLeft, 0, 0);

    DrawGraph(g.baseX - g.viewX - 25, g.baseY - g.viewY - 25, a.base, 0);
    if (g.blastFrame == 0 || g.inFlight == 1)
        DrawGraph(g.shellX - g.viewX - 6, g.shellY - g.viewY - 6, a.missile, 0);

    DrawGraphPart(174, 444, 320 - g.powerBarWidth, 0, 320, 10, a.powerGraph, 0, 0);
    DrawGraph(289, 460, a.windBackground, 0);
    int d = g.wind - 34;
    if (d > 0) DrawGraphPart(358 - g.wind, 460, 0, 0, d, 10, a.windGraph, 0, 0);
    if (d < 0) DrawGraphPart(325, 460, 0, 0, -d, 10, a.windGraph, 0, 0);
    DrawGraph(0, 430, a.menu, 0);

    DrawTextFormat(365, 460, g.textColour, "%d", g.wind - 34);
    DrawTextFormat(497, 443, g.textColour, "%02d", g.power);
    DrawTextFormat(600, 443, g.textColour, "%d", g.baseLife);
    DrawTextFormat(200, 460, g.textColour, "%02d", g.barrelAngle);
    DrawTextFormat(80, 444, g.textColour, "%05d", g.score);
    DrawTextFormat(497, 460, g.textColour, "%d", g.charges);
}
