// Fragmented FLEX messages sent over the air in frames, decoded, and joined.
#include "feeds/page_joiner.h"

#include <gtest/gtest.h>

#include "flex/flex_test_support.h"

namespace skelmar::test {
namespace {

using siggen::FlexFrame;
using siggen::FlexPage;

FlexPage Fragment(uint32_t capcode, const std::string& text, int fragment, bool continued) {
  FlexPage p;
  p.capcode = capcode;
  p.type = siggen::kFlexAlphanumeric;
  p.content = text;
  p.fragment = fragment;
  p.continued = continued;
  p.messageNumber = 9;
  return p;
}

FlexFrame Frame(int cycle, int frame, const std::vector<FlexPage>& pages) {
  FlexFrame f = FlexFrame::Mode(siggen::kFlexCode1600x2);
  f.cycle = cycle;
  f.frame = frame;
  f.words[0] = PhaseWords(pages);
  return f;
}

struct JoinRig {
  FlexRig flex;
  PageCollector out;
  PageJoiner joiner{out};
  JoinRig() { flex.rig.pages.SetObserver(&joiner); }
  std::vector<PageRecord> Joined() const {
    std::vector<PageRecord> joined;
    for (const PageRecord& p : out.pages) {
      if (p.joined) joined.push_back(p);
    }
    return joined;
  }
};

TEST(PageJoiner, FragmentsInTwoFramesGiveOneJoinedRecordAfterThem) {
  JoinRig r;
  r.flex.Direct(Frame(2, 10, {Fragment(123456, "Structure fire at 14 Mill Lane, ", 3, true)}));
  r.flex.Direct(Frame(2, 11, {Fragment(123456, "two engines and a ladder respond", 0, false)}));

  ASSERT_EQ(r.out.pages.size(), 3u);
  const PageRecord& first = r.out.pages[0];
  EXPECT_EQ(first.cycle, 2);
  EXPECT_EQ(first.frame, 10);
  EXPECT_EQ(first.fragment, 3);
  EXPECT_TRUE(first.continued);
  EXPECT_FALSE(first.longAddress);
  EXPECT_TRUE(PageJoiner::IsFragmentPart(first));
  EXPECT_EQ(r.out.pages[1].frame, 11);
  EXPECT_EQ(r.out.pages[1].fragment, 0);
  EXPECT_FALSE(r.out.pages[1].continued);

  const PageRecord& joined = r.out.pages[2];
  EXPECT_TRUE(joined.joined);
  EXPECT_FALSE(joined.incomplete);
  EXPECT_EQ(joined.fragments, 2);
  EXPECT_STREQ(joined.capcode, "0123456");
  EXPECT_EQ(std::string(joined.text, static_cast<size_t>(joined.textLength)),
            "Structure fire at 14 Mill Lane, two engines and a ladder respond");
  EXPECT_FALSE(PageJoiner::IsFragmentPart(joined));
}

TEST(PageJoiner, AContinuationThatNeverComesGivesAnIncompleteRecordAfterFourFrames) {
  JoinRig r;
  r.flex.Direct(Frame(5, 126, {Fragment(777001, "Call the duty officer on ", 3, true)}));
  // Other traffic in the following frames (the frame numbers wrap into cycle 6).
  const int frames[][2] = {{5, 127}, {6, 0}, {6, 1}, {6, 2}};
  for (const auto& f : frames) {
    r.flex.Direct(Frame(f[0], f[1], {Fragment(555000, "OTHER", 3, false)}));
  }
  EXPECT_TRUE(r.Joined().empty()) << "four frames later the continuation may still come";

  r.flex.Direct(Frame(6, 3, {Fragment(555000, "OTHER", 3, false)}));
  const std::vector<PageRecord> joined = r.Joined();
  ASSERT_EQ(joined.size(), 1u);
  EXPECT_TRUE(joined[0].incomplete);
  EXPECT_EQ(joined[0].fragments, 1);
  EXPECT_STREQ(joined[0].capcode, "0777001");
  EXPECT_EQ(std::string(joined[0].text, static_cast<size_t>(joined[0].textLength)),
            "Call the duty officer on ");
  EXPECT_EQ(joined[0].cycle, 5);
  EXPECT_EQ(joined[0].frame, 126);
}

TEST(PageJoiner, WithoutLaterFramesTheWaitEndsByTime) {
  JoinRig r;
  r.joiner.Tick(1000);
  r.flex.Direct(Frame(0, 0, {Fragment(200200, "Held ", 3, true)}));
  r.joiner.Tick(1000 + PageJoiner::kWaitMs);
  EXPECT_TRUE(r.Joined().empty());
  r.joiner.Tick(1000 + PageJoiner::kWaitMs + 100);
  ASSERT_EQ(r.Joined().size(), 1u);
  EXPECT_TRUE(r.Joined()[0].incomplete);
}

}  // namespace
}  // namespace skelmar::test
