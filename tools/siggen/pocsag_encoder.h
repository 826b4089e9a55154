// POCSAG transmitter model: pages to codewords (preamble, sync, batches of eight
// frames, idle fill) and to slicer edges, with helpers to damage chosen codewords.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "modulator.h"

namespace siggen {

inline constexpr uint32_t kPocsagSyncWord = 0x7CD215D8;
inline constexpr uint32_t kPocsagIdleWord = 0x7A89C197;
inline constexpr int kPocsagPreambleBits = 576;
inline constexpr uint32_t kPocsagMaxCapcode = (1u << 21) - 1;

enum class PocsagKind { kNumeric, kAlpha, kTone };

struct PocsagPage {
  uint32_t capcode = 0;  ///< 21 bits: the address bits and the frame (capcode & 7)
  int function = 0;      ///< the two function bits, 0..3
  PocsagKind kind = PocsagKind::kAlpha;
  /// Numeric: digits and "U -)(" (also "[" and "]"; anything else goes out as the
  /// spare code 0xA). Alpha: 7-bit characters. Tone: ignored.
  std::string text;
};

struct PocsagEncodeOptions {
  int preambleBits = kPocsagPreambleBits;  ///< alternating bits, starting with 1
  int alphaTerminator = -1;  ///< character sent after alphanumeric text (e.g. 0x04); -1 none
  /// Character whose bits, repeated in character phase, fill the rest of the last
  /// alphanumeric codeword.
  uint8_t alphaFill = 0x00;
  /// Guarantees at least one idle codeword after the last page, adding a batch when
  /// the last page fills its batch to the end.
  bool endWithIdle = true;
};

enum class PocsagRole { kSync, kIdle, kAddress, kMessage };

struct PocsagCodeword {
  uint32_t word = 0;
  PocsagRole role = PocsagRole::kIdle;
  int page = -1;  ///< index of the page an address or message codeword belongs to
  int slot = -1;  ///< position in its batch, 0..15 (-1 for the sync codeword)
};

/// One transmission: the preamble length and every codeword in order of transmission.
struct PocsagTransmission {
  int preambleBits = 0;
  std::vector<PocsagCodeword> codewords;

  /// Preamble plus codewords as 0/1 values, first on the air first.
  std::vector<uint8_t> Bits() const;
  /// Index in `codewords` of the n-th codeword of `role` that belongs to `page`
  /// (page -1: of any page); codewords.size() when there is none.
  size_t Find(PocsagRole role, int page = -1, int nth = 0) const;
  /// Number of codewords of `role` (of `page`, or of any page for -1).
  size_t Count(PocsagRole role, int page = -1) const;
  /// Inverts the given bit positions of one codeword (0 = first on the air).
  void FlipBits(size_t index, std::initializer_list<int> positions);
  /// Inverts exactly k distinct, randomly chosen bit positions of one codeword.
  void FlipRandomBits(size_t index, int k, std::mt19937& rng);
};

/// BCH(31,21) check bits (generator x^10+x^9+x^8+x^6+x^5+x^3+1) and even parity
/// for 21 information bits, giving the full 32-bit codeword.
uint32_t PocsagCodewordFor(uint32_t information21);
uint32_t PocsagAddressWord(uint32_t capcode, int function);
uint32_t PocsagMessageWord(uint32_t data20);

/// 4-bit code of a numeric character.
uint8_t PocsagNumericCode(char ch);

/// The message payload of a page as 20-bit chunks (numeric padded with spaces,
/// alphanumeric with the fill character); empty for tone-only pages.
std::vector<uint32_t> PocsagMessageChunks(const PocsagPage& page,
                                          const PocsagEncodeOptions& options = {});

/// Lays the pages out in batches: each address in its frame, messages following
/// at once (across batch boundaries), idle codewords everywhere else.
PocsagTransmission EncodePocsag(const std::vector<PocsagPage>& pages,
                                const PocsagEncodeOptions& options = {});

/// Bit 1 is the lower frequency (level 0), bit 0 the higher (level 3).
std::vector<uint8_t> PocsagLevels(const std::vector<uint8_t>& bits);

/// Bits to edges at `bitRate` (512, 1200 or 2400) with the given impairments;
/// options.symbolRate is overridden by bitRate.
void AppendPocsag(EdgeWriter& writer, const std::vector<uint8_t>& bits, double bitRate,
                  ModulatorOptions options = {});
std::vector<PulseSample> ModulatePocsag(const std::vector<uint8_t>& bits, double bitRate,
                                        ModulatorOptions options = {});

}  // namespace siggen
