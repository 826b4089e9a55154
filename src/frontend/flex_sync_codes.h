// The FLEX first sync: its marker and the mode words, one table for the audio
// slicer (which needs the rate of a frame's data) and the FLEX decoder.
#pragma once

#include <cstdint>

#include "frontend/front_end.h"

namespace skelmar {

/// The 32 bits between the mode word and its complement, in the register's
/// polarity (1 for levels 0 and 1).
inline constexpr uint32_t kFlexSyncMarker = 0xA6C6AAAA;

struct FlexSyncCode {
  uint16_t code;        ///< the mode word, sent before the marker
  uint16_t complement;  ///< sent after it
  int captionFlags;     ///< ShowModeTitle flags
  int32_t levels;
  int32_t rate;  ///< symbols per second of the frame's data
  int32_t statRow;
  int32_t reflex;
};

// Tried in this order; the first within tolerance wins.
inline constexpr FlexSyncCode kFlexSyncCodes[] = {
    {0xB068, 0x4F97, 0x0C, 4, 1600, kRowFlex3200, 0},
    {0xDEA0, 0x215F, 0x0F, 4, 3200, kRowFlex6400, 0},
    {0x870C, 0x78F3, 0x08, 2, 1600, kRowFlex1600, 0},
    {0x4C7C, 0xB383, 0x1F, 4, 3200, kRowFlex6400, 1},
    // Two-level 3200 symbols/s (phases A and C). Tried last, so the four rows
    // above keep their precedence; with its own row one wrong bit no longer
    // throws the frame into the mode of the frame before.
    {0x7B18, 0x84E7, 0x0A, 2, 3200, kRowFlex3200, 0},
};

}  // namespace skelmar
