// The machine's name, for the feeds' default label and topic.
#pragma once

#include <string>

namespace skelmar {

/// The machine's host name ("localhost" when it has none).
std::string HostName();

}  // namespace skelmar
