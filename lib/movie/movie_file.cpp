// Playing a movie on the whole screen until it ends.
#include "movie/movie.h"

#include "core/core.h"
#include "draw/draw_state.h"
#include "draw/screen.h"
#include "graphics/graph.h"
#include "tessel/input.h"

#include <algorithm>

namespace {

void DrawWholeScreen(int graph, int width, int height, int scaleMode) {
    ClearDrawTarget();
    int screenWidth = ScreenWidth(), screenHeight = ScreenHeight();
    if (scaleMode == 1) {
        double scale = std::min(double(screenWidth) / width, double(screenHeight) / height);
        DrawRotaGraph(screenWidth / 2, screenHeight / 2, scale, 0.0, graph, 0, 0);
    } else {
        DrawGraph((screenWidth - width) / 2, (screenHeight - height) / 2, graph, 0);
    }
    PresentScreen();
}

}  // namespace

int PlayMovieFile(const char* path, int scaleMode, int cancelable) {
    if (!LibraryRunning() || !gMovie.started || !path) return -1;
    int graph = LoadGraphFile(path);
    MovieRecord* movie = GetGraphMovie(graph);
    if (!movie) {
        if (graph >= 0) FreeGraphHandle(graph, 0);
        return -1;
    }
    int width = movie->info.width, height = movie->info.height;
    int target = gDraw.target;
    SetDrawTarget(TargetBack);
    PlayMovieGraph(graph, 0);
    // Input already held when the movie starts must be let go before a
    // press ends it.
    int armed = 0;
    while (PumpMessages() == 0 && GetMovieGraphState(graph) == 1) {
        int input = CheckAnyInput();
        if (cancelable && armed && input) break;
        armed |= !input;
        DrawWholeScreen(graph, width, height, scaleMode);
    }
    FreeGraphHandle(graph, 0);
    if (LibraryRunning()) SetDrawTarget(target);
    return 0;
}
