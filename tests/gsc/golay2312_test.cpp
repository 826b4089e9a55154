// Golay (23,12) corrector: syndromes, rotations and every error pattern of up to three bits.
#include "gsc/golay2312.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <vector>

namespace skelmar {
namespace {

constexpr uint32_t kMask = 0x7FFFFF;
constexpr uint32_t kGenerator = 0xC75;

// A codeword made by multiplying a 12-bit message by g(x) over GF(2): an
// independent way to reach members of the cyclic code.
uint32_t MultiplyByGenerator(uint32_t message) {
  uint32_t product = 0;
  for (int i = 0; i < 12; ++i) {
    if ((message >> i) & 1) product ^= kGenerator << i;
  }
  return product & kMask;
}

// Longest cyclic run of error-free positions in a 23-bit pattern.
int LongestCleanRun(uint32_t pattern) {
  int best = 0;
  for (int start = 0; start < 23; ++start) {
    int run = 0;
    while (run < 23 && ((pattern >> ((start + run) % 23)) & 1) == 0) ++run;
    if (run > best) best = run;
  }
  return best;
}

TEST(Golay2312, SyndromeGivesCheckBitsAndVanishesOnCodewords) {
  // Information 0x2C9 carries the check bits 0x203: the start code 0x2032C9.
  EXPECT_EQ(Golay2312::Syndrome(0x2C9), 0x203u << 12);
  EXPECT_EQ(Golay2312::Syndrome(0x2032C9), 0u);
  for (uint32_t m : {1u, 0x555u, 0xABCu, 0xFFFu, 0x800u}) {
    EXPECT_EQ(Golay2312::Syndrome(MultiplyByGenerator(m)), 0u) << m;
  }
  // A pattern confined to the check positions is its own syndrome.
  for (uint32_t e : {1u << 12, 1u << 22, (1u << 13) | (1u << 20), 0x7FF000u}) {
    EXPECT_EQ(Golay2312::Syndrome(0x2032C9 ^ e), e) << std::hex << e;
  }
  EXPECT_EQ(Golay2312::Syndrome(0xFF800000u | 0x2032C9), 0u);  // bits above 22 ignored
  EXPECT_EQ(Golay2312::Syndrome(1) & ~0x7FF000u, 0u);
}

TEST(Golay2312, RotationsWrapWithinTwentyThreeBits) {
  EXPECT_EQ(Golay2312::RotateLeft23(1u << 22, 1), 1u);
  EXPECT_EQ(Golay2312::RotateRight23(1, 1), 1u << 22);
  EXPECT_EQ(Golay2312::RotateLeft23(0x400001, 2), 0x000006u);
  EXPECT_EQ(Golay2312::RotateRight23(0x000006, 2), 0x400001u);
  EXPECT_EQ(Golay2312::RotateLeft23(0xFFFFFFFF, 0), kMask);
  EXPECT_EQ(Golay2312::RotateRight23(0x12345678, 0), 0x12345678u & kMask);
  EXPECT_EQ(Golay2312::RotateLeft23(0x2032C9, 23), 0x2032C9u);
  for (int n = 0; n < 23; ++n) {
    EXPECT_EQ(Golay2312::RotateRight23(Golay2312::RotateLeft23(0x5A1B2C, n), n), 0x5A1B2Cu);
    // A rotated codeword is still a codeword: the code is cyclic.
    EXPECT_EQ(Golay2312::Syndrome(Golay2312::RotateLeft23(0x2032C9, n)), 0u);
  }
}

TEST(Golay2312, ListedExamples) {
  uint32_t errors = 99;
  EXPECT_EQ(Golay2312::Correct(0x2032C9, &errors), 0x2032C9u);
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(Golay2312::Correct(0x2032C9 ^ 0x000001, &errors), 0x2032C9u);
  EXPECT_EQ(errors, 1u);
  // Two errors 11 apart cannot be rotated into the check positions: one is
  // removed by a trial inversion and not counted.
  EXPECT_EQ(Golay2312::Correct(0x2032C9 ^ ((1u << 0) | (1u << 11)), &errors), 0x2032C9u);
  EXPECT_EQ(errors, 1u);
  EXPECT_EQ(Golay2312::Correct(0x2032C9 ^ ((1u << 0) | (1u << 8) | (1u << 16)), &errors),
            0x2032C9u);
  EXPECT_EQ(errors, 2u);
  // Bits above 22 play no part and never come back.
  EXPECT_EQ(Golay2312::Correct(0xFF800000u | 0x2032C9, &errors), 0x2032C9u);
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(Golay2312::Correct(0x80000000u | (0x2032C9 ^ 4), &errors), 0x2032C9u);
  EXPECT_EQ(errors, 1u);
}

TEST(Golay2312, EveryPatternOfUpToThreeErrorsIsCorrectedAndCounted) {
  const std::vector<uint32_t> codewords = {0x2032C9,
                                           0,
                                           kMask,
                                           0x4037EE,
                                           0x5532D1,
                                           MultiplyByGenerator(0x9A5),
                                           MultiplyByGenerator(0x3C3)};
  for (uint32_t codeword : codewords) {
    ASSERT_EQ(Golay2312::Syndrome(codeword), 0u);
    // tally[weight][count]
    int tally[4][4] = {};
    std::vector<uint32_t> patterns = {0};
    for (int a = 0; a < 23; ++a) {
      patterns.push_back(1u << a);
      for (int b = a + 1; b < 23; ++b) {
        patterns.push_back((1u << a) | (1u << b));
        for (int c = b + 1; c < 23; ++c) patterns.push_back((1u << a) | (1u << b) | (1u << c));
      }
    }
    ASSERT_EQ(patterns.size(), 2048u);
    for (uint32_t e : patterns) {
      uint32_t errors = 99;
      ASSERT_EQ(Golay2312::Correct(codeword ^ e, &errors), codeword)
          << std::hex << codeword << " pattern " << e;
      const int weight = std::popcount(e);
      // Patterns that fit in the 11 check positions after a rotation are
      // counted in full; the others lose the trial bit from the count.
      const int expected = (weight == 0 || LongestCleanRun(e) >= 12) ? weight : weight - 1;
      ASSERT_EQ(static_cast<int>(errors), expected) << std::hex << e;
      ++tally[weight][errors];
    }
    EXPECT_EQ(tally[0][0], 1);
    EXPECT_EQ(tally[1][1], 23);
    EXPECT_EQ(tally[2][2], 230);
    EXPECT_EQ(tally[2][1], 23);
    EXPECT_EQ(tally[3][3], 1035);
    EXPECT_EQ(tally[3][2], 736);
  }
}

TEST(Golay2312, RandomWordsGoToTheNearestCodeword) {
  std::vector<uint32_t> all;
  for (uint32_t m = 0; m < 4096; ++m) all.push_back(MultiplyByGenerator(m));
  std::mt19937 rng(2312);
  for (int trial = 0; trial < 300; ++trial) {
    const uint32_t word = static_cast<uint32_t>(rng());
    uint32_t errors = 99;
    const uint32_t result = Golay2312::Correct(word, &errors);
    EXPECT_EQ(result & ~kMask, 0u);
    EXPECT_EQ(Golay2312::Syndrome(result), 0u);
    int best = 99;
    uint32_t nearest = 0;
    for (uint32_t c : all) {
      const int d = std::popcount((word & kMask) ^ c);
      if (d < best) {
        best = d;
        nearest = c;
      }
    }
    EXPECT_LE(best, 3);
    EXPECT_EQ(result, nearest);
    EXPECT_LE(static_cast<int>(errors), best);
    EXPECT_GE(static_cast<int>(errors), best - 1);
  }
}

}  // namespace
}  // namespace skelmar
