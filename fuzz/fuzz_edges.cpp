// Arbitrary slicer edges through the front end and all three decoders, with
// the decode, level and invert settings taken from the input.
#include "frontend/edge_ring.h"
#include "fuzz_harness.h"

using namespace skelmar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Bytes in(data, size);
  fuzz::MonitorRig rig(in.Byte());
  // A small ring, so the reader's wrap-around is exercised as well.
  EdgeRing ring(64);
  EdgeProducer producer(ring, &rig.monitor.front.readIndex());
  while (in.left() >= 3) {
    // A tick after every few edges, as the 100 ms timer would come.
    const int burst = 1 + in.Byte() % 48;
    for (int i = 0; i < burst && in.left() >= 3; ++i) {
      const uint16_t duration = in.Word();
      const uint8_t status = in.Byte();
      if (!producer.Put(duration, status)) break;
    }
    rig.monitor.TimerTick(&ring);
  }
  rig.monitor.TimerTick(&ring);
  rig.monitor.Stop();
  return 0;
}
