// The modem and TAP dialogue that delivers one page over a Port.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string_view>

#include "sender/port.h"

namespace vantry {

/// How a run ended.
enum class Outcome { kAccepted, kRejected, kNoModem, kNoConnection, kInterrupted };

/// Reply buffer sizes, without the terminating zero.
inline constexpr std::size_t kModemReplyCapacity = 255;
inline constexpr std::size_t kLogonReplyCapacity = 39;
inline constexpr std::size_t kPageReplyCapacity = 1023;

/// The fixed logon password of the paging terminal.
inline constexpr std::string_view kPassword = "Tomal";
/// Seconds a reply, or a wait for silence, may run on at most (see ReadReply).
inline constexpr int kReplyDeadline = 20;

/// Reads a time scale for testing: a positive finite number, else 1.
double ParseTimeScale(const char* text);

/// Scales a time limit in milliseconds; never less than 1 ms.
int ScaledMs(long long ms, double scale);

/// One page delivery. Messages go to out exactly as the user sees them.
class TapSession {
 public:
  /// `now_ms` reads a monotonic clock in milliseconds (the steady clock when empty).
  TapSession(Port& port, std::FILE* out, double time_scale, std::function<long long()> now_ms = {});

  /// Runs the whole dialogue after the port is open and prints the outcome.
  Outcome Run(std::string_view port_name, std::string_view phone, std::string_view pin,
              std::string_view message);

  // The steps, public so that each can be checked on its own.
  void SendChar(char c);
  void SendText(std::string_view text);
  /// Waits at most n + 1 seconds for one character; Port::kNone when none came.
  int ReadChar(int n);
  /// Collects a reply that starts within n + 1 seconds and ends after 2 s of silence. Keeps the
  /// first capacity characters (zero-terminated in buf, which holds capacity + 1) and reads the
  /// rest away. Returns the number kept; 0 means no reply. A line that never falls silent (noise)
  /// would never end a reply, so every reply also has an overall deadline, `overrun` seconds
  /// (kReplyDeadline unless given) after its first character may arrive; a reply cut off there
  /// counts as no reply.
  std::size_t ReadReply(int n, char* buf, std::size_t capacity, int overrun = kReplyDeadline);

  bool CheckModem();
  bool DialAndLogOn(std::string_view phone);
  bool SendPage(std::string_view pin, std::string_view message);

  bool interrupted() const { return interrupted_; }

 private:
  void Say(const char* text);

  /// Reads and throws away characters until `quiet` seconds pass without one;
  /// false when the line is still talking after kReplyDeadline seconds.
  bool AwaitSilence(int quiet);
  long long DeadlineAfter(int seconds) const;
  bool Expired(long long deadline) const { return now_ms_() >= deadline; }

  Port& port_;
  std::function<long long()> now_ms_;
  std::FILE* out_;
  double scale_;
  bool interrupted_ = false;
};

}  // namespace vantry
