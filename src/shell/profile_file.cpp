// Profile (INI) file reading, editing and atomic writing with the standard library only.
#include "shell/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    out += '\n';
  }
  return out;
}

namespace {

std::string ErrnoText() { return std::strerror(errno); }

// Writes all of `content` to `fd`, through short writes and interruptions.
bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Makes a finished rename survive a power cut. Some file systems cannot sync
// a folder (EINVAL); they order the rename themselves.
bool SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return synced;
}

}  // namespace

bool ProfileFile::Save(const std::filesystem::path& path, std::string* error) const {
  namespace fs = std::filesystem;
  auto fail = [error](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  // Renaming over a link would replace the link itself; write to the file it
  // names (through every link of a chain) instead.
  fs::path target = path;
  std::error_code ec;
  if (fs::is_symlink(path, ec)) {
    target = fs::weakly_canonical(path, ec);
    if (ec) return fail("cannot follow the link " + path.string() + ": " + ec.message());
  }

  // The old file's protection carries over to the new one: a file the user
  // cannot write is not replaced (renaming needs only the folder's permission),
  // and its mode and owner stay.
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT)
    return fail("cannot read " + target.string() + ": " + ErrnoText());
  if (exists) {
    if (!S_ISREG(old.st_mode)) return fail(target.string() + " is not a regular file");
    if (::access(target.c_str(), W_OK) != 0) {
      return fail("cannot write " + target.string() + ": " + ErrnoText());
    }
  }

  fs::path temp = target;
  temp += ".tmp";
  // Left by an interrupted save. A folder of that name stays, and the open fails.
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        exists ? 0600 : 0666);
  if (fd < 0) return fail("cannot create " + temp.string() + ": " + ErrnoText());
  auto discard = [&](const std::string& why) {
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(why);
  };
  if (exists) {
    // Handing the file to another user needs privilege, keeping its group
    // only membership; where neither is allowed it stays the saver's file.
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(fd, old.st_uid, old.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) {
      return discard("cannot set the mode of " + temp.string() + ": " + ErrnoText());
    }
  }
  if (!WriteAll(fd, ToText())) return discard("cannot write " + temp.string() + ": " + ErrnoText());
  // On disk before the rename: a power cut leaves the old file or the new, never an empty one.
  if (::fsync(fd) != 0) return discard("cannot write " + temp.string() + ": " + ErrnoText());
  if (::close(fd) != 0) {
    ::unlink(temp.c_str());
    return fail("cannot write " + temp.string() + ": " + ErrnoText());
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const std::string why = ErrnoText();
    ::unlink(temp.c_str());
    return fail("cannot replace " + target.string() + ": " + why);
  }
  if (!SyncFolder(target.parent_path())) {
    return fail("saved " + target.string() +
                ", but its folder could not be synced: " + ErrnoText());
  }
  return true;
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
