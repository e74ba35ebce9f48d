#include "capture/poll_pacing.h"

#include <algorithm>
#include <thread>

namespace veltrix::capture {

namespace {

using namespace std::chrono_literals;

// Room for a late wake-up from sleep and for the board's own jitter.
constexpr auto kWakeUpSlack = 50us;

}  // namespace

PollPacing::PollPacing(int rate_hz) {
  if (rate_hz > 0) {
    period_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate_hz));
  }
}

void PollPacing::wait_for_poll() {
  if (wake_ == Clock::time_point::min()) {
    return;
  }
  if (Clock::now() < wake_) {
    std::this_thread::sleep_until(wake_);
  }
  wake_ = Clock::time_point::min();
}

void PollPacing::polled(bool ready, Clock::time_point began, Clock::time_point ended) {
  // A slow poll raises the expected poll time at once; fast ones lower it
  // slowly, so one quick reply does not shrink the margin below a slow board.
  const Clock::duration took = ended - began;
  poll_time_ = std::max(took, poll_time_ - poll_time_ / 8 + took / 8);
  // Two polls' time before the due one: the due poll may begin just before
  // the sample, and the next must still come before the one after it.
  margin_ = poll_time_ + kWakeUpSlack;
  if (!ready) {
    missing_since_ = began;
    missing_seen_ = true;
    return;
  }
  if (missing_seen_ && period_ > Clock::duration::zero() && margin_ < period_) {
    // The sample came after missing_since_: the next one not before a
    // period later.
    wake_ = missing_since_ + period_ - margin_;
  } else {
    wake_ = Clock::time_point::min();
  }
  missing_seen_ = false;
}

}  // namespace veltrix::capture
