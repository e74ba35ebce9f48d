// The capture-to-plot queue: order and capacity on one thread, then a
// producer far faster than its consumer on two, where nothing may block,
// tear or go missing without being counted.

#include "capture/sample_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using veltrix::capture::PlotChannel;
using veltrix::capture::PlotSample;
using veltrix::capture::SampleQueue;

namespace {

PlotSample numbered(std::uint64_t n) {
  PlotSample sample;
  sample.x = static_cast<double>(n);
  const float values[3] = {static_cast<float>(n % 100000), static_cast<float>(n % 100000) + 1,
                           static_cast<float>(n % 100000) + 2};
  sample.set_component(COMPONENT_GYRO, values);
  sample.set_component(COMPONENT_COMPASS, values);
  return sample;
}

TEST(SampleQueue, HandsOverInOrderAndDropsNewSamplesWhenFull) {
  SampleQueue queue(6);  // rounded up to 8
  ASSERT_EQ(queue.capacity(), 8u);
  for (std::uint64_t n = 0; n < 11; ++n) {
    EXPECT_EQ(queue.push(numbered(n)), n < 8) << n;
  }
  EXPECT_EQ(queue.dropped(), 3u);

  std::vector<PlotSample> out(5);
  ASSERT_EQ(queue.pop(out), 5u);
  EXPECT_TRUE(queue.push(numbered(100)));  // room again, wrapping round the ring
  out.resize(16);
  ASSERT_EQ(queue.pop(out), 4u);
  EXPECT_EQ(out[0].x, 5);
  EXPECT_EQ(out[2].x, 7);
  EXPECT_EQ(out[3].x, 100);
  EXPECT_EQ(queue.pop(out), 0u);
  EXPECT_EQ(queue.dropped(), 3u);
}

TEST(SampleQueue, ComponentsKeepTheirChannels) {
  PlotSample sample;
  const float accel[3] = {-120, 40, 16384};
  const float temp[3] = {1234, 99, 99};
  sample.set_component(COMPONENT_ACCEL, accel);
  sample.set_component(COMPONENT_TEMP, temp);
  EXPECT_TRUE(sample.has(PlotChannel::kAccelY));
  EXPECT_TRUE(sample.has(PlotChannel::kTemp));
  EXPECT_FALSE(sample.has(PlotChannel::kGyroZ));
  EXPECT_FALSE(sample.has(PlotChannel::kCompX));
  EXPECT_EQ(sample.value(PlotChannel::kAccelZ), 16384);
  EXPECT_EQ(sample.value(PlotChannel::kTemp), 1234);
  EXPECT_EQ(sample.value(PlotChannel::kCompX), 0);  // the temperature's unused values go nowhere
}

// The producer pushes as fast as it can while the consumer takes small
// batches with pauses, so the ring overflows over and over. Every sample
// taken must be whole (its fields agree with its number), in order, and
// taken plus dropped must equal pushed.
TEST(SampleQueue, AFastProducerNeverWaitsAndEverySampleIsTakenWholeOrCounted) {
  SampleQueue queue(256);
  constexpr std::uint64_t kPushes = 400000;
  std::atomic<bool> produced{false};

  std::thread producer([&] {
    for (std::uint64_t n = 0; n < kPushes; ++n) {
      (void)queue.push(numbered(n));
    }
    produced = true;
  });

  std::vector<PlotSample> batch(64);
  std::uint64_t taken = 0;
  double previous = -1;
  int torn = 0, disordered = 0;
  for (;;) {
    const bool finished = produced.load();
    const std::size_t count = queue.pop(batch);
    for (std::size_t i = 0; i < count; ++i) {
      const PlotSample& s = batch[i];
      const auto n = static_cast<std::uint64_t>(s.x);
      const auto base = static_cast<float>(n % 100000);
      if (s.components != (COMPONENT_GYRO | COMPONENT_COMPASS) || s.value(PlotChannel::kGyroX) != base ||
          s.value(PlotChannel::kGyroZ) != base + 2 || s.value(PlotChannel::kCompY) != base + 1) {
        ++torn;
      }
      if (s.x <= previous) {
        ++disordered;
      }
      previous = s.x;
    }
    taken += count;
    if (finished && count == 0) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  producer.join();

  EXPECT_EQ(torn, 0);
  EXPECT_EQ(disordered, 0);
  EXPECT_GT(queue.dropped(), 0u) << "the consumer was meant to fall behind";
  EXPECT_GT(taken, 0u);
  // A producer that waited for room would have dropped nothing.
  EXPECT_EQ(taken + queue.dropped(), kPushes);
}

}  // namespace
