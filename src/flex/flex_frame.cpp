// FLEX frame decoding: block information, address and vector fields, and the
// numeric, short, alphanumeric and hexadecimal message bodies.
#include <cstdio>
#include <cstring>

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

struct VectorType {
  const char* text;    // exactly 7 characters
  const char* record;  // page record type
  int kind;            // StatKind, or -1 when not counted
  int shownBy;         // 0 always, 1 ShowNumeric, 2 ShowMisc, 3 never
};

constexpr VectorType kVectorTypes[8] = {
    {"SECURE ", "secure", kStatAlpha, 0},
    {"-INST- ", "", -1, 3},
    {"SH/TONE", "short", kStatNumeric, 1},
    {"ST NUM ", "numeric", kStatNumeric, 1},
    {"SF NUM ", "numeric", kStatNumeric, 1},
    {" ALPHA ", "alpha", kStatAlpha, 0},
    {"BINARY ", "binary", -1, 2},
    {"NU NUM ", "numeric", kStatNumeric, 1},
};

constexpr char kHexDigits[17] = "0123456789ABCDEF";

}  // namespace

void FlexDecoder::PutMessageChar(char ch) {
  out_.monitorPane.PutChar(ch);
  out_.pages.Append(ch);
}

void FlexDecoder::DecodeFrame(const FlexPhase& phase) {
  const int32_t info = WordAt(phase, 0);
  if (!flex::IsCheckedWord(info)) return;
  const int addrStart = Bits(info, 8, 9) + 1;
  const int vecStart = Bits(info, 10, 15);
  if (vecStart <= addrStart) return;

  TextPane& pane = out_.monitorPane;
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
    const int t = Bits(vec, 4, 6);
    const VectorType& type = kVectorTypes[t];
    if (type.kind >= 0) out_.stats.CountMessage(flexStatRow, type.kind);
    const bool shown = type.shownBy == 0 || (type.shownBy == 1 && out_.settings.showNumeric == 1) ||
                       (type.shownBy == 2 && out_.settings.showMisc == 1);
    if (!shown) {
      i = next;
      continue;
    }

    out_.pages.Begin(PageProtocol::kFlex, symbolRate, levelCount);
    out_.pages.SetInverted(inverted_);
    if (!WriteAddress(phase, i, isLong)) out_.pages.MarkBitErrors();
    out_.pages.SetPhase(phase.letter);
    out_.pages.SetFlexFrame(isLong, frameCycle, frameNumber);
    pane.SetColor(kSlotFlexPhase);
    pane.PutChar(phase.letter);
    pane.PutChar(' ');
    pane.SetColor(kSlotFlexFormat);
    pane.PutText(type.text);
    pane.PutChar(' ');
    out_.monitorPane.MarkMessageStart();

    switch (t) {
      case 2:
        out_.pages.SetType(Bits(vec, 7, 8) != 0 ? "tone" : "short");
        WriteShortMessage(phase, vec, second, isLong);
        break;
      case 3:
      case 4:
      case 7:
        out_.pages.SetType(type.record);
        WriteNumeric(phase, vec, second, isLong, t);
        break;
      case 0:
      case 5:
        out_.pages.SetType(type.record);
        WriteAlphanumeric(phase, vec, second, isLong);
        break;
      default:  // 6
        out_.pages.SetType(type.record);
        WriteHexadecimal(phase, vec, second, isLong);
        break;
    }
    pane.EndLine();
    out_.pages.Commit(out_.filterProcessor.lastMatch);
    i = next;
  }
}

bool FlexDecoder::WriteAddress(const FlexPhase& phase, int index, bool isLong) {
  const int32_t w1 = WordAt(phase, index);
  char text[24];
  bool known;
  if (isLong) {
    const int32_t w2 = WordAt(phase, index + 1);
    const int32_t capcode = flex::LongCapcode(w1, w2);
    known = !flex::IsMarked(w1) && !flex::IsMarked(w2) && capcode >= 0;
    if (known) {
      std::snprintf(text, sizeof text, "[%09li]", static_cast<long>(capcode));
    } else {
      std::strcpy(text, "[?????????]");
    }
  } else {
    const int32_t capcode = flex::ShortCapcode(w1);
    known = !flex::IsMarked(w1) && capcode >= 0;
    if (known) {
      std::snprintf(text, sizeof text, "[%07li]", static_cast<long>(capcode));
    } else {
      std::strcpy(text, "[???????]");
    }
  }

  out_.filters.ClearMatch();
  if (known) {
    out_.filters.LookupCapcode(isLong ? kFilterFlexLong : kFilterFlexShort, text + 1, 0);
  }

  // The record keeps the digits without the brackets.
  char digits[24];
  const size_t length = std::strlen(text);
  std::memcpy(digits, text + 1, length - 2);
  digits[length - 2] = '\0';
  out_.pages.SetCapcode(digits);

  TextPane& pane = out_.monitorPane;
  pane.StampTime();
  pane.MarkCapcodeStart();
  pane.SetColor(kSlotCapcode);
  pane.PutText(text);
  pane.MarkCapcodeEnd();
  pane.PutChar(' ');
  return known;
}

void FlexDecoder::WriteShortMessage(const FlexPhase&, int32_t vec, int32_t second, bool isLong) {
  if (Bits(vec, 7, 8) != 0) return;  // tone only
  out_.monitorPane.SetColor(kSlotNumeric);
  for (int a = 9; a <= 17; a += 4) PutMessageChar(flex::kNumericChars[Bits(vec, a, a + 3)]);
  if (!isLong) return;
  if (flex::IsMarked(second)) out_.pages.MarkBitErrors();
  for (int a = 0; a <= 16; a += 4) PutMessageChar(flex::kNumericChars[Bits(second, a, a + 3)]);
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
    if (flex::IsMarked(w)) {
      out_.monitorPane.SetColor(kSlotBitErrors);
      out_.pages.MarkBitErrors();
    } else {
      out_.monitorPane.SetColor(kSlotNumeric);
    }
    for (int b = 0; b < 21; ++b) {
      accumulator = (accumulator >> 1) | (((w >> b) & 1) << 3);
      if (--count == 0) {
        PutMessageChar(flex::kNumericChars[accumulator & 15]);
        count = 4;
      }
    }
  }
}

void FlexDecoder::WriteAlphanumeric(const FlexPhase& phase, int32_t vec, int32_t second,
                                    bool isLong) {
  const int s = Bits(vec, 7, 13);
  const int n = Bits(vec, 14, 20);
  const int32_t header = isLong ? second : WordAt(phase, s);
  const int first = isLong ? s : s + 1;
  const int last = isLong ? s + n - 2 : s + n - 1;
  if (first <= last && flex::IsMarked(header)) out_.pages.MarkBitErrors();
  out_.pages.MarkAlphaStart();
  const bool dropFirst = Bits(header, 11, 12) == 3;
  // Header: fragment check 0-9, continued 10, fragment number 11-12, message number 13-18.
  out_.pages.SetFragment(Bits(header, 11, 12), Bits(header, 10, 10) != 0, Bits(header, 13, 18));
  for (int k = first; k <= last; ++k) {
    const int32_t w = WordAt(phase, k);
    if (flex::IsMarked(w)) {
      out_.monitorPane.SetColor(kSlotBitErrors);
      out_.pages.MarkBitErrors();
    } else {
      out_.monitorPane.SetColor(kSlotAlphanumeric);
    }
    for (int c = 0; c < 3; ++c) {
      const int32_t ch = Bits(w, 7 * c, 7 * c + 6);
      if (ch == 3) continue;
      if (c == 0 && k == first && dropFirst) continue;
      PutMessageChar(static_cast<char>(ch));
    }
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
  out_.monitorPane.SetColor(kSlotFlexBinary);
  int accumulator = 0;
  int count = 0;
  for (int k = first; k <= last; ++k) {
    const int32_t w = WordAt(phase, k);
    if (flex::IsMarked(w)) out_.pages.MarkBitErrors();
    for (int b = 0; b < 21; ++b) {
      accumulator = (accumulator >> 1) | (((w >> b) & 1) << 3);
      if (++count == 4) {
        PutMessageChar(kHexDigits[accumulator]);
        accumulator = 0;
        count = 0;
      }
    }
  }
}

}  // namespace skelmar
