// Mode caption: turns the mode flags of the front end and decoders into the window title.
#include "frontend/mode_caption.h"

#include <cstring>

#include "settings/settings.h"

namespace skelmar {

namespace {

constexpr char kStartupCaption[] = " Skelmar - Windows FLEX/POCSAG/Golay Monitor";
constexpr int kPhaseBits = kModePhaseA | kModePhaseB | kModePhaseC | kModePhaseD;

void Copy(const char* text, char (&out)[kCaptionCapacity]) {
  std::strncpy(out, text, kCaptionCapacity - 1);
  out[kCaptionCapacity - 1] = '\0';
}

// Appends the letters of the phases in `letters` (A..D order) to `out`.
void AppendPhases(const char* prefix, int letters, char (&out)[kCaptionCapacity]) {
  Copy(prefix, out);
  size_t n = std::strlen(out);
  static constexpr struct {
    int bit;
    char letter;
  } kPhases[] = {{kModePhaseA, 'A'}, {kModePhaseB, 'B'}, {kModePhaseC, 'C'}, {kModePhaseD, 'D'}};
  for (const auto& p : kPhases) {
    if ((letters & p.bit) != 0 && n + 1 < kCaptionCapacity) out[n++] = p.letter;
  }
  out[n] = '\0';
}

}  // namespace

bool BuildModeTitle(int flags, bool fourLevelInterface, char (&out)[kCaptionCapacity]) {
  if (flags == 0) {
    Copy(" Skelmar", out);
    return true;
  }
  if ((flags & kModePocsag) != 0) {
    // The lowest rate bit wins when several are set.
    if ((flags & kModePhaseD) != 0) {
      Copy(" Skelmar - POCSAG 512", out);
    } else if ((flags & kModePhaseC) != 0) {
      Copy(" Skelmar - POCSAG 1200", out);
    } else if ((flags & kModePhaseB) != 0) {
      Copy(" Skelmar - POCSAG 2400", out);
    } else {
      return false;
    }
    return true;
  }
  if ((flags & kModeGolay) != 0) {
    Copy(" Skelmar - Golay (GSC)", out);
    return true;
  }
  const int phases = flags & kPhaseBits;
  if ((flags & kModeReflex) != 0) {
    if (phases == kPhaseBits) {
      Copy(" Skelmar - ReFLEX ABCD 3200 4 Level", out);
    } else {
      // B and D exist only on a four-level slicer.
      const int shown = fourLevelInterface ? phases : phases & ~(kModePhaseB | kModePhaseD);
      AppendPhases(" Skelmar - ReFLEX ", shown, out);
    }
    return true;
  }
  if (phases == kPhaseBits) {
    Copy(" Skelmar - FLEX ABCD 3200 4 Level", out);
  } else if (phases == (kModePhaseA | kModePhaseB)) {
    Copy(" Skelmar - FLEX AB 1600 4 Level", out);
  } else if (phases == kModePhaseA) {
    Copy(" Skelmar - FLEX A 1600 2 Level", out);
  } else {
    AppendPhases(" Skelmar - FLEX ", phases, out);
  }
  return true;
}

ModeCaption::ModeCaption(const Settings& settings) : settings_(settings) {
  Copy(kStartupCaption, text_);
}

void ModeCaption::ShowModeTitle(int flags) {
  if (!BuildModeTitle(flags, settings_.fourLevelInterface != 0, text_)) return;
  if (listener_ != nullptr) listener_->CaptionChanged(text_);
}

}  // namespace skelmar
