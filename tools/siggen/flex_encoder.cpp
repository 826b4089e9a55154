// FLEX transmitter model: from pages to phase words, codewords, blocks and levels.
#include "flex_encoder.h"

#include <bit>

namespace siggen {

namespace {

constexpr uint32_t kGenerator = 0x769;  // x^10+x^9+x^8+x^6+x^5+x^3+1
constexpr uint32_t kLongBase = 0x1F9000;
constexpr uint16_t kSync1Tail = 0x5939;  // second half of the inverted A word

// Sync 2 at 1600 symbols/s: 4 bits of bit sync, C, inverted bit sync, inverted C.
constexpr uint16_t kSync2Code = 0xED84;

constexpr char kNumericAlphabet[] = "0123456789*U -)(";
constexpr uint32_t kNumericFill = 0xC;

uint32_t NumericValue(char ch) {
  for (uint32_t v = 0; v < 16; ++v) {
    if (kNumericAlphabet[v] == ch) return v;
  }
  return kNumericFill;
}

uint32_t HexValue(char ch) {
  if (ch >= '0' && ch <= '9') return static_cast<uint32_t>(ch - '0');
  if (ch >= 'A' && ch <= 'F') return static_cast<uint32_t>(ch - 'A' + 10);
  if (ch >= 'a' && ch <= 'f') return static_cast<uint32_t>(ch - 'a' + 10);
  return 0;
}

/// Packs a little-endian bit stream into 21-bit words.
class BitPacker {
 public:
  void Put(uint32_t value, int bits) {
    for (int b = 0; b < bits; ++b) PutBit((value >> b) & 1u);
  }
  void PutBit(uint32_t bit) {
    if (used_ == 0) words_.push_back(0);
    words_.back() |= bit << used_;
    used_ = (used_ + 1) % 21;
  }
  int bitsUsed() const { return static_cast<int>(words_.size()) * 21 - (used_ ? 21 - used_ : 0); }
  std::vector<uint32_t>& words() { return words_; }

 private:
  std::vector<uint32_t> words_;
  int used_ = 0;
};

// Levels of a four-level symbol from the channel bits of its two phases
// (outer phase A/C, inner phase B/D).
constexpr uint8_t kFourLevel[2][2] = {
    {2, 3},  // outer 0: inner 0 -> 2, inner 1 -> 3
    {1, 0},  // outer 1: inner 0 -> 1, inner 1 -> 0
};

}  // namespace

uint32_t Bch3121Check(uint32_t data21) {
  uint32_t reg = (data21 & 0x1FFFFFu) << 10;
  for (int bit = 30; bit >= 10; --bit) {
    if (reg & (1u << bit)) reg ^= kGenerator << (bit - 10);
  }
  return reg & 0x3FFu;
}

uint32_t Bch3121Codeword(uint32_t data21) {
  uint32_t word = ((data21 & 0x1FFFFFu) << 11) | (Bch3121Check(data21) << 1);
  return word | static_cast<uint32_t>(std::popcount(word) & 1);
}

uint32_t FlexCodeword(uint32_t info21) {
  uint32_t data = 0;
  for (int k = 0; k < 21; ++k) {
    const uint32_t channel = ((info21 >> k) & 1u) ^ 1u;
    data |= channel << (20 - k);
  }
  return Bch3121Codeword(data);
}

uint32_t FlexWithChecksum(uint32_t info21) {
  uint32_t v = info21 & 0x1FFFF0u;
  uint32_t sum =
      ((v >> 4) & 15) + ((v >> 8) & 15) + ((v >> 12) & 15) + ((v >> 16) & 15) + ((v >> 20) & 1);
  return v | ((15u - (sum & 15u)) & 15u);
}

FlexAddressWords FlexAddressFor(uint32_t capcode, bool forceLong) {
  FlexAddressWords a;
  const bool shortRange =
      (capcode >= 1 && capcode <= 1933312) || (capcode >= 1998849 && capcode <= 2031614);
  if (shortRange && !forceLong) {
    a.first = capcode + 32768;
    return a;
  }
  const uint32_t x = capcode - kLongBase;
  a.isLong = true;
  a.first = x & 0x7FFFu;
  a.second = ((x >> 15) ^ 0x1FFFFFu) & 0x1FFFFFu;
  return a;
}

int FlexPhaseBuilder::NumericDigitCapacity(int type, int words) {
  const int skip = type == kFlexNumberedNumeric ? 10 : 2;
  return (21 * words - skip) / 4;
}

namespace {

std::vector<uint32_t> NumericStream(const FlexPage& page) {
  BitPacker packer;
  uint32_t check = 0;
  for (char ch : page.content) check += NumericValue(ch);
  int skip = 2;
  if (page.type == kFlexNumberedNumeric) {
    packer.Put(page.numberedPrefix, 8);
    packer.Put(check & 3u, 2);
    skip = 10;
  } else {
    packer.Put((check & 3u) ^ 2u, 2);
  }
  for (char ch : page.content) packer.Put(NumericValue(ch), 4);
  // Whole fill digits up to the end of the last word, then zero bits.
  const int total = 21 * ((skip + 4 * static_cast<int>(page.content.size()) + 20) / 21);
  while (packer.bitsUsed() + 4 <= total) packer.Put(kNumericFill, 4);
  while (packer.bitsUsed() < total) packer.PutBit(0);
  return packer.words();
}

}  // namespace

int FlexPhaseBuilder::NumericWords(const FlexPage& page) {
  return static_cast<int>(NumericStream(page).size());
}

bool FlexPhaseBuilder::Build(std::array<uint32_t, kFlexWordsPerPhase>& words) const {
  words.fill(kFlexIdleWord);
  int addressWords = 0;
  for (const FlexPage& p : pages)
    addressWords += FlexAddressFor(p.capcode, p.longAddress).isLong ? 2 : 1;
  const int addrStart = 1 + extraBlockInfoWords;
  const int vecStart = addrStart + addressWords;
  if (vecStart > 63 || extraBlockInfoWords < 0 || extraBlockInfoWords > 3) return false;
  int next = vecStart + addressWords;  // first free message word

  const uint32_t detail = frameDetail & 0x1F00F0u;
  words[0] = FlexWithChecksum(detail | (static_cast<uint32_t>(extraBlockInfoWords) << 8) |
                              (static_cast<uint32_t>(vecStart) << 10));
  for (int e = 1; e <= extraBlockInfoWords; ++e) {
    words[e] = FlexWithChecksum(0x0A5A50u + static_cast<uint32_t>(e << 4));
  }

  auto vector = [](uint32_t type, uint32_t start, uint32_t length, uint32_t extra) {
    return FlexWithChecksum((type << 4) | ((start & 0x7F) << 7) | (length << 14) | extra);
  };
  auto place = [&](uint32_t value) {
    if (next >= kFlexWordsPerPhase) return false;
    words[next++] = value & 0x1FFFFFu;
    return true;
  };

  int address = addrStart;
  for (const FlexPage& page : pages) {
    const FlexAddressWords a = FlexAddressFor(page.capcode, page.longAddress);
    const int vec = vecStart + (address - addrStart);
    words[address] = a.first;
    if (a.isLong) words[address + 1] = a.second;
    address += a.isLong ? 2 : 1;
    const uint32_t start = static_cast<uint32_t>(next);
    const uint32_t t = static_cast<uint32_t>(page.type) & 7u;

    switch (page.type) {
      case kFlexShortMessage: {
        uint32_t d[8];
        for (int k = 0; k < 8; ++k) {
          d[k] = k < static_cast<int>(page.content.size()) ? NumericValue(page.content[k])
                                                           : kNumericFill;
        }
        const uint32_t sub = static_cast<uint32_t>(page.toneSubtype) & 3u;
        const uint32_t digits = sub != 0 ? 0 : (d[0] << 9) | (d[1] << 13) | (d[2] << 17);
        words[vec] = FlexWithChecksum((t << 4) | (sub << 7) | digits);
        if (a.isLong) {
          words[vec + 1] = d[3] | (d[4] << 4) | (d[5] << 8) | (d[6] << 12) | (d[7] << 16);
        }
        break;
      }
      case kFlexStandardNumeric:
      case kFlexSfNumeric:
      case kFlexNumberedNumeric: {
        const std::vector<uint32_t> stream = NumericStream(page);
        if (stream.size() > 8) return false;
        const uint32_t n = static_cast<uint32_t>(stream.size()) - 1;
        size_t k = 0;
        if (a.isLong) words[vec + 1] = stream[k++];
        for (; k < stream.size(); ++k) {
          if (!place(stream[k])) return false;
        }
        const uint32_t check = (stream[0] ^ (stream[0] >> 7)) & 15u;
        words[vec] = vector(t, start, n, check << 17);
        break;
      }
      case kFlexSecure:
      case kFlexAlphanumeric: {
        std::vector<uint32_t> chars;
        uint32_t sum = 0;
        for (char ch : page.content) sum += static_cast<uint8_t>(ch) & 0x7Fu;
        if (page.fragment == 3) chars.push_back((sum & 0x7Fu) | 0x40u);  // signature
        for (char ch : page.content) chars.push_back(static_cast<uint8_t>(ch) & 0x7Fu);
        while (chars.size() % 3 != 0) chars.push_back(3);  // end-of-text fill
        const uint32_t header = (sum & 0x3FFu) | (page.continued ? 1u << 10 : 0u) |
                                ((static_cast<uint32_t>(page.fragment) & 3u) << 11) |
                                ((static_cast<uint32_t>(page.messageNumber) & 63u) << 13);
        if (a.isLong) {
          words[vec + 1] = header;
        } else if (!place(header)) {
          return false;
        }
        for (size_t c = 0; c < chars.size(); c += 3) {
          if (!place(chars[c] | (chars[c + 1] << 7) | (chars[c + 2] << 14))) return false;
        }
        const uint32_t n = 1 + static_cast<uint32_t>(chars.size() / 3);
        if (n > 127) return false;
        words[vec] = vector(t, start, n, 0);
        break;
      }
      case kFlexBinary: {
        BitPacker packer;
        for (char ch : page.content) packer.Put(HexValue(ch), 4);
        const uint32_t header = (static_cast<uint32_t>(page.content.size()) & 0x3FFu) |
                                ((page.extraBinaryHeader ? 3u : 1u) << 13);
        if (a.isLong) {
          words[vec + 1] = header;
        } else if (!place(header)) {
          return false;
        }
        if (page.extraBinaryHeader && !place(0x0ABCDE)) return false;
        for (uint32_t w : packer.words()) {
          if (!place(w)) return false;
        }
        const uint32_t n =
            static_cast<uint32_t>(packer.words().size()) + 1 + (page.extraBinaryHeader ? 1 : 0);
        if (n > 127) return false;
        words[vec] = vector(t, start, n, 0);
        break;
      }
      default:  // instruction: the vector alone
        words[vec] = vector(t, 0, 0, 0);
        break;
    }
  }
  return true;
}

FlexFrame::FlexFrame() {
  for (auto& phase : words) phase.fill(kFlexIdleWord);
}

FlexFrame FlexFrame::Mode(uint16_t code) {
  FlexFrame f;
  f.syncCode = code;
  switch (code) {
    case kFlexCode1600x4:
      f.symbolRate = 1600;
      f.levels = 4;
      break;
    case kFlexCode3200x4:
    case kFlexCodeReflex:
      f.symbolRate = 3200;
      f.levels = 4;
      break;
    case kFlexCode1600x2:
      f.symbolRate = 1600;
      f.levels = 2;
      break;
    default:  // an unlisted code: two levels at 3200
      f.symbolRate = 3200;
      f.levels = 2;
      break;
  }
  return f;
}

std::vector<uint8_t> FlexHeaderBits(const FlexFrame& frame) {
  std::vector<uint8_t> bits;
  auto put = [&bits](uint64_t value, int count) {
    for (int b = count - 1; b >= 0; --b) bits.push_back(static_cast<uint8_t>((value >> b) & 1u));
  };
  for (int i = 0; i < frame.preambleBits; ++i) {
    bits.push_back(static_cast<uint8_t>((frame.preambleBits - 1 - i) & 1));
  }
  put(frame.syncCode, 16);
  put(kFlexSyncMarker, 32);
  put(static_cast<uint16_t>(~frame.syncCode), 16);
  put(kSync1Tail, 16);
  const uint32_t fiw = FlexWithChecksum((static_cast<uint32_t>(frame.cycle & 15) << 4) |
                                        (static_cast<uint32_t>(frame.frame & 127) << 8));
  put(FlexCodeword(fiw), 32);
  put(0xA, 4);
  put(kSync2Code, 16);
  put(0x5, 4);
  put(static_cast<uint16_t>(~kSync2Code), 16);
  return bits;
}

FlexFrameLevels FlexLevels(const FlexFrame& frame) {
  FlexFrameLevels out;
  for (uint8_t bit : FlexHeaderBits(frame)) out.header.push_back(bit ? 0 : 3);

  uint32_t codewords[4][kFlexWordsPerPhase];
  for (int p = 0; p < 4; ++p) {
    for (int k = 0; k < kFlexWordsPerPhase; ++k) {
      codewords[p][k] = FlexCodeword(frame.words[p][k]) ^ frame.errors[p][k];
    }
  }
  const bool four = frame.levels == 4;
  const bool fast = frame.symbolRate == 3200;
  auto symbol = [&](int outer, int inner, int block, int pos) -> uint8_t {
    const int i = pos % 8;
    const int j = pos / 8;
    const uint32_t o = (codewords[outer][8 * block + i] >> (31 - j)) & 1u;
    if (!four) return o ? 0 : 3;
    const uint32_t n = (codewords[inner][8 * block + i] >> (31 - j)) & 1u;
    return kFourLevel[o][n];
  };
  for (int block = 0; block < 11; ++block) {
    for (int pos = 0; pos < 256; ++pos) {
      out.blocks.push_back(symbol(0, 1, block, pos));
      if (fast) out.blocks.push_back(symbol(2, 3, block, pos));
    }
  }
  return out;
}

void AppendFlexFrame(EdgeWriter& writer, const FlexFrame& frame, ModulatorOptions options) {
  const FlexFrameLevels levels = FlexLevels(frame);
  options.symbolRate = 1600;
  writer.Symbols(levels.header, options);
  options.symbolRate = frame.symbolRate;
  writer.Symbols(levels.blocks, options);
}

}  // namespace siggen
