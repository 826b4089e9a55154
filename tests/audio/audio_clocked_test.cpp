// The audio slicer's rate recognition and clocked decisions on synthetic audio
// with known symbols and receiver noise of a known Eb/N0.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <vector>

#include "audio/audio_signals.h"
#include "frontend/audio_slicer.h"
#include "frontend/front_end.h"

namespace skelmar::test {
namespace {

constexpr double kTwoLevel[2] = {-1.0, 1.0};
constexpr double kFourLevel[4] = {-1.0, -1.0 / 3.0, 1.0 / 3.0, 1.0};
constexpr double kStart = 0.01;

AudioSlicerOptions Options(int sampleRate, bool fourLevel = false) {
  AudioSlicerOptions o;
  o.sampleRate = sampleRate;
  o.fourLevel = fourLevel;
  return o;
}

// Per-sample noise deviation for a two-level signal of amplitude `a` at `ebN0Db`:
// Eb = a^2 / rate and, for white noise of variance s^2 at fs, N0 = 2 s^2 / fs.
double NoiseFor(double a, double symbolRate, int sampleRate, double ebN0Db) {
  const double ebN0 = std::pow(10.0, ebN0Db / 10.0);
  return a * std::sqrt(sampleRate / (2.0 * symbolRate * ebN0));
}

// Symbols read from the slicer's edges `phase` of a symbol after each symbol's
// start (past the middle and any filter delay, before the next symbol's edge),
// from `first` on.
int WrongSymbols(const EdgeCollector& sink, const std::vector<int>& symbols, double rate,
                 size_t first, bool fourLevel, double start = kStart, double phase = 0.75) {
  int wrong = 0;
  for (size_t i = first; i < symbols.size(); ++i) {
    const double at = start + (static_cast<double>(i) + phase) / rate;
    int level =
        DecodeLevel(sink.StatusAt(static_cast<uint64_t>(at * kTicksPerSecond)), true, false);
    if (!fourLevel) level = level >= 2 ? 1 : 0;
    if (level != symbols[i]) ++wrong;
  }
  return wrong;
}

struct RateCase {
  double rate;
  int sampleRate;
  bool fourLevel;
  friend void PrintTo(const RateCase& c, std::ostream* os) {
    *os << c.rate << "/s at " << c.sampleRate << (c.fourLevel ? " four-level" : "");
  }
};

class ClockedRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(ClockedRate, EachRateIsRecognisedAndDecidedRight) {
  const RateCase& c = GetParam();
  SCOPED_TRACE(testing::Message() << c.rate << " at " << c.sampleRate
                                  << (c.fourLevel ? " four-level" : ""));
  const std::vector<int> symbols = RandomSymbols(static_cast<size_t>(c.rate), c.fourLevel ? 4 : 2,
                                                 static_cast<uint32_t>(c.rate));
  const Steps steps =
      Steps::Symbols(symbols, c.fourLevel ? kFourLevel : kTwoLevel, kStart, 1.0 / c.rate);
  AudioSlicer slicer(Options(c.sampleRate, c.fourLevel));
  EdgeCollector sink;
  const std::vector<float> audio =
      Render(steps, c.sampleRate, 0.3, 0.02, NoiseFor(0.3, c.rate, c.sampleRate, 20));
  slicer.Process(audio.data(), audio.size(), sink);
  EXPECT_EQ(slicer.clockedRate(), static_cast<int>(c.rate));
  slicer.Finish(sink);
  EXPECT_EQ(WrongSymbols(sink, symbols, c.rate, symbols.size() / 4, c.fourLevel), 0);
}

INSTANTIATE_TEST_SUITE_P(Rates, ClockedRate,
                         ::testing::Values(RateCase{512, 22050, false}, RateCase{600, 22050, false},
                                           RateCase{1200, 22050, false},
                                           RateCase{1600, 22050, false},
                                           RateCase{2400, 22050, false},
                                           RateCase{1600, 22050, true}, RateCase{3200, 22050, true},
                                           RateCase{512, 8000, false}, RateCase{3200, 8000, true},
                                           RateCase{512, 192000, false},
                                           RateCase{3200, 192000, true}));

TEST(ClockedSlicer, NoiseAloneRunsFree) {
  // Receiver noise without a signal: no rate may claim it for long.
  Steps steps;
  steps.end = 3.0;
  const std::vector<float> audio = Render(steps, 22050, 0.0, 0.0, 0.05);
  AudioSlicer slicer(Options(22050));
  EdgeCollector sink;
  int clockedBlocks = 0, blocks = 0;
  for (size_t at = 0; at < audio.size(); at += 441, ++blocks) {
    slicer.Process(audio.data() + at, std::min<size_t>(441, audio.size() - at), sink);
    if (slicer.clockedRate() != 0) ++clockedBlocks;
  }
  EXPECT_LT(clockedBlocks, blocks / 10);
}

TEST(ClockedSlicer, NoisyBitsComeCloseToTheMatchedFilterBound) {
  // 1200 bit/s at 6 dB Eb/N0, where deciding on the mean of each bit errs on
  // Q(sqrt(2 Eb/N0)) = 2.4e-3 of the bits; the fixed wide filter errs far more.
  const std::vector<int> bits = RandomSymbols(12000, 2, 5);
  const Steps steps = Steps::Symbols(bits, kTwoLevel, kStart, 1.0 / 1200);
  const std::vector<float> audio =
      Render(steps, 22050, 0.2, 0.0, NoiseFor(0.2, 1200, 22050, 6), 99);
  EdgeCollector clocked, fixed;
  clocked.edges = Slice(audio, Options(22050));
  AudioSlicerOptions wide = Options(22050);
  wide.cutoffHz = 2600;
  fixed.edges = Slice(audio, wide);
  const int clockedWrong = WrongSymbols(clocked, bits, 1200, 600, false);
  const int fixedWrong = WrongSymbols(fixed, bits, 1200, 600, false);
  const double expected = 2.4e-3 * static_cast<double>(bits.size() - 600);
  EXPECT_LT(clockedWrong, 2.0 * expected);
  EXPECT_LT(3 * clockedWrong, fixedWrong);
}

TEST(ClockedSlicer, RunsAreWholeSymbolsUnderNoise) {
  // The front end counts runs of one bit within +-15%; clocked edges keep
  // every run a whole number of bits even where noise shakes the crossings.
  const std::vector<int> bits = RandomSymbols(6000, 2, 8);
  const double period = kTicksPerSecond / 2400;
  const Steps steps = Steps::Symbols(bits, kTwoLevel, kStart, 1.0 / 2400);
  EdgeCollector sink;
  sink.edges =
      Slice(Render(steps, 22050, 0.2, 0.0, NoiseFor(0.2, 2400, 22050, 9), 3), Options(22050));
  // Whole states from the middle of the signal on.
  std::vector<double> runs;
  double run = 0, t = 0;
  for (size_t i = 0; i < sink.edges.size(); ++i) {
    run += sink.edges[i].duration;
    t += sink.edges[i].duration;
    const bool ends =
        i + 1 == sink.edges.size() || sink.edges[i + 1].status != sink.edges[i].status;
    if (!ends) continue;
    if (t > (kStart + 1.0) * kTicksPerSecond && t < (kStart + 2.4) * kTicksPerSecond) {
      runs.push_back(run);
    }
    run = 0;
  }
  ASSERT_GT(runs.size(), 1000u);
  int offGrid = 0;
  for (double r : runs) {
    const double bitsLong = r / period;
    if (bitsLong < 0.5 || std::fabs(bitsLong - std::round(bitsLong)) > 0.1) ++offGrid;
  }
  EXPECT_LT(offGrid, static_cast<int>(runs.size() / 100));
}

TEST(ClockedSlicer, SpeedChangeWithinAFrame) {
  // Four-level symbols at 1600/s, then at 3200/s straight after, as a frame
  // changes speed after its header: the 3200 symbols must come out right a
  // few symbols after the change.
  const std::vector<int> slow = RandomSymbols(480, 4, 61);
  const std::vector<int> fast = RandomSymbols(960, 4, 62);
  Steps steps = Steps::Symbols(slow, kFourLevel, kStart, 1.0 / 1600);
  const double fastStart = kStart + 480.0 / 1600;
  const Steps tail = Steps::Symbols(fast, kFourLevel, fastStart, 1.0 / 3200);
  steps.times.insert(steps.times.end(), tail.times.begin(), tail.times.end());
  steps.values.insert(steps.values.end(), tail.values.begin(), tail.values.end());
  steps.end = tail.end;
  const int sampleRate = 22050;
  AudioSlicer slicer(Options(sampleRate, true));
  EdgeCollector sink;
  const std::vector<float> audio =
      Render(steps, sampleRate, 0.3, 0.0, NoiseFor(0.3, 3200, sampleRate, 24));
  slicer.Process(audio.data(), audio.size(), sink);
  EXPECT_EQ(slicer.clockedRate(), 3200);
  slicer.Finish(sink);
  EXPECT_EQ(WrongSymbols(sink, slow, 1600, 100, true), 0);
  EXPECT_EQ(WrongSymbols(sink, fast, 3200, 32, true, fastStart), 0);
}

TEST(ClockedSlicer, NextTransmissionAtAnotherRateComesThroughFromItsStart) {
  // 1200 bit/s, a pause of unmodulated carrier, then 1600 bit/s: the old
  // clock must not decide the new transmission's first bits.
  const std::vector<int> first = RandomSymbols(1200, 2, 81);
  const std::vector<int> second = RandomSymbols(800, 2, 82);
  Steps steps = Steps::Symbols(first, kTwoLevel, kStart, 1.0 / 1200);
  const double secondStart = kStart + 1.0 + 0.3;
  const Steps tail = Steps::Symbols(second, kTwoLevel, secondStart, 1.0 / 1600);
  steps.times.insert(steps.times.end(), tail.times.begin(), tail.times.end());
  steps.values.insert(steps.values.end(), tail.values.begin(), tail.values.end());
  steps.end = tail.end;
  EdgeCollector sink;
  sink.edges =
      Slice(Render(steps, 22050, 0.3, 0.0, NoiseFor(0.3, 1600, 22050, 20)), Options(22050));
  EXPECT_EQ(WrongSymbols(sink, first, 1200, 50, false), 0);
  EXPECT_EQ(WrongSymbols(sink, second, 1600, 2, false, secondStart), 0);
}

TEST(ClockedSlicer, InnerLevelsAloneStayInner) {
  // Four-level traffic, then a stretch that uses only the two inner levels:
  // they must not be read as the outer ones.
  std::vector<int> symbols = RandomSymbols(800, 4, 71);
  const std::vector<int> inner = RandomSymbols(1600, 2, 72);
  for (int s : inner) symbols.push_back(s + 1);
  const Steps steps = Steps::Symbols(symbols, kFourLevel, kStart, 1.0 / 1600);
  EdgeCollector sink;
  sink.edges =
      Slice(Render(steps, 22050, 0.3, 0.05, NoiseFor(0.3, 1600, 22050, 24)), Options(22050, true));
  EXPECT_EQ(WrongSymbols(sink, symbols, 1600, 200, true), 0);
}

TEST(ClockedSlicer, FourLevelDataKeepingOffOneOuterLevelKeepsItsClock) {
  // Random four-level symbols, then a long stretch that never reaches the top
  // level (idle phases do that), then random symbols again: every symbol is
  // decided on the clock all the way through.
  constexpr double kRate = 3200;
  std::vector<int> symbols = RandomSymbols(640, 4, 41);
  for (const int s : RandomSymbols(1600, 3, 42)) symbols.push_back(s);
  for (const int s : RandomSymbols(320, 4, 43)) symbols.push_back(s);
  const Steps steps = Steps::Symbols(symbols, kFourLevel, kStart, 1.0 / kRate);
  AudioSlicer slicer(Options(22050, true));
  EdgeCollector sink;
  const std::vector<float> audio = Render(steps, 22050, 0.3, 0.02, NoiseFor(0.3, kRate, 22050, 25));
  slicer.Process(audio.data(), audio.size(), sink);
  EXPECT_EQ(slicer.clockedRate(), 3200);
  slicer.Finish(sink);
  EXPECT_EQ(WrongSymbols(sink, symbols, kRate, 160, true), 0);
}

TEST(ClockedSlicer, FourLevelDataOnOneSideOfTheMidLevelKeepsItsClock) {
  // After random four-level symbols, half a second of symbols that only
  // change between the two upper levels (the outer bits idle): the changes
  // between them keep the clock, and the rate is still known at the end.
  constexpr double kRate = 3200;
  std::vector<int> symbols = RandomSymbols(640, 4, 51);
  for (const int s : RandomSymbols(1600, 2, 52)) symbols.push_back(2 + s);
  const Steps steps = Steps::Symbols(symbols, kFourLevel, kStart, 1.0 / kRate);
  AudioSlicer slicer(Options(22050, true));
  EdgeCollector sink;
  const std::vector<float> audio = Render(steps, 22050, 0.3, 0.02, NoiseFor(0.3, kRate, 22050, 25));
  slicer.Process(audio.data(), audio.size(), sink);
  EXPECT_EQ(slicer.clockedRate(), 3200);
  slicer.Finish(sink);
  EXPECT_EQ(WrongSymbols(sink, symbols, kRate, 160, true), 0);
}

}  // namespace
}  // namespace skelmar::test
