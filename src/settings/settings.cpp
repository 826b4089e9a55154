// Defaults of the settings record and the table that maps each key to its field.
#include "settings/settings.h"

#include <cstring>

namespace skelmar {

const ColorRef kDefaultColors[kColorSlots + 1] = {
    0,                   // unused
    Rgb(0, 0, 0),        // background
    Rgb(0, 128, 0),      // capcode
    Rgb(0, 255, 255),    // FLEX phase
    Rgb(255, 0, 255),    // FLEX format
    Rgb(0, 0, 255),      // time-stamp rule
    Rgb(255, 0, 0),      // numeric
    Rgb(255, 255, 0),    // alphanumeric
    Rgb(128, 128, 64),   // FLEX binary
    Rgb(255, 0, 0),      // unknown sync header (fixed)
    Rgb(192, 192, 192),  // bit errors
    Rgb(255, 255, 255),  // filter match
    Rgb(0, 255, 0),      // filter label
};

Settings::Settings() { ResetToDefaults(); }

void Settings::ResetToDefaults() {
  // Member initialisers carry the defaults; only the colour table is copied.
  Settings& self = *this;
  self = Settings(kDefaultsOnly);
  std::memcpy(colors, kDefaultColors, sizeof colors);
}

namespace {
#define SK_FIELD(member) [](Settings& s) -> void* { return &s.member; }
#define SK_APP(name, kind, member) \
  { name, SettingSection::kApplication, kind, SK_FIELD(member), 0 }
#define SK_TEXT(name, section, member)                   \
  {                                                      \
    name, section, SettingKind::kText, SK_FIELD(member), \
        static_cast<int>(sizeof(Settings::member))       \
  }
}  // namespace

const SettingKey kSettingKeys[] = {
    SK_APP("xPos", SettingKind::kInt, xPos),
    SK_APP("yPos", SettingKind::kInt, yPos),
    SK_APP("xSize", SettingKind::kInt, xSize),
    SK_APP("ySize", SettingKind::kInt, ySize),
    SK_APP("Maximized", SettingKind::kInt, maximized),
    SK_APP("Timestamp", SettingKind::kInt, timestamp),
    SK_APP("ConfirmExit", SettingKind::kInt, confirmExit),
    SK_APP("ShowNumeric", SettingKind::kInt, showNumeric),
    SK_APP("ShowMisc", SettingKind::kInt, showMisc),
    SK_APP("FilterBeep", SettingKind::kInt, filterBeep),
    SK_APP("DecodePocsag", SettingKind::kInt, decodePocsag),
    SK_APP("DecodeFlex", SettingKind::kInt, decodeFlex),
    SK_APP("DecodeGolay", SettingKind::kInt, decodeGolay),
    SK_APP("4LevelInterface", SettingKind::kInt, fourLevelInterface),
    SK_APP("InvertData", SettingKind::kInt, invertData),
    SK_APP("Percent", SettingKind::kPercent, percent),
    SK_APP("ComPort", SettingKind::kPort, comPort),
    SK_APP("ComPortAddr", SettingKind::kPort, comPortAddr),
    SK_APP("ComPortIRQ", SettingKind::kPort, comPortIrq),
    SK_APP("Font.Height", SettingKind::kInt, font.height),
    SK_APP("Font.Width", SettingKind::kInt, font.width),
    SK_APP("Font.Escapement", SettingKind::kInt, font.escapement),
    SK_APP("Font.Orientation", SettingKind::kInt, font.orientation),
    SK_APP("Font.Weight", SettingKind::kInt, font.weight),
    SK_APP("Font.Italic", SettingKind::kByte, font.italic),
    SK_APP("Font.CharSet", SettingKind::kByte, font.charSet),
    SK_APP("Font.OutPrecision", SettingKind::kByte, font.outPrecision),
    SK_APP("Font.ClipPrecision", SettingKind::kByte, font.clipPrecision),
    SK_APP("Font.Quality", SettingKind::kByte, font.quality),
    SK_APP("Font.PitchAndFamily", SettingKind::kByte, font.pitchAndFamily),
    SK_TEXT("Font.FaceName", SettingSection::kApplication, font.faceName),
    SK_APP("Color.Background", SettingKind::kColor, colors[kSlotBackground]),
    SK_APP("Color.Capcode", SettingKind::kColor, colors[kSlotCapcode]),
    SK_APP("Color.FLEXPhase", SettingKind::kColor, colors[kSlotFlexPhase]),
    SK_APP("Color.FLEXFormat", SettingKind::kColor, colors[kSlotFlexFormat]),
    SK_APP("Color.Timestamp", SettingKind::kColor, colors[kSlotTimestamp]),
    SK_APP("Color.Numeric", SettingKind::kColor, colors[kSlotNumeric]),
    SK_APP("Color.Alphanumeric", SettingKind::kColor, colors[kSlotAlphanumeric]),
    SK_APP("Color.FLEXBinary", SettingKind::kColor, colors[kSlotFlexBinary]),
    SK_APP("Color.BitErrors", SettingKind::kColor, colors[kSlotBitErrors]),
    SK_APP("Color.FilterMatch", SettingKind::kColor, colors[kSlotFilterMatch]),
    SK_APP("Color.FilterLabel", SettingKind::kColor, colors[kSlotFilterLabel]),
    SK_APP("StatFileEnabled", SettingKind::kInt, statFileEnabled),
    SK_TEXT("StatFile", SettingSection::kApplication, statFile),
    SK_TEXT("SerialDevice", SettingSection::kApplication, serialDevice),
    SK_TEXT("Charset", SettingSection::kApplication, charset),
    SK_TEXT("PocsagType", SettingSection::kApplication, pocsagType),
    {"FilterFileEnabled", SettingSection::kFilter, SettingKind::kInt, SK_FIELD(filterFileEnabled),
     0},
    SK_TEXT("FilterFile", SettingSection::kFilter, filterFile),
    {"FilterFileFlush", SettingSection::kFilter, SettingKind::kInt, SK_FIELD(filterFileFlush), 0},
    {"FilterFlushTime", SettingSection::kFilter, SettingKind::kInt, SK_FIELD(filterFlushTime), 0},
    {"FilterCmdFileEnabled", SettingSection::kFilter, SettingKind::kInt,
     SK_FIELD(filterCmdFileEnabled), 0},
    SK_TEXT("FilterCmdFile", SettingSection::kFilter, filterCmdFile),
    SK_TEXT("FilterCmdArgs", SettingSection::kFilter, filterCmdArgs),
    {"FilterCmdMax", SettingSection::kFilter, SettingKind::kInt, SK_FIELD(filterCmdMax), 0},
};
const size_t kSettingKeyCount = sizeof kSettingKeys / sizeof kSettingKeys[0];

#undef SK_FIELD
#undef SK_APP
#undef SK_TEXT

bool ParsePocsagType(const char* text, PocsagTypeChoice& choice) {
  static constexpr struct {
    const char* name;
    PocsagTypeChoice choice;
  } kChoices[] = {{"auto", PocsagTypeChoice::kAuto},
                  {"function", PocsagTypeChoice::kFunction},
                  {"alpha", PocsagTypeChoice::kAlpha},
                  {"numeric", PocsagTypeChoice::kNumeric}};
  if (text == nullptr) return false;
  for (const auto& c : kChoices) {
    size_t i = 0;
    while (c.name[i] != 0 && (text[i] | 0x20) == c.name[i]) ++i;
    if (c.name[i] == 0 && text[i] == 0) {
      choice = c.choice;
      return true;
    }
  }
  return false;
}

const SettingKey* FindSettingKey(const char* key) {
  for (const SettingKey& k : kSettingKeys) {
    if (std::strcmp(k.key, key) == 0) return &k;
  }
  return nullptr;
}

}  // namespace skelmar
