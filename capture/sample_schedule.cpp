#include "capture/sample_schedule.h"

#include <algorithm>
#include <cmath>

namespace veltrix::capture {

SampleSchedule::SampleSchedule(int rate_hz) : rate_hz_(std::max(rate_hz, 0)), known_(rate_hz > 0) {}

double SampleSchedule::position_at(double time_ms) const {
  return anchor_position_ + (time_ms - anchor_ms_) * rate_hz_ / 1000.0;
}

void SampleSchedule::rate_changed(double time_ms, int rate_hz) {
  if (started_) {
    anchor_position_ = position_at(time_ms);
    anchor_ms_ = time_ms;
  }
  clock_.rate_changed();
  known_ = known_ && rate_hz > 0;
  rate_hz_ = std::max(rate_hz, 0);
}

void SampleSchedule::recorded(double time_ms, std::optional<long> number) {
  place(time_ms, number);
  ++recorded_;
}

void SampleSchedule::repeated(double time_ms) { place(time_ms, std::nullopt); }

void SampleSchedule::arrived(double time_ms) {
  if (rate_hz_ > 0.0) {
    clock_.arrived(time_ms, 1000.0 / rate_hz_);
  }
}

void SampleSchedule::unreadable(double time_ms, std::optional<long> number) {
  place(time_ms, number);
  unreadable_ = true;
}

void SampleSchedule::place(double time_ms, std::optional<long> number) {
  timed_ = timed_ || !number;
  const double position = number ? static_cast<double>(*number) : position_at(time_ms);
  if (!started_) {
    started_ = true;
    first_ = position;
    anchor_ms_ = time_ms;
    anchor_position_ = position;
  }
  last_ = position;
}

long long SampleSchedule::missed() const {
  if (!known_ || (recorded_ == 0 && !unreadable_)) {
    return 0;
  }
  const double span = (last_ - first_) * (timed_ ? clock_.ratio() : 1.0);
  return std::max(0LL, std::llround(span) + 1 - recorded_);
}

bool SampleSchedule::estimated() const {
  return known_ && (recorded_ > 0 || unreadable_) && (timed_ || numbers_estimated_);
}

}  // namespace veltrix::capture
