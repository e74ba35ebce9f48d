#include "ui/plot/min_max_decimation.h"

#include <algorithm>
#include <cassert>
#include <cmath>

void decimate_min_max(std::span<const double> times, std::span<const float> values, double t0, double t1,
                      std::span<PixelColumn> columns) {
  assert(times.size() == values.size());
  assert(t1 > t0);
  std::fill(columns.begin(), columns.end(), PixelColumn{});
  if (columns.empty()) return;

  const double scale = static_cast<double>(columns.size()) / (t1 - t0);
  const auto last_column = static_cast<std::ptrdiff_t>(columns.size()) - 1;
  bool gap = false;
  for (auto i = static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), t0) - times.begin());
       i < times.size() && times[i] < t1; ++i) {
    const float value = values[i];
    if (std::isnan(value)) {
      gap = true;
      continue;
    }
    // Rounding can put a time just below t1 one past the last column.
    const auto index = std::min(static_cast<std::ptrdiff_t>((times[i] - t0) * scale), last_column);
    PixelColumn& column = columns[static_cast<std::size_t>(index)];
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
}
