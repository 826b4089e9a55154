// BCH (15,7) corrector for the eight words of a GSC data block: bounded
// distance up to two errors, and a search over the least reliable bits when
// the receiver can say how sure it was of each.
#pragma once

#include <cstdint>

namespace skelmar {

namespace Bch1507 {
/// Bit i is the coefficient of x^i; bits 0..6 carry the information.
inline constexpr uint32_t kGenerator = 0x1D1;  // x^8 + x^7 + x^6 + x^4 + 1
inline constexpr uint32_t kMask15 = 0x7FFF;

/// The word modulo the generator (8 bits); 0 for a codeword.
uint32_t Syndrome(uint32_t word);

/// The codeword within two bits of `word`, or -1 when there is none.
int32_t Correct(uint32_t word);

/// Correct, or, with a reliability for each bit (1..255, index = bit), the
/// codeword reached by flipping the least reliable bits that differs least
/// in reliability, when that difference is at most `bound`. -1 when neither
/// finds one. `soft` says whether the search chose another codeword than
/// Correct's (or found one where Correct found none).
int32_t CorrectSoft(uint32_t word, const uint8_t (&reliability)[15], int bound, bool* soft);
}  // namespace Bch1507

}  // namespace skelmar
