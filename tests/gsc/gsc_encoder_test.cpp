// The GSC transmitter: code words, address arithmetic, block packing and slot layout.
#include "gsc_encoder.h"

#include <gtest/gtest.h>

#include <bit>
#include <set>

namespace siggen {
namespace {

// Divisibility by the generator, by long division written out here.
bool Divisible(uint32_t word, int bits, uint32_t generator, int degree) {
  for (int b = bits - 1; b >= degree; --b) {
    if ((word >> b) & 1) word ^= generator << (b - degree);
  }
  return (word & ((1u << degree) - 1)) == 0;
}

TEST(GscEncoder, GolayWordsCarryTheInformationFirst) {
  EXPECT_EQ(GscGolayCodeword(0x2C9), 0x2032C9u);  // the start code
  for (uint32_t info : {0u, 1u, 0x123u, 0x800u, 0xFFFu, 0xA5Au}) {
    const uint32_t w = GscGolayCodeword(info);
    EXPECT_EQ(w & 0xFFF, info);
    EXPECT_EQ(w >> 23, 0u);
    EXPECT_TRUE(Divisible(w, 23, 0xC75, 11)) << std::hex << w;
  }
  // The published preamble and address words are codewords of this code;
  // address entry 11 is listed one bit off its codeword.
  for (uint32_t w : {0x4037EEu, 0x07E65Cu, 0x609C7Eu, 0x3F8287u, 0x07A0BFu, 0x039CF3u, 0x0F079Du,
                     0x20F9ECu, 0x3F9618u, 0x71191Fu, 0x5532D1u, 0x28B0A0u, 0x4E8372u}) {
    EXPECT_EQ(GscGolayCodeword(w & 0xFFF), w) << std::hex << w;
  }
  EXPECT_EQ(GscGolayCodeword(0x2B8), 0x26F2B8u);
}

TEST(GscEncoder, BlockWordsFormADoubleErrorCorrectingCode) {
  std::set<uint16_t> words;
  for (uint32_t info = 0; info < 128; ++info) {
    const uint16_t w = GscBlockWord(info);
    EXPECT_EQ(w & 0x7F, info);
    EXPECT_EQ(w >> 15, 0);
    EXPECT_TRUE(Divisible(w, 15, 0x1D1, 8));
    words.insert(w);
  }
  ASSERT_EQ(words.size(), 128u);
  int minimum = 99;
  for (uint16_t a : words) {
    for (uint16_t b : words) {
      if (a != b) minimum = std::min(minimum, std::popcount(static_cast<unsigned>(a ^ b)));
    }
  }
  EXPECT_EQ(minimum, 5);
}

TEST(GscEncoder, AddressOfCapcodeAndFunction) {
  GscAddress a;
  // 657141: T 6, A 57, B 1, C 41 -> entry 7, information 0x123, preamble 3.
  ASSERT_TRUE(GscEncodeAddress(657141, 1, &a));
  EXPECT_EQ(a.first, 0x2D16D3u);
  EXPECT_EQ(a.second, GscGolayCodeword(0x123));
  EXPECT_EQ(a.preambleIndex, 3);
  ASSERT_TRUE(GscEncodeAddress(657141, 2, &a));
  EXPECT_EQ(a.first, 0x2D16D3u);
  EXPECT_EQ(a.second, GscGolayCodeword(0x123 ^ 0xFFF));
  ASSERT_TRUE(GscEncodeAddress(657141, 3, &a));
  EXPECT_EQ(a.first, 0x2D16D3u ^ 0x7FFFFF);
  EXPECT_EQ(a.second, GscGolayCodeword(0x123));
  ASSERT_TRUE(GscEncodeAddress(657141, 4, &a));
  EXPECT_EQ(a.first, 0x2D16D3u ^ 0x7FFFFF);
  EXPECT_EQ(a.second, GscGolayCodeword(0xEDC));
  // 999999: A 99 -> entry 49, q = 4*9 + 2 + 1 = 39, v = 1950 + 49; preamble (9 + 9) mod 10.
  ASSERT_TRUE(GscEncodeAddress(999999, 1, &a));
  EXPECT_EQ(a.first, 0x28B0A0u);
  EXPECT_EQ(a.second, GscGolayCodeword(1999));
  EXPECT_EQ(a.preambleIndex, 8);
  ASSERT_TRUE(GscEncodeAddress(0, 1, &a));
  EXPECT_EQ(a.first, 0x5532D1u);
  EXPECT_EQ(a.second, 0u);
  EXPECT_FALSE(GscEncodeAddress(1000000, 1, &a));
  EXPECT_FALSE(GscEncodeAddress(-1, 1, &a));
  EXPECT_FALSE(GscEncodeAddress(5, 0, &a));
  EXPECT_FALSE(GscEncodeAddress(5, 5, &a));
}

TEST(GscEncoder, NumericAndAlphaPacking) {
  std::vector<uint64_t> n = GscNumericBlocks("0123456789U-)( x");
  ASSERT_EQ(n.size(), 2u);
  const int first[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 13};
  for (int m = 0; m < 12; ++m) EXPECT_EQ((n[0] >> (4 * m)) & 0xF, uint64_t(first[m])) << m;
  EXPECT_EQ((n[0] >> 48) & 0xFF, 1u);  // continuation only
  const int second[12] = {14, 15, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10};
  for (int m = 0; m < 12; ++m) EXPECT_EQ((n[1] >> (4 * m)) & 0xF, uint64_t(second[m])) << m;
  EXPECT_EQ(n[1] >> 48, 0u);

  std::vector<uint64_t> a = GscAlphaBlocks("Hi [A]?! ok");
  ASSERT_EQ(a.size(), 2u);
  const int chars[16] = {40, 41, 0, 59, 33, 61, 31, 1, 0, 47, 43, 63, 63, 63, 63, 63};
  for (int m = 0; m < 8; ++m) EXPECT_EQ((a[0] >> (6 * m)) & 0x3F, uint64_t(chars[m])) << m;
  for (int m = 0; m < 8; ++m) EXPECT_EQ((a[1] >> (6 * m)) & 0x3F, uint64_t(chars[8 + m])) << m;
  EXPECT_EQ(a[0] >> 48, 1u);
  EXPECT_EQ(a[1] >> 48, 0u);
  EXPECT_EQ(GscAlphaBlocks("12345678").size(), 1u);
  EXPECT_EQ(GscAlphaBlocks("").size(), 1u);
}

TEST(GscEncoder, SlotLayout) {
  GscBitWriter w;
  w.AddressSlot(GscAddress{0x2D16D3, 0x056123, 3});
  w.BlockSlot(0x1'0000'0000'0001ull);
  const std::vector<uint8_t>& bits = w.bits();
  ASSERT_EQ(bits.size(), 2u * kGscSlotBits);
  for (int i = 0; i < kGscCommaBits; ++i) EXPECT_EQ(bits[i], (i + 1) % 2);
  for (int k = 0; k < 23; ++k) {
    EXPECT_EQ(bits[28 + 2 * k], (0x2D16D3 >> k) & 1);
    EXPECT_EQ(bits[29 + 2 * k], (0x2D16D3 >> k) & 1);
    EXPECT_EQ(bits[75 + 2 * k], (0x056123 >> k) & 1);
    EXPECT_EQ(bits[76 + 2 * k], (0x056123 >> k) & 1);
  }
  // Block: word 0 holds information bit 0 (set); bit 0 of word w is sample w.
  const uint8_t* block = bits.data() + kGscSlotBits + 1;
  EXPECT_EQ(block[0], 1);
  for (int n = 1; n < 8; ++n) EXPECT_EQ(block[n], 0) << n;
  // Information bit 48 is bit 6 of word 6: sample 8 * 6 + 6.
  EXPECT_EQ(block[54], 1);
  for (int w2 = 0; w2 < 8; ++w2) {
    uint32_t word = 0;
    for (int j = 0; j < 15; ++j) word |= uint32_t{block[8 * j + w2]} << j;
    EXPECT_TRUE(Divisible(word, 15, 0x1D1, 8)) << w2;
  }
}

TEST(GscEncoder, TransmissionRefusesPagesThatCannotShareIt) {
  GscTransmitOptions direct;
  GscTransmitOptions batch;
  batch.batch = true;
  const GscPage a{657141, 1, GscPageKind::kNumeric, "1"};
  const GscPage b{657141, 2, GscPageKind::kTone, ""};
  const GscPage other{100000, 1, GscPageKind::kTone, ""};  // needs preamble 1
  EXPECT_FALSE(EncodeGscTransmission({a}, direct).empty());
  EXPECT_TRUE(EncodeGscTransmission({a, b}, direct).empty());
  EXPECT_FALSE(EncodeGscTransmission({a, b}, batch).empty());
  EXPECT_TRUE(EncodeGscTransmission({a, other}, batch).empty());
  EXPECT_TRUE(EncodeGscTransmission({}, batch).empty());
  std::vector<GscPage> full(8, a);  // 8 x 2 slots
  EXPECT_FALSE(EncodeGscTransmission(full, batch).empty());
  full.push_back(b);
  EXPECT_TRUE(EncodeGscTransmission(full, batch).empty());

  // Lead-in, 18 half-rate preamble words, start code slot, address slot, one block.
  const std::vector<uint8_t> bits = EncodeGscTransmission({a}, direct);
  EXPECT_EQ(bits.size(), size_t(28 + 18 * 46 + 3 * 121));
}

}  // namespace
}  // namespace siggen
