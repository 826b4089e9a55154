// From the serial port's lines to decoded pages: a POCSAG transmission played
// as timed modem-line changes through the serial slicer, its ring drained by the
// front end into the decoder.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/serial_fakes.h"
#include "platform/serial_slicer.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "support/rig.h"

namespace skelmar {
namespace {

int BitsForStatus(uint8_t status) {
  int bits = 0;
  if (status & 0x10) bits |= TIOCM_CTS;
  if (status & 0x20) bits |= TIOCM_DSR;
  if (status & 0x40) bits |= TIOCM_RNG;
  if (status & 0x80) bits |= TIOCM_CD;
  return bits;
}

// The edges as the port would show them: each sample's state ends with a line
// change at its end time, taken from the running total of ticks so rounding to
// whole nanoseconds never accumulates.
std::vector<test::LineScript::Change> Changes(const std::vector<PulseSample>& samples,
                                              uint64_t start) {
  std::vector<test::LineScript::Change> out;
  uint64_t ticks = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    ticks += samples[i].duration;
    const uint8_t next = i + 1 < samples.size() ? samples[i + 1].status
                                                : static_cast<uint8_t>(samples[i].status ^ 0x80);
    out.push_back({start + (ticks * 1000000000 + 596089) / 1192179, BitsForStatus(next)});
  }
  return out;
}

TEST(SerialEndToEnd, PocsagPagesFromModemLinesToDecodedPages) {
  test::Rig rig;
  PocsagDecoder decoder{rig.settings, rig.pocsagPages, rig.front, rig.bch};
  rig.front.Attach(&decoder, nullptr, nullptr);

  siggen::PocsagEncodeOptions encode;
  encode.alphaFill = ' ';
  const std::vector<siggen::PocsagPage> pages = {
      {1234, 0, siggen::PocsagKind::kNumeric, "0123456789"},
      {6220, 3, siggen::PocsagKind::kAlpha, "Meet at the north gate, 10:30"},
  };
  siggen::EdgeWriter writer;
  siggen::ModulatorOptions mod;
  mod.line = siggen::kLineCts;
  writer.Hold(3, 0.05, mod);
  siggen::AppendPocsag(writer, siggen::EncodePocsag(pages, encode).Bits(), 1200, mod);
  writer.Hold(0, 0.6, mod);
  const std::vector<PulseSample> samples = writer.Finish();
  ASSERT_GT(samples.size(), 1000u);

  test::ScriptedSlicerRig serial;
  const uint64_t start = 2000000000;
  serial.script->now = start;
  serial.script->bits = BitsForStatus(samples[0].status);
  SerialSlicerOptions options;
  options.startupProbe = std::chrono::milliseconds(5);
  options.ringSize = 1024;  // smaller than the transmission: the reader must keep up
  SerialSlicer slicer("/dev/fake", serial.Services(), options);
  ASSERT_EQ(slicer.Open(&rig.front.readIndex()), 1024);
  // Changes arrive a few hundred at a time, and each 100 ms timer tick drains the ring.
  const std::vector<test::LineScript::Change> changes = Changes(samples, start);
  for (size_t i = 0; i < changes.size(); i += 400) {
    for (size_t k = i; k < std::min(changes.size(), i + 400); ++k) {
      serial.script->Add(changes[k].atNanoseconds, changes[k].bits);
    }
    ASSERT_TRUE(serial.script->WaitIdle());
    rig.front.PollEdges(*slicer.ring());
  }
  EXPECT_EQ(slicer.overruns(), 0u);
  // Long states come split from the modulator; on the port they are one state.
  size_t transitions = 0;
  for (size_t i = 0; i + 1 < samples.size(); ++i)
    transitions += samples[i].status != samples[i + 1].status;
  EXPECT_EQ(slicer.changes(), transitions + 1);

  ASSERT_EQ(rig.pageLog.pages.size(), 2u);
  const PageRecord& numeric = rig.pageLog.pages[0];
  EXPECT_STREQ(numeric.capcode, "0001234");
  EXPECT_EQ(numeric.function, 1);
  EXPECT_EQ(numeric.speed, 1200);
  EXPECT_STREQ(numeric.type, "numeric");
  EXPECT_EQ(std::string(numeric.text).rfind("0123456789", 0), 0u) << numeric.text;
  EXPECT_FALSE(numeric.bitErrors);
  const PageRecord& alpha = rig.pageLog.pages[1];
  EXPECT_STREQ(alpha.capcode, "0006220");
  EXPECT_EQ(alpha.function, 4);
  EXPECT_STREQ(alpha.type, "alpha");
  const std::string text = alpha.text;
  EXPECT_EQ(text.rfind("Meet at the north gate, 10:30", 0), 0u) << text;
  EXPECT_EQ(text.find_first_not_of(' ', 29), std::string::npos) << text;
  EXPECT_FALSE(alpha.bitErrors);
  slicer.Close();
}

}  // namespace
}  // namespace skelmar
