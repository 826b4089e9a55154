// Profile (INI) file reading and editing with the standard library only.
#include "settings/profile_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <system_error>

namespace skelmar {

namespace {

constexpr size_t kNpos = static_cast<size_t>(-1);

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool ProfileNameEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

ProfileFile::Line ProfileFile::ParseLine(std::string_view text) {
  Line line;
  line.text = std::string(text);
  const std::string_view trimmed = Trim(text);
  if (!trimmed.empty() && trimmed.front() == '[') {
    const size_t close = trimmed.find(']');
    line.kind = LineKind::kSection;
    line.name = std::string(Trim(
        trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
    return line;
  }
  if (!trimmed.empty() && trimmed.front() != ';' && trimmed.front() != '#') {
    const size_t eq = trimmed.find('=');
    if (eq != std::string_view::npos && eq > 0) {
      line.kind = LineKind::kKey;
      line.name = std::string(Trim(trimmed.substr(0, eq)));
      line.value = std::string(Trim(trimmed.substr(eq + 1)));
      // A value is one line of text: a stray CR or NUL inside it reads as a
      // blank, as the writer would store it, so a save never changes what is read.
      for (char& c : line.value) {
        if (c == '\r' || c == '\0') c = ' ';
      }
      if (line.name.empty()) line.kind = LineKind::kOther;
    }
  }
  return line;
}

ProfileFile ProfileFile::FromText(std::string_view text) {
  ProfileFile file;
  // Editors on some systems begin UTF-8 files with a byte-order mark.
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text.substr(0, kBom.size()) == kBom) {
    text.remove_prefix(kBom.size());
    file.byteOrderMark_ = true;  // written back, so the text after it reads the same
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(start, end - start);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    file.lines_.push_back(ParseLine(raw));
    start = end + 1;
  }
  return file;
}

bool ProfileFile::Load(const std::filesystem::path& path, std::string* error) {
  lines_.clear();
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return true;
  if (ec) return fail(ec.message());
  if (std::filesystem::is_directory(status)) return fail("is a directory");
  // C stdio, not a stream: its reads give up when a stop signal interrupts
  // them, so a FIFO with no writer cannot hold the program.
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return fail(std::strerror(errno));
  std::string content;
  char block[4096];
  bool tooLarge = false;
  for (;;) {
    const size_t got = std::fread(block, 1, sizeof block, in);
    if (content.size() + got > kMaxProfileBytes) {
      tooLarge = true;
      break;
    }
    content.append(block, got);
    if (got < sizeof block) break;
  }
  const bool readFailed = std::ferror(in) != 0;
  const int readErrno = errno;
  std::fclose(in);
  if (tooLarge) return fail("larger than 1 MiB; not a settings file");
  if (readFailed) return fail(std::strerror(readErrno));
  *this = FromText(content);
  return true;
}

std::string ProfileFile::ToText() const {
  std::string out = byteOrderMark_ ? "\xEF\xBB\xBF" : "";
  for (const Line& line : lines_) {
    out += line.text;
    // The reader takes one CR before the LF as part of the line end; a line
    // whose own text ends in a CR keeps it through one more.
    if (!line.text.empty() && line.text.back() == '\r') out += '\r';
    out += '\n';
  }
  return out;
}

size_t ProfileFile::FindKeyLine(std::string_view section, std::string_view key) const {
  bool inSection = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::kSection) {
      inSection = ProfileNameEquals(line.name, section);
    } else if (inSection && line.kind == LineKind::kKey && ProfileNameEquals(line.name, key)) {
      return i;
    }
  }
  return kNpos;
}

void ProfileFile::ForEachKey(
    std::string_view section,
    const std::function<void(std::string_view key, size_t line)>& each) const {
  bool inSection = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::kSection) {
      inSection = ProfileNameEquals(line.name, section);
    } else if (inSection && line.kind == LineKind::kKey) {
      each(line.name, i + 1);
    }
  }
}

bool ProfileFile::HasSection(std::string_view section) const {
  return std::any_of(lines_.begin(), lines_.end(), [section](const Line& line) {
    return line.kind == LineKind::kSection && ProfileNameEquals(line.name, section);
  });
}

std::optional<std::string_view> ProfileFile::Find(std::string_view section,
                                                  std::string_view key) const {
  const size_t i = FindKeyLine(section, key);
  if (i == kNpos) return std::nullopt;
  return std::string_view(lines_[i].value);
}

int32_t ProfileFile::GetInt(std::string_view section, std::string_view key,
                            int32_t defaultValue) const {
  const std::optional<std::string_view> found = Find(section, key);
  if (!found) return defaultValue;
  std::string_view v = *found;
  size_t i = 0;
  while (i < v.size() && IsBlank(v[i])) ++i;
  bool negative = false;
  if (i < v.size() && (v[i] == '-' || v[i] == '+')) {
    negative = v[i] == '-';
    ++i;
  }
  // Accumulate with a ceiling just past the int32 range, then saturate.
  constexpr int64_t kCeiling = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  while (i < v.size() && v[i] >= '0' && v[i] <= '9') {
    magnitude = std::min<int64_t>(magnitude * 10 + (v[i] - '0'), kCeiling);
    ++i;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

size_t ProfileFile::GetString(std::string_view section, std::string_view key,
                              std::string_view defaultValue, char* buffer, size_t size) const {
  if (buffer == nullptr || size == 0) return 0;
  const std::optional<std::string_view> found = Find(section, key);
  std::string_view v = found ? *found : defaultValue;
  if (found && v.size() >= 2 && v.front() == '"' && v.back() == '"') {
    v = v.substr(1, v.size() - 2);
  }
  const size_t n = std::min(v.size(), size - 1);
  std::memcpy(buffer, v.data(), n);
  buffer[n] = '\0';
  return n;
}

void ProfileFile::SetString(std::string_view section, std::string_view key,
                            std::string_view value) {
  std::string clean(value);
  for (char& c : clean) {
    if (c == '\n' || c == '\r' || c == '\0') c = ' ';
  }
  Line keyLine;
  keyLine.kind = LineKind::kKey;
  keyLine.name = std::string(key);
  keyLine.value = std::string(Trim(clean));
  keyLine.text = keyLine.name + "=" + clean;

  const size_t existing = FindKeyLine(section, key);
  if (existing != kNpos) {
    lines_[existing] = std::move(keyLine);
    return;
  }
  // Append after the last key line of the first section of that name, so
  // comments and blank lines that separate it from the next section stay below.
  size_t header = kNpos;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == LineKind::kSection && ProfileNameEquals(lines_[i].name, section)) {
      header = i;
      break;
    }
  }
  if (header == kNpos) {
    if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back(Line{});
    Line head;
    head.kind = LineKind::kSection;
    head.name = std::string(section);
    head.text = "[" + head.name + "]";
    lines_.push_back(std::move(head));
    lines_.push_back(std::move(keyLine));
    return;
  }
  size_t insertAt = header + 1;
  for (size_t i = header + 1; i < lines_.size() && lines_[i].kind != LineKind::kSection; ++i) {
    if (lines_[i].kind == LineKind::kKey || !Trim(lines_[i].text).empty()) insertAt = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(keyLine));
}

void ProfileFile::DeleteSection(std::string_view section) {
  std::vector<Line> kept;
  kept.reserve(lines_.size());
  bool dropping = false;
  for (Line& line : lines_) {
    if (line.kind == LineKind::kSection) dropping = ProfileNameEquals(line.name, section);
    if (!dropping) kept.push_back(std::move(line));
  }
  lines_ = std::move(kept);
}

void ProfileFile::DeleteKeys(std::string_view section,
                             const std::function<bool(std::string_view)>& owned) {
  std::vector<Line> kept;
  kept.reserve(lines_.size());
  bool inSection = false;
  for (Line& line : lines_) {
    if (line.kind == LineKind::kSection) inSection = ProfileNameEquals(line.name, section);
    if (inSection && line.kind == LineKind::kKey && owned(line.name)) continue;
    kept.push_back(std::move(line));
  }
  lines_ = std::move(kept);
}

}  // namespace skelmar
