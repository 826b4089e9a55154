// POCSAG transmitter model: codeword construction, batch layout and modulation.
#include "pocsag_encoder.h"

#include <algorithm>

namespace siggen {

namespace {

constexpr uint32_t kGenerator = 0x769;  // x^10+x^9+x^8+x^6+x^5+x^3+1
constexpr int kSlotsPerBatch = 16;

// Accumulates the 20 message bits of each codeword from a stream of bits.
class ChunkPacker {
 public:
  void Put(uint32_t bit) {
    current_ = (current_ << 1) | (bit & 1u);
    if (++bits_ == 20) {
      chunks_.push_back(current_);
      current_ = 0;
      bits_ = 0;
    }
  }
  int pending() const { return bits_; }
  std::vector<uint32_t> Take() { return std::move(chunks_); }

 private:
  std::vector<uint32_t> chunks_;
  uint32_t current_ = 0;
  int bits_ = 0;
};

// Characters and digits go out least significant bit first.
void PutLsbFirst(ChunkPacker& packer, uint32_t value, int width) {
  for (int b = 0; b < width; ++b) packer.Put(value >> b);
}

class BatchBuilder {
 public:
  explicit BatchBuilder(PocsagTransmission& t) : t_(t) {}

  /// Slot the next codeword goes to (0 when it starts a new batch).
  int NextSlot() const { return slot_ < 0 || slot_ == kSlotsPerBatch ? 0 : slot_; }

  void Add(uint32_t word, PocsagRole role, int page) {
    if (slot_ < 0 || slot_ == kSlotsPerBatch) {
      t_.codewords.push_back({kPocsagSyncWord, PocsagRole::kSync, -1, -1});
      slot_ = 0;
    }
    t_.codewords.push_back({word, role, page, slot_});
    ++slot_;
  }
  void Idle() { Add(kPocsagIdleWord, PocsagRole::kIdle, -1); }
  void FillBatch() {
    while (slot_ >= 0 && slot_ < kSlotsPerBatch) Idle();
  }

 private:
  PocsagTransmission& t_;
  int slot_ = -1;  // next slot of the current batch; -1 before the first sync
};

}  // namespace

uint32_t PocsagCodewordFor(uint32_t information21) {
  information21 &= (1u << 21) - 1;
  // Remainder of info * x^10 divided by the generator.
  uint32_t reg = information21 << 10;
  for (int bit = 30; bit >= 10; --bit) {
    if (reg & (1u << bit)) reg ^= kGenerator << (bit - 10);
  }
  uint32_t word = (information21 << 11) | ((reg & 0x3FFu) << 1);
  uint32_t ones = 0;
  for (uint32_t v = word; v != 0; v &= v - 1) ++ones;
  return word | (ones & 1u);
}

uint32_t PocsagAddressWord(uint32_t capcode, int function) {
  const uint32_t info = (((capcode >> 3) & 0x3FFFFu) << 2) | (static_cast<uint32_t>(function) & 3u);
  return PocsagCodewordFor(info);
}

uint32_t PocsagMessageWord(uint32_t data20) {
  return PocsagCodewordFor((1u << 20) | (data20 & 0xFFFFFu));
}

uint8_t PocsagNumericCode(char ch) {
  if (ch >= '0' && ch <= '9') return static_cast<uint8_t>(ch - '0');
  switch (ch) {
    case 'U':
      return 0xB;
    case ' ':
      return 0xC;
    case '-':
      return 0xD;
    case ')':
    case ']':
      return 0xE;
    case '(':
    case '[':
      return 0xF;
    default:
      return 0xA;  // spare
  }
}

std::vector<uint32_t> PocsagMessageChunks(const PocsagPage& page,
                                          const PocsagEncodeOptions& options) {
  ChunkPacker packer;
  if (page.kind == PocsagKind::kTone) return {};
  if (page.kind == PocsagKind::kNumeric) {
    for (char ch : page.text) PutLsbFirst(packer, PocsagNumericCode(ch), 4);
    while (packer.pending() != 0) PutLsbFirst(packer, 0xC, 4);
    return packer.Take();
  }
  for (char ch : page.text) PutLsbFirst(packer, static_cast<uint8_t>(ch) & 0x7Fu, 7);
  if (options.alphaTerminator >= 0) {
    PutLsbFirst(packer, static_cast<uint32_t>(options.alphaTerminator) & 0x7Fu, 7);
  }
  // Fill in character phase; the last fill character may be cut short.
  int fillBit = 0;
  while (packer.pending() != 0) {
    packer.Put(static_cast<uint32_t>(options.alphaFill) >> fillBit);
    fillBit = (fillBit + 1) % 7;
  }
  return packer.Take();
}

PocsagTransmission EncodePocsag(const std::vector<PocsagPage>& pages,
                                const PocsagEncodeOptions& options) {
  PocsagTransmission t;
  t.preambleBits = options.preambleBits;
  BatchBuilder batch(t);
  for (size_t p = 0; p < pages.size(); ++p) {
    const PocsagPage& page = pages[p];
    const int frame = static_cast<int>(page.capcode & 7u);
    // An address may only go in its own frame (two slots): idle until it comes round.
    if (batch.NextSlot() > 2 * frame + 1) batch.FillBatch();
    while (batch.NextSlot() < 2 * frame) batch.Idle();
    batch.Add(PocsagAddressWord(page.capcode, page.function), PocsagRole::kAddress,
              static_cast<int>(p));
    for (uint32_t chunk : PocsagMessageChunks(page, options)) {
      batch.Add(PocsagMessageWord(chunk), PocsagRole::kMessage, static_cast<int>(p));
    }
  }
  const bool endsOnIdle = !t.codewords.empty() && t.codewords.back().role == PocsagRole::kIdle;
  if (t.codewords.empty() || (options.endWithIdle && !endsOnIdle)) batch.Idle();
  batch.FillBatch();
  return t;
}

std::vector<uint8_t> PocsagTransmission::Bits() const {
  std::vector<uint8_t> bits;
  bits.reserve(static_cast<size_t>(preambleBits) + 32 * codewords.size());
  for (int i = 0; i < preambleBits; ++i) bits.push_back(i % 2 == 0 ? 1 : 0);
  for (const PocsagCodeword& cw : codewords) {
    for (int b = 31; b >= 0; --b) bits.push_back(static_cast<uint8_t>((cw.word >> b) & 1u));
  }
  return bits;
}

size_t PocsagTransmission::Find(PocsagRole role, int page, int nth) const {
  for (size_t i = 0; i < codewords.size(); ++i) {
    if (codewords[i].role != role) continue;
    if (page >= 0 && codewords[i].page != page) continue;
    if (nth-- == 0) return i;
  }
  return codewords.size();
}

size_t PocsagTransmission::Count(PocsagRole role, int page) const {
  return static_cast<size_t>(std::count_if(codewords.begin(), codewords.end(), [&](const auto& c) {
    return c.role == role && (page < 0 || c.page == page);
  }));
}

void PocsagTransmission::FlipBits(size_t index, std::initializer_list<int> positions) {
  for (int p : positions) codewords.at(index).word ^= 1u << (31 - (p & 31));
}

void PocsagTransmission::FlipRandomBits(size_t index, int k, std::mt19937& rng) {
  std::vector<int> positions(32);
  for (int i = 0; i < 32; ++i) positions[static_cast<size_t>(i)] = i;
  std::shuffle(positions.begin(), positions.end(), rng);
  for (int i = 0; i < k && i < 32; ++i) {
    codewords.at(index).word ^= 1u << (31 - positions[static_cast<size_t>(i)]);
  }
}

std::vector<uint8_t> PocsagLevels(const std::vector<uint8_t>& bits) {
  std::vector<uint8_t> levels(bits.size());
  std::transform(bits.begin(), bits.end(), levels.begin(),
                 [](uint8_t b) { return static_cast<uint8_t>(b ? 0 : 3); });
  return levels;
}

void AppendPocsag(EdgeWriter& writer, const std::vector<uint8_t>& bits, double bitRate,
                  ModulatorOptions options) {
  options.symbolRate = bitRate;
  writer.Symbols(PocsagLevels(bits), options);
}

std::vector<PulseSample> ModulatePocsag(const std::vector<uint8_t>& bits, double bitRate,
                                        ModulatorOptions options) {
  options.symbolRate = bitRate;
  return Modulate(PocsagLevels(bits), options);
}

}  // namespace siggen
