// FLEX transmitter model: page layout into phase words, BCH(31,21) codewords,
// block interleave, sync headers, phase multiplexing and four-level mapping.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "modulator.h"

namespace siggen {

/// Mode codes (A words) as the register of the receiver sees them.
inline constexpr uint16_t kFlexCode1600x2 = 0x870C;
inline constexpr uint16_t kFlexCode1600x4 = 0xB068;
inline constexpr uint16_t kFlexCode3200x4 = 0xDEA0;
inline constexpr uint16_t kFlexCodeReflex = 0x4C7C;
inline constexpr uint16_t kFlexCode3200x2 = 0x7B18;
inline constexpr uint32_t kFlexSyncMarker = 0xA6C6AAAA;

inline constexpr int kFlexWordsPerPhase = 88;
inline constexpr uint32_t kFlexIdleWord = 0x1FFFFF;

/// 10 check bits of 21 data bits (data bit 20 is the first on the air, the
/// coefficient of x^30), by division by x^10+x^9+x^8+x^6+x^5+x^3+1.
uint32_t Bch3121Check(uint32_t data21);
/// Whole 32-bit codeword: data bits 31..11 (first on the air at bit 31),
/// check bits 10..1, even parity in bit 0.
uint32_t Bch3121Codeword(uint32_t data21);
/// Channel codeword of a FLEX word value: information bit 0 goes first, and a
/// 1 information bit is sent as a 0 channel bit.
uint32_t FlexCodeword(uint32_t info21);

/// Completes bits 0..3 so that the five nibbles plus bit 20 sum to 15 mod 16.
uint32_t FlexWithChecksum(uint32_t info21);

/// Address words of a capcode: one word for short capcodes, two for long.
struct FlexAddressWords {
  bool isLong = false;
  uint32_t first = 0;
  uint32_t second = 0;
};
/// Short capcodes are 1..1933312 and 1998849..2031614; larger ones are long.
FlexAddressWords FlexAddressFor(uint32_t capcode, bool forceLong = false);

enum FlexVectorType : int {
  kFlexSecure = 0,
  kFlexInstruction = 1,
  kFlexShortMessage = 2,
  kFlexStandardNumeric = 3,
  kFlexSfNumeric = 4,
  kFlexAlphanumeric = 5,
  kFlexBinary = 6,
  kFlexNumberedNumeric = 7,
};

struct FlexPage {
  uint32_t capcode = 0;
  bool longAddress = false;  ///< use the two-word form even for a short capcode
  int type = kFlexAlphanumeric;
  /// Alphanumeric/secure: the text. Numeric and short: digits from
  /// "0123456789*U -)(". Binary: hexadecimal digits, first digit first.
  std::string content;
  int toneSubtype = 0;       ///< short message: 0 digits, 1..3 tone only
  int fragment = 3;          ///< alphanumeric header fragment field
  bool continued = false;    ///< alphanumeric header: the message goes on in a later frame
  int messageNumber = 0x15;  ///< alphanumeric header message number, 0..63
  bool extraBinaryHeader = false;
  uint8_t numberedPrefix = 0x2A;  ///< numbered numeric: message number bits
};

/// Lays pages out as one phase's frame: block information word, address
/// field, vector field and message field; the rest idle.
class FlexPhaseBuilder {
 public:
  std::vector<FlexPage> pages;
  int extraBlockInfoWords = 0;  ///< 0..3 more block information words
  uint32_t frameDetail = 0;     ///< free bits 0..7 and 16..20 of the block information word

  /// False when the pages do not fit in 88 words.
  bool Build(std::array<uint32_t, kFlexWordsPerPhase>& words) const;
  /// Number of message digits a numeric page of `words` words shows (fill included).
  static int NumericDigitCapacity(int type, int words);
  /// Message words a numeric page needs (the long address's second vector word included).
  static int NumericWords(const FlexPage& page);
};

struct FlexFrame {
  uint16_t syncCode = kFlexCode1600x2;
  int symbolRate = 1600;  ///< of the blocks; the header is always 1600
  int levels = 2;
  int cycle = 0;
  int frame = 0;
  int preambleBits = 32;  ///< alternating bit sync in front of the mode code
  std::array<std::array<uint32_t, kFlexWordsPerPhase>, 4> words;
  /// Channel bits to invert per codeword (bit 31 = first on the air).
  std::array<std::array<uint32_t, kFlexWordsPerPhase>, 4> errors{};

  FlexFrame();
  /// Sets mode code, rate and level count of the standard modes.
  static FlexFrame Mode(uint16_t code);
};

struct FlexFrameLevels {
  std::vector<uint8_t> header;  ///< at 1600 symbols/s
  std::vector<uint8_t> blocks;  ///< at the frame's rate
};

/// The frame as levels 0..3.
FlexFrameLevels FlexLevels(const FlexFrame& frame);
/// Register bits of the header (1 = levels 0/1), first bit first.
std::vector<uint8_t> FlexHeaderBits(const FlexFrame& frame);

/// Appends one frame: header at 1600 symbols/s, blocks at the frame's rate.
void AppendFlexFrame(EdgeWriter& writer, const FlexFrame& frame, ModulatorOptions options);

}  // namespace siggen
