// Profile file: the reading rules, edits that keep foreign lines, atomic saving.
#include "settings/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "shell/test_dir.h"

namespace skelmar {
namespace {

std::string Get(const ProfileFile& f, const char* section, const char* key, size_t size = 256,
                const char* fallback = "<default>") {
  std::string buf(size, '\x7f');
  f.GetString(section, key, fallback, buf.data(), size);
  return std::string(buf.c_str());
}

TEST(ProfileFileRead, IntegerTakesTheLeadingDecimalNumber) {
  const ProfileFile f = ProfileFile::FromText(
      "[App]\n"
      "a=12abc\n"
      "b=-7\n"
      "c=  +5 \n"
      "d=abc\n"
      "e=\n"
      "f=99999999999\n"
      "g=-99999999999\n"
      "h=0x10\n"
      "i=3.9\n");
  EXPECT_EQ(f.GetInt("App", "a", 1), 12);
  EXPECT_EQ(f.GetInt("App", "b", 1), -7);
  EXPECT_EQ(f.GetInt("App", "c", 1), 5);
  EXPECT_EQ(f.GetInt("App", "d", 1), 0);  // present but not a number
  EXPECT_EQ(f.GetInt("App", "e", 1), 0);
  EXPECT_EQ(f.GetInt("App", "f", 1), 2147483647);
  EXPECT_EQ(f.GetInt("App", "g", 1), -2147483647 - 1);
  EXPECT_EQ(f.GetInt("App", "h", 1), 0);  // decimal only: the 0 before x
  EXPECT_EQ(f.GetInt("App", "i", 1), 3);
  EXPECT_EQ(f.GetInt("App", "missing", 42), 42);
  EXPECT_EQ(f.GetInt("Other", "a", -3), -3);
}

TEST(ProfileFileRead, NamesIgnoreCaseAndBlanksAndTheFirstKeyWins) {
  const ProfileFile f = ProfileFile::FromText(
      "top=outside any section\n"
      "  [ MyApp ]  \n"
      "  Key One  =  value with blanks inside  \n"
      "KEY ONE=second\n"
      "; comment=not a key\n"
      "[other]\n"
      "x=1\n"
      "[MYAPP]\n"
      "later=from the second block\n");
  EXPECT_EQ(Get(f, "myapp", "key one"), "value with blanks inside");
  EXPECT_EQ(Get(f, "MyApp", "LATER"), "from the second block");
  EXPECT_EQ(Get(f, "MyApp", "; comment"), "<default>");
  EXPECT_EQ(Get(f, "MyApp", "top"), "<default>");
  EXPECT_EQ(f.GetInt("OTHER", "X", 0), 1);
  EXPECT_TRUE(f.HasSection("myApp"));
  EXPECT_FALSE(f.HasSection("missing"));
}

TEST(ProfileFileRead, StringsLoseOneEnclosingPairOfQuotesAndAreCutToTheBuffer) {
  const ProfileFile f = ProfileFile::FromText(
      "[S]\r\n"
      "quoted=\"  padded  \"\r\n"
      "twice=\"\"inner\"\"\r\n"
      "open=\"only at the start\r\n"
      "close=only at the end\"\r\n"
      "lone=\"\r\n"
      "inside=a \"word\" here\r\n"
      "long=abcdefghij\r\n"
      "empty=\r\n");
  EXPECT_EQ(Get(f, "S", "quoted"), "  padded  ");
  EXPECT_EQ(Get(f, "S", "twice"), "\"inner\"");
  EXPECT_EQ(Get(f, "S", "open"), "\"only at the start");
  EXPECT_EQ(Get(f, "S", "close"), "only at the end\"");
  EXPECT_EQ(Get(f, "S", "lone"), "\"");
  EXPECT_EQ(Get(f, "S", "inside"), "a \"word\" here");
  EXPECT_EQ(Get(f, "S", "long", 5), "abcd");
  EXPECT_EQ(Get(f, "S", "long", 1), "");
  EXPECT_EQ(Get(f, "S", "empty"), "");
  EXPECT_EQ(Get(f, "S", "missing", 4, "defaults"), "def");  // the default is cut too
  char buf[8];
  EXPECT_EQ(f.GetString("S", "long", "", buf, sizeof buf), 7u);
}

TEST(ProfileFileEdit, EditsKeepEveryLineTheyDoNotTouch) {
  ProfileFile f = ProfileFile::FromText(
      "; written by hand\n"
      "[App]\n"
      "; the window\n"
      "xPos=1\n"
      "Unknown = keep me\n"
      "\n"
      "[Other]\n"
      "y=2\n"
      "\n"
      "[Gone]\n"
      "z=3\n"
      "[gone]\n"
      "w=4\n");
  f.SetString("app", "XPOS", "10");  // replaced in place under its own spelling
  f.SetString("App", "yPos", "20");  // new key: after the section's last line
  f.SetString("Fresh", "k", "v");    // new section at the end
  f.SetString("Other", "multi", "a\nb\rc");
  f.DeleteSection("GONE");  // both blocks of that name
  EXPECT_EQ(f.ToText(),
            "; written by hand\n"
            "[App]\n"
            "; the window\n"
            "XPOS=10\n"
            "Unknown = keep me\n"
            "yPos=20\n"
            "\n"
            "[Other]\n"
            "y=2\n"
            "multi=a b c\n"
            "\n"
            "[Fresh]\n"
            "k=v\n");
  f.DeleteKeys("App", [](std::string_view k) { return k == "XPOS" || k == "yPos"; });
  EXPECT_EQ(Get(f, "App", "Unknown"), "keep me");
  EXPECT_EQ(f.GetInt("App", "xPos", -1), -1);
  EXPECT_EQ(f.GetInt("Other", "y", -1), 2);
}

TEST(ProfileFileEdit, LoneCarriageReturnsSurviveSavesUnchanged) {
  // CR LF ends a line like LF; every other CR is the line's own text.
  const std::string text =
      "; note\r\r\n"  // a comment that ends in a CR of its own
      "[App]\r\n"
      "a=1\r\r\n"   // a value line with its own CR after it
      "b=2\rc=3\n"  // a CR inside a line
      "\r\r\n"      // a line of one CR
      "end\r";
  const std::string saved = ProfileFile::FromText(text).ToText();
  EXPECT_EQ(saved, "; note\r\r\n[App]\na=1\r\r\nb=2\rc=3\n\r\r\nend\n");
  EXPECT_EQ(ProfileFile::FromText(saved).ToText(), saved);
  const ProfileFile back = ProfileFile::FromText(saved);
  EXPECT_EQ(back.GetInt("App", "a", -1), 1);
  EXPECT_EQ(Get(back, "App", "b"), "2 c=3");
}

TEST(ProfileFileSave, WritesTheContentAndReadsItBack) {
  test::TempDir dir;
  const auto path = dir.path() / "a.ini";
  ProfileFile f;
  f.SetString("S", "k", "\"  blanks kept  \"");
  ASSERT_TRUE(f.Save(path));
  ProfileFile back;
  ASSERT_TRUE(back.Load(path));
  EXPECT_EQ(Get(back, "S", "k"), "  blanks kept  ");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "a.ini.tmp"));
}

TEST(ProfileFileSave, MissingFileLoadsEmpty) {
  test::TempDir dir;
  ProfileFile f = ProfileFile::FromText("[x]\na=1\n");
  EXPECT_TRUE(f.Load(dir.path() / "none.ini"));
  EXPECT_EQ(f.ToText(), "");
  EXPECT_FALSE(f.Load(dir.path()));  // a directory is not a readable file
}

TEST(ProfileFileSave, AFailedWriteLeavesTheOldFileIntact) {
  test::TempDir dir;
  const auto path = dir.path() / "keep.ini";
  test::WriteFile(path, "[S]\nk=old\n");
  // The temporary file cannot be created where a directory stands.
  std::filesystem::create_directory(dir.path() / "keep.ini.tmp");
  ProfileFile f = ProfileFile::FromText("[S]\nk=new\n");
  std::string error;
  EXPECT_FALSE(f.Save(path, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(test::ReadFile(path), "[S]\nk=old\n");

  // A directory that does not exist cannot receive the file either.
  EXPECT_FALSE(f.Save(dir.path() / "no" / "such.ini", &error));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "no"));
}

TEST(ProfileFileSave, ALinkedFileIsReplacedBehindTheLink) {
  test::TempDir dir;
  const auto real = dir.path() / "real.ini";
  const auto link = dir.path() / "link.ini";
  test::WriteFile(real, "[S]\nk=old\n");
  std::filesystem::create_symlink("real.ini", link);
  ProfileFile f = ProfileFile::FromText("[S]\nk=new\n");
  ASSERT_TRUE(f.Save(link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(test::ReadFile(real), "[S]\nk=new\n");
}

TEST(ProfileFileSave, TheOldFilesProtectionCarriesOver) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  const auto path = dir.path() / "Skelmar.INI";
  ProfileFile f = ProfileFile::FromText("[S]\nk=new\n");

  // The mode stays, and a chain of links leads to the file that is replaced.
  test::WriteFile(path, "[S]\nk=old\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("Skelmar.INI", dir.path() / "one.ini");
  fs::create_symlink("one.ini", dir.path() / "two.ini");
  ASSERT_TRUE(f.Save(dir.path() / "two.ini"));
  EXPECT_EQ(test::ReadFile(path), "[S]\nk=new\n");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "one.ini"));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  // So do owner and group, where the saver may hand them on (as root).
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    ASSERT_TRUE(f.Save(path));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    ASSERT_EQ(::chown(path.c_str(), 0, 0), 0);
  }

  // A write-protected file is not replaced, though its folder would allow it.
  // Root may write anything, so that part runs as an unprivileged user.
  test::WriteFile(path, "[S]\nk=old\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir.path(), fs::perms::all);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(3);
    std::string error;
    const bool saved = f.Save(path, &error);
    _exit(!saved && error.find("Skelmar.INI") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(test::ReadFile(path), "[S]\nk=old\n");
  EXPECT_FALSE(fs::exists(dir.path() / "Skelmar.INI.tmp"));
}

}  // namespace
}  // namespace skelmar
