// Setup dialog rules: the Interface OK cases, the Options side effects on the
// front end, the colour working copies and the colour preview's lines.
#include "output/setup_dialogs.h"

#include <gtest/gtest.h>

#include <string>

#include "frontend/front_end.h"
#include "frontend/mode_caption.h"
#include "output/statistics.h"
#include "support/fakes.h"

namespace skelmar::test {
namespace {

TEST(InterfaceRules, NoPortThenCom2ThenCustomKeepsTheStandardValues) {
  Settings settings;
  settings.comPortAddr = 0x123;
  settings.comPortIrq = 7;
  RecordingMessages messages;

  InterfaceFields f = OpenInterfaceFields(settings);  // ComPort 0
  EXPECT_EQ(f.portChoice, -1);
  EXPECT_FALSE(f.customEnabled);
  ASSERT_TRUE(AcceptInterface(f, settings, messages));
  EXPECT_EQ(settings.comPort, 0);
  EXPECT_EQ(settings.comPortAddr, 0x123);  // left as they were
  EXPECT_EQ(settings.comPortIrq, 7);

  f = ChoosePort(f, 1);  // "COM2"
  EXPECT_STREQ(PortChoiceName(f.portChoice), "COM2");
  EXPECT_EQ(f.address, "0x2F8");
  EXPECT_STREQ(IrqChoiceName(f.irqChoice), "3");
  EXPECT_FALSE(f.customEnabled);
  InterfaceFields typedOver = f;
  typedOver.address = "0x100";  // a standard port ignores the fields
  ASSERT_TRUE(AcceptInterface(typedOver, settings, messages));
  EXPECT_EQ(settings.comPort, 2);
  EXPECT_EQ(settings.comPortAddr, 0x2F8);
  EXPECT_EQ(settings.comPortIrq, 3);

  f = ChoosePort(f, 4);  // "Custom" keeps what the fields show
  EXPECT_TRUE(f.customEnabled);
  EXPECT_EQ(f.address, "0x2F8");
  EXPECT_STREQ(IrqChoiceName(f.irqChoice), "3");
  f.address = "0x2e8";
  f.irqChoice = IrqChoiceOf(5);
  ASSERT_TRUE(AcceptInterface(f, settings, messages));
  EXPECT_EQ(settings.comPort, 5);
  EXPECT_EQ(settings.comPortAddr, 0x2E8);
  EXPECT_EQ(settings.comPortIrq, 5);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(OpenInterfaceFields(settings).address, "0x2E8");
}

TEST(InterfaceRules, CustomRefusalsAndAddressesThatAreNoNumber) {
  Settings settings;
  settings.comPort = 1;
  settings.comPortAddr = 0x3F8;
  settings.comPortIrq = 4;
  RecordingMessages messages;
  InterfaceFields f = ChoosePort(OpenInterfaceFields(settings), 4);
  f.address = "";
  f.fourLevel = true;
  EXPECT_FALSE(AcceptInterface(f, settings, messages));
  EXPECT_EQ(settings.comPort, 5);  // stored before the check
  EXPECT_EQ(settings.fourLevelInterface, 0);
  f.address = "0x3E8";
  f.irqChoice = -1;
  EXPECT_FALSE(AcceptInterface(f, settings, messages));
  EXPECT_EQ(settings.comPortAddr, 0x3F8);
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0], "You must provide an I/O Address!");
  EXPECT_EQ(messages.shown[1], "You must select an IRQ vector!");

  f.irqChoice = 0;  // "2/9"
  ASSERT_TRUE(AcceptInterface(f, settings, messages));
  EXPECT_EQ(settings.comPortAddr, 0x3E8);
  for (const char* bad : {"zz", "0x", "3G8", "-3E8"}) {
    f.address = bad;
    ASSERT_TRUE(AcceptInterface(f, settings, messages)) << bad;
    EXPECT_EQ(settings.comPortAddr, 0x3E8) << bad;  // left as it was
  }
  f.address = "0x3F8F";  // the field holds five characters
  ASSERT_TRUE(AcceptInterface(f, settings, messages));
  EXPECT_EQ(settings.comPortAddr, 0x3F8);
  EXPECT_EQ(settings.comPortIrq, 2);
  EXPECT_EQ(settings.fourLevelInterface, 1);

  settings.comPortIrq = 9;  // missing from the list ("2/9" stands for 2)
  EXPECT_EQ(OpenInterfaceFields(settings).irqChoice, -1);
}

TEST(InterfaceRules, TheLinkIsReopenedOnlyForPortAddressIrqOrDevice) {
  Settings before;
  Settings after = before;
  after.invertData = 1;
  after.fourLevelInterface = 1;
  EXPECT_FALSE(InterfaceLinkChanged(before, after));
  after.comPortIrq = 3;
  EXPECT_TRUE(InterfaceLinkChanged(before, after));
  after = before;
  std::snprintf(after.serialDevice, sizeof after.serialDevice, "/dev/ttyUSB0");
  EXPECT_TRUE(InterfaceLinkChanged(before, after));
}

TEST(OptionsRules, BoxesStoreTheirSettingsAndSwitchedOffDecodersStopAtOnce) {
  Settings settings;
  ModeCaption caption(settings);
  FrontEnd front(settings, caption);
  front.shared.pocsagHold = 170;
  front.dataClock.period = kPocsagPeriod1200;
  front.shared.flexBusy = 1;
  front.shared.gscBusy = 1;

  // Every box off but "Decode Golay (GSC)" and "&Timestamp".
  bool checked[kOptionBoxes] = {false, true, false, false, false, false, false, true};
  AcceptOptions(checked, settings, front);
  EXPECT_EQ(settings.confirmExit, 0);
  EXPECT_EQ(settings.timestamp, 1);
  EXPECT_EQ(settings.showNumeric, 0);
  EXPECT_EQ(settings.showMisc, 0);
  EXPECT_EQ(settings.filterBeep, 0);
  EXPECT_EQ(settings.decodePocsag, 0);
  EXPECT_EQ(settings.decodeFlex, 0);
  EXPECT_EQ(settings.decodeGolay, 1);
  EXPECT_EQ(front.shared.pocsagHold, 0);
  EXPECT_DOUBLE_EQ(front.dataClock.period, kFlexPeriod1600);  // FLEX can sync again
  EXPECT_EQ(front.shared.flexBusy, 0);
  EXPECT_EQ(front.shared.gscBusy, 1);  // still decoding GSC

  bool golayOff[kOptionBoxes] = {true, true, true, true, true, true, true, false};
  AcceptOptions(golayOff, settings, front);
  EXPECT_EQ(front.shared.gscBusy, 0);
  EXPECT_EQ(settings.filterBeep, 1);
  EXPECT_EQ(settings.confirmExit, 1);
}

TEST(FontRules, TheChoiceKeepsTheRecordsOtherFields) {
  LogFont font;
  font.charSet = 0;
  font.quality = 4;
  font.escapement = 900;
  ApplyFontChoice(font, "DejaVu Sans Mono", 14, 700, true);
  EXPECT_EQ(font.height, -14);
  EXPECT_EQ(font.weight, 700);
  EXPECT_EQ(font.italic, 1);
  EXPECT_STREQ(font.faceName, "DejaVu Sans Mono");
  EXPECT_EQ(font.charSet, 0);
  EXPECT_EQ(font.quality, 4);
  EXPECT_EQ(font.escapement, 900);
  EXPECT_EQ(font.pitchAndFamily, 49);

  const ViewMetrics m = PaneViewMetrics(7, 13, 2);
  EXPECT_EQ(m.charWidth, 7);
  EXPECT_EQ(m.lineHeight, 15);
  EXPECT_EQ(m.textWidth, 546);
}

TEST(ColorRules, WorkingCopiesOkCancelAndDefaults) {
  Settings settings;
  const ColorRef oldCapcode = settings.colors[kSlotCapcode];
  ColorWorkingCopies copies(settings);
  copies.Set(kSlotCapcode, Rgb(1, 2, 3));
  copies.Set(kSlotFilterLabel, Rgb(4, 5, 6));
  copies.Set(kSlotUnknownSync, Rgb(7, 8, 9));            // no button: stays fixed
  EXPECT_EQ(settings.colors[kSlotCapcode], oldCapcode);  // nothing written before OK

  EXPECT_FALSE(copies.Apply(settings));  // text colours only: background unchanged
  EXPECT_EQ(settings.colors[kSlotCapcode], Rgb(1, 2, 3));
  EXPECT_EQ(settings.colors[kSlotFilterLabel], Rgb(4, 5, 6));
  EXPECT_EQ(settings.colors[kSlotUnknownSync], Rgb(255, 0, 0));

  ColorWorkingCopies again(settings);
  again.Set(kSlotBackground, Rgb(0, 0, 64));
  EXPECT_TRUE(again.Apply(settings));
  EXPECT_EQ(settings.colors[kSlotBackground], Rgb(0, 0, 64));
  EXPECT_FALSE(again.Apply(settings));  // the same background again is no change

  again.ResetToDefaults();
  EXPECT_EQ(again.Get(kSlotCapcode), Rgb(0, 128, 0));
  EXPECT_EQ(again.Get(kSlotBitErrors), Rgb(192, 192, 192));
  EXPECT_TRUE(again.Apply(settings));  // black again
  EXPECT_EQ(settings.colors[kSlotBackground], Rgb(0, 0, 0));
  EXPECT_EQ(settings.colors[kSlotFilterLabel], Rgb(0, 255, 0));

  // Every button edits its own slot (table order, the chooser titles as the labels say).
  ColorWorkingCopies each(Settings{});
  for (int i = 0; i < kColorButtons; ++i) {
    each.Set(kColorButtonTable[i].slot, Rgb(10, 0, static_cast<uint32_t>(i)));
  }
  Settings target;
  each.Apply(target);
  const int slots[kColorButtons] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12};
  for (int i = 0; i < kColorButtons; ++i) {
    EXPECT_EQ(target.colors[slots[i]], Rgb(10, 0, static_cast<uint32_t>(i)))
        << kColorButtonTable[i].chooserTitle;
  }
}

std::string LineText(int line) {
  std::string text;
  for (const PreviewPiece& piece : PreviewLine(line)) text += piece.text;
  return text;
}

TEST(ColorPreview, ThirteenLinesInTheirColours) {
  const char* expected[kPreviewLines] = {
      "{1809544} 1 1-800-555-9999",
      "{0403247} 3 TESTING...",
      "[001234567] A SH/TONE 555-1234",
      "[004597213] XYZ C  ALPHA  test msg",
      "[002874934] C ST NUM  909-555-7777",
      "------- 1/17/99 8:45:00 AM -------",
      "[001860257] A BINARY  6E424F2037C4",
      "[003858206] C  ALPHA  Emergency!",
      "[004387003] A SH/TONE 777 *",
      nullptr,
      nullptr,
      "{1045654} 2 800-111-9876 911",
      "{0582694} 2 1-1052-453-334",
  };
  for (int line = 0; line < kPreviewLines; ++line) {
    if (expected[line] != nullptr) {
      EXPECT_EQ(LineText(line), expected[line]) << line;
    }
  }
  // Our own sample texts: a 21-character message and a 12-character label ending in a blank.
  ASSERT_EQ(PreviewLine(9).size(), 2u);
  EXPECT_EQ(PreviewLine(9)[1].slot, kSlotAlphanumeric);
  EXPECT_EQ(std::string(PreviewLine(9)[1].text).size(), 21u);
  ASSERT_EQ(PreviewLine(10).size(), 3u);
  const std::string label = PreviewLine(10)[1].text;
  EXPECT_EQ(PreviewLine(10)[1].slot, kSlotFilterLabel);
  EXPECT_EQ(label.size(), 12u);
  EXPECT_EQ(label.back(), ' ');
  EXPECT_EQ(std::string(PreviewLine(10)[2].text), "555-5555");

  // The colour of every piece of two busy lines.
  const int line3[] = {kSlotCapcode,    kSlotFilterLabel, kSlotFlexPhase,
                       kSlotFlexFormat, kSlotFilterMatch, kSlotAlphanumeric};
  const int line7[] = {kSlotCapcode, kSlotFlexPhase, kSlotFlexFormat, kSlotAlphanumeric,
                       kSlotBitErrors};
  ASSERT_EQ(PreviewLine(3).size(), std::size(line3));
  for (size_t i = 0; i < std::size(line3); ++i) EXPECT_EQ(PreviewLine(3)[i].slot, line3[i]);
  ASSERT_EQ(PreviewLine(7).size(), std::size(line7));
  for (size_t i = 0; i < std::size(line7); ++i) EXPECT_EQ(PreviewLine(7)[i].slot, line7[i]);
  EXPECT_EQ(PreviewLine(5)[0].slot, kSlotTimestamp);
  EXPECT_EQ(PreviewLine(6)[3].slot, kSlotFlexBinary);
  EXPECT_TRUE(PreviewLine(kPreviewLines).empty());
}

TEST(StatisticsSnapshot, EachCountInItsPlaceAndTooBigOnesStarred) {
  StatCounters counters;
  counters.hourly[kRowPocsag512][kStatAlpha] = 1234567;  // too big for the hourly column
  counters.daily[kRowPocsag512][kStatAlpha] = 1234567;   // fits the daily one
  counters.hourly[kRowFlex3200][kStatNumeric] = 42;
  counters.daily[kRowGsc][kStatNumeric] = 10000000;
  const StatSnapshot s = TakeStatSnapshot(counters);
  EXPECT_STREQ(s.hourly[kRowPocsag512][kStatAlpha], "******");
  EXPECT_STREQ(s.daily[kRowPocsag512][kStatAlpha], "1234567");
  EXPECT_STREQ(s.hourly[kRowFlex3200][kStatNumeric], "42");
  EXPECT_STREQ(s.hourly[kRowFlex3200][kStatAlpha], "0");
  EXPECT_STREQ(s.daily[kRowFlex3200][kStatNumeric], "0");
  EXPECT_STREQ(s.daily[kRowGsc][kStatNumeric], "******");
  EXPECT_STREQ(StatRowDialogName(kRowGsc), "Golay (GSC)");
  EXPECT_STREQ(StatRowDialogName(kRowPocsag512), "POCSAG 512");
}

}  // namespace
}  // namespace skelmar::test
