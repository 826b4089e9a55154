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

#include "output/message_dialogs.h"
#include "session/program_strings.h"
#include "shell/desktop/dialog_placement.h"

namespace skelmar::desktop {
namespace {

constexpr const char* kExitQuestion = "Skelmar Will Now Exit";

/// Icon at the left, the centred text beside it, the buttons centred below.
QLabel* BuildBox(QDialog& dialog, const char* text, QPushButton* ok, QPushButton* cancel) {
  dialog.setWindowTitle(QString::fromLatin1(kApplicationName));
  dialog.setModal(true);
  char buffer[kMessageCapacity + 1];
  CopyMessageText(text, buffer);
  auto* icon = new QLabel(&dialog);
  const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
  icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(size));
  auto* label = new QLabel(QString::fromLatin1(buffer), &dialog);
  label->setAlignment(Qt::AlignCenter);
  label->setObjectName("text");
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addWidget(label, 1);
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
  label_ = BuildBox(*this, text, ok, nullptr);
  connect(ok, &QPushButton::clicked, this, [this] {
    closing_ = true;
    accept();
  });
}

QString MessageDialog::text() const { return label_->text(); }

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
  label_ = BuildBox(*this, text, ok, cancel);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString QuestionDialog::text() const { return label_->text(); }

void QuestionDialog::showEvent(QShowEvent* event) {
  PlaceDialog(*this);
  QDialog::showEvent(event);
}

bool ShowFatalError(const char* text, const char* caption) {
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(caption), QString::fromLocal8Bit(text),
                  QMessageBox::Ok | QMessageBox::Cancel);
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
  char buffer[kMessageCapacity + 1];
  CopyMessageText(text, buffer);
  shown_.emplace_back(buffer);
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
