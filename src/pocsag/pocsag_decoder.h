// POCSAG decoder: sync, batches, address and message codewords, page lines.
#pragma once

#include <cstdint>

#include "frontend/channel_control.h"
#include "frontend/front_end_types.h"
#include "output/page_events.h"
#include "pocsag/bch3121.h"
#include "settings/settings.h"

namespace skelmar {

class PocsagDecoder : public PocsagBitSink {
 public:
  PocsagDecoder(const Settings& settings, PageEvents& events, ChannelControl& channel,
                Bch3121& bch);
  void PutBit(char ch) override;
  void PutReliableBit(char ch, uint8_t reliability) override;

  static constexpr int kAlphaCapacity = 25;
  static constexpr int kDigitCapacity = 40;

  // The decoder record, public so tests and diagnostics can read it.
  int32_t address = 0;           ///< 18 address bits << 3 | frame; 0x400000 = uncorrectable
  int32_t messageCodewords = 0;  ///< 0..7 buffering, 8 streaming
  int32_t alphaCount = 0;
  int32_t digitCount = 0;
  int32_t lineOpen = 0;  ///< a page is shown and awaits its end
  int32_t alphaBits = 0;
  int32_t digitBits = 0;
  int32_t addressPending = 0;
  int32_t alphaChars[kAlphaCapacity] = {};  ///< 7-bit values, 4096 marks an uncorrectable source
  int32_t digits[kDigitCapacity] = {};      ///< digit-table characters
  int32_t function = 0;                     ///< 0..3

 private:
  void DecodeCodeword(int index);
  /// Idle fill: ends a page in progress.
  void IdleCodeword();
  void AddressCodeword(int index);
  void MessageCodeword();
  /// Begins an alphanumeric page with the buffered characters.
  void WriteBufferedAlpha();
  /// Begins a numeric (or tone-only) page with the buffered digits.
  void WriteBufferedNumeric();
  /// The page's start: its address, function and rate.
  PageStart Start(PageType type) const;
  /// The "PocsagType" setting.
  PocsagTypeChoice Choice() const;
  void Finish();
  void Reset();
  void EndPageLine();
  /// Reads the bits the other way up from now on; the window is turned over with them.
  void TurnOver();

  const Settings& settings_;
  PageEvents& events_;
  ChannelControl& channel_;
  Bch3121& bch_;

  uint32_t windowHigh_ = 0;
  uint32_t windowLow_ = 0;
  int32_t inSync_ = 0;
  int32_t codewordsLeft_ = 0;
  int32_t bitIndex_ = 0;
  uint32_t charShift_ = 0;
  int32_t lastResult_ = 0;
  bool messageErrors_ = false;  ///< an uncorrectable codeword fed the current message
  bool streamDigits_ = false;   ///< a long message streams as digits (PocsagType numeric)
  bool softAddress_ = false;    ///< the address codeword came from a soft repair
  /// The transmission's sync came the other way up: bits are inverted on arrival.
  bool inverted_ = false;
  /// Bits of searching after a batch during which only the transmission's
  /// own sense of the sync is taken: its next sync is due on the 32nd, and
  /// the windows before it, half in the last codeword, would now and then
  /// pass for the complement.
  static constexpr int32_t kBatchGapBits = 32;
  /// Bits searched since the last batch ended (counted up to one past the
  /// gap); starts past it, so the first sync may come either way up.
  int32_t searchBits_ = kBatchGapBits + 1;
};

}  // namespace skelmar
