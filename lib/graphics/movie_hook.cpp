// Graphs that play a movie, as far as graphics knows of them.
#include "graphics/movie_hook.h"

#include "core/core.h"
#include "graphics/graph.h"
#include "graphics/image.h"

#include <cstdio>

namespace {

const SubsystemHooks& Movies() { return gCore.hooks.slots[HookMovies]; }

void LogLoadFailure(const char* path) {
    char text[MaxPathLength * 2 + 128];
    std::snprintf(text, sizeof text, SJIS("右記のグラフィックファイルのロードに失敗しました：%s \n"),
                  path);
    LogFailure(text);
}

}  // namespace

int LoadMovieGraph(const char* path) {
    const SubsystemHooks& movies = Movies();
    int width = 0, height = 0;
    int movie = movies.openMovie && !HasImageSignature(path)
                    ? movies.openMovie(path, &width, &height)
                    : -1;
    if (movie < 0) {
        LogLoadFailure(path);
        return -1;
    }
    int graph = CreateMovieGraph(width, height);
    if (graph < 0) {
        movies.closeMovie(movie);
        LogFailureFormat(SJIS("右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s"),
                       path);
        return -1;
    }
    GetGraphRecord(graph)->movie = movie;
    movies.attachMovie(movie, graph);
    return graph;
}

void CloseGraphMovie(int graph) {
    GraphRecord* record = GetGraphRecord(graph);
    if (!record || record->movie < 0) return;
    int movie = record->movie;
    record->movie = -1;
    if (Movies().closeMovie) Movies().closeMovie(movie);
}

void BringGraphMovieFrame(int graph) {
    GraphRecord* record = GetGraphRecord(graph);
    if (record && record->movie >= 0 && Movies().bringMovieFrame)
        Movies().bringMovieFrame(record->movie);
}
