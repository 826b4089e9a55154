// Golay (23,12) corrector by error trapping, for GSC preamble, start and address words.
#pragma once

#include <cstdint>

namespace skelmar {

namespace Golay2312 {
uint32_t Syndrome(uint32_t w);
uint32_t RotateLeft23(uint32_t w, int n);
uint32_t RotateRight23(uint32_t w, int n);
/// The nearest codeword; `errors` gets the trapped pattern's weight (0..3).
uint32_t Correct(uint32_t word, uint32_t* errors);
}  // namespace Golay2312

}  // namespace skelmar
