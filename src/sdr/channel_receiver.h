// The FM receiver of one pager channel inside a wideband IQ stream: frequency
// shift to 0 Hz, channel filter and decimation in two stages, FM
// discriminator. Its output is the discriminator audio the audio slicer takes.
//
// The wideband front (conversion and the tuner's DC spike) runs once per
// block; any number of channel receivers can then read the same block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sdr/iq_format.h"

namespace skelmar {

inline constexpr double kMinIqRate = 200000.0;
inline constexpr double kMaxIqRate = 20000000.0;

/// Discriminator audio of +-1.0 is this deviation.
inline constexpr double kAudioFullScaleHz = 12000.0;

/// Wideband samples, I and Q apart, full scale +-1.0.
struct IqBlock {
  const float* i = nullptr;
  const float* q = nullptr;
  size_t count = 0;
};

/// Converts raw samples in blocks and takes off the tuner's DC (the spike of a
/// direct-conversion tuner at the centre), so a channel exactly at the centre
/// decodes too. Fixed buffers.
class WidebandFront {
 public:
  /// Complex samples per block, at most: small enough that a block's passes
  /// stay in the first-level cache.
  static constexpr size_t kBlock = 2048;

  explicit WidebandFront(double sampleRate);

  /// Converts `count` (at most kBlock) samples of `format` and removes the DC.
  /// The block stays valid until the next call.
  IqBlock Convert(IqFormat format, const uint8_t* bytes, size_t count);
  void Reset();

 private:
  double sampleRate_;
  double dcI_ = 0, dcQ_ = 0;
  bool primed_ = false;
  float i_[kBlock] = {};
  float q_[kBlock] = {};
};

struct ChannelOptions {
  double sampleRate = 1024000;  ///< wideband samples per second
  /// The channel's place in the stream, in hertz of the stream's own sample
  /// clock (the tuner's error taken out): positive above the centre.
  double offsetHz = 0;
};

/// The channel's frequency relative to the capture's centre, in the stream's
/// own hertz, for a tuner whose reference runs `ppm` parts per million fast
/// (as rtl_sdr's -p counts it): its local oscillator and its sample clock are
/// both fast by that much.
double ChannelOffsetHz(double channelHz, double centerHz, double ppm);

class ChannelReceiver {
 public:
  explicit ChannelReceiver(const ChannelOptions& options);

  static bool RateSupported(double sampleRate) {
    return sampleRate >= kMinIqRate && sampleRate <= kMaxIqRate;
  }

  /// Audio samples per second of the discriminator output (between 32 and 64 kHz).
  int audioRate() const { return audioRate_; }
  /// The most audio samples a block of `count` wideband samples can yield.
  size_t MaxAudio(size_t count) const { return count / (decim1_ * kDecim2) + 2; }

  /// Runs one block (at most WidebandFront::kBlock samples); writes the
  /// discriminator audio to `audio` (room for MaxAudio(block.count)) and
  /// returns how many samples it wrote. No allocation.
  size_t Process(const IqBlock& block, float* audio);

  /// Back to the state after construction.
  void Reset();

  /// Response of the whole channel filter at `hz` from the channel's centre,
  /// in dB relative to 0 Hz (for checks of the design).
  double ResponseDb(double hz) const;

 private:
  static constexpr int kDecim2 = 2;

  double sampleRate_;
  double omega_;      ///< channel shift, radians per wideband sample
  double phase_ = 0;  ///< mixer phase at the start of the next block
  int decim1_;
  int audioRate_;
  std::vector<float> mixCos_, mixSin_;  ///< e^{-j omega n} over one block
  std::vector<float> taps1_, taps2_;
  // Histories: the last taps - 1 inputs of each stage, then room for one block.
  std::vector<float> hist1I_, hist1Q_, hist2I_, hist2Q_;
  size_t next1_ = 0;  ///< index in hist1 of the newest sample of the next stage-1 output
  size_t next2_ = 0;
  size_t fill2_ = 0;  ///< stage-2 inputs held
  float prevI_ = 1, prevQ_ = 0;
};

}  // namespace skelmar
