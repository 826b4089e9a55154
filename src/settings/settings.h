// The one record of all user settings, with their defaults and the key table
// that the settings file and the dialogs share.
#pragma once

#include <cstddef>
#include <cstdint>

namespace skelmar {

inline constexpr int kPathCapacity = 256;  ///< path and template fields, terminator included

/// Colour value: red in bits 0-7, green in bits 8-15, blue in bits 16-23.
using ColorRef = uint32_t;
constexpr ColorRef Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
constexpr uint32_t RedOf(ColorRef c) { return c & 0xFF; }
constexpr uint32_t GreenOf(ColorRef c) { return (c >> 8) & 0xFF; }
constexpr uint32_t BlueOf(ColorRef c) { return (c >> 16) & 0xFF; }

/// The pane font as a logical-font description.
struct LogFont {
  int32_t height = -11;
  int32_t width = 0;
  int32_t escapement = 0;
  int32_t orientation = 0;
  int32_t weight = 400;
  uint8_t italic = 0;
  uint8_t underline = 0;  ///< not kept in the file
  uint8_t strikeOut = 0;  ///< not kept in the file
  uint8_t charSet = 255;  ///< OEM
  uint8_t outPrecision = 3;
  uint8_t clipPrecision = 0;
  uint8_t quality = 0;
  uint8_t pitchAndFamily = 49;  ///< fixed pitch, modern family
  char faceName[32] = "Courier New";
};

/// Colour slots stored with every pane character.
enum ColorSlot : int {
  kSlotBackground = 1,
  kSlotCapcode = 2,
  kSlotFlexPhase = 3,
  kSlotFlexFormat = 4,
  kSlotTimestamp = 5,
  kSlotNumeric = 6,
  kSlotAlphanumeric = 7,
  kSlotFlexBinary = 8,
  kSlotUnknownSync = 9,  ///< fixed colour, never saved or edited
  kSlotBitErrors = 10,
  kSlotFilterMatch = 11,
  kSlotFilterLabel = 12,
};
inline constexpr int kColorSlots = 12;

/// Filter commands running at once unless the settings say otherwise.
inline constexpr int32_t kDefaultFilterCmdMax = 8;

/// Default colour of each slot, index 1..12 (index 0 unused).
extern const ColorRef kDefaultColors[kColorSlots + 1];

struct Settings {
  int32_t xPos = 0;
  int32_t yPos = 0;
  int32_t xSize = 592;
  int32_t ySize = 350;
  /// The window was maximised when it closed; xPos to ySize are then its
  /// normal place and size. Written only when set.
  int32_t maximized = 0;
  int32_t timestamp = 1;
  int32_t confirmExit = 1;
  int32_t showNumeric = 1;
  int32_t showMisc = 1;
  int32_t filterBeep = 0;
  int32_t decodePocsag = 1;
  int32_t decodeFlex = 1;
  int32_t decodeGolay = 1;
  int32_t comPort = 0;  ///< 0 none, 1..4 the standard ports, 5 custom
  int32_t comPortAddr = 0;
  int32_t comPortIrq = 0;
  int32_t fourLevelInterface = 0;
  int32_t invertData = 0;
  double percent = 75.0;  ///< the monitor pane's share of the client height
  LogFont font;
  int32_t filterFileEnabled = 0;
  char filterFile[kPathCapacity] = {};
  int32_t filterFileFlush = 0;
  int32_t filterFlushTime = 0;
  int32_t filterCmdFileEnabled = 0;
  char filterCmdFile[kPathCapacity] = {};
  char filterCmdArgs[kPathCapacity] = {};
  /// How many filter commands may run at once (1..64); more wait in a
  /// bounded queue. Saved as "FilterCmdMax", only when not the default.
  int32_t filterCmdMax = kDefaultFilterCmdMax;
  ColorRef colors[kColorSlots + 1] = {};  ///< slots 1..12; set from kDefaultColors
  int32_t statFileEnabled = 0;
  char statFile[kPathCapacity] = {};
  /// Serial device of the slicer when it is not one of the standard ports
  /// (USB adapters); empty when unused. Saved as "SerialDevice".
  char serialDevice[kPathCapacity] = {};
  /// National character set of alphanumeric text: US, DE, DK, NO, SE, FI, FR,
  /// SI or FILE:path. Saved as "Charset".
  char charset[kPathCapacity] = "US";
  /// How a POCSAG page's type is chosen: auto, function, alpha or numeric.
  /// Saved as "PocsagType".
  char pocsagType[16] = "auto";

  Settings();  ///< every field at its default
  void ResetToDefaults();

 private:
  struct DefaultsOnlyTag {};
  static constexpr DefaultsOnlyTag kDefaultsOnly{};
  explicit Settings(DefaultsOnlyTag) {}
};

/// How a POCSAG message is told numeric or alphanumeric ("PocsagType").
enum class PocsagTypeChoice {
  kAuto,      ///< the contents decide
  kFunction,  ///< function bits 11 alpha, 00 numeric, 01 and 10 by the contents
  kAlpha,     ///< always alphanumeric
  kNumeric,   ///< always numeric
};
/// Reads "auto", "function", "alpha" or "numeric" (any letter case); false for anything else.
bool ParsePocsagType(const char* text, PocsagTypeChoice& choice);

/// Which section of the settings file a key lives in.
enum class SettingSection { kApplication, kFilter };

/// How a key's value is kept in the record.
enum class SettingKind {
  kInt,      ///< int32 written with "%i"
  kByte,     ///< 8-bit font field, read as an integer, low 8 bits kept
  kPercent,  ///< double, kept in the file as a truncated integer
  kText,     ///< zero-terminated character array
  kColor,    ///< ColorRef written as "%d,%d,%d"
  kPort,     ///< "ComPort", "ComPortAddr", "ComPortIRQ": special formats
};

/// One row of the key table: the key, its section and kind, and where its
/// field lives in the record.
struct SettingKey {
  const char* key;
  SettingSection section;
  SettingKind kind;
  void* (*field)(Settings&);  ///< address of the field in a record
  int capacity;               ///< kText: array size; others: 0
};

/// Every key of the record in file order (the filter list itself is not here).
extern const SettingKey kSettingKeys[];
extern const size_t kSettingKeyCount;

/// The key's row, or nullptr.
const SettingKey* FindSettingKey(const char* key);

}  // namespace skelmar
