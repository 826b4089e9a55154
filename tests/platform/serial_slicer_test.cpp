// Serial slicer: line-to-status mapping, tick conversion, scripted line
// changes in and ring samples out, open failures, stopping and reopening.
#include "platform/serial_slicer.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/serial_fakes.h"

namespace skelmar {
namespace {

using test::LineScript;
using test::RingSamples;
using test::Sample;
using test::ScriptedSlicerRig;
using test::WaitUntil;

constexpr uint64_t kStart = 1000000000;  // the scripted clock at Open

TEST(SerialStatus, EachLineHasItsOwnBit) {
  EXPECT_EQ(StatusFromModemBits(0), 0x00);
  EXPECT_EQ(StatusFromModemBits(TIOCM_CTS), 0x10);
  EXPECT_EQ(StatusFromModemBits(TIOCM_DSR), 0x20);
  EXPECT_EQ(StatusFromModemBits(TIOCM_RNG), 0x40);
  EXPECT_EQ(StatusFromModemBits(TIOCM_CD), 0x80);
  EXPECT_EQ(StatusFromModemBits(TIOCM_CTS | TIOCM_DSR | TIOCM_CD), 0xB0);
  EXPECT_EQ(StatusFromModemBits(TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD), 0xF0);
  // Outputs and other bits never show.
  EXPECT_EQ(StatusFromModemBits(TIOCM_DTR | TIOCM_RTS | TIOCM_LE | TIOCM_ST | TIOCM_SR), 0x00);
  EXPECT_EQ(StatusFromModemBits(TIOCM_DTR | TIOCM_DSR), 0x20);
}

TEST(SerialTicks, WholeAndFractionalTicksAddUpWithoutDrift) {
  TickConverter c;
  EXPECT_EQ(c.Convert(1000000000), 1192179u);
  c.Reset();
  // 1 ms is 1192.179 ticks: the fractions add up to whole ticks over time.
  uint64_t sum = 0;
  for (int i = 0; i < 1000; ++i) sum += c.Convert(1000000);
  EXPECT_EQ(sum, 1192179u);

  // Intervals far shorter than a tick: per-interval rounding alone would give 1 each.
  c.Reset();
  sum = 0;
  for (int i = 0; i < 1000000; ++i) sum += c.Convert(1000);
  EXPECT_EQ(sum, 1192179u);

  // Irregular intervals: the sum is always the conversion of the total time.
  c.Reset();
  sum = 0;
  uint64_t total = 0;
  uint64_t x = 12345;
  for (int i = 0; i < 100000; ++i) {
    x = x * 6364136223846793005u + 1442695040888963407u;
    const uint64_t d = (x >> 33) % 3000000;  // up to 3 ms
    total += d;
    sum += c.Convert(d);
    ASSERT_EQ(sum, total * 1192179u / 1000000000u) << "after " << i + 1 << " intervals";
  }

  // Hours-long intervals do not overflow.
  c.Reset();
  EXPECT_EQ(c.Convert(uint64_t{5} * 3600 * 1000000000), uint64_t{5} * 3600 * 1192179);
}

// A slicer on scripted lines with a short start-up probe.
struct SlicerFixture : ::testing::Test {
  ScriptedSlicerRig rig;
  std::atomic<uint32_t> readIndex{0};
  SerialSlicerOptions options = [] {
    SerialSlicerOptions o;
    o.startupProbe = std::chrono::milliseconds(20);
    return o;
  }();

  void SetUp() override { rig.script->now = kStart; }
};

TEST_F(SlicerFixture, LineChangesBecomeEndedStatesWithTheirDurations) {
  rig.script->bits = TIOCM_CTS | TIOCM_CD;
  SerialSlicer slicer("/dev/fake", rig.Services(), options);
  ASSERT_EQ(slicer.Open(&readIndex), 16384);
  rig.script->Add(kStart + 1000000, TIOCM_DSR);
  rig.script->Add(kStart + 1500000, 0);
  rig.script->Add(kStart + 2000000, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD);
  rig.script->Add(kStart + 2000100, TIOCM_RNG);
  rig.script->Add(kStart + 3000000, 0);
  ASSERT_TRUE(rig.script->WaitIdle());
  // 1 ms = 1192.179 ticks; 0.5 ms = 596.0895; carried fractions: .179, .2685,
  // .358, .477 (100 ns = 0.119), .537. A state shorter than a tick still counts.
  const std::vector<Sample> expected = {
      {1192, 0x90}, {596, 0x20}, {596, 0x00}, {0, 0xF0}, {1192, 0x40}};
  EXPECT_EQ(RingSamples(*slicer.ring()), expected);
  EXPECT_EQ(slicer.changes(), 5u);
  EXPECT_TRUE(slicer.capturing());
  slicer.Close();
}

TEST_F(SlicerFixture, StoppingWritesTheStateInProgressAndKeepsTheRing) {
  rig.script->bits = TIOCM_CD;
  SerialSlicer slicer("/dev/fake", rig.Services(), options);
  ASSERT_EQ(slicer.Open(&readIndex), 16384);
  rig.script->Add(kStart + 1000000, 0);
  ASSERT_TRUE(rig.script->WaitIdle());
  {
    std::lock_guard<std::mutex> lock(rig.script->mutex);
    rig.script->now = kStart + 3000000;  // the lines have held for 2 ms when we stop
  }
  slicer.Stop();
  ASSERT_NE(slicer.ring(), nullptr);
  // 1 ms of DCD, then the 2 ms of no lines that were still going on.
  const std::vector<Sample> expected = {{1192, 0x80}, {2384, 0x00}};
  EXPECT_EQ(RingSamples(*slicer.ring()), expected);
  EXPECT_FALSE(slicer.capturing());
  slicer.Close();
  EXPECT_EQ(slicer.ring(), nullptr);
}

TEST_F(SlicerFixture, AWakeUpThatFindsTheSameLinesEndsNothing) {
  rig.script->bits = TIOCM_CTS;
  SerialSlicer slicer("/dev/fake", rig.Services(), options);
  ASSERT_GT(slicer.Open(&readIndex), 0);
  rig.script->Add(kStart + 1000000, TIOCM_CTS);  // a pulse too short to be read
  rig.script->Add(kStart + 2000000, TIOCM_DSR);
  ASSERT_TRUE(rig.script->WaitIdle());
  const std::vector<Sample> expected = {{2384, 0x10}};  // 2 ms = 2384.358 ticks
  EXPECT_EQ(RingSamples(*slicer.ring()), expected);
}

TEST_F(SlicerFixture, ChangesBetweenTwoWaitsAreNotLost) {
  rig.script->bits = TIOCM_CTS;
  SerialSlicer slicer("/dev/fake", rig.Services(), options);
  ASSERT_GT(slicer.Open(&readIndex), 0);
  rig.script->AddAll({{kStart + 1000000, TIOCM_DSR},
                      {kStart + 1500000, 0, /*beforeWait=*/true},  // while the first was handled
                      {kStart + 2000000, TIOCM_CTS}});
  ASSERT_TRUE(rig.script->WaitIdle());
  const std::vector<Sample> expected = {{1192, 0x10}, {596, 0x20}, {596, 0x00}};
  EXPECT_EQ(RingSamples(*slicer.ring()), expected);
}

TEST_F(SlicerFixture, LongStatesAreSplitAndIdleLinesCappedAtOneSecond) {
  rig.script->bits = TIOCM_CTS;
  SerialSlicer slicer("/dev/fake", rig.Services(), options);
  ASSERT_GT(slicer.Open(&readIndex), 0);
  rig.script->Add(kStart + 500000000, 0);           // 0.5 s = 596089 ticks
  rig.script->Add(kStart + 3500000000, TIOCM_CTS);  // 3 s, written as one second
  rig.script->Add(kStart + 3500001000, 0);          // 1 us = 1.193 ticks
  ASSERT_TRUE(rig.script->WaitIdle());
  std::vector<Sample> expected(9, Sample{65535, 0x10});
  expected.push_back({596089 - 9 * 65535, 0x10});
  for (int i = 0; i < 18; ++i) expected.push_back({65535, 0x00});
  expected.push_back({1192179 - 18 * 65535, 0x00});
  expected.push_back({1, 0x10});
  EXPECT_EQ(RingSamples(*slicer.ring()), expected);
}

TEST_F(SlicerFixture, OpenFailuresGiveTheirCodes) {
  {
    rig.openCode = kEdgeErrorBusy;
    SerialSlicer slicer("/dev/fake", rig.Services(), options);
    EXPECT_EQ(slicer.Open(&readIndex), -1);
    EXPECT_STREQ(slicer.lastError(), "/dev/fake: refused");
    EXPECT_EQ(slicer.ring(), nullptr);
  }
  {
    rig.openCode = kEdgeErrorAttach;
    SerialSlicer slicer("/dev/fake", rig.Services(), options);
    EXPECT_EQ(slicer.Open(&readIndex), -2);
    rig.openCode = 0;
  }
  {
    rig.ringFails = true;
    SerialSlicer slicer("/dev/fake", rig.Services(), options);
    EXPECT_EQ(slicer.Open(&readIndex), -3);
    rig.ringFails = false;
    rig.ringThrows = true;
    EXPECT_EQ(slicer.Open(&readIndex), -3);
    EXPECT_EQ(slicer.ring(), nullptr);
    rig.ringThrows = false;
    // The failures released the device: the next open succeeds.
    EXPECT_GT(slicer.Open(&readIndex), 0);
  }
  {
    // A driver that cannot wait for line changes fails its first wait at once.
    rig.script->failWaitErrno = EINVAL;
    SerialSlicer slicer("/dev/fake", rig.Services(), options);
    EXPECT_EQ(slicer.Open(&readIndex), -2);
    EXPECT_NE(std::string(slicer.lastError()).find("cannot wait"), std::string::npos);
    EXPECT_FALSE(slicer.capturing());
    EXPECT_EQ(slicer.ring(), nullptr);
    rig.script->failWaitErrno = 0;
  }
  {
    rig.script->failRead = true;
    SerialSlicer slicer("/dev/fake", rig.Services(), options);
    EXPECT_EQ(slicer.Open(&readIndex), -2);
    rig.script->failRead = false;
  }
  {
    SerialSlicer slicer("/dev/fake", rig.Services(), options);
    ASSERT_GT(slicer.Open(&readIndex), 0);
    EXPECT_EQ(slicer.Open(&readIndex), -1);  // not closed before
    EXPECT_NE(slicer.ring(), nullptr);       // the first open is untouched
  }
}

TEST_F(SlicerFixture, RealTimeRefusalIsToldOnce) {
  rig.realtimeAllowed = false;
  SerialSlicer slicer("/dev/fake", rig.Services(), options);
  ASSERT_GT(slicer.Open(&readIndex), 0);
  slicer.Close();
  ASSERT_GT(slicer.Open(&readIndex), 0);
  EXPECT_EQ(rig.realtimeRequests, 2);
  ASSERT_EQ(rig.notices.size(), 1u);
  EXPECT_NE(rig.notices[0].find("Operation not permitted"), std::string::npos);

  ScriptedSlicerRig allowed;
  SerialSlicer quiet("/dev/fake", allowed.Services(), options);
  ASSERT_GT(quiet.Open(&readIndex), 0);
  EXPECT_EQ(allowed.realtimeRequests, 1);
  EXPECT_TRUE(allowed.notices.empty());
}

TEST_F(SlicerFixture, CloseStopsABlockedThreadAndReopenStartsAFreshRing) {
  rig.script->bits = TIOCM_CD;
  SerialSlicer slicer("/dev/fake", rig.Services(), options);
  ASSERT_GT(slicer.Open(&readIndex), 0);
  rig.script->Add(kStart + 1000000, 0);
  ASSERT_TRUE(rig.script->WaitIdle());  // the thread now blocks in its wait
  EXPECT_EQ(RingSamples(*slicer.ring()).size(), 1u);
  slicer.Close();
  EXPECT_GE(rig.script->interrupts, 1);
  EXPECT_FALSE(slicer.capturing());
  EXPECT_EQ(slicer.ring(), nullptr);
  slicer.Close();  // twice is harmless

  // Reopen later: the first state starts at the reopen, not at the last
  // change, and the fresh ring is written from where the reader stands.
  readIndex.store(16383);
  rig.script->now = kStart + 5000000000;
  rig.script->bits = TIOCM_DSR;
  ASSERT_GT(slicer.Open(&readIndex), 0);
  EXPECT_EQ(slicer.ring()->writeIndex().load(), 16383u);
  rig.script->Add(kStart + 5002000000, TIOCM_CTS);
  rig.script->Add(kStart + 5003000000, TIOCM_DSR);
  ASSERT_TRUE(rig.script->WaitIdle());
  const std::vector<Sample> expected = {{2384, 0x20}, {1192, 0x10}};
  EXPECT_EQ(RingSamples(*slicer.ring(), 16383), expected);
  EXPECT_EQ(slicer.ring()->writeIndex().load(), 1u);  // wrapped
  EXPECT_EQ(slicer.changes(), 2u);
}

TEST_F(SlicerFixture, ALostDeviceStopsTheCaptureAndSaysWhy) {
  rig.script->bits = TIOCM_CTS;
  rig.script->failWhenEmptyErrno = EIO;
  rig.script->Add(kStart + 1000000, 0);
  SerialSlicer slicer("/dev/fake", rig.Services(), options);
  ASSERT_GT(slicer.Open(&readIndex), 0);
  ASSERT_TRUE(WaitUntil([&] { return !slicer.capturing(); }));
  EXPECT_NE(std::string(slicer.lastError()).find("failed"), std::string::npos);
  const std::vector<Sample> expected = {{1192, 0x10}};
  EXPECT_EQ(RingSamples(*slicer.ring()), expected);  // what came before stays readable
  slicer.Close();
  EXPECT_EQ(slicer.ring(), nullptr);
}

TEST_F(SlicerFixture, AFullRingIsNotLappedAndCountsOverruns) {
  options.ringSize = 4;
  rig.script->bits = 0;
  SerialSlicer slicer("/dev/fake", rig.Services(), options);
  ASSERT_EQ(slicer.Open(&readIndex), 4);
  for (int i = 1; i <= 5; ++i)
    rig.script->Add(kStart + uint64_t(i) * 1000000, i % 2 ? TIOCM_CTS : 0);
  ASSERT_TRUE(rig.script->WaitIdle());
  // Three entries fit before the writer would reach the unread entry 0.
  EXPECT_EQ(slicer.ring()->writeIndex().load(), 3u);
  EXPECT_EQ(slicer.overruns(), 2u);
}

}  // namespace
}  // namespace skelmar
