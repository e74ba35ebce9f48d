#include "ui/plot/min_max_decimation.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <vector>

namespace veltrix::ui::plot {

void split_columns(std::span<const double> times, double t0, double t1, std::span<std::size_t> starts) {
  assert(t1 > t0 && starts.size() >= 2);
  const std::size_t n = starts.size() - 1;
  const double scale = static_cast<double>(n) / (t1 - t0);
  auto from = std::lower_bound(times.begin(), times.end(), t0);
  const auto end = std::lower_bound(from, times.end(), t1);
  starts[0] = static_cast<std::size_t>(from - times.begin());
  // (t - t0) * scale never decreases as t grows, so each column's end is found
  // by bisection with the very expression that defines the column; the last
  // column also takes times that rounding lifts to n.
  for (std::size_t c = 1; c < n; ++c) {
    const auto limit = static_cast<double>(c);
    from = std::partition_point(from, end, [&](double t) { return (t - t0) * scale < limit; });
    starts[c] = static_cast<std::size_t>(from - times.begin());
  }
  starts[n] = static_cast<std::size_t>(end - times.begin());
}

void decimate_min_max(std::span<const float> values, std::span<const std::size_t> starts,
                      std::span<PixelColumn> columns) {
  assert(starts.size() == columns.size() + 1);
  bool gap = false;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    PixelColumn column;
    for (std::size_t i = starts[c]; i < starts[c + 1]; ++i) {
      const float value = values[i];
      if (std::isnan(value)) {
        gap = true;
        continue;
      }
      if (column.count == 0) {
        column.first = value;
        column.gap_before = gap;
      }
      gap = false;
      column.min = std::min(column.min, value);
      column.max = std::max(column.max, value);
      column.last = value;
      ++column.count;
    }
    columns[c] = column;
  }
}

void decimate_min_max(std::span<const double> times, std::span<const float> values, double t0, double t1,
                      std::span<PixelColumn> columns) {
  assert(times.size() == values.size());
  if (columns.empty()) {
    return;
  }
  std::vector<std::size_t> starts(columns.size() + 1);
  split_columns(times, t0, t1, starts);
  decimate_min_max(values, starts, columns);
}

}  // namespace veltrix::ui::plot
