// The console monitor as a user runs it: the real program on files, with its
// exit status, standard output and standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "flex_encoder.h"
#include "frontend/edge_recording.h"
#include "pocsag_encoder.h"
#include "shell/console/console_options.h"

namespace skelmar {
namespace {

const std::string kProgram = SKELMAR_BINARY_DIR "/skelmar";
const std::string kData = SKELMAR_SOURCE_DIR "/tests/data";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class ConsoleProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "skelmar-console-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // Our own empty settings file, so the user's never reaches a test.
    config_ = Path("empty.ini");
    WriteFile(config_, "[Skelmar]\n");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  /// Starts the program with stdout and stderr going to files.
  pid_t Start(const std::vector<std::string>& args) {
    const std::string out = Path("stdout"), err = Path("stderr");
    const pid_t pid = fork();
    if (pid == 0) {
      const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int in = open("/dev/null", O_RDONLY);
      dup2(o, 1);
      dup2(e, 2);
      dup2(in, 0);
      setenv("LC_ALL", "C", 1);
      setenv("TZ", "UTC", 1);
      std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(kProgram.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }

  Result Wait(pid_t pid) {
    Result r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(Path("stdout"));
    r.err = ReadFile(Path("stderr"));
    return r;
  }

  Result Run(const std::vector<std::string>& args) { return Wait(Start(args)); }

  /// A file run with the deterministic options.
  Result Decode(std::vector<std::string> args) {
    for (const char* a : {"--start-time", "2026-01-01T00:00:00Z", "--color=never", "-q"}) {
      args.push_back(a);
    }
    if (std::find(args.begin(), args.end(), "--config") == args.end()) {
      args.push_back("--config");
      args.push_back(config_);
    }
    return Run(args);
  }

  std::string dir_;
  std::string config_;
};

TEST_F(ConsoleProcess, HelpListsEveryOptionTheParserTakes) {
  const Result r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const char* const kOptions[] = {
      "--replay",     "--pcm",        "--rate",      "--audio",  "--audio-device", "--serial",
      "--color",      "--json",       "--stats",     "--record", "--quiet",        "-q",
      "--config",     "--four-level", "--two-level", "--invert", "--no-invert",    "--realtime",
      "--start-time", "--console",    "--help",      "-h",       "--version",      "--mqtt",
      "--pagermon",   "--label",      "--dedupe"};
  for (const char* option : kOptions) {
    // Listed as an option: after a blank, before a blank, comma or '='.
    bool listed = false;
    for (size_t at = r.out.find(option); at != std::string::npos; at = r.out.find(option, at + 1)) {
      const size_t end = at + std::strlen(option);
      listed = listed || (at > 0 && r.out[at - 1] == ' ' && end < r.out.size() &&
                          std::strchr(" ,=", r.out[end]) != nullptr);
    }
    EXPECT_TRUE(listed) << option;
    // ... and the parser knows it.
    const char* argv[] = {"skelmar", option, "2026-01-01T00:00:00Z"};
    ConsoleOptions o;
    std::string error;
    ParseConsoleOptions(3, argv, o, error);
    EXPECT_EQ(error.find(std::string("unknown option '") + option + "'"), std::string::npos)
        << option;
  }
  EXPECT_NE(r.out.find("Exit status"), std::string::npos);
  for (const std::string& line : Lines(r.out)) EXPECT_LE(line.size(), 80u) << line;
}

TEST_F(ConsoleProcess, NoInputIsOneLineAndStatus2) {
  const Result r = Run({"--config", config_});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
  EXPECT_NE(r.err.find("no input"), std::string::npos);
}

TEST_F(ConsoleProcess, BadOptionsAreOneLineAndStatus2) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--frobnicate"},
                                               {"--rate", "12"},
                                               {"--start-time", "soon"},
                                               {"--replay", "a", "--audio", "b"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
  }
}

TEST_F(ConsoleProcess, MissingFilesAreOneLineNamingTheFileAndStatus1) {
  const std::string absent = Path("no-such-recording");
  for (const char* input : {"--replay", "--audio", "--pcm"}) {
    const Result r = Decode({input, absent});
    EXPECT_EQ(r.status, 1) << input;
    EXPECT_EQ(r.out, "") << input;
    ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find(absent), std::string::npos) << r.err;
  }
  const Result r = Run({"--config", Path("absent.ini"), "--replay", absent});
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
  EXPECT_NE(r.err.find("absent.ini"), std::string::npos) << r.err;
  // A file that is not a recording.
  const std::string junk = Path("junk.edges");
  WriteFile(junk, "this is not an edge recording\n");
  const Result j = Decode({"--replay", junk});
  EXPECT_EQ(j.status, 1);
  ASSERT_EQ(Lines(j.err).size(), 1u) << j.err;
  EXPECT_NE(j.err.find(junk), std::string::npos) << j.err;
}

TEST_F(ConsoleProcess, DecodesARecordingToItsPages) {
  // Made by skelgen from these pages (see tests/golden/README.md).
  const Result r = Decode({"--replay", kData + "/golden/pocsag-512.edges"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "--------------- 01/01/26 00:00:03 ---------------\n"
            "{1234567} 4 Test page at 512 bit/s\n"
            "{0004242} 1 555-0100  \n"
            "{1999999} 2 TONE ONLY\n");
}

TEST_F(ConsoleProcess, JsonIsOneObjectPerPage) {
  const Result r = Decode({"--replay", kData + "/golden/pocsag-512.edges", "--json"});
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  for (const std::string& line : lines) {
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    EXPECT_NE(line.find(R"("protocol":"POCSAG","speed":512,)"), std::string::npos) << line;
  }
  // Sent with function bits 3, 0 and 1 (shown as 4, 1 and 2).
  EXPECT_NE(lines[0].find(R"("capcode":"1234567","function":4,"functionBits":3,"type":"alpha",)"
                          R"("text":"Test page at 512 bit/s")"),
            std::string::npos);
  EXPECT_NE(lines[1].find(R"("capcode":"0004242","function":1,"functionBits":0,"type":"numeric",)"
                          R"("text":"555-0100  ")"),
            std::string::npos);
  EXPECT_NE(lines[2].find(R"("capcode":"1999999","function":2,"functionBits":1,"type":"tone",)"
                          R"("text":"")"),
            std::string::npos);
}

TEST_F(ConsoleProcess, StatsPrintTheTableAtExit) {
  // Two alphanumeric pages, a numeric and a tone-only page (counted numeric) at 1200 bit/s.
  const Result r = Decode({"--replay", kData + "/golden/pocsag-1200.edges", "--stats"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nPOCSAG 1200 +2 +2 +2 +2\n"))) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nPOCSAG 512 +0 +0 +0 +0\n"))) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nGOLAY \\(GSC\\) +0 +0 +0 +0\n"))) << r.out;
  EXPECT_NE(r.out.find("HOURLY"), std::string::npos);
}

TEST_F(ConsoleProcess, RecordingOfAnAudioRunReplaysToTheSameLines) {
  const std::string recording = Path("offair.edges");
  const Result live =
      Decode({"--audio", kData + "/offair/pocsag-1200-offair.flac", "--record", recording});
  ASSERT_EQ(live.status, 0) << live.err;
  EXPECT_NE(live.out.find("{0273040} 4 +++TIME=0008300324"), std::string::npos) << live.out;
  const Result replay = Decode({"--replay", recording});
  EXPECT_EQ(replay.status, 0) << replay.err;
  EXPECT_EQ(replay.out, live.out);
  // The recording is a well-formed binary one.
  EdgeRecordingReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(recording, &error)) << error;
  EXPECT_EQ(reader.format(), EdgeRecordingFormat::kBinary);
  EXPECT_NE(reader.declaredCount(), kEdgeRecordingUnknownCount);
  EXPECT_GT(reader.declaredCount(), 1000u);
}

/// Settings with one POCSAG capcode filter writing an unflushed filter log.
std::string FilterSettings(const std::string& log, const char* capcode) {
  return std::string("[Skelmar]\n[Filter]\nFilterFileEnabled=1\nFilterFile=") + log +
         "\nFilterFileFlush=0\nFilterCount=1\nFilter1=2,\"" + capcode + "\",0,\"Fire\",\"\",0\n";
}

TEST_F(ConsoleProcess, CapcodeFilterWritesTheMatchedPageToTheFilterLog) {
  const std::string log = Path("filter.log");
  const std::string ini = Path("filters.ini");
  WriteFile(ini, FilterSettings(log, "0273040"));
  const Result r = Decode({"--replay", kData + "/golden/pocsag-1200.edges", "--config", ini});
  ASSERT_EQ(r.status, 0) << r.err;
  // The label goes right after the capcode text; only the matched page is logged.
  EXPECT_EQ(ReadFile(log),
            "--------------- 01/01/26 00:00:01 ---------------\n"
            "{0273040} 4Fire  Fire alarm: Building 4, 2nd floor\n");
  // The monitor lines are not changed by the filter.
  EXPECT_NE(r.out.find("\n{0273040} 4 Fire alarm: Building 4, 2nd floor\n"), std::string::npos);
}

TEST_F(ConsoleProcess, InterruptDuringRealTimeReplayEndsCleanlyAndClosesTheFilterLog) {
  // One page at once, then half a minute of quiet carrier.
  const std::string recording = Path("long.edges");
  {
    siggen::PocsagPage page;
    page.capcode = 1234567;
    page.function = 3;
    page.text = "Early page";
    siggen::ModulatorOptions mod;
    siggen::EdgeWriter writer(1);
    writer.Hold(0, 0.2, mod);
    siggen::AppendPocsag(writer, siggen::EncodePocsag({page}).Bits(), 1200, mod);
    writer.Hold(0, 30.0, mod);
    EdgeRecordingWriter file;
    std::string error;
    ASSERT_TRUE(file.Open(recording, EdgeRecordingFormat::kBinary, &error)) << error;
    for (const PulseSample& s : writer.Finish()) file.Write(s);
    ASSERT_TRUE(file.Close(&error)) << error;
  }
  const std::string log = Path("filter.log");
  const std::string ini = Path("filters.ini");
  WriteFile(ini, FilterSettings(log, "1234567"));
  const pid_t pid = Start({"--replay", recording, "--realtime", "--config", ini, "-q",
                           "--color=never", "--start-time", "2026-01-01T00:00:00Z"});
  // Wait for the page on standard output, then interrupt.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (ReadFile(Path("stdout")).find("Early page") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(ReadFile(Path("stdout")).find("Early page"), std::string::npos);
  const auto interrupted = std::chrono::steady_clock::now();
  kill(pid, SIGINT);
  const Result r = Wait(pid);
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(2));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // The page came about a second into the stream that started at --start-time.
  EXPECT_EQ(r.out.rfind("--------------- 01/01/26 00:00:0", 0), 0u) << r.out;
  // Nothing flushed the log before the end; closing it did.
  EXPECT_NE(ReadFile(log).find("{1234567} 4Fire  Early page\n"), std::string::npos)
      << ReadFile(log);
}

}  // namespace
}  // namespace skelmar

namespace skelmar {
namespace {

// A FLEX message in two fragments over two frames: --json prints both pieces
// as decoded, then the whole message once more as one joined record.
TEST_F(ConsoleProcess, AFragmentedFlexMessageGivesAJoinedRecordAfterItsPieces) {
  const std::string recording = Path("fragments.edges");
  {
    auto frame = [](int number, const std::string& text, int fragment, bool continued) {
      siggen::FlexPage page;
      page.capcode = 123456;
      page.type = siggen::kFlexAlphanumeric;
      page.content = text;
      page.fragment = fragment;
      page.continued = continued;
      siggen::FlexPhaseBuilder builder;
      builder.pages = {page};
      siggen::FlexFrame f = siggen::FlexFrame::Mode(siggen::kFlexCode1600x2);
      f.cycle = 3;
      f.frame = number;
      builder.Build(f.words[0]);
      return f;
    };
    siggen::ModulatorOptions mod;
    mod.symbolRate = 1600;
    mod.fourLevel = true;
    siggen::EdgeWriter writer(1);
    std::vector<uint8_t> lead;
    for (int i = 0; i < 400; ++i) lead.push_back(i % 2 ? 3 : 0);
    writer.Symbols(lead, mod);
    siggen::AppendFlexFrame(writer, frame(20, "Water main burst on ", 3, true), mod);
    siggen::AppendFlexFrame(writer, frame(21, "Quay Street, road closed", 0, false), mod);
    writer.Symbols({0, 3, 0, 3, 0, 3, 0, 3}, mod);
    EdgeRecordingWriter file;
    std::string error;
    ASSERT_TRUE(file.Open(recording, EdgeRecordingFormat::kBinary, &error)) << error;
    for (const PulseSample& s : writer.Finish()) file.Write(s);
    ASSERT_TRUE(file.Close(&error)) << error;
  }
  const Result r = Decode({"--replay", recording, "--four-level", "--json", "--label", "quay-rx"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_NE(lines[0].find(R"("text":"Water main burst on ",)"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find(R"("cycle":3,"frame":20,"fragment":3,"continued":true,)"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find(R"("frame":21,"fragment":0,"continued":false,)"), std::string::npos)
      << lines[1];
  EXPECT_NE(lines[2].find(R"("capcode":"0123456",)"), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find(R"("text":"Water main burst on Quay Street, road closed",)"),
            std::string::npos)
      << lines[2];
  EXPECT_NE(lines[2].find(R"("joined":true,"fragments":2,"incomplete":false,"source":"quay-rx"})"),
            std::string::npos)
      << lines[2];
}

}  // namespace
}  // namespace skelmar
