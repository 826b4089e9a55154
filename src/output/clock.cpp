// The machine's clock, read through the C++ standard library only.
#include "output/clock.h"

#include <chrono>
#include <ctime>

namespace skelmar {
namespace {

struct Instant {
  std::time_t seconds;
  uint16_t milliseconds;
};

Instant Now() {
  const auto now = std::chrono::system_clock::now();
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const auto sub = ms % 1000;
  return {std::chrono::system_clock::to_time_t(
              now - std::chrono::milliseconds(sub < 0 ? sub + 1000 : sub)),
          static_cast<uint16_t>(sub < 0 ? sub + 1000 : sub)};
}

}  // namespace

SystemTime SystemTimeFromTm(const std::tm& tm, uint16_t milliseconds) {
  SystemTime t;
  t.year = static_cast<uint16_t>(tm.tm_year + 1900);
  t.month = static_cast<uint16_t>(tm.tm_mon + 1);
  t.dayOfWeek = static_cast<uint16_t>(tm.tm_wday);
  t.day = static_cast<uint16_t>(tm.tm_mday);
  t.hour = static_cast<uint16_t>(tm.tm_hour);
  t.minute = static_cast<uint16_t>(tm.tm_min);
  t.second = static_cast<uint16_t>(tm.tm_sec);
  t.milliseconds = milliseconds;
  return t;
}

namespace {

std::tm ToTm(const SystemTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month > 0 ? t.month - 1 : 0;
  tm.tm_mday = t.day > 0 ? t.day : 1;
  tm.tm_wday = t.dayOfWeek;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return tm;
}

void Format(const char* format, const SystemTime& t, char* out, size_t capacity) {
  if (capacity == 0) return;
  const std::tm tm = ToTm(t);
  if (std::strftime(out, capacity, format, &tm) == 0) out[0] = 0;
}

}  // namespace

SystemTime SystemClock::NowUtc() {
  const Instant now = Now();
  // The single UI thread is the only caller; the result is copied at once.
  const std::tm* tm = std::gmtime(&now.seconds);
  return tm != nullptr ? SystemTimeFromTm(*tm, now.milliseconds) : SystemTime{};
}

SystemTime SystemClock::NowLocal() {
  const Instant now = Now();
  const std::tm* tm = std::localtime(&now.seconds);
  return tm != nullptr ? SystemTimeFromTm(*tm, now.milliseconds) : SystemTime{};
}

int SystemClock::UtcOffsetMinutes() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local == nullptr) return 0;
  const int isDst = local->tm_isdst;
  const std::tm* utc = std::gmtime(&now);
  if (utc == nullptr) return 0;
  std::tm asLocal = *utc;
  asLocal.tm_isdst = isDst;
  // mktime reads the UTC fields as local time; the difference is the offset.
  const std::time_t shifted = std::mktime(&asLocal);
  if (shifted == static_cast<std::time_t>(-1)) return 0;
  return static_cast<int>(std::difftime(now, shifted) / 60.0);
}

void SystemClock::FormatDate(const SystemTime& local, char* out, size_t capacity) {
  Format("%x", local, out, capacity);
}

void SystemClock::FormatTime(const SystemTime& local, char* out, size_t capacity) {
  Format("%X", local, out, capacity);
}

}  // namespace skelmar
