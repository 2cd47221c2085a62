// The sound table: handles by the shared rule, its limit, slot reuse,
// release, what a loaded sound's record holds, and how loads fail.
#include "platform/media/audio.h"
#include "sound/sound.h"
#include "support/harness.h"
#include "support/sound_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class SoundTable : public ::testing::Test {
protected:
    ScratchDir dir;
    void SetUp() override {
        UseHeadless();
        unsetenv("TESSEL_AUDIO_OUT");
        ASSERT_EQ(InitLibrary(), 0);
        WriteFile("a.wav", PcmWave(1, 8000, 8, std::string(64, '\x90')));
    }
    void TearDown() override { EndLibrary(); }

    SoundRecord* Record(int handle) { return HandleTableGetAs<SoundRecord>(&gSoundTable, handle); }
};

int Slot(int handle) { return handle & 0xFFFF; }
int Serial(int handle) { return (handle >> 16) & 0x7FF; }

TEST_F(SoundTable, HandlesCarryTheSoundTypeASlotAndASerial) {
    int a = LoadSoundFile("a.wav");
    int b = LoadSoundFile("a.wav");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(a & 0x78000000, 0x10000000);
    EXPECT_EQ(Slot(a), 0);
    EXPECT_EQ(Slot(b), 1);
    EXPECT_EQ(Serial(b), Serial(a) + 1);
    EXPECT_EQ(gSoundTable.count, 2);
    // The same slot and serial with another type is not a sound.
    EXPECT_EQ(IsSoundPlaying((a & ~0x78000000) | 0x08000000), -1);
}

TEST_F(SoundTable, TheRecordHoldsThePcmItsFormatAndItsNames) {
    std::string samples = Samples16(Pattern(100, 4));
    WriteFile("stereo.wav", PcmWave(2, 22050, 16, samples));
    int handle = LoadSoundFileWithBuffers("stereo.wav", 3);
    SoundRecord* sound = Record(handle);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->bufferCount, 3);
    EXPECT_EQ(sound->dataSize, int32_t(samples.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(sound->data), sound->dataSize), samples);
    EXPECT_EQ(sound->format->channels, 2);
    EXPECT_EQ(sound->bytesPerSecond, 88200);
    EXPECT_STREQ(sound->fileName, "stereo.wav");
    std::string directory = sound->directory;
    EXPECT_EQ(directory, dir.path() + "\\");
    for (int i = 0; i < 3; ++i) EXPECT_NE(sound->buffers[i], nullptr);
    EXPECT_EQ(sound->buffers[3], nullptr);
}

TEST_F(SoundTable, BufferCountsOutsideOneToTenAreRefused) {
    EXPECT_EQ(LoadSoundFileWithBuffers("a.wav", 11), -1);
    EXPECT_EQ(LoadSoundFileWithBuffers("a.wav", 0), -1);
    EXPECT_EQ(gSoundTable.count, 0);
    int handle = LoadSoundFileWithBuffers("a.wav", 10);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(Record(handle)->bufferCount, 10);
}

TEST_F(SoundTable, FilesThatCannotBeLoadedLeaveNoHandleAndLogTheirOwnLines) {
    WriteFile("text.wav", "this is not a sound file at all");
    WriteFile("empty.wav", "");
    std::filesystem::create_directory("folder.wav");
    struct Case {
        const char* path;
        const char* line;
    };
    for (Case c : {Case{"missing.wav", "サウンドファイル missing.wav がありません\n"},
                   Case{"folder.wav", "サウンドファイル folder.wav がありません\n"},
                   Case{"empty.wav", "右記のサウンドファイルのロードに失敗しました：empty.wav \n"},
                   Case{"text.wav", "右記のサウンドファイルのロードに失敗しました：text.wav \n"}}) {
        size_t before = ReadLogUtf8().size();
        EXPECT_EQ(LoadSoundFile(c.path), -1) << c.path;
        std::string added = ReadLogUtf8().substr(before);
        EXPECT_NE(added.find(c.line), std::string::npos) << added;
        EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
    }
    EXPECT_EQ(LoadSoundFile(nullptr), -1);
    EXPECT_EQ(gSoundTable.count, 0);
    EXPECT_EQ(gSoundTable.highWater, 0);
}

// A slow sound is kept at its own rate: it costs its own bytes, however many
// output frames it lasts.
TEST_F(SoundTable, ALongSlowSoundLoadsAndPlaysAtItsOwnRate) {
    std::string samples(310000, '\x80');
    samples[0] = '\xC0';
    WriteFile("slow.wav", PcmWave(1, 100, 8, samples));
    int handle = LoadSoundFile("slow.wav");
    SoundRecord* sound = Record(handle);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->dataSize, 310000);
    EXPECT_EQ(sound->format->samplesPerSec, 100u);
    ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
    std::vector<int16_t> out(2 * 441);
    PlatAudioMix(out.data(), 441);
    // The first source frame fades into the second across 441 output frames.
    EXPECT_EQ(out[0], 16384);
    EXPECT_EQ(out[2 * 220], 16384 - 16384 * 220 / 441);
    uint32_t position = 0;
    ASSERT_EQ(PlatSoundBufferGetPosition(sound->buffers[0], &position), 0);
    EXPECT_EQ(position, 1u);
}

// Memory running out fails the one load, logged with the file's name; the
// program goes on. The address space is capped just above what is in use.
TEST_F(SoundTable, RunningOutOfMemoryFailsTheLoadWithALogLine) {
    constexpr size_t Size = 32 << 20;
    WriteFile("big.wav", PcmWave(2, 44100, 16, std::string(Size, '\x01')));
    // IEEE float samples go through the converter, which gathers its output.
    WriteFile("float.wav", Riff("WAVE", Chunk("fmt ", Le16(3) + Le16(2) + Le32(44100) +
                                                         Le32(44100 * 8) + Le16(8) + Le16(32)) +
                                            Chunk("data", std::string(Size, '\0'))));
    struct Case {
        const char* path;
        size_t room;  // address space allowed beyond what is in use
        const char* line;
    };
    for (Case c : {Case{"big.wav", Size / 2, "右記のサウンドファイルのロードに失敗しました：big.wav"},
                   Case{"big.wav", Size + Size / 2,
                        "右記のサウンドファイルの格納用サウンドバッファの作成に失敗しました：big.wav"},
                   Case{"float.wav", Size + Size / 4,
                        "右記のサウンドファイルのロードに失敗しました：float.wav"}}) {
        size_t before = ReadLogUtf8().size();
        int handle;
        {
            AddressSpaceCap cap(c.room);
            if (!cap.active()) GTEST_SKIP() << "no address space cap here";
            handle = LoadSoundFile(c.path);
        }
        EXPECT_EQ(handle, -1) << c.path;
        EXPECT_NE(ReadLogUtf8().substr(before).find(c.line), std::string::npos) << c.line;
        EXPECT_EQ(gSoundTable.count, 0);
    }
    EXPECT_NE(LoadSoundFile("big.wav"), -1);
}

TEST_F(SoundTable, ReleasingTheHighestSlotLetsItBeUsedAgain) {
    int a = LoadSoundFile("a.wav");
    int b = LoadSoundFile("a.wav");
    int c = LoadSoundFile("a.wav");
    ASSERT_EQ(Slot(c), 2);
    ASSERT_EQ(ReleaseSoundHandle(c, 0), 0);
    EXPECT_EQ(gSoundTable.highWater, 2);
    int d = LoadSoundFile("a.wav");
    EXPECT_EQ(Slot(d), 2);
    EXPECT_NE(d, c);  // a new serial: the old handle stays dead
    EXPECT_EQ(IsSoundPlaying(c), -1);
    // A lower slot freed stays free while the mark is below the capacity.
    ASSERT_EQ(ReleaseSoundHandle(a, 0), 0);
    EXPECT_EQ(Slot(LoadSoundFile("a.wav")), 3);
    EXPECT_EQ(IsSoundPlaying(b), 0);
}

TEST_F(SoundTable, ReleasingLogsTheFileNameAndReleaseAllGoesInSlotOrder) {
    WriteFile("b.wav", ReadFile("a.wav"));
    int a = LoadSoundFile("a.wav");
    LoadSoundFile("b.wav");
    LoadSoundFile("a.wav");
    ASSERT_EQ(ReleaseSoundHandle(a, 1), 0);
    EXPECT_NE(ReadLogUtf8().find("サウンドデータ a.wav の削除\n"), std::string::npos);
    size_t before = ReadLogUtf8().size();
    ASSERT_EQ(ReleaseAllSoundHandles(1), 0);
    std::string added = ReadLogUtf8().substr(before);
    size_t first = added.find("サウンドデータ b.wav の削除");
    size_t second = added.find("サウンドデータ a.wav の削除");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_EQ(gSoundTable.count, 0);
    EXPECT_EQ(gSoundTable.highWater, 0);
}

TEST_F(SoundTable, TheSoundAfterTheLastSlotEndsTheProgram) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < SoundCapacity; ++i)
                if (LoadSoundFile("a.wav") == -1) std::exit(3);
            LoadSoundFile("a.wav");
            std::exit(4);
        },
        testing::ExitedWithCode(255), "");
    std::string log = ReadLogUtf8();
    size_t fatal = log.find("サウンドの数が許容量を越えました終了します\n");
    ASSERT_NE(fatal, std::string::npos);
    EXPECT_NE(log.find("ソフトをエラー終了します", fatal), std::string::npos);
}

TEST_F(SoundTable, AFullTableTakesNewSoundsInFreedSlots) {
    for (int i = 0; i < SoundCapacity; ++i) ASSERT_NE(LoadSoundFile("a.wav"), -1);
    int top = HandleOfSlot(&gSoundTable, SoundCapacity - 1);
    ASSERT_EQ(ReleaseSoundHandle(top, 0), 0);
    EXPECT_EQ(Slot(LoadSoundFile("a.wav")), SoundCapacity - 1);
    ASSERT_EQ(ReleaseSoundHandle(HandleOfSlot(&gSoundTable, 17), 0), 0);
    EXPECT_EQ(Slot(LoadSoundFile("a.wav")), 17);
}

TEST_F(SoundTable, AnImaAdpcmFileLoadsAsPcm) {
    if (!HaveTools({"sox"})) GTEST_SKIP() << "sox is needed (apt-get install sox)";
    WriteFile("tone.wav", PcmWave(1, 11025, 16, Samples16(Tone(2000, 1, 11025, 300))));
    ASSERT_TRUE(RunQuiet("sox tone.wav -e ima-adpcm ima.wav"));
    ASSERT_EQ(ReadFile("ima.wav").substr(20, 2), Le16(0x11));
    int handle = LoadSoundFile("ima.wav");
    SoundRecord* sound = Record(handle);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->format->formatTag, 1);
    EXPECT_EQ(sound->format->bitsPerSample, 16);
    EXPECT_EQ(sound->format->samplesPerSec, 11025u);
    EXPECT_GE(sound->dataSize, 2000 * 2);
    ASSERT_EQ(PlaySoundHandle(handle, PlayBackground, 1), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 1);
}

TEST_F(SoundTable, TheDeviceOpensOnceAndReleasesEverythingWhenItEnds) {
    EXPECT_EQ(InitSoundDevice(), -1);
    LoadSoundFile("a.wav");
    LoadSoundFile("a.wav");
    ASSERT_EQ(EndSoundDevice(), 0);
    EXPECT_EQ(gSoundTable.count, 0);
    EXPECT_EQ(PlatAudioIsOpen(), 0);
    EXPECT_EQ(EndSoundDevice(), -1);
    EXPECT_EQ(LoadSoundFile("a.wav"), -1);
    ASSERT_EQ(InitSoundDevice(), 0);
    EXPECT_NE(LoadSoundFile("a.wav"), -1);
}

}  // namespace
