// The monitor pane's share of the main window and the snap to one text line.
#include "output/pane_split.h"

namespace skelmar {

PaneHeights SplitClientArea(int clientHeight, double percent) {
  PaneHeights h;
  h.monitorPaneHeight = static_cast<int32_t>(clientHeight * percent * 0.01);
  h.monitorPaneTop = clientHeight - h.monitorPaneHeight;
  return h;
}

int MinimumOuterHeight(const WindowMetrics& metrics, int lineHeight, int maxLeftColumn) {
  return 4 * metrics.frameHeight + metrics.captionHeight + metrics.menuHeight +
         (maxLeftColumn != 0 ? metrics.hScrollHeight : 0) + lineHeight;
}

OuterSize FitMainWindow(OuterSize outer, int minimumHeight, bool maximised, const Rect& workArea) {
  if (outer.height < minimumHeight) outer.height = minimumHeight + 1;
  if (!maximised && (outer.width > workArea.right || outer.height > workArea.bottom)) {
    outer.width = outer.width < workArea.right ? outer.width : workArea.right;
    outer.height = outer.height < workArea.bottom ? outer.height : workArea.bottom;
  }
  return outer;
}

void SplitMonitorPane(PaneSplit& split, double& percent, int parentWidth, int parentHeight,
                      int lineHeight, int maxLeftColumn, const SplitMetrics& metrics,
                      SplitWindows& windows, int& clientWidth, int& clientHeight) {
  const int w = parentWidth;
  const int h = parentHeight;
  Rect rect = windows.MonitorWindowRect();
  auto moveBack = [&](int height) {
    windows.MoveMonitorPane(0, split.monitorPaneTop, w, height);
    rect = windows.MonitorWindowRect();
    split.monitorPaneScreenTop = rect.top;
    windows.MonitorClientSize(clientWidth, clientHeight);
  };
  // The split moves only by the top edge: a pulled-up bottom edge or a
  // narrowed pane is put back.
  if (rect.top == split.monitorPaneScreenTop &&
      rect.bottom - rect.top + 1 < split.monitorPaneHeight) {
    moveBack(split.monitorPaneHeight);
  }
  if (rect.right - rect.left + 1 < w) moveBack(split.monitorPaneHeight);

  const int scrollBar = maxLeftColumn != 0 ? metrics.hScrollHeight : 0;
  if (clientHeight < scrollBar + lineHeight) {
    split.monitorPaneHeight = lineHeight + 2 * metrics.frameHeight + scrollBar + 1;
    split.monitorPaneTop = h - split.monitorPaneHeight;
    moveBack(split.monitorPaneHeight);
  }

  if (split.panesLaidOut) {
    percent = static_cast<double>(rect.bottom - rect.top + 1) / static_cast<double>(h + 1) * 100.0;
    if (percent > 100.0) percent = 100.0;
  }
  const PaneHeights heights = SplitClientArea(h, percent);
  split.monitorPaneHeight = heights.monitorPaneHeight;
  split.monitorPaneTop = heights.monitorPaneTop;
  split.monitorPaneScreenTop = rect.top;
  windows.MoveFilterPane(0, 0, w, h - split.monitorPaneHeight);
}

}  // namespace skelmar
