// Builds the TAP page block and screens the command-line text that goes into it.
#include "sender/page_block.h"

#include <cstring>

namespace vantry {

namespace {

bool IsPrintableAscii(std::string_view text) {
  for (char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code > 0x7E) return false;
  }
  return true;
}

}  // namespace

static_assert(kMaxPinAndMessage == 1003, "the refusal line quotes this limit");

unsigned BlockSum(std::string_view text) {
  unsigned sum = 0;
  for (char c : text) sum = (sum + static_cast<unsigned char>(c)) & 0xFFFu;
  return sum;
}

void ChecksumCharacters(unsigned sum, char out[3]) {
  out[0] = static_cast<char>(((sum >> 8) & 0xFu) + '0');
  out[1] = static_cast<char>(((sum >> 4) & 0xFu) + '0');
  out[2] = static_cast<char>((sum & 0xFu) + '0');
}

std::size_t BuildBlock(std::string_view pin, std::string_view message, char* out) {
  if (pin.size() + message.size() > kMaxPinAndMessage) return 0;
  std::size_t n = 0;
  out[n++] = kStx;
  std::memcpy(out + n, pin.data(), pin.size());
  n += pin.size();
  out[n++] = kCr;
  std::memcpy(out + n, message.data(), message.size());
  n += message.size();
  out[n++] = kCr;
  out[n++] = kEtx;
  ChecksumCharacters(BlockSum(std::string_view(out, n)), out + n);
  n += 3;
  out[n++] = kCr;
  out[n] = '\0';
  return n;
}

const char* CheckPageInput(std::string_view phone, std::string_view pin, std::string_view message) {
  if (!IsPrintableAscii(phone) || !IsPrintableAscii(pin) || !IsPrintableAscii(message)) {
    return "\nPhone number, PIN and message may hold printable ASCII characters only\n";
  }
  if (pin.size() + message.size() > kMaxPinAndMessage) {
    return "\nPIN and message too long: at most 1003 characters together\n";
  }
  return nullptr;
}

}  // namespace vantry
