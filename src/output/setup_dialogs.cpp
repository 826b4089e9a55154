// Setup dialog rules: port table, IRQ list, address field, Options OK, font
// record, colour working copies and the preview lines.
#include "output/setup_dialogs.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "frontend/channel_control.h"
#include "output/filters.h"

namespace skelmar {
namespace {

constexpr const char* kPortNames[kPortChoices] = {"COM1", "COM2", "COM3", "COM4", "Custom"};
constexpr StandardPort kStandardPorts[4] = {{0x3F8, 4}, {0x2F8, 3}, {0x3E8, 4}, {0x2E8, 3}};

struct IrqEntry {
  const char* name;
  int32_t value;
};
constexpr IrqEntry kIrqs[kIrqChoices] = {{"2/9", 2}, {"3", 3},   {"4", 4},   {"5", 5},  {"6", 6},
                                         {"7", 7},   {"10", 10}, {"11", 11}, {"12", 12}};

bool IsStandardPort(int comPort) { return comPort >= 1 && comPort <= 4; }

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// Preview text; line 9's message and line 10's label are ours (21 and 12 characters).
constexpr PreviewPiece kLine0[] = {{kSlotCapcode, "{1809544} 1 "},
                                   {kSlotNumeric, "1-800-555-9999"}};
constexpr PreviewPiece kLine1[] = {
    {kSlotCapcode, "{0403247} 3 "}, {kSlotFilterMatch, "TEST"}, {kSlotAlphanumeric, "ING..."}};
constexpr PreviewPiece kLine2[] = {{kSlotCapcode, "[001234567] "}, {kSlotFlexPhase, "A "},
                                   {kSlotFlexFormat, "SH/TONE "},  {kSlotNumeric, "555-"},
                                   {kSlotBitErrors, "12"},         {kSlotNumeric, "34"}};
constexpr PreviewPiece kLine3[] = {{kSlotCapcode, "[004597213] "}, {kSlotFilterLabel, "XYZ "},
                                   {kSlotFlexPhase, "C "},         {kSlotFlexFormat, " ALPHA  "},
                                   {kSlotFilterMatch, "test"},     {kSlotAlphanumeric, " msg"}};
constexpr PreviewPiece kLine4[] = {{kSlotCapcode, "[002874934] "},
                                   {kSlotFlexPhase, "C "},
                                   {kSlotFlexFormat, "ST NUM  "},
                                   {kSlotNumeric, "909-555-7777"}};
constexpr PreviewPiece kLine5[] = {{kSlotTimestamp, "------- 1/17/99 8:45:00 AM -------"}};
constexpr PreviewPiece kLine6[] = {{kSlotCapcode, "[001860257] "},
                                   {kSlotFlexPhase, "A "},
                                   {kSlotFlexFormat, "BINARY  "},
                                   {kSlotFlexBinary, "6E424F2037C4"}};
constexpr PreviewPiece kLine7[] = {{kSlotCapcode, "[003858206] "},
                                   {kSlotFlexPhase, "C "},
                                   {kSlotFlexFormat, " ALPHA  "},
                                   {kSlotAlphanumeric, "Emer"},
                                   {kSlotBitErrors, "gency!"}};
constexpr PreviewPiece kLine8[] = {{kSlotCapcode, "[004387003] "},
                                   {kSlotFlexPhase, "A "},
                                   {kSlotFlexFormat, "SH/TONE "},
                                   {kSlotNumeric, "777 *"}};
constexpr PreviewPiece kLine9[] = {{kSlotCapcode, "{0317438} 3 "},
                                   {kSlotAlphanumeric, "Call me back at 5 pm."}};
constexpr PreviewPiece kLine10[] = {
    {kSlotCapcode, "{0342785} 1 "}, {kSlotFilterLabel, "Dispatch #1 "}, {kSlotNumeric, "555-5555"}};
constexpr PreviewPiece kLine11[] = {{kSlotCapcode, "{1045654} 2 "},
                                    {kSlotNumeric, "800-111-9876 911"}};
constexpr PreviewPiece kLine12[] = {{kSlotCapcode, "{0582694} 2 "},
                                    {kSlotNumeric, "1-1052-453-334"}};

constexpr std::span<const PreviewPiece> kPreview[kPreviewLines] = {
    kLine0, kLine1, kLine2, kLine3,  kLine4,  kLine5, kLine6,
    kLine7, kLine8, kLine9, kLine10, kLine11, kLine12};

}  // namespace

const char* PortChoiceName(int choice) {
  return (choice >= 0 && choice < kPortChoices) ? kPortNames[choice] : "";
}

StandardPort StandardPortOf(int comPort) {
  return IsStandardPort(comPort) ? kStandardPorts[comPort - 1] : StandardPort{0, 0};
}

const char* IrqChoiceName(int choice) {
  return (choice >= 0 && choice < kIrqChoices) ? kIrqs[choice].name : "";
}

int32_t IrqChoiceValue(int choice) {
  return (choice >= 0 && choice < kIrqChoices) ? kIrqs[choice].value : 0;
}

int IrqChoiceOf(int32_t irq) {
  for (int i = 0; i < kIrqChoices; ++i) {
    if (kIrqs[i].value == irq) return i;
  }
  return -1;
}

std::string FormatPortAddress(int32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%03X", static_cast<unsigned>(address));
  return text;
}

bool ParsePortAddress(const std::string& text, int32_t& address) {
  std::string s = Trim(text.substr(0, kPortAddressLimit));
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.erase(0, 2);
  if (s.empty()) return false;
  int32_t value = 0;
  for (char c : s) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    const int digit = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
    value = value * 16 + digit;  // five characters at most: no overflow
  }
  address = value;
  return true;
}

InterfaceFields OpenInterfaceFields(const Settings& settings) {
  InterfaceFields f;
  f.portChoice =
      (settings.comPort >= 1 && settings.comPort <= kPortChoices) ? settings.comPort - 1 : -1;
  f.address = FormatPortAddress(settings.comPortAddr);
  f.irqChoice = IrqChoiceOf(settings.comPortIrq);
  f.customEnabled = settings.comPort == kCustomPort;
  f.fourLevel = settings.fourLevelInterface != 0;
  f.invert = settings.invertData != 0;
  f.device.assign(settings.serialDevice, strnlen(settings.serialDevice, kPathCapacity));
  return f;
}

InterfaceFields ChoosePort(const InterfaceFields& fields, int portChoice) {
  InterfaceFields f = fields;
  if (portChoice < 0 || portChoice >= kPortChoices) return f;
  f.portChoice = portChoice;
  const int comPort = portChoice + 1;
  f.customEnabled = comPort == kCustomPort;
  if (IsStandardPort(comPort)) {
    const StandardPort port = StandardPortOf(comPort);
    f.address = FormatPortAddress(port.address);
    f.irqChoice = IrqChoiceOf(port.irq);
  }
  return f;
}

bool AcceptInterface(const InterfaceFields& fields, Settings& settings, MessageSink& messages) {
  if (fields.portChoice < 0 || fields.portChoice >= kPortChoices) {
    settings.comPort = 0;
  } else if (IsStandardPort(fields.portChoice + 1)) {
    settings.comPort = fields.portChoice + 1;
    const StandardPort port = StandardPortOf(settings.comPort);
    settings.comPortAddr = port.address;
    settings.comPortIrq = port.irq;
  } else {
    settings.comPort = kCustomPort;
    if (Trim(fields.address).empty()) {
      messages.ShowMessage("You must provide an I/O Address!");
      return false;
    }
    if (fields.irqChoice < 0 || fields.irqChoice >= kIrqChoices) {
      messages.ShowMessage("You must select an IRQ vector!");
      return false;
    }
    int32_t address = 0;
    if (ParsePortAddress(fields.address, address)) settings.comPortAddr = address;
    settings.comPortIrq = IrqChoiceValue(fields.irqChoice);
  }
  settings.fourLevelInterface = fields.fourLevel ? 1 : 0;
  settings.invertData = fields.invert ? 1 : 0;
  std::snprintf(settings.serialDevice, sizeof settings.serialDevice, "%.*s", kPathCapacity - 1,
                Trim(fields.device).c_str());
  return true;
}

bool InterfaceLinkChanged(const Settings& before, const Settings& after) {
  return before.comPort != after.comPort || before.comPortAddr != after.comPortAddr ||
         before.comPortIrq != after.comPortIrq ||
         std::strncmp(before.serialDevice, after.serialDevice, kPathCapacity) != 0;
}

const OptionBox kOptionBoxTable[kOptionBoxes] = {
    {"Confirm E&xit", &Settings::confirmExit},      {"&Timestamp", &Settings::timestamp},
    {"Show &Numeric/Tone", &Settings::showNumeric}, {"Show &Miscellaneous", &Settings::showMisc},
    {"Enable &Filter Beep", &Settings::filterBeep}, {"Decode POCSAG", &Settings::decodePocsag},
    {"Decode FLEX/ReFLEX", &Settings::decodeFlex},  {"Decode Golay (GSC)", &Settings::decodeGolay},
};

void AcceptOptions(const bool (&checked)[kOptionBoxes], Settings& settings,
                   ChannelControl& channel) {
  for (int i = 0; i < kOptionBoxes; ++i) settings.*kOptionBoxTable[i].setting = checked[i] ? 1 : 0;
  if (settings.decodePocsag == 0) channel.SwitchedOff(ChannelUser::kPocsag);
  if (settings.decodeFlex == 0) channel.SwitchedOff(ChannelUser::kFlex);
  if (settings.decodeGolay == 0) channel.SwitchedOff(ChannelUser::kGsc);
}

void ApplyFontChoice(LogFont& font, const char* faceName, int pixelHeight, int weight,
                     bool italic) {
  font.height = -(pixelHeight < 0 ? -pixelHeight : pixelHeight);
  font.weight = weight;
  font.italic = italic ? 1 : 0;
  std::snprintf(font.faceName, sizeof font.faceName, "%s", faceName ? faceName : "");
}

ViewMetrics PaneViewMetrics(int averageCharWidth, int height, int externalLeading) {
  ViewMetrics m;
  m.charWidth = averageCharWidth;
  m.lineHeight = height + externalLeading;
  m.textWidth = 78 * averageCharWidth;
  return m;
}

const ColorButton kColorButtonTable[kColorButtons] = {
    {"&Background", "Skelmar Background", kSlotBackground},
    {"&Capcode", "Skelmar Capcode", kSlotCapcode},
    {"FLEX &Phase", "Skelmar FLEX Phase", kSlotFlexPhase},
    {"FLEX &Format", "Skelmar FLEX Format", kSlotFlexFormat},
    {"&Timestamp", "Skelmar Timestamp", kSlotTimestamp},
    {"&Numeric", "Skelmar Numeric", kSlotNumeric},
    {"&Alphanumeric", "Skelmar Alphanumeric", kSlotAlphanumeric},
    {"FLEX B&inary", "Skelmar FLEX Binary", kSlotFlexBinary},
    {"Bit &Errors", "Skelmar Bit Errors", kSlotBitErrors},
    {"Filter &Match", "Skelmar Filter Match", kSlotFilterMatch},
    {"Filter &Label", "Skelmar Filter Label", kSlotFilterLabel},
};

ColorWorkingCopies::ColorWorkingCopies(const Settings& settings) {
  for (int slot = 0; slot <= kColorSlots; ++slot) colors_[slot] = settings.colors[slot];
  colors_[kSlotUnknownSync] = kDefaultColors[kSlotUnknownSync];
}

ColorRef ColorWorkingCopies::Get(int slot) const {
  return (slot >= 1 && slot <= kColorSlots) ? colors_[slot] : colors_[kSlotBackground];
}

void ColorWorkingCopies::Set(int slot, ColorRef color) {
  // Slot 9 has no button and always keeps its fixed colour.
  if (slot >= 1 && slot <= kColorSlots && slot != kSlotUnknownSync)
    colors_[slot] = color & 0xFFFFFF;
}

void ColorWorkingCopies::ResetToDefaults() {
  for (int slot = 1; slot <= kColorSlots; ++slot) colors_[slot] = kDefaultColors[slot];
}

bool ColorWorkingCopies::Apply(Settings& settings) const {
  for (const ColorButton& button : kColorButtonTable) {
    if (button.slot != kSlotBackground) settings.colors[button.slot] = colors_[button.slot];
  }
  if (colors_[kSlotBackground] == settings.colors[kSlotBackground]) return false;
  settings.colors[kSlotBackground] = colors_[kSlotBackground];
  return true;
}

std::span<const PreviewPiece> PreviewLine(int line) {
  return (line >= 0 && line < kPreviewLines) ? kPreview[line] : std::span<const PreviewPiece>{};
}

}  // namespace skelmar
