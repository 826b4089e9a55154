// GSC decoder: finds the half-rate preamble and start code, then reads the
// 121-bit slots of a transmission as addresses or data blocks and reports
// each page.
#include "gsc/gsc_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "frontend/edge_ring.h"
#include "frontend/mode_caption.h"
#include "gsc/bch1507.h"
#include "gsc/golay2312.h"

namespace skelmar {

const uint32_t kGscPreambleWords[kGscPreambleWordCount] = {
    0x4037EE, 0x07E65C, 0x609C7E, 0x3F8287, 0x07A0BF,
    0x039CF3, 0x0F079D, 0x20F9EC, 0x3F9618, 0x71191F,
};

const uint32_t kGscAddressWords[kGscAddressWordCount] = {
    0x5532D1, 0x50CAAB, 0x55AB88, 0x36456B, 0x5B362A, 0x58A6AC, 0x48DA5A, 0x2D16D3, 0x576A14,
    0x56D560, 0x528A84, 0x2672B8, 0x5AE683, 0x2E2ED8, 0x2BADE0, 0x357D60, 0x38E568, 0x49AE0B,
    0x26C36C, 0x2B9C34, 0x5A08ED, 0x35BA30, 0x569383, 0x272E64, 0x564C39, 0x35E84C, 0x566507,
    0x5B8A38, 0x24166F, 0x579C90, 0x262177, 0x58F4D0, 0x4B7B08, 0x5A6730, 0x567198, 0x253C37,
    0x221D3B, 0x4E8372, 0x4B8D8C, 0x2ECCC3, 0x26E627, 0x2B1D87, 0x258C50, 0x226A0C, 0x2114E4,
    0x2E8A20, 0x51A610, 0x248343, 0x24C5A0, 0x28B0A0,
};

const char kGscDigitTable[17] = "0123456789 U -)(";

const char kGscCharTable[64] = {
    ' ', '!', '"', '#', '$', '%', '&', '\'', '(', ')', '*', '+', ',', '-', '.', '/',
    '0', '1', '2', '3', '4', '5', '6', '7',  '8', '9', ':', ';', '<', '=', '>', '?',
    ' ', 'A', 'B', 'C', 'D', 'E', 'F', 'G',  'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O',
    'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W',  'X', 'Y', 'Z', '[', ' ', ']', ' ', 0,
};

namespace {

constexpr uint32_t kMask23 = 0x7FFFFF;
constexpr uint64_t kMask46 = (uint64_t{1} << 46) - 1;
constexpr int kEndMarker = 63;
constexpr int kContinuationBit = 48;
// Sample pairs of an address or start code that may disagree. Noise gives
// about 23 of 46; with reliabilities a disagreement is mostly a weak sample
// beside a sure one, and the surer is taken.
constexpr int kPairErrors = 3;
constexpr int kSoftPairErrors = 6;
// Codewords among a block's eight words before any of the others is corrected.
constexpr int kCleanWordsToRepair = 4;
// Reliability a repair the hard corrector could not find may cost: that of
// one clean bit.
constexpr int kSoftBound = kReliabilityUnit;

int Distance(uint32_t a, uint32_t b) { return std::popcount(a ^ b); }

// A preamble word as the 46 newest samples show it when it was sent at half
// rate: bit k of the word at ages 45 - 2k and 44 - 2k.
constexpr uint64_t HalfRatePattern(uint32_t word) {
  uint64_t pattern = 0;
  for (int k = 0; k < 23; ++k) {
    if ((word >> k) & 1) pattern |= uint64_t{3} << (44 - 2 * k);
  }
  return pattern;
}

constexpr std::array<uint64_t, kGscPreambleWordCount> MakePreamblePatterns() {
  constexpr uint32_t words[kGscPreambleWordCount] = {
      0x4037EE, 0x07E65C, 0x609C7E, 0x3F8287, 0x07A0BF,
      0x039CF3, 0x0F079D, 0x20F9EC, 0x3F9618, 0x71191F,
  };
  std::array<uint64_t, kGscPreambleWordCount> patterns{};
  for (int p = 0; p < kGscPreambleWordCount; ++p) patterns[p] = HalfRatePattern(words[p]);
  return patterns;
}

constexpr std::array<uint64_t, kGscPreambleWordCount> kPreamblePatterns = MakePreamblePatterns();

}  // namespace

GscDecoder::GscDecoder(PageEvents& events, ChannelControl& channel)
    : events_(events), channel_(channel) {}

int GscDecoder::HistoryBit(int age) const {
  if (age < 64) return static_cast<int>((historyLow_ >> age) & 1);
  return static_cast<int>((historyHigh_ >> (age - 64)) & 1);
}

void GscDecoder::PutBit(int bit) { TakeBit(bit, 0); }

void GscDecoder::PutReliableBit(int bit, uint8_t reliability) { TakeBit(bit, reliability); }

void GscDecoder::TakeBit(int bit, uint8_t reliability) {
  reliability_[bitsTaken_++ & 127] = reliability;
  const uint64_t one = (bit > 0) != inverted_ ? 1u : 0u;
  historyHigh_ = (historyHigh_ << 1) | (historyLow_ >> 63);
  historyLow_ = (historyLow_ << 1) | one;
  if (decoding) {
    Decode();
  } else {
    Hunt();
  }
}

GscDecoder::WordPair GscDecoder::ReadWordPair(bool corrected) const {
  WordPair pair;
  bool known = false;
  for (int age = 0; age < 93 && !known; ++age) known = HistoryReliability(age) != 0;
  pair.pairLimit = known ? kSoftPairErrors : kPairErrors;
  // Each bit is sent twice: the later sample, or with reliabilities the
  // surer of the two.
  auto take = [&](int age) {
    const int later = HistoryBit(age);
    const int earlier = HistoryBit(age + 1);
    pair.pairErrors += later != earlier ? 1 : 0;
    if (known && later != earlier && HistoryReliability(age + 1) > HistoryReliability(age)) {
      return static_cast<uint32_t>(earlier);
    }
    return static_cast<uint32_t>(later);
  };
  for (int k = 0; k < 23; ++k) {
    pair.first |= take(91 - 2 * k) << k;
    pair.second |= take(44 - 2 * k) << k;
  }
  if (corrected) {
    uint32_t errors = 0;
    pair.first = Golay2312::Correct(pair.first, &errors);
    pair.second = Golay2312::Correct(pair.second, &errors);
  }
  return pair;
}

bool GscDecoder::IsStartCode(const WordPair& pair, bool turned) {
  // The other way up, each word is the complement of what was sent.
  const uint32_t first = turned ? ~kGscStartCode & kMask23 : kGscStartCode;
  const int distance = Distance(pair.first, first) + Distance(pair.second, ~first & kMask23);
  return distance <= 1 && pair.pairErrors <= pair.pairLimit;
}

void GscDecoder::Hunt() {
  // The corrected words matter only once a start code may follow; Correct has
  // no side effects, so it is skipped while too few preambles have been seen.
  if (preambleCount >= 3 || turned_.count >= 3) {
    const WordPair pair = ReadWordPair(true);
    const bool upright = preambleCount >= 3 && IsStartCode(pair, false);
    if (upright || (turned_.count >= 3 && IsStartCode(pair, true))) {
      if (!upright) {
        // A transmission the other way up (its preambles as they were sent):
        // the rest of it is read as if InvertData were set for it.
        inverted_ = true;
        historyLow_ = ~historyLow_;
        historyHigh_ = ~historyHigh_;
        preambleIndex = turned_.index;
        preambleInverted = turned_.complemented;
        slotsLeft = turned_.complemented ? 16 : 1;
      }
      turned_ = TurnedHunt{};
      decoding = 1;
      channel_.SetBusy(ChannelUser::kGsc, kModeGolay);
      continuation = 0;
      countdown = kSlotLength;
      channel_.RecentreClock(ChannelUser::kGsc);
      return;
    }
  }
  const uint64_t samples = historyLow_ & kMask46;
  int upright = -1;
  int turned = -1;
  int uprightErrors = 0;
  int turnedErrors = 0;
  for (int p = 0; p < kGscPreambleWordCount && (upright < 0 || turned < 0); ++p) {
    // Samples that differ from the direct pattern; the complement differs
    // wherever the direct pattern agrees, and so do the samples turned over.
    const int direct = std::popcount(samples ^ kPreamblePatterns[p]);
    if (upright < 0 && (direct <= 3 || 46 - direct <= 1)) {
      upright = p;
      uprightErrors = direct;
    }
    if (turned < 0 && (46 - direct <= 3 || direct <= 1)) {
      turned = p;
      turnedErrors = 46 - direct;
    }
  }
  // The hunt the other way up keeps its own count and timeout, and on timeout
  // leaves the channel and the caption alone: the upright hunt owns those.
  if (turned >= 0) {
    ++turned_.count;
    turned_.index = turned;
    turned_.complemented = turnedErrors <= 3 ? 0 : 1;
    if (turned_.countdown == 0) turned_.countdown = kHuntTimeout;
  } else if (turned_.countdown > 0 && --turned_.countdown == 0) {
    turned_.count = 0;
  }
  if (upright >= 0) {
    const bool matchDirect = uprightErrors <= 3;
    ++preambleCount;
    preambleIndex = upright;
    slotsLeft = matchDirect ? 1 : 16;
    preambleInverted = matchDirect ? 0 : 1;
    if (countdown == 0) countdown = kHuntTimeout;
    return;
  }
  if (countdown > 0 && --countdown == 0) {
    channel_.ReleaseChannel(ChannelUser::kGsc);
    preambleCount = 0;
  }
}

int GscDecoder::FindAddress(const WordPair& pair, int* c1) const {
  // Half-rate samples that disagree in pairs mark noise, not an address, for
  // a complemented first word just as for a direct one: without this test
  // about one noise slot in a hundred became an invented page.
  if (pair.pairErrors > pair.pairLimit) return -1;
  const uint32_t complement = ~pair.first & kMask23;
  for (int i = 0; i < kGscAddressWordCount; ++i) {
    if (Distance(pair.first, kGscAddressWords[i]) <= 1) {
      *c1 = 0;
      return i;
    }
    if (Distance(complement, kGscAddressWords[i]) <= 1) {
      *c1 = 1;
      return i;
    }
  }
  return -1;
}

void GscDecoder::Decode() {
  if (--countdown != 0) return;
  const WordPair pair = ReadWordPair(true);
  int index = -1;
  int c1 = 0;
  if (continuation == 0) {
    if (IsStartCode(pair, false)) {
      countdown = kSlotLength;
      slotsLeft = 16;
      continuation = 0;
      return;
    }
    index = FindAddress(pair, &c1);
  }
  if (index >= 0) {
    TakeAddress(index, c1, pair.second);
  } else {
    TakeBlock();
  }
  if (slotsLeft > 0) {
    countdown = kSlotLength;
  } else {
    EndTransmission();
  }
}

void GscDecoder::TakeAddress(int index, int c1, uint32_t secondWord) {
  if (pagePending) {
    pagePending = 0;
    WriteGscPage();
  }
  int32_t v = static_cast<int32_t>(secondWord & 0xFFF);
  int c2 = 0;
  if (v & 0x800) {
    c2 = 1;
    v ^= 0xFFF;
  }
  const int32_t q = v / 50;
  const int32_t r = v % 50;
  const int32_t a = index + 50 * (q % 2);
  const int32_t b = q / 4;
  const int32_t c = r + 50 * ((q / 2) % 2);
  const int32_t t = ((preambleIndex - a % 10) % 10 + 10) % 10;
  capcode = 100000 * t + 1000 * a + 100 * b + c;
  function = 1 + c2 + 2 * c1;
  pagePending = 1;
  numericText[0] = 0;
  alphaText[0] = 0;
  blockCount = 0;
  continuation = 0;
  if (preambleInverted) --slotsLeft;
}

void GscDecoder::RepairWords(uint32_t (&words)[8], const uint8_t (&reliability)[8][15],
                             uint32_t* suspect) {
  *suspect = 0;
  int clean = 0;
  for (const uint32_t w : words) clean += Bch1507::Syndrome(w) == 0 ? 1 : 0;
  // Noise or another layout leaves hardly any word a codeword (1 in 256);
  // a block as expected keeps most of them so even near the noise.
  if (clean < kCleanWordsToRepair) return;
  for (int w = 0; w < 8; ++w) {
    if (Bch1507::Syndrome(words[w]) == 0) continue;
    bool soft = false;
    const int32_t fixed = Bch1507::CorrectSoft(words[w], reliability[w], kSoftBound, &soft);
    if (fixed >= 0) words[w] = static_cast<uint32_t>(fixed);
    if (fixed < 0 || soft) *suspect |= 1u << w;
  }
}

GscDecoder::Block GscDecoder::DecodeBlock() const {
  // Sample n of the block (n = 0 oldest, at age 119) is bit n / 8 of block
  // word n % 8; information bit d is bit d % 7 of word d / 7.
  uint32_t words[8] = {};
  uint8_t reliability[8][15];
  bool known = false;
  for (int n = 0; n < 120; ++n) {
    const int age = 119 - n;
    words[n % 8] |= static_cast<uint32_t>(HistoryBit(age)) << (n / 8);
    const uint8_t r = HistoryReliability(age);
    known = known || r != 0;
    // A bit the receiver's decisions missed is as unsure as can be.
    reliability[n % 8][n / 8] = r != 0 ? r : 1;
  }
  // A source without reliabilities (a serial slicer, an edge recording)
  // has its blocks taken as received.
  uint32_t suspect = 0;
  if (known) RepairWords(words, reliability, &suspect);
  uint64_t info = 0;
  for (int d = 0; d < 56; ++d) info |= static_cast<uint64_t>((words[d / 7] >> (d % 7)) & 1u) << d;
  // Whether information bits first..first+count-1 touch a suspect word.
  auto marked = [suspect](int first, int count) {
    return ((suspect >> (first / 7)) | (suspect >> ((first + count - 1) / 7))) & 1u;
  };
  Block block;
  for (int m = 0; m < 12; ++m) {
    block.digits[m] = kGscDigitTable[(info >> (4 * m)) & 0xF];
    block.digitErrors[m] = marked(4 * m, 4) != 0;
  }
  int n = 0;
  for (int m = 0; m < 8; ++m) {
    const int value = static_cast<int>((info >> (6 * m)) & 0x3F);
    if (value == kEndMarker) break;
    block.characterErrors[n] = marked(6 * m, 6) != 0;
    block.characters[n++] = kGscCharTable[value];
  }
  block.continued = ((info >> kContinuationBit) & 1) != 0;
  return block;
}

void GscDecoder::TakeBlock() {
  const Block block = DecodeBlock();
  if (blockCount > kMaxBlocks) {
    if (pagePending) {
      pagePending = 0;
      WriteGscPage();
    }
    // A block without the continuation bit ends the chain even when no page
    // is pending; otherwise every later address of the transmission would be
    // swallowed as data.
    if (!block.continued) continuation = 0;
    --slotsLeft;
    return;
  }
  ++blockCount;
  const size_t digits = std::strlen(numericText);
  if (digits <= 12) {
    std::memcpy(numericText + digits, block.digits, 13);
    std::memcpy(numericErrors_ + digits, block.digitErrors, 12);
  }
  const size_t chars = std::strlen(alphaText);
  if (chars <= 72) {
    const size_t added = std::strlen(block.characters);
    std::memcpy(alphaText + chars, block.characters, added + 1);
    std::memcpy(alphaErrors_ + chars, block.characterErrors, added);
  }
  if (block.continued) {
    continuation = 1;
    return;
  }
  if (pagePending) {
    pagePending = 0;
    WriteGscPage();
    numericText[0] = 0;
    alphaText[0] = 0;
  }
  continuation = 0;  // also with no page pending (see above)
  --slotsLeft;
}

void GscDecoder::EndOfSignal() {
  if (decoding != 0) EndTransmission();
}

void GscDecoder::ChannelTaken() {
  if (decoding != 0) EndTransmission(true);
}

void GscDecoder::EndTransmission(bool channelTaken) {
  if (pagePending) {
    pagePending = 0;
    WriteGscPage();
  }
  decoding = 0;
  // A channel taken by another protocol is the newcomer's already.
  if (!channelTaken) channel_.ReleaseChannel(ChannelUser::kGsc);
  preambleCount = 0;
  countdown = 0;
  // The next transmission is found afresh, whichever way up it comes.
  turned_ = TurnedHunt{};
  if (inverted_) {
    inverted_ = false;
    historyLow_ = ~historyLow_;
    historyHigh_ = ~historyHigh_;
  }
}

void GscDecoder::WriteGscPage() {
  PageStart start;
  start.protocol = PageProtocol::kGsc;
  start.statRow = kRowGsc;
  start.speed = 600;
  // capcode never exceeds 999999 (a second word of 2000 or more carries into
  // the thousands but leaves A below 50), so it shows as six digits.
  start.capcode = capcode;
  start.function = function;
  start.inverted = inverted_;
  // A page of 25 characters or more is text; a shorter one shows its digits
  // and, beside them, the same bits read as characters.
  const int32_t chars = static_cast<int32_t>(std::strlen(alphaText));
  const bool alpha = chars >= 25;
  start.type = alpha ? PageType::kAlpha : PageType::kNumeric;
  if (!events_.PageBegin(start)) return;
  if (!alpha) {
    PutPieces(numericText, numericErrors_, static_cast<int32_t>(std::strlen(numericText)));
    TextPiece second;
    second.chars = alphaText;
    second.length = chars;
    second.secondReading = true;
    second.errors = std::find(alphaErrors_, alphaErrors_ + chars, true) != alphaErrors_ + chars;
    events_.PageText(second);
  } else {
    PutPieces(alphaText, alphaErrors_, chars);
  }
  events_.PageEnd();
}

void GscDecoder::PutPieces(const char* text, const bool* errors, int32_t length) {
  // One piece for a page without marks, as it always was (an empty one too).
  int32_t at = 0;
  do {
    int32_t end = at;
    while (end < length && errors[end] == errors[at]) ++end;
    TextPiece piece;
    piece.chars = text + at;
    piece.length = end - at;
    piece.errors = at < length && errors[at];
    events_.PageText(piece);
    at = end;
  } while (at < length);
}

}  // namespace skelmar
