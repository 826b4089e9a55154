// POCSAG decoder: sync, batches, address and message codewords, page lines.
#pragma once

#include <cstdint>

#include "frontend/front_end.h"
#include "output/decoder_output.h"
#include "pocsag/bch3121.h"

namespace skelmar {

class PocsagDecoder : public PocsagBitSink {
 public:
  PocsagDecoder(DecoderOutput& out, FrontEnd& front, Bch3121& bch);
  void PutBit(char ch) override;

 private:
  DecoderOutput& out_;
  FrontEnd& front_;
  Bch3121& bch_;
  // Decoder record and state: see the implementation.
};

}  // namespace skelmar
