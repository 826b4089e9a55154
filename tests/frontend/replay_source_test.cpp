// Replay of recordings into a ring: stream-time advancing, a full ring,
// faults in the file, reopening, and real-time pacing with a scripted clock.
#include "frontend/replay_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "front_rig.h"
#include "frontend/edge_recording.h"

namespace skelmar::test {
namespace {

std::string TextRecording(const std::string& name, const std::vector<PulseSample>& samples) {
  const std::string path = TestFilePath(name);
  EdgeRecordingWriter writer;
  std::string error;
  EXPECT_TRUE(writer.Open(path, EdgeRecordingFormat::kText, &error)) << error;
  for (const PulseSample& s : samples) writer.Write(s);
  EXPECT_TRUE(writer.Close(&error)) << error;
  return path;
}

// Entries between two write-index positions, in order.
std::vector<std::pair<int, int>> Written(const EdgeRing& ring, uint32_t from, uint32_t to) {
  std::vector<std::pair<int, int>> out;
  for (uint32_t i = from; i != to; i = (i + 1) % ring.size()) {
    out.emplace_back(ring.durations()[i], ring.statuses()[i]);
  }
  return out;
}

TEST(ReplaySource, AdvanceWritesTheSamplesThatEndWithinTheStreamTime) {
  const std::string path =
      TextRecording("steps.txt", {{100, 0x80}, {200, 0x00}, {300, 0x80}, {400, 0x00}});
  // A 70000-tick state too: a text line may hold a state longer than one sample.
  {
    std::FILE* f = std::fopen(path.c_str(), "a");
    std::fputs("70000 0x80\n", f);
    std::fclose(f);
  }
  std::atomic<uint32_t> readIndex{0};
  ReplaySource source(path, ReplayPacing::kDrain, 16);
  ASSERT_EQ(source.Open(&readIndex), 16);
  EXPECT_FALSE(source.IsLive());
  const EdgeRing& ring = *source.ring();
  using P = std::vector<std::pair<int, int>>;

  EXPECT_TRUE(source.Advance(250));  // 100 ends at 100; 200 would end at 300
  EXPECT_EQ(Written(ring, 0, ring.writeIndex()), (P{{100, 0x80}}));
  EXPECT_TRUE(source.Advance(50));  // exactly 300
  EXPECT_TRUE(source.Advance(0));
  EXPECT_EQ(Written(ring, 0, ring.writeIndex()), (P{{100, 0x80}, {200, 0x00}}));
  EXPECT_TRUE(source.Advance(1000));  // to 1300: 300 and 400; the long state is still on
  EXPECT_EQ(ring.writeIndex().load(), 4u);
  EXPECT_TRUE(source.Advance(65535));  // to 66835: its first 65535 ticks ended at 66535
  EXPECT_EQ(Written(ring, 4, ring.writeIndex()), (P{{65535, 0x80}}));
  EXPECT_EQ(source.writtenTicks(), 66535u);
  EXPECT_FALSE(source.Advance(10000));  // the rest, 4465, and the end of the file
  EXPECT_EQ(Written(ring, 5, ring.writeIndex()), (P{{4465, 0x80}}));
  EXPECT_FALSE(source.Advance(10000));
  EXPECT_STREQ(source.lastError(), "");
  EXPECT_EQ(source.overruns(), 0u);
}

TEST(ReplaySource, TheSameAdvancesGiveTheSameRing) {
  std::vector<PulseSample> samples;
  std::mt19937 rng(21);
  for (int i = 0; i < 3000; ++i)
    samples.push_back({static_cast<uint16_t>(rng() % 3000), static_cast<uint8_t>(rng())});
  const std::string path = TextRecording("same.txt", samples);
  std::atomic<uint32_t> readA{0};
  std::atomic<uint32_t> readB{0};
  ReplaySource a(path, ReplayPacing::kDrain, 8192);
  ReplaySource b(path, ReplayPacing::kDrain, 8192);
  ASSERT_GT(a.Open(&readA), 0);
  ASSERT_GT(b.Open(&readB), 0);
  std::mt19937 steps(5);
  bool moreA = true;
  bool moreB = true;
  while (moreA || moreB) {
    const uint64_t ticks = steps() % 50000;
    moreA = a.Advance(ticks);
    moreB = b.Advance(ticks);
    ASSERT_EQ(moreA, moreB);
    ASSERT_EQ(a.ring()->writeIndex().load(), b.ring()->writeIndex().load());
    ASSERT_EQ(a.writtenTicks(), b.writtenTicks());
  }
  EXPECT_EQ(Written(*a.ring(), 0, a.ring()->writeIndex()),
            Written(*b.ring(), 0, b.ring()->writeIndex()));
  EXPECT_EQ(a.ring()->writeIndex().load(), 3000u);
}

TEST(ReplaySource, AFullRingHoldsBackSamplesInsteadOfDroppingThem) {
  std::vector<int> levels;
  for (int i = 0; i < 25; ++i) levels.push_back((i * 7 + 3) % 4);
  const std::string path = TextRecording("full.txt", OneSymbolPerSample(levels));
  FrontRig rig;
  rig.settings.fourLevelInterface = 1;
  ReplaySource source(path, ReplayPacing::kDrain, 4);
  ASSERT_EQ(source.Open(&rig.front.readIndex()), 4);
  EXPECT_TRUE(source.Advance(1u << 30));  // all of it is due, three fit
  EXPECT_EQ(source.ring()->writeIndex().load(), 3u);
  int rounds = 0;
  bool more = true;
  while (more) {
    rig.front.PollEdges(*source.ring());
    more = source.Advance(0);
    ASSERT_LT(++rounds, 100);
  }
  rig.front.PollEdges(*source.ring());
  EXPECT_EQ(rig.flex.symbols, levels);
  EXPECT_EQ(source.overruns(), 0u);
}

TEST(ReplaySource, AFaultyRecordingEndsTheReplayWithItsMessage) {
  const std::string path = TestFilePath("faulty.txt");
  WriteFile(path, "100 0x80\n200 0x00\n300 0x1234\n400 0x00\n");
  std::atomic<uint32_t> readIndex{0};
  ReplaySource source(path, ReplayPacing::kDrain);
  ASSERT_GT(source.Open(&readIndex), 0);
  EXPECT_FALSE(source.Advance(100000));
  EXPECT_EQ(source.ring()->writeIndex().load(), 2u);
  EXPECT_NE(std::string(source.lastError()).find(path + ": line 3: status"), std::string::npos)
      << source.lastError();
}

TEST(ReplaySource, OpenFailuresAndReopening) {
  std::atomic<uint32_t> readIndex{0};
  ReplaySource missing(TestFilePath("nothing.txt"), ReplayPacing::kDrain);
  EXPECT_EQ(missing.Open(&readIndex), kEdgeErrorAttach);
  EXPECT_NE(std::string(missing.lastError()).find("nothing.txt: cannot open"), std::string::npos);
  EXPECT_EQ(missing.ring(), nullptr);
  EXPECT_FALSE(missing.Advance(1000));

  const std::string path = TextRecording("reopen.txt", {{100, 0x80}, {100, 0x00}, {100, 0x80}});
  ReplaySource source(path, ReplayPacing::kDrain, 8);
  ASSERT_EQ(source.Open(&readIndex), 8);
  EXPECT_EQ(source.Open(&readIndex), kEdgeErrorBusy);
  source.Close();
  EXPECT_EQ(source.ring(), nullptr);
  // The reader stands at 5 from an earlier ring: the new one starts writing there.
  readIndex.store(5);
  ASSERT_EQ(source.Open(&readIndex), 8);
  EXPECT_FALSE(source.Advance(1000));
  EXPECT_EQ(source.ring()->writeIndex().load(), 0u);  // 5, 6, 7 written
  EXPECT_EQ(source.ring()->durations()[5], 100);
  EXPECT_EQ(source.ring()->statuses()[7], 0x80);
}

// A scripted clock: each wait jumps straight to the requested time, and notes
// what the replay had written by then.
class ScriptedPacer : public ReplayPacer {
 public:
  struct Wait {
    uint64_t now;
    uint64_t until;
    uint32_t written;
  };
  const ReplaySource* source = nullptr;
  std::vector<Wait> waits;
  void Start() override { now_ = 0; }
  uint64_t NowTicks() override { return now_; }
  bool WaitUntil(uint64_t ticks) override {
    waits.push_back({now_, ticks, source->ring()->writeIndex().load()});
    now_ = ticks;
    return true;
  }
  void Interrupt() override {}

 private:
  uint64_t now_ = 0;
};

TEST(ReplaySource, RealTimePacingWritesEachEdgeOnceItsTimeHasCome) {
  std::vector<PulseSample> samples;
  for (int i = 0; i < 200; ++i)
    samples.push_back(
        {static_cast<uint16_t>(500 + 37 * i), static_cast<uint8_t>(i % 2 ? 0x80 : 0)});
  const std::string path = TextRecording("paced.txt", samples);
  std::vector<uint64_t> ends;  // stream time at which each sample's state ends
  uint64_t t = 0;
  for (const PulseSample& s : samples) ends.push_back(t += s.duration);

  ScriptedPacer pacer;
  std::atomic<uint32_t> readIndex{0};
  ReplaySource source(path, ReplayPacing::kRealTime, 1024, &pacer);
  pacer.source = &source;
  ASSERT_EQ(source.Open(&readIndex), 1024);
  EXPECT_TRUE(source.IsLive());
  while (source.Advance(0)) std::this_thread::yield();
  source.Close();  // joins the thread; the pacer's notes are now ours to read

  ASSERT_FALSE(pacer.waits.empty());
  for (const ScriptedPacer::Wait& w : pacer.waits) {
    // Everything due by `now` is written, nothing later.
    const uint32_t due =
        static_cast<uint32_t>(std::upper_bound(ends.begin(), ends.end(), w.now) - ends.begin());
    EXPECT_EQ(w.written, due) << "at " << w.now;
    // It sleeps to the next edge, but never for less than the pacing step.
    ASSERT_LT(w.written, ends.size());
    EXPECT_EQ(w.until, std::max(ends[w.written], w.now + kReplayPaceStepTicks));
  }
  EXPECT_EQ(source.overruns(), 0u);
}

TEST(ReplaySource, RealTimePacingLosesEdgesToAFullRingAndCountsThem) {
  std::vector<PulseSample> samples(10, PulseSample{100, 0x80});
  const std::string path = TextRecording("overrun.txt", samples);
  ScriptedPacer pacer;
  std::atomic<uint32_t> readIndex{0};  // a reader that never reads
  ReplaySource source(path, ReplayPacing::kRealTime, 4, &pacer);
  pacer.source = &source;
  ASSERT_EQ(source.Open(&readIndex), 4);
  while (source.Advance(0)) std::this_thread::yield();
  EXPECT_EQ(source.ring()->writeIndex().load(), 3u);
  EXPECT_EQ(source.overruns(), 7u);
  source.Close();
  EXPECT_EQ(source.overruns(), 7u);
}

TEST(ReplaySource, CloseStopsAWaitingRealTimeReplay) {
  const std::string path = TextRecording("slow.txt", {{60000, 0x80}, {60000, 0x00}});
  std::atomic<uint32_t> readIndex{0};
  SteadyPacer clock;
  // A stream that would take hours: Close must not wait for it.
  {
    std::FILE* f = std::fopen(path.c_str(), "a");
    std::fputs("1099511627776 0x80\n", f);
    std::fclose(f);
  }
  ReplaySource source(path, ReplayPacing::kRealTime, 64, &clock);
  ASSERT_GT(source.Open(&readIndex), 0);
  source.Close();
  EXPECT_EQ(source.ring(), nullptr);
}

}  // namespace
}  // namespace skelmar::test
