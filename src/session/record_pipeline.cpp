// Page records to JSON lines and feeds.
#include "session/record_pipeline.h"

#include "feeds/page_joiner.h"
#include "output/page_json.h"

namespace skelmar {

RecordPipeline::RecordPipeline(Clock& clock, const FilterTable& filters, const Charset& charset,
                               FeedHub& feeds)
    : clock_(clock), filters_(filters), charset_(charset), feeds_(feeds) {
  line_.reserve(kRecordReserve);
}

void RecordPipeline::PageWritten(const PageRecord& page) {
  if (!page.joined) {
    ++pages_;
    if (page.inverted) ++inverted_[static_cast<int>(page.protocol)];
  }
  // Feeds get every page but the pieces of a fragmented message: the joined
  // record follows them.
  const bool feed = feeds_.active() && !PageJoiner::IsFragmentPart(page);
  if (json_ == nullptr && !feed) return;
  // One line for both, so a feed sends exactly what --json prints.
  PageToJson(page, clock_.NowLocal(), clock_.UtcOffsetMinutes(), filters_, line_, source_,
             &charset_);
  if (json_ != nullptr) {
    std::fwrite(line_.data(), 1, line_.size(), json_);
    std::fputc('\n', json_);
  }
  if (feed) feeds_.Publish(page, line_, EpochSeconds(clock_.NowUtc()));
}

}  // namespace skelmar
