// Reading and writing the settings record and the filter list through the key table.
#include "session/settings_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace skelmar {

namespace {

// A string value is read into a buffer of this size where no field limits it.
constexpr size_t kPortValueSize = 16;     // "ComPort", "ComPortAddr", "ComPortIRQ"
constexpr size_t kFilterValueSize = 256;  // "Filter%d"
// Colours are read whole, so a hand-written "255, 255, 255" keeps its blue.
constexpr size_t kColorValueSize = 64;
constexpr const char* kCmdArgsKey = "FilterCmdArgs";
constexpr const char* kFaceNameKey = "Font.FaceName";
constexpr const char* kFilterCountKey = "FilterCount";
constexpr int kCapcodeChars = static_cast<int>(sizeof(FilterEntry::capcode)) - 1;
constexpr int kLabelChars = static_cast<int>(sizeof(FilterEntry::label)) - 1;
constexpr int kTextChars = static_cast<int>(sizeof(FilterEntry::text)) - 1;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// scanf-like conversions: blanks before the number, an optional sign, then
// at least one digit; a number that does not fit fails the conversion.
std::optional<int32_t> ScanDecimal(std::string_view s, size_t& pos) {
  while (pos < s.size() && IsSpace(s[pos])) ++pos;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) {
    negative = s[pos] == '-';
    ++pos;
  }
  int64_t value = 0;
  const char* begin = s.data() + pos;
  const auto [end, ec] = std::from_chars(begin, s.data() + s.size(), value, 10);
  if (ec != std::errc() || end == begin) return std::nullopt;
  pos += static_cast<size_t>(end - begin);
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

// "0x%x": the literal 0x, then a hexadecimal number (which may repeat the prefix).
std::optional<int32_t> ScanHexAfter0x(std::string_view s) {
  if (s.size() < 2 || s[0] != '0' || s[1] != 'x') return std::nullopt;
  size_t pos = 2;
  while (pos < s.size() && IsSpace(s[pos])) ++pos;
  if (pos + 1 < s.size() && s[pos] == '0' && (s[pos + 1] == 'x' || s[pos + 1] == 'X')) pos += 2;
  uint64_t value = 0;
  const char* begin = s.data() + pos;
  const auto [end, ec] = std::from_chars(begin, s.data() + s.size(), value, 16);
  if (ec != std::errc() || end == begin || value > UINT32_MAX) return std::nullopt;
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// "COM%d".
std::optional<int32_t> ScanComName(std::string_view s) {
  if (s.substr(0, 3) != "COM") return std::nullopt;
  size_t pos = 3;
  return ScanDecimal(s, pos);
}

// "%d,%d,%d".
bool ScanColor(std::string_view s, ColorRef& out) {
  size_t pos = 0;
  int32_t rgb[3];
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (pos >= s.size() || s[pos] != ',') return false;
      ++pos;
    }
    const std::optional<int32_t> v = ScanDecimal(s, pos);
    if (!v) return false;
    rgb[i] = *v;
  }
  out = Rgb(static_cast<uint32_t>(rgb[0]) & 0xFF, static_cast<uint32_t>(rgb[1]) & 0xFF,
            static_cast<uint32_t>(rgb[2]) & 0xFF);
  return true;
}

std::string FormatInt(int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%i", value);
  return buf;
}

// The value between double quotes. Built by appending: GCC 12 reports a false
// overlap (-Wrestrict) for "\"" + std::string(...) at -O3.
std::string Quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  out.append(text);
  out += '"';
  return out;
}

// A text value that the reader would change (blanks at either end are
// dropped, enclosing quotes are removed) is written inside quotes.
std::string QuoteIfNeeded(std::string_view text) {
  const bool edgeBlank = !text.empty() && (IsSpace(text.front()) || IsSpace(text.back()));
  const bool enclosed = text.size() >= 2 && text.front() == '"' && text.back() == '"';
  if (!edgeBlank && !enclosed) return std::string(text);
  return Quoted(text);
}

const char* SectionOf(const SettingKey& key, const char* appSection) {
  return key.section == SettingSection::kApplication ? appSection : kFilterSectionName;
}

bool IsFilterEntryKey(std::string_view key) {
  if (key.size() <= 6 || !ProfileNameEquals(key.substr(0, 6), "Filter")) return false;
  return std::all_of(key.begin() + 6, key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsOwnedKey(std::string_view key, SettingSection section) {
  for (size_t i = 0; i < kSettingKeyCount; ++i) {
    if (kSettingKeys[i].section == section && ProfileNameEquals(kSettingKeys[i].key, key))
      return true;
  }
  if (section == SettingSection::kFilter) {
    return ProfileNameEquals(key, kFilterCountKey) || IsFilterEntryKey(key);
  }
  return false;
}

// ---- Filter entry text ---------------------------------------------------

void AppendEscapedField(std::string& out, const char* field, size_t capacity) {
  const size_t n = strnlen(field, capacity);
  out += '"';
  size_t i = 0;
  while (i < n) {
    if (field[i] == '\\') {
      size_t run = 0;
      while (i + run < n && field[i + run] == '\\') ++run;
      // Backslashes stand before a quote when a content quote or the
      // closing quote follows them: those are doubled.
      const bool beforeQuote = i + run == n || field[i + run] == '"';
      out.append(beforeQuote ? 2 * run : run, '\\');
      i += run;
      continue;
    }
    if (field[i] == '"') out += '\\';
    out += field[i];
    ++i;
  }
  out += '"';
}

class FieldWriter {
 public:
  FieldWriter(char* out, int limit) : out_(out), limit_(limit) { out_[0] = '\0'; }
  void Put(char c) {
    // Values never hold CR or NUL (the profile reader turns them into blanks);
    // a field keeps to that too, so what it holds can always be written back.
    if (c == '\0') return;
    if (c == '\r') c = ' ';
    if (length_ < limit_) out_[length_++] = c;
    out_[length_] = '\0';
  }
  void Put(char c, size_t count) {
    for (size_t i = 0; i < count; ++i) Put(c);
  }

 private:
  char* out_;
  int limit_;
  int length_ = 0;
};

bool IsBlankAt(std::string_view v, size_t p) {
  return p < v.size() && (v[p] == ' ' || v[p] == '\t');
}

size_t SkipBlanks(std::string_view v, size_t p) {
  while (IsBlankAt(v, p)) ++p;
  return p;
}

std::string_view TrimBlanks(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}

// A quoted field with the escapes undone; `pos` is at the opening quote.
// Returns the position after the closing quote, or nothing when it is missing.
std::optional<size_t> ReadEscapedField(std::string_view v, size_t pos, char* out, int limit) {
  FieldWriter w(out, limit);
  size_t p = pos + 1;
  while (p < v.size()) {
    if (v[p] == '\\') {
      size_t run = 0;
      while (p + run < v.size() && v[p + run] == '\\') ++run;
      if (p + run < v.size() && v[p + run] == '"') {
        w.Put('\\', run / 2);
        p += run;
        if (run % 2 == 0) return p + 1;  // closing quote
        w.Put('"');
        ++p;
      } else {
        w.Put('\\', run);
        p += run;
      }
      continue;
    }
    if (v[p] == '"') return p + 1;
    w.Put(v[p]);
    ++p;
  }
  return std::nullopt;
}

// A one-character field (function, run flag): its character minus '0', as
// the written form stores it; a value that is no digit is written as a signed
// decimal number, read back here. Nothing when the text is neither.
std::optional<int32_t> ReadCodeField(std::string_view t, int32_t low, int32_t high) {
  if (t.size() == 1) return static_cast<int32_t>(static_cast<unsigned char>(t[0])) - '0';
  size_t pos = 0;
  const std::optional<int32_t> n = ScanDecimal(t, pos);
  if (!n || pos != t.size() || *n < low || *n > high) return std::nullopt;
  return n;
}

void AppendCodeField(std::string& out, int32_t value) {
  if (value >= 0 && value <= 9) {
    out += static_cast<char>('0' + value);
  } else {
    out += FormatInt(value);
  }
}

// The written form, with blanks allowed around every field (hand edits);
// nothing when `v` is not in it.
std::optional<FilterEntry> ParseWrittenForm(std::string_view v) {
  FilterEntry e;
  size_t p = SkipBlanks(v, 0);
  if (p >= v.size()) return std::nullopt;
  e.type = (v[p] >= '1' && v[p] <= '5') ? v[p] - '0' : kFilterUnused;
  p = SkipBlanks(v, p + 1);
  if (p >= v.size() || v[p] != ',') return std::nullopt;
  p = SkipBlanks(v, p + 1);
  if (p >= v.size() || v[p] != '"') return std::nullopt;
  std::optional<size_t> q = ReadEscapedField(v, p, e.capcode, kCapcodeChars);
  if (!q) return std::nullopt;
  p = SkipBlanks(v, *q);
  if (p >= v.size() || v[p] != ',') return std::nullopt;
  const size_t functionEnd = v.find(',', p + 1);
  if (functionEnd == std::string_view::npos) return std::nullopt;
  const std::string_view function = TrimBlanks(v.substr(p + 1, functionEnd - p - 1));
  if (function.empty()) {
    e.function = -4;  // what the comma after an empty field reads as
  } else if (std::optional<int32_t> f = ReadCodeField(function, INT8_MIN, INT8_MAX)) {
    e.function = static_cast<int8_t>(*f);
  } else {
    return std::nullopt;
  }
  p = SkipBlanks(v, functionEnd + 1);
  if (p >= v.size() || v[p] != '"') return std::nullopt;
  q = ReadEscapedField(v, p, e.label, kLabelChars);
  if (!q) return std::nullopt;
  p = SkipBlanks(v, *q);
  if (p >= v.size() || v[p] != ',') return std::nullopt;
  p = SkipBlanks(v, p + 1);
  if (p >= v.size() || v[p] != '"') return std::nullopt;
  q = ReadEscapedField(v, p, e.text, kTextChars);
  if (!q) return std::nullopt;
  p = SkipBlanks(v, *q);
  if (p >= v.size() || v[p] != ',') return std::nullopt;
  const std::string_view run = TrimBlanks(v.substr(p + 1));
  if (run.empty()) return std::nullopt;
  const std::optional<int32_t> r = ReadCodeField(run, INT32_MIN, INT32_MAX);
  if (!r) return std::nullopt;
  e.runCommand = *r;
  return e;
}

// One field of the field-by-field reading; `pos` is where the field starts.
// Returns where the field ended: its closing quote, the comma after an
// unquoted field, or the end of the value.
size_t ReadPlainField(std::string_view v, size_t pos, char* out, int limit) {
  FieldWriter w(out, limit);
  pos = SkipBlanks(v, pos);
  if (pos >= v.size()) return v.size();
  const bool quoted = v[pos] == '"';
  const char stop = quoted ? '"' : ',';
  size_t p = quoted ? pos + 1 : pos;
  while (p < v.size() && v[p] != stop) w.Put(v[p++]);
  return p;
}

// The code character after a comma, blanks skipped; `fallback` at the end.
int32_t PlainCode(std::string_view v, size_t p, int32_t fallback) {
  p = SkipBlanks(v, p);
  if (p >= v.size()) return fallback;
  return static_cast<int32_t>(static_cast<unsigned char>(v[p])) - '0';
}

FilterEntry ParseFieldByField(std::string_view v) {
  FilterEntry e;
  constexpr size_t npos = std::string_view::npos;
  const size_t first = SkipBlanks(v, 0);
  if (first < v.size() && v[first] >= '1' && v[first] <= '5') e.type = v[first] - '0';
  size_t q = v.find(',');
  if (q == npos) return e;
  size_t p = ReadPlainField(v, q + 1, e.capcode, kCapcodeChars);
  q = v.find(',', p);
  if (q == npos || q + 1 >= v.size()) return e;
  const size_t f = SkipBlanks(v, q + 1);
  e.function = static_cast<int8_t>(PlainCode(v, q + 1, 0));
  // An empty function field leaves the label right after its second comma.
  const size_t labelComma = (f < v.size() && v[f] == ',') ? f : v.find(',', f);
  if (labelComma == npos) return e;
  p = ReadPlainField(v, labelComma + 1, e.label, kLabelChars);
  q = v.find(',', p);
  if (q == npos) return e;
  p = ReadPlainField(v, q + 1, e.text, kTextChars);
  q = v.find(',', p);
  if (q != npos) e.runCommand = PlainCode(v, q + 1, 0);
  return e;
}

}  // namespace

std::string FormatFilterEntry(const FilterEntry& entry) {
  std::string out;
  const int32_t type = entry.type >= 1 && entry.type <= 5 ? entry.type : kFilterUnused;
  out += static_cast<char>('0' + type);
  out += ',';
  AppendEscapedField(out, entry.capcode, sizeof entry.capcode);
  out += ',';
  if (entry.function != -4) AppendCodeField(out, entry.function);
  out += ',';
  AppendEscapedField(out, entry.label, sizeof entry.label);
  out += ',';
  AppendEscapedField(out, entry.text, sizeof entry.text);
  out += ',';
  AppendCodeField(out, entry.runCommand);
  return out;
}

FilterEntry ParseFilterEntry(std::string_view value, bool* understood) {
  if (std::optional<FilterEntry> written = ParseWrittenForm(value)) {
    if (understood != nullptr) *understood = true;
    return *written;
  }
  if (understood != nullptr) *understood = false;
  return ParseFieldByField(value);
}

// ---- The record ------------------------------------------------------------

namespace {

void ReadPort(const ProfileFile& file, const char* section, Settings& s) {
  char value[kPortValueSize];
  if (file.GetString(section, "ComPort", "", value, sizeof value) == 0) {
    s.comPort = 0;
    return;
  }
  if (std::strcmp(value, "Custom") == 0) {
    s.comPort = 5;
  } else if (std::optional<int32_t> n = ScanComName(value)) {
    s.comPort = *n;
  }
  if (file.GetString(section, "ComPortAddr", "", value, sizeof value) == 0) {
    s.comPort = 0;
  } else if (std::optional<int32_t> addr = ScanHexAfter0x(value)) {
    s.comPortAddr = *addr;
  }
  if (file.GetString(section, "ComPortIRQ", "", value, sizeof value) == 0) {
    s.comPort = 0;
  } else {
    size_t pos = 0;
    if (std::optional<int32_t> irq = ScanDecimal(value, pos)) s.comPortIrq = *irq;
  }
}

void WritePort(ProfileFile& file, const char* section, const Settings& s) {
  if (s.comPort == 0) return;
  char value[32];
  if (s.comPort == 5) {
    file.SetString(section, "ComPort", "Custom");
  } else {
    std::snprintf(value, sizeof value, "COM%d", static_cast<int>(s.comPort));
    file.SetString(section, "ComPort", value);
  }
  std::snprintf(value, sizeof value, "0x%X", static_cast<unsigned>(s.comPortAddr));
  file.SetString(section, "ComPortAddr", value);
  std::snprintf(value, sizeof value, "%d", static_cast<int>(s.comPortIrq));
  file.SetString(section, "ComPortIRQ", value);
}

// Keys of our sections that no setting reads (a misspelt name, say), each
// named once, with the line of its first occurrence: "unknown keys, not
// used: A (line 3), B (line 8)".
std::string UnknownKeys(const ProfileFile& file, const char* section) {
  std::string list;
  std::vector<std::string> seen;
  auto look = [&](const char* name, SettingSection kind) {
    file.ForEachKey(name, [&](std::string_view key, size_t line) {
      if (IsOwnedKey(key, kind)) return;
      for (const std::string& s : seen) {
        if (ProfileNameEquals(s, key)) return;
      }
      seen.emplace_back(key);
      if (!list.empty()) list += ", ";
      list += std::string(key) + " (line " + std::to_string(line) + ")";
    });
  };
  look(section, SettingSection::kApplication);
  look(kFilterSectionName, SettingSection::kFilter);
  if (seen.empty()) return list;
  return (seen.size() == 1 ? "unknown key, not used: " : "unknown keys, not used: ") + list;
}

// The entries past the table's kMaxFilters that the file's count still
// takes in, in their order and as written. A number missing from the run
// would read as an unused entry, so nothing is lost by closing the gap.
std::vector<std::string> UnloadedFilterEntries(const ProfileFile& file) {
  const int32_t stored = file.GetInt(kFilterSectionName, kFilterCountKey, 0);
  if (stored <= kMaxFilters) return {};
  std::map<int32_t, std::string> found;
  file.ForEachKey(kFilterSectionName, [&](std::string_view key, size_t) {
    // Only the names the reader asks for ("Filter201", not "Filter0201").
    if (!IsFilterEntryKey(key) || key[6] == '0' || key.size() > 16) return;
    int64_t n = 0;
    for (char c : key.substr(6)) n = n * 10 + (c - '0');
    if (n <= kMaxFilters || n > stored) return;
    found.emplace(static_cast<int32_t>(n),
                  std::string(file.Find(kFilterSectionName, key).value_or("")));
  });
  std::vector<std::string> values;
  values.reserve(found.size());
  for (auto& f : found) values.push_back(std::move(f.second));
  return values;
}

}  // namespace

void ReadSettings(const ProfileFile& file, const char* section, Settings& settings,
                  FilterTable& filters, std::string* badKey, std::string* refused) {
  for (size_t i = 0; i < kSettingKeyCount; ++i) {
    const SettingKey& key = kSettingKeys[i];
    const char* sec = SectionOf(key, section);
    void* field = key.field(settings);
    switch (key.kind) {
      case SettingKind::kInt: {
        auto* v = static_cast<int32_t*>(field);
        *v = file.GetInt(sec, key.key, *v);
        break;
      }
      case SettingKind::kByte: {
        auto* v = static_cast<uint8_t*>(field);
        *v = static_cast<uint8_t>(file.GetInt(sec, key.key, *v) & 0xFF);
        break;
      }
      case SettingKind::kPercent: {
        // Shares outside 0..100 (negative ones included) would break the layout.
        auto* v = static_cast<double*>(field);
        const double current = std::isfinite(*v) ? std::clamp(*v, -1e9, 1e9) : 75.0;
        const int32_t read = file.GetInt(sec, key.key, static_cast<int32_t>(std::trunc(current)));
        *v = static_cast<double>(std::clamp(read, 0, 100));
        break;
      }
      case SettingKind::kText: {
        // A path or template that does not fit is refused whole: cut short it
        // would name another file, or start another program. (A font name is
        // cut to its field, as it always was.)
        std::string probe(static_cast<size_t>(key.capacity) + 1, '\0');
        if (key.capacity == kPathCapacity &&
            file.GetString(sec, key.key, "", probe.data(), probe.size()) >=
                static_cast<size_t>(key.capacity)) {
          if (refused != nullptr) {
            if (!refused->empty()) *refused += ", ";
            *refused += std::string(key.key) + " (at most " + std::to_string(key.capacity - 1) +
                        " characters)";
          }
          break;
        }
        const char* fallback = std::strcmp(key.key, kFaceNameKey) == 0 ? "Courier New" : "";
        // The character set and the POCSAG type keep their default when
        // missing or empty: an empty value is no set and no type.
        const bool keepDefault =
            key.field(settings) == settings.charset || key.field(settings) == settings.pocsagType;
        char current[kPathCapacity] = {};
        if (keepDefault) {
          std::snprintf(current, sizeof current, "%s", static_cast<const char*>(field));
          fallback = current;
        }
        file.GetString(sec, key.key, fallback, static_cast<char*>(field),
                       static_cast<size_t>(key.capacity));
        if (keepDefault && static_cast<char*>(field)[0] == 0) {
          std::snprintf(static_cast<char*>(field), static_cast<size_t>(key.capacity), "%s",
                        current);
        }
        break;
      }
      case SettingKind::kColor: {
        char value[kColorValueSize];
        file.GetString(sec, key.key, "", value, sizeof value);
        ScanColor(value, *static_cast<ColorRef*>(field));
        break;
      }
      case SettingKind::kPort:
        if (std::strcmp(key.key, "ComPort") == 0) ReadPort(file, sec, settings);
        break;
    }
  }

  const int32_t count =
      std::clamp(file.GetInt(kFilterSectionName, kFilterCountKey, filters.count), 0, kMaxFilters);
  char value[kFilterValueSize];
  char name[32];
  for (int32_t n = 0; n < kMaxFilters; ++n) {
    if (n < count) {
      std::snprintf(name, sizeof name, "Filter%d", static_cast<int>(n + 1));
      file.GetString(kFilterSectionName, name, "", value, sizeof value);
      bool understood = true;
      filters.entries[n] = ParseFilterEntry(value, &understood);
      if (!understood && badKey != nullptr && badKey->empty()) *badKey = name;
    } else {
      filters.entries[n] = FilterEntry{};
    }
  }
  filters.count = count;
}

void WriteIntSetting(ProfileFile& file, const char* section, const char* key, int32_t value) {
  file.SetString(section, key, FormatInt(value));
}

void WriteSettings(ProfileFile& file, const char* section, const Settings& settings,
                   const FilterTable& filters) {
  // Entries the table had no room for were never loaded, so nobody can have
  // changed them: they are kept as written, after the table's own.
  const std::vector<std::string> unloaded = UnloadedFilterEntries(file);

  // The record's own keys are replaced whole; anything else in its sections stays.
  file.DeleteKeys(section,
                  [](std::string_view k) { return IsOwnedKey(k, SettingSection::kApplication); });
  file.DeleteKeys(kFilterSectionName,
                  [](std::string_view k) { return IsOwnedKey(k, SettingSection::kFilter); });

  // The key table's accessors take a mutable record; the fields are only read here.
  Settings& s = const_cast<Settings&>(settings);
  for (size_t i = 0; i < kSettingKeyCount; ++i) {
    const SettingKey& key = kSettingKeys[i];
    const char* sec = SectionOf(key, section);
    void* field = key.field(s);
    switch (key.kind) {
      case SettingKind::kInt:
        // A window that closed in its normal state leaves the file as it was.
        if (field == &s.maximized && s.maximized == 0) break;
        // Nor does a limit nobody changed.
        if (field == &s.filterCmdMax && s.filterCmdMax == kDefaultFilterCmdMax) break;
        WriteIntSetting(file, sec, key.key, *static_cast<int32_t*>(field));
        break;
      case SettingKind::kByte:
        WriteIntSetting(file, sec, key.key, *static_cast<uint8_t*>(field));
        break;
      case SettingKind::kPercent: {
        const double v = *static_cast<double*>(field);
        const double whole = std::isfinite(v) ? std::clamp(std::trunc(v), 0.0, 100.0) : 75.0;
        WriteIntSetting(file, sec, key.key, static_cast<int32_t>(whole));
        break;
      }
      case SettingKind::kText: {
        const char* text = static_cast<const char*>(field);
        const std::string_view value(text, strnlen(text, static_cast<size_t>(key.capacity)));
        if (std::strcmp(key.key, kCmdArgsKey) == 0) {
          file.SetString(sec, key.key, Quoted(value));
        } else {
          file.SetString(sec, key.key, QuoteIfNeeded(value));
        }
        break;
      }
      case SettingKind::kColor: {
        const ColorRef c = *static_cast<ColorRef*>(field);
        char value[48];
        std::snprintf(value, sizeof value, "%d,%d,%d", static_cast<int>(RedOf(c)),
                      static_cast<int>(GreenOf(c)), static_cast<int>(BlueOf(c)));
        file.SetString(sec, key.key, value);
        break;
      }
      case SettingKind::kPort:
        if (std::strcmp(key.key, "ComPort") == 0) WritePort(file, sec, settings);
        break;
    }
  }

  const int32_t count = std::clamp(filters.count, 0, kMaxFilters);
  WriteIntSetting(file, kFilterSectionName, kFilterCountKey,
                  count + static_cast<int32_t>(unloaded.size()));
  char name[32];
  for (int32_t n = 0; n < count; ++n) {
    std::snprintf(name, sizeof name, "Filter%d", static_cast<int>(n + 1));
    file.SetString(kFilterSectionName, name, FormatFilterEntry(filters.entries[n]));
  }
  for (size_t i = 0; i < unloaded.size(); ++i) {
    std::snprintf(name, sizeof name, "Filter%d", static_cast<int>(count + 1 + i));
    file.SetString(kFilterSectionName, name, unloaded[i]);
  }
}

int LoadSettings(const char* section, const std::filesystem::path& path, Settings& settings,
                 FilterTable& filters, std::string* problem) {
  ProfileFile file;
  std::string why;
  if (!file.Load(path, &why)) {
    if (problem != nullptr) {
      *problem = "cannot read the settings file " + path.string() + ": " + why;
    }
    return 0;
  }
  std::string badKey;
  std::string refused;
  ReadSettings(file, section, settings, filters, &badKey, &refused);
  if (problem != nullptr) {
    std::string what;
    auto add = [&what](const std::string& part) {
      what += what.empty() ? "" : "; ";
      what += part;
    };
    if (!badKey.empty()) {
      add("the filter entry " + badKey +
          " is not in the form type,\"capcode\",function,\"label\","
          "\"text\",command; it was read as far as it could be");
    }
    if (!refused.empty()) {
      add("too long, so not used: " + refused);
    }
    if (const int32_t stored = file.GetInt(kFilterSectionName, kFilterCountKey, 0);
        stored > kMaxFilters) {
      add("FilterCount is " + std::to_string(stored) + ", and the filters past the first " +
          std::to_string(kMaxFilters) + " are not used (they stay in the file)");
    }
    if (const std::string unknown = UnknownKeys(file, section); !unknown.empty()) add(unknown);
    *problem = what.empty() ? std::string() : "settings file " + path.string() + ": " + what;
  }
  return 1;
}

int SaveSettings(const char* section, const std::filesystem::path& path, const Settings& settings,
                 const FilterTable& filters, std::string* error) {
  ProfileFile file;
  // A file that exists but cannot be read is not replaced: its other content would be lost.
  if (!file.Load(path)) {
    if (error != nullptr) *error = "cannot read " + path.string();
    return 0;
  }
  WriteSettings(file, section, settings, filters);
  return file.Save(path, error) ? 1 : 0;
}

int WriteIntSetting(const char* section, const char* key, int32_t value,
                    const std::filesystem::path& path) {
  ProfileFile file;
  if (!file.Load(path)) return 0;
  WriteIntSetting(file, section, key, value);
  return file.Save(path) ? 1 : 0;
}

}  // namespace skelmar
