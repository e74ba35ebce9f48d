#include "python/capture_run.h"

#include <pybind11/numpy.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <span>
#include <thread>

#include "capture/capture_events.h"
#include "capture/data_log_format.h"
#include "python/held_signals.h"
#include "python/script_error.h"
#include "session/capture_setup.h"
#include "session/sentences.h"

namespace py = pybind11;

namespace veltrix::python {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How often a wait looks at the ring, and at Python's signals.
constexpr auto kPollPeriod = 2ms;
constexpr auto kSignalPeriod = 20ms;

// Whether Python has a signal to act on; runs its handler (KeyboardInterrupt
// is then set). Called without the GIL.
bool python_signalled() {
  const py::gil_scoped_acquire gil;
  return PyErr_CheckSignals() != 0;
}

}  // namespace

CaptureRun::CaptureRun(Board& board, const CaptureRequest& request) : board_(board), ring_(request.ring_samples) {
  ikor& device = board.device();
  std::string refusal;
  components_ = session::selected_components(device, request.components, refusal);
  if (components_ < 0) {
    throw ScriptError(ErrorKind::kUsage, refusal);
  }
  if (request.folder) {
    if (std::string problem = session::folder_problem(*request.folder); !problem.empty()) {
      throw ScriptError(ErrorKind::kCapture, problem);
    }
  }
  if (request.rate_hz) {
    board.set_rate(*request.rate_hz);
  }
  for (const capture::DataLogGroup& group : capture::kDataLogGroups) {
    if ((components_ & group.component) != 0) {
      for (int axis = 0; axis < group.axes; ++axis) {
        columns_.emplace_back(group.labels[static_cast<std::size_t>(axis)]);
        channels_.push_back(capture::PlotSample::first_channel_of(group.component) + axis);
      }
    }
  }
  // The console is the output of a capture without a folder: its buffer is
  // bounded, and nobody need read it.
  session::apply_capture_setup({components_, request.folder, !request.folder, request.fast});
  session::CaptureRun run;
  run.plot_queue = &ring_;
  run.end_at_failure = true;
  run.samples = request.samples;
  run.continue_seconds = request.reconnect_seconds;
  if (request.seconds > 0.0) {
    run.end_at = session::after(request.seconds);
  }
  session::Session& session = board.session();
  session.listen(this);
  bool started = false;
  {
    const HeldSignals held;
    started = session.start(run);
  }
  if (!started) {
    session.listen(nullptr);
    const std::lock_guard lock(mutex_);
    throw ScriptError(ErrorKind::kCapture,
                      failures_.empty() ? std::vector<std::string>{"A capture is already running."} : failures_);
  }
}

CaptureRun::~CaptureRun() {
  if (!finished_) {
    board_.session().stop();
    while (!board_.session().wait_for(1s)) {
    }
    board_.session().listen(nullptr);
  }
}

py::object CaptureRun::take(double timeout_s, std::size_t most) {
  std::vector<capture::PlotSample> samples(std::max<std::size_t>(most, 1));
  std::size_t got = 0;
  bool ended = false;
  bool interrupted = false;
  {
    const py::gil_scoped_release released;
    const Clock::time_point deadline = session::after(timeout_s);
    Clock::time_point next_signal_check = Clock::now() + kSignalPeriod;
    while (got < samples.size()) {
      ended = board_.session().wait_for(0ms);
      got += ring_.pop(std::span(samples).subspan(got));
      if (ended || Clock::now() >= deadline) {
        break;
      }
      if (Clock::now() >= next_signal_check) {
        next_signal_check = Clock::now() + kSignalPeriod;
        if (python_signalled()) {
          interrupted = true;
          board_.session().stop();
          break;
        }
      }
      std::this_thread::sleep_for(kPollPeriod);
    }
  }
  if (interrupted) {
    throw py::error_already_set();
  }
  if (const std::uint64_t dropped = ring_.dropped(); dropped > dropped_told_) {
    const std::uint64_t lost = dropped - dropped_told_;
    dropped_told_ = dropped;
    board_.session().stop();
    throw ScriptError(ErrorKind::kOverrun,
                      "The script fell behind the capture: " + std::to_string(lost) +
                          " samples did not reach it; the capture has stopped (a data log, when asked for, has "
                          "them all).");
  }
  if (got == 0 && ended) {
    return py::none();
  }
  samples.resize(got);
  return block(samples);
}

py::object CaptureRun::block(const std::vector<capture::PlotSample>& samples) const {
  std::size_t kept = 0;
  for (const capture::PlotSample& sample : samples) {
    kept += (sample.components & components_) == components_ ? 1 : 0;
  }
  py::array_t<double> time(static_cast<py::ssize_t>(kept));
  std::vector<py::array_t<std::int16_t>> values;
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    values.emplace_back(static_cast<py::ssize_t>(kept));
  }
  double* times = time.mutable_data();
  std::vector<std::int16_t*> columns;
  for (auto& column : values) {
    columns.push_back(column.mutable_data());
  }
  std::size_t row = 0;
  for (const capture::PlotSample& sample : samples) {
    // A sample of no component marks the gap before a segment that went on
    // after a lost board.
    if ((sample.components & components_) != components_) {
      continue;
    }
    times[row] = sample.x / 1000.0;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      // Counts, rounded as the data log writes them.
      columns[c][row] =
          static_cast<std::int16_t>(std::nearbyint(sample.values[static_cast<std::size_t>(channels_[c])]));
    }
    ++row;
  }
  py::dict out;
  out["time"] = time;
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    out[py::str(columns_[c])] = values[c];
  }
  return out;
}

CaptureEnd CaptureRun::finish() {
  CaptureEnd end;
  if (finished_) {
    return end;
  }
  {
    const py::gil_scoped_release released;
    while (!board_.session().wait_for(100ms)) {
    }
  }
  finished_ = true;
  board_.session().listen(nullptr);
  const std::lock_guard lock(mutex_);
  if (!outcome_) {
    return end;
  }
  end.failures = outcome_->failures;
  end.notes = outcome_->notes;
  if (!outcome_->segments.empty()) {
    end.report_lines = session::report_lines(*outcome_);
    end.report_json = session::outcome_json(*outcome_).dump();
  }
  return end;
}

std::vector<std::string> CaptureRun::told() {
  const std::lock_guard lock(mutex_);
  return std::exchange(told_, {});
}

void CaptureRun::tell(const std::string& sentence) {
  const std::lock_guard lock(mutex_);
  told_.push_back(sentence);
}

void CaptureRun::waiting(int seconds) {
  if (seconds > 0 && !waiting_told_) {
    waiting_told_ = true;
    tell(capture::waiting_text(seconds));
  }
}

void CaptureRun::board_lost(const session::BoardLoss& loss) { tell(loss.sentence); }

void CaptureRun::board_back(const session::BoardBack& back) { tell(back.sentence); }

void CaptureRun::failure(const std::string& message, bool) {
  const std::lock_guard lock(mutex_);
  failures_.push_back(message);
}

void CaptureRun::ended(const session::Outcome& outcome) {
  const std::lock_guard lock(mutex_);
  outcome_ = outcome;
}

}  // namespace veltrix::python
