// The Statistics dialog: two tables of counts, the report-file box and path.
#include "shell/desktop/dialogs/statistics_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/settings.h"

namespace skelmar::desktop {
namespace {

QGroupBox* CountTable(QWidget* parent, const QString& title, const char* prefix,
                      const char (&counts)[kStatRows][2][16]) {
  auto* group = new QGroupBox(title, parent);
  auto* grid = new QGridLayout(group);
  grid->setHorizontalSpacing(16);
  grid->addWidget(new QLabel(QStringLiteral("Numeric"), group), 0, 1, Qt::AlignRight);
  grid->addWidget(new QLabel(QStringLiteral("Alpha"), group), 0, 2, Qt::AlignRight);
  for (int row = 0; row < kStatRows; ++row) {
    grid->addWidget(new QLabel(QString::fromLatin1(StatRowDialogName(row)), group), row + 1, 0);
    for (int kind = 0; kind < 2; ++kind) {
      auto* count = new QLabel(QString::fromLatin1(counts[row][kind]), group);
      count->setObjectName(QStringLiteral("%1_%2_%3").arg(prefix).arg(row).arg(kind));
      count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      grid->addWidget(count, row + 1, kind + 1);
    }
  }
  return group;
}

}  // namespace

StatisticsDialog::StatisticsDialog(QWidget* owner, Settings& settings, const StatCounters& counters,
                                   MessageSink& messages)
    : SkelmarDialog(owner, QStringLiteral("Skelmar Statistics")),
      settings_(settings),
      messages_(messages),
      enabled_(new QCheckBox(QStringLiteral("Write Statistics to File:"), this)),
      path_(new QLineEdit(this)) {
  enabled_->setObjectName("statFileEnabled");
  path_->setObjectName("statFile");
  path_->setMaxLength(kPathCapacity - 1);
  const StatSnapshot snapshot = TakeStatSnapshot(counters);

  enabled_->setChecked(settings_.statFileEnabled != 0);
  path_->setText(QString::fromUtf8(
      settings_.statFile, static_cast<qsizetype>(qstrnlen(settings_.statFile, kPathCapacity))));
  path_->setEnabled(enabled_->isChecked());
  connect(enabled_, &QCheckBox::toggled, path_, &QLineEdit::setEnabled);

  auto* ok = new QPushButton(QStringLiteral("&OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &StatisticsDialog::accept);
  ok->setFocus();
  auto* chooser = new PathChooser(*path_, *ok, QStringLiteral("Open Statistics File..."),
                                  QStringLiteral("Statistics files (*.txt)"),
                                  QStringLiteral("*.txt"), true, false);

  auto* tables = new QHBoxLayout;
  tables->addWidget(
      CountTable(this, QStringLiteral("Hourly Statistics"), "hourly", snapshot.hourly));
  tables->addWidget(CountTable(this, QStringLiteral("Daily Statistics"), "daily", snapshot.daily));
  auto* file = new QHBoxLayout;
  file->addWidget(enabled_);
  file->addWidget(path_, 1);
  file->addWidget(chooser->button());
  file->addWidget(ok);
  auto* right = new QVBoxLayout;
  right->addLayout(tables);
  right->addLayout(file);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(MakeIconLabel());
  layout->addLayout(right, 1);
}

void StatisticsDialog::accept() {
  const QByteArray path = path_->text().toUtf8();
  if (ApplyStatFileSettings(enabled_->isChecked(), path.constData(), settings_, messages_))
    QDialog::accept();
}

}  // namespace skelmar::desktop
