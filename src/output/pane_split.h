// The split between the monitor pane and the filter pane above it, kept when
// the user drags the monitor pane's top edge; window operations are injected.
#pragma once

#include <cstdint>

#include "output/message_dialogs.h"

namespace skelmar {

/// Split values shared with the main window's layout.
struct PaneSplit {
  int32_t monitorPaneHeight = 0;     ///< MonitorPaneHeight, pixels
  int32_t monitorPaneTop = 0;        ///< MonitorPaneTop: client y in the parent
  int32_t monitorPaneScreenTop = 0;  ///< MonitorPaneScreenTop at the last layout
  bool panesLaidOut = false;         ///< PanesLaidOut: set once after the first layout
};

/// What the split needs of the windows.
class SplitWindows {
 public:
  virtual ~SplitWindows() = default;
  virtual Rect MonitorWindowRect() = 0;  ///< screen coordinates
  virtual void MonitorClientSize(int& width, int& height) = 0;
  virtual void MoveMonitorPane(int x, int y, int width, int height) = 0;
  virtual void MoveFilterPane(int x, int y, int width, int height) = 0;  ///< with repaint
};

/// System metrics the snap uses.
struct SplitMetrics {
  int frameHeight = 0;    ///< sizing-frame height (SM_CYFRAME)
  int hScrollHeight = 0;  ///< horizontal scroll bar height (SM_CYHSCROLL)
};

/// The monitor pane's part of a resize, run before the common pane resize:
/// undoes drags of the bottom edge or narrowing, snaps a pane too small for
/// one line, takes the new "Percent" from the pane's height once the panes are
/// laid out, and places the filter pane above. `clientWidth`/`clientHeight`
/// hold the size the resize was told and are updated when the pane moved.
void SplitMonitorPane(PaneSplit& split, double& percent, int parentWidth, int parentHeight,
                      int lineHeight, int maxLeftColumn, const SplitMetrics& metrics,
                      SplitWindows& windows, int& clientWidth, int& clientHeight);

}  // namespace skelmar
