// What the window program runs: one session, as the console runs it, with
// the window's rules where a window can do better than give up. No Qt here:
// the main window drives it from its timer.
#pragma once

#include "session/session.h"

namespace skelmar::desktop {

class DesktopProgram : public Session {
 public:
  /// `messages` shows the session's messages in boxes. The settings are
  /// read and the feeds started at once; startStatus() says how that went.
  DesktopProgram(const ConsoleOptions& options, ConfigChoice config, MessageSink& messages,
                 Beeper& beeper, const std::atomic<bool>* stop = nullptr)
      : Session(options, std::move(config), Front::kDesktop, messages, beeper, stop),
        startStatus_(Configure()) {}

  /// kExitOk, or the exit status the start-up failure calls for (its cause was shown).
  int startStatus() const { return startStatus_; }

 private:
  int startStatus_;
};

}  // namespace skelmar::desktop
