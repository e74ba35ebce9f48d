#include "rx_semaphore.h"

#include <time.h>

#include <cerrno>

namespace {

timespec monotonic_deadline(std::chrono::milliseconds timeout) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long long nanoseconds = now.tv_nsec + static_cast<long long>(timeout.count() % 1000) * 1000000LL;
  timespec deadline{};
  deadline.tv_sec = now.tv_sec + static_cast<time_t>(timeout.count() / 1000 + nanoseconds / 1000000000LL);
  deadline.tv_nsec = static_cast<long>(nanoseconds % 1000000000LL);
  return deadline;
}

}  // namespace

RxSemaphore::RxSemaphore() { sem_init(&semaphore_, 0, 0); }

RxSemaphore::~RxSemaphore() { sem_destroy(&semaphore_); }

void RxSemaphore::release() {
  int count = count_.load();
  do {
    if (count >= kMaximum) {
      return;
    }
  } while (!count_.compare_exchange_weak(count, count + 1));
  sem_post(&semaphore_);
}

bool RxSemaphore::try_acquire() {
  if (sem_trywait(&semaphore_) != 0) {
    return false;
  }
  consumed();
  return true;
}

bool RxSemaphore::wait_for(std::chrono::milliseconds timeout) {
  if (try_acquire()) {
    return true;
  }
  const timespec deadline = monotonic_deadline(timeout);
  for (;;) {
    if (sem_clockwait(&semaphore_, CLOCK_MONOTONIC, &deadline) == 0) {
      consumed();
      return true;
    }
    if (errno != EINTR) {
      return false;
    }
  }
}

void RxSemaphore::drain() {
  while (sem_trywait(&semaphore_) == 0) {
    consumed();
  }
}

void RxSemaphore::consumed() { count_.fetch_sub(1); }
