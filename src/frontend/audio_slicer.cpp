// FM-discriminator audio to slicer edges.
#include "frontend/audio_slicer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "frontend/edge_ring.h"
#include "frontend/flex_sync_codes.h"

namespace skelmar {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Inputs beyond this (full scale 1.0) are clipped so garbage cannot blow up the filter.
constexpr double kClip = 4.0;
// Below this envelope spread (about 6 LSB of 16-bit audio) there is no signal to slice.
constexpr double kMinSpread = 2e-4;
// Hysteresis as a fraction of the spread between the tracked outer levels.
constexpr double kHysteresis2 = 0.08;
constexpr double kHysteresis4 = 0.04;
// Envelope time constants: the attack follows the signal's peaks within a few
// symbols; the relaxation lets the levels follow fades, retuning and the end
// of a burst of noise. Once the signal has stayed on one side of the mid-point
// for a while (unmodulated carrier, long runs, silence) the relaxation slows
// right down, so the far level is still remembered when the bits resume.
constexpr double kAttackSeconds = 0.001;
constexpr double kDecaySeconds = 0.25;
constexpr double kIdleDecaySeconds = 4.0;
constexpr double kIdleAfterSeconds = 0.05;
// Low-pass cut-off that keeps 3200-symbol/s eyes open, and its limit relative
// to the sample rate.
constexpr double kDefaultCutoff = 2600.0;
constexpr double kMaxCutoffFraction = 0.3;
// A state is written in pieces once it is this long, so long silences reach
// the front end without waiting for the next edge; the margin leaves room for
// an edge decided late by the hysteresis.
constexpr uint64_t kLongState = 2 * 65535;

// Fourth-order Bessel low-pass as two quadratic factors s^2 + a1 s + a0 of
// the prototype with unit delay, and its -3 dB frequency in rad/s.
constexpr double kBessel[2][2] = {{5.7924217899, 9.1401308902}, {4.2075782101, 11.4878004769}};
constexpr double kBesselCorner = 2.1139176680;

// Candidate symbol rates, slowest first, and each one's channel cut-off as a
// share of the rate: narrow enough to keep out most of the noise, wide enough
// that single symbols still reach their level. The fastest rate shares the
// free-running channel.
constexpr double kRateHz[6] = {512, 600, 1200, 1600, 2400, 3200};
constexpr double kCutoffPerRate = 0.75;
// The rates four-level data is sent at (indices into kRateHz).
constexpr int kFourLevelRates[2] = {3, 5};
// The FLEX frame as the slicer needs it besides the sync (flex_sync_codes.h):
// the header symbols after the complemented mode word, and the length of the
// data, the same at every rate.
constexpr int kFlexSyncErrors = 4;
constexpr double kFlexHeaderRest = 88;
constexpr double kFlexDataSeconds = 11 * 256 / 1600.0;
constexpr int kHeaderRate = 3;    // index of 1600 in kRateHz
constexpr int kFlexFastRate = 5;  // index of 3200 in kRateHz
static_assert(kRateHz[kHeaderRate] == 1600 && kRateHz[kFlexFastRate] == 3200);
// Single-symbol runs in a row at the header's rate that are taken for FLEX
// bit sync: half of it, and more than other protocols' data or noise give.
constexpr int kBitSyncRuns = 16;
// Fastest symbols without a mid-level crossing after which four-level data
// counts as staying on one side of it.
constexpr double kOneSidedSymbols = 12;
// A clock moves this share of each timing error; the mean error (in symbols)
// follows with its own weight. Random edges against a clock of the wrong rate
// average a quarter symbol; the rate counts as on the air below kFitEnter and
// stops counting above kFitLeave.
constexpr double kClockGain = 0.08;
// The clock that decides the symbols moves less and less, down to
// kLockedGain after some kSettleEdges crossings, so noise on the crossings
// jitters its decisions less once it has settled; and it learns the
// transmitter's symbol rate (a second-order loop, damped), so a slow or fast
// transmitter or sound card leaves it no lag. The rate is believed within
// kMaxClockDrift of nominal.
constexpr double kLockedGain = 0.02;
constexpr double kSettleEdges = 16;
constexpr double kLockedRateGain = kLockedGain * kLockedGain / 8;
constexpr double kMaxClockDrift = 0.002;
constexpr double kErrorWeight = 1.0 / 16;
constexpr double kFitEnter = 0.17;
constexpr double kFitLeave = 0.22;
constexpr int kFitEdges = 24;
// Rate channels run at about this many times their cut-off.
constexpr double kRateChannelOversampling = 6.0;
// Mean error by which another clock must beat the chosen one to take over.
constexpr double kSwitchMargin = 0.02;
// Fewest samples per symbol for clocked decisions.
constexpr int kMinClockedSamples = 4;
// Symbols without a mid-level crossing after which the clocked rate is
// forgotten: far longer than any run inside a transmission.
constexpr double kQuietSymbols = 128;
// Share of a symbol the moving sum covers with four levels: short of the
// whole symbol, so timing wander and the receiver's rounding of the symbols
// do not mix in the neighbours, whose part weighs more against the closer
// thresholds than with two levels. The receiver rounds fast symbols most.
constexpr double kMatchedShare4 = 0.85;
constexpr double kMatchedShare4Fast = 0.8;
constexpr double kFastRate = 2000;
// Weight of each clocked decision in the mean value of its level.
constexpr double kLevelWeight = 1.0 / 32;
// Weight of each four-level decision in the estimate of the previous
// symbol's leak into it, and the most leak believed.
constexpr double kLeakWeight = 1.0 / 128;
constexpr double kMaxLeak = 0.4;
// Symbols whose means start the outer levels when a clock takes over.
constexpr int kStartSymbols = 16;
// Inner levels as a share of the outer deviation: nominal, and the range the
// decided inner symbols may move them in.
constexpr double kInnerShare = 1.0 / 3.0;
constexpr double kMinInnerShare = 0.15;
constexpr double kMaxInnerShare = 0.6;
// Index of the rate at half of each rate, -1 for none; and the mean of +1 for
// each run of an even number of symbols, -1 for odd, above which the data
// runs at half the rate (random data at the full rate gives -1/3).
constexpr int kHalfRate[6] = {-1, -1, 1, -1, 2, 3};
constexpr double kEvenRuns = 0.9;
// Index of the rate at double each rate; the mean below which its runs count
// as odd, and how much larger its error may be than the chosen clock's. Only
// a FLEX frame goes over to double its rate inside a transmission; noise
// splits the runs of slower data into odd ones often enough that the rule
// would take POCSAG 1200 and GSC off their clocks hundreds of times a minute.
constexpr int kDoubleRate[6] = {-1, -1, -1, 5, -1, -1};
constexpr double kOddRuns = 0.0;
constexpr double kOddRunsMargin = 0.04;
constexpr double kRunWeight = 1.0 / 8;
// Slowest working rate: some six samples to a symbol at the fastest rate,
// near the rates the decisions are tuned at (fewer than four leave the moving
// sum too short to be clocked). Slower input is interpolated up to it by a
// whole factor.
constexpr double kMinWorkRate = 20000;
// The matched filter's window is read this many working samples before the
// boundary the clock gives: the rate channels' crossings, less their
// low-frequency delay, come out late by about this much at every rate (the
// symbol error rate against the window's place has its minimum there).
constexpr double kWindowEarlySamples = 0.75;

// Whether one rate is a whole multiple of the other: a clock of the faster
// fits data of the slower too.
bool Harmonic(int a, int b) {
  const double ratio = std::max(kRateHz[a], kRateHz[b]) / std::min(kRateHz[a], kRateHz[b]);
  return std::fabs(ratio - std::round(ratio)) < 1e-9;
}

// A distance from a threshold, 1.0 where the nearest level lies, as the
// decisions carry it (0 stays free for "not known").
uint8_t Reliability(double share) {
  const double scaled = share * kReliabilityUnit;
  return static_cast<uint8_t>(std::clamp(static_cast<int>(scaled + 0.5), 1, 255));
}

// Two channels in the two halves of one register (SSE2 on every x86-64):
// the same operations as one channel's, to the bit, for both at once.
using Pair = double __attribute__((vector_size(16)));
using PairMask = int64_t __attribute__((vector_size(16)));
// std::clamp's selects for pairs: a > b ? a : b and a < b ? a : b, which
// SSE2 has as single instructions (the compiler cannot use them for the
// selects, whose ties and NaNs it does not know to match).
inline Pair Max(Pair a, Pair b) {
#if defined(__SSE2__)
  return __builtin_ia32_maxpd(a, b);
#else
  return a > b ? a : b;
#endif
}
inline Pair Min(Pair a, Pair b) {
#if defined(__SSE2__)
  return __builtin_ia32_minpd(a, b);
#else
  return a < b ? a : b;
#endif
}

// std::round without the library call: halves away from zero, the same to
// the bit except that zeros come out positive (the clocks never read the
// sign of a zero count, and their grids, sums of positive zeros or more,
// never are negative zeros). Below 2^51, adding and taking off 1.5 * 2^52
// rounds to the nearest whole number, halves to even (x - near is then
// exact), in a short chain of latencies, which the clock edge's arithmetic
// waits for; the halves go away from zero instead. The one branch, taken
// only at an exact half, is as good as never mispredicted.
inline double Round(double x) {
  if (!(std::fabs(x) < 0x1p51)) return std::round(x);
  constexpr double kShift = 0x1.8p52;
  const double near = (x + kShift) - kShift;
  return std::fabs(x - near) == 0.5 ? x + std::copysign(0.5, x) : near;
}

// The means of eight runs of `every` samples from x, each summed in order
// from zero, two in each of four registers: the sums' chains of additions
// run side by side (one at a time, each addition would wait for the last).
inline void EightMeans(const double* x, int every, double* mean) {
  Pair s01 = {0, 0}, s23 = {0, 0}, s45 = {0, 0}, s67 = {0, 0};
  for (int t = 0; t < every; ++t, ++x) {
    s01 += Pair{x[0], x[every]};
    s23 += Pair{x[2 * every], x[3 * every]};
    s45 += Pair{x[4 * every], x[5 * every]};
    s67 += Pair{x[6 * every], x[7 * every]};
  }
  Pair m01, m23, m45, m67;
  if (std::has_single_bit(static_cast<unsigned>(every))) {
    // Divisions are slow; by a power of two, a product is the same to the bit.
    const double inverse = 1.0 / every;
    const Pair by = {inverse, inverse};
    m01 = s01 * by, m23 = s23 * by, m45 = s45 * by, m67 = s67 * by;
  } else {
    const Pair by = {static_cast<double>(every), static_cast<double>(every)};
    m01 = s01 / by, m23 = s23 / by, m45 = s45 / by, m67 = s67 / by;
  }
  std::memcpy(mean, &m01, sizeof m01);
  std::memcpy(mean + 2, &m23, sizeof m23);
  std::memcpy(mean + 4, &m45, sizeof m45);
  std::memcpy(mean + 6, &m67, sizeof m67);
}

}  // namespace

void AudioSlicer::Channel::Design(double cutoffHz, double sampleRate) {
  // Bilinear transform with the corner pre-warped to the cut-off.
  const double warped = 2.0 * sampleRate * std::tan(kPi * cutoffHz / sampleRate);
  const double scale = warped / kBesselCorner;
  const double k = 2.0 * sampleRate;
  for (int i = 0; i < 2; ++i) {
    const double a1 = kBessel[i][0] * scale;
    const double a0 = kBessel[i][1] * scale * scale;
    const double d0 = k * k + a1 * k + a0;
    Biquad& s = sections[i];
    s.b0 = a0 / d0;
    s.b1 = 2.0 * s.b0;
    s.b2 = s.b0;
    s.a1 = (2.0 * a0 - 2.0 * k * k) / d0;
    s.a2 = (k * k - a1 * k + a0) / d0;
  }
}

void AudioSlicer::Channel::Clear() {
  for (Biquad& s : sections) s.s1 = s.s2 = 0;
  hi = lo = y = 0;
  level = 0;
  primed = false;
  for (int i = 0; i < 3; ++i) prevDiff[i] = upCross[i] = downCross[i] = 0;
  lastMidCross = 0;
  acc = 0;
  phase = 0;
}

AudioSlicer::AudioSlicer(const AudioSlicerOptions& options)
    : sampleRate_(std::clamp(options.sampleRate, kMinAudioRate, kMaxAudioRate)),
      fourLevel_(options.fourLevel),
      adaptive_(!(options.cutoffHz > 0)) {
  const double fs = sampleRate_;
  double fc = options.cutoffHz > 0 ? options.cutoffHz : kDefaultCutoff;
  cutoffHz_ = std::min(fc, kMaxCutoffFraction * fs);
  ticksPerInput_ = kTicksPerSecond / fs;
  if (adaptive_) {
    upsample_ = std::clamp(static_cast<int>(std::ceil(kMinWorkRate / fs)), 1, kMaxUpsample);
  }
  workRate_ = fs * upsample_;
  ticksPerSample_ = kTicksPerSecond / workRate_;
  samplesPerTick_ = 1.0 / ticksPerSample_;
  idleAfter_ = static_cast<uint64_t>(workRate_ * kIdleAfterSeconds);
  if (upsample_ > 1) DesignInterpolator();

  for (int c = 0; c < kChannels; ++c) {
    const double cutoff = c == kChannels - 1
                              ? cutoffHz_
                              : std::min(kCutoffPerRate * kRateHz[c], kMaxCutoffFraction * fs);
    // A rate channel runs on means of a few samples, as slow as its cut-off
    // allows: the mean is a low-pass of its own with its first null at the
    // reduced rate, far enough above the cut-off.
    Channel& ch = channels_[c];
    ch.every = c == kChannels - 1
                   ? 1
                   : std::max(1, static_cast<int>(workRate_ / (kRateChannelOversampling * cutoff)));
    const double rate = workRate_ / ch.every;
    ch.Design(cutoff, rate);
    ch.attack = 1.0 - std::exp(-1.0 / (rate * kAttackSeconds));
    ch.decay = 1.0 - std::exp(-1.0 / (rate * kDecaySeconds));
    ch.idleDecay = 1.0 - std::exp(-1.0 / (rate * kIdleDecaySeconds));
    // The filter's delay at low frequencies, which is where a step crosses
    // half way, and the mean's.
    const double warped = 2.0 * rate * std::tan(kPi * cutoff / rate);
    channelDelay_[c] =
        (kBesselCorner / warped + 0.5 * (ch.every - 1) / workRate_) * kTicksPerSecond;
    staleAfter_[c] = ch.every + 0.5 * workRate_ / kRateHz[c];
    RateClock& clock = clocks_[c];
    clock.nominal = kTicksPerSecond / kRateHz[c];
    clock.SetPeriod(clock.nominal);
    const double share = !fourLevel_              ? 1.0
                         : kRateHz[c] > kFastRate ? kMatchedShare4Fast
                                                  : kMatchedShare4;
    clock.length = std::max(1, static_cast<int>(std::lround(share * workRate_ / kRateHz[c])));
    // The sum is read that much before the boundary to stay centred on the symbol.
    clock.lead = 0.5 * (clock.period - clock.length * ticksPerSample_);
  }
  // Longest first, each to the lane with the least work so far.
  const int tracked = fourLevel_ ? kChannels - 1 : kChannels;
  int order[kChannels];
  for (int c = 0; c < tracked; ++c) order[c] = c;
  std::stable_sort(order, order + tracked,
                   [&](int a, int b) { return channels_[a].every < channels_[b].every; });
  double work[kLanes] = {};
  for (int i = 0; i < tracked; ++i) {
    const int c = order[i];
    const int l = static_cast<int>(std::min_element(work, work + kLanes) - work);
    laneChannel_[l][laneSize_[l]++] = static_cast<int8_t>(c);
    work[l] += 1.0 / channels_[c].every;
  }
  Reset();
}

void AudioSlicer::DesignInterpolator() {
  // Windowed sinc with its cut-off at the input's Nyquist frequency, split
  // into one set of taps per phase of the working samples. Centred on a whole
  // input sample, so phase 0 passes the input through and the delay is a
  // whole number of input samples; each phase sums to one, so DC stays exact.
  const int factor = upsample_;
  const double centre = 0.5 * factor * kInterpTaps;
  for (int p = 0; p < factor; ++p) {
    double sum = 0;
    for (int k = 0; k < kInterpTaps; ++k) {
      const double t = p + factor * k - centre;
      const double sinc = t == 0 ? 1.0 : std::sin(kPi * t / factor) / (kPi * t / factor);
      const double window = 0.54 + 0.46 * std::cos(kPi * t / centre);
      interpTaps_[p][k] = sinc * window;
      sum += interpTaps_[p][k];
    }
    for (double& tap : interpTaps_[p]) tap /= sum;
  }
  interpDelay_ = centre * ticksPerSample_;
}

void AudioSlicer::Reset() {
  for (Channel& c : channels_) c.Clear();
  for (RateClock& r : clocks_) {
    r.SetPeriod(r.nominal);
    r.grid = 0;
    r.error = 0.25;
    r.edges = 0;
    r.fits = false;
    r.evenRuns = 0;
    r.alternation = 0;
    r.sum = r.previousSum = 0;
  }
  std::fill(std::begin(history_), std::end(history_), 0.0);
  std::fill(std::begin(interpInput_), std::end(interpInput_), 0.0);
  interpAt_ = 0;
  quietUntil_ = 0;
  longStateOf_ = ~uint64_t{0};
  inputs_ = 0;
  sample_ = 0;
  selected_ = -1;
  nextDecision_ = 0;
  decisionFrom_ = 0;
  for (double& m : levelMean_) m = 0;
  innerShare_[0] = innerShare_[1] = kInnerShare;
  leak_ = 0;
  level_ = 0;
  stateStart_ = 0;
}

int AudioSlicer::clockedRate() const {
  return selected_ < 0 ? 0 : static_cast<int>(kRateHz[selected_]);
}

void AudioSlicer::Process(const float* samples, size_t count, SliceSink& sink) {
  ProcessBlocks(samples, count, 1.0, sink);
}

void AudioSlicer::Process(const int16_t* samples, size_t count, SliceSink& sink) {
  ProcessBlocks(samples, count, 1.0 / 32768.0, sink);
}

template <typename Sample>
void AudioSlicer::ProcessBlocks(const Sample* samples, size_t count, double scale,
                                SliceSink& sink) {
  const size_t perBlock = static_cast<size_t>(kBlock / upsample_);
  for (size_t at = 0; at < count;) {
    const size_t n = std::min(perBlock, count - at);
    blockFill_ = 0;
    if (upsample_ == 1) {
      // Straight into the block, two at a time in the halves of a register,
      // clipped as std::clamp clips.
      const Pair low = {-kClip, -kClip}, high = {kClip, kClip}, zero = {0, 0};
      size_t i = 0;
      for (; i + 2 <= n; i += 2) {
        Pair x =
            Pair{static_cast<double>(samples[at + i]), static_cast<double>(samples[at + i + 1])} *
            scale;
        x = x != x ? zero : x;
        x = Max(low, x);
        x = Min(x, high);
        block_[i] = x[0];
        block_[i + 1] = x[1];
      }
      for (; i < n; ++i) {
        const double x = static_cast<double>(samples[at + i]) * scale;
        block_[i] = x != x ? 0.0 : std::clamp(x, -kClip, kClip);
      }
      blockFill_ = static_cast<int>(n);
      inputs_ += n;
    } else {
      for (size_t i = 0; i < n; ++i) Input(static_cast<double>(samples[at + i]) * scale);
    }
    RunBlock(blockFill_, sink);
    at += n;
  }
}

void AudioSlicer::Input(double x) {
  if (std::isnan(x)) x = 0;
  x = std::clamp(x, -kClip, kClip);
  ++inputs_;
  if (upsample_ == 1) {
    block_[blockFill_++] = x;
    return;
  }
  // Newest first: interpInput_[interpAt_ + k] is the input k samples back.
  interpAt_ = (interpAt_ + kInterpTaps - 1) % kInterpTaps;
  interpInput_[interpAt_] = interpInput_[interpAt_ + kInterpTaps] = x;
  const double* in = interpInput_ + interpAt_;
  for (int p = 0; p < upsample_; ++p) {
    double y = 0;
    for (int k = 0; k < kInterpTaps; ++k) y += interpTaps_[p][k] * in[k];
    block_[blockFill_++] = y;
  }
}

int AudioSlicer::Means(int c, int count) {
  // Whole means first, each summed in order from zero; the block's ends
  // carry a part-sum over.
  Channel& ch = channels_[c];
  const int every = ch.every;
  if (every == 1) {
    firstOutput_[c] = 0;
    return count;
  }
  double* mean = means_[c];
  int m = 0;
  firstOutput_[c] = every - 1 - ch.phase;
  int k = 0;
  if (ch.phase > 0) {
    double acc = ch.acc;
    const int take = std::min(every - ch.phase, count);
    for (; k < take; ++k) acc += block_[k];
    ch.phase += take;
    if (ch.phase < every) {
      ch.acc = acc;
      return 0;
    }
    mean[m++] = acc / every;
  }
  // Eight means at a time while they last, then two (in the halves of a
  // register), then one.
  for (; k + 8 * every <= count; k += 8 * every, m += 8) EightMeans(block_ + k, every, mean + m);
  for (; k + 2 * every <= count; k += 2 * every) {
    Pair sum = {0, 0};
    for (int t = 0; t < every; ++t) sum += Pair{block_[k + t], block_[k + every + t]};
    mean[m++] = sum[0] / every;
    mean[m++] = sum[1] / every;
  }
  for (; k + every <= count; k += every) {
    double sum = 0;
    for (int t = 0; t < every; ++t) sum += block_[k + t];
    mean[m++] = sum / every;
  }
  double acc = 0;
  for (int t = k; t < count; ++t) acc += block_[t];
  ch.acc = acc;
  ch.phase = count - k;
  return m;
}

void AudioSlicer::FilterChannel(int c, int count) {
  // The filters depend on nothing but the samples, so they run ahead of the
  // decisions, with their state in registers.
  Channel& ch = channels_[c];
  const int m = Means(c, count);
  const double* in = ch.every == 1 ? block_ : means_[c];
  Biquad first = ch.sections[0];
  Biquad second = ch.sections[1];
  Sampled* out = at_[c] + firstOutput_[c];
  for (int i = 0; i < m; ++i) out[i * ch.every].y = second.Run(first.Run(in[i]));
  Store(ch, first, second);
}

void AudioSlicer::RunBlock(int count, SliceSink& sink) {
  constexpr int kWide = kChannels - 1;
  if (!adaptive_) {
    FilterChannel(kWide, count);
    for (int k = 0; k < count; ++k) {
      const uint64_t n = sample_++;
      SliceChannel(kWide, at_[kWide][k].y, n, sink);
      LongState(n, sink);
    }
    return;
  }
  // The two-level channels' tracking depends on nothing but their samples
  // and whether a clock is chosen, so it runs ahead over the block; the
  // steps then take its edges in order. Should the choice change from free
  // to clocked or back inside the block, the tracking is run again from the
  // block's start with the change where it happened.
  fastChannels_ = fourLevel_ ? kChannels - 1 : kChannels;
  blockCount_ = count;
  blockStart_ = sample_;
  const int ring = static_cast<int>(blockStart_ & (kRing - 1));
  const int straight = std::min(count, kRing - ring);
  std::copy(block_, block_ + straight, history_ + ring);
  std::copy(block_ + straight, block_ + count, history_);
  startClocked_ = clocked_ = selected_ >= 0;
  changes_ = 0;
  for (int c = 0; c < fastChannels_; ++c) {
    const Channel& ch = channels_[c];
    started_[c] = {ch.hi,           ch.lo,           ch.y,     ch.prevDiff[0], ch.upCross[0],
                   ch.downCross[0], ch.lastMidCross, ch.level, ch.primed};
    // Where a channel has no sample it has no edge.
    if (ch.every > 1) std::fill(markAt_[c], markAt_[c] + kBlock, uint8_t{0});
  }
  for (int c = fastChannels_; c < kChannels; ++c) FilterChannel(c, count);
  FilterAndTrack(count, clocked_);
  // The edges of each sample from the channels' marks, over the whole block
  // (its end is never read) in loops the compiler vectorises.
  std::copy(markAt_[0], markAt_[0] + kBlock, edgeMask_);
  for (int c = 1; c < fastChannels_; ++c) {
    for (int k = 0; k < kBlock; ++k) edgeMask_[k] |= markAt_[c][k];
  }
  for (uint8_t& m : edgeMask_) m = static_cast<uint8_t>(m >> kEdgeShift);
  inBlock_ = true;
  // Most samples have no edge and nothing due: only the matched filter's sum
  // moves on, until the next sample that PlanQuiet marks.
  const bool quiet = fastChannels_ == kChannels;
  for (int k = 0; k < count;) {
    int end = k;
    if (quiet && blockStart_ + static_cast<uint64_t>(k) < quietUntil_) {
      const auto until = std::min(static_cast<uint64_t>(count), quietUntil_ - blockStart_);
      end = NextEdge(k, static_cast<int>(until));
    }
    if (end > k) {
      MatchedSums(k, end);
      k = end;
    } else {
      Step(k++, sink);
    }
  }
  inBlock_ = false;
  sample_ += static_cast<uint64_t>(count);
}

AudioSlicer::Tracking AudioSlicer::StartTracking(int c, bool clocked) const {
  const Channel& ch = channels_[c];
  Tracking t;
  t.hi = ch.hi;
  t.lo = ch.lo;
  t.y = ch.y;
  t.p = ch.prevDiff[0];
  t.up = ch.upCross[0];
  t.down = ch.downCross[0];
  t.lastMid = ch.lastMidCross;
  t.level = ch.level;
  t.primed = ch.primed;
  t.decayFree = clocked ? ch.idleDecay : ch.decay;
  t.idleDecay = ch.idleDecay;
  t.attack = ch.attack;
  t.every = ch.every;
  return t;
}

void AudioSlicer::EndTracking(int c, const Tracking& t) {
  Channel& ch = channels_[c];
  ch.hi = t.hi;
  ch.lo = t.lo;
  ch.y = t.y;
  ch.prevDiff[0] = t.p;
  ch.upCross[0] = t.up;
  ch.downCross[0] = t.down;
  ch.lastMidCross = t.lastMid;
  ch.level = t.level;
  ch.primed = t.primed;
}

inline void AudioSlicer::TrackSample(int c, Tracking& t, int pos, double y) {
  // SliceTwoLevel's steps, to the bit. Both arms of each choice are worked
  // out and one is taken, so noise, which makes the choices random, costs
  // no mispredicted branches.
  const uint64_t n = blockStart_ + static_cast<uint64_t>(pos);
  t.y = y;
  double hi = t.hi;
  double lo = t.lo;
  const double decay = n - t.lastMid < idleAfter_ ? t.decayFree : t.idleDecay;
  const double hiUp = hi + t.attack * (y - hi);
  const double hiDown = hi - decay * (hi - lo);
  const double loDown = lo + t.attack * (y - lo);
  const double loUp = lo + decay * (hi - lo);
  hi = y > hi ? hiUp : hiDown;
  lo = y < lo ? loDown : loUp;
  t.hi = hi;
  t.lo = lo;
  const double spread = hi - lo;
  const double threshold = lo + 0.5 * spread;
  const double d = y - threshold;
  const double p = t.p;
  // The crossing's place is worked out at every sample (a division that
  // overlaps the rest) and kept only at a crossing.
  const bool cross = t.primed & ((p < 0) != (d < 0));
  const double at = (static_cast<double>(n) - t.every) + t.every * (p / (p - d));
  t.up = (cross && p < 0) ? at : t.up;
  t.down = (cross && !(p < 0)) ? at : t.down;
  t.lastMid = cross ? n : t.lastMid;
  t.p = d;
  t.primed = true;
  Sampled& s = at_[c][pos];
  s.hi = hi;
  s.lo = lo;
  const double h = kHysteresis2 * spread;
  const bool live = !(spread < kMinSpread);
  const bool rise = live & (t.level == 0) & (y > threshold + h);
  const bool fall = live & (t.level == 3) & (y < threshold - h);
  t.level = rise ? 3 : fall ? 0 : t.level;
  // Read only where the channel's bit of the mask is set.
  s.cross = rise ? t.up : t.down;
  const auto bit = static_cast<unsigned>(rise | fall) << c;
  edgeMask_[pos] = static_cast<uint8_t>((edgeMask_[pos] & ~(1u << c)) | bit);
  markAt_[c][pos] = static_cast<uint8_t>(static_cast<unsigned>(t.level) | bit << kEdgeShift);
}

inline void AudioSlicer::LaneStep(Lane& lane) {
  const double y = lane.second.Run(lane.first.Run(*lane.in++));
  at_[lane.c][lane.pos].y = y;
  TrackSample(lane.c, lane.t, lane.pos, y);
  lane.pos += lane.t.every;
}

// The machines with AVX get a copy that uses its three-operand forms and
// blends, those with AVX-512 (x86-64-v4) one that also has 32 vector
// registers, so the loop's values need not be spilled: the same operations
// (the file is built without fused multiply-adds), so the same bits.
// The copy is chosen by an ifunc resolver, which runs before a sanitizer's
// runtime is ready (the thread sanitizer crashes there), and exists on x86 only.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define SKELMAR_SANITIZED 1
#endif
#endif
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(SKELMAR_SANITIZED)
#define SKELMAR_AVX_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx", "default")))
#else
#define SKELMAR_AVX_CLONES
#endif

SKELMAR_AVX_CLONES void AudioSlicer::PairSteps(int steps, Lane& a, Lane& b) {
  // LaneStep for two lanes at once; the levels are masks (all ones for 3).
  // The sample counts are exact in doubles. Both lanes have had a sample
  // before (FilterAndTrack primes them), which keeps a register free. The
  // masks that are not straight comparisons choose by `mask < 0`: they are
  // all ones or zeros, and a blend reads the sign bit alone, where `mask ?`
  // costs a comparison with zero first.
  static_assert(sizeof(Sampled) == 4 * sizeof(double), "the pairs of a sample are stored whole");
  Pair s1a = {a.first.s1, b.first.s1}, s2a = {a.first.s2, b.first.s2};
  Pair s1b = {a.second.s1, b.second.s1}, s2b = {a.second.s2, b.second.s2};
  const Pair b0a = {a.first.b0, b.first.b0}, a1a = {a.first.a1, b.first.a1},
             a2a = {a.first.a2, b.first.a2};
  const Pair b0b = {a.second.b0, b.second.b0}, a1b = {a.second.a1, b.second.a1},
             a2b = {a.second.a2, b.second.a2};
  Pair hi = {a.t.hi, b.t.hi}, lo = {a.t.lo, b.t.lo}, p = {a.t.p, b.t.p};
  PairMask high = {a.t.level == 3 ? -1 : 0, b.t.level == 3 ? -1 : 0};
  // Only the crossing that the next edge can take is kept: the upward one
  // while low, the downward one while high. An edge's sample lies beyond the
  // threshold it leaves by more than the hysteresis, so a crossing back
  // always comes between two edges, and the other direction's crossing is
  // never read before it is set again.
  Pair crossing = {a.t.level == 3 ? a.t.down : a.t.up, b.t.level == 3 ? b.t.down : b.t.up};
  const Pair attack = {a.t.attack, b.t.attack};
  const Pair decayFree = {a.t.decayFree, b.t.decayFree};
  const Pair idleDecay = {a.t.idleDecay, b.t.idleDecay};
  const Pair every = {static_cast<double>(a.t.every), static_cast<double>(b.t.every)};
  const auto idleAfter = static_cast<double>(idleAfter_);
  // The working sample before each lane's present one (n - every), and the
  // one before its last mid-level crossing: their difference is the same.
  Pair before = {static_cast<double>(blockStart_ + static_cast<uint64_t>(a.pos)),
                 static_cast<double>(blockStart_ + static_cast<uint64_t>(b.pos))};
  before -= every;
  Pair lastMid = Pair{static_cast<double>(a.t.lastMid), static_cast<double>(b.t.lastMid)} - every;
  // Whether the lanes' levels relax at the free rate (a mid-level crossing
  // less than idleAfter before).
  PairMask free = before - lastMid < idleAfter;
  // Each lane's edge bit in the channel's marks.
  const PairMask edgeBit = {1 << (a.c + kEdgeShift), 1 << (b.c + kEdgeShift)};
  const double* inA = a.in;
  const double* inB = b.in;
  const int ea = a.t.every, eb = b.t.every;
  Sampled* const atA = at_[a.c];
  Sampled* const atB = at_[b.c];
  uint8_t* const markA = markAt_[a.c];
  uint8_t* const markB = markAt_[b.c];
  int posA = a.pos, posB = b.pos;
  for (int i = 0; i < steps; ++i) {
    const Pair x = {inA[i], inB[i]};
    const Pair bx = b0a * x;
    const Pair ya = bx + s1a;
    s1a = (bx + bx) - a1a * ya + s2a;
    s2a = bx - a2a * ya;
    const Pair bxb = b0b * ya;
    const Pair y = bxb + s1b;
    s1b = (bxb + bxb) - a1b * y + s2b;
    s2b = bxb - a2b * y;
    // TrackSample's steps.
    // Both relaxations are worked out and the choice between them made
    // last: it waits for the previous sample's crossing, which waits for
    // its levels, and the levels' chain from sample to sample is then
    // that much shorter (it sets the loop's pace).
    const Pair hiUp = hi + attack * (y - hi);
    const Pair loDown = lo + attack * (y - lo);
    const Pair spreadWas = hi - lo;
    const Pair freeStep = decayFree * spreadWas, idleStep = idleDecay * spreadWas;
    const Pair hiDown = free < 0 ? hi - freeStep : hi - idleStep;
    const Pair loUp = free < 0 ? lo + freeStep : lo + idleStep;
    hi = y > hi ? hiUp : hiDown;
    lo = y < lo ? loDown : loUp;
    const Pair spread = hi - lo;
    const Pair threshold = lo + 0.5 * spread;
    const Pair d = y - threshold;
    const PairMask below = p < 0;
    const PairMask cross = below ^ (d < 0);
    const Pair at = before + every * (p / (p - d));
    crossing = (cross & (below ^ high)) < 0 ? at : crossing;
    // The next sample's choice, `next - lastMid < idleAfter`, with the
    // crossing taken last: one here leaves a mean's length (`every`, far
    // shorter than idleAfter) since, so the test passes.
    const Pair next = before + every;
    free = cross | (next - lastMid < idleAfter);
    lastMid = cross < 0 ? before : lastMid;
    p = d;
    const Pair h = kHysteresis2 * spread;
    const PairMask dead = spread < kMinSpread;
    const PairMask beyond = high < 0 ? (y < threshold - h) : (y > threshold + h);
    const PairMask edge = beyond & ~dead;
    high ^= edge;
    // Two stores a lane; the level and the edge bit in one byte.
    const Pair yHiA = {y[0], hi[0]}, loCrossA = {lo[0], crossing[0]};
    const Pair yHiB = {y[1], hi[1]}, loCrossB = {lo[1], crossing[1]};
    std::memcpy(&atA[posA].y, &yHiA, sizeof yHiA);
    std::memcpy(&atA[posA].lo, &loCrossA, sizeof loCrossA);
    std::memcpy(&atB[posB].y, &yHiB, sizeof yHiB);
    std::memcpy(&atB[posB].lo, &loCrossB, sizeof loCrossB);
    const PairMask mark = (high & 3) | (edge & edgeBit);
    markA[posA] = static_cast<uint8_t>(mark[0]);
    markB[posB] = static_cast<uint8_t>(mark[1]);
    posA += ea;
    posB += eb;
    before = next;
  }
  Lane* lanes[2] = {&a, &b};
  for (int k = 0; k < 2; ++k) {
    Lane& l = *lanes[k];
    l.first.s1 = s1a[k];
    l.first.s2 = s2a[k];
    l.second.s1 = s1b[k];
    l.second.s2 = s2b[k];
    l.t.hi = hi[k];
    l.t.lo = lo[k];
    l.t.p = p[k];
    l.t.level = high[k] != 0 ? 3 : 0;
    (l.t.level == 3 ? l.t.down : l.t.up) = crossing[k];
    l.t.lastMid = static_cast<uint64_t>(lastMid[k] + every[k]);
    l.in += steps;
    l.pos += steps * l.t.every;
    l.t.y = at_[l.c][l.pos - l.t.every].y;
  }
}

void AudioSlicer::FilterAndTrack(int count, bool clocked) {
  // Each lane takes its channels in turn; the lanes step together as long
  // as all of them have samples left, then those that still have go on.
  Lane lane[kLanes];
  int next[kLanes] = {};
  bool active[kLanes] = {};
  const auto begin = [&](int l) {
    while (next[l] < laneSize_[l]) {
      const int c = laneChannel_[l][next[l]++];
      const int m = Means(c, count);
      if (m == 0) continue;
      const Channel& ch = channels_[c];
      Lane& ln = lane[l];
      ln.first = ch.sections[0];
      ln.second = ch.sections[1];
      ln.t = StartTracking(c, clocked);
      ln.in = ch.every == 1 ? block_ : means_[c];
      ln.c = c;
      ln.pos = firstOutput_[c];
      ln.left = m;
      if (!ln.t.primed) {
        // A first sample ever: the pairs take only lanes that have had one.
        LaneStep(ln);
        if (--ln.left == 0) {
          Store(channels_[c], ln.first, ln.second);
          EndTracking(c, ln.t);
          continue;
        }
      }
      return true;
    }
    return false;
  };
  for (int l = 0; l < kLanes; ++l) active[l] = begin(l);
  for (;;) {
    int on[kLanes];
    int n = 0;
    int steps = kBlock;
    for (int l = 0; l < kLanes; ++l) {
      if (!active[l]) continue;
      on[n++] = l;
      steps = std::min(steps, lane[l].left);
    }
    if (n == 0) break;
    if (n == 2) {
      PairSteps(steps, lane[on[0]], lane[on[1]]);
    } else {
      // A lane alone is paired with a copy of itself, which works out and
      // writes the same values: cheaper than the steps one at a time.
      Lane twin = lane[on[0]];
      PairSteps(steps, lane[on[0]], twin);
    }
    for (int i = 0; i < n; ++i) {
      Lane& ln = lane[on[i]];
      ln.left -= steps;
      if (ln.left > 0) continue;
      Store(channels_[ln.c], ln.first, ln.second);
      EndTracking(ln.c, ln.t);
      active[on[i]] = begin(on[i]);
    }
  }
}

void AudioSlicer::Track(int c, int from, int to, bool clocked) {
  const int every = channels_[c].every;
  int pos = firstOutput_[c];
  if (pos < from) pos += (from - pos + every - 1) / every * every;
  if (pos >= to) return;
  Tracking t = StartTracking(c, clocked);
  for (; pos < to; pos += every) TrackSample(c, t, pos, at_[c][pos].y);
  EndTracking(c, t);
}

void AudioSlicer::Retrack() {
  // From the block's start, with each change of the choice applied from the
  // first sample it reached: the channels after the one whose edge made it
  // see it at the same sample, the others from the next.
  for (int c = 0; c < fastChannels_; ++c) {
    Channel& ch = channels_[c];
    const Started& was = started_[c];
    ch.hi = was.hi;
    ch.lo = was.lo;
    ch.y = was.y;
    ch.prevDiff[0] = was.p;
    ch.upCross[0] = was.up;
    ch.downCross[0] = was.down;
    ch.lastMidCross = was.lastMid;
    ch.level = was.level;
    ch.primed = was.primed;
    bool clocked = startClocked_;
    int from = 0;
    for (int i = 0; i < changes_; ++i) {
      const int until = c <= change_[i].after ? change_[i].at + 1 : change_[i].at;
      Track(c, from, until, clocked);
      from = std::max(from, until);
      clocked = change_[i].clocked;
    }
    Track(c, from, blockCount_, clocked);
  }
}

void AudioSlicer::Changed(int k, int after) {
  if ((selected_ >= 0) == clocked_) return;
  clocked_ = selected_ >= 0;
  change_[changes_++] = {static_cast<int16_t>(k), static_cast<int8_t>(after), clocked_};
  Retrack();
}

AudioSlicer::Seen AudioSlicer::SeenNow(int c) const {
  const Channel& ch = channels_[c];
  if (!inBlock_ || c >= fastChannels_) return {ch.y, ch.hi, ch.lo, ch.level};
  // The channel's latest sample as the steps have reached it.
  const int pos = c <= stepChannel_ ? stepAt_ : stepAt_ - 1;
  const int first = firstOutput_[c];
  if (pos < first) {
    const Started& was = started_[c];
    return {was.y, was.hi, was.lo, was.level};
  }
  const int last = first + (pos - first) / ch.every * ch.every;
  const Sampled& s = at_[c][last];
  return {s.y, s.hi, s.lo, markAt_[c][last] & 3};
}

void AudioSlicer::LongStateNear(uint64_t n, SliceSink& sink) {
  if (stateStart_ != longStateOf_) {
    longStateOf_ = stateStart_;
    const double from = static_cast<double>(stateStart_ + kLongState) / ticksPerSample_ - 2.0;
    longStateFrom_ = from > 0 ? static_cast<uint64_t>(from) : 0;
  }
  if (n + 1 < longStateFrom_) return;
  const auto now = static_cast<uint64_t>(static_cast<double>(n + 1) * ticksPerSample_);
  if (now > stateStart_ + kLongState) Emit(stateStart_ + 65535, sink);
}

void AudioSlicer::Step(int k, SliceSink& sink) {
  const uint64_t n = blockStart_ + static_cast<uint64_t>(k);
  MatchedSum(k, n);
  stepAt_ = k;
  // The tracked channels' edges at this sample, in channel order; an edge
  // that changes the choice may move the later channels' edges.
  for (unsigned m = edgeMask_[k]; m != 0;) {
    const int c = std::countr_zero(m);
    stepChannel_ = c;
    ChannelEvent(c, at_[c][k].cross, n, markAt_[c][k] & 3, true, sink);
    Changed(k, c);
    m = edgeMask_[k] & (~0u << (c + 1));
  }
  if (fastChannels_ < kChannels) {
    stepChannel_ = kChannels - 1;
    SliceChannel(kChannels - 1, at_[kChannels - 1][k].y, n, sink);
    Changed(k, kChannels - 1);
  }
  stepChannel_ = kChannels;
  // The header watch and the clocked decisions have nothing to do at most
  // samples; their own first tests, made here.
  const double now = static_cast<double>(n) * ticksPerSample_;
  if ((clocks_[kHeaderRate].fits && now >= headerNext_) || (now >= dataStart_ && now < frameEnd_)) {
    WatchFlexHeader(n, sink);
    Changed(k, kChannels);
  }
  if (selected_ >= 0 && nextDecision_ <= now) {
    ClockedDecisions(n, sink);
    Changed(k, kChannels);
  }
  LongState(n, sink);
  PlanQuiet(n);
}

int AudioSlicer::NextEdge(int from, int until) const {
  // Eight samples' masks at a time, then one by one.
  int k = from;
  for (; k + 8 <= until; k += 8) {
    uint64_t masks;
    std::memcpy(&masks, edgeMask_ + k, sizeof masks);
    if (masks == 0) continue;
    const int zeros = std::endian::native == std::endian::little ? std::countr_zero(masks)
                                                                 : std::countl_zero(masks);
    return k + zeros / 8;
  }
  while (k < until && edgeMask_[k] == 0) ++k;
  return k;
}

void AudioSlicer::MatchedSums(int from, int to) {
  // MatchedSum over a run of samples, the sum in a register.
  if (selected_ < 0) return;
  uint64_t n = blockStart_ + static_cast<uint64_t>(from);
  RateClock& r = clocks_[selected_];
  const auto length = static_cast<uint64_t>(r.length);
  double sum = r.sum;
  double previous = r.previousSum;
  for (int k = from; k < to; ++k, ++n) {
    previous = sum;
    sum += block_[k] - history_[(n - length) & (kRing - 1)];
  }
  r.sum = sum;
  r.previousSum = previous;
}

uint64_t AudioSlicer::FirstSampleAt(double tick) const {
  // A sample early for the rounding of the products (and of the reciprocal).
  const double at = std::floor(tick * samplesPerTick_) - 1.0;
  return !(at > 0) ? 0 : at < 0x1p62 ? static_cast<uint64_t>(at) : uint64_t{1} << 62;
}

void AudioSlicer::PlanQuiet(uint64_t n) {
  uint64_t until = stateStart_ != longStateOf_ ? 0 : longStateFrom_ > 0 ? longStateFrom_ - 1 : 0;
  if (clocks_[kHeaderRate].fits) until = std::min(until, headerFrom_);
  // A frame's data window that has not ended yet.
  if (frameEnd_ > static_cast<double>(n) * ticksPerSample_) until = std::min(until, dataFrom_);
  if (selected_ >= 0) until = std::min(until, decisionFrom_);
  quietUntil_ = until;
}

void AudioSlicer::SliceTwoLevel(int c, double y, uint64_t n, SliceSink& sink) {
  // SliceChannel's steps for one mid-level threshold, step for step: every
  // rate channel, and the free-running channel of two-level data.
  Channel& ch = channels_[c];
  ch.y = y;
  const double decay = n - ch.lastMidCross < idleAfter_ && selected_ < 0 ? ch.decay : ch.idleDecay;
  // Both arms computed and one taken: the compiler selects instead of
  // branching. Both levels move from where they were before this sample, so
  // the two chains of arithmetic run side by side rather than one after the
  // other (the decay is so slow that the order makes no difference to the
  // levels' course).
  double hi = ch.hi;
  double lo = ch.lo;
  const double attack = ch.attack;
  const double hiUp = hi + attack * (y - hi);
  const double hiDown = hi - decay * (hi - lo);
  const double loDown = lo + attack * (y - lo);
  const double loUp = lo + decay * (hi - lo);
  hi = y > hi ? hiUp : hiDown;
  lo = y < lo ? loDown : loUp;
  ch.hi = hi;
  ch.lo = lo;
  const double spread = hi - lo;
  const double threshold = lo + 0.5 * spread;
  const double d = y - threshold;
  const double p = ch.prevDiff[0];
  if (ch.primed && (p < 0) != (d < 0)) {
    const double at = (static_cast<double>(n) - ch.every) + ch.every * (p / (p - d));
    if (p < 0) {
      ch.upCross[0] = at;
    } else {
      ch.downCross[0] = at;
    }
    ch.lastMidCross = n;
  }
  ch.prevDiff[0] = d;
  ch.primed = true;
  if (spread < kMinSpread) return;
  const double h = kHysteresis2 * spread;
  if (ch.level == 0 && y > threshold + h) {
    ChannelEdge(c, ch.upCross[0], n, 3, true, sink);
  } else if (ch.level == 3 && y < threshold - h) {
    ChannelEdge(c, ch.downCross[0], n, 0, true, sink);
  }
}

void AudioSlicer::SliceChannel(int c, double y, uint64_t n, SliceSink& sink) {
  if (!(fourLevel_ && c == kChannels - 1)) {
    SliceTwoLevel(c, y, n, sink);
    return;
  }
  Channel& ch = channels_[c];
  ch.y = y;

  // Outer levels: quick to follow a peak, slow to shrink toward each other.
  // While a rate clocks the decisions the envelope only times crossings, and
  // four-level data may keep off one outer level for a good part of a frame
  // (idle phases): the levels are held as if the signal were idle.
  const double decay = n - ch.lastMidCross < idleAfter_ && selected_ < 0 ? ch.decay : ch.idleDecay;
  if (y > ch.hi) {
    ch.hi += ch.attack * (y - ch.hi);
  } else {
    ch.hi -= decay * (ch.hi - ch.lo);
  }
  if (y < ch.lo) {
    ch.lo += ch.attack * (y - ch.lo);
  } else {
    ch.lo += decay * (ch.hi - ch.lo);
  }
  const double spread = ch.hi - ch.lo;

  // Thresholds halfway between adjacent levels; note where the signal crossed
  // each, to sub-sample precision, so the edge lands there and not where the
  // hysteresis finally lets the decision change.
  // The rate channels only time the mid-level crossings for their clocks.
  const bool four = fourLevel_ && c == kChannels - 1;
  const int count = four ? 3 : 1;
  double threshold[3];
  if (four) {
    for (int i = 0; i < 3; ++i) threshold[i] = ch.lo + spread * (2 * i + 1) / 6.0;
  } else {
    threshold[0] = ch.lo + 0.5 * spread;
  }
  // Where the previous filtered sample was, in input samples.
  const double before = static_cast<double>(n) - ch.every;
  for (int i = 0; i < count; ++i) {
    const double d = y - threshold[i];
    const double p = ch.prevDiff[i];
    if (ch.primed) {
      if (p < 0 && d >= 0) {
        ch.upCross[i] = before + ch.every * (p / (p - d));
        if (i == count / 2) ch.lastMidCross = n;
      } else if (p >= 0 && d < 0) {
        ch.downCross[i] = before + ch.every * (p / (p - d));
        if (i == count / 2) ch.lastMidCross = n;
      }
    }
    ch.prevDiff[i] = d;
  }
  ch.primed = true;

  if (spread < kMinSpread) return;
  if (four) {
    const double h = kHysteresis4 * spread;
    while (ch.level < 3 && y > threshold[ch.level] + h) {
      ChannelEdge(c, ch.upCross[ch.level], n, ch.level + 1, ch.level == 1, sink);
    }
    while (ch.level > 0 && y < threshold[ch.level - 1] - h) {
      ChannelEdge(c, ch.downCross[ch.level - 1], n, ch.level - 1, ch.level == 2, sink);
    }
  } else {
    const double h = kHysteresis2 * spread;
    if (ch.level == 0 && y > threshold[0] + h) {
      ChannelEdge(c, ch.upCross[0], n, 3, true, sink);
    } else if (ch.level == 3 && y < threshold[0] - h) {
      ChannelEdge(c, ch.downCross[0], n, 0, true, sink);
    }
  }
}

void AudioSlicer::ChannelEdge(int c, double position, uint64_t n, int newLevel, bool mid,
                              SliceSink& sink) {
  channels_[c].level = newLevel;
  ChannelEvent(c, position, n, newLevel, mid, sink);
}

void AudioSlicer::ChannelEvent(int c, double position, uint64_t n, int newLevel, bool mid,
                               SliceSink& sink) {
  if (c == kChannels - 1 && selected_ < 0) Edge(position, n, newLevel, sink);
  if (!adaptive_) return;
  // A crossing noted half a symbol before the decision is stale (tracking
  // had not settled): it carries no timing.
  if (position < static_cast<double>(n) - staleAfter_[c]) return;
  if (mid) {
    ClockEdge(c, position * ticksPerSample_);
  } else if (fourLevel_ && c == kChannels - 1 &&
             static_cast<double>(n - channels_[c].lastMidCross) >
                 kOneSidedSymbols * workRate_ / kRateHz[c]) {
    // Four-level data whose outer bits idle (empty phases) may stay on one
    // side of the mid-level for a whole frame while its inner bits still
    // change: those changes then time the four-level rates' clocks, moved by
    // the difference between the channels' delays. Only then: the inner
    // thresholds lie closer together, and noise crosses them more often.
    const double tick = position * ticksPerSample_ - channelDelay_[c];
    for (const int r : kFourLevelRates) ClockEdge(r, tick + channelDelay_[r]);
  } else {
    return;
  }
  ChooseRate(n, sink);
}

void AudioSlicer::ClockEdge(int r, double tick) {
  RateClock& clock = clocks_[r];
  // Products with the reciprocal worked out when the period was set: the
  // edge's own arithmetic does not wait for a division.
  const double perPeriod = clock.perPeriod;
  const double k = Round((tick - clock.grid) * perPeriod);
  const double boundary = clock.grid + k * clock.period;
  const double e = tick - boundary;
  if (r == selected_) {
    const double gain =
        std::max(kLockedGain, kClockGain * kSettleEdges / (kSettleEdges + clock.lockedEdges));
    ++clock.lockedEdges;
    clock.grid = boundary + gain * e;
    if (k != 0) {
      clock.SetPeriod(std::clamp(clock.period + kLockedRateGain * e / std::fabs(k),
                                 clock.nominal * (1 - kMaxClockDrift),
                                 clock.nominal * (1 + kMaxClockDrift)));
    }
  } else {
    clock.grid = boundary + kClockGain * e;
  }
  // The run's parity and length, the noise's random ones too, without branches.
  const auto odd = static_cast<int>(static_cast<int64_t>(k) & 1);
  clock.evenRuns += kRunWeight * (static_cast<double>(1 - 2 * odd) - clock.evenRuns);
  // In symbols of the period the edge was timed on.
  clock.error += kErrorWeight * (std::fabs(e) * perPeriod - clock.error);
  if (clock.edges < kFitEdges) ++clock.edges;
  if (clock.fits) {
    clock.fits = clock.error < kFitLeave;
  } else {
    clock.fits = clock.edges >= kFitEdges && clock.error < kFitEnter;
  }
  clock.alternation = (clock.alternation + 1) * static_cast<int>(k == 1);
}

void AudioSlicer::WatchFlexHeader(uint64_t n, SliceSink& sink) {
  // The two-level FLEX sync is read off the 1600 channel at the centres of
  // its clock's symbols: the mode word names the rate of the data, which
  // begins a fixed number of symbols later and lasts a fixed time. Four-level
  // data that idles can look like either rate, so the frame says which.
  const double now = static_cast<double>(n) * ticksPerSample_;
  const RateClock& clock = clocks_[kHeaderRate];
  if (clock.fits) {
    // Centres in the channel's time (the channel shows a sample late by its
    // delay); the next one is looked for at least a quarter symbol on, so a
    // clock that moves cannot read a symbol twice.
    if (now >= headerNext_) {
      const double centre = headerNext_;
      headerNext_ =
          clock.grid + (std::ceil((now - clock.grid) / clock.period + 0.25) + 0.5) * clock.period;
      headerFrom_ = FirstSampleAt(headerNext_);
      if (centre < 0) return;
      const Seen ch = SeenNow(kHeaderRate);
      const uint64_t bit = ch.y < 0.5 * (ch.hi + ch.lo) ? 1u : 0u;
      headerBits_ = (headerBits_ << 1) | bit;
      for (const FlexSyncCode& code : kFlexSyncCodes) {
        const uint64_t pattern = (static_cast<uint64_t>(code.code) << 48) |
                                 (static_cast<uint64_t>(kFlexSyncMarker) << 16) | code.complement;
        if (std::popcount(headerBits_ ^ pattern) > kFlexSyncErrors &&
            std::popcount(~headerBits_ ^ pattern) > kFlexSyncErrors) {
          continue;
        }
        // The symbol just read ends half a period after its centre; the
        // channel's delay brings that back to the time of the input.
        const double end = centre + 0.5 * clock.period - channelDelay_[kHeaderRate];
        dataStart_ = end + kFlexHeaderRest * clock.period;
        frameEnd_ = dataStart_ + kFlexDataSeconds * kTicksPerSecond;
        dataFrom_ = FirstSampleAt(dataStart_);
        frameRate_ = code.rate == 1600 ? kHeaderRate : kFlexFastRate;
        break;
      }
    }
  }
  // The hand-over itself, at the first sample of the data.
  if (now >= dataStart_ && now < frameEnd_ && selected_ != frameRate_ &&
      clocks_[frameRate_].edges > 0) {
    Select(frameRate_, n, sink);
  }
}

void AudioSlicer::ChooseRate(uint64_t n, SliceSink& sink) {
  // The fitting clock with the smallest timing error. A faster clock fits
  // slower data too, but its wider channel and shorter period make its error
  // (in its own symbols) larger; a slower clock on faster data misses half
  // the boundaries. The present choice stays unless another is clearly better.
  // FLEX bit sync (an alternation at the header's rate) while an unrelated
  // rate is chosen: a frame has begun, right after POCSAG or GSC, say. The
  // chosen clock's low error is history, and it must earn its place again,
  // or the frame's sync would be decided on the old clock and lost. The bit
  // sync is short; the other protocols' preambles leave time enough.
  if (clocks_[kHeaderRate].alternation >= kBitSyncRuns && selected_ >= 0 &&
      !Harmonic(kHeaderRate, selected_)) {
    clocks_[selected_].error = kFitLeave;
    clocks_[selected_].fits = false;
  }
  int choice = -1;
  for (int r = 0; r < kRates; ++r) {
    if (clocks_[r].fits && (choice < 0 || clocks_[r].error < clocks_[choice].error)) choice = r;
  }
  if (choice >= 0 && selected_ >= 0 && clocks_[selected_].fits &&
      clocks_[selected_].error < clocks_[choice].error + kSwitchMargin) {
    choice = selected_;
  }
  // Runs of an odd number of symbols of the double rate: the data is at that
  // rate (a frame going over to its faster part), whatever the errors say yet;
  // once there, it stays while the odd runs last.
  while (choice >= 0 && kDoubleRate[choice] >= 0 && clocks_[kDoubleRate[choice]].fits &&
         clocks_[kDoubleRate[choice]].evenRuns < kOddRuns &&
         (kDoubleRate[choice] == selected_ ||
          clocks_[kDoubleRate[choice]].error < clocks_[choice].error + kOddRunsMargin)) {
    choice = kDoubleRate[choice];
  }
  // Runs of an even number of symbols only: the data is at half the rate.
  while (choice >= 0 && kHalfRate[choice] >= 0 && clocks_[choice].evenRuns > kEvenRuns &&
         clocks_[kHalfRate[choice]].fits) {
    choice = kHalfRate[choice];
  }
  // Inside a FLEX frame whose header was read, its own rate holds.
  const double at = static_cast<double>(n) * ticksPerSample_;
  if (at < frameEnd_) choice = at < dataStart_ ? kHeaderRate : frameRate_;
  Select(choice, n, sink);
}

inline void AudioSlicer::Select(int choice, uint64_t n, SliceSink& sink) {
  // Too few samples per symbol for the moving sum to hold one symbol: the
  // rate is recognised, but the free-running edges serve it better.
  if (choice >= 0 && clocks_[choice].length < kMinClockedSamples) choice = -1;
  // Most edges leave the choice as it was: that test inline, the change apart.
  if (choice != selected_) Switch(choice, n, sink);
}

void AudioSlicer::Switch(int choice, uint64_t n, SliceSink& sink) {
  const double now = static_cast<double>(n) * ticksPerSample_;
  const int previous = selected_;
  // Only the deciding clock learns the rate; the others keep the nominal one.
  if (previous >= 0) clocks_[previous].SetPeriod(clocks_[previous].nominal);
  if (choice >= 0) clocks_[choice].lockedEdges = 0;
  selected_ = choice;
  if (choice < 0) {
    // Free-running again: the wide channel's present level from now on.
    EmitEdgeAt(now, SeenNow(kChannels - 1).level, sink);
    return;
  }
  // Only the chosen clock keeps its sum running; start it from the samples kept.
  RateClock& chosen = clocks_[choice];
  chosen.sum = 0;
  for (uint64_t i = 0; i < static_cast<uint64_t>(chosen.length); ++i) {
    chosen.sum += history_[(n - i) & (kRing - 1)];
  }
  chosen.previousSum = chosen.sum - history_[n & (kRing - 1)] +
                       history_[(n - static_cast<uint64_t>(chosen.length)) & (kRing - 1)];
  const RateClock& clock = clocks_[choice];
  const double first =
      clock.grid - channelDelay_[choice] - clock.lead - kWindowEarlySamples * ticksPerSample_;
  nextDecision_ = first + std::ceil((now - first) / clock.period) * clock.period;
  decisionFrom_ = FirstSampleAt(nextDecision_);
  if (previous < 0) {
    StartLevels(choice, n);
    innerShare_[0] = innerShare_[1] = kInnerShare;
    leak_ = 0;
  }
}

void AudioSlicer::StartLevels(int r, uint64_t n) {
  // Outer levels to start from: the matched filter's means of the last
  // symbols on the new clock, split at their middle. The envelope is no
  // guide after squelch noise, whose peaks it still remembers, and levels
  // that start too far apart would never see an outer decision to correct
  // them; means of four-level symbols start them too close, which the
  // outer decisions soon mend.
  const RateClock& clock = clocks_[r];
  const double periodSamples = clock.period / ticksPerSample_;
  const int count = std::min(
      kStartSymbols, static_cast<int>((kHistory - clock.length - 1) / std::ceil(periodSamples)));
  double means[kStartSymbols];
  int have = 0;
  for (int k = 1; k <= count; ++k) {
    const double end = (nextDecision_ - k * clock.period) / ticksPerSample_;
    if (end < clock.length || end > static_cast<double>(n)) continue;
    const auto last = static_cast<uint64_t>(std::floor(end));
    double sum = 0;
    for (uint64_t i = 0; i < static_cast<uint64_t>(clock.length); ++i) {
      sum += history_[(last - i) & (kRing - 1)];
    }
    means[have++] = sum / clock.length;
  }
  double centre = 0;
  for (int i = 0; i < have; ++i) centre += means[i];
  centre = have > 0 ? centre / have : 0;
  double low = 0, high = 0;
  int lows = 0, highs = 0;
  for (int i = 0; i < have; ++i) {
    if (means[i] < centre) {
      low += means[i];
      ++lows;
    } else {
      high += means[i];
      ++highs;
    }
  }
  const Seen ch = SeenNow(r);
  if (lows < 2 || highs < 2) {
    levelMean_[0] = ch.lo;
    levelMean_[3] = ch.hi;
    return;
  }
  levelMean_[0] = low / lows;
  levelMean_[3] = high / highs;
}

void AudioSlicer::ClockedDecisions(uint64_t n, SliceSink& sink) {
  const double now = static_cast<double>(n) * ticksPerSample_;
  const int r = selected_;
  const RateClock& clock = clocks_[r];
  if (nextDecision_ > now) return;
  if (now - clock.grid > kQuietSymbols * clock.period && now >= frameEnd_) {
    // No crossing for long: the transmission has ended. Whatever comes next
    // must earn a clock afresh, and the free-running edges serve until then.
    for (RateClock& c : clocks_) {
      c.SetPeriod(c.nominal);
      c.error = 0.25;
      c.edges = 0;
      c.fits = false;
      c.evenRuns = 0;
      c.alternation = 0;
    }
    selected_ = -1;
    EmitEdgeAt(now, SeenNow(kChannels - 1).level, sink);
    return;
  }
  // The matched filter now holds the symbol that ended at the boundary.
  const Seen ch = SeenNow(r);
  // Between the sums after this sample and the one before, where the boundary fell.
  const double frac =
      std::clamp(nextDecision_ / ticksPerSample_ - static_cast<double>(n) + 1.0, 0.0, 1.0);
  double mean = (clock.previousSum + frac * (clock.sum - clock.previousSum)) / clock.length;
  // Thresholds half way between the mean values of the decided levels, which
  // follow the signal from the symbols themselves: noise peaks, which widen
  // the tracked envelope, do not move them. The inner levels are kept as
  // shares of the outer ones, so a change of offset or deviation moves them
  // too; they need not sit at a third (transmitters and receiver filters differ).
  const double mid = 0.5 * (levelMean_[0] + levelMean_[3]);
  const double half = 0.5 * (levelMean_[3] - levelMean_[0]);
  // Deviation of each level from the mid-level, as the decisions see them.
  const double deviation[4] = {-half, -innerShare_[0] * half, innerShare_[1] * half, half};
  const double before = fourLevel_ ? deviation[lastDecision_] : 0.0;
  mean -= leak_ * before;
  int level;
  if (fourLevel_) {
    if (mean >= mid) {
      level = mean > mid + 0.5 * (1.0 + innerShare_[1]) * half ? 3 : 2;
    } else {
      level = mean < mid - 0.5 * (1.0 + innerShare_[0]) * half ? 0 : 1;
    }
    if ((level == 1 || level == 2) && half > 0) {
      double& share = innerShare_[level - 1];
      const double seen = std::fabs(mean - mid) / half;
      share = std::clamp(share + kLevelWeight * (seen - share), kMinInnerShare, kMaxInnerShare);
    }
  } else {
    level = mean > mid ? 3 : 0;
  }
  if (fourLevel_ && half > 0) {
    // What is left of the last symbol in this one moves the leak estimate.
    const double error = mean - (mid + deviation[level]);
    leak_ = std::clamp(leak_ + kLeakWeight * error * before / (half * half), 0.0, kMaxLeak);
  }
  if (half > 0) {
    // How far the symbol was from the thresholds of its two bits, against
    // how far the nearest level lies from them.
    const double away = std::fabs(mean - mid);
    double outer = away / half;
    double inner = outer;
    if (fourLevel_) {
      const double share = innerShare_[mean >= mid ? 1 : 0];
      outer = away / (share * half);
      inner = std::fabs(away - 0.5 * (1.0 + share) * half) / (0.5 * (1.0 - share) * half);
    }
    const double start =
        nextDecision_ + clock.lead - clock.period + channelDelay_[kChannels - 1] - interpDelay_;
    SymbolDecision decision;
    decision.start = static_cast<uint64_t>(std::max(0.0, start) + 0.5);
    decision.length = static_cast<uint32_t>(clock.period + 0.5);
    decision.level = static_cast<uint8_t>(level);
    decision.outer = Reliability(outer);
    decision.inner = Reliability(inner);
    sink.PutDecision(decision);
  }
  lastDecision_ = level;
  if (level == 0 || level == 3) levelMean_[level] += kLevelWeight * (mean - levelMean_[level]);
  // A lost signal must not leave the levels crossed.
  const double minGap = 0.1 * (ch.hi - ch.lo);
  if (levelMean_[3] < levelMean_[0] + minGap) {
    const double centre = 0.5 * (levelMean_[0] + levelMean_[3]);
    levelMean_[0] = centre - 0.5 * minGap;
    levelMean_[3] = centre + 0.5 * minGap;
  }
  // The symbol began a period before; its edge goes where the free-running
  // decisions would put it, so the timing holds across a change of mode.
  if (level != level_) {
    EmitEdgeAt(nextDecision_ + clock.lead - clock.period + channelDelay_[kChannels - 1], level,
               sink);
  }
  // The next boundary on the clock's present grid, at least half a symbol on.
  const double first =
      clock.grid - channelDelay_[r] - clock.lead - kWindowEarlySamples * ticksPerSample_;
  const double after = nextDecision_ + 0.5 * clock.period;
  nextDecision_ = first + std::ceil((after - first) / clock.period) * clock.period;
  decisionFrom_ = FirstSampleAt(nextDecision_);
}

void AudioSlicer::Finish(SliceSink& sink) {
  Emit(static_cast<uint64_t>(std::llround(streamTicks())), sink);
}

void AudioSlicer::Edge(double position, uint64_t sample, int newLevel, SliceSink& sink) {
  double t = position * ticksPerSample_;
  // A crossing noted before the last written edge is stale (the signal was
  // already past the threshold when tracking began): the edge is now.
  if (t - interpDelay_ <= static_cast<double>(stateStart_)) {
    t = static_cast<double>(sample) * ticksPerSample_;
  }
  EmitEdgeAt(t, newLevel, sink);
}

void AudioSlicer::EmitEdgeAt(double tick, int newLevel, SliceSink& sink) {
  // Working time runs late by the interpolator's delay; edges are written in stream time.
  uint64_t t = static_cast<uint64_t>(std::llround(std::max(0.0, tick - interpDelay_)));
  if (t < stateStart_) t = stateStart_;
  Emit(t, sink);
  level_ = newLevel;
}

void AudioSlicer::Emit(uint64_t untilTick, SliceSink& sink) {
  const uint8_t status = kAudioLevelStatus[level_];
  while (untilTick > stateStart_) {
    const uint64_t length = std::min<uint64_t>(untilTick - stateStart_, 65535);
    sink.PutEdge(static_cast<uint16_t>(length), status);
    stateStart_ += length;
  }
}

}  // namespace skelmar
