// The filter beep: a BEL to the controlling terminal, if there is one.
#pragma once

#include "output/filters.h"

namespace skelmar {

class TerminalBeeper : public Beeper {
 public:
  /// `device` is where the BEL goes; the controlling terminal by default.
  explicit TerminalBeeper(const char* device = "/dev/tty") : device_(device) {}
  void Beep() override;

 private:
  const char* device_;
};

}  // namespace skelmar
