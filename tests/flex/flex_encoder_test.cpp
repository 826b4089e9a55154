// The FLEX transmitter model checked against known codewords and the frame
// layout, so the end-to-end tests rest on a correct transmitter.
#include "flex_encoder.h"

#include <gtest/gtest.h>

#include <bit>
#include <set>

namespace siggen {
namespace {

uint32_t Nibble(uint32_t w, int k) { return (w >> (4 * k)) & 15u; }

TEST(FlexEncoderBch, ReproducesKnownPocsagCodewords) {
  // The POCSAG sync and idle codewords share this code: data, checks and parity.
  EXPECT_EQ(Bch3121Codeword(0x7CD215D8u >> 11), 0x7CD215D8u);
  EXPECT_EQ(Bch3121Codeword(0x7A89C197u >> 11), 0x7A89C197u);
}

TEST(FlexEncoderBch, CodewordsAreMultiplesOfTheGenerator) {
  // Every codeword polynomial (bits 31..1) must be divisible by the generator,
  // and the whole word has even weight.
  for (uint32_t data : {0x000001u, 0x100000u, 0x155555u, 0x0ABCDEu, 0x1FFFFFu}) {
    uint32_t reg = Bch3121Codeword(data) >> 1;
    for (int bit = 30; bit >= 10; --bit) {
      if (reg & (1u << bit)) reg ^= 0x769u << (bit - 10);
    }
    EXPECT_EQ(reg, 0u) << std::hex << data;
    EXPECT_EQ(std::popcount(Bch3121Codeword(data)) % 2, 0) << std::hex << data;
  }
}

TEST(FlexEncoderBch, MinimumDistanceIsSixWithParity) {
  // Any two distinct single-bit data changes give codewords at least 6 apart.
  std::set<uint32_t> seen;
  for (int i = 0; i < 21; ++i) {
    const uint32_t a = Bch3121Codeword(1u << i);
    EXPECT_GE(std::popcount(a), 6);
    for (int j = i + 1; j < 21; ++j) {
      EXPECT_GE(std::popcount(a ^ Bch3121Codeword(1u << j)), 6);
    }
  }
}

TEST(FlexEncoderWords, InformationBitsGoFirstAndInverted) {
  // The idle word (all information bits 1) is sent as all-zero channel bits.
  EXPECT_EQ(FlexCodeword(0x1FFFFF), 0u);
  // Information bit 0 is the first bit on the air; a 0 there is sent as 1.
  EXPECT_EQ(FlexCodeword(0x1FFFFE) >> 11, 0x100000u);
  EXPECT_EQ(FlexCodeword(0x0FFFFF) >> 11, 0x000001u);
}

TEST(FlexEncoderWords, ChecksumMakesTheNibbleSumFifteen) {
  for (uint32_t v : {0u, 0x1FFFF0u, 0x012340u, 0x100000u, 0x0F0F00u}) {
    const uint32_t w = FlexWithChecksum(v);
    EXPECT_EQ(w & 0x1FFFF0u, v);
    const uint32_t sum =
        Nibble(w, 0) + Nibble(w, 1) + Nibble(w, 2) + Nibble(w, 3) + Nibble(w, 4) + ((w >> 20) & 1u);
    EXPECT_EQ(sum % 16, 15u) << std::hex << v;
  }
}

TEST(FlexEncoderWords, AddressWordsOfShortAndLongCapcodes) {
  EXPECT_EQ(FlexAddressFor(1).first, 0x8001u);
  EXPECT_FALSE(FlexAddressFor(1).isLong);
  EXPECT_EQ(FlexAddressFor(1933312).first, 0x1E0000u);
  EXPECT_EQ(FlexAddressFor(1998849).first, 0x1F0001u);
  const FlexAddressWords lowest = FlexAddressFor(2068481);
  EXPECT_TRUE(lowest.isLong);
  EXPECT_EQ(lowest.first, 1u);
  EXPECT_EQ(lowest.second, 0x1FFFFFu);
  const FlexAddressWords big = FlexAddressFor(123456789);
  EXPECT_TRUE(big.isLong);
  // capcode = (second ^ 0x1FFFFF) * 32768 + first + 2068480
  EXPECT_EQ(((big.second ^ 0x1FFFFFu) << 15) + big.first + 2068480u, 123456789u);
}

TEST(FlexEncoderHeader, SyncPatternAppearsOnceInEveryHeader) {
  // The receiver keeps hunting during the header: the 32-bit marker must not
  // reappear within 4 wrong bits anywhere after the sync.
  for (uint16_t code :
       {kFlexCode1600x2, kFlexCode1600x4, kFlexCode3200x4, kFlexCodeReflex, uint16_t{0x1234}}) {
    for (int cycle = 0; cycle < 16; ++cycle) {
      for (int frame = 0; frame < 128; ++frame) {
        FlexFrame f = FlexFrame::Mode(code);
        f.cycle = cycle;
        f.frame = frame;
        const std::vector<uint8_t> bits = FlexHeaderBits(f);
        ASSERT_EQ(bits.size(), 32u + 64u + 16u + 32u + 40u);
        uint64_t reg = 0;
        std::vector<size_t> hits;
        for (size_t i = 0; i < bits.size(); ++i) {
          reg = (reg << 1) | bits[i];
          const uint32_t high = static_cast<uint32_t>(reg >> 32) & 0xFFFFu;
          const uint32_t low = static_cast<uint32_t>(reg >> 16) & 0xFFFFu;
          if (std::popcount(high ^ 0xA6C6u) + std::popcount(low ^ 0xAAAAu) <= 4) hits.push_back(i);
        }
        ASSERT_EQ(hits.size(), 1u) << code << " " << cycle << " " << frame;
        EXPECT_EQ(hits[0], 95u);
      }
    }
  }
}

TEST(FlexEncoderHeader, ModeCodeSitsBetweenBitSyncAndMarker) {
  FlexFrame f = FlexFrame::Mode(kFlexCode3200x4);
  const std::vector<uint8_t> bits = FlexHeaderBits(f);
  auto field = [&bits](size_t from, int count) {
    uint32_t v = 0;
    for (int k = 0; k < count; ++k) v = (v << 1) | bits[from + k];
    return v;
  };
  EXPECT_EQ(field(16, 16), 0xAAAAu);  // end of the bit sync
  EXPECT_EQ(field(32, 16), 0xDEA0u);
  EXPECT_EQ(field(48, 32), 0xA6C6AAAAu);
  EXPECT_EQ(field(80, 16), 0x215Fu);
}

TEST(FlexEncoderLevels, BlockLengthsFollowRateAndMapping) {
  FlexFrame slow = FlexFrame::Mode(kFlexCode1600x2);
  FlexFrameLevels a = FlexLevels(slow);
  EXPECT_EQ(a.header.size(), 184u);
  EXPECT_EQ(a.blocks.size(), 11u * 256u);
  // Idle words are all-zero channel bits: two-level symbols at level 3.
  for (uint8_t l : a.blocks) ASSERT_EQ(l, 3);

  FlexFrame fast = FlexFrame::Mode(kFlexCode3200x4);
  EXPECT_EQ(FlexLevels(fast).blocks.size(), 11u * 512u);
}

TEST(FlexEncoderLevels, FourLevelSymbolsCarryTwoPhases) {
  // Levels by information bits of (A, B): 0 = (0,0), 1 = (0,1), 2 = (1,1), 3 = (1,0).
  // A's word 0 has all information bits 0, B's is idle (all 1).
  FlexFrame f = FlexFrame::Mode(kFlexCode1600x4);
  f.words[0][0] = 0;  // channel data bits all 1
  const FlexFrameLevels levels = FlexLevels(f);
  // Position 0 of block 0 is bit 0 of codeword 0 of each phase.
  EXPECT_EQ(levels.blocks[0], 1);
  // Position 1 is codeword 1: both idle, information 1 on A and B: level 2.
  EXPECT_EQ(levels.blocks[1], 2);
}

TEST(FlexEncoderLevels, InterleaveSendsBitJOfEachCodewordInGroupJ) {
  FlexFrame f = FlexFrame::Mode(kFlexCode1600x2);
  f.words[0][3] = 0x1FFFFE;  // only the first information bit is 0: channel bit 0 is 1
  const FlexFrameLevels levels = FlexLevels(f);
  const uint32_t cw = FlexCodeword(0x1FFFFE);
  for (int j = 0; j < 32; ++j) {
    const uint8_t expected = ((cw >> (31 - j)) & 1u) ? 0 : 3;
    EXPECT_EQ(levels.blocks[static_cast<size_t>(3 + 8 * j)], expected) << j;
  }
}

TEST(FlexEncoderLayout, FieldsFollowEachOther) {
  FlexPhaseBuilder b;
  b.pages = {FlexPage{1000, false, kFlexAlphanumeric, "AB"},
             FlexPage{3000000, false, kFlexStandardNumeric, "123"}};
  std::array<uint32_t, kFlexWordsPerPhase> w{};
  ASSERT_TRUE(b.Build(w));
  // Block information: address field at 1, vector field at 1 + 3 address words.
  EXPECT_EQ((w[0] >> 8) & 3u, 0u);
  EXPECT_EQ((w[0] >> 10) & 63u, 4u);
  EXPECT_EQ(w[1], 1000u + 32768u);
  // Vector of the short page at 4, of the long page at 5, its second word at 6.
  EXPECT_EQ((w[4] >> 4) & 7u, 5u);
  EXPECT_EQ((w[4] >> 7) & 127u, 7u);   // message field starts after the 3 vector slots
  EXPECT_EQ((w[4] >> 14) & 127u, 2u);  // header + one text word
  // The first text character of a first fragment is a signature the receiver drops.
  EXPECT_EQ((w[7] >> 11) & 3u, 3u);
  EXPECT_EQ((w[8] >> 7) & 127u, uint32_t{'A'});
  EXPECT_EQ((w[8] >> 14) & 127u, uint32_t{'B'});
  // Numeric page of a long address: its single word is the second vector word.
  EXPECT_EQ((w[5] >> 14) & 7u, 0u);
  EXPECT_EQ((w[6] >> 2) & 15u, 1u);
  EXPECT_EQ((w[6] >> 6) & 15u, 2u);
  EXPECT_EQ((w[6] >> 10) & 15u, 3u);
  EXPECT_EQ((w[5] >> 4) & 7u, 3u);
  EXPECT_EQ(w[9], kFlexIdleWord);
}

TEST(FlexEncoderLayout, RefusesPagesThatDoNotFit) {
  FlexPhaseBuilder b;
  b.pages = {FlexPage{1000, false, kFlexAlphanumeric, std::string(300, 'x')}};
  std::array<uint32_t, kFlexWordsPerPhase> w{};
  EXPECT_FALSE(b.Build(w));
}

}  // namespace
}  // namespace siggen
