#pragma once
// The overview of a data log: written beside the log while the capture
// writes it, so that the plot draws a log of any length at once instead of
// reading every line first. It is the base of the plot's min/max pyramid
// (ui/plot/log_index.h): per block of kOverviewBlockLines lines, where the
// block starts and each value column's min and max; the levels above are a
// few milliseconds' work for the reader.
//
// The writer is fed the log's bytes as they are written and reads them back
// with the data log reader, so the overview holds exactly what a reader of
// the file finds. The file is appended to as blocks fill and gets its
// trailer only when the log closes whole; a log cut back, a write that
// failed or a capture that never closed its log leaves no overview or one
// without a trailer, which no reader accepts.
//
// The file, "dataLog{N}_overview.bin" beside "dataLog{N}.csv" (named in the
// sidecar), little-endian:
//   header, 24 bytes: "VXOVRVW" and a zero byte; u32 version (1); u32 lines
//     per block (64); u32 value columns (1 to 10); u32 flags (bit 0: the log
//     has a time column).
//   per block, in log order: u32 the block's bytes in the log; i32 the time
//     of its first line in ms (only with a time column); per value column
//     i16 min and i16 max (min above max: no value in the block).
//   trailer, 80 bytes: u64 the log's size; u64 where its lines end (the
//     closing summary's start, else its size); u64 where its first line
//     starts; u64 its lines after the header; u64 of them, those with other
//     columns than the header's; i64 its last line's time in
//     ms (0 without a time column); u64 the check of the log's first 64 KiB;
//     u64 the check of its last 64 KiB; u64 the check of this file before
//     the trailer; "VXOVREND".
// Checks are 64-bit FNV-1a. A line without values (a gap, or other columns
// than the header's) counts as a line; its time is the last time read.
//
// An overview is taken only for the log it describes as that log is now:
// its size and both checks must match, the blocks must span its lines, and
// the log must not be newer than the overview (an edit after the capture
// makes it so). A copy that did not keep the files' times may be refused
// for that: the plot then reads the log line by line, as for any log.
//
// Thread contract: a LogOverviewWriter belongs to the thread that writes its
// log (the capture thread); read_log_overview is a function of the file
// system, on any thread.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/data_log_reader.h"

namespace veltrix::capture {

inline constexpr std::size_t kOverviewBlockLines = 64;

// "dataLog{N}_overview.bin" beside "dataLog{N}.csv".
std::string log_overview_path(const std::string& data_log_path);

class LogOverviewWriter {
 public:
  LogOverviewWriter() = default;
  ~LogOverviewWriter() { abandon(); }
  LogOverviewWriter(const LogOverviewWriter&) = delete;
  LogOverviewWriter& operator=(const LogOverviewWriter&) = delete;

  // Starts the overview of a log about to be written from its first byte,
  // replacing any file at `path`. 0, or the errno of the failed create.
  int open(const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  // The log's next bytes, as written.
  void add(std::string_view bytes);
  // The log was closed whole after the bytes added: writes the trailer. 0,
  // or why not (the file is then removed): an errno, or EINVAL when the
  // bytes were not a data log read to its end.
  int finish();
  // The log ended otherwise: the overview is removed.
  void abandon();

 private:
  struct Block {
    std::uint64_t offset = 0;  // of its first line
    std::uint64_t end = 0;     // after its last line
    std::int32_t time_ms = 0;  // of its first line
    std::size_t lines = 0;
    std::array<std::int16_t, 2 * kDataLogMaxValues> ranges{};  // per column: min, max
    void clear();
  };

  void read_lines();
  void add_line(std::uint64_t offset, std::uint64_t end, const DataLogRecord& record);
  void end_block();
  void write_out();

  int fd_ = -1;
  std::string path_;
  bool failed_ = false;
  DataLogReader reader_;
  bool started_ = false;
  std::string pending_;             // bytes added and not yet read: a line not yet whole
  std::uint64_t pending_from_ = 0;  // the log offset of pending_[0]
  std::uint64_t size_ = 0;          // bytes added
  std::uint64_t first_line_ = 0;
  std::optional<std::uint64_t> summary_at_;
  std::uint64_t lines_ = 0;
  std::uint64_t other_lines_ = 0;
  std::int32_t time_ms_ = 0;  // the last time read
  std::uint64_t head_check_;
  std::unique_ptr<char[]> tail_;  // the last bytes added, a ring
  Block block_;
  std::string out_;  // records not yet written
  std::uint64_t body_check_;
};

struct LogOverview {
  int value_columns = 0;
  bool has_time = false;
  std::uint64_t first_line = 0;  // where the first line starts
  std::uint64_t lines_end = 0;   // where the lines end: the summary's start, or the size
  std::uint64_t lines = 0;
  std::uint64_t other_lines = 0;    // of them, with other columns than the header's
  std::optional<int> last_time_ms;  // with a time column and a line
  std::vector<std::uint64_t> block_offsets;
  std::vector<std::int32_t> block_times;  // with a time column
  std::vector<std::int16_t> ranges;       // per block, per column: min, max
};

struct LogOverviewReading {
  std::optional<LogOverview> overview;
  std::string refused;  // why the overview is not taken, when it is not
};

// The overview at `path` of the data log at `log_path`, when it describes
// that log as it is now.
LogOverviewReading read_log_overview(const std::string& path, const std::string& log_path);

}  // namespace veltrix::capture
