#pragma once
// What the strip charts draw from: pixel columns of min/max for a view, and a
// channel's value under the cursor. The live samples (SeriesSource) and an
// indexed data log (indexed_log.h) both answer it.
//
// Thread contract: window thread only, like the charts that call it.

#include <array>
#include <optional>
#include <vector>

#include "ui/plot/min_max_decimation.h"
#include "ui/plot/sample_series.h"

namespace veltrix::ui::plot {

using ChannelColumns = std::array<std::vector<PixelColumn>, veltrix::capture::kPlotChannelCount>;
using ChannelMask = std::array<bool, veltrix::capture::kPlotChannelCount>;

class PlotSource {
 public:
  virtual ~PlotSource() = default;
  // COMPONENT_* bits of the components the source holds.
  virtual int components() const = 0;
  // Resizes columns[c] to `width` for every channel and fills those `wanted`
  // over x0 <= x <= x1; the others stay empty.
  virtual void decimate(double x0, double x1, std::size_t width, const ChannelMask& wanted,
                        ChannelColumns& columns) = 0;
  // The last value of `channel` at or before `x` and after `not_before`.
  virtual std::optional<float> value_at(veltrix::capture::PlotChannel channel, double x, double not_before) = 0;
};

// Samples held in memory.
class SeriesSource : public PlotSource {
 public:
  explicit SeriesSource(const SampleSeries* series = nullptr) : series_(series) {}
  void set_series(const SampleSeries* series) { series_ = series; }

  int components() const override { return series_ == nullptr ? 0 : series_->components(); }
  void decimate(double x0, double x1, std::size_t width, const ChannelMask& wanted, ChannelColumns& columns) override;
  std::optional<float> value_at(veltrix::capture::PlotChannel channel, double x, double not_before) override;

 private:
  const SampleSeries* series_;
  std::vector<std::size_t> starts_;  // kept between frames: a frame allocates nothing
};

}  // namespace veltrix::ui::plot
