// The host name through POSIX gethostname.
#include "platform/host_name.h"

#include <unistd.h>

namespace skelmar {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == 0) return "localhost";
  return name;
}

}  // namespace skelmar
