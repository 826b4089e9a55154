// A Hayes modem and TAP paging terminal on the far side of a pseudo-terminal, scripted per test,
// with helpers that run the real vantry program against it.
#pragma once

#include <termios.h>

#include <string>
#include <vector>

namespace vantry::test {

/// Text sent some time after the event that triggers it. The delay is in the program's
/// unscaled milliseconds; the fixture scales it like the program scales its own limits.
struct Timed {
  int delay_ms;
  std::string text;
};

struct ModemScript {
  bool answers = true;           // false: a dead line, nothing ever comes back
  std::string result_ok = "OK";  // verbose result for accepted commands
  /// Replies to the dial command; the modem goes on line when one of them holds "CONNECT".
  std::vector<Timed> dial_replies = {{500, "\r\nCONNECT 1200\r\n"}};
};

struct TerminalScript {
  /// Reply to the n-th lone CR received on line; "" or a missing entry means silence.
  std::vector<std::string> id_replies = {"ID="};
  std::vector<Timed> logon_replies = {{100, "\r\x06\r\x1b[p\r"}};
  std::vector<Timed> page_replies = {{200, "\r\x06\r"}};
};

struct Script {
  ModemScript modem;
  TerminalScript terminal;
  int interrupt_after_dial_ms = -1;  // send SIGINT this long (scaled) after the dial command
  int vanish_after_dial_ms = -1;     // the port disappears this long (scaled) after the dial
  bool lock_port = false;            // hold the port as another program would
};

/// What the far side saw and what the program printed.
struct RunResult {
  std::string port;  // the device path given to the program
  std::string out;
  std::string err;
  bool exited = false;  // false: killed by a signal or by the fixture's guard time
  int exit_code = -1;
  std::vector<std::string> commands;  // modem command lines, without their CR
  int id_requests = 0;                // lone CRs received on line before the logon
  std::string logon;                  // the logon line through its CR
  std::string block;                  // STX through the CR after the checksum
  std::string after_block;            // anything received after the block
  termios line{};                     // the port's settings when the first character came
};

/// Runs vantry with the given arguments and no far side; scale <= 0 leaves the time scale unset.
RunResult RunVantry(const std::vector<std::string>& args, double scale);

/// Runs vantry on a fresh pseudo-terminal played by the scripted modem and terminal.
RunResult RunOnPty(const Script& script, double scale, const std::string& phone,
                   const std::string& pin, const std::string& message);

}  // namespace vantry::test
