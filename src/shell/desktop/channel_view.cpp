// The channel table and its dock.
#include "shell/desktop/channel_view.h"

#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <algorithm>

namespace skelmar::desktop {
namespace {

enum Column { kName, kFrequency, kHour, kToday, kLast, kColumns };

/// At most this many rows before the table scrolls.
constexpr int kShownRows = 8;

QIcon Dot(const QColor& color, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(color.darker(130));
  painter.setBrush(color);
  painter.drawEllipse(QRectF(1.5, 1.5, size - 3, size - 3));
  return QIcon(pixmap);
}

/// The palette's base tinted green: readable with light and dark themes alike.
QColor ActiveBackground(const QPalette& palette) {
  const QColor base = palette.color(QPalette::Base);
  const QColor green(60, 200, 90);
  constexpr double kMix = 0.35;
  return QColor::fromRgbF(static_cast<float>(base.redF() * (1 - kMix) + green.redF() * kMix),
                          static_cast<float>(base.greenF() * (1 - kMix) + green.greenF() * kMix),
                          static_cast<float>(base.blueF() * (1 - kMix) + green.blueF() * kMix));
}

/// Draws each cell a little inside its column.
class CellMargins : public QStyledItemDelegate {
 public:
  CellMargins(int margin, QObject* parent) : QStyledItemDelegate(parent), margin_(margin) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    // The row's colour fills the whole cell; the text sits inside the margins.
    const QVariant background = index.data(Qt::BackgroundRole);
    if (background.canConvert<QBrush>()) painter->fillRect(option.rect, background.value<QBrush>());
    QStyleOptionViewItem inside = option;
    inside.rect.adjust(margin_ / 2, 0, -margin_, 0);
    QStyledItemDelegate::paint(painter, inside, index);
  }

 private:
  int margin_;
};

}  // namespace

ChannelTable::ChannelTable(const ChannelActivity& activity, QWidget* parent)
    : QTableWidget(static_cast<int>(activity.rows().size()), kColumns, parent),
      activity_(activity) {
  setObjectName(QStringLiteral("channelTable"));
  setHorizontalHeaderLabels({QStringLiteral("Channel"), QStringLiteral("Frequency"),
                             QStringLiteral("This hour"), QStringLiteral("Today"),
                             QStringLiteral("Last page")});
  verticalHeader()->hide();
  // It shows, it takes no input: the keys stay with the panes.
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::NoSelection);
  setFocusPolicy(Qt::NoFocus);
  setShowGrid(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  const int rowHeight = fontMetrics().height() + 6;
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(rowHeight);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setStretchLastSection(true);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // Counts line up on the right, under their captions; a margin keeps them
  // off the next column's text.
  for (int column : {kHour, kToday})
    horizontalHeaderItem(column)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setItemDelegate(new CellMargins(fontMetrics().averageCharWidth(), this));
  for (int row = 0; row < rowCount(); ++row) {
    for (int column = 0; column < kColumns; ++column) {
      auto* item = new QTableWidgetItem;
      const bool count = column == kHour || column == kToday;
      item->setTextAlignment((count ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
      setItem(row, column, item);
    }
  }
  // The columns fit a wide name and frequency and six-figure counts.
  const QFontMetrics m = fontMetrics();
  const int pad = 2 * m.averageCharWidth() + 4;
  int nameWidth = m.horizontalAdvance(QStringLiteral("Channel"));
  for (const ChannelActivityRow& r : activity_.rows())
    nameWidth = std::max(nameWidth, m.horizontalAdvance(QString::fromStdString(r.name)));
  setColumnWidth(kName, nameWidth + pad + rowHeight);
  setColumnWidth(kFrequency, m.horizontalAdvance(QStringLiteral("9999.9999 MHz")) + pad);
  setColumnWidth(kHour, m.horizontalAdvance(QStringLiteral("This hour")) + pad);
  setColumnWidth(kToday, m.horizontalAdvance(QStringLiteral("9999999")) + pad);
  Refresh();
}

void ChannelTable::Refresh() {
  const int dotSize = std::max(8, fontMetrics().height() * 2 / 3);
  const QIcon active = Dot(QColor(40, 180, 70), dotSize);
  const QIcon idle = Dot(palette().color(QPalette::Mid), dotSize);
  const QBrush activeBackground(ActiveBackground(palette()));
  const auto& rows = activity_.rows();
  for (int r = 0; r < rowCount() && r < static_cast<int>(rows.size()); ++r) {
    const ChannelActivityRow& row = rows[static_cast<size_t>(r)];
    char last[96];
    activity_.LastPageText(row, last);
    const QString texts[kColumns] = {
        QString::fromStdString(row.name), QString::fromStdString(row.frequency),
        QString::number(row.hour), QString::number(row.today),
        last[0] != 0 ? QString::fromLocal8Bit(last) : QStringLiteral("\u2013")};
    for (int column = 0; column < kColumns; ++column) {
      QTableWidgetItem* cell = item(r, column);
      if (cell->text() != texts[column]) cell->setText(texts[column]);
      cell->setBackground(row.active() ? activeBackground : QBrush());
    }
    item(r, kName)->setIcon(row.active() ? active : idle);
    item(r, kName)->setToolTip(row.active() ? QStringLiteral("A page came just now") : QString());
  }
}

QSize ChannelTable::sizeHint() const {
  const int shown = std::min(rowCount(), kShownRows);
  int width = 0;
  for (int column = 0; column < kColumns; ++column) width += columnWidth(column);
  width += fontMetrics().horizontalAdvance(QStringLiteral("00/00/00 00:00:00")) + 2 * frameWidth();
  const int height = horizontalHeader()->sizeHint().height() +
                     shown * verticalHeader()->defaultSectionSize() + 2 * frameWidth();
  return {width, height};
}

QSize ChannelTable::minimumSizeHint() const {
  // The header and one row; more scroll.
  return {QTableWidget::minimumSizeHint().width(), horizontalHeader()->sizeHint().height() +
                                                       verticalHeader()->defaultSectionSize() +
                                                       2 * frameWidth()};
}

ChannelDock::ChannelDock(const ChannelActivity& activity, QWidget* parent)
    : QDockWidget(QStringLiteral("Channels"), parent) {
  setObjectName(QStringLiteral("channelDock"));
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
              QDockWidget::DockWidgetFloatable);
  table_ = new ChannelTable(activity, this);
  setWidget(table_);
}

}  // namespace skelmar::desktop
