// The two 200-line text panes and the line operations the page composer writes through.
#pragma once

#include <cstdint>

#include "output/clock.h"

namespace skelmar {

struct Settings;

inline constexpr int kPaneLines = 200;
inline constexpr int kPaneColumns = 80;
inline constexpr int kLineCopyCapacity = 1024;
inline constexpr int kPutTextLimit = 256;

/// What the pane model asks of the window that shows it.
class PaneView {
 public:
  virtual ~PaneView() = default;
  /// Scrolls the client area by `lines` lines (negative: the content moves up).
  virtual void ScrollLines(int lines) = 0;
  /// Repaints a rectangle in pixels, erasing the background.
  virtual void Invalidate(int left, int top, int right, int bottom) = 0;
  virtual void SetVerticalRange(int maxTopLine) = 0;  ///< range 0..max, no redraw
  virtual void SetVerticalPos(int topLine) = 0;       ///< with redraw
  virtual void UpdateNow() = 0;
  // Horizontal side; views without a horizontal scroll bar may ignore these.
  virtual void ScrollColumns(int columns) { (void)columns; }  ///< negative: content moves left
  virtual void SetHorizontalRange(int maxLeftColumn) { (void)maxLeftColumn; }
  virtual void SetHorizontalPos(int leftColumn) { (void)leftColumn; }
  /// The oldest line went and every row moved up one: what the view keeps
  /// by row (a selection) moves with the text.
  virtual void OldestLineDiscarded() {}
};

/// Scroll requests of the scroll bars and the keyboard (vertical and horizontal).
enum class ScrollRequest {
  kLineBack,       ///< line up / line left
  kLineForward,    ///< line down / line right
  kPageBack,       ///< page up / page left
  kPageForward,    ///< page down / page right
  kThumbPosition,  ///< thumb released at a position
  kThumbTrack,     ///< thumb being dragged: no scrolling until released
  kTop,
  kBottom,
  kOther,
};

/// The whole logical line being composed on the monitor pane.
struct LineCopy {
  char characters[kLineCopyCapacity + 1] = {};
  int32_t slots[kLineCopyCapacity + 1] = {};
  int32_t length = 0;
  int32_t capcodeStart = 0;
  int32_t capcodeEnd = 0;
  int32_t messageStart = 0;
  bool paused = false;  ///< LineCopyPaused
};

/// Runs on every finished logical monitor line (the filter processing).
class FinishedLineHook {
 public:
  virtual ~FinishedLineHook() = default;
  virtual void ProcessLine(LineCopy& copy) = 0;
};

/// Sees every finished pane row (80 columns at most), rule lines included.
class RowObserver {
 public:
  virtual ~RowObserver() = default;
  /// `text` is zero-terminated; `slots` parallel to it.
  virtual void RowFinished(const char* text, const int32_t* slots) = 0;
};

/// Receives the rule line StampTime writes (the filter pane copies it to the log).
class RuleListener {
 public:
  virtual ~RuleListener() = default;
  virtual void RuleWritten(const char* rule) = 0;
};

/// One run of a row drawn with one text output call.
struct PaintRun {
  int32_t start = 0;
  int32_t length = 0;
  int32_t colorSlot = 0;  ///< slot whose colour the run is drawn in; 0: none set yet
};

/// Splits a zero-terminated row into runs of equal slot as the painter draws
/// them. A slot outside 1..12 keeps the colour of what came before; `colorSlot`
/// carries that colour from row to row within one paint (start it at 0).
/// Returns the number of runs.
int32_t PaintRuns(const char* text, const int32_t* slots, int32_t& colorSlot,
                  PaintRun (&runs)[kPaneColumns]);

/// The rows a paint draws for an update rectangle from `updateTop` to
/// `updateBottom` (pixels, bottom exclusive): from the row above the rectangle
/// to the row at its bottom edge, the line being composed (`lineCount`)
/// included. Sets `first` and `last` (inclusive).
void PaintRows(int topLine, int lineHeight, int lineCount, int updateTop, int updateBottom,
               int& first, int& last);

class TextPane {
 public:
  /// `copy` is given only for the monitor pane.
  TextPane(const Settings& settings, Clock& clock, LineCopy* copy);

  /// Empties the pane (start-up).
  void Reset();

  // Composer operations.
  void SetColor(int slot) { colorSlot = slot; }
  void PutChar(char ch);
  void PutText(const char* text);
  void EndLine();
  void StampTime();

  // Marks: positions in the line copy (monitor pane only).
  void MarkCapcodeStart();
  void MarkCapcodeEnd();
  void MarkMessageStart();

  // View side: the view sets the metrics and forwards scroll and resize requests.
  void SetView(PaneView* view) { view_ = view; }
  void SetLineHeight(int lineHeight) { lineHeight_ = lineHeight; }
  void Resize(int width, int height, int charWidth, int textWidth);
  void ScrollVertical(int delta);  ///< already-computed delta, clamped here
  void ScrollHorizontal(int delta);
  /// The delta a request asks for, before clamping; `thumb` is the thumb position.
  int VerticalDelta(ScrollRequest request, int thumb) const;
  int HorizontalDelta(ScrollRequest request, int thumb) const;

  void SetFinishedLineHook(FinishedLineHook* hook) { hook_ = hook; }
  void SetRowObserver(RowObserver* observer) { rowObserver_ = observer; }
  void SetRuleListener(RuleListener* listener) { ruleListener_ = listener; }

  LineCopy* lineCopy() { return copy_; }

  // Pane state, public so views and tests can read it.
  int32_t visibleLines = 0;
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
  int32_t topLine = 0;
  int32_t maxTopLine = 0;
  int32_t leftColumn = 0;
  int32_t maxLeftColumn = 0;
  int32_t lineCount = 0;
  int32_t column = 0;
  SystemTime lastStamp;
  int32_t colorSlot = 0;
  char lines[kPaneLines][kPaneColumns + 1];
  int32_t colors[kPaneLines][kPaneColumns + 1];

 private:
  const Settings& settings_;
  Clock& clock_;
  LineCopy* copy_;
  PaneView* view_ = nullptr;
  FinishedLineHook* hook_ = nullptr;
  RowObserver* rowObserver_ = nullptr;
  RuleListener* ruleListener_ = nullptr;
  void DiscardOldestLine();
  int lineHeight_ = 1;
  int charWidth_ = 1;
};

}  // namespace skelmar
