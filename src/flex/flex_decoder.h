// FLEX decoder: sync and mode, phase buffers and de-interleave, frame decoding.
#pragma once

#include <cstdint>

#include "frontend/channel_control.h"
#include "frontend/front_end_types.h"
#include "output/page_events.h"
#include "pocsag/bch3121.h"

namespace skelmar {

/// Number of word slots of a phase buffer; a frame fills the first 88.
inline constexpr int kFlexPhaseWords = 200;
inline constexpr int kFlexFrameWords = 88;
inline constexpr int kFlexBlocks = 11;
inline constexpr int kFlexBlockBits = 256;
/// Symbols from the sync symbol (inclusive) to the first block symbol.
inline constexpr int32_t kFlexHeaderSymbols = 89;

/// One of the four phase buffers A..D.
struct FlexPhase {
  char letter = 'X';
  char bits[kFlexBlockBits] = {};
  uint8_t reliability[kFlexBlockBits] = {};  ///< of each bit, 0 when not known
  int32_t words[kFlexPhaseWords] = {};
};

class FlexDecoder : public FlexSymbolSink {
 public:
  FlexDecoder(PageEvents& events, ChannelControl& channel, Bch3121& bch);
  void PutSymbol(int level) override;
  void PutReliableSymbol(int level, uint8_t outer, uint8_t inner) override;
  void EndOfSignal() override;
  /// Names the phases A to D (window creation).
  void NamePhases();

  /// Reports the pages of one phase's complete frame (its 88 words).
  void DecodeFrame(const FlexPhase& phase);

  FlexPhase phases[4];

  // Decoder state, public for the front end's view and for tests; only the
  // decoder writes it.
  uint32_t syncRegister[4] = {};  ///< W0 (oldest) .. W3 (newest bit in bit 0)
  int32_t headerCountdown = 0;
  int32_t blockCountdown = 0;
  int32_t symbolIndex = 0;
  int32_t pairToggle = 0;
  int32_t levelCount = 2;
  int32_t symbolRate = 1600;
  int32_t flexStatRow = kRowFlex1600;  ///< FlexStatRow
  int32_t reflexFrame = 0;             ///< ReflexFrame
  /// Cycle and frame number of the current frame's information word; -1 when
  /// it could not be read.
  int32_t frameCycle = -1;
  int32_t frameNumber = -1;

 private:
  // Sync and mode (flex_sync.cpp).
  void ShiftRegister(uint32_t bit);
  static void Shift(uint32_t (&w)[4], uint32_t bit);
  /// A listed mode's code within tolerance, or an unlisted code with its exact complement.
  static bool ConfirmedSync(const uint32_t (&w)[4]);
  /// 1 for a marker and code that ConfirmedSync takes, -1 for the same the
  /// other way up, 0 for neither.
  static int ConfirmedSense(const uint32_t (&w)[4]);
  /// Inside a frame begun on an unconfirmed sync: looks for a confirmed one
  /// and, when it comes, drops the frame and starts the new one's header.
  bool HuntInsideFrame(uint32_t bit);
  /// Reads the levels the other way up from now on; the register is turned
  /// over with them.
  void TurnOver();
  /// False when the code takes the marker for noise: nothing changes then.
  bool OnSync();
  void WriteUnknownHeaderLine();
  void EndOfFrame();
  /// Takes one header symbol into the frame information word; reads the word at its last bit.
  void TakeFrameInfoBit(uint32_t bit);

  // Phase buffers (flex_phase.cpp).
  void SymbolStep(int level);
  uint8_t outerReliability_ = 0;  ///< of the symbol in progress
  uint8_t innerReliability_ = 0;
  void StoreBlock(FlexPhase& phase, int block);
  void WriteReflexLine();

  // Frame decoding (flex_frame.cpp).
  /// The page's start: its address (at `index`), type, phase and frame.
  PageStart Start(const FlexPhase& phase, int index, bool isLong, int32_t vec,
                  int32_t second) const;
  void WriteShortMessage(const FlexPhase& phase, int32_t vec, int32_t second, bool isLong);
  void WriteNumeric(const FlexPhase& phase, int32_t vec, int32_t second, bool isLong, int type);
  void WriteAlphanumeric(const FlexPhase& phase, int32_t vec, int32_t second, bool isLong);
  void WriteHexadecimal(const FlexPhase& phase, int32_t vec, int32_t second, bool isLong);

  char frameInfoBits_[32] = {};  ///< the frame information word as received, first bit first
  /// The frame running began on a sync its code did not confirm.
  bool unconfirmed_ = false;
  /// Header-rate bits seen inside such a frame: one register for each symbol
  /// of a pair at 3200 symbols/s, where every header symbol arrives twice.
  uint32_t hunt_[2][4] = {};
  int huntParity_ = 0;
  int huntSense_ = 0;  ///< the last symbol seen completed a sync: its ConfirmedSense
  /// The frame in progress came the other way up: levels are inverted on
  /// arrival, and the registers hold them inverted.
  bool inverted_ = false;
  PageEvents& events_;
  ChannelControl& channel_;
  Bch3121& bch_;
};

}  // namespace skelmar
