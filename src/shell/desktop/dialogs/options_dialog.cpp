// The Options dialog: eight check boxes onto their settings.
#include "shell/desktop/dialogs/options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace skelmar::desktop {
namespace {

// Object names for tests and tools, in the table's order.
constexpr const char* kBoxNames[kOptionBoxes] = {"confirmExit", "timestamp",  "showNumeric",
                                                 "showMisc",    "filterBeep", "decodePocsag",
                                                 "decodeFlex",  "decodeGolay"};

}  // namespace

OptionsDialog::OptionsDialog(QWidget* owner, Settings& settings, ChannelControl& channel)
    : SkelmarDialog(owner, QStringLiteral("Skelmar Options")),
      settings_(settings),
      channel_(channel) {
  // Display options on the left, decoding on the right.
  auto* grid = new QGridLayout;
  for (int i = 0; i < kOptionBoxes; ++i) {
    boxes_[i] = new QCheckBox(QString::fromLatin1(kOptionBoxTable[i].label), this);
    boxes_[i]->setObjectName(kBoxNames[i]);
    boxes_[i]->setChecked(settings_.*kOptionBoxTable[i].setting != 0);
    if (i < 5) {
      grid->addWidget(boxes_[i], i, 0);
    } else {
      grid->addWidget(boxes_[i], i - 5, 1);
    }
  }
  auto* buttons = new QDialogButtonBox(Qt::Vertical, this);
  QPushButton* ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
  QPushButton* cancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
  ok->setObjectName("ok");
  cancel->setObjectName("cancel");
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(MakeIconLabel());
  layout->addLayout(grid, 1);
  layout->addWidget(buttons);
}

void OptionsDialog::accept() {
  bool checked[kOptionBoxes];
  for (int i = 0; i < kOptionBoxes; ++i) checked[i] = boxes_[i]->isChecked();
  AcceptOptions(checked, settings_, channel_);
  QDialog::accept();
}

}  // namespace skelmar::desktop
