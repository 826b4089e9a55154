// GSC (Golay Sequential Code) transmitter: preamble, start code, address and
// data-block slots as bits, and their edges at 600 bit/s.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modulator.h"

namespace siggen {

inline constexpr double kGscBitRate = 600.0;
inline constexpr int kGscSlotBits = 121;
inline constexpr int kGscCommaBits = 28;
inline constexpr int kGscBatchSlots = 16;

/// Golay (23,12) codeword of 12 information bits: information in bits 0..11,
/// check bits in 12..22 (bit 0 is sent first).
uint32_t GscGolayCodeword(uint32_t info);

/// BCH (15,7) word of a data block: information in bits 0..6, check bits in
/// 7..14 (bit 0 is sent first).
uint16_t GscBlockWord(uint32_t info);

/// The two address words of a pager and the preamble that goes with it.
struct GscAddress {
  uint32_t first = 0;
  uint32_t second = 0;
  int preambleIndex = 0;
};

/// Address of capcode 0..999999 with function 1..4; false when out of range.
bool GscEncodeAddress(int32_t capcode, int function, GscAddress* address);

/// The data blocks of a message as 56 information bits each (bit d is bit
/// d % 7 of block word d / 7); every block but the last has its continuation
/// bit (48) set. Numeric: 12 digits a block, padded with blanks; characters
/// other than digits, ' ', 'U', '-', ')' and '(' are sent as blanks.
std::vector<uint64_t> GscNumericBlocks(const std::string& digits);
/// Alphanumeric: 8 characters a block; a short last block ends with the end
/// marker. Lower case is sent as upper case; unknown characters as blanks.
std::vector<uint64_t> GscAlphaBlocks(const std::string& text);

enum class GscPageKind { kTone, kNumeric, kAlpha };

struct GscPage {
  int32_t capcode = 0;
  int function = 1;
  GscPageKind kind = GscPageKind::kNumeric;
  std::string text;
};

/// Appends GSC bits (0/1) to a vector.
class GscBitWriter {
 public:
  /// Alternating bits at the full rate, starting with 1.
  void Comma(int bits);
  /// One word at half rate: each bit twice, bit 0 first.
  void HalfRateWord(uint32_t word);
  void Preamble(int index, bool complemented, int repetitions);
  /// A slot of two half-rate words: comma, first word, one gap bit, second word.
  void WordPairSlot(uint32_t first, uint32_t second);
  void StartCode();
  void AddressSlot(const GscAddress& address);
  /// A slot with one data block: a gap bit, then 8 interleaved 15-bit words.
  void BlockSlot(uint64_t info);
  void Constant(int bit, int count);

  std::vector<uint8_t>& bits() { return bits_; }

 private:
  std::vector<uint8_t> bits_;
};

struct GscTransmitOptions {
  /// Complemented preamble: up to 16 slots of several pages. Otherwise a
  /// direct preamble and one page.
  bool batch = false;
  int preambleRepetitions = 18;
  int leadInBits = kGscCommaBits;
  /// Preamble word; -1 takes the one the first page's capcode needs.
  int preambleIndex = -1;
};

/// Slots a page takes from a batch: one for the address, one for its last block.
int GscPageSlots(const GscPage& page);

/// Lead-in, preamble, start code and the pages' slots. Returns an empty vector
/// when the pages cannot share the transmission: an address out of range,
/// capcodes that need different preambles, more than one page without batch
/// mode, or more than 16 slots.
std::vector<uint8_t> EncodeGscTransmission(const std::vector<GscPage>& pages,
                                           const GscTransmitOptions& options);

/// GSC bit 1 as level 3, bit 0 as level 0, at 600 bit/s (the rate in
/// `options` is overridden).
void AppendGscBits(EdgeWriter& writer, const std::vector<uint8_t>& bits, ModulatorOptions options);
std::vector<PulseSample> ModulateGsc(const std::vector<uint8_t>& bits, ModulatorOptions options);

}  // namespace siggen
