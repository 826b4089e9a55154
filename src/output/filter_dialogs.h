// The logic of the Filters and Add/Edit Filter dialogs without any drawing:
// list lines, validation, the list model and the action settings.
#pragma once

#include <string>
#include <vector>

#include "output/filters.h"

namespace skelmar {

struct Settings;

/// "UNUSED", "Text", "POCSAG", "Short FLEX", "Long FLEX", "Golay".
const char* FilterTypeListName(int type);
/// The Add/Edit dialog's type choice, index type - 1 ("Text", "POCSAG Capcode", ...).
inline constexpr int kFilterTypeChoices = 5;
const char* FilterTypeDialogName(int type);
/// "Any", "1", "2", "3", "4".
const char* FilterFunctionName(int function);

/// One line of the filter list, e.g. POCSAG | Fire | 0012345 | Any | CMD.
std::string FilterListLine(const FilterEntry& entry);

/// Which fields of the Add/Edit dialog are enabled.
struct FilterEditState {
  int typeChoice = 0;  ///< index into the type choice (type - 1)
  bool typeEnabled = true;
  bool capcodeEnabled = false;
  int capcodeLimit = 0;  ///< characters the capcode field takes
  bool functionEnabled = false;
};
/// On opening: `entry` is null for Add.
FilterEditState OpenFilterEdit(const FilterEntry* entry);
/// After the user picks a type (index into the type choice).
FilterEditState ChooseFilterType(const FilterEditState& state, int typeChoice);

/// What the Add/Edit dialog's fields hold when OK is pressed.
struct FilterEditInput {
  int typeChoice = 0;  ///< -1 when nothing is chosen
  std::string capcode;
  std::string label;
  int functionChoice = -1;  ///< -1 when nothing is chosen
  std::string text;
  bool runCommand = false;
};
/// Validates and builds the entry. Returns nullptr on success, else the message
/// to show (the dialog stays open).
const char* AcceptFilterEdit(const FilterEditInput& input, FilterEntry& out);

/// The Add/Edit dialog as the list model sees it: edits `entry` in place and
/// leaves type 0 in it when cancelled.
class FilterEditor {
 public:
  virtual ~FilterEditor() = default;
  virtual void Edit(FilterEntry& entry) = 0;
};

/// The Filters dialog's list: its lines and selection over the FilterTable.
/// Changes take effect on the table at once.
class FilterListModel {
 public:
  explicit FilterListModel(FilterTable& table);

  const std::vector<std::string>& lines() const { return lines_; }
  int selection() const { return selection_; }  ///< -1 for none
  void Select(int index);

  void Add(FilterEditor& editor, MessageSink& messages);
  void Edit(FilterEditor& editor, MessageSink& messages);
  void Delete(MessageSink& messages);
  /// "Delete " + the (possibly shortened) list line + "?".
  std::string DeleteQuestion(int index) const;

 private:
  FilterTable& table_;
  std::vector<std::string> lines_;
  int selection_ = -1;
};

/// Flush choice ("Message", "5 Seconds", ... "60 Seconds") for a "FilterFlushTime".
int FlushChoiceIndex(int filterFlushTime);
/// "FilterFlushTime" for a flush choice index (-1: nothing chosen).
int FlushTimeFromChoice(int choice);

/// Which action controls are enabled for the check boxes' states.
struct FilterActionEnables {
  bool flushCheck = false;
  bool flushChoice = false;
  bool commandArgs = false;
};
FilterActionEnables FilterActionControls(bool outputChecked, bool flushChecked,
                                         bool commandChecked);

/// The Filters dialog's action fields at OK.
struct FilterActionInput {
  bool outputEnabled = false;
  std::string outputPath;
  bool flushEnabled = false;
  int flushChoice = -1;
  bool commandEnabled = false;
  std::string commandPath;
  std::string commandArgs;
};
/// The OK button: applies the settings (reopening the log) and returns true to
/// close; on a missing path shows the message and returns false. The output
/// file settings are applied even when the command path is then refused.
bool ApplyFilterActions(const FilterActionInput& input, Settings& settings,
                        FilterProcessor& processor, MessageSink& messages);

}  // namespace skelmar
