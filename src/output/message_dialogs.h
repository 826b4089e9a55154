// Placement of every dialog over its owner, as a pure function over rectangles.
#pragma once

namespace skelmar {

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

struct Point {
  int x = 0;
  int y = 0;
};

/// Where a dialog with rectangle `dialog` goes over `parent`, kept inside
/// `workArea`: centred, never at a negative position, pulled back from the
/// work area's right and bottom edges.
Point CenterDialog(const Rect& dialog, const Rect& parent, const Rect& workArea);

/// Message texts are cut to this many characters (the shared buffer holds 80).
inline constexpr int kMessageCapacity = 79;

/// Copies a message into the dialog's buffer, cut to kMessageCapacity characters.
void CopyMessageText(const char* text, char (&buffer)[kMessageCapacity + 1]);

/// Capacity of the fatal-error box's text, terminator included.
inline constexpr int kFatalTextCapacity = 512;

/// The fatal-error box's text for `message` raised in `file` at `line`, with
/// the system's error number and text. Returns false (and leaves `out` empty)
/// when the message is too long for the box, which then is not shown.
bool FormatFatalError(const char* message, const char* file, int line, int errorNumber,
                      const char* errorText, char (&out)[kFatalTextCapacity]);

}  // namespace skelmar
