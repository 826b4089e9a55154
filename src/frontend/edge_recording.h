// Edge recordings: PulseSample streams kept in files (a versioned binary form
// and a plain-text form), written and read back one sample at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "frontend/edge_ring.h"

namespace skelmar {

enum class EdgeRecordingFormat { kBinary, kText };

/// Binary form: a 24-byte header, then 3-byte samples (see docs/edge-recording.md).
inline constexpr uint8_t kEdgeRecordingMagic[8] = {0x89, 'S', 'K', 'L', 'E', 'D', 'G', '\n'};
inline constexpr uint16_t kEdgeRecordingVersion = 1;
inline constexpr size_t kEdgeRecordingHeaderSize = 24;
inline constexpr size_t kEdgeRecordingSampleSize = 3;
/// Sample count of a file whose writer never closed it.
inline constexpr uint64_t kEdgeRecordingUnknownCount = ~uint64_t{0};
/// The front end's tick rate, as the header stores it.
inline constexpr uint32_t kEdgeTickRate = kTicksPerSecondWhole;
inline constexpr uint32_t kEdgeMinTickRate = 1000;
inline constexpr uint32_t kEdgeMaxTickRate = 1000000000;
/// Longest accepted line of the text form, newline included.
inline constexpr size_t kEdgeTextLineCapacity = 256;
/// Longest state one text line may give (about 10 days).
inline constexpr uint64_t kEdgeTextMaxDuration = uint64_t{1} << 40;

/// Longest state the reader passes on: one minute. Nothing in decoding waits
/// longer, and a quiet state costs time in proportion to its length, so a
/// longer one (a ten-day line of the text form, a slow tick rate) is shortened
/// to this with a warning; the stream clock then runs behind the recording.
inline constexpr uint64_t kEdgeLongestState = uint64_t{60} * kEdgeTickRate;
/// Stream time the text form may give per byte read, beyond a first
/// kEdgeLongestState: what a binary sample carries at most per byte (a
/// 3-byte sample of 65535 ticks), so a file of short lines that each claim a
/// long quiet state costs no more decoding than a binary file of its size.
/// Longer states are shortened, with a warning.
inline constexpr uint64_t kEdgeTicksPerTextByte = 65535 / kEdgeRecordingSampleSize;

/// Reads a recording of either form, detected from its first byte. Samples
/// come out in front-end ticks, split at 65535 ticks; a file kept at another
/// tick rate is converted without drift. Nothing beyond a fixed buffer is held.
class EdgeRecordingReader {
 public:
  EdgeRecordingReader() = default;
  ~EdgeRecordingReader();
  EdgeRecordingReader(const EdgeRecordingReader&) = delete;
  EdgeRecordingReader& operator=(const EdgeRecordingReader&) = delete;

  /// Opens `path` and checks its header. On failure returns false and puts a
  /// message naming the file and the byte offset into `error` (if given).
  bool Open(const std::string& path, std::string* error);
  void Close();

  /// The next sample; false at the end of the recording or at a fault
  /// (then failed() is true and error() says what and where).
  bool Next(PulseSample& sample);
  /// Up to `capacity` samples; fewer only at the end or at a fault.
  size_t ReadBatch(PulseSample* out, size_t capacity);

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  /// Set (once) when a state longer than kEdgeLongestState was shortened.
  const std::string& warning() const { return warning_; }
  EdgeRecordingFormat format() const { return format_; }
  uint32_t tickRate() const { return tickRate_; }
  /// Binary form: the count from the header (kEdgeRecordingUnknownCount if the
  /// writer did not finish); text form: kEdgeRecordingUnknownCount.
  uint64_t declaredCount() const { return declaredCount_; }

 private:
  bool OpenBinary(std::string* error);
  bool ReadState(uint64_t& ticks, uint8_t& status);
  bool ReadBinaryState(uint64_t& ticks, uint8_t& status);
  bool ReadTextState(uint64_t& ticks, uint8_t& status);
  bool Fill();
  bool Fail(const char* what, uint64_t offset);
  bool FailLine(const char* what);
  uint64_t ToFrontEndTicks(uint64_t fileTicks);

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string error_;
  std::string warning_;
  EdgeRecordingFormat format_ = EdgeRecordingFormat::kText;
  uint32_t tickRate_ = kEdgeTickRate;
  uint64_t declaredCount_ = kEdgeRecordingUnknownCount;
  uint64_t samplesRead_ = 0;   // binary samples taken from the file
  uint64_t lineNumber_ = 0;    // text: last line read
  uint64_t textBytes_ = 0;     // text: bytes read
  uint64_t textTicks_ = 0;     // text: stream time given
  uint64_t fileTicks_ = 0;     // sum of durations in the file's unit
  uint64_t outputTicks_ = 0;   // the same sum in front-end ticks, rounded
  uint64_t pendingTicks_ = 0;  // rest of a state still to be handed out
  uint8_t pendingStatus_ = 0;
  bool havePending_ = false;
  bool ended_ = false;
  // Binary read buffer: bytes [bufferPos_, bufferLength_) are unread; bufferOffset_
  // is the file offset of buffer_[0].
  static constexpr size_t kBufferBytes = 3 * 4096;
  uint8_t buffer_[kBufferBytes] = {};
  size_t bufferPos_ = 0;
  size_t bufferLength_ = 0;
  uint64_t bufferOffset_ = 0;
  char line_[kEdgeTextLineCapacity] = {};
};

/// Writes a recording. The binary writer patches the sample count into the
/// header at Close when the file is seekable.
class EdgeRecordingWriter {
 public:
  EdgeRecordingWriter() = default;
  ~EdgeRecordingWriter();
  EdgeRecordingWriter(const EdgeRecordingWriter&) = delete;
  EdgeRecordingWriter& operator=(const EdgeRecordingWriter&) = delete;

  /// `tickRate` is the unit of the durations given to Write (binary only; the
  /// text form is always in front-end ticks).
  bool Open(const std::string& path, EdgeRecordingFormat format, std::string* error,
            uint32_t tickRate = kEdgeTickRate);
  bool Write(const PulseSample& sample);
  /// A state of any length: split into samples of at most 65535 in the binary
  /// form, one line in the text form.
  bool WriteState(uint64_t ticks, uint8_t status);
  /// Finishes the file; false (with a message) if anything failed to be written.
  bool Close(std::string* error);

  uint64_t samplesWritten() const { return samples_; }
  const std::string& error() const { return error_; }

 private:
  bool Fail(const char* what);

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string error_;
  EdgeRecordingFormat format_ = EdgeRecordingFormat::kBinary;
  uint64_t samples_ = 0;
};

}  // namespace skelmar
