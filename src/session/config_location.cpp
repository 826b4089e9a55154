// Choosing the settings file's location and creating its directory.
#include "session/config_location.h"

#include <fstream>
#include <initializer_list>
#include <system_error>

namespace skelmar {

namespace fs = std::filesystem;

bool IsDirectoryWritable(const fs::path& directory) {
  std::error_code ec;
  if (!fs::is_directory(directory, ec)) return false;
  const fs::path probe = directory / ".skelmar-write-probe";
  // A probe left behind (or someone's file of that name) is opened, never removed.
  const bool existed = fs::exists(probe, ec);
  {
    std::ofstream out(probe, std::ios::binary | std::ios::app);
    if (!out) return false;
  }
  if (!existed) fs::remove(probe, ec);
  return true;
}

ConfigChoice ChooseConfigFile(const char* overridePath, const fs::path& programPath,
                              const char* xdgConfigHome, const char* home,
                              const std::function<bool(const fs::path&)>& writable) {
  ConfigChoice choice;
  if (overridePath != nullptr && overridePath[0] != '\0') {
    choice.file = overridePath;
    choice.origin = ConfigChoice::Origin::kOverride;
    return choice;
  }
  fs::path programDir = programPath.parent_path();
  if (programDir.empty()) programDir = ".";
  const fs::path besideProgram = programDir / kSettingsFileName;
  // An installed program's folder belongs to the system, not to its settings.
  bool systemFolder = false;
  for (const char* folder : {"/usr/bin", "/usr/local/bin", "/bin", "/usr/games"}) {
    systemFolder = systemFolder || programDir.lexically_normal() == fs::path(folder);
  }
  if (!systemFolder && writable(programDir)) {
    choice.file = besideProgram;
    choice.origin = ConfigChoice::Origin::kProgramDirectory;
    return choice;
  }
  fs::path base;
  if (xdgConfigHome != nullptr && xdgConfigHome[0] != '\0' &&
      fs::path(xdgConfigHome).is_absolute()) {
    base = xdgConfigHome;
  } else if (home != nullptr && home[0] != '\0') {
    base = fs::path(home) / ".config";
  }
  if (base.empty()) {
    choice.file = besideProgram;
    choice.origin = ConfigChoice::Origin::kProgramDirectory;
    return choice;
  }
  choice.file = base / "skelmar" / kSettingsFileName;
  choice.origin = ConfigChoice::Origin::kUserConfig;
  return choice;
}

bool PrepareConfigDirectory(const ConfigChoice& choice, std::string* error) {
  if (choice.origin != ConfigChoice::Origin::kUserConfig) return true;
  const fs::path dir = choice.file.parent_path();
  std::error_code ec;
  if (fs::is_directory(dir, ec)) return true;
  fs::create_directories(dir, ec);
  if (ec) {
    if (error != nullptr) *error = "cannot create " + dir.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace skelmar
