// The clock of a recording: a start time plus the stream time decoded so far.
#pragma once

#include <cstdint>
#include <ctime>

#include "output/clock.h"

namespace skelmar {

/// A clock that reads a start time plus the stream time decoded so far, so a
/// file gives the same lines as a real-time run of it.
class StreamClock : public Clock {
 public:
  explicit StreamClock(long long startEpochSeconds);
  void Advance(uint64_t ticks);

  SystemTime NowUtc() override;
  SystemTime NowLocal() override;
  int UtcOffsetMinutes() override;
  void FormatDate(const SystemTime& local, char* out, size_t capacity) override;
  void FormatTime(const SystemTime& local, char* out, size_t capacity) override;

 private:
  /// The stream time as calendar fields, local or UTC.
  std::tm Broken(bool local, uint16_t& milliseconds) const;

  long long start_;
  uint64_t ticks_ = 0;
};

}  // namespace skelmar
