// Mixed-traffic scenario: POCSAG, FLEX and GSC transmissions of plausible pages
// with receiver noise between them, as one 4-level slicer edge stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modulator.h"

namespace siggen {

struct MixedTrafficOptions {
  uint32_t rngStart = 1;   ///< the same value gives the same stream, edge for edge
  double seconds = 180.0;  ///< transmissions start until this much stream time has passed
  /// Mean length of one noise state between transmissions (an open squelch).
  double noiseMeanSeconds = 400e-6;
  double minGapSeconds = 1.5;  ///< noise between two transmissions
  double maxGapSeconds = 4.0;
  /// Which transmitters are on the air (at least one).
  bool pocsag = true;
  bool flex = true;
  bool gsc = true;
};

/// What one page put on the air should look like on the monitor.
struct MixedTrafficPage {
  double startSeconds = 0;  ///< stream time at which its transmission starts
  std::string protocol;     ///< "POCSAG", "FLEX" or "GSC"
  int speed = 0;            ///< bit/s, or symbols/s for FLEX
  int levels = 2;
  uint32_t capcode = 0;
  int function = 0;            ///< POCSAG and GSC: 1..4 as shown
  char phase = 0;              ///< FLEX: phase letter
  std::string type;            ///< "numeric", "alpha" or "tone"
  std::string text;            ///< the text as sent
  int damagedBits = 0;         ///< channel bits flipped in this page's codewords
  bool uncorrectable = false;  ///< one codeword carries more errors than can be repaired
};

struct MixedTraffic {
  std::vector<PulseSample> edges;
  std::vector<MixedTrafficPage> pages;
  double seconds = 0;  ///< length of the stream
};

/// Builds the scenario. Deterministic for given options.
MixedTraffic MakeMixedTraffic(const MixedTrafficOptions& options);

/// One line per page: time, protocol, speed/levels, capcode, function or phase,
/// type, damage and the text in quotes.
std::string DescribePage(const MixedTrafficPage& page);

}  // namespace siggen
