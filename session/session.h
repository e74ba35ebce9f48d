#pragma once
// One operator's board session: the board connected, the capture run on it,
// the board lost and got back, and what the operator is told. The window,
// veltrix-cli and the Python module are faces of it: they drive it and show
// its events (session/session_events.h) in their own way, and none of them
// runs a capture, watches a board or composes a sentence of its own.
//
// A capture always runs as a continued capture (capture/continued_capture.h):
// when it may wait for a lost board, the session's supervisor thread looks
// for the same board (devices/board_identity.h), connects a new device,
// replays the operator's writes, makes the registers what they were when the
// capture began (session/board_as_it_was.h) and starts the next segment, or
// ends the capture saying why. Between captures, watch() notices a board
// lost or silent and takes the same board back when it returns.
//
// Thread contract: one owner thread (the window's, the command line's, the
// script's) calls everything but stop(), which any thread may call, the
// capture thread and an event handler included. The device is the owner's
// to use through device() while no capture runs; during a capture it is the
// session's, and a device replaced meanwhile stays alive until the owner's
// next call, so a pointer taken before is never left dangling mid-handler.
// Events reach the listener as session_events.h says.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_sidecar.h"
#include "capture/continued_capture.h"
#include "capture/sample_queue.h"
#include "devices/ikor.h"
#include "devices/model_catalogue.h"
#include "session/board_as_it_was.h"
#include "session/session_events.h"

namespace veltrix::session {

// What a capture is asked to do besides recording.
struct CaptureRun {
  // Fed with every recorded sample for a live plot, all segments on one
  // time axis; never waited for. Must stay until the capture has ended.
  capture::SampleQueue* plot_queue = nullptr;
  // A log that cannot be created or written ends the capture.
  bool end_at_failure = false;
  // Stop once this many samples were recorded over every segment (0: no limit).
  int samples = 0;
  // Wait this long for a lost board and go on in a new segment; unset: a lost
  // board ends the capture.
  std::optional<double> continue_seconds;
  // The capture's time: it stops here, also while it waits for the board.
  std::optional<std::chrono::steady_clock::time_point> end_at;
};

// `seconds` from now on the steady clock; an infinite or unrepresentable
// wait never ends. For CaptureRun::end_at.
std::chrono::steady_clock::time_point after(double seconds);

class Session {
 public:
  explicit Session(SessionEvents* events = nullptr);
  ~Session();  // stops a capture and joins it: its logs are complete
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Who hears the events; not while a capture runs.
  void listen(SessionEvents* events);

  // Connects a new device of `model` over `mode` (MODE_I2C, MODE_SPI) at
  // `port`, or at the discovered port when "" (devices/device_connection.h).
  // A port named here or by VELTRIX_PORT is the board at that path; a
  // discovered one is the board with its USB serial number. 0 on success,
  // else the status of the connect (connect_failure_detail says more).
  [[nodiscard]] long connect(const ModelEntry& model, int mode, const std::string& port);
  void disconnect();
  // The connected device; null when none. Not while a capture runs.
  ikor* device();
  // Model, class, bus and port, for the sidecar; the port follows the board.
  capture::CaptureDescription description() const;

  // Starts a capture of the components and outputs the capture settings
  // say (capture/capture_settings.h). False when refused: not connected, a
  // capture runs, the board is away, or the registers could not be read for
  // a capture that may go on across a loss.
  [[nodiscard]] bool start(const CaptureRun& run);
  // Ends the capture after its sample in progress, or its wait for the
  // board. Any thread; returns at once.
  void stop();
  // From start until `ended` has been told.
  bool capturing() const { return capturing_.load(); }
  // Waits up to `timeout` for the capture to end; true once it has (its
  // supervisor joined), also when none runs.
  bool wait_for(std::chrono::milliseconds timeout);

  // Between captures, every few hundred milliseconds: tells of a board lost
  // or no longer answering, and while it is away takes the same board back
  // once it has gone and returned (or hung up and returned).
  void watch();
  bool board_away() const { return away_; }
  // Where the board that went away is now.
  BoardSighting look_for_board() const;
  // The serial number of the board that went away; "" when none is known.
  std::string remembered_serial() const;
  // "KOR 73 at /dev/ttyACM0 (serial 0042)".
  std::string board_name() const;
  // Connects again at `port` (found by look_for_board) and restores what the
  // operator set; tells board_back. 0, or the status of the connect or of
  // the restore's first failed exchange.
  long reconnect(const std::string& port);

 private:
  class Relay;

  void supervise();
  void wait_for_segment();
  bool go_on_after_loss();
  void end_with(const std::string& sentence);
  void become_away(bool link_lost);
  void replace_device(std::unique_ptr<ikor> device, const std::string& port);
  bool stop_requested() const;
  void finish();
  void free_retired();

  SessionEvents* events_;
  std::unique_ptr<Relay> relay_;
  const ModelEntry* model_ = nullptr;
  int mode_ = 0;

  // Guards device_, retired_ and description_ between the owner and the
  // supervisor, and the supervisor's flags below.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::unique_ptr<ikor> device_;
  std::vector<std::unique_ptr<ikor>> retired_;
  capture::CaptureDescription description_;
  bool stop_requested_ = false;
  bool time_up_ = false;
  bool done_ = false;

  std::atomic<bool> capturing_{false};
  CaptureRun run_;
  std::unique_ptr<capture::ContinuedCapture> continued_;
  RegisterSnapshot snapshot_;
  // How a capture that lost its board ended instead of going on; unset while
  // it goes on. The supervisor's alone.
  std::optional<Outcome::End> loss_end_;
  std::thread supervisor_;

  // Between captures: the owner's thread only.
  bool away_ = false;
  bool link_lost_ = false;
  bool port_seen_gone_ = false;
};

}  // namespace veltrix::session
