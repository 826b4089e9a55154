// Dialog 107 "Skelmar Filters" and dialog 108 "Skelmar Add/Edit Filter".
#pragma once

#include "output/filter_dialogs.h"
#include "shell/desktop/dialogs/dialog_support.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace skelmar::desktop {

/// One filter: type (locked when editing), capcode, label, function, text
/// and the command check box. Its result is an entry of type 0 when cancelled.
class FilterEditDialog : public SkelmarDialog {
  Q_OBJECT
 public:
  /// `entry` of type 0 opens the dialog for Add.
  FilterEditDialog(QWidget* owner, const FilterEntry& entry, MessageSink& messages);
  void accept() override;
  const FilterEntry& result() const { return result_; }

 private:
  void TypeChosen(int choice);
  void ShowState(const FilterEditState& state);

  MessageSink& messages_;
  FilterEntry result_;
  QComboBox* type_;
  QLineEdit* capcode_;
  QLineEdit* label_;
  QComboBox* function_;
  QLineEdit* text_;
  QCheckBox* runCommand_;
};

/// The filter list and the filter actions. List edits take effect on the
/// table at once (the decoders use them from the next line on, while the
/// dialog is still open) and stay when the dialog is cancelled; the action
/// settings are stored by OK only.
class FiltersDialog : public SkelmarDialog, private FilterEditor {
  Q_OBJECT
 public:
  FiltersDialog(QWidget* owner, Settings& settings, FilterTable& table, FilterProcessor& processor,
                MessageSink& messages);
  void accept() override;

 private:
  void Edit(FilterEntry& entry) override;  // FilterEditor: runs dialog 108
  void ShowList();
  void UpdateEnables();

  Settings& settings_;
  FilterProcessor& processor_;
  MessageSink& messages_;
  FilterListModel model_;
  QListWidget* list_;
  QCheckBox* outputEnabled_;
  QLineEdit* outputPath_;
  QCheckBox* flushEnabled_;
  QComboBox* flushChoice_;
  QCheckBox* commandEnabled_;
  QLineEdit* commandPath_;
  QLineEdit* commandArgs_;
  QPushButton* ok_;
};

}  // namespace skelmar::desktop
