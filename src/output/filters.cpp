// Capcode lookup for the decoders and the filter processing of finished
// monitor lines: highlight, filter pane copy, log, beep and command.
#include "output/filters.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "settings/settings.h"

namespace skelmar {
namespace {

constexpr int kCommandLineLimit = 119;  // longest argument after expansion

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

int32_t BoundedLength(const char* s, int32_t capacity) {
  int32_t n = 0;
  while (n < capacity && s[n] != 0) ++n;
  return n;
}

/// First position p >= from with p + k <= n where `pattern` occurs in `line`, or -1.
template <typename Char>
int32_t Find(const Char* line, int32_t n, int32_t from, const Char* pattern, int32_t k) {
  for (int32_t p = from; p + k <= n; ++p) {
    int32_t i = 0;
    while (i < k && line[p + i] == pattern[i]) ++i;
    if (i == k) return p;
  }
  return -1;
}

}  // namespace

int FilterCapcodeLength(int type) {
  switch (type) {
    case kFilterPocsag:
    case kFilterFlexShort:
      return 7;
    case kFilterFlexLong:
      return 9;
    case kFilterGsc:
      return 6;
    default:
      return 0;
  }
}

bool FilterHasFunction(int type) { return type == kFilterPocsag || type == kFilterGsc; }

bool WildcardMatch(const char* text, const char* pattern, int n) {
  for (int i = 0; i < n; ++i) {
    if (pattern[i] != '?' && pattern[i] != text[i]) return false;
  }
  return true;
}

int32_t FilterTable::LookupCapcode(int type, const char* digits, int function) {
  matchedFilter = -1;
  const int length = FilterCapcodeLength(type);
  if (length == 0 || digits == nullptr) return matchedFilter;
  // A short address text never reaches the comparison, which reads exactly `length` characters.
  if (BoundedLength(digits, length) < length) return matchedFilter;
  const int32_t used = std::clamp(count, 0, kMaxFilters);
  for (int32_t i = 0; i < used; ++i) {
    const FilterEntry& e = entries[i];
    if (e.type != type) continue;
    if (!WildcardMatch(digits, e.capcode, length)) continue;
    if (FilterHasFunction(type) && e.function != 0 && e.function != function) continue;
    matchedFilter = i;
    break;
  }
  return matchedFilter;
}

FilterProcessor::FilterProcessor(const Settings& settings, FilterTable& table, TextPane& filterPane,
                                 CommandLauncher& launcher, Beeper& beeper, MessageSink& messages)
    : settings_(settings),
      table_(table),
      filterPane_(filterPane),
      launcher_(launcher),
      beeper_(beeper),
      messages_(messages) {}

FilterProcessor::~FilterProcessor() { CloseLog(); }

namespace {

/// Joins two texts, cut to what the message dialog shows.
void JoinMessage(char (&text)[kMessageTextCapacity + 1], const char* what, const char* detail) {
  size_t n = 0;
  for (const char* s : {what, detail}) {
    while (n < kMessageTextCapacity && *s != 0) text[n++] = *s++;
  }
  text[n] = 0;
}

}  // namespace

void FilterProcessor::Report(const char* what, const char* detail) {
  char text[kMessageTextCapacity + 1];
  JoinMessage(text, what, detail);
  messages_.ShowMessage(text);
}

void FilterProcessor::Defer(const char* what, const char* detail) {
  if (pendingMessage_[0] == 0) JoinMessage(pendingMessage_, what, detail);
}

void FilterProcessor::OpenLog() {
  CloseLog();
  if (settings_.filterFileEnabled == 0) return;
  log_ = std::fopen(settings_.filterFile, "a");
  if (log_ == nullptr) {
    // Decoding goes on without the log; the user hears of it once.
    writeFailed_ = true;
    if (!logFailureReported_) {
      logFailureReported_ = true;
      Report("Cannot open the filter file: ", settings_.filterFile);
    }
    return;
  }
  logFailureReported_ = false;
}

void FilterProcessor::CloseLog() {
  if (log_ == nullptr) return;
  // The buffered tail is written here; losing it must not pass unnoticed.
  const bool flushed = std::fflush(log_) == 0 && std::ferror(log_) == 0;
  const bool closed = std::fclose(log_) == 0;
  log_ = nullptr;
  if (flushed && closed) return;
  writeFailed_ = true;
  if (!logFailureReported_) {
    logFailureReported_ = true;
    Report("Cannot write to the filter file: ", settings_.filterFile);
  }
}

void FilterProcessor::ShowPendingMessage() {
  if (pendingMessage_[0] == 0) return;
  // Cleared first: the message box may run further ticks before it returns.
  char text[kMessageTextCapacity + 1];
  std::memcpy(text, pendingMessage_, sizeof text);
  pendingMessage_[0] = 0;
  messages_.ShowMessage(text);
}

void FilterProcessor::CheckLogWrite() {
  if (log_ == nullptr || std::ferror(log_) == 0) return;
  std::clearerr(log_);
  writeFailed_ = true;
  if (!logFailureReported_) {
    logFailureReported_ = true;
    Defer("Cannot write to the filter file: ", settings_.filterFile);
  }
}

void FilterProcessor::FlushTick() {
  ShowPendingMessage();
  if (settings_.filterFileFlush == 0 || flushCountdown <= 0) return;
  --flushCountdown;
  if (flushCountdown == 0 && log_ != nullptr) {
    std::fflush(log_);
    CheckLogWrite();
  }
}

void FilterProcessor::RuleWritten(const char* rule) {
  if (log_ == nullptr) return;
  std::fputs(rule, log_);
  std::fputc('\n', log_);
  CheckLogWrite();
}

void FilterProcessor::LogChar(char ch) {
  if (log_ == nullptr) return;
  char c = static_cast<char>(ch & 0x7F);
  if (c < 32) c = '.';
  std::fputc(c, log_);
  if (++logColumn_ == kPaneColumns) {
    std::fputc('\n', log_);
    logColumn_ = 0;
  }
}

void FilterProcessor::LogNational(char ch, bool mapped, bool label) {
  if (log_ == nullptr) return;
  const auto u = static_cast<unsigned char>(ch);
  if (mapped) {
    const char32_t cp = charset_->Map(u);
    char bytes[4];
    if (u >= 128 || cp < 32 || cp == 127) {
      std::fputc('.', log_);  // control codes, and bytes that are no 7-bit code
    } else {
      std::fwrite(bytes, 1, static_cast<size_t>(EncodeUtf8(cp, bytes)), log_);
    }
  } else if (label) {
    // The label is the user's own UTF-8 text: its bytes pass unchanged.
    std::fputc(u < 32 ? '.' : ch, log_);
    if ((u & 0xC0) == 0x80) return;  // a continuation byte does not take a column
  } else {
    LogChar(ch);
    return;
  }
  if (++logColumn_ == kPaneColumns) {
    std::fputc('\n', log_);
    logColumn_ = 0;
  }
}

void FilterProcessor::LogEndLine() {
  if (log_ == nullptr) return;
  std::fputc('\n', log_);
  logColumn_ = 0;
  CheckLogWrite();
}

int32_t FilterProcessor::Match(const LineCopy& copy, int32_t n, int32_t ms, int32_t& spanStart,
                               int32_t& spanEnd) {
  spanStart = spanEnd = -1;
  for (int32_t i = 0; i < n; ++i) upper_[i] = Upper(copy.characters[i]);
  char pattern[sizeof(FilterEntry::text)];

  const bool nationalText = national();
  if (nationalText) {
    for (int32_t i = 0; i < n; ++i) {
      const auto c = static_cast<unsigned char>(copy.characters[i]);
      folded_[i] = FoldCase(mapped_[i] ? charset_->Map(c) : c);
    }
  }
  char32_t wide[sizeof(FilterEntry::text)];

  auto search = [&](const FilterEntry& e) {
    const int32_t k = BoundedLength(e.text, static_cast<int32_t>(sizeof e.text) - 1);
    if (nationalText) {
      // The filter's text is UTF-8 as the user typed it ("KÖLN"); it is
      // compared with the mapped line, one character per received code.
      int32_t w = 0;
      for (size_t at = 0, used = 0; at < static_cast<size_t>(k); at += used) {
        wide[w++] = FoldCase(DecodeUtf8(e.text + at, static_cast<size_t>(k) - at, used));
      }
      const int32_t p = Find(folded_, n, ms, wide, w);
      if (p >= 0) {
        spanStart = p;
        spanEnd = p + w;
      }
      return p >= 0;
    }
    for (int32_t i = 0; i < k; ++i) pattern[i] = Upper(e.text[i]);
    const int32_t p = Find(upper_, n, ms, pattern, k);
    if (p >= 0) {
      spanStart = p;
      spanEnd = p + k;
    }
    return p >= 0;
  };

  const int32_t f = table_.matchedFilter;
  if (f >= 0 && f < std::min(table_.count, kMaxFilters)) {
    const FilterEntry& e = table_.entries[f];
    if (e.text[0] == 0) return f;
    // A capcode match whose text is absent rules out the text filters too.
    return search(e) ? f : -1;
  }
  const int32_t used = std::clamp(table_.count, 0, kMaxFilters);
  for (int32_t i = 0; i < used; ++i) {
    const FilterEntry& e = table_.entries[i];
    // An empty text would match every line; such an entry is never offered.
    if (e.type != kFilterText || e.text[0] == 0) continue;
    if (search(e)) return i;
  }
  return -1;
}

void FilterProcessor::ProcessLine(LineCopy& copy) {
  // The line ends at its first NUL; marks left over from an earlier line are held inside it.
  const int32_t n = BoundedLength(copy.characters, std::clamp(copy.length, 0, kLineCopyCapacity));
  const int32_t ce = std::clamp(copy.capcodeEnd, 0, n);
  const int32_t cs = std::clamp(copy.capcodeStart, 0, ce);
  const int32_t ms = std::clamp(copy.messageStart, 0, n);

  if (national()) {
    // Only alphanumeric text is mapped, as on the monitor's own lines; decided
    // before the highlight gives matched characters the Filter Match slot.
    for (int32_t i = 0; i < n; ++i) mapped_[i] = Charset::MapsSlot(copy.slots[i]);
  }

  int32_t spanStart = -1;
  int32_t spanEnd = -1;
  const int32_t f = Match(copy, n, ms, spanStart, spanEnd);
  lastMatch = f;
  if (f < 0) return;
  const FilterEntry& entry = table_.entries[f];
  const bool byCapcode = (f == table_.matchedFilter);

  filterPane_.StampTime();

  if (byCapcode) {
    for (int32_t i = cs; i < ce; ++i) copy.slots[i] = kSlotFilterMatch;
  }
  for (int32_t i = spanStart; i >= 0 && i < spanEnd; ++i) copy.slots[i] = kSlotFilterMatch;

  const int32_t labelLength =
      BoundedLength(entry.label, static_cast<int32_t>(sizeof entry.label) - 1);
  logColumn_ = 0;
  for (int32_t j = 0; j < n; ++j) {
    if (j == ce && labelLength > 0) {
      filterPane_.SetColor(kSlotFilterLabel);
      for (int32_t i = 0; i < labelLength; ++i) {
        filterPane_.PutChar(entry.label[i]);
        if (national()) {
          LogNational(entry.label[i], false, true);
        } else {
          LogChar(entry.label[i]);
        }
      }
      filterPane_.PutChar(' ');
      LogChar(' ');
    }
    filterPane_.SetColor(copy.slots[j]);
    filterPane_.PutChar(copy.characters[j]);
    if (national()) {
      LogNational(copy.characters[j], mapped_[j], false);
    } else {
      LogChar(copy.characters[j]);
    }
  }
  filterPane_.EndLine();
  LogEndLine();

  if (log_ != nullptr && settings_.filterFileFlush != 0) {
    if (settings_.filterFlushTime == 1) {
      std::fflush(log_);
      CheckLogWrite();
    } else if (flushCountdown == 0) {
      // A pending countdown is kept: the log is flushed that long after the first unflushed line.
      switch (settings_.filterFlushTime) {
        case 2:
          flushCountdown = 50;
          break;
        case 3:
          flushCountdown = 100;
          break;
        case 4:
          flushCountdown = 300;
          break;
        default:
          flushCountdown = 600;
          break;
      }
    }
  }

  if (settings_.filterBeep != 0) beeper_.Beep();

  if (settings_.filterCmdFileEnabled != 0 && settings_.filterCmdFile[0] != 0 &&
      entry.runCommand == 1) {
    RunCommand(entry, copy, n, cs, ce, ms);
  }
}

void FilterProcessor::RunCommand(const FilterEntry& entry, const LineCopy& copy, int32_t n,
                                 int32_t cs, int32_t ce, int32_t ms) {
  // The template is split into arguments first (blanks separate, double
  // quotes group, backslashes escape quotes, as a command line is split) and
  // %c, %l and %m are replaced inside each argument, so text from the air can
  // never add, remove or split an argument. Each argument is cut to 119
  // characters, then written back in that same command-line form.
  constexpr int32_t capacity = static_cast<int32_t>(sizeof arguments_) - 1;
  int32_t out = 0;
  char argument[kCommandLineLimit];
  int32_t length = 0;
  auto add = [&](char c) {
    if (length < kCommandLineLimit) argument[length++] = c;
  };
  auto addRange = [&](const char* text, int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) add(text[i]);
  };
  auto emit = [&](char c) {
    if (out < capacity) arguments_[out++] = c;
  };
  auto finishArgument = [&]() {
    // An argument that would not fit whole is left out rather than cut into another.
    const int32_t start = out;
    if (out > 0) emit(' ');
    emit('"');
    int32_t backslashes = 0;
    for (int32_t i = 0; i < length; ++i) {
      const char c = argument[i];
      if (c == '\\') {
        ++backslashes;
        emit(c);
        continue;
      }
      if (c == '"') {
        for (int32_t k = 0; k < backslashes + 1; ++k) emit('\\');
      }
      backslashes = 0;
      emit(c);
    }
    for (int32_t k = 0; k < backslashes; ++k) emit('\\');
    emit('"');
    if (out >= capacity) out = start;
    length = 0;
  };

  const char* tmpl = settings_.filterCmdArgs;
  const int32_t tmplLength = BoundedLength(tmpl, kPathCapacity);
  int32_t i = 0;
  for (;;) {
    while (i < tmplLength && (tmpl[i] == ' ' || tmpl[i] == '\t')) ++i;
    if (i >= tmplLength) break;
    bool quoted = false;
    while (i < tmplLength && (quoted || (tmpl[i] != ' ' && tmpl[i] != '\t'))) {
      const char c = tmpl[i];
      if (c == '\\') {
        int32_t run = 0;
        while (i < tmplLength && tmpl[i] == '\\') {
          ++run;
          ++i;
        }
        if (i < tmplLength && tmpl[i] == '"') {
          for (int32_t k = 0; k < run / 2; ++k) add('\\');
          if (run % 2 == 1) {
            add('"');
            ++i;
          }
        } else {
          for (int32_t k = 0; k < run; ++k) add('\\');
        }
        continue;
      }
      if (c == '"') {
        quoted = !quoted;
        ++i;
        continue;
      }
      if (c == '%' && i + 1 < tmplLength) {
        const char next = Upper(tmpl[i + 1]);
        if (next == 'C') {
          addRange(copy.characters, cs, ce);
          i += 2;
          continue;
        }
        if (next == 'L') {
          addRange(entry.label, 0,
                   BoundedLength(entry.label, static_cast<int32_t>(sizeof entry.label) - 1));
          i += 2;
          continue;
        }
        if (next == 'M') {
          if (national()) {
            // Mapped characters in UTF-8, each whole or not at all.
            for (int32_t m = ms; m < n; ++m) {
              const auto code = static_cast<unsigned char>(copy.characters[m]);
              char bytes[4] = {copy.characters[m]};
              const int size = mapped_[m] ? EncodeUtf8(charset_->Map(code), bytes) : 1;
              if (length + size > kCommandLineLimit) break;
              for (int b = 0; b < size; ++b) add(bytes[b]);
            }
          } else {
            addRange(copy.characters, ms, n);
          }
          i += 2;
          continue;
        }
      }
      add(c);
      ++i;
    }
    finishArgument();
  }
  arguments_[out] = 0;

  char error[kMessageTextCapacity + 1] = {};
  if (launcher_.Launch(settings_.filterCmdFile, arguments_, error,
                       static_cast<int>(sizeof error))) {
    commandFailureReported_ = false;
  } else if (!commandFailureReported_) {
    commandFailureReported_ = true;
    Defer("Cannot start the filter command: ", error[0] != 0 ? error : settings_.filterCmdFile);
  }
}

}  // namespace skelmar
