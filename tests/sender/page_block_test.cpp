// The page block's framing and checksum, the input screening and the small parsing helpers.
#include "sender/page_block.h"

#include <gtest/gtest.h>

#include <string>

#include "sender/posix_port.h"
#include "sender/tap_session.h"

namespace vantry {
namespace {

std::string Block(const std::string& pin, const std::string& message) {
  char out[kBlockCapacity];
  const std::size_t n = BuildBlock(pin, message, out);
  return std::string(out, n);
}

// Sums worked out by hand from the character codes (STX 2, CR 13, ETX 3).
TEST(PageBlock, ChecksumCharactersFromHandSums) {
  struct Case {
    std::string pin, message, check;
  };
  const Case cases[] = {
      {"1234", "HI", "17:"},                 // 378 = 0x17A
      {"5551212", "TEST", "2<4"},            // 2+357+13+320+13+3 = 708 = 0x2C4
      {"0", "A", "090"},                     // 2+48+13+65+13+3 = 144 = 0x090
      {"1", std::string(40, '~'), "400"},    // 80 + 40*126 = 5120 = 0x1400, low 12 bits
      {"", "", "01?"},                       // 2+13+13+3 = 31 = 0x01F
      {"2", std::string(1001, '~'), "<??"},  // 81+126126 = 126207; & 0xFFF = 0xCFF
      {"987654321", "Meet me at 5 PM ~ bring snacks!", "<14"},  // 3092 = 0xC14
  };
  for (const Case& c : cases) {
    const std::string expected = "\x02" + c.pin + "\r" + c.message + "\r\x03" + c.check + "\r";
    EXPECT_EQ(Block(c.pin, c.message), expected) << c.pin << " / " << c.message.substr(0, 20);
  }
}

TEST(PageBlock, ChecksumDigitsCoverAllSixteenNibbles) {
  char out[3];
  ChecksumCharacters(0xF09, out);
  EXPECT_EQ(std::string(out, 3), "?09");
  ChecksumCharacters(0xABC, out);
  EXPECT_EQ(std::string(out, 3), ":;<");
  ChecksumCharacters(0xDE0, out);
  EXPECT_EQ(std::string(out, 3), "=>0");
}

TEST(PageBlock, LongestPinAndMessageFillTheBufferExactly) {
  char out[kBlockCapacity];
  const std::string pin = "12345678";
  EXPECT_EQ(BuildBlock(pin, std::string(1003 - pin.size(), 'a'), out), kBlockCapacity - 1);
  EXPECT_EQ(out[kBlockCapacity - 1], '\0');
  EXPECT_EQ(out[kBlockCapacity - 2], '\r');
  EXPECT_EQ(BuildBlock(pin, std::string(1004 - pin.size(), 'a'), out), 0u);
}

TEST(PageInput, RefusesWhatCannotTravelInTheBlock) {
  EXPECT_EQ(CheckPageInput("5551234", "1234", "Call me at 12:30 ~ <ok>"), nullptr);
  EXPECT_EQ(CheckPageInput("5551234", "1234", std::string(999, 'x')), nullptr);
  const std::string printable_only =
      "\nPhone number, PIN and message may hold printable ASCII characters only\n";
  for (const std::string& bad :
       {std::string("a\rb"), std::string("a\x03"), std::string("\x02"), std::string("tab\there"),
        std::string("\x7f"), std::string("caf\xc3\xa9"), std::string("nul\0x", 5)}) {
    ASSERT_NE(CheckPageInput("1", "2", bad), nullptr);
    EXPECT_EQ(CheckPageInput("1", "2", bad), printable_only);
    EXPECT_EQ(CheckPageInput("1", bad, "m"), printable_only);
    EXPECT_EQ(CheckPageInput(bad, "2", "m"), printable_only);
  }
  ASSERT_NE(CheckPageInput("1", "1234", std::string(1000, 'x')), nullptr);
  EXPECT_EQ(std::string(CheckPageInput("1", "1234", std::string(1000, 'x'))),
            "\nPIN and message too long: at most 1003 characters together\n");
}

TEST(PortName, ComNamesMapToTheFirstFourPorts) {
  EXPECT_EQ(DevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePath("COM4"), "/dev/ttyS3");
  EXPECT_EQ(DevicePath("com2"), "/dev/ttyS1");
  EXPECT_EQ(DevicePath("COM5"), "COM5");
  EXPECT_EQ(DevicePath("COM0"), "COM0");
  EXPECT_EQ(DevicePath("COM10"), "COM10");
  EXPECT_EQ(DevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

TEST(TimeScale, OnlyAPositiveNumberChangesTheTimeLimits) {
  EXPECT_EQ(ParseTimeScale(nullptr), 1.0);
  EXPECT_EQ(ParseTimeScale(""), 1.0);
  EXPECT_EQ(ParseTimeScale("0.05"), 0.05);
  EXPECT_EQ(ParseTimeScale("2"), 2.0);
  for (const char* bad : {"0", "-1", "abc", "0.5x", "inf", "nan"}) {
    EXPECT_EQ(ParseTimeScale(bad), 1.0) << bad;
  }
  EXPECT_EQ(ScaledMs(181000, 1.0), 181000);
  EXPECT_EQ(ScaledMs(181000, 0.01), 1810);
  EXPECT_EQ(ScaledMs(1000, 0.0001), 1);
}

}  // namespace
}  // namespace vantry
