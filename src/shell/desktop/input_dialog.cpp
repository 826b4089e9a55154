// The recording chooser and the receiver dialog.
#include "shell/desktop/input_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <filesystem>

#include "platform/audio_input.h"
#include "sdr/iq_format.h"
#include "shell/desktop/dialogs/dialog_support.h"

namespace skelmar::desktop {

InputKind RecordingKind(const std::string& path, const QString& filter) {
  if (filter == QLatin1String(kEdgeFilter)) return InputKind::kReplay;
  if (filter == QLatin1String(kAudioFilter)) return InputKind::kAudioFile;
  if (filter == QLatin1String(kIqFilter)) return InputKind::kIq;
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".edges" || ext == ".txt") return InputKind::kReplay;
  for (const char* iq : {".cu8", ".cs8", ".cs16", ".cf32", ".sigmf-meta", ".sigmf-data", ".iq"}) {
    if (ext == iq) return InputKind::kIq;
  }
  return InputKind::kAudioFile;
}

std::optional<std::pair<InputKind, std::string>> ChooseRecording(QWidget* owner) {
  QFileDialog chooser(owner, QStringLiteral("Skelmar Open Recording"));
  chooser.setObjectName(QStringLiteral("recordingChooser"));
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setNameFilters({QLatin1String(kEdgeFilter), QLatin1String(kAudioFilter),
                          QLatin1String(kIqFilter), QStringLiteral("All files (*)")});
  PlaceWhenShown(chooser);
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return {};
  const std::string path = chooser.selectedFiles().front().toStdString();
  return std::make_pair(RecordingKind(path, chooser.selectedNameFilter()), path);
}

namespace {

class ReceiverDialog : public SkelmarDialog {
 public:
  ReceiverDialog(QWidget* owner, const ReceiverSettings& current, const QString& serialPort)
      : SkelmarDialog(owner, QStringLiteral("Skelmar Receiver")), result_(current) {
    setObjectName(QStringLiteral("receiverDialog"));
    auto* grid = new QGridLayout;
    auto choice = [this, grid](const char* name, const QString& text, int row) {
      auto* button = new QRadioButton(text, this);
      button->setObjectName(QString::fromLatin1(name));
      group_.addButton(button, row);
      grid->addWidget(button, row, 0);
      return button;
    };
    choice("serial", QStringLiteral("&Serial slicer"), 0);
    grid->addWidget(new QLabel(serialPort, this), 0, 1);
    choice("audio", QStringLiteral("Sound &card"), 1);
    audio_ = new QComboBox(this);
    audio_->setObjectName(QStringLiteral("audioDevice"));
    audio_->setEditable(true);
    for (const CaptureDevice& d : ListCaptureDevices()) {
      audio_->addItem(QString::fromStdString(d.name));
      audio_->setItemData(audio_->count() - 1, QString::fromStdString(d.description),
                          Qt::ToolTipRole);
    }
    if (audio_->count() == 0) audio_->addItem(QStringLiteral("default"));
    if (!current.audioDevice.empty()) {
      audio_->setCurrentText(QString::fromStdString(current.audioDevice));
    }
    grid->addWidget(audio_, 1, 1);
    choice("rtlTcp", QStringLiteral("&rtl_tcp server"), 2);
    rtlTcp_ = Field("rtlTcpHost", current.rtlTcp, "127.0.0.1:1234");
    grid->addWidget(rtlTcp_, 2, 1);
    choice("sdr", QStringLiteral("SDR &device"), 3);
    sdr_ = Field("sdrArgs", current.sdr.value_or(""), "driver=rtlsdr");
    grid->addWidget(sdr_, 3, 1);

    // The tuning of the two SDR choices.
    auto* tuning = new QFormLayout;
    channel_ = Field("channel", current.channel, "169.65M");
    center_ = Field("center", current.center, "a quarter of the rate above the channel");
    gain_ = Field("gain", current.gain, "auto");
    tuning->addRow(QStringLiteral("C&hannel (Hz, k, M):"), channel_);
    tuning->addRow(QStringLiteral("C&entre:"), center_);
    tuning->addRow(QStringLiteral("&Gain (dB):"), gain_);

    int chosen = 0;
    if (current.input == "audio") chosen = 1;
    if (current.input == "rtl_tcp" || (current.input.empty() && !current.rtlTcp.empty())) {
      chosen = 2;
    }
    if (current.input == "sdr" || (current.input.empty() && current.sdr)) chosen = 3;
    group_.button(chosen)->setChecked(true);

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    problem_->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Accept(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* note = new QLabel(
        QStringLiteral("The choice is kept in the settings file; the window starts on it now."),
        this);
    note->setWordWrap(true);
    auto* column = new QVBoxLayout;
    column->addLayout(grid);
    column->addLayout(tuning);
    column->addWidget(note);
    column->addWidget(problem_);
    column->addWidget(buttons);
    auto* row = new QHBoxLayout(this);
    row->addWidget(MakeIconLabel());
    row->addLayout(column, 1);
  }

  const ReceiverSettings& result() const { return result_; }

 private:
  QLineEdit* Field(const char* name, const std::string& value, const char* hint) {
    auto* field = new QLineEdit(QString::fromStdString(value), this);
    field->setObjectName(QString::fromLatin1(name));
    field->setPlaceholderText(QString::fromLatin1(hint));
    return field;
  }

  void Accept() {
    static const char* const kInputs[] = {"serial", "audio", "rtl_tcp", "sdr"};
    const int chosen = group_.checkedId();
    ReceiverSettings r = result_;
    r.input = kInputs[chosen];
    // Only the chosen input's keys change; the others keep what the file had.
    if (chosen == 1) r.audioDevice = audio_->currentText().trimmed().toStdString();
    if (chosen == 2) r.rtlTcp = rtlTcp_->text().trimmed().toStdString();
    if (chosen == 3) r.sdr = sdr_->text().trimmed().toStdString();
    if (chosen >= 2) {
      r.channel = channel_->text().trimmed().toStdString();
      r.center = center_->text().trimmed().toStdString();
      r.gain = gain_->text().trimmed().toStdString();
    }
    QString problem;
    double hz = 0;
    if (chosen == 2 && r.rtlTcp.empty())
      problem = QStringLiteral("Give the rtl_tcp server's host.");
    for (const std::string* f : {&r.channel, &r.center}) {
      if (chosen >= 2 && !f->empty() && !ParseFrequency(f->c_str(), hz)) {
        problem = QStringLiteral("'%1' is not a frequency (e.g. 169.65M or 169650k).")
                      .arg(QString::fromStdString(*f));
      }
    }
    if (chosen >= 2 && r.channel.empty() && r.center.empty()) {
      problem = QStringLiteral("Give the channel to decode.");
    }
    if (!problem.isEmpty()) {
      problem_->setText(problem);
      problem_->show();
      return;
    }
    result_ = r;
    accept();
  }

  ReceiverSettings result_;
  QButtonGroup group_;
  QComboBox* audio_;
  QLineEdit* rtlTcp_;
  QLineEdit* sdr_;
  QLineEdit* channel_;
  QLineEdit* center_;
  QLineEdit* gain_;
  QLabel* problem_;
};

}  // namespace

std::optional<ReceiverSettings> ChooseReceiver(QWidget* owner, const ReceiverSettings& current,
                                               const QString& serialPort) {
  ReceiverDialog dialog(owner, current, serialPort);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.result();
}

}  // namespace skelmar::desktop
