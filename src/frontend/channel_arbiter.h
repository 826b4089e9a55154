// Channel arbiter: whose turn it is on the one channel POCSAG, FLEX and GSC
// share, who holds the data clock, and who may end whose turn. Every rule of
// the hand-over is here; the front end asks before it delivers a symbol.
//
//  1. FLEX has the data clock unless POCSAG holds it ("FLEX mode"). FLEX is
//     busy from its sync to the end of its frame; its caption goes plain 20
//     timer ticks after the sync.
//  2. A POCSAG rate lock shows its rate, starts the clocks afresh when coming
//     from FLEX mode and holds the data clock for 600 bits; every codeword
//     with at most one error re-arms the hold to 170 bits.
//  3. A hold that runs out ends in order: plain caption, 'X' to POCSAG, then
//     the data clock back to FLEX (the clock FLEX listened on, when it did).
//  4. While FLEX is busy, the POCSAG rate detector and the GSC bits stop.
//  5. GSC is busy from its start code to the end of its batch, and its
//     caption goes plain when it finishes. While it is busy, POCSAG gets no
//     bits and its hold does not count down; FLEX still gets its symbols, as
//     a batch that leaves part of its slot budget unused would otherwise
//     keep the channel past its end and swallow a frame sent right after it.
//  6. During a hold FLEX listens for its sync on a clock of its own; a sync
//     ends the hold at once ('X' to POCSAG, no caption change) and FLEX's
//     clock becomes the data clock.
//  7. A FLEX sync or a POCSAG rate lock while GSC is busy ends the GSC
//     transmission (GscBitSink::ChannelTaken); the caption is the newcomer's.
//  8. A decoder switched off lets go at once: POCSAG's hold (data clock back
//     to FLEX, no 'X', caption kept), FLEX's or GSC's busy flag.
//  9. At the end of the signal a running hold ends as if it ran out, then
//     FLEX and GSC end what they are in the middle of.
#pragma once

#include <cstdint>

#include "frontend/channel_control.h"
#include "frontend/front_end_types.h"
#include "settings/settings.h"

namespace skelmar {

class ModeCaption;

/// The turn state, read by the front end on every symbol.
struct FrontShared {
  int32_t pocsagHold = 0;  ///< PocsagHold: POCSAG bits left before FLEX mode returns
  int32_t pocsagStatRow = kRowPocsag1200;  ///< PocsagStatRow
  int32_t flexBusy = 0;                    ///< FlexBusy
  int32_t gscBusy = 0;                     ///< GscBusy
  int32_t captionTimeout = 0;              ///< CaptionTimeout, in timer ticks
};

class ChannelArbiter : public ChannelControl {
 public:
  ChannelArbiter(const Settings& settings, ModeCaption& caption);
  ChannelArbiter(const ChannelArbiter&) = delete;
  ChannelArbiter& operator=(const ChannelArbiter&) = delete;

  /// Any sink may be null: its calls are skipped, everything else runs as usual.
  void Attach(PocsagBitSink* pocsag, FlexSymbolSink* flex, GscBitSink* gsc);

  /// POCSAG decoding was switched off: drops a running hold and gives the data
  /// clock back to FLEX (period and gain), so FLEX can sync again. No 'X' is
  /// sent and the caption stays as it is.
  void CancelPocsagHold();

  /// No edge will come any more (end of a file or pipe, or the program
  /// stops). A running POCSAG hold ends as if it had run out ('X' to the
  /// decoder, plain caption, data clock back to FLEX), and FLEX and GSC end
  /// what they are in the middle of, so every page received so far is written.
  /// Call it after the last sample has been polled.
  void EndOfSignal();

  /// Step 3 of the timer tick: counts CaptionTimeout down, clearing the caption at 0.
  void CaptionTick();

  /// The clock FLEX times its symbols on: the data clock, except while a
  /// POCSAG hold has it and FLEX listens on a clock of its own.
  SymbolClock& FlexClock() { return *flexClock_; }

  // ChannelControl.
  void HoldChannel(int32_t bits) override;
  int32_t PocsagRateRow() const override { return shared.pocsagStatRow; }
  void ResetPocsagRateRow() override;
  void SetBusy(ChannelUser who, int captionFlags) override;
  void ReleaseChannel(ChannelUser who) override;
  void SwitchedOff(ChannelUser who) override;
  void RetuneDataClock(double period) override;
  void SetDataClockGain(double gain) override;
  void RecentreClock(ChannelUser who) override;

  // Turn state, public for tests and diagnostics; only the arbiter writes it
  // (the front end moves the clocks' phase as symbols pass).
  SymbolClock dataClock;
  SymbolClock gscClock;
  FrontShared shared;
  ModeCaption& caption;

 protected:
  /// Clocks and turn state as at start-up.
  void ResetChannel();

  // Asked for every sample or symbol, so kept inline.
  /// The rate detector runs: also while GSC decodes, so its lock can end a
  /// batch that keeps the channel past its end (rules 4, 7).
  bool RateDetectorListens() const { return settings_.decodePocsag != 0 && shared.flexBusy == 0; }
  /// A GSC bit is delivered (rule 4).
  bool GscBitsPass() const { return settings_.decodeGolay != 0 && shared.flexBusy == 0; }
  /// POCSAG has the data clock (rules 1, 2).
  bool PocsagHolds() const { return shared.pocsagHold > 0; }
  /// A POCSAG bit is delivered during the hold (rule 5).
  bool PocsagBitsPass() const { return shared.gscBusy == 0 && settings_.decodePocsag != 0; }
  /// A FLEX symbol is delivered on the data clock in FLEX mode (rule 1),
  /// also while GSC is busy (rule 5).
  bool FlexSymbolsPass() const { return settings_.decodeFlex != 0; }
  /// FLEX listens on its own clock during the hold (rule 6).
  bool FlexWatches() const { return shared.pocsagHold > 0 && settings_.decodeFlex != 0; }

  /// A POCSAG rate locked (rules 2, 7).
  void PocsagLocked(int captionFlags, int32_t statRow, double period);
  /// A POCSAG bit was delivered: counts the hold down (rule 3).
  void PocsagBitTaken() {
    // The decoder may have re-armed the hold (or cleared it) inside the call.
    if (shared.pocsagHold > 0 && --shared.pocsagHold == 0) HoldRanOut();
  }
  /// A FLEX symbol was delivered on FLEX's clock (rule 7).
  void FlexSymbolTaken() {
    if (shared.gscBusy != 0 && shared.flexBusy != 0) EndGscTurn();
  }
  /// After a symbol FLEX got on its own clock during a hold: when it
  /// completed a sync, FLEX takes the channel (rule 6) and this returns true.
  bool FlexTookChannel() {
    if (shared.flexBusy == 0) return false;
    TakeChannelForFlex();
    return true;
  }

  const Settings& settings_;
  PocsagBitSink* pocsag_ = nullptr;
  FlexSymbolSink* flex_ = nullptr;
  GscBitSink* gsc_ = nullptr;
  /// FLEX's clock while a POCSAG hold has the data clock, so a FLEX frame
  /// that follows POCSAG at once is heard before the hold runs out.
  SymbolClock flexWatch_;
  SymbolClock* flexClock_ = &dataClock;

 private:
  void HoldRanOut();
  void TakeChannelForFlex();
  void EndGscTurn();
  /// The data clock back to FLEX's acquiring 1600 clock.
  void DataClockToFlex();
};

}  // namespace skelmar
