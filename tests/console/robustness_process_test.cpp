// Hostile and careless input to the console monitor, as a user would give it:
// unreadable settings, inputs that never deliver, full disks, long pages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "frontend/edge_recording.h"
#include "pocsag_encoder.h"
#include "shell/test_dir.h"

namespace skelmar {
namespace {

const std::string kProgram = SKELMAR_BINARY_DIR "/skelmar";
const std::string kGolden = SKELMAR_SOURCE_DIR "/tests/data/golden";

using test::ReadFile;
using test::WriteFile;

struct Outcome {
  int status = -1;  ///< exit status, or 128 + signal
  std::string out;
  std::string err;
};

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "skelmar-hostile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    config_ = Path("empty.ini");
    WriteFile(config_, "[Skelmar]\n");
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  /// Starts the program; its standard input is `in` (or /dev/null).
  /// Standard output goes to `out` (a file of the test's by default; "-": closed).
  pid_t Start(std::vector<std::string> args, int in = -1, std::string out = {}) {
    if (!window_) {
      for (const char* a : {"--start-time", "2026-01-01T00:00:00Z", "--color=never", "-q"})
        args.push_back(a);
    }
    if (out.empty()) out = Path("stdout");
    const std::string err = Path("stderr");
    const pid_t pid = fork();
    if (pid == 0) {
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out == "-") {
        close(1);
      } else {
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      }
      dup2(e, 2);
      dup2(in >= 0 ? in : open("/dev/null", O_RDONLY), 0);
      setenv("LC_ALL", "C", 1);
      if (window_) setenv("QT_QPA_PLATFORM", "offscreen", 1);
      setenv("TZ", "UTC", 1);
      std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(kProgram.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }
  /// Waits at most `limit`; a program still running then is killed (status 128 + 9).
  Outcome Finish(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Outcome r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(Path("stdout"));
    r.err = ReadFile(Path("stderr"));
    return r;
  }
  Outcome Run(const std::vector<std::string>& args) { return Finish(Start(args)); }

  /// Waits (up to 10 s) until the program has blocked SIGINT, read from /proc.
  static void WaitUntilSignalsBlocked(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const std::string status = "/proc/" + std::to_string(pid) + "/status";
    while (std::chrono::steady_clock::now() < deadline) {
      const std::string text = ReadFile(status);
      const size_t at = text.find("SigBlk:");
      if (at != std::string::npos &&
          (std::stoull(text.substr(at + 7), nullptr, 16) & (1ull << (SIGINT - 1))) != 0) {
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  std::string dir_;
  std::string config_;
  bool window_ = false;  ///< run the window program (offscreen) instead of the console
};

TEST_F(HostileInput, SettingsThatCannotBeReadAreNamedWithStatus1) {
  const std::string loop = Path("loop.ini");
  ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
  const std::string longPath = "/" + std::string(6000, 'x');
  for (const std::string& config : {loop, longPath, dir_, std::string("/dev/zero")}) {
    SCOPED_TRACE(config.substr(0, 40));
    const Outcome r = Run({"--replay", kGolden + "/pocsag-512.edges", "--config", config});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("skelmar: "), std::string::npos);
    EXPECT_NE(r.err.find(config.substr(0, 40)), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(HostileInput, AnEntryThatCannotBeUnderstoodIsNamedOnceAndDecodingGoesOn) {
  const std::string ini = Path("bad.ini");
  WriteFile(ini,
            "[Filter]\nFilterCount=2\nFilter1=2, \"1234567\", 0, \"Ok\", \"\", 0\nFilter2=?\n");
  const Outcome r = Run({"--replay", kGolden + "/pocsag-512.edges", "--config", ini});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.find("Filter1"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Filter2"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Test page at 512 bit/s"), std::string::npos);
}

TEST_F(HostileInput, StopSignalsEndAWaitForInputThatNeverComes) {
  const std::string fifo = Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int silent[2];
  ASSERT_EQ(pipe(silent), 0);  // we keep the writing end open and write nothing
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int in;
    int signal;
  };
  const std::vector<Case> cases = {
      {"replay of a FIFO without a writer", {"--replay", fifo, "--config", config_}, -1, SIGINT},
      {"settings from a FIFO",
       {"--replay", kGolden + "/pocsag-512.edges", "--config", fifo},
       -1,
       SIGTERM},
      {"silent PCM pipe", {"--pcm", "-", "--config", config_}, silent[0], SIGTERM},
      {"raw audio FIFO without a writer", {"--pcm", fifo, "--config", config_}, -1, SIGINT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const pid_t pid = Start(c.args, c.in);
    // A loaded machine may take a while to load the program: the signals
    // are blocked first thing, then give it time to reach its wait.
    WaitUntilSignalsBlocked(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto sent = std::chrono::steady_clock::now();
    kill(pid, c.signal);
    const Outcome r = Finish(pid, std::chrono::seconds(5));
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
  }
  close(silent[0]);
  close(silent[1]);
}

TEST_F(HostileInput, StopSignalsEndTheWindowWhileAStartUpMessageWaitsForItsOk) {
#ifndef SKELMAR_DESKTOP_BUILD
  GTEST_SKIP() << "a console-only build has no window program";
#else
  window_ = true;
  // A bad filter entry: its message waits for an OK nobody will give.
  const std::string ini = Path("bad.ini");
  WriteFile(ini, "[Filter]\nFilterCount=1\nFilter1=garbage\n");
  const pid_t pid = Start({"--config", ini});
  WaitUntilSignalsBlocked(pid);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the box is up
  kill(pid, SIGTERM);
  const auto sent = std::chrono::steady_clock::now();
  const Outcome r = Finish(pid, std::chrono::seconds(10));
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(5));
  EXPECT_EQ(r.status, 0) << r.err;
#endif
}

TEST_F(HostileInput, TheWindowClosedWithUndeliveredFeedPagesSaysSoAndAStopEndsTheWait) {
#ifndef SKELMAR_DESKTOP_BUILD
  GTEST_SKIP() << "a console-only build has no window program";
#else
  window_ = true;
  // Nothing listens on port 1: every page stays queued for the feed.
  setenv("XDG_STATE_HOME", Path("state").c_str(), 1);
  const pid_t pid = Start({"--config", config_, "--replay", kGolden + "/pocsag-1200.edges",
                           "--mqtt", "mqtt://127.0.0.1:1"});
  unsetenv("XDG_STATE_HOME");
  WaitUntilSignalsBlocked(pid);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // decoded and queued
  kill(pid, SIGTERM);
  // The grace period's notice reaches standard error, not a box nobody can answer.
  const auto notice = std::chrono::steady_clock::now() + std::chrono::seconds(8);
  while (ReadFile(Path("stderr")).find("giving the feeds") == std::string::npos &&
         std::chrono::steady_clock::now() < notice) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGTERM);  // a second stop ends the wait at once
  const auto sent = std::chrono::steady_clock::now();
  const Outcome r = Finish(pid, std::chrono::seconds(20));
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(5));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("not delivered (spooled to"), std::string::npos) << r.err;
#endif
}

TEST_F(HostileInput, PagesThatCannotReachStandardOutputAreReportedWithStatus1) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full on this system";
  for (const char* out : {"/dev/full", "-"}) {
    SCOPED_TRACE(out);
    for (const char* format : {"--json", "--color=never"}) {
      const Outcome r = Finish(
          Start({"--replay", kGolden + "/pocsag-512.edges", "--config", config_, format}, -1, out));
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find("cannot be written to standard output"), std::string::npos) << r.err;
    }
  }
}

TEST_F(HostileInput, FailedWritesOfRequestedFilesAreReportedWithStatus1) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full on this system";
  // The recording of the input onto a full disk.
  Outcome r = Run(
      {"--replay", kGolden + "/pocsag-512.edges", "--config", config_, "--record", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("/dev/full"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Test page at 512 bit/s"), std::string::npos);  // decoding went on
  // A filter log whose buffered tail cannot be written at exit.
  const std::string ini = Path("log.ini");
  WriteFile(ini,
            "[Filter]\nFilterFileEnabled=1\nFilterFile=/dev/full\nFilterFileFlush=0\n"
            "FilterCount=1\nFilter1=2,\"1234567\",0,\"\",\"\",0\n");
  r = Run({"--replay", kGolden + "/pocsag-512.edges", "--config", ini});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Cannot write to the filter file: /dev/full"), std::string::npos) << r.err;
}

TEST_F(HostileInput, InputsThatHoldNothingSaySo) {
  // A folder given as a recording.
  Outcome r = Run({"--replay", dir_, "--config", config_});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(dir_), std::string::npos) << r.err;
  // A WAV file whose recorder never wrote the data length into its header.
  std::string wav("RIFF\0\0\0\0WAVEfmt ", 16);
  const unsigned char fmt[] = {16, 0, 0, 0,    1, 0, 1, 0, 0x80, 0xBB,
                               0,  0, 0, 0x77, 1, 0, 2, 0, 16,   0};
  wav.append(reinterpret_cast<const char*>(fmt), sizeof fmt);
  wav.append("data\0\0\0\0", 8);
  wav.append(48000 * 2, '\x10');
  WriteFile(Path("unfinished.wav"), wav);
  r = Run({"--audio", Path("unfinished.wav"), "--config", config_});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("declares no audio data"), std::string::npos) << r.err;
}

TEST_F(HostileInput, JsonCarriesTheWholeTextOfALongPage) {
  std::string text;
  for (int i = 0; text.size() < 4000; ++i) text += "part " + std::to_string(i) + "; ";
  {
    siggen::PocsagPage page;
    page.capcode = 1234567;
    page.function = 3;
    page.text = text;
    siggen::ModulatorOptions mod;
    siggen::EdgeWriter writer(1);
    writer.Hold(0, 0.2, mod);
    siggen::AppendPocsag(writer, siggen::EncodePocsag({page}).Bits(), 1200, mod);
    writer.Hold(0, 1.0, mod);
    EdgeRecordingWriter file;
    std::string error;
    ASSERT_TRUE(file.Open(Path("long.edges"), EdgeRecordingFormat::kBinary, &error)) << error;
    for (const PulseSample& s : writer.Finish()) file.Write(s);
    ASSERT_TRUE(file.Close(&error)) << error;
  }
  const Outcome r = Run({"--replay", Path("long.edges"), "--config", config_, "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"text\":\"" + text + "\""), std::string::npos) << r.out.substr(0, 300);
}

}  // namespace
}  // namespace skelmar
