// Stream time as calendar time.
#include "session/stream_clock.h"

#include "frontend/edge_ring.h"

namespace skelmar {

StreamClock::StreamClock(long long startEpochSeconds) : start_(startEpochSeconds) {}

void StreamClock::Advance(uint64_t ticks) { ticks_ += ticks; }

std::tm StreamClock::Broken(bool local, uint16_t& milliseconds) const {
  const double elapsed = static_cast<double>(ticks_) / kTicksPerSecond;
  const long long whole = static_cast<long long>(elapsed);
  const std::time_t seconds = static_cast<std::time_t>(start_ + whole);
  milliseconds = static_cast<uint16_t>((elapsed - static_cast<double>(whole)) * 1000.0);
  std::tm tm{};
  if (local) {
    localtime_r(&seconds, &tm);
  } else {
    gmtime_r(&seconds, &tm);
  }
  return tm;
}

SystemTime StreamClock::NowUtc() {
  uint16_t ms = 0;
  const std::tm tm = Broken(false, ms);
  return SystemTimeFromTm(tm, ms);
}

SystemTime StreamClock::NowLocal() {
  uint16_t ms = 0;
  const std::tm tm = Broken(true, ms);
  return SystemTimeFromTm(tm, ms);
}

int StreamClock::UtcOffsetMinutes() {
  uint16_t ms = 0;
  return static_cast<int>(Broken(true, ms).tm_gmtoff / 60);
}

void StreamClock::FormatDate(const SystemTime& local, char* out, size_t capacity) {
  SystemClock().FormatDate(local, out, capacity);
}

void StreamClock::FormatTime(const SystemTime& local, char* out, size_t capacity) {
  SystemClock().FormatTime(local, out, capacity);
}

}  // namespace skelmar
