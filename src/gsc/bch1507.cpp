// BCH (15,7) corrector: a syndrome table of the 121 patterns of up to two
// errors, built at compile time, and a Chase search over four weak bits.
#include "gsc/bch1507.h"

#include <array>
#include <bit>

#include "pocsag/bch3121.h"

namespace skelmar {

namespace {

constexpr uint32_t Remainder(uint32_t word) {
  for (int b = 14; b >= 8; --b) {
    if ((word >> b) & 1u) word ^= Bch1507::kGenerator << (b - 8);
  }
  return word & 0xFF;
}

// Error pattern of each syndrome, 0 where no pattern of weight 1 or 2 has it
// (the code's distance of 5 makes those 120 syndromes distinct).
constexpr std::array<uint16_t, 256> MakePatterns() {
  std::array<uint16_t, 256> t{};
  for (int i = 0; i < 15; ++i) {
    t[Remainder(1u << i)] = static_cast<uint16_t>(1u << i);
    for (int j = i + 1; j < 15; ++j) {
      t[Remainder((1u << i) | (1u << j))] = static_cast<uint16_t>((1u << i) | (1u << j));
    }
  }
  return t;
}

constexpr std::array<uint16_t, 256> kPatterns = MakePatterns();

constexpr int kChaseBits = 4;

}  // namespace

namespace Bch1507 {

uint32_t Syndrome(uint32_t word) { return Remainder(word & kMask15); }

int32_t Correct(uint32_t word) {
  word &= kMask15;
  const uint32_t s = Remainder(word);
  if (s == 0) return static_cast<int32_t>(word);
  if (kPatterns[s] == 0) return -1;
  return static_cast<int32_t>(word ^ kPatterns[s]);
}

int32_t CorrectSoft(uint32_t word, const uint8_t (&reliability)[15], int bound, bool* soft) {
  word &= kMask15;
  *soft = false;
  const int32_t hard = Correct(word);
  if (hard == static_cast<int32_t>(word)) return hard;
  auto weightOf = [&](uint32_t candidate) {
    int weight = 0;
    for (uint32_t diff = candidate ^ word; diff != 0; diff &= diff - 1) {
      weight += reliability[std::countr_zero(diff)];
    }
    return weight;
  };
  int weakest[kChaseBits];
  WeakestBits(reliability, 15, weakest, kChaseBits);
  // Correct's codeword stands unless a nearer one turns up; without one,
  // only a codeword within the bound is believed.
  int best = hard >= 0 ? weightOf(static_cast<uint32_t>(hard)) : bound + 1;
  int32_t bestWord = hard;
  for (uint32_t subset = 1; subset < (1u << kChaseBits); ++subset) {
    uint32_t trial = word;
    for (int b = 0; b < kChaseBits; ++b) {
      if ((subset >> b) & 1u) trial ^= 1u << weakest[b];
    }
    const int32_t candidate = Correct(trial);
    if (candidate < 0) continue;
    const int weight = weightOf(static_cast<uint32_t>(candidate));
    if (weight < best) {
      best = weight;
      bestWord = candidate;
    }
  }
  *soft = bestWord != hard;
  return bestWord;
}

}  // namespace Bch1507

}  // namespace skelmar
