// The mixing loops: every playing buffer is read through its cursor, brought
// to the output rate (linear interpolation between neighbouring frames
// unless it steps whole frames), scaled per output channel and summed; the
// sum is saturated once, when it is written out.
//
// A buffer is mixed in runs: a run is as many output frames as can be taken
// from one contiguous span of source frames with both neighbours at hand,
// through a loop made for the buffer's format, so the work per frame is a
// few loads, multiplies and adds. Only the frame at a span's edge (the end
// of a sound, a loop's seam, the ring's wrap) takes the careful path.
#include "platform/media/audio_internal.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t MixBlockFrames = 1024;
// The fraction the interpolation uses: the cursor's top 14 bits, so that
// both weights of a blend fit 16-bit lanes.
constexpr int BlendBits = 14;
constexpr int32_t BlendOne = 1 << BlendBits;

// 16-bit samples are little-endian, as is every machine the library runs
// on, so they load as they lie.
template <int Bits>
int32_t Sample(const uint8_t* p) {
    if constexpr (Bits == 8) {
        return (int32_t{p[0]} - 128) * 256;
    } else {
        int16_t value;
        std::memcpy(&value, p, sizeof value);
        return value;
    }
}

template <int Channels, int Bits>
void FrameAt(const uint8_t* base, uint64_t frame, int32_t* left, int32_t* right) {
    constexpr int Step = Bits / 8;
    const uint8_t* p = base + frame * (Channels * Step);
    *left = Sample<Bits>(p);
    *right = Channels == 2 ? Sample<Bits>(p + Step) : *left;
}

// `count` output frames from `source` starting `position` (32.32) frames in;
// the caller has made sure every frame read lies inside the span. Returns
// the position after them.
template <int Channels, int Bits>
uint64_t MixBlended(const uint8_t* source, uint64_t position, uint64_t step, int32_t* sum,
                    uint32_t count, int32_t leftLevel, int32_t rightLevel) {
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t frame = position >> CursorFractionBits;
        int32_t left, right, nextLeft, nextRight;
        FrameAt<Channels, Bits>(source, frame, &left, &right);
        FrameAt<Channels, Bits>(source, frame + 1, &nextLeft, &nextRight);
        auto blend = static_cast<int32_t>((position & (CursorOne - 1)) >>
                                          (CursorFractionBits - BlendBits));
        left += ((nextLeft - left) * blend) >> BlendBits;
        if constexpr (Channels == 2)
            right += ((nextRight - right) * blend) >> BlendBits;
        else
            right = left;
        sum[i * 2] += (left * leftLevel) >> LevelBits;
        sum[i * 2 + 1] += (right * rightLevel) >> LevelBits;
        position += step;
    }
    return position;
}

// 16-bit stereo, the common case, with both frames of a blend in one load:
// a weighted pair sum gives each blended channel, 16-bit products the
// levels, exactly as the loop above computes them.
template <>
uint64_t MixBlended<2, 16>(const uint8_t* source, uint64_t position, uint64_t step, int32_t* sum,
                           uint32_t count, int32_t leftLevel, int32_t rightLevel) {
    const __m128i levels = _mm_setr_epi16(int16_t(leftLevel), int16_t(rightLevel), 0, 0, 0, 0, 0, 0);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* frames = source + (position >> CursorFractionBits) * 4;
        auto weight = static_cast<int32_t>((position & (CursorOne - 1)) >>
                                           (CursorFractionBits - BlendBits));
        // Left, right of this frame and the next, as left, left, right, right.
        __m128i pair = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(frames));
        pair = _mm_shufflelo_epi16(pair, _MM_SHUFFLE(3, 1, 2, 0));
        __m128i weights = _mm_set1_epi32(weight << 16 | (BlendOne - weight));
        __m128i blended = _mm_srai_epi32(_mm_madd_epi16(pair, weights), BlendBits);
        __m128i samples = _mm_packs_epi32(blended, blended);
        __m128i low = _mm_mullo_epi16(samples, levels);
        __m128i high = _mm_mulhi_epi16(samples, levels);
        __m128i scaled = _mm_srai_epi32(_mm_unpacklo_epi16(low, high), LevelBits);
        auto* to = reinterpret_cast<__m128i*>(sum + i * 2);
        _mm_storel_epi64(to, _mm_add_epi32(_mm_loadl_epi64(to), scaled));
        position += step;
    }
    return position;
}

// The same for a cursor on a whole frame stepping one frame at a time (the
// sound's rate is the output's, at its own pitch): frame for frame.
template <int Channels, int Bits>
uint64_t MixUnit(const uint8_t* source, uint64_t position, uint64_t, int32_t* sum,
                 uint32_t count, int32_t leftLevel, int32_t rightLevel) {
    source += (position >> CursorFractionBits) * (Channels * Bits / 8);
    for (uint32_t i = 0; i < count; ++i) {
        int32_t left, right;
        FrameAt<Channels, Bits>(source, i, &left, &right);
        sum[i * 2] += (left * leftLevel) >> LevelBits;
        sum[i * 2 + 1] += (right * rightLevel) >> LevelBits;
    }
    return position + uint64_t{count} * CursorOne;
}

using RunFunction = uint64_t (*)(const uint8_t*, uint64_t, uint64_t, int32_t*, uint32_t,
                                 int32_t, int32_t);

template <template <int, int> class Loop>
struct Runs {
    static RunFunction For(const PlatPcmFormat& format) {
        if (format.channels == 2)
            return format.bits == 16 ? Loop<2, 16>::Run : Loop<2, 8>::Run;
        return format.bits == 16 ? Loop<1, 16>::Run : Loop<1, 8>::Run;
    }
};

template <int Channels, int Bits>
struct Blended {
    static constexpr RunFunction Run = MixBlended<Channels, Bits>;
};

template <int Channels, int Bits>
struct Unit {
    static constexpr RunFunction Run = MixUnit<Channels, Bits>;
};

int32_t SampleAt(const PlatSoundBuffer& buffer, uint64_t frame, int channel) {
    const uint8_t* p = buffer.mixed + frame * buffer.blockAlign;
    if (buffer.format.channels == 2) p += channel * (buffer.format.bits / 8);
    return buffer.format.bits == 8 ? Sample<8>(p) : Sample<16>(p);
}

uint64_t Frames(const PlatSoundBuffer& buffer) { return buffer.size / buffer.blockAlign; }

// Source frames readable from the cursor on without a wrap or a gap.
uint64_t SpanFrames(const PlatSoundBuffer& buffer) {
    uint64_t toEnd = Frames(buffer) - buffer.frame;
    return buffer.streamed ? std::min(toEnd, buffer.written - buffer.consumed) : toEnd;
}

// The frame after the cursor's: across a loop's seam or the ring's wrap
// when there is one to read, otherwise the cursor's own.
uint64_t NeighbourFrame(const PlatSoundBuffer& buffer) {
    uint64_t next = buffer.frame + 1;
    bool wraps = next == Frames(buffer);
    if (buffer.streamed)
        return buffer.written - buffer.consumed >= 2 ? (wraps ? 0 : next) : buffer.frame;
    return !wraps ? next : buffer.looping ? 0 : buffer.frame;
}

// Moves the cursor `frames` source frames on: a buffer played once stops,
// back at its start, after its last frame; a streamed one stops when it has
// mixed all it was given and was told no more comes.
void Advance(PlatSoundBuffer* buffer, uint64_t frames) {
    uint64_t length = Frames(*buffer);
    if (buffer->streamed) {
        frames = std::min(frames, buffer->written - buffer->consumed);
        buffer->consumed += frames;
        buffer->frame = (buffer->frame + frames) % length;
        if (buffer->ended && buffer->consumed == buffer->written) buffer->playing = 0;
        return;
    }
    buffer->frame += frames;
    if (buffer->frame < length) return;
    if (buffer->looping) {
        buffer->frame %= length;
    } else {
        buffer->frame = 0;
        buffer->fraction = 0;
        buffer->playing = 0;
    }
}

// One output frame the careful way, for a cursor at the edge of its span.
void MixEdgeFrame(PlatSoundBuffer* buffer, int32_t* sum, uint64_t step, const int32_t* levels) {
    uint64_t next = NeighbourFrame(*buffer);
    auto blend = static_cast<int64_t>(buffer->fraction >> (CursorFractionBits - BlendBits));
    for (int channel = 0; channel < 2; ++channel) {
        int64_t a = SampleAt(*buffer, buffer->frame, channel);
        int64_t b = SampleAt(*buffer, next, channel);
        a += ((b - a) * blend) >> BlendBits;
        sum[channel] += static_cast<int32_t>((a * levels[channel]) >> LevelBits);
    }
    buffer->fraction += step;
    uint64_t whole = buffer->fraction >> CursorFractionBits;
    buffer->fraction &= CursorOne - 1;
    Advance(buffer, whole);
}

// The buffer's own rate and pitch in source frames per output frame,
// rounded up: a cursor then reaches each source frame on the output frame
// its exact rate does, or ahead of it by less than 2^-32 of a frame per
// step, never late.
uint64_t CursorStep(const PlatSoundBuffer& buffer) {
    uint64_t scaled = uint64_t(buffer.format.rate) * uint64_t(buffer.pitch);
    uint64_t per = uint64_t(gMixer.output.rate) * 100;
    return ((scaled << CursorFractionBits) + per - 1) / per;
}

// The buffer's factor for each output channel: its gain, its level and the
// master level together.
void ChannelLevels(const PlatSoundBuffer& buffer, int32_t* levels) {
    constexpr int Shift = 8 + 16 + 16 - LevelBits;
    static_assert(SoundBufferFullGain == 1 << 8 && SoundBufferUnityLevel == 1 << 16);
    // Twice unity at most, one short of it so that it fits 16-bit lanes.
    for (int c = 0; c < 2; ++c)
        levels[c] = static_cast<int32_t>(std::min<int64_t>(
            (int64_t{buffer.gain} * buffer.levels[c] * gMixer.masterLevel) >> Shift, INT16_MAX));
}

// Adds up to `frames` output frames of one playing buffer to `sum`.
void MixBuffer(PlatSoundBuffer* buffer, int32_t* sum, uint32_t frames) {
    uint64_t step = CursorStep(*buffer);
    if (!buffer->mixed) {
        // Never filled: silence, but it takes its time like any sound.
        uint64_t end = buffer->fraction + frames * step;
        buffer->fraction = end & (CursorOne - 1);
        Advance(buffer, end >> CursorFractionBits);
        return;
    }
    int32_t levels[2];
    ChannelLevels(*buffer, levels);
    // A step of one frame from a whole frame needs no neighbour and no
    // blending, and keeps the fraction, so the choice holds for the call.
    bool unit = step == CursorOne && buffer->fraction == 0;
    RunFunction run = unit ? Runs<Unit>::For(buffer->format) : Runs<Blended>::For(buffer->format);
    uint64_t reach = unit ? 0 : 1;
    uint32_t done = 0;
    while (done < frames && buffer->playing) {
        uint64_t span = SpanFrames(*buffer);
        if (span == 0) break;  // a streamed buffer the program has not fed in time
        // Output frames whose source frames, with the neighbour, stay in the span.
        uint64_t room = span > reach ? (span - reach) << CursorFractionBits : 0;
        uint64_t count = room > buffer->fraction ? (room - buffer->fraction + step - 1) / step : 0;
        count = std::min<uint64_t>(count, frames - done);
        if (count == 0) {
            MixEdgeFrame(buffer, sum + done * 2, step, levels);
            ++done;
            continue;
        }
        const uint8_t* source = buffer->mixed + buffer->frame * buffer->blockAlign;
        uint64_t end = run(source, buffer->fraction, step, sum + done * 2,
                           static_cast<uint32_t>(count), levels[0], levels[1]);
        buffer->fraction = end & (CursorOne - 1);
        Advance(buffer, end >> CursorFractionBits);
        done += static_cast<uint32_t>(count);
    }
}

// The sum saturated to the output format: 16-bit stereo, what nearly every
// device takes, in a loop of its own.
void WriteBlock(const int32_t* sum, uint32_t frames, uint8_t* out) {
    const PlatPcmFormat& format = gMixer.output;
    if (format.channels == 2 && format.bits == 16) {
        // Packing saturates, eight samples at a time.
        uint32_t i = 0;
        for (; i + 8 <= frames * 2; i += 8) {
            __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sum + i));
            __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sum + i + 4));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * 2), _mm_packs_epi32(low, high));
        }
        for (; i < frames * 2; ++i)
            PutLe16(out + i * 2, static_cast<uint16_t>(std::clamp<int32_t>(sum[i], INT16_MIN, INT16_MAX)));
        return;
    }
    for (uint32_t i = 0; i < frames; ++i) {
        int32_t left = std::clamp<int32_t>(sum[i * 2], INT16_MIN, INT16_MAX);
        int32_t right = std::clamp<int32_t>(sum[i * 2 + 1], INT16_MIN, INT16_MAX);
        int32_t values[2] = {left, right};
        int count = 2;
        if (format.channels == 1) {
            values[0] = (left + right) / 2;
            count = 1;
        }
        for (int c = 0; c < count; ++c) {
            if (format.bits == 8) {
                *out++ = static_cast<uint8_t>((values[c] >> 8) + 128);
            } else {
                *out++ = static_cast<uint8_t>(values[c] & 0xFF);
                *out++ = static_cast<uint8_t>((values[c] >> 8) & 0xFF);
            }
        }
    }
}

}  // namespace

void PlatAudioMix(void* out, uint32_t frames) {
    uint8_t* to = static_cast<uint8_t*>(out);
    uint32_t frameBytes = PlatAudioFrameBytes();
    int32_t sum[MixBlockFrames * 2];
    while (frames > 0) {
        uint32_t block = std::min(frames, MixBlockFrames);
        std::fill_n(sum, block * 2, 0);
        for (PlatSoundBuffer* buffer = gMixer.buffers; buffer; buffer = buffer->next)
            if (buffer->playing) MixBuffer(buffer, sum, block);
        WriteBlock(sum, block, to);
        to += block * frameBytes;
        frames -= block;
    }
}
