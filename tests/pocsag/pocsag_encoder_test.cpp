// POCSAG transmitter model: codewords, message packing, batch layout, modulation.
#include "pocsag_encoder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace siggen {
namespace {

TEST(PocsagEncoderWords, CheckBitsReproduceTheFixedCodewords) {
  // The sync and idle codewords are valid BCH codewords with even parity.
  EXPECT_EQ(PocsagCodewordFor(kPocsagSyncWord >> 11), kPocsagSyncWord);
  EXPECT_EQ(PocsagCodewordFor(kPocsagIdleWord >> 11), kPocsagIdleWord);
  EXPECT_EQ(PocsagCodewordFor(0), 0u);
}

TEST(PocsagEncoderWords, AddressAndMessageLayout) {
  // Capcode 1234567: address bits 154320 (1234567 >> 3), frame 7.
  const uint32_t address = PocsagAddressWord(1234567, 2);
  EXPECT_EQ(address >> 31, 0u);
  EXPECT_EQ((address >> 13) & 0x3FFFFu, 1234567u >> 3);
  EXPECT_EQ((address >> 11) & 3u, 2u);
  EXPECT_EQ(__builtin_popcount(address) % 2, 0);

  const uint32_t message = PocsagMessageWord(0xABCDE);
  EXPECT_EQ(message >> 31, 1u);
  EXPECT_EQ((message >> 11) & 0xFFFFFu, 0xABCDEu);
  EXPECT_EQ(__builtin_popcount(message) % 2, 0);
}

TEST(PocsagEncoderWords, NumericDigitsGoOutLeastSignificantBitFirstPaddedWithSpaces) {
  PocsagPage page{100, 0, PocsagKind::kNumeric, "123"};
  // 1 = 1000, 2 = 0100, 3 = 1100 on the air, then two spaces (0xC) = 0011 0011.
  const std::vector<uint32_t> chunks = PocsagMessageChunks(page);
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0], 0b10000100110000110011u);

  EXPECT_EQ(PocsagNumericCode('U'), 0xB);
  EXPECT_EQ(PocsagNumericCode(' '), 0xC);
  EXPECT_EQ(PocsagNumericCode('-'), 0xD);
  EXPECT_EQ(PocsagNumericCode(')'), 0xE);
  EXPECT_EQ(PocsagNumericCode('('), 0xF);
  EXPECT_EQ(PocsagNumericCode('x'), 0xA);

  page.text = "123456";  // six digits take two codewords
  EXPECT_EQ(PocsagMessageChunks(page).size(), 2u);
}

TEST(PocsagEncoderWords, AlphaCharactersArePackedContinuously) {
  PocsagEncodeOptions options;
  options.alphaFill = 0;
  PocsagPage page{100, 3, PocsagKind::kAlpha, "A"};
  // 'A' = 1000001, sent 1,0,0,0,0,0,1, then thirteen fill zeros.
  std::vector<uint32_t> chunks = PocsagMessageChunks(page, options);
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0], 0b10000010000000000000u);

  // Three characters take 21 bits: the third straddles into a second codeword,
  // and the fill goes on in character phase.
  page.text = "AAA";
  options.alphaFill = 0x7F;
  chunks = PocsagMessageChunks(page, options);
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0], 0b10000011000001100000u);
  EXPECT_EQ(chunks[1], 0b11111111111111111111u);

  options.alphaTerminator = 0x04;  // 0010000 on the air
  options.alphaFill = 0;
  page.text = "A";
  chunks = PocsagMessageChunks(page, options);
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0], 0b10000010010000000000u);

  page.kind = PocsagKind::kTone;
  EXPECT_TRUE(PocsagMessageChunks(page, options).empty());
}

TEST(PocsagEncoderLayout, AddressesSitInTheirFramesAndBatchesAreWhole) {
  // Frame 5, then frame 2 (must wait for the next batch), then frame 2 again.
  const std::vector<PocsagPage> pages = {
      {8 * 10 + 5, 0, PocsagKind::kNumeric, "12345"},
      {8 * 11 + 2, 1, PocsagKind::kTone, ""},
      {8 * 12 + 2, 2, PocsagKind::kAlpha, "hello"},
  };
  const PocsagTransmission t = EncodePocsag(pages);
  ASSERT_EQ(t.codewords.size() % 17, 0u);
  for (size_t i = 0; i < t.codewords.size(); ++i) {
    const PocsagCodeword& cw = t.codewords[i];
    if (i % 17 == 0) {
      EXPECT_EQ(cw.role, PocsagRole::kSync);
      EXPECT_EQ(cw.word, kPocsagSyncWord);
    } else {
      EXPECT_EQ(cw.slot, static_cast<int>(i % 17) - 1);
      EXPECT_NE(cw.role, PocsagRole::kSync);
    }
    if (cw.role == PocsagRole::kIdle) {
      EXPECT_EQ(cw.word, kPocsagIdleWord);
    }
  }
  for (int p = 0; p < 3; ++p) {
    const size_t a = t.Find(PocsagRole::kAddress, p);
    ASSERT_LT(a, t.codewords.size());
    EXPECT_EQ(t.codewords[a].slot / 2, static_cast<int>(pages[static_cast<size_t>(p)].capcode & 7))
        << "page " << p;
    EXPECT_EQ(t.codewords[a].word, PocsagAddressWord(pages[static_cast<size_t>(p)].capcode,
                                                     pages[static_cast<size_t>(p)].function));
  }
  // The second page waits for the next batch; the third follows it at once.
  EXPECT_EQ(t.Find(PocsagRole::kAddress, 1), 17u + 1 + 4);
  EXPECT_EQ(t.Find(PocsagRole::kAddress, 2), 17u + 1 + 5);
  EXPECT_EQ(t.Count(PocsagRole::kMessage, 0), 1u);
  EXPECT_EQ(t.Count(PocsagRole::kMessage, 1), 0u);
  EXPECT_EQ(t.Count(PocsagRole::kMessage, 2), 2u);
  EXPECT_EQ(t.codewords.back().role, PocsagRole::kIdle);
}

TEST(PocsagEncoderLayout, MessagesRunAcrossBatchesAndEndOnAnIdle) {
  // Frame 7 address in slot 14; a 16-character text needs six codewords, so the
  // message runs into the next batch after a sync codeword.
  const PocsagTransmission t =
      EncodePocsag({{8 * 3 + 7, 0, PocsagKind::kAlpha, "ABCDEFGHIJKLMNOP"}});
  const size_t a = t.Find(PocsagRole::kAddress);
  EXPECT_EQ(a, 15u);
  EXPECT_EQ(t.codewords[a + 1].role, PocsagRole::kMessage);
  EXPECT_EQ(t.codewords[a + 2].role, PocsagRole::kSync);
  EXPECT_EQ(t.Count(PocsagRole::kMessage), 6u);
  EXPECT_EQ(t.codewords.size(), 34u);

  // A message ending on the last slot of a batch gets a whole idle batch after it.
  const PocsagTransmission full = EncodePocsag({{7, 0, PocsagKind::kNumeric, "12345"}});
  EXPECT_EQ(full.codewords[16].role, PocsagRole::kMessage);
  ASSERT_EQ(full.codewords.size(), 34u);
  EXPECT_EQ(full.Count(PocsagRole::kIdle), 30u);

  PocsagEncodeOptions bare;
  bare.endWithIdle = false;
  EXPECT_EQ(EncodePocsag({{7, 0, PocsagKind::kNumeric, "12345"}}, bare).codewords.size(), 17u);
}

TEST(PocsagEncoderBits, PreambleThenCodewordsMostSignificantBitFirst) {
  PocsagEncodeOptions options;
  options.preambleBits = 8;
  const PocsagTransmission t = EncodePocsag({}, options);
  ASSERT_EQ(t.codewords.size(), 17u);
  const std::vector<uint8_t> bits = t.Bits();
  ASSERT_EQ(bits.size(), 8u + 17 * 32);
  const std::vector<uint8_t> preamble(bits.begin(), bits.begin() + 8);
  EXPECT_EQ(preamble, (std::vector<uint8_t>{1, 0, 1, 0, 1, 0, 1, 0}));
  uint32_t sync = 0;
  for (int i = 0; i < 32; ++i) sync = (sync << 1) | bits[8 + static_cast<size_t>(i)];
  EXPECT_EQ(sync, kPocsagSyncWord);
}

TEST(PocsagEncoderBits, ErrorHelpersFlipExactlyWhatTheySay) {
  PocsagTransmission t = EncodePocsag({{16, 0, PocsagKind::kNumeric, "1"}});
  const size_t m = t.Find(PocsagRole::kMessage);
  const uint32_t before = t.codewords[m].word;
  t.FlipBits(m, {0, 31});
  EXPECT_EQ(t.codewords[m].word ^ before, 0x80000001u);
  std::mt19937 rng(3);
  for (int k = 0; k <= 5; ++k) {
    const uint32_t w = t.codewords[m].word;
    t.FlipRandomBits(m, k, rng);
    EXPECT_EQ(__builtin_popcount(t.codewords[m].word ^ w), k);
  }
}

TEST(PocsagModulation, OneIsTheLowLevelAndRunsLastOneBitPeriod) {
  EXPECT_EQ(PocsagLevels({1, 0, 1}), (std::vector<uint8_t>{0, 3, 0}));
  const std::vector<uint8_t> bits = {1, 0, 1, 0, 0, 1};
  for (double rate : {512.0, 1200.0, 2400.0}) {
    const std::vector<PulseSample> samples = ModulatePocsag(bits, rate);
    ASSERT_EQ(samples.size(), 5u);
    const double period = skelmar::kTicksPerSecond / rate;
    const int expectedBits[5] = {1, 1, 1, 2, 1};
    for (size_t i = 0; i < samples.size(); ++i) {
      EXPECT_NEAR(samples[i].duration, expectedBits[i] * period, 1.0) << rate << " " << i;
      // Bit 1 (level 0) leaves the lines released; bit 0 asserts the chosen line.
      EXPECT_EQ(samples[i].status, bits[i == 4 ? 5 : (i == 3 ? 3 : i)] ? 0 : kLineDcd);
    }
  }
}

}  // namespace
}  // namespace siggen
