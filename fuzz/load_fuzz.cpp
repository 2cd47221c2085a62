// Feeds arbitrary bytes to the library's loaders as a program meets them: on
// the headless platform, the input is loaded as an image file (and, when its
// size is odd, as its own alpha file too) and as a sound file; a graph made is
// drawn plainly and rotated, a sound made is played and mixed, and both are
// freed. Whatever the sizes, nothing may end the program, and every failed
// load must leave no handle behind.
#include "graphics/graph.h"
#include "memory_files.h"
#include "platform/media/audio.h"
#include "sound/sound.h"
#include "tessel.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t MixFrames = 2048;

bool NotAlphaFile(const char* path) { return std::strstr(path, "_a") == nullptr; }

void DrawAndFree(int graph) {
    int width = 0, height = 0;
    if (GetGraphDimensions(graph, &width, &height) != 0 || width < 1 || height < 1 ||
        width > 0xFFFF || height > 0xFFFF)
        std::abort();
    DrawGraph(-width / 2, -height / 2, graph, 1);
    DrawRotaGraph(320, 240, 0.75, 0.5, graph, 1, 1);
    if (FreeGraphHandle(graph, 0) != 0) std::abort();
}

void PlayAndFree(int sound) {
    if (PlaySoundHandle(sound, 1, 1) != 0) std::abort();
    static int16_t mix[MixFrames * 2];
    PlatAudioMix(mix, MixFrames);
    if (ReleaseSoundHandle(sound, 0) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ServeFuzzInput(data, size, size % 2 ? nullptr : NotAlphaFile);
    int graph = LoadGraphFile("input.img");
    if (graph >= 0) DrawAndFree(graph);
    int sound = LoadSoundFile("input.snd");
    if (sound >= 0) PlayAndFree(sound);
    if (gGraph.graphs.count != 0 || gSoundTable.count != 0) std::abort();
    return 0;
}
