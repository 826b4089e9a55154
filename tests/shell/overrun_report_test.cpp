// Sound-card drops are said when they start, at most once a minute while they
// go on, and in total at the end.
#include "session/overrun_report.h"

#include <gtest/gtest.h>

namespace skelmar {
namespace {

TEST(DeviceOverrunReport, SaidAtTheStartThenOnceAMinuteThenInTotal) {
  DeviceOverrunReport report;
  EXPECT_EQ(report.Update(0, 1'000), "");  // nothing dropped: nothing said
  EXPECT_NE(report.Update(2, 2'000).find("(2 times so far)"), std::string::npos);
  EXPECT_EQ(report.Update(2, 90'000), "");  // no new drops
  EXPECT_EQ(report.Update(5, 61'999), "");  // new ones, within the minute
  EXPECT_NE(report.Update(5, 62'000).find("(5 times so far)"), std::string::npos);
  EXPECT_EQ(report.Update(6, 62'001), "");
  EXPECT_EQ(DeviceOverrunReport::Final(0), "");
  EXPECT_EQ(DeviceOverrunReport::Final(6),
            "the sound card dropped samples 6 times; pages in them were lost");
}

}  // namespace
}  // namespace skelmar
