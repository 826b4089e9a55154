// The pane model: the ring of 200 coloured lines, the line composer, the line
// copy handed to the filters, and the scroll bookkeeping the view follows.
#include "output/text_pane.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "settings/settings.h"

namespace skelmar {

TextPane::TextPane(const Settings& settings, Clock& clock, LineCopy* copy)
    : settings_(settings), clock_(clock), copy_(copy) {
  Reset();
}

void TextPane::Reset() {
  std::memset(lines, 0, sizeof lines);
  std::memset(colors, 0, sizeof colors);
  lineCount = 0;
  column = 0;
  colorSlot = 0;
  topLine = 0;
  maxTopLine = 0;
  leftColumn = 0;
  lastStamp = SystemTime{};
  lastStamp.minute = 99;  // no real minute: the first StampTime always writes a rule
  if (copy_ != nullptr) *copy_ = LineCopy{};
}

void TextPane::PutChar(char ch) {
  lines[lineCount][column] = ch;
  colors[lineCount][column] = colorSlot;
  if (copy_ != nullptr && !copy_->paused && copy_->length < kLineCopyCapacity) {
    // Characters past the copy's capacity are dropped; the pane still shows them.
    copy_->characters[copy_->length] = ch;
    copy_->slots[copy_->length] = colorSlot;
    ++copy_->length;
  }
  ++column;
  if (column >= kPaneColumns) {
    // A wrap finishes a pane row but not the logical line.
    if (copy_ != nullptr) {
      const bool paused = copy_->paused;
      copy_->paused = true;
      EndLine();
      copy_->paused = paused;
    } else {
      EndLine();
    }
  }
}

void TextPane::PutText(const char* text) {
  for (int i = 0; i < kPutTextLimit && text[i] != 0; ++i) PutChar(text[i]);
}

void TextPane::DiscardOldestLine() {
  std::memmove(lines[0], lines[1], sizeof(lines[0]) * (kPaneLines - 1));
  std::memmove(colors[0], colors[1], sizeof(colors[0]) * (kPaneLines - 1));
  std::memset(lines[kPaneLines - 1], 0, sizeof lines[0]);
  std::memset(colors[kPaneLines - 1], 0, sizeof colors[0]);
  lineCount = kPaneLines - 1;
}

void TextPane::EndLine() {
  lines[lineCount][column] = 0;
  colors[lineCount][column] = 0;
  column = 0;
  ++lineCount;
  if (rowObserver_ != nullptr)
    rowObserver_->RowFinished(lines[lineCount - 1], colors[lineCount - 1]);

  if (copy_ != nullptr && !copy_->paused) {
    copy_->characters[copy_->length] = 0;
    copy_->slots[copy_->length] = 0;
    if (hook_ != nullptr) hook_->ProcessLine(*copy_);
    copy_->length = 0;
  }

  // A view at the very first line cannot move back with the text when the
  // oldest line goes: it stays at 0 and is repainted whole.
  bool heldAtTop = false;
  bool movedBack = false;
  if (lineCount == kPaneLines) {
    DiscardOldestLine();
    if (view_ != nullptr) view_->OldestLineDiscarded();
    if (topLine > 0) {
      --topLine;
      movedBack = true;
    } else {
      heldAtTop = true;
    }
  }
  maxTopLine = std::max(0, lineCount - visibleLines);

  if (heldAtTop) {
    if (view_ != nullptr) {
      view_->Invalidate(0, 0, clientWidth, clientHeight);
      view_->SetVerticalRange(maxTopLine);
      view_->SetVerticalPos(topLine);
    }
  } else if (lineCount == visibleLines + topLine + 1) {
    // The view was at the end: follow the new line.
    int delta = std::min(1, maxTopLine - topLine);
    delta = std::max(delta, -topLine);
    topLine += delta;
    if (view_ != nullptr) {
      view_->ScrollLines(-delta);
      view_->Invalidate(0, (visibleLines - 1) * lineHeight_, clientWidth, clientHeight);
      view_->SetVerticalRange(maxTopLine);
      view_->SetVerticalPos(topLine);
    }
  } else if (view_ != nullptr) {
    view_->Invalidate(0, (lineCount - 1) * lineHeight_, clientWidth, lineCount * lineHeight_);
    // The text under a scrolled-back view moved up a row: the thumb follows it,
    // or it would point one line further on for every line discarded.
    if (movedBack) view_->SetVerticalPos(topLine);
  }
  if (view_ != nullptr) view_->UpdateNow();
}

void TextPane::StampTime() {
  if (settings_.timestamp == 0) return;
  if (copy_ != nullptr) copy_->paused = true;
  const SystemTime now = clock_.NowUtc();
  if (now.minute != lastStamp.minute || now.hour != lastStamp.hour || now.day != lastStamp.day) {
    const SystemTime local = clock_.NowLocal();
    char date[41] = {};
    char time[41] = {};
    clock_.FormatDate(local, date, sizeof date);
    clock_.FormatTime(local, time, sizeof time);
    char rule[128];
    std::snprintf(rule, sizeof rule, "--------------- %s %s ---------------", date, time);
    const int slot = colorSlot;
    SetColor(kSlotTimestamp);
    PutText(rule);
    EndLine();
    colorSlot = slot;
    if (ruleListener_ != nullptr) ruleListener_->RuleWritten(rule);
    lastStamp = now;
  }
  if (copy_ != nullptr) copy_->paused = false;
}

void TextPane::MarkCapcodeStart() {
  if (copy_ != nullptr) copy_->capcodeStart = copy_->length;
}

void TextPane::MarkCapcodeEnd() {
  if (copy_ != nullptr) copy_->capcodeEnd = copy_->length;
}

void TextPane::MarkMessageStart() {
  if (copy_ != nullptr) copy_->messageStart = copy_->length;
}

void TextPane::Resize(int width, int height, int charWidth, int textWidth) {
  clientWidth = width;
  clientHeight = height;
  charWidth_ = charWidth > 0 ? charWidth : 1;
  visibleLines = clientHeight / std::max(1, lineHeight_);
  maxTopLine = std::max(0, lineCount - visibleLines);
  topLine = std::min(topLine, maxTopLine);
  // Truncating division: a pane between 78 and 79 characters wide gets a range of 2.
  maxLeftColumn = std::max(0, (textWidth - clientWidth) / charWidth_ + 2);
  leftColumn = std::min(leftColumn, maxLeftColumn);
  if (view_ == nullptr) return;
  view_->SetVerticalRange(maxTopLine);
  view_->SetVerticalPos(topLine);
  view_->SetHorizontalRange(maxLeftColumn);
  view_->SetHorizontalPos(leftColumn);
  view_->Invalidate(0, 0, clientWidth, clientHeight);
  view_->UpdateNow();
}

void TextPane::ScrollVertical(int delta) {
  delta = std::clamp(delta, -topLine, std::max(-topLine, maxTopLine - topLine));
  if (delta == 0) return;
  topLine += delta;
  if (view_ == nullptr) return;
  view_->ScrollLines(-delta);
  view_->SetVerticalRange(maxTopLine);
  view_->SetVerticalPos(topLine);
  view_->UpdateNow();
}

void TextPane::ScrollHorizontal(int delta) {
  delta = std::clamp(delta, -leftColumn, std::max(-leftColumn, maxLeftColumn - leftColumn));
  if (delta == 0) return;
  leftColumn += delta;
  if (view_ == nullptr) return;
  view_->ScrollColumns(-delta);
  view_->SetHorizontalPos(leftColumn);
}

int TextPane::VerticalDelta(ScrollRequest request, int thumb) const {
  switch (request) {
    case ScrollRequest::kLineBack:
      return -1;
    case ScrollRequest::kLineForward:
      return 1;
    case ScrollRequest::kPageBack:
      return -std::max(1, visibleLines);
    case ScrollRequest::kPageForward:
      return std::max(1, visibleLines);
    case ScrollRequest::kThumbPosition:
      return thumb - topLine;
    case ScrollRequest::kTop:
      return -topLine;
    case ScrollRequest::kBottom:
      return maxTopLine - topLine;
    case ScrollRequest::kThumbTrack:
    case ScrollRequest::kOther:
      break;
  }
  return 0;
}

int32_t PaintRuns(const char* text, const int32_t* slots, int32_t& colorSlot,
                  PaintRun (&runs)[kPaneColumns]) {
  int32_t count = 0;
  int32_t g = 0;
  while (g < kPaneColumns && text[g] != 0) {
    const int32_t slot = slots[g];
    if (slot >= 1 && slot <= kColorSlots) colorSlot = slot;
    const int32_t start = g;
    while (g < kPaneColumns && text[g] != 0 && slots[g] == slot) ++g;
    runs[count++] = PaintRun{start, g - start, colorSlot};
  }
  return count;
}

void PaintRows(int topLine, int lineHeight, int lineCount, int updateTop, int updateBottom,
               int& first, int& last) {
  lineHeight = std::max(1, lineHeight);
  first = std::max(0, topLine + updateTop / lineHeight - 1);
  last = std::min(topLine + updateBottom / lineHeight, lineCount);
}

int TextPane::HorizontalDelta(ScrollRequest request, int thumb) const {
  switch (request) {
    case ScrollRequest::kLineBack:
      return -1;
    case ScrollRequest::kLineForward:
      return 1;
    case ScrollRequest::kPageBack:
      return -8;
    case ScrollRequest::kPageForward:
      return 8;
    case ScrollRequest::kThumbPosition:
      return thumb - leftColumn;
    default:
      break;
  }
  return 0;
}

}  // namespace skelmar
