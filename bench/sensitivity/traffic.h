// Generated pager traffic with every symbol's true time and level kept, so the
// same air can be rendered as audio and decided symbol by symbol.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/edge_ring.h"

namespace skelmar {
class FrontEnd;
}

namespace skelmar::sensitivity {

/// Edges into `ring` with the slicer's decisions beside them, as an audio
/// source writes them (each decision before the edge that ends its state),
/// `front` reading them as they come.
void FeedWithDecisions(EdgeRing& ring, FrontEnd& front, const std::vector<PulseSample>& edges,
                       const std::vector<SymbolDecision>& decisions);

/// One symbol (or a hold of one level) on the air, in ticks.
struct Segment {
  double start = 0;
  double end = 0;
  uint8_t level = 0;     ///< 0..3, 0 the lowest deviation
  bool data = true;      ///< false for holds between transmissions
  bool squelch = false;  ///< open-squelch noise: no carrier at all
};

/// The air as a list of symbols at known times.
class Timeline {
 public:
  /// Symbols (levels 0..3) at `rate` symbols per second.
  void Symbols(const std::vector<uint8_t>& levels, double rate);
  /// An unmodulated stretch of one level.
  void Hold(int level, double seconds);
  /// No carrier: the receiver's squelch is open on noise.
  void Squelch(double seconds);
  /// A new number for a frame or transmission, unique on this timeline.
  int NewGroup() { return groups_++; }
  int groups() const { return groups_; }

  const std::vector<Segment>& segments() const { return segments_; }
  double endTicks() const { return now_; }

  /// Edges with the audio slicer's level statuses, for rendering.
  std::vector<PulseSample> Edges() const;

 private:
  std::vector<Segment> segments_;
  double now_ = 0;
  int groups_ = 0;
};

/// Edges of the given per-segment levels at the segments' true boundaries,
/// equal neighbours merged, long states split.
std::vector<PulseSample> EdgesAt(const std::vector<Segment>& segments,
                                 const std::vector<uint8_t>& levels);

/// A page as the monitor should record it.
struct SentPage {
  std::string capcode;  ///< digits as shown
  std::string text;     ///< message text, trailing blanks not significant
  int group = -1;       ///< FLEX frame or POCSAG/GSC transmission that carried it
  char phase = 0;       ///< FLEX phase 'A'..'D'
};

enum class Protocol { kPocsag, kFlex, kGsc };

struct Mode {
  const char* name;
  Protocol protocol;
  int rate;           ///< bit/s or symbols/s of the message part
  int levels;         ///< 2 or 4
  uint16_t flexCode;  ///< FLEX mode code
};

inline constexpr Mode kModes[] = {
    {"pocsag512", Protocol::kPocsag, 512, 2, 0},
    {"pocsag1200", Protocol::kPocsag, 1200, 2, 0},
    {"pocsag2400", Protocol::kPocsag, 2400, 2, 0},
    {"flex1600/2", Protocol::kFlex, 1600, 2, 0x870C},
    {"flex1600/4", Protocol::kFlex, 1600, 4, 0xB068},
    {"flex3200/4", Protocol::kFlex, 3200, 4, 0xDEA0},
    {"gsc600", Protocol::kGsc, 600, 2, 0},
};

/// How transmissions are laid out on the air.
struct TrafficShape {
  /// FLEX: frames carry only the standard 32-bit sync in front of their sync
  /// code, with no long bit-sync lead-in before the first.
  bool minimalSync = false;
  /// Open-squelch noise of this length before each transmission instead of
  /// an unmodulated carrier (0: carrier).
  double squelchSeconds = 0;
  /// FLEX frames per transmission; 0 sends all frames back to back.
  int framesPerTransmission = 0;
  /// FLEX: most pages in one phase of a frame; 0 fills the phase.
  int pagesPerPhase = 0;
  /// No pause of carrier before and after the transmissions: the next mode
  /// follows at once.
  bool noGaps = false;
};

/// Appends transmissions carrying `pages` random pages of the mode to `air`
/// (with lead-in and gaps) and their expected records to `sent`. The same
/// `rngStart` gives the same traffic.
void AppendTraffic(const Mode& mode, int pages, uint32_t rngStart, Timeline& air,
                   std::vector<SentPage>& sent, const TrafficShape& shape = {});

/// Pages of `sent` found, each matched once, among the records (capcode and text).
struct DecodedPage {
  std::string capcode;
  std::string text;
};
int CountExact(const std::vector<SentPage>& sent, const std::vector<DecodedPage>& decoded);
/// The same, page by page: whether each sent page was found.
std::vector<bool> MatchExact(const std::vector<SentPage>& sent,
                             const std::vector<DecodedPage>& decoded);

/// Text without trailing blanks and NULs.
std::string TrimEnd(std::string text);

}  // namespace skelmar::sensitivity
