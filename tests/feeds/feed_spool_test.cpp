// The feed spool: what one run could not deliver, read back by the next; a
// damaged file is set aside and said, never half read.
#include "feeds/feed_spool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "feeds/feed_process.h"

namespace skelmar {
namespace {

TEST(FeedSpool, KeepsTheRecordsOfEachFeedInOrderAndSetsADamagedFileAside) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "spool-test";
  std::filesystem::remove_all(dir);
  const FeedSpool spool(dir / "skelmar" / kSpoolFileName);
  std::vector<SpoolRecord> records = {{"mqtt a:1 x", "P", "{\"n\":1}\n\x00 binary"},
                                      {"pagermon http://b", "", "{\"n\":2}"},
                                      {"mqtt a:1 x", "Px/capcode/pocsag/1", "{\"n\":3}"}};
  records[0].second.push_back('\0');
  std::string error;
  ASSERT_TRUE(spool.Save(records, error)) << error;
  std::vector<SpoolRecord> back;
  std::string problem;
  spool.Load(back, problem);
  EXPECT_EQ(problem, "");
  ASSERT_EQ(back.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back[i].feed, records[i].feed) << i;
    EXPECT_EQ(back[i].first, records[i].first) << i;
    EXPECT_EQ(back[i].second, records[i].second) << i;
  }

  // Cut short, as by a full disk or a copy that stopped: nothing is read.
  const std::string whole = feedtest::ReadFile(spool.file());
  std::ofstream(spool.file(), std::ios::binary) << whole.substr(0, whole.size() - 10);
  back.clear();
  spool.Load(back, problem);
  EXPECT_TRUE(back.empty());
  EXPECT_NE(problem.find("damaged"), std::string::npos) << problem;
  EXPECT_FALSE(std::filesystem::exists(spool.file()));
  std::filesystem::path aside = spool.file();
  aside += ".bad";
  EXPECT_TRUE(std::filesystem::exists(aside));

  // Nothing left to send: no spool file.
  ASSERT_TRUE(spool.Save(records, error));
  ASSERT_TRUE(spool.Save({}, error));
  EXPECT_FALSE(std::filesystem::exists(spool.file()));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace skelmar
