// Starting real programs: arguments arrive exactly as split, nothing passes
// through a shell, the child is detached, no zombie stays, failures are told.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "output/filters.h"
#include "output/text_pane.h"
#include "platform/command_queue.h"
#include "platform/posix_command_launcher.h"
#include "platform/terminal_beeper.h"
#include "settings/settings.h"
#include "support/fakes.h"

namespace skelmar {
namespace {

struct Dump {
  std::map<std::string, std::string> facts;
  std::vector<std::string> args;
};

bool Exists(const std::string& path) {
  struct stat s {};
  return ::stat(path.c_str(), &s) == 0;
}

/// Waits (bounded) for the helper's file, then reads it.
bool ReadDump(const std::string& path, Dump& dump) {
  for (int i = 0; i < 1000 && !Exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream s;
  s << in.rdbuf();
  const std::string all = s.str();
  const size_t marker = all.find("ARGS\n");
  if (marker == std::string::npos) return false;
  std::istringstream head(all.substr(0, marker));
  for (std::string line; std::getline(head, line);) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) dump.facts[line.substr(0, eq)] = line.substr(eq + 1);
  }
  std::string rest = all.substr(marker + 5);
  size_t start = 0;
  for (size_t nul = rest.find('\0'); nul != std::string::npos; nul = rest.find('\0', start)) {
    dump.args.push_back(rest.substr(start, nul - start));
    start = nul + 1;
  }
  return true;
}

bool NoChildrenLeft() {
  int status = 0;
  return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

struct LauncherFixture : ::testing::Test {
  PosixCommandLauncher launcher;
  std::string dump;
  char error[80] = {};

  LauncherFixture() {
    dump = ::testing::TempDir() + "skelmar_argv_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
           std::to_string(::getpid());
    std::remove(dump.c_str());
    setenv("SKELMAR_ARGV_DUMP", dump.c_str(), 1);
  }
  ~LauncherFixture() override {
    std::remove(dump.c_str());
    unsetenv("SKELMAR_ARGV_DUMP");
  }
};

TEST_F(LauncherFixture, ChildGetsHostileTextAsPlainArgumentsAndStartsDetached) {
  const std::string marker =
      ::testing::TempDir() + "skelmar_no_shell_marker_" + std::to_string(::getpid());
  std::remove(marker.c_str());
  const int leaked =
      ::open("/dev/null", O_RDONLY);  // no close-on-exec: must still not reach the child
  ASSERT_GE(leaked, 0);
  const std::string arguments = "plain \"two words\" a;b $(touch " + marker + ") `touch " + marker +
                                "` \"line1\nline2\" back\\\\\\\"slash 'q' | && > out";
  ASSERT_TRUE(launcher.Launch(ARGV_DUMP_PROGRAM, arguments.c_str(), error, sizeof error)) << error;
  EXPECT_TRUE(NoChildrenLeft());
  ::close(leaked);

  Dump d;
  ASSERT_TRUE(ReadDump(dump, d));
  const std::vector<std::string> expected = {
      "plain",        "two words",     "a;b", "$(touch", marker + ")", "`touch", marker + "`",
      "line1\nline2", "back\\\"slash", "'q'", "|",       "&&",         ">",      "out"};
  EXPECT_EQ(d.args, expected);
  EXPECT_FALSE(Exists(marker));  // no shell ran the substitutions
  EXPECT_FALSE(Exists("out"));
  EXPECT_EQ(d.facts["stdin_null"], "1");
  EXPECT_EQ(d.facts["stdout_null"], "1");
  EXPECT_EQ(d.facts["stderr_null"], "1");
  EXPECT_EQ(d.facts["tty"], "0");
  EXPECT_EQ(d.facts["extra_fds"], "0");
  EXPECT_NE(d.facts["sid"], std::to_string(::getsid(0)));  // a session of its own
}

TEST_F(LauncherFixture, EmptyArgumentsGiveNoArguments) {
  ASSERT_TRUE(launcher.Launch(ARGV_DUMP_PROGRAM, "", error, sizeof error)) << error;
  Dump d;
  ASSERT_TRUE(ReadDump(dump, d));
  EXPECT_TRUE(d.args.empty());
}

TEST_F(LauncherFixture, ProgramWithoutSlashIsFoundOnThePath) {
  const std::string program = ARGV_DUMP_PROGRAM;
  const std::string dir = program.substr(0, program.rfind('/'));
  const char* oldPath = std::getenv("PATH");
  const std::string saved = oldPath != nullptr ? oldPath : "";
  setenv("PATH", ("/nonexistent-skelmar-bin:" + dir).c_str(), 1);
  const bool started = launcher.Launch("argv_dump", "found", error, sizeof error);
  setenv("PATH", saved.c_str(), 1);
  ASSERT_TRUE(started) << error;
  Dump d;
  ASSERT_TRUE(ReadDump(dump, d));
  EXPECT_EQ(d.args, std::vector<std::string>{"found"});
}

TEST_F(LauncherFixture, ProgramsThatCannotStartAreReported) {
  EXPECT_FALSE(launcher.Launch("/nonexistent-skelmar-dir/prog", "x", error, sizeof error));
  EXPECT_EQ(std::string(error), "No such file or directory (/nonexistent-skelmar-dir/prog)");
  EXPECT_TRUE(NoChildrenLeft());

  const std::string plain =
      ::testing::TempDir() + "skelmar_not_executable_" + std::to_string(::getpid());
  { std::ofstream(plain) << "data"; }
  ::chmod(plain.c_str(), 0644);
  EXPECT_FALSE(launcher.Launch(plain.c_str(), "", error, sizeof error));
  EXPECT_NE(std::string(error).find("Permission denied"), std::string::npos) << error;
  std::remove(plain.c_str());

  EXPECT_FALSE(launcher.Launch("", "", error, sizeof error));
  EXPECT_NE(std::string(error), "");
  EXPECT_FALSE(launcher.Launch("no-such-skelmar-program", "", error, sizeof error));
  EXPECT_TRUE(NoChildrenLeft());
  EXPECT_FALSE(Exists(dump));
}

TEST_F(LauncherFixture, FilterMatchStartsTheCommandWithThePageText) {
  Settings settings;
  test::FakeClock clock;
  test::RecordingMessages messages;
  test::CountingBeeper beeper;
  FilterTable filters;
  LineCopy copy;
  TextPane monitor{settings, clock, &copy};
  TextPane filterPane{settings, clock, nullptr};
  FilterProcessor processor{settings, filters, filterPane, launcher, beeper, messages};
  monitor.SetFinishedLineHook(&processor);
  settings.filterCmdFileEnabled = 1;
  std::snprintf(settings.filterCmdFile, sizeof settings.filterCmdFile, "%s", ARGV_DUMP_PROGRAM);
  std::snprintf(settings.filterCmdArgs, sizeof settings.filterCmdArgs,
                "--capcode \"%%c\" --message \"%%m\"");
  filters.entries[0].type = kFilterPocsag;
  std::snprintf(filters.entries[0].capcode, sizeof filters.entries[0].capcode, "0012345");
  filters.entries[0].runCommand = 1;
  filters.count = 1;

  filters.LookupCapcode(kFilterPocsag, "0012345", 1);
  monitor.MarkCapcodeStart();
  monitor.PutText("{0012345} 1");
  monitor.MarkCapcodeEnd();
  monitor.PutChar(' ');
  monitor.MarkMessageStart();
  monitor.PutText("it's \"bad\"; `id` $(id)");
  monitor.EndLine();

  Dump d;
  ASSERT_TRUE(ReadDump(dump, d));
  // The message's own quotes stay in it: received text never changes the
  // arguments the template gives.
  const std::vector<std::string> expected = {"--capcode", "{0012345} 1", "--message",
                                             "it's \"bad\"; `id` $(id)"};
  EXPECT_EQ(d.args, expected);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(NoChildrenLeft());
}

TEST(TerminalBeeper, WritesBelToTheDeviceAndNothingWithoutOne) {
  const std::string device =
      ::testing::TempDir() + "skelmar_fake_tty_" + std::to_string(::getpid());
  { std::ofstream(device) << ""; }
  TerminalBeeper beeper(device.c_str());
  beeper.Beep();
  beeper.Beep();
  std::ifstream in(device, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "\a\a");
  std::remove(device.c_str());

  TerminalBeeper none("/nonexistent-skelmar-dir/tty");
  none.Beep();
  EXPECT_FALSE(Exists("/nonexistent-skelmar-dir/tty"));
}

TEST(TerminalBeeper, TerminalOfAnotherProcessGroupGetsNoBel) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  {
    // Keep the slave open so the master does not see a hang-up.
    const int held = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    TerminalBeeper beeper(slave.c_str());
    beeper.Beep();  // not our terminal: no foreground group of ours
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char c = 0;
    EXPECT_EQ(::read(master, &c, 1), -1);
    EXPECT_EQ(errno, EAGAIN);
    ::close(held);
  }
  ::close(master);
}

}  // namespace
}  // namespace skelmar

namespace skelmar {
namespace {

/// Children of this process right now, over all its threads.
int ChildCount() {
  int n = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(task.path() / "children");
    for (std::string pid; in >> pid;) ++n;
  }
  return n;
}

TEST(CommandQueue, ABurstRunsABoundedNumberAtOnceAndWhatDoesNotFitIsCounted) {
  const int before = ChildCount();
  CommandQueue queue(3);
  char error[128];
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(queue.Launch("/bin/sleep", "0.3", error, sizeof error));
  int most = 0;
  for (int i = 0; i < 40; ++i) {
    most = std::max(most, ChildCount() - before);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GE(most, 1);
  EXPECT_LE(most, 3);
  // 200 asked for; the queue and the three running took at most 67 of them.
  EXPECT_GE(queue.dropped(), 200u - CommandQueue::kSlots - 3);
  std::string text;
  ASSERT_TRUE(queue.TakeMessage(text));
  EXPECT_NE(text.find(std::to_string(queue.dropped()) + " filter commands were not started"),
            std::string::npos)
      << text;

  // A program that cannot start is said once, later, on the decoding thread's turn.
  CommandQueue failing;
  ASSERT_TRUE(failing.Launch("/nonexistent-skelmar-dir/prog", "", error, sizeof error));
  ASSERT_TRUE(failing.Launch("/nonexistent-skelmar-dir/prog", "", error, sizeof error));
  ASSERT_TRUE(failing.WaitIdle(5000));
  ASSERT_TRUE(failing.TakeMessage(text));
  EXPECT_EQ(text,
            "Cannot start the filter command: No such file or directory "
            "(/nonexistent-skelmar-dir/prog)");
  EXPECT_FALSE(failing.TakeMessage(text));
}

}  // namespace
}  // namespace skelmar
