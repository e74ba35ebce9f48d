#include "ui/plot/plot_source.h"

#include <algorithm>
#include <cmath>

using veltrix::capture::kPlotChannelCount;
using veltrix::capture::PlotChannel;

namespace veltrix::ui::plot {

void SeriesSource::decimate(double x0, double x1, std::size_t width, const ChannelMask& wanted,
                            ChannelColumns& columns) {
  starts_.resize(width + 1);
  // The newest sample sits exactly at x1: include it.
  split_columns(series_->x(), x0, std::nextafter(x1, x1 + 1), starts_);
  for (int c = 0; c < kPlotChannelCount; ++c) {
    std::vector<PixelColumn>& out = columns[static_cast<std::size_t>(c)];
    out.resize(width);
    const auto values = series_->values(static_cast<PlotChannel>(c));
    if (!wanted[static_cast<std::size_t>(c)] || values.empty()) {
      std::fill(out.begin(), out.end(), PixelColumn{});
      continue;
    }
    decimate_min_max(values, starts_, out);
  }
}

std::optional<float> SeriesSource::value_at(PlotChannel channel, double x, double not_before) {
  return series_ == nullptr ? std::nullopt : series_->value_at(channel, x, not_before);
}

}  // namespace veltrix::ui::plot
