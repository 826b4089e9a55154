// FLEX phase buffers: splitting frame symbols into phases, the 8 x 32 block
// de-interleave with BCH correction, and the ReFLEX frame handed on raw.
#include "flex/flex_decoder.h"
#include "flex/flex_words.h"

namespace skelmar {

namespace {

// Bit characters by level: A and C carry the binary value, B and D the
// second bit of the four-level symbol.
constexpr char kOuterChar[4] = {'1', '1', '0', '0'};
constexpr char kInnerChar[4] = {'1', '0', '0', '1'};

enum PhaseIndex { kA = 0, kB = 1, kC = 2, kD = 3 };

}  // namespace

void FlexDecoder::SymbolStep(int level) {
  const int l = level & 3;
  const bool four = levelCount == 4;
  FlexPhase& outer = symbolRate == 1600 || pairToggle == 0 ? phases[kA] : phases[kC];
  FlexPhase& inner = symbolRate == 1600 || pairToggle == 0 ? phases[kB] : phases[kD];
  outer.bits[symbolIndex] = kOuterChar[l];
  outer.reliability[symbolIndex] = outerReliability_;
  if (four) {
    inner.bits[symbolIndex] = kInnerChar[l];
    inner.reliability[symbolIndex] = innerReliability_;
  }
  if (symbolRate == 1600) {
    ++symbolIndex;
  } else if (pairToggle == 0) {
    pairToggle = 1;
  } else {
    pairToggle = 0;
    ++symbolIndex;
  }
  if (symbolIndex < kFlexBlockBits) return;

  symbolIndex = 0;
  const int block = kFlexBlocks - blockCountdown;
  StoreBlock(phases[kA], block);
  if (four) StoreBlock(phases[kB], block);
  if (symbolRate == 3200) {
    StoreBlock(phases[kC], block);
    if (four) StoreBlock(phases[kD], block);
  }
  if (--blockCountdown == 0) EndOfFrame();
}

void FlexDecoder::StoreBlock(FlexPhase& phase, int block) {
  char* buffer = bch_.codewordBuffer;
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 32; ++j) {
      buffer[j] = phase.bits[i + 8 * j];
      bch_.reliability[j] = phase.reliability[i + 8 * j];
    }
    const int result = bch_.CorrectSoft();
    int32_t value = 0;
    for (int j = 0; j < 21; ++j) {
      if (buffer[j] == '0') value |= int32_t{1} << j;
    }
    if (result == 3) value |= flex::kErrorMark;
    // Idle fill the reliabilities repaired is idle fill like any other.
    if (result == Bch3121::kSoftRepair && value != flex::kIdleWord) value |= flex::kSoftMark;
    phase.words[8 * block + i] = value;
  }
  if (block == kFlexBlocks - 1 && reflexFrame == 0) DecodeFrame(phase);
}

void FlexDecoder::WriteReflexLine() {
  // A frame whose first word in phase A is idle has nothing to show.
  if (phases[kA].words[0] == flex::kIdleWord) return;
  const int32_t* const words[4] = {phases[0].words, phases[1].words, phases[2].words,
                                   phases[3].words};
  events_.FlexReflexFrame(words, kFlexFrameWords);
}

}  // namespace skelmar
