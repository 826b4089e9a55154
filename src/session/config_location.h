// Where the settings file lives: beside the program, in the user's
// configuration directory, or wherever --config says.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace skelmar {

inline constexpr const char* kSettingsFileName = "Skelmar.INI";

struct ConfigChoice {
  enum class Origin {
    kOverride,          ///< --config PATH, used as given
    kProgramDirectory,  ///< Skelmar.INI beside the program
    kUserConfig,        ///< $XDG_CONFIG_HOME/skelmar/Skelmar.INI or ~/.config/skelmar/Skelmar.INI
  };
  std::filesystem::path file;
  Origin origin = Origin::kProgramDirectory;
};

/// Whether a file can be created in `directory`: a probe file is created and
/// removed again, which answers for this user whatever the permission bits say.
bool IsDirectoryWritable(const std::filesystem::path& directory);

/// Chooses the settings file.
/// - `overridePath` (from --config; null or empty when not given) wins.
/// - Otherwise Skelmar.INI in the directory of `programPath` when that
///   directory is writable, so a copy of the program carried on a stick keeps
///   its settings with it. A program installed in a system folder
///   (/usr/bin, /usr/local/bin, /bin, /usr/games) never keeps it there, even
///   when it runs as root.
/// - Otherwise $XDG_CONFIG_HOME/skelmar/Skelmar.INI, where an unset, empty or
///   relative XDG_CONFIG_HOME means $HOME/.config.
/// - When neither variable gives a directory the program's directory is used
///   anyway (saving will then fail and say so).
/// `xdgConfigHome` and `home` are the environment values (null when unset);
/// `writable` decides writability (IsDirectoryWritable in the program).
ConfigChoice ChooseConfigFile(
    const char* overridePath, const std::filesystem::path& programPath, const char* xdgConfigHome,
    const char* home,
    const std::function<bool(const std::filesystem::path&)>& writable = IsDirectoryWritable);

/// Before saving: creates the user configuration directory when the choice
/// lies there and it does not exist yet. Returns false with the reason in
/// `error` when it cannot be created.
bool PrepareConfigDirectory(const ConfigChoice& choice, std::string* error = nullptr);

}  // namespace skelmar
