#pragma once
// The reader's wake-up for waiting exchanges: a counting semaphore whose
// count stops at 2048. Releases beyond the cap are dropped. Waits block in
// the kernel (POSIX sem_t on the monotonic clock): a waiter costs nothing
// while no reply comes.
//
// Thread contract: any thread may release, wait or drain at any time.

#include <semaphore.h>

#include "link_internal.h"

#include <atomic>
#include <chrono>

class RxSemaphore {
 public:
  static constexpr int kMaximum = 2048;

  RxSemaphore();
  ~RxSemaphore();
  RxSemaphore(const RxSemaphore&) = delete;
  RxSemaphore& operator=(const RxSemaphore&) = delete;

  void release();
  // True when a release was pending and is now consumed; never waits.
  bool try_acquire();
  // True when a release was consumed within `timeout`.
  bool wait_for(std::chrono::milliseconds timeout);
  // Consumes every pending release.
  void drain();

 private:
  void consumed();

  // Never below the semaphore's own count: raised before a post and lowered
  // only after a wait took one.
  std::atomic<int> count_{0};
  sem_t semaphore_{};
};
