// Shared by the SDR tests: the traffic one transmitter sends, and the
// monitor's rows for an input the command-line options name.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio_writer.h"
#include "flex/flex_decoder.h"
#include "flex_encoder.h"
#include "iq_writer.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "session/inputs.h"
#include "session/options.h"
#include "session/session.h"
#include "support/rig.h"

namespace skelmar::test {

constexpr double kCenter = 169.6e6;
constexpr double kChannel = 169.65e6;
constexpr double kPpm = 20;

inline std::string TempPath(const std::string& name) {
  return std::string(SKELMAR_BINARY_DIR) + "/iq_test_" + std::to_string(getpid()) + "_" + name;
}

/// The monitor's rows for an input the options name (with a 4-level interface).
inline ConsoleOptions Options(std::vector<std::string> args) {
  args.insert(args.begin(), "skelmar");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  ConsoleOptions options;
  std::string error;
  EXPECT_TRUE(ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), options, error))
      << error;
  return options;
}

inline std::vector<std::string> Decode(const ConsoleOptions& options,
                                       uint64_t* overruns = nullptr) {
  Rig rig;
  rig.settings.fourLevelInterface = 1;
  FlexDecoder flex(rig.flexPages, rig.front, rig.bch);
  flex.NamePhases();
  PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  rig.front.Attach(&pocsag, &flex, nullptr);
  std::unique_ptr<EdgeSource> source = MakeEdgeSource(options, true);
  EXPECT_NE(source, nullptr);
  if (source == nullptr) return {};
  EXPECT_GT(source->Open(&rig.front.readIndex()), 0) << source->lastError();
  if (source->ring() == nullptr) return {};
  bool more = true;
  while (more) {
    more = source->Advance(kTicksPerTimerTick);
    rig.front.PollEdges(*source->ring());
  }
  EXPECT_STREQ(source->lastError(), "");
  if (overruns != nullptr) *overruns = source->overruns();
  source->Close();
  return rig.rows.Texts();
}

inline std::vector<std::string> Decode(const std::vector<std::string>& args,
                                       uint64_t* overruns = nullptr) {
  return Decode(Options(args), overruns);
}

inline std::string Joined(const std::vector<std::string>& rows) {
  std::string all;
  for (const std::string& r : rows) all += r + "\n";
  return all;
}

struct Sent {
  std::string address;  ///< as the row shows it
  std::string text;
};

/// POCSAG at 1200 bit/s, then (after `gapSeconds` of carrier) a FLEX 3200/4
/// frame: the modulating audio of one transmitter at 48 kHz, and the pages
/// it carries. `gapStart` (if given) is set to the time the gap begins.
inline std::vector<float> Traffic(uint32_t capcode, std::vector<Sent>& sent, double gapSeconds = 0,
                                  double* gapStart = nullptr) {
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  siggen::EdgeWriter writer;
  writer.Hold(0, 0.2, mod);
  const std::vector<siggen::PocsagPage> pages = {
      {capcode, 3, siggen::PocsagKind::kAlpha, "POCSAG over the air"},
      {capcode + 8, 0, siggen::PocsagKind::kNumeric, "0123456789"}};
  const std::vector<uint8_t> bits = siggen::EncodePocsag(pages).Bits();
  siggen::AppendPocsag(writer, bits, 1200, mod);
  if (gapStart != nullptr) *gapStart = 0.2 + static_cast<double>(bits.size()) / 1200;
  if (gapSeconds > 0) writer.Hold(0, gapSeconds, mod);
  char address[32];
  std::snprintf(address, sizeof address, "{%07u} 4", capcode);
  sent.push_back({address, pages[0].text});
  std::snprintf(address, sizeof address, "{%07u} 1", capcode + 8);
  sent.push_back({address, pages[1].text});

  siggen::FlexFrame frame = siggen::FlexFrame::Mode(siggen::kFlexCode3200x4);
  frame.frame = 3;
  siggen::FlexPhaseBuilder builders[4];
  const char* texts[4] = {"FLEX phase A at 3200/4", "phase B", "phase C carries this",
                          "and phase D"};
  for (int p = 0; p < 4; ++p) {
    const uint32_t flexCapcode = capcode + 100 + static_cast<uint32_t>(p);
    builders[p].pages.push_back({flexCapcode, false, siggen::kFlexAlphanumeric, texts[p]});
    std::snprintf(address, sizeof address, "[%07u] %c", flexCapcode, 'A' + p);
    sent.push_back({address, texts[p]});
    EXPECT_TRUE(builders[p].Build(frame.words[p]));
  }
  siggen::AppendFlexFrame(writer, frame, mod);
  writer.Hold(0, 0.2, mod);

  // The transmitter's modulation filter: flat delay, -3 dB at 2 kHz.
  siggen::AudioOptions audio;
  audio.sampleRate = 48000;
  audio.fourLevelInterface = true;
  audio.amplitude = 0.5;
  audio.filter = siggen::ReceiverFilter::kBessel4;
  audio.cutoffHz = 2000;
  return siggen::ToFloat(siggen::EdgesToAudio(writer.Finish(), audio));
}

inline void ExpectSent(const std::vector<Sent>& sent, const std::vector<std::string>& rows) {
  for (const Sent& s : sent) {
    bool found = false;
    for (const std::string& r : rows) {
      found = found || (r.find(s.address) != std::string::npos &&
                        r.find(s.text) != std::string::npos && r.find('?') == std::string::npos);
    }
    EXPECT_TRUE(found) << s.address << " " << s.text << "\n" << Joined(rows);
  }
}

/// Messages of a session, kept; no beeps.
class QuietFront : public MessageSink, public Beeper {
 public:
  void ShowMessage(const char* text) override { messages += std::string(text) + "\n"; }
  int AskQuestion(const char*) override { return 1; }
  void Beep() override {}
  std::string messages;
};

/// The JSON records of a whole console session with these options (after
/// "skelmar"), and its monitor rows in `rows` (when given). A live input
/// runs until `done` says so (it sees the records so far) or 40 s passed.
inline std::vector<std::string> SessionRecords(
    const std::vector<std::string>& args, std::vector<std::string>* rows = nullptr,
    const std::function<bool(const std::vector<std::string>&)>& done = nullptr) {
  std::vector<std::string> all = {"--start-time", "2026-01-01T00:00:00Z", "--label", "rx"};
  all.insert(all.end(), args.begin(), args.end());
  const ConsoleOptions options = Options(all);
  QuietFront front;
  const std::string json = TempPath("session.jsonl");
  std::FILE* out = std::fopen(json.c_str(), "w+");
  EXPECT_NE(out, nullptr);
  ConfigChoice config;
  config.file = TempPath("none.ini");
  config.origin = ConfigChoice::Origin::kOverride;
  std::vector<std::string> records;
  auto read = [&] {
    std::fflush(out);
    records.clear();
    std::ifstream in(json);
    for (std::string line; std::getline(in, line);) records.push_back(line);
  };
  {
    Session session(options, config, Front::kConsole, front, front);
    EXPECT_EQ(session.Configure(), kExitOk) << front.messages;
    session.SetOutputs(out, nullptr);
    EXPECT_EQ(session.OpenLink(), 1) << front.messages;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    while (session.linkOpen() && std::chrono::steady_clock::now() < deadline) {
      if (session.IsLive()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!session.Tick()) break;
      if (done) {
        read();
        if (done(records)) break;
      }
    }
    session.Finish();
    if (rows != nullptr) {
      rows->clear();
      const TextPane& pane = session.monitor.monitorPane;
      for (int n = 0; n < pane.lineCount; ++n) rows->push_back(pane.lines[n]);
    }
  }
  read();
  std::fclose(out);
  std::remove(json.c_str());
  return records;
}

}  // namespace skelmar::test
