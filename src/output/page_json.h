// The page record as JSON: the one encoder of every output (--json, MQTT,
// PagerMon's body, ...), so a page reads the same wherever it goes. The fields
// and their rules are documented in docs/page-record.md.
#pragma once

#include <cstddef>
#include <string>

#include "output/charset.h"
#include "output/clock.h"
#include "output/filters.h"
#include "output/page_record.h"

namespace skelmar {

/// The record format's version, the "schema" field of every record. Raised
/// when a field changes its meaning or goes away; new fields keep it.
inline constexpr int kPageRecordSchema = 1;

/// Appends `s[0..n)` as a JSON string. Received bytes are 7- or 8-bit codes,
/// not UTF-8: every byte outside printable ASCII becomes an escape, so the
/// result is valid JSON whatever came over the air.
void AppendJsonString(std::string& out, const char* s, size_t n);

/// Appends the page's text as every output carries it (the record's "text"),
/// as a JSON string: without the NULs that pad the last codeword, a numeric
/// text without its padding blanks, for GSC the plausible one of its two
/// readings, and alphanumeric text in the national `charset` (UTF-8).
void AppendPageText(std::string& out, const PageRecord& page, const Charset* charset);

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

}  // namespace skelmar
