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
  std::string Update(uint64_t count, int64_t nowMs) {
    if (count == told_ || (told_ != 0 && nowMs < next_)) return {};
    told_ = count;
    next_ = nowMs + 60'000;
    return "the sound card dropped samples (" + std::to_string(count) +
           " times so far): the machine did not read them in time";
  }

  /// The total at the end of the run, or empty when there was none.
  static std::string Final(uint64_t count) {
    if (count == 0) return {};
    return "the sound card dropped samples " + std::to_string(count) +
           " times; pages in them were lost";
  }

 private:
  uint64_t told_ = 0;
  int64_t next_ = 0;
};

}  // namespace skelmar
