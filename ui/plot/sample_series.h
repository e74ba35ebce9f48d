#pragma once
// The samples a plot shows: ascending x (milliseconds, or the sample index of
// a log without time column) and one column of values per channel. A channel
// holds NaN where its component was not recorded; a channel never recorded
// has no column at all, so a gyroscope-only capture costs three floats a
// sample. No Qt: the live plot and the data log reader share it.
//
// Thread contract: a plain value; one thread at a time.

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "capture/sample_queue.h"

namespace veltrix::ui::plot {

class SampleSeries {
 public:
  // `sample.x` must not be below the last x (start a new series instead).
  void append(const veltrix::capture::PlotSample& sample);
  void clear();
  // Forgets the samples with x below `x`.
  void drop_before(double x);

  std::size_t size() const { return x_.size() - start_; }
  bool empty() const { return size() == 0; }
  std::span<const double> x() const { return std::span(x_).subspan(start_); }
  // Empty when the channel was never recorded.
  std::span<const float> values(veltrix::capture::PlotChannel channel) const;
  // COMPONENT_* bits of every component recorded at least once.
  int components() const { return components_; }
  // The last recorded value of `channel` at or before `x` and after `not_before`.
  std::optional<float> value_at(veltrix::capture::PlotChannel channel, double x, double not_before) const;

 private:
  std::vector<double> x_;
  std::array<std::vector<float>, veltrix::capture::kPlotChannelCount> columns_;
  std::size_t start_ = 0;  // samples before it are dropped, not yet erased
  int components_ = 0;
};

}  // namespace veltrix::ui::plot
