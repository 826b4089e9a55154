// Console rendering of monitor rows and pages, and the clock that follows a stream.
#include "shell/console/console_output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "frontend/edge_ring.h"
#include "session/stream_clock.h"

namespace skelmar {
namespace {

/// A row as the pane stores it: text with a NUL end and one slot per character.
struct PaneRow {
  std::string text;
  std::vector<int32_t> slots;
  PaneRow(const std::string& t, std::vector<int32_t> s) : text(t), slots(std::move(s)) {
    slots.resize(text.size() + 1, 0);
  }
};

Settings Colored() {
  Settings s;
  for (int slot = 1; slot <= kColorSlots; ++slot) {
    s.colors[slot] = Rgb(static_cast<uint32_t>(slot), static_cast<uint32_t>(10 * slot), 200);
  }
  return s;
}

std::string Sgr(int slot) {
  return "\x1b[38;2;" + std::to_string(slot) + ";" + std::to_string(10 * slot) + ";200m";
}

TEST(RenderRow, PlainTextStopsAtTheTerminator) {
  const std::string stored("{0273040} 4 TEST\0garbage after the end", 38);
  const std::vector<int32_t> slots(stored.size() + 1, 7);
  EXPECT_EQ(RenderRow(stored.c_str(), slots.data(), Colored(), false), "{0273040} 4 TEST");
  const std::vector<int32_t> none(1, 0);
  EXPECT_EQ(RenderRow("", none.data(), Colored(), true), "");
}

TEST(RenderRow, ColoursChangeOnlyWhereTheSlotChanges) {
  const PaneRow row("{12} AB", {2, 2, 2, 2, 2, 7, 7});
  EXPECT_EQ(RenderRow(row.text.c_str(), row.slots.data(), Colored(), true),
            Sgr(2) + "{12} " + Sgr(7) + "AB" + "\x1b[0m");
}

TEST(RenderRow, UnknownSyncHeaderLinesArePureRed) {
  // Slot 9 has a fixed colour that no setting changes: 255, 0, 0.
  const PaneRow row("UNKNOWN", {9, 9, 9, 9, 9, 9, 9});
  EXPECT_EQ(RenderRow(row.text.c_str(), row.slots.data(), Settings(), true),
            "\x1b[38;2;255;0;0mUNKNOWN\x1b[0m");
}

TEST(RenderRow, SlotOutsideTheTableKeepsTheColourInForce) {
  const PaneRow row("abcd", {6, 0, 13, 10});
  EXPECT_EQ(RenderRow(row.text.c_str(), row.slots.data(), Colored(), true),
            Sgr(6) + "abc" + Sgr(10) + "d" + "\x1b[0m");
  // No valid slot at all: no colour and no reset.
  const PaneRow bare("xy", {0, 99});
  EXPECT_EQ(RenderRow(bare.text.c_str(), bare.slots.data(), Colored(), true), "xy");
}

TEST(RenderRow, ReceivedControlAndTopBitBytesNeverReachTheTerminal) {
  // ESC [ 2 J would clear the screen, BEL rings, 0x9B is the one-byte CSI,
  // 0xC1 and 0xFF are top-bit bytes that must not turn into letters.
  const std::string hostile =
      "A\x1b[2J\x07\x9b"
      "31m\xc1\xff\x7f\tZ";
  const std::vector<int32_t> slots(hostile.size() + 1, 7);
  const std::string plain = RenderRow(hostile.c_str(), slots.data(), Colored(), false);
  EXPECT_EQ(plain, "A.[2J..31m....Z");
  const std::string colored = RenderRow(hostile.c_str(), slots.data(), Colored(), true);
  EXPECT_EQ(colored, Sgr(7) + plain + "\x1b[0m");
  for (unsigned char c : plain) {
    EXPECT_TRUE(c >= 32 && c < 127) << static_cast<int>(c);
  }
}

TEST(RenderRow, ReusedBufferHoldsOnlyTheLatestRow) {
  std::string out = "left over from an earlier, longer row";
  const PaneRow row("short", {7, 7, 7, 7, 7});
  RenderRow(row.text.c_str(), row.slots.data(), Colored(), false, out);
  EXPECT_EQ(out, "short");
}

PageRecord Page(PageProtocol protocol, const char* capcode, const char* type,
                const std::string& text) {
  PageRecord p;
  p.protocol = protocol;
  p.speed = 1200;
  p.levels = 2;
  std::snprintf(p.capcode, sizeof p.capcode, "%s", capcode);
  std::snprintf(p.type, sizeof p.type, "%s", type);
  std::memcpy(p.text, text.data(), text.size());
  p.textLength = static_cast<int32_t>(text.size());
  return p;
}

SystemTime Time(int h, int m, int s) {
  SystemTime t;
  t.year = 2026;
  t.month = 12;
  t.day = 8;
  t.hour = static_cast<uint16_t>(h);
  t.minute = static_cast<uint16_t>(m);
  t.second = static_cast<uint16_t>(s);
  return t;
}

TEST(PageToJson, PocsagFieldsInOrder) {
  PageRecord p = Page(PageProtocol::kPocsag, "0273040", "alpha", "512 B SIDE");
  p.speed = 512;
  p.function = 4;
  FilterTable filters;
  EXPECT_EQ(PageToJson(p, Time(10, 59, 30), 0, filters),
            R"({"schema":1,"time":"2026-12-08T10:59:30+00:00","protocol":"POCSAG",)"
            R"("speed":512,"levels":2,"capcode":"0273040","function":4,"type":"alpha",)"
            R"("text":"512 B SIDE","bitErrors":false,"filter":null})");
}

TEST(PageToJson, FlexHasAPhaseAndNoFunctionGscHasAFunction) {
  PageRecord f = Page(PageProtocol::kFlex, "1234567", "numeric", "911");
  f.speed = 3200;
  f.levels = 4;
  f.phase = 'C';
  FilterTable filters;
  const std::string flex = PageToJson(f, Time(0, 0, 0), 0, filters);
  EXPECT_NE(
      flex.find(
          R"("protocol":"FLEX","speed":3200,"levels":4,"capcode":"1234567","phase":"C","type":"numeric")"),
      std::string::npos)
      << flex;
  EXPECT_EQ(flex.find("function"), std::string::npos);

  PageRecord g = Page(PageProtocol::kGsc, "657141", "tone", "");
  g.speed = 600;
  g.function = 3;
  const std::string gsc = PageToJson(g, Time(0, 0, 0), 0, filters);
  EXPECT_NE(
      gsc.find(
          R"("protocol":"GSC","speed":600,"levels":2,"capcode":"657141","function":3,"type":"tone","text":"")"),
      std::string::npos)
      << gsc;
  EXPECT_EQ(gsc.find("phase"), std::string::npos);
}

TEST(PageToJson, EscapesEverythingThatIsNotPlainAscii) {
  const std::string text = std::string("say \"hi\" C:\\dir\n\r\t") + '\x01' + '\x1b' + '\x7f' +
                           '\x80' + '\xe9' + '\xff' + "/end";
  const PageRecord p = Page(PageProtocol::kPocsag, "0000008", "alpha", text);
  FilterTable filters;
  const std::string json = PageToJson(p, Time(0, 0, 0), 0, filters);
  EXPECT_NE(
      json.find(R"("text":"say \"hi\" C:\\dir\n\r\t\u0001\u001b\u007f\u0080\u00e9\u00ff/end")"),
      std::string::npos)
      << json;
  for (unsigned char c : json) {
    EXPECT_TRUE(c >= 32 && c < 127) << static_cast<int>(c);
  }
}

TEST(PageToJson, TextKeepsNulAsAnEscapeAndEndsAtItsLengthAndBitErrorsAndFilterLabelShow) {
  PageRecord p = Page(PageProtocol::kPocsag, "???????", "alpha", std::string("kept\0dropped", 12));
  p.bitErrors = true;
  p.filter = 1;
  FilterTable filters;
  filters.count = 2;
  std::snprintf(filters.entries[1].label, sizeof filters.entries[1].label, "Fire \"A\"");
  const std::string json = PageToJson(p, Time(0, 0, 0), 0, filters);
  EXPECT_NE(json.find(R"("capcode":"???????")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("text":"kept\u0000dropped","bitErrors":true,"filter":"Fire \"A\""})"),
            std::string::npos)
      << json;
  // A filter index the table does not hold (the table changed) is no filter.
  p.filter = 5;
  EXPECT_NE(PageToJson(p, Time(0, 0, 0), 0, filters).find(R"("filter":null)"), std::string::npos);
  // textLength counts, not a terminator.
  PageRecord q = Page(PageProtocol::kPocsag, "1", "alpha", "abcdef");
  q.textLength = 3;
  EXPECT_NE(PageToJson(q, Time(0, 0, 0), 0, filters).find(R"("text":"abc")"), std::string::npos);
}

TEST(PageToJson, LocalTimeCarriesItsOffset) {
  const PageRecord p = Page(PageProtocol::kPocsag, "1", "tone", "");
  FilterTable filters;
  EXPECT_NE(PageToJson(p, Time(5, 29, 30), -330, filters).find("2026-12-08T05:29:30-05:30"),
            std::string::npos);
  EXPECT_NE(PageToJson(p, Time(11, 59, 30), 60, filters).find("2026-12-08T11:59:30+01:00"),
            std::string::npos);
}

/// Sets TZ for one test and puts it back afterwards.
class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(StreamClock, FollowsTheTicksDecodedNotTheWallClock) {
  ZoneGuard zone("UTC");
  // 2026-12-31T23:59:59Z
  StreamClock clock(20818LL * 86400 + 86399);
  SystemTime t = clock.NowUtc();
  EXPECT_EQ(t.year, 2026);
  EXPECT_EQ(t.month, 12);
  EXPECT_EQ(t.day, 31);
  EXPECT_EQ(t.second, 59);
  // 1.5 s of ticks later the year has turned.
  clock.Advance(static_cast<uint64_t>(kTicksPerSecond * 1.5));
  t = clock.NowUtc();
  EXPECT_EQ(t.year, 2027);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.minute, 0);
  EXPECT_EQ(t.second, 0);
  EXPECT_NEAR(t.milliseconds, 500, 1);
  EXPECT_EQ(t.dayOfWeek, 5);  // a Friday
  // Steps add up: 3599 more seconds in one-second steps.
  for (int i = 0; i < 3599; ++i) clock.Advance(1192179);
  t = clock.NowUtc();
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.minute, 59);
  EXPECT_EQ(t.second, 59);
  EXPECT_NEAR(t.milliseconds, 500, 1);
}

TEST(StreamClock, LocalTimeAndOffsetFollowTheZone) {
  ZoneGuard zone("EST5");
  StreamClock clock(20795LL * 86400 + 10 * 3600);  // 2026-12-08T10:00:00Z
  EXPECT_EQ(clock.UtcOffsetMinutes(), -300);
  const SystemTime local = clock.NowLocal();
  EXPECT_EQ(local.hour, 5);
  EXPECT_EQ(clock.NowUtc().hour, 10);
}

}  // namespace
}  // namespace skelmar
