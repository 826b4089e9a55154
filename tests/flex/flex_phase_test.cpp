// FLEX phase buffers: which phases a frame fills, the de-interleave and
// correction of each block, the order of decoding, and the raw ReFLEX line.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "flex_test_support.h"

namespace skelmar::test {
namespace {

using siggen::FlexFrame;
using siggen::FlexPage;

/// Channel-bit mask (bit 31 first on the air) of three check-bit errors whose
/// syndrome matches no pattern of one or two errors: the corrector cannot
/// repair them and must leave the information bits as received.
uint32_t UncorrectableCheckFlips() {
  std::vector<uint32_t> single;
  for (int i = 0; i < 21; ++i) single.push_back(siggen::Bch3121Check(1u << i));
  for (int k = 0; k < 10; ++k) single.push_back(1u << k);
  std::set<uint32_t> correctable(single.begin(), single.end());
  for (size_t i = 0; i < single.size(); ++i) {
    for (size_t j = i + 1; j < single.size(); ++j) correctable.insert(single[i] ^ single[j]);
  }
  for (int x = 0; x < 10; ++x) {
    for (int y = x + 1; y < 10; ++y) {
      for (int z = y + 1; z < 10; ++z) {
        const uint32_t syndrome = (1u << x) | (1u << y) | (1u << z);
        if (correctable.count(syndrome) == 0) return syndrome << 1;  // check bits sit at 10..1
      }
    }
  }
  return 0;
}

FlexFrame WithPages(uint16_t code, const std::vector<std::vector<FlexPage>>& phases) {
  FlexFrame f = FlexFrame::Mode(code);
  for (size_t p = 0; p < phases.size(); ++p) {
    if (!phases[p].empty()) f.words[p] = PhaseWords(phases[p]);
  }
  return f;
}

FlexPage Alpha(uint32_t capcode, const std::string& text) {
  return FlexPage{capcode, false, siggen::kFlexAlphanumeric, text};
}

TEST(FlexPhases, TwoLevelFrameFillsOnlyPhaseA) {
  FlexRig r;
  for (int p = 1; p < 4; ++p) {
    for (int32_t& w : r.flex.phases[p].words) w = 0x123;
  }
  const FlexFrame f =
      WithPages(siggen::kFlexCode1600x2, {{Alpha(1111, "ONE")}, {Alpha(2222, "TWO")}});
  r.Direct(f);
  EXPECT_EQ(r.Texts(), (std::vector<std::string>{"[0001111] A  ALPHA  ONE"}));
  for (int k = 0; k < kFlexFrameWords; ++k) {
    ASSERT_EQ(r.flex.phases[0].words[k], static_cast<int32_t>(f.words[0][k])) << k;
  }
  for (int p = 1; p < 4; ++p) EXPECT_EQ(r.flex.phases[p].words[5], 0x123);
}

TEST(FlexPhases, FourLevelFrameFillsAandBInOrder) {
  FlexRig r;
  r.Direct(WithPages(siggen::kFlexCode1600x4,
                     {{Alpha(1111, "ONE"), Alpha(1112, "UNO")}, {Alpha(2222, "TWO")}}));
  EXPECT_EQ(r.Texts(),
            (std::vector<std::string>{"[0001111] A  ALPHA  ONE", "[0001112] A  ALPHA  UNO",
                                      "[0002222] B  ALPHA  TWO"}));
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex3200][kStatAlpha], 3);
}

TEST(FlexPhases, FastFramesTakeAandBFromTheFirstSymbolOfEachPair) {
  FlexRig r;
  r.Direct(WithPages(siggen::kFlexCode3200x4,
                     {{Alpha(1, "a")}, {Alpha(2, "b")}, {Alpha(3, "c")}, {Alpha(4, "d")}}));
  EXPECT_EQ(r.Texts(),
            (std::vector<std::string>{"[0000001] A  ALPHA  a", "[0000002] B  ALPHA  b",
                                      "[0000003] C  ALPHA  c", "[0000004] D  ALPHA  d"}));
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex6400][kStatAlpha], 4);
}

TEST(FlexPhases, UnknownHeaderFrameFillsAandC) {
  FlexRig r;
  for (int32_t& w : r.flex.phases[1].words) w = 0x77;
  r.Direct(WithPages(0x1234, {{Alpha(5, "left")}, {Alpha(6, "never")}, {Alpha(7, "right")}}));
  EXPECT_EQ(r.Texts(),
            (std::vector<std::string>{"", "UNKNOWN SYNC HEADER : AAAA12341234A6C6A6C6AAAAAAAAEDCB",
                                      "[0000005] A  ALPHA  left", "[0000007] C  ALPHA  right"}));
  EXPECT_EQ(r.flex.phases[1].words[0], 0x77);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 2);
}

TEST(FlexPhases, TwoErrorsAreCorrectedAndThreeAreMarked) {
  FlexRig r;
  FlexFrame f = WithPages(siggen::kFlexCode1600x2, {{Alpha(42, "ABCDEFGHI")}});
  // Words: 0 info, 1 address, 2 vector, 3 header, 4..6 text.
  f.errors[0][4] = 0x80000001u;  // first data bit and the parity bit
  f.errors[0][5] = 0x00300000u;  // two data bits
  const uint32_t flips = UncorrectableCheckFlips();
  ASSERT_NE(flips, 0u);
  f.errors[0][6] = flips;
  r.Direct(f);
  EXPECT_EQ(r.flex.phases[0].words[4], static_cast<int32_t>(f.words[0][4]));
  EXPECT_EQ(r.flex.phases[0].words[5], static_cast<int32_t>(f.words[0][5]));
  EXPECT_EQ(r.flex.phases[0].words[6], static_cast<int32_t>(f.words[0][6]) | 0x400000);
  const std::vector<Row>& rows = r.rig.rows.rows;
  ASSERT_FALSE(rows.empty());
  const Row& line = rows.back();
  const std::string head = "[0000042] A  ALPHA  ";
  // The signature is dropped: "AB" from word 4, "CDE" from word 5, "FGH" from word 6, "I" from 7.
  ASSERT_EQ(line.text, head + "ABCDEFGHI");
  for (size_t k = head.size(); k < line.text.size(); ++k) {
    const bool marked = k >= head.size() + 5 && k < head.size() + 8;
    EXPECT_EQ(line.slots[k], marked ? kSlotBitErrors : kSlotAlphanumeric) << k;
  }
}

TEST(FlexPhases, ReflexFramesAreShownRaw) {
  FlexRig r;
  FlexFrame f = FlexFrame::Mode(siggen::kFlexCodeReflex);
  f.words[0][0] = 0x0ABCDE;
  f.words[0][1] = 'H' | 'I' << 7 | '!' << 14;
  f.words[1][1] = 0;  // empty words write nothing
  f.words[2][1] = 'x' | 'y' << 7 | 'z' << 14;
  f.words[3][2] = 'q' | 'r' << 7 | 's' << 14;
  r.Direct(f);
  // No pages are decoded from a ReFLEX frame; the raw line follows its end.
  // A's word 0 is shown in hexadecimal and then, like every word that is
  // neither empty nor idle, as three 7-bit characters: 0x5E, 0x79, 0x2A.
  ASSERT_EQ(r.rig.rows.rows.size(), 1u);
  const Row& line = r.rig.rows.rows[0];
  EXPECT_EQ(line.text, "[0ABCDE]^y*HI!xyzqrs");
  EXPECT_EQ(line.slots[0], kSlotFlexFormat);
  EXPECT_EQ(line.slots[1], kSlotFlexFormat);
  EXPECT_EQ(line.slots[7], kSlotFlexFormat);
  for (size_t k = 8; k < line.text.size(); ++k) EXPECT_EQ(line.slots[k], kSlotAlphanumeric);
  EXPECT_EQ(r.rig.front.shared.flexBusy, 0);
  EXPECT_DOUBLE_EQ(r.rig.front.dataClock.period, kFlexPeriod1600);
}

TEST(FlexPhases, ReflexLineSkippedForIdleAndColouredWhenMarked) {
  FlexRig r;
  FlexFrame idle = FlexFrame::Mode(siggen::kFlexCodeReflex);
  idle.words[1][0] = 'A' | 'B' << 7 | 'C' << 14;  // only A's word 0 decides
  r.Direct(idle);
  EXPECT_TRUE(r.rig.rows.rows.empty());

  FlexFrame marked = FlexFrame::Mode(siggen::kFlexCodeReflex);
  marked.words[0][0] = 'O' | 'K' << 7 | '.' << 14;
  marked.errors[0][0] = UncorrectableCheckFlips();
  r.Direct(marked);
  ASSERT_EQ(r.rig.rows.rows.size(), 1u);
  const Row& line = r.rig.rows.rows[0];
  char hex[16];
  std::snprintf(hex, sizeof hex, "%06X", 0x400000u | ('O' | 'K' << 7 | '.' << 14));
  EXPECT_EQ(line.text, std::string("[") + hex + "]OK.");
  EXPECT_EQ(line.slots[0], kSlotFlexFormat);
  for (size_t k = 1; k < line.text.size(); ++k) EXPECT_EQ(line.slots[k], kSlotBitErrors) << k;
}

}  // namespace
}  // namespace skelmar::test
