// Movies played into graphs on the headless platform. The clips are made by
// the ffmpeg command at test time: 2 s at 25 fps, 96 x 64, each frame showing
// its own index as six black or white bands (bit 0 on the left), with a
// 440 Hz tone. On the virtual clock frame k must show from exactly k / 25 s.
#include "graphics/graph.h"
#include "platform/device/headless/state.h"
#include "platform/pixels/surface.h"
#include "support/harness.h"
#include "support/sound_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>

namespace {

constexpr int Fps = 25, Frames = 50, Width = 96, Height = 64;

struct Clip {
    const char* file;
    const char* codecs;
};

const Clip Clips[] = {
    {"clip.mpg", "-c:v mpeg1video -q:v 2 -c:a mp2"},
    {"clip.avi", "-c:v mpeg4 -q:v 2 -c:a mp2"},
    {"clip.mp4", "-c:v libx264 -crf 10 -preset ultrafast -c:a aac"},
    {"vp8.webm", "-c:v libvpx -crf 4 -b:v 1M -c:a libvorbis"},
    {"vp9.webm", "-c:v libvpx-vp9 -crf 10 -b:v 0 -c:a libopus"},
    {"clip.ogv", "-c:v libtheora -q:v 9 -c:a libvorbis"},
};

void PrintTo(const Clip& clip, std::ostream* out) { *out << clip.file; }

bool MakeClip(const Clip& clip, double seconds = 2) {
    std::string bands =
        "geq=lum='if(bitand(floor(N/pow(2\\,floor(X*6/W)))\\,1)\\,235\\,16)':cb=128:cr=128";
    char command[1024];
    std::snprintf(command, sizeof command,
                  "ffmpeg -v error -y -f lavfi -i color=c=black:s=%dx%d:r=%d,format=yuv420p,%s "
                  "-f lavfi -i sine=frequency=440:sample_rate=44100 %s -t %g %s",
                  Width, Height, Fps, ("\"" + bands + "\"").c_str(), clip.codecs, seconds,
                  clip.file);
    return RunQuiet(command);
}

// The green level of a graph's pixel, widened to 0..255.
int Green(int graph, int x, int y) {
    GraphRecord* record = GetGraphRecord(graph);
    const ColorFormat& f =
        GetSurfaceDataRecord(GetBmpDataRecord(record->pieces[0])->surface)->surface->format;
    int pitch = 0;
    uint8_t* pixels = nullptr;
    if (LockGraphSurface(graph, &pitch, &pixels) != 0) return -1;
    uint32_t pixel = 0;
    std::memcpy(&pixel, pixels + y * pitch + x * f.bytesPerPixel, f.bytesPerPixel);
    UnlockGraphSurface(graph);
    return int(((pixel & f.greenMask) >> f.greenShift) * 255 / ((1u << f.greenBits) - 1));
}

// The index the graph's bands show.
int ShownFrame(int graph) {
    int index = 0;
    for (int band = 0; band < 6; ++band)
        index |= (Green(graph, band * 16 + 8, Height / 2) > 127) << band;
    return index;
}

// 10 ms windows of the output whose level shows the tone.
int LoudWindows(const std::string& file) {
    PcmData pcm = ReadPcmWave(ReadFile(file));
    EXPECT_GT(pcm.rate, 0) << "no sound output in " << file;
    std::vector<int16_t> samples = FromSamples16(pcm.data);
    size_t window = static_cast<size_t>(pcm.rate / 100 * pcm.channels);
    int loud = 0;
    for (size_t at = 0; window && at + window <= samples.size(); at += window) {
        double sum = 0;
        for (size_t i = at; i < at + window; ++i) sum += double(samples[i]) * samples[i];
        loud += std::sqrt(sum / double(window)) > 1000;
    }
    return loud;
}

class Movie : public ::testing::TestWithParam<Clip> {
protected:
    ScratchDir dir;

    void SetUp() override {
        if (!HaveTools({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is not installed";
    }
    void TearDown() override {
        EndLibrary();
        unsetenv("TESSEL_AUDIO_OUT");
    }
};

// The expected picture follows a model clock: movie time runs while playing,
// stops at the end unless looping, and the frame is floor(t * fps). Every
// read of the virtual clock moves it on a little, so the model keeps each
// time as the span between the reads before and after the call; the picture
// must be the frame of some time in that span.
struct ModelClock {
    struct Span {
        int64_t lo, hi;
    };
    Span start{0, 0}, paused{0, 0};
    bool playing = false, looping = false;
    int64_t heardUs = 0, since = 0;

    Span Time(Span now) const {
        return playing ? Span{now.lo - start.hi, now.hi - start.lo} : paused;
    }
    static int Frame(int64_t t, bool loop) {
        return loop ? int(t % 2000000 * Fps / 1000000) : std::min<int>(int(t * Fps / 1000000), Frames - 1);
    }
};

template <typename Call>
ModelClock::Span Around(Call call) {
    int64_t lo = GetTickUs(0);
    call();
    return {lo, GetTickUs(0)};
}

TEST_P(Movie, ShowsTheFrameDueAcrossPlayPauseSeekAndLoop) {
    const Clip& clip = GetParam();
    ASSERT_TRUE(MakeClip(clip));
    UseHeadless();
    setenv("TESSEL_AUDIO_OUT", "out.wav", 1);
    ASSERT_EQ(InitLibrary(), 0);
    int graph = LoadGraphFile(clip.file);
    ASSERT_GE(graph, 0);
    int width = 0, height = 0;
    GetGraphDimensions(graph, &width, &height);
    EXPECT_EQ(width, Width);
    EXPECT_EQ(height, Height);
    EXPECT_EQ(ShownFrame(graph), 0);
    EXPECT_EQ(GetMovieGraphState(graph), 0);

    ModelClock m;
    auto play = [&](int loop) {
        if (m.paused.lo >= 2000000) m.paused = {0, 0};
        auto now = Around([&] { ASSERT_EQ(PlayMovieGraph(graph, loop), 0); });
        m.start = {now.lo - m.paused.hi, now.hi - m.paused.lo};
        m.since = now.lo;
        m.playing = true;
        m.looping = loop;
    };
    auto pause = [&] {
        auto now = Around([&] { ASSERT_EQ(PauseMovieGraph(graph), 0); });
        m.paused = m.Time(now);
        m.heardUs += now.lo - m.since;
        m.playing = false;
    };
    auto check = [&](const char* step) {
        int shown = 0, told = 0, state = 0;
        auto t = m.Time(Around([&] {
            shown = ShownFrame(graph);
            told = TellMovieGraph(graph);
            state = GetMovieGraphState(graph);
        }));
        t.lo -= 100;  // the last look of the pump came just before
        if (m.playing && !m.looping && t.lo >= 2000000) {
            m.heardUs += m.start.lo + 2000000 - m.since;
            m.paused = t = {2000000, 2000000};
            m.playing = false;
        }
        int early = ModelClock::Frame(t.lo, m.looping), late = ModelClock::Frame(t.hi, m.looping);
        SCOPED_TRACE(std::string(step) + " at movie time " + std::to_string(t.lo) + ".." +
                     std::to_string(t.hi) + " us");
        EXPECT_TRUE(shown == early || shown == late) << "frame " << shown;
        EXPECT_TRUE(told == early * 1000 / Fps || told == late * 1000 / Fps) << "told " << told;
        EXPECT_EQ(state, m.playing ? 1 : 0);
    };

    play(0);
    for (int ms : {1, 39, 1, 333, 480}) {
        WaitMs(ms);
        check("play");
    }
    pause();
    WaitMs(300);
    check("pause");
    play(0);
    WaitMs(217);
    check("resume");
    auto now = Around([&] { ASSERT_EQ(SeekMovieGraph(graph, 1500), 0); });
    m.start = {now.lo - 1500000, now.hi - 1500000};
    check("seek");
    WaitMs(100);
    check("after seek");
    WaitMs(600);
    check("end");
    EXPECT_EQ(GetMovieGraphLength(graph), 2000);
    play(1);
    for (int ms : {700, 1650, 400}) {
        WaitMs(ms);
        check("loop");
    }
    pause();
    EndLibrary();
    // The tone sounds while the movie plays and not while it is paused.
    EXPECT_NEAR(LoudWindows("out.wav"), m.heardUs / 10000, 20);
}

std::string ClipName(const ::testing::TestParamInfo<Clip>& info) {
    std::string name = info.param.file;
    for (char& c : name) c = std::isalnum(uint8_t(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Clips, Movie, ::testing::ValuesIn(Clips), ClipName);

// Every frame is found from either side, the last 100 ms and times past the
// end show the last frame, and every loop round and replay starts at the
// first; also in MPEG program and transport streams, which keep no index and
// whose time stamps after a seek are the demuxer's guesses.
using Seek = Movie;

TEST_P(Seek, FindsEveryFrameAndStartsEveryRoundAtTheFirst) {
    ASSERT_TRUE(MakeClip(GetParam()));
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    int graph = LoadGraphFile(GetParam().file);
    ASSERT_GE(graph, 0);
    auto seek = [&](int ms) {
        int frame = std::min(ms * Fps / 1000, Frames - 1);
        SCOPED_TRACE("seek to " + std::to_string(ms) + " ms");
        ASSERT_EQ(SeekMovieGraph(graph, ms), 0);
        EXPECT_EQ(ShownFrame(graph), frame);
        EXPECT_EQ(TellMovieGraph(graph), frame * 1000 / Fps);
    };
    for (int ms : {100000, 2500, 1999, 1950, 1901}) seek(ms);
    for (int i = 0; i < 2 * Frames; ++i) seek((i < Frames ? Frames - 1 - i : i - Frames) * 40 + 20);
    EXPECT_EQ(GetMovieGraphLength(graph), 2000);
    // Frame 5 shows from 200 ms into a round to 240: in the second and third
    // rounds, and after a replay from the end.
    seek(0);
    ASSERT_EQ(PlayMovieGraph(graph, 1), 0);
    WaitMs(2220);
    EXPECT_EQ(ShownFrame(graph), 5) << "second round";
    WaitMs(2000);
    EXPECT_EQ(ShownFrame(graph), 5) << "third round";
    ASSERT_EQ(PlayMovieGraph(graph, 0), 0);  // the third round is the last
    WaitMs(2000);
    EXPECT_EQ(ShownFrame(graph), Frames - 1);
    ASSERT_EQ(PlayMovieGraph(graph, 0), 0);
    WaitMs(220);
    EXPECT_EQ(ShownFrame(graph), 5) << "replay";
}

INSTANTIATE_TEST_SUITE_P(Clips, Seek, ::testing::ValuesIn(Clips), ClipName);
INSTANTIATE_TEST_SUITE_P(
    Mpeg, Seek,
    ::testing::Values(Clip{"mpeg1.mpg", "-c:v mpeg1video -q:v 2 -g 12 -c:a mp2"},
                      Clip{"mpeg2.mpg", "-c:v mpeg2video -q:v 2 -g 12 -c:a mp2"},
                      Clip{"mpeg2.ts", "-c:v mpeg2video -q:v 2 -g 12 -c:a mp2"},
                      Clip{"h264.ts", "-c:v libx264 -crf 10 -preset ultrafast -g 12 -c:a aac"}),
    ClipName);

// Once a clip has been seeked over, a seek anywhere in it reads about a
// group of pictures (a fortieth of the clip, in 32 KB reads), counted
// through the file table. The noise makes each frame of the program stream
// begin a packet of its own, as in clips of any real size.
FileAccessFunctions gDisk;
int64_t gBytesRead;
using LongSeek = Movie;

TEST_P(LongSeek, ReadsAboutAGroupOfPicturesOnceSeekedOver) {
    ASSERT_TRUE(MakeClip(GetParam(), 20));
    int64_t size = int64_t(ReadFile(GetParam().file).size());
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    gDisk = *GetFileAccessFunctions();
    FileAccessFunctions counting = gDisk;
    counting.read = [](void* to, size_t itemSize, size_t count, void* file) {
        size_t items = gDisk.read(to, itemSize, count, file);
        gBytesRead += int64_t(items * itemSize);
        return items;
    };
    ASSERT_EQ(SetFileAccessFunctions(&counting), 0);
    int graph = LoadGraphFile(GetParam().file);
    ASSERT_EQ(SeekMovieGraph(graph, 20000), 0);
    for (int ms : {15020, 10020, 5020, 17020}) {
        gBytesRead = 0;
        ASSERT_EQ(SeekMovieGraph(graph, ms), 0);
        EXPECT_LT(gBytesRead, size / 5) << ms;
        EXPECT_EQ(ShownFrame(graph), ms * Fps / 1000 % 64) << ms;  // the bands count to 63
        EXPECT_EQ(TellMovieGraph(graph), ms / 40 * 40);
    }
    SetFileAccessFunctions(nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Mpeg, LongSeek,
    ::testing::Values(Clip{"long.mpg",
                           "-vf noise=alls=20:allf=t -c:v mpeg2video -q:v 2 -g 12 -c:a mp2"},
                      Clip{"long.ts", "-c:v libx264 -crf 10 -preset ultrafast -g 12 -c:a aac"}),
    ClipName);

}  // namespace

class MovieFile : public ::testing::Test {
protected:
    ScratchDir dir;

    void SetUp() override {
        if (!HaveTools({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is not installed";
        ASSERT_TRUE(MakeClip(Clips[2]));
    }
    void TearDown() override { EndLibrary(); }
};

// Files that do not open as movies fail with the loader's line, one cut
// short plays what it has, and an animated GIF, which no image decoder
// takes, plays.
TEST_F(MovieFile, RefusesWhatIsNoMovieAndPlaysATruncatedOne) {
    WriteFile("notes.mp4", "These are plain notes, not a movie.\n");
    ASSERT_TRUE(RunQuiet("ffmpeg -v error -f lavfi -i sine=duration=1 -c:a libvorbis tone.ogg"));
    ASSERT_TRUE(MakeClip({"whole.mpg", "-c:v mpeg1video -q:v 2 -an"}));
    std::string whole = ReadFile("whole.mpg");
    WriteFile("cut.mpg", whole.substr(0, whole.size() / 2));
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    for (const char* file : {"notes.mp4", "tone.ogg"}) {
        EXPECT_EQ(LoadGraphFile(file), -1) << file;
        EXPECT_NE(ReadLogUtf8().find(std::string("右記のグラフィックファイルのロードに失敗しました：") +
                                     file + " \n"),
                  std::string::npos)
            << file;
    }
    int cut = LoadGraphFile("cut.mpg");
    ASSERT_GE(cut, 0);
    ASSERT_EQ(PlayMovieGraph(cut, 0), 0);
    WaitMs(2100);
    EXPECT_EQ(GetMovieGraphState(cut), 0);
    int last = ShownFrame(cut);
    EXPECT_GT(last, 5);
    EXPECT_LT(last, Frames - 5);
    EXPECT_EQ(TellMovieGraph(cut), last * 1000 / Fps);
    ASSERT_TRUE(MakeClip({"anim.gif", "-an"}));
    int gif = LoadGraphFile("anim.gif");
    ASSERT_EQ(SeekMovieGraph(gif, 1020), 0);
    EXPECT_EQ(ShownFrame(gif), 25);
}

// A one-frame clip that claims a million frames a second, looping on the
// real clock, costs each pump one restart at most. Before, it restarted once
// a microsecond elapsed and a pump took seconds; the limit is far above what
// one restart costs on a loaded machine.
TEST_F(MovieFile, ALoopOfOneMicrosecondCostsAPumpOneRestart) {
    ASSERT_TRUE(RunQuiet("ffmpeg -v error -f lavfi -i color=c=white:s=16x16:r=1000000 "
                         "-frames:v 1 -c:v libx264 fast.mp4"));
    setenv("TESSEL_PLATFORM", "sdl", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(InitLibrary(), 0);
    int graph = LoadGraphFile("fast.mp4");
    ASSERT_GE(graph, 0);
    ASSERT_EQ(PlayMovieGraph(graph, 1), 0);
    using Clock = std::chrono::steady_clock;
    Clock::duration longest{};
    for (Clock::time_point end = Clock::now() + std::chrono::seconds(5); Clock::now() < end;) {
        Clock::time_point before = Clock::now();
        ASSERT_EQ(PumpMessages(), 0);
        DrawGraph(0, 0, graph, 0);
        EXPECT_EQ(GetMovieGraphState(graph), 1);
        longest = std::max(longest, Clock::now() - before);
    }
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(longest).count(), 200);
}

// A clip whose frames last 2^31 - 2 seconds each is longer than an int of
// milliseconds holds.
TEST_F(MovieFile, LengthsBeyondAnIntSaturate) {
    ASSERT_TRUE(RunQuiet("ffmpeg -v error -f lavfi -i color=s=16x16:r=1/2147483647 "
                         "-frames:v 2 -c:v mjpeg slow.avi"));
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    int graph = LoadGraphFile("slow.avi");
    ASSERT_GE(graph, 0);
    EXPECT_EQ(GetMovieGraphLength(graph), INT_MAX);
}

// The volume applies from the next sample mixed, to the sound decoded ahead
// as well: silent from the start, loud at once after.
TEST_F(MovieFile, TheVolumeAppliesToWhatIsDecodedAlready) {
    UseHeadless();
    setenv("TESSEL_AUDIO_OUT", "out.wav", 1);
    ASSERT_EQ(InitLibrary(), 0);
    int graph = LoadGraphFile(Clips[2].file);
    ASSERT_EQ(SetMovieGraphVolume(graph, 0), 0);
    ASSERT_EQ(PlayMovieGraph(graph, 0), 0);
    WaitMs(1000);
    ASSERT_EQ(SetMovieGraphVolume(graph, 255), 0);
    WaitMs(500);
    EndLibrary();
    unsetenv("TESSEL_AUDIO_OUT");
    EXPECT_NEAR(LoudWindows("out.wav"), 50, 3);
}

// Clips recorded turned, with a display matrix as phones write, show at the
// size and orientation ffmpeg itself shows them: each quarter of the picture
// has its own grey, so the first row tells the turn.
TEST_F(MovieFile, RotatedClipsShowAsFfmpegTurnsThem) {
    ASSERT_TRUE(RunQuiet(
        "ffmpeg -v error -f lavfi -i color=s=96x64:r=25,format=yuv420p,\"geq=lum='if(lt(Y\\,32)\\,"
        "if(lt(X\\,48)\\,235\\,160)\\,if(lt(X\\,48)\\,90\\,16))':cb=128:cr=128\" -t 0.2 "
        "-c:v libx264 -crf 10 upright.mp4"));
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    for (int turn : {90, 180, 270}) {
        SCOPED_TRACE(turn);
        std::string name = std::to_string(turn);
        ASSERT_TRUE(RunQuiet("ffmpeg -v error -i upright.mp4 -c copy -metadata:s:v:0 rotate=" +
                             name + " " + name + ".mp4 && ffmpeg -v error -i " + name +
                             ".mp4 -frames:v 1 -f rawvideo -pix_fmt gray " + name + ".gray"));
        int graph = LoadGraphFile((name + ".mp4").c_str());
        ASSERT_GE(graph, 0);
        int width = 0, height = 0;
        GetGraphDimensions(graph, &width, &height);
        EXPECT_EQ(width, turn == 180 ? 96 : 64);
        EXPECT_EQ(height, turn == 180 ? 64 : 96);
        std::string shown = ReadFile(name + ".gray");
        ASSERT_EQ(shown.size(), size_t(width * height));
        for (int x : {width / 4, width * 3 / 4})
            EXPECT_NEAR(Green(graph, x, 0), uint8_t(shown[x]), 24) << "at x " << x;
    }
}

// PlayMovieFile returns when the movie ends, at a key when it may be
// cancelled, and at once when the window closes.
struct FileCase {
    const char* name;
    const char* script;
    int cancelable;
    int endMs;        // on the virtual clock, from:
    bool scriptTime;  // the script's time 0, or else the movie's start
};

void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }

class PlayFile : public MovieFile, public ::testing::WithParamInterface<FileCase> {};

TEST_P(PlayFile, EndsAtTheEndAKeyOrTheWindowClosing) {
    UseHeadless(GetParam().script);
    ASSERT_EQ(InitLibrary(), 0);
    int64_t start = GetTickUs(0);
    EXPECT_EQ(PlayMovieFile(Clips[2].file, 1, GetParam().cancelable), 0);
    int64_t base = GetParam().scriptTime ? int64_t(HeadlessStartUs) : start;
    EXPECT_NEAR(double(GetTickUs(0) - base), GetParam().endMs * 1000.0, 50000);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlayFile,
                         ::testing::Values(FileCase{"ToTheEnd", "", 0, 2000, false},
                                           FileCase{"KeyIgnored", "600 down SPACE\n", 0, 2000, false},
                                           FileCase{"KeyCancels", "600 down SPACE\n", 1, 600, true},
                                           FileCase{"WindowCloses", "700 close\n", 0, 700, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The table holds 100 movies; the next fails alone. Freeing a playing movie
// graph closes its movie, and the end of the library closes the rest.
TEST_F(MovieFile, HoldsAHundredMoviesAndClosesThemWithTheirGraphs) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    std::vector<int> graphs;
    for (int i = 0; i < 100; ++i) graphs.push_back(LoadGraphFile(Clips[2].file));
    for (int graph : graphs) ASSERT_GE(graph, 0);
    int surfaces = PlatLiveSurfaceCount();
    EXPECT_EQ(LoadGraphFile(Clips[2].file), -1);
    EXPECT_EQ(PlatLiveSurfaceCount(), surfaces);
    EXPECT_NE(ReadLogUtf8().find("ムービーの数が許容量の 100 を越えたため"), std::string::npos);

    ASSERT_EQ(PlayMovieGraph(graphs[0], 1), 0);
    ASSERT_EQ(PlayMovieGraph(graphs[1], 1), 0);
    WaitMs(300);
    EXPECT_EQ(FreeGraphHandle(graphs[0], 0), 0);
    EXPECT_EQ(GetMovieGraphState(graphs[0]), -1);
    WaitMs(300);
    EXPECT_EQ(GetMovieGraphState(graphs[1]), 1);
    int another = LoadGraphFile(Clips[2].file);
    EXPECT_GE(another, 0);
    EXPECT_EQ(ShownFrame(another), 0);
}

// A movie stands still while the application is inactive and goes on where
// it was when it is active again.
TEST_F(MovieFile, PausesWhileTheApplicationIsInactive) {
    UseHeadless("1000 focus 0\n1500 focus 1\n", true);
    ASSERT_EQ(InitLibrary(), 0);
    int graph = LoadGraphFile(Clips[2].file);
    ASSERT_EQ(PlayMovieGraph(graph, 0), 0);
    int64_t start = GetTickUs(0);
    ASSERT_LT(start, int64_t(HeadlessStartUs) + 900000);
    while (GetTickUs(0) < int64_t(HeadlessStartUs) + 1800000) WaitMs(10);
    EXPECT_EQ(GetMovieGraphState(graph), 1);
    EXPECT_NEAR(TellMovieGraph(graph), (GetTickUs(0) - start - 500000) / 1000, 45);
}
