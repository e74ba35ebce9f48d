#pragma once
// Reads a data log (data_log_format.h) back, line by line, from bytes in
// memory: a whole file, a mapped file, or chunks of one. Nothing is copied
// and nothing is held per sample: each call fills one record with the line's
// time and its values as 16-bit counts, and moves the caller's view past the
// line. The reader never looks beyond the view it is given.
//
// Tolerated as the capture writes them: CR LF or LF line ends, fields padded
// with blanks, a line with the time alone or an empty line (no component
// recorded: a gap), and the closing summary of a capture above 200 Hz. A line
// whose field count differs from the header's (components switched during
// the capture) is reported as kOtherColumns, its fields unread.
//
// A view that ends inside a line (or inside the summary) gives kCutLine and
// is left at that line's start: a log still being written is read on with a
// longer view (or the next chunk appended) from there; for a finished log it
// is a log cut short. Errors are values: the status, and error_message()
// naming the line. No exception leaves the reader.
//
// Above 200 Hz every line of a capture has the same width and the same
// field places, so a line as wide as the last one read field by field is
// checked against that layout and read without searching; any line the
// check does not pass is read field by field, so both ways give the same.
//
// Thread contract: a DataLogReader is a plain value used by one thread at a
// time; the bytes it reads must not change under it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "capture/data_log_format.h"
#include "capture/sample_queue.h"

namespace veltrix::capture {

// What the header says the columns are.
struct DataLogColumns {
  bool has_time = false;
  int components = 0;                                     // COMPONENT_* bits
  int value_count = 0;                                    // value columns after the time column
  std::array<PlotChannel, kDataLogMaxValues> channels{};  // of each value column, in order
};

enum class DataLogLine {
  kSample,        // time (when the log has it) and every value column
  kGap,           // no component recorded: the time alone, or an empty line
  kOtherColumns,  // another field count than the header's; only counts as a sample
  kSummary,       // the closing summary
};

struct DataLogRecord {
  DataLogLine kind = DataLogLine::kSample;
  int time_ms = 0;                                       // kSample, kGap of a log with time column
  std::array<std::int16_t, kDataLogMaxValues> values{};  // kSample: value column i at [i]
  int total_time_ms = 0;                                 // kSummary
  int total_samples = 0;                                 // kSummary
};

enum class DataLogStatus {
  kRead,     // a line was read (by start: the header)
  kEnd,      // the view ends after a whole line, or after the summary
  kCutLine,  // the view ends inside a line; the view is left at its start
  kEmpty,    // start was given no bytes
  kForeignHeader,
  kNotANumber,
  kOutOfRange,  // a value beyond a 16-bit count, a time beyond an int
  kTimeBackwards,
  kSummaryIncomplete,
  kTextAfterSummary,
};

class DataLogReader {
 public:
  // Reads the header line at the start of `text` and moves `text` past it.
  DataLogStatus start(std::string_view& text);
  // Reads the line at the start of `text` into `record` and moves `text`
  // past it. On kCutLine or an error, `text` and the reader stay as they
  // were, so the call may be repeated with more text.
  DataLogStatus next(std::string_view& text, DataLogRecord& record);
  // Goes on after lines that other readers read (parts of the same log read
  // apart): as if `lines_read` lines, the header included, had been read,
  // the last time among them `last_time_ms` (none in a log without time
  // column). Call after start.
  void resume(long long lines_read, std::optional<int> last_time_ms);

  // Valid after start returned kRead.
  const DataLogColumns& columns() const { return columns_; }
  // Whole lines read, the header included.
  long long lines_read() const { return lines_read_; }
  // The time of the last line read that had one.
  std::optional<int> last_time_ms() const { return timed_seen_ ? std::optional<int>(last_time_ms_) : std::nullopt; }
  // Why the last call did not give kRead or kEnd, naming the line, e.g.
  // "line 3: \"high\" is not a number."
  std::string error_message() const;

 private:
  DataLogStatus fail(DataLogStatus status, long long line, std::string_view field = {});
  DataLogStatus read_summary(std::string_view& text, std::string_view first, std::size_t first_size,
                             DataLogRecord& record);
  DataLogStatus after_summary(std::string_view& text);
  bool read_fixed(std::string_view& text, DataLogRecord& record);
  void learn_layout(std::string_view line, std::size_t size);

  // Where the fields of the last sample line read field by field end: at a
  // separator, or at `content` (the line without its line end).
  struct Layout {
    std::size_t size = 0;  // with its line end; 0: none yet
    std::size_t content = 0;
    int fields = 0;
    std::array<std::size_t, 1 + kDataLogMaxValues> ends{};
  };

  DataLogColumns columns_;
  long long lines_read_ = 0;
  bool timed_seen_ = false;  // a time was read: later ones may not be below it
  int last_time_ms_ = 0;
  bool summary_read_ = false;
  Layout layout_;
  // The last failure.
  DataLogStatus status_ = DataLogStatus::kEnd;
  long long error_line_ = 0;
  bool cut_in_summary_ = false;
  std::string error_field_;
};

}  // namespace veltrix::capture
