// Writes the sound fuzzer's seed corpus into the folder given: small files of
// every kind the reader takes. The WAVE layouts and MPEG frames are made
// here; the compressed encodings, Ogg Vorbis and a real MP3 come from sox
// and lame when they are installed.
#include "support/sound_files.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string gFolder;

void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(gFolder + "/" + name, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s folder\n", argv[0]);
        return 2;
    }
    gFolder = argv[1];
    std::string tone = Samples16(Tone(400, 1, 8000, 440));
    std::string stereo = Samples16(Tone(400, 2, 8000, 440));

    Write("pcm16.wav", PcmWave(1, 8000, 16, tone));
    Write("pcm16s.wav", PcmWave(2, 8000, 16, stereo));
    Write("pcm8.wav", PcmWave(1, 11025, 8, std::string(200, '\x90')));
    Write("list.wav", Riff("WAVE", Chunk("fmt ", PcmFormatBody(1, 8000, 16, true)) +
                                       Chunk("LIST", "INFOx") + Chunk("data", tone)));
    Write("short.wav", Riff("WAVE", Chunk("fmt ", PcmFormatBody(1, 8000, 16))) + "data" +
                           Le32(100000) + tone.substr(0, 40));

    std::string frames;
    for (int i = 0; i < 4; ++i) frames += MpegFrame(true, 3, 1, 0, i == 1, false);
    Write("frames.mp3", frames);
    Write("tagged.mp3", Id3v2(30) + "junk" + frames + Id3v1());
    Write("footer.mp3", Id3v2(20, 4, 0x10) + std::string(10, '\0') + frames);
    Write("mpeg2.mp3", MpegFrame(false, 3, 1, 2, false, true) + MpegFrame(false, 3, 1, 2, true, true));
    Write("layer1.mp2", MpegFrame(true, 1, 1, 1, false, false) + MpegFrame(true, 1, 1, 1, false, false));
    Write("layer2.mp2", MpegFrame(false, 2, 1, 2, false, false) + MpegFrame(false, 2, 1, 2, false, false));

    if (HaveTools({"sox"})) {
        std::string base = gFolder + "/pcm16.wav";
        const char* encodings[][2] = {{"ima.wav", "-e ima-adpcm"}, {"ms.wav", "-e ms-adpcm"},
                                      {"ulaw.wav", "-e u-law"},    {"alaw.wav", "-e a-law"},
                                      {"float.wav", "-e floating-point -b 32"},
                                      {"gsm.wav", "-e gsm-full-rate"}};
        for (auto& e : encodings)
            RunQuiet("sox " + base + " " + e[1] + " " + gFolder + "/" + e[0]);
        RunQuiet("sox " + gFolder + "/pcm16s.wav " + gFolder + "/tone.ogg");
    }
    if (HaveTools({"lame"})) {
        Write("tone16k.wav", PcmWave(1, 16000, 16, Samples16(Tone(800, 1, 16000, 440))));
        RunQuiet("lame --quiet -b 8 --tt Seed --add-id3v2 " + gFolder + "/tone16k.wav " + gFolder +
                 "/lame.mp3");
        std::remove((gFolder + "/tone16k.wav").c_str());
    }
    return 0;
}
