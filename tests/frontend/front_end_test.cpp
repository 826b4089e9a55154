// Front end behaviour, edges in and decoder calls out: rate detection, holds,
// busy gating, the two clocks and the reader's index.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "front_rig.h"

namespace skelmar::test {
namespace {

constexpr char kStartCaption[] = " Skelmar - Windows FLEX/POCSAG/Golay Monitor";

// Feeds a 1200 bit/s preamble up to and including the locking sample: the
// first sample counts a run of 0, samples 2..182 count 181 in-window runs.
// Forgets the FLEX and GSC symbols of the preamble.
void LockPocsag1200(FrontRig& rig) {
  rig.FeedAlternating(182, 994);
  ASSERT_EQ(rig.front.shared.pocsagHold, kPocsagHoldOnLock);
  rig.flex.symbols.clear();
  rig.gsc.bits.clear();
}

TEST(RateDetector, Pocsag1200PreambleLocksAtThe181stRunInsideTheWindow) {
  FrontRig rig;
  rig.front.shared.pocsagStatRow = 0;
  rig.FeedAlternating(181, 994);  // 180 runs counted
  EXPECT_STREQ(rig.caption.text(), kStartCaption);
  EXPECT_TRUE(rig.captions.captions.empty());
  EXPECT_EQ(rig.front.shared.pocsagHold, 0);
  EXPECT_EQ(rig.front.shared.pocsagStatRow, 0);
  EXPECT_DOUBLE_EQ(rig.front.dataClock.period, kFlexPeriod1600);

  rig.Feed(994, kLow);  // the 181st run
  ASSERT_EQ(rig.captions.captions, std::vector<std::string>{" Skelmar - POCSAG 1200"});
  EXPECT_STREQ(rig.caption.text(), " Skelmar - POCSAG 1200");
  EXPECT_EQ(rig.front.shared.pocsagStatRow, kRowPocsag1200);
  EXPECT_EQ(rig.front.shared.pocsagHold, 600);
  EXPECT_EQ(rig.front.dataClock.period, 993.0);
  EXPECT_EQ(rig.front.dataClock.gain, 0.025);
  // Both clocks restart at the locking edge, and nothing of that edge is left.
  EXPECT_EQ(rig.front.dataClock.elapsed, 0.0);
  EXPECT_EQ(rig.front.dataClock.phase, 0.0);
  EXPECT_EQ(rig.front.gscClock.elapsed, 0.0);
  EXPECT_EQ(rig.front.gscClock.phase, 0.0);
  EXPECT_TRUE(rig.pocsag.bits.empty());
}

TEST(RateDetector, RelockDuringAHoldKeepsTheClocksAndRearmsTheHold) {
  FrontRig rig;
  LockPocsag1200(rig);
  // The counter restarted at the lock: 180 more runs, then mark the GSC phase.
  rig.FeedAlternating(180, 994, /*startHigh=*/true);
  ASSERT_EQ(rig.captions.captions.size(), 1u);
  ASSERT_GT(rig.front.shared.pocsagHold, 0);
  rig.front.gscClock.phase = 100.0;
  rig.Feed(994, kHigh);
  ASSERT_EQ(rig.captions.captions.size(), 2u);
  EXPECT_EQ(rig.captions.captions[1], " Skelmar - POCSAG 1200");
  // Not cleared: a cleared GSC clock would sit at exactly 0 after this edge.
  EXPECT_GT(rig.front.gscClock.phase, 90.0);
  // Hold 600 at the lock, less the bits delivered after it within the same sample.
  const size_t bitsSinceLock = rig.pocsag.bits.size() - rig.captions.pocsagBitsAt[1];
  EXPECT_EQ(rig.front.shared.pocsagHold, 600 - static_cast<int32_t>(bitsSinceLock));
}

struct RateCase {
  uint16_t run;
  const char* caption;
  int32_t row;
  double period;
};

class RateLock : public ::testing::TestWithParam<RateCase> {};

TEST_P(RateLock, EachRateLocksWithItsCaptionRowAndPeriod) {
  const RateCase c = GetParam();
  FrontRig rig;
  rig.FeedAlternating(181, c.run);
  EXPECT_TRUE(rig.captions.captions.empty());
  rig.Feed(c.run, kLow);
  ASSERT_EQ(rig.captions.captions, std::vector<std::string>{c.caption});
  EXPECT_EQ(rig.front.shared.pocsagStatRow, c.row);
  EXPECT_EQ(rig.front.dataClock.period, c.period);
  EXPECT_EQ(rig.front.shared.pocsagHold, 600);
}

// The innermost run lengths of each window still count.
INSTANTIATE_TEST_SUITE_P(Windows, RateLock,
                         ::testing::Values(RateCase{422, " Skelmar - POCSAG 2400", 3, 496.4},
                                           RateCase{496, " Skelmar - POCSAG 2400", 3, 496.4},
                                           RateCase{570, " Skelmar - POCSAG 2400", 3, 496.4},
                                           RateCase{843, " Skelmar - POCSAG 1200", 4, 993.0},
                                           RateCase{1141, " Skelmar - POCSAG 1200", 4, 993.0},
                                           RateCase{1977, " Skelmar - POCSAG 512", 5, 2327.4},
                                           RateCase{2327, " Skelmar - POCSAG 512", 5, 2327.4},
                                           RateCase{2673, " Skelmar - POCSAG 512", 5, 2327.4}));

TEST(RateDetector, WindowBoundsThemselvesCountForNoRate) {
  for (int run : {421, 571, 842, 1142, 1976, 2674}) {
    SCOPED_TRACE(run);
    FrontRig rig;
    rig.FeedAlternating(400, static_cast<uint16_t>(run));
    EXPECT_TRUE(rig.captions.captions.empty());
    EXPECT_EQ(rig.front.shared.pocsagHold, 0);
  }
}

// Feeds `prefix` (alternating, starting high), then in-window runs one at a
// time; returns how many extra samples it took to lock (0 if none within 400).
int ExtraSamplesToLock(const std::vector<uint16_t>& prefix) {
  FrontRig rig;
  bool high = true;
  for (uint16_t d : prefix) {
    rig.Feed(d, high ? kHigh : kLow);
    high = !high;
  }
  for (int extra = 1; extra <= 400; ++extra) {
    rig.Feed(994, high ? kHigh : kLow);
    high = !high;
    if (!rig.captions.captions.empty()) return extra;
  }
  return 0;
}

TEST(RateDetector, CountersDecayByThreeOnlyAboveFive) {
  // Counter at 5, then an out-of-window run: stays 5, so 176 more runs lock.
  // The first extra sample counts the 300-tick run, the next 176 the good ones.
  EXPECT_EQ(ExtraSamplesToLock({994, 994, 994, 994, 994, 300}), 1 + 176);
  // Counter at 6, then an out-of-window run: 3, so 178 more runs lock.
  EXPECT_EQ(ExtraSamplesToLock({994, 994, 994, 994, 994, 994, 300}), 1 + 178);
}

TEST(RateDetector, BlockedWhileFlexIsBusyOrPocsagIsOffButTakesTheChannelFromGsc) {
  for (int which = 0; which < 2; ++which) {
    SCOPED_TRACE(which);
    FrontRig rig;
    if (which == 0) rig.front.shared.flexBusy = 1;
    if (which == 1) rig.settings.decodePocsag = 0;
    rig.FeedAlternating(400, 994);
    EXPECT_TRUE(rig.captions.captions.empty());
    EXPECT_EQ(rig.front.shared.pocsagHold, 0);
  }
  // A POCSAG preamble while GSC is busy: the lock ends the GSC transmission.
  FrontRig rig;
  rig.front.shared.gscBusy = 1;
  rig.FeedAlternating(400, 994);
  EXPECT_GT(rig.front.shared.pocsagHold, 0);
  EXPECT_EQ(rig.front.shared.gscBusy, 0);
}

TEST(RateDetector, ABlockedSampleJoinsTheRunItInterrupted) {
  // 180 in-window runs, the last one high. Then a low sample while FLEX is
  // busy: the detector does not run, so the run it measures when the next low
  // sample comes spans the high run and the blocked sample (1988 ticks, outside
  // the 1200 window). The counter falls from 180 to 177 and the fifth sample
  // after the block is the one that locks.
  FrontRig rig;
  rig.FeedAlternating(181, 994);
  rig.front.shared.flexBusy = 1;
  rig.Feed(994, kLow);
  rig.front.shared.flexBusy = 0;
  int samples = 0;
  bool high = false;
  while (rig.captions.captions.empty() && samples < 20) {
    rig.Feed(994, high ? kHigh : kLow);
    high = !high;
    ++samples;
  }
  EXPECT_EQ(samples, 5);
  EXPECT_EQ(rig.captions.captions, std::vector<std::string>{" Skelmar - POCSAG 1200"});
}

TEST(RateDetector, ARunTooLongToCountNeverWrapsIntoAWindow) {
  FrontRig rig;
  rig.settings.decodeFlex = 0;  // keep the recording sinks small
  rig.settings.decodeGolay = 0;
  rig.FeedAlternating(181, 994);  // 1200 counter at 180; the last run (high) began with 994
  // Extend that run to 2^32 + 993 ticks: a 32-bit count that wraps would see 993.
  for (int i = 0; i < 65537; ++i) rig.Feed(65535, kHigh);
  rig.Feed(994, kLow);
  EXPECT_TRUE(rig.captions.captions.empty());
  EXPECT_EQ(rig.front.shared.pocsagHold, 0);
}

TEST(PocsagHold, EndsAfter600BitsWithCaptionThenXThenFlexClock) {
  FrontRig rig;
  LockPocsag1200(rig);  // the locking sample was low; stay low so no edge moves the phase
  double periodAtX = 0;
  rig.pocsag.onBit = [&](char ch) {
    if (ch == 'X') periodAtX = rig.front.dataClock.period;
  };
  rig.log.events.clear();
  for (int i = 0; i < 599; ++i) rig.Feed(993, kLow);
  EXPECT_EQ(rig.pocsag.bits, std::vector<char>(599, '1'));
  EXPECT_EQ(rig.front.shared.pocsagHold, 1);
  EXPECT_STREQ(rig.caption.text(), " Skelmar - POCSAG 1200");

  rig.Feed(993, kLow);
  std::vector<char> expected(600, '1');
  expected.push_back('X');
  EXPECT_EQ(rig.pocsag.bits, expected);
  EXPECT_EQ(rig.front.shared.pocsagHold, 0);
  EXPECT_STREQ(rig.caption.text(), " Skelmar");
  ASSERT_GE(rig.log.events.size(), 2u);
  EXPECT_EQ(rig.log.events[rig.log.events.size() - 2], "caption  Skelmar");
  EXPECT_EQ(rig.log.events.back(), "pocsag X");
  EXPECT_EQ(periodAtX, 993.0);  // the FLEX clock is restored after the 'X'
  EXPECT_EQ(rig.front.dataClock.period, 745.1120648545541);
  EXPECT_EQ(rig.front.dataClock.gain, 0.065);

  // Back in FLEX mode: the next symbols go to FLEX, not POCSAG.
  rig.Feed(2000, kLow);
  EXPECT_EQ(rig.pocsag.bits.size(), 601u);
  EXPECT_FALSE(rig.flex.symbols.empty());
}

TEST(PocsagHold, ADecoderRearmingTheHoldKeepsPocsagMode) {
  FrontRig rig;
  LockPocsag1200(rig);
  // A decoder that accepts a codeword on every 100th bit.
  rig.pocsag.onBit = [&](char) {
    if (rig.pocsag.bits.size() % 100 == 0) rig.front.shared.pocsagHold = kPocsagHoldOnCodeword;
  };
  for (int i = 0; i < 1000; ++i) rig.Feed(993, kLow);
  EXPECT_EQ(rig.pocsag.bits.size(), 1000u);
  // Re-armed to 170 at bit 1000, less the one bit it counts.
  EXPECT_EQ(rig.front.shared.pocsagHold, 169);
  EXPECT_EQ(rig.front.dataClock.period, kPocsagPeriod1200);
}

TEST(PocsagHold, SwitchingPocsagOffHandsTheClockBackToFlexQuietly) {
  FrontRig rig;
  LockPocsag1200(rig);
  rig.settings.decodePocsag = 0;
  rig.front.CancelPocsagHold();
  EXPECT_EQ(rig.front.shared.pocsagHold, 0);
  EXPECT_EQ(rig.front.dataClock.period, kFlexPeriod1600);
  EXPECT_EQ(rig.front.dataClock.gain, kFlexAcquireGain);
  EXPECT_TRUE(rig.pocsag.bits.empty());  // no 'X'
  EXPECT_STREQ(rig.caption.text(), " Skelmar - POCSAG 1200");
  // FLEX symbols at the FLEX rate: 7451 ticks hold ten of them.
  rig.Feed(7451, kLow);
  EXPECT_EQ(rig.flex.symbols, std::vector<int>(10, 0));

  // In FLEX mode it leaves the clock alone (a FLEX frame may have set 3200).
  rig.front.dataClock.period = kFlexPeriod3200;
  rig.front.CancelPocsagHold();
  EXPECT_EQ(rig.front.dataClock.period, kFlexPeriod3200);
}

TEST(BusyFlags, GscBusyHoldsPocsagBitsAndTheCountdownButNotGscBits) {
  FrontRig rig;
  LockPocsag1200(rig);
  rig.front.shared.gscBusy = 1;
  for (int i = 0; i < 100; ++i) rig.Feed(993, kLow);
  EXPECT_TRUE(rig.pocsag.bits.empty());
  EXPECT_EQ(rig.front.shared.pocsagHold, 600);
  // GSC clock from 0 with a fixed phase: floor((99300 + 993.48) / 1986.97) = 50 bits of level 0.
  EXPECT_EQ(rig.gsc.bits, std::vector<int>(50, 0));

  rig.front.shared.gscBusy = 0;
  rig.Feed(993, kLow);
  EXPECT_EQ(rig.pocsag.bits, std::vector<char>{'1'});
  EXPECT_EQ(rig.front.shared.pocsagHold, 599);
}

TEST(BusyFlags, FlexListensWhileGscIsBusyAndFlexBusyStopsGscBits) {
  FrontRig gscBusy;
  gscBusy.front.shared.gscBusy = 1;
  FrontRig flexBusy;
  flexBusy.front.shared.flexBusy = 1;
  for (FrontRig* rig : {&gscBusy, &flexBusy}) rig->FeedAlternating(300, 1500);
  // FLEX hears the symbols for its sync; without one, GSC keeps the channel.
  EXPECT_EQ(gscBusy.front.shared.gscBusy, 1);
  EXPECT_GT(gscBusy.gsc.bits.size(), 200u);  // 450000 ticks at ~1987 per bit
  EXPECT_TRUE(flexBusy.gsc.bits.empty());
  EXPECT_EQ(flexBusy.front.gscClock.logIndex, 0);
  EXPECT_GT(flexBusy.flex.symbols.size(), 550u);  // 450000 ticks at ~745 per symbol
}

TEST(BusyFlags, DecodeGolayOffDropsGscBitsUnlogged) {
  FrontRig rig;
  rig.settings.decodeGolay = 0;
  rig.FeedAlternating(100, 2000);
  EXPECT_TRUE(rig.gsc.bits.empty());
  EXPECT_EQ(rig.front.gscClock.logIndex, 0);
}

TEST(Clocks, OnlyChangesBetweenTheHalvesCorrectThePhase) {
  FrontRig rig;
  rig.settings.fourLevelInterface = 1;
  rig.Feed(100, kFourLevel[1]);  // binary 1 after the reset's 0: corrects
  // elapsed 100, error 100: data phase 0.065 * 100, GSC phase 0.05 * 100.
  EXPECT_DOUBLE_EQ(rig.front.dataClock.phase, 6.5);
  EXPECT_DOUBLE_EQ(rig.front.gscClock.phase, 5.0);
  rig.Feed(100, kFourLevel[0]);  // 1 -> 0: same half
  EXPECT_DOUBLE_EQ(rig.front.dataClock.phase, 6.5);
  EXPECT_DOUBLE_EQ(rig.front.gscClock.phase, 5.0);
  rig.Feed(100, kFourLevel[2]);  // 0 -> 2: crosses
  EXPECT_DOUBLE_EQ(rig.front.dataClock.phase, 6.5 + 0.065 * (300 - 6.5));
  EXPECT_DOUBLE_EQ(rig.front.gscClock.phase, 5.0 + 0.05 * (300 - 5.0));
  const double data = rig.front.dataClock.phase;
  const double gsc = rig.front.gscClock.phase;
  rig.Feed(90, kFourLevel[3]);  // 2 -> 3: same half (and still short of a symbol)
  EXPECT_DOUBLE_EQ(rig.front.dataClock.phase, data);
  EXPECT_DOUBLE_EQ(rig.front.gscClock.phase, gsc);
  EXPECT_DOUBLE_EQ(rig.front.dataClock.lastError, 390 - data);
  EXPECT_TRUE(rig.flex.symbols.empty());
}

TEST(Clocks, AZeroLengthSampleAddsNoTimeButStillCorrects) {
  FrontRig rig;
  rig.Feed(100, kHigh);  // binary 0, as after the reset: no correction
  EXPECT_EQ(rig.front.dataClock.phase, 0.0);
  rig.Feed(0, kLow);
  EXPECT_DOUBLE_EQ(rig.front.dataClock.elapsed, 100.0);
  EXPECT_DOUBLE_EQ(rig.front.dataClock.phase, 0.065 * 100);
  EXPECT_DOUBLE_EQ(rig.front.gscClock.phase, 0.05 * 100);
}

TEST(Clocks, GscThresholdIsFixedForTheWholeSample) {
  FrontRig rig;
  for (double& e : rig.front.gscClock.errorLog) e = 2000.0;  // recentring adds 1000
  bool recentred = false;
  rig.gsc.onBit = [&](int) {
    if (!recentred) rig.front.gscClock.RecenterPhase();
    recentred = true;
  };
  // 5961 ticks hold three GSC periods past the first half period: three bits,
  // although the phase moves by 1000 after the first.
  rig.Feed(5961, kHigh);
  EXPECT_EQ(rig.gsc.bits, std::vector<int>(3, 1));
  EXPECT_DOUBLE_EQ(rig.front.gscClock.phase, 1000.0);
  // From the next sample on the new phase counts: 0.1 + 1000 is short of 1993.5.
  rig.Feed(1000, kHigh);
  EXPECT_EQ(rig.gsc.bits.size(), 3u);
  rig.Feed(1000, kHigh);
  EXPECT_EQ(rig.gsc.bits.size(), 4u);
}

TEST(Clocks, DecodeFlexOffDeliversAndLogsNothingYetKeepsThePhase) {
  std::mt19937 rng(7);
  std::vector<int> levels(3000);
  for (int& l : levels) l = static_cast<int>(rng() % 2) * 3;
  const std::vector<PulseSample> samples = OneSymbolPerSample(levels);
  FrontRig on;
  FrontRig off;
  off.settings.decodeFlex = 0;
  on.Feed(samples);
  off.Feed(samples);
  EXPECT_EQ(on.flex.symbols.size(), levels.size());
  EXPECT_TRUE(off.flex.symbols.empty());
  EXPECT_EQ(off.front.dataClock.logIndex, 0);
  for (double e : off.front.dataClock.errorLog) EXPECT_EQ(e, 0.0);
  EXPECT_NE(on.front.dataClock.phase, 0.0);
  EXPECT_DOUBLE_EQ(off.front.dataClock.phase, on.front.dataClock.phase);
}

TEST(Clocks, RecenterAddsHalfTheMeanOfAll64Slots) {
  SymbolClock clock;
  clock.phase = 10;
  clock.errorLog[5] = 128;  // the other 63 slots are still 0 and count
  clock.RecenterPhase();
  EXPECT_DOUBLE_EQ(clock.phase, 11.0);
  for (int i = 0; i < 64; ++i) clock.errorLog[i] = i + 1;  // mean 32.5
  clock.RecenterPhase();
  EXPECT_DOUBLE_EQ(clock.phase, 11.0 + 16.25);
}

TEST(Clocks, LoggedErrorsWrapAround64Slots) {
  SymbolClock clock;
  for (int i = 0; i < 65; ++i) {
    clock.lastError = i;
    clock.LogError();
  }
  EXPECT_EQ(clock.logIndex, 1);
  EXPECT_EQ(clock.errorLog[0], 64.0);
  EXPECT_EQ(clock.errorLog[63], 63.0);
}

TEST(Clocks, FlexSymbolsCarryTheirLevelsUnderBothSettings) {
  const std::vector<int> levels = {0, 1, 2, 3, 3, 2, 1, 0, 2, 0, 3, 1};
  FrontRig four;
  four.settings.fourLevelInterface = 1;
  four.Feed(OneSymbolPerSample(levels));
  EXPECT_EQ(four.flex.symbols, levels);

  FrontRig inverted;
  inverted.settings.fourLevelInterface = 1;
  inverted.settings.invertData = 1;
  inverted.Feed(OneSymbolPerSample(levels));
  std::vector<int> flipped;
  for (int l : levels) flipped.push_back(l ^ 3);
  EXPECT_EQ(inverted.flex.symbols, flipped);
}

TEST(NullSinks, SkippedWithoutChangingTheClocks) {
  FrontRig recorded;
  Settings settings;
  ModeCaption caption{settings};
  FrontEnd bare{settings, caption};
  bare.Attach(nullptr, nullptr, nullptr);
  EdgeRing ring{1u << 12};
  EdgeProducer producer{ring, &bare.readIndex()};

  std::vector<PulseSample> samples;
  for (int i = 0; i < 182; ++i) samples.push_back({994, i % 2 == 0 ? kHigh : kLow});
  for (int i = 0; i < 700; ++i) samples.push_back({993, kLow});  // hold runs out
  std::mt19937 rng(3);
  for (int i = 0; i < 500; ++i)
    samples.push_back(
        {static_cast<uint16_t>(300 + rng() % 3000), static_cast<uint8_t>(rng() & 0xF0)});
  recorded.Feed(samples);
  for (const PulseSample& s : samples) {
    producer.Put(s.duration, s.status);
    bare.PollEdges(ring);
  }
  EXPECT_STREQ(caption.text(), recorded.caption.text());
  EXPECT_EQ(bare.shared.pocsagHold, recorded.front.shared.pocsagHold);
  EXPECT_EQ(bare.dataClock.period, recorded.front.dataClock.period);
  EXPECT_EQ(bare.dataClock.phase, recorded.front.dataClock.phase);
  EXPECT_EQ(bare.dataClock.logIndex, recorded.front.dataClock.logIndex);
  EXPECT_EQ(bare.gscClock.phase, recorded.front.gscClock.phase);
  EXPECT_EQ(bare.gscClock.logIndex, recorded.front.gscClock.logIndex);
  EXPECT_EQ(recorded.pocsag.bits.size(), 601u);  // the hold really ran out
}

TEST(CaptionTimeout, CountsDownAndClearsTheCaptionAtZero) {
  FrontRig rig;
  rig.caption.ShowModeTitle(kModePhaseA);
  rig.front.shared.captionTimeout = 2;
  rig.front.CaptionTick();
  EXPECT_EQ(rig.front.shared.captionTimeout, 1);
  EXPECT_STREQ(rig.caption.text(), " Skelmar - FLEX A 1600 2 Level");
  rig.front.CaptionTick();
  EXPECT_EQ(rig.front.shared.captionTimeout, 0);
  EXPECT_STREQ(rig.caption.text(), " Skelmar");
  const size_t changes = rig.captions.captions.size();
  rig.front.CaptionTick();  // nothing left to count
  EXPECT_EQ(rig.captions.captions.size(), changes);
  EXPECT_EQ(rig.front.shared.captionTimeout, 0);
}

TEST(ReadIndex, WrapsFromTheLastEntryToTheFirst) {
  FrontRig rig(5);
  const std::vector<int> levels = {0, 1, 2, 3, 3, 2, 1};
  rig.settings.fourLevelInterface = 1;
  const std::vector<PulseSample> samples = OneSymbolPerSample(levels);
  for (int i = 0; i < 4; ++i) rig.producer.Put(samples[i].duration, samples[i].status);
  rig.front.PollEdges(rig.ring);
  EXPECT_EQ(rig.front.readIndex().load(), 4u);
  for (int i = 4; i < 7; ++i) rig.producer.Put(samples[i].duration, samples[i].status);
  EXPECT_EQ(rig.ring.writeIndex().load(), 2u);
  rig.front.PollEdges(rig.ring);
  EXPECT_EQ(rig.front.readIndex().load(), 2u);
  EXPECT_EQ(rig.flex.symbols, levels);
}

TEST(ReadIndex, ASmallerReopenedRingRestartsAtItsFirstEntry) {
  FrontRig rig(16);
  rig.settings.fourLevelInterface = 1;
  rig.Feed(OneSymbolPerSample({0, 1, 2, 3, 0, 1, 2, 3, 0, 1}));
  ASSERT_EQ(rig.front.readIndex().load(), 10u);
  EdgeRing small(4);
  EdgeProducer producer(small, &rig.front.readIndex());
  EXPECT_EQ(producer.Free(), 3u);
  producer.Put(745, kFourLevel[3]);
  producer.Put(746, kFourLevel[2]);
  rig.front.PollEdges(small);
  EXPECT_EQ(rig.front.readIndex().load(), 2u);
  ASSERT_EQ(rig.flex.symbols.size(), 12u);
  EXPECT_EQ(rig.flex.symbols[10], 3);
  EXPECT_EQ(rig.flex.symbols[11], 2);
}

TEST(ReadIndex, AWriteIndexOutsideTheRingReadsNothing) {
  FrontRig rig(4);
  rig.ring.writeIndex().store(9);
  rig.front.PollEdges(rig.ring);  // must return rather than run round the ring
  EXPECT_EQ(rig.front.readIndex().load(), 0u);
  EXPECT_TRUE(rig.flex.symbols.empty());
}

TEST(ReadIndex, AProducerThreadAndThePollerAgreeOnEverySample) {
  constexpr int kCount = 200000;
  std::mt19937 rng(11);
  std::vector<int> levels(kCount);
  for (int& l : levels) l = static_cast<int>(rng() % 4);
  const std::vector<PulseSample> samples = OneSymbolPerSample(levels);
  FrontRig rig(256);
  rig.settings.fourLevelInterface = 1;
  rig.settings.decodeGolay = 0;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (const PulseSample& s : samples) {
      while (rig.producer.Free() == 0) std::this_thread::yield();
      rig.producer.Put(s.duration, s.status);
    }
    done.store(true);
  });
  while (!done.load()) {
    rig.front.PollEdges(rig.ring);
    std::this_thread::yield();
  }
  writer.join();
  rig.front.PollEdges(rig.ring);
  EXPECT_EQ(rig.producer.overruns(), 0u);
  EXPECT_EQ(rig.flex.symbols, levels);
}

}  // namespace
}  // namespace skelmar::test
