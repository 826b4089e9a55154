// Starts the filter command as a detached process, without any shell.
#pragma once

#include <sys/types.h>

#include "output/filters.h"

namespace skelmar {

/// The arguments are split as a Windows program would split them and passed
/// straight to the program: no shell ever sees the page text. The program runs
/// in its own session with /dev/null as standard input and output, and no
/// child of ours is left behind.
class PosixCommandLauncher : public CommandLauncher {
 public:
  bool Launch(const char* program, const char* arguments, char* error, int errorCapacity) override;
  /// The same, but the program stays our child so the caller can wait for
  /// it: its process id goes to `*child` (null: detached, as Launch).
  static bool Start(const char* program, const char* arguments, char* error, int errorCapacity,
                    pid_t* child);
};

}  // namespace skelmar
