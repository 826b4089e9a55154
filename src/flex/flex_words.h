// Field access and checks on FLEX codeword values (21 information bits plus the error mark).
#pragma once

#include <cstdint>

namespace skelmar::flex {

inline constexpr int32_t kErrorMark = 0x400000;
/// A word the receiver's reliabilities repaired after hard correction
/// failed: its value is used, its characters are shown as bit errors.
inline constexpr int32_t kSoftMark = 0x200000;
inline constexpr int32_t kInfoMask = 0x1FFFFF;
inline constexpr int32_t kIdleWord = 0x1FFFFF;

/// Bits a..b of w (inclusive), as the message layouts name them.
constexpr int32_t Bits(int32_t w, int a, int b) {
  return static_cast<int32_t>((static_cast<uint32_t>(w) >> a) & ((1u << (b - a + 1)) - 1u));
}

/// Whether the word's bits are in doubt: uncorrectable, or softly repaired.
constexpr bool IsMarked(int32_t w) { return (w & (kErrorMark | kSoftMark)) != 0; }
constexpr bool IsUncorrectable(int32_t w) { return (w & kErrorMark) != 0; }

/// Block information and vector words carry a 4-bit sum: five nibbles plus
/// bit 20, modulo 16, must give 15; an uncorrectable word never passes, a
/// soft repair must pass the sum as well.
constexpr bool IsCheckedWord(int32_t w) {
  if (IsUncorrectable(w)) return false;
  int32_t sum = Bits(w, 0, 3) + Bits(w, 4, 7) + Bits(w, 8, 11) + Bits(w, 12, 15) + Bits(w, 16, 19) +
                Bits(w, 20, 20);
  return (sum & 15) == 15;
}

/// Whether an address word begins a two-word (long) address.
constexpr bool IsLongAddress(int32_t w) {
  const int32_t v = w & kInfoMask;
  return v <= 0x8000 || (v >= 0x1E0001 && v <= 0x1F0000) || v >= 0x1F7FFF;
}

/// Short capcode of one address word; negative means unknown.
constexpr int32_t ShortCapcode(int32_t w) { return (w & kInfoMask) - 32768; }

/// Long capcode of two address words, in 32-bit wrap-around arithmetic read
/// back as signed; negative means unknown.
constexpr int32_t LongCapcode(int32_t w1, int32_t w2) {
  const uint32_t high = (static_cast<uint32_t>(w2 & kInfoMask) ^ 0x1FFFFFu) * 32768u;
  const uint32_t sum = high + static_cast<uint32_t>(w1 & kInfoMask) + 0x1F9000u;
  return static_cast<int32_t>(sum);
}

/// Digits of numeric and short messages, indexed by the 4-bit value.
inline constexpr char kNumericChars[17] = "0123456789*U -)(";

}  // namespace skelmar::flex
