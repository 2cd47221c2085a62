// Where graphics meets the movie layer above it: LoadGraphFile opens a file
// no image decoder takes as a movie, freeing a graph closes its movie, and
// drawing a graph first brings its movie's current frame in, through the
// movie hooks the movie layer registers; without them a graph never has a
// movie.
#ifndef TESSEL_GRAPHICS_MOVIE_HOOK_H
#define TESSEL_GRAPHICS_MOVIE_HOOK_H

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
