#pragma once
// Min/max decimation for drawing: one column per pixel over a time window, so
// a frame costs the same at 8 kHz as at 20 Hz. Drawing each column's min..max
// as a vertical stroke, and joining a column's last value to the next drawn
// column's first, reproduces every peak the full data would show.
//
// Thread contract: pure functions of their arguments; any thread.

#include <cstddef>
#include <limits>
#include <span>

namespace veltrix::ui::plot {

struct PixelColumn {
  float min = std::numeric_limits<float>::infinity();
  float max = -std::numeric_limits<float>::infinity();
  float first = 0;  // value of the column's earliest sample
  float last = 0;   // value of the column's latest sample
  std::size_t count = 0;
  // A missing value (NaN: the component was not recorded) lies between this
  // column's first sample and the previous sample: the line is not joined.
  bool gap_before = false;

  bool empty() const { return count == 0; }
};

// Splits the samples with t0 <= time < t1 into columns: sample i belongs to
// column floor((times[i] - t0) / (t1 - t0) * n), n = starts.size() - 1, and
// column c holds the samples starts[c] up to starts[c + 1]. `times` ascends.
// Requires t1 > t0 and n >= 1. Channels sampled at the same times share it.
void split_columns(std::span<const double> times, double t0, double t1, std::span<std::size_t> starts);

// Fills columns.size() == starts.size() - 1 columns from `values` split as
// split_columns says. NaN values count in no column; they mark the next column
// that gets a value as gap_before. Columns without a value stay empty.
void decimate_min_max(std::span<const float> values, std::span<const std::size_t> starts,
                      std::span<PixelColumn> columns);

// Both steps, for a single channel.
void decimate_min_max(std::span<const double> times, std::span<const float> values, double t0, double t1,
                      std::span<PixelColumn> columns);

}  // namespace veltrix::ui::plot
