// The output side of the decoders' page events: the coloured monitor line,
// the filter lookup, the statistics count and the page record.
#pragma once

#include <cstdint>

#include "output/filters.h"
#include "output/page_events.h"
#include "output/page_record.h"
#include "output/statistics.h"
#include "output/text_pane.h"
#include "settings/settings.h"

namespace skelmar {

/// Everything the composers write a page to, shared by all of them.
struct PageSinks {
  const Settings& settings;
  TextPane& monitorPane;
  FilterTable& filters;
  StatCounters& stats;
  PageRecorder& pages;
  FilterProcessor& filterProcessor;  ///< lastMatch after each EndLine, for the page record
  /// Where several channels run: the name each line starts with (else null).
  const char* channelName = nullptr;
};

/// One per decoder: each decoder may have a page open (a POCSAG message
/// streams until its next address) while another writes one.
class PageComposer : public PageEvents {
 public:
  explicit PageComposer(const PageSinks& sinks) : sinks_(sinks) {}

  bool PageBegin(const PageStart& start) override;
  void PageText(const TextPiece& text) override;
  void PageEnd() override;
  void FlexUnknownSync(const uint32_t (&syncWords)[4]) override;
  void FlexReflexFrame(const int32_t* const (&phaseWords)[4], int32_t wordCount) override;

 private:
  /// Whether the settings show a page of this type.
  bool Shown(const PageStart& start) const;
  /// The filter lookup, the record's address fields and the capcode block.
  void WriteCapcode(const PageStart& start);
  /// Where several channels run, every line starts with the channel's name.
  void PutChannelName();

  PageSinks sinks_;
  bool open_ = false;  ///< a page was begun and shown and awaits its end
  int textSlot_ = 0;
  int errorSlot_ = 0;
};

}  // namespace skelmar
