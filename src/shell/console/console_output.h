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

/// One JSON object (one line) for a page; `source` names the receiver (no
/// "source" field when null). With a national `charset` the alphanumeric text
/// is mapped (UTF-8) and the record names the set ("charset").
std::string PageToJson(const PageRecord& page, const SystemTime& local, int utcOffsetMinutes,
                       const FilterTable& filters, const char* source = nullptr,
                       const Charset* charset = nullptr);
/// The same into `out` (replaced), which keeps its capacity from page to page.
void PageToJson(const PageRecord& page, const SystemTime& local, int utcOffsetMinutes,
                const FilterTable& filters, std::string& out, const char* source = nullptr,
                const Charset* charset = nullptr);

/// Prints pages as JSON lines, counts pages for the progress line, and hands
/// each page's JSON line to the feeds.
class PagePrinter : public PageObserver {
 public:
  PagePrinter(std::FILE* out, Clock& clock, const FilterTable& filters, bool json,
              const Charset* charset = nullptr);
  void PageWritten(const PageRecord& page) override;
  uint64_t pages() const { return pages_; }
  /// Pages of `protocol` whose transmission was found the other way up.
  uint64_t invertedPages(PageProtocol protocol) const {
    return inverted_[static_cast<int>(protocol)];
  }
  /// Feeds get every page except the pieces of a fragmented message; `source`
  /// (kept by the caller) names the receiver in every record.
  void SetFeeds(FeedHub* feeds, const char* source) {
    feeds_ = feeds;
    source_ = source;
  }

 private:
  FeedHub* feeds_ = nullptr;
  const char* source_ = nullptr;
  std::FILE* out_;
  Clock& clock_;
  const FilterTable& filters_;
  bool json_;
  const Charset* charset_;
  std::string line_;
  uint64_t pages_ = 0;
  uint64_t inverted_[3] = {};  ///< by PageProtocol
};

/// A clock that reads a start time plus the stream time decoded so far, so a
/// file gives the same lines as a real-time run of it.
class StreamClock : public Clock {
 public:
  explicit StreamClock(long long startEpochSeconds);
  void Advance(uint64_t ticks);

  SystemTime NowUtc() override;
  SystemTime NowLocal() override;
  int UtcOffsetMinutes() override;
  void FormatDate(const SystemTime& local, char* out, size_t capacity) override;
  void FormatTime(const SystemTime& local, char* out, size_t capacity) override;

 private:
  /// The stream time as calendar fields, local or UTC.
  std::tm Broken(bool local, uint16_t& milliseconds) const;

  long long start_;
  uint64_t ticks_ = 0;
};

/// The hourly and daily table as the report prints it (without the date line).
void WriteStatsTable(std::FILE* out, const struct StatCounters& counters);

}  // namespace skelmar
