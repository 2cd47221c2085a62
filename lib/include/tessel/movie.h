// Tessel's public header, the part of movies. Programs include tessel.h, which
// includes every part.
#ifndef TESSEL_PUBLIC_MOVIE_H
#define TESSEL_PUBLIC_MOVIE_H

#include "tessel/core.h"

#pragma GCC visibility push(default)

// ---------------------------------------------------------------------------
// Movies
// ---------------------------------------------------------------------------
// LoadGraphFile opens a file that no image decoder takes as a movie: the
// graph (system memory, no alpha channel) shows its first frame at once and
// plays on the library's clock once started. Each call below returns -1 for
// a graph without a movie or an invalid handle.

int PlayMovieGraph(int graph, int loop);      // start or resume; loop 1 starts over at the end
int PauseMovieGraph(int graph);
int SeekMovieGraph(int graph, int ms);        // to the frame shown at `ms`; the sound follows
int TellMovieGraph(int graph);                // time of the frame shown, in ms
int GetMovieGraphLength(int graph);           // in ms
int GetMovieGraphState(int graph);            // 1 playing, 0 paused or ended
int SetMovieGraphVolume(int graph, int volume);  // 0..255; 255 at first
// Plays a movie on the whole screen and returns when it has ended, pumping
// messages: scaleMode 0 at its own size in the centre, 1 fitted to the
// screen keeping its aspect. With `cancelable`, any key or mouse button ends
// it; closing the window ends it at once. 0, or -1 when it cannot be opened.
int PlayMovieFile(const char* path, int scaleMode, int cancelable);

#pragma GCC visibility pop

#endif
