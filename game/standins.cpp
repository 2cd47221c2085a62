// Minimal stand-ins for the rules and drawing of the battlefield, which land
// with the rounds-and-flight work: each does nothing, so the scene loop runs
// and can be driven end to end meanwhile.
#include "game.h"

void LoadRoundImages(int) {}
void BuildTerrainGrid() {}
void SaveProgress() {}
void MovePlayerLeft() {}
void MovePlayerRight() {}
void RaiseBarrel() {}
void LowerBarrel() {}
void CentreViewOnPlayer() {}
void ChargePower() {}
void CheckFireRelease() {}
void StepShell() {}
void AnimateBlast() {}
void DrawBattlefield() {}
