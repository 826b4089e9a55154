// The split between the panes: top-edge drags move it, other drags are undone,
// a pane too small for a line snaps to one line plus frames.
#include "output/pane_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace skelmar {
namespace {

/// Windows in a parent whose client area starts at screen (100, 50).
class FakeWindows : public SplitWindows {
 public:
  static constexpr int kOriginX = 100;
  static constexpr int kOriginY = 50;
  static constexpr int kFrame = 4;
  Rect monitor;
  Rect filter;
  int monitorMoves = 0;
  Rect MonitorWindowRect() override { return monitor; }
  void MonitorClientSize(int& width, int& height) override {
    width = monitor.width() - 2 * kFrame;
    height = monitor.height() - 2 * kFrame;
  }
  void MoveMonitorPane(int x, int y, int width, int height) override {
    ++monitorMoves;
    monitor = Rect{kOriginX + x, kOriginY + y, kOriginX + x + width, kOriginY + y + height};
  }
  void MoveFilterPane(int x, int y, int width, int height) override {
    filter = Rect{x, y, x + width, y + height};
  }
};

struct SplitFixture : ::testing::Test {
  PaneSplit split{300, 100, 150, true};
  double percent = 75.0;
  FakeWindows windows;
  const SplitMetrics metrics{FakeWindows::kFrame, 17};
  int clientWidth = 0;
  int clientHeight = 0;

  void Resize(Rect dragged, int maxLeftColumn = 0) {
    windows.monitor = dragged;
    windows.MonitorClientSize(clientWidth, clientHeight);
    SplitMonitorPane(split, percent, 600, 400, 14, maxLeftColumn, metrics, windows, clientWidth,
                     clientHeight);
  }
};

TEST_F(SplitFixture, DraggingTheTopEdgeUpGivesTheMonitorPaneMore) {
  Resize(Rect{100, 100, 700, 450});
  EXPECT_EQ(windows.monitorMoves, 0);
  EXPECT_NEAR(percent, 351.0 / 401.0 * 100.0, 1e-9);
  EXPECT_EQ(split.monitorPaneHeight, 350);  // 400 * 351 / 401 = 350.1
  EXPECT_EQ(split.monitorPaneTop, 50);
  EXPECT_EQ(split.monitorPaneScreenTop, 100);
  EXPECT_EQ(windows.filter.height(), 50);
  EXPECT_EQ(windows.filter.width(), 600);
}

TEST_F(SplitFixture, TooSmallForOneLineSnapsToOneLinePlusFrames) {
  Resize(Rect{100, 440, 700, 450});  // 10 pixels: 2 of client
  EXPECT_EQ(windows.monitor.height(), 14 + 2 * 4 + 1);
  EXPECT_EQ(windows.monitor.top, 50 + 400 - 23);
  EXPECT_EQ(clientHeight, 23 - 8);
  EXPECT_EQ(split.monitorPaneHeight, 23);  // 400 * 24 / 401 = 23.9
  EXPECT_EQ(windows.filter.height(), 377);
}

TEST_F(SplitFixture, SnapLeavesRoomForTheHorizontalScrollBar) {
  Resize(Rect{100, 440, 700, 450}, 2);
  EXPECT_EQ(windows.monitor.height(), 14 + 8 + 17 + 1);
}

TEST_F(SplitFixture, PulledUpBottomEdgeAndNarrowingAreUndone) {
  Resize(Rect{100, 150, 700, 300});  // same top, shorter
  EXPECT_EQ(windows.monitorMoves, 1);
  EXPECT_EQ(windows.monitor.top, 150);
  EXPECT_EQ(windows.monitor.height(), 300);
  EXPECT_EQ(clientHeight, 292);

  windows.monitorMoves = 0;
  Resize(Rect{100, 150, 500, 450});  // narrowed
  EXPECT_EQ(windows.monitorMoves, 1);
  EXPECT_EQ(windows.monitor.width(), 600);
  EXPECT_EQ(clientWidth, 592);
}

TEST_F(SplitFixture, BeforeTheFirstLayoutThePercentSettingDecides) {
  split.panesLaidOut = false;
  Resize(Rect{100, 100, 700, 450});
  EXPECT_EQ(percent, 75.0);
  EXPECT_EQ(split.monitorPaneHeight, 300);
  EXPECT_EQ(split.monitorPaneTop, 100);
  EXPECT_EQ(windows.filter.height(), 100);
}

TEST(MainWindowLayout, PercentSplitsTheClientArea) {
  // 75 % of 401 pixels is 300.75: the monitor pane gets 300, the filter pane 101.
  EXPECT_EQ(SplitClientArea(401, 75.0).monitorPaneHeight, 300);
  EXPECT_EQ(SplitClientArea(401, 75.0).monitorPaneTop, 101);
  EXPECT_EQ(SplitClientArea(401, 0.0).monitorPaneHeight, 0);
  EXPECT_EQ(SplitClientArea(401, 0.0).monitorPaneTop, 401);
  EXPECT_EQ(SplitClientArea(401, 100.0).monitorPaneTop, 0);
}

TEST(MainWindowLayout, MinimumHeightAndWorkArea) {
  const WindowMetrics m{4, 20, 22, 17};
  // Frames 16, caption 20, menu 22, one 14-pixel line; the scroll bar only with a range.
  EXPECT_EQ(MinimumOuterHeight(m, 14, 0), 72);
  EXPECT_EQ(MinimumOuterHeight(m, 14, 2), 89);
  const Rect work{0, 0, 1024, 738};
  // Below the minimum: one pixel over it; the width is kept.
  EXPECT_EQ(FitMainWindow({600, 50}, 72, false, work).height, 73);
  EXPECT_EQ(FitMainWindow({600, 50}, 72, false, work).width, 600);
  // The work area's edges are the limits, whatever the position.
  const OuterSize cut = FitMainWindow({1100, 800}, 72, false, work);
  EXPECT_EQ(cut.width, 1024);
  EXPECT_EQ(cut.height, 738);
  EXPECT_EQ(FitMainWindow({1100, 300}, 72, false, work).height, 300);
  // A maximised window is left as the system made it.
  EXPECT_EQ(FitMainWindow({1100, 800}, 72, true, work).width, 1100);
}

}  // namespace
}  // namespace skelmar
