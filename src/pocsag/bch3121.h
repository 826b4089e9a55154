// BCH(31,21) corrector with even parity for one POCSAG or FLEX codeword, and
// the bit-count helpers for tolerant pattern matching.
#pragma once

#include <cstdint>

#include "frontend/edge_ring.h"

namespace skelmar {

int CountBits10(uint32_t v);
int CountBits16(uint32_t v);
int CountBits32(uint32_t v);

/// The syndrome tables, built once (at compile time) and read-only afterwards.
struct BchTables {
  uint32_t bitSyndromes[21];     ///< BitSyndromes
  uint32_t syndromeTable[1024];  ///< SyndromeTable
};
const BchTables& Bch3121Tables();
/// Builds the tables as the corrector defines them (exposed for tests).
BchTables BuildTable();

/// The `wanted` positions of `reliability[0..count-1]` with the lowest
/// reliabilities, least first, into `weakest` (count >= wanted).
void WeakestBits(const uint8_t* reliability, int count, int* weakest, int wanted);

/// One codeword as 32 '0'/'1' characters in order of transmission, and its corrector.
class Bch3121 {
 public:
  char codewordBuffer[32] = {};  ///< CodewordBuffer
  /// How sure the receiver was of each bit of the buffer, 1 (a guess) to
  /// 255; 0 where it cannot say (serial slicers, edge recordings).
  uint8_t reliability[32] = {};

  /// CorrectSoft's result for a codeword the hard corrector gave up on and
  /// the reliabilities repaired: its bits are to be shown as bit errors.
  static constexpr int kSoftRepair = 4;

  /// 0 clean, 1 or 2 errors corrected (or parity only), 3 uncorrectable.
  int Correct();
  /// Correct, then, when it found errors and every bit has a reliability,
  /// the codewords reached by flipping the least reliable bits: one nearer
  /// in reliability than Correct's codeword (than a two-error repair, only
  /// within two clean symbols), or, where Correct found none,
  /// near enough to be believed, is taken (kSoftRepair, buffer rewritten);
  /// otherwise Correct's result and buffer.
  int CorrectSoft();

  /// Fills the buffer from a 32-bit word, most significant bit first.
  void Load(uint32_t word);
  /// The buffer as a 32-bit word, position 0 in bit 31.
  uint32_t Word() const;
};

}  // namespace skelmar
