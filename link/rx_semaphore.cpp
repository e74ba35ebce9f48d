#include "link/rx_semaphore.h"

void RxSemaphore::release() {
  int count = count_.load();
  do {
    if (count >= kMaximum) return;
  } while (!count_.compare_exchange_weak(count, count + 1));
  semaphore_.release();
}

bool RxSemaphore::wait_for(std::chrono::milliseconds timeout) {
  if (!semaphore_.try_acquire_for(timeout)) return false;
  count_.fetch_sub(1);
  return true;
}

void RxSemaphore::drain() {
  while (semaphore_.try_acquire()) count_.fetch_sub(1);
}
