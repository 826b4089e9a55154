// When to tell the user that the sound card dropped samples: those samples
// never reached the slicer, so pages in them are lost without another trace.
#pragma once

#include <cstdint>
#include <string>

namespace skelmar {

class DeviceOverrunReport {
 public:
  /// The line to show for `count` drops so far at `nowMs` (any steady clock),
  /// or empty: said when drops start, then at most once a minute while more
  /// come.
  /// `channels`: the count is of audio samples the channels of one IQ
  /// stream lost by falling behind it.
  std::string Update(uint64_t count, int64_t nowMs, bool channels = false) {
    if (count == told_ || (told_ != 0 && nowMs < next_)) return {};
    told_ = count;
    next_ = nowMs + 60'000;
    if (channels) {
      return "a channel fell behind the IQ stream and lost audio (" + std::to_string(count) +
             " samples so far): the machine did not decode it in time";
    }
    return "the sound card dropped samples (" + std::to_string(count) +
           " times so far): the machine did not read them in time";
  }

  /// The total at the end of the run, or empty when there was none.
  static std::string Final(uint64_t count, bool channels = false) {
    if (count == 0) return {};
    if (channels) {
      return "channels that fell behind the IQ stream lost " + std::to_string(count) +
             " samples of audio; pages in them were lost";
    }
    return "the sound card dropped samples " + std::to_string(count) +
           " times; pages in them were lost";
  }

 private:
  uint64_t told_ = 0;
  int64_t next_ = 0;
};

}  // namespace skelmar
