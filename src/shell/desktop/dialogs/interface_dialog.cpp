// The Interface dialog's widgets over the core's port rules.
#include "shell/desktop/dialogs/interface_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "output/filters.h"

namespace skelmar::desktop {

InterfaceDialog::InterfaceDialog(QWidget* owner, Settings& settings, MessageSink& messages)
    : SkelmarDialog(owner, QStringLiteral("Skelmar Interface")),
      settings_(settings),
      messages_(messages),
      port_(new QComboBox(this)),
      address_(new QLineEdit(this)),
      irq_(new QComboBox(this)),
      fourLevel_(new QCheckBox(QStringLiteral("&4 Level FSK Interface"), this)),
      invert_(new QCheckBox(QStringLiteral("&Invert Data"), this)),
      device_(new QLineEdit(this)) {
  port_->setObjectName("port");
  address_->setObjectName("address");
  irq_->setObjectName("irq");
  fourLevel_->setObjectName("fourLevel");
  invert_->setObjectName("invert");
  device_->setObjectName("device");

  for (int i = 0; i < kPortChoices; ++i) port_->addItem(QString::fromLatin1(PortChoiceName(i)));
  for (int i = 0; i < kIrqChoices; ++i) irq_->addItem(QString::fromLatin1(IrqChoiceName(i)));
  address_->setMaxLength(kPortAddressLimit);
  device_->setMaxLength(kPathCapacity - 1);
  device_->setPlaceholderText(QStringLiteral("empty: the COM port's own device"));
  device_->setToolTip(
      QStringLiteral("A serial device such as /dev/ttyUSB0 (a USB serial adapter). "
                     "When set, it is used instead of the COM port."));

  auto* form = new QFormLayout;
  auto* portLabel = new QLabel(QStringLiteral("COM &Port:"), this);
  portLabel->setBuddy(port_);
  form->addRow(portLabel, port_);
  form->addRow(QStringLiteral("Port I/O Address (hex):"), address_);
  form->addRow(QStringLiteral("Port IRQ Vector:"), irq_);
  auto* deviceLabel = new QLabel(QStringLiteral("Serial &Device:"), this);
  deviceLabel->setBuddy(device_);
  form->addRow(deviceLabel, device_);

  auto* boxes = new QVBoxLayout;
  boxes->addWidget(fourLevel_);
  boxes->addWidget(invert_);
  boxes->addStretch();
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
  QPushButton* cancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
  ok->setObjectName("ok");
  cancel->setObjectName("cancel");
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &InterfaceDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &InterfaceDialog::reject);

  auto* top = new QHBoxLayout;
  top->addWidget(MakeIconLabel());
  top->addLayout(form, 1);
  top->addLayout(boxes);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);

  ShowFields(OpenInterfaceFields(settings_));
  // `activated` is the user's pick only; filling the fields does not trigger it.
  connect(port_, &QComboBox::activated, this, &InterfaceDialog::PortPicked);
}

void InterfaceDialog::ShowFields(const InterfaceFields& fields) {
  port_->setCurrentIndex(fields.portChoice);
  address_->setText(QString::fromStdString(fields.address));
  irq_->setCurrentIndex(fields.irqChoice);
  address_->setEnabled(fields.customEnabled);
  irq_->setEnabled(fields.customEnabled);
  fourLevel_->setChecked(fields.fourLevel);
  invert_->setChecked(fields.invert);
  device_->setText(QString::fromStdString(fields.device));
}

InterfaceFields InterfaceDialog::ReadFields() const {
  InterfaceFields f;
  f.portChoice = port_->currentIndex();
  f.address = address_->text().toStdString();
  f.irqChoice = irq_->currentIndex();
  f.customEnabled = address_->isEnabled();
  f.fourLevel = fourLevel_->isChecked();
  f.invert = invert_->isChecked();
  f.device = device_->text().toStdString();
  return f;
}

void InterfaceDialog::PortPicked(int choice) { ShowFields(ChoosePort(ReadFields(), choice)); }

void InterfaceDialog::accept() {
  if (AcceptInterface(ReadFields(), settings_, messages_)) QDialog::accept();
}

}  // namespace skelmar::desktop
