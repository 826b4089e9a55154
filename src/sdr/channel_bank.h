// Several pager channels of one wideband stream, from one pass over each
// block: a polyphase filter bank splits the stream into evenly spaced bins
// (an FFT per hop, shared by every channel), then each channel takes its
// nearest bin, shifts the rest of the way to 0 Hz, runs the channel filter
// and the discriminator. A channel thus costs a small fraction of a
// ChannelReceiver, which has to mix and filter the full rate on its own.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "sdr/channel_receiver.h"

namespace skelmar {

/// The most channels one bank splits a stream into.
inline constexpr size_t kMaxBankChannels = 64;

class ChannelBank {
 public:
  /// `offsetsHz`: each channel's place in the stream (see ChannelOptions).
  /// One channel goes through a ChannelReceiver (the bank would cost more).
  ChannelBank(double sampleRate, const std::vector<double>& offsetsHz);

  size_t channels() const { return channels_.size() + (single_ ? 1 : 0); }
  /// The audio rate of every channel.
  int audioRate() const { return single_ ? single_->audioRate() : audioRate_; }
  /// The most audio samples a block of `count` wideband samples yields per channel.
  size_t MaxAudio(size_t count) const;

  /// Runs one block (at most WidebandFront::kBlock samples); channel k's
  /// audio goes to `audio[k]` (room for MaxAudio(block.count)) and its
  /// count to `written[k]`. No allocation.
  void Process(const IqBlock& block, float* const* audio, size_t* written);
  void Reset();

  /// Bins of the bank (0 with one channel) and their spacing in hertz.
  int bins() const { return bins_; }
  double binSpacingHz() const { return sampleRate_ / bins_; }
  /// Response of bank and channel filter together at `hz` from a channel's
  /// centre (for a channel exactly on a bin), in dB relative to 0 Hz.
  double ResponseDb(double hz) const;

 private:
  struct Channel {
    int bin = 0;
    double stepI = 1, stepQ = 0;      ///< the fine shift per bin output
    double rotI = 1, rotQ = 0;        ///< its phase now
    std::vector<float> histI, histQ;  ///< channel-filter history, then this block's bin outputs
    size_t fill = 0;                  ///< bin outputs held after the history
    size_t next = 0;                  ///< index in hist of the newest input of the next output
    float prevI = 1, prevQ = 0;
  };

  void Hop(const float* xi, const float* xq);

  double sampleRate_;
  std::optional<ChannelReceiver> single_;
  int bins_ = 0;   ///< M: bins, a power of two
  int hop_ = 0;    ///< M / 2 input samples per bin output (two times oversampled)
  int decim_ = 1;  ///< bin rate to audio rate
  int audioRate_ = 0;
  std::vector<float> reversed_;       ///< prototype taps, each run of M reversed
  std::vector<float> taps2_;          ///< channel filter at the bin rate
  std::vector<float> histI_, histQ_;  ///< wideband history, then room for a block
  size_t keep_ = 0;                   ///< prototype taps - 1
  size_t next_ = 0;                   ///< index in hist of the newest sample of the next hop
  bool odd_ = false;                  ///< the hop's parity: bin k turns by (-1)^k a hop
  std::vector<float> sumI_, sumQ_;    ///< the branch sums of one hop, reversed
  std::vector<float> fftI_, fftQ_;
  std::vector<float> twI_, twQ_;
  std::vector<int> bitReverse_;
  std::vector<Channel> channels_;
};

}  // namespace skelmar
