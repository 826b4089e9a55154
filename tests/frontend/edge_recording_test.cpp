// Edge recordings: round trips in both forms, splitting, tick-rate conversion,
// and rejection of truncated or malformed files with the place of the fault.
#include "frontend/edge_recording.h"

#include <gtest/gtest.h>

#include <random>

#include "front_rig.h"

namespace skelmar {

namespace test {
namespace {

std::vector<PulseSample> ReadAll(const std::string& path, std::string* error) {
  EdgeRecordingReader reader;
  std::vector<PulseSample> out;
  if (!reader.Open(path, error)) return out;
  PulseSample s;
  while (reader.Next(s)) out.push_back(s);
  if (reader.failed() && error != nullptr) *error = reader.error();
  return out;
}

std::vector<PulseSample> RandomSamples(size_t n, uint32_t start) {
  std::mt19937 rng(start);
  std::vector<PulseSample> out(n);
  for (PulseSample& s : out) {
    s.duration = static_cast<uint16_t>(rng());
    s.status = static_cast<uint8_t>(rng());
  }
  return out;
}

std::string BinaryFile(const std::vector<PulseSample>& samples, uint32_t rate = kEdgeTickRate) {
  const std::string path = TestFilePath("made.edges");
  EdgeRecordingWriter writer;
  std::string error;
  EXPECT_TRUE(writer.Open(path, EdgeRecordingFormat::kBinary, &error, rate)) << error;
  for (const PulseSample& s : samples) writer.Write(s);
  EXPECT_TRUE(writer.Close(&error)) << error;
  return ReadFile(path);
}

TEST(EdgeRecording, BinaryRoundTripWithItsDocumentedLayout) {
  const std::string path = TestFilePath("round.edges");
  std::vector<PulseSample> samples = RandomSamples(10000, 5);
  EdgeRecordingWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(path, EdgeRecordingFormat::kBinary, &error)) << error;
  for (const PulseSample& s : samples) ASSERT_TRUE(writer.Write(s));
  ASSERT_TRUE(writer.WriteState(140000, 0xB0));  // 65535 + 65535 + 8930
  ASSERT_TRUE(writer.Close(&error)) << error;
  samples.push_back({65535, 0xB0});
  samples.push_back({65535, 0xB0});
  samples.push_back({8930, 0xB0});

  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 24 + 3 * samples.size());
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89SKLEDG\n"));
  EXPECT_EQ(bytes.substr(8, 4), std::string("\x01\x00\x00\x00", 4));   // version 1, reserved
  EXPECT_EQ(bytes.substr(12, 4), std::string("\xF3\x30\x12\x00", 4));  // 1192179 little-endian
  const uint64_t count = samples.size();                               // 10003 = 0x2713
  EXPECT_EQ(bytes.substr(16, 8), std::string("\x13\x27\0\0\0\0\0\0", 8));
  ASSERT_EQ(count, 0x2713u);
  // First sample: duration little-endian, then status.
  EXPECT_EQ(static_cast<uint8_t>(bytes[24]), samples[0].duration & 0xFF);
  EXPECT_EQ(static_cast<uint8_t>(bytes[25]), samples[0].duration >> 8);
  EXPECT_EQ(static_cast<uint8_t>(bytes[26]), samples[0].status);

  EdgeRecordingReader reader;
  ASSERT_TRUE(reader.Open(path, &error)) << error;
  EXPECT_EQ(reader.format(), EdgeRecordingFormat::kBinary);
  EXPECT_EQ(reader.declaredCount(), count);
  // Read in uneven batches: the reader streams through a fixed buffer.
  std::vector<PulseSample> back;
  PulseSample batch[777];
  size_t n;
  while ((n = reader.ReadBatch(batch, 777)) > 0) back.insert(back.end(), batch, batch + n);
  EXPECT_FALSE(reader.failed()) << reader.error();
  EXPECT_EQ(back, samples);
}

TEST(EdgeRecording, TextRoundTripAndHandWrittenFiles) {
  const std::string path = TestFilePath("round.txt");
  const std::vector<PulseSample> samples = RandomSamples(500, 9);
  EdgeRecordingWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(path, EdgeRecordingFormat::kText, &error)) << error;
  for (const PulseSample& s : samples) writer.Write(s);
  ASSERT_TRUE(writer.Close(&error));
  EXPECT_EQ(ReadAll(path, &error), samples);

  const std::string hand = TestFilePath("hand.txt");
  WriteFile(hand,
            "# a comment\n"
            "\n"
            "  994 0x80\n"
            "993\t0\r\n"
            "100000 0xb0   # a long state, split\n"
            "0 255\n"
            "   # indented comment\n"
            "7 0x4F");  // no newline at the end
  error.clear();
  EXPECT_EQ(ReadAll(hand, &error),
            (std::vector<PulseSample>{
                {994, 0x80}, {993, 0x00}, {65535, 0xB0}, {34465, 0xB0}, {0, 0xFF}, {7, 0x4F}}));
  EXPECT_EQ(error, "");
}

TEST(EdgeRecording, MalformedTextLinesAreRejectedByLineNumber) {
  struct Case {
    const char* line;
    const char* why;
  };
  const Case cases[] = {
      {"abc 0x80", "duration"},  {"100", "status"},
      {"100 ", "status"},        {"100 0x100", "status"},
      {"100 256", "status"},     {"100 0xZZ", "status"},
      {"-5 0x80", "duration"},   {"100 0x80 12", "after"},
      {"100x 0x80", "duration"}, {"1099511627777 0x80", "duration"},  // above 2^40
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string path = TestFilePath("bad.txt");
    WriteFile(path, std::string("# header\n10 0x80\n") + c.line + "\n20 0x00\n");
    std::string error;
    const std::vector<PulseSample> got = ReadAll(path, &error);
    EXPECT_EQ(got, (std::vector<PulseSample>{{10, 0x80}}));  // what came before the fault
    EXPECT_NE(error.find(path + ": line 3: "), std::string::npos) << error;
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
  }
  const std::string path = TestFilePath("long.txt");
  WriteFile(path, "1 0x80\n" + std::string(300, '1') + " 0x80\n");
  std::string error;
  ReadAll(path, &error);
  EXPECT_NE(error.find(": line 2: line too long"), std::string::npos) << error;
}

TEST(EdgeRecording, TruncatedOrMalformedBinaryFilesNameTheByteOffset) {
  const std::vector<PulseSample> five = RandomSamples(5, 2);
  const std::string good = BinaryFile(five);
  ASSERT_EQ(good.size(), 24u + 15u);
  struct Case {
    std::string bytes;
    size_t readable;  // samples delivered before the fault
    const char* what;
  };
  std::string badMagic = good;
  badMagic[3] = 'X';
  std::string badVersion = good;
  badVersion[8] = 2;
  std::string badRate = good;
  badRate.replace(12, 4, std::string("\0\0\0\0", 4));
  std::string reserved = good;
  reserved[11] = 1;
  const Case cases[] = {
      {good.substr(0, 10), 0, "truncated header (24 bytes expected) at byte offset 10"},
      {badMagic, 0, "not an edge recording (bad magic) at byte offset 3"},
      {badVersion, 0, "unsupported version 2 at byte offset 8"},
      {reserved, 0, "reserved header field is not zero at byte offset 10"},
      {badRate, 0, "tick rate 0 out of range at byte offset 12"},
      {good.substr(0, good.size() - 1), 4, "truncated sample (2 of 3 bytes) at byte offset 36"},
      {good.substr(0, good.size() - 3), 4,
       "truncated: the header promises 5 samples, the file ends after 4 at byte offset 36"},
      {good + "abc", 5, "data after the last of 5 samples at byte offset 39"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = TestFilePath("bad.edges");
    WriteFile(path, c.bytes);
    std::string error;
    const std::vector<PulseSample> got = ReadAll(path, &error);
    EXPECT_EQ(got, std::vector<PulseSample>(five.begin(), five.begin() + c.readable));
    EXPECT_EQ(error, path + ": " + c.what);
  }
}

TEST(EdgeRecording, AnUnfinishedBinaryFileReadsToItsEnd) {
  // A writer that never closed leaves the count unknown: every whole sample counts.
  std::string bytes = BinaryFile(RandomSamples(3, 4));
  bytes.replace(16, 8, std::string(8, '\xFF'));
  const std::string path = TestFilePath("open.edges");
  WriteFile(path, bytes);
  std::string error;
  EXPECT_EQ(ReadAll(path, &error), RandomSamples(3, 4));
  EXPECT_EQ(error, "");
}

TEST(EdgeRecording, OtherTickRatesAreConvertedWithoutDrift) {
  // 2000 samples of 1000 us each, kept at 1 MHz: 1192.179 front-end ticks each.
  std::vector<PulseSample> samples(2000, PulseSample{1000, 0x80});
  samples.push_back({60000, 0x00});  // 60 ms: 71590.92 ticks, more than one sample holds
  const std::string path = TestFilePath("usec.edges");
  WriteFile(path, BinaryFile(samples, 1000000));
  std::string error;
  const std::vector<PulseSample> got = ReadAll(path, &error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(got.size(), 2002u);
  uint64_t total = 0;
  for (size_t k = 0; k < 2000; ++k) {
    total += got[k].duration;
    // Rounded to the nearest tick, halves up, from the exact running total.
    ASSERT_EQ(total, ((k + 1) * 1192179 + 500) / 1000) << k;
  }
  EXPECT_EQ(got[2000], (PulseSample{65535, 0x00}));
  EXPECT_EQ(total + got[2000].duration + got[2001].duration, 2384358u + 71531u);
}

TEST(EdgeRecording, TextLinesGiveNoMoreStreamTimeThanTheirBytesCouldInBinary) {
  // A minute of quiet, then a thousand short lines that each claim another minute.
  const uint64_t minute = uint64_t{60} * kEdgeTickRate;
  std::string text = std::to_string(minute) + " 0x00\n";
  for (int i = 0; i < 1000; ++i) text += std::to_string(minute) + (i % 2 ? " 0x00\n" : " 0x10\n");
  const std::string path = TestFilePath("quiet.txt");
  WriteFile(path, text);
  EdgeRecordingReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(path, &error)) << error;
  uint64_t total = 0;
  uint64_t first = 0;
  int states = 0;
  int last = -1;
  PulseSample sample;
  while (reader.Next(sample)) {
    total += sample.duration;
    if (sample.status != last) ++states;
    if (states == 1) first += sample.duration;
    last = sample.status;
  }
  EXPECT_FALSE(reader.failed()) << reader.error();
  EXPECT_EQ(first, minute);  // a short file keeps its minute
  EXPECT_EQ(states, 1001);   // every line still gives its state, in order
  // No more than a binary file of this size could hold: 65535 ticks per 3 bytes.
  EXPECT_LE(total, minute + text.size() * 65535 / 3);
  EXPECT_NE(reader.warning().find("shortened"), std::string::npos) << reader.warning();
}

TEST(EdgeRecording, MissingFileAndEmptyFile) {
  std::string error;
  EdgeRecordingReader reader;
  const std::string missing = TestFilePath("missing.edges");
  EXPECT_FALSE(reader.Open(missing, &error));
  EXPECT_EQ(error.rfind(missing + ": cannot open", 0), 0u) << error;

  const std::string empty = TestFilePath("empty.txt");
  WriteFile(empty, "");
  ASSERT_TRUE(reader.Open(empty, &error));
  PulseSample s;
  EXPECT_FALSE(reader.Next(s));
  EXPECT_FALSE(reader.failed());
}

}  // namespace
}  // namespace test
}  // namespace skelmar
