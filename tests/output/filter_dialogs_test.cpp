// Filter dialog logic: list lines, entry validation, list editing and the
// action settings with their refusal messages.
#include "output/filter_dialogs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "pane_harness.h"

namespace skelmar::test {
namespace {

FilterEntry Entry(int type, const char* capcode, int function, const char* label, const char* text,
                  int run) {
  FilterEntry e;
  e.type = type;
  std::snprintf(e.capcode, sizeof e.capcode, "%s", capcode);
  e.function = static_cast<int8_t>(function);
  std::snprintf(e.label, sizeof e.label, "%s", label);
  std::snprintf(e.text, sizeof e.text, "%s", text);
  e.runCommand = run;
  return e;
}

TEST(FilterListLine, FieldsAppearOnlyWhenPresent) {
  EXPECT_EQ(FilterListLine(Entry(kFilterPocsag, "0012345", 0, "Fire", "", 1)),
            "POCSAG | Fire | 0012345 | Any | CMD");
  EXPECT_EQ(FilterListLine(Entry(kFilterText, "", 0, "", "fire", 0)), "Text | \"fire\"");
  EXPECT_EQ(FilterListLine(Entry(kFilterFlexLong, "000001234", 2, "L", "x y", 0)),
            "Long FLEX | L | 000001234 | \"x y\"");
  EXPECT_EQ(FilterListLine(Entry(kFilterFlexShort, "0000001", 0, "", "", 0)),
            "Short FLEX | 0000001");
  EXPECT_EQ(FilterListLine(Entry(kFilterGsc, "12345?", 3, "", "", 0)), "Golay | 12345? | 3");
  EXPECT_EQ(FilterListLine(FilterEntry{}), "UNUSED");
}

TEST(FilterEdit, OpeningAndChoosingTypesEnablesTheRightFields) {
  FilterEditState add = OpenFilterEdit(nullptr);
  EXPECT_EQ(add.typeChoice, 0);
  EXPECT_TRUE(add.typeEnabled);
  EXPECT_FALSE(add.capcodeEnabled);
  EXPECT_FALSE(add.functionEnabled);
  FilterEditState chosen = ChooseFilterType(add, kFilterFlexLong - 1);
  EXPECT_TRUE(chosen.capcodeEnabled);
  EXPECT_EQ(chosen.capcodeLimit, 9);
  EXPECT_FALSE(chosen.functionEnabled);
  chosen = ChooseFilterType(chosen, kFilterGsc - 1);
  EXPECT_EQ(chosen.capcodeLimit, 6);
  EXPECT_TRUE(chosen.functionEnabled);
  EXPECT_TRUE(chosen.typeEnabled);

  const FilterEntry pocsag = Entry(kFilterPocsag, "0012345", 2, "", "", 0);
  FilterEditState edit = OpenFilterEdit(&pocsag);
  EXPECT_EQ(edit.typeChoice, 1);
  EXPECT_FALSE(edit.typeEnabled);  // a filter's type cannot change
  EXPECT_TRUE(edit.capcodeEnabled);
  EXPECT_EQ(edit.capcodeLimit, 7);
  EXPECT_TRUE(edit.functionEnabled);
  const FilterEntry text = Entry(kFilterText, "", 0, "", "t", 0);
  edit = OpenFilterEdit(&text);
  EXPECT_FALSE(edit.capcodeEnabled);
  EXPECT_FALSE(edit.functionEnabled);
}

TEST(FilterEdit, ValidationMessagesAndCapcodePadding) {
  FilterEntry out;
  FilterEditInput in;
  in.typeChoice = kFilterFlexLong - 1;
  EXPECT_STREQ(AcceptFilterEdit(in, out), "You must enter a capcode!");
  in.capcode = "12a4";
  EXPECT_STREQ(AcceptFilterEdit(in, out), "Invalid characters in capcode!");
  in.capcode = "12 4";
  EXPECT_STREQ(AcceptFilterEdit(in, out), "Invalid characters in capcode!");
  in.capcode = "1234";
  in.label = "Long label that goes past twenty";
  in.functionChoice = 3;  // ignored for FLEX
  ASSERT_EQ(AcceptFilterEdit(in, out), nullptr);
  EXPECT_EQ(out.type, kFilterFlexLong);
  EXPECT_STREQ(out.capcode, "000001234");
  EXPECT_STREQ(out.label, "Long label that goes");
  EXPECT_EQ(out.function, 0);
  EXPECT_EQ(out.runCommand, 0);

  in = FilterEditInput{};
  in.typeChoice = kFilterGsc - 1;
  in.capcode = "1??";
  in.functionChoice = 4;
  in.runCommand = true;
  in.text = std::string(50, 't');
  ASSERT_EQ(AcceptFilterEdit(in, out), nullptr);
  EXPECT_STREQ(out.capcode, "0001??");
  EXPECT_EQ(out.function, 4);
  EXPECT_EQ(out.runCommand, 1);
  EXPECT_EQ(std::string(out.text), std::string(40, 't'));

  in.capcode = "1234567";  // typed for a longer type before the type changed
  EXPECT_NE(AcceptFilterEdit(in, out), nullptr);

  in = FilterEditInput{};
  in.typeChoice = 0;
  in.capcode = "123";  // not read for Text
  EXPECT_STREQ(AcceptFilterEdit(in, out), "You must enter a text string!");
  in.text = "fire";
  ASSERT_EQ(AcceptFilterEdit(in, out), nullptr);
  EXPECT_EQ(out.type, kFilterText);
  EXPECT_STREQ(out.capcode, "");
  in.typeChoice = kFilterPocsag - 1;
  in.capcode = "";
  EXPECT_STREQ(AcceptFilterEdit(in, out), "You must enter a capcode!");  // capcode checked first
}

/// An editor that answers from a script: each Edit takes the next entry.
class ScriptedEditor : public FilterEditor {
 public:
  std::vector<FilterEntry> answers;
  std::vector<FilterEntry> seen;
  void Edit(FilterEntry& entry) override {
    seen.push_back(entry);
    entry = answers.at(seen.size() - 1);
  }
};

struct ListFixture : ::testing::Test {
  FilterTable table;
  RecordingMessages messages;
  ScriptedEditor editor;

  void Fill(int n) {
    for (int i = 0; i < n; ++i) {
      table.entries[i] =
          Entry(kFilterPocsag, "0000000", 0, ("L" + std::to_string(i)).c_str(), "", 0);
    }
    table.count = n;
  }
};

TEST_F(ListFixture, AddAppendsSelectsAndRefusesTheTwoHundredFirst) {
  Fill(198);
  FilterListModel list(table);
  editor.answers = {Entry(kFilterText, "", 0, "", "a", 0), FilterEntry{},
                    Entry(kFilterText, "", 0, "", "b", 0)};
  list.Add(editor, messages);
  EXPECT_EQ(table.count, 199);
  EXPECT_EQ(list.selection(), 198);
  EXPECT_EQ(list.lines().back(), "Text | \"a\"");
  EXPECT_EQ(editor.seen[0].type, kFilterUnused);  // Add opens an empty entry
  list.Add(editor, messages);                     // cancelled
  EXPECT_EQ(table.count, 199);
  list.Add(editor, messages);
  EXPECT_EQ(table.count, 200);
  list.Add(editor, messages);
  EXPECT_EQ(table.count, 200);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0], "Error!  Max filters defined!");
  EXPECT_EQ(editor.seen.size(), 3u);
}

TEST_F(ListFixture, EditNeedsASelectionAndReplacesTheEntryInPlace) {
  Fill(3);
  FilterListModel list(table);
  list.Edit(editor, messages);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0], "You must select a filter to edit!");
  list.Select(1);
  editor.answers = {Entry(kFilterPocsag, "0000000", 2, "New", "", 1), FilterEntry{}};
  list.Edit(editor, messages);
  EXPECT_STREQ(editor.seen[0].label, "L1");  // edits a copy of the selected entry
  EXPECT_STREQ(table.entries[1].label, "New");
  EXPECT_EQ(list.lines()[1], "POCSAG | New | 0000000 | 2 | CMD");
  EXPECT_EQ(list.selection(), 1);
  list.Edit(editor, messages);  // cancelled: unchanged
  EXPECT_STREQ(table.entries[1].label, "New");
}

TEST_F(ListFixture, DeleteAsksMovesEntriesUpAndSelectsTheNeighbour) {
  Fill(3);
  table.entries[2] = Entry(kFilterPocsag, "0012345", 0, "Fire", "", 1);
  FilterListModel list(table);
  list.Delete(messages);
  EXPECT_EQ(messages.shown.back(), "You must select a filter to delete!");
  list.Select(2);
  messages.answer = 0;
  list.Delete(messages);
  EXPECT_EQ(messages.shown.back(), "Delete POCSAG | Fire | 0...?");
  EXPECT_EQ(table.count, 3);  // Cancel keeps it
  messages.answer = 1;
  list.Delete(messages);
  EXPECT_EQ(table.count, 2);
  EXPECT_EQ(list.selection(), 1);  // the last line went: the new last one is selected
  EXPECT_EQ(table.entries[2].type, kFilterUnused);
  list.Select(0);
  table.matchedFilter = 1;  // a page being written that matched the second entry
  list.Delete(messages);
  EXPECT_EQ(messages.shown.back(), "Delete POCSAG | L0 | 000...?");
  EXPECT_EQ(table.count, 1);
  EXPECT_STREQ(table.entries[0].label, "L1");
  EXPECT_EQ(table.matchedFilter, 0);  // still the same entry
  EXPECT_EQ(table.entries[1].type, kFilterUnused);
  EXPECT_STREQ(table.entries[1].label, "");
  EXPECT_EQ(table.entries[1].runCommand, 0);
  EXPECT_EQ(list.selection(), 0);
  ASSERT_EQ(list.lines().size(), 1u);
  list.Delete(messages);
  EXPECT_EQ(table.count, 0);
  EXPECT_EQ(table.matchedFilter, -1);
  EXPECT_TRUE(list.lines().empty());
  EXPECT_EQ(list.selection(), -1);  // the only entry gone: nothing selected
}

TEST_F(ListFixture, DeleteQuestionCutsOnlyLinesLongerThanTwenty) {
  table.entries[0] =
      Entry(kFilterText, "", 0, "", "abcdefghijkl", 0);                // Text | "abcdefghijkl" = 21
  table.entries[1] = Entry(kFilterText, "", 0, "", "abcdefghijk", 0);  // 20
  table.count = 2;
  FilterListModel list(table);
  EXPECT_EQ(list.DeleteQuestion(0), "Delete Text | \"abcdefghi...?");
  EXPECT_EQ(list.DeleteQuestion(1), "Delete Text | \"abcdefghijk\"?");
}

TEST(FilterActions, FlushChoiceMapping) {
  EXPECT_EQ(FlushChoiceIndex(0), 4);
  EXPECT_EQ(FlushChoiceIndex(1), 0);
  EXPECT_EQ(FlushChoiceIndex(3), 2);
  EXPECT_EQ(FlushChoiceIndex(5), 4);
  EXPECT_EQ(FlushChoiceIndex(9), 4);
  EXPECT_EQ(FlushTimeFromChoice(-1), 0);
  EXPECT_EQ(FlushTimeFromChoice(0), 1);
  EXPECT_EQ(FlushTimeFromChoice(4), 5);
  const FilterActionEnables off = FilterActionControls(false, true, false);
  EXPECT_FALSE(off.flushCheck);
  EXPECT_FALSE(off.flushChoice);
  EXPECT_FALSE(off.commandArgs);
  const FilterActionEnables on = FilterActionControls(true, true, true);
  EXPECT_TRUE(on.flushCheck && on.flushChoice && on.commandArgs);
  EXPECT_FALSE(FilterActionControls(true, false, true).flushChoice);
}

TEST(FilterActions, OkRefusesMissingPathsAndAppliesOutputFirst) {
  OutputHarness h;
  FilterActionInput in;
  in.outputEnabled = true;
  EXPECT_FALSE(ApplyFilterActions(in, h.settings, h.processor, h.messages));
  EXPECT_EQ(h.messages.shown.back(), "You must select a filter file!");
  EXPECT_EQ(h.settings.filterFileEnabled, 0);

  const std::string path =
      ::testing::TempDir() + "skelmar_actions_" + std::to_string(::getpid()) + ".log";
  in.outputPath = path;
  in.commandEnabled = true;
  in.flushEnabled = true;
  in.flushChoice = 2;
  in.commandArgs = "%m";
  EXPECT_FALSE(ApplyFilterActions(in, h.settings, h.processor, h.messages));
  EXPECT_EQ(h.messages.shown.back(), "You must select a command file!");
  EXPECT_EQ(h.settings.filterFileEnabled, 1);  // already applied
  EXPECT_EQ(std::string(h.settings.filterFile), path);
  EXPECT_TRUE(h.processor.logOpen());
  EXPECT_EQ(h.settings.filterCmdFileEnabled, 0);
  EXPECT_EQ(h.settings.filterFileFlush, 0);
  EXPECT_STREQ(h.settings.filterCmdArgs, "");

  in.commandPath = "/opt/notify";
  EXPECT_TRUE(ApplyFilterActions(in, h.settings, h.processor, h.messages));
  EXPECT_EQ(h.settings.filterCmdFileEnabled, 1);
  EXPECT_STREQ(h.settings.filterCmdFile, "/opt/notify");
  EXPECT_EQ(h.settings.filterFileFlush, 1);
  EXPECT_EQ(h.settings.filterFlushTime, 3);
  EXPECT_STREQ(h.settings.filterCmdArgs, "%m");

  in.outputEnabled = false;
  in.commandEnabled = false;
  in.commandPath.clear();
  in.flushChoice = -1;
  EXPECT_TRUE(ApplyFilterActions(in, h.settings, h.processor, h.messages));
  EXPECT_FALSE(h.processor.logOpen());
  EXPECT_EQ(h.settings.filterFlushTime, 0);
  EXPECT_EQ(h.messages.shown.size(), 2u);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace skelmar::test
