// The end of the record pipeline: every page's record encoded once, as a
// JSON line for standard output and the same line for every feed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "feeds/feed.h"
#include "output/charset.h"
#include "output/clock.h"
#include "output/filters.h"
#include "output/page_record.h"

namespace skelmar {

/// Room for the longest JSON object, reserved once so a page allocates nothing.
inline constexpr size_t kRecordReserve = 8192;

class RecordPipeline : public PageObserver {
 public:
  RecordPipeline(Clock& clock, const FilterTable& filters, const Charset& charset, FeedHub& feeds);
  void PageWritten(const PageRecord& page) override;

  /// JSON lines to `out` (null: none).
  void SetJsonOutput(std::FILE* out) { json_ = out; }
  std::FILE* jsonOutput() const { return json_; }
  /// `source` (kept by the caller) names the receiver in every record.
  void SetSource(const char* source) { source_ = source; }
  /// Pages decoded, each counted once (a joined record is no new page).
  uint64_t pages() const { return pages_; }
  /// Pages of `protocol` whose transmission was found the other way up.
  uint64_t invertedPages(PageProtocol protocol) const {
    return inverted_[static_cast<int>(protocol)];
  }

 private:
  Clock& clock_;
  const FilterTable& filters_;
  const Charset& charset_;
  FeedHub& feeds_;
  std::FILE* json_ = nullptr;
  const char* source_ = nullptr;
  std::string line_;
  uint64_t pages_ = 0;
  uint64_t inverted_[3] = {};
};

}  // namespace skelmar
