#pragma once
// A bounded single-producer/single-consumer queue of recorded samples as
// numbers, from the capture thread to a display (the live plot). The capture
// thread never waits for the display: when the queue is full the new sample is
// dropped and counted, for display only (the logs are written elsewhere).
//
// Thread contract: one producer thread calls push (the capture thread, from its
// sample observer); one consumer thread calls pop (the window thread).
// dropped() may be read from any thread. The ring is allocated once by the
// constructor; push and pop never allocate, lock or block. Slots are handed
// over with acquire/release on the two indices, so the consumer never sees a
// half-written sample. Construct and destroy while neither thread uses it.

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "devices/ikor.h"

namespace veltrix::capture {

// Channels in the order the data log writes them.
enum class PlotChannel : int {
  kGyroX,
  kGyroY,
  kGyroZ,
  kAccelX,
  kAccelY,
  kAccelZ,
  kCompX,
  kCompY,
  kCompZ,
  kTemp,
};
inline constexpr int kPlotChannelCount = 10;

struct PlotSample {
  // Milliseconds since the capture started; a log without a time column uses
  // the sample index instead.
  double x = 0;
  // COMPONENT_* bits of the components this sample holds; the values of the
  // others are meaningless.
  int components = 0;
  std::array<float, kPlotChannelCount> values{};

  // Stores a component's values as get_component_data delivers them (three
  // axes; temperature uses the first) and marks it present.
  void set_component(int component, const float data[3]) {
    const int first = first_channel_of(component);
    if (first < 0) {
      return;
    }
    std::copy_n(data, component == COMPONENT_TEMP ? 1 : 3, values.begin() + first);
    components |= component;
  }

  bool has(PlotChannel channel) const { return (components & component_of(channel)) != 0; }
  float value(PlotChannel channel) const { return values[static_cast<std::size_t>(channel)]; }

  static int component_of(PlotChannel channel) {
    constexpr int kByGroup[] = {COMPONENT_GYRO, COMPONENT_ACCEL, COMPONENT_COMPASS, COMPONENT_TEMP};
    return kByGroup[static_cast<int>(channel) / 3];
  }
  static int first_channel_of(int component) {
    switch (component) {
      case COMPONENT_GYRO:
        return static_cast<int>(PlotChannel::kGyroX);
      case COMPONENT_ACCEL:
        return static_cast<int>(PlotChannel::kAccelX);
      case COMPONENT_COMPASS:
        return static_cast<int>(PlotChannel::kCompX);
      case COMPONENT_TEMP:
        return static_cast<int>(PlotChannel::kTemp);
      default:
        return -1;
    }
  }
};

class SampleQueue {
 public:
  static constexpr std::size_t kDefaultCapacity = 16384;  // 2 s at 8 kHz

  // `capacity` is rounded up to a power of two (at least 2).
  explicit SampleQueue(std::size_t capacity = kDefaultCapacity)
      : mask_(std::bit_ceil(std::max<std::size_t>(capacity, 2)) - 1), slots_(new PlotSample[mask_ + 1]) {}
  SampleQueue(const SampleQueue&) = delete;
  SampleQueue& operator=(const SampleQueue&) = delete;

  // Producer. False when full: the sample is dropped and counted.
  bool push(const PlotSample& sample) noexcept {
    const std::uint64_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) > mask_) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    slots_[head & mask_] = sample;
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

  // Consumer. Moves up to out.size() of the oldest samples into `out`, in
  // order; returns how many.
  std::size_t pop(std::span<PlotSample> out) noexcept {
    const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    const std::uint64_t available = head_.load(std::memory_order_acquire) - tail;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(available, out.size()));
    for (std::size_t i = 0; i < count; ++i) {
      out[i] = slots_[(tail + i) & mask_];
    }
    tail_.store(tail + count, std::memory_order_release);
    return count;
  }

  // Samples refused by push since construction.
  std::uint64_t dropped() const noexcept { return dropped_.load(std::memory_order_relaxed); }
  std::size_t capacity() const noexcept { return mask_ + 1; }

 private:
  const std::size_t mask_;
  const std::unique_ptr<PlotSample[]> slots_;
  // Each index is written by one side only; they sit on their own cache lines
  // so the producer and consumer do not slow each other.
  alignas(64) std::atomic<std::uint64_t> head_{0};  // next slot to write
  alignas(64) std::atomic<std::uint64_t> tail_{0};  // next slot to read
  alignas(64) std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace veltrix::capture
