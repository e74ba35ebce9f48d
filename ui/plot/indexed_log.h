#pragma once
// A data log opened for the plot without reading it whole, at any size.
//
// open() reads the header and the sidecar beside the log (its rate, its
// overview). A log whose overview the capture wrote (capture/log_overview.h)
// and that still matches it has its line index and min/max pyramid
// (log_index.h) at once, from that file. Any other log is indexed by a
// thread front to back in 4 MB pieces through the capture's data log
// reader; a log without time column on every core (log_lines.h). The charts
// draw what is indexed so far, growing, on the x range of the whole log,
// which its last lines give before it is read (a log without time column:
// its size over its first line's width). A view narrower than a block per
// pixel column parses its few lines again from the file. The log is read up
// to its last whole line; read_on() continues from there when a capture has
// written more since.
//
// x is time in milliseconds where it is known: from the time column, or for
// a log without one from the sidecar's rate (line n at n / rate); else the
// line number.
//
// A log the reader refuses part way (a bad field, a file that shrank, a
// read error) keeps the lines before the fault and says why in
// summary().error.
//
// Thread contract: the window thread calls everything; the indexing thread
// it starts (and its helpers) fill the index under mutex_, publish progress
// through atomics and call `on_indexed` (given to open) when a pass ends,
// on that thread. The destructor cancels and joins them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "capture/data_log_reader.h"
#include "ui/plot/log_file.h"
#include "ui/plot/log_index.h"
#include "ui/plot/log_lines.h"
#include "ui/plot/plot_source.h"

namespace veltrix::ui::plot {

struct IndexedLogSummary {
  std::size_t lines = 0;          // sample and gap lines indexed
  std::size_t skipped_lines = 0;  // with other columns than the header's
  bool cut_last_line = false;     // the file ends inside a line (not indexed yet)
  bool cancelled = false;
  std::optional<int> total_time_ms;  // from the closing summary
  std::optional<int> total_samples;
  std::string error;  // why indexing stopped before the end
};

class IndexedLog : public PlotSource {
 public:
  IndexedLog() = default;
  ~IndexedLog() override;
  IndexedLog(const IndexedLog&) = delete;
  IndexedLog& operator=(const IndexedLog&) = delete;

  // False, with the reason in `message`, when the file cannot be read or its
  // header is not a data log's. Call once.
  bool open(const std::string& path, std::string& message, std::function<void()> on_indexed = {});
  // Indexes what was written since the last pass; false when indexing still
  // runs or the file did not grow past its last whole line.
  bool read_on();
  void cancel() { cancel_ = true; }
  void wait();

  bool indexing() const { return running_; }
  // The first pass ended: every line is in the index.
  bool indexed() const { return indexed_; }
  // Of the running pass, 0 to 1.
  double progress() const;
  IndexedLogSummary summary() const;
  // x is time in ms (from the time column or the sidecar's rate).
  bool has_time() const { return columns_.has_time || rate_hz_ > 0; }
  // The sidecar's rate that times a log without time column; 0 when none.
  int rate_hz() const { return rate_hz_; }
  // The index came from the overview the capture wrote beside the log.
  bool from_overview() const { return from_overview_; }
  // Why the overview the sidecar names was not taken; empty when it was, or
  // when none is named.
  const std::string& overview_refused() const { return overview_refused_; }
  // The x range of the whole log (until indexed, its end as estimated).
  double first_x() const;
  double last_x() const;

  int components() const override { return columns_.components; }
  void decimate(double x0, double x1, std::size_t width, const ChannelMask& wanted, ChannelColumns& columns) override;
  std::optional<float> value_at(veltrix::capture::PlotChannel channel, double x, double not_before) override;

 private:
  // Takes the overview at `overview_path`; false when it is not this log's.
  bool take_overview(const std::string& overview_path, const std::string& path);
  // The log's x range from its first and last bytes, `head` holding the
  // header and what follows.
  void estimate_range(std::string_view head, std::int64_t size);
  // Indexes from the last whole line indexed up to `size` on the worker.
  void start_pass(std::int64_t size);
  void index_pass(std::int64_t stop_at);
  // Indexes [from, stop_at) on every core; where the reading in order goes on.
  std::int64_t index_in_parallel(std::int64_t from, std::int64_t stop_at);
  // Adds `lines` to the index; takes mutex_. False, adding nothing, for
  // blocks that would not start at a block's first line.
  bool add(const LogLines& lines);
  // Parses the lines of blocks [first, end) again into `out`; mutex_ held.
  void parse_blocks(std::size_t first, std::size_t end, SampleSeries& out);
  void decimate_blocks(double x0, double x1, std::size_t width, const ChannelMask& wanted, ChannelColumns& columns);

  LogFile file_;
  std::string header_;
  veltrix::capture::DataLogColumns columns_;
  std::array<int, veltrix::capture::kPlotChannelCount> value_column_{};  // -1: not recorded
  int rate_hz_ = 0;
  double x_per_line_ = 1;        // without time column
  std::int64_t line_width_ = 0;  // of the first line, without time column; 0 when unknown
  bool from_overview_ = false;
  std::string overview_refused_;
  double first_x_ = 0;
  double estimated_last_x_ = 0;
  std::function<void()> on_indexed_;

  std::thread worker_;
  std::atomic<bool> running_{false};
  std::atomic<bool> indexed_{false};
  std::atomic<bool> cancel_{false};
  std::atomic<std::int64_t> pass_from_{0};
  std::atomic<std::int64_t> pass_to_{0};
  std::atomic<std::int64_t> pass_at_{0};

  // Where the last pass stopped; the pass's own while it runs.
  veltrix::capture::DataLogReader reader_;

  mutable std::mutex mutex_;  // guards everything below
  LogIndex index_;
  std::int64_t indexed_end_ = 0;  // bytes of whole lines indexed
  IndexedLogSummary summary_;
  bool summary_read_ = false;
  SampleSeries fine_;  // the lines of the blocks [fine_first_, fine_end_)
  std::size_t fine_first_ = 0, fine_end_ = 0;
  SampleSeries cursor_;
  SeriesSource fine_source_{&fine_};
};

}  // namespace veltrix::ui::plot
