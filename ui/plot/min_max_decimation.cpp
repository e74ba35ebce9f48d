#include "ui/plot/min_max_decimation.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

void decimate_min_max(std::span<const double> times, std::span<const float> values, double t0, double t1,
                      std::span<PixelColumn> columns) {
  assert(times.size() == values.size());
  assert(t1 > t0);
  std::fill(columns.begin(), columns.end(), PixelColumn{});
  if (columns.empty()) return;

  const double scale = static_cast<double>(columns.size()) / (t1 - t0);
  const std::size_t last_column = columns.size() - 1;
  auto i = static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), t0) - times.begin());
  const auto end = static_cast<std::size_t>(
      std::lower_bound(times.begin() + static_cast<std::ptrdiff_t>(i), times.end(), t1) - times.begin());
  bool gap = false;
  while (i < end) {
    // Rounding can put a time just below t1 one past the last column.
    const std::size_t c = std::min(static_cast<std::size_t>((times[i] - t0) * scale), last_column);
    // The samples of one column are taken in a tight loop with the column in
    // registers: this loop is most of a frame's cost at 8 kHz.
    const double limit = c == last_column ? std::numeric_limits<double>::infinity() : static_cast<double>(c + 1);
    PixelColumn column = columns[c];
    for (; i < end && (times[i] - t0) * scale < limit; ++i) {
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
