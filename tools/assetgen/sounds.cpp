// The game's sounds, synthesised: three effects as 16-bit PCM and a music
// loop as IMA ADPCM. The music is written as one period of a periodic
// signal (every note's tail wraps round to the start) whose length fills
// whole ADPCM blocks, so it loops without a click.
#include "assets.h"
#include "writers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr float Tau = 6.2831853f;
constexpr float Rate = float(SampleRate);

// A small deterministic noise source (xorshift).
struct Noise {
    uint32_t state;
    float Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return float(state >> 8) / float(1u << 23) - 1;  // -1..1
    }
};

// One-pole low-pass filter.
struct LowPass {
    float value = 0;
    float Step(float in, float cutoff) {
        float k = 1 - std::exp(-Tau * cutoff / Rate);
        value += (in - value) * k;
        return value;
    }
};

void Normalise(std::vector<float>& samples, float peak) {
    float top = 0;
    for (float s : samples) top = std::max(top, std::fabs(s));
    if (top > 0)
        for (float& s : samples) s *= peak / top;
}

// Short fades at both ends so that an effect starts and stops silently.
void Fade(std::vector<float>& samples, float seconds) {
    size_t n = std::min(samples.size() / 2, size_t(seconds * Rate));
    for (size_t i = 0; i < n; ++i) {
        float g = float(i) / float(n);
        samples[i] *= g;
        samples[samples.size() - 1 - i] *= g;
    }
}

// The cannon's report: a sharp crack, a falling low thump and a burst of
// dark noise.
std::vector<float> Discharge() {
    std::vector<float> out(size_t(0.8f * Rate));
    Noise noise{0x1234567u};
    LowPass body, crackFilter;
    float phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        float t = float(i) / Rate;
        float freq = 45 + 90 * std::exp(-t * 14);
        phase += Tau * freq / Rate;
        float thump = std::sin(phase) * std::exp(-t * 7);
        float n = noise.Next();
        float burst = body.Step(n, 300 + 2500 * std::exp(-t * 18)) * std::exp(-t * 6) * 1.6f;
        float crack = (n - crackFilter.Step(n, 2000)) * std::exp(-t * 90);
        out[i] = thump * 0.9f + burst + crack * 0.6f;
    }
    Normalise(out, 0.9f);
    Fade(out, 0.004f);
    return out;
}

// Treads on stone: a low grinding hum with rattling clicks, short enough to
// be restarted as the cannon keeps moving.
std::vector<float> Movement() {
    std::vector<float> out(size_t(0.16f * Rate));
    Noise noise{0x2468aceu};
    LowPass grind, rumble;
    for (size_t i = 0; i < out.size(); ++i) {
        float t = float(i) / Rate;
        float n = noise.Next();
        float band = grind.Step(n, 900) - rumble.Step(n, 180);
        float clicks = std::pow(0.5f + 0.5f * std::sin(Tau * 38 * t), 8.0f);
        float hum = std::sin(Tau * 62 * t) * 0.35f + std::sin(Tau * 124 * t) * 0.15f;
        out[i] = band * (0.4f + 1.2f * clicks) + hum;
    }
    Normalise(out, 0.6f);
    Fade(out, 0.015f);
    return out;
}

// The blast: a crack, then a long rumble whose brightness falls away, with
// a scatter of debris crackle in the tail.
std::vector<float> Explosion() {
    std::vector<float> out(size_t(1.6f * Rate));
    Noise noise{0x9e3779b9u};
    LowPass roar, deep, crackle;
    float brown = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        float t = float(i) / Rate;
        float n = noise.Next();
        brown = std::clamp(brown * 0.995f + n * 0.05f, -1.0f, 1.0f);
        float body = roar.Step(n, 120 + 3000 * std::exp(-t * 5)) * std::exp(-t * 2.6f) * 2.2f;
        float low = deep.Step(brown, 90) * std::exp(-t * 1.8f) * 3;
        float pop = noise.Next() > 0.997f - 0.002f * std::exp(-t * 3) ? 1.0f : 0.0f;
        float debris = crackle.Step(pop * (n > 0 ? 1.0f : -1.0f), 3000) * std::exp(-t * 2) * 1.5f;
        float punch = std::sin(Tau * (40 + 60 * std::exp(-t * 10)) * t) * std::exp(-t * 8);
        out[i] = body + low + debris + punch;
    }
    Normalise(out, 0.95f);
    Fade(out, 0.003f);
    return out;
}

// ---- music ---------------------------------------------------------------

float NoteFrequency(int midi) { return 440.0f * std::pow(2.0f, float(midi - 69) / 12); }

// Adds a note into the loop at `start` (wrapping round its end).
template <typename Voice>
void AddNote(std::vector<float>& loop, double start, float seconds, Voice voice) {
    size_t length = size_t(seconds * Rate);
    size_t first = size_t(start);
    for (size_t i = 0; i < length; ++i) loop[(first + i) % loop.size()] += voice(float(i) / Rate);
}

std::vector<float> Music() {
    // 16 bars of 4 beats, at about 120 beats a minute, rounded to whole
    // ADPCM blocks so the encoder pads nothing after the last sample.
    const int block = ImaSamplesPerBlock();
    const size_t length = size_t(std::lround(32.0 * Rate / block)) * size_t(block);
    const double beat = double(length) / 64;
    std::vector<float> loop(length, 0);

    // A minor: Am F C G | Am F G E, two bars each, as MIDI notes.
    const int chords[8][3] = {{57, 60, 64}, {53, 57, 60}, {48, 52, 55}, {55, 59, 62},
                              {57, 60, 64}, {53, 57, 60}, {55, 59, 62}, {52, 56, 59}};
    for (int c = 0; c < 8; ++c) {
        double at = c * 8 * beat;
        float span = float(8 * beat / Rate);
        // Pad: soft detuned tones swelling in and out over the two bars.
        for (int note : chords[c]) {
            float f = NoteFrequency(note);
            AddNote(loop, at, span + 0.6f, [=](float t) {
                float env = std::min(t / 0.4f, 1.0f) * Clamp01((span + 0.6f - t) / 0.9f);
                float tone = std::sin(Tau * f * t) + 0.3f * std::sin(Tau * f * 2.003f * t) +
                             0.15f * std::sin(Tau * f * 0.997f * t + 1.3f);
                return tone * env * 0.06f;
            });
        }
        // Bass: the root on beats 1 and 3, a passing note before the change.
        for (int b : {0, 2, 4, 6, 7}) {
            int midi = chords[c][0] - 12 - (b == 7 ? -7 : 0);
            float f = NoteFrequency(midi);
            AddNote(loop, at + b * beat, 0.9f, [=](float t) {
                float env = std::min(t / 0.005f, 1.0f) * std::exp(-t * 3.5f);
                return (std::sin(Tau * f * t) + 0.25f * std::sin(Tau * 2 * f * t)) * env * 0.22f;
            });
        }
        // Plucked arpeggio in eighths, rising and falling through the chord.
        const int pattern[8] = {0, 1, 2, 3, 2, 1, 2, 3};
        for (int e = 0; e < 16; ++e) {
            int step = pattern[e % 8];
            int midi = step < 3 ? chords[c][step] + 12 : chords[c][0] + 24;
            float f = NoteFrequency(midi);
            float accent = e % 4 == 0 ? 1.0f : 0.7f;
            AddNote(loop, at + e * beat / 2, 0.7f, [=](float t) {
                float env = std::min(t / 0.003f, 1.0f) * std::exp(-t * 6);
                float tone = std::sin(Tau * f * t + 0.8f * std::sin(Tau * f * 2 * t) * std::exp(-t * 8));
                return tone * env * 0.075f * accent;
            });
        }
    }
    // Drums: a soft kick on 1 and 3, a brushed snare on 2 and 4, light ticks.
    Noise noise{0x5bd1e995u};
    std::vector<float> hiss(size_t(0.3f * Rate));
    for (float& h : hiss) h = noise.Next();
    for (int b = 0; b < 64; ++b) {
        double at = b * beat;
        if (b % 2 == 0)
            AddNote(loop, at, 0.35f, [](float t) {
                float f = 45 + 80 * std::exp(-t * 30);
                return std::sin(Tau * f * t) * std::exp(-t * 12) * 0.35f;
            });
        else
            AddNote(loop, at, 0.25f, [&hiss](float t) {
                return hiss[size_t(t * Rate)] * std::exp(-t * 18) * 0.06f;
            });
        AddNote(loop, at + beat / 2, 0.05f, [&hiss](float t) {
            float n = hiss[size_t(t * Rate) + 100] - hiss[size_t(t * Rate) + 101];
            return n * std::exp(-t * 90) * 0.05f;
        });
    }
    Normalise(loop, 0.8f);
    return loop;
}

}  // namespace

bool WriteSounds(const std::string& root) {
    bool ok = WriteWavePcm16(AssetPath(root, "wav\\DischargeSound.wav"), Discharge());
    ok = WriteWavePcm16(AssetPath(root, "wav\\MoveSound.wav"), Movement()) && ok;
    ok = WriteWavePcm16(AssetPath(root, "wav\\ExplosionSound.wav"), Explosion()) && ok;
    ok = WriteWaveImaAdpcm(AssetPath(root, "wav\\Music01.wav"), Music()) && ok;
    return ok;
}
