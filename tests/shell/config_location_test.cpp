// Settings file location: --config, beside the program, the user's configuration directory.
#include "session/config_location.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "shell/test_dir.h"

namespace skelmar {
namespace {

namespace fs = std::filesystem;
using Origin = ConfigChoice::Origin;

auto Writable(bool yes) {
  return [yes](const fs::path&) { return yes; };
}

TEST(ConfigLocation, AnExplicitPathWinsOverEverything) {
  const ConfigChoice c = ChooseConfigFile("/etc/pager.ini", "/opt/skelmar/bin/skelmar", "/x",
                                          "/home/u", Writable(true));
  EXPECT_EQ(c.file, fs::path("/etc/pager.ini"));
  EXPECT_EQ(c.origin, Origin::kOverride);
  // An empty --config value counts as not given.
  EXPECT_EQ(
      ChooseConfigFile("", "/opt/skelmar/bin/skelmar", nullptr, "/home/u", Writable(true)).origin,
      Origin::kProgramDirectory);
}

TEST(ConfigLocation, BesideTheProgramWhenItsDirectoryIsWritable) {
  fs::path asked;
  const ConfigChoice c = ChooseConfigFile(nullptr, "/opt/skelmar/bin/skelmar", "/x", "/home/u",
                                          [&asked](const fs::path& d) {
                                            asked = d;
                                            return true;
                                          });
  EXPECT_EQ(asked, fs::path("/opt/skelmar/bin"));
  EXPECT_EQ(c.file, fs::path("/opt/skelmar/bin/Skelmar.INI"));
  EXPECT_EQ(c.origin, Origin::kProgramDirectory);
  // A bare program name lives in the current directory.
  EXPECT_EQ(ChooseConfigFile(nullptr, "skelmar", nullptr, nullptr, Writable(true)).file,
            fs::path("./Skelmar.INI"));
}

TEST(ConfigLocation, AnInstalledProgramKeepsItsSettingsWithTheUserEvenAsRoot) {
  for (const char* program :
       {"/usr/bin/skelmar", "/usr/local/bin/skelmar", "/usr/bin/../bin/skelmar"}) {
    const ConfigChoice c = ChooseConfigFile(nullptr, program, nullptr, "/root", Writable(true));
    EXPECT_EQ(c.file, fs::path("/root/.config/skelmar/Skelmar.INI")) << program;
    EXPECT_EQ(c.origin, Origin::kUserConfig);
  }
}

TEST(ConfigLocation, TheUserConfigurationDirectoryOtherwise) {
  const char* program = "/usr/bin/skelmar";
  EXPECT_EQ(ChooseConfigFile(nullptr, program, "/home/u/cfg", "/home/u", Writable(false)).file,
            fs::path("/home/u/cfg/skelmar/Skelmar.INI"));
  for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
    SCOPED_TRACE(xdg == nullptr ? "unset" : xdg);
    const ConfigChoice c = ChooseConfigFile(nullptr, program, xdg, "/home/u", Writable(false));
    EXPECT_EQ(c.file, fs::path("/home/u/.config/skelmar/Skelmar.INI"));
    EXPECT_EQ(c.origin, Origin::kUserConfig);
  }
  // Nowhere else to go: beside the program after all.
  const ConfigChoice none = ChooseConfigFile(nullptr, program, nullptr, "", Writable(false));
  EXPECT_EQ(none.file, fs::path("/usr/bin/Skelmar.INI"));
  EXPECT_EQ(none.origin, Origin::kProgramDirectory);
}

TEST(ConfigLocation, WritabilityIsProbedForReal) {
  test::TempDir dir;
  EXPECT_TRUE(IsDirectoryWritable(dir.path()));
  EXPECT_TRUE(fs::is_empty(dir.path()));  // the probe is removed again
  EXPECT_FALSE(IsDirectoryWritable(dir.path() / "missing"));
  test::WriteFile(dir.path() / ".skelmar-write-probe", "someone's");
  EXPECT_TRUE(IsDirectoryWritable(dir.path()));
  EXPECT_EQ(test::ReadFile(dir.path() / ".skelmar-write-probe"), "someone's");
  std::filesystem::remove(dir.path() / ".skelmar-write-probe");
  test::WriteFile(dir.path() / "plain", "x");
  EXPECT_FALSE(IsDirectoryWritable(dir.path() / "plain"));
}

TEST(ConfigLocation, TheUserDirectoryIsCreatedBeforeSaving) {
  test::TempDir dir;
  const ConfigChoice c =
      ChooseConfigFile(nullptr, "/nonexistent/bin/skelmar", (dir.path() / "cfg").c_str(), nullptr);
  ASSERT_EQ(c.origin, Origin::kUserConfig);
  std::string error;
  ASSERT_TRUE(PrepareConfigDirectory(c, &error)) << error;
  EXPECT_TRUE(fs::is_directory(dir.path() / "cfg" / "skelmar"));
  EXPECT_TRUE(PrepareConfigDirectory(c, &error));  // already there

  // Other choices never create directories.
  ConfigChoice given{dir.path() / "a" / "b.ini", Origin::kOverride};
  EXPECT_TRUE(PrepareConfigDirectory(given));
  EXPECT_FALSE(fs::exists(dir.path() / "a"));

  // A file in the way is reported.
  test::WriteFile(dir.path() / "blocked", "x");
  ConfigChoice blocked{dir.path() / "blocked" / "skelmar" / "Skelmar.INI", Origin::kUserConfig};
  EXPECT_FALSE(PrepareConfigDirectory(blocked, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace skelmar
