// The random generator against a reference written independently from the
// published description of MT19937 and its 1998 seeding routine.
#include "core/core.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace {

// The textbook generator: seeded word by word, twisted when the words run
// out, tempered one output at a time.
class ReferenceMt {
public:
    explicit ReferenceMt(uint32_t seed) {
        for (uint32_t& word : mt_) {
            word = seed & 0xFFFF0000u;
            seed = 69069 * seed + 1;
            word |= (seed & 0xFFFF0000u) >> 16;
            seed = 69069 * seed + 1;
        }
    }

    uint32_t Next() {
        const uint32_t mag01[2] = {0, 0x9908B0DFu};
        if (index_ >= N) {
            int kk = 0;
            for (; kk < N - M; ++kk) {
                uint32_t y = (mt_[kk] & 0x80000000u) | (mt_[kk + 1] & 0x7FFFFFFFu);
                mt_[kk] = mt_[kk + M] ^ (y >> 1) ^ mag01[y & 1];
            }
            for (; kk < N - 1; ++kk) {
                uint32_t y = (mt_[kk] & 0x80000000u) | (mt_[kk + 1] & 0x7FFFFFFFu);
                mt_[kk] = mt_[kk + (M - N)] ^ (y >> 1) ^ mag01[y & 1];
            }
            uint32_t y = (mt_[N - 1] & 0x80000000u) | (mt_[0] & 0x7FFFFFFFu);
            mt_[N - 1] = mt_[M - 1] ^ (y >> 1) ^ mag01[y & 1];
            index_ = 0;
        }
        uint32_t y = mt_[index_++];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        return y;
    }

private:
    static constexpr int N = 624;
    static constexpr int M = 397;
    uint32_t mt_[N];
    int index_ = N;
};

// RandomUpTo(INT_MAX) is the output's top 31 bits: (w * 2^31) >> 32.
int TopBits(uint32_t output) { return static_cast<int>(output >> 1); }

const uint32_t kFirstFor4357[] = {2867219139u, 1585203162u, 3113124129u, 2953900839u,
                                  2463794868u};

// Declared first so that it also holds when the whole file runs in one process.
TEST(RandomBeforeSeeding, DrawsAreZeroUntilTheFirstBlockThenTheDefaultSeedTakesOver) {
    for (int i = 0; i < 624; ++i) ASSERT_EQ(RandomUpTo(INT_MAX), 0) << "draw " << i;
    EXPECT_EQ(RandomUpTo(INT_MAX), TopBits(kFirstFor4357[0]));
    EXPECT_EQ(RandomUpTo(INT_MAX), TopBits(kFirstFor4357[1]));
}

TEST(RandomSequence, TheReferenceMatchesThePublishedFirstOutputs) {
    ReferenceMt reference(4357);
    for (uint32_t expected : kFirstFor4357) EXPECT_EQ(reference.Next(), expected);
}

TEST(RandomSequence, Seed4357FollowsTheReferenceAcrossSeveralBlocks) {
    ASSERT_EQ(SeedRandom(4357), 0);
    // The older one-step seeding would start with 3510405877.
    int first = RandomUpTo(INT_MAX);
    EXPECT_NE(first, TopBits(3510405877u));
    EXPECT_EQ(first, TopBits(kFirstFor4357[0]));

    ReferenceMt reference(4357);
    reference.Next();
    for (int i = 1; i < 3 * 624 + 5; ++i) ASSERT_EQ(RandomUpTo(INT_MAX), TopBits(reference.Next())) << "draw " << i;
}

TEST(RandomSequence, ReseedingRestartsTheSequence) {
    for (uint32_t seed : {0u, 1u, 123456789u, 0xFFFFFFFFu}) {
        SeedRandom(seed);
        ReferenceMt reference(seed);
        for (int i = 0; i < 700; ++i)
            ASSERT_EQ(RandomUpTo(INT_MAX), TopBits(reference.Next())) << "seed " << seed << " draw " << i;
    }
}

TEST(RandomUpTo, ScalesTheOutputByTheHighHalfOfTheProduct) {
    SeedRandom(20240601);
    ReferenceMt reference(20240601);
    for (int max : {70, 1, 1000, 9}) {
        for (int i = 0; i < 200; ++i) {
            uint64_t expected = (uint64_t(reference.Next()) * uint64_t(max + 1)) >> 32;
            ASSERT_EQ(RandomUpTo(max), static_cast<int>(expected)) << "max " << max;
        }
    }
}

TEST(RandomUpTo, ZeroAlwaysGivesZero) {
    SeedRandom(99);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(RandomUpTo(0), 0);
}

TEST(RandomUpTo, SeventyStaysInRangeAndReachesBothEnds) {
    SeedRandom(7);
    int seen[71] = {};
    for (int i = 0; i < 20000; ++i) {
        int value = RandomUpTo(70);
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 70);
        ++seen[value];
    }
    for (int value = 0; value <= 70; ++value) EXPECT_GT(seen[value], 0) << value;
}

TEST(RandomUpTo, OneGivesBothValuesEvenly) {
    SeedRandom(4357);
    int ones = 0;
    const int draws = 100000;
    for (int i = 0; i < draws; ++i) {
        int value = RandomUpTo(1);
        ASSERT_TRUE(value == 0 || value == 1);
        ones += value;
    }
    // Six standard deviations either side of half.
    EXPECT_NEAR(ones, draws / 2, 950);
}

}  // namespace
