// FLEX frame decoding: block information, address and vector fields, and the
// numeric, short, alphanumeric and hexadecimal message bodies.
#include "flex/flex_decoder.h"
#include "flex/flex_words.h"

namespace skelmar {

namespace {

using flex::Bits;

// A vector may name words far past the 88 of a frame (7-bit start and
// length); everything outside the phase's store reads as an empty word.
int32_t WordAt(const FlexPhase& phase, int index) {
  if (index < 0 || index >= kFlexPhaseWords) return 0;
  return phase.words[index];
}

// Page type by the vector's message type.
constexpr PageType kVectorTypes[8] = {
    PageType::kSecure,  PageType::kInstruction, PageType::kShort,  PageType::kNumeric,
    PageType::kNumeric, PageType::kAlpha,       PageType::kBinary, PageType::kNumeric,
};

// Where an alphanumeric (or secure) message lies: its header word and the
// words of its characters.
struct AlphaSpan {
  int32_t header;
  int first;
  int last;
};

AlphaSpan AlphaSpanOf(const FlexPhase& phase, int32_t vec, int32_t second, bool isLong) {
  const int s = Bits(vec, 7, 13);
  const int n = Bits(vec, 14, 20);
  return {isLong ? second : WordAt(phase, s), isLong ? s : s + 1, isLong ? s + n - 2 : s + n - 1};
}

constexpr char kHexDigits[17] = "0123456789ABCDEF";

}  // namespace

void FlexDecoder::DecodeFrame(const FlexPhase& phase) {
  const int32_t info = WordAt(phase, 0);
  if (!flex::IsCheckedWord(info)) return;
  const int addrStart = Bits(info, 8, 9) + 1;
  const int vecStart = Bits(info, 10, 15);
  if (vecStart <= addrStart) return;

  for (int i = addrStart; i < vecStart;) {
    const bool isLong = flex::IsLongAddress(WordAt(phase, i));
    const int vecIndex = vecStart + (i - addrStart);
    const int32_t vec = WordAt(phase, vecIndex);
    const int32_t second = WordAt(phase, vecIndex + 1);
    const int next = i + (isLong ? 2 : 1);
    if (!flex::IsCheckedWord(vec)) {
      i = next;
      continue;
    }
    if (events_.PageBegin(Start(phase, i, isLong, vec, second))) {
      switch (Bits(vec, 4, 6)) {
        case 2:
          WriteShortMessage(phase, vec, second, isLong);
          break;
        case 3:
        case 4:
        case 7:
          WriteNumeric(phase, vec, second, isLong, Bits(vec, 4, 6));
          break;
        case 0:
        case 5:
          WriteAlphanumeric(phase, vec, second, isLong);
          break;
        case 6:
          WriteHexadecimal(phase, vec, second, isLong);
          break;
        default:  // an instruction carries no text
          break;
      }
      events_.PageEnd();
    }
    i = next;
  }
}

PageStart FlexDecoder::Start(const FlexPhase& phase, int index, bool isLong, int32_t vec,
                             int32_t second) const {
  PageStart start;
  start.protocol = PageProtocol::kFlex;
  const int t = Bits(vec, 4, 6);
  start.vectorType = t;
  start.type = kVectorTypes[t];
  if (t == 2 && Bits(vec, 7, 8) != 0) start.type = PageType::kTone;
  start.statRow = flexStatRow;
  start.speed = symbolRate;
  start.inverted = inverted_;
  start.levels = levelCount;
  const int32_t w1 = WordAt(phase, index);
  if (isLong) {
    const int32_t w2 = WordAt(phase, index + 1);
    start.capcode = flex::LongCapcode(w1, w2);
    start.uncorrectable =
        flex::IsUncorrectable(w1) || flex::IsUncorrectable(w2) || start.capcode < 0;
    start.bitErrors = flex::IsMarked(w1) || flex::IsMarked(w2);
  } else {
    start.capcode = flex::ShortCapcode(w1);
    start.uncorrectable = flex::IsUncorrectable(w1) || start.capcode < 0;
    start.bitErrors = flex::IsMarked(w1);
  }
  start.phase = phase.letter;
  start.longAddress = isLong;
  start.cycle = frameCycle;
  start.frame = frameNumber;
  if (start.type == PageType::kAlpha || start.type == PageType::kSecure) {
    const AlphaSpan span = AlphaSpanOf(phase, vec, second, isLong);
    start.bitErrors = start.bitErrors || (span.first <= span.last && flex::IsMarked(span.header));
    // Header: fragment check 0-9, continued 10, fragment number 11-12, message number 13-18.
    start.fragment = Bits(span.header, 11, 12);
    start.continued = Bits(span.header, 10, 10) != 0;
    start.messageNumber = Bits(span.header, 13, 18);
  }
  return start;
}

void FlexDecoder::WriteShortMessage(const FlexPhase&, int32_t vec, int32_t second, bool isLong) {
  if (Bits(vec, 7, 8) != 0) return;  // tone only
  char chars[5];
  TextPiece piece;
  piece.chars = chars;
  for (int a = 9; a <= 17; a += 4) chars[piece.length++] = flex::kNumericChars[Bits(vec, a, a + 3)];
  events_.PageText(piece);
  if (!isLong) return;
  piece.length = 0;
  piece.errors = flex::IsMarked(second);
  for (int a = 0; a <= 16; a += 4) {
    chars[piece.length++] = flex::kNumericChars[Bits(second, a, a + 3)];
  }
  events_.PageText(piece);
}

void FlexDecoder::WriteNumeric(const FlexPhase& phase, int32_t vec, int32_t second, bool isLong,
                               int type) {
  const int s = Bits(vec, 7, 13);
  const int n = Bits(vec, 14, 16);
  int accumulator = 0;
  int count = type == 7 ? 14 : 6;
  // n + 1 words: a long address's second vector word carries the first of them.
  for (int k = 0; k <= n; ++k) {
    int32_t w;
    if (isLong) {
      w = k == 0 ? second : WordAt(phase, s + k - 1);
    } else {
      w = WordAt(phase, s + k);
    }
    char chars[8];
    TextPiece piece;
    piece.chars = chars;
    piece.errors = flex::IsMarked(w);
    for (int b = 0; b < 21; ++b) {
      accumulator = (accumulator >> 1) | (((w >> b) & 1) << 3);
      if (--count == 0) {
        chars[piece.length++] = flex::kNumericChars[accumulator & 15];
        count = 4;
      }
    }
    events_.PageText(piece);
  }
}

void FlexDecoder::WriteAlphanumeric(const FlexPhase& phase, int32_t vec, int32_t second,
                                    bool isLong) {
  const AlphaSpan span = AlphaSpanOf(phase, vec, second, isLong);
  const bool dropFirst = Bits(span.header, 11, 12) == 3;
  for (int k = span.first; k <= span.last; ++k) {
    const int32_t w = WordAt(phase, k);
    char chars[3];
    TextPiece piece;
    piece.chars = chars;
    piece.errors = flex::IsMarked(w);
    for (int c = 0; c < 3; ++c) {
      const int32_t ch = Bits(w, 7 * c, 7 * c + 6);
      if (ch == 3) continue;
      if (c == 0 && k == span.first && dropFirst) continue;
      chars[piece.length++] = static_cast<char>(ch);
    }
    events_.PageText(piece);
  }
}

void FlexDecoder::WriteHexadecimal(const FlexPhase& phase, int32_t vec, int32_t second,
                                   bool isLong) {
  const int s = Bits(vec, 7, 13);
  const int n = Bits(vec, 14, 20);
  int first = s;
  int last = s + n - 1;
  if (isLong) {
    if (Bits(second, 13, 14) == 3) ++first;
    --last;
  } else {
    first += Bits(WordAt(phase, s), 13, 14) == 3 ? 2 : 1;
  }
  int accumulator = 0;
  int count = 0;
  for (int k = first; k <= last; ++k) {
    const int32_t w = WordAt(phase, k);
    char chars[8];
    TextPiece piece;
    piece.chars = chars;
    piece.errors = flex::IsMarked(w);
    for (int b = 0; b < 21; ++b) {
      accumulator = (accumulator >> 1) | (((w >> b) & 1) << 3);
      if (++count == 4) {
        chars[piece.length++] = kHexDigits[accumulator];
        accumulator = 0;
        count = 0;
      }
    }
    events_.PageText(piece);
  }
}

}  // namespace skelmar
