#include "rx_semaphore.h"

#include <thread>

namespace {

// A board answers a register read within tens of microseconds of the reader
// seeing it; polling that long before sleeping saves the futex wake-up that
// would otherwise dominate the round trip.
constexpr auto kSpinBeforeSleep = std::chrono::microseconds(20);

}  // namespace

void RxSemaphore::release() {
  int count = count_.load();
  do {
    if (count >= kMaximum) return;
  } while (!count_.compare_exchange_weak(count, count + 1));
  semaphore_.release();
}

bool RxSemaphore::wait_for(std::chrono::milliseconds timeout) {
  const auto spin_end = std::chrono::steady_clock::now() + kSpinBeforeSleep;
  bool acquired = semaphore_.try_acquire();
  while (!acquired && std::chrono::steady_clock::now() < spin_end) {
    std::this_thread::yield();
    acquired = semaphore_.try_acquire();
  }
  if (!acquired && !semaphore_.try_acquire_for(timeout)) return false;
  count_.fetch_sub(1);
  return true;
}

void RxSemaphore::drain() {
  while (semaphore_.try_acquire())
    count_.fetch_sub(1);
}
