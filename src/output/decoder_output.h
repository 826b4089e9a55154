// Everything a decoder writes a page through, handed to it by reference.
#pragma once

#include "frontend/front_end.h"
#include "frontend/mode_caption.h"
#include "output/filters.h"
#include "output/page_record.h"
#include "output/statistics.h"
#include "output/text_pane.h"
#include "settings/settings.h"

namespace skelmar {

struct DecoderOutput {
  const Settings& settings;
  TextPane& monitorPane;
  FilterTable& filters;
  StatCounters& stats;
  PageRecorder& pages;
  FilterProcessor& filterProcessor;  ///< lastMatch after each EndLine, for the page record
};

}  // namespace skelmar
