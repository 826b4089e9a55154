// The audio slicer on synthetic discriminator audio with known transitions.
#include "frontend/audio_slicer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "audio/audio_signals.h"
#include "frontend/front_end.h"

namespace skelmar::test {
namespace {

constexpr double kTwoLevel[2] = {-1.0, 1.0};
constexpr double kFourLevel[4] = {-1.0, -1.0 / 3.0, 1.0 / 3.0, 1.0};

AudioSlicerOptions Options(int rate, bool fourLevel = false) {
  AudioSlicerOptions o;
  o.sampleRate = rate;
  o.fourLevel = fourLevel;
  return o;
}

struct TimingResult {
  size_t matched = 0;
  size_t expected = 0;
  double delay = 0;  ///< median edge time minus ideal time, ticks
  double worst = 0;  ///< largest deviation from that delay, ticks
};

// Pairs each slicer change after `from` seconds with the nearest ideal
// transition; the offsets must be one constant delay (the filter's) plus a
// small error.
TimingResult CompareTiming(const EdgeCollector& sink, const Steps& steps, double from) {
  TimingResult r;
  const std::vector<double> ideal = steps.Transitions(from);
  r.expected = ideal.size();
  std::vector<double> offsets;
  for (uint64_t t : sink.Changes()) {
    const double seconds = static_cast<double>(t) / kTicksPerSecond;
    if (seconds < from) continue;
    auto it = std::lower_bound(ideal.begin(), ideal.end(), seconds);
    if (it == ideal.begin()) continue;  // earlier than every transition
    // The slicer is late by its filter delay: the matching transition precedes it.
    const double transition = *(it - 1);
    offsets.push_back(static_cast<double>(t) - transition * kTicksPerSecond);
  }
  r.matched = offsets.size();
  if (offsets.empty()) return r;
  std::vector<double> sorted = offsets;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2),
                   sorted.end());
  r.delay = sorted[sorted.size() / 2];
  for (double o : offsets) r.worst = std::max(r.worst, std::fabs(o - r.delay));
  return r;
}

class SlicerTiming : public ::testing::TestWithParam<int> {};

TEST_P(SlicerTiming, EdgesLandBetweenSamplesAtTheTrueCrossing) {
  const int rate = GetParam();
  const double samplePeriodTicks = kTicksPerSecond / rate;
  // 1200 bit/s is not a whole number of samples at any of these rates, so
  // transitions fall at every position within a sample.
  for (bool random : {false, true}) {
    const std::vector<int> bits = random ? RandomSymbols(2400, 2, 11) : Alternating(2400);
    const Steps steps = Steps::Symbols(bits, kTwoLevel, 0.0123, 1.0 / 1200);
    EdgeCollector sink;
    // A given cut-off keeps the free-running edges, whose interpolation this checks.
    AudioSlicerOptions options = Options(rate);
    options.cutoffHz = 2600;
    AudioSlicer slicer(options);
    const std::vector<float> audio = Render(steps, rate, 0.4);
    slicer.Process(audio.data(), audio.size(), sink);
    slicer.Finish(sink);

    const TimingResult r = CompareTiming(sink, steps, 0.1);
    SCOPED_TRACE(testing::Message() << "rate " << rate << (random ? " random" : " alternating"));
    EXPECT_EQ(r.matched, r.expected);
    // The low-pass delays every edge alike, by well under a bit.
    EXPECT_GT(r.delay, 0.0);
    EXPECT_LT(r.delay, 400.0);
    // A few hundredths of a sample (whole-sample timing would be off by up to
    // half a sample) and the rounding to whole ticks; random data adds a few
    // ticks of intersymbol interference from the receive filter.
    const double bound =
        random ? 3.0 + 0.08 * samplePeriodTicks : std::max(1.0, 0.05 * samplePeriodTicks);
    EXPECT_LT(r.worst, bound) << "sample period " << samplePeriodTicks;
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, SlicerTiming, ::testing::Values(8000, 22050, 48000, 192000));

TEST(AudioSlicer, QuarterDeviationOffsetIsRemoved) {
  // A mistuned receiver: the two levels sit at +1.25 and -0.75 of the deviation.
  // A fixed threshold at zero would make every high run longer than the low ones.
  const Steps steps = Steps::Symbols(Alternating(2400), kTwoLevel, 0.01, 1.0 / 1200);
  EdgeCollector sink;
  AudioSlicer slicer(Options(22050));
  const std::vector<float> audio = Render(steps, 22050, 0.4, 0.25 * 0.4);
  // The mid-point is read while the bits still alternate; the audio ends
  // with a hold of one level.
  const size_t body = audio.size() - 22050 / 100;
  slicer.Process(audio.data(), body, sink);
  const double mid = (slicer.upperEnvelope() + slicer.lowerEnvelope()) / 2;
  EXPECT_NEAR(mid, 0.1, 0.004);
  slicer.Process(audio.data() + body, audio.size() - body, sink);
  slicer.Finish(sink);
  const TimingResult r = CompareTiming(sink, steps, 0.1);
  EXPECT_EQ(r.matched, r.expected);
  EXPECT_LT(r.worst, 6.0);
  // High and low runs are equally long.
  double high = 0, low = 0;
  int highs = 0, lows = 0;
  for (size_t i = 200; i + 1 < sink.edges.size(); ++i) {
    if (DecodeLevel(sink.edges[i].status, false, false) == 3) {
      high += sink.edges[i].duration;
      ++highs;
    } else {
      low += sink.edges[i].duration;
      ++lows;
    }
  }
  EXPECT_NEAR(high / highs, low / lows, 2.0);
  EXPECT_NEAR(high / highs, kTicksPerSecond / 1200, 2.0);
}

TEST(AudioSlicer, LongRunsOfOneLevelAndDriftingOffsetKeepTheBits) {
  // Bits, then a second of unmodulated carrier (one level), then bits again,
  // while the offset drifts by half the deviation over the whole stretch. A
  // plain running mean would follow the long run and lose the bits after it.
  const double period = 1.0 / 1200;
  std::vector<int> bits = RandomSymbols(1200, 2, 31);
  const std::vector<int> after = RandomSymbols(1200, 2, 32);
  bits.insert(bits.end(), 1200, 1);
  bits.insert(bits.end(), after.begin(), after.end());
  const Steps steps = Steps::Symbols(bits, kTwoLevel, 0.01, period);
  std::vector<float> audio = Render(steps, 22050, 0.4, 0.0, 0.02);
  for (size_t n = 0; n < audio.size(); ++n) {
    audio[n] +=
        static_cast<float>(0.2 * static_cast<double>(n) / static_cast<double>(audio.size()));
  }
  EdgeCollector sink;
  sink.edges = Slice(audio, Options(22050));
  int wrong = 0;
  for (size_t i = 100; i < bits.size(); ++i) {
    const double centre = 0.01 + (static_cast<double>(i) + 0.5) * period;
    const auto tick = static_cast<uint64_t>(centre * kTicksPerSecond + 150);
    if (DecodeLevel(sink.StatusAt(tick), false, false) != (bits[i] ? 3 : 0)) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
}

TEST(AudioSlicer, PositiveAudioIsLevelThreeOnEverySetting) {
  // 50 ms low, 50 ms high, 50 ms low.
  Steps steps;
  steps.times = {0.0, 0.05, 0.1};
  steps.values = {-1, 1, -1};
  steps.end = 0.15;
  const std::vector<PulseSample> edges = Slice(Render(steps, 48000, 0.5), Options(48000));
  ASSERT_GE(edges.size(), 3u);
  // The middle state is the positive one.
  EdgeCollector sink;
  sink.edges = edges;
  const uint8_t high = sink.StatusAt(static_cast<uint64_t>(0.075 * kTicksPerSecond));
  const uint8_t low = sink.StatusAt(static_cast<uint64_t>(0.125 * kTicksPerSecond));
  EXPECT_EQ(high, 0xB0);
  EXPECT_EQ(low, 0x00);
  for (bool four : {false, true}) {
    EXPECT_EQ(DecodeLevel(high, four, false), 3);
    EXPECT_EQ(DecodeLevel(low, four, false), 0);
    EXPECT_EQ(DecodeLevel(high, four, true), 0);
    EXPECT_EQ(DecodeLevel(low, four, true), 3);
  }
}

TEST(AudioSlicer, NegatedAudioGivesTheComplementLevels) {
  const std::vector<int> bits = RandomSymbols(600, 2, 5);
  const Steps steps = Steps::Symbols(bits, kTwoLevel, 0.02, 1.0 / 1200);
  const double negTable[2] = {1.0, -1.0};
  const Steps negated = Steps::Symbols(bits, negTable, 0.02, 1.0 / 1200);
  EdgeCollector a, b;
  a.edges = Slice(Render(steps, 22050, 0.4), Options(22050));
  b.edges = Slice(Render(negated, 22050, 0.4), Options(22050));
  for (size_t i = 40; i < bits.size(); ++i) {
    const auto mid = static_cast<uint64_t>(
        (0.02 + (static_cast<double>(i) + 0.5) / 1200) * kTicksPerSecond + 150);
    const int la = DecodeLevel(a.StatusAt(mid), false, false);
    const int lb = DecodeLevel(b.StatusAt(mid), false, false);
    ASSERT_EQ(la, bits[i] ? 3 : 0) << "bit " << i;
    ASSERT_EQ(lb, 3 - la) << "bit " << i;
  }
}

class FourLevel : public ::testing::TestWithParam<double> {};

TEST_P(FourLevel, DecisionsMatchTheSentSymbols) {
  const double symbolRate = GetParam();
  const std::vector<int> symbols = RandomSymbols(3000, 4, 23);
  const double start = 0.01;
  const Steps steps = Steps::Symbols(symbols, kFourLevel, start, 1.0 / symbolRate);
  EdgeCollector sink;
  sink.edges = Slice(Render(steps, 48000, 0.6, 0.05), Options(48000, true));
  // Sample the slicer's state in the middle of each symbol, after its filter delay.
  int wrong = 0;
  for (size_t i = 100; i < symbols.size(); ++i) {
    const double centre = start + (static_cast<double>(i) + 0.5) / symbolRate;
    const auto tick = static_cast<uint64_t>(centre * kTicksPerSecond + 150);
    const int level = DecodeLevel(sink.StatusAt(tick), true, false);
    if (level != symbols[i]) ++wrong;
    // With the 4-level interface off, only the outer level's status reads as 3.
    if (symbols[i] == 0) {
      EXPECT_EQ(DecodeLevel(sink.StatusAt(tick), false, false), 0);
    }
  }
  EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(SymbolRates, FourLevel, ::testing::Values(1600.0, 3200.0));

TEST(AudioSlicer, FourLevelStatusesAreTheLineCounts) {
  // A slow staircase through all four levels and back.
  Steps steps;
  const int order[] = {0, 1, 2, 3, 2, 1, 0};
  for (int i = 0; i < 7; ++i) {
    steps.times.push_back(0.02 * i);
    steps.values.push_back(kFourLevel[order[i]]);
  }
  // Let the envelopes see both outer levels first.
  Steps full;
  for (int r = 0; r < 3; ++r) {
    for (size_t i = 0; i < steps.times.size(); ++i) {
      full.times.push_back(steps.times[i] + 0.14 * r);
      full.values.push_back(steps.values[i]);
    }
  }
  full.end = 0.42;
  EdgeCollector sink;
  sink.edges = Slice(Render(full, 22050, 0.5), Options(22050, true));
  std::vector<uint8_t> seen;
  uint64_t t = 0;
  for (const PulseSample& e : sink.edges) {
    t += e.duration;
    if (static_cast<double>(t) > 0.28 * kTicksPerSecond &&
        (seen.empty() || seen.back() != e.status))
      seen.push_back(e.status);
  }
  const std::vector<uint8_t> expected = {0x00, 0x10, 0x30, 0xB0, 0x30, 0x10, 0x00};
  EXPECT_EQ(seen, expected);
}

TEST(AudioSlicer, NoDriftOverTenMinutes) {
  // 1200 bit/s alternating for 10 minutes: the edge times, summed from the
  // durations, must not walk away from the ideal transitions.
  const int rate = 22050;
  const double period = 1.0 / 1200;
  const size_t bits = 600 * 1200;
  AudioSlicer slicer(Options(rate));
  EdgeCollector sink;
  // Render in pieces to keep memory small; each piece continues the same signal.
  const double chunkSeconds = 10.0;
  std::vector<float> block;
  for (double t0 = 0; t0 < 600.0 - 1e-9; t0 += chunkSeconds) {
    const auto n0 = static_cast<size_t>(std::llround(t0 * rate));
    const auto n1 = static_cast<size_t>(std::llround((t0 + chunkSeconds) * rate));
    block.resize(n1 - n0);
    for (size_t n = n0; n < n1; ++n) {
      // Mean of the alternating signal over [n, n+1)/rate.
      const double a = static_cast<double>(n) / rate, b = static_cast<double>(n + 1) / rate;
      const double ka = std::floor(a / period), kb = std::floor(b / period);
      const double va = (static_cast<long>(ka) & 1) ? -1 : 1;
      double v = va;
      if (kb != ka) v = (va * (kb * period - a) - va * (b - kb * period)) * rate;
      block[n - n0] = static_cast<float>(0.4 * v);
    }
    slicer.Process(block.data(), block.size(), sink);
  }
  const std::vector<uint64_t> changes = sink.Changes();
  // The first transitions go by before the clock is recognised, and one may
  // merge into the state written when the clocked decisions take over.
  ASSERT_GE(changes.size(), bits - 4);
  EXPECT_EQ(slicer.clockedRate(), 1200);
  // Offsets from the ideal transitions, early and late in the run.
  auto offset = [&](uint64_t t) {
    const double k = std::round(static_cast<double>(t) / kTicksPerSecond / period - 0.1);
    return static_cast<double>(t) - k * period * kTicksPerSecond;
  };
  // Mean offsets of 1000 edges a few seconds in (envelopes settled) and of the
  // last 1000: single edges scatter by the rounding to whole ticks.
  auto meanOffset = [&](size_t from) {
    double sum = 0;
    for (size_t i = from; i < from + 1000; ++i) sum += offset(changes[i]);
    return sum / 1000;
  };
  const double early = meanOffset(6000);
  const double late = meanOffset(changes.size() - 1000);
  EXPECT_NEAR(late, early, 0.25);
  // The durations add up to the stream time (fractions carried, none lost).
  EXPECT_NEAR(static_cast<double>(sink.Total()), slicer.streamTicks(), 2 * 65536.0 + 1);
  slicer.Finish(sink);
  EXPECT_NEAR(static_cast<double>(sink.Total()), slicer.streamTicks(), 1.0);
}

TEST(AudioSlicer, HysteresisStopsNoiseChatter) {
  // Slow 512 bit/s square wave with noise of 4% of the deviation, at 48 kHz:
  // the filtered signal lingers near the threshold for many samples.
  const std::vector<int> bits = Alternating(512);
  const Steps steps = Steps::Symbols(bits, kTwoLevel, 0.01, 1.0 / 512);
  EdgeCollector sink;
  AudioSlicerOptions options = Options(48000);
  options.cutoffHz = 6000;  // a wide filter lets more of the noise through
  sink.edges = Slice(Render(steps, 48000, 0.5, 0.0, 0.02), options);
  const TimingResult r = CompareTiming(sink, steps, 0.1);
  EXPECT_EQ(r.matched, r.expected);
  // The first 10 ms are noise alone; from the first bits on, no edge is short.
  uint64_t t = 0;
  for (size_t i = 0; i + 1 < sink.edges.size(); ++i) {
    t += sink.edges[i].duration;
    if (static_cast<double>(t) > 0.02 * kTicksPerSecond) {
      EXPECT_GT(sink.edges[i].duration, 0.8 * kTicksPerSecond / 512) << "edge " << i;
    }
  }
}

TEST(AudioSlicer, BlockSizeDoesNotChangeTheEdges) {
  const Steps steps = Steps::Symbols(RandomSymbols(2000, 4, 3), kFourLevel, 0.01, 1.0 / 3200);
  const std::vector<float> audio = Render(steps, 44100, 0.5, 0.1, 0.01);
  const std::vector<PulseSample> whole = Slice(audio, Options(44100, true));
  AudioSlicer slicer(Options(44100, true));
  EdgeCollector pieces;
  size_t at = 0;
  for (size_t step = 1; at < audio.size(); step = step * 3 % 997 + 1) {
    const size_t n = std::min(step, audio.size() - at);
    slicer.Process(audio.data() + at, n, pieces);
    at += n;
  }
  slicer.Finish(pieces);
  ASSERT_EQ(pieces.edges.size(), whole.size());
  for (size_t i = 0; i < whole.size(); ++i) {
    ASSERT_EQ(pieces.edges[i].duration, whole[i].duration) << i;
    ASSERT_EQ(pieces.edges[i].status, whole[i].status) << i;
  }
}

// Two-level bursts at two rates between stretches of noise: the choice of
// clock comes and goes inside blocks, which must not depend on where the
// blocks fall.
TEST(AudioSlicer, BlockSizeDoesNotChangeTheEdgesWhileClocksComeAndGo) {
  Steps steps = Steps::Symbols(RandomSymbols(1500, 2, 5), kTwoLevel, 0.3, 1.0 / 1200);
  const Steps fast =
      Steps::Symbols(RandomSymbols(2000, 2, 6), kTwoLevel, steps.end + 0.5, 1.0 / 2400);
  steps.times.push_back(steps.end - 0.01);
  steps.values.push_back(0);
  steps.times.insert(steps.times.end(), fast.times.begin(), fast.times.end());
  steps.values.insert(steps.values.end(), fast.values.begin(), fast.values.end());
  steps.times.push_back(fast.end - 0.01);
  steps.values.push_back(0);
  steps.end = fast.end + 0.5;
  const std::vector<float> audio = Render(steps, 22050, 0.5, 0.05, 0.12);
  AudioSlicer slicer(Options(22050));
  EdgeCollector whole;
  int clocked = 0;
  for (size_t at = 0; at < audio.size(); at += 2205) {
    slicer.Process(audio.data() + at, std::min<size_t>(2205, audio.size() - at), whole);
    clocked |= slicer.clockedRate() == 1200 ? 1 : slicer.clockedRate() == 2400 ? 2 : 0;
  }
  slicer.Finish(whole);
  ASSERT_EQ(clocked, 3) << "both rates clocked";
  AudioSlicer pieces(Options(22050));
  EdgeCollector inPieces;
  size_t at = 0;
  for (size_t step = 1; at < audio.size(); step = step * 7 % 613 + 1) {
    const size_t n = std::min(step, audio.size() - at);
    pieces.Process(audio.data() + at, n, inPieces);
    at += n;
  }
  pieces.Finish(inPieces);
  ASSERT_EQ(inPieces.edges.size(), whole.edges.size());
  for (size_t i = 0; i < whole.edges.size(); ++i) {
    ASSERT_EQ(inPieces.edges[i].duration, whole.edges[i].duration) << i;
    ASSERT_EQ(inPieces.edges[i].status, whole.edges[i].status) << i;
  }
}

TEST(AudioSlicer, Int16AndFloatInputAgree) {
  const Steps steps = Steps::Symbols(RandomSymbols(500, 2, 9), kTwoLevel, 0.01, 1.0 / 2400);
  const std::vector<float> audio = Render(steps, 22050, 0.5);
  std::vector<int16_t> pcm(audio.size());
  std::vector<float> rounded(audio.size());
  for (size_t i = 0; i < audio.size(); ++i) {
    pcm[i] = static_cast<int16_t>(std::lround(audio[i] * 32768.0f));
    rounded[i] = static_cast<float>(pcm[i]) / 32768.0f;
  }
  AudioSlicer slicer(Options(22050));
  EdgeCollector fromPcm;
  slicer.Process(pcm.data(), pcm.size(), fromPcm);
  slicer.Finish(fromPcm);
  const std::vector<PulseSample> fromFloat = Slice(rounded, Options(22050));
  ASSERT_EQ(fromPcm.edges.size(), fromFloat.size());
  for (size_t i = 0; i < fromFloat.size(); ++i)
    EXPECT_EQ(fromPcm.edges[i].duration, fromFloat[i].duration);
}

TEST(AudioSlicer, SilenceStillAdvancesTime) {
  // Two seconds of digital silence: no decisions, but the front end must see
  // the time pass before the stream ends, in pieces a sample can hold.
  std::vector<int16_t> silence(96000, 0);
  AudioSlicer slicer(Options(48000));
  EdgeCollector sink;
  slicer.Process(silence.data(), silence.size(), sink);
  ASSERT_FALSE(sink.edges.empty());
  const uint64_t before = sink.Total();
  EXPECT_GT(static_cast<double>(before), 2.0 * kTicksPerSecond - 3 * 65535.0);
  slicer.Finish(sink);
  EXPECT_NEAR(static_cast<double>(sink.Total()), 2.0 * kTicksPerSecond, 1.0);
  for (const PulseSample& e : sink.edges) EXPECT_EQ(e.status, 0x00);
}

TEST(AudioSlicer, ClippedAudioKeepsItsEdges) {
  // Overdriven input: the square wave is clipped hard at full scale.
  const Steps steps = Steps::Symbols(RandomSymbols(1200, 2, 4), kTwoLevel, 0.01, 1.0 / 1200);
  std::vector<float> audio = Render(steps, 22050, 3.0);
  std::vector<int16_t> pcm(audio.size());
  for (size_t i = 0; i < audio.size(); ++i)
    pcm[i] = static_cast<int16_t>(std::clamp(audio[i] * 32768.0f, -32768.0f, 32767.0f));
  AudioSlicer slicer(Options(22050));
  EdgeCollector sink;
  slicer.Process(pcm.data(), pcm.size(), sink);
  slicer.Finish(sink);
  const TimingResult r = CompareTiming(sink, steps, 0.1);
  EXPECT_EQ(r.matched, r.expected);
  EXPECT_LT(r.worst, 20.0);  // clipping flattens the slopes; still well inside a sample
}

TEST(AudioSlicer, GarbageInputLeavesItSane) {
  // NaN, infinities and huge values, then a clean signal: the slicer must come
  // back and slice the clean part correctly.
  std::vector<float> garbage(22050);
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> pick(0, 5);
  for (float& x : garbage) {
    switch (pick(rng)) {
      case 0:
        x = std::numeric_limits<float>::quiet_NaN();
        break;
      case 1:
        x = std::numeric_limits<float>::infinity();
        break;
      case 2:
        x = -std::numeric_limits<float>::infinity();
        break;
      case 3:
        x = 1e30f;
        break;
      case 4:
        x = -1e30f;
        break;
      default:
        x = std::numeric_limits<float>::denorm_min();
        break;
    }
  }
  AudioSlicer slicer(Options(22050));
  EdgeCollector sink;
  slicer.Process(garbage.data(), garbage.size(), sink);
  EXPECT_TRUE(std::isfinite(slicer.upperEnvelope()));
  EXPECT_TRUE(std::isfinite(slicer.lowerEnvelope()));

  const double start = 1.0 + 1.0;  // a second of garbage, then a second of silence
  std::vector<float> quiet(22050, 0.0f);
  slicer.Process(quiet.data(), quiet.size(), sink);
  const Steps steps = Steps::Symbols(Alternating(2400), kTwoLevel, start, 1.0 / 1200);
  std::vector<float> clean = Render(steps, 22050, 0.3);
  clean.erase(clean.begin(), clean.begin() + 2 * 22050);
  slicer.Process(clean.data(), clean.size(), sink);
  slicer.Finish(sink);
  EXPECT_NEAR(static_cast<double>(sink.Total()), slicer.streamTicks(), 1.0);
  // Once the envelopes have shrunk back to the signal, every bit is there.
  const TimingResult r = CompareTiming(sink, steps, start + 1.2);
  EXPECT_EQ(r.matched, r.expected);
  EXPECT_LT(r.worst, 6.0);
}

TEST(AudioSlicer, RandomFullScaleNoiseKeepsTheBookkeeping) {
  std::vector<int16_t> noise(44100);
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> pick(-32768, 32767);
  for (int16_t& x : noise) x = static_cast<int16_t>(pick(rng));
  AudioSlicer slicer(Options(44100, true));
  EdgeCollector sink;
  slicer.Process(noise.data(), noise.size(), sink);
  slicer.Finish(sink);
  EXPECT_GT(sink.edges.size(), 100u);
  for (const PulseSample& e : sink.edges) {
    const bool known = e.status == 0x00 || e.status == 0x10 || e.status == 0x30 || e.status == 0xB0;
    ASSERT_TRUE(known) << int{e.status};
  }
  EXPECT_NEAR(static_cast<double>(sink.Total()), kTicksPerSecond, 1.0);
}

TEST(AudioSlicer, CutoffFollowsTheSampleRate) {
  EXPECT_DOUBLE_EQ(AudioSlicer(Options(48000)).cutoffHz(), 2600.0);
  EXPECT_DOUBLE_EQ(AudioSlicer(Options(8000)).cutoffHz(), 2400.0);
  EXPECT_TRUE(AudioSlicer::RateSupported(8000));
  EXPECT_TRUE(AudioSlicer::RateSupported(192000));
  EXPECT_FALSE(AudioSlicer::RateSupported(7999));
  EXPECT_FALSE(AudioSlicer::RateSupported(192001));
}

}  // namespace
}  // namespace skelmar::test
