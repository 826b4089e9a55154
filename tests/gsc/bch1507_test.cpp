// The data-block word corrector against the transmitter's own encoder.
#include "gsc/bch1507.h"

#include <gtest/gtest.h>

#include <bit>

#include "gsc_encoder.h"

namespace skelmar {
namespace {

TEST(Bch1507, RepairsUpToTwoErrorsAndNeverReturnsAFalseOriginal) {
  for (uint32_t info = 0; info < 128; info += 5) {
    const uint32_t sent = siggen::GscBlockWord(info);
    EXPECT_EQ(Bch1507::Syndrome(sent), 0u);
    for (uint32_t e = 1; e < (1u << 15); ++e) {
      const int weight = std::popcount(e);
      if (weight > 3) continue;
      const int32_t got = Bch1507::Correct(sent ^ e);
      if (weight <= 2) {
        ASSERT_EQ(got, static_cast<int32_t>(sent)) << info << " " << e;
      } else {
        // Three errors: beyond the code, so never the word that was sent.
        ASSERT_NE(got, static_cast<int32_t>(sent)) << info << " " << e;
        if (got >= 0) {
          EXPECT_EQ(Bch1507::Syndrome(static_cast<uint32_t>(got)), 0u);
        }
      }
    }
  }
}

TEST(Bch1507, ThreeWeakErrorsAreRepairedAndSureOnesAreNot) {
  const uint32_t sent = siggen::GscBlockWord(0x5A);
  // Three errors the hard corrector can place in no codeword.
  int bits[3] = {};
  uint32_t received = 0;
  for (bits[2] = 2; bits[2] < 15; ++bits[2]) {
    received = sent ^ (1u << bits[0]) ^ (1u << (bits[1] = bits[2] / 2)) ^ (1u << bits[2]);
    if (bits[1] != bits[0] && Bch1507::Correct(received) < 0) break;
  }
  ASSERT_LT(bits[2], 15);
  uint8_t reliability[15];
  for (uint8_t& r : reliability) r = 64;
  for (const int b : bits) reliability[b] = 12;
  bool soft = false;
  EXPECT_EQ(Bch1507::CorrectSoft(received, reliability, 64, &soft), static_cast<int32_t>(sent));
  EXPECT_TRUE(soft);
  // The same errors on bits the receiver was sure of: no search may claim them.
  for (uint8_t& r : reliability) r = 64;
  EXPECT_EQ(Bch1507::CorrectSoft(received, reliability, 64, &soft), -1);
  EXPECT_FALSE(soft);
}

}  // namespace
}  // namespace skelmar
