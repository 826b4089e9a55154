// Shared pieces of the fuzz targets: the input as a stream of bytes, and a
// monitor wired to services that touch no file, device or process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "session/monitor.h"
#include "support/fakes.h"

namespace skelmar::fuzz {

/// Reads the fuzzer's bytes front to back; zeros once they run out.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  size_t left() const { return size_ - pos_; }
  const uint8_t* rest() const { return data_ + pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class NoCommands : public CommandLauncher {
 public:
  bool Launch(const char*, const char*, char*, int) override { return true; }
};

class NoBeeps : public Beeper {
 public:
  void Beep() override {}
};

class NoMessages : public MessageSink {
 public:
  void ShowMessage(const char*) override {}
  int AskQuestion(const char*) override { return 1; }
};

/// A monitor with every decoder, the filters and statistics, and no outside effects.
struct MonitorRig {
  Settings settings;
  test::FakeClock clock;
  NoMessages messages;
  NoCommands launcher;
  NoBeeps beeper;
  Monitor monitor{settings, MonitorServices{clock, messages, launcher, beeper}};

  /// Decode, level and invert settings from one byte; a filter of each kind so
  /// the lookups and the filter processing run too.
  explicit MonitorRig(uint8_t options) {
    clock.Set(2026, 1, 1, 0, 0, 0);
    settings.decodePocsag = options & 1;
    settings.decodeFlex = (options >> 1) & 1;
    settings.decodeGolay = (options >> 2) & 1;
    settings.fourLevelInterface = (options >> 3) & 1;
    settings.invertData = (options >> 4) & 1;
    settings.filterCmdFileEnabled = 1;
    std::snprintf(settings.filterCmdFile, sizeof settings.filterCmdFile, "/bin/true");
    std::snprintf(settings.filterCmdArgs, sizeof settings.filterCmdArgs, "%%c \"%%l %%m\"");
    const char* capcodes[] = {"", "???????", "???????", "?????????", "??????"};
    for (int type = 1; type <= 5; ++type) {
      FilterEntry& e = monitor.filters.entries[type - 1];
      e.type = type;
      std::snprintf(e.capcode, sizeof e.capcode, "%s", capcodes[type - 1]);
      std::snprintf(e.label, sizeof e.label, "L%d", type);
      std::snprintf(e.text, sizeof e.text, "%s", type == 1 ? "A" : "");
      e.runCommand = 1;
    }
    monitor.filters.count = 5;
    monitor.Start();
  }
};

}  // namespace skelmar::fuzz
