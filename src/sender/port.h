// The serial line as the page dialogue sees it: one character at a time, with time limits.
#pragma once

namespace vantry {

/// A character line to the modem. Implemented over termios for real use and by fakes in tests.
class Port {
 public:
  /// Read results that are not characters.
  static constexpr int kNone = -1;         // nothing arrived within the time limit
  static constexpr int kInterrupted = -2;  // the user asked the program to stop

  virtual ~Port() = default;

  /// Queues one character, waiting at most the port's write limit; failures are not reported
  /// because a dead line shows up as missing replies anyway.
  virtual void Write(unsigned char c) = 0;

  /// Waits until everything written so far has left the port, so that reply timers start when
  /// the far end can actually have seen the command.
  virtual void Drain() = 0;

  /// Reads one 7-bit character, waiting at most timeout_ms. Once interrupted, every later call
  /// returns kInterrupted at once.
  virtual int Read(int timeout_ms) = 0;
};

}  // namespace vantry
