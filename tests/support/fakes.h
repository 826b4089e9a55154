// Test doubles for the monitor's platform services.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "output/clock.h"
#include "output/filters.h"

namespace skelmar::test {

/// A clock the test sets; local time equals UTC plus a fixed offset.
class FakeClock : public Clock {
 public:
  SystemTime utc;
  int offsetMinutes = 0;

  void Set(int year, int month, int day, int hour, int minute, int second) {
    utc = SystemTime{static_cast<uint16_t>(year),
                     static_cast<uint16_t>(month),
                     0,
                     static_cast<uint16_t>(day),
                     static_cast<uint16_t>(hour),
                     static_cast<uint16_t>(minute),
                     static_cast<uint16_t>(second),
                     0};
  }
  SystemTime NowUtc() override { return utc; }
  SystemTime NowLocal() override {
    return utc;
  }  // tests run with offset 0 unless they say otherwise
  int UtcOffsetMinutes() override { return offsetMinutes; }
  void FormatDate(const SystemTime& t, char* out, size_t n) override {
    std::snprintf(out, n, "%02u/%02u/%02u", unsigned{t.month}, unsigned{t.day},
                  unsigned{t.year % 100u});
  }
  void FormatTime(const SystemTime& t, char* out, size_t n) override {
    std::snprintf(out, n, "%02u:%02u:%02u", unsigned{t.hour}, unsigned{t.minute},
                  unsigned{t.second});
  }
};

class RecordingMessages : public MessageSink {
 public:
  std::vector<std::string> shown;
  int answer = 1;
  void ShowMessage(const char* text) override { shown.emplace_back(text); }
  int AskQuestion(const char* text) override {
    shown.emplace_back(text);
    return answer;
  }
};

class RecordingLauncher : public CommandLauncher {
 public:
  struct Call {
    std::string program;
    std::string arguments;
  };
  std::vector<Call> calls;
  bool succeed = true;
  bool Launch(const char* program, const char* arguments, char* error, int capacity) override {
    calls.push_back({program, arguments});
    if (!succeed && capacity > 0)
      std::snprintf(error, static_cast<size_t>(capacity), "cannot start %s", program);
    return succeed;
  }
};

class CountingBeeper : public Beeper {
 public:
  int beeps = 0;
  void Beep() override { ++beeps; }
};

}  // namespace skelmar::test
