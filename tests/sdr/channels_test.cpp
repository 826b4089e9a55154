// Several channels of one capture: eight transmitters of every protocol and
// rate in one 2.4 MS/s capture decode, all at once, as each channel decodes
// alone, each page on the channel it was sent on.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gsc_encoder.h"
#include "platform/iq_channels.h"
#include "platform/iq_input.h"
#include "sdr/iq_test_support.h"

namespace skelmar::test {
namespace {

struct Transmitter {
  double hz;
  double powerDb;  ///< against the first: the carrier-to-noise ratios differ
  std::vector<float> audio;
  std::vector<std::string> capcodes;  ///< as the records write them
};

std::vector<float> ToAudio(siggen::EdgeWriter& writer) {
  writer.Hold(0, 0.3, siggen::ModulatorOptions{});
  siggen::AudioOptions audio;
  audio.sampleRate = 48000;
  audio.fourLevelInterface = true;
  audio.amplitude = 0.5;
  audio.filter = siggen::ReceiverFilter::kBessel4;
  audio.cutoffHz = 2500;
  return siggen::ToFloat(siggen::EdgesToAudio(writer.Finish(), audio));
}

std::string Digits(uint32_t capcode, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", width, capcode);
  return text;
}

Transmitter Pocsag(double hz, double powerDb, int rate, uint32_t capcode, double lead) {
  Transmitter t{hz, powerDb, {}, {Digits(capcode, 7), Digits(capcode + 8, 7)}};
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  siggen::EdgeWriter writer;
  writer.Hold(0, lead, mod);
  const std::vector<siggen::PocsagPage> pages = {
      {capcode, 3, siggen::PocsagKind::kAlpha, "POCSAG " + std::to_string(rate) + " page"},
      {capcode + 8, 0, siggen::PocsagKind::kNumeric, "0123456789"}};
  siggen::AppendPocsag(writer, siggen::EncodePocsag(pages).Bits(), rate, mod);
  t.audio = ToAudio(writer);
  return t;
}

Transmitter Flex(double hz, double powerDb, uint16_t mode, uint32_t capcode, double lead) {
  Transmitter t{hz, powerDb, {}, {Digits(capcode, 7)}};
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  siggen::EdgeWriter writer;
  writer.Hold(0, lead, mod);
  siggen::FlexFrame frame = siggen::FlexFrame::Mode(mode);
  frame.frame = 5;
  siggen::FlexPhaseBuilder builders[4];
  builders[0].pages.push_back(
      {capcode, false, siggen::kFlexAlphanumeric, "FLEX mode " + std::to_string(mode)});
  for (int p = 0; p < 4; ++p) EXPECT_TRUE(builders[p].Build(frame.words[p]));
  siggen::AppendFlexFrame(writer, frame, mod);
  t.audio = ToAudio(writer);
  return t;
}

Transmitter Gsc(double hz, double powerDb, int32_t capcode) {
  Transmitter t{hz, powerDb, {}, {Digits(static_cast<uint32_t>(capcode), 6)}};
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  siggen::EdgeWriter writer;
  writer.Hold(0, 0.2, mod);
  siggen::GscPage page;
  page.capcode = capcode;
  page.kind = siggen::GscPageKind::kAlpha;
  page.text = "GOLAY PAGE ON ITS OWN CHANNEL";
  siggen::AppendGscBits(writer, siggen::EncodeGscTransmission({page}, {}), mod);
  t.audio = ToAudio(writer);
  return t;
}

/// The records of `records` with `"frequency":hz`.
std::vector<std::string> On(const std::vector<std::string>& records, double hz) {
  const std::string tag = "\"frequency\":" + std::to_string(std::llround(hz)) + ",";
  std::vector<std::string> out;
  for (const std::string& r : records) {
    if (r.find(tag) != std::string::npos) out.push_back(r);
  }
  return out;
}

TEST(Channels, EightChannelsOfOneCaptureDecodeEachAsItAloneDoes) {
  constexpr double kBand = 930e6;
  // POCSAG 512/1200/2400, FLEX 1600/2, 1600/4, 3200/4, 3200/2 and GSC; two
  // pairs 25 kHz apart, a strong one beside a weak one; staggered starts.
  std::vector<Transmitter> tx;
  tx.push_back(Pocsag(929.3875e6, 0, 512, 204800, 0.2));
  tx.push_back(Pocsag(929.4125e6, 8, 1200, 300016, 0.5));
  tx.push_back(Pocsag(929.8e6, -4, 2400, 455560, 0.3));
  tx.push_back(Flex(930.0625e6, 3, siggen::kFlexCode1600x2, 1000001, 0.4));
  tx.push_back(Flex(930.3e6, 0, siggen::kFlexCode1600x4, 1000002, 0.25));
  tx.push_back(Flex(930.5375e6, -3, siggen::kFlexCode3200x4, 1000003, 0.35));
  tx.push_back(Flex(930.5625e6, 5, siggen::kFlexCode3200x2, 1000004, 0.45));
  tx.push_back(Gsc(930.9e6, 2, 123456));
  std::vector<siggen::IqCarrier> carriers;
  for (const Transmitter& t : tx) {
    siggen::IqCarrier c;
    c.audio = t.audio;
    c.deviationHz = 4800;
    c.offsetHz = t.hz - kBand;
    c.powerDb = t.powerDb;
    carriers.push_back(c);
  }
  siggen::IqOptions options;
  options.sampleRate = 2400000;
  options.centerHz = kBand;
  options.ppm = 15;
  options.amplitude = 0.03;
  options.cnrDb = 24;
  options.dcI = 0.01;
  const std::string path = TempPath("eight.cu8");
  ASSERT_TRUE(siggen::WriteIq(path, siggen::IqFileFormat::kCu8, carriers, options));

  const std::vector<std::string> common = {"--four-level", "--iq", path,       "--rate", "2400k",
                                           "--ppm",        "15",   "--center", "930M",   "--json"};
  std::vector<std::string> args = common;
  for (size_t k = 0; k < tx.size(); ++k) {
    args.push_back("--channel");
    args.push_back(std::to_string(std::llround(tx[k].hz)) + (k == 0 ? "=Low" : ""));
  }
  std::vector<std::string> rows;
  const std::vector<std::string> all = SessionRecords(args, &rows);

  size_t total = 0;
  for (size_t k = 0; k < tx.size(); ++k) {
    std::vector<std::string> alone = common;
    alone.push_back("--channel");
    alone.push_back(std::to_string(std::llround(tx[k].hz)) + (k == 0 ? "=Low" : ""));
    const std::vector<std::string> expected = SessionRecords(alone);
    const std::vector<std::string> got = On(all, tx[k].hz);
    EXPECT_EQ(got, expected) << "channel " << k;
    // What was sent on it, and nothing sent on another.
    std::string text;
    for (const std::string& r : got) text += r + "\n";
    for (size_t j = 0; j < tx.size(); ++j) {
      for (const std::string& capcode : tx[j].capcodes) {
        const bool found = text.find("\"capcode\":\"" + capcode + "\"") != std::string::npos;
        EXPECT_EQ(found, j == k) << "capcode " << capcode << " on channel " << k << "\n" << text;
      }
    }
    total += got.size();
  }
  EXPECT_EQ(all.size(), total);
  // The label goes into the records of its channel alone.
  for (const std::string& r : all) {
    EXPECT_EQ(r.find("\"channel\":\"Low\"") != std::string::npos,
              r.find("\"frequency\":929387500,") != std::string::npos)
        << r;
  }

  // The lines name their channel: the label, else the frequency in MHz.
  std::string lines;
  for (const std::string& r : rows) lines += r + "\n";
  EXPECT_NE(lines.find("Low {0204800} 4 POCSAG 512 page"), std::string::npos) << lines;
  EXPECT_NE(lines.find("930.5625 [1000004]"), std::string::npos) << lines;
  std::remove(path.c_str());
}

/// POCSAG 1200 alpha pages, one per text, after `lead` seconds of carrier.
std::vector<float> PocsagPages(uint32_t capcode, const std::vector<std::string>& texts,
                               double lead) {
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  siggen::EdgeWriter writer;
  writer.Hold(0, lead, mod);
  std::vector<siggen::PocsagPage> pages;
  for (size_t k = 0; k < texts.size(); ++k) {
    pages.push_back(
        {capcode + 8 * static_cast<uint32_t>(k), 3, siggen::PocsagKind::kAlpha, texts[k]});
  }
  siggen::AppendPocsag(writer, siggen::EncodePocsag(pages).Bits(), 1200, mod);
  return ToAudio(writer);
}

TEST(Channels, LinesFollowTheTimeOnAirAcrossChannelsAndRawLinesNameTheirChannel) {
  constexpr double kBand = 930e6;
  // B sends the same batch as A, 20 ms earlier: each page of B ends on air
  // just before its twin on A, so the pages alternate B, A, B, A although A
  // is the first channel given. C sends a ReFLEX frame, shown raw.
  const std::vector<std::string> texts = {"first", "the second page", "third",
                                          "and the fourth one is longer"};
  siggen::FlexFrame reflex = siggen::FlexFrame::Mode(siggen::kFlexCodeReflex);
  for (int k = 0; k < siggen::kFlexWordsPerPhase; ++k) {
    for (int p = 0; p < 4; ++p) {
      const uint32_t c = static_cast<uint32_t>('A' + (k + p) % 26);
      reflex.words[p][k] = c | c << 7 | c << 14;
    }
  }
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  siggen::EdgeWriter flexWriter;
  flexWriter.Hold(0, 0.3, mod);
  siggen::AppendFlexFrame(flexWriter, reflex, mod);
  const std::vector<std::vector<float>> audio = {
      PocsagPages(300000, texts, 0.22), PocsagPages(500000, texts, 0.20), ToAudio(flexWriter)};
  const double hz[] = {929.8e6, 930.1e6, 930.3e6};
  std::vector<siggen::IqCarrier> carriers;
  for (size_t k = 0; k < audio.size(); ++k) {
    siggen::IqCarrier c;
    c.audio = audio[k];
    c.deviationHz = 4800;
    c.offsetHz = hz[k] - kBand;
    carriers.push_back(c);
  }
  siggen::IqOptions options;
  options.sampleRate = 1024000;
  options.centerHz = kBand;
  options.amplitude = 0.03;
  options.cnrDb = 30;
  const std::string path = TempPath("order.cu8");
  ASSERT_TRUE(siggen::WriteIq(path, siggen::IqFileFormat::kCu8, carriers, options));

  std::vector<std::string> rows;
  SessionRecords({"--four-level", "--iq", path, "--rate", "1024k", "--center", "930M", "--channel",
                  "929.8M=A", "--channel", "930.1M=B", "--channel", "930.3M=C"},
                 &rows);
  std::vector<std::string> expected;
  for (size_t k = 0; k < texts.size(); ++k) {
    for (const char* channel : {"B", "A"}) {
      const uint32_t capcode =
          (channel[0] == 'A' ? 300000u : 500000u) + 8 * static_cast<uint32_t>(k);
      expected.push_back(std::string(channel) + " {" + Digits(capcode, 7) + "} 4 " + texts[k]);
    }
  }
  std::vector<std::string> pocsag, raw;
  size_t previous = 0;
  for (const std::string& r : rows) {
    // A full row wraps on into the next; the minute rules name no channel.
    const bool wrapped = previous == static_cast<size_t>(kPaneColumns);
    previous = r.size();
    if (r.empty() || wrapped || r.rfind("---------------", 0) == 0) continue;
    // Every line names its channel, the raw ones too.
    EXPECT_TRUE(r.rfind("A ", 0) == 0 || r.rfind("B ", 0) == 0 || r.rfind("C ", 0) == 0)
        << r << "\n"
        << Joined(rows);
    if (r.find('{') != std::string::npos) pocsag.push_back(r);
    if (r.rfind("C [", 0) == 0) raw.push_back(r);
  }
  EXPECT_EQ(pocsag, expected) << Joined(rows);
  char first[16];
  std::snprintf(first, sizeof first, "C [%06X]", reflex.words[0][0]);
  ASSERT_EQ(raw.size(), 1u) << Joined(rows);
  EXPECT_EQ(raw[0].rfind(first, 0), 0u) << raw[0];
  std::remove(path.c_str());
}

TEST(Channels, ChannelsOutsideTheCaptureOrTooCloseAreRefused) {
  ConsoleOptions o;
  std::string error;
  const char* close[] = {"skelmar", "--iq",      "x.cu8",      "--channel",
                         "929.6M",  "--channel", "929.6125M=B"};
  EXPECT_FALSE(ParseConsoleOptions(7, close, o, error));
  EXPECT_EQ(error,
            "the channels 929.6000 MHz and 929.6125 MHz are 12.5 kHz apart; channels must be at "
            "least 25 kHz apart");

  const std::string path = TempPath("short.cu8");
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<uint8_t> zero(48000, 128);
    std::fwrite(zero.data(), 1, zero.size(), f);
    std::fclose(f);
  }
  const ConsoleOptions wide = Options({"--iq", path, "--rate", "1024k", "--center", "930M",
                                       "--channel", "930.1M", "--channel", "930.6M"});
  auto sources = MakeChannelSources(wide, false);
  ASSERT_EQ(sources.size(), 2u);
  std::atomic<uint32_t> read{0};
  EXPECT_LE(sources[0]->Open(&read), 0);
  EXPECT_STREQ(sources[0]->lastError(),
               "the channel 930.600000 MHz lies outside the capture (930.000000 MHz +- 0.499 MHz)");
  std::remove(path.c_str());
}

TEST(Channels, AChannelWhoseReaderLagsLosesNothingOfAStreamReadFasterThanIt) {
  // A file (as a server's backlog or a starved thread would) can be read far
  // faster than one channel's source takes its audio: that source gets every
  // sample all the same, as many as the eager one, none dropped.
  const std::string path = TempPath("lag.cu8");
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<uint8_t> noise(2 * 1024000 * 6);
    uint32_t x = 1;
    for (uint8_t& b : noise) b = static_cast<uint8_t>(128 + ((x = x * 1103515245u + 12345u) >> 28));
    std::fwrite(noise.data(), 1, noise.size(), f);
    std::fclose(f);
  }
  auto splitter =
      std::make_shared<IqChannelSplitter>(std::make_unique<IqFileStream>(path, "cu8", 1024000),
                                          std::vector<double>{930.1e6, 930.3e6}, 930.2e6, 0.0);
  std::unique_ptr<AudioInput> eager = MakeIqChannelInput(splitter, 0);
  std::unique_ptr<AudioInput> slow = MakeIqChannelInput(splitter, 1);
  ASSERT_TRUE(eager->Open()) << eager->lastError();
  ASSERT_TRUE(slow->Open()) << slow->lastError();
  auto drain = [](AudioInput& input, std::chrono::microseconds pause) {
    std::vector<float> block(1024);
    size_t total = 0;
    for (long got; (got = input.Read(block.data(), block.size())) > 0;) {
      total += static_cast<size_t>(got);
      std::this_thread::sleep_for(pause);
    }
    return total;
  };
  size_t eagerTotal = 0;
  std::thread first([&] { eagerTotal = drain(*eager, std::chrono::microseconds(0)); });
  const size_t slowTotal = drain(*slow, std::chrono::microseconds(4000));
  first.join();
  // Six seconds of audio, several times what a channel holds.
  EXPECT_GT(slowTotal, static_cast<size_t>(5 * slow->sampleRate()));
  EXPECT_EQ(slowTotal, eagerTotal);
  EXPECT_EQ(slow->deviceOverruns(), 0u);
  eager->Close();
  slow->Close();
  std::remove(path.c_str());
}

}  // namespace
}  // namespace skelmar::test
