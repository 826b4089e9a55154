// The built-in national sets, tables of one's own from a file, and the UTF-8
// and letter-case helpers the outputs and the text filters share.
#include "output/charset.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace skelmar {
namespace {

struct Mapping {
  unsigned char code;
  char32_t cp;
};

struct BuiltIn {
  const char* name;
  const Mapping* mappings;
  size_t count;
};

// ISO 646 national variants as pager networks use them.
constexpr Mapping kDe[] = {{'@', 0xA7}, {'[', 0xC4}, {'\\', 0xD6}, {']', 0xDC},
                           {'{', 0xE4}, {'|', 0xF6}, {'}', 0xFC},  {'~', 0xDF}};
constexpr Mapping kDk[] = {{'[', 0xC6}, {'\\', 0xD8}, {']', 0xC5},
                           {'{', 0xE6}, {'|', 0xF8},  {'}', 0xE5}};
constexpr Mapping kSe[] = {{'[', 0xC4}, {'\\', 0xD6}, {']', 0xC5},
                           {'{', 0xE4}, {'|', 0xF6},  {'}', 0xE5}};
constexpr Mapping kFr[] = {{'#', 0xA3}, {'@', 0xE0}, {'[', 0xB0}, {'\\', 0xE7}, {']', 0xA7},
                           {'{', 0xE9}, {'|', 0xF9}, {'}', 0xE8}, {'~', 0xA8}};
constexpr Mapping kSi[] = {{'@', 0x17D}, {'[', 0x160}, {'\\', 0x110}, {']', 0x106}, {'^', 0x10C},
                           {'`', 0x17E}, {'{', 0x161}, {'|', 0x111},  {'}', 0x107}, {'~', 0x10D}};

#define SK_SET(name, table) \
  { name, table, sizeof table / sizeof table[0] }
constexpr BuiltIn kBuiltIns[] = {
    {"US", nullptr, 0}, SK_SET("DE", kDe), SK_SET("DK", kDk), SK_SET("NO", kDk),
    SK_SET("SE", kSe),  SK_SET("FI", kSe), SK_SET("FR", kFr), SK_SET("SI", kSi),
};
#undef SK_SET

constexpr const char* kFilePrefix = "FILE:";
constexpr size_t kFilePrefixLength = 5;

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a != 0 && *b != 0; ++a, ++b) {
    const char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
    const char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

bool HasFilePrefix(const char* name) {
  char head[kFilePrefixLength + 1] = {};
  std::strncpy(head, name, kFilePrefixLength);
  return EqualsIgnoringCase(head, kFilePrefix);
}

const BuiltIn* FindBuiltIn(const char* name) {
  for (const BuiltIn& set : kBuiltIns) {
    if (EqualsIgnoringCase(name, set.name)) return &set;
  }
  return nullptr;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// A hexadecimal number of 1..maxDigits digits after a two-character prefix
/// (compared without letter case); false when the token has another form.
bool ParsePrefixedHex(const std::string& token, char p0, char p1, size_t maxDigits,
                      uint32_t& value) {
  if (token.size() < 3 || token.size() > 2 + maxDigits) return false;
  if ((token[0] | 0x20) != (p0 | 0x20) || (token[1] | 0x20) != (p1 | 0x20)) return false;
  value = 0;
  for (size_t i = 2; i < token.size(); ++i) {
    const int h = HexValue(token[i]);
    if (h < 0) return false;
    value = value * 16 + static_cast<uint32_t>(h);
  }
  return true;
}

std::string LineError(const char* path, int line, const std::string& what) {
  return std::string("character set file '") + path + "' line " + std::to_string(line) + ": " +
         what;
}

std::string Hex2(uint32_t code) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", code);
  return buf;
}

}  // namespace

Charset::Charset() {
  for (int i = 0; i < 128; ++i) table_[i] = static_cast<char32_t>(i);
  std::snprintf(name_, sizeof name_, "US");
}

bool Charset::MapsSlot(int32_t slot) {
  // Alphanumeric text, and the same text where a codeword was uncorrectable.
  return slot == 7 || slot == 10;
}

bool Charset::IsValidName(const char* name) {
  if (name == nullptr) return false;
  if (HasFilePrefix(name)) return name[kFilePrefixLength] != 0;
  return FindBuiltIn(name) != nullptr;
}

bool Charset::Select(const char* name, std::string& error) {
  if (name == nullptr) name = "";
  if (HasFilePrefix(name)) {
    const char* path = name + kFilePrefixLength;
    if (*path == 0) {
      error = "FILE: needs the path of a character set file, e.g. FILE:/etc/skelmar/ru.txt";
      return false;
    }
    if (!LoadFile(path, error)) return false;
    std::snprintf(name_, sizeof name_, "%s", name);
    national_ = true;
    return true;
  }
  const BuiltIn* set = FindBuiltIn(name);
  if (set == nullptr) {
    error = std::string("unknown character set '") + name +
            "' (US, DE, DK, NO, SE, FI, FR, SI or FILE:path)";
    return false;
  }
  for (int i = 0; i < 128; ++i) table_[i] = static_cast<char32_t>(i);
  for (size_t i = 0; i < set->count; ++i) table_[set->mappings[i].code] = set->mappings[i].cp;
  std::snprintf(name_, sizeof name_, "%s", set->name);
  national_ = set->count > 0;
  return true;
}

bool Charset::LoadFile(const char* path, std::string& error) {
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) {
    error = std::string("cannot read character set file '") + path + "': " + std::strerror(errno);
    return false;
  }
  char32_t table[128];
  for (int i = 0; i < 128; ++i) table[i] = static_cast<char32_t>(i);
  int firstLine[128] = {};
  std::string line;
  int number = 0;
  bool ok = true;
  bool more = true;
  while (ok && more) {
    line.clear();
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n') line += static_cast<char>(c);
    more = c != EOF;
    if (!more && line.empty()) break;
    ++number;
    const size_t hash = line.find('#');
    const std::string body = hash == std::string::npos ? line : line.substr(0, hash);
    // Blank-separated tokens of the line.
    std::string tokens[3];
    int count = 0;
    for (size_t i = 0; i < body.size();) {
      while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\r')) ++i;
      if (i >= body.size()) break;
      const size_t start = i;
      while (i < body.size() && body[i] != ' ' && body[i] != '\t' && body[i] != '\r') ++i;
      if (count < 3) tokens[count] = body.substr(start, i - start);
      ++count;
    }
    if (count == 0) continue;
    uint32_t code = 0;
    uint32_t cp = 0;
    if (count != 2 || !ParsePrefixedHex(tokens[0], '0', 'x', 2, code) ||
        !ParsePrefixedHex(tokens[1], 'U', '+', 6, cp)) {
      error =
          LineError(path, number, "'" + body + "' is not a code and a character like 0x5B U+00C4");
      ok = false;
    } else if (code < 0x21 || code > 0x7E) {
      error = LineError(path, number, Hex2(code) + " is not a printable 7-bit code (0x21..0x7E)");
      ok = false;
    } else if (code >= '0' && code <= '9') {
      error = LineError(path, number, Hex2(code) + " is a digit; digits are never mapped");
      ok = false;
    } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0xD800 && cp <= 0xDFFF) ||
               cp > 0x10FFFF) {
      error = LineError(path, number, tokens[1] + " is not a printable character");
      ok = false;
    } else if (firstLine[code] != 0) {
      error = LineError(
          path, number,
          Hex2(code) + " is mapped twice (first on line " + std::to_string(firstLine[code]) + ")");
      ok = false;
    } else {
      firstLine[code] = number;
      table[code] = static_cast<char32_t>(cp);
    }
  }
  if (ok && std::ferror(f) != 0) {
    error = std::string("cannot read character set file '") + path + "'";
    ok = false;
  }
  std::fclose(f);
  if (ok) std::memcpy(table_, table, sizeof table_);
  return ok;
}

int EncodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

char32_t DecodeUtf8(const char* s, size_t n, size_t& used) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  used = 1;
  int extra = 0;
  char32_t cp = 0;
  if (b0 < 0x80) return b0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    extra = 1;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    extra = 2;
    cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    extra = 3;
    cp = b0 & 0x07;
  } else {
    return b0;
  }
  if (static_cast<size_t>(extra) >= n) return b0;
  for (int i = 1; i <= extra; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return b0;
    cp = (cp << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  const char32_t least = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
  if (cp < least || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return b0;
  used = static_cast<size_t>(extra) + 1;
  return cp;
}

char32_t FoldCase(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 0x20;
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 0x20;
  if (cp == 0xFF) return 0x178;
  // Latin Extended-A pairs: upper case first, on even codes in the first and
  // third runs and on odd codes in the second and fourth.
  if ((cp >= 0x100 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177)) return cp & ~char32_t{1};
  if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) {
    return (cp & 1) == 0 ? cp - 1 : cp;
  }
  return cp;
}

}  // namespace skelmar
