// Generated pager traffic with every symbol's true time and level kept, so the
// same air can be rendered as audio and decided symbol by symbol.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/edge_ring.h"

namespace skelmar::sensitivity {

/// One symbol (or a hold of one level) on the air, in ticks.
struct Segment {
  double start = 0;
  double end = 0;
  uint8_t level = 0;  ///< 0..3, 0 the lowest deviation
  bool data = true;   ///< false for holds between transmissions
};

/// The air as a list of symbols at known times.
class Timeline {
 public:
  /// Symbols (levels 0..3) at `rate` symbols per second.
  void Symbols(const std::vector<uint8_t>& levels, double rate);
  /// An unmodulated stretch of one level.
  void Hold(int level, double seconds);

  const std::vector<Segment>& segments() const { return segments_; }
  double endTicks() const { return now_; }

  /// Edges with the audio slicer's level statuses, for rendering.
  std::vector<PulseSample> Edges() const;

 private:
  std::vector<Segment> segments_;
  double now_ = 0;
};

/// Edges of the given per-segment levels at the segments' true boundaries,
/// equal neighbours merged, long states split.
std::vector<PulseSample> EdgesAt(const std::vector<Segment>& segments,
                                 const std::vector<uint8_t>& levels);

/// A page as the monitor should record it.
struct SentPage {
  std::string capcode;  ///< digits as shown
  std::string text;     ///< message text, trailing blanks not significant
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

/// Appends transmissions carrying `pages` random pages of the mode to `air`
/// (with lead-in and gaps) and their expected records to `sent`. The same
/// `rngStart` gives the same traffic.
void AppendTraffic(const Mode& mode, int pages, uint32_t rngStart, Timeline& air,
                   std::vector<SentPage>& sent);

/// Pages of `sent` found, each matched once, among the records (capcode and text).
struct DecodedPage {
  std::string capcode;
  std::string text;
};
int CountExact(const std::vector<SentPage>& sent, const std::vector<DecodedPage>& decoded);

/// Text without trailing blanks and NULs.
std::string TrimEnd(std::string text);

}  // namespace skelmar::sensitivity
