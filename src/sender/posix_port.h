// The serial port through POSIX termios, set for a 1200 bit/s 7E1 modem line.
#pragma once

#include <signal.h>

#include <string>
#include <string_view>

#include "sender/port.h"

namespace vantry {

/// Turns the user's port name into a device path: COM1 to COM4 (any case) name the first four
/// on-board ports, anything else is used as given.
std::string DevicePath(std::string_view name);

/// A serial port opened without sharing. Every wait admits the signals left open by wait_mask,
/// so that an interrupt ends a wait promptly and the caller can still close the port.
class PosixPort : public Port {
 public:
  PosixPort(const sigset_t& wait_mask, double time_scale);
  ~PosixPort() override;
  PosixPort(const PosixPort&) = delete;
  PosixPort& operator=(const PosixPort&) = delete;

  /// Opens and sets up the port; false when it is missing, busy or not a terminal.
  bool Open(const std::string& path);
  void Close();

  void Write(unsigned char c) override;
  void Drain() override;
  int Read(int timeout_ms) override;

 private:
  /// Waits for events on the port (none: just sleeps); false when interrupted.
  bool Wait(short events, int timeout_ms);

  sigset_t wait_mask_;
  double scale_;
  int fd_ = -1;
  bool interrupted_ = false;
};

}  // namespace vantry
