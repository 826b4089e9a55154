// Channel arbiter: the hand-over rules between POCSAG, FLEX and GSC (listed
// in channel_arbiter.h).
#include "frontend/channel_arbiter.h"

#include "frontend/mode_caption.h"

namespace skelmar {

namespace {

// Rule 1: FLEX's caption stays this many timer ticks after its sync.
constexpr int32_t kFlexCaptionTicks = 20;

}  // namespace

ChannelArbiter::ChannelArbiter(const Settings& settings, ModeCaption& captionRef)
    : caption(captionRef), settings_(settings) {}

void ChannelArbiter::Attach(PocsagBitSink* pocsag, FlexSymbolSink* flex, GscBitSink* gsc) {
  pocsag_ = pocsag;
  flex_ = flex;
  gsc_ = gsc;
}

void ChannelArbiter::ResetChannel() {
  dataClock = SymbolClock{};
  dataClock.period = kFlexPeriod1600;
  dataClock.gain = kFlexAcquireGain;
  gscClock = SymbolClock{};
  gscClock.period = kGscPeriod;
  gscClock.gain = kGscGain;
  shared = FrontShared{};
  shared.pocsagStatRow = kRowPocsag1200;
  flexWatch_ = SymbolClock{};
}

void ChannelArbiter::CancelPocsagHold() {
  if (shared.pocsagHold <= 0) return;  // FLEX mode already: a FLEX frame may own the clock
  shared.pocsagHold = 0;
  DataClockToFlex();
}

void ChannelArbiter::EndOfSignal() {
  // Without more bits the hold would never count down, leaving the page being
  // streamed without its line end.
  if (shared.pocsagHold > 0) {
    shared.pocsagHold = 0;
    caption.ShowModeTitle(0);
    if (pocsag_ != nullptr) pocsag_->PutBit('X');
    DataClockToFlex();
  }
  if (flex_ != nullptr) flex_->EndOfSignal();
  if (gsc_ != nullptr) gsc_->EndOfSignal();
}

void ChannelArbiter::CaptionTick() {
  if (shared.captionTimeout > 0) {
    --shared.captionTimeout;
    if (shared.captionTimeout == 0) caption.ShowModeTitle(0);
  }
}

void ChannelArbiter::HoldChannel(int32_t bits) { shared.pocsagHold = bits; }

void ChannelArbiter::ResetPocsagRateRow() { shared.pocsagStatRow = kRowPocsag1200; }

void ChannelArbiter::SetBusy(ChannelUser who, int captionFlags) {
  if (captionFlags != kKeepCaption) caption.ShowModeTitle(captionFlags);
  switch (who) {
    case ChannelUser::kFlex:
      shared.flexBusy = 1;
      shared.captionTimeout = kFlexCaptionTicks;
      break;
    case ChannelUser::kGsc:
      shared.gscBusy = 1;
      break;
    case ChannelUser::kPocsag:
      break;  // POCSAG holds the channel instead
  }
}

void ChannelArbiter::ReleaseChannel(ChannelUser who) {
  switch (who) {
    case ChannelUser::kFlex:
      shared.flexBusy = 0;  // the caption waits for its timeout
      break;
    case ChannelUser::kGsc:
      shared.gscBusy = 0;
      caption.ShowModeTitle(0);
      break;
    case ChannelUser::kPocsag:
      break;  // its hold runs out instead
  }
}

void ChannelArbiter::SwitchedOff(ChannelUser who) {
  switch (who) {
    case ChannelUser::kPocsag:
      CancelPocsagHold();
      break;
    case ChannelUser::kFlex:
      shared.flexBusy = 0;
      break;
    case ChannelUser::kGsc:
      shared.gscBusy = 0;
      break;
  }
}

void ChannelArbiter::RetuneDataClock(double period) { FlexClock().period = period; }

void ChannelArbiter::SetDataClockGain(double gain) { FlexClock().gain = gain; }

void ChannelArbiter::RecentreClock(ChannelUser who) {
  switch (who) {
    case ChannelUser::kFlex:
      FlexClock().RecenterPhase();
      break;
    case ChannelUser::kGsc:
      gscClock.RecenterPhase();
      break;
    case ChannelUser::kPocsag:
      dataClock.RecenterPhase();
      break;
  }
}

void ChannelArbiter::PocsagLocked(int captionFlags, int32_t statRow, double period) {
  caption.ShowModeTitle(captionFlags);
  shared.pocsagStatRow = statRow;
  dataClock.period = period;
  if (shared.pocsagHold <= 0) {
    // Coming from FLEX mode: the clocks start afresh at this edge.
    dataClock.elapsed = 0;
    dataClock.phase = 0;
    gscClock.elapsed = 0;
    gscClock.phase = 0;
    flexWatch_ = SymbolClock{};
    flexWatch_.period = kFlexPeriod1600;
    flexWatch_.gain = kFlexAcquireGain;
  }
  shared.pocsagHold = kPocsagHoldOnLock;
  dataClock.gain = kPocsagGain;
  if (shared.gscBusy != 0) EndGscTurn();
}

void ChannelArbiter::HoldRanOut() {
  caption.ShowModeTitle(0);
  if (pocsag_ != nullptr) pocsag_->PutBit('X');
  if (settings_.decodeFlex != 0 && flexWatch_.period > 0) {
    // FLEX's own clock has followed the channel all through the hold.
    dataClock = flexWatch_;
  } else {
    DataClockToFlex();
  }
}

void ChannelArbiter::TakeChannelForFlex() {
  // The page in progress ends as when the hold runs out; the caption is FLEX's now.
  shared.pocsagHold = 0;
  if (pocsag_ != nullptr) pocsag_->PutBit('X');
  dataClock = flexWatch_;
}

void ChannelArbiter::EndGscTurn() {
  shared.gscBusy = 0;
  if (gsc_ != nullptr) gsc_->ChannelTaken();
}

void ChannelArbiter::DataClockToFlex() {
  dataClock.period = kFlexPeriod1600;
  dataClock.gain = kFlexAcquireGain;
}

}  // namespace skelmar
