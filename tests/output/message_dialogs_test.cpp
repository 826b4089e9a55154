// Dialog placement over the owner and the message text bound.
#include "output/message_dialogs.h"

#include <gtest/gtest.h>

#include <string>

namespace skelmar {
namespace {

Rect R(int left, int top, int right, int bottom) { return Rect{left, top, right, bottom}; }

TEST(CenterDialog, CentresOverTheParent) {
  const Point p = CenterDialog(R(0, 0, 200, 100), R(100, 100, 501, 400), R(0, 0, 1024, 768));
  EXPECT_EQ(p.x, 100 + 200 - 100);  // 401 / 2 = 200
  EXPECT_EQ(p.y, 100 + 150 - 50);
}

TEST(CenterDialog, PulledBackFromTheWorkAreasRightAndBottomEdges) {
  const Point p = CenterDialog(R(0, 0, 200, 100), R(900, 700, 1300, 1000), R(0, 0, 1024, 740));
  EXPECT_EQ(p.x, 1024 - 200);
  EXPECT_EQ(p.y, 740 - 100);
}

TEST(CenterDialog, NeverNegativeEvenWithTheParentOffScreen) {
  const Point p = CenterDialog(R(50, 50, 250, 150), R(-400, -300, 100, 100), R(0, 0, 1024, 768));
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  const Point edge = CenterDialog(R(0, 0, 200, 100), R(0, 0, 200, 100), R(0, 0, 1024, 768));
  EXPECT_EQ(edge.x, 0);
  EXPECT_EQ(edge.y, 0);
}

TEST(MessageText, SeventyNineCharactersShownWholeLongerCut) {
  char buffer[kMessageCapacity + 1];
  const std::string exact(79, 'e');
  CopyMessageText(exact.c_str(), buffer);
  EXPECT_EQ(std::string(buffer), exact);
  const std::string longer = std::string(79, 'l') + "XYZ";
  CopyMessageText(longer.c_str(), buffer);
  EXPECT_EQ(std::string(buffer), std::string(79, 'l'));
  CopyMessageText(nullptr, buffer);
  EXPECT_EQ(std::string(buffer), "");
}

}  // namespace
}  // namespace skelmar
