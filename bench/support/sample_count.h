#pragma once
// Counts a capture's samples from its lines' gyroscope X values, decoded with
// the simulator's formula: the distinct samples recorded and the samples the
// sensor made from the first recorded one to the last. Values that are no
// sample of the formula (a header, a gap) are skipped.
//
// Thread contract: a plain value, used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltrix::bench {

// Samples missing between two recorded ones, `at` samples after the first.
struct SampleGap {
  long at = 0;
  long missed = 0;
};

class SampleCount {
 public:
  static constexpr std::size_t kGapsKept = 100;

  void add(int gyro_x);

  long distinct() const { return distinct_; }
  // Samples the sensor made from the first recorded one to the last.
  long made() const { return distinct_ > 0 ? span_ + 1 : 0; }
  long missed() const { return made() - distinct_; }
  // Samples older than the one before them, left out of the count.
  long out_of_order() const { return out_of_order_; }
  // The first kGapsKept gaps.
  const std::vector<SampleGap>& gaps() const { return gaps_; }
  double percent() const { return distinct_ > 0 ? 100.0 * distinct_ / static_cast<double>(made()) : 0.0; }

 private:
  static constexpr std::uint16_t kHalfRange = 0x8000;
  long distinct_ = 0;
  long out_of_order_ = 0;
  long span_ = 0;
  std::uint16_t previous_ = 0;
  std::vector<SampleGap> gaps_;
};

}  // namespace veltrix::bench
