// The whole monitor on one edge stream carrying all three protocols: the data
// clock hands over between POCSAG and FLEX, GSC holds the others off, and
// every page reaches the pane, the filters, the log and the counters.
#include "session/monitor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "flex_encoder.h"
#include "gsc_encoder.h"
#include "pocsag_encoder.h"
#include "support/fakes.h"
#include "support/rig.h"

namespace skelmar {
namespace {

class MonitorStreamTest : public ::testing::Test {
 protected:
  MonitorStreamTest() : monitor(settings, MonitorServices{clock, messages, launcher, beeper}) {
    clock.Set(2026, 12, 8, 9, 15, 0);
    monitor.monitorPane.SetRowObserver(&rows);
  }

  void Hold(double seconds) { writer.Hold(0, seconds, options); }

  void Pocsag(double rate, const std::vector<siggen::PocsagPage>& pages) {
    siggen::AppendPocsag(writer, siggen::EncodePocsag(pages).Bits(), rate, options);
  }

  void Flex(uint16_t code, const std::vector<siggen::FlexPage>& pages) {
    siggen::FlexFrame frame = siggen::FlexFrame::Mode(code);
    siggen::FlexPhaseBuilder phase;
    phase.pages = pages;
    ASSERT_TRUE(phase.Build(frame.words[0]));
    siggen::AppendFlexFrame(writer, frame, options);
  }

  /// One page after a direct preamble, or a batch (a complemented preamble,
  /// sixteen slots of which the pages may leave some unused).
  void Gsc(const std::vector<siggen::GscPage>& pages, bool batch = false) {
    siggen::GscTransmitOptions transmit;
    transmit.batch = batch;
    siggen::AppendGscBits(writer, siggen::EncodeGscTransmission(pages, transmit), options);
  }

  /// Feeds the stream through a ring, one timer tick per chunk, like the program.
  void Run() {
    const std::vector<PulseSample> samples = writer.Finish();
    EdgeRing ring(4096);
    uint32_t w = 0;
    size_t i = 0;
    while (i < samples.size()) {
      for (int n = 0; n < 300 && i < samples.size(); ++n, ++i) {
        ring.durations()[w] = samples[i].duration;
        ring.statuses()[w] = samples[i].status;
        w = (w + 1) % ring.size();
        ring.writeIndex().store(w, std::memory_order_release);
      }
      monitor.TimerTick(&ring);
    }
  }

  std::vector<std::string> Texts() const { return rows.Texts(); }

  Settings settings;
  test::FakeClock clock;
  test::RecordingMessages messages;
  test::RecordingLauncher launcher;
  test::CountingBeeper beeper;
  Monitor monitor;
  test::RowCollector rows;
  siggen::ModulatorOptions options;
  siggen::EdgeWriter writer{11};
};

siggen::FlexPage FlexAlpha(uint32_t capcode, const std::string& text) {
  siggen::FlexPage p;
  p.capcode = capcode;
  p.type = siggen::kFlexAlphanumeric;
  p.content = text;
  return p;
}

TEST_F(MonitorStreamTest, AllThreeProtocolsOnOneStream) {
  monitor.Start();
  Hold(0.5);
  Pocsag(1200, {{1234560, 3, siggen::PocsagKind::kAlpha, "Smoke alarm at the depot"}});
  Hold(1.0);
  Flex(siggen::kFlexCode1600x2, {FlexAlpha(123456, "HELLO")});
  Hold(1.0);
  Gsc({{657141, 1, siggen::GscPageKind::kNumeric, "5551234"}});
  Hold(1.0);
  Pocsag(512, {{8, 0, siggen::PocsagKind::kNumeric, "911"}});
  Hold(1.0);
  Flex(siggen::kFlexCode1600x2, {FlexAlpha(2000, "after POCSAG")});
  Hold(1.0);
  Run();

  const std::vector<std::string> texts = Texts();
  ASSERT_EQ(texts.size(), 5u) << ::testing::PrintToString(texts);
  EXPECT_EQ(texts[0], "{1234560} 4 Smoke alarm at the depot");
  EXPECT_EQ(texts[1], "[0123456] A  ALPHA  HELLO");
  EXPECT_EQ(texts[2].rfind("(657141) 1 5551234", 0), 0u) << texts[2];
  // Numeric POCSAG messages are padded with spaces to whole codewords.
  EXPECT_EQ(texts[3], "{0000008} 1 911  ");
  // The data clock came back to the FLEX rate after the POCSAG hold.
  EXPECT_EQ(texts[4], "[0002000] A  ALPHA  after POCSAG");

  EXPECT_EQ(monitor.stats.hourly[kRowPocsag1200][kStatAlpha], 1);
  EXPECT_EQ(monitor.stats.hourly[kRowPocsag512][kStatNumeric], 1);
  EXPECT_EQ(monitor.stats.hourly[kRowFlex1600][kStatAlpha], 2);
  EXPECT_EQ(monitor.stats.hourly[kRowGsc][kStatNumeric], 1);
  EXPECT_EQ(monitor.stats.daily[kRowGsc][kStatNumeric], 1);
  EXPECT_EQ(monitor.front.shared.pocsagHold, 0);
  EXPECT_EQ(monitor.front.shared.gscBusy, 0);
  EXPECT_EQ(monitor.front.shared.flexBusy, 0);
}

TEST_F(MonitorStreamTest, FlexRightAfterPocsagOrAShortGscBatchIsHeard) {
  // A FLEX frame may start the moment another protocol stops: neither the
  // POCSAG hold after the last codeword nor the unused slots of a GSC batch
  // may swallow its sync.
  monitor.Start();
  Hold(0.5);
  Pocsag(1200, {{1234560, 3, siggen::PocsagKind::kAlpha, "Smoke alarm at the depot"}});
  Flex(siggen::kFlexCode1600x2, {FlexAlpha(2000, "after POCSAG")});
  Hold(0.5);
  Gsc({{657141, 1, siggen::GscPageKind::kNumeric, "5551234"}}, true);
  Flex(siggen::kFlexCode1600x2, {FlexAlpha(3000, "after GSC")});
  // The batch the frame cut short is over: GSC hunts again.
  Hold(0.3);
  Gsc({{300000, 2, siggen::GscPageKind::kNumeric, "42"}});
  Hold(1.0);
  Run();

  const std::vector<std::string> texts = Texts();
  ASSERT_EQ(texts.size(), 5u) << ::testing::PrintToString(texts);
  EXPECT_EQ(texts[0], "{1234560} 4 Smoke alarm at the depot");
  EXPECT_EQ(texts[1], "[0002000] A  ALPHA  after POCSAG");
  EXPECT_EQ(texts[2].rfind("(657141) 1 5551234", 0), 0u) << texts[2];
  EXPECT_EQ(texts[3], "[0003000] A  ALPHA  after GSC");
  EXPECT_EQ(texts[4].rfind("(300000) 2 42", 0), 0u) << texts[4];
}

TEST_F(MonitorStreamTest, PocsagRightAfterAShortGscBatchIsHeard) {
  monitor.Start();
  Hold(0.5);
  Gsc({{657141, 1, siggen::GscPageKind::kNumeric, "5551234"}}, true);
  Pocsag(512, {{8, 0, siggen::PocsagKind::kNumeric, "911"}});
  Hold(1.0);
  Run();

  const std::vector<std::string> texts = Texts();
  ASSERT_EQ(texts.size(), 2u) << ::testing::PrintToString(texts);
  EXPECT_EQ(texts[0].rfind("(657141) 1 5551234", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], "{0000008} 1 911  ");
}

TEST_F(MonitorStreamTest, FilterMatchesGoToTheLogWithTheirLabel) {
  const std::filesystem::path log = std::filesystem::temp_directory_path() /
                                    ("skelmar_monitor_log_" + std::to_string(::getpid()));
  std::filesystem::remove(log);
  settings.filterFileEnabled = 1;
  settings.filterFileFlush = 1;
  settings.filterFlushTime = 1;
  std::snprintf(settings.filterFile, sizeof settings.filterFile, "%s", log.c_str());
  FilterEntry flex;
  flex.type = kFilterFlexShort;
  std::snprintf(flex.capcode, sizeof flex.capcode, "01234??");
  std::snprintf(flex.label, sizeof flex.label, "Ops");
  monitor.filters.entries[monitor.filters.count++] = flex;
  FilterEntry text;
  text.type = kFilterText;
  std::snprintf(text.text, sizeof text.text, "depot");
  std::snprintf(text.label, sizeof text.label, "Fire");
  monitor.filters.entries[monitor.filters.count++] = text;

  monitor.Start();
  Hold(0.5);
  Pocsag(2400, {{77, 0, siggen::PocsagKind::kAlpha, "Smoke at the DEPOT"},
                {78, 0, siggen::PocsagKind::kAlpha, "nothing to see"}});
  Hold(1.0);
  Flex(siggen::kFlexCode1600x2, {FlexAlpha(123456, "HELLO")});
  Hold(1.0);
  Run();
  monitor.Stop();

  std::ifstream in(log);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(),
            "--------------- 12/08/26 09:15:00 ---------------\n"
            // The label follows the capcode text, before the decoder's blank.
            "{0000077} 1Fire  Smoke at the DEPOT\n"
            "[0123456]Ops  A  ALPHA  HELLO\n");
  std::filesystem::remove(log);
}

}  // namespace
}  // namespace skelmar
