// The library's random numbers: MT19937 with the 1998 seeding routine, so a
// given seed always gives the published sequence.
#include "core/core.h"

namespace {

constexpr int StateWords = 624;
constexpr int ShiftOffset = 397;
constexpr uint32_t MatrixA = 0x9908B0DFu;
constexpr uint32_t UpperMask = 0x80000000u;
constexpr uint32_t LowerMask = 0x7FFFFFFFu;
constexpr uint32_t DefaultSeed = 4357;

// Zero at program start: position 0 over an all-zero output table, so draws
// made before the first seeding (static initialisation) are all 0.
struct RandomState {
    uint32_t state[StateWords];   // the generator's words
    uint32_t output[StateWords];  // the current block, tempered
    int position;                 // next output to hand out, 0..624
    int seeded;                   // SeedRandom has run
};

RandomState gRandom;

uint32_t Twist(uint32_t upper, uint32_t lower, uint32_t far) {
    uint32_t y = (upper & UpperMask) | (lower & LowerMask);
    return far ^ (y >> 1) ^ ((y & 1) ? MatrixA : 0);
}

// The whole block at once, so that a draw is an array read.
void GenerateBlock() {
    uint32_t* mt = gRandom.state;
    for (int k = 0; k < StateWords; ++k)
        mt[k] = Twist(mt[k], mt[(k + 1) % StateWords], mt[(k + ShiftOffset) % StateWords]);
    for (int k = 0; k < StateWords; ++k) {
        uint32_t y = mt[k];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        gRandom.output[k] = y;
    }
    gRandom.position = 0;
}

uint32_t NextOutput() {
    if (gRandom.position >= StateWords) {
        if (!gRandom.seeded) SeedRandom(DefaultSeed);
        else GenerateBlock();
    }
    return gRandom.output[gRandom.position++];
}

}  // namespace

int SeedRandom(uint32_t seed) {
    uint32_t x = seed;
    for (uint32_t& word : gRandom.state) {
        word = (x & 0xFFFF0000u) | ((x * 69069u + 1) >> 16);
        x = x * 69069u * 69069u + 69069u + 1;
    }
    gRandom.seeded = 1;
    GenerateBlock();
    return 0;
}

int RandomUpTo(int max) {
    uint64_t range = uint64_t(uint32_t(max)) + 1;
    return static_cast<int>((NextOutput() * range) >> 32);
}
