// Wall-clock time, injected so tests can set the hour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace skelmar {

/// Calendar time with 16-bit fields.
struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t dayOfWeek = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

/// Calendar fields of a broken-down time, with milliseconds.
SystemTime SystemTimeFromTm(const std::tm& tm, uint16_t milliseconds);

class Clock {
 public:
  virtual ~Clock() = default;
  virtual SystemTime NowUtc() = 0;
  virtual SystemTime NowLocal() = 0;
  /// Offset of local time from UTC in minutes at this moment (for ISO 8601).
  virtual int UtcOffsetMinutes() = 0;
  /// The user's short date format and default time format; each at most 40 characters.
  virtual void FormatDate(const SystemTime& local, char* out, size_t capacity) = 0;
  virtual void FormatTime(const SystemTime& local, char* out, size_t capacity) = 0;
};

/// The machine's clock and the C library's locale formats ("%x", "%X").
class SystemClock : public Clock {
 public:
  SystemTime NowUtc() override;
  SystemTime NowLocal() override;
  int UtcOffsetMinutes() override;
  void FormatDate(const SystemTime& local, char* out, size_t capacity) override;
  void FormatTime(const SystemTime& local, char* out, size_t capacity) override;
};

}  // namespace skelmar
