#include "capture/fifo_capture.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace veltrix::capture {

namespace {

using namespace std::chrono_literals;

constexpr auto kMaxInterval = 20ms;
// Enough time to carry the clock's ratio, and the most a sensor's clock
// plausibly errs; beyond it something else is wrong and the stated rate
// stands.
constexpr double kLeastClockSeconds = 1.0;
constexpr double kMostDeviation = 0.05;

}  // namespace

FifoCapture::FifoCapture(ikor& device) : device_(device) {}

long FifoCapture::start(int components, int rate_hz) {
  carried_ = true;
  rate_hz_ = rate_hz;
  started_at_ = Clock::now();
  next_number_ = 0;
  return restart(components);
}

long FifoCapture::restart(int components) {
  if (kept_poll_) {
    earlier_frames_ += static_cast<double>(last_kept_ - first_kept_);
    earlier_seconds_ += std::chrono::duration<double>(last_kept_at_ - first_kept_at_).count();
    kept_poll_ = false;
  }
  components_ = components;
  resync_ = false;
  const long status = device_.start_fifo(components, static_cast<int>(rate_hz_), run_);
  const double fill_seconds = rate_hz_ > 0 ? run_.frames_held() / rate_hz_ : 0.0;
  interval_ = std::min<Clock::duration>(
      kMaxInterval, std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(fill_seconds / 4)));
  restarted_at_ = Clock::now();
  // What the sensor made since the start and nobody took is lost: the next
  // frame is at least the one due now.
  const std::chrono::duration<double> since_start = restarted_at_ - started_at_;
  next_number_ = std::max(next_number_, std::lround(since_start.count() * rate_hz_ * clock_ratio()));
  kept_ = 0;
  next_poll_ = restarted_at_ + interval_;
  return status;
}

long FifoCapture::next(int components, bool& ready, Values& values) {
  ready = false;
  if (components != components_) {
    samples_.clear();
    carried_ = carries(components);
    if (const long status = restart(carried_ ? components : 0); status != 0) {
      return status;
    }
    components_ = components;
  }
  if (!carried_) {
    // Frames without the selection's sources would decode into wrong values.
    std::this_thread::sleep_until(next_poll_);
    next_poll_ = Clock::now() + interval_;
    return kNotCarried;
  }
  if (samples_.empty()) {
    if (Clock::now() < next_poll_) {
      std::this_thread::sleep_until(next_poll_);
    }
    if (const long status = poll(); status != 0) {
      // Part of a frame may have gone: start again from an empty FIFO.
      resync_ = true;
      return status;
    }
  }
  if (samples_.empty()) {
    return 0;
  }
  values = samples_.front().values;
  number_ = samples_.front().number;
  samples_.pop_front();
  ready = true;
  return 0;
}

long FifoCapture::poll() {
  const Clock::time_point began = Clock::now();
  next_poll_ = began + interval_;
  if (resync_) {
    return restart(components_);
  }
  const long status = device_.read_fifo_samples(run_, latest_, batch_);
  for (const Values& values : batch_.samples) {
    samples_.push_back({next_number_++, values});
  }
  kept_ += static_cast<long>(batch_.samples.size());
  if (status != 0 || !batch_.overflowed) {
    if (status == 0) {
      if (!kept_poll_) {
        kept_poll_ = true;
        first_kept_at_ = began;
        first_kept_ = kept_;
      }
      last_kept_at_ = began;
      last_kept_ = kept_;
    }
    return status;
  }
  const std::chrono::duration<double> running = Clock::now() - restarted_at_;
  ++overflows_;
  lost_ += std::max(1L, std::lround(running.count() * rate_hz_ * clock_ratio()) - kept_);
  return restart(components_);
}

double FifoCapture::clock_ratio() const {
  double frames = earlier_frames_;
  double seconds = earlier_seconds_;
  if (kept_poll_) {
    frames += static_cast<double>(last_kept_ - first_kept_);
    seconds += std::chrono::duration<double>(last_kept_at_ - first_kept_at_).count();
  }
  if (seconds < kLeastClockSeconds || rate_hz_ <= 0.0) {
    return 1.0;
  }
  const double ratio = frames / (seconds * rate_hz_);
  return std::abs(ratio - 1.0) <= kMostDeviation ? ratio : 1.0;
}

void FifoCapture::stop() { device_.stop_fifo(run_); }

}  // namespace veltrix::capture
