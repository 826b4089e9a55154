// The filter entry parser (every entry it reads is written back so it reads
// the same), the wildcard matcher and the capcode lookup.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "output/filters.h"
#include "session/settings_file.h"

using namespace skelmar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

  const FilterEntry e = ParseFilterEntry(rest);
  const std::string written = FormatFilterEntry(e);
  bool understood = false;
  const FilterEntry back = ParseFilterEntry(written, &understood);
  if (!understood || back.type != e.type || std::strcmp(back.capcode, e.capcode) != 0 ||
      back.function != e.function || std::strcmp(back.label, e.label) != 0 ||
      std::strcmp(back.text, e.text) != 0 || back.runCommand != e.runCommand) {
    std::fprintf(stderr, "entry not read back the same: [%.*s] -> [%s]\n",
                 static_cast<int>(rest.size()), rest.data(), written.c_str());
    std::abort();
  }

  // The matcher against the entry's capcode: a pattern of only '?' matches
  // anything, and a text matches itself.
  char digits[16] = {};
  const size_t n = std::min<size_t>(rest.size(), 9);
  std::memcpy(digits, rest.data(), n);
  const int length = static_cast<int>(mode % 10);
  if (!WildcardMatch(digits, "?????????", length) || !WildcardMatch(digits, digits, length)) {
    std::abort();
  }
  FilterTable table;
  table.entries[0] = e;
  table.entries[1] = back;
  table.count = 2 + (mode >> 7);  // now and then a count past the entries in use
  table.LookupCapcode(1 + mode % 5, digits, (mode >> 3) % 5);
  if (table.matchedFilter > 1 && table.matchedFilter != -1) std::abort();
  return 0;
}
