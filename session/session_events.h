#pragma once
// What one operator's board session tells the faces that show it (the
// window, veltrix-cli, the Python module): one stream of events for a
// capture and for the board under it.
//
// Thread contract: started, progress, note, waiting and failure come from the
// capture thread; board_lost, board_back and ended from the session's
// supervisor thread while a capture runs, or from the owner's thread within
// Session::watch and Session::reconnect between captures. Never two at once,
// always in the order they happened. A handler must not block for long (the
// capture waits meanwhile) and may call nothing of the session but stop().

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_events.h"
#include "capture/capture_report.h"
#include "capture/continued_capture.h"
#include "devices/register_comparison.h"
#include "devices/write_read_back.h"

namespace veltrix::session {

// A board found where the lost one was looked for.
struct BoardSighting {
  enum class Kind {
    kNone,   // no board there (yet)
    kSame,   // the same board
    kOther,  // a board that cannot be told to be the same: ask the operator
  };
  Kind kind = Kind::kNone;
  std::string port;    // where it was found; where it was looked for when kNone
  std::string serial;  // its USB serial number; "" when none is known
};

struct BoardLoss {
  bool link_lost = false;      // the port went away; else the board stopped answering
  bool capture_waits = false;  // a capture waits for the board to come back
  double wait_seconds = 0.0;   // how long it waits, when it does
  std::string sentence;        // for the operator, without a line end
};

struct BoardBack {
  std::string port;  // where it came back
  int rate_hz = 0;   // the sensor's rate read back; 0 when not known
  // The operator's writes replayed, and those that read back otherwise.
  int registers_written = 0;
  int rates_set = 0;
  std::vector<devices::ReadBackDifference> read_back;
  int registers_rewritten = 0;  // others set back to what they held when the capture began
  // Registers that still read otherwise than when the capture began, in the
  // bits that hold (first: the board's, second: the value at the start).
  std::vector<devices::RegisterDifference> still_differ;
  std::optional<capture::CaptureGap> gap;  // when a capture goes on across the loss
  std::string sentence;                    // for the operator, without a line end
  std::string gap_sentence;                // the gap's line ("Gap 1: ..."), when there is a gap
};

// How a capture ended, over every segment.
struct Outcome {
  enum class End {
    kStopped,       // stop(): the operator, a signal
    kSampleLimit,   // the samples asked for were recorded
    kTimeUp,        // the capture's time ran out
    kByItself,      // the capture ended for `reason` (a lost board when it may not wait)
    kBoardGone,     // the board did not come back in time
    kBoardChanged,  // it came back, but not as it was: `failures` says how
  };
  End end = End::kStopped;
  capture::EndReason reason = capture::EndReason::kStopRequested;  // of the last segment
  std::vector<capture::CaptureReport> segments;
  std::vector<capture::CaptureGap> gaps;
  std::vector<std::string> failures;  // everything that went wrong, in order
  std::vector<std::string> notes;     // what the operator should know that is no failure
  bool waiting_for_board = false;     // it ended while the board was away

  // Whether the capture did what was asked of it: nothing failed, and it
  // ended by a stop, its sample limit or its time.
  bool succeeded() const { return failures.empty(); }
};

class SessionEvents {
 public:
  virtual ~SessionEvents() = default;

  // The first segment began, at the rate in Hz the sensor reported.
  virtual void started(int /*rate_hz*/) {}
  // After each recorded sample: the console text it added ("" when none),
  // and the samples recorded so far over every segment.
  virtual void progress(std::string_view /*console_text*/, int /*samples*/) {}
  virtual void note(const std::string& /*message*/) {}
  // The sensor has flagged no sample for `seconds` (2 and more); 0 when it
  // does again.
  virtual void waiting(int /*seconds*/) {}
  // Something went wrong. `capture_goes_on` when the capture was still
  // running as it happened (a data log that could not be written while the
  // console goes on): the operator should hear of it now. The failures of a
  // capture that is ending come again, all of them, in the outcome.
  virtual void failure(const std::string& /*message*/, bool /*capture_goes_on*/) {}
  virtual void board_lost(const BoardLoss& /*loss*/) {}
  virtual void board_back(const BoardBack& /*back*/) {}
  // Last, once per capture: its logs are complete and closed.
  virtual void ended(const Outcome& /*outcome*/) {}
};

}  // namespace veltrix::session
