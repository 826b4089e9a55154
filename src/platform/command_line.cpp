// Windows-style command-line splitting.
#include "platform/command_line.h"

namespace skelmar {

std::vector<std::string> SplitCommandLine(const char* arguments) {
  std::vector<std::string> out;
  if (arguments == nullptr) return out;
  const char* p = arguments;
  while (true) {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == 0) break;
    std::string arg;
    bool quoted = false;
    while (*p != 0) {
      if (!quoted && (*p == ' ' || *p == '\t')) break;
      if (*p == '\\') {
        size_t backslashes = 0;
        while (*p == '\\') {
          ++backslashes;
          ++p;
        }
        if (*p == '"') {
          arg.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            arg.push_back('"');
            ++p;
          }
          // An even count leaves the quote to toggle below.
        } else {
          arg.append(backslashes, '\\');
        }
        continue;
      }
      if (*p == '"') {
        quoted = !quoted;
        ++p;
        continue;
      }
      arg.push_back(*p);
      ++p;
    }
    out.push_back(std::move(arg));
  }
  return out;
}

}  // namespace skelmar
