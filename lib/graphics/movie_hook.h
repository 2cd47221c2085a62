// Where graphics meets the movie layer above it: LoadGraphFile opens a file
// no image decoder takes as a movie, freeing a graph closes its movie, and
// drawing a graph first brings its movie's current frame in. The movie layer
// installs these at its start and removes them at its end; without them a
// graph never has a movie.
#ifndef TESSEL_GRAPHICS_MOVIE_HOOK_H
#define TESSEL_GRAPHICS_MOVIE_HOOK_H

struct GraphMovieHooks {
    // Opens `path` as a movie: its handle with the picture's size, or -1.
    int (*open)(const char* path, int* width, int* height);
    // The movie now plays into `graph`, which shows its first frame at once.
    void (*attach)(int movie, int graph);
    void (*close)(int movie);
    // Brings the frame due now into the movie's graph.
    void (*bringFrame)(int movie);
};

// Installs a copy of `hooks`; null removes them.
void SetGraphMovieHooks(const GraphMovieHooks* hooks);

// LoadGraphFile's movie step for a file that exists and did not decode: the
// graph (system memory, no alpha channel, the screen's depth) or -1, with
// the failure logged. A file with an image format's signature is a damaged
// image and never opens as a movie.
int LoadMovieGraph(const char* path);
// Closes the movie of `graph`, if it has one.
void CloseGraphMovie(int graph);
// Brings the current frame of the graph's movie in, if it has one.
void BringGraphMovieFrame(int graph);

#endif
