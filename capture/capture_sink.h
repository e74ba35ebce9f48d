#pragma once
// What the capture thread hands out besides its files: the console text of
// each recorded sample, failures the operator must hear of, and what the
// capture's report, sidecar and plot are made from. The thread is given a
// sink when it is created and never reaches back into whoever started it.
//
// Thread contract: every call comes from the capture thread; an
// implementation guards whatever it shares with other threads.

#include <string>
#include <string_view>

#include "capture/capture_events.h"
#include "capture/log_naming.h"
#include "capture/sample_format.h"

namespace veltrix::capture {

class CaptureSink {
 public:
  virtual ~CaptureSink() = default;

  // After each recorded sample (never a warm-up one), with the console text
  // it added to the console buffer ("" when none) and the number of samples
  // recorded so far.
  virtual void sample_recorded(std::string_view console_text, int sample_count) = 0;

  // One operator message about this capture, without a line end.
  virtual void failure(const std::string& message) = 0;

  // Something the operator should know that is no failure (a fast capture
  // that had to fall back), without a line end.
  virtual void note(const std::string& message) = 0;

  // Once, first: the rate in Hz the sensor reported.
  virtual void capture_began(int rate_hz) = 0;

  // When this capture's data log and register log exist: their paths, the
  // data log's header (without line end) and the components it shows.
  virtual void logs_created(const LogPaths& paths, std::string_view header, int components) = 0;

  // For each recorded sample, before sample_recorded: when it was taken on
  // the capture clock (taken even when the data log has no time column), the
  // COMPONENT_* bits read and their values; not for a sample read again (the
  // one before, logged twice). Must not block or allocate.
  virtual void sample_taken(double time_ms, int components, const SampleValues& values) = 0;

  // No sample has come for `seconds` whole seconds (2 and more, told at
  // each new second), or 0 when samples come again after such a wait.
  virtual void no_sample_for(int seconds) = 0;

  // Once, before capture_ended: how many recorded samples reached an output
  // (the console or a log), less those read again, and the samples missed between the first and
  // the last of them, `estimated` when the figure rests on times.
  virtual void samples_counted(int kept, long long missed, bool estimated) = 0;

  // Once, last, when the logs are closed: kStopRequested unless the board
  // went away or stopped answering.
  virtual void capture_ended(EndReason reason) = 0;
};

}  // namespace veltrix::capture
