#pragma once
// What the plot keeps of a data log too big to hold: a sparse line index and
// a min/max pyramid, about 1/40 of the log's size.
//
// The log's lines (header and summary aside) are taken in blocks of
// kBlockLines. Per block the index keeps the byte offset and the x of its
// first line, so any span can be parsed again from the file, and per value
// column the block's min and max as 16-bit counts (the log's own range).
// Above that, each level holds the min/max of kFanOut blocks of the level
// below, so the min/max over any run of blocks costs a few steps per level.
// Views wider than a block per pixel column are drawn from here; narrower
// ones parse their lines again (indexed_log.h). Nothing holds a sample as a
// double.
//
// A line without values (a gap, or other columns than the header's) counts
// as a line and adds no value. Lines are appended in file order; a log that
// grows is simply appended to.
//
// Thread contract: a plain value, one thread at a time (its owner locks).

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace veltrix::ui::plot {

struct ValueRange {
  std::int16_t min = std::numeric_limits<std::int16_t>::max();
  std::int16_t max = std::numeric_limits<std::int16_t>::min();

  bool empty() const { return min > max; }
  void add(std::int16_t value) {
    min = value < min ? value : min;
    max = value > max ? value : max;
  }
  void add(ValueRange other) {
    min = other.min < min ? other.min : min;
    max = other.max > max ? other.max : max;
  }
};

class LogIndex {
 public:
  static constexpr std::size_t kBlockLines = 64;
  static constexpr std::size_t kFanOut = 8;

  explicit LogIndex(int value_columns = 0) : value_columns_(value_columns) {}

  // The next line: its x, its byte offset in the file, and its values (one
  // per value column), or null for a line without.
  void append(double x, std::uint64_t offset, const std::int16_t* values);
  // A whole block at once (as an overview holds it, capture/log_overview.h):
  // `lines` lines (kBlockLines, fewer only for the last), its first at `x`
  // and `offset`, the last at `last_x`, and its range per value column.
  // Starts a block: the lines before fill whole blocks.
  void append_block(double x, std::uint64_t offset, std::size_t lines, double last_x, const ValueRange* ranges);
  // Brings the upper levels up to the last block; call before querying.
  void settle();

  int value_columns() const { return value_columns_; }
  std::size_t line_count() const { return lines_; }
  std::size_t block_count() const { return block_x_.size(); }
  double block_x(std::size_t block) const { return block_x_[block]; }
  std::uint64_t block_offset(std::size_t block) const { return block_offset_[block]; }
  const std::vector<double>& block_xs() const { return block_x_; }
  double first_x() const { return block_x_.empty() ? 0 : block_x_.front(); }
  double last_x() const { return last_x_; }

  // Min and max of value column `column` over the blocks [first, end).
  ValueRange range(int column, std::size_t first, std::size_t end) const;

 private:
  void start_block(double x, std::uint64_t offset);
  void propagate(std::size_t block);
  ValueRange& at(std::size_t level, std::size_t entry, int column) {
    return levels_[level][entry * static_cast<std::size_t>(value_columns_) + static_cast<std::size_t>(column)];
  }

  int value_columns_;
  std::size_t lines_ = 0;
  double last_x_ = 0;
  std::vector<double> block_x_;
  std::vector<std::uint64_t> block_offset_;
  // levels_[0]: per block; levels_[k + 1][j]: blocks j*kFanOut.. of level k.
  std::vector<std::vector<ValueRange>> levels_;
};

}  // namespace veltrix::ui::plot
