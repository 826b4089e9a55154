// The project's own recordings turned upside down, through the real program
// with default settings: the same lines as the originals, and JSON records
// that say the transmissions were found the other way up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/edge_recording.h"
#include "shell/test_dir.h"

namespace skelmar {
namespace {

const std::string kProgram = SKELMAR_BINARY_DIR "/skelmar";
const std::string kSource = SKELMAR_SOURCE_DIR;
const std::string kExpected = kSource + "/tests/golden/expected/";

/// The program's standard output for a run as the golden tests make it.
std::string Decode(const std::vector<std::string>& input, const std::string& out) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int n = open("/dev/null", O_RDWR);
    dup2(n, 0);
    dup2(o, 1);
    dup2(n, 2);
    setenv("LC_ALL", "C", 1);
    setenv("TZ", "UTC", 1);
    std::vector<std::string> args = {kProgram, "--console"};
    args.insert(args.end(), input.begin(), input.end());
    for (const char* a : {"--config", SKELMAR_SOURCE_DIR "/tests/golden/default.ini",
                          "--start-time", "2026-01-01T00:00:00Z", "--color=never", "-q"}) {
      args.push_back(a);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(kProgram.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << input.back();
  return test::ReadFile(out);
}

/// An edge recording with every level turned over, in the original's form.
void UpendEdges(const std::string& from, const std::string& to, bool fourLevel) {
  EdgeRecordingReader reader;
  EdgeRecordingWriter writer;
  std::string error;
  ASSERT_TRUE(reader.Open(from, &error)) << error;
  ASSERT_TRUE(writer.Open(to, reader.format(), &error)) << error;
  // Four-level slicer bytes are 0 to 3 asserted lines; a two-level slicer
  // asserts one line or none.
  const std::map<uint8_t, uint8_t> fourLevelTurn = {
      {0x00, 0xB0}, {0x10, 0x30}, {0x30, 0x10}, {0xB0, 0x00}};
  for (PulseSample s; reader.Next(s);) {
    if (fourLevel) {
      ASSERT_EQ(fourLevelTurn.count(s.status), 1u) << int{s.status};
      s.status = fourLevelTurn.at(s.status);
    } else {
      ASSERT_TRUE(s.status == 0x00 || s.status == 0x10 || s.status == 0x80) << int{s.status};
      s.status = s.status == 0 ? 0x80 : 0x00;
    }
    ASSERT_TRUE(writer.Write(s));
  }
  ASSERT_FALSE(reader.failed()) << reader.error();
  ASSERT_TRUE(writer.Close(&error)) << error;
}

/// A sound file negated, as `sox in out vol -1` makes it (float samples, so exactly).
void UpendAudio(const std::string& from, const std::string& to) {
  SF_INFO in{};
  SNDFILE* source = sf_open(from.c_str(), SFM_READ, &in);
  ASSERT_NE(source, nullptr) << from;
  SF_INFO out{};
  out.samplerate = in.samplerate;
  out.channels = in.channels;
  out.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* sink = sf_open(to.c_str(), SFM_WRITE, &out);
  ASSERT_NE(sink, nullptr) << to;
  std::vector<float> block(4096 * static_cast<size_t>(in.channels));
  for (sf_count_t n; (n = sf_readf_float(source, block.data(), 4096)) > 0;) {
    for (sf_count_t i = 0; i < n * in.channels; ++i) block[i] = -block[i];
    ASSERT_EQ(sf_writef_float(sink, block.data(), n), n);
  }
  sf_close(source);
  sf_close(sink);
}

/// The JSON lines with the polarity field taken out; false when a line lacks it.
bool WithoutInverted(const std::string& json, std::string& rest) {
  const std::string field = ",\"inverted\":true";
  std::istringstream in(json);
  bool all = true;
  rest.clear();
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(field);
    if (at == std::string::npos) {
      all = false;
    } else {
      line.erase(at, field.size());
    }
    rest += line + "\n";
  }
  return all;
}

struct Recording {
  const char* golden;  ///< the golden case: its expected files
  const char* path;    ///< from the source tree
  bool audio;          ///< a sound file, else an edge recording
  bool fourLevel;      ///< the golden case's --four-level
  bool invertData;     ///< the golden case's --invert
  friend void PrintTo(const Recording& r, std::ostream* os) { *os << r.golden; }
};

class UpsideDown : public ::testing::TestWithParam<Recording> {
 protected:
  test::TempDir dir;
};

TEST_P(UpsideDown, DecodesExactlyAsTheOriginal) {
  const Recording& r = GetParam();
  const std::string upended = (dir.path() / (r.audio ? "upended.wav" : "upended.edges")).string();
  if (r.audio) {
    UpendAudio(kSource + "/" + r.path, upended);
  } else {
    UpendEdges(kSource + "/" + r.path, upended, r.fourLevel);
  }
  if (HasFatalFailure()) return;
  const std::string text = test::ReadFile(kExpected + r.golden + ".txt");
  const std::string json = test::ReadFile(kExpected + r.golden + ".jsonl");
  ASSERT_FALSE(text.empty());

  // The copy with the golden case's settings, and the original with
  // InvertData the other way: both the other way up from what the setting gives.
  const std::vector<std::pair<std::string, bool>> runs = {{upended, r.invertData},
                                                          {kSource + "/" + r.path, !r.invertData}};
  for (const auto& [file, invert] : runs) {
    SCOPED_TRACE(file + (invert ? " --invert" : " --no-invert"));
    std::vector<std::string> input = {invert ? "--invert" : "--no-invert"};
    if (r.fourLevel) input.push_back("--four-level");
    input.push_back(r.audio ? "--audio" : "--replay");
    input.push_back(file);
    const std::string out = (dir.path() / "out").string();
    EXPECT_EQ(Decode(input, out), text);
    input.insert(input.begin(), "--json");
    std::string records;
    EXPECT_TRUE(WithoutInverted(Decode(input, out), records));
    EXPECT_EQ(records, json);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, UpsideDown,
    ::testing::Values(
        Recording{"mixed-traffic", "samples/mixed-traffic.edges", false, true, false},
        Recording{"offair-pocsag-512", "tests/data/offair/pocsag-512-offair.flac", true, false,
                  false},
        Recording{"offair-pocsag-1200", "tests/data/offair/pocsag-1200-offair.flac", true, false,
                  false},
        Recording{"offair-pocsag-2400", "tests/data/offair/pocsag-2400-offair.flac", true, false,
                  false},
        Recording{"pocsag-512", "tests/data/golden/pocsag-512.edges", false, false, false},
        Recording{"pocsag-1200", "tests/data/golden/pocsag-1200.edges", false, false, false},
        Recording{"pocsag-2400", "tests/data/golden/pocsag-2400.edges", false, false, false},
        Recording{"pocsag-1200-inverted-cts", "tests/data/golden/pocsag-1200-inverted-cts.edges",
                  false, false, true},
        Recording{"flex", "tests/data/golden/flex.edges", false, true, false},
        Recording{"gsc", "tests/data/golden/gsc.edges", false, true, false}),
    [](const ::testing::TestParamInfo<Recording>& r) {
      std::string name = r.param.golden;
      for (char& c : name) c = c == '-' ? '_' : c;
      return name;
    });

TEST(UpsideDownStats, TellHowManyPagesCameTheOtherWayUp) {
  test::TempDir dir;
  const std::string upended = (dir.path() / "upended.edges").string();
  UpendEdges(kSource + "/samples/mixed-traffic.edges", upended, true);
  if (::testing::Test::HasFatalFailure()) return;
  // The pages of each protocol, as the golden records give them.
  std::map<std::string, int> pages;
  int total = 0;
  std::istringstream in(test::ReadFile(kExpected + "mixed-traffic.jsonl"));
  for (std::string line; std::getline(in, line);) {
    for (const char* p : {"POCSAG", "FLEX", "GSC"}) {
      if (line.find(std::string("\"protocol\":\"") + p + "\"") != std::string::npos) {
        ++pages[p];
        ++total;
      }
    }
  }
  ASSERT_GT(pages["POCSAG"] * pages["FLEX"] * pages["GSC"], 0);
  const std::string said = "Polarity: " + std::to_string(total) + " of " + std::to_string(total) +
                           " pages found inverted (POCSAG " + std::to_string(pages["POCSAG"]) +
                           ", FLEX " + std::to_string(pages["FLEX"]) + ", GSC " +
                           std::to_string(pages["GSC"]) + ")\n";
  EXPECT_EQ(Decode({"--four-level", "--stats", "--replay", upended}, (dir.path() / "out").string()),
            test::ReadFile(kExpected + "mixed-traffic-stats.txt") + said);
}

}  // namespace
}  // namespace skelmar
