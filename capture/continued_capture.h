#pragma once
// A capture that goes on after its board went away and came back. Each
// stretch between two losses is a segment: a capture of its own with its own
// data log (the folder's next capture number), register log and sidecar,
// each sidecar naming the segment before and after it. Between two segments
// lies a gap: where it starts and ends, the samples it lost and how the
// board was restored. Finding the board again and restoring it is the
// caller's (devices/board_return.h, or the window's watch); this starts the
// segments, links them and accounts for the gaps.
//
// Thread contract: start, resume, finish and the accessors come from one
// controlling thread while no capture thread runs (after control::wait,
// whose join makes the segment's events seen); gaps() also while a segment
// runs (the segment reports it reads are locked), so a gap can be shown as
// soon as the capture resumes. The CaptureEvents overrides come from the
// capture thread and pass on to the caller's events there.

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "capture/capture_control.h"

#include "devices/write_read_back.h"

namespace veltrix::capture {

struct CaptureGap {
  // Seconds since the first segment's start: the last sample before the gap
  // and the first after it (a segment's start where it recorded none).
  double start_s = 0.0;
  double end_s = 0.0;
  long long lost_samples = 0;
  bool lost_estimated = true;  // from times: the sensor's numbers start again with each segment
  std::string port;            // where the board came back
  int registers_restored = 0;
  int rates_restored = 0;
  int registers_rewritten = 0;  // others set back to what they held when the capture began
  std::vector<devices::ReadBackDifference> differences;
};

// Whether a capture that ended for `reason` lost its board (gone, or no
// longer answering): the end a continued capture goes on after.
bool board_loss(EndReason reason);

class ContinuedCapture final : public CaptureEvents {
 public:
  // A segment's end by a lost board, and its failures, reach `events` only
  // from finish (the caller waits for the board meanwhile); `started` comes
  // once, and the sample count given to progress runs on across segments.
  ContinuedCapture(CaptureEvents& events, control::CaptureOptions options);

  // Starts the first segment (control::start); false when refused.
  [[nodiscard]] bool start(ikor& device);
  // Whether the last segment ended because the board went away or stopped
  // answering.
  bool board_went_away() const;
  // Why the last segment ended.
  EndReason last_end() const { return reason_; }
  // The failures held back from the segment that lost the board, its own
  // end's sentence left out: what went wrong as the board went. Taken, so
  // finish will not tell them again.
  std::vector<std::string> take_held_failures();
  // The board is back, restored as `restore` says (its start and end are
  // filled in by gaps()): the next segment starts on `device`. False when
  // control::start refused it.
  [[nodiscard]] bool resume(ikor& device, CaptureGap restore);
  // No segment follows: a held end is passed on.
  void finish();

  std::vector<CaptureGap> gaps() const;
  std::vector<CaptureReport> segment_reports() const;
  int samples() const { return samples_before_; }

  void started(int rate_hz) override;
  void progress(std::string_view console_text, int sample_count) override;
  void logs_created(const std::string& data_log) override;
  void note(const std::string& message) override;
  void waiting(int seconds) override;
  void failure(const std::string& message) override;
  void ended(EndReason reason, const CaptureReport& report) override;

 private:
  bool start_segment(ikor& device);

  struct Segment {
    std::chrono::steady_clock::time_point zero;  // its capture clock's 0
    std::string data_log;                        // "" when it wrote none
  };

  CaptureEvents& events_;
  control::CaptureOptions options_;
  std::vector<Segment> segments_;
  mutable std::mutex reports_mutex_;  // gaps() may read while a segment ends
  std::vector<CaptureReport> reports_;
  std::vector<CaptureGap> restores_;  // the restore half of each gap, by resume
  std::vector<std::string> held_failures_;
  EndReason reason_ = EndReason::kStopRequested;
  int samples_before_ = 0;  // recorded by the segments that have ended
  int samples_now_ = 0;     // by the running one
  bool told_started_ = false;
};

}  // namespace veltrix::capture
