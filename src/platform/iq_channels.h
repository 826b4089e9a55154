// Several channels of one wideband IQ stream, each an audio input of its
// own: the stream is read and split once, and every channel's audio waits in
// its own buffer until that channel's audio source reads it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_input.h"
#include "platform/iq_input.h"
#include "sdr/channel_bank.h"

namespace skelmar {

/// Reads the stream for all channels. Thread-safe: live audio sources read
/// their channel from their own capture threads.
class IqChannelSplitter {
 public:
  /// `channelsHz`: each channel's nominal frequency; `centerHz` and `ppm` as
  /// in IqTuning.
  IqChannelSplitter(std::unique_ptr<IqStream> stream, std::vector<double> channelsHz,
                    std::optional<double> centerHz, double ppm);

  size_t channels() const { return channelsHz_.size(); }
  IqStream& stream() { return *stream_; }

 private:
  friend class IqChannelInput;
  /// Audio a channel's source has not read yet: about a second, far more
  /// than the sources drift apart between two of their reads.
  static constexpr size_t kHeld = size_t{1} << 16;
  /// How long the stream waits for a channel whose buffer is full before
  /// that channel loses its oldest audio (and is not waited for again until
  /// it has caught up): a source that has stopped reading, or cannot keep
  /// up, must not stall the others.
  static constexpr std::chrono::milliseconds kLagWait{1000};

  bool Open(std::string& error);
  void Close();
  /// Copies up to `count` samples of channel `index`, reading the stream
  /// when its buffer is empty: > 0, 0 at the end, -1 on failure.
  long Read(size_t index, float* out, size_t count, std::string& error);
  int audioRate() const { return bank_ ? bank_->audioRate() : 0; }
  uint64_t dropped(size_t index) const;

  struct Held {
    std::vector<float> audio;  ///< a ring of kHeld samples
    size_t start = 0, count = 0;
    uint64_t dropped = 0;  ///< samples lost when the channel's reader fell a whole buffer behind
    bool stalled = false;  ///< waited for in vain; not waited for until it catches up
  };
  /// True when every channel still waited for has room for another block.
  bool RoomForABlock() const;

  std::unique_ptr<IqStream> stream_;
  std::vector<double> channelsHz_;
  std::optional<double> centerHz_;
  double ppm_;
  mutable std::mutex mutex_;
  /// A channel has read (its buffer has room again), or a block has come.
  std::condition_variable changed_;
  bool reading_ = false;  ///< a channel's source is reading the stream for all
  int opened_ = 0;        ///< channel inputs open
  bool ended_ = false;
  bool failed_ = false;
  std::string failure_;
  std::optional<WidebandFront> front_;
  std::optional<ChannelBank> bank_;
  std::vector<uint8_t> raw_;
  std::vector<float> scratch_;
  std::vector<Held> held_;
};

/// The audio input of channel `index` of `splitter`; the first one opened
/// opens the stream, the last one closed closes it.
std::unique_ptr<AudioInput> MakeIqChannelInput(std::shared_ptr<IqChannelSplitter> splitter,
                                               size_t index);

}  // namespace skelmar
