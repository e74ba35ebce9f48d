#pragma once
// Counts a capture's samples from its lines' gyroscope X values, decoded with
// the simulator's formula: the distinct samples recorded and the samples the
// sensor made from the first recorded one to the last. Values that are no
// sample of the formula (a header, a gap) are skipped. Where the lines carry
// their time, each gap keeps the times of the lines around it.
//
// Thread contract: a plain value, used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltrix::bench {

// Samples missing between two recorded ones, `at` samples after the first;
// the capture-clock times of those two lines, kNoTime without a time column.
struct SampleGap {
  static constexpr int kNoTime = -1;
  long at = 0;
  long missed = 0;
  int before_ms = kNoTime;
  int after_ms = kNoTime;
};

class SampleCount {
 public:
  static constexpr std::size_t kGapsKept = 100;

  void add(int gyro_x, int time_ms = SampleGap::kNoTime);

  long distinct() const { return distinct_; }
  // Samples the sensor made from the first recorded one to the last.
  long made() const { return distinct_ > 0 ? span_ + 1 : 0; }
  long missed() const { return made() - distinct_; }
  // Samples older than the one before them, left out of the count.
  long out_of_order() const { return out_of_order_; }
  // Every gap counted; the first kGapsKept of them kept.
  long gap_count() const { return gap_count_; }
  const std::vector<SampleGap>& gaps() const { return gaps_; }
  double percent() const { return distinct_ > 0 ? 100.0 * distinct_ / static_cast<double>(made()) : 0.0; }

 private:
  static constexpr std::uint16_t kHalfRange = 0x8000;
  long distinct_ = 0;
  long out_of_order_ = 0;
  long span_ = 0;
  long gap_count_ = 0;
  std::uint16_t previous_ = 0;
  int previous_ms_ = SampleGap::kNoTime;
  std::vector<SampleGap> gaps_;
};

}  // namespace veltrix::bench
