// Test rig for the front end: recording fakes of the three decoder sinks and
// the caption, sharing one event log, and a feeder that pushes samples
// through a ring with the producer helper.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "frontend/edge_ring.h"
#include "frontend/front_end.h"
#include "frontend/mode_caption.h"
#include "settings/settings.h"

namespace skelmar {
inline void PrintTo(const PulseSample& s, std::ostream* os) {
  *os << "{" << s.duration << ", " << int{s.status} << "}";
}
}  // namespace skelmar

namespace skelmar::test {

/// Status bytes of a two-level slicer on DCD: level 3 ("0" for POCSAG) and level 0.
inline constexpr uint8_t kHigh = 0x80;
inline constexpr uint8_t kLow = 0x00;
/// Four-level slicer status for each level (CTS, CTS+DSR, CTS+DSR+DCD).
inline constexpr uint8_t kFourLevel[4] = {0x00, 0x10, 0x30, 0xB0};

struct EventLog {
  std::vector<std::string> events;
};

class RecordingPocsag : public PocsagBitSink {
 public:
  explicit RecordingPocsag(EventLog& log) : log_(log) {}
  std::vector<char> bits;
  std::function<void(char)> onBit;
  void PutBit(char ch) override {
    bits.push_back(ch);
    log_.events.push_back(std::string("pocsag ") + ch);
    if (onBit) onBit(ch);
  }

 private:
  EventLog& log_;
};

class RecordingFlex : public FlexSymbolSink {
 public:
  std::vector<int> symbols;
  void PutSymbol(int level) override { symbols.push_back(level); }
};

class RecordingGsc : public GscBitSink {
 public:
  std::vector<int> bits;
  std::function<void(int)> onBit;
  void PutBit(int bit) override {
    bits.push_back(bit);
    if (onBit) onBit(bit);
  }
};

class RecordingCaption : public CaptionListener {
 public:
  RecordingCaption(EventLog& log, const RecordingPocsag& pocsag) : log_(log), pocsag_(pocsag) {}
  std::vector<std::string> captions;
  std::vector<size_t> pocsagBitsAt;  ///< POCSAG bits delivered when each caption was set
  void CaptionChanged(const char* caption) override {
    captions.emplace_back(caption);
    pocsagBitsAt.push_back(pocsag_.bits.size());
    log_.events.push_back(std::string("caption ") + caption);
  }

 private:
  EventLog& log_;
  const RecordingPocsag& pocsag_;
};

struct FrontRig {
  Settings settings;
  ModeCaption caption{settings};
  FrontEnd front{settings, caption};
  EventLog log;
  RecordingPocsag pocsag{log};
  RecordingFlex flex;
  RecordingGsc gsc;
  RecordingCaption captions{log, pocsag};
  EdgeRing ring;
  EdgeProducer producer{ring, &front.readIndex()};

  explicit FrontRig(uint32_t ringSize = 1u << 12) : ring(ringSize) {
    front.Attach(&pocsag, &flex, &gsc);
    caption.SetListener(&captions);
  }

  void Feed(uint16_t duration, uint8_t status) {
    if (producer.Free() == 0) front.PollEdges(ring);
    producer.Put(duration, status);
    front.PollEdges(ring);
  }
  void Feed(const std::vector<PulseSample>& samples) {
    for (const PulseSample& s : samples) {
      if (producer.Free() == 0) front.PollEdges(ring);
      producer.Put(s.duration, s.status);
    }
    front.PollEdges(ring);
  }
  /// `count` samples of `duration`, alternating between high and low, starting high.
  void FeedAlternating(int count, uint16_t duration, bool startHigh = true) {
    for (int i = 0; i < count; ++i) Feed(duration, ((i % 2 == 0) == startHigh) ? kHigh : kLow);
  }
};

/// Samples whose durations alternate 745/746 ticks (about one FLEX 1600
/// symbol each) with the four-level status of each level.
inline std::vector<PulseSample> OneSymbolPerSample(const std::vector<int>& levels) {
  std::vector<PulseSample> out;
  for (size_t i = 0; i < levels.size(); ++i) {
    out.push_back({static_cast<uint16_t>(i % 2 == 0 ? 745 : 746), kFourLevel[levels[i] & 3]});
  }
  return out;
}

/// A fresh path for a test file, under the build tree.
inline std::string TestFilePath(const std::string& name) {
  const std::filesystem::path dir =
      std::filesystem::path(SKELMAR_BINARY_DIR) / "test-files" / "frontend";
  std::filesystem::create_directories(dir);
  const std::filesystem::path p = dir / name;
  std::filesystem::remove(p);
  return p.string();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline std::string ReadFile(const std::string& path) {
  std::string out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

}  // namespace skelmar::test
