// Command-line parsing of the console monitor and its ISO 8601 start times.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "session/options.h"

namespace skelmar {
namespace {

struct Parsed {
  bool ok = false;
  ConsoleOptions options;
  std::string error;
};

Parsed Parse(std::initializer_list<const char*> args) {
  std::vector<const char*> argv{"skelmar"};
  argv.insert(argv.end(), args.begin(), args.end());
  Parsed p;
  p.ok = ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), p.options, p.error);
  return p;
}

TEST(ConsoleOptions, NoArgumentsKeepTheDefaults) {
  const Parsed p = Parse({});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options.input, InputKind::kNone);
  EXPECT_EQ(p.options.rate, 22050);
  EXPECT_EQ(p.options.color, ColorMode::kAuto);
  EXPECT_EQ(p.options.fourLevel, -1);
  EXPECT_EQ(p.options.invert, -1);
  EXPECT_FALSE(p.options.json || p.options.stats || p.options.realtime || p.options.quiet);
}

TEST(ConsoleOptions, EveryInputKindWithSeparateAndJoinedValues) {
  const struct {
    const char* option;
    InputKind kind;
  } kInputs[] = {{"--replay", InputKind::kReplay},
                 {"--pcm", InputKind::kPcm},
                 {"--audio", InputKind::kAudioFile},
                 {"--audio-device", InputKind::kAudioDevice},
                 {"--serial", InputKind::kSerial}};
  for (const auto& in : kInputs) {
    Parsed p = Parse({in.option, "some/file"});
    ASSERT_TRUE(p.ok) << in.option << ": " << p.error;
    EXPECT_EQ(p.options.input, in.kind) << in.option;
    EXPECT_EQ(p.options.inputPath, "some/file");
    const std::string joined = std::string(in.option) + "=other";
    p = Parse({joined.c_str()});
    ASSERT_TRUE(p.ok) << joined;
    EXPECT_EQ(p.options.input, in.kind) << joined;
    EXPECT_EQ(p.options.inputPath, "other");
  }
  // Standard input for PCM.
  const Parsed p = Parse({"--pcm", "-"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options.inputPath, "-");
}

TEST(ConsoleOptions, FlagsAndValues) {
  const Parsed p =
      Parse({"--console", "--json", "--stats", "--realtime", "-q", "--four-level", "--invert",
             "--rate", "48000", "--config=/tmp/x.ini", "--record", "/tmp/r.edges", "--start-time",
             "2026-12-08T10:59:30Z", "--color", "always", "--replay", "f"});
  ASSERT_TRUE(p.ok) << p.error;
  const ConsoleOptions& o = p.options;
  EXPECT_TRUE(o.console && o.json && o.stats && o.realtime && o.quiet);
  EXPECT_EQ(o.fourLevel, 1);
  EXPECT_EQ(o.invert, 1);
  EXPECT_EQ(o.rate, 48000);
  EXPECT_EQ(o.configPath, "/tmp/x.ini");
  EXPECT_EQ(o.recordPath, "/tmp/r.edges");
  EXPECT_EQ(o.startTime, "2026-12-08T10:59:30Z");
  EXPECT_EQ(o.color, ColorMode::kAlways);

  const Parsed q = Parse({"--two-level", "--no-invert", "--quiet", "--color=never"});
  ASSERT_TRUE(q.ok) << q.error;
  EXPECT_EQ(q.options.fourLevel, 0);
  EXPECT_EQ(q.options.invert, 0);
  EXPECT_TRUE(q.options.quiet);
  EXPECT_EQ(q.options.color, ColorMode::kNever);

  EXPECT_TRUE(Parse({"-h"}).options.help);
  EXPECT_TRUE(Parse({"--help"}).options.help);
  EXPECT_TRUE(Parse({"--version"}).options.version);
}

TEST(ConsoleOptions, LaterOverrideWinsAndBothColourSpellingsWork) {
  EXPECT_EQ(Parse({"--four-level", "--two-level"}).options.fourLevel, 0);
  EXPECT_EQ(Parse({"--colour=never"}).options.color, ColorMode::kNever);
  EXPECT_EQ(Parse({"--colour", "always"}).options.color, ColorMode::kAlways);
  // "--colour=never" must not swallow the next argument as its value.
  const Parsed p = Parse({"--colour=never", "--replay", "f"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.input, InputKind::kReplay);
  EXPECT_EQ(p.options.color, ColorMode::kNever);
}

TEST(ConsoleOptions, BadUseGivesOneLineNamingTheProblem) {
  const struct {
    std::vector<const char*> args;
    const char* mentions;
  } kCases[] = {
      {{"--bogus"}, "--bogus"},
      {{"--rate", "7999"}, "7999"},
      {{"--rate", "192001"}, "192001"},
      {{"--rate", "22k"}, "22k"},
      {{"--rate="}, "--rate"},
      {{"--color", "blue"}, "blue"},
      {{"--start-time", "yesterday"}, "yesterday"},
      {{"--replay"}, "--replay"},
      {{"--replay="}, "file"},
      {{"--config"}, "--config"},
      {{"--replay", "a", "--audio", "b"}, "only one input"},
      {{"--serial", "/dev/ttyS0", "--pcm", "-"}, "only one input"},
  };
  for (const auto& c : kCases) {
    std::vector<const char*> argv{"skelmar"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ConsoleOptions o;
    std::string error;
    EXPECT_FALSE(ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), o, error))
        << c.args[0];
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(ParseIsoTime, UtcOffsetsAndCalendar) {
  long long t = 0;
  ASSERT_TRUE(ParseIsoTime("1970-01-01T00:00:00Z", t));
  EXPECT_EQ(t, 0);
  // 2026-12-08 is day 20795 since 1970-01-01.
  ASSERT_TRUE(ParseIsoTime("2026-12-08T10:59:30Z", t));
  EXPECT_EQ(t, 20795LL * 86400 + 10 * 3600 + 59 * 60 + 30);
  long long local = 0;
  ASSERT_TRUE(ParseIsoTime("2026-12-08T10:59:30", local));
  EXPECT_EQ(local, t);  // without a zone: UTC, whatever TZ says
  ASSERT_TRUE(ParseIsoTime("2026-12-08T12:59:30+02:00", local));
  EXPECT_EQ(local, t);
  ASSERT_TRUE(ParseIsoTime("2026-12-08T05:29:30-05:30", local));
  EXPECT_EQ(local, t);
  // Leap days: 2024 has one, 2100 does not, 2000 does.
  ASSERT_TRUE(ParseIsoTime("2024-02-29T00:00:00Z", t));
  EXPECT_EQ(t, 19782LL * 86400);
  ASSERT_TRUE(ParseIsoTime("2000-02-29T00:00:00Z", t));
  EXPECT_EQ(t, 11016LL * 86400);
  EXPECT_FALSE(ParseIsoTime("2100-02-29T00:00:00Z", t));
}

TEST(ParseIsoTime, RejectsAnythingMalformed) {
  const char* const kBad[] = {
      "",
      "2026-12-08",
      "2026-12-08 10:59:30Z",
      "2026-12-8T10:59:30Z",
      "2026-13-01T00:00:00Z",
      "2026-00-01T00:00:00Z",
      "2026-04-31T00:00:00Z",
      "2026-12-08T24:00:00Z",
      "2026-12-08T10:60:00Z",
      "2026-12-08T10:59:60Z",
      "1969-12-31T23:59:59Z",
      "2026-12-08T10:59:30ZZ",
      "2026-12-08T10:59:30+2:00",
      "2026-12-08T10:59:30+02:60",
      "2026-12-08T10:59:30+0200",
      " 2026-12-08T10:59:30Z",
      "+2026-12-08T10:59:30Z",
      "2026-12-08T10:59:30.5Z",
  };
  for (const char* text : kBad) {
    long long t = 12345;
    EXPECT_FALSE(ParseIsoTime(text, t)) << text;
  }
}

}  // namespace
}  // namespace skelmar
