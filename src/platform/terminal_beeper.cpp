// BEL to the terminal; silently nothing without one.
#include "platform/terminal_beeper.h"

#include <fcntl.h>
#include <unistd.h>

namespace skelmar {

void TerminalBeeper::Beep() {
  const int fd = ::open(device_, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_APPEND);
  if (fd < 0) return;
  // A background job writing to its terminal may be stopped (tostop): only
  // the foreground process group beeps.
  if (::isatty(fd) != 0 && ::tcgetpgrp(fd) != ::getpgrp()) {
    ::close(fd);
    return;
  }
  const char bel = '\a';
  (void)!::write(fd, &bel, 1);
  ::close(fd);
}

}  // namespace skelmar
