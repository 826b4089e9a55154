// The window's status bar: the input and its state, the receiver's
// frequency, the pages decoded and each feed's state, read from the session
// at every tick.
#pragma once

#include <QStatusBar>
#include <string>

#include "session/session.h"

class QLabel;

namespace skelmar::desktop {

/// "Recording pocsag-1200.edges", "rtl_tcp 10.0.0.2:1234", "Serial /dev/ttyUSB0" ...
std::string InputText(const Session& session);
/// "running", "ended", "link down", "retrying", or "not open".
const char* InputStateText(InputState state);
/// The frequency an SDR input listens on ("169.6500 MHz"; an offset in a
/// capture without a centre, "+25.0 kHz"); empty for the other inputs.
std::string ReceiverText(const ConsoleOptions& options);
/// One feed: "MQTT: connected, 2 queued, 0 dropped" (or "not connected",
/// or "refused" when the far end refuses the pages).
std::string FeedText(const Feed& feed);

class StatusBar : public QStatusBar {
 public:
  explicit StatusBar(QWidget* parent);
  /// Shows what changed since the last call.
  void Update(const Session& session);

 private:
  static void Show(QLabel* label, const std::string& text);
  QLabel* input_;
  QLabel* receiver_;
  QLabel* pages_;
  QLabel* feeds_;
};

}  // namespace skelmar::desktop
