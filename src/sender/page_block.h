// The TAP page block (STX, PIN, message, ETX and checksum) and the checks of what goes into it.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantry {

/// Capacity of the block buffer, including the terminating zero.
inline constexpr std::size_t kBlockCapacity = 1012;

/// STX, CR after the PIN, CR after the message, ETX, three checksum characters, final CR.
inline constexpr std::size_t kBlockFraming = 8;

/// The longest PIN and message together that still fit the block buffer.
inline constexpr std::size_t kMaxPinAndMessage = kBlockCapacity - 1 - kBlockFraming;

inline constexpr char kStx = 2;
inline constexpr char kEtx = 3;
inline constexpr char kAck = 6;
inline constexpr char kEsc = 27;
inline constexpr char kCr = 13;

/// Adds every character code into a sum kept to its low 12 bits.
unsigned BlockSum(std::string_view text);

/// Writes the three checksum characters of a 12-bit sum: each nibble plus '0'.
void ChecksumCharacters(unsigned sum, char out[3]);

/// Builds the zero-terminated block into out (kBlockCapacity characters) and returns its length,
/// or 0 when the PIN and message do not fit.
std::size_t BuildBlock(std::string_view pin, std::string_view message, char* out);

/// Returns the line to print when the phone number, PIN or message cannot be sent safely, or
/// nullptr when they can. A control character would break the dial command or the block's
/// framing, and anything above 127 cannot travel on a 7-bit line.
const char* CheckPageInput(std::string_view phone, std::string_view pin, std::string_view message);

}  // namespace vantry
