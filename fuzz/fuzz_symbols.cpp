// Arbitrary symbol streams straight into each decoder, past the front end's
// rate detection and clocks.
#include "fuzz_harness.h"

using namespace skelmar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Bytes in(data, size);
  fuzz::MonitorRig rig(0x07 | (in.Byte() & 0x18));
  const uint8_t which = in.Byte() % 3;
  while (in.left() > 0) {
    const uint8_t b = in.Byte();
    // Each byte gives four symbols: what the decoder would get from its clock.
    for (int k = 0; k < 4; ++k) {
      const int v = (b >> (2 * k)) & 3;
      switch (which) {
        case 0:
          rig.monitor.pocsag.PutBit(v == 3 ? 'X' : (v & 1 ? '1' : '0'));
          break;
        case 1:
          rig.monitor.flex.PutSymbol(v);
          break;
        default:
          rig.monitor.gsc.PutBit(v & 1);
          break;
      }
    }
  }
  rig.monitor.Stop();
  return 0;
}
