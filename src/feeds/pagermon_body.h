// The body of one PagerMon POST, built from the page record.
#pragma once

#include <cstdint>
#include <string>

#include "output/charset.h"
#include "output/page_record.h"

namespace skelmar {

/// Writes the JSON body (address, message, source, datetime, timestamp) into
/// `out`; the message is the record's "text", by the same encoder and with the
/// same national `charset`. Returns false for a page PagerMon does not get: a
/// tone-only page unless `tones`, or one whose capcode was not received.
bool PagerMonBody(const PageRecord& page, const char* source, int64_t epochSeconds, bool tones,
                  std::string& out, const Charset* charset = nullptr);

}  // namespace skelmar
