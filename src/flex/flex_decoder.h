// FLEX decoder: sync and mode, phase buffers and de-interleave, frame decoding.
#pragma once

#include <cstdint>

#include "frontend/front_end.h"
#include "output/decoder_output.h"
#include "pocsag/bch3121.h"

namespace skelmar {

/// One of the four phase buffers A..D.
struct FlexPhase {
  char letter = 'X';
  char bits[256] = {};
  int32_t words[200] = {};
};

class FlexDecoder : public FlexSymbolSink {
 public:
  FlexDecoder(DecoderOutput& out, FrontEnd& front, Bch3121& bch);
  void PutSymbol(int level) override;
  /// Names the phases A to D (window creation).
  void NamePhases();

  FlexPhase phases[4];

 private:
  DecoderOutput& out_;
  FrontEnd& front_;
  Bch3121& bch_;
};

}  // namespace skelmar
