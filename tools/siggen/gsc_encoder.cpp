// GSC transmitter: Golay (23,12) address words, BCH (15,7) data blocks,
// half-rate preamble and start code, and the 121-bit slot layout.
#include "gsc_encoder.h"

namespace siggen {

namespace {

constexpr uint32_t kMask23 = 0x7FFFFF;
constexpr uint32_t kGolayGenerator = 0xC75;  // x^11+x^10+x^6+x^5+x^4+x^2+1
constexpr uint32_t kBchGenerator = 0x1D1;    // x^8+x^7+x^6+x^4+1
constexpr uint32_t kStartCode = 0x2032C9;
constexpr int kContinuationBit = 48;
constexpr uint64_t kEndMarker = 63;

// The transmitter's own copies of the code's fixed words.
constexpr uint32_t kPreambleWords[10] = {
    0x4037EE, 0x07E65C, 0x609C7E, 0x3F8287, 0x07A0BF,
    0x039CF3, 0x0F079D, 0x20F9EC, 0x3F9618, 0x71191F,
};
constexpr uint32_t kAddressWords[50] = {
    0x5532D1, 0x50CAAB, 0x55AB88, 0x36456B, 0x5B362A, 0x58A6AC, 0x48DA5A, 0x2D16D3, 0x576A14,
    0x56D560, 0x528A84, 0x2672B8, 0x5AE683, 0x2E2ED8, 0x2BADE0, 0x357D60, 0x38E568, 0x49AE0B,
    0x26C36C, 0x2B9C34, 0x5A08ED, 0x35BA30, 0x569383, 0x272E64, 0x564C39, 0x35E84C, 0x566507,
    0x5B8A38, 0x24166F, 0x579C90, 0x262177, 0x58F4D0, 0x4B7B08, 0x5A6730, 0x567198, 0x253C37,
    0x221D3B, 0x4E8372, 0x4B8D8C, 0x2ECCC3, 0x26E627, 0x2B1D87, 0x258C50, 0x226A0C, 0x2114E4,
    0x2E8A20, 0x51A610, 0x248343, 0x24C5A0, 0x28B0A0,
};

// Remainder of value(x) modulo a generator of the given degree.
uint32_t PolyRemainder(uint32_t value, int valueBits, uint32_t generator, int degree) {
  for (int bit = valueBits - 1; bit >= degree; --bit) {
    if ((value >> bit) & 1) value ^= generator << (bit - degree);
  }
  return value & ((1u << degree) - 1);
}

// Systematic cyclic codeword, then rotated so the information comes first on
// the air (low bits) and the check bits last. A rotated codeword of a cyclic
// code is still a codeword.
uint32_t CyclicCodeword(uint32_t info, int infoBits, uint32_t generator, int degree) {
  const int n = infoBits + degree;
  const uint32_t shifted = (info & ((1u << infoBits) - 1)) << degree;
  const uint32_t word = shifted | PolyRemainder(shifted, n, generator, degree);
  const uint32_t mask = (1u << n) - 1;
  return ((word >> degree) | (word << (n - degree))) & mask;
}

uint64_t DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint64_t>(c - '0');
  switch (c) {
    case 'U':
      return 11;
    case '-':
      return 13;
    case ')':
      return 14;
    case '(':
      return 15;
    default:
      return 10;  // blank
  }
}

uint64_t CharValue(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c >= 0x20 && c <= 0x3F) return static_cast<uint64_t>(c - 0x20);
  if (c >= 'A' && c <= 'Z') return static_cast<uint64_t>(c - 'A' + 33);
  if (c == '[') return 59;
  if (c == ']') return 61;
  return 0;  // blank
}

void SetContinuations(std::vector<uint64_t>& blocks) {
  for (size_t i = 0; i + 1 < blocks.size(); ++i) blocks[i] |= uint64_t{1} << kContinuationBit;
}

}  // namespace

uint32_t GscGolayCodeword(uint32_t info) { return CyclicCodeword(info, 12, kGolayGenerator, 11); }

uint16_t GscBlockWord(uint32_t info) {
  return static_cast<uint16_t>(CyclicCodeword(info, 7, kBchGenerator, 8));
}

bool GscEncodeAddress(int32_t capcode, int function, GscAddress* address) {
  if (capcode < 0 || capcode > 999999 || function < 1 || function > 4) return false;
  const int32_t t = capcode / 100000;
  const int32_t a = (capcode / 1000) % 100;
  const int32_t b = (capcode / 100) % 10;
  const int32_t c = capcode % 100;
  // The second word carries B, the halves of A and C, and the rest of C; the
  // first word picks one of fifty entries; the preamble carries T.
  const int32_t q = 4 * b + 2 * (c / 50) + a / 50;
  const uint32_t v = static_cast<uint32_t>(50 * q + c % 50);
  const bool invertFirst = function >= 3;
  const bool invertSecond = function == 2 || function == 4;
  address->first = GscGolayCodeword(kAddressWords[a % 50] & 0xFFF);
  if (invertFirst) address->first ^= kMask23;
  address->second = GscGolayCodeword(invertSecond ? v ^ 0xFFF : v);
  address->preambleIndex = (t + a % 10) % 10;
  return true;
}

std::vector<uint64_t> GscNumericBlocks(const std::string& digits) {
  std::vector<uint64_t> blocks;
  size_t i = 0;
  do {
    uint64_t block = 0;
    for (int m = 0; m < 12; ++m, ++i) {
      const uint64_t value = i < digits.size() ? DigitValue(digits[i]) : 10;
      block |= value << (4 * m);
    }
    blocks.push_back(block);
  } while (i < digits.size());
  SetContinuations(blocks);
  return blocks;
}

std::vector<uint64_t> GscAlphaBlocks(const std::string& text) {
  std::vector<uint64_t> blocks;
  size_t i = 0;
  do {
    uint64_t block = 0;
    for (int m = 0; m < 8; ++m, ++i) {
      const uint64_t value = i < text.size() ? CharValue(text[i]) : kEndMarker;
      block |= value << (6 * m);
    }
    blocks.push_back(block);
  } while (i < text.size());
  SetContinuations(blocks);
  return blocks;
}

void GscBitWriter::Comma(int bits) {
  for (int i = 0; i < bits; ++i) bits_.push_back(static_cast<uint8_t>((i + 1) % 2));
}

void GscBitWriter::HalfRateWord(uint32_t word) {
  for (int k = 0; k < 23; ++k) {
    const auto bit = static_cast<uint8_t>((word >> k) & 1);
    bits_.push_back(bit);
    bits_.push_back(bit);
  }
}

void GscBitWriter::Preamble(int index, bool complemented, int repetitions) {
  const uint32_t word = kPreambleWords[index] ^ (complemented ? kMask23 : 0);
  for (int r = 0; r < repetitions; ++r) HalfRateWord(word);
}

void GscBitWriter::WordPairSlot(uint32_t first, uint32_t second) {
  Comma(kGscCommaBits);
  HalfRateWord(first);
  bits_.push_back(static_cast<uint8_t>(bits_.back() ^ 1));
  HalfRateWord(second);
}

void GscBitWriter::StartCode() { WordPairSlot(kStartCode, kStartCode ^ kMask23); }

void GscBitWriter::AddressSlot(const GscAddress& address) {
  WordPairSlot(address.first, address.second);
}

void GscBitWriter::BlockSlot(uint64_t info) {
  bits_.push_back(static_cast<uint8_t>(bits_.empty() ? 1 : bits_.back() ^ 1));
  uint16_t words[8];
  for (int w = 0; w < 8; ++w)
    words[w] = GscBlockWord(static_cast<uint32_t>((info >> (7 * w)) & 0x7F));
  // Interleaved: bit j of every word before bit j + 1 of any.
  for (int n = 0; n < 120; ++n)
    bits_.push_back(static_cast<uint8_t>((words[n % 8] >> (n / 8)) & 1));
}

void GscBitWriter::Constant(int bit, int count) {
  for (int i = 0; i < count; ++i) bits_.push_back(static_cast<uint8_t>(bit ? 1 : 0));
}

int GscPageSlots(const GscPage& page) { return page.kind == GscPageKind::kTone ? 1 : 2; }

std::vector<uint8_t> EncodeGscTransmission(const std::vector<GscPage>& pages,
                                           const GscTransmitOptions& options) {
  if (pages.empty()) return {};
  if (!options.batch && pages.size() != 1) return {};
  std::vector<GscAddress> addresses(pages.size());
  int slots = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    if (!GscEncodeAddress(pages[i].capcode, pages[i].function, &addresses[i])) return {};
    if (options.preambleIndex < 0 && addresses[i].preambleIndex != addresses[0].preambleIndex) {
      return {};
    }
    slots += GscPageSlots(pages[i]);
  }
  if (options.batch && slots > kGscBatchSlots) return {};
  const int preamble =
      options.preambleIndex >= 0 ? options.preambleIndex % 10 : addresses[0].preambleIndex;

  GscBitWriter writer;
  writer.Comma(options.leadInBits);
  writer.Preamble(preamble, options.batch, options.preambleRepetitions);
  writer.StartCode();
  for (size_t i = 0; i < pages.size(); ++i) {
    writer.AddressSlot(addresses[i]);
    std::vector<uint64_t> blocks;
    if (pages[i].kind == GscPageKind::kNumeric) blocks = GscNumericBlocks(pages[i].text);
    if (pages[i].kind == GscPageKind::kAlpha) blocks = GscAlphaBlocks(pages[i].text);
    for (uint64_t block : blocks) writer.BlockSlot(block);
  }
  return std::move(writer.bits());
}

void AppendGscBits(EdgeWriter& writer, const std::vector<uint8_t>& bits, ModulatorOptions options) {
  options.symbolRate = kGscBitRate;
  std::vector<uint8_t> levels(bits.size());
  for (size_t i = 0; i < bits.size(); ++i) levels[i] = bits[i] ? 3 : 0;
  writer.Symbols(levels, options);
}

std::vector<PulseSample> ModulateGsc(const std::vector<uint8_t>& bits, ModulatorOptions options) {
  EdgeWriter writer(options.randomStart);
  AppendGscBits(writer, bits, options);
  return writer.Finish();
}

}  // namespace siggen
