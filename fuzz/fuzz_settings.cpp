// The settings-file reader on arbitrary text, then a save and a reload: the
// reloaded record must equal the one first read, field for field.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "session/settings_file.h"

using namespace skelmar;

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "settings round trip changed %s\n", what);
    std::abort();
  }
}

bool SameEntry(const FilterEntry& a, const FilterEntry& b) {
  return a.type == b.type && std::strncmp(a.capcode, b.capcode, sizeof a.capcode) == 0 &&
         a.function == b.function && std::strncmp(a.label, b.label, sizeof a.label) == 0 &&
         std::strncmp(a.text, b.text, sizeof a.text) == 0 && a.runCommand == b.runCommand;
}

// The distinct entries past the table that the file's count takes in.
size_t EntriesPastTheTable(const ProfileFile& file) {
  const int32_t count = file.GetInt("Filter", "FilterCount", 0);
  size_t found = 0;
  for (int32_t n = kMaxFilters + 1; n <= count && n <= kMaxFilters + 4096; ++n) {
    if (file.Find("Filter", "Filter" + std::to_string(n))) ++found;
  }
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Settings first;
  FilterTable firstFilters;
  ReadSettings(ProfileFile::FromText(text), "Skelmar", first, firstFilters);

  // Saved over the same text, as a save over the user's file would be.
  ProfileFile saved = ProfileFile::FromText(text);
  WriteSettings(saved, "Skelmar", first, firstFilters);
  const std::string savedText = saved.ToText();
  // The text itself survives a reload and a save, lone CRs and all.
  Check(ProfileFile::FromText(savedText).ToText() == savedText, "the saved text");

  // Entries the table could not hold are not lost by the save.
  const ProfileFile original = ProfileFile::FromText(text);
  if (original.GetInt("Filter", "FilterCount", 0) <= kMaxFilters + 4096) {
    Check(EntriesPastTheTable(original) == EntriesPastTheTable(saved),
          "the entries past the table");
  }

  Settings second;
  FilterTable secondFilters;
  ReadSettings(ProfileFile::FromText(savedText), "Skelmar", second, secondFilters);

  Check(firstFilters.count == secondFilters.count, "the filter count");
  for (int i = 0; i < firstFilters.count; ++i) {
    Check(SameEntry(firstFilters.entries[i], secondFilters.entries[i]), "a filter entry");
  }
  // Every setting: what the second record writes is what the first wrote.
  ProfileFile again;
  WriteSettings(again, "Skelmar", second, secondFilters);
  ProfileFile once;
  WriteSettings(once, "Skelmar", first, firstFilters);
  if (once.ToText() != again.ToText()) {
    std::fprintf(stderr, "first save:\n%s\nsecond save:\n%s\n", once.ToText().c_str(),
                 again.ToText().c_str());
    Check(false, "a setting");
  }
  return 0;
}
