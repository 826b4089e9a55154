// FLEX sync search, mode recognition, header countdown and the clock actions around a frame.
#include <algorithm>
#include <iterator>

#include "flex/flex_decoder.h"
#include "flex/flex_words.h"
#include "frontend/flex_sync_codes.h"
#include "frontend/mode_caption.h"

namespace skelmar {

namespace {

constexpr uint32_t kMarkerHigh = kFlexSyncMarker >> 16;    // low half of W1
constexpr uint32_t kMarkerLow = kFlexSyncMarker & 0xFFFF;  // low half of W2
constexpr int kSyncTolerance = 4;
// Wrong bits of code and complement up to which a marker whose code matches
// no mode still counts as a sync.
constexpr int kUnlistedTolerance = 2 * kSyncTolerance;

int MarkerDistance(const uint32_t (&w)[4]) {
  return CountBits16(w[1] ^ kMarkerHigh) + CountBits16(w[2] ^ kMarkerLow);
}

}  // namespace

FlexDecoder::FlexDecoder(PageEvents& events, ChannelControl& channel, Bch3121& bch)
    : events_(events), channel_(channel), bch_(bch) {}

void FlexDecoder::NamePhases() {
  static constexpr char kLetters[4] = {'A', 'B', 'C', 'D'};
  for (int p = 0; p < 4; ++p) phases[p].letter = kLetters[p];
}

void FlexDecoder::Shift(uint32_t (&w)[4], uint32_t bit) {
  w[0] = (w[0] << 1) | ((w[1] >> 15) & 1u);
  w[1] = (w[1] << 1) | ((w[2] >> 15) & 1u);
  w[2] = (w[2] << 1) | ((w[3] >> 15) & 1u);
  w[3] = (w[3] << 1) | bit;
}

void FlexDecoder::ShiftRegister(uint32_t bit) { Shift(syncRegister, bit); }

void FlexDecoder::PutSymbol(int level) { PutReliableSymbol(level, 0, 0); }

void FlexDecoder::PutReliableSymbol(int level, uint8_t outer, uint8_t inner) {
  outerReliability_ = outer;
  innerReliability_ = inner;
  // A frame whose sync came the other way up is read as if InvertData were
  // set for it.
  if (inverted_) level ^= 3;
  uint32_t bit = level < 2 ? 1u : 0u;
  ShiftRegister(bit);
  if (blockCountdown != 0) {
    // A sync found inside the frame starts its header with this symbol.
    if (!unconfirmed_ || !HuntInsideFrame(bit)) {
      SymbolStep(level);
      return;
    }
  } else {
    const int m = MarkerDistance(syncRegister);
    if (m <= kSyncTolerance) {
      OnSync();
    } else if (32 - m <= kSyncTolerance &&
               (headerCountdown == 0 || (unconfirmed_ && ConfirmedSense(syncRegister) < 0))) {
      // Every bit of the marker the other way up: the register is turned
      // over for the frame, unless its code takes it for noise. Not inside
      // the header of a confirmed sync: the complemented mode word that ends
      // the first sync, with frame information that happens to begin like
      // the marker's alternation, reads as the marker the other way up.
      TurnOver();
      bit ^= 1u;
      if (!OnSync()) {
        TurnOver();
        bit ^= 1u;
      }
    }
  }

  if (headerCountdown > 0) TakeFrameInfoBit(bit);
  if (headerCountdown > 0 && --headerCountdown == 0) {
    symbolIndex = 0;
    pairToggle = 0;
    blockCountdown = kFlexBlocks;
    channel_.RetuneDataClock(symbolRate == 1600 ? kFlexPeriod1600 : kFlexPeriod3200);
    channel_.SetDataClockGain(kFlexAcquireGain);
  }
}

// The frame information word follows 16 symbols after the sync symbol: with
// the countdown at 88 after the sync symbol, its 32 bits arrive while the
// countdown goes from 72 to 41 (before the step).
void FlexDecoder::TakeFrameInfoBit(uint32_t bit) {
  constexpr int32_t kFirst = kFlexHeaderSymbols - 1 - 16;
  const int32_t index = kFirst - headerCountdown;
  if (index < 0 || index >= 32) return;
  frameInfoBits_[index] = bit != 0 ? '1' : '0';
  if (index != 31) return;
  char* buffer = bch_.codewordBuffer;
  for (int j = 0; j < 32; ++j) buffer[j] = frameInfoBits_[j];
  const int result = bch_.Correct();
  int32_t value = 0;
  for (int j = 0; j < 21; ++j) {
    if (buffer[j] == '0') value |= int32_t{1} << j;
  }
  if (result == 3) value |= flex::kErrorMark;
  if (flex::IsCheckedWord(value)) {
    frameCycle = flex::Bits(value, 4, 7);
    frameNumber = flex::Bits(value, 8, 14);
  } else {
    frameCycle = -1;
    frameNumber = -1;
  }
}

bool FlexDecoder::ConfirmedSync(const uint32_t (&w)[4]) {
  for (const FlexSyncCode& row : kFlexSyncCodes) {
    if (CountBits16(w[0] ^ row.code) + CountBits16(w[3] ^ row.complement) <= kSyncTolerance) {
      return true;
    }
  }
  return (w[0] ^ w[3]) == 0x0000FFFFu;
}

int FlexDecoder::ConfirmedSense(const uint32_t (&w)[4]) {
  const int m = MarkerDistance(w);
  if (m <= kSyncTolerance) return ConfirmedSync(w) ? 1 : 0;
  if (32 - m > kSyncTolerance) return 0;
  const uint32_t turned[4] = {~w[0], ~w[1], ~w[2], ~w[3]};
  return ConfirmedSync(turned) ? -1 : 0;
}

void FlexDecoder::TurnOver() {
  inverted_ = !inverted_;
  for (uint32_t& w : syncRegister) w = ~w;
}

bool FlexDecoder::HuntInsideFrame(uint32_t bit) {
  // Noise now and then looks like a damaged sync; the frame it starts must
  // not hide a real sync that follows within its 1.76 s, either way up.
  const int parity = symbolRate == 3200 ? (huntParity_ ^= 1) : 0;
  uint32_t(&w)[4] = hunt_[parity];
  Shift(w, bit);
  const int sense = ConfirmedSense(w);
  // At 3200 symbols/s each header symbol is seen twice: the header starts on
  // the second sight, late in the symbol, so the clock's next step at 1600
  // lands in the middle of the next one.
  const bool start = sense != 0 && (symbolRate != 3200 || huntSense_ == sense);
  huntSense_ = sense;
  if (!start) return false;
  if (sense < 0) inverted_ = !inverted_;
  for (int i = 0; i < 4; ++i) syncRegister[i] = sense > 0 ? w[i] : ~w[i];
  blockCountdown = 0;
  symbolIndex = 0;
  pairToggle = 0;
  channel_.RetuneDataClock(kFlexPeriod1600);
  OnSync();
  return true;
}

bool FlexDecoder::OnSync() {
  const uint32_t* w = syncRegister;
  // A marker whose code and complement are like no listed mode's, and not
  // an exact pair after bit sync either, is taken for noise that happened to
  // look like the marker (open squelch gives plenty): taking it for a sync
  // would read a frame of noise in the mode last used and miss a real sync
  // arriving meanwhile.
  // A real sync whose code took more than the tolerated errors still comes
  // close to its row, and its frame follows in the mode last used.
  int nearest = 32;
  for (const FlexSyncCode& row : kFlexSyncCodes) {
    nearest = std::min(nearest, CountBits16(w[0] ^ row.code) + CountBits16(w[3] ^ row.complement));
  }
  if (nearest > kUnlistedTolerance && (w[0] ^ w[3]) != 0x0000FFFFu) return false;
  headerCountdown = kFlexHeaderSymbols;
  frameCycle = -1;
  frameNumber = -1;
  bool known = false;
  for (const FlexSyncCode& row : kFlexSyncCodes) {
    if (CountBits16(w[0] ^ row.code) + CountBits16(w[3] ^ row.complement) > kSyncTolerance) {
      continue;
    }
    channel_.SetBusy(ChannelUser::kFlex, row.captionFlags);
    levelCount = row.levels;
    flexStatRow = row.statRow;
    reflexFrame = row.reflex;
    symbolRate = row.rate;
    known = true;
    break;
  }
  // An unlisted code counts only with its exact complement and the bit sync
  // in front of it (the high half of W0 repeats the 16 bits before the code).
  if (!known && (w[0] ^ w[3]) == 0x0000FFFFu) {
    WriteUnknownHeaderLine();
    channel_.SetBusy(ChannelUser::kFlex, kKeepCaption);
    reflexFrame = 0;
    flexStatRow = kRowFlex1600;
    levelCount = 2;
    symbolRate = 3200;
  }
  unconfirmed_ = !known && (w[0] ^ w[3]) != 0x0000FFFFu;
  for (auto& hunt : hunt_) std::fill(std::begin(hunt), std::end(hunt), 0u);
  huntSense_ = 0;
  channel_.RecentreClock(ChannelUser::kFlex);
  channel_.SetDataClockGain(kFlexTrackGain);
  return true;
}

void FlexDecoder::WriteUnknownHeaderLine() { events_.FlexUnknownSync(syncRegister); }

void FlexDecoder::EndOfSignal() {
  if (blockCountdown == 0) {
    if (headerCountdown > 0) {
      // A sync with no frame after it: only the clock and the busy flag to give back.
      headerCountdown = 0;
      channel_.RetuneDataClock(kFlexPeriod1600);
      channel_.ReleaseChannel(ChannelUser::kFlex);
      if (inverted_) TurnOver();
    }
    return;
  }
  // The frame was cut off. Its missing words (the block in progress, whose
  // bits are interleaved over all eight words, and every later block) are
  // marked as beyond repair, so the pages whose words all arrived are written
  // as at the frame's end and the rest show as damaged. A ReFLEX frame, shown
  // raw, leaves them out instead.
  const bool four = levelCount == 4;
  const bool fast = symbolRate == 3200;
  const bool used[4] = {true, four, fast, fast && four};
  const int32_t missing = reflexFrame == 1 ? flex::kIdleWord : flex::kErrorMark;
  const int firstMissing = 8 * (kFlexBlocks - blockCountdown);
  for (int p = 0; p < 4; ++p) {
    if (!used[p]) continue;
    for (int k = firstMissing; k < kFlexFrameWords; ++k) phases[p].words[k] = missing;
    if (reflexFrame == 0) DecodeFrame(phases[p]);
  }
  blockCountdown = 0;
  symbolIndex = 0;
  pairToggle = 0;
  EndOfFrame();
}

void FlexDecoder::EndOfFrame() {
  channel_.RetuneDataClock(kFlexPeriod1600);
  channel_.ReleaseChannel(ChannelUser::kFlex);
  if (reflexFrame == 1) WriteReflexLine();
  // The next frame is found afresh, whichever way up it comes.
  if (inverted_) TurnOver();
}

}  // namespace skelmar
