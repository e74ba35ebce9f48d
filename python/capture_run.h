#pragma once
// A capture run for a script on a Board's session, as veltrix-cli's capture
// command runs it: the same settings, events and report. Every recorded
// sample also reaches a bounded ring (capture/sample_queue.h) that take()
// empties into NumPy blocks, so a script sees the samples as they arrive,
// with memory bounded; a script that falls behind until the ring is full is
// told so (ErrorKind::kOverrun), never left with a silent hole.
//
// While take() or finish() waits, the GIL is released and Python's signals
// are checked every few milliseconds: Ctrl+C stops the capture, which still
// closes its logs whole, and the KeyboardInterrupt goes on to the script.
//
// Thread contract: the owner thread (the script's) calls everything; the
// session's capture and supervisor threads call the event handlers.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/sample_queue.h"
#include "python/board.h"
#include "session/session_events.h"

namespace veltrix::python {

struct CaptureRequest {
  std::optional<int> rate_hz;                          // applied first when set
  std::optional<std::vector<std::string>> components;  // unset: all the sensor offers
  double seconds = 0.0;                                // stop after this long when > 0
  int samples = 0;                                     // stop after this many when > 0
  std::optional<std::string> folder;                   // file logging exactly when set
  bool fast = false;
  std::optional<double> reconnect_seconds;
  std::size_t ring_samples = std::size_t{1} << 17;  // 16 s at 8 kHz
};

struct CaptureEnd {
  std::string report_json;  // session::outcome_json, as veltrix-cli's --report-json; "" when nothing ran
  std::vector<std::string> report_lines;
  std::vector<std::string> failures;
  std::vector<std::string> notes;
};

class CaptureRun final : public session::SessionEvents {
 public:
  CaptureRun(Board& board, const CaptureRequest& request);
  ~CaptureRun() override;
  CaptureRun(const CaptureRun&) = delete;
  CaptureRun& operator=(const CaptureRun&) = delete;

  // The samples recorded since the last call, at most `most`, as {"time":
  // float64 seconds, column name: int16 counts}, once `most` are there or
  // `timeout_s` has passed (then perhaps none); None once the capture has
  // ended and all were taken.
  pybind11::object take(double timeout_s, std::size_t most);
  void stop() { board_.session().stop(); }
  // Waits for the end (the logs closed) and tells how it went. Once.
  CaptureEnd finish();
  // The sentences told as they happened (the board lost and back, the sensor
  // silent) since the last call.
  std::vector<std::string> told();
  const std::vector<std::string>& columns() const { return columns_; }

  void waiting(int seconds) override;
  void board_lost(const session::BoardLoss& loss) override;
  void board_back(const session::BoardBack& back) override;
  void failure(const std::string& message, bool capture_goes_on) override;
  void ended(const session::Outcome& outcome) override;

 private:
  void tell(const std::string& sentence);
  pybind11::object block(const std::vector<capture::PlotSample>& samples) const;

  Board& board_;
  capture::SampleQueue ring_;
  int components_ = 0;
  std::vector<std::string> columns_;
  std::vector<int> channels_;  // PlotChannel of each column
  std::uint64_t dropped_told_ = 0;
  bool finished_ = false;
  bool waiting_told_ = false;  // the capture thread's

  std::mutex mutex_;  // the rest, between the session's threads and the owner
  std::vector<std::string> told_;
  std::vector<std::string> failures_;
  std::optional<session::Outcome> outcome_;
};

}  // namespace veltrix::python
