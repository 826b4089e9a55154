// What a decoder may ask of the channel it decodes: hold it, be busy on it,
// let it go, and steer the clock its symbols come from. The rules deciding
// whose turn it is live with the implementation (channel_arbiter.h).
#pragma once

#include <cstdint>

namespace skelmar {

/// The protocols that share one channel.
enum class ChannelUser { kPocsag, kFlex, kGsc };

/// SetBusy's caption argument when the caption stays as it is.
inline constexpr int kKeepCaption = -1;

class ChannelControl {
 public:
  virtual ~ChannelControl() = default;

  /// POCSAG: keeps the data clock for `bits` more bits from here.
  virtual void HoldChannel(int32_t bits) = 0;
  /// Statistics row (kRowPocsag*) of the POCSAG rate locked last.
  virtual int32_t PocsagRateRow() const = 0;
  /// A new POCSAG decoder counts under the 1200 row until a rate locks.
  virtual void ResetPocsagRateRow() = 0;

  /// FLEX or GSC found its sync and decodes what follows; `captionFlags`
  /// (mode flags, or kKeepCaption) is shown.
  virtual void SetBusy(ChannelUser who, int captionFlags) = 0;
  /// FLEX or GSC has finished what it decoded.
  virtual void ReleaseChannel(ChannelUser who) = 0;
  /// Decoding of `who` was switched off: what it holds is let go at once.
  virtual void SwitchedOff(ChannelUser who) = 0;

  /// The clock FLEX times its symbols on: new period, in interval-timer ticks.
  virtual void RetuneDataClock(double period) = 0;
  /// The same clock's loop gain.
  virtual void SetDataClockGain(double gain) = 0;
  /// Moves FLEX's clock or the GSC clock by half the mean of its logged errors.
  virtual void RecentreClock(ChannelUser who) = 0;
};

}  // namespace skelmar
