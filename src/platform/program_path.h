// The running program's own file, which decides where its settings file lives.
#pragma once

#include <string>

namespace skelmar {

/// The path of the running executable (from /proc/self/exe), or `argv0` when
/// the system does not tell.
std::string ProgramPath(const char* argv0);

}  // namespace skelmar
