// The user's filter list, the capcode lookup the decoders use, and the filter
// processing of every finished monitor line.
#pragma once

#include <cstdint>
#include <cstdio>

#include "output/charset.h"
#include "output/text_pane.h"

namespace skelmar {

struct Settings;
class MessageSink;

inline constexpr int kMaxFilters = 200;
/// Longest text the message dialog shows.
inline constexpr int kMessageLimit = 79;
/// Room for a message composed here (a text, a path and a reason): messages
/// are kept whole; a dialog that shows fewer characters cuts them itself.
inline constexpr int kMessageTextCapacity = 767;

enum FilterType : int32_t {
  kFilterUnused = 0,
  kFilterText = 1,
  kFilterPocsag = 2,
  kFilterFlexShort = 3,
  kFilterFlexLong = 4,
  kFilterGsc = 5,
};

struct FilterEntry {
  int32_t type = kFilterUnused;
  char capcode[10] = {};  ///< digits and '?', exactly the type's capcode length
  int8_t function = 0;    ///< 0 any, 1..4 the function digit shown
  char label[21] = {};
  char text[44] = {};
  int32_t runCommand = 0;
};

/// Capcode length of a filter type (0 for Text and unused).
int FilterCapcodeLength(int type);
/// Whether entries of this type carry a function code (POCSAG and GSC).
bool FilterHasFunction(int type);

/// Compares exactly n characters; '?' in the pattern matches anything.
bool WildcardMatch(const char* text, const char* pattern, int n);

struct FilterTable {
  FilterEntry entries[kMaxFilters];
  int32_t count = 0;
  int32_t matchedFilter = -1;  ///< MatchedFilter

  /// The decoders' lookup: `digits` are the zero-padded address digits (the
  /// formatted text after its opening bracket), `function` the digit shown
  /// (ignored for FLEX). Sets and returns matchedFilter.
  int32_t LookupCapcode(int type, const char* digits, int function);
  /// For an address shown as question marks: no lookup, matchedFilter = -1.
  void ClearMatch() { matchedFilter = -1; }
};

/// Starts the filter command: a program path and one argument string, split
/// as a Windows program splits its command line. Never through a shell.
class CommandLauncher {
 public:
  virtual ~CommandLauncher() = default;
  /// Returns false (with a reason) when the program could not be started.
  virtual bool Launch(const char* program, const char* arguments, char* error,
                      int errorCapacity) = 0;
};

class Beeper {
 public:
  virtual ~Beeper() = default;
  virtual void Beep() = 0;
};

/// Reports a failure to the user (the message dialog's interface).
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(const char* text) = 0;
  /// 1 for OK, 0 for Cancel.
  virtual int AskQuestion(const char* text) = 0;
};

/// The filter processing run by EndLine on the monitor pane, the filter log
/// and its flush countdown.
class FilterProcessor : public FinishedLineHook, public RuleListener {
 public:
  FilterProcessor(const Settings& settings, FilterTable& table, TextPane& filterPane,
                  CommandLauncher& launcher, Beeper& beeper, MessageSink& messages);
  ~FilterProcessor() override;

  void ProcessLine(LineCopy& copy) override;
  void RuleWritten(const char* rule) override;

  /// The national character set of the log, the text filters and %m; none: US.
  void SetCharset(const Charset* charset) { charset_ = charset; }

  /// Opens "FilterFile" for appending when "FilterFileEnabled" is set.
  void OpenLog();
  /// Writes the buffered tail and closes; a failure is reported at once.
  void CloseLog();
  bool logOpen() const { return log_ != nullptr; }
  /// True once the filter log could not be opened or written; the program's
  /// exit status says so.
  bool writeFailed() const { return writeFailed_; }
  /// Shows a failure still waiting for the next tick (at shutdown).
  void ShowPendingMessage();
  /// The 100 ms flush tick. It also shows a failure noticed while a line was
  /// processed: a modal message inside EndLine would let the timer run the
  /// decoders again in the middle of the line.
  void FlushTick();

  int32_t flushCountdown = 0;  ///< FlushCountdown
  /// Index of the filter the last finished line matched, -1 for none.
  int32_t lastMatch = -1;

 private:
  const Settings& settings_;
  FilterTable& table_;
  TextPane& filterPane_;
  CommandLauncher& launcher_;
  Beeper& beeper_;
  MessageSink& messages_;
  /// Index of the filter the line matches and the matched text span, if any.
  int32_t Match(const LineCopy& copy, int32_t n, int32_t ms, int32_t& spanStart, int32_t& spanEnd);
  void LogChar(char ch);
  /// A received character (mapped when it is alphanumeric text) or a byte of
  /// the label, with a national set chosen: the log is UTF-8 then.
  void LogNational(char ch, bool mapped, bool label);
  bool national() const { return charset_ != nullptr && charset_->national(); }
  void LogEndLine();
  void CheckLogWrite();
  void RunCommand(const FilterEntry& entry, const LineCopy& copy, int32_t n, int32_t cs, int32_t ce,
                  int32_t ms);
  void Report(const char* what, const char* detail);
  void Defer(const char* what, const char* detail);

  std::FILE* log_ = nullptr;
  bool logFailureReported_ = false;
  bool writeFailed_ = false;
  bool commandFailureReported_ = false;
  int32_t logColumn_ = 0;
  char pendingMessage_[kMessageTextCapacity + 1] = {};
  char upper_[kLineCopyCapacity + 1] = {};
  const Charset* charset_ = nullptr;
  /// With a national set: which characters of the line are alphanumeric text,
  /// decided before the highlight recolours them, and the line as upper-case
  /// characters for the text filters.
  bool mapped_[kLineCopyCapacity + 1] = {};
  char32_t folded_[kLineCopyCapacity + 1] = {};
  /// The expanded arguments in command-line form: up to 128 arguments of at
  /// most 119 characters, each quoted and escaped.
  char arguments_[32768] = {};
};

}  // namespace skelmar
