#include "ui/plot/sample_series.h"

#include <algorithm>
#include <cmath>
#include <limits>

using veltrix::capture::kPlotChannelCount;
using veltrix::capture::PlotChannel;
using veltrix::capture::PlotSample;

namespace veltrix::ui::plot {

namespace {
constexpr float kMissing = std::numeric_limits<float>::quiet_NaN();
}

void SampleSeries::append(const PlotSample& sample) {
  for (int c = 0; c < kPlotChannelCount; ++c) {
    const auto channel = static_cast<PlotChannel>(c);
    std::vector<float>& column = columns_[static_cast<std::size_t>(c)];
    if (!sample.has(channel)) {
      if (!column.empty()) {
        column.push_back(kMissing);
      }
      continue;
    }
    if (column.empty()) {
      column.assign(x_.size(), kMissing);
    }
    column.push_back(sample.value(channel));
  }
  components_ |= sample.components;
  x_.push_back(sample.x);
}

void SampleSeries::clear() { *this = SampleSeries{}; }

void SampleSeries::drop_before(double x) {
  const auto first_kept = static_cast<std::size_t>(
      std::lower_bound(x_.begin() + static_cast<std::ptrdiff_t>(start_), x_.end(), x) - x_.begin());
  start_ = first_kept;
  // Erasing only once half the storage is dead keeps appends amortised O(1).
  if (start_ * 2 < x_.size()) {
    return;
  }
  const auto dead = static_cast<std::ptrdiff_t>(start_);
  x_.erase(x_.begin(), x_.begin() + dead);
  for (std::vector<float>& column : columns_) {
    if (!column.empty()) {
      column.erase(column.begin(), column.begin() + dead);
    }
  }
  start_ = 0;
}

std::span<const float> SampleSeries::values(PlotChannel channel) const {
  const std::vector<float>& column = columns_[static_cast<std::size_t>(channel)];
  if (column.empty()) {
    return {};
  }
  return std::span(column).subspan(start_);
}

std::optional<float> SampleSeries::value_at(PlotChannel channel, double x, double not_before) const {
  const std::span<const float> column = values(channel);
  if (column.empty()) {
    return std::nullopt;
  }
  const std::span<const double> xs = this->x();
  for (auto i = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), x) - xs.begin()); i > 0; --i) {
    if (xs[i - 1] < not_before) {
      break;
    }
    if (!std::isnan(column[i - 1])) {
      return column[i - 1];
    }
  }
  return std::nullopt;
}

}  // namespace veltrix::ui::plot
