// FLEX sync search: the register, marker and code tolerances, the mode table,
// the unknown-header line, the header countdown and the clock actions.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "flex_test_support.h"

namespace skelmar::test {
namespace {

/// Register bit 1 is sent as level 0, bit 0 as level 3.
void FeedBits(FlexDecoder& d, uint64_t value, int count) {
  for (int b = count - 1; b >= 0; --b) d.PutSymbol(((value >> b) & 1u) ? 0 : 3);
}

/// 16 bits before the code, the code, the marker, the complement.
void FeedSync(FlexDecoder& d, uint16_t code, uint16_t complement, uint32_t marker = 0xA6C6AAAA,
              uint16_t before = 0xAAAA) {
  FeedBits(d, before, 16);
  FeedBits(d, code, 16);
  FeedBits(d, marker, 32);
  FeedBits(d, complement, 16);
}

struct FlexSyncTest : ::testing::Test {
  FlexRig r;
  FlexDecoder& d = r.flex;
  FrontEnd& front = r.rig.front;
};

TEST_F(FlexSyncTest, RegisterKeepsSixtyFourBitsAndHistoryInTheHighHalves) {
  FeedBits(d, 0x1111222233334444ull, 64);
  FeedBits(d, 0x5555, 16);
  EXPECT_EQ(d.syncRegister[0], 0x11112222u);
  EXPECT_EQ(d.syncRegister[1], 0x22223333u);
  EXPECT_EQ(d.syncRegister[2], 0x33334444u);
  EXPECT_EQ(d.syncRegister[3], 0x44445555u);
  // Levels 1 and 2 count like 0 and 3.
  d.PutSymbol(1);
  d.PutSymbol(2);
  EXPECT_EQ(d.syncRegister[3] & 3u, 2u);
}

TEST_F(FlexSyncTest, CleanTwoLevelSyncSetsModeAndStartsTheFrameAfterEightyEightSymbols) {
  d.levelCount = 4;
  d.symbolRate = 3200;
  FeedSync(d, 0x870C, 0x78F3);
  EXPECT_STREQ(r.rig.caption.text(), " Skelmar - FLEX A 1600 2 Level");
  EXPECT_EQ(d.levelCount, 2);
  EXPECT_EQ(d.symbolRate, 1600);
  EXPECT_EQ(d.flexStatRow, 2);
  EXPECT_EQ(d.reflexFrame, 0);
  EXPECT_EQ(front.shared.flexBusy, 1);
  EXPECT_EQ(front.shared.captionTimeout, 20);
  EXPECT_DOUBLE_EQ(front.dataClock.gain, kFlexTrackGain);
  EXPECT_EQ(d.headerCountdown, 88);

  front.dataClock.period = 1.0;  // the frame start sets it again
  for (int i = 0; i < 87; ++i) d.PutSymbol(0);
  EXPECT_EQ(d.blockCountdown, 0);
  d.PutSymbol(0);
  EXPECT_EQ(d.blockCountdown, 11);
  EXPECT_EQ(d.symbolIndex, 0);
  EXPECT_DOUBLE_EQ(front.dataClock.period, kFlexPeriod1600);
  EXPECT_DOUBLE_EQ(front.dataClock.gain, kFlexAcquireGain);
  // The 89th symbol after the sync symbol is the first of block 0.
  d.PutSymbol(3);
  EXPECT_EQ(d.phases[0].bits[0], '0');
  EXPECT_EQ(d.symbolIndex, 1);
}

TEST_F(FlexSyncTest, EveryListedModeCodeSetsItsRow) {
  struct Row {
    uint16_t code, complement;
    const char* caption;
    int levels, rate, statRow, reflex;
  };
  const Row rows[] = {
      {0xB068, 0x4F97, " Skelmar - FLEX AB 1600 4 Level", 4, 1600, 1, 0},
      {0xDEA0, 0x215F, " Skelmar - FLEX ABCD 3200 4 Level", 4, 3200, 0, 0},
      {0x870C, 0x78F3, " Skelmar - FLEX A 1600 2 Level", 2, 1600, 2, 0},
      {0x4C7C, 0xB383, " Skelmar - ReFLEX ABCD 3200 4 Level", 4, 3200, 0, 1},
  };
  for (const Row& row : rows) {
    FlexRig fresh;
    FeedSync(fresh.flex, row.code, row.complement);
    EXPECT_STREQ(fresh.rig.caption.text(), row.caption) << std::hex << row.code;
    EXPECT_EQ(fresh.flex.levelCount, row.levels);
    EXPECT_EQ(fresh.flex.symbolRate, row.rate);
    EXPECT_EQ(fresh.flex.flexStatRow, row.statRow);
    EXPECT_EQ(fresh.flex.reflexFrame, row.reflex);
    EXPECT_TRUE(fresh.rig.rows.rows.empty());
  }
}

TEST_F(FlexSyncTest, FourWrongBitsInMarkerAndCodeStillMatch) {
  // Two wrong in each marker half, two in the code and two in the complement.
  FeedSync(d, 0x870C ^ 0x0101, 0x78F3 ^ 0x8008, 0xA6C6AAAA ^ 0x00110044);
  EXPECT_EQ(d.headerCountdown, 88);
  EXPECT_EQ(front.shared.flexBusy, 1);
  EXPECT_EQ(d.symbolRate, 1600);
}

TEST_F(FlexSyncTest, FiveWrongMarkerBitsAreNoSync) {
  FeedSync(d, 0x870C, 0x78F3, 0xA6C6AAAA ^ 0x01110044);
  EXPECT_EQ(d.headerCountdown, 0);
  EXPECT_EQ(front.shared.flexBusy, 0);
  EXPECT_DOUBLE_EQ(front.dataClock.gain, kFlexAcquireGain);
}

TEST_F(FlexSyncTest, FiveWrongCodeBitsKeepThePreviousModeButStillStartAFrame) {
  d.levelCount = 4;
  d.symbolRate = 1600;
  d.flexStatRow = 1;
  const char* before = r.rig.caption.text();
  const std::string caption = before;
  FeedSync(d, 0x870C ^ 0x0007, 0x78F3 ^ 0x0300);
  EXPECT_EQ(d.headerCountdown, 88);  // the countdown still runs
  EXPECT_EQ(d.levelCount, 4);
  EXPECT_EQ(d.symbolRate, 1600);
  EXPECT_EQ(d.flexStatRow, 1);
  EXPECT_EQ(front.shared.flexBusy, 0);
  EXPECT_EQ(front.shared.captionTimeout, 0);
  EXPECT_EQ(caption, r.rig.caption.text());
  EXPECT_DOUBLE_EQ(front.dataClock.gain, kFlexTrackGain);  // clock actions run anyway
  EXPECT_TRUE(r.rig.rows.rows.empty());                    // not exact complement: no unknown line
}

TEST_F(FlexSyncTest, UnknownCodeWithExactComplementWritesTheHeaderLine) {
  const std::string caption = r.rig.caption.text();
  // Not preceded by bit sync, and the code like no listed one: the marker is
  // taken for noise, so no line, no frame, and the clock is left alone.
  FeedSync(d, 0x1234, 0xEDCB, 0xA6C6AAAA, 0x1234);
  EXPECT_TRUE(r.rig.rows.rows.empty());
  EXPECT_EQ(d.symbolRate, 1600);
  EXPECT_EQ(d.headerCountdown, 0);
  EXPECT_EQ(front.shared.flexBusy, 0);
  EXPECT_DOUBLE_EQ(front.dataClock.gain, kFlexAcquireGain);
  // A real sync right after it is still found and starts its frame.
  FeedSync(d, 0xB068, 0x4F97);
  EXPECT_EQ(d.headerCountdown, 88);
  EXPECT_EQ(d.levelCount, 4);

  // Preceded by bit sync: W0..W3 are 0xAAAA1234 0x1234A6C6 0xA6C6AAAA 0xAAAAEDCB.

  FlexRig other;
  FeedSync(other.flex, 0x1234, 0xEDCB);
  ASSERT_EQ(other.rig.rows.rows.size(), 2u);
  EXPECT_EQ(other.rig.rows.rows[0].text, "");
  const Row& line = other.rig.rows.rows[1];
  EXPECT_EQ(line.text, "UNKNOWN SYNC HEADER : AAAA12341234A6C6A6C6AAAAAAAAEDCB");
  for (int slot : line.slots) EXPECT_EQ(slot, kSlotUnknownSync);
  EXPECT_EQ(other.flex.levelCount, 2);
  EXPECT_EQ(other.flex.symbolRate, 3200);
  EXPECT_EQ(other.flex.flexStatRow, 2);
  EXPECT_EQ(other.flex.reflexFrame, 0);
  EXPECT_EQ(other.rig.front.shared.flexBusy, 1);
  EXPECT_EQ(other.rig.front.shared.captionTimeout, 20);
  EXPECT_EQ(caption, other.rig.caption.text());
}

TEST_F(FlexSyncTest, KnownCodeNeverWritesTheUnknownLine) {
  FeedSync(d, 0xDEA0, 0x215F);
  EXPECT_TRUE(r.rig.rows.rows.empty());
  EXPECT_EQ(d.symbolRate, 3200);
}

TEST_F(FlexSyncTest, SyncDuringTheHeaderRestartsTheCountdown) {
  FeedSync(d, 0x870C, 0x78F3);
  for (int i = 0; i < 5; ++i) d.PutSymbol(i % 2 ? 0 : 3);
  EXPECT_EQ(d.headerCountdown, 83);
  FeedSync(d, 0xB068, 0x4F97);  // its last symbol comes with 4 symbols of header left
  EXPECT_EQ(d.headerCountdown, 88);
  EXPECT_EQ(d.levelCount, 4);
}

TEST_F(FlexSyncTest, SyncInsideTheBlocksIsIgnoredAndTheFrameEndRestoresTheClock) {
  FeedSync(d, 0xDEA0, 0x215F);
  for (int i = 0; i < 88; ++i) d.PutSymbol(3);
  ASSERT_EQ(d.blockCountdown, 11);
  EXPECT_DOUBLE_EQ(front.dataClock.period, kFlexPeriod3200);
  FeedSync(d, 0x870C, 0x78F3);
  EXPECT_EQ(d.headerCountdown, 0);
  EXPECT_EQ(d.symbolRate, 3200);
  // 11 blocks of 512 symbols; 80 already went.
  for (int i = 0; i < 11 * 512 - 80 - 1; ++i) d.PutSymbol(3);
  EXPECT_EQ(d.blockCountdown, 1);
  EXPECT_EQ(front.shared.flexBusy, 1);
  d.PutSymbol(3);
  EXPECT_EQ(d.blockCountdown, 0);
  EXPECT_EQ(front.shared.flexBusy, 0);
  EXPECT_DOUBLE_EQ(front.dataClock.period, kFlexPeriod1600);
  // Hunting again: the next sync is found.
  FeedSync(d, 0x870C, 0x78F3);
  EXPECT_EQ(d.headerCountdown, 88);
}

TEST_F(FlexSyncTest, SyncRecentersTheClockOnAllSixtyFourLogSlots) {
  for (double& e : front.dataClock.errorLog) e = 0;
  front.dataClock.errorLog[5] = 64.0;  // mean 1 over all slots, zeros included
  front.dataClock.errorLog[9] = 128.0;
  front.dataClock.phase = 10.0;
  FeedSync(d, 0x870C, 0x78F3);
  EXPECT_DOUBLE_EQ(front.dataClock.phase, 11.5);
}

}  // namespace
}  // namespace skelmar::test
