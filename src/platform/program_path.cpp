// The running program's own file.
#include "platform/program_path.h"

#include <unistd.h>

namespace skelmar {

std::string ProgramPath(const char* argv0) {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return argv0 != nullptr ? argv0 : "";
}

}  // namespace skelmar
