// The spool: pages a feed could not deliver before the program ended, kept in
// a file of the state folder and sent first at the next start.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "feeds/feed.h"

namespace skelmar {

/// At most this many records per feed, as the queue holds.
inline constexpr size_t kSpoolRecordsPerFeed = 10000;
inline constexpr const char* kSpoolFileName = "feeds.spool";

class FeedSpool {
 public:
  explicit FeedSpool(std::filesystem::path file) : file_(std::move(file)) {}
  const std::filesystem::path& file() const { return file_; }

  /// Reads the spool into `records` (oldest first). A missing file is an
  /// empty spool. A file that cannot be understood is renamed aside (".bad"),
  /// said in `problem`, and read as empty: never fatal.
  void Load(std::vector<SpoolRecord>& records, std::string& problem) const;

  /// Replaces the spool with `records` (the newest kSpoolRecordsPerFeed of
  /// each feed), atomically: a temporary file renamed over the old one. No
  /// records: the file is removed. False with the reason in `error`.
  bool Save(const std::vector<SpoolRecord>& records, std::string& error) const;

 private:
  std::filesystem::path file_;
};

/// The state folder: beside the settings file when the program keeps it
/// beside itself, else $XDG_STATE_HOME/skelmar, where an unset, empty or
/// relative XDG_STATE_HOME means $HOME/.local/state. Empty when neither gives
/// a folder. `xdgStateHome` and `home` are the environment's values (null
/// when unset).
std::filesystem::path StateFolder(bool settingsBesideProgram,
                                  const std::filesystem::path& settingsFile,
                                  const char* xdgStateHome, const char* home);

}  // namespace skelmar
