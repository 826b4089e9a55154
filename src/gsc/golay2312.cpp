// Golay (23,12) corrector: error trapping over the cyclic code, with one trial
// bit inverted for the patterns that rotation alone cannot trap.
#include "gsc/golay2312.h"

namespace skelmar {

namespace {

constexpr uint32_t kMask23 = 0x7FFFFF;
constexpr uint32_t kGenerator = 0xC75;  // x^11 + x^10 + x^6 + x^5 + x^4 + x^2 + 1

constexpr int kNibbleBits[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// Ones in a syndrome (bits 12..22), a nibble at a time.
uint32_t SyndromeWeight(uint32_t s) {
  uint32_t n = 0;
  for (uint32_t rest = s >> 12; rest != 0; rest >>= 4) {
    n += static_cast<uint32_t>(kNibbleBits[rest & 0xF]);
  }
  return n;
}

}  // namespace

namespace Golay2312 {

uint32_t Syndrome(uint32_t w) {
  uint32_t b = w & kMask23;
  for (int i = 0; i < 12; ++i) {
    if (b & 1) b ^= kGenerator;
    b >>= 1;
  }
  return b << 12;
}

uint32_t RotateLeft23(uint32_t w, int n) {
  w &= kMask23;
  for (int i = 0; i < n; ++i) w = ((w << 1) | (w >> 22)) & kMask23;
  return w;
}

uint32_t RotateRight23(uint32_t w, int n) {
  w &= kMask23;
  for (int i = 0; i < n; ++i) w = ((w >> 1) | ((w & 1) << 22)) & kMask23;
  return w;
}

uint32_t Correct(uint32_t word, uint32_t* errors) {
  const uint32_t received = word & kMask23;
  uint32_t count = 0;
  // Pass 0 takes the word as received; pass p inverts bit p - 1 first, which
  // breaks up the patterns that leave no 12-bit error-free run.
  for (int pass = 0; pass <= 23; ++pass) {
    uint32_t w = pass == 0 ? received : received ^ (1u << (pass - 1));
    const uint32_t threshold = pass == 0 ? 3 : 2;
    uint32_t s = Syndrome(w);
    if (s == 0) {
      if (errors) *errors = count;
      return w;
    }
    for (int j = 0; j < 23; ++j) {
      count = SyndromeWeight(s);
      if (count <= threshold) {
        if (errors) *errors = count;
        return RotateRight23(w ^ s, j);
      }
      w = RotateLeft23(w, 1);
      s = Syndrome(w);
    }
  }
  if (errors) *errors = count;
  return received;
}

}  // namespace Golay2312

}  // namespace skelmar
