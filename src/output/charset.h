// National 7-bit character sets: the letters a network's codes stand for.
// The panes keep the received codes; outputs map alphanumeric text on its way out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace skelmar {

/// Room for a set's name: a built-in name, or "FILE:" and a path.
inline constexpr int kCharsetNameCapacity = 256;

class Charset {
 public:
  Charset();  ///< US: every code stands for itself

  /// Chooses a set by name: US, DE, DK, NO, SE, FI, FR or SI (any letter
  /// case), or FILE:path for a table of one's own, one mapping per line
  /// ("0x5B U+00C4", '#' starts a comment). On failure `error` says why (a bad
  /// line with its number) and the set stays as it was.
  bool Select(const char* name, std::string& error);

  /// "US", "DE", ... or "FILE:path" as given.
  const char* name() const { return name_; }
  /// False for US, whose output stays byte for byte as received.
  bool national() const { return national_; }

  /// The character a received code stands for; codes from 128 up stand for themselves.
  char32_t Map(unsigned char code) const { return code < 128 ? table_[code] : code; }

  /// Whether characters written in this colour slot are alphanumeric text,
  /// the only characters a set maps (capcodes, digits and fixed texts never).
  static bool MapsSlot(int32_t slot);

  /// The character a monitor-pane cell shows: its code mapped when its slot
  /// holds alphanumeric text, else the code itself. What a view painting the
  /// pane calls per cell.
  char32_t Shown(char code, int32_t slot) const {
    const auto u = static_cast<unsigned char>(code);
    return national_ && MapsSlot(slot) ? Map(u) : u;
  }

  /// Whether `name` names a built-in set (any letter case) or has the FILE: form.
  static bool IsValidName(const char* name);

 private:
  bool LoadFile(const char* path, std::string& error);

  char32_t table_[128];
  char name_[kCharsetNameCapacity];
  bool national_ = false;
};

/// Writes `cp` as UTF-8 into `out` (room for 4 bytes); returns the byte count.
int EncodeUtf8(char32_t cp, char* out);

/// Reads one character of UTF-8 at `s` (at most `n` bytes), advancing `used`
/// past it; a byte that starts no valid sequence is taken as itself.
char32_t DecodeUtf8(const char* s, size_t n, size_t& used);

/// Upper case of the letters the built-in sets use (ASCII, Latin-1 and
/// Latin Extended-A); anything else is returned unchanged.
char32_t FoldCase(char32_t cp);

}  // namespace skelmar
