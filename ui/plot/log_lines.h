#pragma once
// A run of a data log's lines read apart from the index that takes them
// (indexed_log.h): read on any thread, without the index's lock, then added
// to the index in file order. A log without time column (above 200 Hz) is
// read in chunks on every core: a chunk holds the lines that start in its
// byte range, so the chunks meet at line starts without knowing how many
// lines lie before them. Such a log's lines all have one width, so a chunk
// a whole number of blocks wide starts at a block's first line, which its
// offset tells: its lines are summed into blocks where they are read, and
// only a chunk where a line breaks the pattern keeps each line.
//
// Thread contract: plain values and pure functions of them and the file,
// which may be read on several threads at once (log_file.h).

#include <cstdint>
#include <string_view>
#include <vector>

#include "capture/data_log_reader.h"
#include "ui/plot/log_file.h"
#include "ui/plot/log_index.h"

namespace veltrix::ui::plot {

struct LogLines {
  std::int64_t from = 0;  // where the first line starts in the file
  std::int64_t end = 0;   // after the last line read: where reading goes on
  // Reading stopped at a line these readers leave to the one that reads the
  // log in order: a summary, a fault, a line cut by the end of what was read.
  bool stopped = false;
  std::vector<std::uint32_t> offsets;  // of each line, from `from`
  std::vector<std::int32_t> times;     // with a time column: each line's, or the last time read before it
  std::vector<std::int16_t> values;    // value_count per line; zeros for a line without values
  std::vector<std::uint8_t> has_values;
  std::size_t other_columns = 0;  // lines with other columns than the header's
  // Read as whole blocks instead (all of them samples of one width, the
  // first at `from`): how many lines, and per block and value column the
  // range; no line is kept.
  std::size_t block_lines = 0;
  std::vector<ValueRange> block_ranges;

  std::size_t size() const { return offsets.size(); }
  void clear(std::int64_t at);
};

// Why read_lines stopped.
enum class LinesStop {
  kEnd,      // the text ends after a whole line, or the next line starts at `until` or later
  kSummary,  // at the closing summary, not read
  kReader,   // at a line `reader` does not give: `status` says why (kCutLine or a fault)
};

// Reads lines from `text`, whose first byte lies at `text_at` in the file,
// with `reader` into `lines` (whose `from` is at or before it), and moves
// `text` past them. Lines end at a summary or a line the reader refuses.
LinesStop read_lines(veltrix::capture::DataLogReader& reader, std::string_view& text, std::int64_t text_at,
                     std::int64_t until, LogLines& lines, veltrix::capture::DataLogStatus& status);

// Reads the lines of a log without time column (header `header`) that start
// in [start, end) of the file into `lines`, on its own reader; `end` is at
// most `stop_at`, where the bytes to read end. `start` is a line start when
// `at_line_start`, else the first line starting at or after it is taken.
// With `width` (else 0), as blocks when every line there is a sample that
// wide and they fill [start, end) exactly.
void read_chunk(const LogFile& file, std::string_view header, std::int64_t start, std::int64_t end,
                std::int64_t stop_at, bool at_line_start, std::int64_t width, std::vector<char>& buffer,
                LogLines& lines);

}  // namespace veltrix::ui::plot
