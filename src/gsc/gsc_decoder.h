// GSC (Golay Sequential Code) decoder: hunting, slots, addresses, data blocks.
#pragma once

#include <cstdint>

#include "frontend/front_end.h"
#include "output/decoder_output.h"

namespace skelmar {

class GscDecoder : public GscBitSink {
 public:
  GscDecoder(DecoderOutput& out, FrontEnd& front);
  void PutBit(int bit) override;

 private:
  DecoderOutput& out_;
  FrontEnd& front_;
};

}  // namespace skelmar
