// Wideband IQ captures through the built-in FM receiver, the audio slicer and
// the decoders: every format, a channel off centre with a tuner error, a DC
// offset, IQ imbalance and a strong neighbour; and the off-air recordings
// modulated back onto a carrier, which must decode as their audio does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "audio_writer.h"
#include "flex/flex_decoder.h"
#include "flex_encoder.h"
#include "iq_writer.h"
#include "platform/audio_input.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "sdr/iq_test_support.h"
#include "session/inputs.h"
#include "session/options.h"
#include "session/receiver_settings.h"
#include "support/rig.h"

namespace skelmar::test {
namespace {

struct FormatCase {
  const char* generator;  ///< siggen's name of the format
  const char* suffix;     ///< file name ending (the receiver tells the format from it)
  double rate;
  const char* iqFormat;  ///< --iq-format, or nullptr
  bool giveRate;         ///< headerless: --rate is needed
  friend void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.generator; }
};

class IqFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(IqFormats, ChannelOffCentreWithTunerErrorAndStrongNeighbourDecodesEveryPage) {
  const FormatCase& c = GetParam();
  std::vector<Sent> sent, neighbourSent;
  siggen::IqCarrier wanted;
  wanted.audio = Traffic(1234560, sent);
  wanted.deviationHz = 4800;
  wanted.offsetHz = kChannel - kCenter;
  // 25 kHz above, 20 dB stronger, with pages of its own.
  siggen::IqCarrier neighbour;
  neighbour.audio = Traffic(777000, neighbourSent);
  neighbour.deviationHz = 4800;
  neighbour.offsetHz = kChannel + 25e3 - kCenter;
  neighbour.powerDb = 20;
  neighbour.startSeconds = 0.15;
  siggen::IqOptions options;
  options.sampleRate = c.rate;
  options.centerHz = kCenter;
  options.ppm = kPpm;
  options.amplitude = 0.05;
  options.cnrDb = 30;
  options.dcI = 0.02;
  options.dcQ = -0.015;
  options.imbalanceDb = 0.5;
  options.imbalanceDegrees = 2;
  siggen::IqFileFormat format;
  ASSERT_TRUE(siggen::IqFileFormatByName(c.generator, format));
  const std::string base = TempPath(std::string("capture") + c.suffix);
  const bool sigmf = std::string(c.generator).rfind("sigmf", 0) == 0;
  const std::string stem = sigmf ? TempPath("capture") : base;
  std::string error;
  ASSERT_TRUE(siggen::WriteIq(stem, format, {wanted, neighbour}, options, &error)) << error;

  std::vector<std::string> args = {
      "--iq", sigmf ? stem + ".sigmf-meta" : base, "--channel", "169.65M", "--ppm", "20"};
  if (!sigmf) args.insert(args.end(), {"--center", "169600k"});
  if (c.giveRate) args.insert(args.end(), {"--rate", std::to_string(c.rate)});
  if (c.iqFormat != nullptr) args.insert(args.end(), {"--iq-format", c.iqFormat});
  uint64_t overruns = 0;
  const std::vector<std::string> rows = Decode(args, &overruns);
  ExpectSent(sent, rows);
  EXPECT_EQ(rows.size(), sent.size()) << Joined(rows);
  EXPECT_EQ(Joined(rows).find("0777"), std::string::npos) << "the neighbour came through";
  EXPECT_EQ(overruns, 0u);
  std::remove(stem.c_str());
  std::remove((stem + ".sigmf-meta").c_str());
  std::remove((stem + ".sigmf-data").c_str());
}

INSTANTIATE_TEST_SUITE_P(Formats, IqFormats,
                         ::testing::Values(FormatCase{"cu8", ".cu8", 1024000, nullptr, true},
                                           FormatCase{"cs8", ".bin", 2400000, "cs8", true},
                                           FormatCase{"cs16", ".cs16", 250000, nullptr, true},
                                           FormatCase{"cf32", ".raw", 960000, "cf32", true},
                                           FormatCase{"wav16", ".wav", 1200000, nullptr, false},
                                           FormatCase{"wavf32", ".wav", 480000, nullptr, false},
                                           FormatCase{"sigmf-cu8", "", 2048000, nullptr, false},
                                           FormatCase{"sigmf-ci16", "", 300000, nullptr, false},
                                           FormatCase{"sigmf-cf32", "", 1024000, nullptr, false}),
                         [](const ::testing::TestParamInfo<FormatCase>& p) {
                           std::string name = p.param.generator;
                           for (char& ch : name) {
                             if (ch == '-') ch = '_';
                           }
                           return name;
                         });

TEST(IqReceiver, ChannelAtTheCentreDespiteTheTunerDcSpike) {
  std::vector<Sent> sent;
  siggen::IqCarrier wanted;
  wanted.audio = Traffic(1500000, sent);
  wanted.deviationHz = 4800;
  siggen::IqOptions options;
  options.sampleRate = 1024000;
  options.amplitude = 0.1;
  options.cnrDb = 30;
  options.dcI = 0.08;  // a spike four-fifths of the carrier, right on it
  options.dcQ = 0.03;
  const std::string path = TempPath("centre.cu8");
  ASSERT_TRUE(siggen::WriteIq(path, siggen::IqFileFormat::kCu8, {wanted}, options));
  const std::vector<std::string> rows = Decode({"--iq", path, "--rate", "1024k"});
  ExpectSent(sent, rows);
  EXPECT_EQ(rows.size(), sent.size()) << Joined(rows);
  std::remove(path.c_str());
}

TEST(IqReceiver, ReceiverSectionOfTheSettingsFileIsTheInputWhenNoneIsGiven) {
  std::vector<Sent> sent;
  siggen::IqCarrier wanted;
  wanted.audio = Traffic(1600000, sent);
  wanted.deviationHz = 4800;
  wanted.offsetHz = -300e3;
  siggen::IqOptions options;
  options.sampleRate = 2048000;
  options.centerHz = 929.9e6;
  options.ppm = -12;
  options.amplitude = 0.1;
  options.cnrDb = 30;
  const std::string path = TempPath("section.raw");
  ASSERT_TRUE(siggen::WriteIq(path, siggen::IqFileFormat::kCs8, {wanted}, options));
  const std::string ini = TempPath("section.ini");
  std::FILE* f = std::fopen(ini.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f,
               "[Receiver]\nIQ=%s\nIqFormat=cs8\nRate=2048k\nCenter=929.9M\nChannel=929.6M\n"
               "PPM=-12\n",
               path.c_str());
  std::fclose(f);
  ReceiverSettings section;
  ReadReceiverSettings(ini, section);
  ConsoleOptions o;
  std::string error;
  ASSERT_TRUE(ApplyReceiverSettings(section, o, error)) << error;
  const std::vector<std::string> rows = Decode(o);
  ExpectSent(sent, rows);
  EXPECT_EQ(rows.size(), sent.size()) << Joined(rows);
  // The command line's own choice wins: here a channel with nothing on it.
  o = Options({"--iq", path, "--channel", "929.625M"});
  ASSERT_TRUE(ApplyReceiverSettings(section, o, error)) << error;
  EXPECT_TRUE(Decode(o).empty());
  std::remove(path.c_str());
  std::remove(ini.c_str());
}

TEST(IqReceiver, RecordsCarryTheChannelOnlyWhereTheCaptureKnowsItsCentre) {
  // A SigMF capture's header holds its centre: with no channel given, the
  // centre is the channel, and the records say so. A headerless capture
  // without a centre takes the channel as an offset: no frequency to tell.
  std::vector<Sent> sent;
  siggen::IqCarrier wanted;
  wanted.audio = Traffic(1700000, sent);
  wanted.deviationHz = 4800;
  siggen::IqOptions options;
  options.sampleRate = 1024000;
  options.centerHz = 169.6e6;
  options.amplitude = 0.1;
  options.cnrDb = 30;
  siggen::IqFileFormat sigmf;
  ASSERT_TRUE(siggen::IqFileFormatByName("sigmf-cu8", sigmf));
  const std::string stem = TempPath("centred");
  ASSERT_TRUE(siggen::WriteIq(stem, sigmf, {wanted}, options));
  std::vector<std::string> records =
      SessionRecords({"--four-level", "--iq", stem + ".sigmf-meta", "--json"});
  EXPECT_EQ(records.size(), sent.size());
  for (const std::string& r : records) {
    EXPECT_NE(r.find("\"frequency\":169600000,"), std::string::npos) << r;
  }
  std::remove((stem + ".sigmf-meta").c_str());
  std::remove((stem + ".sigmf-data").c_str());

  wanted.offsetHz = -250e3;
  const std::string path = TempPath("offset.cu8");
  ASSERT_TRUE(siggen::WriteIq(path, siggen::IqFileFormat::kCu8, {wanted}, options));
  records = SessionRecords(
      {"--four-level", "--iq", path, "--rate", "1024k", "--channel", "-250k", "--json"});
  EXPECT_EQ(records.size(), sent.size());
  for (const std::string& r : records) {
    EXPECT_EQ(r.find("\"frequency\""), std::string::npos) << r;
  }
  std::remove(path.c_str());
}

TEST(IqReceiver, HeaderlessCaptureOfUnknownFormatIsRefusedWithTheFormats) {
  const std::string path = TempPath("capture.dat");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("0123456789", f);
  std::fclose(f);
  ConsoleOptions options;
  std::string error;
  const char* argv[] = {"skelmar", "--iq", path.c_str(), "--rate", "1M"};
  ASSERT_TRUE(ParseConsoleOptions(5, argv, options, error)) << error;
  std::unique_ptr<EdgeSource> source = MakeEdgeSource(options, false);
  EXPECT_LT(source->Open(nullptr), 0);
  EXPECT_NE(std::string(source->lastError()).find("cu8, cs8, cs16, cf32, wav or sigmf"),
            std::string::npos)
      << source->lastError();
  std::remove(path.c_str());
}

// The off-air recordings, frequency-modulated onto a channel of a capture,
// decode exactly as their audio does; all three on channels of one capture
// too.
TEST(IqReceiver, OffAirRecordingsOnACarrierDecodeAsTheirAudio) {
  std::vector<siggen::IqCarrier> network;
  std::vector<std::vector<std::string>> audioRows;
  for (const char* name :
       {"pocsag-512-offair.flac", "pocsag-1200-offair.flac", "pocsag-2400-offair.flac"}) {
    SCOPED_TRACE(name);
    const std::string recording = std::string(SKELMAR_SOURCE_DIR) + "/tests/data/offair/" + name;
    SoundFileInput input(recording.c_str());
    ASSERT_TRUE(input.Open()) << input.lastError();
    siggen::IqCarrier carrier;
    carrier.audioRate = input.sampleRate();
    float block[4096];
    for (long got; (got = input.Read(block, 4096)) > 0;) {
      carrier.audio.insert(carrier.audio.end(), block, block + got);
    }
    input.Close();
    // The loudest audio is the peak deviation.
    float peak = 0;
    for (float v : carrier.audio) peak = std::max(peak, std::fabs(v));
    carrier.audioUnit = peak;
    carrier.deviationHz = 4500;
    carrier.offsetHz = -180e3;
    siggen::IqOptions options;
    options.sampleRate = 1024000;
    options.centerHz = 466.2e6;
    options.ppm = -35;
    options.amplitude = 0.2;
    options.cnrDb = 35;
    options.dcI = 0.01;
    const std::string path = TempPath("offair.cs16");
    ASSERT_TRUE(siggen::WriteIq(path, siggen::IqFileFormat::kCs16, {carrier}, options));

    const std::vector<std::string> audio = Decode({"--audio", recording});
    const std::vector<std::string> iq = Decode({"--iq", path, "--rate", "1.024M", "--center",
                                                "466.2M", "--channel", "466.02M", "--ppm", "-35"});
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(Joined(iq), Joined(audio));
    std::remove(path.c_str());
    network.push_back(carrier);
    audioRows.push_back(audio);
  }

  // A national network's three frequencies, two of them 37.5 kHz apart, one
  // weaker than the others.
  const double hz[] = {466.075e6, 466.2e6, 466.2375e6};
  const char* labels[] = {"North", "South", "Fire"};
  siggen::IqOptions options;
  options.sampleRate = 2400000;
  options.centerHz = 466.15e6;
  options.ppm = 15;
  options.amplitude = 0.05;
  options.cnrDb = 32;
  for (size_t k = 0; k < network.size(); ++k) {
    network[k].offsetHz = hz[k] - options.centerHz;
    network[k].powerDb = k == 1 ? -4 : 0;
  }
  const std::string path = TempPath("network.cu8");
  ASSERT_TRUE(siggen::WriteIq(path, siggen::IqFileFormat::kCu8, network, options));
  std::vector<std::string> args = {"--iq",     path,      "--rate", "2400k",
                                   "--center", "466.15M", "--ppm",  "15"};
  for (size_t k = 0; k < network.size(); ++k) {
    args.push_back("--channel");
    args.push_back(std::to_string(std::llround(hz[k])) + "=" + labels[k]);
  }
  std::vector<std::string> rows;
  SessionRecords(args, &rows);
  for (size_t k = 0; k < network.size(); ++k) {
    const std::string prefix = std::string(labels[k]) + " ";
    std::vector<std::string> own;
    for (const std::string& r : rows) {
      if (r.rfind(prefix, 0) == 0) own.push_back(r.substr(prefix.size()));
    }
    EXPECT_EQ(Joined(own), Joined(audioRows[k])) << labels[k] << "\n" << Joined(rows);
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace skelmar::test
