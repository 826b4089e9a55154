// A profile (INI) file held in memory: sections, key=value lines, reads with
// defaults, edits that keep every line they do not touch, and atomic saving.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skelmar {

/// Reading follows the usual profile rules:
/// - a line whose first non-blank character is '[' opens a section named by the
///   text up to ']'; a line key=value sets a key; blanks around names and
///   values are ignored; section and key names compare without letter case;
/// - everything else (comments, blank lines, lines before the first section)
///   is kept as it stands and written back unchanged;
/// - when a key occurs more than once the first occurrence counts, and sections
///   that share a name are read as one.
/// Line ends are read as LF or CR LF and written as LF (CR LF after a line
/// whose own text ends in a CR, so that CR reads back). A UTF-8 byte-order
/// mark at the start is skipped and written back.
class ProfileFile {
 public:
  ProfileFile() = default;

  /// Parses `text` (the content of a file).
  static ProfileFile FromText(std::string_view text);

  /// Reads the file. A missing file gives an empty profile and returns true;
  /// a file that exists but cannot be read (a directory, no permission, a
  /// link loop, more than kMaxProfileBytes) returns false, stays empty and
  /// says why in `error` when given. A leading UTF-8 byte-order mark is skipped.
  bool Load(const std::filesystem::path& path, std::string* error = nullptr);

  /// No settings file comes near this; anything larger (a device such as
  /// /dev/zero given by mistake) is refused instead of read without end.
  static constexpr size_t kMaxProfileBytes = size_t{1} << 20;

  /// Writes the whole content to `path` atomically: a temporary file beside it
  /// (the name plus ".tmp") is written, synced and renamed over the target,
  /// and the folder synced, so a failure or a power cut leaves the previous
  /// file as it was. The new file keeps the old one's mode (and owner and
  /// group where permitted); a file the user may not write is not replaced; a
  /// symbolic link is followed and the file it names replaced. On failure
  /// returns false and describes the failure in `error` when given.
  /// The POSIX platform layer implements it (platform/profile_save.cpp).
  bool Save(const std::filesystem::path& path, std::string* error = nullptr) const;

  std::string ToText() const;

  /// The value as stored (blanks around it removed, quotes kept), or nothing
  /// when the key is missing.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

  /// Integer read: the decimal number at the start of the value (blanks and a
  /// sign allowed), saturated to the int32 range; 0 when the value holds no
  /// number; `defaultValue` when the key is missing.
  int32_t GetInt(std::string_view section, std::string_view key, int32_t defaultValue) const;

  /// String read into `buffer` of `size` bytes (terminator included):
  /// `defaultValue` when the key is missing; one pair of double quotes that
  /// encloses the whole value is removed; the result is cut to size - 1.
  /// Returns the number of characters copied.
  size_t GetString(std::string_view section, std::string_view key, std::string_view defaultValue,
                   char* buffer, size_t size) const;

  /// Sets the key, replacing its first occurrence in place or appending it to
  /// the end of the section (which is appended to the file when missing).
  /// Line breaks and NUL characters in the value are written as blanks, since
  /// they cannot be kept in one line.
  void SetString(std::string_view section, std::string_view key, std::string_view value);

  /// Removes every section of that name with all its lines.
  void DeleteSection(std::string_view section);

  /// Removes the key lines of the section for which `owned(key)` holds; other
  /// lines of the section (comments, other keys) stay.
  void DeleteKeys(std::string_view section, const std::function<bool(std::string_view)>& owned);

  bool HasSection(std::string_view section) const;

  /// Calls `each(key, line)` for every key line of the sections of that name,
  /// in file order; lines count from 1.
  void ForEachKey(std::string_view section,
                  const std::function<void(std::string_view key, size_t line)>& each) const;

 private:
  enum class LineKind { kOther, kSection, kKey };
  struct Line {
    LineKind kind = LineKind::kOther;
    std::string text;   ///< the line as read or written, without its line end
    std::string name;   ///< section name or key, blanks removed
    std::string value;  ///< kKey: the value, blanks removed
  };

  static Line ParseLine(std::string_view text);
  /// Index of the line that holds the key, or npos.
  size_t FindKeyLine(std::string_view section, std::string_view key) const;

  std::vector<Line> lines_;
  bool byteOrderMark_ = false;  ///< the text began with one (it is kept)
};

/// Compares two names without letter case (ASCII), as profile names compare.
bool ProfileNameEquals(std::string_view a, std::string_view b);

}  // namespace skelmar
