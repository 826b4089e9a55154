// Settings file: the stored form of every key, the filter entry format, hand-edited
// and malformed files, a full round trip and atomic replacement.
#include "session/settings_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/test_dir.h"

namespace skelmar {
namespace {

struct Loaded {
  Settings settings;
  FilterTable filters;
};

Loaded LoadText(const std::string& text) {
  Loaded l;
  ReadSettings(ProfileFile::FromText(text), "Skelmar", l.settings, l.filters);
  return l;
}

std::string SaveText(const Settings& s, const FilterTable& f, const std::string& before = "") {
  ProfileFile file = ProfileFile::FromText(before);
  WriteSettings(file, "Skelmar", s, f);
  return file.ToText();
}

std::string RawValue(const std::string& text, const char* section, const char* key) {
  const ProfileFile file = ProfileFile::FromText(text);
  auto v = file.Find(section, key);
  return v ? std::string(*v) : "<missing>";
}

FilterEntry Entry(int type, const char* capcode, int function, const char* label, const char* text,
                  int run) {
  FilterEntry e;
  e.type = type;
  std::strncpy(e.capcode, capcode, sizeof e.capcode - 1);
  e.function = static_cast<int8_t>(function);
  std::strncpy(e.label, label, sizeof e.label - 1);
  std::strncpy(e.text, text, sizeof e.text - 1);
  e.runCommand = run;
  return e;
}

void ExpectSameEntry(const FilterEntry& a, const FilterEntry& b, int index) {
  SCOPED_TRACE("entry " + std::to_string(index));
  EXPECT_EQ(a.type, b.type);
  EXPECT_STREQ(a.capcode, b.capcode);
  EXPECT_EQ(a.function, b.function);
  EXPECT_STREQ(a.label, b.label);
  EXPECT_STREQ(a.text, b.text);
  EXPECT_EQ(a.runCommand, b.runCommand);
}

// ---- The port ------------------------------------------------------------------

TEST(SettingsFilePort, APortWithoutAddressOrIrqIsTurnedOff) {
  EXPECT_EQ(LoadText("[Skelmar]\nComPort=COM2\n").settings.comPort, 0);
  EXPECT_EQ(LoadText("[Skelmar]\nComPort=COM2\nComPortAddr=0x2F8\n").settings.comPort, 0);
  EXPECT_EQ(LoadText("[Skelmar]\nComPort=COM2\nComPortIRQ=3\n").settings.comPort, 0);
  EXPECT_EQ(LoadText("[Skelmar]\nComPort=COM2\nComPortAddr=\nComPortIRQ=3\n").settings.comPort, 0);

  const Settings s =
      LoadText("[Skelmar]\nComPort=COM2\nComPortAddr=0x2F8\nComPortIRQ=3\n").settings;
  EXPECT_EQ(s.comPort, 2);
  EXPECT_EQ(s.comPortAddr, 0x2F8);
  EXPECT_EQ(s.comPortIrq, 3);
}

TEST(SettingsFilePort, CustomPortReadsAndIsWrittenInUpperCaseHex) {
  const Settings s =
      LoadText("[Skelmar]\nComPort=Custom\nComPortAddr=0x2e8\nComPortIRQ=5\n").settings;
  EXPECT_EQ(s.comPort, 5);
  EXPECT_EQ(s.comPortAddr, 0x2E8);
  EXPECT_EQ(s.comPortIrq, 5);
  const std::string out = SaveText(s, FilterTable{});
  EXPECT_EQ(RawValue(out, "Skelmar", "ComPort"), "Custom");
  EXPECT_EQ(RawValue(out, "Skelmar", "ComPortAddr"), "0x2E8");
  EXPECT_EQ(RawValue(out, "Skelmar", "ComPortIRQ"), "5");

  Settings com3;
  com3.comPort = 3;
  com3.comPortAddr = 0x3E8;
  com3.comPortIrq = 4;
  const std::string out3 = SaveText(com3, FilterTable{});
  EXPECT_EQ(RawValue(out3, "Skelmar", "ComPort"), "COM3");
  EXPECT_EQ(RawValue(out3, "Skelmar", "ComPortAddr"), "0x3E8");
}

TEST(SettingsFilePort, UnparsableValuesKeepTheFieldsTheyWouldSet) {
  // "com1" is not "COM%d": ComPort keeps its value (0 here); "3F8" lacks the 0x.
  const Settings s = LoadText("[Skelmar]\nComPort=com1\nComPortAddr=3F8\nComPortIRQ=x\n").settings;
  EXPECT_EQ(s.comPort, 0);
  EXPECT_EQ(s.comPortAddr, 0);
  EXPECT_EQ(s.comPortIrq, 0);
  Loaded over;
  over.settings.comPort = 4;
  ReadSettings(
      ProfileFile::FromText("[Skelmar]\nComPort=serial\nComPortAddr=0x2E8\nComPortIRQ=3\n"),
      "Skelmar", over.settings, over.filters);
  EXPECT_EQ(over.settings.comPort, 4);
  EXPECT_EQ(over.settings.comPortAddr, 0x2E8);
}

TEST(SettingsFilePort, SavingWithoutAPortRemovesTheThreeKeys) {
  const std::string before = "[Skelmar]\nComPort=COM1\nComPortAddr=0x3F8\nComPortIRQ=4\nxPos=5\n";
  Settings s = LoadText(before).settings;
  ASSERT_EQ(s.comPort, 1);
  s.comPort = 0;
  const std::string out = SaveText(s, FilterTable{}, before);
  EXPECT_EQ(out.find("ComPort"), std::string::npos) << out;
  EXPECT_EQ(RawValue(out, "Skelmar", "xPos"), "5");
}

// ---- Numbers, colours, texts -------------------------------------------------

TEST(SettingsFileValues, ColoursKeepTheLowEightBitsOrTheDefault) {
  const Settings s = LoadText(
                         "[Skelmar]\n"
                         "Color.Numeric=300,0,0\n"
                         "Color.Capcode=255,0\n"
                         "Color.Background=1,2,3\n"
                         "Color.Timestamp=255, 255, 255\n"
                         "Color.FLEXPhase=-1,256,511\n"
                         "Color.FilterLabel=red\n")
                         .settings;
  EXPECT_EQ(s.colors[kSlotNumeric], Rgb(44, 0, 0));
  EXPECT_EQ(s.colors[kSlotCapcode], kDefaultColors[kSlotCapcode]);
  EXPECT_EQ(s.colors[kSlotBackground], Rgb(1, 2, 3));
  EXPECT_EQ(s.colors[kSlotTimestamp], Rgb(255, 255, 255));
  EXPECT_EQ(s.colors[kSlotFlexPhase], Rgb(255, 0, 255));
  EXPECT_EQ(s.colors[kSlotFilterLabel], kDefaultColors[kSlotFilterLabel]);
  EXPECT_EQ(s.colors[kSlotUnknownSync], kDefaultColors[kSlotUnknownSync]);
}

TEST(SettingsFileValues, PercentIsAWholeNumberBetweenZeroAndHundred) {
  EXPECT_EQ(LoadText("[Skelmar]\nPercent=66\n").settings.percent, 66.0);
  EXPECT_EQ(LoadText("[Skelmar]\nPercent=66.8\n").settings.percent, 66.0);
  EXPECT_EQ(LoadText("[Skelmar]\nPercent=150\n").settings.percent, 100.0);
  EXPECT_EQ(LoadText("[Skelmar]\nPercent=-5\n").settings.percent, 0.0);
  EXPECT_EQ(LoadText("[Skelmar]\nPercent=4294967291\n").settings.percent, 100.0);
  EXPECT_EQ(LoadText("[Skelmar]\n").settings.percent, 75.0);

  Settings s;
  s.percent = 62.9;
  EXPECT_EQ(RawValue(SaveText(s, FilterTable{}), "Skelmar", "Percent"), "62");
}

TEST(SettingsFileValues, FontBytesKeepTheirLowEightBits) {
  const Settings s = LoadText(
                         "[Skelmar]\nFont.CharSet=258\nFont.Italic=-1\nFont.Height=-20\n"
                         "Font.FaceName=An Extremely Long Face Name Beyond Thirty-One\n")
                         .settings;
  EXPECT_EQ(s.font.charSet, 2);
  EXPECT_EQ(s.font.italic, 255);
  EXPECT_EQ(s.font.height, -20);
  EXPECT_STREQ(s.font.faceName, "An Extremely Long Face Name Bey");  // 31 characters
  EXPECT_STREQ(LoadText("").settings.font.faceName, "Courier New");
}

TEST(SettingsFileValues, TextsSurviveBlanksAndQuotesAtTheirEnds) {
  Settings s;
  std::strcpy(s.filterCmdArgs, " %c %m ");
  std::strcpy(s.filterFile, " /tmp/leading blank.log");
  std::strcpy(s.statFile, "\"quoted\"");
  std::strcpy(s.serialDevice, "/dev/ttyUSB0");
  const std::string out = SaveText(s, FilterTable{});
  EXPECT_EQ(RawValue(out, "Filter", "FilterCmdArgs"), "\" %c %m \"");
  EXPECT_EQ(RawValue(out, "Skelmar", "SerialDevice"), "/dev/ttyUSB0");
  const Settings back = LoadText(out).settings;
  EXPECT_STREQ(back.filterCmdArgs, " %c %m ");
  EXPECT_STREQ(back.filterFile, " /tmp/leading blank.log");
  EXPECT_STREQ(back.statFile, "\"quoted\"");
  EXPECT_STREQ(back.serialDevice, "/dev/ttyUSB0");
}

TEST(SettingsFileValues, DefaultsAreWrittenInFileOrder) {
  EXPECT_EQ(SaveText(Settings{}, FilterTable{}),
            "[Skelmar]\n"
            "xPos=0\nyPos=0\nxSize=592\nySize=350\nTimestamp=1\nConfirmExit=1\n"
            "ShowNumeric=1\nShowMisc=1\nFilterBeep=0\nDecodePocsag=1\nDecodeFlex=1\n"
            "DecodeGolay=1\n4LevelInterface=0\nInvertData=0\nPercent=75\n"
            "Font.Height=-11\nFont.Width=0\nFont.Escapement=0\nFont.Orientation=0\n"
            "Font.Weight=400\nFont.Italic=0\nFont.CharSet=255\nFont.OutPrecision=3\n"
            "Font.ClipPrecision=0\nFont.Quality=0\nFont.PitchAndFamily=49\n"
            "Font.FaceName=Courier New\n"
            "Color.Background=0,0,0\nColor.Capcode=0,128,0\nColor.FLEXPhase=0,255,255\n"
            "Color.FLEXFormat=255,0,255\nColor.Timestamp=0,0,255\nColor.Numeric=255,0,0\n"
            "Color.Alphanumeric=255,255,0\nColor.FLEXBinary=128,128,64\n"
            "Color.BitErrors=192,192,192\nColor.FilterMatch=255,255,255\n"
            "Color.FilterLabel=0,255,0\n"
            "StatFileEnabled=0\nStatFile=\nSerialDevice=\nCharset=US\nPocsagType=auto\n"
            "\n"
            "[Filter]\n"
            "FilterFileEnabled=0\nFilterFile=\nFilterFileFlush=0\nFilterFlushTime=0\n"
            "FilterCmdFileEnabled=0\nFilterCmdFile=\nFilterCmdArgs=\"\"\nFilterCount=0\n");
}

// ---- Filter entries ------------------------------------------------------------

TEST(SettingsFileFilters, APocsagEntryIsWrittenFieldByFieldAndReadBack) {
  const FilterEntry fire = Entry(2, "1234567", 0, "Fire", "", 1);
  EXPECT_EQ(FormatFilterEntry(fire), "2,\"1234567\",0,\"Fire\",\"\",1");
  const FilterEntry back = ParseFilterEntry("2,\"1234567\",0,\"Fire\",\"\",1");
  ExpectSameEntry(back, fire, 0);
  EXPECT_EQ(FormatFilterEntry(back), "2,\"1234567\",0,\"Fire\",\"\",1");

  const FilterEntry text = Entry(1, "", 0, "", "pager test", 0);
  EXPECT_EQ(FormatFilterEntry(text), "1,\"\",0,\"\",\"pager test\",0");
  ExpectSameEntry(ParseFilterEntry(FormatFilterEntry(text)), text, 1);
}

TEST(SettingsFileFilters, AnEmptyFunctionFieldReadsAsMinusFourAndTheRestStillReads) {
  const FilterEntry e = ParseFilterEntry("5,\"123456\",,\"Lbl\",\"msg\",1");
  EXPECT_EQ(e.type, 5);
  EXPECT_STREQ(e.capcode, "123456");
  EXPECT_EQ(e.function, -4);
  EXPECT_STREQ(e.label, "Lbl");
  EXPECT_STREQ(e.text, "msg");
  EXPECT_EQ(e.runCommand, 1);
  // Written back as the same empty field, so the value is stable.
  EXPECT_EQ(FormatFilterEntry(e), "5,\"123456\",,\"Lbl\",\"msg\",1");
}

TEST(SettingsFileFilters, QuotesAndBackslashesSurviveARoundTrip) {
  struct Case {
    const char* text;
    const char* written;
  };
  const Case cases[] = {
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\dir\\", "\"C:\\dir\\\\\""},  // a final backslash is doubled
      {"a\\b", "\"a\\b\""},              // others are not
      {"a\\\"b", "\"a\\\\\\\"b\""},      // backslash before a quote: doubled, quote escaped
      {"\\\\", "\"\\\\\\\\\""},
      {"x,y,\"z\",", "\"x,y,\\\"z\\\",\""},
      {"\"", "\"\\\"\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const FilterEntry e = Entry(1, "", 0, c.text, c.text, 0);
    const std::string value = FormatFilterEntry(e);
    EXPECT_EQ(value, std::string("1,\"\",0,") + c.written + "," + c.written + ",0");
    ExpectSameEntry(ParseFilterEntry(value), e, 0);
  }
}

TEST(SettingsFileFilters, OldValuesWithAFinalBackslashStillRead) {
  // Written before backslashes were doubled: the label ends at its first quote.
  const FilterEntry e = ParseFilterEntry("2,\"1234567\",1,\"C:\\\",\"x\",1");
  EXPECT_STREQ(e.label, "C:\\");
  EXPECT_EQ(e.function, 1);
  EXPECT_STREQ(e.text, "x");
  EXPECT_EQ(e.runCommand, 1);
  const FilterEntry t = ParseFilterEntry("1,\"\",0,\"\",\"end\\\",0");
  EXPECT_STREQ(t.text, "end\\");
  EXPECT_EQ(t.runCommand, 0);
}

TEST(SettingsFileFilters, HandEditedValuesAreReadSafely) {
  // Over-long fields are cut to their field; the rest of the value still reads.
  FilterEntry e = ParseFilterEntry(
      "4,\"1234567890123\",0,\"a label much longer than twenty\","
      "\"a text that goes on well past forty-three characters\",1");
  EXPECT_EQ(e.type, 4);
  EXPECT_STREQ(e.capcode, "123456789");
  EXPECT_STREQ(e.label, "a label much longer ");
  EXPECT_STREQ(e.text, "a text that goes on well past forty-three c");
  EXPECT_EQ(e.runCommand, 1);

  // A quoted field without its closing quote ends at the end of the value.
  e = ParseFilterEntry("1,\"\",0,\"lbl\",\"never closed");
  EXPECT_STREQ(e.text, "never closed");
  EXPECT_EQ(e.runCommand, 0);
  e = ParseFilterEntry("2,\"12345");
  EXPECT_STREQ(e.capcode, "12345");
  EXPECT_STREQ(e.label, "");

  // Unquoted fields run to the next comma.
  e = ParseFilterEntry("3,1234567,0,Police,,1");
  EXPECT_EQ(e.type, 3);
  EXPECT_STREQ(e.capcode, "1234567");
  EXPECT_STREQ(e.label, "Police");
  EXPECT_STREQ(e.text, "");
  EXPECT_EQ(e.runCommand, 1);

  // Truncated values leave the missing parts empty.
  e = ParseFilterEntry("2,\"1234567\",");
  EXPECT_EQ(e.type, 2);
  EXPECT_STREQ(e.capcode, "1234567");
  EXPECT_EQ(e.function, 0);
  e = ParseFilterEntry("");
  EXPECT_EQ(e.type, kFilterUnused);
  e = ParseFilterEntry("9,\"1\",0,\"\",\"\",1");
  EXPECT_EQ(e.type, kFilterUnused);
  EXPECT_STREQ(e.capcode, "1");
}

TEST(SettingsFileFilters, TheCountIsLimitedToTheTable) {
  std::string text = "[Filter]\nFilterCount=250\n";
  for (int n = 1; n <= 250; ++n) {
    text += "Filter" + std::to_string(n) + "=1,\"\",0,\"\",\"t" + std::to_string(n) + "\",0\n";
  }
  Loaded l = LoadText(text);
  EXPECT_EQ(l.filters.count, 200);
  EXPECT_STREQ(l.filters.entries[0].text, "t1");
  EXPECT_STREQ(l.filters.entries[199].text, "t200");

  l = LoadText("[Filter]\nFilterCount=-3\nFilter1=1,\"\",0,\"\",\"x\",0\n");
  EXPECT_EQ(l.filters.count, 0);
  EXPECT_EQ(l.filters.entries[0].type, kFilterUnused);

  // A missing entry key reads as an empty (unused) entry.
  l = LoadText("[Filter]\nFilterCount=2\nFilter2=1,\"\",0,\"\",\"x\",0\n");
  EXPECT_EQ(l.filters.count, 2);
  EXPECT_EQ(l.filters.entries[0].type, kFilterUnused);
  EXPECT_STREQ(l.filters.entries[1].text, "x");
}

TEST(SettingsFileFilters, ASaveKeepsTheEntriesTheTableHadNoRoomFor) {
  std::string before = "[Filter]\nFilterCount=1000\n";
  auto entry = [](int n) { return "1,\"\",0,\"\",\"t" + std::to_string(n) + "\",0"; };
  for (int n = 1; n <= 1000; ++n) {
    if (n == 500) continue;  // a hole reads as an unused entry
    before += "Filter" + std::to_string(n) + "=" + entry(n) + "\n";
  }
  before += "Filter1001=" + entry(1001) + "\n";  // past the count: never used
  Loaded l = LoadText(before);
  ASSERT_EQ(l.filters.count, 200);

  // Unchanged, the whole list stays.
  std::string out = SaveText(l.settings, l.filters, before);
  EXPECT_EQ(RawValue(out, "Filter", "FilterCount"), "999");
  EXPECT_EQ(RawValue(out, "Filter", "Filter200"), entry(200));
  EXPECT_EQ(RawValue(out, "Filter", "Filter201"), entry(201));
  EXPECT_EQ(RawValue(out, "Filter", "Filter500"), entry(501));
  EXPECT_EQ(RawValue(out, "Filter", "Filter999"), entry(1000));
  EXPECT_EQ(RawValue(out, "Filter", "Filter1000"), "<missing>");

  // One deleted in the window: the unloaded ones move up behind the rest,
  // and the next start loads the first of them.
  l.filters.count = 199;
  out = SaveText(l.settings, l.filters, before);
  EXPECT_EQ(RawValue(out, "Filter", "FilterCount"), "998");
  EXPECT_EQ(RawValue(out, "Filter", "Filter199"), entry(199));
  EXPECT_EQ(RawValue(out, "Filter", "Filter200"), entry(201));
  EXPECT_EQ(RawValue(out, "Filter", "Filter998"), entry(1000));
  EXPECT_STREQ(LoadText(out).filters.entries[199].text, "t201");
}

TEST(SettingsFileFilters, SavingFewerEntriesRemovesTheStaleKeys) {
  const std::string before =
      "[Filter]\nFilterCount=3\nFilter1=1,\"\",0,\"\",\"a\",0\nFilter2=1,\"\",0,\"\",\"b\",0\n"
      "Filter3=1,\"\",0,\"\",\"c\",0\n";
  Loaded l = LoadText(before);
  l.filters.count = 1;
  const std::string out = SaveText(l.settings, l.filters, before);
  EXPECT_EQ(RawValue(out, "Filter", "FilterCount"), "1");
  EXPECT_EQ(RawValue(out, "Filter", "Filter1"), "1,\"\",0,\"\",\"a\",0");
  EXPECT_EQ(RawValue(out, "Filter", "Filter2"), "<missing>");
  EXPECT_EQ(RawValue(out, "Filter", "Filter3"), "<missing>");
}

// ---- Whole record --------------------------------------------------------------

void Copy(char* dst, size_t n, const std::string& s) {
  std::memset(dst, 0, n);
  std::memcpy(dst, s.data(), std::min(s.size(), n - 1));
}

Settings FullRecord() {
  Settings s;
  s.xPos = -120;
  s.yPos = 33;
  s.xSize = 801;
  s.ySize = 602;
  s.timestamp = 0;
  s.confirmExit = 0;
  s.showNumeric = 0;
  s.showMisc = 0;
  s.filterBeep = 1;
  s.decodePocsag = 0;
  s.decodeFlex = 0;
  s.decodeGolay = 0;
  s.comPort = 5;
  s.comPortAddr = 0x2E8;
  s.comPortIrq = 11;
  s.fourLevelInterface = 1;
  s.invertData = 1;
  s.percent = 42.0;
  s.font.height = -16;
  s.font.width = 7;
  s.font.escapement = 900;
  s.font.orientation = 450;
  s.font.weight = 700;
  s.font.italic = 1;
  s.font.charSet = 0;
  s.font.outPrecision = 1;
  s.font.clipPrecision = 2;
  s.font.quality = 5;
  s.font.pitchAndFamily = 34;
  Copy(s.font.faceName, sizeof s.font.faceName, "Lucida Console");
  s.filterFileEnabled = 1;
  Copy(s.filterFile, sizeof s.filterFile, "/var/log/pager filters.log");
  s.filterFileFlush = 1;
  s.filterFlushTime = 3;
  s.filterCmdFileEnabled = 1;
  Copy(s.filterCmdFile, sizeof s.filterCmdFile, "/usr/local/bin/notify");
  Copy(s.filterCmdArgs, sizeof s.filterCmdArgs, "  %c \"%l\" %m  ");
  s.filterCmdMax = 3;
  for (int slot = 1; slot <= kColorSlots; ++slot) {
    if (slot == kSlotUnknownSync) continue;
    s.colors[slot] = Rgb(static_cast<uint32_t>(slot * 20), static_cast<uint32_t>(255 - slot),
                         static_cast<uint32_t>(slot * 7));
  }
  s.statFileEnabled = 1;
  Copy(s.statFile, sizeof s.statFile, "/tmp/stats.txt");
  Copy(s.serialDevice, sizeof s.serialDevice, "/dev/serial/by-id/usb-FTDI-if00");
  return s;
}

FilterTable FullTable() {
  constexpr int kCapcodeLengths[6] = {0, 0, 7, 7, 9, 6};
  const std::vector<std::string> texts = {"",
                                          "Fire",
                                          "say \"hi\"",
                                          "C:\\dir\\",
                                          "a\\\"b",
                                          "\\\\\"",
                                          "x,y,\"z\",",
                                          "  blanks  ",
                                          "\"",
                                          std::string(20, '"'),
                                          std::string(43, '\\'),
                                          "\\",
                                          "pager test",
                                          std::string(43, 'W')};
  FilterTable t;
  t.count = kMaxFilters;
  for (int i = 0; i < kMaxFilters; ++i) {
    FilterEntry& e = t.entries[i];
    e.type = 1 + i % 5;
    const int len = kCapcodeLengths[e.type];
    std::string capcode;
    for (int k = 0; k < len; ++k)
      capcode += (k + i) % 4 == 0 ? '?' : static_cast<char>('0' + (i + k) % 10);
    Copy(e.capcode, sizeof e.capcode, capcode);
    e.function = static_cast<int8_t>((e.type == 2 || e.type == 5) ? i % 5 : 0);
    Copy(e.label, sizeof e.label, texts[static_cast<size_t>(i) % texts.size()]);
    Copy(e.text, sizeof e.text, texts[static_cast<size_t>(i * 7 + 3) % texts.size()]);
    e.runCommand = i % 2;
  }
  return t;
}

TEST(SettingsFileRoundTrip, AFullRecordWithTwoHundredFiltersSurvivesByteForByte) {
  test::TempDir dir;
  const auto path = dir.path() / "Skelmar.INI";
  const Settings s = FullRecord();
  const FilterTable t = FullTable();
  ASSERT_EQ(SaveSettings("Skelmar", path, s, t), 1);
  const std::string first = test::ReadFile(path);

  Settings back;
  FilterTable backTable;
  ASSERT_EQ(LoadSettings("Skelmar", path, back, backTable), 1);
  EXPECT_EQ(back.xPos, -120);
  EXPECT_EQ(back.yPos, 33);
  EXPECT_EQ(back.xSize, 801);
  EXPECT_EQ(back.ySize, 602);
  EXPECT_EQ(back.timestamp, 0);
  EXPECT_EQ(back.confirmExit, 0);
  EXPECT_EQ(back.showNumeric, 0);
  EXPECT_EQ(back.showMisc, 0);
  EXPECT_EQ(back.filterBeep, 1);
  EXPECT_EQ(back.decodePocsag, 0);
  EXPECT_EQ(back.decodeFlex, 0);
  EXPECT_EQ(back.decodeGolay, 0);
  EXPECT_EQ(back.comPort, 5);
  EXPECT_EQ(back.comPortAddr, 0x2E8);
  EXPECT_EQ(back.comPortIrq, 11);
  EXPECT_EQ(back.fourLevelInterface, 1);
  EXPECT_EQ(back.invertData, 1);
  EXPECT_EQ(back.percent, 42.0);
  EXPECT_EQ(back.font.height, -16);
  EXPECT_EQ(back.font.width, 7);
  EXPECT_EQ(back.font.escapement, 900);
  EXPECT_EQ(back.font.orientation, 450);
  EXPECT_EQ(back.font.weight, 700);
  EXPECT_EQ(back.font.italic, 1);
  EXPECT_EQ(back.font.underline, 0);
  EXPECT_EQ(back.font.strikeOut, 0);
  EXPECT_EQ(back.font.charSet, 0);
  EXPECT_EQ(back.font.outPrecision, 1);
  EXPECT_EQ(back.font.clipPrecision, 2);
  EXPECT_EQ(back.font.quality, 5);
  EXPECT_EQ(back.font.pitchAndFamily, 34);
  EXPECT_STREQ(back.font.faceName, "Lucida Console");
  EXPECT_EQ(back.filterFileEnabled, 1);
  EXPECT_STREQ(back.filterFile, "/var/log/pager filters.log");
  EXPECT_EQ(back.filterFileFlush, 1);
  EXPECT_EQ(back.filterFlushTime, 3);
  EXPECT_EQ(back.filterCmdFileEnabled, 1);
  EXPECT_STREQ(back.filterCmdFile, "/usr/local/bin/notify");
  EXPECT_STREQ(back.filterCmdArgs, "  %c \"%l\" %m  ");
  EXPECT_EQ(back.filterCmdMax, 3);
  for (int slot = 1; slot <= kColorSlots; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(back.colors[slot], s.colors[slot]);
  }
  EXPECT_EQ(back.statFileEnabled, 1);
  EXPECT_STREQ(back.statFile, "/tmp/stats.txt");
  EXPECT_STREQ(back.serialDevice, "/dev/serial/by-id/usb-FTDI-if00");
  ASSERT_EQ(backTable.count, kMaxFilters);
  for (int i = 0; i < kMaxFilters; ++i) ExpectSameEntry(backTable.entries[i], t.entries[i], i);

  ASSERT_EQ(SaveSettings("Skelmar", path, back, backTable), 1);
  EXPECT_EQ(test::ReadFile(path), first);
}

TEST(SettingsFileRoundTrip, ForeignSectionsCommentsAndKeysAreKept) {
  test::TempDir dir;
  const auto path = dir.path() / "Skelmar.INI";
  test::WriteFile(path,
                  "; Skelmar settings\r\n"
                  "[Other Program]\r\n"
                  "Option=1\r\n"
                  "\r\n"
                  "[skelmar]\r\n"
                  "; my window\r\n"
                  "XPOS=77\r\n"
                  "Unknown=kept\r\n"
                  "\r\n"
                  "[Filter]\r\n"
                  "FilterCount=0\r\n"
                  "Mine=also kept\r\n");
  Settings s;
  FilterTable t;
  LoadSettings("Skelmar", path, s, t);
  EXPECT_EQ(s.xPos, 77);
  s.xPos = 12;
  ASSERT_EQ(SaveSettings("Skelmar", path, s, t), 1);
  const std::string out = test::ReadFile(path);
  EXPECT_EQ(out.rfind("; Skelmar settings\n[Other Program]\nOption=1\n\n[skelmar]\n; my window\n"
                      "Unknown=kept\nxPos=12\n",
                      0),
            0u)
      << out;
  EXPECT_EQ(RawValue(out, "Filter", "Mine"), "also kept");
  EXPECT_EQ(RawValue(out, "Skelmar", "xPos"), "12");
  EXPECT_EQ(out.find("XPOS"), std::string::npos);
  // Saving again changes nothing.
  ASSERT_EQ(SaveSettings("Skelmar", path, s, t), 1);
  EXPECT_EQ(test::ReadFile(path), out);
}

TEST(SettingsFileRoundTrip, AMissingFileLeavesTheDefaults) {
  test::TempDir dir;
  Settings s;
  s.xPos = 9;  // whatever was there before stays
  FilterTable t;
  EXPECT_EQ(LoadSettings("Skelmar", dir.path() / "none.INI", s, t), 1);
  EXPECT_EQ(s.xPos, 9);
  EXPECT_EQ(s.xSize, 592);
  EXPECT_EQ(t.count, 0);
}

// What the reader accepts from a hand-edited file, a save writes back so that it reads the same.
TEST(SettingsFileRoundTrip, HandWrittenEntriesSurviveASaveAndAReload) {
  struct Case {
    std::string value;
    FilterEntry expected;
  };
  const std::vector<Case> cases = {
      // Blanks after the commas, as people write lists.
      {"2, \"0273040\", 0, \"FIRE\", \"\", 0", Entry(2, "0273040", 0, "FIRE", "", 0)},
      // Paths ending in a backslash, and a blank before the run flag.
      {"1,\"\",0,\"Path C:\\\",\"dir\\\", 1", Entry(1, "", 0, "Path C:\\", "dir\\", 1)},
      // No quotes at all, a quote inside the capcode, a run flag that is no digit.
      {",2\",,,, l", Entry(0, "2\"", -4, "", "", 'l' - '0')},
      // A carriage return inside the value reads as the blank a save would store.
      {"2,\"12\r45\",1,\"a\",\"b\",1", Entry(2, "12 45", 1, "a", "b", 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const Loaded first = LoadText("[Filter]\nFilterCount=1\nFilter1=" + c.value + "\n");
    ASSERT_EQ(first.filters.count, 1);
    ExpectSameEntry(first.filters.entries[0], c.expected, 0);
    const Loaded again = LoadText(SaveText(first.settings, first.filters));
    ExpectSameEntry(again.filters.entries[0], c.expected, 0);
  }
}

TEST(SettingsFileProblems, AByteOrderMarkIsSkippedAndUnreadableFilesAndEntriesAreNamed) {
  test::TempDir dir;
  const auto path = dir.path() / "Skelmar.INI";
  test::WriteFile(path,
                  "\xEF\xBB\xBF[Skelmar]\nxPos=7\n[Filter]\nFilterCount=2\n"
                  "Filter1=2,\"1234567\",0,\"\",\"\",0\nFilter2=garbage\n");
  Settings s;
  FilterTable t;
  std::string problem;
  EXPECT_EQ(LoadSettings("Skelmar", path, s, t, &problem), 1);
  EXPECT_EQ(s.xPos, 7);  // the first section is found behind the mark
  // The mark is kept by a save: a second one behind it (and what it hides)
  // must not come to light in the saved file.
  const Loaded twice = LoadText("\xEF\xBB\xBF\xEF\xBB\xBF[Skelmar]\nPercent=3\n");
  EXPECT_EQ(twice.settings.percent, 75.0);
  EXPECT_EQ(LoadText(SaveText(twice.settings, twice.filters,
                              "\xEF\xBB\xBF\xEF\xBB\xBF[Skelmar]\nPercent=3\n"))
                .settings.percent,
            75.0);
  EXPECT_EQ(problem.find(path.string()) != std::string::npos &&
                problem.find("Filter2") != std::string::npos,
            true)
      << problem;

  // A folder, and something without end, are refused with their name.
  for (const std::filesystem::path& bad : {dir.path(), std::filesystem::path("/dev/zero")}) {
    problem.clear();
    Settings d;
    EXPECT_EQ(LoadSettings("Skelmar", bad, d, t, &problem), 0);
    EXPECT_NE(problem.find(bad.string()), std::string::npos) << problem;
    EXPECT_EQ(d.xPos, Settings{}.xPos);
  }
}

TEST(SettingsFileProblems, UnknownKeysAndTextsTooLongForTheirFieldsAreNamedAndNotUsed) {
  test::TempDir dir;
  const auto path = dir.path() / "Skelmar.INI";
  // A path one character longer than the field holds, and one that just fits.
  const std::string tooLong = "/var/log/" + std::string(kPathCapacity - 9, 'x');
  const std::string fits = "/bin/" + std::string(kPathCapacity - 6, 'y');
  test::WriteFile(path,
                  "[Skelmar]\n"
                  "xPos=7\n"
                  "FilterLogEnabled=1\n"  // line 3: misspelt (FilterFileEnabled)
                  "[Filter]\n"
                  "FilterFile=" +
                      tooLong +
                      "\n"
                      "FilterCmdFile=\"" +
                      fits +
                      "\"\n"
                      "FilterCount=250\n"          // more than the table holds
                      "FilterCmdFlie=/bin/true\n"  // line 8
                      "[Other]\n"
                      "Whatever=1\n"  // another program's section: not ours to judge
                      "[skelmar]\n"
                      "filterlogenabled=2\n");  // the same unknown key again: named once
  Settings s;
  FilterTable t;
  std::string problem;
  EXPECT_EQ(LoadSettings("Skelmar", path, s, t, &problem), 1);
  EXPECT_EQ(s.xPos, 7);
  EXPECT_STREQ(s.filterFile, "");  // refused whole, never cut
  EXPECT_EQ(std::string(s.filterCmdFile), fits);
  EXPECT_NE(problem.find("FilterFile (at most 255 characters)"), std::string::npos) << problem;
  EXPECT_EQ(problem.find("FilterCmdFile ("), std::string::npos) << problem;
  EXPECT_NE(problem.find("FilterLogEnabled (line 3)"), std::string::npos) << problem;
  EXPECT_NE(problem.find("FilterCmdFlie (line 8)"), std::string::npos) << problem;
  EXPECT_EQ(problem.find("filterlogenabled"), std::string::npos) << problem;
  EXPECT_EQ(problem.find("Whatever"), std::string::npos) << problem;
  EXPECT_EQ(problem.find("xPos"), std::string::npos) << problem;
  EXPECT_NE(problem.find("FilterCount is 250, and the filters past the first 200 are not used"),
            std::string::npos)
      << problem;

  // A file of known keys only has nothing to say.
  test::WriteFile(path,
                  "[Skelmar]\nxPos=7\n[Filter]\nFilterCount=1\nFilter1=2,\"1\",0,\"\",\"\",0\n");
  problem = "x";
  EXPECT_EQ(LoadSettings("Skelmar", path, s, t, &problem), 1);
  EXPECT_EQ(problem, "");
}

TEST(SettingsFileAtomic, AFailedSaveLeavesTheOldFileAsItWas) {
  test::TempDir dir;
  const auto path = dir.path() / "Skelmar.INI";
  const std::string old = "[Skelmar]\nxPos=1\n";
  test::WriteFile(path, old);
  std::filesystem::create_directory(dir.path() /
                                    "Skelmar.INI.tmp");  // the temporary cannot be made
  std::string error;
  EXPECT_EQ(SaveSettings("Skelmar", path, FullRecord(), FullTable(), &error), 0);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(test::ReadFile(path), old);
  EXPECT_EQ(WriteIntSetting("Skelmar", "xPos", 5, path), 0);
  EXPECT_EQ(test::ReadFile(path), old);

  // Without the obstacle both succeed.
  std::filesystem::remove(dir.path() / "Skelmar.INI.tmp");
  EXPECT_EQ(WriteIntSetting("Skelmar", "xPos", -5, path), 1);
  EXPECT_EQ(test::ReadFile(path), "[Skelmar]\nxPos=-5\n");
}

}  // namespace
}  // namespace skelmar
