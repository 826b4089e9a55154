// The body of one PagerMon POST, built from the page record.
#pragma once

#include <cstdint>
#include <string>

#include "output/page_record.h"

namespace skelmar {

/// Writes the JSON body (address, message, source, datetime, timestamp) into
/// `out`. Returns false for a page PagerMon does not get: a tone-only page
/// unless `tones`, or one whose capcode was not received.
bool PagerMonBody(const PageRecord& page, const char* source, int64_t epochSeconds, bool tones,
                  std::string& out);

/// Appends `s` (n bytes) as a JSON string: every byte outside printable ASCII
/// as a \u escape, so the body is valid JSON whatever came over the air.
void AppendJsonText(std::string& out, const char* s, size_t n);

}  // namespace skelmar
