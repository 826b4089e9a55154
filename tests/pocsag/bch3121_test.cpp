// BCH(31,21) corrector: tables, exhaustive one- and two-error correction, parity handling.
#include "pocsag/bch3121.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>
#include <vector>

#include "pocsag_encoder.h"

namespace skelmar {
namespace {

constexpr uint32_t kSync = 0x7CD215D8;
constexpr uint32_t kIdle = 0x7A89C197;

// Independent long division by g(x) over the 31 BCH bits of a word (bit 31 .. bit 1).
bool IsCodeword31(uint32_t word) {
  uint32_t reg = word >> 1;  // 31 bits, x^30 .. x^0
  for (int bit = 30; bit >= 10; --bit) {
    if (reg & (1u << bit)) reg ^= 0x769u << (bit - 10);
  }
  return reg == 0;
}

std::string Chars(uint32_t word) {
  std::string s;
  for (int i = 31; i >= 0; --i) s.push_back((word >> i) & 1u ? '1' : '0');
  return s;
}

uint32_t Flip(uint32_t word, int position) { return word ^ (1u << (31 - position)); }

// What the corrector must leave behind: data positions restored, check and parity
// positions exactly as received.
uint32_t Restored(uint32_t original, uint32_t received) {
  constexpr uint32_t kDataMask = 0xFFFFF800u;  // positions 0..20
  return (original & kDataMask) | (received & ~kDataMask);
}

std::vector<uint32_t> SampleCodewords() {
  return {0u,
          kSync,
          kIdle,
          siggen::PocsagAddressWord(1234567, 3),
          siggen::PocsagAddressWord(8, 0),
          siggen::PocsagMessageWord(0xFFFFF),
          siggen::PocsagMessageWord(0x84C33),
          siggen::PocsagCodewordFor(0x1FFFFF)};
}

int CorrectWord(Bch3121& bch, uint32_t word) {
  bch.Load(word);
  return bch.Correct();
}

TEST(Bch3121Tables, BitSyndromesAreThePowersOfXModuloTheGenerator) {
  const uint32_t expected[21] = {0x3B4, 0x1DA, 0x0ED, 0x3C2, 0x1E1, 0x344, 0x1A2,
                                 0x0D1, 0x3DC, 0x1EE, 0x0F7, 0x3CF, 0x253, 0x29D,
                                 0x2FA, 0x17D, 0x30A, 0x185, 0x376, 0x1BB, 0x369};
  const BchTables& t = Bch3121Tables();
  for (int i = 0; i < 21; ++i) EXPECT_EQ(t.bitSyndromes[i], expected[i]) << "position " << i;
  // Entry i is the check pattern of the codeword whose only data 1 is position i.
  for (int i = 0; i < 21; ++i) {
    const uint32_t word = siggen::PocsagCodewordFor(1u << (20 - i));
    EXPECT_EQ((word >> 1) & 0x3FFu, t.bitSyndromes[i]) << "position " << i;
  }
}

TEST(Bch3121Tables, ExactlyTheOneAndTwoErrorSyndromesAreFilled) {
  const BchTables& t = Bch3121Tables();
  EXPECT_EQ(t.syndromeTable[0], 0u);
  int filled = 0;
  for (uint32_t s = 1; s < 1024; ++s) {
    if (t.syndromeTable[s] == 0) continue;
    ++filled;
    const uint32_t e = t.syndromeTable[s];
    EXPECT_EQ(e & 0xC00u, 0u) << "syndrome " << s;
    const uint32_t count = e >> 12;
    EXPECT_TRUE(count == 1 || count == 2) << "syndrome " << s;
    // The packed positions must explain the syndrome up to check-bit errors.
    uint32_t explained = 0;
    int dataErrors = 0;
    for (uint32_t p : {e & 31u, (e >> 5) & 31u}) {
      if (p == 31) continue;
      ASSERT_LT(p, 21u);
      explained ^= t.bitSyndromes[p];
      ++dataErrors;
    }
    const int checkErrors = std::popcount(explained ^ s);
    EXPECT_EQ(static_cast<uint32_t>(dataErrors + checkErrors), count) << "syndrome " << s;
  }
  EXPECT_EQ(filled, 496);

  const BchTables rebuilt = BuildTable();
  for (int s = 0; s < 1024; ++s) ASSERT_EQ(rebuilt.syndromeTable[s], t.syndromeTable[s]);
  for (int i = 0; i < 21; ++i) ASSERT_EQ(rebuilt.bitSyndromes[i], t.bitSyndromes[i]);
}

TEST(Bch3121, ValidCodewordsPassUntouched) {
  Bch3121 bch;
  for (uint32_t word : SampleCodewords()) {
    ASSERT_TRUE(IsCodeword31(word)) << std::hex << word;
    EXPECT_EQ(CorrectWord(bch, word), 0) << std::hex << word;
    EXPECT_EQ(bch.Word(), word);
    EXPECT_EQ(std::string(bch.codewordBuffer, 32), Chars(word));
  }
}

TEST(Bch3121, EverySingleErrorIsCorrected) {
  Bch3121 bch;
  for (uint32_t word : SampleCodewords()) {
    for (int p = 0; p < 32; ++p) {
      const uint32_t received = Flip(word, p);
      EXPECT_EQ(CorrectWord(bch, received), 1) << std::hex << word << " position " << std::dec << p;
      EXPECT_EQ(bch.Word(), Restored(word, received)) << std::hex << word << " position " << p;
    }
  }
}

TEST(Bch3121, EveryDoubleErrorIsCorrected) {
  Bch3121 bch;
  for (uint32_t word : SampleCodewords()) {
    for (int p = 0; p < 32; ++p) {
      for (int q = p + 1; q < 32; ++q) {
        const uint32_t received = Flip(Flip(word, p), q);
        // Either two BCH bits, or one BCH bit and the parity bit: both count two.
        ASSERT_EQ(CorrectWord(bch, received), 2)
            << std::hex << word << std::dec << " " << p << "," << q;
        ASSERT_EQ(bch.Word(), Restored(word, received))
            << std::hex << word << std::dec << " " << p << "," << q;
      }
    }
  }
}

TEST(Bch3121, TwoBchErrorsPlusParityAreReportedUncorrectableButStillRepaired) {
  Bch3121 bch;
  for (uint32_t word : SampleCodewords()) {
    for (int p = 0; p < 31; ++p) {
      for (int q = p + 1; q < 31; ++q) {
        const uint32_t received = Flip(Flip(Flip(word, p), q), 31);
        ASSERT_EQ(CorrectWord(bch, received), 3)
            << std::hex << word << std::dec << " " << p << "," << q;
        ASSERT_EQ(bch.Word(), Restored(word, received));
      }
    }
  }
}

TEST(Bch3121, ParityOnlyErrorLeavesTheBufferAlone) {
  Bch3121 bch;
  const uint32_t received = Flip(kIdle, 31);
  EXPECT_EQ(CorrectWord(bch, received), 1);
  EXPECT_EQ(bch.Word(), received);
}

TEST(Bch3121, ThreeErrorsAreEitherRefusedUnchangedOrMiscorrectedToANeighbour) {
  Bch3121 bch;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pos(0, 30);
  int refused = 0;
  int miscorrected = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const uint32_t word = SampleCodewords()[static_cast<size_t>(trial) % 8];
    int a = pos(rng), b = pos(rng), c = pos(rng);
    if (a == b || b == c || a == c) continue;
    const uint32_t received = Flip(Flip(Flip(word, a), b), c);
    // Codewords lie at least five apart, so a neighbour can only be two bits away.
    bool neighbour = false;
    uint32_t neighbourWord = 0;
    for (int p = 0; p < 31 && !neighbour; ++p) {
      for (int q = p + 1; q < 31 && !neighbour; ++q) {
        const uint32_t candidate = Flip(Flip(received, p), q);
        if (IsCodeword31(candidate)) {
          neighbour = true;
          neighbourWord = candidate;
        }
      }
    }
    const int result = CorrectWord(bch, received);
    if (!neighbour) {
      ++refused;
      ASSERT_EQ(result, 3);
      ASSERT_EQ(bch.Word(), received);
    } else {
      ++miscorrected;
      ASSERT_GE(result, 2);
      ASSERT_EQ(bch.Word() & 0xFFFFF800u, neighbourWord & 0xFFFFF800u);
    }
  }
  EXPECT_GT(refused, 100);
  EXPECT_GT(miscorrected, 100);
}

TEST(Bch3121, OnlyTheCharacterOneCountsAsABit) {
  Bch3121 bch;
  bch.Load(kIdle);
  // Replace every '0' of the BCH part by other characters: still the same codeword.
  for (int i = 0; i < 31; ++i) {
    if (bch.codewordBuffer[i] == '0') bch.codewordBuffer[i] = (i % 2) ? 'X' : '\0';
  }
  EXPECT_EQ(bch.Correct(), 0);
  // At the parity position only '0' stands for a zero.
  Bch3121 zero;
  zero.Load(0);
  zero.codewordBuffer[31] = 'X';
  EXPECT_EQ(zero.Correct(), 1);
}

TEST(BitCounts, CountOnlyTheirOwnWidth) {
  EXPECT_EQ(CountBits10(0), 0);
  EXPECT_EQ(CountBits16(0), 0);
  EXPECT_EQ(CountBits32(0), 0);
  EXPECT_EQ(CountBits10(0xFFFFFFFFu), 10);
  EXPECT_EQ(CountBits16(0xFFFFFFFFu), 16);
  EXPECT_EQ(CountBits32(0xFFFFFFFFu), 32);
  EXPECT_EQ(CountBits10(0x400u | 0x201u), 2);
  EXPECT_EQ(CountBits16(0x10000u | 0x8001u), 2);
  EXPECT_EQ(CountBits32(kSync), 16);
}

TEST(Bch3121, LoadAndWordRoundTrip) {
  Bch3121 bch;
  bch.Load(kSync);
  EXPECT_EQ(std::string(bch.codewordBuffer, 32), "01111100110100100001010111011000");
  EXPECT_EQ(bch.Word(), kSync);
}

// Soft correction: a received word, and how sure the receiver was of each bit.
struct SoftWord {
  Bch3121 bch;
  SoftWord(uint32_t received, uint8_t sure) {
    bch.Load(received);
    for (uint8_t& r : bch.reliability) r = sure;
  }
};

TEST(Bch3121Soft, ThreeErrorsTheReliabilitiesSingleOutAreRepaired) {
  // Three wrong bits, in data, check and parity positions in turn: the hard
  // corrector gives up; flagged as the least sure bits, they are repaired
  // and the result says the bits came from a soft repair.
  const uint32_t sent = siggen::PocsagAddressWord(123456, 2);
  const int cases[][3] = {{1, 9, 20}, {4, 23, 31}, {0, 21, 30}};
  for (const auto& wrong : cases) {
    uint32_t received = sent;
    for (int p : wrong) received = Flip(received, p);
    SoftWord hard(received, 0);
    Bch3121 plainHard = hard.bch;
    EXPECT_EQ(hard.bch.CorrectSoft(), 3) << "without reliabilities the hard result stands";
    EXPECT_EQ(plainHard.Correct(), 3);
    EXPECT_EQ(hard.bch.Word(), plainHard.Word());

    SoftWord soft(received, 3 * kReliabilityUnit / 2);
    for (int p : wrong) soft.bch.reliability[p] = kReliabilityUnit / 8;
    SoftWord plain = soft;
    EXPECT_EQ(plain.bch.Correct(), 3);
    EXPECT_EQ(soft.bch.CorrectSoft(), Bch3121::kSoftRepair) << wrong[0] << wrong[1] << wrong[2];
    EXPECT_EQ(soft.bch.Word(), sent);
  }
  // Four wrong bits the hard corrector takes for another codeword two bits
  // away: singled out, they give back the codeword sent.
  int miscorrected = 0;
  for (int a = 0; a < 32 && miscorrected < 3; a += 3) {
    for (int b = a + 1; b < 32 && miscorrected < 3; b += 2) {
      for (int c = b + 1; c < 32 && miscorrected < 3; ++c) {
        const int d = (c + 5) % 32;
        if (d == a || d == b || d == c) continue;
        const uint32_t received = Flip(Flip(Flip(Flip(sent, a), b), c), d);
        SoftWord soft(received, 3 * kReliabilityUnit / 2);
        Bch3121 plain = soft.bch;
        if (plain.Correct() >= 3 || plain.Word() == sent) continue;
        ++miscorrected;
        for (int p : {a, b, c, d}) soft.bch.reliability[p] = kReliabilityUnit / 8;
        EXPECT_EQ(soft.bch.CorrectSoft(), Bch3121::kSoftRepair) << a << " " << b << " " << c;
        EXPECT_EQ(soft.bch.Word(), sent) << a << " " << b << " " << c;
      }
    }
  }
  EXPECT_EQ(miscorrected, 3);
}

TEST(Bch3121Soft, SureBitsAreNotRepairedAndHardResultsStand) {
  const uint32_t sent = siggen::PocsagAddressWord(77777, 1);
  uint32_t received = Flip(Flip(Flip(sent, 2), 12), 25);
  // The wrong bits look as sure as the rest: any repair would be a guess.
  SoftWord even(received, kReliabilityUnit);
  Bch3121 plain = even.bch;
  EXPECT_EQ(even.bch.CorrectSoft(), 3);
  plain.Correct();
  EXPECT_EQ(even.bch.Word(), plain.Word()) << "the buffer as the hard corrector leaves it";
  // Flagged, but so weakly that the flips would cost more than the bound.
  SoftWord weak(received, kReliabilityUnit);
  for (int p : {2, 12, 25}) weak.bch.reliability[p] = kReliabilityUnit / 2;
  EXPECT_EQ(weak.bch.CorrectSoft(), 3);
  // Two errors among bits as sure as the rest are the hard corrector's.
  SoftWord two(Flip(Flip(sent, 3), 14), kReliabilityUnit);
  EXPECT_EQ(two.bch.CorrectSoft(), 2);
  EXPECT_EQ(two.bch.Word() & 0xFFFFF800u, sent & 0xFFFFF800u);
  // Two wrong bits that look sure, as a click leaves them, and another
  // codeword four weak flips away: the two-error repair stands unless those
  // four flips weigh no more than two clean symbols.
  uint32_t other = 0;
  for (uint32_t capcode = 0; other == 0; ++capcode) {
    const uint32_t w = siggen::PocsagAddressWord(capcode, 1);
    if (std::popcount(w ^ sent) == 6) other = w;
  }
  int differ[6], n = 0;
  for (int p = 0; p < 32; ++p) {
    if (((other ^ sent) >> (31 - p)) & 1u) differ[n++] = p;
  }
  const uint32_t clicked = Flip(Flip(sent, differ[0]), differ[1]);
  for (const int weakness : {40, 30}) {
    SoftWord click(clicked, 3 * kReliabilityUnit);
    for (int k = 2; k < 6; ++k) click.bch.reliability[differ[k]] = static_cast<uint8_t>(weakness);
    const bool within = 4 * weakness <= 2 * kReliabilityUnit;
    EXPECT_EQ(click.bch.CorrectSoft(), within ? Bch3121::kSoftRepair : 2) << weakness;
    EXPECT_EQ(click.bch.Word(), within ? other : sent) << weakness;
  }
}

TEST(Bch3121Soft, NoiseIsSeldomTakenForACodeword) {
  // Random words with random reliabilities, as noise gives them: the soft
  // search may add only repairs whose flips of unsure bits stay within its
  // bound, so it takes few words the hard corrector gives up on.
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> sure(1, 2 * kReliabilityUnit);
  int hardAccepted = 0, softAccepted = 0;
  constexpr int kWords = 20000;
  for (int n = 0; n < kWords; ++n) {
    SoftWord w(static_cast<uint32_t>(rng()), 0);
    for (uint8_t& r : w.bch.reliability) r = static_cast<uint8_t>(sure(rng));
    Bch3121 hard = w.bch;
    const int hardResult = hard.Correct();
    const int result = w.bch.CorrectSoft();
    if (hardResult < 3) ++hardAccepted;
    if (result != 3) ++softAccepted;
    // What the hard corrector takes stays taken, perhaps as a nearer codeword.
    if (hardResult < 3) {
      EXPECT_NE(result, 3);
    }
    if (result == Bch3121::kSoftRepair) {
      EXPECT_TRUE(IsCodeword31(w.bch.Word()));
      EXPECT_EQ(std::popcount(w.bch.Word()) & 1, 0);
    }
  }
  // Hard correction takes about a quarter of all words (497 of 1024
  // syndromes, half of them with the right parity).
  EXPECT_NEAR(hardAccepted, kWords / 4, kWords / 40);
  EXPECT_LT(softAccepted - hardAccepted, kWords / 10);
}

}  // namespace
}  // namespace skelmar
