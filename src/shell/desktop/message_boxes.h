// The message box (dialog 101), the OK/Cancel question (dialog 106, and the
// exit confirmation 102) and the MessageSink that shows them over the main
// window. Tests give the sink its next answers instead of racing a modal loop.
#pragma once

#include <QDialog>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "output/filters.h"

class QLabel;

namespace skelmar::desktop {

/// Dialog 101: icon, centred text, "&OK". Only OK closes it: Escape and the
/// title-bar close do nothing. A text longer than the 79 characters of the
/// text line keeps its start there (up to the end of its first sentence, or a
/// word) and shows the rest, the cause, whole in a second paragraph.
class MessageDialog : public QDialog {
 public:
  MessageDialog(QWidget* owner, const char* text);
  QString text() const;
  /// The second paragraph (empty when the text fits the line).
  QString detail() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override {}

 private:
  QLabel* label_;
  QLabel* detail_ = nullptr;
  bool closing_ = false;
};

/// Dialog 106 (and 102 with its own text): icon, centred text, "&OK" gives
/// accepted (1), "&Cancel", Escape and the title-bar close give rejected (0).
class QuestionDialog : public QDialog {
 public:
  QuestionDialog(QWidget* owner, const char* text);
  QString text() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* label_;
  QLabel* detail_ = nullptr;
};

/// The fatal-error box of the start-up code: OK (true) or Cancel (false).
bool ShowFatalError(const char* text, const char* caption);

/// Shows the monitor's messages and questions over `owner`.
class QtMessageSink : public MessageSink {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }
  /// Where every message is written as well (standard error; null: nowhere).
  void SetLog(std::FILE* log) { log_ = log; }

  void ShowMessage(const char* text) override;
  int AskQuestion(const char* text) override;
  /// Dialog 102 "Skelmar Will Now Exit": 1 for OK, 0 for Cancel.
  int ConfirmExit();

  /// While held (a timer tick, a window move being handled), messages wait
  /// and are shown from the event loop once the holder has returned, so no
  /// modal loop ever runs inside a tick or a drag.
  void Hold() { ++holds_; }
  void Release();

  // Test hooks.
  /// The next box is not shown: it is recorded and answers `answer` (1 OK, 0 Cancel).
  void SetNextAnswer(int answer) { answers_.push_back(answer); }
  /// Every text shown (or answered by the hook), oldest first.
  const std::vector<std::string>& shown() const { return shown_; }

 private:
  int Run(QDialog& dialog, const char* text);
  void Flush();

  QWidget* owner_ = nullptr;
  std::FILE* log_ = stderr;
  int holds_ = 0;
  bool flushQueued_ = false;
  std::deque<std::string> pending_;
  std::deque<int> answers_;
  std::vector<std::string> shown_;
};

}  // namespace skelmar::desktop
