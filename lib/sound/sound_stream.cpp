// Streamed sounds: a file decoded while it plays into a ring of at most one
// second, topped up by the pump. A loop is the decoder starting the file
// over while the ring plays on, so it has no seam to hear; a file that turns
// out damaged or cut short ends its sound, as a sound that played out.
#include "core/core.h"
#include "platform/media/sound_codec.h"
#include "sound/sound.h"
#include "tessel/sound.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

// The record behind SoundRecord::stream.
struct SoundStream {
    ImageStream file;            // open for the sound's life
    PlatSoundDecoder* decoder;
    int started;                 // played since the last rewind, so the end's meaning is known
    int looping;                 // the play going on repeats
    int atEnd;                   // the decoder gave the file's last frame
    int finished;                // nothing more is queued for this play
    int failed;                  // the file was found damaged in this play
    uint64_t passFrames;         // frames of one pass through the file, as it gave them
    uint64_t firstSeam;          // queued frames before the first restart; 0 before one
};

namespace {

// The ring holds a second of sound, but never more than this many bytes
// (half a second of 192 kHz stereo, say), so that a stream's memory stays
// small whatever its format.
constexpr uint32_t MaxRingBytes = 256 * 1024;

size_t SourceRead(void* to, size_t bytes, void* context) {
    auto* file = static_cast<ImageStream*>(context);
    return file->read(to, 1, bytes, file->context);
}

int SourceSeek(void* context, int64_t offset, int origin) {
    auto* file = static_cast<ImageStream*>(context);
    if (offset < INT32_MIN || offset > INT32_MAX) return -1;
    return file->seek(file->context, static_cast<int32_t>(offset), origin);
}

int64_t SourceTell(void* context) {
    auto* file = static_cast<ImageStream*>(context);
    return file->tell(file->context);
}

PlatSoundBuffer* Ring(const SoundRecord* sound) { return sound->buffers[0]; }

// Damage found in the middle of a play ends the play there.
void Fail(SoundRecord* sound) {
    SoundStream* stream = sound->stream;
    WriteLogFormat(SJIS("サウンドファイル %s が途中で切れているか壊れているため再生を終えます"),
                   sound->fileName);
    stream->failed = 1;
    stream->finished = 1;
    PlatSoundStreamSetEnd(Ring(sound), 1);
}

int Rewind(SoundStream* stream) {
    stream->atEnd = 0;
    return PlatSoundDecoderRewind(stream->decoder);
}

// Decodes into the ring until it is full or the file has said its last,
// then starts the file over for a loop or marks the end for a single play.
// Before the first play it is not known which, so it waits at the end.
void Feed(SoundRecord* sound) {
    SoundStream* stream = sound->stream;
    while (!stream->finished) {
        if (stream->atEnd) {
            if (!stream->started) return;
            if (!stream->looping) {
                stream->finished = 1;
                PlatSoundStreamSetEnd(Ring(sound), 1);
                return;
            }
            uint64_t written = 0, mixed = 0;
            PlatSoundStreamCounts(Ring(sound), &written, &mixed);
            if (Rewind(stream) != 0) return Fail(sound);
            if (stream->firstSeam == 0) stream->firstSeam = written;
            continue;
        }
        void* at = nullptr;
        uint32_t room = 0;
        PlatSoundStreamRoom(Ring(sound), &at, &room);
        if (room == 0) return;
        int64_t got = PlatSoundDecoderRead(stream->decoder, at, room);
        if (got < 0) return Fail(sound);
        if (got == 0)
            stream->atEnd = 1;
        else
            PlatSoundStreamCommit(Ring(sound), static_cast<uint32_t>(got));
    }
}

// The first restart of the file at or after `mixed` frames, or 0.
uint64_t NextSeam(const SoundStream* stream, uint64_t mixed) {
    if (stream->firstSeam == 0) return 0;
    if (mixed <= stream->firstSeam) return stream->firstSeam;
    uint64_t passes = (mixed - stream->firstSeam + stream->passFrames - 1) / stream->passFrames;
    return stream->firstSeam + passes * stream->passFrames;
}

// From looping to playing once without going back to the start: what was
// queued past the coming restart goes, and the decoder waits at the start.
void EndAtNextSeam(SoundRecord* sound) {
    SoundStream* stream = sound->stream;
    uint64_t written = 0, mixed = 0;
    PlatSoundStreamCounts(Ring(sound), &written, &mixed);
    uint64_t seam = NextSeam(stream, mixed);
    if (seam == 0 || seam > written) return;  // the restart is not queued yet
    if (PlatSoundStreamCut(Ring(sound), seam) != 0 || Rewind(stream) != 0) return Fail(sound);
    stream->finished = 1;
    PlatSoundStreamSetEnd(Ring(sound), 1);
}

}  // namespace

int OpenSoundStream(SoundRecord* sound, const char* path) {
    auto* stream = static_cast<SoundStream*>(std::calloc(1, sizeof(SoundStream)));
    if (!stream) return -1;
    sound->stream = stream;
    if (OpenFileImageStream(path, &stream->file) != 0) {
        std::free(stream);
        sound->stream = nullptr;
        return -1;
    }
    const PlatByteSource source = {SourceRead, SourceSeek, SourceTell, &stream->file};
    PlatPcmFormat format{};
    uint64_t frames = 0;
    stream->decoder = PlatSoundDecoderOpen(&source, &format, &frames);
    if (!stream->decoder) return CloseSoundStream(sound), -1;
    stream->passFrames = frames;
    uint32_t frameBytes = static_cast<uint32_t>(format.channels * format.bits / 8);
    uint32_t second = static_cast<uint32_t>(format.rate) * frameBytes;
    uint32_t ringBytes = std::min(second, MaxRingBytes / frameBytes * frameBytes);
    sound->buffers[0] = PlatSoundStreamCreate(&format, ringBytes);
    if (!sound->buffers[0]) return CloseSoundStream(sound), -1;
    sound->bufferCount = 1;
    sound->bytesPerSecond = static_cast<int32_t>(second);
    Feed(sound);
    return 0;
}

void CloseSoundStream(SoundRecord* sound) {
    SoundStream* stream = sound->stream;
    if (!stream) return;
    PlatSoundDecoderClose(stream->decoder);
    CloseImageStream(&stream->file);
    std::free(stream);
    sound->stream = nullptr;
}

int PlayStreamedSound(SoundRecord* sound, int playType, int fromStart) {
    SoundStream* stream = sound->stream;
    PlatSoundBuffer* ring = Ring(sound);
    uint32_t status = 0;
    PlatSoundBufferStatus(ring, &status);
    // A play that ended starts over, as a sound held whole goes back to its start.
    bool ended = stream->finished && !(status & SoundBufferPlaying);
    bool looping = playType == PlayLoop;
    if (fromStart || ended) {
        PlatSoundBufferStop(ring);
        PlatSoundStreamClear(ring);
        if (Rewind(stream) != 0) return -1;
        stream->finished = stream->failed = 0;
        stream->firstSeam = 0;
    } else if (!looping && stream->looping) {
        EndAtNextSeam(sound);
    } else if (looping && stream->finished && !stream->failed) {
        // Marked to end after this pass: it goes on into the next instead.
        stream->finished = 0;
        PlatSoundStreamSetEnd(ring, 0);
    }
    stream->started = 1;
    stream->looping = looping;
    Feed(sound);
    return PlatSoundBufferPlay(ring, 0);
}

void ServiceSoundStreams() {
    for (int slot = 0; slot < gSoundTable.highWater; ++slot) {
        if (!gSoundTable.slots[slot]) continue;
        SoundRecord* sound =
            HandleTableGetAs<SoundRecord>(&gSoundTable, HandleOfSlot(&gSoundTable, slot));
        if (sound->stream) Feed(sound);
    }
}
