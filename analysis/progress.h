#pragma once
// Progress and cancellation for the long computations (Allan deviation, PSD),
// so a window can run them on a worker thread behind a progress bar.
//
// Thread contract: `report` is called on the thread that runs the
// computation, with a fraction from 0 to 1 that never decreases. `cancel` is
// read (relaxed) between passes and may be set from any thread; a cancelled
// computation returns std::nullopt within one pass over the data.

#include <atomic>
#include <functional>

namespace veltrix::analysis {

struct Progress {
  std::function<void(double fraction)> report;
  const std::atomic<bool>* cancel = nullptr;

  bool cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
  void update(double fraction) const {
    if (report) {
      report(fraction);
    }
  }
  // The same cancel flag, with fractions 0..1 mapped onto [from, to].
  Progress slice(double from, double to) const {
    Progress part{nullptr, cancel};
    if (report) {
      part.report = [whole = report, from, to](double f) { whole(from + (to - from) * f); };
    }
    return part;
  }
};

}  // namespace veltrix::analysis
