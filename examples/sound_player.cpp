// Plays the sound files named on the command line (WAVE, Ogg Vorbis or MP3)
// one after another, showing the name of the one playing. Escape ends.
#include <tessel.h>

#include <cstdio>

int main(int argc, char** argv) {
    SetStringEncoding(EncodingUtf8);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
        return 2;
    }
    SetWindowTitle("sound player");
    ChangeWindowMode(1);
    if (InitLibrary() != 0) return 1;
    SetDrawTarget(TargetBack);

    int failed = 0;
    bool quit = false;
    for (int i = 1; i < argc && !quit; ++i) {
        int sound = LoadSoundFile(argv[i]);  // decoded to PCM in memory
        if (sound == -1) {
            std::fprintf(stderr, "%s: not a sound file this library can play\n", argv[i]);
            failed = 1;
            continue;
        }
        std::printf("playing %s\n", argv[i]);
        PlaySoundHandle(sound, 1, 1);  // once, from the start
        int started = GetTickMs(0);
        while (IsSoundPlaying(sound) == 1) {
            quit = PumpMessages() != 0 || IsKeyDown(KeyEscape);
            if (quit) break;
            ClearDrawTarget();
            DrawTextFormat(20, 20, MakeColor(255, 255, 255), "%d/%d  %s", i, argc - 1, argv[i]);
            DrawTextFormat(20, 44, MakeColor(150, 200, 255), "%d ms", GetTickMs(0) - started);
            PresentScreen();
        }
        ReleaseSoundHandle(sound, 0);  // stops it if it is still playing
    }
    EndLibrary();
    return failed;
}
