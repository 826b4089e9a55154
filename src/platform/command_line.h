// Splitting of one argument string into separate arguments, the way a Windows
// program splits its command line, so filter commands keep their quoting.
#pragma once

#include <string>
#include <vector>

namespace skelmar {

/// Blanks and tabs separate arguments; double quotes group; n backslashes
/// before a quote give n/2 backslashes, and the quote is literal when n is
/// odd; other backslashes are literal. Every other character, newlines
/// included, belongs to its argument.
std::vector<std::string> SplitCommandLine(const char* arguments);

}  // namespace skelmar
