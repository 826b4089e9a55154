// Dialog placement over the owner and the message text bound.
#include "output/message_dialogs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace skelmar {

Point CenterDialog(const Rect& dialog, const Rect& parent, const Rect& workArea) {
  int x = parent.left + parent.width() / 2 - dialog.width() / 2;
  int y = parent.top + parent.height() / 2 - dialog.height() / 2;
  if (x <= 0) x = 0;
  if (y <= 0) y = 0;
  x = std::min(x, workArea.right - dialog.width());
  y = std::min(y, workArea.bottom - dialog.height());
  return {x, y};
}

void CopyMessageText(const char* text, char (&buffer)[kMessageCapacity + 1]) {
  size_t n = 0;
  if (text != nullptr) n = strnlen(text, kMessageCapacity);
  if (n > 0) std::memcpy(buffer, text, n);
  buffer[n] = 0;
}

namespace {
constexpr char kFatalTemplate[] =
    "%s\n\n-- Error Information --\nFile : %s\nLine : %d\nError Number : %d\nError Message : "
    "%s\n\nPress OK to terminate this application.";
}  // namespace

bool FormatFatalError(const char* message, const char* file, int line, int errorNumber,
                      const char* errorText, char (&out)[kFatalTextCapacity]) {
  out[0] = '\0';
  if (std::strlen(message) > kFatalTextCapacity - std::strlen(kFatalTemplate)) return false;
  std::snprintf(out, sizeof out, kFatalTemplate, message, file, line, errorNumber, errorText);
  return true;
}

}  // namespace skelmar
