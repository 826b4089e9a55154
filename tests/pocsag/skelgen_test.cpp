// skelgen: the recordings it writes replay into the monitor as the pages asked for.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frontend/edge_recording.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_test_model.h"

namespace skelmar::test {
namespace {

const std::string kSkelgen = std::string(SKELMAR_BINARY_DIR) + "/tools/siggen/skelgen";

int RunSkelgen(const std::string& arguments) {
  const std::string command = kSkelgen + " " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<PulseSample> ReadRecording(const std::string& path) {
  EdgeRecordingReader reader;
  std::string error;
  EXPECT_TRUE(reader.Open(path, &error)) << error;
  std::vector<PulseSample> samples;
  PulseSample s;
  while (reader.Next(s)) samples.push_back(s);
  EXPECT_FALSE(reader.failed()) << reader.error();
  return samples;
}

class Skelgen : public ::testing::TestWithParam<const char*> {};

TEST_P(Skelgen, RecordingReplaysToThePages) {
  const std::string path = std::string(SKELMAR_BINARY_DIR) + "/skelgen_test_" + GetParam() + ".rec";
  ASSERT_EQ(RunSkelgen(std::string("--format ") + GetParam() +
                       " --rate 2400 --repeat 2 --line cts --ppm 80 --jitter 0.05"
                       " --page 1234567:3:a:'Gate 4: delivery' --page 1234568:0:n:112 " +
                       path),
            0);
  Rig rig;
  PocsagDecoder decoder(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  rig.front.Attach(&decoder, nullptr, nullptr);
  rig.Feed(ReadRecording(path));
  std::remove(path.c_str());

  // Alpha text without a fill character: the rest of the last codeword is zeros.
  siggen::PocsagEncodeOptions options;
  const siggen::PocsagPage alpha{1234567, 3, siggen::PocsagKind::kAlpha, "Gate 4: delivery"};
  const siggen::PocsagPage numeric{1234568, 0, siggen::PocsagKind::kNumeric, "112"};
  std::vector<Row> expected =
      RowsOf({ExpectedLine(alpha, options), ExpectedLine(numeric, options)});
  const std::vector<Row> once = expected;
  expected.insert(expected.end(), once.begin(), once.end());
  const std::vector<Row> rows = PageRows(rig.rows);
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].text, expected[i].text) << i;
    EXPECT_EQ(rows[i].slots, expected[i].slots) << i;
  }
  EXPECT_EQ(rig.stats.hourly[kRowPocsag2400][kStatNumeric], 2);
}

INSTANTIATE_TEST_SUITE_P(Forms, Skelgen, ::testing::Values("binary", "text"));

TEST(SkelgenArguments, BadInputIsRefused) {
  const std::string out = std::string(SKELMAR_BINARY_DIR) + "/skelgen_refused.rec";
  EXPECT_EQ(RunSkelgen("--rate 1000 --page 1:0:a:x " + out), 2);
  EXPECT_EQ(RunSkelgen("--page 1:4:a:x " + out), 2);
  EXPECT_EQ(RunSkelgen("--page 2097152:0:a:x " + out), 2);
  EXPECT_EQ(RunSkelgen("--page 1:0:q:x " + out), 2);
  EXPECT_EQ(RunSkelgen("--page 1:0:a " + out), 2);
  EXPECT_EQ(RunSkelgen(out), 2);
  EXPECT_EQ(RunSkelgen("--page 1:0:a:x"), 2);
  EXPECT_EQ(RunSkelgen("--page 1:0:a:x /nonexistent-dir/x.rec"), 1);
  EXPECT_EQ(std::fopen(out.c_str(), "rb"), nullptr);
}

}  // namespace
}  // namespace skelmar::test
