// Saving a profile file: the atomic, mode-keeping, synced replace needs POSIX
// calls, so it lives in the platform layer beside the standard-library reader.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "settings/profile_file.h"

namespace skelmar {

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

}  // namespace skelmar
