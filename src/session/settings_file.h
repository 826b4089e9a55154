// The settings file: the settings record and the filter list read from and
// written to Skelmar.INI, and the text form of one filter entry.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "output/filters.h"
#include "settings/profile_file.h"
#include "settings/settings.h"

namespace skelmar {

/// The section of the filter actions and the filter list.
inline constexpr const char* kFilterSectionName = "Filter";

/// Fills `settings` and `filters` from the file over their current values.
/// `section` names the application section. A missing file or key leaves the
/// current value. Values a hand edit can get wrong are made safe:
/// - "Percent" is clamped to 0..100 (a negative value gives 0);
/// - "FilterCount" is clamped to 0..200 (a larger count is reported, and the
///   entries past 200 are kept by a save); entries past the count are cleared;
/// - colours are read whole, so "255, 255, 255" keeps its blue;
/// - integers that do not fit saturate; a value with no number reads as 0.
/// When `problem` is given it is set to one line for the user when the file
/// exists but cannot be read (the defaults stay), when a filter entry is
/// not in the written form (the first such key is named), when a path or
/// template is too long for its field (it is not used; the keys are named) or when our
/// sections hold keys no setting reads (each named once, with its line);
/// empty otherwise.
/// Returns 0 when the file exists but cannot be read, else 1.
int LoadSettings(const char* section, const std::filesystem::path& path, Settings& settings,
                 FilterTable& filters, std::string* problem = nullptr);

/// Writes the whole record and the filter list in one atomic replacement of
/// the file. Lines of the file that are not settings (comments, other
/// sections, keys of other programs) are kept; keys of the record that are
/// not written (the port keys with ComPort 0, filter entries past the count)
/// disappear. Entries the file's count takes in beyond the table's
/// kMaxFilters were never loaded: they are kept as written, numbered on
/// after the table's entries, and the count includes them. A text that the reader would change
/// (blanks at either end, or quotes around the whole of it) is written inside one more pair of
/// quotes, as "FilterCmdArgs" always is. Returns 1, or 0 when the file could not be written (the
/// previous file is then unchanged) with the reason in `error` when given. A file that exists but
/// cannot be read is not replaced.
int SaveSettings(const char* section, const std::filesystem::path& path, const Settings& settings,
                 const FilterTable& filters, std::string* error = nullptr);

/// Writes one integer with "%i" into the file (read, change, atomic write).
/// Returns 1, or 0 when the file could not be written.
int WriteIntSetting(const char* section, const char* key, int32_t value,
                    const std::filesystem::path& path);

/// The same operations on a profile held in memory.
/// `badKey`, when given and empty, receives the first filter key that is not
/// in the written form. A path or template longer than its field is not read
/// (the field keeps its value) and its key is added to `refused`, when given.
void ReadSettings(const ProfileFile& file, const char* section, Settings& settings,
                  FilterTable& filters, std::string* badKey = nullptr,
                  std::string* refused = nullptr);
void WriteSettings(ProfileFile& file, const char* section, const Settings& settings,
                   const FilterTable& filters);
void WriteIntSetting(ProfileFile& file, const char* section, const char* key, int32_t value);

/// The "Filter%d" value of an entry: type,"capcode",function,"label","text",runCommand.
/// Inside a quoted field a double quote is written as \" and a run of
/// backslashes that stands before a quote (a written \" or the closing quote)
/// is doubled; every other backslash is written as it is. A function of -4
/// (what an empty function field reads as) is written as an empty field; a
/// function or run flag that is no digit 0..9 is written as a signed decimal
/// number, so every entry the reader gives reads back the same.
std::string FormatFilterEntry(const FilterEntry& entry);

/// Reads a "Filter%d" value. Values in the form FormatFilterEntry writes are
/// read with the escapes undone, so every entry survives a save and a reload.
/// Anything else (files written before backslashes were doubled, hand-edited
/// values) is read field by field: a quoted field ends at its first double
/// quote, or at the end of the value when it has no closing quote; a field
/// that does not start with a quote runs to the next comma; every field is cut
/// to its capacity (9, 20 and 43 characters); a missing part leaves its field
/// empty or 0.
/// Blanks around the fields are allowed. `understood`, when given, tells
/// whether the value was in the written form.
FilterEntry ParseFilterEntry(std::string_view value, bool* understood = nullptr);

}  // namespace skelmar
