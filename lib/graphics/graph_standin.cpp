// Graph loading and blitting land with the graphics work; until then no
// graph can be made, so every handle is invalid and drawing reports it.
#include "tessel.h"

int LoadGraphFile(const char*) { return -1; }
int DrawGraph(int, int, int, int) { return -1; }
int DrawGraphPart(int, int, int, int, int, int, int, int, int) { return -1; }
int DrawRotaGraph(int, int, double, double, int, int, int) { return -1; }
