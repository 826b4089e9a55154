// The rules of the Interface, Options, Font and Colors dialogs without any
// drawing: the port table, the IRQ list, the address field, what OK stores,
// the colour working copies and the colour preview's lines.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "settings/settings.h"

namespace skelmar {

class MessageSink;
class ChannelControl;

// ---- Interface -------------------------------------------------------------

inline constexpr int kPortChoices = 5;  ///< "COM1" .. "COM4", "Custom"
inline constexpr int kCustomPort = 5;   ///< `ComPort` of the "Custom" entry
inline constexpr int kIrqChoices = 9;
/// The address field takes at most this many characters ("0x3F8" fits).
inline constexpr int kPortAddressLimit = 5;

/// "COM1" .. "COM4", "Custom" for choice 0..4.
const char* PortChoiceName(int choice);

struct StandardPort {
  int32_t address;
  int32_t irq;
};
/// I/O address and IRQ of COM1..COM4 (`comPort` 1..4); {0, 0} otherwise.
StandardPort StandardPortOf(int comPort);

/// The IRQ list: "2/9" 2, "3" 3, ... "12" 12.
const char* IrqChoiceName(int choice);
int32_t IrqChoiceValue(int choice);
/// The entry whose value is `irq`, -1 when none is (9 selects nothing).
int IrqChoiceOf(int32_t irq);

/// "0x%03X".
std::string FormatPortAddress(int32_t address);
/// The address field read as a hexadecimal number: at most the first
/// kPortAddressLimit characters, blanks around allowed, a leading "0x" or "0X"
/// allowed, then only hexadecimal digits. False for anything else.
bool ParsePortAddress(const std::string& text, int32_t& address);

/// What the Interface dialog shows.
struct InterfaceFields {
  int portChoice = -1;         ///< -1: no port selected
  std::string address;         ///< the address field's text
  int irqChoice = -1;          ///< -1: no IRQ selected
  bool customEnabled = false;  ///< address and IRQ fields enabled
  bool fourLevel = false;
  bool invert = false;
  std::string device;  ///< "SerialDevice"; empty: the port table decides
};

/// On opening, from the settings.
InterfaceFields OpenInterfaceFields(const Settings& settings);
/// The user picked a port: fields enabled for Custom only; COM1..COM4 also
/// fill in their standard address and IRQ; Custom keeps what the fields show.
InterfaceFields ChoosePort(const InterfaceFields& fields, int portChoice);
/// OK: stores the port (before the Custom checks, so a refused OK leaves
/// `ComPort` at 5), then address and IRQ, the two flags and the device.
/// Returns false, after the message, when Custom lacks an address or an IRQ:
/// the dialog stays open. A text that is no hexadecimal number leaves
/// `ComPortAddr` as it was.
bool AcceptInterface(const InterfaceFields& fields, Settings& settings, MessageSink& messages);
/// Whether the link must be reopened: port, address, IRQ or device changed.
bool InterfaceLinkChanged(const Settings& before, const Settings& after);

// ---- Options ---------------------------------------------------------------

inline constexpr int kOptionBoxes = 8;

/// One check box of the Options dialog and the setting it shows.
struct OptionBox {
  const char* label;
  int32_t Settings::*setting;
};
/// The eight boxes in dialog order ("Confirm E&xit" .. "Decode Golay (GSC)").
extern const OptionBox kOptionBoxTable[kOptionBoxes];

/// OK: stores the boxes (in table order) and tells the channel which
/// decoders were switched off, so what they hold is let go at once.
void AcceptOptions(const bool (&checked)[kOptionBoxes], Settings& settings,
                   ChannelControl& channel);

// ---- Font ------------------------------------------------------------------

/// The font chooser's choice written into the record; every other field of
/// the record (character set, precision, quality, ...) keeps its value, so
/// the settings file round-trips. `pixelHeight` is the character height, kept
/// as a negative height the way the record means it.
void ApplyFontChoice(LogFont& font, const char* faceName, int pixelHeight, int weight, bool italic);

/// The panes' view metrics from a font's measures.
struct ViewMetrics {
  int charWidth = 0;   ///< CharWidth: the average character width
  int lineHeight = 0;  ///< LineHeight: height + external leading
  int textWidth = 0;   ///< TextWidth: 78 characters
};
ViewMetrics PaneViewMetrics(int averageCharWidth, int height, int externalLeading);

// ---- Colors ----------------------------------------------------------------

inline constexpr int kColorButtons = 11;

/// One colour button: its label, the title of its chooser and the slot it edits.
struct ColorButton {
  const char* label;
  const char* chooserTitle;
  int slot;
};
/// In the order of the settings' colour keys ("&Background" first).
extern const ColorButton kColorButtonTable[kColorButtons];

/// The colour chooser's 16 custom colours: one set for the whole run of the
/// program, shared by every chooser, white at start, never saved.
struct CustomColors {
  ColorRef colors[16] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                         0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                         0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
};

/// The Colors dialog's working copies of the eleven colours.
class ColorWorkingCopies {
 public:
  explicit ColorWorkingCopies(const Settings& settings);
  ColorRef Get(int slot) const;
  /// A chooser's OK on the button of `slot`.
  void Set(int slot, ColorRef color);
  /// "&Default Colors" confirmed: every colour back to its default.
  void ResetToDefaults();
  /// OK: the ten text colours written back, the background only when it
  /// differs. Returns whether the background changed (the panes' background
  /// must then be rebuilt).
  bool Apply(Settings& settings) const;

 private:
  ColorRef colors_[kColorSlots + 1];
};

/// The question of "&Default Colors".
inline constexpr const char* kResetColorsQuestion = "Reset ALL Colors to Default?";

/// One piece of a preview line: text in the working colour of `slot`.
struct PreviewPiece {
  int slot;
  const char* text;
};
inline constexpr int kPreviewLines = 13;
/// Line `line` (0..12) of the colour preview, in drawing order.
std::span<const PreviewPiece> PreviewLine(int line);

}  // namespace skelmar
