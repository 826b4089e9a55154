// The structured page record: nothing kept without an observer, bounded text.
#include "output/page_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace skelmar {
namespace {

class Pages : public PageObserver {
 public:
  std::vector<PageRecord> seen;
  void PageWritten(const PageRecord& page) override { seen.push_back(page); }
};

TEST(PageRecorder, FillsAndCommitsOnePagePerBegin) {
  PageRecorder recorder;
  Pages pages;
  recorder.SetObserver(&pages);
  recorder.Begin(PageProtocol::kFlex, 3200, 4);
  recorder.SetCapcode("001234567");
  recorder.SetPhase('C');
  recorder.SetType("alpha");
  for (char c : std::string("HELLO")) recorder.Append(c);
  recorder.MarkBitErrors();
  recorder.Commit(7);
  recorder.Commit(8);  // no page open any more
  ASSERT_EQ(pages.seen.size(), 1u);
  const PageRecord& p = pages.seen[0];
  EXPECT_EQ(p.protocol, PageProtocol::kFlex);
  EXPECT_EQ(p.speed, 3200);
  EXPECT_EQ(p.levels, 4);
  EXPECT_STREQ(p.capcode, "001234567");
  EXPECT_EQ(p.phase, 'C');
  EXPECT_STREQ(p.type, "alpha");
  EXPECT_STREQ(p.text, "HELLO");
  EXPECT_EQ(p.textLength, 5);
  EXPECT_TRUE(p.bitErrors);
  EXPECT_EQ(p.filter, 7);

  recorder.Begin(PageProtocol::kPocsag, 1200, 2);  // nothing of the last page carries over
  recorder.SetFunction(3);
  recorder.Commit(-1);
  ASSERT_EQ(pages.seen.size(), 2u);
  EXPECT_STREQ(pages.seen[1].text, "");
  EXPECT_STREQ(pages.seen[1].capcode, "");
  EXPECT_FALSE(pages.seen[1].bitErrors);
  EXPECT_EQ(pages.seen[1].phase, 0);
  EXPECT_EQ(pages.seen[1].function, 3);
  EXPECT_EQ(pages.seen[1].filter, -1);
}

TEST(PageRecorder, TextAndFieldsAreBounded) {
  PageRecorder recorder;
  Pages pages;
  recorder.SetObserver(&pages);
  recorder.Begin(PageProtocol::kGsc, 600, 2);
  recorder.SetCapcode(std::string(40, '9').c_str());
  recorder.SetType(std::string(40, 't').c_str());
  // Minutes of POCSAG air fit whole; only beyond 16 KiB is a page cut.
  for (int i = 0; i < 20000; ++i) recorder.Append(static_cast<char>('a' + i % 26));
  recorder.Commit(0);
  ASSERT_EQ(pages.seen.size(), 1u);
  EXPECT_EQ(pages.seen[0].textLength, 16384);
  EXPECT_EQ(std::string(pages.seen[0].text).size(), 16384u);
  EXPECT_EQ(std::string(pages.seen[0].capcode), std::string(15, '9'));
  EXPECT_EQ(std::string(pages.seen[0].type), std::string(15, 't'));
}

TEST(PageRecorder, WithoutObserverNothingIsDelivered) {
  PageRecorder recorder;
  EXPECT_FALSE(recorder.active());
  recorder.Begin(PageProtocol::kPocsag, 512, 2);
  recorder.Append('x');
  recorder.Commit(0);
  Pages pages;
  recorder.SetObserver(&pages);
  recorder.Commit(0);  // the page begun without an observer was never opened
  EXPECT_TRUE(pages.seen.empty());
}

}  // namespace
}  // namespace skelmar
