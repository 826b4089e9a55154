// The producer helper: splitting long states, refusing to lap the reader,
// counting what it refuses.
#include "frontend/edge_ring.h"

#include <gtest/gtest.h>

#include <atomic>

namespace skelmar {
namespace {

std::vector<PulseSample> Entries(const EdgeRing& ring, uint32_t from, uint32_t count) {
  std::vector<PulseSample> out;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t at = (from + i) % ring.size();
    out.push_back({ring.durations()[at], ring.statuses()[at]});
  }
  return out;
}

TEST(EdgeProducer, SplitsStatesLongerThan65535Ticks) {
  EdgeRing ring(16);
  std::atomic<uint32_t> readIndex{0};
  EdgeProducer producer(ring, &readIndex);
  EXPECT_TRUE(producer.Put(200000, 0x80));  // 3 * 65535 + 3395
  EXPECT_TRUE(producer.Put(131070, 0x10));  // exactly two full samples
  EXPECT_TRUE(producer.Put(65536, 0x20));
  EXPECT_TRUE(producer.Put(0, 0x30));  // a zero-length state still makes a sample
  EXPECT_EQ(ring.writeIndex().load(), 9u);
  const std::vector<PulseSample> expected = {{65535, 0x80}, {65535, 0x80}, {65535, 0x80},
                                             {3395, 0x80},  {65535, 0x10}, {65535, 0x10},
                                             {65535, 0x20}, {1, 0x20},     {0, 0x30}};
  EXPECT_EQ(Entries(ring, 0, 9), expected);
  EXPECT_EQ(producer.overruns(), 0u);
}

TEST(EdgeProducer, RefusesToLapTheReaderAndCountsEachRefusedSample) {
  EdgeRing ring(4);
  std::atomic<uint32_t> readIndex{0};
  EdgeProducer producer(ring, &readIndex);
  EXPECT_EQ(producer.Free(), 3u);
  EXPECT_TRUE(producer.Put(10, 0x80));
  EXPECT_TRUE(producer.Put(20, 0x00));
  EXPECT_TRUE(producer.Put(30, 0x80));
  EXPECT_EQ(producer.Free(), 0u);
  EXPECT_FALSE(producer.Put(40, 0x00));
  EXPECT_EQ(producer.overruns(), 1u);
  EXPECT_EQ(ring.writeIndex().load(), 3u);
  EXPECT_EQ(Entries(ring, 0, 3), (std::vector<PulseSample>{{10, 0x80}, {20, 0x00}, {30, 0x80}}));

  readIndex.store(1);  // the reader took one sample: room for one
  EXPECT_EQ(producer.Free(), 1u);
  EXPECT_FALSE(producer.Put(200000, 0x10));  // four samples needed, one fits
  EXPECT_EQ(producer.overruns(), 4u);
  EXPECT_EQ(ring.writeIndex().load(), 0u);
  EXPECT_EQ(Entries(ring, 3, 1), (std::vector<PulseSample>{{65535, 0x10}}));
  EXPECT_EQ(Entries(ring, 1, 2), (std::vector<PulseSample>{{20, 0x00}, {30, 0x80}}));
}

TEST(EdgeProducer, WithoutAReadIndexItLapsTheReader) {
  EdgeRing ring(4);
  EdgeProducer producer(ring, nullptr);
  for (uint16_t d = 1; d <= 6; ++d) EXPECT_TRUE(producer.Put(d, 0x80));
  EXPECT_EQ(ring.writeIndex().load(), 2u);
  EXPECT_EQ(Entries(ring, 0, 4),
            (std::vector<PulseSample>{{5, 0x80}, {6, 0x80}, {3, 0x80}, {4, 0x80}}));
  EXPECT_EQ(producer.overruns(), 0u);
}

TEST(EdgeProducer, AReadIndexBeyondASmallerRingCountsAsItsStart) {
  EdgeRing ring(4);
  std::atomic<uint32_t> readIndex{100};
  EdgeProducer producer(ring, &readIndex);
  EXPECT_EQ(producer.Free(), 3u);
}

}  // namespace
}  // namespace skelmar
