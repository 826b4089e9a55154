// The filter dialogs' widgets over the core's list model and validation.
#include "shell/desktop/dialogs/filters_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/settings.h"

namespace skelmar::desktop {
namespace {

// Filter fields are 8-bit text like the pages they are matched against.
QString Field(const char* text, size_t capacity) {
  return QString::fromLatin1(text, static_cast<qsizetype>(qstrnlen(text, capacity)));
}
std::string FieldText(const QLineEdit& edit) { return edit.text().toLatin1().toStdString(); }

// Paths are file names of the system: UTF-8.
QString Path(const char* text, size_t capacity) {
  return QString::fromUtf8(text, static_cast<qsizetype>(qstrnlen(text, capacity)));
}

constexpr int kFlushChoices = 5;
constexpr const char* kFlushNames[kFlushChoices] = {"Message", "5 Seconds", "10 Seconds",
                                                    "30 Seconds", "60 Seconds"};

}  // namespace

FilterEditDialog::FilterEditDialog(QWidget* owner, const FilterEntry& entry, MessageSink& messages)
    : SkelmarDialog(owner, QStringLiteral("Skelmar Add/Edit Filter")),
      messages_(messages),
      type_(new QComboBox(this)),
      capcode_(new QLineEdit(this)),
      label_(new QLineEdit(this)),
      function_(new QComboBox(this)),
      text_(new QLineEdit(this)),
      runCommand_(new QCheckBox(QStringLiteral("Enable Filter Command File"), this)) {
  type_->setObjectName("type");
  capcode_->setObjectName("capcode");
  label_->setObjectName("label");
  function_->setObjectName("function");
  text_->setObjectName("text");
  runCommand_->setObjectName("runCommand");
  for (int type = kFilterText; type <= kFilterGsc; ++type)
    type_->addItem(QString::fromLatin1(FilterTypeDialogName(type)));
  for (int f = 0; f <= 4; ++f) function_->addItem(QString::fromLatin1(FilterFunctionName(f)));
  label_->setMaxLength(20);
  text_->setMaxLength(40);

  const bool editing = entry.type != kFilterUnused;
  const FilterEditState state = OpenFilterEdit(editing ? &entry : nullptr);
  type_->setCurrentIndex(state.typeChoice);
  ShowState(state);
  if (editing) {
    capcode_->setText(Field(entry.capcode, sizeof entry.capcode));
    function_->setCurrentIndex(FilterHasFunction(entry.type) ? entry.function : 0);
    label_->setText(Field(entry.label, sizeof entry.label));
    text_->setText(Field(entry.text, sizeof entry.text));
    runCommand_->setChecked(entry.runCommand == 1);
  } else {
    function_->setCurrentIndex(0);
  }
  connect(type_, &QComboBox::activated, this, &FilterEditDialog::TypeChosen);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Filter:"), type_);
  form->addRow(QStringLiteral("Capcode:"), capcode_);
  form->addRow(QStringLiteral("Label:"), label_);
  form->addRow(QStringLiteral("Function Code:"), function_);
  form->addRow(QStringLiteral("Text:"), text_);
  form->addRow(QString(), runCommand_);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
  QPushButton* cancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
  ok->setObjectName("ok");
  cancel->setObjectName("cancel");
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &FilterEditDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &FilterEditDialog::reject);

  auto* top = new QHBoxLayout;
  top->addWidget(MakeIconLabel());
  top->addLayout(form, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
}

void FilterEditDialog::ShowState(const FilterEditState& state) {
  type_->setEnabled(state.typeEnabled);
  capcode_->setEnabled(state.capcodeEnabled);
  // A disabled field keeps its text; the limit applies to what is typed next.
  capcode_->setMaxLength(state.capcodeLimit > 0 ? state.capcodeLimit : 9);
  function_->setEnabled(state.functionEnabled);
}

void FilterEditDialog::TypeChosen(int choice) {
  FilterEditState state = OpenFilterEdit(nullptr);
  ShowState(ChooseFilterType(state, choice));
}

void FilterEditDialog::accept() {
  FilterEditInput input;
  input.typeChoice = type_->currentIndex();
  input.capcode = FieldText(*capcode_);
  input.label = FieldText(*label_);
  input.functionChoice = function_->currentIndex();
  input.text = FieldText(*text_);
  input.runCommand = runCommand_->isChecked();
  FilterEntry entry;
  if (const char* refusal = AcceptFilterEdit(input, entry)) {
    messages_.ShowMessage(refusal);
    return;
  }
  result_ = entry;
  QDialog::accept();
}

FiltersDialog::FiltersDialog(QWidget* owner, Settings& settings, FilterTable& table,
                             FilterProcessor& processor, MessageSink& messages)
    : SkelmarDialog(owner, QStringLiteral("Skelmar Filters")),
      settings_(settings),
      processor_(processor),
      messages_(messages),
      model_(table),
      list_(new QListWidget(this)),
      outputEnabled_(new QCheckBox(QStringLiteral("Enable Output File:"), this)),
      outputPath_(new QLineEdit(this)),
      flushEnabled_(new QCheckBox(QStringLiteral("Flush Filter Output To Disk Every: "), this)),
      flushChoice_(new QComboBox(this)),
      commandEnabled_(new QCheckBox(QStringLiteral("Enable Command File:"), this)),
      commandPath_(new QLineEdit(this)),
      commandArgs_(new QLineEdit(this)),
      ok_(new QPushButton(QStringLiteral("&OK"), this)) {
  list_->setObjectName("filters");
  outputEnabled_->setObjectName("outputEnabled");
  outputPath_->setObjectName("outputPath");
  flushEnabled_->setObjectName("flushEnabled");
  flushChoice_->setObjectName("flushChoice");
  commandEnabled_->setObjectName("commandEnabled");
  commandPath_->setObjectName("commandPath");
  commandArgs_->setObjectName("commandArgs");
  ok_->setObjectName("ok");
  list_->setMinimumWidth(420);
  for (const char* name : kFlushNames) flushChoice_->addItem(QString::fromLatin1(name));
  outputPath_->setMaxLength(kPathCapacity - 1);
  commandPath_->setMaxLength(kPathCapacity - 1);
  commandArgs_->setMaxLength(kPathCapacity - 1);

  outputEnabled_->setChecked(settings_.filterFileEnabled != 0);
  outputPath_->setText(Path(settings_.filterFile, sizeof settings_.filterFile));
  flushEnabled_->setChecked(settings_.filterFileFlush != 0);
  flushChoice_->setCurrentIndex(FlushChoiceIndex(settings_.filterFlushTime));
  commandEnabled_->setChecked(settings_.filterCmdFileEnabled != 0);
  commandPath_->setText(Path(settings_.filterCmdFile, sizeof settings_.filterCmdFile));
  commandArgs_->setText(Field(settings_.filterCmdArgs, sizeof settings_.filterCmdArgs));
  UpdateEnables();
  ShowList();

  auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
  auto* add = new QPushButton(QStringLiteral("&Add"), this);
  auto* edit = new QPushButton(QStringLiteral("&Edit"), this);
  auto* remove = new QPushButton(QStringLiteral("&Delete"), this);
  cancel->setObjectName("cancel");
  add->setObjectName("add");
  edit->setObjectName("edit");
  remove->setObjectName("delete");
  ok_->setDefault(true);
  for (QPushButton* b : {cancel, add, edit, remove}) b->setAutoDefault(false);

  connect(ok_, &QPushButton::clicked, this, &FiltersDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &FiltersDialog::reject);
  connect(add, &QPushButton::clicked, this, [this] {
    model_.Add(*this, messages_);
    ShowList();
  });
  connect(edit, &QPushButton::clicked, this, [this] {
    model_.Edit(*this, messages_);
    ShowList();
  });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    model_.Select(list_->row(item));
    model_.Edit(*this, messages_);
    ShowList();
  });
  connect(remove, &QPushButton::clicked, this, [this] {
    model_.Delete(messages_);
    ShowList();
  });
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { model_.Select(row); });
  connect(outputEnabled_, &QCheckBox::toggled, this, &FiltersDialog::UpdateEnables);
  connect(flushEnabled_, &QCheckBox::toggled, this, &FiltersDialog::UpdateEnables);
  connect(commandEnabled_, &QCheckBox::toggled, this, &FiltersDialog::UpdateEnables);

  auto* outputChooser = new PathChooser(*outputPath_, *ok_, QStringLiteral("Open Filter File..."),
                                        QStringLiteral("Filter log files (*.log)"),
                                        QStringLiteral("*.log"), true, false);
  // Programs on Linux have no .exe ending: the chooser lists executable files.
  auto* commandChooser =
      new PathChooser(*commandPath_, *ok_, QStringLiteral("Open Filter Command..."),
                      QStringLiteral("Filter Command files (executable)"), QString(), false, true);
  auto withButton = [](QLineEdit* field, PathChooser* chooser) {
    auto* row = new QHBoxLayout;
    row->addWidget(field, 1);
    row->addWidget(chooser->button());
    return row;
  };

  auto* actions = new QGridLayout;
  actions->addWidget(outputEnabled_, 0, 0);
  actions->addLayout(withButton(outputPath_, outputChooser), 0, 1);
  actions->addWidget(flushEnabled_, 1, 0);
  actions->addWidget(flushChoice_, 1, 1, Qt::AlignLeft);
  actions->addWidget(commandEnabled_, 2, 0);
  actions->addLayout(withButton(commandPath_, commandChooser), 2, 1);
  actions->addWidget(new QLabel(QStringLiteral("Command File Arguments:"), this), 3, 0);
  actions->addWidget(commandArgs_, 3, 1);

  auto* side = new QVBoxLayout;
  for (QPushButton* b : {ok_, cancel, add, edit, remove}) side->addWidget(b);
  side->addStretch();
  auto* left = new QVBoxLayout;
  left->addWidget(list_, 1);
  left->addLayout(actions);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(side);
}

void FiltersDialog::Edit(FilterEntry& entry) {
  FilterEditDialog dialog(this, entry, messages_);
  entry = dialog.exec() == QDialog::Accepted ? dialog.result() : FilterEntry{};
}

void FiltersDialog::ShowList() {
  const QSignalBlocker block(list_);  // the model owns the selection
  list_->clear();
  for (const std::string& line : model_.lines()) list_->addItem(QString::fromStdString(line));
  list_->setCurrentRow(model_.selection());
}

void FiltersDialog::UpdateEnables() {
  const FilterActionEnables e = FilterActionControls(
      outputEnabled_->isChecked(), flushEnabled_->isChecked(), commandEnabled_->isChecked());
  flushEnabled_->setEnabled(e.flushCheck);
  flushChoice_->setEnabled(e.flushChoice);
  commandArgs_->setEnabled(e.commandArgs);
}

void FiltersDialog::accept() {
  FilterActionInput input;
  input.outputEnabled = outputEnabled_->isChecked();
  input.outputPath = outputPath_->text().toStdString();
  input.flushEnabled = flushEnabled_->isChecked();
  input.flushChoice = flushChoice_->currentIndex();
  input.commandEnabled = commandEnabled_->isChecked();
  input.commandPath = commandPath_->text().toStdString();
  input.commandArgs = FieldText(*commandArgs_);
  if (ApplyFilterActions(input, settings_, processor_, messages_)) QDialog::accept();
}

}  // namespace skelmar::desktop
