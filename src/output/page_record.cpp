// Filling of the structured page record; every call returns at once when no
// one observes the pages.
#include "output/page_record.h"

#include <cstdio>
#include <cstring>

namespace skelmar {
namespace {

void CopyBounded(char* dst, size_t capacity, const char* src) {
  size_t n = 0;
  if (src != nullptr) {
    while (n + 1 < capacity && src[n] != 0) {
      dst[n] = src[n];
      ++n;
    }
  }
  dst[n] = 0;
}

}  // namespace

void PageRecorder::Begin(PageProtocol protocol, int32_t speed, int32_t levels) {
  if (observer_ == nullptr) return;
  page_.protocol = protocol;
  page_.speed = speed;
  page_.levels = levels;
  page_.capcode[0] = 0;
  page_.function = 0;
  page_.functionBits = -1;
  page_.phase = 0;
  page_.type[0] = 0;
  page_.text[0] = 0;
  page_.textLength = 0;
  page_.bitErrors = false;
  page_.inverted = false;
  page_.filter = -1;
  page_.alphaStart = -1;
  page_.alphaText[0] = 0;
  page_.longAddress = false;
  page_.cycle = -1;
  page_.frame = -1;
  page_.fragment = -1;
  page_.continued = false;
  page_.messageNumber = -1;
  page_.joined = false;
  page_.incomplete = false;
  page_.fragments = 0;
  open_ = true;
}

void PageRecorder::SetCapcode(const char* digits) {
  if (observer_ == nullptr) return;
  CopyBounded(page_.capcode, sizeof page_.capcode, digits);
}

void PageRecorder::SetType(const char* type) {
  if (observer_ == nullptr) return;
  CopyBounded(page_.type, sizeof page_.type, type);
}

void PageRecorder::SetAlphaText(const char* text, int32_t length) {
  if (observer_ == nullptr) return;
  int32_t n = 0;
  for (; n < length && n + 1 < static_cast<int32_t>(sizeof page_.alphaText) && text[n] != 0; ++n) {
    page_.alphaText[n] = text[n];
  }
  page_.alphaText[n] = 0;
}

void PageRecorder::Append(const char* text, int32_t length) {
  if (observer_ == nullptr || !open_) return;
  // Text past the record's capacity is dropped.
  for (int32_t i = 0; i < length && page_.textLength < static_cast<int32_t>(sizeof page_.text) - 1;
       ++i) {
    page_.text[page_.textLength++] = text[i];
  }
  page_.text[page_.textLength] = 0;
}

void PageRecorder::SetChannel(int64_t frequencyHz, const char* label) {
  page_.hasFrequency = true;
  page_.frequency = frequencyHz;
  std::snprintf(page_.channel, sizeof page_.channel, "%s", label != nullptr ? label : "");
}

void PageRecorder::Commit(int32_t filter) {
  if (observer_ == nullptr || !open_) return;
  page_.filter = filter;
  open_ = false;
  observer_->PageWritten(page_);
}

}  // namespace skelmar
