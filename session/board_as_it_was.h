#pragma once
// A board that came back is the board that left, or the capture says so.
// Before a capture that may go on across a lost board, its registers are
// read once into a snapshot; after the board is back and the operator's
// writes are replayed (devices/board_reconnect.h), every register is compared
// with the snapshot in the bits that hold, those that differ are written back
// and compared again. A register that still differs and shapes the samples
// (rate, ranges, filters, FIFO, power, the compass path), or a rate that is not
// the rate the capture began at, means the capture cannot go on as it was.
//
// Thread contract: the thread that owns the device, never while a capture
// runs. A snapshot is a plain value.

#include <optional>
#include <string>
#include <vector>

#include "devices/ikor.h"
#include "devices/register_comparison.h"
#include "devices/register_stop.h"

namespace veltrix::session {

// The register-map file of a board as a capture began, in a folder of its
// own that goes with the object.
class RegisterSnapshot {
 public:
  RegisterSnapshot() = default;
  ~RegisterSnapshot();
  RegisterSnapshot(const RegisterSnapshot&) = delete;
  RegisterSnapshot& operator=(const RegisterSnapshot&) = delete;

  // Saves `device`'s registers. 0, or the status of the save.
  [[nodiscard]] long take(ikor& device);
  bool taken() const { return !file_.empty(); }
  const std::string& file() const { return file_; }

 private:
  std::string folder_;
  std::string file_;
};

struct BoardAsItWas {
  // 0, or the status of the comparison that failed (the board is then not
  // known to be as it was).
  long status = 0;
  devices::FailureCause cause = devices::FailureCause::kBadReply;
  int rewritten = 0;                                      // registers written back to their snapshot values
  std::vector<devices::RegisterDifference> still_differ;  // first: the board's, second: the snapshot's
  // The first of them that shapes the samples; null when none does.
  const RegisterRow* shaping = nullptr;
};

[[nodiscard]] BoardAsItWas make_board_as_it_was(ikor& device, const RegisterSnapshot& snapshot);

}  // namespace veltrix::session
