#pragma once
// The reader's wake-up for waiting exchanges: a counting semaphore whose
// count stops at 2048. Releasing a std::counting_semaphore past its maximum
// is undefined, so releases beyond the cap are dropped.
//
// Thread contract: any thread may release, wait or drain at any time.

#include "link_internal.h"

#include <atomic>
#include <chrono>
#include <semaphore>

class RxSemaphore {
 public:
  static constexpr int kMaximum = 2048;

  void release();
  // True when a release was consumed within `timeout`.
  bool wait_for(std::chrono::milliseconds timeout);
  // Consumes every pending release.
  void drain();

 private:
  // Never below the semaphore's own count: raised before a release and
  // lowered only after an acquire.
  std::atomic<int> count_{0};
  std::counting_semaphore<kMaximum> semaphore_{0};
};
