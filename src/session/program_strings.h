// The program's fixed strings: the start-up title, the application name and
// the caption of the fatal-error box.
#pragma once

namespace skelmar {

inline constexpr const char* kStartupTitle = " Skelmar - Windows FLEX/POCSAG/Golay Monitor";
inline constexpr const char* kApplicationName = "Skelmar";  ///< settings section and file base name
inline constexpr const char* kFatalCaption = "A Windows API Failed";

}  // namespace skelmar
