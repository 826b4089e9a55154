// Painting, scroll bars, wheel and the monitor pane's sizing edge.
#include "shell/desktop/pane_widget.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace skelmar::desktop {

/// The text area: paints the pane's rows that meet the update rectangle.
class PaneCanvas : public QWidget {
 public:
  PaneCanvas(TextPane& pane, const PaneLook& look, PaneWidget* owner)
      : QWidget(owner), pane_(pane), look_(look), owner_(owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
  }
  void SetCharset(const Charset* charset) { charset_ = charset; }
  const Charset* charset() const { return charset_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent*) override { owner_->ResizeModel(); }
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  TextPane& pane_;
  const PaneLook& look_;
  PaneWidget* owner_;
  const Charset* charset_ = nullptr;  // national set of alphanumeric text, if any
  QString text_;                      // reused from run to run
};

QChar PaneChar(char c) {
  // Windows-1252 above 0x7F; the five unassigned codes and control characters as '.'.
  static const std::array<char16_t, 32> kHigh = {
      0x20AC, u'.',   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, u'.',   0x017D, u'.',   u'.',   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, u'.',   0x017E, 0x0178};
  const unsigned char u = static_cast<unsigned char>(c);
  if (u < 0x20 || u == 0x7F) return QChar(u'.');
  if (u >= 0x80 && u < 0xA0) return QChar(kHigh[u - 0x80]);
  return QChar(static_cast<char16_t>(u));
}

namespace {

/// A pane character as painted: the pane keeps the received codes; a
/// national set maps them here.
QChar ShownChar(char c, int32_t slot, const Charset* charset) {
  const char32_t shown = charset ? charset->Shown(c, slot) : static_cast<unsigned char>(c);
  if (shown == static_cast<unsigned char>(c)) return PaneChar(c);
  return shown <= 0xFFFF ? QChar(static_cast<char16_t>(shown)) : QChar(u'?');
}

}  // namespace

void PaneCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  const QPoint at = owner_->CellAt(event->position().toPoint());
  owner_->Select(at, at);
  owner_->selecting_ = true;
  if (owner_->onSelectionStarted) owner_->onSelectionStarted();
  event->accept();
}

void PaneCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (!owner_->selecting_) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  owner_->Select(owner_->anchor_, owner_->CellAt(event->position().toPoint()));
  event->accept();
}

void PaneCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !owner_->selecting_) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  owner_->selecting_ = false;
  owner_->Select(owner_->anchor_, owner_->CellAt(event->position().toPoint()));
  // X11's primary selection gets it too, for a middle-click paste.
  QClipboard* clipboard = QApplication::clipboard();
  if (owner_->hasSelection() && clipboard->supportsSelection()) {
    clipboard->setText(owner_->SelectedText(), QClipboard::Selection);
  }
  event->accept();
}

void PaneCanvas::contextMenuEvent(QContextMenuEvent* event) {
  const int row = owner_->CellAt(event->pos()).y();
  QMenu* menu = owner_->MakeContextMenu(row);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
  event->accept();
}

void PaneCanvas::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  const QRect r = event->rect();
  const QColor& background = look_.colors[kSlotBackground];
  p.fillRect(r, background);
  p.setFont(look_.font);
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setBackground(background);
  p.setPen(Qt::black);
  int first = 0;
  int last = 0;
  PaintRows(pane_.topLine, look_.lineHeight, pane_.lineCount, r.top(), r.top() + r.height(), first,
            last);
  int32_t slot = 0;
  int32_t penSlot = 0;
  PaintRun runs[kPaneColumns];
  for (int i = first; i <= last && i < kPaneLines; ++i) {
    int x = -pane_.leftColumn * look_.charWidth;
    const int baseline = (i - pane_.topLine) * look_.lineHeight + look_.ascent;
    const int32_t n = PaintRuns(pane_.lines[i], pane_.colors[i], slot, runs);
    for (int32_t k = 0; k < n; ++k) {
      const PaintRun& run = runs[k];
      if (run.colorSlot != penSlot && run.colorSlot >= 1 && run.colorSlot <= kColorSlots) {
        penSlot = run.colorSlot;
        p.setPen(look_.colors[penSlot]);
      }
      const char* chars = pane_.lines[i] + run.start;
      text_.resize(run.length);
      for (int32_t c = 0; c < run.length; ++c) {
        text_[c] = ShownChar(chars[c], run.colorSlot, charset_);
      }
      p.drawText(x, baseline, text_);
      // The next run starts where this one ended.
      x += run.length * look_.charWidth;
    }
  }
  if (!owner_->hasSelection()) return;
  // The selection is a tint over the text, so every colour stays readable.
  QColor tint = palette().color(QPalette::Highlight);
  tint.setAlpha(110);
  QPoint a = owner_->anchor_;
  QPoint b = owner_->end_;
  if (b.y() < a.y() || (b.y() == a.y() && b.x() < a.x())) std::swap(a, b);
  for (int row = std::max(first, a.y()); row <= std::min(last, b.y()); ++row) {
    const int from = row == a.y() ? a.x() : 0;
    const int to = row == b.y() ? b.x() : kPaneColumns;
    if (to <= from) continue;
    const int top = (row - pane_.topLine) * look_.lineHeight;
    p.fillRect((from - pane_.leftColumn) * look_.charWidth, top, (to - from) * look_.charWidth,
               look_.lineHeight, tint);
  }
}

QFont MakePaneFont(const LogFont& record) {
  QString family = QString::fromLatin1(record.faceName);
  if (!QFontDatabase::families().contains(family, Qt::CaseInsensitive)) {
    family = QStringLiteral("Liberation Mono");
  }
  QFont font(family);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setKerning(false);
  // Pane text needs no shaping: one glyph per character, drawn straight.
  font.setStyleStrategy(QFont::PreferNoShaping);
  // A negative height is the character height in pixels, a positive one the
  // cell height (character plus internal leading, about a fifth more).
  int pixels = std::abs(record.height);
  if (record.height > 0) pixels = std::max(1, pixels * 5 / 6);
  font.setPixelSize(pixels > 0 ? pixels : 11);
  font.setWeight(
      static_cast<QFont::Weight>(std::clamp(record.weight > 0 ? record.weight : 400, 100, 900)));
  font.setItalic(record.italic != 0);
  font.setUnderline(record.underline != 0);
  font.setStrikeOut(record.strikeOut != 0);
  return font;
}

void UpdatePaneColors(PaneLook& look, const Settings& settings) {
  for (int slot = 1; slot <= kColorSlots; ++slot) {
    const ColorRef c = settings.colors[slot];
    look.colors[slot] = QColor(static_cast<int>(RedOf(c)), static_cast<int>(GreenOf(c)),
                               static_cast<int>(BlueOf(c)));
  }
  look.colors[0] = look.colors[kSlotBackground];
}

PaneLook MakePaneLook(const Settings& settings) {
  PaneLook look;
  look.font = MakePaneFont(settings.font);
  const QFontMetrics metrics(look.font);
  look.charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('x')));
  // Every character takes exactly CharWidth pixels, so the text keeps to the
  // column grid however the font's advance rounds.
  const qreal advance = QFontMetricsF(look.font).horizontalAdvance(QLatin1Char('x'));
  look.font.setLetterSpacing(QFont::AbsoluteSpacing, look.charWidth - advance);
  look.lineHeight = std::max(1, metrics.height() + std::max(0, metrics.leading()));
  look.textWidth = 78 * look.charWidth;
  look.ascent = metrics.ascent();
  UpdatePaneColors(look, settings);
  return look;
}

PaneWidget::PaneWidget(TextPane& pane, const PaneLook& look, int frameWidth, bool topEdgeSizes,
                       QWidget* parent)
    : QFrame(parent), pane_(pane), look_(look), topEdgeSizes_(topEdgeSizes) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(frameWidth);
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(topEdgeSizes);
  canvas_ = new PaneCanvas(pane, look, this);
  vertical_ = new QScrollBar(Qt::Vertical, this);
  horizontal_ = new QScrollBar(Qt::Horizontal, this);
  for (QScrollBar* bar : {vertical_, horizontal_}) {
    // Dragging the thumb does not scroll: the position is taken on release.
    bar->setTracking(false);
    bar->setFocusPolicy(Qt::NoFocus);
    bar->setRange(0, 0);
    bar->hide();
  }
  horizontal_->setPageStep(8);
  connect(vertical_, &QScrollBar::actionTriggered, this,
          [this](int action) { BarAction(Qt::Vertical, action); });
  connect(horizontal_, &QScrollBar::actionTriggered, this,
          [this](int action) { BarAction(Qt::Horizontal, action); });
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  grid->addWidget(canvas_, 0, 0);
  grid->addWidget(vertical_, 0, 1);
  grid->addWidget(horizontal_, 1, 0);
  pane_.SetView(this);
}

QWidget* PaneWidget::canvas() { return canvas_; }

void PaneWidget::ResizeModel() {
  // A view at the end stays there, so it goes on following new pages; the
  // model alone would keep its top line and stop following.
  const bool atEnd = pane_.topLine >= pane_.maxTopLine;
  pane_.SetLineHeight(look_.lineHeight);
  pane_.Resize(canvas_->width(), canvas_->height(), look_.charWidth, look_.textWidth);
  if (atEnd && pane_.topLine < pane_.maxTopLine) {
    pane_.ScrollVertical(pane_.maxTopLine - pane_.topLine);
  }
}

void PaneWidget::Scroll(Qt::Orientation orientation, ScrollRequest request, int thumb) {
  if (orientation == Qt::Vertical) {
    pane_.ScrollVertical(pane_.VerticalDelta(request, thumb));
  } else {
    pane_.ScrollHorizontal(pane_.HorizontalDelta(request, thumb));
  }
}

void PaneWidget::BarAction(Qt::Orientation orientation, int action) {
  QScrollBar* bar = orientation == Qt::Vertical ? vertical_ : horizontal_;
  ScrollRequest request = ScrollRequest::kOther;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      request = ScrollRequest::kLineBack;
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      request = ScrollRequest::kLineForward;
      break;
    case QAbstractSlider::SliderPageStepSub:
      request = ScrollRequest::kPageBack;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      request = ScrollRequest::kPageForward;
      break;
    case QAbstractSlider::SliderToMinimum:
      request = ScrollRequest::kTop;
      break;
    case QAbstractSlider::SliderToMaximum:
      request = ScrollRequest::kBottom;
      break;
    case QAbstractSlider::SliderMove:
      // While the thumb is held it only moves; its release asks for the position.
      request = bar->isSliderDown() ? ScrollRequest::kThumbTrack : ScrollRequest::kThumbPosition;
      break;
    default:
      break;
  }
  const int thumb = bar->sliderPosition();
  Scroll(orientation, request, thumb);
  // The model decides where the bar stands, not the bar's own step.
  if (!bar->isSliderDown()) {
    bar->setSliderPosition(orientation == Qt::Vertical ? pane_.topLine : pane_.leftColumn);
  }
}

void PaneWidget::ScrollLines(int lines) { canvas_->scroll(0, lines * look_.lineHeight); }

void PaneWidget::ScrollColumns(int columns) { canvas_->scroll(columns * look_.charWidth, 0); }

void PaneWidget::Invalidate(int left, int top, int right, int bottom) {
  canvas_->update(QRect(left, top, right - left, bottom - top));
}

void PaneWidget::SetVerticalRange(int maxTopLine) {
  const QSignalBlocker block(vertical_);
  vertical_->setRange(0, maxTopLine);
  vertical_->setPageStep(std::max(1, pane_.visibleLines));
  // Shown only while there is something to scroll.
  vertical_->setVisible(maxTopLine > 0);
}

void PaneWidget::SetVerticalPos(int topLine) {
  const QSignalBlocker block(vertical_);
  vertical_->setValue(topLine);
}

void PaneWidget::SetHorizontalRange(int maxLeftColumn) {
  const QSignalBlocker block(horizontal_);
  horizontal_->setRange(0, maxLeftColumn);
  horizontal_->setVisible(maxLeftColumn > 0);
}

void PaneWidget::SetHorizontalPos(int leftColumn) {
  const QSignalBlocker block(horizontal_);
  horizontal_->setValue(leftColumn);
}

void PaneWidget::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  if (onResized) onResized();
}

void PaneWidget::wheelEvent(QWheelEvent* event) {
  // Three lines a notch (120 units), finer wheels adding up to it.
  wheelRest_ += event->angleDelta().y();
  const int notches = wheelRest_ / 120;
  wheelRest_ -= notches * 120;
  if (notches != 0) pane_.ScrollVertical(-3 * notches);
  event->accept();
}

bool PaneWidget::InTopEdge(int y) const { return topEdgeSizes_ && y >= 0 && y < frameWidth(); }

void PaneWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && InTopEdge(event->position().toPoint().y())) {
    dragging_ = true;
    event->accept();
    return;
  }
  QFrame::mousePressEvent(event);
}

void PaneWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (dragging_) {
    if (onTopEdgeDragged) onTopEdgeDragged(mapToParent(at).y());
    event->accept();
    return;
  }
  if (topEdgeSizes_) {
    if (InTopEdge(at.y())) {
      setCursor(Qt::SizeVerCursor);
    } else {
      unsetCursor();
    }
  }
  QFrame::mouseMoveEvent(event);
}

void PaneWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_) {
    dragging_ = false;
    event->accept();
    return;
  }
  QFrame::mouseReleaseEvent(event);
}

QPoint PaneWidget::CellAt(QPoint canvasPoint) const {
  // Between two characters the nearer boundary: a drag over half a
  // character takes it.
  const int column = pane_.leftColumn + (canvasPoint.x() + look_.charWidth / 2) / look_.charWidth;
  const int row = pane_.topLine + std::max(0, canvasPoint.y()) / look_.lineHeight;
  return QPoint(std::clamp(column, 0, kPaneColumns), std::clamp(row, 0, kPaneLines - 1));
}

void PaneWidget::Select(QPoint from, QPoint to) {
  anchor_ = from;
  end_ = to;
  canvas_->update();
}

void PaneWidget::OldestLineDiscarded() {
  if (!hasSelection()) return;
  // The selection stays on the text it covers; what of it went with the
  // oldest line is no longer there to select.
  anchor_.ry() -= 1;
  end_.ry() -= 1;
  if (anchor_.y() < 0 && end_.y() < 0) {
    ClearSelection();
    return;
  }
  if (anchor_.y() < 0) anchor_ = QPoint(0, 0);
  if (end_.y() < 0) end_ = QPoint(0, 0);
}

void PaneWidget::ClearSelection() {
  if (!hasSelection()) return;
  selecting_ = false;
  anchor_ = end_ = QPoint();
  canvas_->update();
}

QString PaneWidget::Shown(int row, int first, int last) const {
  QString text;
  if (row < 0 || row > pane_.lineCount || row >= kPaneLines) return text;
  const char* chars = pane_.lines[row];
  const int length = static_cast<int>(std::strlen(chars));
  int32_t slot = 0;
  PaintRun runs[kPaneColumns];
  const int32_t n = PaintRuns(chars, pane_.colors[row], slot, runs);
  for (int32_t k = 0; k < n; ++k) {
    const PaintRun& run = runs[k];
    for (int c = std::max(first, run.start); c < std::min({last, length, run.start + run.length});
         ++c) {
      text += ShownChar(chars[c], run.colorSlot, canvas_->charset());
    }
  }
  while (text.endsWith(QLatin1Char(' '))) text.chop(1);
  return text;
}

QString PaneWidget::RowText(int row) const { return Shown(row, 0, kPaneColumns); }

QString PaneWidget::SelectedText() const {
  QPoint a = anchor_;
  QPoint b = end_;
  if (b.y() < a.y() || (b.y() == a.y() && b.x() < a.x())) std::swap(a, b);
  QStringList rows;
  for (int row = a.y(); row <= b.y(); ++row) {
    rows << Shown(row, row == a.y() ? a.x() : 0, row == b.y() ? b.x() : kPaneColumns);
  }
  return rows.join(QLatin1Char('\n'));
}

QString PaneWidget::RowCapcode(int row) const {
  for (int r = std::min(row, pane_.lineCount); r >= 0; --r) {
    const char* chars = pane_.lines[r];
    int32_t slot = 0;
    PaintRun runs[kPaneColumns];
    const int32_t n = PaintRuns(chars, pane_.colors[r], slot, runs);
    // The capcode block is the first word in the capcode colour ("{0273040}",
    // "[0401912]", "(080621)"); the function that may follow is not part of it.
    QString capcode;
    for (int32_t k = 0; k < n && capcode.isEmpty(); ++k) {
      if (runs[k].colorSlot != kSlotCapcode) continue;
      const QString word = QString::fromLatin1(chars + runs[k].start, runs[k].length)
                               .trimmed()
                               .section(QLatin1Char(' '), 0, 0);
      capcode = word;
      for (QChar bracket : {u'{', u'}', u'[', u']', u'(', u')'}) capcode.remove(bracket);
    }
    if (!capcode.isEmpty()) return capcode;
    // A row continues the one above only when that one filled the pane's width.
    if (r == 0 || std::strlen(pane_.lines[r - 1]) < static_cast<size_t>(kPaneColumns)) break;
  }
  return {};
}

bool PaneWidget::CopySelection() {
  if (!hasSelection()) return false;
  QApplication::clipboard()->setText(SelectedText());
  return true;
}

QMenu* PaneWidget::MakeContextMenu(int row) {
  auto* menu = new QMenu(this);
  QAction* copy = menu->addAction(QStringLiteral("&Copy"), this, [this] { CopySelection(); });
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(hasSelection());
  const QString line = RowText(row);
  QAction* copyLine = menu->addAction(QStringLiteral("Copy &line"), this,
                                      [line] { QApplication::clipboard()->setText(line); });
  copyLine->setObjectName(QStringLiteral("copyLine"));
  copyLine->setEnabled(!line.isEmpty());
  const QString capcode = RowCapcode(row);
  QAction* copyCapcode = menu->addAction(QStringLiteral("Copy c&apcode"), this, [capcode] {
    QApplication::clipboard()->setText(capcode);
  });
  copyCapcode->setObjectName(QStringLiteral("copyCapcode"));
  copyCapcode->setEnabled(!capcode.isEmpty());
  return menu;
}

void PaneWidget::SetCharset(const Charset* charset) {
  canvas_->SetCharset(charset);
  canvas_->update();
}

}  // namespace skelmar::desktop
