// Reading and writing edge recordings in their binary and text forms.
#include "frontend/edge_recording.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace skelmar {

namespace {

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Load64(const uint8_t* p) {
  return static_cast<uint64_t>(Load32(p)) | (static_cast<uint64_t>(Load32(p + 4)) << 32);
}
void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Store64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Parses an unsigned number (decimal, or hex after "0x" when `allowHex`) at
// `p`; returns the character after it, or nullptr if there is no valid number
// or it exceeds `limit`.
const char* ParseNumber(const char* p, bool allowHex, uint64_t limit, uint64_t& value) {
  unsigned base = 10;
  if (allowHex && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  uint64_t v = 0;
  const char* start = p;
  for (;; ++p) {
    unsigned digit;
    if (*p >= '0' && *p <= '9') {
      digit = static_cast<unsigned>(*p - '0');
    } else if (base == 16 && *p >= 'a' && *p <= 'f') {
      digit = static_cast<unsigned>(*p - 'a' + 10);
    } else if (base == 16 && *p >= 'A' && *p <= 'F') {
      digit = static_cast<unsigned>(*p - 'A' + 10);
    } else {
      break;
    }
    if (v > (limit - digit) / base) return nullptr;
    v = v * base + digit;
  }
  if (p == start) return nullptr;
  value = v;
  return p;
}

}  // namespace

// ---------------------------------------------------------------- reader

EdgeRecordingReader::~EdgeRecordingReader() { Close(); }

void EdgeRecordingReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool EdgeRecordingReader::Open(const std::string& path, std::string* error) {
  Close();
  path_ = path;
  error_.clear();
  format_ = EdgeRecordingFormat::kText;
  tickRate_ = kEdgeTickRate;
  declaredCount_ = kEdgeRecordingUnknownCount;
  samplesRead_ = lineNumber_ = fileTicks_ = outputTicks_ = pendingTicks_ = 0;
  textBytes_ = textTicks_ = 0;
  warning_.clear();
  havePending_ = ended_ = false;
  bufferPos_ = bufferLength_ = 0;
  bufferOffset_ = 0;

  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) {
    error_ = path + ": cannot open: " + std::strerror(errno);
    if (error != nullptr) *error = error_;
    return false;
  }
  // The binary form starts with a byte no text file begins with.
  const int first = std::fgetc(file_);
  if (first == EOF && std::ferror(file_) != 0) {
    // A directory opens but cannot be read; neither can a vanished device.
    error_ = path + ": cannot read: " + std::strerror(errno);
    if (error != nullptr) *error = error_;
    Close();
    return false;
  }
  if (first == EOF) {
    ended_ = true;  // an empty file is an empty text recording
    return true;
  }
  std::ungetc(first, file_);
  if (first == kEdgeRecordingMagic[0]) return OpenBinary(error);
  return true;
}

bool EdgeRecordingReader::OpenBinary(std::string* error) {
  format_ = EdgeRecordingFormat::kBinary;
  uint8_t header[kEdgeRecordingHeaderSize];
  const size_t got = std::fread(header, 1, sizeof header, file_);
  bool ok = true;
  if (got < sizeof header) {
    ok = Fail("truncated header (24 bytes expected)", got);
  } else if (std::memcmp(header, kEdgeRecordingMagic, sizeof kEdgeRecordingMagic) != 0) {
    size_t at = 0;
    while (header[at] == kEdgeRecordingMagic[at]) ++at;
    ok = Fail("not an edge recording (bad magic)", at);
  } else if (Load16(header + 8) != kEdgeRecordingVersion) {
    char what[64];
    std::snprintf(what, sizeof what, "unsupported version %u", unsigned{Load16(header + 8)});
    ok = Fail(what, 8);
  } else if (Load16(header + 10) != 0) {
    ok = Fail("reserved header field is not zero", 10);
  } else {
    tickRate_ = Load32(header + 12);
    declaredCount_ = Load64(header + 16);
    if (tickRate_ < kEdgeMinTickRate || tickRate_ > kEdgeMaxTickRate) {
      char what[80];
      std::snprintf(what, sizeof what, "tick rate %" PRIu32 " out of range", tickRate_);
      ok = Fail(what, 12);
    }
  }
  bufferOffset_ = kEdgeRecordingHeaderSize;
  if (!ok && error != nullptr) *error = error_;
  if (!ok) Close();
  return ok;
}

bool EdgeRecordingReader::Fail(const char* what, uint64_t offset) {
  char where[48];
  std::snprintf(where, sizeof where, " at byte offset %" PRIu64, offset);
  error_ = path_ + ": " + what + where;
  ended_ = true;
  return false;
}

bool EdgeRecordingReader::FailLine(const char* what) {
  char where[48];
  std::snprintf(where, sizeof where, ": line %" PRIu64 ": ", lineNumber_);
  error_ = path_ + where + what;
  ended_ = true;
  return false;
}

bool EdgeRecordingReader::Next(PulseSample& sample) {
  if (!havePending_) {
    if (!ReadState(pendingTicks_, pendingStatus_)) return false;
    havePending_ = true;
  }
  const uint64_t piece = std::min(pendingTicks_, EdgeProducer::kMaxSampleTicks);
  sample.duration = static_cast<uint16_t>(piece);
  sample.status = pendingStatus_;
  pendingTicks_ -= piece;
  if (pendingTicks_ == 0) havePending_ = false;
  return true;
}

size_t EdgeRecordingReader::ReadBatch(PulseSample* out, size_t capacity) {
  size_t n = 0;
  while (n < capacity && Next(out[n])) ++n;
  return n;
}

bool EdgeRecordingReader::ReadState(uint64_t& ticks, uint8_t& status) {
  if (ended_ || file_ == nullptr) return false;
  const bool ok = format_ == EdgeRecordingFormat::kBinary ? ReadBinaryState(ticks, status)
                                                          : ReadTextState(ticks, status);
  if (ok && ticks > kEdgeLongestState) {
    if (warning_.empty()) {
      char what[160];
      std::snprintf(what, sizeof what,
                    ": a state of %.0f s (sample %" PRIu64 ", line %" PRIu64
                    ") was shortened to 60 s; times after it run behind the recording",
                    static_cast<double>(ticks) / kEdgeTickRate, samplesRead_, lineNumber_);
      warning_ = path_ + what;
    }
    ticks = kEdgeLongestState;
  }
  if (ok && format_ == EdgeRecordingFormat::kText) {
    // Stream time costs decoding time: the text form gives no more of it per
    // byte than the binary form can (a minute to start with), however long
    // its lines say the states are.
    const uint64_t allowed = kEdgeLongestState + textBytes_ * kEdgeTicksPerTextByte;
    const uint64_t left = allowed > textTicks_ ? allowed - textTicks_ : 0;
    if (ticks > left) {
      if (warning_.empty()) {
        char what[200];
        std::snprintf(what, sizeof what,
                      ": line %" PRIu64
                      ": the quiet states are longer than a text recording of this size "
                      "may give and were shortened; times after it run behind the recording",
                      lineNumber_);
        warning_ = path_ + what;
      }
      ticks = left;
    }
    textTicks_ += ticks;
  }
  return ok;
}

uint64_t EdgeRecordingReader::ToFrontEndTicks(uint64_t fileTicks) {
  if (tickRate_ == kEdgeTickRate) return fileTicks;
  // Convert the running total, not each sample, so rounding never drifts.
  fileTicks_ += fileTicks;
  const uint64_t whole = fileTicks_ / tickRate_;
  const uint64_t part = fileTicks_ % tickRate_;
  const uint64_t total = whole * kEdgeTickRate + (part * kEdgeTickRate + tickRate_ / 2) / tickRate_;
  const uint64_t ticks = total - outputTicks_;
  outputTicks_ = total;
  return ticks;
}

bool EdgeRecordingReader::Fill() {
  // Keep the unread tail, then top the buffer up from the file.
  const size_t tail = bufferLength_ - bufferPos_;
  std::memmove(buffer_, buffer_ + bufferPos_, tail);
  bufferOffset_ += bufferPos_;
  bufferPos_ = 0;
  bufferLength_ = tail;
  const size_t got = std::fread(buffer_ + tail, 1, kBufferBytes - tail, file_);
  bufferLength_ += got;
  if (got == 0 && std::ferror(file_) != 0) {
    return Fail("read error", bufferOffset_ + bufferLength_);
  }
  return true;
}

bool EdgeRecordingReader::ReadBinaryState(uint64_t& ticks, uint8_t& status) {
  if (bufferLength_ - bufferPos_ < kEdgeRecordingSampleSize && !Fill()) return false;
  const uint64_t offset = bufferOffset_ + bufferPos_;
  const size_t available = bufferLength_ - bufferPos_;
  if (samplesRead_ == declaredCount_) {
    if (available > 0) {
      char what[96];
      std::snprintf(what, sizeof what, "data after the last of %" PRIu64 " samples",
                    declaredCount_);
      return Fail(what, offset);
    }
    ended_ = true;
    return false;
  }
  if (available == 0) {
    if (declaredCount_ != kEdgeRecordingUnknownCount) {
      char what[128];
      std::snprintf(what, sizeof what,
                    "truncated: the header promises %" PRIu64
                    " samples, the file ends after %" PRIu64,
                    declaredCount_, samplesRead_);
      return Fail(what, offset);
    }
    ended_ = true;
    return false;
  }
  if (available < kEdgeRecordingSampleSize) {
    char what[96];
    std::snprintf(what, sizeof what, "truncated sample (%zu of %zu bytes)", available,
                  kEdgeRecordingSampleSize);
    return Fail(what, offset);
  }
  const uint8_t* p = buffer_ + bufferPos_;
  bufferPos_ += kEdgeRecordingSampleSize;
  ++samplesRead_;
  ticks = ToFrontEndTicks(Load16(p));
  status = p[2];
  return true;
}

bool EdgeRecordingReader::ReadTextState(uint64_t& ticks, uint8_t& status) {
  for (;;) {
    if (std::fgets(line_, sizeof line_, file_) == nullptr) {
      if (std::ferror(file_) != 0) {
        ++lineNumber_;
        return FailLine("read error");
      }
      ended_ = true;
      return false;
    }
    ++lineNumber_;
    const size_t length = std::strlen(line_);
    textBytes_ += length;
    const bool complete = length > 0 && line_[length - 1] == '\n';
    if (!complete && !std::feof(file_)) return FailLine("line too long or holds a NUL character");
    const char* p = line_;
    while (IsSpace(*p)) ++p;
    if (*p == '\0' || *p == '#') continue;
    uint64_t duration = 0;
    uint64_t value = 0;
    const char* q = ParseNumber(p, false, kEdgeTextMaxDuration, duration);
    if (q == nullptr) return FailLine("duration is not a number of ticks up to 2^40");
    if (!IsSpace(*q)) return FailLine("duration must be followed by a space and a status");
    while (IsSpace(*q)) ++q;
    const char* r = ParseNumber(q, true, 255, value);
    if (r == nullptr) return FailLine("status is not a number from 0 to 255 (or 0x00 to 0xFF)");
    while (IsSpace(*r)) ++r;
    if (*r != '\0' && *r != '#') return FailLine("unexpected text after the status");
    ticks = duration;
    status = static_cast<uint8_t>(value);
    return true;
  }
}

// ---------------------------------------------------------------- writer

EdgeRecordingWriter::~EdgeRecordingWriter() { Close(nullptr); }

bool EdgeRecordingWriter::Fail(const char* what) {
  if (error_.empty()) error_ = path_ + ": " + what + ": " + std::strerror(errno);
  return false;
}

bool EdgeRecordingWriter::Open(const std::string& path, EdgeRecordingFormat format,
                               std::string* error, uint32_t tickRate) {
  Close(nullptr);
  path_ = path;
  error_.clear();
  format_ = format;
  samples_ = 0;
  if (tickRate < kEdgeMinTickRate || tickRate > kEdgeMaxTickRate ||
      (format == EdgeRecordingFormat::kText && tickRate != kEdgeTickRate)) {
    error_ = path + ": unsupported tick rate for this form";
    if (error != nullptr) *error = error_;
    return false;
  }
  file_ = std::fopen(path.c_str(), format == EdgeRecordingFormat::kBinary ? "wb" : "w");
  if (file_ == nullptr) {
    Fail("cannot create");
    if (error != nullptr) *error = error_;
    return false;
  }
  bool ok;
  if (format == EdgeRecordingFormat::kBinary) {
    uint8_t header[kEdgeRecordingHeaderSize] = {};
    std::memcpy(header, kEdgeRecordingMagic, sizeof kEdgeRecordingMagic);
    Store16(header + 8, kEdgeRecordingVersion);
    Store32(header + 12, tickRate);
    Store64(header + 16, kEdgeRecordingUnknownCount);
    ok = std::fwrite(header, 1, sizeof header, file_) == sizeof header || Fail("write failed");
  } else {
    ok = std::fprintf(file_,
                      "# Skelmar edge recording: duration in ticks (%" PRIu32
                      " per second) and modem-status byte\n",
                      kEdgeTickRate) > 0 ||
         Fail("write failed");
  }
  if (!ok && error != nullptr) *error = error_;
  return ok;
}

bool EdgeRecordingWriter::Write(const PulseSample& sample) {
  return WriteState(sample.duration, sample.status);
}

bool EdgeRecordingWriter::WriteState(uint64_t ticks, uint8_t status) {
  if (file_ == nullptr || !error_.empty()) return false;
  if (format_ == EdgeRecordingFormat::kText) {
    if (ticks > kEdgeTextMaxDuration) {
      error_ = path_ + ": state too long for one line";
      return false;
    }
    ++samples_;
    return std::fprintf(file_, "%" PRIu64 " 0x%02X\n", ticks, unsigned{status}) > 0 ||
           Fail("write failed");
  }
  do {
    const uint64_t piece = std::min(ticks, EdgeProducer::kMaxSampleTicks);
    uint8_t record[kEdgeRecordingSampleSize];
    Store16(record, static_cast<uint16_t>(piece));
    record[2] = status;
    if (std::fwrite(record, 1, sizeof record, file_) != sizeof record) return Fail("write failed");
    ++samples_;
    ticks -= piece;
  } while (ticks > 0);
  return true;
}

bool EdgeRecordingWriter::Close(std::string* error) {
  if (file_ == nullptr) return error_.empty();
  bool ok = error_.empty();
  // A failed flush (a full disk) has lost samples: that is an error, never
  // a reason to skip the count quietly.
  if (ok && std::fflush(file_) != 0) ok = Fail("write failed");
  if (ok && format_ == EdgeRecordingFormat::kBinary) {
    // The count makes a cut-off copy detectable; pipes keep the "unknown" count.
    if (std::fseek(file_, 16, SEEK_SET) == 0) {
      uint8_t count[8];
      Store64(count, samples_);
      ok = std::fwrite(count, 1, sizeof count, file_) == sizeof count || Fail("write failed");
    }
  }
  if (std::fclose(file_) != 0 && ok) ok = Fail("close failed");
  file_ = nullptr;
  if (!ok && error != nullptr) *error = error_;
  return ok;
}

}  // namespace skelmar
