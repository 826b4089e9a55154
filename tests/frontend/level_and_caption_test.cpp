// Level decoding of the modem-status byte and the mode caption builder.
#include <gtest/gtest.h>

#include <bit>
#include <string>

#include "front_rig.h"

namespace skelmar::test {
namespace {

TEST(DecodeLevel, CountsCtsDsrAndDcdForAll16LineStates) {
  for (unsigned n = 0; n < 16; ++n) {
    SCOPED_TRACE(n);
    // Low nibble (the change bits) set to junk: it must not matter.
    const uint8_t status = static_cast<uint8_t>((n << 4) | (15 - n));
    const int lines =
        std::popcount(n & 0b1011u);  // CTS bit 0, DSR bit 1, DCD bit 3; RI bit 2 ignored
    const int twoLevel = lines > 0 ? 3 : 0;
    EXPECT_EQ(DecodeLevel(status, true, false), lines);
    EXPECT_EQ(DecodeLevel(status, false, false), twoLevel);
    EXPECT_EQ(DecodeLevel(status, true, true), 3 - lines);
    EXPECT_EQ(DecodeLevel(status, false, true), 3 - twoLevel);
  }
}

TEST(DecodeLevel, NamedLineCombinations) {
  EXPECT_EQ(DecodeLevel(0xB0, true, false), 3);  // CTS, DSR, DCD
  EXPECT_EQ(DecodeLevel(0x40, true, false), 0);  // RI alone
  EXPECT_EQ(DecodeLevel(0x40, false, false), 0);
  EXPECT_EQ(DecodeLevel(0x10, true, false), 1);
  EXPECT_EQ(DecodeLevel(0x10, false, false), 3);
  EXPECT_EQ(DecodeLevel(0xB0, true, true), 0);
  EXPECT_EQ(DecodeLevel(0x40, true, true), 3);
  EXPECT_EQ(DecodeLevel(0x10, true, true), 2);
  EXPECT_EQ(DecodeLevel(0x10, false, true), 0);
  EXPECT_EQ(DecodeLevel(0x20, false, false), 3);  // a two-level slicer on DSR
}

struct CaptionCase {
  int flags;
  bool fourLevel;
  const char* caption;  // nullptr: unchanged
};

class Caption : public ::testing::TestWithParam<CaptionCase> {};

TEST_P(Caption, BuiltFromTheFlags) {
  const CaptionCase c = GetParam();
  char out[kCaptionCapacity] = "untouched";
  const bool changed = BuildModeTitle(c.flags, c.fourLevel, out);
  if (c.caption == nullptr) {
    EXPECT_FALSE(changed);
    EXPECT_STREQ(out, "untouched");
  } else {
    EXPECT_TRUE(changed);
    EXPECT_STREQ(out, c.caption);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Flags, Caption,
    ::testing::Values(CaptionCase{0x00, false, " Skelmar"},
                      CaptionCase{0x21, false, " Skelmar - POCSAG 512"},
                      CaptionCase{0x22, false, " Skelmar - POCSAG 1200"},
                      CaptionCase{0x24, false, " Skelmar - POCSAG 2400"},
                      CaptionCase{0x23, false, " Skelmar - POCSAG 512"},  // 0x01 is tested first
                      CaptionCase{0x26, true, " Skelmar - POCSAG 1200"},  // then 0x02
                      CaptionCase{0x20, false, nullptr},                  // POCSAG without a rate
                      CaptionCase{0x60, false, nullptr},                  // POCSAG before Golay
                      CaptionCase{0x30, false, nullptr},                  // POCSAG before ReFLEX
                      CaptionCase{0x40, false, " Skelmar - Golay (GSC)"},
                      CaptionCase{0x4F, true, " Skelmar - Golay (GSC)"},  // Golay before FLEX
                      CaptionCase{0x5F, true, " Skelmar - Golay (GSC)"},  // Golay before ReFLEX
                      CaptionCase{0x1F, false, " Skelmar - ReFLEX ABCD 3200 4 Level"},
                      CaptionCase{0x1F, true, " Skelmar - ReFLEX ABCD 3200 4 Level"},
                      CaptionCase{0x14, true, " Skelmar - ReFLEX B"},
                      CaptionCase{0x14, false, " Skelmar - ReFLEX "},
                      CaptionCase{0x1B, true, " Skelmar - ReFLEX ACD"},
                      CaptionCase{0x1B, false, " Skelmar - ReFLEX AC"},
                      CaptionCase{0x10, true, " Skelmar - ReFLEX "},
                      CaptionCase{0x08, false, " Skelmar - FLEX A 1600 2 Level"},
                      CaptionCase{0x0C, false, " Skelmar - FLEX AB 1600 4 Level"},
                      CaptionCase{0x0F, false, " Skelmar - FLEX ABCD 3200 4 Level"},
                      CaptionCase{0x0A, false, " Skelmar - FLEX AC"},
                      CaptionCase{0x05, false,
                                  " Skelmar - FLEX BD"},  // the setting plays no part for FLEX
                      CaptionCase{0x0D, true, " Skelmar - FLEX ABD"},
                      CaptionCase{0x02, true, " Skelmar - FLEX C"},
                      CaptionCase{0x80, false, " Skelmar - FLEX "}));

TEST(ModeCaption, StartsWithTheWindowNameAndKeepsTheLastCaption) {
  Settings settings;
  ModeCaption caption(settings);
  EventLog log;
  RecordingPocsag noBits(log);
  RecordingCaption listener(log, noBits);
  caption.SetListener(&listener);
  EXPECT_STREQ(caption.text(), " Skelmar - Windows FLEX/POCSAG/Golay Monitor");

  caption.ShowModeTitle(0x22);
  caption.ShowModeTitle(0x20);  // no change, no notice
  caption.ShowModeTitle(0x60);
  EXPECT_STREQ(caption.text(), " Skelmar - POCSAG 1200");

  settings.fourLevelInterface = 1;  // read at every call
  caption.ShowModeTitle(0x15);
  EXPECT_STREQ(caption.text(), " Skelmar - ReFLEX BD");
  caption.ShowModeTitle(0);
  EXPECT_EQ(listener.captions, (std::vector<std::string>{" Skelmar - POCSAG 1200",
                                                         " Skelmar - ReFLEX BD", " Skelmar"}));
}

}  // namespace
}  // namespace skelmar::test
