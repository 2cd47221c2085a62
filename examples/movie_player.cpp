// Plays a movie file (MPEG-1, MPEG-4, H.264, VP8, VP9, Theora...) in the
// window: the picture fitted to the window, its time and a progress bar
// below. Space pauses and resumes, Left and Right jump 5 s, L switches
// looping, Escape ends.
#include <tessel.h>

#include <algorithm>
#include <cstdio>

namespace {

bool Pressed(int key, bool* held) {
    bool down = IsKeyDown(key) == 1, now = down && !*held;
    *held = down;
    return now;
}

}  // namespace

int main(int argc, char** argv) {
    SetStringEncoding(EncodingUtf8);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MOVIE\n", argv[0]);
        return 2;
    }
    SetWindowTitle("movie player");
    ChangeWindowMode(1);
    if (InitLibrary() != 0) return 1;
    SetDrawTarget(TargetBack);

    int movie = LoadGraphFile(argv[1]);  // a file no image decoder takes opens as a movie
    if (movie == -1) {
        std::fprintf(stderr, "%s: not a movie this library can play\n", argv[1]);
        EndLibrary();
        return 1;
    }
    int width = 0, height = 0;
    GetGraphDimensions(movie, &width, &height);
    int loop = 0;
    PlayMovieGraph(movie, loop);

    const int areaW = 640, areaH = 420;
    double scale = std::min(double(areaW) / width, double(areaH) / height);
    bool space = false, left = false, right = false, l = false;
    while (PumpMessages() == 0 && !IsKeyDown(KeyEscape)) {
        int playing = GetMovieGraphState(movie);
        if (Pressed(KeySpace, &space)) playing ? PauseMovieGraph(movie) : PlayMovieGraph(movie, loop);
        if (Pressed(KeyLeft, &left)) SeekMovieGraph(movie, TellMovieGraph(movie) - 5000);
        if (Pressed(KeyRight, &right)) SeekMovieGraph(movie, TellMovieGraph(movie) + 5000);
        if (Pressed(KeyL, &l) && playing) PlayMovieGraph(movie, loop ^= 1);

        ClearDrawTarget();
        DrawRotaGraph(areaW / 2, areaH / 2, scale, 0.0, movie, 0, 0);  // brings the due frame in
        int now = TellMovieGraph(movie), length = std::max(1, GetMovieGraphLength(movie));
        int barX = 20 + 440 * std::min(now, length) / length;
        for (int x = 20; x < 460; x += 4)
            DrawTextString(x, 440, x < barX ? "|" : ".", MakeColor(120, 180, 255), 0);
        DrawTextFormat(480, 440, MakeColor(255, 255, 255), "%d.%d / %d.%d s %s%s", now / 1000,
                       now / 100 % 10, length / 1000, length / 100 % 10,
                       GetMovieGraphState(movie) ? "" : "(paused)", loop ? " loop" : "");
        PresentScreen();
    }
    FreeGraphHandle(movie, 0);  // closes the movie
    EndLibrary();
    return 0;
}
