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

/// Heights of the two panes in a client area of the main window.
struct PaneHeights {
  int32_t monitorPaneHeight = 0;  ///< MonitorPaneHeight: the bottom pane
  int32_t monitorPaneTop = 0;     ///< MonitorPaneTop: the filter pane above is this high
};

/// The "Percent" split of a client area `clientHeight` pixels high: the
/// monitor pane gets `percent` of it, truncated; the filter pane the rest.
PaneHeights SplitClientArea(int clientHeight, double percent);

/// The parts of the main window's frame the layout rules add up.
struct WindowMetrics {
  int frameHeight = 0;    ///< one sizing frame (the window's and the monitor pane's)
  int captionHeight = 0;  ///< title bar
  int menuHeight = 0;     ///< menu bar
  int hScrollHeight = 0;  ///< horizontal scroll bar
};

struct OuterSize {
  int width = 0;
  int height = 0;
};

/// The smallest outer height of the main window: its frames, caption and menu,
/// the monitor pane's frames and one text line, plus the monitor pane's
/// horizontal scroll bar while it has a range.
int MinimumOuterHeight(const WindowMetrics& metrics, int lineHeight, int maxLeftColumn);

/// The outer size the main window takes after a resize to `outer`: raised to
/// one pixel over the minimum height when below it, then (unless maximised)
/// cut so the width does not exceed the work area's right edge and the height
/// not its bottom edge. The edges are coordinates, compared with sizes on
/// purpose: a window that starts right of the origin may still overhang.
OuterSize FitMainWindow(OuterSize outer, int minimumHeight, bool maximised, const Rect& workArea);

/// The monitor pane's part of a resize, run before the common pane resize:
/// undoes drags of the bottom edge or narrowing, snaps a pane too small for
/// one line, takes the new "Percent" from the pane's height once the panes are
/// laid out, and places the filter pane above. `clientWidth`/`clientHeight`
/// hold the size the resize was told and are updated when the pane moved.
void SplitMonitorPane(PaneSplit& split, double& percent, int parentWidth, int parentHeight,
                      int lineHeight, int maxLeftColumn, const SplitMetrics& metrics,
                      SplitWindows& windows, int& clientWidth, int& clientHeight);

}  // namespace skelmar
