// One text pane on screen: a frame, the text area and its two scroll bars,
// over the core's TextPane, which decides every scroll and what to repaint.
#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <functional>

#include "output/charset.h"
#include "output/text_pane.h"
#include "settings/settings.h"

class QMenu;
class QScrollBar;

namespace skelmar::desktop {

/// The font, metrics and colours both panes paint with, made outside painting.
struct PaneLook {
  QFont font;
  int charWidth = 1;   ///< CharWidth
  int lineHeight = 1;  ///< LineHeight: height plus external leading
  int textWidth = 78;  ///< TextWidth: 78 characters
  int ascent = 0;
  QColor colors[kColorSlots + 1];
};

/// The pane font from the settings' font record; a missing face is replaced
/// by a metric-compatible monospace one (the setting is left as it is).
QFont MakePaneFont(const LogFont& record);
/// The font, its metrics and the colour table from the settings.
PaneLook MakePaneLook(const Settings& settings);
/// Only the colour table (after a change of colours).
void UpdatePaneColors(PaneLook& look, const Settings& settings);

/// An 8-bit character of a pane as shown (Windows-1252; control characters as '.').
QChar PaneChar(char c);

class PaneCanvas;

class PaneWidget : public QFrame, public PaneView {
 public:
  /// `frameWidth` is the width of the pane's frame; the monitor pane's can be
  /// dragged at its top edge to move the split.
  PaneWidget(TextPane& pane, const PaneLook& look, int frameWidth, bool topEdgeSizes,
             QWidget* parent);

  TextPane& pane() { return pane_; }
  QWidget* canvas();
  /// Alphanumeric text shown through a national character set (null: as received).
  void SetCharset(const Charset* charset);
  QScrollBar* verticalBar() { return vertical_; }
  QScrollBar* horizontalBar() { return horizontal_; }

  /// Tells the model the text area's size (after a resize or a font change).
  void ResizeModel();
  /// A scroll request of the keyboard or the scroll bars.
  void Scroll(Qt::Orientation orientation, ScrollRequest request, int thumb = 0);

  // Selection and copying. Places are (row, column) of the pane's rows.
  /// The row and column under a point of the text area.
  QPoint CellAt(QPoint canvasPoint) const;
  /// Selects from `from` to `to` (either order), as a mouse drag does.
  void Select(QPoint from, QPoint to);
  void ClearSelection();
  bool hasSelection() const { return selecting_ || anchor_ != end_; }
  /// The selected characters as shown, rows joined by newlines, trailing blanks cut.
  QString SelectedText() const;
  /// One row as shown (trailing blanks cut); empty past the last row.
  QString RowText(int row) const;
  /// The capcode of a row: its characters in the capcode colour, without the
  /// braces; a row that continues a page takes the capcode of the row it
  /// continues. Empty when there is none.
  QString RowCapcode(int row) const;
  /// Copies the selection to the clipboard; false when nothing is selected.
  bool CopySelection();
  /// The pane's context menu for a row: Copy, Copy line, Copy capcode.
  QMenu* MakeContextMenu(int row);
  /// Called when a selection starts in this pane (the other pane drops its own).
  std::function<void()> onSelectionStarted;

  /// Called with the new top edge (y in the parent) while the top edge is dragged.
  std::function<void(int)> onTopEdgeDragged;
  /// Called when the pane's outer size changed (before the model hears of it).
  std::function<void()> onResized;

  // PaneView.
  void ScrollLines(int lines) override;
  void Invalidate(int left, int top, int right, int bottom) override;
  void SetVerticalRange(int maxTopLine) override;
  void SetVerticalPos(int topLine) override;
  void UpdateNow() override {}  // the event loop paints what was invalidated
  void ScrollColumns(int columns) override;
  void SetHorizontalRange(int maxLeftColumn) override;
  void SetHorizontalPos(int leftColumn) override;
  void OldestLineDiscarded() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  friend class PaneCanvas;
  void BarAction(Qt::Orientation orientation, int action);
  /// The characters of `row` from `first` to before `last`, as shown.
  QString Shown(int row, int first, int last) const;
  bool InTopEdge(int y) const;

  TextPane& pane_;
  const PaneLook& look_;
  PaneCanvas* canvas_;
  QScrollBar* vertical_;
  QScrollBar* horizontal_;
  bool topEdgeSizes_;
  bool dragging_ = false;
  bool selecting_ = false;  ///< the mouse button is held over the text
  QPoint anchor_;           ///< where the selection started (column x, row y)
  QPoint end_;              ///< where it ends now
  int wheelRest_ = 0;
};

}  // namespace skelmar::desktop
