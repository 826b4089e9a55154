// Turns FM-discriminator audio into slicer edges: receive low-pass, DC and
// level tracking, decisions with hysteresis and sub-sample edge timing.
#pragma once

#include <cstddef>
#include <cstdint>

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
};

struct AudioSlicerOptions {
  int sampleRate = 22050;  ///< samples per second, kMinAudioRate..kMaxAudioRate
  bool fourLevel = false;  ///< four deviation levels instead of two
  double cutoffHz = 0;     ///< receive low-pass cut-off; 0 picks one that passes 3200 symbols/s
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

  uint64_t samplesConsumed() const { return sample_; }
  /// Stream time in ticks of the samples consumed so far.
  double streamTicks() const { return static_cast<double>(sample_) * ticksPerSample_; }
  double cutoffHz() const { return cutoffHz_; }
  int sampleRate() const { return sampleRate_; }
  /// Current decision, 0..3 (two-level slicing uses 0 and 3).
  int level() const { return level_; }
  /// Tracked envelope of the filtered signal: the mid-point is the DC offset.
  double upperEnvelope() const { return hi_; }
  double lowerEnvelope() const { return lo_; }

 private:
  struct Biquad {
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double s1 = 0, s2 = 0;
    double Run(double x) {
      const double y = b0 * x + s1;
      s1 = b1 * x - a1 * y + s2;
      s2 = b2 * x - a2 * y;
      return y;
    }
  };

  void Step(double x, SliceSink& sink);
  void Edge(double position, uint64_t sample, int newLevel, SliceSink& sink);
  void Emit(uint64_t untilTick, SliceSink& sink);

  int sampleRate_;
  bool fourLevel_;
  double cutoffHz_;
  double ticksPerSample_;
  double attack_;       ///< per-sample envelope attack coefficient
  double decay_;        ///< per-sample envelope relaxation coefficient
  double idleDecay_;    ///< the same once the signal stays on one side of the mid-point
  uint64_t idleAfter_;  ///< samples without a mid-point crossing that count as staying
  Biquad sections_[2];

  uint64_t sample_ = 0;     ///< samples consumed
  double hi_ = 0, lo_ = 0;  ///< tracked outer levels
  int level_ = 0;
  bool primed_ = false;        ///< a first sample set the previous differences
  double prevDiff_[3] = {};    ///< previous sample minus each threshold
  double upCross_[3] = {};     ///< latest rising crossing of each threshold, in samples
  double downCross_[3] = {};   ///< latest falling crossing of each threshold, in samples
  uint64_t stateStart_ = 0;    ///< tick where the unwritten part of the current state begins
  uint64_t lastMidCross_ = 0;  ///< sample of the latest crossing of the middle threshold
};

}  // namespace skelmar
