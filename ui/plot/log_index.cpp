#include "ui/plot/log_index.h"

#include <algorithm>
#include <cassert>

namespace veltrix::ui::plot {

void LogIndex::start_block(double x, std::uint64_t offset) {
  if (!block_x_.empty()) {
    propagate(block_x_.size() - 1);
  }
  block_x_.push_back(x);
  block_offset_.push_back(offset);
  if (levels_.empty()) {
    levels_.emplace_back();
  }
  levels_[0].resize(levels_[0].size() + static_cast<std::size_t>(value_columns_));
}

void LogIndex::append(double x, std::uint64_t offset, const std::int16_t* values) {
  const auto columns = static_cast<std::size_t>(value_columns_);
  if (lines_ % kBlockLines == 0) {
    start_block(x, offset);
  }
  if (values != nullptr) {
    ValueRange* block = levels_[0].data() + (block_x_.size() - 1) * columns;
    for (std::size_t c = 0; c < columns; ++c) {
      block[c].add(values[c]);
    }
  }
  ++lines_;
  last_x_ = x;
}

void LogIndex::append_block(double x, std::uint64_t offset, std::size_t lines, double last_x,
                            const ValueRange* ranges) {
  assert(lines_ % kBlockLines == 0 && lines > 0 && lines <= kBlockLines);
  start_block(x, offset);
  std::copy_n(ranges, value_columns_, levels_[0].end() - value_columns_);
  lines_ += lines;
  last_x_ = last_x;
}

void LogIndex::settle() {
  if (!block_x_.empty()) {
    propagate(block_x_.size() - 1);
  }
}

// Merging a block into its parents again once it has more lines is harmless:
// min and max forget nothing and count nothing twice. A level is made whole
// when the one below first holds two entries.
void LogIndex::propagate(std::size_t block) {
  const auto columns = static_cast<std::size_t>(value_columns_);
  std::size_t entry = block;
  for (std::size_t level = 0; levels_[level].size() > columns; ++level) {
    const std::size_t parent = entry / kFanOut;
    if (levels_.size() == level + 1) {
      const std::size_t entries = levels_[level].size() / columns;
      levels_.emplace_back((entries + kFanOut - 1) / kFanOut * columns);
      for (std::size_t e = 0; e < entries; ++e) {
        for (int c = 0; c < value_columns_; ++c) {
          at(level + 1, e / kFanOut, c).add(at(level, e, c));
        }
      }
    } else {
      std::vector<ValueRange>& up = levels_[level + 1];
      up.resize(std::max(up.size(), (parent + 1) * columns));
      for (int c = 0; c < value_columns_; ++c) {
        at(level + 1, parent, c).add(at(level, entry, c));
      }
    }
    entry = parent;
  }
}

ValueRange LogIndex::range(int column, std::size_t first, std::size_t end) const {
  assert(column >= 0 && column < value_columns_ && end <= block_count());
  const auto columns = static_cast<std::size_t>(value_columns_);
  const auto take = [&](std::size_t level, std::size_t entry) {
    return levels_[level][entry * columns + static_cast<std::size_t>(column)];
  };
  ValueRange result;
  for (std::size_t level = 0; first < end; ++level) {
    const bool top = level + 1 == levels_.size();
    while (first < end && (first % kFanOut != 0 || top)) {
      result.add(take(level, first++));
    }
    while (end > first && end % kFanOut != 0) {
      result.add(take(level, --end));
    }
    first /= kFanOut;
    end /= kFanOut;
  }
  return result;
}

}  // namespace veltrix::ui::plot
