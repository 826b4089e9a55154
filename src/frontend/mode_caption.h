// The main window's caption, built from the mode flags of the front end and decoders.
#pragma once

#include <cstddef>

namespace skelmar {

struct Settings;

/// Flags of ShowModeTitle.
enum ModeFlags : int {
  kModePhaseD = 0x01,  ///< with kModePocsag: 512 bit/s
  kModePhaseC = 0x02,  ///< with kModePocsag: 1200 bit/s
  kModePhaseB = 0x04,  ///< with kModePocsag: 2400 bit/s
  kModePhaseA = 0x08,
  kModeReflex = 0x10,
  kModePocsag = 0x20,
  kModeGolay = 0x40,
};

/// Receives every caption change (the window sets its title from it).
class CaptionListener {
 public:
  virtual ~CaptionListener() = default;
  virtual void CaptionChanged(const char* caption) = 0;
};

inline constexpr size_t kCaptionCapacity = 64;

/// Builds the caption for `flags`. Returns false (and leaves `out` alone) when
/// the flags leave the caption unchanged (POCSAG with no rate bit).
bool BuildModeTitle(int flags, bool fourLevelInterface, char (&out)[kCaptionCapacity]);

/// Keeps the current caption (the start-up title until the first change) and
/// tells a listener every time a caption is set, even to the same text.
class ModeCaption {
 public:
  explicit ModeCaption(const Settings& settings);
  /// Sets the caption for `flags`; flags that leave it unchanged notify nobody.
  void ShowModeTitle(int flags);
  const char* text() const { return text_; }
  void SetListener(CaptionListener* listener) { listener_ = listener; }

 private:
  const Settings& settings_;
  CaptionListener* listener_ = nullptr;
  char text_[kCaptionCapacity];
};

}  // namespace skelmar
