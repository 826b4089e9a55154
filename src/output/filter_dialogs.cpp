// Filter dialog logic: list lines, entry validation, list editing and the
// action settings, kept apart from the widgets that show them.
#include "output/filter_dialogs.h"

#include <algorithm>
#include <cstring>

#include "settings/settings.h"

namespace skelmar {
namespace {

constexpr const char* kListNames[] = {"UNUSED",     "Text",      "POCSAG",
                                      "Short FLEX", "Long FLEX", "Golay"};
constexpr const char* kDialogNames[] = {
    "", "Text", "POCSAG Capcode", "FLEX Short Capcode", "FLEX Long Capcode", "Golay (GSC) Capcode"};
constexpr const char* kFunctionNames[] = {"Any", "1", "2", "3", "4"};

constexpr size_t kCapcodeFieldLimit = 9;
constexpr size_t kLabelLimit = 20;
constexpr size_t kTextLimit = 40;

void CopyField(char* dst, size_t capacity, const std::string& src, size_t limit) {
  const size_t n = std::min({src.size(), limit, capacity - 1});
  std::memcpy(dst, src.data(), n);
  dst[n] = 0;
}

bool ValidType(int type) { return type >= kFilterText && type <= kFilterGsc; }

}  // namespace

const char* FilterTypeListName(int type) {
  return (type >= 0 && type <= kFilterGsc) ? kListNames[type] : "";
}

const char* FilterTypeDialogName(int type) { return ValidType(type) ? kDialogNames[type] : ""; }

const char* FilterFunctionName(int function) {
  return (function >= 0 && function <= 4) ? kFunctionNames[function] : "";
}

std::string FilterListLine(const FilterEntry& entry) {
  std::string line = FilterTypeListName(entry.type);
  if (entry.label[0] != 0)
    line += std::string(" | ") + std::string(entry.label, strnlen(entry.label, kLabelLimit));
  if (entry.capcode[0] != 0) {
    line +=
        std::string(" | ") + std::string(entry.capcode, strnlen(entry.capcode, kCapcodeFieldLimit));
  }
  if (FilterHasFunction(entry.type))
    line += std::string(" | ") + FilterFunctionName(entry.function);
  if (entry.text[0] != 0) {
    line += " | \"" + std::string(entry.text, strnlen(entry.text, sizeof entry.text - 1)) + "\"";
  }
  if (entry.runCommand == 1) line += " | CMD";
  return line;
}

FilterEditState OpenFilterEdit(const FilterEntry* entry) {
  FilterEditState state;
  if (entry == nullptr || !ValidType(entry->type))
    return state;  // Add: Text, capcode and function off
  state = ChooseFilterType(state, entry->type - 1);
  state.typeEnabled = false;  // a filter's type cannot be changed
  return state;
}

FilterEditState ChooseFilterType(const FilterEditState& state, int typeChoice) {
  FilterEditState next = state;
  const int type = typeChoice + 1;
  next.typeChoice = typeChoice;
  next.capcodeLimit = FilterCapcodeLength(type);
  next.capcodeEnabled = next.capcodeLimit > 0;
  next.functionEnabled = FilterHasFunction(type);
  return next;
}

const char* AcceptFilterEdit(const FilterEditInput& input, FilterEntry& out) {
  FilterEntry entry;
  entry.type = std::clamp(input.typeChoice, 0, kFilterTypeChoices - 1) + 1;
  const size_t length = static_cast<size_t>(FilterCapcodeLength(entry.type));
  if (length > 0) {
    std::string capcode = input.capcode.substr(0, kCapcodeFieldLimit);
    if (capcode.empty()) return "You must enter a capcode!";
    // A capcode typed before the type changed to a shorter one would match by prefix only.
    if (capcode.size() > length) return "Capcode too long for this filter type!";
    capcode.insert(0, length - capcode.size(), '0');
    for (char c : capcode) {
      if (!((c >= '0' && c <= '9') || c == '?')) return "Invalid characters in capcode!";
    }
    CopyField(entry.capcode, sizeof entry.capcode, capcode, length);
  }
  CopyField(entry.label, sizeof entry.label, input.label, kLabelLimit);
  if (FilterHasFunction(entry.type))
    entry.function = static_cast<int8_t>(std::clamp(input.functionChoice, 0, 4));
  CopyField(entry.text, sizeof entry.text, input.text, kTextLimit);
  if (entry.type == kFilterText && entry.text[0] == 0) return "You must enter a text string!";
  entry.runCommand = input.runCommand ? 1 : 0;
  out = entry;
  return nullptr;
}

FilterListModel::FilterListModel(FilterTable& table) : table_(table) {
  table_.count = std::clamp(table_.count, 0, kMaxFilters);
  for (int i = 0; i < table_.count; ++i) lines_.push_back(FilterListLine(table_.entries[i]));
}

void FilterListModel::Select(int index) {
  selection_ = (index >= 0 && index < table_.count) ? index : -1;
}

void FilterListModel::Add(FilterEditor& editor, MessageSink& messages) {
  if (table_.count >= kMaxFilters) {
    messages.ShowMessage("Error!  Max filters defined!");
    return;
  }
  FilterEntry entry;
  editor.Edit(entry);
  if (entry.type == kFilterUnused) return;
  table_.entries[table_.count] = entry;
  lines_.push_back(FilterListLine(entry));
  selection_ = table_.count;
  ++table_.count;
}

void FilterListModel::Edit(FilterEditor& editor, MessageSink& messages) {
  if (selection_ < 0) {
    messages.ShowMessage("You must select a filter to edit!");
    return;
  }
  FilterEntry entry = table_.entries[selection_];
  editor.Edit(entry);
  if (entry.type == kFilterUnused) return;
  table_.entries[selection_] = entry;
  lines_[static_cast<size_t>(selection_)] = FilterListLine(entry);
}

std::string FilterListModel::DeleteQuestion(int index) const {
  std::string line = lines_.at(static_cast<size_t>(index));
  if (line.size() > 20) line = line.substr(0, 17) + "...";
  return "Delete " + line + "?";
}

void FilterListModel::Delete(MessageSink& messages) {
  if (selection_ < 0) {
    messages.ShowMessage("You must select a filter to delete!");
    return;
  }
  if (messages.AskQuestion(DeleteQuestion(selection_).c_str()) != 1) return;
  const int index = selection_;
  for (int i = index; i + 1 < table_.count; ++i) table_.entries[i] = table_.entries[i + 1];
  table_.entries[table_.count - 1] = FilterEntry{};
  --table_.count;
  // A page being written keeps pointing at the same entry, or at none once it is gone.
  if (table_.matchedFilter == index) {
    table_.matchedFilter = -1;
  } else if (table_.matchedFilter > index) {
    --table_.matchedFilter;
  }
  lines_.erase(lines_.begin() + index);
  selection_ = table_.count > 0 ? std::min(index, table_.count - 1) : -1;
}

int FlushChoiceIndex(int filterFlushTime) {
  return (filterFlushTime >= 1 && filterFlushTime <= 5) ? filterFlushTime - 1 : 4;
}

int FlushTimeFromChoice(int choice) { return choice < 0 ? 0 : std::min(choice, 4) + 1; }

FilterActionEnables FilterActionControls(bool outputChecked, bool flushChecked,
                                         bool commandChecked) {
  return {outputChecked, outputChecked && flushChecked, commandChecked};
}

bool ApplyFilterActions(const FilterActionInput& input, Settings& settings,
                        FilterProcessor& processor, MessageSink& messages) {
  if (input.outputEnabled && input.outputPath.empty()) {
    messages.ShowMessage("You must select a filter file!");
    return false;
  }
  processor.CloseLog();
  settings.filterFileEnabled = input.outputEnabled ? 1 : 0;
  CopyField(settings.filterFile, sizeof settings.filterFile, input.outputPath, kPathCapacity - 1);
  if (settings.filterFileEnabled != 0) processor.OpenLog();

  if (input.commandEnabled && input.commandPath.empty()) {
    messages.ShowMessage("You must select a command file!");
    return false;
  }
  settings.filterCmdFileEnabled = input.commandEnabled ? 1 : 0;
  CopyField(settings.filterCmdFile, sizeof settings.filterCmdFile, input.commandPath,
            kPathCapacity - 1);
  settings.filterFileFlush = input.flushEnabled ? 1 : 0;
  settings.filterFlushTime = FlushTimeFromChoice(input.flushChoice);
  CopyField(settings.filterCmdArgs, sizeof settings.filterCmdArgs, input.commandArgs,
            kPathCapacity - 1);
  return true;
}

}  // namespace skelmar
