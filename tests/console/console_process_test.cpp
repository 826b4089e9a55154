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
#include "gsc_encoder.h"
#include "pocsag_encoder.h"
#include "session/options.h"
#include "shell/test_dir.h"

namespace skelmar {
namespace {

const std::string kProgram = SKELMAR_BINARY_DIR "/skelmar";
const std::string kData = SKELMAR_SOURCE_DIR "/tests/data";

using test::ReadFile;
using test::WriteFile;

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
      "--replay",      "--pcm",        "--rate",      "--audio",  "--audio-device", "--serial",
      "--color",       "--json",       "--stats",     "--record", "--quiet",        "-q",
      "--config",      "--four-level", "--two-level", "--invert", "--no-invert",    "--realtime",
      "--start-time",  "--console",    "--help",      "-h",       "--version",      "--charset",
      "--pocsag-type", "--mqtt",       "--pagermon",  "--label",  "--dedupe",       "--iq",
      "--iq-format",   "--rtl-tcp",    "--sdr",       "--center", "--channel",      "--ppm",
      "--gain"};
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
  // The manual page describes every option too (roff writes a minus as \-).
  const std::string manual = ReadFile(SKELMAR_SOURCE_DIR "/src/shell/console/skelmar.1");
  for (const char* option : kOptions) {
    std::string roff;
    for (const char* c = option; *c != 0; ++c)
      roff += *c == '-' ? std::string("\\-") : std::string(1, *c);
    EXPECT_NE(manual.find(roff), std::string::npos) << option << " is not in skelmar.1";
  }
}

TEST_F(ConsoleProcess, SdrWithoutAMatchingDeviceEndsWithinSecondsNamingSoapySdrAndTheArguments) {
  const auto start = std::chrono::steady_clock::now();
  const Result r =
      Run({"--sdr", "driver=skelmar_test_none", "--channel", "169.65M", "--config", config_});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("SoapySDR"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("driver=skelmar_test_none"), std::string::npos) << r.err;
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
                          R"("text":"555-0100")"),
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

TEST_F(ConsoleProcess, RecordingCutInsideAPageStillGivesItsLineRecordAndCount) {
  // A 60-character page at 1200 bit/s, cut in the middle of its 16th message
  // codeword: the 15 codewords before the cut carry 300 bits, 42 characters.
  siggen::PocsagPage page;
  page.capcode = 1234567;
  page.function = 3;
  page.text = "Unit 7 respond to the north depot, gate B: smoke reported no";
  ASSERT_EQ(page.text.size(), 60u);
  const siggen::PocsagTransmission tx = siggen::EncodePocsag({page});
  const size_t cutWord = tx.Find(siggen::PocsagRole::kMessage, 0, 15);
  ASSERT_LT(cutWord, tx.codewords.size());
  const double lead = 0.2;
  const double cutSeconds =
      lead + (tx.preambleBits + 32.0 * static_cast<double>(cutWord) + 16) / 1200.0;
  siggen::ModulatorOptions mod;
  siggen::EdgeWriter writer(1);
  writer.Hold(0, lead, mod);
  siggen::AppendPocsag(writer, tx.Bits(), 1200, mod);
  const std::string recording = Path("cut.edges");
  {
    EdgeRecordingWriter file;
    std::string error;
    ASSERT_TRUE(file.Open(recording, EdgeRecordingFormat::kBinary, &error)) << error;
    double end = 0;
    for (const PulseSample& s : writer.Finish()) {
      end += s.duration / kTicksPerSecond;
      if (end > cutSeconds) break;
      file.Write(s);
    }
    ASSERT_TRUE(file.Close(&error)) << error;
  }
  const std::string received = page.text.substr(0, 42);

  const Result text = Decode({"--replay", recording, "--stats"});
  ASSERT_EQ(text.status, 0) << text.err;
  const std::vector<std::string> lines = Lines(text.out);
  ASSERT_GE(lines.size(), 2u) << text.out;
  EXPECT_EQ(lines[1], "{1234567} 4 " + received) << text.out;
  // Counted once, as alphanumeric (numeric, alpha; hourly, then daily).
  EXPECT_TRUE(std::regex_search(text.out, std::regex("\nPOCSAG 1200 +0 +1 +0 +1\n"))) << text.out;

  const Result json = Decode({"--replay", recording, "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  ASSERT_EQ(Lines(json.out).size(), 1u) << json.out;
  EXPECT_NE(
      json.out.find(R"("capcode":"1234567","function":4,"functionBits":3,"type":"alpha","text":")" +
                    received + "\""),
      std::string::npos)
      << json.out;
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

// National character sets, end to end: generated edges in, UTF-8 lines, JSON,
// the filter log and the filter command out.

/// One alphanumeric page of each protocol, written as a recording.
void WriteThreeProtocols(const std::string& path, const std::string& pocsagText,
                         const std::string& flexText, const std::string& gscText) {
  siggen::ModulatorOptions options;
  siggen::EdgeWriter writer(11);
  writer.Hold(0, 0.5, options);
  siggen::AppendPocsag(
      writer, siggen::EncodePocsag({{1234560, 3, siggen::PocsagKind::kAlpha, pocsagText}}).Bits(),
      1200, options);
  writer.Hold(0, 1.0, options);
  siggen::FlexFrame frame = siggen::FlexFrame::Mode(siggen::kFlexCode1600x2);
  siggen::FlexPhaseBuilder phase;
  siggen::FlexPage flex;
  flex.capcode = 123456;
  flex.type = siggen::kFlexAlphanumeric;
  flex.content = flexText;
  phase.pages = {flex};
  ASSERT_TRUE(phase.Build(frame.words[0]));
  siggen::AppendFlexFrame(writer, frame, options);
  writer.Hold(0, 1.0, options);
  siggen::AppendGscBits(
      writer,
      siggen::EncodeGscTransmission({{657141, 1, siggen::GscPageKind::kAlpha, gscText}}, {}),
      options);
  writer.Hold(0, 1.0, options);
  EdgeRecordingWriter out;
  std::string error;
  ASSERT_TRUE(out.Open(path, EdgeRecordingFormat::kBinary, &error)) << error;
  for (const PulseSample& s : writer.Finish()) out.Write(s);
  ASSERT_TRUE(out.Close(&error)) << error;
}

/// The tables as users know them: each listed code stands for the letter beside it.
struct NationalSet {
  const char* name;
  std::vector<std::pair<char, std::string>> letters;
};

std::string Expected(const NationalSet& set, const std::string& sent) {
  std::string out;
  for (char c : sent) {
    std::string shown(1, c);
    for (const auto& [code, letter] : set.letters) {
      if (code == c) shown = letter;
    }
    out += shown;
  }
  return out;
}

std::string JsonEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

TEST_F(ConsoleProcess, EachNationalSetMapsAlphanumericTextOfAllThreeProtocols) {
  const std::vector<NationalSet> sets = {
      {"DE",
       {{'@', "§"},
        {'[', "Ä"},
        {'\\', "Ö"},
        {']', "Ü"},
        {'{', "ä"},
        {'|', "ö"},
        {'}', "ü"},
        {'~', "ß"}}},
      {"DK", {{'[', "Æ"}, {'\\', "Ø"}, {']', "Å"}, {'{', "æ"}, {'|', "ø"}, {'}', "å"}}},
      {"NO", {{'[', "Æ"}, {'\\', "Ø"}, {']', "Å"}, {'{', "æ"}, {'|', "ø"}, {'}', "å"}}},
      {"SE", {{'[', "Ä"}, {'\\', "Ö"}, {']', "Å"}, {'{', "ä"}, {'|', "ö"}, {'}', "å"}}},
      {"FI", {{'[', "Ä"}, {'\\', "Ö"}, {']', "Å"}, {'{', "ä"}, {'|', "ö"}, {'}', "å"}}},
      {"FR",
       {{'#', "£"},
        {'@', "à"},
        {'[', "°"},
        {'\\', "ç"},
        {']', "§"},
        {'{', "é"},
        {'|', "ù"},
        {'}', "è"},
        {'~', "¨"}}},
      {"SI",
       {{'@', "Ž"},
        {'[', "Š"},
        {'\\', "Đ"},
        {']', "Ć"},
        {'^', "Č"},
        {'`', "ž"},
        {'{', "š"},
        {'|', "đ"},
        {'}', "ć"},
        {'~', "č"}}},
  };
  // Every code any set maps, with some that none maps; GSC has only # $ [ ] of them.
  const std::string text = "A#$@[\\]^`{|}~z";
  const std::string gscText = "#$[GSC] PAGE [OK] FROM 12";
  const std::string recording = Path("national.edges");
  WriteThreeProtocols(recording, text, text, gscText);

  for (const NationalSet& set : sets) {
    const std::string pocsag = "{1234560} 4 " + Expected(set, text);
    const std::string flex = "[0123456] A  ALPHA  " + Expected(set, text);
    const std::string gsc = "(657141) 1 " + Expected(set, gscText);
    const Result r = Decode({"--replay", recording, "--charset", set.name});
    ASSERT_EQ(r.status, 0) << set.name << r.err;
    // Capcodes and their brackets are never mapped; each line is the whole page.
    std::vector<std::string> lines = Lines(r.out);
    for (const std::string& want : {pocsag, flex, gsc}) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end())
          << set.name << ": no line " << want << " in\n"
          << r.out;
    }

    const Result j = Decode({"--replay", recording, "--charset", set.name, "--json"});
    ASSERT_EQ(j.status, 0) << set.name << j.err;
    lines = Lines(j.out);
    ASSERT_EQ(lines.size(), 3u) << j.out;
    const std::string named = std::string(",\"charset\":\"") + set.name + "\"";
    EXPECT_NE(lines[0].find("\"capcode\":\"1234560\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"text\":\"" + JsonEscaped(Expected(set, text)) + "\"" + named),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("\"text\":\"" + JsonEscaped(Expected(set, text)) + "\"" + named),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find("\"text\":\"" + JsonEscaped(Expected(set, gscText)) + "\"" + named),
              std::string::npos)
        << lines[2];
  }
}

TEST_F(ConsoleProcess, OwnCharsetTableMapsAndABadLineIsRefusedWithItsNumber) {
  const std::string recording = Path("own.edges");
  WriteThreeProtocols(recording, "ab{1}", "ab", "[AB]  NOTHING MAPPED HERE  ");
  const std::string good = Path("cyrillic.txt");
  WriteFile(good, "# a test network\n0x61 U+0430\n\n0x62  u+0431   # small be\n0x7B U+1F600\n");
  const Result r = Decode({"--replay", recording, "--charset", "FILE:" + good});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n{1234560} 4 аб😀1}\n"), std::string::npos) << r.out;

  const std::string bad = Path("bad.txt");
  WriteFile(bad, "0x61 U+0430\n# fine so far\n0x62 0431\n");
  const Result b = Decode({"--replay", recording, "--charset", "FILE:" + bad});
  EXPECT_EQ(b.status, 1);
  EXPECT_EQ(b.out, "");
  ASSERT_EQ(Lines(b.err).size(), 1u) << b.err;
  EXPECT_NE(b.err.find("line 3"), std::string::npos) << b.err;
  // The same refusal when the table comes from the settings file.
  const std::string ini = Path("bad.ini");
  WriteFile(ini, "[Skelmar]\nCharset=FILE:" + bad + "\n");
  const Result s = Decode({"--replay", recording, "--config", ini});
  EXPECT_EQ(s.status, 1);
  EXPECT_NE(s.err.find("line 3"), std::string::npos) << s.err;
}

TEST_F(ConsoleProcess, TextFilterLogAndCommandSeeTheMappedText) {
  const std::string recording = Path("koeln.edges");
  WriteThreeProtocols(recording, "Brand in k|ln, Stra~e 5", "nothing here",
                      "NOTHING HERE EITHER 12345");
  const std::string log = Path("filter.log");
  const std::string args = Path("args");
  const std::string script = Path("command.sh");
  WriteFile(script, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + args + ".tmp' && mv '" + args +
                        ".tmp' '" + args + "'\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  const std::string ini = Path("koeln.ini");
  WriteFile(ini, "[Skelmar]\nCharset=DE\n[Filter]\nFilterFileEnabled=1\nFilterFile=" + log +
                     "\nFilterCmdFileEnabled=1\nFilterCmdFile=" + script +
                     "\nFilterCmdArgs=\"\"%m\"\"\nFilterCount=2\n"
                     "Filter1=1,\"\",0,\"Dom\",\"KÖLN, STRASSE\",1\n"
                     "Filter2=1,\"\",0,\"Dom\",\"KÖLN, STRAßE\",1\n");
  // The first filter's text is not on the page (ß is no SS); the second's is, in any case.
  const Result r = Decode({"--replay", recording, "--config", ini});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(log),
            "--------------- 01/01/26 00:00:01 ---------------\n"
            "{1234560} 4Dom  Brand in köln, Straße 5\n");
  // The command runs on its own; give it a moment to write its arguments.
  for (int i = 0; i < 100 && !std::filesystem::exists(args); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(ReadFile(args), "1\nBrand in köln, Straße 5\n");
}

TEST_F(ConsoleProcess, PocsagTypeChoosesNumericOrAlphaAndTheCountsFollow) {
  // Alphanumeric pages all: a short one full of digits with function bits 11,
  // a plain one with bits 00, the short one again with bits 01, and one of 60
  // characters with bits 00 (420 bits: 21 message codewords, 105 digits).
  const std::string longText = "A long message that needs more than seven codewords to carry";
  ASSERT_EQ(longText.size(), 60u);
  const std::vector<siggen::PocsagPage> pages = {
      {100, 3, siggen::PocsagKind::kAlpha, "ALPHA123"},
      {200, 0, siggen::PocsagKind::kAlpha, "Hello there"},
      {300, 1, siggen::PocsagKind::kAlpha, "ALPHA123"},
      {400, 0, siggen::PocsagKind::kAlpha, longText}};
  const std::string recording = Path("types.edges");
  {
    siggen::ModulatorOptions options;
    siggen::EdgeWriter writer(11);
    writer.Hold(0, 0.5, options);
    siggen::AppendPocsag(writer, siggen::EncodePocsag(pages).Bits(), 1200, options);
    writer.Hold(0, 1.0, options);
    EdgeRecordingWriter out;
    std::string error;
    ASSERT_TRUE(out.Open(recording, EdgeRecordingFormat::kBinary, &error)) << error;
    for (const PulseSample& sample : writer.Finish()) out.Write(sample);
    ASSERT_TRUE(out.Close(&error)) << error;
  }
  // For each choice, the type each page is shown as ('a' alpha, 'n' numeric).
  // "ALPHA123" weighs as digits; the others weigh as text.
  const struct {
    const char* choice;
    const char* types;
  } kCases[] = {{"auto", "nana"}, {"function", "annn"}, {"alpha", "aaaa"}, {"numeric", "nnnn"}};
  for (const auto& c : kCases) {
    const std::string want = c.types;
    const Result j = Decode({"--replay", recording, "--json", "--pocsag-type", c.choice});
    ASSERT_EQ(j.status, 0) << j.err;
    const std::vector<std::string> lines = Lines(j.out);
    ASSERT_EQ(lines.size(), pages.size()) << c.choice << "\n" << j.out;
    int alpha = 0;
    for (size_t i = 0; i < pages.size(); ++i) {
      const std::string& line = lines[i];
      if (want[i] == 'a') {
        ++alpha;
        EXPECT_NE(line.find("\"type\":\"alpha\",\"text\":\"" + pages[i].text + "\""),
                  std::string::npos)
            << c.choice << ": " << line;
      } else {
        std::smatch m;
        ASSERT_TRUE(
            std::regex_search(line, m, std::regex("\"type\":\"numeric\",\"text\":\"([^\"]*)\"")))
            << c.choice << ": " << line;
        const std::string digits = m[1];
        EXPECT_EQ(digits.find_first_not_of("0123456789*U -)("), std::string::npos) << line;
        if (i == 3) {
          EXPECT_EQ(digits.size(), 105u) << c.choice << ": " << line;
        }
      }
    }
    const Result t = Decode({"--replay", recording, "--stats", "--pocsag-type", c.choice});
    ASSERT_EQ(t.status, 0) << t.err;
    const int numeric = static_cast<int>(pages.size()) - alpha;
    const std::string row = "\nPOCSAG 1200 +" + std::to_string(numeric) + " +" +
                            std::to_string(alpha) + " +" + std::to_string(numeric) + " +" +
                            std::to_string(alpha) + "\n";
    EXPECT_TRUE(std::regex_search(t.out, std::regex(row))) << c.choice << "\n" << t.out;
  }
  const Result bad = Run({"--pocsag-type", "digits", "--replay", recording});
  EXPECT_EQ(bad.status, 2);
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
