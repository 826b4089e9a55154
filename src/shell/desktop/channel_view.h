// The channels of a wideband input as a small table in a dock under the
// panes: name, frequency, pages this hour and today, the last page's time,
// and a mark on the channels a page has just come on. It only shows the
// core's channel activity; the window makes it only for several channels.
#pragma once

#include <QDockWidget>
#include <QTableWidget>

#include "output/channel_activity.h"

namespace skelmar::desktop {

class ChannelTable : public QTableWidget {
 public:
  ChannelTable(const ChannelActivity& activity, QWidget* parent);
  /// Writes the rows again from the activity.
  void Refresh();
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 private:
  const ChannelActivity& activity_;
};

class ChannelDock : public QDockWidget {
 public:
  ChannelDock(const ChannelActivity& activity, QWidget* parent);
  ChannelTable* table() { return table_; }

 private:
  ChannelTable* table_;
};

}  // namespace skelmar::desktop
