// Turns FM-discriminator audio into slicer edges: receive low-pass, DC and
// level tracking, decisions with hysteresis and sub-sample edge timing; once
// the symbol rate is recognised, clocked decisions on a matched filter. Slow
// sound cards are interpolated up first, so even their fastest symbols are
// clocked.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "frontend/edge_ring.h"

namespace skelmar {

inline constexpr int kMinAudioRate = 8000;
inline constexpr int kMaxAudioRate = 192000;

/// Status bytes that present slicer levels 0..3 as 0, 1, 2 and 3 asserted
/// lines (none, CTS, CTS+DSR, CTS+DSR+DCD), so the front end's level table,
/// 4-level switch and inversion all keep their meaning for audio input.
inline constexpr uint8_t kAudioLevelStatus[4] = {0x00, 0x10, 0x30, 0xB0};

/// Receives each ended slicer state: its length in ticks (at most 65535) and status.
class SliceSink {
 public:
  virtual ~SliceSink() = default;
  virtual void PutEdge(uint16_t durationTicks, uint8_t status) = 0;
  /// Each clocked decision with its reliability, before the edge that ends
  /// its state (stream ticks as the edges count them).
  virtual void PutDecision(const SymbolDecision&) {}
};

struct AudioSlicerOptions {
  int sampleRate = 22050;  ///< samples per second, kMinAudioRate..kMaxAudioRate
  bool fourLevel = false;  ///< four deviation levels instead of two
  /// Receive low-pass cut-off; 0 picks one that passes 3200 symbols/s and lets
  /// the slicer narrow its filter and clock its decisions once it recognises
  /// the symbol rate. A given cut-off keeps that one filter and free-running edges.
  double cutoffHz = 0;
};

/// One mono audio channel in, PulseSamples out. Fixed state; no allocation
/// after construction. Positive audio (the higher RF frequency) is the high level.
class AudioSlicer {
 public:
  explicit AudioSlicer(const AudioSlicerOptions& options);

  static bool RateSupported(int sampleRate) {
    return sampleRate >= kMinAudioRate && sampleRate <= kMaxAudioRate;
  }

  /// Full scale is +-1.0; NaN counts as silence and larger values are clipped.
  void Process(const float* samples, size_t count, SliceSink& sink);
  /// Full scale is +-32768.
  void Process(const int16_t* samples, size_t count, SliceSink& sink);

  /// Writes the state in progress up to the time of the last sample, for the
  /// end of a stream, where no further edge will end it.
  void Finish(SliceSink& sink);

  /// Back to the state after construction (stream time 0).
  void Reset();

  uint64_t samplesConsumed() const { return inputs_; }
  /// Stream time in ticks of the samples consumed so far.
  double streamTicks() const { return static_cast<double>(inputs_) * ticksPerInput_; }
  double cutoffHz() const { return cutoffHz_; }
  int sampleRate() const { return sampleRate_; }
  /// Current decision, 0..3 (two-level slicing uses 0 and 3).
  int level() const { return level_; }
  /// Tracked envelope of the filtered signal: the mid-point is the DC offset.
  double upperEnvelope() const { return channels_[kChannels - 1].hi; }
  double lowerEnvelope() const { return channels_[kChannels - 1].lo; }
  /// Symbol rate clocking the decisions, 0 while the edges run free.
  int clockedRate() const;

 private:
  struct Biquad {
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double s1 = 0, s2 = 0;
    /// For the low-passes, whose b1 is 2 b0 and b2 is b0: the products are
    /// the same to the bit with one multiplication instead of three.
    double Run(double x) {
      const double bx = b0 * x;
      const double y = bx + s1;
      s1 = (bx + bx) - a1 * y + s2;
      s2 = bx - a2 * y;
      return y;
    }
  };

  /// A receive filter with its own level tracking and threshold decisions.
  struct Channel {
    Biquad sections[2];
    double hi = 0, lo = 0;  ///< tracked outer levels
    double y = 0;           ///< latest filtered sample
    int level = 0;
    bool primed = false;
    double prevDiff[3] = {};
    double upCross[3] = {};
    double downCross[3] = {};
    uint64_t lastMidCross = 0;
    int every = 1;         ///< input samples per filtered sample
    int phase = 0;         ///< input samples summed so far
    double acc = 0;        ///< their sum
    double attack = 0;     ///< per-sample envelope attack coefficient
    double decay = 0;      ///< per-sample envelope relaxation coefficient
    double idleDecay = 0;  ///< the same once the signal stays on one side of the mid-point
    void Design(double cutoffHz, double sampleRate);
    void Clear();
  };
  /// Symbol clock of one candidate rate, pulled by the mid-level crossings of
  /// its channel; its mean timing error says whether that rate is on the air.
  struct RateClock {
    double period = 0;       ///< ticks; the deciding clock learns the transmitter's
    double perPeriod = 0;    ///< its reciprocal
    double nominal = 0;      ///< the rate's own period, ticks
    double lockedEdges = 0;  ///< crossings since it began deciding
    double grid = 0;         ///< a symbol boundary as the channel sees it, ticks
    double error = 0.25;
    int edges = 0;
    bool fits = false;
    double evenRuns = 0;  ///< mean of +1 per run of an even number of symbols, -1 per odd
    int alternation = 0;  ///< runs of one symbol in a row
    int length = 1;       ///< matched-filter length, samples
    double lead = 0;      ///< ticks the sum is read before the boundary
    double sum = 0;       ///< matched-filter running sum
    double previousSum = 0;
    void SetPeriod(double ticks) {
      period = ticks;
      perPeriod = 1.0 / ticks;
    }
  };
  static constexpr int kRates = 6;
  static constexpr int kChannels = kRates;  ///< one per rate; the last also runs free
  static constexpr int kHistory = 1024;     ///< working samples looked back at, at most
  static constexpr int kMaxUpsample = 4;    ///< working samples per input sample, at most
  static constexpr int kInterpTaps = 8;     ///< interpolator taps per working-sample phase
  /// Working samples filtered at a time: the filters run over a block in
  /// tight loops of their own, the decisions then step through it.
  static constexpr int kBlock = 256;

  template <typename Sample>
  void ProcessBlocks(const Sample* samples, size_t count, double scale, SliceSink& sink);
  /// One input sample into the working block: its working samples are appended.
  void Input(double x);
  void DesignInterpolator();
  /// Runs each channel's mean and filter over the block, then steps through it.
  void RunBlock(int count, SliceSink& sink);
  /// A channel's filter inputs of the block, the means of `every` working
  /// samples (the block itself at every sample), and how many there are.
  int Means(int c, int count);
  void FilterChannel(int c, int count);
  static void Store(Channel& ch, const Biquad& first, const Biquad& second) {
    ch.sections[0] = first;
    ch.sections[1] = second;
  }
  void Step(int k, SliceSink& sink);
  /// Matched filter of the chosen rate: the sum of the last symbol's worth of samples.
  void MatchedSum(int k, uint64_t n) {
    if (selected_ >= 0) {
      RateClock& r = clocks_[selected_];
      r.previousSum = r.sum;
      r.sum += block_[k] - history_[(n - static_cast<uint64_t>(r.length)) & (kRing - 1)];
    }
  }
  /// MatchedSum for the block's samples from..to-1.
  void MatchedSums(int from, int to);
  /// The first of the block's samples from..until-1 with an edge, else until.
  int NextEdge(int from, int until) const;
  /// Works out quietUntil_ after a step at working sample n.
  void PlanQuiet(uint64_t n);
  /// The first working sample at which `now >= tick` may hold.
  uint64_t FirstSampleAt(double tick) const;
  /// Writes a long state in pieces, so silence reaches the front end. The
  /// exact test only near where it can first pass: working time grows with
  /// n, and the bound is worked out again whenever a state is written.
  void LongState(uint64_t n, SliceSink& sink) {
    if (stateStart_ != longStateOf_ || n + 1 >= longStateFrom_) LongStateNear(n, sink);
  }
  void LongStateNear(uint64_t n, SliceSink& sink);
  void SliceChannel(int c, double y, uint64_t n, SliceSink& sink);
  /// A two-level channel's tracking over its samples at working samples
  /// from..to-1 of the block, its edges marked for the steps.
  void Track(int c, int from, int to, bool clocked);
  struct Tracking {
    double hi, lo, y, p, up, down;
    uint64_t lastMid;
    int level;
    bool primed;
    double decayFree, idleDecay, attack;
    int every;
  };
  Tracking StartTracking(int c, bool clocked) const;
  void EndTracking(int c, const Tracking& t);
  void TrackSample(int c, Tracking& t, int pos, double y);
  /// One channel's filter and tracking side by side with others' (lanes):
  /// their chains of dependent arithmetic overlap.
  struct Lane {
    Biquad first, second;
    Tracking t;
    const double* in;
    int c, pos, left;
  };
  /// Filters and tracks the two-level channels over the whole block.
  void FilterAndTrack(int count, bool clocked);
  /// Two lanes at once, in the halves of vector registers; a and b may be
  /// copies of one lane.
  void PairSteps(int steps, Lane& a, Lane& b);
  void LaneStep(Lane& lane);
  void Retrack();
  /// After a step's part that may choose a clock (`after` the channel whose
  /// edge it was, kChannels for the rest of the step).
  void Changed(int k, int after);
  /// A channel's latest sample and levels as the steps have reached it.
  struct Seen {
    double y, hi, lo;
    int level;
  };
  Seen SeenNow(int c) const;
  void SliceTwoLevel(int c, double y, uint64_t n, SliceSink& sink);
  void ChannelEdge(int c, double position, uint64_t n, int newLevel, bool mid, SliceSink& sink);
  /// ChannelEdge once the channel's level is set.
  void ChannelEvent(int c, double position, uint64_t n, int newLevel, bool mid, SliceSink& sink);
  void ClockEdge(int r, double tick);
  void ChooseRate(uint64_t n, SliceSink& sink);
  void Select(int choice, uint64_t n, SliceSink& sink);
  /// Select once the choice differs from the present one.
  void Switch(int choice, uint64_t n, SliceSink& sink);
  void StartLevels(int r, uint64_t n);
  void WatchFlexHeader(uint64_t n, SliceSink& sink);
  void ClockedDecisions(uint64_t n, SliceSink& sink);
  void Edge(double position, uint64_t sample, int newLevel, SliceSink& sink);
  void EmitEdgeAt(double tick, int newLevel, SliceSink& sink);
  void Emit(uint64_t untilTick, SliceSink& sink);

  int sampleRate_;  ///< of the input
  bool fourLevel_;
  bool adaptive_;
  double cutoffHz_;
  // Input too slow for clocked decisions at the fastest rate is interpolated
  // up to a working rate of `upsample_` samples per input sample; everything
  // after the interpolator counts working samples.
  int upsample_ = 1;
  double workRate_;
  double ticksPerInput_;
  double ticksPerSample_;  ///< per working sample
  double samplesPerTick_;
  double interpDelay_ = 0;  ///< the interpolator's delay, ticks; edges are moved back by it
  double interpTaps_[kMaxUpsample][kInterpTaps] = {};
  double interpInput_[2 * kInterpTaps] = {};  ///< last inputs, twice over for a straight read
  int interpAt_ = 0;
  uint64_t idleAfter_;  ///< samples without a mid-point crossing that count as staying
  Channel channels_[kChannels];
  double channelDelay_[kChannels] = {};  ///< filter delay of each channel, ticks
  /// Working samples after which a channel's crossing is stale for its clock.
  double staleAfter_[kChannels] = {};
  RateClock clocks_[kRates];  ///< fed by the channel of the same index
  /// The working samples, in a ring with room for a block's besides: each
  /// block's go in as it begins, ahead of the steps, which read none after
  /// their own.
  static constexpr int kRing = 2 * kHistory;
  static_assert(kRing >= kHistory + kBlock && std::has_single_bit(unsigned{kRing}));
  double history_[kRing] = {};
  double block_[kBlock] = {};  ///< working samples of the block in progress
  int blockFill_ = 0;
  /// A channel's filtered sample and, for the tracked channels, its levels
  /// after it and the crossing an edge there would take, side by side so the
  /// tracking writes them in two stores.
  struct Sampled {
    double y, hi, lo, cross;
  };
  /// Each channel's samples at the working samples of the block where its mean completes.
  Sampled at_[kChannels][kBlock] = {};
  int firstOutput_[kChannels] = {};  ///< where each channel's first sample of the block is
  double means_[kChannels][kBlock] = {};
  // The tracked channels shared out over the lanes, the work of each lane
  // (its channels' samples per block) as even as they allow.
  static constexpr int kLanes = 2;
  int8_t laneChannel_[kLanes][kChannels] = {};
  int laneSize_[kLanes] = {};
  // Tracking run ahead of the steps (channels below fastChannels_): each
  // channel's levels after each of its samples, its edges (bit c of
  // edgeMask_) with their crossings, its state at the block's start, and the
  // changes of choice met in the block.
  int fastChannels_ = 0;
  int blockCount_ = 0;
  uint64_t blockStart_ = 0;  ///< working samples before the block
  /// Each tracked channel's level after its samples (bits 0 and 1) and its
  /// edges there (bit c + kEdgeShift, 0 where it has no sample), which
  /// OR-ed together over the channels give edgeMask_ in one pass.
  static constexpr int kEdgeShift = 2;
  static_assert(kChannels + kEdgeShift <= 8);
  uint8_t markAt_[kChannels][kBlock] = {};
  uint8_t edgeMask_[kBlock] = {};
  /// A tracked channel's tracking state at the block's start.
  struct Started {
    double hi, lo, y, p, up, down;
    uint64_t lastMid;
    int level;
    bool primed;
  };
  Started started_[kChannels] = {};
  struct Change {
    int16_t at;
    int8_t after;
    bool clocked;
  };
  /// At most one per edge, header watch and decision of a step.
  Change change_[(kChannels + 2) * kBlock] = {};
  int changes_ = 0;
  bool startClocked_ = false;
  bool clocked_ = false;
  bool inBlock_ = false;
  int stepAt_ = 0;
  int stepChannel_ = 0;
  /// Working sample before which a step without edges has nothing to do
  /// but the matched filter's sum.
  uint64_t quietUntil_ = 0;
  // FirstSampleAt of the next decision, header centre and frame data, worked
  // out whenever they are set rather than at every step.
  uint64_t decisionFrom_ = 0;
  uint64_t headerFrom_ = 0;
  uint64_t dataFrom_ = 0;
  /// Working sample from which a long state may be due, for the state start it was worked out for.
  uint64_t longStateFrom_ = 0;
  uint64_t longStateOf_ = ~uint64_t{0};

  uint64_t inputs_ = 0;       ///< input samples consumed
  uint64_t sample_ = 0;       ///< working samples processed
  int selected_ = -1;         ///< rate clocking the decisions, -1 free-running
  double nextDecision_ = 0;   ///< tick of the next clocked decision
  double levelMean_[4] = {};  ///< matched-filter mean of each decided outer level (0, 3)
  /// Levels 1 and 2 as their share of the outer deviation from the mid-level.
  double innerShare_[2] = {};
  /// Share of the previous symbol's deviation that leaks into the next
  /// four-level decision (a receiver's low-pass smears each symbol into the
  /// next), learnt from the decisions and taken off before deciding.
  double leak_ = 0;
  int lastDecision_ = 0;  ///< level of the previous clocked decision
  // FLEX frame recognised from its header: polarity bits read at the 1600
  // clock's symbol centres, the tick of the next centre, and the frame's data
  // (start and end tick, index of its rate).
  uint64_t headerBits_ = 0;
  double headerNext_ = -1;
  double dataStart_ = -1;
  double frameEnd_ = -1;
  int frameRate_ = 0;
  int level_ = 0;            ///< level being written
  uint64_t stateStart_ = 0;  ///< tick where the unwritten part of the current state begins
};

}  // namespace skelmar
