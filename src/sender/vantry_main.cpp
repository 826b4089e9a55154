// vantry: sends one alphanumeric page through a modem to a TAP paging terminal.
#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "sender/page_block.h"
#include "sender/posix_port.h"
#include "sender/tap_session.h"

namespace {

void IgnoreSignal(int) {}

/// Holds back the stop signals except while waiting on the port, where they end the wait; the
/// run then closes the port before leaving. Returns the mask to wait with.
sigset_t CatchStopSignals() {
  sigset_t stops;
  sigemptyset(&stops);
  struct sigaction action {};
  action.sa_handler = IgnoreSignal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&stops, s);
    sigaction(s, &action, nullptr);
  }
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &stops, &previous);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigdelset(&previous, s);
  return previous;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fputs("\nUsage: VANTRY <COMx> <phone number> <PIN> <message>\n", stdout);
    return 0;
  }
  const char* port_name = argv[1];
  const char* phone = argv[2];
  const char* pin = argv[3];
  const char* message = argv[4];
  if (const char* refusal = vantry::CheckPageInput(phone, pin, message)) {
    std::fputs(refusal, stdout);
    return 0;
  }
  const double scale = vantry::ParseTimeScale(std::getenv("VANTRY_TIME_SCALE"));
  const sigset_t wait_mask = CatchStopSignals();

  vantry::PosixPort port(wait_mask, scale);
  if (!port.Open(vantry::DevicePath(port_name))) {
    std::printf("\nError opening port: %s\n", port_name);
    return 0;
  }
  vantry::TapSession session(port, stdout, scale);
  const vantry::Outcome outcome = session.Run(port_name, phone, pin, message);
  port.Close();
  if (outcome == vantry::Outcome::kInterrupted) std::fputs("\n", stdout);
  return outcome == vantry::Outcome::kAccepted ? 1 : 0;
}
