// What the console prints: finished monitor rows (optionally coloured) or one
// JSON object per page, and the clock that follows a stream's own time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "feeds/feed.h"
#include "output/charset.h"
#include "output/clock.h"
#include "output/filters.h"
#include "output/page_json.h"
#include "output/page_record.h"
#include "output/text_pane.h"
#include "settings/settings.h"

namespace skelmar {

/// Renders one pane row as the terminal should show it: the characters up to
/// the first NUL, with bytes the pane would not paint as text (top bit set,
/// control characters) shown as '.', and ANSI colour changes when `color`.
/// With a national `charset`, alphanumeric text comes out mapped, in UTF-8.
std::string RenderRow(const char* text, const int32_t* slots, const Settings& settings, bool color,
                      const Charset* charset = nullptr);
/// The same into `out` (cleared first), which keeps its capacity from row to row.
void RenderRow(const char* text, const int32_t* slots, const Settings& settings, bool color,
               std::string& out, const Charset* charset = nullptr);

/// Room for the longest row or JSON object, reserved once so printing a page
/// allocates nothing.
inline constexpr size_t kLineReserve = 8192;

/// Prints every finished monitor row.
class RowPrinter : public RowObserver {
 public:
  RowPrinter(std::FILE* out, const Settings& settings, bool color,
             const Charset* charset = nullptr);
  void RowFinished(const char* text, const int32_t* slots) override;
  uint64_t rows() const { return rows_; }

 private:
  std::FILE* out_;
  const Settings& settings_;
  bool color_;
  const Charset* charset_;
  std::string line_;
  uint64_t rows_ = 0;
};

/// The hourly and daily table as the report prints it (without the date line).
void WriteStatsTable(std::FILE* out, const struct StatCounters& counters);

}  // namespace skelmar
