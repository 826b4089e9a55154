// What a decoder reports: each page as it begins, its text as it arrives and
// its end, plus the two raw FLEX lines. Decoders know nothing else of the
// output; everything is plain values or buffers lent for the call, so a page
// costs no allocation.
#pragma once

#include <cstdint>

namespace skelmar {

enum class PageProtocol { kPocsag, kFlex, kGsc };

/// What a page's message is, as its decoder reads it.
enum class PageType : uint8_t {
  kNumeric,
  kTone,         ///< no message: an address alone, or a FLEX short vector's tone
  kAlpha,        ///< 7-bit characters
  kShort,        ///< FLEX: the digits carried in the vector words
  kSecure,       ///< FLEX: characters, shown like alphanumeric
  kInstruction,  ///< FLEX: a short instruction, never shown
  kBinary,       ///< FLEX: hexadecimal digits of the words
};

struct PageStart {
  PageProtocol protocol = PageProtocol::kPocsag;
  PageType type = PageType::kNumeric;
  int32_t statRow = 0;  ///< the statistics row the page counts in
  int32_t speed = 0;    ///< bit/s or symbols/s
  int32_t levels = 2;
  int32_t capcode = 0;         ///< the address as shown
  bool uncorrectable = false;  ///< the address could not be read: shown as question marks
  int32_t function = 0;        ///< POCSAG and GSC: the digit shown, 1..4; FLEX: 0
  int32_t functionBits = -1;   ///< POCSAG: the two function bits as sent, 0..3
  /// Errors no text piece carries (a FLEX alphanumeric header beyond repair).
  bool bitErrors = false;
  bool inverted = false;  ///< the transmission was found the other way up

  // FLEX only.
  char phase = 0;            ///< 'A'..'D'
  int32_t vectorType = -1;   ///< the vector's message type 0..7, which names the format
  bool longAddress = false;  ///< a two-word address
  int32_t cycle = -1;        ///< of the frame information word, -1 unknown
  int32_t frame = -1;
  int32_t fragment = -1;  ///< alphanumeric header: fragment number 0..3
  bool continued = false;
  int32_t messageNumber = -1;
};

/// A piece of a page's text: the characters one codeword or word gave (or a
/// decoder's buffer), as received.
struct TextPiece {
  const char* chars = nullptr;
  int32_t length = 0;
  bool errors = false;  ///< the word that carried them was beyond repair
  /// Buffered until the decoder could tell the page's type: shown in the
  /// type's colour whatever `errors` says.
  bool held = false;
  /// Another reading of the same bits (GSC: the characters of a page typed
  /// numeric, since a short page carries no type): shown after a space, kept
  /// beside the text in the record.
  bool secondReading = false;
};

class PageEvents {
 public:
  virtual ~PageEvents() = default;
  /// Returns whether the page is wanted; when it is not (the settings hide
  /// it), the decoder sends nothing more of it.
  virtual bool PageBegin(const PageStart& start) = 0;
  virtual void PageText(const TextPiece& text) = 0;
  virtual void PageEnd() = 0;

  /// FLEX: a sync code no mode lists, with its exact complement.
  virtual void FlexUnknownSync(const uint32_t (&syncWords)[4]) = 0;
  /// FLEX: a ReFLEX frame, shown raw; `phaseWords` are the four phases' words.
  virtual void FlexReflexFrame(const int32_t* const (&phaseWords)[4], int32_t wordCount) = 0;
};

}  // namespace skelmar
