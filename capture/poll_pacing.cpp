#include "capture/poll_pacing.h"

#include <algorithm>
#include <thread>

namespace veltrix::capture {

namespace {

using namespace std::chrono_literals;

// Room for a late wake-up from sleep and for the board's own jitter.
constexpr auto kWakeUpSlack = 30us;

}  // namespace

PollPacing::PollPacing(int rate_hz) {
  if (rate_hz > 0) {
    period_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate_hz));
  }
}

void PollPacing::wait_for_poll() {
  if (wake_ != Clock::time_point::min() && Clock::now() < wake_) {
    std::this_thread::sleep_until(wake_);
  }
}

void PollPacing::polled(bool ready, Clock::time_point began, Clock::time_point ended) {
  // A slow poll raises the expected poll time at once; fast ones lower it
  // slowly, so one quick reply does not shrink the margin below a slow board.
  const Clock::duration took = ended - began;
  poll_time_ = std::max(took, poll_time_ - poll_time_ / 8 + took / 8);
  // Half a poll's time before the sample, one poll finds it missing and the
  // next finds it there.
  const Clock::duration least_margin = poll_time_ / 2 + kWakeUpSlack;
  // This poll was the first one due at a scheduled time.
  const bool scheduled_poll = wake_ != Clock::time_point::min();
  wake_ = Clock::time_point::min();
  pinned_ = ready && missing_seen_;
  if (!ready) {
    missing_since_ = began;
    missing_seen_ = true;
    return;
  }
  if (period_ <= Clock::duration::zero()) {
    return;
  }
  if (missing_seen_) {
    // It came after missing_since_: pinned. The margin eases back.
    due_ = missing_since_;
    scheduled_ = true;
    margin_ = std::max(least_margin, margin_ - (margin_ - least_margin) / 4);
  } else if (scheduled_ && scheduled_poll && began - due_ < 2 * period_) {
    // There at the first poll: it kept its time. Look earlier next time.
    due_ += period_;
    margin_ = std::max(least_margin, std::min(2 * margin_, period_ / 2));
  } else {
    scheduled_ = false;
  }
  missing_seen_ = false;
  wake_ = scheduled_ && margin_ < period_ ? due_ + period_ - margin_ : Clock::time_point::min();
}

}  // namespace veltrix::capture
