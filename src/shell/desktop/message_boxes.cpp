// Message and question boxes, placed with the core's centring rule.
#include "shell/desktop/message_boxes.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <string>

#include "output/message_dialogs.h"
#include "session/program_strings.h"
#include "shell/desktop/dialog_placement.h"
#include "shell/desktop/dialogs/dialog_support.h"

namespace skelmar::desktop {
namespace {

constexpr const char* kExitQuestion = "Skelmar Will Now Exit";

/// Where the box's first line ends: after the fixed text's own end ("! ",
/// ". ", "? ") within the first 79 characters, else at the last blank before
/// them; a text that fits is one line.
size_t HeadLength(const std::string& text) {
  if (text.size() <= static_cast<size_t>(kMessageCapacity)) return text.size();
  const std::string first = text.substr(0, kMessageCapacity);
  size_t end = std::string::npos;
  for (const char* mark : {"! ", ". ", "? "}) {
    const size_t at = first.find(mark);
    if (at != std::string::npos && (end == std::string::npos || at + 1 < end)) end = at + 1;
  }
  if (end != std::string::npos) return end;
  const size_t blank = first.rfind(' ');
  return blank != std::string::npos && blank > 0 ? blank : first.size();
}

/// Icon at the left, the centred text beside it (the fixed text first, the
/// cause whole below it), the buttons centred below.
QLabel* BuildBox(QDialog& dialog, const char* text, QPushButton* ok, QPushButton* cancel,
                 QLabel** detail = nullptr) {
  dialog.setWindowTitle(QString::fromLatin1(kApplicationName));
  dialog.setWindowIcon(ProgramIcon());
  dialog.setModal(true);
  const std::string whole = text != nullptr ? text : "";
  const size_t head = HeadLength(whole);
  std::string rest = whole.substr(head);
  rest.erase(0, rest.find_first_not_of(' ') == std::string::npos ? rest.size()
                                                                 : rest.find_first_not_of(' '));
  auto* icon = new QLabel(&dialog);
  const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
  icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(size));
  auto* label = new QLabel(QString::fromLocal8Bit(whole.substr(0, head)), &dialog);
  label->setAlignment(Qt::AlignCenter);
  label->setObjectName("text");
  auto* more = new QLabel(QString::fromLocal8Bit(rest), &dialog);
  more->setObjectName("detail");
  more->setAlignment(Qt::AlignCenter);
  more->setWordWrap(true);
  more->setMinimumWidth(360);
  // Paths and device names can be selected and copied.
  more->setTextInteractionFlags(Qt::TextSelectableByMouse);
  more->setVisible(!rest.empty());
  if (detail != nullptr) *detail = more;
  auto* texts = new QVBoxLayout;
  texts->addWidget(label);
  texts->addWidget(more);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(texts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  ok->setObjectName("ok");
  ok->setDefault(true);
  buttons->addWidget(ok);
  if (cancel != nullptr) {
    cancel->setObjectName("cancel");
    buttons->addWidget(cancel);
  }
  buttons->addStretch();
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(top);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  return label;
}

}  // namespace

MessageDialog::MessageDialog(QWidget* owner, const char* text) : QDialog(owner) {
  auto* ok = new QPushButton("&OK", this);
  label_ = BuildBox(*this, text, ok, nullptr, &detail_);
  connect(ok, &QPushButton::clicked, this, [this] {
    closing_ = true;
    accept();
  });
}

QString MessageDialog::text() const { return label_->text(); }

QString MessageDialog::detail() const { return detail_->text(); }

void MessageDialog::showEvent(QShowEvent* event) {
  PlaceDialog(*this);
  QDialog::showEvent(event);
}

void MessageDialog::closeEvent(QCloseEvent* event) {
  // Only OK ends the message.
  if (closing_) {
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

QuestionDialog::QuestionDialog(QWidget* owner, const char* text) : QDialog(owner) {
  auto* ok = new QPushButton("&OK", this);
  auto* cancel = new QPushButton("&Cancel", this);
  label_ = BuildBox(*this, text, ok, cancel, &detail_);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString QuestionDialog::text() const { return label_->text(); }

void QuestionDialog::showEvent(QShowEvent* event) {
  PlaceDialog(*this);
  QDialog::showEvent(event);
}

bool ShowFatalError(const char* text, const char* caption) {
  std::fprintf(stderr, "skelmar: %s: %s\n", caption, text);
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(caption), QString::fromLocal8Bit(text),
                  QMessageBox::Ok | QMessageBox::Cancel);
  box.setWindowIcon(ProgramIcon());
  return box.exec() == QMessageBox::Ok;
}

void QtMessageSink::ShowMessage(const char* text) {
  if (holds_ > 0) {
    pending_.emplace_back(text);
    if (!flushQueued_ && owner_ != nullptr) {
      flushQueued_ = true;
      QTimer::singleShot(0, owner_, [this] { Flush(); });
    }
    return;
  }
  // Also on standard error: a box is gone once closed, and a terminal or a
  // journal keeps what it said.
  if (log_ != nullptr) {
    std::fprintf(log_, "skelmar: %s\n", text);
    std::fflush(log_);
  }
  MessageDialog dialog(owner_, text);
  Run(dialog, text);
}

int QtMessageSink::AskQuestion(const char* text) {
  QuestionDialog dialog(owner_, text);
  return Run(dialog, text);
}

int QtMessageSink::ConfirmExit() {
  QuestionDialog dialog(owner_, kExitQuestion);
  return Run(dialog, kExitQuestion);
}

void QtMessageSink::Release() {
  if (holds_ > 0) --holds_;
}

int QtMessageSink::Run(QDialog& dialog, const char* text) {
  shown_.emplace_back(text != nullptr ? text : "");
  if (!answers_.empty()) {
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  return dialog.exec() == QDialog::Accepted ? 1 : 0;
}

void QtMessageSink::Flush() {
  flushQueued_ = false;
  // Each box runs its own loop, in which more messages may queue up.
  while (!pending_.empty() && holds_ == 0) {
    const std::string text = pending_.front();
    pending_.pop_front();
    ShowMessage(text.c_str());
  }
  if (!pending_.empty() && !flushQueued_ && owner_ != nullptr) {
    // Still held (a question asked inside a tick is open): look again later.
    flushQueued_ = true;
    QTimer::singleShot(100, owner_, [this] { Flush(); });
  }
}

}  // namespace skelmar::desktop
