// POCSAG decoder: finds the sync codeword, collects batches, corrects codewords and
// turns address and message codewords into page events.
#include "pocsag/pocsag_decoder.h"

namespace skelmar {

namespace {

constexpr uint32_t kSyncHigh = 0x7CD2;
constexpr uint32_t kSyncLow = 0x15D8;
constexpr uint32_t kIdleHigh = 0x7A89;
constexpr uint32_t kIdleLow = 0xC197;
constexpr int kSyncTolerance = 4;
constexpr int kIdleTolerance = 2;
constexpr int kCodewordsPerBatch = 16;
constexpr int kBufferedCodewords = 7;
constexpr int kStreaming = 8;
constexpr int32_t kUncorrectableMark = 0x400000;
constexpr int32_t kCharErrorMark = 4096;
constexpr char kDigitTable[] = "0123456789*U -)(";

int32_t SpeedOfRow(int32_t row) {
  switch (row) {
    case kRowPocsag2400:
      return 2400;
    case kRowPocsag1200:
      return 1200;
    case kRowPocsag512:
      return 512;
    default:
      return 0;
  }
}

}  // namespace

PocsagDecoder::PocsagDecoder(const Settings& settings, PageEvents& events, ChannelControl& channel,
                             Bch3121& bch)
    : settings_(settings), events_(events), channel_(channel), bch_(bch) {
  channel_.ResetPocsagRateRow();
}

void PocsagDecoder::PutBit(char ch) { PutReliableBit(ch, 0); }

void PocsagDecoder::PutReliableBit(char ch, uint8_t reliability) {
  if (ch == 'X') {
    // The transmission is over: the next one is found afresh, either way up.
    if (inverted_) TurnOver();
    searchBits_ = kBatchGapBits + 1;
  } else if (inverted_) {
    ch = ch == '1' ? '0' : '1';
  }
  windowHigh_ = ((windowHigh_ << 1) | ((windowLow_ >> 15) & 1u)) & 0xFFFFu;
  windowLow_ = ((windowLow_ << 1) | (ch == '1' ? 1u : 0u)) & 0xFFFFu;

  if (ch == 'X') {
    // Signal gone: whatever is still buffered is dropped, a streamed line is ended.
    inSync_ = 0;
    messageCodewords = 0;
    alphaCount = 0;
    digitCount = 0;
    addressPending = 0;
    messageErrors_ = false;
    if (lineOpen > 0) EndPageLine();
    lineOpen = 0;
  }

  if (!inSync_) {
    const int distance = CountBits16(windowHigh_ ^ kSyncHigh) + CountBits16(windowLow_ ^ kSyncLow);
    // The sync codeword with every bit the other way up, once no batch of
    // this transmission can follow: what comes is read as if InvertData were
    // set for it.
    if (searchBits_ <= kBatchGapBits) ++searchBits_;
    const bool turned = searchBits_ > kBatchGapBits && 32 - distance <= kSyncTolerance;
    if (turned) TurnOver();
    if (distance <= kSyncTolerance || turned) {
      inSync_ = 1;
      codewordsLeft_ = kCodewordsPerBatch;
      bitIndex_ = 0;
    }
    return;
  }

  bch_.reliability[bitIndex_] = reliability;
  bch_.codewordBuffer[bitIndex_++] = ch;
  if (bitIndex_ == 32) {
    const int idleDistance =
        CountBits16(windowHigh_ ^ kIdleHigh) + CountBits16(windowLow_ ^ kIdleLow);
    if (idleDistance <= kIdleTolerance) {
      IdleCodeword();
    } else {
      DecodeCodeword(kCodewordsPerBatch - codewordsLeft_);
    }
    bitIndex_ = 0;
    --codewordsLeft_;
  }
  if (codewordsLeft_ == 0) {
    inSync_ = 0;
    searchBits_ = 0;
  }
}

void PocsagDecoder::TurnOver() {
  inverted_ = !inverted_;
  windowHigh_ ^= 0xFFFFu;
  windowLow_ ^= 0xFFFFu;
}

void PocsagDecoder::IdleCodeword() {
  channel_.HoldChannel(kPocsagHoldOnCodeword);
  // An address with no message before the idle codeword is a tone-only
  // page: transmitters end such pages with idle fill, so it is written
  // like one ended by the next address rather than dropped.
  if ((messageCodewords >= 1 && messageCodewords <= 6) ||
      (messageCodewords == 0 && addressPending == 1)) {
    Finish();
  }
  Reset();
}

void PocsagDecoder::DecodeCodeword(int index) {
  // A soft repair counts as uncorrectable for the marks, with the repaired bits.
  lastResult_ = bch_.CorrectSoft();
  // Idle fill too far gone for the idle match, which the reliabilities
  // repaired: it is idle fill, not an address.
  if (lastResult_ == Bch3121::kSoftRepair &&
      bch_.Word() == ((uint32_t{kIdleHigh} << 16) | kIdleLow)) {
    IdleCodeword();
    return;
  }
  if (lastResult_ < 2) channel_.HoldChannel(kPocsagHoldOnCodeword);
  if (bch_.codewordBuffer[0] == '1') {
    MessageCodeword();
  } else {
    AddressCodeword(index);
  }
}

void PocsagDecoder::AddressCodeword(int index) {
  if ((messageCodewords >= 1 && messageCodewords <= 6) ||
      (messageCodewords == 0 && addressPending == 1)) {
    Finish();
  }
  Reset();

  const char* cw = bch_.codewordBuffer;
  int32_t bits = 0;
  for (int i = 1; i <= 18; ++i) bits = 2 * bits + (cw[i] == '1' ? 1 : 0);
  address = (bits << 3) + index / 2;
  // A soft repair gives the address; the page is shown with bit errors.
  softAddress_ = lastResult_ == Bch3121::kSoftRepair;
  if (lastResult_ == 3) address |= kUncorrectableMark;
  function = 2 * (cw[19] == '1' ? 1 : 0) + (cw[20] == '1' ? 1 : 0);
  addressPending = 1;
}

void PocsagDecoder::MessageCodeword() {
  const bool bad = lastResult_ > 2;
  addressPending = 0;
  const char* cw = bch_.codewordBuffer;

  if (messageCodewords < kBufferedCodewords) {
    if (bad) messageErrors_ = true;
    for (int i = 1; i <= 20; ++i) {
      charShift_ = (charShift_ >> 1) + (cw[i] == '1' ? 64u : 0u);
      ++alphaBits;
      ++digitBits;
      if (alphaBits == 7) {
        if (alphaCount < kAlphaCapacity) {
          alphaChars[alphaCount] = static_cast<int32_t>(charShift_) + (bad ? kCharErrorMark : 0);
        }
        alphaBits = 0;
        ++alphaCount;
      }
      if (digitBits == 4) {
        if (digitCount < kDigitCapacity) digits[digitCount] = kDigitTable[(charShift_ >> 3) & 15u];
        digitBits = 0;
        ++digitCount;
      }
    }
    ++messageCodewords;
    if (messageCodewords == kBufferedCodewords) {
      // Seven codewords are too long for a numeric pager unless the user says
      // so: show what is buffered and stream the rest.
      if (Choice() == PocsagTypeChoice::kNumeric ||
          (Choice() == PocsagTypeChoice::kFunction && function == 0)) {
        WriteBufferedNumeric();
        streamDigits_ = true;
      } else {
        WriteBufferedAlpha();
      }
      messageCodewords = kStreaming;
    }
    return;
  }

  // Streaming: each codeword's characters go out as they complete.
  char chars[5];
  TextPiece piece;
  piece.chars = chars;
  piece.errors = bad;
  if (messageCodewords == kStreaming && streamDigits_) {
    for (int i = 1; i <= 20; ++i) {
      charShift_ = (charShift_ >> 1) + (cw[i] == '1' ? 64u : 0u);
      if (++digitBits == 4) {
        chars[piece.length++] = kDigitTable[(charShift_ >> 3) & 15u];
        digitBits = 0;
      }
    }
    // Nothing goes out while the page is hidden (ShowNumeric off); it was still counted.
    if (lineOpen > 0) events_.PageText(piece);
    return;
  }

  if (messageCodewords == kStreaming) {
    for (int i = 1; i <= 20; ++i) {
      charShift_ = (charShift_ >> 1) + (cw[i] == '1' ? 64u : 0u);
      if (++alphaBits == 7) {
        chars[piece.length++] = static_cast<char>(charShift_);
        alphaBits = 0;
      }
    }
    if (lineOpen > 0) events_.PageText(piece);
  }
}

PageStart PocsagDecoder::Start(PageType type) const {
  PageStart start;
  start.protocol = PageProtocol::kPocsag;
  start.type = type;
  start.statRow = channel_.PocsagRateRow();
  start.speed = SpeedOfRow(start.statRow);
  start.capcode = address & 0x1FFFFF;
  start.uncorrectable = (address & kUncorrectableMark) != 0;
  start.bitErrors = softAddress_;
  start.function = function + 1;
  start.functionBits = function;
  start.inverted = inverted_;
  return start;
}

void PocsagDecoder::WriteBufferedAlpha() {
  if (!events_.PageBegin(Start(PageType::kAlpha))) return;
  ++lineOpen;
  char chars[kAlphaCapacity];
  TextPiece piece;
  piece.chars = chars;
  piece.length = alphaCount < kAlphaCapacity ? alphaCount : kAlphaCapacity;
  for (int i = 0; i < piece.length; ++i) chars[i] = static_cast<char>(alphaChars[i] & 0xFF);
  piece.errors = messageErrors_;
  piece.held = true;
  events_.PageText(piece);
}

void PocsagDecoder::Finish() {
  const int alphaN = alphaCount < kAlphaCapacity ? alphaCount : kAlphaCapacity;
  const int digitN = digitCount < kDigitCapacity ? digitCount : kDigitCapacity;

  int alphaScore = 0;
  for (int i = 0; i < alphaN; ++i) {
    const int32_t v = alphaChars[i];
    if (v >= 32) {
      ++alphaScore;
    } else if (v != 10 && v != 23) {
      --alphaScore;
    }
  }
  int numericScore = 0;
  for (int i = 0; i < digitN; ++i) {
    const int32_t d = digits[i];
    numericScore += (d == 'U' || d == '(' || d == ')') ? -19 : 1;
  }

  bool alpha = 4 * numericScore < 7 * alphaScore;
  // An address without a message codeword is a tone-only page whatever the choice.
  if (messageCodewords > 0) {
    switch (Choice()) {
      case PocsagTypeChoice::kAuto:
        break;
      case PocsagTypeChoice::kFunction:
        if (function == 3) alpha = true;
        if (function == 0) alpha = false;
        break;
      case PocsagTypeChoice::kAlpha:
        alpha = true;
        break;
      case PocsagTypeChoice::kNumeric:
        alpha = false;
        break;
    }
  }
  if (alpha) {
    WriteBufferedAlpha();
    return;
  }
  WriteBufferedNumeric();
}

PocsagTypeChoice PocsagDecoder::Choice() const {
  PocsagTypeChoice choice = PocsagTypeChoice::kAuto;
  // The console refuses a bad value at start; anything else left in the record reads as auto.
  if (!ParsePocsagType(settings_.pocsagType, choice)) choice = PocsagTypeChoice::kAuto;
  return choice;
}

void PocsagDecoder::WriteBufferedNumeric() {
  const bool tone = messageCodewords == 0;
  if (!events_.PageBegin(Start(tone ? PageType::kTone : PageType::kNumeric))) return;
  ++lineOpen;
  if (tone) return;
  char chars[kDigitCapacity];
  TextPiece piece;
  piece.chars = chars;
  piece.length = digitCount < kDigitCapacity ? digitCount : kDigitCapacity;
  for (int i = 0; i < piece.length; ++i) chars[i] = static_cast<char>(digits[i]);
  piece.errors = messageErrors_;
  piece.held = true;
  events_.PageText(piece);
}

void PocsagDecoder::Reset() {
  if (lineOpen > 0) {
    EndPageLine();
    lineOpen = 0;
  }
  digitBits = 0;
  alphaBits = 0;
  alphaCount = 0;
  digitCount = 0;
  messageCodewords = 0;
  addressPending = 0;
  messageErrors_ = false;
  streamDigits_ = false;
  softAddress_ = false;
}

void PocsagDecoder::EndPageLine() { events_.PageEnd(); }

}  // namespace skelmar
