// Driving the cannon, aiming it, and charging and firing a shot.
#include "game.h"

#include "tessel.h"

#include <algorithm>

namespace {

// Ground ahead two columns out and three rows down, and no terrain two
// columns out on the cannon's own row (the base does not block).
bool MayMove(int direction) {
    int c = gGame.playerX / 4;
    int r = gGame.playerY / 4;
    return GridCell(c + 2 * direction, r + 3) != 0 && GridCell(c + 2 * direction, r) != 1;
}

void Move(int direction) {
    GameState& g = gGame;
    g.facing = direction < 0 ? gAssets.playerLeft : gAssets.playerRight;
    if (MayMove(direction)) {
        g.playerX += direction;
        CentreViewOnPlayer();
        if (IsSoundPlaying(gAssets.moveSound) == 0) PlaySoundHandle(gAssets.moveSound, PlayBackground, 1);
    }
    g.playerX = std::clamp(g.playerX, 0, 1600);
    g.shellX = g.playerX;
    g.shellY = g.playerY;
}

}  // namespace

void MovePlayerLeft() { Move(-1); }
void MovePlayerRight() { Move(1); }

void RaiseBarrel() { gGame.barrelAngle = std::min(gGame.barrelAngle + 1, 90); }
void LowerBarrel() { gGame.barrelAngle = std::max(gGame.barrelAngle - 1, 0); }

void CentreViewOnPlayer() {
    gGame.viewX = std::clamp(gGame.playerX - 320, 0, 960);
    gGame.viewY = std::clamp(gGame.playerY - 240, 0, 480);
}

void ChargePower() {
    GameState& g = gGame;
    CentreViewOnPlayer();
    g.power += 1;
    if (g.power > 39) {
        g.power = 39;
        g.inFlight = 1;
        g.charges -= 1;
        PlaySoundHandle(gAssets.dischargeSound, PlayBackground, 1);
    }
}

void CheckFireRelease() {
    GameState& g = gGame;
    if (IsKeyDown(KeySpace) == 0) {
        g.inFlight = 1;
        PlaySoundHandle(gAssets.dischargeSound, PlayBackground, 1);
    }
    g.powerBarWidth = g.power * 320 / 39;
}
